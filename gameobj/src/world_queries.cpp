// Queries of the host's world grids: land heights, the land still to move,
// fluid depths, normals and the world clock. Read only; positions wrap like
// the grids.
#include <math.h>

#include "game_world.h"
#include "world/heightmap.h"
#include "world/saved_games.h"
#include "world/world_math.h"

using namespace HeightmapData;

namespace {

// Bilinear filter of any per-cell value at a float position (the host's rule
// for hmap, sample_grid_bilinear, for values that are not a flat float grid).
template <class F>
float bilinear(float x, float z, F&& at)
{
  int ix = floor_to_int(x), iz = floor_to_int(z);
  float fx = x - (float)ix, fz = z - (float)iz;
  float a = at(ix, iz) + (at(ix + 1, iz) - at(ix, iz)) * fx;
  float b = at(ix, iz + 1) + (at(ix + 1, iz + 1) - at(ix, iz + 1)) * fx;
  return a + (b - a) * fz;
}

Vec4f normalized(float x, float y, float z)
{
  float len = sqrtf(x * x + y * y + z * z);
  return Vec4f{x / len, y / len, z / len, 0};
}

} // namespace

float get_land_height(int x, int z) { return hmap[hmap_index(x, z)]; }

float get_land_height_at(const Vec4f& pos) { return sample_grid_bilinear(hmap, pos.x, pos.z); }

Vec4f get_land_pos_at(const Vec4f& pos) { return Vec4f{pos.x, get_land_height_at(pos), pos.z, pos.w}; }

float get_land_change(int x, int z)
{
  int i = hmap_index(x, z);
  return target_hmap[i] - hmap[i];
}

float get_land_change_at(const Vec4f& pos) { return bilinear(pos.x, pos.z, get_land_change); }

float get_water(int x, int z) { return water[z & (HMAP_SIZE - 1)][x & (HMAP_SIZE - 1)].depth; }

float get_water_at(const Vec4f& pos) { return bilinear(pos.x, pos.z, get_water); }

// Central differences over the neighbouring cells (cells are one unit apart).
Vec4f calc_land_norm(int x, int z)
{
  float dx = get_land_height(x + 1, z) - get_land_height(x - 1, z);
  float dz = get_land_height(x, z + 1) - get_land_height(x, z - 1);
  return normalized(-0.5f * dx, 1.0f, -0.5f * dz);
}

// The cell normals filtered like the heights, then made unit length again.
Vec4f calc_land_norm_at(const Vec4f& pos)
{
  float nx = bilinear(pos.x, pos.z, [](int x, int z) { return calc_land_norm(x, z).x; });
  float ny = bilinear(pos.x, pos.z, [](int x, int z) { return calc_land_norm(x, z).y; });
  float nz = bilinear(pos.x, pos.z, [](int x, int z) { return calc_land_norm(x, z).z; });
  return normalized(nx, ny, nz);
}

// The clock lives in the host's saved world state, which the world file
// writes and reads, so it survives saving and a reload of the module.
int get_world_time() { return saved_world_state.world_time; }

void advance_world_time() { ++saved_world_state.world_time; }
