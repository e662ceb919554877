// Drawing the castle from its building pieces (the building renderer, as
// house cells are drawn) and the gatherers (the morph body with its eye).
// Renderers are taken once per loaded module; every position is moved to
// its copy nearest the camera, as the world wraps.
#include <math.h>

#include "castle_local.h"
#include "core/app_globals.h"
#include "monsters_local.h"
#include "render/camera.h"
#include "render/instRender.h"

using namespace mon;

namespace {

InstRender* piece_renderers[CP_KIND_COUNT];
InstRender* body_renderer;
InstRender* eye_renderer;

struct Layout {
  CastlePiece pieces[CASTLE_MAX_PIECES];
  int count;
  Layout() : count(castle_layout(CASTLE_SIZE, pieces, CASTLE_MAX_PIECES)) {}
};
const Layout layout;

// The cell's copy nearest the camera.
int near_camera_cell(int c, float cam)
{
  return int(floorf(cam)) + int(wrap_delta(float(c) - floorf(cam)));
}

uint8_t byte_of(float v) { return uint8_t(fminf(fmaxf(v, 0.0f), 1.0f) * 255.0f + 0.5f); }

} // namespace

void draw_castle(const CastleObject* c)
{
  // A hurt castle darkens toward scorched stone.
  float h = c->max_health > 0 ? c->health / c->max_health : 1;
  float shade = 0.45f + 0.55f * h;
  D3dColor tint = make_d3d_color(255, byte_of(shade + 0.1f * (1 - h)), byte_of(shade), byte_of(shade));
  int x0 = near_camera_cell(c->x0, camera.pos.x), z0 = near_camera_cell(c->z0, camera.pos.z);
  for (int i = 0; i < layout.count; ++i) {
    const CastlePiece& p = layout.pieces[i];
    InstRender*& r = piece_renderers[p.kind];
    if (!r) r = get_inst_renderer(castle_piece_mesh(p.kind), "Building");
    auto* inst = static_cast<BuildingInstance*>(r->addInstances(1));
    if (!inst) return;
    *inst = BuildingInstance{int16_t(x0 + p.dx), int16_t(z0 + p.dz), c->level + p.y, float(p.turns), 1, 0,
                             p.kind == CP_ROOF ? 0xFFFFFFFFu : tint};
  }
}

void draw_gatherer(const ManaGatherer* g)
{
  if (!body_renderer) body_renderer = get_inst_renderer("gatherer_body", "Morph");
  if (!eye_renderer) eye_renderer = get_inst_renderer("gatherer_eye", "Simple");
  float at[3];
  frame_pos(g, at);
  at[0] = camera.pos.x + wrap_delta(at[0] - camera.pos.x);
  at[2] = camera.pos.z + wrap_delta(at[2] - camera.pos.z);
  // A corpse shrinks and greys as it fades; a drawing gatherer squashes and
  // reaches with its tentacles, a flying one bobs gently.
  float fade = g->dead() ? fminf(g->state_time / GATHERER_CORPSE_TIME, 1.0f) : 0.0f;
  float scale = 1.3f * (1.0f - 0.6f * fade);
  float t = g->state_time;
  float squash = g->dead() ? 0.8f : g->state == ManaGatherer::DRAW ? 0.3f + 0.3f * sinf(t * 6) : 0.15f + 0.1f * sinf(t * 3);
  float reach = g->state == ManaGatherer::DRAW ? 0.8f : g->dead() ? 0.0f : 0.2f;
  uint8_t lit = byte_of(1.0f - 0.6f * fade);
  D3dColor tint = make_d3d_color(255, lit, lit, lit);
  float sy = sinf(g->yaw), cy = cosf(g->yaw);
  if (auto* mi = static_cast<MorphInstance*>(body_renderer->addInstances(1))) {
    SimpleInstance& s = mi->base;
    float x[3] = {cy * scale, 0, -sy * scale}, y[3] = {0, scale, 0}, z[3] = {sy * scale, 0, cy * scale};
    for (int i = 0; i < 3; ++i) s.axisX[i] = x[i], s.axisY[i] = y[i], s.axisZ[i] = z[i];
    s.pos[0] = at[0], s.pos[1] = at[1] - 0.9f * scale, s.pos[2] = at[2];
    s.color = tint;
    mi->morph = make_d3d_color(0, byte_of(squash), byte_of(reach), 0);
  }
  if (g->dead()) return; // the eye goes out with the gatherer
  if (auto* si = static_cast<SimpleInstance*>(eye_renderer->addInstances(1))) {
    float e = scale * 1.1f;
    // The eye looks ahead and a little down, at the land it flies over.
    float pitch = -0.25f, sp = sinf(pitch), cp = cosf(pitch);
    float f[3] = {sy * cp, sp, cy * cp}, u[3] = {-sy * sp, cp, -cy * sp}, x[3] = {cy, 0, -sy};
    for (int i = 0; i < 3; ++i) si->axisX[i] = x[i] * e, si->axisY[i] = u[i] * e, si->axisZ[i] = f[i] * e;
    si->pos[0] = at[0], si->pos[1] = at[1] + 0.35f * scale, si->pos[2] = at[2];
    si->color = 0xFFFFFFFFu;
  }
}
