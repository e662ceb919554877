// Creatures in the real program: started headless with "-devserver", in the
// developer mode over the main menu's world, a wyvern and a caterpillar are
// spawned through the developer socket and photographed from close by, then
// a flock of birds and a wyvern close up.
// The pictures are kept as build/tests/artifacts/creatures_*.png.
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

struct Spawned {
  int serial = 0;
  float x = 0, y = 0, z = 0;
};

Spawned spawn_creature(GameRun& run, const char* kind, float x, float z)
{
  char line[128];
  snprintf(line, sizeof line, "spawnMonster kind=%s x:d=%g z:d=%g", kind, x, z);
  std::string r = run.client({line});
  Spawned s;
  EXPECT_EQ(sscanf(r.c_str(), "k serial=%d x=%f y=%f z=%f", &s.serial, &s.x, &s.y, &s.z), 4) << r;
  return s;
}

// Pixels that differ clearly between two pictures of the same size.
int changed_pixels(const Image& a, const Image& b)
{
  int n = 0;
  for (int y = 0; y < a.h; ++y)
    for (int x = 0; x < a.w; ++x) {
      const uint8_t *p = a.at(x, y), *q = b.at(x, y);
      n += abs(p[0] - q[0]) + abs(p[1] - q[1]) + abs(p[2] - q[2]) > 60;
    }
  return n;
}

TEST(RuneholmCreatures, AWyvernAndACaterpillarInTheWorld)
{
  GameRun run("rh-creatures");
  set_headless_env(run.home.path(), run.socket, "300");
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-720", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening") != std::string::npos; }, 120))
      << run.log() << read_file(run.home / "output.txt");
  ASSERT_EQ(run.client({"key name=F9"}), "k\n");
  ASSERT_TRUE(wait_for([&] { return run.client({"getState"}).find("mode=DevGameMode") != std::string::npos; }, 60))
      << run.client({"getState"});

  // The caterpillar first, then the wyvern circling above it; the camera
  // looks down at both from above the wyvern's height, so its wings show.
  Spawned crawler = spawn_creature(run, "caterpillar", 128, 128);
  Spawned wyvern = spawn_creature(run, "wyvern", crawler.x, crawler.z);
  float mx = (crawler.x + wyvern.x) / 2, mz = (crawler.z + wyvern.z) / 2;
  char cam[160];
  snprintf(cam, sizeof cam, "setCamera x:d=%g y:d=%g z:d=%g ha:d=0 va:d=-30", mx, crawler.y + 35, mz - 40);
  EXPECT_EQ(run.client({"speed factor:d=0.25", cam}), "k\nk\n");
  EXPECT_EQ(run.client({"monsters"}).rfind("k wyvern=1 caterpillar=1", 0), 0u) << run.client({"monsters"});
  Image with = load_image(take_screenshot(run, "creatures_wyvern_caterpillar.png"));

  // The same view without them: the creatures made a visible difference.
  EXPECT_EQ(run.client({"monsters remove=1"}).rfind("k wyvern=0 caterpillar=0", 0), 0u);
  Image without = load_image(take_screenshot(run, "creatures_removed.png"));
  ASSERT_GT(with.w, 0);
  ASSERT_EQ(with.w, without.w);
  EXPECT_GT(changed_pixels(with, without), 800);

  // A flock of birds seen from just behind and above its leader.
  Spawned leader = spawn_creature(run, "bird", crawler.x, crawler.z);
  snprintf(cam, sizeof cam, "setCamera x:d=%g y:d=%g z:d=%g ha:d=0 va:d=-20", leader.x, leader.y + 3, leader.z - 9);
  EXPECT_EQ(run.client({cam}), "k\n");
  EXPECT_EQ(run.client({"monsters"}).find(" bird=0 "), std::string::npos);
  Image birds = load_image(take_screenshot(run, "creatures_birds.png"));
  EXPECT_EQ(birds.w, with.w);

  // A wyvern close by, seen from above and behind: head, winged body, tail.
  Spawned close = spawn_creature(run, "wyvern", crawler.x + 40, crawler.z);
  snprintf(cam, sizeof cam, "setCamera x:d=%g y:d=%g z:d=%g ha:d=0 va:d=-30", close.x, close.y + 7, close.z - 12);
  EXPECT_EQ(run.client({cam}), "k\n");
  Image near = load_image(take_screenshot(run, "creatures_wyvern_close.png"));
  EXPECT_EQ(near.w, with.w);

  run.client({"quit"});
  EXPECT_EQ(wait_exit(run.pid, 60), 0) << run.log();
  run.pid = -1;
  EXPECT_EQ(run.log().find("GL ERROR"), std::string::npos) << run.log();
}

} // namespace
