// The rules of guard towers and built houses as plain functions of the world
// grids, so they can be checked on their own: where a tower or a house may
// stand, and which monster a tower shoots at.
#pragma once
#include <math.h>

#include "world/heightmap.h"

namespace towers {

constexpr float WORLD = 256.0f;
inline float wrap_delta(float d) { return d - WORLD * floorf(d / WORLD + 0.5f); }

// {===== Guard towers

constexpr int MAX_TOWERS = 6;          // per world
constexpr float TOWER_SPACING = 8.0f;  // between tower centres, across the land
// Highest minus lowest land over the footprint and the ring round it.
constexpr float TOWER_MAX_RISE = 2.0f;
constexpr float DRY_DEPTH = 0.05f;     // more fluid than this is not dry land
constexpr float TOWER_RANGE = 45.0f;   // from the tower's top to the monster
constexpr float SHOT_INTERVAL = 2.0f;
constexpr float TOWER_HEALTH = 150.0f;
constexpr float BUILD_SECONDS = 2.5f;
constexpr float TOWER_RADIUS = 1.0f;   // of the round body
constexpr float TOWER_HEIGHT = 8.0f;   // to the top of the watch room's walls
constexpr float TOWER_EYE = 7.0f;      // where shots leave, over the base
// Shots: a homing fireball.
constexpr float SHOT_SPEED = 24.0f;
constexpr float SHOT_LIFE = 4.0f;
constexpr float SHOT_DAMAGE = 20.0f;
constexpr float SHOT_RADIUS = 3.5f;

// What a tower's and a shot's query() answers beyond the base's (1: the
// serial id of the object it refers to: a tower's target, a shot's tower).
enum {
  TOWER_QUERY_HEALTH = 2, // towers: health, rounded up
  TOWER_QUERY_BUILD = 3,  // towers: per cent built
  TOWER_QUERY_SHOTS = 4,
  TOWER_QUERY_KILLS = 5,
  TOWER_QUERY_TARGET = 6, // shots: the serial id of the monster it homes in on
};

// The tower's centre is a vertex (cx, cz): its body covers the 2 x 2 cells
// cx-1..cx, cz-1..cz. A cast at (x, z) builds round the nearest vertex.
inline int tower_vertex(float v) { return int(floorf(v + 0.5f)) & (HMAP_SIZE - 1); }

// Why no tower can stand round vertex (cx, cz), or null when one can.
// `others` holds the (x, z) centres of the world's towers.
inline const char* tower_site_refusal(int cx, int cz, const float (*others)[2], int count)
{
  using namespace HeightmapData;
  if (count >= MAX_TOWERS) return "This world has all the guard towers it can hold";
  for (int i = 0; i < count; ++i) {
    float dx = wrap_delta(others[i][0] - float(cx)), dz = wrap_delta(others[i][1] - float(cz));
    if (dx * dx + dz * dz < TOWER_SPACING * TOWER_SPACING) return "Too close to another guard tower";
  }
  // The footprint and a ring of one cell round it.
  float lo = 1e30f, hi = -1e30f;
  bool wet = false, lava = false, house = false;
  for (int z = cz - 2; z <= cz + 1; ++z)
    for (int x = cx - 2; x <= cx + 1; ++x) {
      int i = hmap_index(x, z);
      house |= surface[i].ground == GT_HOUSE;
      float d = waterCells()[i].depth;
      wet |= d > DRY_DEPTH;
      lava |= d < -DRY_DEPTH;
    }
  for (int z = cz - 2; z <= cz + 2; ++z)
    for (int x = cx - 2; x <= cx + 2; ++x) {
      float h = hmap[hmap_index(x, z)];
      lo = fminf(lo, h);
      hi = fmaxf(hi, h);
    }
  if (house) return "A house stands there";
  if (lava) return "Lava flows there";
  if (wet) return "A tower needs dry land";
  if (!(hi - lo <= TOWER_MAX_RISE)) return "The land there is too steep for a tower";
  return nullptr;
}

// Whether the straight line from `from` to `to` passes over the land (the
// last unit before `to` is not checked: a crawler lies on the land).
inline bool land_line_of_sight(const float from[3], const float to[3])
{
  float dx = wrap_delta(to[0] - from[0]), dy = to[1] - from[1], dz = wrap_delta(to[2] - from[2]);
  float len = sqrtf(dx * dx + dy * dy + dz * dz);
  if (!(len > 1.0f)) return len <= 1.0f;
  int steps = int(ceilf(len / 0.5f));
  float end = 1.0f - 1.0f / len;
  for (int i = 1; i < steps; ++i) {
    float t = float(i) / float(steps);
    if (t > end) break;
    float x = from[0] + dx * t, z = from[2] + dz * t;
    x -= WORLD * floorf(x / WORLD);
    z -= WORLD * floorf(z / WORLD);
    if (sample_grid_bilinear(HeightmapData::hmap, x, z) > from[1] + dy * t) return false;
  }
  return true;
}

// A monster as the targeting sees it: where to aim, and whether it is one
// a tower fights (birds are not).
struct TargetCandidate {
  float aim[3];
  bool hostile;
};

// The nearest hostile candidate within `range` of `eye` that the land does
// not hide; its index, or -1.
inline int pick_tower_target(const float eye[3], const TargetCandidate* c, int count, float range)
{
  int best = -1;
  float best_d2 = range * range;
  for (int i = 0; i < count; ++i) {
    if (!c[i].hostile) continue;
    float dx = wrap_delta(c[i].aim[0] - eye[0]), dy = c[i].aim[1] - eye[1], dz = wrap_delta(c[i].aim[2] - eye[2]);
    float d2 = dx * dx + dy * dy + dz * dz;
    if (!(d2 <= best_d2) || !land_line_of_sight(eye, c[i].aim)) continue;
    best_d2 = d2;
    best = i;
  }
  return best;
}

// {===== Built houses

// The house templates of the world generator a spell builds (its type and
// size in cells); the generator's house shaping picks the template by type.
struct HouseShape {
  int type, nx, nz;
};
constexpr HouseShape HOUSE_SHAPES[3] = {{0, 4, 4}, {1, 4, 10}, {2, 10, 4}};
constexpr float HOUSE_MAX_RISE = 2.5f;
// A house keeps this far (from its footprint) from a tower's centre.
constexpr float HOUSE_TOWER_CLEARANCE = 3.0f;

// Which house goes round cell (x, z): a small one mostly, now and then a
// long one, fixed by the place.
inline const HouseShape& house_shape_at(int x, int z)
{
  unsigned h = unsigned(x & 255) * 73856093u ^ unsigned(z & 255) * 19349663u;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  unsigned pick = h % 4;
  return HOUSE_SHAPES[pick < 2 ? 0 : pick - 1];
}
// The house's first cell (the shaping centres it on (x, z)).
inline int house_x0(int x, const HouseShape& s) { return (x - s.nx / 2) & (HMAP_SIZE - 1); }
inline int house_z0(int z, const HouseShape& s) { return (z - s.nz / 2) & (HMAP_SIZE - 1); }

// Why house `s` can't be built round cell (x, z), or null when it can;
// `towers` holds the (x, z) centres of the world's towers.
inline const char* house_site_refusal(int x, int z, const HouseShape& s, const float (*towers)[2], int count)
{
  using namespace HeightmapData;
  int x0 = house_x0(x, s), z0 = house_z0(z, s);
  float lo = 1e30f, hi = -1e30f;
  bool wet = false, lava = false, house = false;
  for (int j = -1; j <= s.nz; ++j)
    for (int i = -1; i <= s.nx; ++i) {
      int c = hmap_index(x0 + i, z0 + j);
      house |= surface[c].ground == GT_HOUSE;
      float d = waterCells()[c].depth;
      wet |= d > DRY_DEPTH;
      lava |= d < -DRY_DEPTH;
    }
  for (int j = 0; j <= s.nz; ++j)
    for (int i = 0; i <= s.nx; ++i) {
      float h = hmap[hmap_index(x0 + i, z0 + j)];
      lo = fminf(lo, h);
      hi = fmaxf(hi, h);
    }
  for (int t = 0; t < count; ++t) {
    // Distance from the tower's centre to the footprint's rectangle.
    float cx = float(x0) + s.nx * 0.5f, cz = float(z0) + s.nz * 0.5f;
    float dx = fabsf(wrap_delta(towers[t][0] - cx)) - s.nx * 0.5f;
    float dz = fabsf(wrap_delta(towers[t][1] - cz)) - s.nz * 0.5f;
    dx = fmaxf(dx, 0.0f);
    dz = fmaxf(dz, 0.0f);
    if (dx * dx + dz * dz < HOUSE_TOWER_CLEARANCE * HOUSE_TOWER_CLEARANCE) return "A guard tower stands there";
  }
  if (house) return "A house stands there already";
  if (lava) return "Lava flows there";
  if (wet) return "A house needs dry land";
  if (!(hi - lo <= HOUSE_MAX_RISE)) return "The land there is too steep for a house";
  return nullptr;
}

} // namespace towers
