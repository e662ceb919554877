// Terrain generators: assertion texts, the invariants of craters, faults
// and houses, the brushes, and agreement of the optimised whole-grid passes
// with the per-cell formulas they implement.
#include <cmath>
#include <vector>

#include "core/ramp.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world_test_util.h"

using namespace HeightmapData;
using ::testing::ExitedWithCode;

using GenDeathTest = WorldTest;

TEST_F(GenDeathTest, RangeAndTileAssertionsAreFatal) {
  EXPECT_EXIT(addFastNoise(2, 1, nullptr, -1, 255, 0.5f), ExitedWithCode(100),
              "failed ASSERT\\(min_ht<=max_ht\\)");
  EXPECT_EXIT(addFastNoise(-1, 1, nullptr, -1, 255, 0.5f), ExitedWithCode(100),
              "failed ASSERT\\(min_ht>=0\\)");
  EXPECT_EXIT(addSimplexNoise(0, 1, 3, 1, 0.5f), ExitedWithCode(100),
              "failed ASSERT\\(\\(tile&\\(tile-1\\)\\)==0 && tile>0\\)");
  EXPECT_EXIT(addSimplexNoise(0, 1, 0, 1, 0.5f), ExitedWithCode(100), "failed ASSERT");
  EXPECT_EXIT(addSimplexNoise(3, 1, 4, 1, 0.5f), ExitedWithCode(100),
              "failed ASSERT\\(min_ht<=max_ht\\)");
  EXPECT_EXIT(addVoronoiHills(6, 0, 1, 1), ExitedWithCode(100),
              "failed ASSERT\\(\\(tile&\\(tile-1\\)\\)==0 && tile>0\\)");
  EXPECT_EXIT(genVoronoiFaults(-4, 0, 1, 1, 1, 1, 1), ExitedWithCode(100),
              "failed ASSERT\\(\\(tile&\\(tile-1\\)\\)==0 && tile>0\\)");
}

TEST_F(WorldTest, FastNoiseWritesEveryCellDeterministically) {
  std::vector<float> grid(HMAP_CELLS, NAN);
  game_rnd_seed = 77;
  makeFastNoise(grid.data(), 1.0f, 0.5f);
  uint64_t after = game_rnd_seed;
  for (float v : grid) ASSERT_FALSE(std::isnan(v));
  // Four draws per square: 4 * (4 + 16 + ... + 128^2) = 87,376.
  game_rnd_seed = 77;
  for (int i = 0; i < 87376; i++) game_rnd_next();
  EXPECT_EQ(game_rnd_seed, after);
  std::vector<float> again(HMAP_CELLS, 0.0f);
  game_rnd_seed = 77;
  makeFastNoise(again.data(), 1.0f, 0.5f);
  EXPECT_EQ(grid, again);
}

TEST_F(WorldTest, FastNoiseFirstLevelFollowsTheStencil) {
  // Amplitude 0 adds no randomness: the subdivision stencil (weights summing
  // to 16/16) spreads the four -0.5 corners to every cell unchanged.
  std::vector<float> grid(HMAP_CELLS, 0.0f);
  makeFastNoise(grid.data(), 0.0f, 0.5f);
  for (float v : grid) ASSERT_FLOAT_EQ(v, -0.5f);
}

TEST_F(WorldTest, FastNoiseScalesAndPaints) {
  ColorRamp ramp;
  for (int i = 0; i < 257; i++) ramp.entry[i] = Vec4f{1, 0, 0, 1}; // opaque red
  addFastNoise(10, 10, &ramp, GT_SAND, 200, 0.5f);
  for (int i = 0; i < HMAP_CELLS; i++) {
    ASSERT_EQ(surface[i].color, 0xC8FF0000u);
    ASSERT_EQ(surface[i].ground, (unsigned)GT_SAND);
  }
  // min = max: hmap += noise * 0 + 10.
  EXPECT_EQ(hmap[1234], 10.0f);
}

TEST(PaintRamp, BlendsByTheSampleAlpha) {
  EXPECT_EQ(paint_ramp_color(0xFF000000u, Vec4f{1, 1, 1, 0.5f}, 255), 0xFF808080u);
  EXPECT_EQ(paint_ramp_color(0x00102030u, Vec4f{2, -1, 0.5f, 0}, 255), 0x00102030u);
  EXPECT_EQ(paint_ramp_color(0x00102030u, Vec4f{2, -1, 0.5f, 1}, 7), 0x07FF0080u);
}

