// Lattice noises over the shared permutation table (see noise.h). Floors use
// the world's rounding rule (world_math.h) so lattice cells are the same
// wherever they are computed.
#include "world/noise.h"

#include <emmintrin.h>

#include <cmath>

#include "core/game_rnd.h"
#include "core/ramp.h"
#include "world/world_math.h"

uint8_t noise_perm[512];
float noise_points[512];

void reseed_noise() {
  for (int i = 0; i < 256; i++) noise_perm[i] = (uint8_t)i;
  for (int pass = 0; pass < 4; pass++) {
    for (int i = 0; i < 256; i++) {
      uint32_t r = game_rnd_next() & 255;
      uint8_t t = noise_perm[i];
      noise_perm[i] = noise_perm[r];
      noise_perm[r] = t;
    }
  }
  for (int i = 0; i < 256; i++) noise_perm[256 + i] = noise_perm[i];
  for (int i = 0; i < 512; i++) noise_points[i] = game_rnd_frnd();
}

int get_noise_hash1(int i) { return noise_perm[i & 255]; }
int get_noise_hash2(int i, int j) { return noise_perm[(i & 255) + noise_perm[j & 255]]; }

// =========================================================================
// 1D gradient noise
// =========================================================================

// Hash byte -> integer gradient +-1 .. +-8 (bit 3 is the sign).
static inline float grad1(int b) {
  float g = (float)((b & 7) + 1);
  return (b & 8) ? -g : g;
}

float noise1(float x) {
  int i = floor_to_int(x);
  float f = x - (float)i;
  float g0 = grad1(noise_perm[i & 255]);
  float g1 = grad1(noise_perm[(i + 1) & 255]);
  float a = 1.0f - f * f;
  float f1 = f - 1.0f;
  float b = 1.0f - f1 * f1;
  a *= a;
  b *= b;
  return (g0 * f * a * a + g1 * f1 * b * b) * 0.4f;
}

float fractal_noise1(int octaves, const FloatRamp* ramp, float x, float gain) {
  float sum = 0.0f, weight = 1.0f;
  int k = 0;
  do {
    float v = noise1(x);
    if (ramp) v = ramp->get((v + 1.0f) * 0.5f);
    sum += weight * v;
    weight *= gain;
    x = 2.0f * x + 0.5f;
  } while (++k < noise_octaves(octaves));
  return sum;
}

// =========================================================================
// Tiling 2D gradient noise (the older one)
// =========================================================================

static const float GRAD2[8][2] = {{0, 1}, {0, -1}, {-1, -1}, {1, -1},
                                  {1, 0}, {-1, 0}, {-1, 1},  {1, 1}};

float old_tiled_noise2(float x, float z, int period) {
  int m = (period - 1) & 255;
  int ix = floor_to_int(x), iz = floor_to_int(z);
  float fx = x - (float)ix, fz = z - (float)iz;
  float sum = 0.0f;
  for (int c = 0; c < 4; c++) {
    int ox = c & 1, oz = c >> 1;
    int h = noise_perm[((ix + ox) & m) + noise_perm[(iz + oz) & m]];
    float dx = fx - (float)ox, dz = fz - (float)oz;
    float t = 1.0f - dx * dx - dz * dz;
    if (t > 0.0f) {
      t *= t;
      sum += t * t * (GRAD2[h & 7][0] * dx + GRAD2[h & 7][1] * dz);
    }
  }
  return sum * 2.75f;
}

// =========================================================================
// 4D simplex noise (the published reference tables and traversal)
// =========================================================================

static const int8_t GRAD4[32][4] = {
    {0, 1, 1, 1},  {0, 1, 1, -1},  {0, 1, -1, 1},  {0, 1, -1, -1},  {0, -1, 1, 1}, {0, -1, 1, -1},
    {0, -1, -1, 1}, {0, -1, -1, -1}, {1, 0, 1, 1},  {1, 0, 1, -1},  {1, 0, -1, 1}, {1, 0, -1, -1},
    {-1, 0, 1, 1}, {-1, 0, 1, -1}, {-1, 0, -1, 1}, {-1, 0, -1, -1}, {1, 1, 0, 1},  {1, 1, 0, -1},
    {1, -1, 0, 1}, {1, -1, 0, -1}, {-1, 1, 0, 1},  {-1, 1, 0, -1},  {-1, -1, 0, 1}, {-1, -1, 0, -1},
    {1, 1, 1, 0},  {1, 1, -1, 0},  {1, -1, 1, 0},  {1, -1, -1, 0},  {-1, 1, 1, 0}, {-1, 1, -1, 0},
    {-1, -1, 1, 0}, {-1, -1, -1, 0}};

