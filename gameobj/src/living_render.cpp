// Drawing the world's life with the shared instance renderers: the renderers
// are made on first use (get_inst_renderer keeps them across module reloads),
// positions are moved next to the camera across the wrapping world, and
// whatever is well behind the camera is left out.
#include <math.h>
#include <string.h>

#include "living.h"
#include "render/camera.h"
#include "render/instRender.h"

namespace {

struct NamedRenderer {
  const char* mesh;
  InstRender* renderer;
};
NamedRenderer renderers[12];

} // namespace

float living_distance(const float a[4], const float b[4])
{
  float dx = living::wrap_delta(a[0] - b[0]), dz = living::wrap_delta(a[2] - b[2]);
  return sqrtf(dx * dx + dz * dz);
}

InstRender* living_renderer(const char* mesh)
{
  for (NamedRenderer& n : renderers) {
    if (n.mesh && strcmp(n.mesh, mesh) == 0) return n.renderer;
    if (!n.mesh) {
      n.renderer = get_inst_renderer(mesh, "Simple");
      n.mesh = mesh;
      return n.renderer;
    }
  }
  return get_inst_renderer(mesh, "Simple");
}

Vec4f living_camera() { return Vec4f{cur_view_itm.m[3][0], cur_view_itm.m[3][1], cur_view_itm.m[3][2], 1}; }

bool living_place(const float pos[4], float reach, float out[3])
{
  const Matrix44& cam = cur_view_itm;
  float dx = living::wrap_delta(pos[0] - cam.m[3][0]), dz = living::wrap_delta(pos[2] - cam.m[3][2]);
  float dy = pos[1] - cam.m[3][1];
  // Behind the camera by more than the object's size: not seen (its shadow
  // may still fall into view).
  if (!drawing_object_shadows() && dx * cam.m[2][0] + dy * cam.m[2][1] + dz * cam.m[2][2] < -reach) return false;
  out[0] = cam.m[3][0] + dx;
  out[1] = pos[1];
  out[2] = cam.m[3][2] + dz;
  return true;
}

void living_queue(InstRender* r, const float at[3], float yaw, float sxz, float sy, float tilt, float tilt_yaw,
                  uint32_t color)
{
  if (!r) return;
  float c = cosf(yaw), s = sinf(yaw);
  float axes[3][3] = {{c * sxz, 0, -s * sxz}, {0, sy, 0}, {s * sxz, 0, c * sxz}};
  if (tilt != 0.0f) {
    // Tipped over about the level axis across the fall direction (Rodrigues).
    float k[3] = {cosf(tilt_yaw), 0, -sinf(tilt_yaw)};
    float ct = cosf(tilt), st = sinf(tilt);
    for (float* v : axes) {
      float kv = k[0] * v[0] + k[2] * v[2];
      float cross[3] = {k[1] * v[2] - k[2] * v[1], k[2] * v[0] - k[0] * v[2], k[0] * v[1] - k[1] * v[0]};
      float out[3];
      for (int i = 0; i < 3; ++i) out[i] = v[i] * ct + cross[i] * st + k[i] * kv * (1 - ct);
      memcpy(v, out, sizeof out);
    }
  }
  auto* inst = static_cast<SimpleInstance*>(r->addInstances(1));
  if (!inst) return;
  memcpy(inst->axisX, axes[0], sizeof inst->axisX);
  memcpy(inst->axisY, axes[1], sizeof inst->axisY);
  memcpy(inst->axisZ, axes[2], sizeof inst->axisZ);
  memcpy(inst->pos, at, sizeof inst->pos);
  inst->color = color;
}
