// Noise functions: table validity, lattice zeros, tiling, the simplex
// traversal table and the Voronoi queries.
#include <algorithm>
#include <array>
#include <vector>
#include <cmath>

#include "core/ramp.h"
#include "world/noise.h"
#include "world/world_math.h"
#include "world_test_util.h"

class NoiseTest : public ::testing::Test {
protected:
  void SetUp() override {
    game_rnd_seed = 987654321;
    reseed_noise();
  }
};

TEST_F(NoiseTest, ReseedMakesAPermutationWithACopy) {
  bool seen[256] = {};
  for (int i = 0; i < 256; i++) {
    ASSERT_FALSE(seen[noise_perm[i]]) << i;
    seen[noise_perm[i]] = true;
    ASSERT_EQ(noise_perm[256 + i], noise_perm[i]);
  }
  int identity = 0;
  for (int i = 0; i < 256; i++) identity += noise_perm[i] == i;
  EXPECT_LT(identity, 16);
  for (float p : noise_points) {
    ASSERT_GE(p, 0.0f);
    ASSERT_LT(p, 1.0f);
  }
}

TEST_F(NoiseTest, ReseedUses1536DrawsAndIsDeterministic) {
  uint8_t perm[512];
  std::copy(noise_perm, noise_perm + 512, perm);
  game_rnd_seed = 987654321;
  reseed_noise();
  uint64_t after = game_rnd_seed;
  EXPECT_TRUE(std::equal(perm, perm + 512, noise_perm));
  game_rnd_seed = 987654321;
  for (int i = 0; i < 1536; i++) game_rnd_next();
  EXPECT_EQ(game_rnd_seed, after);
}

TEST(GameRnd, DrawsFollowTheMmixGenerator) {
  game_rnd_seed = 0;
  EXPECT_EQ(game_rnd_next(), (uint32_t)(1442695040888963407ull >> 32));
  game_rnd_set_seed(-1);
  EXPECT_EQ(game_rnd_seed, 0xFFFFFFFFFFFFFFFFull);
  for (int i = 0; i < 1000; i++) {
    int v = game_rnd_rndi(7, -3);
    ASSERT_GE(v, -3);
    ASSERT_LE(v, 7);
  }
  uint64_t before = game_rnd_seed;
  EXPECT_EQ(game_rnd_rndi(5, 5), 5);
  EXPECT_NE(game_rnd_seed, before);
  EXPECT_EQ(game_rnd_rndi(INT32_MIN, INT32_MAX) >= INT32_MIN, true);
  // Draws at the very top of the range stay below 1.
  EXPECT_LT(game_rnd_unit(0xFFFFFFFFu), 1.0f);
  EXPECT_EQ(game_rnd_unit(0x80000000u), 0.5f);
}

TEST(FloorRule, IsFloorExceptJustAboveIntegers) {
  EXPECT_EQ(floor_to_int(2.7f), 2);
  EXPECT_EQ(floor_to_int(-2.7f), -3);
  EXPECT_EQ(floor_to_int(4.0f), 4);
  EXPECT_EQ(floor_to_int(1.0f), 1);
  EXPECT_EQ(floor_to_int(std::nextafter(2.0f, 0.0f)), 2); // just below an integer
  EXPECT_EQ(floor_to_int(3.0f), 2); // v - 0.49999988 rounds to 2.5, which rounds to even
  EXPECT_EQ(floor_to_int(-3.0f), -4);
}

TEST_F(NoiseTest, Noise1IsZeroAtIntegers) {
  for (int i = -300; i <= 300; i++) ASSERT_EQ(noise1((float)i), 0.0f) << i;
  float sum = 0.0f;
  for (int i = 0; i < 1000; i++) sum += fabsf(noise1(i * 0.37f + 0.1f));
  EXPECT_GT(sum, 10.0f);
}

TEST_F(NoiseTest, FractalWithOneOrFewerOctavesIsTheFirstOctave) {
  for (float x : {0.3f, 5.7f, -12.25f}) {
    EXPECT_EQ(fractal_noise1(1, nullptr, x, 0.5f), noise1(x));
    EXPECT_EQ(fractal_noise1(0, nullptr, x, 0.5f), noise1(x));
    EXPECT_EQ(fractal_noise1(-3, nullptr, x, 0.5f), noise1(x));
    EXPECT_EQ(tiled_fractal_noise2(0, nullptr, x, 2 * x, 8.0f, 0.5f), tiled_noise2(x, 2 * x, 8.0f));
    EXPECT_EQ(fractal_noise1(2, nullptr, x, 0.5f),
              noise1(x) + 0.5f * noise1(2 * x + 0.5f));
  }
}

