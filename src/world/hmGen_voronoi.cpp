// Voronoi hills and Voronoi faults. Both draw 256 feature heights from the
// game random generator first (in index order), then make one pass over the
// grid; a feature's height is picked by hashing its lattice id.
#include <xmmintrin.h>

#include <cmath>
#include <cstring>

#include "core/log.h"
#include "core/game_rnd.h"
#include "world/hmGen.h"
#include "world/hmGen_local.h"
#include "world/noise.h"

using namespace HeightmapData;

static void draw_feature_heights(float h[256], float min_ht, float max_ht) {
  for (int i = 0; i < 256; i++) h[i] = min_ht + (max_ht - min_ht) * game_rnd_frnd();
}

static inline int feature_hash(int id) {
  return noise_perm[(id & 255) + noise_perm[(id >> 16) & 255]];
}

void HeightmapData::addVoronoiHillsTo(float* grid, int tile, float min_ht, float max_ht,
                                      float radius) {
  ASSERT((tile&(tile-1))==0 && tile>0);
  int shift = __builtin_ctz((unsigned)tile);
  float h[256];
  draw_feature_heights(h, min_ht, max_ht);
  float r2 = radius * radius;
  float scale = (float)tile / 256.0f;
  Point2 off[9];
  int id[9];
  for (int z = 0; z < HMAP_SIZE; z++) {
    float fz = (float)z * scale;
    for (int x = 0; x < HMAP_SIZE; x++) {
      tiled_voronoi_noise2_all9((float)x * scale, fz, shift, off, id);
      bool any = false;
      float best = 0.0f;
      for (int n = 0; n < 9; n++) {
        float w = 1.0f - (off[n].x * off[n].x + off[n].z * off[n].z) / r2;
        if (w > 0.0f) {
          float c = w * h[feature_hash(id[n])];
          if (!any || c > best) best = c;
          any = true;
        }
      }
      grid[(z << HMAP_SIZE_SHIFT) | x] += best;
    }
  }
}

void HeightmapData::addVoronoiHills(int tile, float min_ht, float max_ht, float radius) {
  addVoronoiHillsTo(hmap, tile, min_ht, max_ht, radius);
}

void HeightmapData::addVoronoiFaultsTo(float* grid, int tile, float min_ht, float max_ht, float warp,
                                       int warp_scale, int octaves, float sharpness) {
  ASSERT((tile&(tile-1))==0 && tile>0);
  int shift = __builtin_ctz((unsigned)tile);
  float h[256];
  draw_feature_heights(h, min_ht, max_ht);
  float s = (float)tile / 256.0f;
  float k = sharpness / s;
  float period = (float)tile * (float)warp_scale;
  float t = period / 256.0f;

  // The warp field, wx = F(x t, z t) and wz = F(z t, x t), octave by octave.
  // Rows and columns use the same torus tables, so wz at (x, z) is wx at
  // (z, x): only wx is computed, wz is its transpose. A non-positive warp
  // period has no torus (its angles would be NaN): the plateaus are then
  // left unwarped.
  float* wx = gen_scratch[0];
  float* wz = gen_scratch[1];
  memset(wx, 0, sizeof(float) * HMAP_CELLS);
  if (period > 0.0f) {
    TorusOctave oct;
    oct.start(t);
    float weight = 1.0f;
    int j = 0;
    do {
      oct.compute(period);
      __m128 wv = _mm_set1_ps(weight);
      for (int z = 0; z < HMAP_SIZE; z++) {
        __m128 cz = _mm_set1_ps(oct.rc[z]), sz = _mm_set1_ps(oct.rs[z]);
        int row = z << HMAP_SIZE_SHIFT;
        for (int x = 0; x < HMAP_SIZE; x += 4) {
          alignas(16) float nx[4];
          noise4_x4(_mm_load_ps(oct.rc + x), cz, _mm_load_ps(oct.rs + x), sz, nx);
          float* px = wx + (row | x);
          _mm_store_ps(px, _mm_add_ps(_mm_load_ps(px), _mm_mul_ps(wv, _mm_load_ps(nx))));
        }
      }
      oct.advance();
      period *= 2.0f;
      weight *= 0.5f;
    } while (++j < noise_octaves(octaves));
  }
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) wz[(z << HMAP_SIZE_SHIFT) | x] = wx[(x << HMAP_SIZE_SHIFT) | z];

  float dist[4];
  int id[4];
  for (int z = 0; z < HMAP_SIZE; z++) {
    for (int x = 0; x < HMAP_SIZE; x++) {
      int i = (z << HMAP_SIZE_SHIFT) | x;
      tiled_voronoi_noise2_near4((float)x * s + warp * wx[i], (float)z * s + warp * wz[i], shift,
                                 dist, id, nullptr);
      float e = h[feature_hash(id[0])];
      float o = h[feature_hash(id[1])];
      float f = (sqrtf(dist[1]) - sqrtf(dist[0])) * k / fmaxf(fabsf(e - o), 0.1f);
      grid[i] += f > 1.0f ? e : ((e - o) * f + e + o) * 0.5f;
    }
  }
}

void HeightmapData::genVoronoiFaults(int tile, float min_ht, float max_ht, float warp,
                                     int warp_scale, int octaves, float sharpness) {
  addVoronoiFaultsTo(hmap, tile, min_ht, max_ht, warp, warp_scale, octaves, sharpness);
}
