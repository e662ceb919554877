// Drawing the creatures with the host's instanced meshes:
// Simple meshes for heads, tails and birds, the spline renderer for the
// caterpillar's and the wyvern's bodies. The renderers are looked up by mesh
// name once per loaded module and kept here; every position is moved to its
// copy nearest the camera, as the world wraps.
#include <string.h>

#include "core/app_globals.h"
#include "game_world.h"
#include "monsters_local.h"
#include "render/camera.h"
#include "render/instRender.h"

using namespace mon;

namespace {

struct Cached {
  const char* mesh;
  const char* cls;
  InstRender* renderer;
};
Cached cache[] = {
    {"wyvern_head", "Simple", nullptr},   {"wyvern_tail", "Simple", nullptr},
    {"wyvern_body", "Spline", nullptr},   {"ctrplr_head", "Simple", nullptr},
    {"ctrplr_tail", "Simple", nullptr},   {"ctrplr_body01", "Spline", nullptr},
    {"ctrplr_body02", "Spline", nullptr}, {"ctrplr_body03", "Spline", nullptr},
    {"ctrplr_body04", "Spline", nullptr}, {"bird", "Simple", nullptr},
};

InstRender* renderer(const char* mesh)
{
  for (Cached& c : cache)
    if (!strcmp(c.mesh, mesh)) {
      if (!c.renderer) c.renderer = get_inst_renderer(c.mesh, c.cls);
      return c.renderer;
    }
  return nullptr;
}

// The copy of a world position nearest the camera.
void near_camera(const float* p, float out[3])
{
  out[0] = camera.pos.x + wrap_delta(p[0] - camera.pos.x);
  out[1] = p[1];
  out[2] = camera.pos.z + wrap_delta(p[2] - camera.pos.z);
}

D3dColor dir_color(const Vec4f& d)
{
  auto c = [](float v) { return uint32_t((v * 0.5f + 0.5f) * 255 + 0.5f); };
  return make_d3d_color(255, c(d.x), c(d.y), c(d.z));
}

} // namespace

void mon::draw_simple(const char* mesh, const float* pos, float yaw, float pitch, float scale, D3dColor tint)
{
  InstRender* r = renderer(mesh);
  if (!r) return;
  auto* si = static_cast<SimpleInstance*>(r->addInstances(1));
  if (!si) return;
  float sy = sinf(yaw), cy = cosf(yaw), sp = sinf(pitch), cp = cosf(pitch);
  float f[3] = {sy * cp, sp, cy * cp};
  float u[3] = {-sy * sp, cp, -cy * sp};
  float x[3] = {cy, 0, -sy};
  for (int i = 0; i < 3; ++i) {
    si->axisX[i] = x[i] * scale;
    si->axisY[i] = u[i] * scale;
    si->axisZ[i] = f[i] * scale;
  }
  near_camera(pos, si->pos);
  si->color = tint;
}

void mon::draw_segment(const char* mesh, const float* p0, const float* p1, const Vec4f& t0, const Vec4f& t1, float r0,
                       float r1, D3dColor tint)
{
  InstRender* r = renderer(mesh);
  if (!r) return;
  auto* s = static_cast<SplineInstance*>(r->addInstances(1));
  if (!s) return;
  near_camera(p0, s->p0);
  // p1 next to p0, whichever copy the camera is nearer to.
  Vec4f d = toward(p0, p1);
  s->p1[0] = s->p0[0] + d.x;
  s->p1[1] = s->p0[1] + d.y;
  s->p1[2] = s->p0[2] + d.z;
  s->t0[0] = t0.x, s->t0[1] = t0.y, s->t0[2] = t0.z, s->t0[3] = r0;
  s->t1[0] = t1.x, s->t1[1] = t1.y, s->t1[2] = t1.z, s->t1[3] = r1;
  s->up0 = s->up1 = dir_color(vec(0, 1, 0));
  s->color0 = s->color1 = tint;
}