TEST_F(WorldTest, SimplexNoiseMatchesTheFractalFormula) {
  const int tile = 4, octaves = 3;
  const float gain = 0.6f, lo = 1.0f, hi = 5.0f;
  addSimplexNoise(lo, hi, tile, octaves, gain);
  for (int k = 0; k < 300; k++) {
    int x = (k * 37) & 255, z = (k * 91 + 5) & 255;
    float m = tiled_fractal_noise2(octaves, nullptr, tile * x / 256.0f, tile * z / 256.0f,
                                   (float)tile, gain);
    float o = m * 0.286f + 0.5f;
    float expect = (o > 0 ? o : 0) * (hi - lo) + lo;
    ASSERT_EQ(hmap[hmap_index(x, z)], expect) << x << "," << z;
  }
}

TEST_F(WorldTest, VoronoiHillsMatchTheirDefinition) {
  const int tile = 8;
  const float radius = 0.9f;
  uint64_t seed = game_rnd_seed;
  addVoronoiHills(tile, 2.0f, 6.0f, radius);
  game_rnd_seed = seed;
  float h[256];
  for (float& v : h) v = 2.0f + 4.0f * game_rnd_frnd();
  for (int k = 0; k < 300; k++) {
    int x = (k * 53) & 255, z = (k * 29 + 3) & 255;
    Point2 off[9];
    int id[9];
    tiled_voronoi_noise2_all9(tile * x / 256.0f, tile * z / 256.0f, 3, off, id);
    float best = 0;
    bool any = false;
    for (int n = 0; n < 9; n++) {
      float w = 1 - (off[n].x * off[n].x + off[n].z * off[n].z) / (radius * radius);
      if (w > 0) {
        float c = w * h[get_noise_hash2(id[n], id[n] >> 16)];
        if (!any || c > best) best = c;
        any = true;
      }
    }
    ASSERT_EQ(hmap[hmap_index(x, z)], best);
  }
}

TEST_F(WorldTest, VoronoiFaultsMatchTheirDefinition) {
  const int tile = 8, warp_scale = 2, octaves = 2;
  const float warp = 0.3f, sharpness = 1.0f;
  uint64_t seed = game_rnd_seed;
  genVoronoiFaults(tile, 0.0f, 10.0f, warp, warp_scale, octaves, sharpness);
  game_rnd_seed = seed;
  float h[256];
  for (float& v : h) v = 10.0f * game_rnd_frnd();
  float s = tile / 256.0f, kk = sharpness / s, P = (float)(tile * warp_scale), t = P / 256.0f;
  auto F = [&](float a, float b) {
    float sum = 0, wgt = 1, p = P;
    for (int j = 0; j < octaves; j++) {
      sum += wgt * tiled_noise2(a, b, p);
      a = 2 * a + 0.5f, b = 2 * b + 0.5f, p *= 2, wgt *= 0.5f;
    }
    return sum;
  };
  int plateau = 0, scarp = 0;
  for (int k = 0; k < 400; k++) {
    int x = (k * 71) & 255, z = (k * 13 + 7) & 255;
    float wx = F(x * t, z * t), wz = F(z * t, x * t);
    float d[4];
    int id[4];
    tiled_voronoi_noise2_near4(x * s + warp * wx, z * s + warp * wz, 3, d, id, nullptr);
    float E = h[get_noise_hash2(id[0], id[0] >> 16)], I = h[get_noise_hash2(id[1], id[1] >> 16)];
    float f = (sqrtf(d[1]) - sqrtf(d[0])) * kk / fmaxf(fabsf(E - I), 0.1f);
    float expect = f > 1 ? E : ((E - I) * f + E + I) / 2;
    (f > 1 ? plateau : scarp)++;
    ASSERT_NEAR(hmap[hmap_index(x, z)], expect, 1e-5f) << x << "," << z;
  }
  EXPECT_GT(plateau, 0);
  EXPECT_GT(scarp, 0);
}

TEST_F(WorldTest, FaultsWithoutWarpPeriodStayFinite) {
  genVoronoiFaults(4, 0.0f, 10.0f, 0.5f, 0, 3, 0.1f);
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_TRUE(std::isfinite(hmap[i]));
}

