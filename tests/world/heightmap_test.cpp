// The world model: grid block layout, reset, marks across the wrap, circle
// membership, height range and recentring, square depth and the terrain ray.
#include <climits>
#include <cmath>

#include "core/app_globals.h"
#include "world/heightmap.h"
#include "world_test_util.h"

using namespace HeightmapData;

static int count_marked(unsigned mask) {
  int n = 0;
  for (int i = 0; i < HMAP_CELLS; i++)
    if (surface[i].marks & mask) n++;
  return n;
}

TEST(HeightmapBlock, SizesMatchBothQualityLevels) {
  EXPECT_EQ(heightmap_block_size(0), 5243328u);
  EXPECT_EQ(heightmap_block_size(1), 7340608u);
}

TEST_F(WorldTest, GridsAreSpacedBy64BytesInOneBlock) {
  auto gap = [](const void* a, size_t bytes, const void* b) {
    return (const char*)b - ((const char*)a + bytes);
  };
  EXPECT_EQ(gap(hmap, 262144, target_hmap), 64);
  EXPECT_EQ(gap(target_hmap, 262144, waterCells()), 64);
  EXPECT_EQ(gap(waterCells(), 1048576, tmpwCells()), 64);
  EXPECT_EQ(gap(tmpwCells(), 1048576, surface), 64);
  EXPECT_EQ(gap(surface, 786432, render_grid[0]), 64);
  EXPECT_EQ(gap(render_grid[0], render_grid_bytes[0], render_grid[1]), 64);
  EXPECT_EQ((uintptr_t)hmap % 16, 0u);
  EXPECT_EQ(render_grid[2] != nullptr, gfx_quality >= 1);
}

TEST_F(WorldTest, ResetClearsEverythingButTmpw) {
  hmap[5] = 3;
  target_hmap[7] = 4;
  surface[9].marks = 15;
  surface[9].tile = 100;
  waterCells()[11].depth = -2;
  tmpwCells()[11].depth = 6;
  land_sound[3].channel = 77;
  reset();
  for (int i = 0; i < HMAP_CELLS; i++) {
    ASSERT_EQ(hmap[i], 0.0f);
    ASSERT_EQ(target_hmap[i], 0.0f);
    ASSERT_EQ(surface[i].color, 0xFF808080u);
    ASSERT_EQ(surface[i].top_color, 0u);
    ASSERT_EQ(surface[i].typeWord(), 1u);
    ASSERT_EQ(waterCells()[i].depth, 0.0f);
  }
  EXPECT_EQ(surface[0].ground, (unsigned)GT_ROCK);
  EXPECT_EQ(surface[0].cover, (unsigned)ST_NONE);
  EXPECT_EQ(land_sound[3].channel, 0u);
  EXPECT_EQ(tmpwCells()[11].depth, 6.0f);
}

TEST_F(WorldTest, ResetStopsLandSounds) {
  static int stops;
  stops = 0;
  stop_sounds_hook = [] { stops++; };
  reset();
  stop_sounds_hook = nullptr;
  EXPECT_EQ(stops, 1);
}

TEST_F(WorldTest, SurfaceBitFieldsFollowTheTypeWordLayout) {
  Surface s{};
  s.ground = 3;
  s.cover = 4;
  s.tile_rot = 5;
  s.tile = 0x1ABC;
  s.marks = 0x8F;
  EXPECT_EQ(s.typeWord(), 3u | 4u << 4 | 5u << 8 | 0x1ABCu << 11 | 0x8Fu << 24);
  s.setTypeWord(0xFFFFFFFF);
  EXPECT_EQ(s.marks, 255u);
  EXPECT_EQ(s.tile, 0x1FFFu);
}

TEST_F(WorldTest, MarkRectWrapsAndIgnoresReversedBounds) {
  mark_rect(10, 10, 5, 20, MARK_OBJ, 0); // x1 < x0: nothing
  mark_rect(10, 20, 20, 10, MARK_OBJ, 0); // z1 < z0: nothing
  EXPECT_EQ(count_marked(MARK_OBJ), 0);

  mark_rect(250, 3, 260, 3, MARK_PLACE, 0);
  EXPECT_EQ(count_marked(MARK_PLACE), 11);
  for (int x : {250, 255, 0, 4}) EXPECT_TRUE(surface[hmap_index(x, 3)].marks & MARK_PLACE) << x;
  EXPECT_FALSE(surface[hmap_index(5, 3)].marks & MARK_PLACE);
  EXPECT_FALSE(surface[hmap_index(249, 3)].marks & MARK_PLACE);

  // Corner wrap in both axes, then clearing one bit keeps the others.
  mark_rect(-1, -1, 0, 0, MARK_OBJ | MARK_WATER, 0);
  EXPECT_EQ(surface[hmap_index(255, 255)].marks, MARK_OBJ | MARK_WATER);
  mark_rect(-1, -1, -1, -1, 0, MARK_OBJ);
  EXPECT_EQ(surface[hmap_index(255, 255)].marks, (unsigned)MARK_WATER);
  EXPECT_EQ(surface[hmap_index(0, 0)].marks, MARK_OBJ | MARK_WATER);
}