// The same gradients as floats, one 16-byte row each, for the four-lane noise.
alignas(16) static const float GRAD4F[32][4] = {
    {0, 1, 1, 1},  {0, 1, 1, -1},  {0, 1, -1, 1},  {0, 1, -1, -1},  {0, -1, 1, 1}, {0, -1, 1, -1},
    {0, -1, -1, 1}, {0, -1, -1, -1}, {1, 0, 1, 1},  {1, 0, 1, -1},  {1, 0, -1, 1}, {1, 0, -1, -1},
    {-1, 0, 1, 1}, {-1, 0, 1, -1}, {-1, 0, -1, 1}, {-1, 0, -1, -1}, {1, 1, 0, 1},  {1, 1, 0, -1},
    {1, -1, 0, 1}, {1, -1, 0, -1}, {-1, 1, 0, 1},  {-1, 1, 0, -1},  {-1, -1, 0, 1}, {-1, -1, 0, -1},
    {1, 1, 1, 0},  {1, 1, -1, 0},  {1, -1, 1, 0},  {1, -1, -1, 0},  {-1, 1, 1, 0}, {-1, 1, -1, 0},
    {-1, -1, 1, 0}, {-1, -1, -1, 0}};

// Rank of each coordinate (0..3) for the comparison code
// 32 (x>y) + 16 (x>z) + 8 (y>z) + 4 (x>w) + 2 (y>w) + 1 (z>w); impossible codes are zero.
const uint8_t noise_simplex_traversal[64][4] = {
    {0, 1, 2, 3}, {0, 1, 3, 2}, {0, 0, 0, 0}, {0, 2, 3, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {1, 2, 3, 0}, {0, 2, 1, 3}, {0, 0, 0, 0}, {0, 3, 1, 2}, {0, 3, 2, 1}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {1, 3, 2, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 2, 0, 3}, {0, 0, 0, 0}, {1, 3, 0, 2}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {2, 3, 0, 1}, {2, 3, 1, 0}, {1, 0, 2, 3}, {1, 0, 3, 2}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {2, 0, 3, 1}, {0, 0, 0, 0}, {2, 1, 3, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {2, 0, 1, 3},
    {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {3, 0, 1, 2}, {3, 0, 2, 1}, {0, 0, 0, 0}, {3, 1, 2, 0},
    {2, 1, 0, 3}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {3, 1, 0, 2}, {0, 0, 0, 0}, {3, 2, 0, 1},
    {3, 2, 1, 0}};

float noise4(float x, float y, float z, float w) {
  const float F4 = 0.309016994f; // (sqrt 5 - 1) / 4
  const float G4 = 0.138196601f; // (5 - sqrt 5) / 20
  float s = (x + y + z + w) * F4;
  int i = floor_to_int(x + s), j = floor_to_int(y + s);
  int k = floor_to_int(z + s), l = floor_to_int(w + s);
  // Far-out coordinates (many octaves) wrap the lattice sum as the 32-bit add
  // always did; unsigned keeps that defined.
  float t = (float)(int)((unsigned)i + (unsigned)j + (unsigned)k + (unsigned)l) * G4;
  float x0 = x - ((float)i - t), y0 = y - ((float)j - t);
  float z0 = z - ((float)k - t), w0 = w - ((float)l - t);

  int c = (x0 > y0 ? 32 : 0) + (x0 > z0 ? 16 : 0) + (y0 > z0 ? 8 : 0) + (x0 > w0 ? 4 : 0) +
          (y0 > w0 ? 2 : 0) + (z0 > w0 ? 1 : 0);
  const uint8_t* sc = noise_simplex_traversal[c];
  // Corner offsets of the simplex: the coordinate of rank >= 3, 2, 1 steps first.
  int o[3][4];
  for (int n = 0; n < 3; n++)
    for (int a = 0; a < 4; a++) o[n][a] = sc[a] >= 3 - n ? 1 : 0;

  int ii = i & 255, jj = j & 255, kk = k & 255, ll = l & 255;
  float cx[5], cy[5], cz[5], cw[5];
  int gi[5];
  cx[0] = x0, cy[0] = y0, cz[0] = z0, cw[0] = w0;
  gi[0] = noise_perm[ii + noise_perm[jj + noise_perm[kk + noise_perm[ll]]]] & 31;
  for (int n = 0; n < 3; n++) {
    float g = (float)(n + 1) * G4;
    cx[n + 1] = x0 - (float)o[n][0] + g;
    cy[n + 1] = y0 - (float)o[n][1] + g;
    cz[n + 1] = z0 - (float)o[n][2] + g;
    cw[n + 1] = w0 - (float)o[n][3] + g;
    gi[n + 1] = noise_perm[ii + o[n][0] +
                           noise_perm[jj + o[n][1] + noise_perm[kk + o[n][2] + noise_perm[ll + o[n][3]]]]] &
                31;
  }
  const float g4 = 4.0f * G4 - 1.0f;
  cx[4] = x0 + g4, cy[4] = y0 + g4, cz[4] = z0 + g4, cw[4] = w0 + g4;
  gi[4] = noise_perm[ii + 1 + noise_perm[jj + 1 + noise_perm[kk + 1 + noise_perm[ll + 1]]]] & 31;

  float sum = 0.0f;
  for (int n = 0; n < 5; n++) {
    float tt = 0.6f - cx[n] * cx[n] - cy[n] * cy[n] - cz[n] * cz[n] - cw[n] * cw[n];
    if (tt >= 0.0f) {
      const int8_t* g = GRAD4[gi[n]];
      tt *= tt;
      sum += tt * tt * (g[0] * cx[n] + g[1] * cy[n] + g[2] * cz[n] + g[3] * cw[n]);
    }
  }
  return 27.0f * sum;
}

// Four points at once, bit for bit equal to noise4 on each (the same float
// operations in the same order; skipped corners add +0). The coordinates'
// ranks come straight from the six comparisons: a coordinate's rank is the
// number of others it exceeds, with ties going to the later coordinate,
// which is what the traversal table holds for every comparison code that
// real numbers can produce.
void noise4_x4(__m128 x, __m128 y, __m128 z, __m128 w, float out[4]) {
  const __m128 F4 = _mm_set1_ps(0.309016994f), G4 = _mm_set1_ps(0.138196601f);
  const __m128 half_down = _mm_set1_ps(WORLD_HALF_DOWN);
  __m128 s = _mm_mul_ps(_mm_add_ps(_mm_add_ps(_mm_add_ps(x, y), z), w), F4);
  __m128i i = _mm_cvtps_epi32(_mm_sub_ps(_mm_add_ps(x, s), half_down));
  __m128i j = _mm_cvtps_epi32(_mm_sub_ps(_mm_add_ps(y, s), half_down));
  __m128i k = _mm_cvtps_epi32(_mm_sub_ps(_mm_add_ps(z, s), half_down));
  __m128i l = _mm_cvtps_epi32(_mm_sub_ps(_mm_add_ps(w, s), half_down));
  __m128 t = _mm_mul_ps(_mm_cvtepi32_ps(_mm_add_epi32(_mm_add_epi32(_mm_add_epi32(i, j), k), l)), G4);
  __m128 c[5][4]; // corner offsets: [corner][axis]
  c[0][0] = _mm_sub_ps(x, _mm_sub_ps(_mm_cvtepi32_ps(i), t));
  c[0][1] = _mm_sub_ps(y, _mm_sub_ps(_mm_cvtepi32_ps(j), t));
  c[0][2] = _mm_sub_ps(z, _mm_sub_ps(_mm_cvtepi32_ps(k), t));
  c[0][3] = _mm_sub_ps(w, _mm_sub_ps(_mm_cvtepi32_ps(l), t));

  __m128i xy = _mm_castps_si128(_mm_cmpgt_ps(c[0][0], c[0][1]));
  __m128i xz = _mm_castps_si128(_mm_cmpgt_ps(c[0][0], c[0][2]));
  __m128i yz = _mm_castps_si128(_mm_cmpgt_ps(c[0][1], c[0][2]));
  __m128i xw = _mm_castps_si128(_mm_cmpgt_ps(c[0][0], c[0][3]));
  __m128i yw = _mm_castps_si128(_mm_cmpgt_ps(c[0][1], c[0][3]));
  __m128i zw = _mm_castps_si128(_mm_cmpgt_ps(c[0][2], c[0][3]));
  __m128i one = _mm_set1_epi32(1), zero = _mm_setzero_si128();
  // Masks are -1 when true: rank = sum of wins, a lost comparison is 1 + mask.
  __m128i rank[4];
  rank[0] = _mm_sub_epi32(zero, _mm_add_epi32(_mm_add_epi32(xy, xz), xw));
  rank[1] = _mm_sub_epi32(_mm_add_epi32(one, xy), _mm_add_epi32(yz, yw));
  rank[2] = _mm_sub_epi32(_mm_add_epi32(_mm_add_epi32(one, xz), _mm_add_epi32(one, yz)), zw);
  rank[3] = _mm_add_epi32(_mm_add_epi32(_mm_add_epi32(one, xw), _mm_add_epi32(one, yw)),
                          _mm_add_epi32(one, zw));
  __m128i off[3][4]; // 0/1 step of corners 1..3 per axis
  const __m128 onef = _mm_set1_ps(1.0f);
  for (int n = 0; n < 3; n++) {
    __m128 g = n == 0 ? G4 : _mm_set1_ps((float)(n + 1) * 0.138196601f);
    __m128i threshold = _mm_set1_epi32(2 - n); // rank >= 3 - n
    for (int a = 0; a < 4; a++) {
      off[n][a] = _mm_and_si128(_mm_cmpgt_epi32(rank[a], threshold), one);
      __m128 o = _mm_and_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(rank[a], threshold)), onef);
      c[n + 1][a] = _mm_add_ps(_mm_sub_ps(c[0][a], o), g);
    }
  }
  const __m128 g4 = _mm_set1_ps(4.0f * 0.138196601f - 1.0f);
  for (int a = 0; a < 4; a++) c[4][a] = _mm_add_ps(c[0][a], g4);

  // Gradient indices, lane by lane through the permutation.
  __m128i mask = _mm_set1_epi32(255);
  alignas(16) int ci[4][4], oi[3][4][4];
  _mm_store_si128((__m128i*)ci[0], _mm_and_si128(i, mask));
  _mm_store_si128((__m128i*)ci[1], _mm_and_si128(j, mask));
  _mm_store_si128((__m128i*)ci[2], _mm_and_si128(k, mask));
  _mm_store_si128((__m128i*)ci[3], _mm_and_si128(l, mask));
  for (int n = 0; n < 3; n++)
    for (int a = 0; a < 4; a++) _mm_store_si128((__m128i*)oi[n][a], off[n][a]);
  const float* gr[5][4]; // [corner][lane] -> gradient row
  for (int q = 0; q < 4; q++) {
    int ii = ci[0][q], jj = ci[1][q], kk = ci[2][q], ll = ci[3][q];
    int gi[5];
    gi[0] = noise_perm[ii + noise_perm[jj + noise_perm[kk + noise_perm[ll]]]] & 31;
    for (int n = 0; n < 3; n++)
      gi[n + 1] = noise_perm[ii + oi[n][0][q] +
                             noise_perm[jj + oi[n][1][q] +
                                        noise_perm[kk + oi[n][2][q] + noise_perm[ll + oi[n][3][q]]]]] &
                  31;
    gi[4] = noise_perm[ii + 1 + noise_perm[jj + 1 + noise_perm[kk + 1 + noise_perm[ll + 1]]]] & 31;
    for (int n = 0; n < 5; n++) gr[n][q] = GRAD4F[gi[n]];
  }

  __m128 sum = _mm_setzero_ps();
  const __m128 r2 = _mm_set1_ps(0.6f);
  for (int n = 0; n < 5; n++) {
    __m128 tt = _mm_sub_ps(r2, _mm_mul_ps(c[n][0], c[n][0]));
    tt = _mm_sub_ps(tt, _mm_mul_ps(c[n][1], c[n][1]));
    tt = _mm_sub_ps(tt, _mm_mul_ps(c[n][2], c[n][2]));
    tt = _mm_sub_ps(tt, _mm_mul_ps(c[n][3], c[n][3]));
    __m128 g0 = _mm_load_ps(gr[n][0]), g1 = _mm_load_ps(gr[n][1]);
    __m128 g2 = _mm_load_ps(gr[n][2]), g3 = _mm_load_ps(gr[n][3]);
    _MM_TRANSPOSE4_PS(g0, g1, g2, g3); // now one axis per register
    __m128 dot = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(g0, c[n][0]), _mm_mul_ps(g1, c[n][1])),
                                       _mm_mul_ps(g2, c[n][2])),
                            _mm_mul_ps(g3, c[n][3]));
    __m128 t2 = _mm_mul_ps(tt, tt);
    __m128 contrib = _mm_mul_ps(_mm_mul_ps(t2, t2), dot);
    sum = _mm_add_ps(sum, _mm_and_ps(_mm_cmpge_ps(tt, _mm_setzero_ps()), contrib));
  }
  _mm_storeu_ps(out, _mm_mul_ps(_mm_set1_ps(27.0f), sum));
}