TEST_F(NoiseTest, FractalRemapsEachOctaveThroughTheRamp) {
  FloatRamp ramp;
  for (int i = 0; i < 257; i++) ramp.entry[i] = 1.0f; // constant 1 per octave
  EXPECT_FLOAT_EQ(fractal_noise1(3, &ramp, 0.3f, 0.5f), 1.75f);
  EXPECT_FLOAT_EQ(tiled_fractal_noise2(2, &ramp, 0.3f, 0.6f, 4.0f, 0.25f), 1.25f);
}

TEST_F(NoiseTest, TiledNoise2RepeatsWithAnyPeriod) {
  for (float p : {4.0f, 7.5f, 32.0f}) {
    float r = p / 6.2831855f;
    for (int k = 0; k < 50; k++) {
      // The reference 4D simplex kernel (radius^2 0.6) jumps slightly where the
      // simplex changes, so the points avoid the symmetric torus angles.
      float x = k * 0.731f + 0.061f, z = k * 0.377f + 3.3f; // never x == z
      float v = tiled_noise2(x, z, p);
      // Float rounding of the torus angles scales with the radius.
      EXPECT_NEAR(tiled_noise2(x + p, z, p), v, 2e-5f * r + 1e-5f);
      EXPECT_NEAR(tiled_noise2(x, z + p, p), v, 2e-5f * r + 1e-5f);
    }
  }
  float spread = 0.0f;
  for (int k = 0; k < 100; k++) spread += fabsf(tiled_noise2(k * 0.3f, k * 0.7f, 16.0f));
  EXPECT_GT(spread, 5.0f);
}

TEST_F(NoiseTest, OldTiledNoise2RepeatsEveryPeriod) {
  for (int k = 0; k < 200; k++) {
    float x = k * 0.613f, z = k * 0.291f;
    float v = old_tiled_noise2(x, z, 16);
    EXPECT_NEAR(old_tiled_noise2(x + 16, z, 16), v, 1e-4f);
    EXPECT_NEAR(old_tiled_noise2(x, z - 16, 16), v, 1e-4f);
    EXPECT_NEAR(old_tiled_noise2(x + 256, z + 256, 256), old_tiled_noise2(x, z, 256), 1e-4f);
  }
  EXPECT_EQ(old_tiled_noise2(3, 5, 16), 0.0f); // gradients vanish at lattice points
}

TEST(Simplex4, TraversalTableRanksAgreeWithComparisons) {
  // For every ordering of four distinct values, the table entry selected by
  // the comparison code must give each coordinate its rank (number of
  // coordinates it exceeds).
  int order[4] = {0, 1, 2, 3};
  int valid = 0;
  do {
    float v[4];
    for (int a = 0; a < 4; a++) v[a] = (float)order[a];
    int c = (v[0] > v[1] ? 32 : 0) + (v[0] > v[2] ? 16 : 0) + (v[1] > v[2] ? 8 : 0) +
            (v[0] > v[3] ? 4 : 0) + (v[1] > v[3] ? 2 : 0) + (v[2] > v[3] ? 1 : 0);
    for (int a = 0; a < 4; a++) ASSERT_EQ(noise_simplex_traversal[c][a], order[a]) << "code " << c;
    valid++;
  } while (std::next_permutation(order, order + 4));
  EXPECT_EQ(valid, 24);
}

TEST_F(NoiseTest, Noise4IsBoundedAndContinuous) {
  float lo = 0, hi = 0;
  for (int k = 0; k < 20000; k++) {
    float x = k * 0.0173f, y = k * 0.0311f - 7, z = k * 0.0057f + 3, w = -k * 0.0191f;
    float n = noise4(x, y, z, w);
    lo = std::min(lo, n);
    hi = std::max(hi, n);
    ASSERT_NEAR(noise4(x + 1e-3f, y, z, w), n, 0.05f);
  }
  EXPECT_GT(hi, 0.3f);
  EXPECT_LT(lo, -0.3f);
  EXPECT_LE(hi, 1.0f);
  EXPECT_GE(lo, -1.0f);
}

