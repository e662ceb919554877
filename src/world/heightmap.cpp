// The world grids: their one-time allocation, reset, the whole-grid height
// queries, the mark operations and the square-depth and ray queries.
// Invariant: the grid pointers are set once by allocate_heightmap_grids and
// never move; every coordinate is masked, so no index leaves the grids.
#include "world/heightmap.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/app_globals.h"
#include "core/log.h"
#include "world/world_math.h"

namespace HeightmapData {

float* hmap = nullptr;
float* target_hmap = nullptr;
WaterRow* water = nullptr;
WaterRow* tmpw = nullptr;
Surface* surface = nullptr;
LandSoundGroup land_sound[8];
void* render_grid[NUM_RENDER_GRIDS];
size_t render_grid_bytes[NUM_RENDER_GRIDS];
void (*stop_sounds_hook)() = nullptr;

uint32_t Surface::typeWord() const {
  uint32_t w;
  memcpy(&w, (const char*)this + 8, 4);
  return w;
}

void Surface::setTypeWord(uint32_t w) { memcpy((char*)this + 8, &w, 4); }

} // namespace HeightmapData

using namespace HeightmapData;

// =========================================================================
// Allocation
// =========================================================================

// Each array starts this far after the end of the previous one.
static constexpr size_t GRID_GAP = 64;
static constexpr size_t WORLD_GRID_BYTES[5] = {
    HMAP_CELLS * sizeof(float), HMAP_CELLS * sizeof(float), HMAP_CELLS * sizeof(Water),
    HMAP_CELLS * sizeof(Water), HMAP_CELLS * sizeof(Surface)};
static constexpr size_t RENDER_GRID_BYTES_LOW[2] = {1048576, 786432};
static constexpr size_t RENDER_GRID_BYTES_HQ[2] = {1048576, 1048576};

size_t heightmap_block_size(int quality) {
  size_t total = 0;
  for (size_t b : WORLD_GRID_BYTES) total += b + GRID_GAP;
  for (size_t b : RENDER_GRID_BYTES_LOW) total += b + GRID_GAP;
  if (quality >= 1)
    for (size_t b : RENDER_GRID_BYTES_HQ) total += b + GRID_GAP;
  return total;
}

void allocate_heightmap_grids() {
  ASSERT(!hmap && "allocate_heightmap_grids() runs once at start-up");
  size_t size = heightmap_block_size(gfx_quality);
  char* block = (char*)aligned_alloc(64, size);
  if (!block) fatal("WORLD: out of memory allocating the world grids (%zu bytes)", size);
  memset(block, 0, size);
  char* p = block;
  auto take = [&p](size_t bytes) {
    char* r = p;
    p += bytes + GRID_GAP;
    return r;
  };
  hmap = (float*)take(WORLD_GRID_BYTES[0]);
  target_hmap = (float*)take(WORLD_GRID_BYTES[1]);
  water = (WaterRow*)take(WORLD_GRID_BYTES[2]);
  tmpw = (WaterRow*)take(WORLD_GRID_BYTES[3]);
  surface = (Surface*)take(WORLD_GRID_BYTES[4]);
  for (int i = 0; i < NUM_RENDER_GRIDS; i++) {
    render_grid[i] = nullptr;
    render_grid_bytes[i] = 0;
  }
  for (int i = 0; i < 2; i++) {
    render_grid_bytes[i] = RENDER_GRID_BYTES_LOW[i];
    render_grid[i] = take(RENDER_GRID_BYTES_LOW[i]);
  }
  if (gfx_quality >= 1) {
    for (int i = 0; i < 2; i++) {
      render_grid_bytes[2 + i] = RENDER_GRID_BYTES_HQ[i];
      render_grid[2 + i] = take(RENDER_GRID_BYTES_HQ[i]);
    }
  }
  ASSERT((size_t)(p - block) == size);
}

// =========================================================================
// Reset and whole-grid queries
// =========================================================================

void HeightmapData::reset() {
  if (stop_sounds_hook) stop_sounds_hook();
  memset(hmap, 0, HMAP_CELLS * sizeof(float));
  memset(target_hmap, 0, HMAP_CELLS * sizeof(float));
  Surface clear;
  clear.color = 0xFF808080u;
  clear.top_color = 0;
  clear.setTypeWord(1); // GT_ROCK, ST_NONE, no tile, no marks
  for (int i = 0; i < HMAP_CELLS; i++) surface[i] = clear;
  memset(waterCells(), 0, HMAP_CELLS * sizeof(Water));
  memset(land_sound, 0, sizeof(land_sound));
}

void HeightmapData::calcHtRange(float& min, float& max) {
  float lo = hmap[0], hi = hmap[0];
  for (int i = 1; i < HMAP_CELLS; i++) {
    float h = hmap[i];
    lo = h < lo ? h : lo;
    hi = h > hi ? h : hi;
  }
  min = lo;
  max = hi;
}

float HeightmapData::recenterHt() {
  float lo, hi;
  calcHtRange(lo, hi);
  float shift = -(lo + hi) * 0.5f;
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] += shift;
  return (hi - lo) * 0.5f;
}

// =========================================================================
// Marks
// =========================================================================

static inline void update_marks(int i, unsigned set, unsigned clear) {
  surface[i].marks = (surface[i].marks & ~clear) | set;
}

