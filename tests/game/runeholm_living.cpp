// The world's life in the real program, driven through the developer socket:
// the main menu's fly-over world has trees and stones; a generated game world
// has a forest, and "ignite" sets a patch of it burning. The pictures are kept
// in build/tests/artifacts/living_*.png.
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

double field(const std::string& st, const char* key)
{
  size_t at = st.find(key);
  return at == std::string::npos ? -1.0 : atof(st.c_str() + at + strlen(key));
}

TEST(RuneholmLiving, TheMenuWorldHasTreesAndAGeneratedForestBurns)
{
  GameRun run("rh-living");
  set_headless_env(run.home.path(), run.socket, "300");
  setenv("RUNEHOLM_GL_DEBUG", "1", 1);
  // The developer mode, then a game world of a seed known to be temperate islands.
  setenv("RUNEHOLM_TEST_KEYS", "F9@6.0,SEED:1:game@6.5", 1);
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening on '" + run.socket + "'") != std::string::npos; }, 90))
      << run.log() << read_file(run.home / "output.txt");

  // The fly-over's world: trees and stones stand in it from the start.
  std::string life = run.client({"life"});
  EXPECT_GT(field(life, "trees="), 150) << life;
  EXPECT_GT(field(life, "stones="), 5) << life;
  EXPECT_TRUE(wait_for([&] { return field(run.client({"getState"}), "world_time=") > 60; }, 60));
  take_screenshot(run, "living_menu_flyover.png");

  // The game world, then the camera before its thickest forest.
  ASSERT_TRUE(wait_for([&] { return run.log().find("trees in a islands world") != std::string::npos; }, 240)) << run.log();
  EXPECT_TRUE(wait_for([&] { return run.client({"getState"}).rfind("kmode=DevGameMode ", 0) == 0; }, 30));
  std::string forest = run.client({"forest"});
  ASSERT_EQ(forest.rfind("k", 0), 0u) << forest;
  double x = 0, z = 0, y = 0;
  int near = 0;
  ASSERT_EQ(sscanf(forest.c_str() + 1, "%lf %lf %lf %d", &x, &z, &y, &near), 4) << forest;
  EXPECT_GE(near, 8) << forest;
  char cmd[160];
  snprintf(cmd, sizeof cmd, "setCamera x=%.2f y=%.2f z=%.2f ha=0 va=-28", x, y + 14, z - 24);
  EXPECT_EQ(run.client({cmd}), "k\n");

  // Fire in the middle of it: trees catch, and it spreads over the next seconds.
  snprintf(cmd, sizeof cmd, "ignite x=%.2f z=%.2f radius=3.5", x, z);
  std::string lit = run.client({cmd});
  ASSERT_EQ(lit.rfind("k", 0), 0u) << lit;
  EXPECT_GE(atoi(lit.c_str() + 1), 1) << lit;
  int burning_at_first = int(field(run.client({"life"}), "burning="));
  double start = field(run.client({"getState"}), "world_time=");
  EXPECT_TRUE(wait_for([&] { return field(run.client({"getState"}), "world_time=") > start + 160; }, 120));
  life = run.client({"life"});
  EXPECT_GT(field(life, "burning=") + field(life, "stumps="), burning_at_first) << "the fire did not spread: " << life;
  take_screenshot(run, "living_forest_fire.png");

  // A village house: the building pieces stand where the land gave way to them.
  std::string house = run.client({"house"});
  ASSERT_EQ(house.rfind("k", 0), 0u) << house;
  ASSERT_EQ(sscanf(house.c_str() + 1, "%lf %lf %lf", &x, &z, &y), 3) << house;
  snprintf(cmd, sizeof cmd, "setCamera x=%.2f y=%.2f z=%.2f ha=0 va=-30", x, y + 9, z - 14);
  EXPECT_EQ(run.client({cmd}), "k\n");
  take_screenshot(run, "living_house.png");

  EXPECT_EQ(run.client({"ignite x=1 z=1 radius=0"}).rfind("e", 0), 0u);
  EXPECT_EQ(run.client({"quit"}), "k\n");
  EXPECT_EQ(wait_exit(run.pid, 60), 0) << read_file(run.home / "output.txt");
  run.pid = -1;
  std::string log = run.log();
  EXPECT_EQ(log.find("GL ERROR:"), std::string::npos) << log;
  EXPECT_EQ(log.find("Error in world"), std::string::npos) << log;
}

} // namespace