TEST_F(NoiseTest, FourLaneSimplexMatchesScalarBitForBit) {
  // Random points, plus ties between coordinates and lattice-aligned values,
  // where the corner order depends on how ties are broken.
  std::vector<std::array<float, 4>> pts;
  game_rnd_seed = 5;
  for (int k = 0; k < 4000; k++)
    pts.push_back({game_rnd_hmsrnd(), game_rnd_srnd() * 3, game_rnd_hmfrnd(), game_rnd_srnd()});
  for (int k = 0; k < 400; k++) {
    float a = game_rnd_srnd() * 5, b = (float)(k % 7) - 3;
    pts.push_back({a, a, b, b});
    pts.push_back({b, a, a, b});
    pts.push_back({a, b, b, b});
    pts.push_back({b, b, b, b});
  }
  for (size_t p = 0; p + 4 <= pts.size(); p += 4) {
    float in[4][4], out[4];
    for (int q = 0; q < 4; q++)
      for (int a = 0; a < 4; a++) in[a][q] = pts[p + q][a];
    noise4_x4(_mm_loadu_ps(in[0]), _mm_loadu_ps(in[1]), _mm_loadu_ps(in[2]), _mm_loadu_ps(in[3]), out);
    for (int q = 0; q < 4; q++) {
      float ref = noise4(in[0][q], in[1][q], in[2][q], in[3][q]);
      ASSERT_EQ(out[q], ref) << p + q;
    }
  }
}

TEST_F(NoiseTest, VoronoiOutput4IsTheOwnCell) {
  Point2 off[9];
  int id[9];
  for (int k = 0; k < 100; k++) {
    float x = k * 2.37f - 50.3f, z = k * 1.13f + 0.37f; // away from lattice lines
    tiled_voronoi_noise2_all9(x, z, 8, off, id);
    int gx = (int)floorf(x), gz = (int)floorf(z);
    float px = x + off[4].x, pz = z + off[4].z; // the feature point itself
    EXPECT_GE(px, gx - 1e-4f);
    EXPECT_LT(px, gx + 1 + 1e-4f);
    EXPECT_GE(pz, gz - 1e-4f);
    EXPECT_LT(pz, gz + 1 + 1e-4f);
    EXPECT_EQ(id[4], ((gz & 255) << 16) | (gx & 255));
    EXPECT_EQ(id[0], (((gz - 1) & 255) << 16) | ((gx - 1) & 255));
    EXPECT_EQ(id[8], (((gz + 1) & 255) << 16) | ((gx + 1) & 255));
  }
}

TEST_F(NoiseTest, VoronoiIdsAndPointsWrapWithThePeriod) {
  int a[9], b[9];
  Point2 oa[9], ob[9];
  tiled_voronoi_noise2_all9(255.5f, 10.5f, 8, oa, a);
  tiled_voronoi_noise2_all9(-0.5f, 10.5f, 8, ob, b);
  for (int n = 0; n < 9; n++) {
    EXPECT_EQ(a[n], b[n]);
    EXPECT_NEAR(oa[n].x, ob[n].x, 1e-4f);
    EXPECT_NEAR(oa[n].z, ob[n].z, 1e-4f);
  }
  // A period of 4 repeats every 4 cells.
  tiled_voronoi_noise2_all9(1.25f, 2.75f, 2, oa, a);
  tiled_voronoi_noise2_all9(5.25f, -1.25f, 2, ob, b);
  for (int n = 0; n < 9; n++) {
    EXPECT_EQ(a[n], b[n]);
    EXPECT_NEAR(oa[n].x, ob[n].x, 1e-5f);
  }
}

TEST_F(NoiseTest, Near4KeepsTheFourNearestInOrder) {
  for (int k = 0; k < 200; k++) {
    float x = k * 0.917f, z = k * 0.533f;
    Point2 off[9];
    int id9[9];
    tiled_voronoi_noise2_all9(x, z, 5, off, id9);
    float d9[9];
    for (int n = 0; n < 9; n++) d9[n] = off[n].x * off[n].x + off[n].z * off[n].z;
    std::sort(d9, d9 + 9);
    float d[4];
    int id[4];
    Point2 o[4];
    tiled_voronoi_noise2_near4(x, z, 5, d, id, o);
    for (int j = 0; j < 4; j++) {
      ASSERT_EQ(d[j], d9[j]);
      ASSERT_EQ(d[j], o[j].x * o[j].x + o[j].z * o[j].z);
    }
    tiled_voronoi_noise2_near4(x, z, 5, nullptr, nullptr, nullptr); // nothing to write
    int only_id[4];
    tiled_voronoi_noise2_near4(x, z, 5, nullptr, only_id, nullptr);
    for (int j = 0; j < 4; j++) ASSERT_EQ(only_id[j], id[j]);
  }
}

TEST_F(NoiseTest, HashesReadThePermutation) {
  EXPECT_EQ(get_noise_hash1(300), noise_perm[44]);
  EXPECT_EQ(get_noise_hash1(-1), noise_perm[255]);
  EXPECT_EQ(get_noise_hash2(3, 260), noise_perm[3 + noise_perm[4]]);
}