// Visits the cells of the inclusive, wrapped rectangle until f returns false.
// A rectangle 256 or more cells wide already covers every column of the
// torus, and the mark update and test give the same result when a cell
// recurs, so at most 256 columns and rows are visited: no long loops over
// huge ranges, and no overflow near INT_MAX.
template <class F>
static bool for_rect_cells(int x0, int z0, int x1, int z1, F&& f) {
  int64_t nx = (int64_t)x1 - x0 + 1, nz = (int64_t)z1 - z0 + 1;
  if (nx > HMAP_SIZE) nx = HMAP_SIZE;
  if (nz > HMAP_SIZE) nz = HMAP_SIZE;
  for (int64_t j = 0; j < nz; j++) {
    int row = (int)((z0 + j) & (HMAP_SIZE - 1)) << HMAP_SIZE_SHIFT;
    for (int64_t i = 0; i < nx; i++)
      if (!f(row | (int)((x0 + i) & (HMAP_SIZE - 1)))) return false;
  }
  return true;
}

void mark_rect(int x0, int z0, int x1, int z1, unsigned set, unsigned clear) {
  for_rect_cells(x0, z0, x1, z1, [&](int i) {
    update_marks(i, set, clear);
    return true;
  });
}

void mark_circle(float cx, float cz, float r, unsigned set, unsigned clear) {
  for_mark_circle_cells(cx, cz, r, [&](int i) { update_marks(i, set, clear); });
}

void mark_water(float level, unsigned set, unsigned clear) {
  const Water* w = waterCells();
  for (int i = 0; i < HMAP_CELLS; i++)
    if (w[i].depth > level) update_marks(i, set, clear);
}

bool test_rect_mark(int x0, int z0, int x1, int z1, unsigned mask, unsigned value) {
  return for_rect_cells(x0, z0, x1, z1,
                        [&](int i) { return (surface[i].marks & mask) == value; });
}

bool test_circle_mark(float cx, float cz, float r, unsigned mask, unsigned value) {
  bool ok = true;
  for_mark_circle_cells(cx, cz, r, [&](int i) {
    if ((surface[i].marks & mask) != value) ok = false;
  });
  return ok;
}

// =========================================================================
// Square depth and ray
// =========================================================================

float sample_grid_bilinear(const float* grid, float x, float z) {
  int ix = floor_to_int(x), iz = floor_to_int(z);
  float fx = x - (float)ix, fz = z - (float)iz;
  float h00 = grid[hmap_index(ix, iz)], h10 = grid[hmap_index(ix + 1, iz)];
  float h01 = grid[hmap_index(ix, iz + 1)], h11 = grid[hmap_index(ix + 1, iz + 1)];
  float a = h00 + (h10 - h00) * fx;
  float b = h01 + (h11 - h01) * fx;
  return a + (b - a) * fz;
}

namespace {
struct SurfaceHeight {
  bool land_only;
  float operator()(int x, int z) const {
    int i = hmap_index(x, z);
    float h = hmap[i];
    if (!land_only) h += fabsf(waterCells()[i].depth);
    return h;
  }
};
} // namespace

Vec4f HeightmapData::calcSquareDepth(const Vec4f& pos, float half, bool land_only) {
  SurfaceHeight s{land_only};
  // The square's bounds; its boundary cells are floor(coordinate) by the
  // 0.4999999 rounding rule, and the bilinear surface peaks either at whole
  // vertices inside, on the edges where they cross grid lines, or at corners.
  float xa = pos.x - half, xb = pos.x + half;
  float za = pos.z - half, zb = pos.z + half;
  int ixa = round_to_int(xa - 0.4999999f), ixb = round_to_int(xb - 0.4999999f);
  int iza = round_to_int(za - 0.4999999f), izb = round_to_int(zb - 0.4999999f);
  float fxa = xa - (float)ixa, fxb = xb - (float)ixb;
  float fza = za - (float)iza, fzb = zb - (float)izb;

  auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
  auto bilinear = [&](int ix, int iz, float fx, float fz) {
    return lerp(lerp(s(ix, iz), s(ix + 1, iz), fx), lerp(s(ix, iz + 1), s(ix + 1, iz + 1), fx), fz);
  };
  float best = bilinear(ixa, iza, fxa, fza);
  best = fmaxf(best, bilinear(ixb, iza, fxb, fza));
  best = fmaxf(best, bilinear(ixa, izb, fxa, fzb));
  best = fmaxf(best, bilinear(ixb, izb, fxb, fzb));
  for (int x = ixa + 1; x <= ixb; x++) { // edges along x
    best = fmaxf(best, lerp(s(x, iza), s(x, iza + 1), fza));
    best = fmaxf(best, lerp(s(x, izb), s(x, izb + 1), fzb));
  }
  for (int z = iza + 1; z <= izb; z++) { // edges along z
    best = fmaxf(best, lerp(s(ixa, z), s(ixa + 1, z), fxa));
    best = fmaxf(best, lerp(s(ixb, z), s(ixb + 1, z), fxb));
  }
  for (int z = iza + 1; z <= izb; z++) // whole vertices inside
    for (int x = ixa + 1; x <= ixb; x++) best = fmaxf(best, s(x, z));
  float d = best - pos.y;
  return Vec4f{d, d, d, d};
}

float (*land_height_at_hook)(const Vec4f& pos) = nullptr;

bool trace_hmap_ray(const Vec4f& origin, const Vec4f& dir, float& t) {
  if (!(t >= 0.0f)) return false;
  int n = round_to_int(sqrtf(dir.x * dir.x + dir.z * dir.z) * t - WORLD_HALF_DOWN);
  if (n <= 0) return false; // n = 0: shorter than one cell, never hits
  for (int i = 0; i <= n; i++) {
    float s = (float)i * t / (float)n;
    Vec4f p{origin.x + s * dir.x, origin.y + s * dir.y, origin.z + s * dir.z, origin.w + s * dir.w};
    float h = land_height_at_hook ? land_height_at_hook(p) : sample_grid_bilinear(hmap, p.x, p.z);
    if (h >= p.y) {
      t = s;
      return true;
    }
  }
  return false;
}
