// Droplet erosion against a literal transcription of its formulas: plain
// scalar float code, one operation after the other in the written order and
// grouping, on copies of the grids. The kernel must give the same heights,
// colours and covers bit for bit, and leave the random generator in the
// same state.
//
// Written rules beyond the formulas, shared with the kernel: floor is
// v - 0.49999988 rounded to nearest even; the bilinear height is
// lerp(lerp(h00, h10, fx), lerp(h01, h11, fx), fz); the eroded cells are
// visited row by row; a corner that gets exactly 0 is left alone; a mix of
// weights 0/0 keeps the carried colour; a reaction round with t <= 0 ends
// the cell's reactions.
#include <cmath>
#include <cstring>
#include <vector>

#include "world/erosion.h"
#include "world/hmGen.h"
#include "world/world_math.h"
#include "world_test_util.h"

using namespace HeightmapData;

namespace {

struct RGBA {
  float c[4]; // red, green, blue, alpha
};

// What the transcription went through, so the test can insist that every
// branch was exercised.
struct Coverage {
  int uphill_fills = 0, pits = 0, deposits = 0, erosions = 0, random_dirs = 0, reaction_rounds = 0;
};

struct Literal {
  std::vector<float> h;
  std::vector<Surface> surf;
  const ErosionParams& p;
  Coverage cov;

  explicit Literal(const ErosionParams& params)
      : h(hmap, hmap + HMAP_CELLS), surf(surface, surface + HMAP_CELLS), p(params) {}

  static int idx(int x, int z) { return ((z & 255) << 8) | (x & 255); }
  static int floor_i(float v) { return round_to_int(v - 0.49999988f); }

  static RGBA to_rgba(uint32_t w) {
    RGBA r;
    r.c[0] = (float)((w >> 16) & 255) / 255.0f;
    r.c[1] = (float)((w >> 8) & 255) / 255.0f;
    r.c[2] = (float)(w & 255) / 255.0f;
    r.c[3] = (float)(w >> 24) / 255.0f;
    return r;
  }
  static uint32_t to_word(const RGBA& r) {
    int b[4];
    for (int i = 0; i < 4; i++) {
      float v = r.c[i] < 0.0f ? 0.0f : r.c[i] > 1.0f ? 1.0f : r.c[i];
      b[i] = round_to_int(v * 255.0f);
    }
    return (uint32_t)b[3] << 24 | (uint32_t)b[0] << 16 | (uint32_t)b[1] << 8 | (uint32_t)b[2];
  }

  static float ipow(float c, int e) {
    float r = c;
    for (int i = 1; i < e; i++) r = r * c;
    return r;
  }

  void react(RGBA& c) {
    float T = p.reactionTime;
    for (int round = 0; round < 10 && T > 0.0f; round++) {
      float L[4] = {0, 0, 0, 0};
      for (int r = 0; r < p.reactions.num; r++) {
        const ErosionReaction& re = p.reactions[r];
        float f[4];
        for (int i = 0; i < 4; i++) f[i] = re.exponent[i] <= 0 ? 1.0f : ipow(c.c[i], re.exponent[i]);
        float prod = f[0] * f[1] * f[2] * f[3];
        for (int i = 0; i < 4; i++) L[i] = L[i] + prod * re.rate[i];
      }
      float t = T;
      for (int i = 0; i < 4; i++) {
        float ti = L[i] < 0.0f ? -c.c[i] / L[i] : T;
        if (ti < t) t = ti;
      }
      if (!(t > 0.0f)) break;
      cov.reaction_rounds++;
      for (int i = 0; i < 4; i++) c.c[i] = c.c[i] + t * L[i];
      T = T - t;
    }
  }

  void colour_deposit(Surface& s, float a, const RGBA& C) {
    if (s.cover != ST_GRASS) {
      s.cover = ST_NONE;
      s.top_color = 0;
    }
    RGBA c = to_rgba(s.color);
    float t = 1.0f - std::exp(-(p.depositBlend * a));
    for (int i = 0; i < 4; i++) c.c[i] = c.c[i] + (C.c[i] - c.c[i]) * t;
    if (p.reactionTime > 0.0f && p.reactions.num > 0) react(c);
    s.color = to_word(c);
  }

