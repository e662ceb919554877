// Rounding and circle iteration shared by the world model, the noise
// functions and the generators. Rounding is round-to-nearest-even (the SSE
// conversion), and floor is taken as v - 0.49999988 rounded; every lattice
// lookup of the world uses this one rule so that results are reproducible.
// It equals floor except next to integers: within about 1.2e-7 below an
// integer i it gives i, and at odd integers of magnitude 3 or more
// v - 0.49999988 rounds to v - 0.5, whose tie goes to the even v - 1.
#pragma once
#include <xmmintrin.h>

#include "world/heightmap.h"

// 0.5 - 2^-24 rounded to float (0x3EFFFFFE).
constexpr float WORLD_HALF_DOWN = 0.49999988f;

inline int round_to_int(float v) { return _mm_cvtss_si32(_mm_set_ss(v)); }
inline int floor_to_int(float v) { return round_to_int(v - WORLD_HALF_DOWN); }

// Visits the cells (x, z) of the circle of radius r round (cx, cz): rows
// round(cz - r + 0.49999988) .. round(cz + r - 0.49999988), columns likewise,
// keeping cells with d^2 < r^2 (strictly). Calls f(cell index, d^2).
template <class F>
inline void for_circle_cells(float cx, float cz, float r, F&& f) {
  int z0 = round_to_int(cz - r + WORLD_HALF_DOWN);
  int z1 = round_to_int(cz + r - WORLD_HALF_DOWN);
  int x0 = round_to_int(cx - r + WORLD_HALF_DOWN);
  int x1 = round_to_int(cx + r - WORLD_HALF_DOWN);
  float r2 = r * r;
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
    f(hmap_index(round_to_int(cx), round_to_int(cz)));
    return;
  }
  for_circle_cells(cx, cz, r, [&](int i, float) { f(i); });
}
