// Droplet erosion: pits and flat land stay untouched, long paths are cut,
// colour travels with sediment and reacts, callbacks fire on schedule, and
// the result is reproducible from the seed.
#include <cmath>
#include <string>
#include <vector>

#include "world/erosion.h"
#include "world/hmGen.h"
#include "world_test_util.h"

using namespace HeightmapData;

// A seed whose first two draws start the droplet on lattice point (cx, cz).
static uint64_t seed_for_start(int cx, int cz) {
  for (uint64_t s = 1;; s++) {
    game_rnd_seed = s;
    int a = (int)(game_rnd_next() & 255);
    int b = (int)(game_rnd_next() & 255);
    if (a == cx && b == cz) return s;
  }
}

static void make_hilly_world(uint64_t seed) {
  world_test_fresh(seed);
  addSimplexNoise(0, 40, 4, 5, 0.5f);
  addVoronoiHills(8, 0, 15, 0.9f);
}

static double height_sum() {
  double s = 0;
  for (int i = 0; i < HMAP_CELLS; i++) s += hmap[i];
  return s;
}

TEST_F(WorldTest, DropletInASingleCellPitChangesNothing) {
  for (int i = 0; i < HMAP_CELLS; i++) {
    hmap[i] = 1.0f;
    surface[i].cover = ST_SNOW; // an empty deposit must not bury it
    surface[i].top_color = 0xC0FFFFFFu;
  }
  hmap[hmap_index(50, 50)] = 0.0f;
  uint64_t h = world_hash();
  game_rnd_seed = seed_for_start(50, 50);
  ErosionParams p;
  genDropletErosion(1, p);
  EXPECT_EQ(world_hash(), h);
  EXPECT_EQ(last_erosion_stats.total_steps, 0u);
  EXPECT_EQ(last_erosion_stats.random_dirs, 0u);
}

TEST_F(WorldTest, FlatWorldNeverErodes) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = 2.5f;
  uint64_t h = world_hash();
  ErosionParams p;
  genDropletErosion(3000, p);
  EXPECT_EQ(world_hash(), h);
  EXPECT_EQ(last_erosion_stats.random_dirs, 3000u); // one pick each, then the droplet stops
  EXPECT_EQ(last_erosion_stats.long_paths, 0u);
}

TEST_F(WorldTest, ZeroDropletsStillReport) {
  testing::internal::CaptureStdout();
  ErosionParams p;
  genDropletErosion(0, p);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("computed       0 erosion droplets in"), std::string::npos) << out;
  EXPECT_NE(out.find("  0.00 average path length, 0 long paths cut, 0 random directions picked"),
            std::string::npos)
      << out;
}

TEST_F(WorldTest, LongPathIsCutAndItsSedimentVanishes) {
  // A droplet falling off a tall spike carries far more sediment than the
  // flat land around can take (Kd 0 keeps it all), so it wanders until cut.
  hmap[hmap_index(10, 10)] = 1000.0f;
  game_rnd_seed = seed_for_start(10, 10);
  ErosionParams p;
  p.Kd = 0.0f;
  double before = height_sum();
  testing::internal::CaptureStdout();
  genDropletErosion(1, p);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(last_erosion_stats.long_paths, 1u);
  EXPECT_EQ(last_erosion_stats.total_steps, 1024u);
  EXPECT_NE(out.find("droplet #0 path is too long!"), std::string::npos) << out;
  EXPECT_NE(out.find("1 long paths cut"), std::string::npos) << out;
  // Most of what it picked up is gone with it.
  EXPECT_LT(height_sum(), before - 30.0);
}

TEST_F(WorldTest, ErosionMovesMaterialDownhillAlmostConservingIt) {
  make_hilly_world(99);
  std::vector<float> before(hmap, hmap + HMAP_CELLS);
  double sum0 = height_sum();
  ErosionParams p;
  genDropletErosion(20000, p);
  double moved = 0;
  for (int i = 0; i < HMAP_CELLS; i++) moved += fabs(hmap[i] - before[i]);
  EXPECT_GT(moved, 100.0);
  // The cone weights take about 0.955 of what the sediment gains, so the
  // total may grow a little, never by much.
  EXPECT_LT(fabs(height_sum() - sum0), 0.1 * moved);
  EXPECT_GT(last_erosion_stats.total_steps, 20000u);
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_TRUE(std::isfinite(hmap[i]));
}

