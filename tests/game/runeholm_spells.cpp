// The spells in the real program: started headless with "-devserver", the
// world the program opens on gets a Hill cast into it through the socket
// ("give", then "cast" exactly as a click at that ground point), and the land
// there rises within seconds ("ground" before and after). The developer
// mode's camera looks at the spot before and after; the pictures are kept as
// build/tests/artifacts/spells_before.png and spells_hill.png.
#include <cstdio>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

struct SpellsRun : GameRun {
  SpellsRun() : GameRun("rh-spells") {}
  std::string state() { return client({"getState"}); }
  float ground_height(float x, float z)
  {
    std::string r = client({"ground x:d=" + std::to_string(x) + " z:d=" + std::to_string(z)});
    float h = NAN;
    EXPECT_EQ(sscanf(r.c_str(), "kheight=%f", &h), 1) << r;
    return h;
  }
};

int differing_pixels(const Image& a, const Image& b, int x0, int y0, int x1, int y1)
{
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t *p = a.at(x, y), *q = b.at(x, y);
      n += abs(p[0] - q[0]) + abs(p[1] - q[1]) + abs(p[2] - q[2]) > 40;
    }
  return n;
}

TEST(RuneholmSpells, AHillCastThroughTheSocketRaisesTheLand)
{
  SpellsRun run;
  set_headless_env(run.home.path(), run.socket, "400");
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening") != std::string::npos; }, 120))
      << run.log() << read_file(run.home / "output.txt");
  ASSERT_TRUE(wait_for([&] { return run.state().find("menu=main") != std::string::npos; }, 60)) << run.log();

  // The world the program opens on has a player; it owns no hill yet.
  std::string player = run.client({"player"});
  ASSERT_EQ(player.rfind("khealth=100", 0), 0u) << player;
  EXPECT_EQ(run.client({"cast spell=\"HillSpell\" x:d=100 z:d=100"}), "eYou do not have that spell\n");
  EXPECT_EQ(run.client({"cast spell=\"Dragon\" x:d=100 z:d=100"}), "e'Dragon' is not a spell\n");

  // The developer mode's camera, still, looking down at the spot.
  const float x = 128, z = 128;
  float before = run.ground_height(x, z), far_before = run.ground_height(x + 30, z);
  ASSERT_TRUE(std::isfinite(before));
  std::string cam = "setCamera x:d=" + std::to_string(x) + " y:d=" + std::to_string(before + 30) +
                    " z:d=" + std::to_string(z - 40) + " ha:d=0 va:d=-35";
  EXPECT_EQ(run.client({"key name=F9", "wait 0.5", cam, "wait 1"}), "k\nk\n");
  ASSERT_TRUE(wait_for([&] { return run.state().find("mode=DevGameMode") != std::string::npos; }, 30))
      << run.state();
  Image shot_before = load_image(take_screenshot(run, "spells_before.png"));

  EXPECT_EQ(run.client({"give spell=\"HillSpell\"", "cast spell=\"HillSpell\" x:d=128 z:d=128"}), "k\nk\n");
  // Cooling down now: a second cast at once is refused with the reason.
  EXPECT_EQ(run.client({"cast spell=\"HillSpell\" x:d=128 z:d=128"}), "eNot ready yet\n");
  EXPECT_NE(run.client({"player"}).find("spells=HillSpell"), std::string::npos);
  // The land follows its target at the host's pace in game time; a busy
  // machine runs fewer steps a second, so the wait is generous.
  ASSERT_TRUE(wait_for([&] { return run.ground_height(x, z) > before + 3; }, 120))
      << "height " << run.ground_height(x, z) << " was " << before;
  EXPECT_NEAR(run.ground_height(x + 30, z), far_before, 0.5); // far off the hill: as it was
  EXPECT_EQ(run.client({cam, "wait 1"}), "k\n");
  Image shot_after = load_image(take_screenshot(run, "spells_hill.png"));
  ASSERT_EQ(shot_before.w, shot_after.w);
  // The hill changes the middle of the picture.
  EXPECT_GT(differing_pixels(shot_before, shot_after, 160, 90, 480, 330), 2000);

  // The other land and water spells of the bar, each with its missile, its
  // effects and its change: lava in the volcano's crater, water at the spring.
  struct Cast {
    const char* spell;
    float x, z;
  };
  const Cast casts[] = {{"PitSpell", 145, 112}, {"FaultSpell", 100, 150}, {"VolcanoSpell", 158, 160},
                        {"WaterSourceSpell", 112, 168}, {"WaterSinkSpell", 90, 120}, {"WaterballSpell", 140, 140}};
  for (const Cast& c : casts) {
    std::string at = " x:d=" + std::to_string(c.x) + " z:d=" + std::to_string(c.z);
    EXPECT_EQ(run.client({"give spell=\"" + std::string(c.spell) + "\"", "setPlayer mana:d=100",
                          "cast spell=\"" + std::string(c.spell) + "\"" + at}),
              "k\nk\nk\n")
        << c.spell;
  }
  auto fluid = [&](float fx, float fz, const char* key) {
    std::string r = run.client({"ground x:d=" + std::to_string(fx) + " z:d=" + std::to_string(fz)});
    size_t at = r.find(std::string(key) + "=");
    return at == std::string::npos ? 0.0f : strtof(r.c_str() + at + strlen(key) + 1, nullptr);
  };
  EXPECT_TRUE(wait_for([&] { return fluid(158, 160, "lava") > 0.05f; }, 90)) << "no lava in the volcano";
  EXPECT_TRUE(wait_for([&] { return fluid(112, 168, "water") > 0.05f; }, 90)) << "no water at the spring";
  EXPECT_EQ(run.client({cam, "wait 1"}), "k\n");
  take_screenshot(run, "spells_all.png");

  EXPECT_EQ(run.client({"quit"}), "k\n");
  EXPECT_EQ(wait_exit(run.pid, 120), 0) << read_file(run.home / "output.txt");
  run.pid = -1;
  std::string log = run.log();
  EXPECT_EQ(log.find("GL ERROR:"), std::string::npos) << log;
  EXPECT_NE(log.find("spells: HillSpell cast at"), std::string::npos) << log;
  EXPECT_EQ(log.find("Error in fx script"), std::string::npos) << log;
  EXPECT_EQ(log.find("Error in sound script"), std::string::npos) << log;
}

} // namespace
