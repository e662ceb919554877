// Lattice noises of world generation, all driven by one seeded permutation
// table: 1D gradient noise, an older tiling 2D gradient noise, 4D simplex
// noise, a tiling 2D noise made from the 4D one on a torus, fractal sums,
// hashes and tiling Voronoi queries. Every function is a pure function of
// its arguments and of noise_perm / noise_points, so the same seed gives the
// same world. Allocation-free; main thread only.
#pragma once
#include <xmmintrin.h>

#include <cstdint>

#include "core/math_types.h"

struct FloatRamp;

// Entries 0..255 a permutation of 0..255, 256..511 a copy of them, so that
// perm[a + perm[b]] with a, b <= 255 needs no second mask. Zero until the
// first reseed_noise.
extern uint8_t noise_perm[512];
// 256 feature points (px, pz) in [0, 1), one per hashed lattice cell.
extern float noise_points[512];
// The 4D simplex traversal table: for the comparison code 32 (x>y) + 16 (x>z)
// + 8 (y>z) + 4 (x>w) + 2 (y>w) + 1 (z>w), the rank (0..3) of each coordinate;
// codes that no ordering produces hold zeros.
extern const uint8_t noise_simplex_traversal[64][4];

// Refills both tables from the game random generator (1,536 draws).
void reseed_noise();

// Octave counts of the fractal sums are held to 1 .. 32. Each octave doubles
// positions and periods: past 32 they have left float precision (the octaves
// add only rounding noise and a huge count would run for ever), and past
// about 120 they overflow to infinity and the sum becomes NaN.
constexpr int MAX_NOISE_OCTAVES = 32;
inline int noise_octaves(int octaves) {
  return octaves < 1 ? 1 : octaves > MAX_NOISE_OCTAVES ? MAX_NOISE_OCTAVES : octaves;
}

float noise1(float x);
// Sum over octaves k (at least one) of gain^k * v_k, v_k = noise1(x_k),
// x_{k+1} = 2 x_k + 0.5; a ramp remaps each v_k at (v_k + 1) / 2.
float fractal_noise1(int octaves, const FloatRamp* ramp, float x, float gain);
// Tiling 2D gradient noise; period a power of two up to 256.
float old_tiled_noise2(float x, float z, int period);
// 4D simplex noise.
float noise4(float x, float y, float z, float w);
// noise4 of four points (one per lane), bit for bit as four noise4 calls.
void noise4_x4(__m128 x, __m128 y, __m128 z, __m128 w, float out[4]);
// 2D noise repeating with `period` (any positive value) in x and z.
float tiled_noise2(float x, float z, float period);
// Fractal sum of tiled_noise2 with doubled period per octave (tiles with the first period).
float tiled_fractal_noise2(int octaves, const FloatRamp* ramp, float x, float z, float period,
                           float gain);

int get_noise_hash1(int i);
int get_noise_hash2(int i, int j);

// Voronoi queries over the 3 x 3 lattice cells round (x, z), tiling with
// period 1 << period_shift. Offsets point from the query to the feature
// point; ids are ((cz & mask) << 16) | (cx & mask). Outputs may be null.
// all9: the nine candidates, rows then columns (output 4 is the own cell).
void tiled_voronoi_noise2_all9(float x, float z, int period_shift, Point2* offset, int* id);
// near4: the four nearest, ascending by squared distance.
void tiled_voronoi_noise2_near4(float x, float z, int period_shift, float* dist, int* id,
                                Point2* offset);

// The pieces of tiled_noise2, shared with the generators, which precompute
// the per-column and per-row values of a whole grid: the torus angle of a
// coordinate (formed in double, rounded to float) and the torus radius.
float tiled_noise_angle(float v, float period);
inline float tiled_noise_radius(float period) { return period / 6.2831855f; }
