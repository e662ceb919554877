// Shared internals of the terrain generators: the static scratch grids that
// keep whole-grid passes allocation-free, and the per-octave torus tables
// that turn tiled_noise2 over a grid into one noise4 call per cell.
#pragma once
#include "world/heightmap.h"

// Two scratch grids for the generators. Not re-entrant: a generator owns
// them for the duration of its pass and calls no other generator meanwhile.
extern float gen_scratch[2][HMAP_CELLS];

// For one octave of a tiled_noise2 sum over grid coordinates c = 0..255:
// the octave's coordinate u(c) (kept across octaves: u <- 2u + 0.5), and
// R cos / R sin of its torus angle. noise4(rc[x], rc[z], rs[x], rs[z]) then
// equals tiled_noise2(u(x), u(z), period) bit for bit.
struct TorusOctave {
  alignas(16) float u[HMAP_SIZE];
  alignas(16) float rc[HMAP_SIZE];
  alignas(16) float rs[HMAP_SIZE];

  // u(c) = c * scale for the first octave.
  void start(float scale);
  // Fills rc, rs for the current u and period.
  void compute(float period);
  // Moves u to the next octave.
  void advance();
};