TEST_F(WorldTest, ErodedGroundLosesItsCoverAndDepositsKeepGrass) {
  make_hilly_world(5);
  for (int i = 0; i < HMAP_CELLS; i++) {
    surface[i].cover = ST_GRASS;
    surface[i].top_color = 0x8000FF00u;
  }
  std::vector<float> before(hmap, hmap + HMAP_CELLS);
  ErosionParams p;
  genDropletErosion(5000, p);
  int raised_with_grass = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    if (hmap[i] < before[i]) {
      ASSERT_EQ(surface[i].cover, (unsigned)ST_NONE);
      ASSERT_EQ(surface[i].top_color, 0u);
    }
    if (hmap[i] > before[i] && surface[i].cover == ST_GRASS) raised_with_grass++;
  }
  EXPECT_GT(raised_with_grass, 0);
}

// Paints the upper half of the height range red, the rest grey.
static void paint_high_ground_red() {
  float lo, hi;
  calcHtRange(lo, hi);
  for (int i = 0; i < HMAP_CELLS; i++) surface[i].color = hmap[i] > (lo + hi) / 2 ? 0xFFFF0000u : 0xFF808080u;
}

static void count_tints(int& reddish, int& greenish) {
  reddish = greenish = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    uint32_t c = surface[i].color;
    int r = (c >> 16) & 255, g = (c >> 8) & 255;
    if (c != 0xFFFF0000u && r > g + 8) reddish++;
    if (g > r + 8) greenish++;
  }
}

TEST_F(WorldTest, ColourTravelsWithSediment) {
  make_hilly_world(17);
  paint_high_ground_red();
  ErosionParams p;
  p.reactionTime = 0.0f;
  genDropletErosion(20000, p);
  int reddish, greenish;
  count_tints(reddish, greenish);
  EXPECT_GT(reddish, 100); // grey ground tinted by red sediment
  EXPECT_EQ(greenish, 0);
}

TEST_F(WorldTest, ReactionsTurnDepositedColour) {
  make_hilly_world(17);
  paint_high_ground_red();
  ErosionParams p;
  p.addReaction(Vec4f{1, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 1.0f); // red becomes green
  ASSERT_EQ(p.reactions.num, 1);
  EXPECT_EQ(p.reactions[0].exponent[0], 1);
  EXPECT_EQ(p.reactions[0].exponent[1], 0);
  EXPECT_FLOAT_EQ(p.reactions[0].rate[0], -1.0f);
  EXPECT_FLOAT_EQ(p.reactions[0].rate[1], 1.0f);
  genDropletErosion(20000, p);
  int reddish, greenish;
  count_tints(reddish, greenish);
  EXPECT_GT(greenish, 100);
  // Every deposit runs the reaction to completion (red reaches 0), so only
  // eroded-but-never-deposited cells stay red.
  for (int i = 0; i < HMAP_CELLS; i++) {
    uint32_t c = surface[i].color;
    ASSERT_TRUE(((c >> 16) & 255) == 0 || c == 0xFFFF0000u || ((c >> 16) & 255) == 128) << std::hex << c;
  }
}

TEST_F(WorldTest, PeriodCallbackAndProgressFireOnSchedule) {
  struct Counting : ErosionParams {
    int calls = 0;
    void onPeriod() override { calls++; }
  } p;
  p.periodStep = 10;
  genDropletErosion(25, p);
  EXPECT_EQ(p.calls, 2);

  static std::vector<float> progress;
  progress.clear();
  world_gen_progress_hook = [](const char* text, float f) {
    EXPECT_STREQ(text, "Calculating erosion");
    progress.push_back(f);
  };
  p.periodStep = 0; // never
  p.calls = 0;
  genDropletErosion(40000, p); // flat world: every droplet stops at once
  world_gen_progress_hook = nullptr;
  EXPECT_EQ(p.calls, 0);
  ASSERT_EQ(progress.size(), 2u);
  EXPECT_FLOAT_EQ(progress[0], 16384.5f / 40000.0f);
  EXPECT_FLOAT_EQ(progress[1], 32768.5f / 40000.0f);
}

TEST_F(WorldTest, ErosionIsReproducibleFromTheSeed) {
  auto run = [](uint64_t seed) {
    make_hilly_world(seed);
    ErosionParams p;
    p.addReaction(Vec4f{0.5f, 1, 0, 0}, Vec4f{0, 0.2f, 0.8f, 0}, 0.3f);
    genDropletErosion(8000, p);
    return std::make_pair(world_hash(), game_rnd_seed);
  };
  auto a = run(7), b = run(7), c = run(8);
  EXPECT_EQ(a, b);
  EXPECT_NE(a.first, c.first);
}
