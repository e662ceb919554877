// Subdivision noise, simplex noise, surface painting and the circular
// brushes. See hmGen.h; the Voronoi generators, the fault, the crater and
// the houses have files of their own.
#include "world/hmGen.h"

#include <xmmintrin.h>

#include <cmath>
#include <cstring>

#include "core/log.h"
#include "core/game_rnd.h"
#include "core/ramp.h"
#include "world/heightmap.h"
#include "world/hmGen_local.h"
#include "world/noise.h"
#include "world/world_math.h"

using namespace HeightmapData;

alignas(64) float gen_scratch[2][HMAP_CELLS];

float (*land_height_hook)(int x, int z) = nullptr;

void TorusOctave::start(float scale) {
  for (int c = 0; c < HMAP_SIZE; c++) u[c] = (float)c * scale;
}

void TorusOctave::compute(float period) {
  float r = tiled_noise_radius(period);
  for (int c = 0; c < HMAP_SIZE; c++) {
    float a = tiled_noise_angle(u[c], period);
    rc[c] = r * cosf(a);
    rs[c] = r * sinf(a);
  }
}

void TorusOctave::advance() {
  for (int c = 0; c < HMAP_SIZE; c++) u[c] = 2.0f * u[c] + 0.5f;
}

// =========================================================================
// Surface painting
// =========================================================================

static inline int clamp_byte_round(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return round_to_int(v);
}

D3dColor paint_ramp_color(D3dColor old, const Vec4f& sample, int alpha) {
  int target[4] = {alpha < 0 ? 0 : alpha > 255 ? 255 : alpha, clamp_byte_round(sample.x * 255.0f),
                   clamp_byte_round(sample.y * 255.0f), clamp_byte_round(sample.z * 255.0f)};
  float t = sample.w;
  uint32_t out = 0;
  for (int c = 0; c < 4; c++) { // A, R, G, B from the top byte down
    int shift = 24 - 8 * c;
    float o = (float)((old >> shift) & 255);
    out |= (uint32_t)clamp_byte_round(o + ((float)target[c] - o) * t) << shift;
  }
  return out;
}

// =========================================================================
// Subdivision noise
// =========================================================================

void HeightmapData::makeFastNoise(float* grid, float amplitude, float persistence) {
  grid[hmap_index(0, 0)] = -0.5f;
  grid[hmap_index(128, 0)] = -0.5f;
  grid[hmap_index(0, 128)] = -0.5f;
  grid[hmap_index(128, 128)] = -0.5f;
  float g = amplitude;
  // Each level rewrites the lattice of spacing d into one of spacing d / 2.
  // Squares run row by row; a square's corners at x + d and z + d are still
  // old values except where they wrap to column or row 0, which were already
  // rewritten, so the old row 0 and the old rows being read are kept aside.
  float row0[HMAP_SIZE / 2], cur[HMAP_SIZE / 2], next[HMAP_SIZE / 2];
  for (int d = 128; d > 1; d /= 2) {
    int e = d / 2, n = HMAP_SIZE / d;
    for (int k = 0; k < n; k++) row0[k] = grid[hmap_index(k * d, 0)];
    for (int zi = 0; zi < n; zi++) {
      int z = zi * d;
      if (zi == 0) {
        memcpy(cur, row0, sizeof(float) * n);
      } else {
        for (int k = 0; k < n; k++) cur[k] = grid[hmap_index(k * d, z)];
      }
      if (zi + 1 == n) {
        memcpy(next, row0, sizeof(float) * n);
      } else {
        for (int k = 0; k < n; k++) next[k] = grid[hmap_index(k * d, z + d)];
      }
      for (int xi = 0; xi < n; xi++) {
        int x = xi * d, xn = (xi + 1) % n;
        float p00 = cur[xi], p10 = cur[xn], p01 = next[xi], p11 = next[xn];
        grid[hmap_index(x, z)] = (9 * p00 + 3 * p10 + 3 * p01 + p11) / 16 + g * game_rnd_frnd();
        grid[hmap_index(x + e, z)] = (9 * p10 + 3 * p00 + 3 * p11 + p01) / 16 + g * game_rnd_frnd();
        grid[hmap_index(x, z + e)] = (9 * p01 + 3 * p00 + 3 * p11 + p10) / 16 + g * game_rnd_frnd();
        grid[hmap_index(x + e, z + e)] =
            (9 * p11 + 3 * p10 + 3 * p01 + p00) / 16 + g * game_rnd_frnd();
      }
    }
    g *= persistence;
  }
}

