// Resources and crafting in the real program, headless through the
// developer socket: a new game, the first world entered, three fireblooms
// laid under the player and picked up, Meteor chosen with its number key (the
// crafting panel shows its Fallen star missing and the Craft button), the
// star crafted with the F key, and Meteor cast with it. The panel's picture is
// kept as build/tests/artifacts/crafting_panel.png.
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

std::map<std::string, std::string> pairs(const std::string& reply)
{
  std::map<std::string, std::string> kv;
  std::istringstream in(reply.substr(reply.rfind('k', 0) == 0 ? 1 : 0));
  std::string word;
  while (in >> word) {
    size_t eq = word.find('=');
    if (eq != std::string::npos) kv[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return kv;
}

// Pixels of the panel's red "short" figures (0xFF6A5A) in a box of the picture.
int red_pixels(const Image& img, int x0, int y0, int x1, int y1)
{
  int n = 0;
  for (int y = std::max(0, y0); y < std::min(img.h, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(img.w, x1); ++x) {
      const uint8_t* p = img.at(x, y);
      n += p[0] > 200 && p[1] < 140 && p[2] < 130 && p[0] - p[1] > 90;
    }
  return n;
}

TEST(RuneholmCrafting, PickUpCraftAndCastMeteorWithTheStar)
{
  GameRun run("rh-crafting");
  set_headless_env(run.home.path(), run.socket, "600");
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-720", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening") != std::string::npos; }, 120))
      << run.log() << read_file(run.home / "output.txt");
  ASSERT_TRUE(run.wait_state("menu=main", 120)) << run.state() << run.log();
  EXPECT_EQ(run.client({"newGame slot=1"}).substr(0, 1), "k") << run.log();
  ASSERT_TRUE(run.wait_state("mode=UniverseMode", 120)) << run.state() << run.log();
  EXPECT_EQ(run.client({"enter world=0"}).substr(0, 1), "k") << run.log();
  ASSERT_TRUE(run.wait_state("mode=PlayGameMode", 300)) << run.state() << run.log();
  EXPECT_EQ(run.client({"resources"}), "k shard=0 vortex=0 firebloom=0 star=0 seed=0\n");

  // The player comes down to 3 over the land (the free camera there, then
  // back to play: the player takes the camera's place).
  std::istringstream pos(pairs(run.client({"player"}))["pos"]);
  double px = 0, pz = 0;
  char comma = 0;
  double py = 0;
  ASSERT_TRUE(pos >> px >> comma >> py >> comma >> pz) << run.client({"player"});
  double land = atof(pairs(run.client({"ground x=" + std::to_string(px) + " z=" + std::to_string(pz)}))["height"].c_str());
  EXPECT_EQ(run.client({"key name=F9"}), "k\n");
  ASSERT_TRUE(run.wait_state("mode=DevGameMode", 60)) << run.state();
  char cam[160];
  snprintf(cam, sizeof cam, "setCamera x=%.2f y=%.2f z=%.2f ha=0 va=-20", px, land + 3, pz);
  EXPECT_EQ(run.client({cam, "key name=F9"}), "k\nk\n");
  ASSERT_TRUE(run.wait_state("mode=PlayGameMode", 60)) << run.state();

  // Three fireblooms laid where the player is: each is picked up at once.
  for (int i = 0; i < 3; ++i) {
    char spawn_line[128];
    snprintf(spawn_line, sizeof spawn_line, "spawnPickup what=firebloom x=%.2f z=%.2f", px, pz);
    EXPECT_EQ(run.client({spawn_line}).substr(0, 1), "k");
    EXPECT_TRUE(wait_for([&] { return pairs(run.client({"resources"}))["firebloom"] == std::to_string(i + 1); }, 60))
        << run.client({"resources"}) << run.client({"player"}) << run.client({"pickups"});
  }

  // Meteor in the bar's fifth slot, chosen with its key: the panel shows it.
  EXPECT_EQ(run.client({"give spell=MeteorSpell", "key name:s=5", "wait 0.5"}), "k\nk\n");
  EXPECT_EQ(run.client({"crafting"}), "k visible=1 spell=MeteorSpell costs=star:1/0\n");
  EXPECT_EQ(run.client({"setPlayer mana=100", "cast spell=MeteorSpell x=" + std::to_string(px + 30) +
                                                  " z=" + std::to_string(pz)}),
            "k\neNeeds 1 Fallen star\n");
  std::string shot = take_screenshot(run, "crafting_panel.png");
  Image img = load_image(shot);
  ASSERT_GT(img.w, 0);
  // The panel sits above the bar's right end; its "1 / 0" is red.
  EXPECT_GT(red_pixels(img, img.w / 2, img.h / 2, img.w, img.h), 20);

  // F crafts the star from the fireblooms; then Meteor is cast with it.
  EXPECT_EQ(run.client({"key name=F", "wait 0.5"}), "k\n");
  EXPECT_EQ(run.client({"resources"}), "k shard=0 vortex=0 firebloom=0 star=1 seed=0\n");
  EXPECT_NE(run.log().find("crafting: 3 Fireblooms made 1 Fallen star"), std::string::npos);
  EXPECT_EQ(run.client({"crafting"}), "k visible=1 spell=MeteorSpell costs=star:1/1\n");
  take_screenshot(run, "crafting_panel_ready.png");
  EXPECT_EQ(run.client({"setPlayer mana=100", "cast spell=MeteorSpell x=" + std::to_string(px + 30) +
                                                  " z=" + std::to_string(pz)}),
            "k\nk\n");
  EXPECT_EQ(run.client({"resources"}), "k shard=0 vortex=0 firebloom=0 star=0 seed=0\n");

  // Fireball chosen, the mouse over Meteor's slot (the fifth of eight at
  // 1280 x 720): the panel follows the hovered spell; its tooltip names the cost.
  EXPECT_EQ(run.client({"key name:s=1", "wait 0.3", "mouse x=672 y=670", "wait 0.5"}), "k\nk\n");
  EXPECT_EQ(run.client({"crafting"}), "k visible=1 spell=MeteorSpell costs=star:1/0\n");
  take_screenshot(run, "crafting_panel_hover.png");
  EXPECT_EQ(run.client({"mouse x=640 y=360", "wait 0.5"}), "k\n");
  EXPECT_EQ(run.client({"crafting"}), "k visible=0 spell=none costs=\n");

  EXPECT_EQ(run.client({"quit"}), "k\n");
  EXPECT_EQ(wait_exit(run.pid, 120), 0);
  run.pid = -1;
  EXPECT_EQ(run.log().find("GL ERROR"), std::string::npos) << run.log();
}

} // namespace
