// The lasting changes spells make to the land and the fluids.
//
// Land: spells only move `target_hmap`; the host's height update moves the
// land toward it each step (with the land-moving sounds), so a hill grows
// rather than appearing. Fluids: sources change the water grid's depth
// directly, which is how the host's fluid solver expects sources and sinks to
// work; the solver spreads the fluid in its next steps.
#include <math.h>

#include "core/log.h"
#include "game_world.h"
#include "objects.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/water_sim.h"
#include "world/world_math.h"

using namespace HeightmapData;

namespace {

// The fluid step of the game (the world step's length).
constexpr float FLUID_STEP = 0.05f;
// No land change spans more than half the world: a wider one would reach
// cells twice through the wrap.
constexpr float MAX_REACH = HMAP_SIZE / 2;

bool usable(const Vec4f& pos) { return isfinite(pos.x) && isfinite(pos.z); }

float clamp_reach(float r) { return r < MAX_REACH ? r : MAX_REACH; }

// Pours a signed depth (at the centre, fading to 0 at the rim) over a circle;
// a circle narrower than a cell pours into the cell under the point.
void pour(const Vec4f& pos, float radius, float depth)
{
  if (!usable(pos) || !isfinite(depth) || depth == 0.0f || !(radius >= 0.0f)) return;
  radius = clamp_reach(radius);
  if (radius < 1.0f) {
    add_fluid_at(round_to_int(pos.x), round_to_int(pos.z), depth);
    return;
  }
  float r2 = radius * radius;
  for_circle_cells(pos.x, pos.z, radius, [&](int i, float d2) {
    add_fluid_at(i & (HMAP_SIZE - 1), i >> HMAP_SIZE_SHIFT, depth * (1.0f - d2 / r2));
  });
}

// Takes up to `amount` (at the centre, fading to 0 at the rim) of one fluid
// from the cells of a circle; never more than a cell holds, never the other fluid.
void drain(const Vec4f& pos, float radius, float amount, bool lava)
{
  if (!usable(pos) || !(amount > 0.0f) || !(radius >= 0.0f)) return;
  radius = fmaxf(clamp_reach(radius), 0.5f);
  float r2 = radius * radius;
  for_circle_cells(pos.x, pos.z, radius, [&](int i, float d2) {
    Water& w = water[i >> HMAP_SIZE_SHIFT][i & (HMAP_SIZE - 1)];
    float take = amount * (1.0f - d2 / r2);
    if (lava && w.depth < 0.0f) w.depth = fminf(w.depth + take, 0.0f);
    if (!lava && w.depth > 0.0f) w.depth = fmaxf(w.depth - take, 0.0f);
  });
}

} // namespace

void add_fluid_at(int x, int z, float amount)
{
  Water& w = water[z & (HMAP_SIZE - 1)][x & (HMAP_SIZE - 1)];
  if (w.depth * amount < 0.0f) {
    // Water meets lava: the smaller of the two hardens into rock.
    float hardened = fminf(fabsf(amount), fabsf(w.depth));
    int i = hmap_index(x, z);
    hmap[i] += hardened;
    target_hmap[i] += hardened;
  }
  w.depth += amount;
}

void create_hill(const Vec4f& pos, float radius, float height)
{
  if (!usable(pos) || !isfinite(height)) return;
  circle_brush(pos.x, pos.z, clamp_reach(radius), height, 1.0f, target_hmap);
}

// Lowers a trough along the segment: full depth on the line, nothing at
// `width` from it, the deepest of the overlapping parts nowhere counted twice.
void carve_crack(const Vec4f& from, const Vec4f& to, float width, float depth)
{
  if (!usable(from) || !usable(to) || !isfinite(depth) || !(width > 0.0f)) return;
  width = clamp_reach(width);
  float dx = to.x - from.x, dz = to.z - from.z;
  float len = sqrtf(dx * dx + dz * dz);
  if (len + 2 * width > MAX_REACH) {
    float keep = fmaxf(MAX_REACH - 2 * width, 0.0f);
    debug("gameobj: crack of length %g cut to %g", len, keep);
    dx *= keep / len;
    dz *= keep / len;
    len = keep;
  }
  int x0 = floor_to_int(fminf(from.x, from.x + dx) - width), x1 = floor_to_int(fmaxf(from.x, from.x + dx) + width) + 1;
  int z0 = floor_to_int(fminf(from.z, from.z + dz) - width), z1 = floor_to_int(fmaxf(from.z, from.z + dz) + width) + 1;
  float len2 = len * len;
  for (int z = z0; z <= z1; ++z)
    for (int x = x0; x <= x1; ++x) {
      float px = x - from.x, pz = z - from.z;
      float t = len2 > 0 ? fminf(fmaxf((px * dx + pz * dz) / len2, 0.0f), 1.0f) : 0.0f;
      float ex = px - t * dx, ez = pz - t * dz;
      float d2 = ex * ex + ez * ez;
      if (d2 < width * width) target_hmap[hmap_index(x, z)] -= depth * (1.0f - d2 / (width * width));
    }
}

