// The proximity grid: bin choice for fine, coarse and global objects, moving
// and removing objects with the order of the others kept, and queries that
// list only non-empty bins, wrap across the edge and can skip the global bin.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "world/proximity.h"

namespace {

class ProximityTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (ProximityBin& b : proximity) b.resize(0);
  }
  void TearDown() override {
    for (ProximityBin& b : proximity) b.resize(0);
  }
};

std::vector<int> listed(const ProximityQuery& q) { return std::vector<int>(q.bins.begin(), q.bins.end()); }

} // namespace

TEST_F(ProximityTest, ObjectsGoToFineCoarseOrGlobalBins) {
  EXPECT_EQ(proximity_bin_for_rect(Vec4f{10, 10, 12, 12}), 33);  // fine cell (1, 1)
  EXPECT_EQ(proximity_bin_for_rect(Vec4f{6, 2, 10, 6}), 1024);   // straddles fine 0|1, coarse (0, 0)
  EXPECT_EQ(proximity_bin_for_rect(Vec4f{0, 0, 100, 100}), 1280);
  // Coarse cells are shifted by 4: x 12..27 is coarse column 1.
  EXPECT_EQ(proximity_bin_for_rect(Vec4f{14, 30, 17, 33}), 1024 | (2 << 4) | 1);
  // Coordinates wrap through the masks.
  EXPECT_EQ(proximity_bin_for_rect(Vec4f{-3, -3, -1, -1}), (31 << 5) | 31);
  EXPECT_EQ(proximity_bin_for_rect(Vec4f{258, 2, 259, 3}), 0);
  // An exact multiple of 8 starts the next fine cell.
  EXPECT_EQ(proximity_bin_for_rect(Vec4f{8, 0, 8, 0}), 1);
}

TEST_F(ProximityTest, UpdateMovesTheObjectAndKeepsTheOthersInOrder) {
  GameObj a, b, c;
  update_proximity(&a, Vec4f{10, 10, 12, 12});
  update_proximity(&b, Vec4f{9, 9, 10, 10});
  update_proximity(&c, Vec4f{11, 11, 11, 11});
  EXPECT_EQ(a.proximity_bin, 33);
  ASSERT_EQ(proximity[33].num, 3);

  // Moving within the cell is no list work at all.
  update_proximity(&a, Vec4f{13, 13, 14, 14});
  EXPECT_EQ(proximity[33][0], &a);

  update_proximity(&a, Vec4f{0, 0, 100, 100});
  EXPECT_EQ(a.proximity_bin, 1280);
  ASSERT_EQ(proximity[33].num, 2);
  EXPECT_EQ(proximity[33][0], &b);
  EXPECT_EQ(proximity[33][1], &c);
  ASSERT_EQ(proximity[1280].num, 1);
  EXPECT_EQ(proximity[1280][0], &a);

  update_proximity(nullptr, Vec4f{0, 0, 1, 1}); // ignored
  EXPECT_EQ(proximity[0].num, 0);
}

TEST_F(ProximityTest, RemovingUnregisteredObjectsDoesNothing) {
  GameObj a, stray;
  update_proximity(&a, Vec4f{10, 10, 12, 12});
  remove_proximity_object(&stray);
  remove_proximity_object(nullptr);
  stray.proximity_bin = 5000; // out of range: treated as unregistered
  remove_proximity_object(&stray);
  EXPECT_EQ(stray.proximity_bin, 5000);
  ASSERT_EQ(proximity[33].num, 1);

  remove_proximity_object(&a);
  EXPECT_EQ(a.proximity_bin, -1);
  EXPECT_EQ(proximity[33].num, 0);
  remove_proximity_object(&a); // a second removal is harmless
  EXPECT_EQ(a.proximity_bin, -1);
}

TEST_F(ProximityTest, QueryListsNonEmptyFineThenCoarseThenGlobalBins) {
  GameObj fine, coarse, global, far_away;
  update_proximity(&fine, Vec4f{10, 10, 12, 12});        // 33
  update_proximity(&coarse, Vec4f{6, 2, 10, 6});         // 1024
  update_proximity(&global, Vec4f{0, 0, 100, 100});      // 1280
  update_proximity(&far_away, Vec4f{200, 200, 201, 201}); // 825
  ProximityQuery q;
  q.cur_bin = 7;
  q.cur_obj = 3;
  q.proximityQuery(Vec4f{0, 0, 20, 20}, false);
  EXPECT_EQ(listed(q), (std::vector<int>{33, 1024, 1280}));
  EXPECT_EQ(q.cur_bin, 0);
  EXPECT_EQ(q.cur_obj, -1);

  q.proximityQuery(Vec4f{0, 0, 20, 20}, true);
  EXPECT_EQ(listed(q), (std::vector<int>{33, 1024}));

  // Nothing nearby: only the global bin, and nothing at all when skipped.
  q.proximityQuery(Vec4f{100, 100, 110, 110}, false);
  EXPECT_EQ(listed(q), (std::vector<int>{1280}));
  q.proximityQuery(Vec4f{100, 100, 110, 110}, true);
  EXPECT_TRUE(q.bins.empty());
}

TEST_F(ProximityTest, QueryWrapsAcrossTheWorldEdge) {
  GameObj east, west;
  update_proximity(&east, Vec4f{250, 1, 251, 2}); // fine (31, 0)
  update_proximity(&west, Vec4f{1, 250, 2, 251}); // fine (0, 31)
  ProximityQuery q;
  q.proximityQuery(Vec4f{-4, -4, 4, 4}, true);
  std::vector<int> bins = listed(q);
  EXPECT_EQ(bins, (std::vector<int>{(31 << 5) | 0, (0 << 5) | 31}));
}

TEST_F(ProximityTest, QueryWiderThanTheWorldListsEachBinOnce) {
  GameObj a;
  update_proximity(&a, Vec4f{10, 10, 12, 12});
  ProximityQuery q;
  q.proximityQuery(Vec4f{-300, -300, 300, 300}, true);
  EXPECT_EQ(listed(q), (std::vector<int>{33}));
  q.proximityQuery(Vec4f{-3e9f, -3e9f, 3e9f, 3e9f}, true); // bounded, no overflow
  EXPECT_EQ(listed(q), (std::vector<int>{33}));
}