// =========================================================================
// Tiling 2D noise on a 4D torus, and its fractal sum
// =========================================================================

float tiled_noise_angle(float v, float period) {
  return (float)(6.283185307179586 * (double)v / (double)period);
}

float tiled_noise2(float x, float z, float period) {
  float ax = tiled_noise_angle(x, period), az = tiled_noise_angle(z, period);
  float r = tiled_noise_radius(period);
  return noise4(r * cosf(ax), r * cosf(az), r * sinf(ax), r * sinf(az));
}

float tiled_fractal_noise2(int octaves, const FloatRamp* ramp, float x, float z, float period,
                           float gain) {
  float sum = 0.0f, weight = 1.0f;
  int k = 0;
  do {
    float v = tiled_noise2(x, z, period);
    if (ramp) v = ramp->get((v + 1.0f) * 0.5f);
    sum += weight * v;
    weight *= gain;
    x = 2.0f * x + 0.5f;
    z = 2.0f * z + 0.5f;
    period *= 2.0f;
  } while (++k < noise_octaves(octaves));
  return sum;
}

// =========================================================================
// Tiling Voronoi queries
// =========================================================================

// The whole mask makes the ids; its low byte indexes the tables. Shifts
// outside 0..31 are clamped so the mask stays defined.
static inline int voronoi_mask(int period_shift) {
  unsigned s = period_shift < 0 ? 0u : period_shift > 31 ? 31u : (unsigned)period_shift;
  return (int)((1u << s) - 1u);
}