TEST_F(WorldTest, CraterNeverRaisesLand) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 3.0f * sinf(i * 0.01f) + 0.5f * (i % 7);
  std::vector<float> before(hmap, hmap + HMAP_CELLS);
  genCrater(Point2{250.0f, 3.5f}, 12.0f, 0.8f, hmap); // across both wrap edges
  int lowered = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    ASSERT_LE(hmap[i], before[i]) << i;
    lowered += hmap[i] < before[i];
  }
  EXPECT_GT(lowered, 200);
  EXPECT_LT(hmap[hmap_index(250, 4)], before[hmap_index(250, 4)] - 5.0f);
  // Cells at or beyond twice the radius are untouched.
  EXPECT_EQ(hmap[hmap_index(250, 28)], before[hmap_index(250, 28)]);
  // A negative depth still only lowers.
  std::vector<float> mid(hmap, hmap + HMAP_CELLS);
  genCrater(Point2{100.0f, 100.0f}, 8.0f, -2.0f, hmap);
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_LE(hmap[i], mid[i]);
}

TEST_F(WorldTest, FaultTouchesOnlyItsEllipse) {
  ColorRamp ramp;
  for (int i = 0; i < 257; i++) ramp.entry[i] = Vec4f{0, 0, 1, 1};
  for (int i = 0; i < HMAP_CELLS; i++) surface[i].cover = ST_GRASS;
  Point2 c{5.0f, 250.0f}, dir{3.0f, 4.0f};
  genFault(c, dir, 6.0f, 0.3f, 2.0f, &ramp, GT_SAND, 255, hmap);
  float ux = 0.6f, uz = 0.8f;
  int inside = 0, painted = 0;
  for (int z = 0; z < 256; z++)
    for (int x = 0; x < 256; x++) {
      float dx = fmodf(x - c.x + 384.0f, 256.0f) - 128.0f;
      float dz = fmodf(z - c.z + 384.0f, 256.0f) - 128.0f;
      float a = ux * dx + uz * dz, b = -uz * dx + ux * dz;
      float q = (a / 64) * (a / 64) + (b / 128) * (b / 128);
      int i = hmap_index(x, z);
      if (q >= 1.001f) {
        ASSERT_EQ(hmap[i], 0.0f) << x << "," << z;
        ASSERT_EQ(surface[i].color, 0xFF808080u);
        ASSERT_EQ(surface[i].cover, (unsigned)ST_GRASS);
      } else if (q < 0.999f) {
        inside++;
        ASSERT_NE(hmap[i], 0.0f);
        if (surface[i].color == 0xFF0000FFu) {
          painted++;
          ASSERT_EQ(surface[i].cover, (unsigned)ST_NONE);
          ASSERT_EQ(surface[i].ground, (unsigned)GT_SAND);
        }
      }
    }
  EXPECT_GT(inside, 20000);
  EXPECT_GT(painted, 50); // the scarp
  EXPECT_LT(painted, inside / 2);
}

TEST_F(WorldTest, FaultWithNeutralBalanceKeepsTheFarEdgeLevel) {
  // balance 0.75 gives no shift: every cell stays within the clamped step
  // range -0.25 .. 0.75 of the height, fading to 0 towards the ellipse's edge.
  genFault(Point2{128, 128}, Point2{1, 0}, 10.0f, 0.75f, 1.0f, nullptr, -1, 255, hmap);
  for (int i = 0; i < HMAP_CELLS; i++) {
    ASSERT_LE(hmap[i], 7.5f);
    ASSERT_GE(hmap[i], -2.5f);
  }
  EXPECT_NEAR(hmap[hmap_index(128 + 63, 128)], 0.0f, 0.03f);
  EXPECT_NEAR(hmap[hmap_index(128 - 63, 128)], 0.0f, 0.03f);
  EXPECT_GT(hmap[hmap_index(128 + 30, 128)], 1.0f);  // the raised side
  EXPECT_LT(hmap[hmap_index(128 - 30, 128)], -0.5f); // the lowered side
}

TEST_F(WorldTest, HouseRefusesMarkedGroundUnlessForced) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 2.0f;
  surface[hmap_index(100, 100)].marks = MARK_WATER;
  uint64_t h = world_hash();
  placeHouse(101, 99, 0, hmap, false); // 4 x 4 over (99..103, 97..101)
  placeHouse(101, 99, 7, hmap, false);
  placeHouse(101, 99, 5, hmap, false);
  EXPECT_EQ(world_hash(), h);

  placeHouse(101, 99, -2, hmap, false);
  EXPECT_NE(world_hash(), h);
  EXPECT_EQ(surface[hmap_index(100, 100)].marks, MARK_WATER | MARK_HOUSE);

  surface[hmap_index(30, 30)].marks = MARK_OBJ;
  placeHouse(30, 30, -1, hmap, false);
  EXPECT_EQ(surface[hmap_index(30, 30)].marks, MARK_OBJ | MARK_HOUSE);
}