  void spread(int cx, int cz, float fx, float fz, float a, const RGBA& C) {
    const int xs[4] = {cx, cx + 1, cx, cx + 1}, zs[4] = {cz, cz, cz + 1, cz + 1};
    const float am[4] = {(1 - fx) * (1 - fz) * a, fx * (1 - fz) * a, (1 - fx) * fz * a, fx * fz * a};
    for (int n = 0; n < 4; n++) {
      if (am[n] == 0.0f) continue;
      int i = idx(xs[n], zs[n]);
      h[i] = h[i] + am[n];
      colour_deposit(surf[i], am[n], C);
    }
  }

  float bilinear(float x, float z) {
    int ix = floor_i(x), iz = floor_i(z);
    float fx = x - (float)ix, fz = z - (float)iz;
    float a = h[idx(ix, iz)] + (h[idx(ix + 1, iz)] - h[idx(ix, iz)]) * fx;
    float b = h[idx(ix, iz + 1)] + (h[idx(ix + 1, iz + 1)] - h[idx(ix, iz + 1)]) * fx;
    return a + (b - a) * fz;
  }

  void droplet() {
    int cx = (int)(game_rnd_next() & 255);
    int cz = (int)(game_rnd_next() & 255);
    float x = (float)cx, z = (float)cz, fx = 0, fz = 0;
    float H = h[idx(cx, cz)];
    float dx = 0, dz = 0, v = 0, w = 1, s = 0;
    RGBA C = {{0, 0, 0, 0}};
    for (int step = 0; step < 1024; step++) {
      float h00 = h[idx(cx, cz)], h10 = h[idx(cx + 1, cz)];
      float h01 = h[idx(cx, cz + 1)], h11 = h[idx(cx + 1, cz + 1)];
      float gx = h00 + h01 - h10 - h11;
      float gz = h00 + h10 - h01 - h11;
      gx = gx + (dx - gx) * p.Ki;
      gz = gz + (dz - gz) * p.Ki;
      float len = std::sqrt(gx * gx + gz * gz);
      if (len <= 1.1920929e-7f) {
        float angle = game_rnd_unit(game_rnd_next()) * 6.2831855f;
        dx = std::cos(angle);
        dz = std::sin(angle);
        cov.random_dirs++;
      } else {
        dx = gx / len;
        dz = gz / len;
      }
      float nx = x + dx, nz = z + dz;
      int ncx = floor_i(nx), ncz = floor_i(nz);
      float nfx = nx - (float)ncx, nfz = nz - (float)ncz;
      float Hn = bilinear(nx, nz);
      if (H <= Hn) {
        float f = Hn - H + 0.001f;
        if (s <= f) {
          cov.pits++;
          spread(cx, cz, fx, fz, s, C);
          return;
        }
        cov.uphill_fills++;
        spread(cx, cz, fx, fz, f, C);
        s = s - f;
        v = 0;
        H = H + f;
      }
      float delta = H - Hn;
      float K = std::max(p.minSlope, delta) * v * w * p.Kq;
      float e = s - K;
      if (e >= 0) {
        cov.deposits++;
        spread(cx, cz, fx, fz, e * p.Kd, C);
        s = s - e * p.Kd;
        delta = delta + e * p.Kd;
      } else {
        cov.erosions++;
        float m = std::min(-e * p.Kr, 0.99f * delta);
        for (int i = cz - 1; i <= cz + 2; i++)
          for (int j = cx - 1; j <= cx + 2; j++) {
            float q = ((float)j - x) * ((float)j - x) + ((float)i - z) * ((float)i - z);
            if (!(q / 4 < 1)) continue;
            float a = (1 - q / 4) * 0.15915494f * m;
            Surface& sc = surf[idx(j, i)];
            h[idx(j, i)] = h[idx(j, i)] - a;
            sc.cover = ST_NONE;
            sc.top_color = 0;
            if (a + s > 0) {
              RGBA c = to_rgba(sc.color);
              for (int k = 0; k < 4; k++) C.c[k] = C.c[k] * s / (a + s) + c.c[k] * (1 - s / (a + s));
            }
          }
        s = s + m;
        delta = delta - m;
      }
      float v2 = v * v + 2 * p.g * delta;
      v = v2 > 0 ? std::sqrt(v2) : 0.0f;
      w = w * (1 - p.Kw);
      x = nx, z = nz, cx = ncx, cz = ncz, fx = nfx, fz = nfz;
      H = Hn;
    }
    // Cut after 1,024 steps: the sediment vanishes.
  }
};

// Hills with a flat plateau (random directions), colourful ground with
// covers and top layers of every kind.
void make_test_world(uint64_t seed) {
  world_test_fresh(seed);
  addSimplexNoise(0, 40, 4, 5, 0.5f);
  addVoronoiHills(8, 0, 15, 0.9f);
  float plateau = hmap[hmap_index(120, 120)] + 50.0f;
  for (int z = 100; z < 140; z++)
    for (int x = 100; x < 140; x++) hmap[hmap_index(x, z)] = plateau;
  for (int i = 0; i < HMAP_CELLS; i++) {
    uint32_t r = game_rnd_next();
    surface[i].color = 0x80000000u | (r & 0x7FFFFFFFu) | ((r >> 7) & 0x40000000u);
    surface[i].cover = (r >> 3) % 5;
    surface[i].top_color = surface[i].cover ? (r ^ 0x5A5A5A5Au) : 0;
  }
}

// Runs `droplets` droplets one call each through the kernel and through the
// transcription; every difference is a failure.
Coverage expect_same_as_literal(uint64_t seed, const ErosionParams& p, int droplets) {
  make_test_world(seed);
  Literal lit(p);
  uint64_t rnd = game_rnd_seed;
  for (int d = 0; d < droplets; d++) lit.droplet();
  uint64_t lit_rnd = game_rnd_seed;
  game_rnd_seed = rnd;
  ErosionParams kp = p;
  testing::internal::CaptureStdout(); // one log line pair per call
  for (int d = 0; d < droplets; d++) genDropletErosion(1, kp);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(game_rnd_seed, lit_rnd);
  int height_diffs = 0, surface_diffs = 0, first = -1;
  for (int i = 0; i < HMAP_CELLS; i++) {
    bool hd = memcmp(&hmap[i], &lit.h[i], sizeof(float)) != 0;
    bool sd = memcmp(&surface[i], &lit.surf[i], sizeof(Surface)) != 0;
    height_diffs += hd;
    surface_diffs += sd;
    if ((hd || sd) && first < 0) first = i;
  }
  EXPECT_EQ(height_diffs, 0);
  EXPECT_EQ(surface_diffs, 0);
  if (first >= 0)
    ADD_FAILURE() << "first difference at cell " << first << ": height " << hmap[first] << " vs " << lit.h[first]
                  << ", colour " << std::hex << surface[first].color << " vs " << lit.surf[first].color;
  return lit.cov;
}

TEST(ErosionLiteral, DropletsMatchTheFormulasBitForBit) {
  ErosionParams p;
  p.addReaction(Vec4f{1, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 0.5f);
  p.addReaction(Vec4f{0, 1, 2, 0}, Vec4f{0.2f, 0.2f, 0.6f, 0}, 0.2f);
  Coverage c = expect_same_as_literal(31, p, 300);
  EXPECT_GT(c.uphill_fills, 0);
  EXPECT_GT(c.pits, 0);
  EXPECT_GT(c.deposits, 0);
  EXPECT_GT(c.erosions, 0);
  EXPECT_GT(c.random_dirs, 0);
  EXPECT_GT(c.reaction_rounds, 0);
}

TEST(ErosionLiteral, WithoutReactionsAndWithOtherParameters) {
  ErosionParams p; // colour blending only
  p.reactionTime = 0;
  expect_same_as_literal(5, p, 200);
  p.Kq = 4.0f, p.Ki = 0.3f, p.Kd = 0.1f, p.Kr = 0.5f, p.depositBlend = 7.0f, p.g = 9.5f;
  expect_same_as_literal(6, p, 200);
}

} // namespace
