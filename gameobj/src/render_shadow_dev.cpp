// Developer commands of the object shadows: what the last frame's shadow
// passes drew, and where on screen the shadows of a patch of trees should
// fall (for tests that compare pictures with and without them).
#include <math.h>

#include "devtools/dev_message.h"
#include "devtools/dev_server.h"
#include "game_world.h"
#include "living.h"
#include "render/camera.h"
#include "render/sky.h"
#include "render_shadow.h"

using namespace living;

namespace {

void dev_shadow_stats(const DevMessage&, DevReply& reply)
{
  const ShadowPassStats& s = shadow_pass_stats();
  reply.add("passes=%d casters=%d culled=%d house_cells=%d instances=%d per_pass=%d,%d,%d,%d,%d", s.passes, s.casters,
            s.culled, s.house_cells, s.instances, s.pass_casters[0], s.pass_casters[1], s.pass_casters[2],
            s.pass_casters[3], s.pass_casters[4]);
}

// Window pixel of a world point in the current camera, false when it is
// behind the camera or off the window.
bool to_pixel(const float p[3], int& px, int& py)
{
  Matrix44 proj;
  camera_projection(1.0f, d3d_wd, d3d_ht, proj);
  const Matrix44 g = cur_view_tm * proj;
  float c[4];
  for (int k = 0; k < 4; ++k) c[k] = p[0] * g.m[0][k] + p[1] * g.m[1][k] + p[2] * g.m[2][k] + g.m[3][k];
  if (c[3] < 0.1f) return false;
  px = int(floorf((c[0] / c[3] * 0.5f + 0.5f) * float(d3d_wd)));
  py = int(floorf((0.5f - c[1] / c[3] * 0.5f) * float(d3d_ht)));
  return px >= 0 && py >= 0 && px < d3d_wd && py < d3d_ht;
}

// "shadowProbe" x, z (d), radius (d, default 12): for each grown, unburnt
// tree within radius, the pixel of the land where the shadow of its crown
// falls (away from the sun) and of the land as far from it towards the sun,
// one "ax ay sx sy" line each, both beyond the crown's reach.
void dev_shadow_probe(const DevMessage& msg, DevReply& reply)
{
  double x = msg.getDouble("x"), z = msg.getDouble("z"), radius = msg.getDouble("radius", 12.0);
  if (!isfinite(x) || !isfinite(z) || !(radius > 0.0 && radius <= 64.0)) {
    reply.fail("shadowProbe needs a finite x and z and a radius above 0 and at most 64");
    return;
  }
  const Vec4f L = get_lighting_sun_dir();
  float h = sqrtf(L.x * L.x + L.z * L.z);
  if (h < 0.05f || L.y < 0.05f) {
    reply.fail("the sun is overhead or below the horizon: no shadow to look for");
    return;
  }
  const float at[4] = {float(x), 0, float(z), 1};
  Vec4f cam = living_camera();
  int n = 0;
  for (TreeObject* t : TreeObject_list) {
    if (t->destroyed || t->state != TREE_ALIVE || t->growth < 1.0f || t->kind == TREE_BUSH) continue;
    if (living_distance(t->pos, at) > radius) continue;
    // The crown's middle stands about 2.6 high per unit of scale and reaches
    // 1.4 across: its shadow lies that high times cot(elevation) away.
    float d = fmaxf(2.6f * t->scale * h / L.y, 1.8f * t->scale);
    float px[2] = {0, 0}, py[2] = {0, 0};
    bool seen = true;
    for (int side = 0; side < 2 && seen; ++side) {
      float k = side == 0 ? -d / h : d / h;
      float p[3] = {cam.x + wrap_delta(t->pos[0] + L.x * k - cam.x), 0,
                    cam.z + wrap_delta(t->pos[2] + L.z * k - cam.z)};
      p[1] = get_land_height_at(Vec4f{p[0], 0, p[2], 1});
      int ix, iy;
      seen = to_pixel(p, ix, iy);
      px[side] = float(ix), py[side] = float(iy);
    }
    if (!seen) continue;
    reply.add("%s%d %d %d %d", n ? "\n" : "", int(px[0]), int(py[0]), int(px[1]), int(py[1]));
    ++n;
  }
  if (!n) reply.fail("no grown tree within %.1f of (%.1f, %.1f) is in view", radius, x, z);
}

} // namespace

void register_render_dev_commands()
{
  register_dev_command("shadowStats", dev_shadow_stats);
  register_dev_command("shadowProbe", dev_shadow_probe);
}
