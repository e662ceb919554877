// The world model: one wrapping 256 x 256 grid of cells, cell (x, z) at index
// (z << 8) | x with both coordinates masked by 255, so every neighbourhood,
// brush and rectangle wraps across the edges (the world is a torus).
//
// The grids are exported globals of the HeightmapData namespace, read and
// written directly by the renderer and the game-object module. They live in
// one block allocated once at start-up and never move; only the water/tmpw
// pointers swap.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/math_types.h"

constexpr int HMAP_SIZE = 256;
constexpr int HMAP_SIZE_SHIFT = 8;
constexpr int HMAP_CELLS = HMAP_SIZE * HMAP_SIZE;

// Ground types (GT_NONE is only an argument meaning "keep", never stored).
enum {
  GT_NONE = -1,
  GT_HOUSE = 0, // covered by a house tile; the renderer draws the tile instead of terrain
  GT_ROCK = 1,
  GT_SAND = 2,
  GT_SOIL = 3,
};

// Surface (top layer) types.
enum {
  ST_OPEN = 0,
  ST_NONE = 0,
  ST_GRASS = 1,
  ST_ASH = 2,
  ST_SNOW = 3,
  ST_ROAD = 4,
};

// Mark bits reserving ground for houses, objects and water.
enum : unsigned {
  MARK_OBJ = 1,
  MARK_PLACE = 2,
  MARK_HOUSE = 4,
  MARK_WATER = 8,
  MARK_PLACEMENT = 7, // OBJ | PLACE | HOUSE
};

inline int hmap_index(int x, int z) {
  return ((z & (HMAP_SIZE - 1)) << HMAP_SIZE_SHIFT) | (x & (HMAP_SIZE - 1));
}

namespace HeightmapData {

// Fluid state of a cell (16 bytes).
struct Water {
  float depth;  // > 0 water, < 0 lava (magnitude = lava depth), 0 dry
  float flow_x; // velocity across the face to the +x neighbour (staggered grid)
  float flow_z; // velocity across the face to the +z neighbour
  float foam;   // turbulence 0..1
};
static_assert(sizeof(Water) == 16);

// Colours and types of a cell (12 bytes). The third word packs, from bit 0:
// ground (4 bits), cover (4), tile_rot (3), tile (13), marks (8).
struct Surface {
  uint32_t color;     // ARGB ground colour
  uint32_t top_color; // ARGB top layer (grass, ash, snow, road); alpha = coverage; 0 = none
  uint32_t ground : 4;
  uint32_t cover : 4;
  uint32_t tile_rot : 3;
  uint32_t tile : 13;
  uint32_t marks : 8;

  uint32_t typeWord() const;
  void setTypeWord(uint32_t w);
};
static_assert(sizeof(Surface) == 12);

// Accumulator of one land-sound sector (filled by the height update).
struct LandSoundGroup {
  float acc[4];      // sum of w*x, w*y, w*z, w
  uint32_t channel;  // sound channel handle, 0 = none
  uint32_t spare[3];
};
static_assert(sizeof(LandSoundGroup) == 32);

using WaterRow = Water[HMAP_SIZE];

extern float* hmap;        // current land height per cell
extern float* target_hmap; // height the land moves towards
extern WaterRow* water;    // current water/lava, water[z][x]
extern WaterRow* tmpw;     // second water buffer (swapped with water each step)
extern Surface* surface;   // colours, types, house tiles, marks
extern LandSoundGroup land_sound[8];

// Flat views of the water grids by cell index.
inline Water* waterCells() { return &water[0][0]; }
inline Water* tmpwCells() { return &tmpw[0][0]; }

// Per-cell grids of the terrain renderer, allocated in the same block after
// the world grids: slots 0 (1,048,576 bytes) and 1 (786,432 bytes) always,
// slots 2 and 3 (1,048,576 bytes each) only at high graphics quality.
constexpr int NUM_RENDER_GRIDS = 4;
extern void* render_grid[NUM_RENDER_GRIDS];
extern size_t render_grid_bytes[NUM_RENDER_GRIDS];

// Called by reset to fade out the land sounds (10 ms); null until the world
// update installs it.
extern void (*stop_sounds_hook)();

// Clears the world: heights 0, surface colour 0xFF808080 with top colour 0 and
// type word 1 (rock, no cover, no tile, no marks), water zero, land-sound
// groups zero. tmpw is left as it is.
void reset();
// Minimum and maximum of hmap.
void calcHtRange(float& min, float& max);
// Shifts hmap (not target_hmap) so its range is centred on 0; returns half the range.
float recenterHt();
// Highest surface (land, or land + |fluid| unless land_only) in the square of
// +-half round (pos.x, pos.z) with bilinear edges, minus pos.y, in all four lanes.
Vec4f calcSquareDepth(const Vec4f& pos, float half, bool land_only);

} // namespace HeightmapData

// Size of the grid block for a graphics quality (0 low, 1 high).
size_t heightmap_block_size(int quality);
// Allocates the grid block once, for the current gfx_quality; fatal if called twice.
void allocate_heightmap_grids();

// Mark updates: marks = (marks & ~clear) | set over an inclusive wrapped
// rectangle, a circle, or every cell whose signed water depth is above level.
void mark_rect(int x0, int z0, int x1, int z1, unsigned set, unsigned clear);
void mark_circle(float cx, float cz, float r, unsigned set, unsigned clear);
void mark_water(float level, unsigned set, unsigned clear);
// True when every cell of the rectangle / circle has (marks & mask) == value.
bool test_rect_mark(int x0, int z0, int x1, int z1, unsigned mask, unsigned value);
bool test_circle_mark(float cx, float cz, float r, unsigned mask, unsigned value);

// Land height at a position, answered by the game-object module once it is
// linked; null until then (the bilinear height of hmap is used instead).
extern float (*land_height_at_hook)(const Vec4f& pos);
// Marches the ray origin + s * dir for s in 0..t, one sample per horizontal
// cell; at the first sample on or under the land sets t = s and returns true.
bool trace_hmap_ray(const Vec4f& origin, const Vec4f& dir, float& t);

// Bilinear height of a grid at a float position (wrapping).
float sample_grid_bilinear(const float* grid, float x, float z);