void tiled_voronoi_noise2_all9(float x, float z, int period_shift, Point2* offset, int* id) {
  int mask = voronoi_mask(period_shift), m = mask & 255;
  int gx = floor_to_int(x), gz = floor_to_int(z);
  int n = 0;
  for (int cz = gz - 1; cz <= gz + 1; cz++) {
    for (int cx = gx - 1; cx <= gx + 1; cx++, n++) {
      if (offset) {
        int p = noise_perm[(cx & m) + noise_perm[cz & m]];
        offset[n].x = (float)cx + noise_points[2 * p] - x;
        offset[n].z = (float)cz + noise_points[2 * p + 1] - z;
      }
      if (id) id[n] = ((cz & mask) << 16) | (cx & mask);
    }
  }
}

void tiled_voronoi_noise2_near4(float x, float z, int period_shift, float* dist, int* id,
                                Point2* offset) {
  if (!dist && !id && !offset) return;
  Point2 cand[9];
  int cand_id[9];
  tiled_voronoi_noise2_all9(x, z, period_shift, cand, cand_id);
  float best_d[4] = {3.4028235e38f, 3.4028235e38f, 3.4028235e38f, 3.4028235e38f};
  int best[4] = {0, 0, 0, 0};
  for (int n = 0; n < 9; n++) {
    float d = cand[n].x * cand[n].x + cand[n].z * cand[n].z;
    if (!(d < best_d[3])) continue;
    int j = 3;
    while (j > 0 && d < best_d[j - 1]) {
      best_d[j] = best_d[j - 1];
      best[j] = best[j - 1];
      j--;
    }
    best_d[j] = d;
    best[j] = n;
  }
  for (int j = 0; j < 4; j++) {
    if (dist) dist[j] = best_d[j];
    if (id) id[j] = cand_id[best[j]];
    if (offset) offset[j] = cand[best[j]];
  }
}
