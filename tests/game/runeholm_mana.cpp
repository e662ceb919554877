// Mana orbs and pickups in the real program, headless through the developer
// socket: the main menu's world carries orbs (for the look); a spell and a
// resource pickup are laid next to one, and the free camera looks at them.
// The picture is kept as build/tests/artifacts/mana_orbs_pillars.png.
#include <cmath>
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

// Bright glow pixels (orbs' blue-white, pillars' violet and gold) in the picture.
int glow_pixels(const Image& img)
{
  int n = 0;
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      const uint8_t* p = img.at(x, y);
      n += p[0] + p[1] + p[2] > 600;
    }
  return n;
}

TEST(RuneholmMana, OrbsAndPillarsGlowInTheWorld)
{
  GameRun run("rh-mana");
  set_headless_env(run.home.path(), run.socket, "300");
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening") != std::string::npos; }, 120))
      << run.log() << read_file(run.home / "output.txt");

  // The main menu's world has 5 to 8 orbs, none owned, and no portal.
  std::string orbs;
  ASSERT_TRUE(wait_for([&] { return (orbs = run.client({"orbs"})).rfind("kcount=", 0) == 0 && orbs.find("count=0") == std::string::npos; }, 60)) << orbs;
  int count = 0, id = 0, amount = 0, owned = 0;
  float x = 0, y = 0, z = 0;
  ASSERT_EQ(sscanf(orbs.c_str(), "kcount=%d orbs=%d,%f,%f,%f,%d,%d", &count, &id, &x, &y, &z, &amount, &owned), 7) << orbs;
  EXPECT_GE(count, 5);
  EXPECT_LE(count, 8);
  EXPECT_EQ(owned, 0);
  EXPECT_EQ(run.client({"portal"}).rfind("kopen=0 pos=none owned=0", 0), 0u);

  // Pickups beside the orb; then the free camera 50 back and 30 up, looking along +z at it.
  char spell[128], res[128], cam[160];
  snprintf(spell, sizeof spell, "spawnPickup what=VolcanoSpell x=%.1f z=%.1f", x - 10, z + 6);
  snprintf(res, sizeof res, "spawnPickup what=star x=%.1f z=%.1f", x + 10, z + 6);
  float pitch = -std::atan2(30.0f, 50.0f) * 180.0f / 3.14159265f;
  snprintf(cam, sizeof cam, "setCamera x=%.1f y=%.1f z=%.1f ha=0 va=%.1f", x, y + 30, z - 50, pitch);
  std::string replies = run.client({"key name=F9", "wait 0.5", spell, res, cam, "wait 1.5"});
  EXPECT_EQ(replies.find('e'), std::string::npos) << replies;
  std::string pickups = run.client({"pickups"});
  EXPECT_NE(pickups.find("VolcanoSpell"), std::string::npos) << pickups;
  EXPECT_NE(pickups.find(",star,"), std::string::npos) << pickups;

  Image img = load_image(take_screenshot(run, "mana_orbs_pillars.png"));
  ASSERT_GT(img.w, 0);
  EXPECT_GT(glow_pixels(img), 200);

  EXPECT_EQ(run.client({"quit"}), "k\n");
  EXPECT_EQ(wait_exit(run.pid, 120), 0);
  run.pid = -1;
}

} // namespace