void HeightmapData::addFastNoise(float min_ht, float max_ht, const ColorRamp* ramp, int ground_type,
                                 int alpha, float persistence) {
  ASSERT(min_ht<=max_ht);
  ASSERT(min_ht>=0);
  float* noise = gen_scratch[0];
  memset(noise, 0, sizeof(float) * HMAP_CELLS);
  makeFastNoise(noise, 1.0f, persistence);
  float scale = max_ht - min_ht;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float n = noise[i];
    if (ramp) surface[i].color = paint_ramp_color(surface[i].color, ramp->get(n), alpha);
    if (ground_type != -1) surface[i].ground = (uint32_t)ground_type;
    hmap[i] += n * scale + min_ht;
  }
}

// =========================================================================
// Simplex noise
// =========================================================================

void HeightmapData::addSimplexNoise(float min_ht, float max_ht, int tile, int octaves, float gain) {
  ASSERT(min_ht<=max_ht);
  ASSERT(min_ht>=0);
  ASSERT((tile&(tile-1))==0 && tile>0);
  // Octave by octave, so each octave's torus coordinates are computed once
  // per column and row instead of once per cell.
  float* m = gen_scratch[0];
  memset(m, 0, sizeof(float) * HMAP_CELLS);
  TorusOctave oct;
  oct.start((float)tile / 256.0f);
  float period = (float)tile, weight = 1.0f;
  int k = 0;
  do {
    oct.compute(period);
    __m128 wv = _mm_set1_ps(weight);
    for (int z = 0; z < HMAP_SIZE; z++) {
      float* row = m + (z << HMAP_SIZE_SHIFT);
      __m128 cz = _mm_set1_ps(oct.rc[z]), sz = _mm_set1_ps(oct.rs[z]);
      for (int x = 0; x < HMAP_SIZE; x += 4) {
        alignas(16) float n[4];
        noise4_x4(_mm_load_ps(oct.rc + x), cz, _mm_load_ps(oct.rs + x), sz, n);
        _mm_store_ps(row + x, _mm_add_ps(_mm_load_ps(row + x), _mm_mul_ps(wv, _mm_load_ps(n))));
      }
    }
    oct.advance();
    period *= 2.0f;
    weight *= gain;
  } while (++k < noise_octaves(octaves));
  float scale = max_ht - min_ht;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float o = m[i] * 0.286f + 0.5f;
    hmap[i] += (o > 0.0f ? o : 0.0f) * scale + min_ht;
  }
}

// =========================================================================
// Circular brushes
// =========================================================================

void circle_brush(float x, float z, float radius, float amount, float power, float* grid) {
  if (!(radius > 0.0f)) return;
  float r2 = radius * radius;
  for_circle_cells(x, z, radius, [&](int i, float d2) {
    grid[i] += (1.0f - powf(d2 / r2, power)) * amount;
  });
}

void flatten_circle(float x, float z, float radius, float target, float strength, float power,
                    float* grid) {
  if (!(radius > 0.0f)) return;
  float r2 = radius * radius;
  for_circle_cells(x, z, radius, [&](int i, float d2) {
    float v = grid[i];
    grid[i] = v + (1.0f - powf(d2 / r2, power)) * strength * (target - v);
  });
}

float get_average_circle_height(float x, float z, float radius, float* grid) {
  if (radius < 0.0f) radius = 0.0f;
  // Float to int truncates, as the module's integer arguments receive them.
  // Beyond the int range every float is a multiple of 256, column 0 (the
  // conversion itself would be undefined there); not a number is cell 0 too.
  auto trunc_cell = [](float v) { return v > -2147483648.0f && v < 2147483648.0f ? (int)v : 0; };
  int ix = trunc_cell(x), iz = trunc_cell(z);
  float sum = land_height_hook ? land_height_hook(ix, iz) : grid[hmap_index(ix, iz)];
  int count = 1;
  for_circle_cells(x, z, radius, [&](int i, float) {
    sum += grid[i];
    count++;
  });
  return sum / (float)count;
}