TEST_F(WorldTest, HugeRectanglesCoverTheWorldOnce) {
  mark_rect(INT32_MAX - 2, 7, INT32_MAX, 7, MARK_OBJ, 0); // no overflow at the end of int
  EXPECT_EQ(count_marked(MARK_OBJ), 3);
  EXPECT_TRUE(surface[hmap_index(INT32_MAX, 7)].marks & MARK_OBJ);
  mark_rect(-2000000000, -5, 2000000000, 1000000000, MARK_PLACE, 0);
  EXPECT_EQ(count_marked(MARK_PLACE), HMAP_CELLS);
  EXPECT_TRUE(test_rect_mark(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, MARK_PLACE, MARK_PLACE));
  surface[hmap_index(3, 4)].marks = 0;
  EXPECT_FALSE(test_rect_mark(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, MARK_PLACE, MARK_PLACE));
}

TEST_F(WorldTest, TestRectMarkNeedsEveryCell) {
  EXPECT_TRUE(test_rect_mark(0, 0, 10, 10, 15, 0));
  surface[hmap_index(255, 0)].marks = MARK_WATER;
  EXPECT_TRUE(test_rect_mark(0, 0, 10, 10, 15, 0));
  EXPECT_FALSE(test_rect_mark(-2, 0, 10, 10, 15, 0)); // reaches x = 255 across the wrap
  EXPECT_TRUE(test_rect_mark(-2, 0, 10, 10, MARK_OBJ, 0));
  mark_rect(0, 0, 3, 3, MARK_HOUSE, 0);
  EXPECT_TRUE(test_rect_mark(0, 0, 3, 3, MARK_HOUSE, MARK_HOUSE));
  EXPECT_FALSE(test_rect_mark(0, 0, 4, 3, MARK_HOUSE, MARK_HOUSE));
}

TEST_F(WorldTest, SmallCircleMarksExactlyOneCell) {
  mark_circle(10.4f, 20.6f, 1.0f, MARK_OBJ, 0);
  EXPECT_EQ(count_marked(MARK_OBJ), 1);
  EXPECT_TRUE(surface[hmap_index(10, 21)].marks & MARK_OBJ);
  mark_circle(-0.2f, 255.7f, 0.3f, MARK_PLACE, 0);
  EXPECT_TRUE(surface[hmap_index(0, 0)].marks & MARK_PLACE);
}

TEST_F(WorldTest, CircleExcludesCellsAtExactlyTheRadius) {
  mark_circle(10, 10, 2, MARK_OBJ, 0);
  // d^2 < 4: the 3 x 3 block plus (10 +- 1 .. ) at distance sqrt(1), sqrt(2), sqrt(5) > 2 excluded.
  EXPECT_EQ(count_marked(MARK_OBJ), 9);
  EXPECT_FALSE(surface[hmap_index(12, 10)].marks & MARK_OBJ); // exactly 2 away
  EXPECT_FALSE(surface[hmap_index(10, 8)].marks & MARK_OBJ);
  EXPECT_TRUE(surface[hmap_index(11, 11)].marks & MARK_OBJ);

  EXPECT_TRUE(test_circle_mark(10, 10, 2, MARK_OBJ, MARK_OBJ));
  EXPECT_FALSE(test_circle_mark(10, 10, 2.01f, MARK_OBJ, MARK_OBJ));
}

TEST_F(WorldTest, CircleWrapsAcrossBothEdges) {
  mark_circle(0.5f, 0.5f, 1.6f, MARK_HOUSE, 0);
  for (int x : {255, 0, 1})
    for (int z : {255, 0, 1}) {
      float dx = x > 128 ? x - 256 - 0.5f : x - 0.5f;
      float dz = z > 128 ? z - 256 - 0.5f : z - 0.5f;
      bool inside = dx * dx + dz * dz < 1.6f * 1.6f;
      EXPECT_EQ((bool)(surface[hmap_index(x, z)].marks & MARK_HOUSE), inside) << x << "," << z;
    }
}

