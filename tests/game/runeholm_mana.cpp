// Mana orbs and pickups in the real program, headless through the developer
// socket: the main menu's world carries orbs (for the look); a spell and a
// resource pickup are laid next to one, and the free camera looks at them;
// then every orb is claimed and the camera looks at the opened portal. The
// pictures are kept as build/tests/artifacts/mana_orbs_pillars.png and
// mana_portal_open.png.
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

  // Every orb claimed from the camera (the main menu's world's player stays put):
  // they turn gold and the portal opens where the last one was claimed.
  std::string list = orbs.substr(orbs.find("orbs=") + 5);
  for (size_t at = 0; at < list.size();) {
    size_t end = list.find_first_of(";\n", at);
    float ox = 0, oy = 0, oz = 0;
    int oid = 0;
    ASSERT_EQ(sscanf(list.c_str() + at, "%d,%f,%f,%f", &oid, &ox, &oy, &oz), 4) << list;
    char place[160], claim[128];
    snprintf(place, sizeof place, "setCamera x=%.1f y=%.1f z=%.1f ha=0 va=-30", ox, oy + 20, oz - 30);
    snprintf(claim, sizeof claim, "claimMana x=%.1f z=%.1f fromCamera=1", ox, oz);
    EXPECT_EQ(run.client({place, claim}), "k\nk\n") << claim;
    // The missile flies about a second of game time (slower than real time on a loaded machine).
    EXPECT_TRUE(wait_for([&] {
      std::string now = run.client({"orbs"});
      size_t p = now.find("=" + std::to_string(oid) + ",");
      if (p == std::string::npos) p = now.find(";" + std::to_string(oid) + ",");
      size_t e = p == std::string::npos ? p : now.find_first_of(";\n", p + 1);
      return e != std::string::npos && now.compare(e - 2, 2, ",1") == 0;
    }, 60)) << claim;
    if (end == std::string::npos || list[end] == '\n') break;
    at = end + 1;
  }
  std::string portal = run.client({"portal"});
  float px = 0, py = 0, pz = 0;
  int owned_mana = 0, total = 0;
  ASSERT_EQ(sscanf(portal.c_str(), "kopen=1 pos=%f,%f,%f owned=%d total=%d", &px, &py, &pz, &owned_mana, &total), 5)
      << portal;
  EXPECT_EQ(owned_mana, total);
  snprintf(cam, sizeof cam, "setCamera x=%.1f y=%.1f z=%.1f ha=0 va=-25", px, py + 22, pz - 45);
  EXPECT_EQ(run.client({cam, "wait 1.5"}), "k\n");
  Image portal_img = load_image(take_screenshot(run, "mana_portal_open.png"));
  EXPECT_GT(glow_pixels(portal_img), 200);

  EXPECT_EQ(run.client({"quit"}), "k\n");
  EXPECT_EQ(wait_exit(run.pid, 120), 0);
  run.pid = -1;
}

} // namespace
