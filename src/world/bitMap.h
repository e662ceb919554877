// Raster maps of the world-generation script: BitMap (one bit per cell) and
// IntMap (one integer per cell), both wrapping 256 x 256 like the world
// grids, plus the distance maps built from a bit map.
//
// A BitMap stores row z as eight 32-bit words, bit x & 31 of word x >> 5, so
// whole rows are shifted and combined a word at a time. Its statistics
// (bounds, bounding circle, area) are cached and recomputed on the first
// query after any change; every writer goes through set() or changed().
// Randomness comes from the game random generator only, in a fixed order.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "world/heightmap.h"

// Wrapped extent of a set of cells: the smallest rectangle (possibly across
// the edges) holding them all; all zero when there are none.
struct MapBounds {
  int x0, z0, width, height;
};

class BitMap {
public:
  static constexpr int WORDS_PER_ROW = HMAP_SIZE / 32;
  static constexpr int NUM_WORDS = WORDS_PER_ROW * HMAP_SIZE;

  uint32_t bits[NUM_WORDS];

  BitMap() { clear(); }

  void clear();
  // Marks the cached statistics stale (after writing `bits` directly).
  void changed() { statsValid = false; }

  bool get(int x, int z) const {
    x &= HMAP_SIZE - 1;
    z &= HMAP_SIZE - 1;
    return (bits[z * WORDS_PER_ROW + (x >> 5)] >> (x & 31)) & 1;
  }
  bool getIndex(int i) const { return (bits[i >> 5] >> (i & 31)) & 1; }
  void set(int x, int z, bool v) {
    x &= HMAP_SIZE - 1;
    z &= HMAP_SIZE - 1;
    uint32_t& w = bits[z * WORDS_PER_ROW + (x >> 5)];
    uint32_t m = 1u << (x & 31);
    w = v ? (w | m) : (w & ~m);
    statsValid = false;
  }

  // Pixel (x, z) of the result = this (x - dx, z - dz).
  void shiftedCopy(int dx, int dz, BitMap& out) const;
  MapBounds bounds();
  // Largest wrapped distance from the bounds' centre to a set pixel.
  float boundingCircle();
  int area();
  // Whether the bounds of this and of `other` shifted by (dx, dz) overlap.
  bool testOverlap(BitMap& other, int dx, int dz);

  // The 4-connected region of pixels equal to pixel (x, z), as set pixels.
  void floodFillMask(int x, int z, BitMap& out) const;
  // True when the set pixels form exactly one 4-connected region (an empty
  // map has none, so it is not continuous).
  bool isContinuous();
  // 256 x 256 greyscale TGA, set pixels white. False when the file can't be written.
  bool dumpTga(const char* path) const;
  // Cell index of the first pixel equal to `value` (row-major), or -1.
  int findPixel(bool value) const;

  // `op` is a truth table over (this, other): bit 0 neither set, bit 1 only
  // this, bit 2 only other, bit 3 both. The other map is shifted by (dx, dz)
  // as in shiftedCopy. A null other counts 0 / copies this map unchanged.
  int testMask(const BitMap* other, int op, int dx, int dz) const;
  void bitwise(const BitMap* other, int op, int dx, int dz, BitMap& out) const;

  void inverse(BitMap& out) const;
  // A pixel stays set only when it and its four neighbours are set.
  void erode(BitMap& out) const;
  // A pixel is set when it or any of its four neighbours is set.
  void expand(BitMap& out) const;

  // Cell index of a random set pixel (one draw), -1 (no draw) when empty.
  int randomPixel();
  // Up to `count` pixels grown at random from (x, z) inside this map.
  void randomFill(int x, int z, int count, BitMap& out) const;
  // Grows this map in place by brushes near its border; false when it has no border.
  bool randomExpand(int count, int samples, float distance);
  // n points on set pixels, spread apart; their cell indexes in order.
  void placePoints(int n, DynArray<int>& cells) const;
  // One circle per radius inside the set pixels, spread apart; centre cells in order.
  void placeCircles(const float* radii, int n, DynArray<int>& cells) const;

private:
  bool statsValid = false;
  MapBounds cachedBounds{};
  float cachedCircle = 0;
  int cachedArea = 0;
  void updateStats();
};

class IntMap {
public:
  int32_t cells[HMAP_CELLS];

  IntMap() { clear(); }
  void clear();
  int get(int x, int z) const { return cells[hmap_index(x, z)]; }
  void set(int x, int z, int v) {
    cells[hmap_index(x, z)] = v;
    statsValid = false;
  }
  int getIndex(int i) const { return cells[i & (HMAP_CELLS - 1)]; }
  void setIndex(int i, int v) {
    cells[i & (HMAP_CELLS - 1)] = v;
    statsValid = false;
  }
  // Bounds of the non-zero cells.
  MapBounds bounds();
  bool testOverlap(IntMap& other, int dx, int dz);

private:
  bool statsValid = false;
  MapBounds cachedBounds{};
};

// Both distance maps: values positive on set pixels and negative on unset
// ones, the magnitude growing with the distance to the opposite value.
//
// Ring search: the squared offset of the nearest opposite pixel within the
// first square ring (radius 1..128, wrapping) that holds one, as sqrt - 0.5.
void fast_skeleton_map(const BitMap& bm, float* out);
// Jittered chamfer distance transform; `jitter` scales the per-step noise.
void make_skeleton_map(const BitMap& bm, float jitter, float* out);

// Combines two occupancy profiles of 256 columns or rows into the wrapped
// interval covering them: start and length (0, 0 when empty).
void map_wrapped_extent(const bool used[HMAP_SIZE], int& start, int& length);
// Whether two wrapped intervals [a, a + al) and [b, b + bl) overlap.
bool map_intervals_overlap(int a, int al, int b, int bl);

// Writes a 256 x 256 picture as an uncompressed 8-bit greyscale TGA.
bool write_grey_tga(const char* path, const uint8_t* pixels);
