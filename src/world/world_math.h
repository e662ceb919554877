// Rounding and circle iteration shared by the world model, the noise
// functions and the generators. Rounding is round-to-nearest-even (the SSE
// conversion), and floor is taken as v - 0.49999988 rounded; every lattice
// lookup of the world uses this one rule so that results are reproducible.
// It equals floor except next to integers: within about 1.2e-7 below an
// integer i it gives i, and at odd integers of magnitude 3 or more
// v - 0.49999988 rounds to v - 0.5, whose tie goes to the even v - 1.
#pragma once
#include <xmmintrin.h>

#include <cmath>

#include "world/heightmap.h"

// 0.5 - 2^-24 rounded to float (0x3EFFFFFE).
constexpr float WORLD_HALF_DOWN = 0.49999988f;

inline int round_to_int(float v) { return _mm_cvtss_si32(_mm_set_ss(v)); }
inline int floor_to_int(float v) { return round_to_int(v - WORLD_HALF_DOWN); }

// A centre coordinate far outside the world, moved to the same place of the
// torus (fmodf is exact); nearer ones are used as they are, so the distances
// of ordinary circles keep every bit.
inline float near_world_coord(float c) {
  return (c > 4194304.0f || c < -4194304.0f) ? fmodf(c, (float)HMAP_SIZE) : c;
}

// Visits the cells (x, z) of the circle of radius r round (cx, cz): rows
// round(cz - r + 0.49999988) .. round(cz + r - 0.49999988), columns likewise,
// keeping cells with d^2 < r^2 (strictly). Calls f(cell index, d^2).
//
// A circle wider than the world (r > 128) would reach cells more than once
// through the wrap, and a huge radius would loop for ever or overflow the
// row numbers: such a circle visits every cell of the world at most once,
// measured from the centre to the cell's nearest copy. Up to r = 128 no cell
// can be reached twice, so both rules agree there. A centre or radius that is
// not a number visits nothing.
template <class F>
inline void for_circle_cells(float cx, float cz, float r, F&& f) {
  if (!std::isfinite(cx) || !std::isfinite(cz) || std::isnan(r)) return;
  cx = near_world_coord(cx);
  cz = near_world_coord(cz);
  float r2 = r * r;
  if (r > (float)(HMAP_SIZE / 2)) {
    const float half = (float)(HMAP_SIZE / 2), size = (float)HMAP_SIZE;
    auto nearest = [&](float d) { return d > half ? d - size : d < -half ? d + size : d; };
    int zc = round_to_int(cz), xc = round_to_int(cx);
    for (int z = zc - HMAP_SIZE / 2; z < zc + HMAP_SIZE / 2; z++) {
      float dz = nearest((float)z - cz);
      float dz2 = dz * dz;
      int row = (z & (HMAP_SIZE - 1)) << HMAP_SIZE_SHIFT;
      for (int x = xc - HMAP_SIZE / 2; x < xc + HMAP_SIZE / 2; x++) {
        float dx = nearest((float)x - cx);
        float d2 = dx * dx + dz2;
        if (d2 < r2) f(row | (x & (HMAP_SIZE - 1)), d2);
      }
    }
    return;
  }
  int z0 = round_to_int(cz - r + WORLD_HALF_DOWN);
  int z1 = round_to_int(cz + r - WORLD_HALF_DOWN);
  int x0 = round_to_int(cx - r + WORLD_HALF_DOWN);
  int x1 = round_to_int(cx + r - WORLD_HALF_DOWN);
  for (int z = z0; z <= z1; z++) {
    float dz = (float)z - cz;
    float dz2 = dz * dz;
    int row = (z & (HMAP_SIZE - 1)) << HMAP_SIZE_SHIFT;
    for (int x = x0; x <= x1; x++) {
      float dx = (float)x - cx;
      float d2 = dx * dx + dz2;
      if (d2 < r2) f(row | (x & (HMAP_SIZE - 1)), d2);
    }
  }
}

// The cells used by the mark operations: a radius <= 1 is the single cell
// (round(cx), round(cz)); otherwise the circle above.
template <class F>
inline void for_mark_circle_cells(float cx, float cz, float r, F&& f) {
  if (r <= 1.0f) {
    if (!std::isfinite(cx) || !std::isfinite(cz)) return; // not a place
    f(hmap_index(round_to_int(near_world_coord(cx)), round_to_int(near_world_coord(cz))));
    return;
  }
  for_circle_cells(cx, cz, r, [&](int i, float) { f(i); });
}
