// The world-generation script API as scripts see it: the designed error
// texts, the raster classes through their methods, writing masks back into
// the world, recolouring, and bit maps in saved script data.
#include <cmath>
#include <cstring>

#include "core/stream.h"
#include "script/scriptData.h"
#include "world/bitMap.h"
#include "world/erosion.h"
#include "worldgen_test_util.h"

using namespace HeightmapData;

namespace {

TEST_F(WorldGenApiTest, DesignedErrorTexts) {
  EXPECT_FALSE(run("apply_height_mask(null, null);"));
  EXPECT_EQ(lastError(), "no mask and no func in apply_height_mask()");
  EXPECT_FALSE(run("apply_water_mask(null, null);"));
  EXPECT_EQ(lastError(), "no mask and no func in apply_water_mask()");
  EXPECT_FALSE(run("repaint_land(null);"));
  EXPECT_EQ(lastError(), "null function in repaint_land()");
  EXPECT_FALSE(run("HmapMask.fromVoronoiHills(3, 0.0, 1.0, 1.0);"));
  EXPECT_EQ(lastError(), "tile must be power of 2 in fromVoronoiHills()");
  EXPECT_FALSE(run("HmapMask.fromVoronoiHills(0, 0.0, 1.0, 1.0);"));
  EXPECT_EQ(lastError(), "tile must be power of 2 in fromVoronoiHills()");
  EXPECT_FALSE(run("HmapMask.fromVoronoiFaults(12, 0.0, 1.0, 0.5, 2, 2, 3.0);"));
  EXPECT_EQ(lastError(), "tile must be power of 2 in fromVoronoiFaults()");
  // A wrong argument type is the binding layer's error, and aborts the script.
  EXPECT_FALSE(run("gen_crater(\"a\", 1, 2, 3);"));
}

TEST_F(WorldGenApiTest, BitMapOperationsFromScript) {
  ASSERT_TRUE(run(R"(
    a <- BitMap(); b <- BitMap();
    for (local z = 0; z < 10; z++) for (local x = 0; x < 10; x++) a.set(x, z, true);
    for (local z = 5; z < 15; z++) for (local x = 5; x < 15; x++) b.set(x, z, true);
    one <- BitMap(); one.set(7, 7, true);
  )"));
  EXPECT_EQ(evalInt("a.bitwise(b, 8, 0, 0).area()"), 25);
  EXPECT_EQ(evalInt("a.testMask(b, 8, 0, 0)"), 25);
  EXPECT_EQ(evalInt("a.testMask(null, 8, 0, 0)"), 0);
  EXPECT_EQ(evalInt("one.erode().area()"), 0);
  EXPECT_EQ(evalInt("one.expand().area()"), 5);
  EXPECT_TRUE(evalBool("one.expand().get(6, 7) && one.expand().get(7, 8) && !one.expand().get(8, 8)"));
  EXPECT_EQ(evalInt("one.findPixel(true)"), 7 * 256 + 7);
  EXPECT_EQ(evalInt("a.inverse().area()"), 65536 - 100);
  EXPECT_EQ(evalInt("a.bounds()[2]"), 10);
  EXPECT_EQ(evalInt("a.shiftedCopy(-3, 0).bounds()[0]"), 253);
  ASSERT_TRUE(run("c <- a.makeCopy(); c.bitwiseInplace(b, 14, 0, 0);"));
  EXPECT_EQ(evalInt("c.area()"), 175);
  EXPECT_EQ(evalInt("a.area()"), 100); // the copy is independent
  EXPECT_EQ(evalInt("a.floodFillMask(0, 0).area()"), 100);
  EXPECT_TRUE(evalBool("a.isContinuous()"));
  EXPECT_TRUE(evalBool("a.testOverlap(b, 0, 0)"));
  ASSERT_TRUE(run("pts <- []; a.placePoints(3, function(x, z) { pts.append([x, z]); });"));
  EXPECT_EQ(evalInt("pts.len()"), 3);
  EXPECT_TRUE(evalBool("a.get(pts[0][0], pts[0][1])"));
  ASSERT_TRUE(run("cs <- []; a.placeCircles([2.0, 1.0], function(x, z) { cs.append(x); });"));
  EXPECT_EQ(evalInt("cs.len()"), 2);
  EXPECT_EQ(evalInt("a.randomFill(0, 0, 30).area()"), 30);
  // An error inside a callback ends the method with that error.
  EXPECT_FALSE(run("a.placePoints(2, function(x, z) { throw \"stop here\"; });"));
  EXPECT_EQ(lastError(), "stop here");
}

TEST_F(WorldGenApiTest, IntMapAndIndexHelpers) {
  EXPECT_EQ(evalInt("map_index_x(make_map_index(300, 5))"), 44);
  EXPECT_EQ(evalInt("map_index_z(make_map_index(300, 5))"), 5);
  ASSERT_TRUE(run("im <- IntMap(); im.set(3, 4, 9); im[make_map_index(5, 4)] = -2;"));
  EXPECT_EQ(evalInt("im[make_map_index(3, 4)]"), 9);
  EXPECT_EQ(evalInt("im.get(5, 4)"), -2);
  EXPECT_EQ(evalInt("im.bounds()[2]"), 3);
}

TEST_F(WorldGenApiTest, MasksAddIntoTheWorld) {
  hmap[hmap_index(3, 4)] = 1.0f;
  ASSERT_TRUE(run(R"(
    m <- HmapMask();
    m.set(3, 4, 2.5);
    apply_height_mask(m, null);
    mm <- HmapMask.fromHeight();
  )"));
  EXPECT_FLOAT_EQ(hmap[hmap_index(3, 4)], 3.5f);
  EXPECT_FLOAT_EQ(evalFloat("mm.getraw(3 + 256, 4)"), 3.5f);
  EXPECT_FLOAT_EQ(evalFloat("mm.get(3.5, 4.0)"), 1.75f); // bilinear between 3.5 and 0
  EXPECT_FLOAT_EQ(evalFloat("mm.calcMinMax()[1]"), 3.5f);
  // Function and mask: h = f(h, m); function alone: h = f(h).
  ASSERT_TRUE(run("apply_height_mask(m, function(h, v) { return h * v; });"));
  EXPECT_FLOAT_EQ(hmap[hmap_index(3, 4)], 8.75f);
  EXPECT_FLOAT_EQ(hmap[hmap_index(0, 0)], 0.0f);
  ASSERT_TRUE(run("apply_height_mask(null, function(h) { return h + 1.0; });"));
  EXPECT_FLOAT_EQ(hmap[hmap_index(0, 0)], 1.0f);
  // Water: lava is negative depth.
  ASSERT_TRUE(run("w <- HmapMask(); w.set(1, 1, -2.0); apply_water_mask(w, null);"));
  EXPECT_FLOAT_EQ(water[1][1].depth, -2.0f);
  EXPECT_FLOAT_EQ(evalFloat("HmapMask.fromWater().getraw(1, 1)"), -2.0f);
  // processRect visits the inclusive rectangle, wrapping.
  ASSERT_TRUE(run("n <- 0; m.processRect(254, 0, 257, 1, function(x, z, v) { n++; return 1.0; });"));
  EXPECT_EQ(evalInt("n"), 8);
  EXPECT_FLOAT_EQ(evalFloat("m.getraw(1, 1)"), 1.0f);
}

// Huge script arguments finish and act on the world once: rectangles and
// circles are clamped to it.
TEST_F(WorldGenApiTest, HugeArgumentsAreClampedToTheWorld) {
  ASSERT_TRUE(run(R"(
    m <- HmapMask(); n <- 0; lastx <- 0;
    m.processRect(0, 0, 2147483647, 2147483647, function(x, z, v) { n++; return v + 1.0; });
  )")) << lastError();
  EXPECT_EQ(evalInt("n"), 65536);
  EXPECT_FLOAT_EQ(evalFloat("m.calcMinMax()[1]"), 1.0f); // every cell once
  ASSERT_TRUE(run("n = 0; m.processRect(2147483640, 3, 2147483647, 3, function(x, z, v) { n++; lastx = x; return 5.0; });"));
  EXPECT_EQ(evalInt("n"), 8);
  EXPECT_EQ(evalInt("lastx"), 2147483647);
  EXPECT_FLOAT_EQ(evalFloat("m.getraw(255, 3)"), 5.0f);
  EXPECT_FLOAT_EQ(evalFloat("m.getraw(247, 3)"), 1.0f);

  EXPECT_FLOAT_EQ(evalFloat("get_average_circle_height(0, 0, 100000)"), 0.0f);
  ASSERT_TRUE(run("mark_circle(10.0, 10.0, 1e10, MARK_OBJ, 0);"));
  int marked = 0;
  for (int i = 0; i < HMAP_CELLS; i++) marked += surface[i].marks == MARK_OBJ;
  EXPECT_EQ(marked, HMAP_CELLS);
  EXPECT_TRUE(evalBool("test_circle_mark(-5e9, 7.0, 1e20, MARK_OBJ, MARK_OBJ)"));
  ASSERT_TRUE(run("flatten_circle(0.0, 0.0, 1e10, 1.0, 1.0, 1.0); gen_crater(0.0, 0.0, 1e10, 1.0);"));

  // Octave counts: a huge one finishes, stays finite and equals 32 octaves.
  reseed_noise();
  float n32 = tiled_fractal_noise2(32, nullptr, 3.3f, 7.1f, 4.0f, 0.9f);
  EXPECT_TRUE(std::isfinite(n32));
  EXPECT_EQ(evalFloat("tiled_fractal_noise2(2147483647, null, 3.3, 7.1, 4.0, 0.9)"), n32);
  EXPECT_EQ(evalFloat("tiled_fractal_noise2(300, null, 3.3, 7.1, 4.0, 0.9)"), n32);
  EXPECT_TRUE(std::isfinite(evalFloat("fractal_noise1(1000, null, 0.3, 1.0)")));
  ASSERT_TRUE(run(R"(
    add_simplex_noise(0.0, 1.0, 4, 2147483647, 0.5);
    sm <- HmapMask.fromSimplexNoise(1.0, 5, 2147483647, null, 1.0);
    vf <- HmapMask.fromVoronoiFaults(4, 0.0, 1.0, 0.5, 2, 2147483647, 3.0);
  )")) << lastError();
  EXPECT_TRUE(std::isfinite(evalFloat("sm.calcMinMax()[1]") + evalFloat("vf.calcMinMax()[1]")));
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_TRUE(std::isfinite(hmap[i]));

  // Bit-map shifts anywhere in the int range are positions on the torus.
  ASSERT_TRUE(run("bm <- BitMap(); bm.set(3, 4, true);"));
  EXPECT_EQ(evalInt("bm.shiftedCopy(-2147483648, 2147483647).findPixel(true)"), hmap_index(3, 3));
  EXPECT_EQ(evalInt("bm.testMask(bm.shiftedCopy(-2147483648, 0), 8, 2147483647, -2147483648)"), 0);
  EXPECT_TRUE(evalBool("bm.testOverlap(bm, 2147483647 - 255, -2147483648)"));
  EXPECT_FALSE(run("bm.placePoints(2147483647, function(x, z) {});"));
  EXPECT_EQ(lastError(), "placePoints(): at most 65536 points");
}

TEST_F(WorldGenApiTest, SlopeIsOneOnFlatLand) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 3.0f;
  EXPECT_FLOAT_EQ(evalFloat("HmapMask.fromSlope().getraw(10, 10)"), 1.0f);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) hmap[hmap_index(x, z)] = (float)(x & 63);
  float s = evalFloat("HmapMask.fromSlope().getraw(10, 10)");
  EXPECT_NEAR(s, 8.0f / std::sqrt(64.0f + 64.0f), 1e-5); // sx = 8 for a slope of 1
}

TEST_F(WorldGenApiTest, SimplexMaskMatchesTheFractalNoise) {
  reseed_noise();
  SqObject m = eval("HmapMask.fromSimplexNoise(2.0, 4, 3, null, 0.5)");
  ASSERT_FALSE(m.isNull());
  // Any positive tile, powers of two or not.
  for (int tile : {4, 3, 100}) {
    ASSERT_TRUE(run("sm <- HmapMask.fromSimplexNoise(2.0, " + std::to_string(tile) + ", 3, null, 0.5);"))
        << tile << ": " << lastError();
    for (int x : {0, 17, 200, 255}) {
      int z = (x * 7) & 255;
      float expect = 2.0f * tiled_fractal_noise2(3, nullptr, (float)tile * x / 256.0f, (float)tile * z / 256.0f,
                                                 (float)tile, 0.5f);
      char e[64];
      snprintf(e, sizeof e, "sm.getraw(%d, %d)", x, z);
      EXPECT_NEAR(evalFloat(e), expect, 1e-5) << tile << " at " << x;
    }
  }
  EXPECT_FALSE(run("HmapMask.fromSimplexNoise(2.0, 0, 3, null, 0.5);"));
  EXPECT_EQ(lastError(), "tile must be positive in fromSimplexNoise()");
  EXPECT_FALSE(run("HmapMask.fromSimplexNoise(2.0, -3, 3, null, 0.5);"));
  EXPECT_EQ(lastError(), "tile must be positive in fromSimplexNoise()");
}

TEST_F(WorldGenApiTest, RepaintLandSetsColoursAndTypes) {
  ASSERT_TRUE(run(R"(
    repaint_land(function(x, z, c, t) {
      if (x == 1 && z == 0) return [0xFF102030, GT_SAND, vec4f(0.0, 1.0, 0.0, 0.5), ST_GRASS];
      return [vec4f(1.0, 0.0, 0.0, 1.0), GT_ROCK];
    });
  )"));
  EXPECT_EQ(surface[0].color, 0xFFFF0000u);
  EXPECT_EQ(surface[0].ground, (uint32_t)GT_ROCK);
  EXPECT_EQ(surface[0].top_color, 0u);
  EXPECT_EQ(surface[1].color, 0xFF102030u);
  EXPECT_EQ(surface[1].ground, (uint32_t)GT_SAND);
  EXPECT_EQ(surface[1].cover, (uint32_t)ST_GRASS);
  EXPECT_EQ(surface[1].top_color, 0x8000FF00u);
  EXPECT_FALSE(run("repaint_land(function(x, z, c, t) { return [c]; });"));
}

TEST_F(WorldGenApiTest, RecolorLand4WeighsTheChannels) {
  surface[0].color = 0xFF00FF00; // weights: green 1 (c1), alpha 1 (c3)
  surface[1].color = 0x00000000; // no weight at all: white
  surface[2].marks = MARK_HOUSE;
  ASSERT_TRUE(run("recolor_land4(0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000);"));
  EXPECT_EQ(surface[0].color, 0xFF008000u); // half green, half black
  EXPECT_EQ(surface[1].color, 0xFFFFFFFFu);
  EXPECT_EQ(surface[0].ground, (uint32_t)GT_SOIL);
  EXPECT_EQ(surface[2].marks, (uint32_t)MARK_HOUSE); // marks stay
  // A missing colour repeats the previous one.
  surface[0].color = 0x00000001; // only blue weight: c2 = c1
  ASSERT_TRUE(run("recolor_land4(0xFFFF0000, 0xFF00FF00);"));
  EXPECT_EQ(surface[0].color, 0xFF00FF00u);
}

TEST_F(WorldGenApiTest, RecolorByHeightSpansTheRamp) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 0.0f;
  hmap[5] = 10.0f;
  ASSERT_TRUE(run("recolor_by_height(ColorRamp.linear(vec4f(0, 0, 0, 1), vec4f(1, 1, 1, 1)), null);"));
  EXPECT_EQ(surface[0].color, 0xFF000000u);
  EXPECT_EQ(surface[5].color, 0xFFFFFFFFu);
  EXPECT_EQ(surface[5].cover, (uint32_t)ST_NONE);
}

TEST_F(WorldGenApiTest, GeneratorsAndMarksThroughTheScript) {
  ASSERT_TRUE(run("mark_rect(10, 10, 12, 12, MARK_OBJ, 0);"));
  EXPECT_FALSE(evalBool("test_rect_mark(9, 9, 13, 13, MARK_PLACEMENT, 0)"));
  EXPECT_TRUE(evalBool("test_circle_mark(100.0, 100.0, 5.0, MARK_PLACEMENT, 0)"));
  float before = hmap[hmap_index(50, 50)];
  ASSERT_TRUE(run("gen_crater(50.0, 50.0, 6.0, 0.5);"));
  EXPECT_LE(hmap[hmap_index(50, 50)], before);
  ASSERT_TRUE(run("add_simplex_noise(0.0, 4.0, 4, 2, 0.5); r <- recenter_hmap();"));
  EXPECT_GT(evalFloat("r"), 0.0f);
  ASSERT_TRUE(run("set_player_pos(vec4f(1.0, 2.0, 3.0, 1.0));"));
  EXPECT_FLOAT_EQ(world_player_start_pos.z, 3.0f);
  EXPECT_EQ(evalInt("GT_SOIL * 10 + MARK_PLACEMENT"), 37);
  EXPECT_EQ(evalInt("B_spells"), 10);
}

TEST_F(WorldGenApiTest, ErosionParametersFromATable) {
  ASSERT_TRUE(run("add_simplex_noise(0.0, 20.0, 4, 3, 0.5);"));
  ASSERT_TRUE(run(R"(
    periods <- 0;
    gen_droplet_erosion(300, { Kq = 2.0, periodStep = 100, onPeriod = function() { periods++; },
                               reactions = [[vec4f(1, 1, 1, 0), vec4f(0.9, 0.9, 0.9, 0), 0.01]] });
  )"));
  EXPECT_EQ(evalInt("periods"), 3);
  EXPECT_EQ(last_erosion_stats.droplets, 300u);
  // periodStep without onPeriod is ignored; a failing callback is an error.
  ASSERT_TRUE(run("gen_droplet_erosion(10, { periodStep = 1 });"));
  EXPECT_FALSE(run("gen_droplet_erosion(20, { periodStep = 5, onPeriod = function() { throw \"no\"; } });"));
}

TEST_F(WorldGenApiTest, BitMapSurvivesSavedScriptData) {
  register_bitmap_persistence();
  ASSERT_TRUE(run("saved <- { map = BitMap() }; saved.map.set(9, 200, true); saved.other <- saved.map;"));
  SqObject obj = eval("saved");
  DynArray<uint8_t> bytes;
  {
    MemoryOutputStream out;
    save_script_data(obj, out);
    save_script_refs(out);
    bytes.append(out.size(), out.data());
  }
  MemoryInputStream in(bytes.data, bytes.num);
  SqObject loaded = load_script_data(in, vm);
  ASSERT_EQ(loaded.type(), OT_TABLE);
  sq_pushroottable(vm);
  sq_pushstring(vm, "loaded", -1);
  loaded.push(vm);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);
  finish_loading_script_data(vm);
  EXPECT_TRUE(evalBool("loaded.map.get(9, 200)"));
  EXPECT_EQ(evalInt("loaded.map.area()"), 1);
  EXPECT_TRUE(evalBool("loaded.map == loaded.other")); // shared, stored once
}

} // namespace