// A cone of `height` over `radius` with a bowl-shaped crater: its floor lies
// half-way down from the rim.
void volcano_cone(const Vec4f& pos, float radius, float height, float crater_radius)
{
  if (!usable(pos) || !isfinite(height) || !(radius > 0.0f)) return;
  radius = clamp_reach(radius);
  float cr = fminf(fmaxf(crater_radius, 0.0f), radius);
  float rim = height * (1.0f - cr / radius);
  for_circle_cells(pos.x, pos.z, radius, [&](int i, float d2) {
    float d = sqrtf(d2);
    float raise = d >= cr ? height * (1.0f - d / radius) : rim * (0.5f + 0.5f * (d2 / (cr * cr)));
    target_hmap[i] += raise;
  });
}

void add_source_lava(const Vec4f& pos, float radius, float amount) { pour(pos, radius, -fabsf(amount)); }

void add_source_water(const Vec4f& pos, float radius, float amount) { pour(pos, radius, fabsf(amount)); }

// A cone with a crater that keeps pouring lava for half a minute.
LavaSource* add_magic_volcano(const Vec4f& pos, float radius, float height)
{
  if (!usable(pos) || !(radius > 0.0f)) return nullptr;
  volcano_cone(pos, radius, height, radius * 0.2f);
  auto* source = static_cast<LavaSource*>(new_gameobj_by_id(CID_LavaSource));
  source->pos[0] = pos.x;
  source->pos[1] = get_land_height_at(pos);
  source->pos[2] = pos.z;
  source->radius = fmaxf(radius * 0.15f, 1.0f);
  source->rate = 0.5f;
  source->time_left = 30.0f;
  return source;
}

WaterSource* add_water_source(const Vec4f& pos, float radius, float rate, float seconds)
{
  if (!usable(pos)) return nullptr;
  auto* source = static_cast<WaterSource*>(new_gameobj_by_id(CID_WaterSource));
  source->pos[0] = pos.x;
  source->pos[1] = get_land_height_at(pos);
  source->pos[2] = pos.z;
  source->radius = radius;
  source->rate = rate;
  source->time_left = seconds > 0.0f ? seconds : -1.0f;
  return source;
}

// A ball of water falling apart where it lands: each cell gets the height of
// the ball's column over it.
void add_water_globe(const Vec4f& pos, float radius)
{
  if (!usable(pos) || !(radius > 0.0f)) return;
  radius = clamp_reach(radius);
  float r2 = radius * radius;
  for_circle_cells(pos.x, pos.z, radius, [&](int i, float d2) {
    add_fluid_at(i & (HMAP_SIZE - 1), i >> HMAP_SIZE_SHIFT, 2.0f * sqrtf(r2 - d2));
  });
}

void FluidSource::update(float dt)
{
  // A source with little time left pours only for that time, so it pours
  // rate * its whole time however the steps fall.
  float t = time_left >= 0.0f ? fminf(dt, time_left) : dt;
  Vec4f at{pos[0], pos[1], pos[2], 1};
  // A negative rate drains the source's own fluid (a water sink); poured as
  // it stands it would be the other fluid and harden the water into rock.
  if (rate < 0.0f)
    drain(at, radius, -rate * t, isLava());
  else
    pour(at, radius, (isLava() ? -rate : rate) * t);
  if (time_left >= 0.0f) {
    time_left -= t;
    if (time_left <= 1e-4f) destroy();
  }
}

// Runs the fluids alone for a while (world steps of 0.05 s): the sources pour
// and the solver spreads, the land and every other object stand still.
void simulate_water(float seconds)
{
  if (!(seconds > 0.0f)) return;
  int steps = (int)ceilf(fminf(seconds, 3600.0f) / FLUID_STEP);
  for (int s = 0; s < steps; ++s) {
    for_each_gameobj([](GameObj* obj) {
      if (obj->classId() == CID_WaterSource || obj->classId() == CID_LavaSource) obj->update(FLUID_STEP);
    });
    delete_gameobj(nullptr);
    simWater(FLUID_STEP);
  }
}