void mon::frame_pos(const MonsterObject* m, float out[3])
{
  Vec4f d = toward(m->prev_pos, m->pos);
  // Just made, loaded or moved far: no way between.
  float k = length(d) < 20 ? time_ik : 1;
  if (!(k >= 0 && k <= 1)) k = 1;
  for (int i = 0; i < 3; ++i) out[i] = m->pos[i] - (&d.x)[i] * (1 - k);
}

// {===== The creatures

namespace {

constexpr float WYVERN_LENGTH = 3.2f;
constexpr float CATERPILLAR_SCALE = 1.6f; // the meshes' radius 0.45 becomes 0.72

const char* const ctrplr_bodies[] = {"ctrplr_body01", "ctrplr_body02", "ctrplr_body03", "ctrplr_body04"};

// A winged body centred on `pos` along `yaw`, with head and tail.
void draw_winged(const float* pos, float yaw, float pitch, float length, float radius, float head, D3dColor tint)
{
  float sy = sinf(yaw), cy = cosf(yaw), sp = sinf(pitch), cp = cosf(pitch);
  Vec4f f = vec(sy * cp, sp, cy * cp);
  float front[3] = {pos[0] + f.x * length * 0.5f, pos[1] + f.y * length * 0.5f, pos[2] + f.z * length * 0.5f};
  float back[3] = {pos[0] - f.x * length * 0.5f, pos[1] - f.y * length * 0.5f, pos[2] - f.z * length * 0.5f};
  Vec4f t = scaled(f, -length);
  draw_segment("wyvern_body", front, back, t, t, radius, radius * 0.8f, tint);
  draw_simple("wyvern_head", front, yaw, pitch, head, tint);
  draw_simple("wyvern_tail", back, yaw, pitch, head, tint);
}

} // namespace

void WyvernMonster::render(float dt)
{
  float pitch = state == DIVE ? -0.35f : state == CLIMB ? 0.3f : 0;
  // Redder as it weakens.
  float hurt = max_health > 0 ? 1 - health / max_health : 0;
  D3dColor tint = make_d3d_color(255, 255, uint32_t(255 - 90 * hurt), uint32_t(255 - 90 * hurt));
  float at[3];
  frame_pos(this, at);
  draw_winged(at, yaw, pitch, WYVERN_LENGTH, 1.0f, 1.6f, tint);
}

void BirdMonster::render(float dt)
{
  // Banks a little with its flight; rises and dips as it flaps.
  float at[3];
  frame_pos(this, at);
  draw_simple("bird", at, yaw, 0.25f * sinf(phase * 7 + float(serialId)), 1.6f, 0xFFFFFFFF);
}

void LandMonster::render(float dt)
{
  const float lift = 0.45f * CATERPILLAR_SCALE;
  float head[3] = {pos[0], pos[1] + lift, pos[2]};
  draw_simple("ctrplr_head", head, yaw, 0, CATERPILLAR_SCALE, 0xFFFFFFFF);
  float prev[3] = {head[0], head[1], head[2]};
  Vec4f prev_t = scaled(vec(sinf(yaw), 0, cosf(yaw)), -1.4f);
  for (int i = 0; i < SEGMENTS; ++i) {
    float p[3] = {seg[i][0], seg[i][1] + lift, seg[i][2]};
    Vec4f d = toward(prev, p);
    draw_segment(ctrplr_bodies[i % 4], prev, p, prev_t, d, 0.45f * CATERPILLAR_SCALE, 0.45f * CATERPILLAR_SCALE,
                 0xFFFFFFFF);
    prev_t = d;
    prev[0] = p[0], prev[1] = p[1], prev[2] = p[2];
  }
  draw_simple("ctrplr_tail", prev, yaw_of(prev_t) + PI, 0, CATERPILLAR_SCALE, 0xFFFFFFFF);
}