TEST_F(WorldTest, MarkWaterUsesSignedDepth) {
  waterCells()[1].depth = 0.5f;
  waterCells()[2].depth = -3.0f; // lava never qualifies for a level >= 0
  waterCells()[3].depth = 0.1f;
  mark_water(0.2f, MARK_WATER, 0);
  EXPECT_EQ(count_marked(MARK_WATER), 1);
  EXPECT_TRUE(surface[1].marks & MARK_WATER);
  mark_water(-1.0f, MARK_OBJ, 0); // below zero every dry cell qualifies too
  EXPECT_EQ(count_marked(MARK_OBJ), HMAP_CELLS - 1);
}

TEST_F(WorldTest, RecenterFlatWorldToZero) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = target_hmap[i] = 5.0f;
  EXPECT_EQ(recenterHt(), 0.0f);
  for (int i = 0; i < HMAP_CELLS; i++) {
    ASSERT_EQ(hmap[i], 0.0f);
    ASSERT_EQ(target_hmap[i], 5.0f);
  }
}

TEST_F(WorldTest, RecenterCentresTheRange) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 10.0f;
  hmap[0] = 20.0f; // the running range starts at cell 0
  hmap[HMAP_CELLS - 1] = 4.0f;
  float lo, hi;
  calcHtRange(lo, hi);
  EXPECT_EQ(lo, 4.0f);
  EXPECT_EQ(hi, 20.0f);
  EXPECT_EQ(recenterHt(), 8.0f);
  EXPECT_EQ(hmap[0], 8.0f);
  EXPECT_EQ(hmap[HMAP_CELLS - 1], -8.0f);
  EXPECT_EQ(hmap[100], -2.0f);
}

TEST_F(WorldTest, SquareDepthFindsPeaksAndFluid) {
  Vec4f pos{50.5f, 1.0f, 60.5f, 0.0f};
  EXPECT_EQ(calcSquareDepth(pos, 2.0f, true).x, -1.0f); // flat land at 0

  hmap[hmap_index(51, 61)] = 5.0f; // whole vertex inside the square
  Vec4f d = calcSquareDepth(pos, 2.0f, true);
  EXPECT_EQ(d.x, 4.0f);
  EXPECT_EQ(d.w, 4.0f);

  waterCells()[hmap_index(50, 60)].depth = -7.0f; // lava counts by magnitude
  EXPECT_EQ(calcSquareDepth(pos, 2.0f, false).x, 6.0f);
  EXPECT_EQ(calcSquareDepth(pos, 2.0f, true).x, 4.0f);
}

TEST_F(WorldTest, SquareDepthWeighsPartialEdges) {
  // A peak just outside the square contributes by its overlap only: the
  // square spans 10.25 .. 10.75 in x, so the vertex at 11 is 0.75 of a cell away.
  hmap[hmap_index(11, 20)] = 8.0f;
  Vec4f pos{10.5f, 0.0f, 20.0f, 0.0f};
  float d = calcSquareDepth(pos, 0.25f, true).x;
  EXPECT_NEAR(d, 8.0f * 0.75f, 1e-5f);
  // Across the wrap the same holds.
  reset();
  hmap[hmap_index(0, 20)] = 8.0f;
  pos.x = 255.5f;
  EXPECT_NEAR(calcSquareDepth(pos, 0.25f, true).x, 6.0f, 1e-5f);
}

TEST_F(WorldTest, RayHitsWallAndMissesShortRays) {
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 40; x < 50; x++) hmap[hmap_index(x, z)] = 10.0f;
  Vec4f origin{10.0f, 5.0f, 100.0f, 0.0f};
  Vec4f dir{1.0f, 0.0f, 0.0f, 0.0f};
  float t = 100.0f;
  EXPECT_TRUE(trace_hmap_ray(origin, dir, t));
  EXPECT_NEAR(t, 30.0f, 1.0f); // first sample past x = 39
  EXPECT_GE(origin.x + t, 39.0f);

  float t2 = 20.0f; // ends before the wall
  EXPECT_FALSE(trace_hmap_ray(origin, dir, t2));
  EXPECT_EQ(t2, 20.0f);

  float t3 = -1.0f;
  EXPECT_FALSE(trace_hmap_ray(origin, dir, t3));
  Vec4f down{0.0f, -1.0f, 0.0f, 0.0f}; // no horizontal length: never hits
  float t4 = 100.0f;
  EXPECT_FALSE(trace_hmap_ray(origin, down, t4));
}