TEST_F(WorldTest, SmallHouseStampsTemplateOnTheMeanGround) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 1.0f;
  placeHouse(2, 1, 3, hmap, false); // type 3: template 2, 4 x 4, x0 = 0, z0 = 255
  // Footprint marks: the inclusive 5 x 5 vertex rectangle, wrapping in z.
  for (int z = 255; z <= 259; z++)
    for (int x = 0; x <= 4; x++) EXPECT_TRUE(surface[hmap_index(x, z)].marks & MARK_HOUSE);
  EXPECT_FALSE(surface[hmap_index(5, 0)].marks & MARK_HOUSE);
  // Heights: vertex row 2 of "08980" is z0 + 4 - 2 = z 1; '9' -> 6.75.
  EXPECT_FLOAT_EQ(hmap[hmap_index(2, 1)], 1.0f + 6.75f);
  EXPECT_FLOAT_EQ(hmap[hmap_index(1, 1)], 1.0f + 6.0f);
  EXPECT_FLOAT_EQ(hmap[hmap_index(0, 1)], 1.0f);
  // Tiles: top row "bdcb" / "5666" covers z0 + 3 = z 2; bottom row "bcdb" / "0003" z 255.
  const Surface& top = surface[hmap_index(1, 2)];
  EXPECT_EQ(top.ground, (unsigned)GT_HOUSE);
  EXPECT_EQ(top.tile, 3u); // 'd'
  EXPECT_EQ(top.tile_rot, 6u);
  const Surface& corner = surface[hmap_index(3, 255)];
  EXPECT_EQ(corner.tile, 1u); // 'b'
  EXPECT_EQ(corner.tile_rot, 3u);
  EXPECT_EQ(surface[hmap_index(4, 0)].ground, (unsigned)GT_ROCK); // vertex line only
}

TEST_F(WorldTest, HouseTemplatesHaveTheirSizes) {
  struct Case {
    int type, nx, nz;
  } cases[] = {{-1, 18, 18}, {-2, 4, 4}, {0, 4, 4}, {1, 4, 10}, {2, 10, 4}, {-5, 4, 10}};
  for (const Case& c : cases) {
    reset();
    placeHouse(100, 100, c.type, hmap, false);
    int marked = 0, tiles = 0;
    for (int i = 0; i < HMAP_CELLS; i++) {
      marked += (surface[i].marks & MARK_HOUSE) != 0;
      tiles += surface[i].ground == GT_HOUSE;
    }
    EXPECT_EQ(marked, (c.nx + 1) * (c.nz + 1)) << c.type;
    EXPECT_LE(tiles, c.nx * c.nz) << c.type;
    EXPECT_GT(tiles, 0) << c.type;
  }
}

TEST_F(WorldTest, HouseKeepMeanPreservesFootprintMean) {
  for (int z = 0; z < 256; z++)
    for (int x = 0; x < 256; x++) hmap[hmap_index(x, z)] = 0.1f * x + 0.05f * z;
  auto mean = [] {
    double s = 0;
    for (int z = 80; z <= 90; z++)
      for (int x = 38; x <= 42; x++) s += hmap[hmap_index(x, z)];
    return s / 55;
  };
  double before = mean();
  placeHouse(40, 85, 1, hmap, true); // 4 x 10 at x0 = 38, z0 = 80
  EXPECT_NEAR(mean(), before, 1e-4);
}

TEST_F(WorldTest, CircleBrushPeaksAtTheCentre) {
  circle_brush(50, 60, 5, 1, 1, hmap);
  EXPECT_FLOAT_EQ(hmap[hmap_index(50, 60)], 1.0f);
  EXPECT_NEAR(hmap[hmap_index(54, 62)], 1 - 20 / 25.0f, 1e-6f);
  EXPECT_EQ(hmap[hmap_index(55, 60)], 0.0f); // exactly at the radius
  EXPECT_EQ(hmap[hmap_index(54, 63)], 0.0f);
  uint64_t h = world_hash();
  circle_brush(50, 60, 0, 1, 1, hmap);
  circle_brush(50, 60, -3, 1, 1, hmap);
  EXPECT_EQ(world_hash(), h);
}

TEST_F(WorldTest, FlattenPullsTowardsTarget) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 10.0f;
  flatten_circle(0, 0, 4, 2.0f, 1.0f, 2.0f, hmap);
  EXPECT_FLOAT_EQ(hmap[hmap_index(0, 0)], 2.0f);
  float edge = hmap[hmap_index(255, 253)]; // d^2 = 10
  EXPECT_GT(edge, 2.0f);
  EXPECT_LT(edge, 10.0f);
  EXPECT_EQ(hmap[hmap_index(4, 0)], 10.0f);
}

