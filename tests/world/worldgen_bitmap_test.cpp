// The raster maps of world generation: bit-map combination and
// neighbourhood operations, wrapped bounds, region filling, random growth
// and placement, the distance maps and the integer map.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <set>
#include <unistd.h>

#include "core/game_rnd.h"
#include "world/bitMap.h"
#include "world_test_util.h"

namespace {

void fill_rect(BitMap& bm, int x0, int z0, int x1, int z1) {
  for (int z = z0; z <= z1; z++)
    for (int x = x0; x <= x1; x++) bm.set(x, z, true);
}

TEST(WorldGenBitMap, ErodeOfOnePixelIsEmptyAndExpandIsAPlus) {
  BitMap one, out;
  one.set(0, 0, true); // at the corner, so the plus wraps
  one.erode(out);
  EXPECT_EQ(out.area(), 0);
  one.expand(out);
  EXPECT_EQ(out.area(), 5);
  EXPECT_TRUE(out.get(0, 0));
  EXPECT_TRUE(out.get(255, 0));
  EXPECT_TRUE(out.get(1, 0));
  EXPECT_TRUE(out.get(0, 255));
  EXPECT_TRUE(out.get(0, 1));
  EXPECT_FALSE(out.get(1, 1));
}

TEST(WorldGenBitMap, ErodeKeepsTheInteriorOfASquare) {
  BitMap sq, out;
  fill_rect(sq, 10, 10, 14, 14);
  sq.erode(out);
  EXPECT_EQ(out.area(), 9);
  EXPECT_TRUE(out.get(11, 11));
  EXPECT_FALSE(out.get(10, 12));
}

TEST(WorldGenBitMap, TruthTableOps) {
  BitMap a, b, out;
  fill_rect(a, 0, 0, 9, 9);  // 100 pixels
  fill_rect(b, 5, 5, 14, 14); // 100 pixels, 25 shared
  a.bitwise(&b, 8, 0, 0, out);
  EXPECT_EQ(out.area(), 25);
  EXPECT_TRUE(out.get(7, 7));
  EXPECT_FALSE(out.get(2, 2));
  EXPECT_EQ(a.testMask(&b, 8, 0, 0), 25);
  EXPECT_EQ(a.testMask(&b, 14, 0, 0), 175); // OR
  EXPECT_EQ(a.testMask(&b, 6, 0, 0), 150);  // XOR
  EXPECT_EQ(a.testMask(&b, 2, 0, 0), 75);   // here but not there
  EXPECT_EQ(a.testMask(&b, 1, 0, 0), 65536 - 175);
  // The other map shifted by (-5, -5) lies exactly on this one.
  EXPECT_EQ(a.testMask(&b, 8, -5, -5), 100);
  // A null other map counts nothing and copies unchanged.
  EXPECT_EQ(a.testMask(nullptr, 8, 0, 0), 0);
  a.bitwise(nullptr, 8, 0, 0, out);
  EXPECT_EQ(out.area(), 100);
  // In place, and with the result written into the other map.
  BitMap c = a;
  c.bitwise(&b, 8, 0, 0, c);
  EXPECT_EQ(c.area(), 25);
  BitMap d = b;
  a.bitwise(&d, 14, 3, 0, d);
  EXPECT_EQ(d.area(), a.testMask(&b, 14, 3, 0));
}

TEST(WorldGenBitMap, ShiftedCopyWraps) {
  BitMap a, out;
  a.set(250, 3, true);
  a.shiftedCopy(10, -5, out);
  EXPECT_TRUE(out.get(4, 254));
  EXPECT_EQ(out.area(), 1);
  for (int dx : {0, 1, 31, 32, 33, 255})
    for (int dz : {0, 7}) {
      BitMap b;
      fill_rect(b, 100, 100, 140, 120);
      b.shiftedCopy(dx, dz, out);
      EXPECT_EQ(out.area(), b.area());
      EXPECT_TRUE(out.get(100 + dx, 100 + dz));
      EXPECT_TRUE(out.get(140 + dx, 120 + dz));
      EXPECT_FALSE(out.get(141 + dx, 120 + dz));
    }
}

// Scripts pass any int as an offset: the extremes wrap like any other value (INT_MIN is
// 0 modulo 256, INT_MAX is 255) instead of overflowing when negated or added.
TEST(WorldGenBitMap, ExtremeOffsetsWrapWithoutOverflow) {
  BitMap a, b, got, want;
  fill_rect(a, 250, 3, 253, 6);
  fill_rect(b, 1, 2, 4, 5);
  const int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  a.shiftedCopy(lo, hi, got);
  a.shiftedCopy(0, 255, want);
  EXPECT_EQ(got.area(), a.area());
  EXPECT_EQ(got.testMask(&want, 8, 0, 0), a.area());
  EXPECT_EQ(a.testMask(&b, 8, hi, lo), a.testMask(&b, 8, 255, 0));
  a.bitwise(&b, 14, lo, hi, got);
  a.bitwise(&b, 14, 0, 255, want);
  EXPECT_EQ(got.testMask(&want, 6, 0, 0), 0); // XOR: no pixel differs
  EXPECT_EQ(a.testOverlap(b, hi, lo), a.testOverlap(b, 255, 0));
  EXPECT_TRUE(a.testOverlap(b, hi - 6, 1)); // b's columns 1..4 moved by -7 are 250..253
}

TEST(WorldGenBitMap, BoundsWrapAcrossTheEdge) {
  BitMap bm;
  MapBounds e = bm.bounds();
  EXPECT_EQ(e.width, 0);
  EXPECT_EQ(e.height, 0);
  fill_rect(bm, 250, 10, 260, 12); // columns 250..255 and 0..4
  MapBounds b = bm.bounds();
  EXPECT_EQ(b.x0, 250);
  EXPECT_EQ(b.width, 11);
  EXPECT_EQ(b.z0, 10);
  EXPECT_EQ(b.height, 3);
  // Centre at x 255.5: pixel 250 is 5.5 away in x, 1.5 in z.
  EXPECT_NEAR(bm.boundingCircle(), std::sqrt(5.5f * 5.5f + 1.5f * 1.5f), 1e-4);
  bm.set(128, 128, true); // the statistics follow a change
  EXPECT_EQ(bm.area(), 34);
  EXPECT_GT(bm.bounds().height, 3);
}

TEST(WorldGenBitMap, OverlapOfWrappedBounds) {
  BitMap a, b;
  fill_rect(a, 250, 0, 253, 3);
  fill_rect(b, 2, 0, 5, 3);
  EXPECT_FALSE(a.testOverlap(b, 0, 0));
  EXPECT_TRUE(a.testOverlap(b, -8, 0));  // b moves onto columns 250..253
  EXPECT_TRUE(a.testOverlap(b, -10, 1)); // 248..251 touches 250
  EXPECT_FALSE(a.testOverlap(b, -8, 4));
  BitMap empty;
  EXPECT_FALSE(a.testOverlap(empty, 0, 0));
}

TEST(WorldGenBitMap, FloodFillAndContinuity) {
  BitMap bm, region;
  fill_rect(bm, 0, 0, 3, 3);
  fill_rect(bm, 252, 0, 255, 3); // joined across the edge
  EXPECT_TRUE(bm.isContinuous());
  bm.floodFillMask(1, 1, region);
  EXPECT_EQ(region.area(), 32);
  bm.set(100, 100, true); // a separate island
  EXPECT_FALSE(bm.isContinuous());
  // Filling an unset pixel fills the unset region.
  bm.floodFillMask(50, 50, region);
  EXPECT_EQ(region.area(), 65536 - 33);
  EXPECT_FALSE(region.get(100, 100));
  BitMap empty;
  EXPECT_FALSE(empty.isContinuous());
  EXPECT_EQ(empty.findPixel(true), -1);
  EXPECT_EQ(bm.findPixel(true), 0);
  EXPECT_EQ(bm.findPixel(false), 4);
}

TEST(WorldGenBitMap, RandomFillStaysInsideAndStopsAtCount) {
  game_rnd_seed = 99;
  BitMap area, out;
  fill_rect(area, 20, 20, 59, 59);
  area.randomFill(30, 30, 200, out);
  EXPECT_EQ(out.area(), 200);
  EXPECT_EQ(out.testMask(&area, 2, 0, 0), 0); // nothing outside the area
  EXPECT_TRUE(out.isContinuous());
  area.randomFill(30, 30, 1000000, out);
  EXPECT_EQ(out.area(), area.area());
  area.randomFill(5, 5, 10, out); // start outside: nothing
  EXPECT_EQ(out.area(), 0);
}

TEST(WorldGenBitMap, RandomExpandGrowsOutward) {
  game_rnd_seed = 5;
  BitMap bm;
  fill_rect(bm, 100, 100, 119, 119);
  BitMap before = bm;
  EXPECT_TRUE(bm.randomExpand(50, 4, 2.0f));
  EXPECT_GT(bm.area(), before.area());
  EXPECT_EQ(before.testMask(&bm, 2, 0, 0), 0); // only grows
  BitMap empty;
  EXPECT_FALSE(empty.randomExpand(10, 3, 2.0f));
}

TEST(WorldGenBitMap, RandomPixelIsSetAndDeterministic) {
  BitMap bm;
  fill_rect(bm, 7, 9, 8, 9);
  game_rnd_seed = 1;
  int a = bm.randomPixel();
  game_rnd_seed = 1;
  EXPECT_EQ(bm.randomPixel(), a);
  EXPECT_TRUE(bm.getIndex(a));
  BitMap empty;
  uint64_t s = game_rnd_seed;
  EXPECT_EQ(empty.randomPixel(), -1);
  EXPECT_EQ(game_rnd_seed, s); // no draw
}

TEST(WorldGenBitMap, PlacedPointsSpreadOverTheSetPixels) {
  game_rnd_seed = 77;
  BitMap bm;
  fill_rect(bm, 0, 0, 63, 63);
  DynArray<int> cells;
  bm.placePoints(4, cells);
  ASSERT_EQ(cells.num, 4);
  int best = 1 << 30;
  for (int i = 0; i < 4; i++) {
    EXPECT_TRUE(bm.getIndex(cells[i]));
    for (int j = i + 1; j < 4; j++) {
      int dx = (cells[i] & 255) - (cells[j] & 255), dz = (cells[i] >> 8) - (cells[j] >> 8);
      best = std::min(best, dx * dx + dz * dz);
    }
  }
  EXPECT_GT(best, 20 * 20); // four points in a 64-square end well apart
  BitMap empty;
  empty.placePoints(3, cells);
  EXPECT_EQ(cells.num, 0);
}

TEST(WorldGenBitMap, CirclesFitInsideTheArea) {
  game_rnd_seed = 3;
  BitMap bm;
  fill_rect(bm, 30, 30, 89, 89);
  const float radii[3] = {8, 6, 4};
  DynArray<int> cells;
  bm.placeCircles(radii, 3, cells);
  ASSERT_EQ(cells.num, 3);
  for (int i = 0; i < 3; i++) {
    int x = cells[i] & 255, z = cells[i] >> 8;
    // The clearance check keeps each circle off the area's edge.
    EXPECT_GE(x - 30 + 1, (int)radii[i] - 1);
    EXPECT_GE(89 - x + 1, (int)radii[i] - 1);
    EXPECT_GE(z - 30 + 1, (int)radii[i] - 1);
    EXPECT_GE(89 - z + 1, (int)radii[i] - 1);
  }
}

TEST(WorldGenBitMap, FastSkeletonMeasuresToTheOppositeValue) {
  static float out[HMAP_CELLS];
  BitMap bm;
  fill_rect(bm, 100, 100, 120, 120);
  fast_skeleton_map(bm, out);
  EXPECT_FLOAT_EQ(out[hmap_index(100, 110)], 0.5f);   // neighbour outside at distance 1
  EXPECT_FLOAT_EQ(out[hmap_index(105, 110)], 5.5f);   // 6 cells to the left edge
  EXPECT_FLOAT_EQ(out[hmap_index(99, 110)], -0.5f);   // outside, next to it
  EXPECT_FLOAT_EQ(out[hmap_index(95, 110)], -4.5f);
  // Diagonal: the first ring with a set pixel is ring 3, at (3, 3).
  EXPECT_NEAR(out[hmap_index(97, 97)], -(std::sqrt(18.0f) - 0.5f), 1e-5);
  BitMap full;
  full.inverse(full);
  fast_skeleton_map(full, out);
  EXPECT_NEAR(out[0], std::sqrt(2147483647.0f) - 0.5f, 1e-2);
}

TEST(WorldGenBitMap, JitteredSkeletonHasThePixelSigns) {
  static float out[HMAP_CELLS];
  game_rnd_seed = 8;
  BitMap bm;
  fill_rect(bm, 40, 40, 80, 80);
  make_skeleton_map(bm, 0.3f, out);
  EXPECT_GT(out[hmap_index(60, 60)], 10.0f); // about 20 steps, each 1 +- 0.3
  EXPECT_LT(out[hmap_index(60, 60)], 30.0f);
  EXPECT_LT(out[hmap_index(10, 10)], -20.0f);
  EXPECT_LE(std::fabs(out[hmap_index(40, 60)]), 0.5f); // seeded on the border
  BitMap empty;
  make_skeleton_map(empty, 0.3f, out);
  EXPECT_EQ(out[1234], -1.0f);
  BitMap full;
  full.inverse(full);
  make_skeleton_map(full, 0.3f, out);
  EXPECT_EQ(out[1234], 1.0f);
}

TEST(WorldGenBitMap, IntMapBoundsOverNonZeroCells) {
  static IntMap m;
  m.clear();
  EXPECT_EQ(m.bounds().width, 0);
  m.set(254, 7, 3);
  m.setIndex(hmap_index(2, 9), -1);
  MapBounds b = m.bounds();
  EXPECT_EQ(b.x0, 254);
  EXPECT_EQ(b.width, 5);
  EXPECT_EQ(b.z0, 7);
  EXPECT_EQ(b.height, 3);
  EXPECT_EQ(m.get(2 + 256, 9), -1);
}

TEST(WorldGenBitMap, DumpTgaWritesAGreyImage) {
  BitMap bm;
  bm.set(1, 0, true);
  TempDir dir("rh_bitmap");
  std::string path = dir / "map.tga";
  ASSERT_TRUE(bm.dumpTga(path.c_str()));
  FILE* f = fopen(path.c_str(), "rb");
  ASSERT_TRUE(f);
  unsigned char head[20];
  ASSERT_EQ(fread(head, 1, 20, f), 20u);
  fseek(f, 0, SEEK_END);
  EXPECT_EQ(ftell(f), 18 + 65536);
  fclose(f);
  EXPECT_EQ(head[2], 3);
  EXPECT_EQ(head[12] | head[13] << 8, 256);
  EXPECT_EQ(head[16], 8);
  EXPECT_EQ(head[18], 0);   // pixel (0, 0)
  EXPECT_EQ(head[19], 255); // pixel (1, 0)
  EXPECT_FALSE(bm.dumpTga("/nonexistent-folder/x.tga"));
}

} // namespace