TEST_F(WorldTest, AverageCircleHeightCountsTheCentreTwice) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 3.0f;
  EXPECT_FLOAT_EQ(get_average_circle_height(20, 20, 6, hmap), 3.0f);
  hmap[hmap_index(20, 20)] = 13.0f;
  // Radius 0 (or below): only the land height at the point.
  EXPECT_FLOAT_EQ(get_average_circle_height(20, 20, -2, hmap), 13.0f);
  // Radius 1.5: the 3 x 3 block (9 cells) plus the point itself.
  EXPECT_FLOAT_EQ(get_average_circle_height(20, 20, 1.5f, hmap), (13 + 13 + 8 * 3) / 10.0f);
}

// Circles wider than the world reach each cell once (from its nearest
// copy), huge radii finish and cover the world, far centres wrap.
TEST_F(WorldTest, CirclesWiderThanTheWorldReachEachCellOnce) {
  circle_brush(10, 20, 150, 1, 1, hmap); // diameter 300: the wrap would add twice
  float top = 0;
  int touched = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    top = std::max(top, hmap[i]);
    touched += hmap[i] > 0;
  }
  EXPECT_LE(top, 1.0f);
  EXPECT_FLOAT_EQ(hmap[hmap_index(10, 20)], 1.0f);
  EXPECT_GT(touched, 60000);
  EXPECT_EQ(hmap[hmap_index(138, 148)], 0.0f); // the far corner: d = 128 sqrt 2 > 150
  world_test_fresh();
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 2.0f;
  hmap[hmap_index(5, 5)] = 65538.0f;
  // The point itself plus every cell once: (2 + 65535 * 2 + 65538) / 65537.
  EXPECT_FLOAT_EQ(get_average_circle_height(0, 0, 100000, hmap), (2.0f + 65535 * 2.0f + 65538.0f) / 65537.0f);
  EXPECT_FLOAT_EQ(get_average_circle_height(1e12f, -3e9f, 1e30f, hmap), (2.0f + 65535 * 2.0f + 65538.0f) / 65537.0f);
  flatten_circle(0, 0, INFINITY, 2.0f, 1.0f, 1.0f, hmap);
  EXPECT_EQ(hmap[hmap_index(5, 5)], 2.0f);
  genCrater(Point2{7, 9}, 1e9f, 1.0f, hmap);
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_TRUE(std::isfinite(hmap[i]));
  // A centre 3e9 (a multiple of 256) is column 0; not-a-number centres and
  // radii touch nothing.
  float before = hmap[hmap_index(0, 40)];
  circle_brush(3e9f, 40, 1.5f, 1, 1, hmap);
  EXPECT_FLOAT_EQ(hmap[hmap_index(0, 40)], before + 1.0f);
  uint64_t h = world_hash();
  circle_brush(NAN, 40, 5, 1, 1, hmap);
  circle_brush(40, 40, NAN, 1, 1, hmap);
  circle_brush(INFINITY, 40, 5, 1, 1, hmap);
  EXPECT_EQ(world_hash(), h);
}

TEST_F(WorldTest, GeneratedWorldIsReproducibleFromTheSeed) {
  auto generate = [](uint64_t seed) {
    world_test_fresh(seed);
    ColorRamp ramp;
    for (int i = 0; i < 257; i++) ramp.entry[i] = Vec4f{i / 256.0f, 0.5f, 0.2f, 1};
    addFastNoise(0, 20, &ramp, GT_SOIL, 255, 0.55f);
    addSimplexNoise(0, 8, 4, 4, 0.5f);
    addVoronoiHills(8, 0, 10, 0.8f);
    genVoronoiFaults(4, 0, 6, 0.3f, 2, 3, 0.1f);
    genFault(Point2{game_rnd_hmfrnd(), game_rnd_hmfrnd()}, Point2{1, 2}, 5, 0.5f, 1, &ramp, -1, 255,
             hmap);
    genCrater(Point2{game_rnd_hmfrnd(), game_rnd_hmfrnd()}, 10, 1, hmap);
    placeHouse(game_rnd_hmrnd(), game_rnd_hmrnd(), 0, hmap, false);
    return world_hash();
  };
  uint64_t a = generate(4242);
  uint64_t b = generate(4242);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, generate(4243));
}
