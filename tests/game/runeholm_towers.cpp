// Guard towers in the real program, driven through the developer socket: the
// player of the main menu's world casts a guard tower through the spell bar,
// the tower shoots a caterpillar and a wyvern spawned beside it until they
// die, a house is cast next to it, and the tower falls when harmed. The
// pictures are kept in build/tests/artifacts/towers_*.png.
#include <cmath>
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

int changed_pixels(const Image& a, const Image& b, int x0, int y0, int x1, int y1)
{
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t *p = a.at(x, y), *q = b.at(x, y);
      n += abs(p[0] - q[0]) + abs(p[1] - q[1]) + abs(p[2] - q[2]) > 60;
    }
  return n;
}

// Casts `spell` at the first of a spiral of points round (x, z) where the
// spell's rules allow it; the reply of the last try ("k" when cast).
std::string cast_near(GameRun& run, const char* spell, double x, double z, double* at_x, double* at_z)
{
  std::string r;
  for (int i = 0; i < 40; ++i) {
    double a = i * 2.4, d = 4.0 * i;
    *at_x = x + d * cos(a);
    *at_z = z + d * sin(a);
    char cmd[160];
    snprintf(cmd, sizeof cmd, "cast spell=\"%s\" x:d=%.2f z:d=%.2f", spell, *at_x, *at_z);
    r = run.client({"setPlayer mana:d=100", cmd});
    if (r == "k\nk\n") return "k";
  }
  return r;
}

TEST(RuneholmTowers, ATowerCastThroughTheBarShootsMonstersDead)
{
  GameRun run("rh-towers");
  set_headless_env(run.home.path(), run.socket, "400");
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening") != std::string::npos; }, 120))
      << run.log() << read_file(run.home / "output.txt");
  ASSERT_TRUE(wait_for([&] { return run.state().find("menu=main") != std::string::npos; }, 60)) << run.log();
  ASSERT_EQ(run.client({"key name=F9", "wait 0.5"}), "k\n");
  ASSERT_TRUE(run.wait_state("mode=DevGameMode", 30)) << run.state();
  ASSERT_EQ(run.client({"monsters remove=1"}).rfind("k", 0), 0u);

  // The tower, on the first place near the middle that its rules allow.
  ASSERT_EQ(run.client({"give spell=\"GuardTowerSpell\"", "give spell=\"HouseSpell\""}), "k\nk\n");
  double tx = 0, tz = 0;
  ASSERT_EQ(cast_near(run, "GuardTowerSpell", 128, 128, &tx, &tz), "k");
  std::string towers = run.client({"towers"});
  ASSERT_EQ(towers.rfind("k count=1 shots=0 kills=0 towers=", 0), 0u) << towers;
  double ty = 0;
  ASSERT_EQ(sscanf(towers.c_str() + towers.find("towers=") + 7, "%lf,%lf,%lf", &tx, &ty, &tz), 3) << towers;

  // A caterpillar beside it, then a wyvern over it: both are shot dead.
  char cmd[200];
  snprintf(cmd, sizeof cmd, "spawnMonster kind=caterpillar x:d=%.2f z:d=%.2f", tx + 14, tz + 6);
  ASSERT_EQ(run.client({cmd}).rfind("k serial=", 0), 0u);
  EXPECT_TRUE(wait_for([&] { return field(run.client({"towers"}), "kills=") >= 1; }, 120)) << run.client({"towers"});
  EXPECT_EQ(run.client({"monsters"}).rfind("k wyvern=0 caterpillar=0", 0), 0u) << run.client({"monsters"});
  snprintf(cmd, sizeof cmd, "spawnMonster kind=wyvern x:d=%.2f z:d=%.2f", tx, tz);
  ASSERT_EQ(run.client({cmd}).rfind("k serial=", 0), 0u);
  EXPECT_TRUE(wait_for([&] { return field(run.client({"towers"}), "kills=") >= 2; }, 150)) << run.client({"towers"});
  towers = run.client({"towers"});
  EXPECT_GE(field(towers, "shots="), 5) << towers; // 40 and 60 health, 20 a shot
  EXPECT_EQ(run.client({"monsters"}).rfind("k wyvern=0 caterpillar=0", 0), 0u) << run.client({"monsters"});

  // A house cast beside the tower grows out of the land.
  double hx = 0, hz = 0;
  ASSERT_EQ(cast_near(run, "HouseSpell", tx + 12, tz + 8, &hx, &hz), "k");
  auto ground = [&](double x, double z) {
    char g[120];
    snprintf(g, sizeof g, "ground x:d=%.2f z:d=%.2f", x, z);
    return field(run.client({g}), "height=");
  };
  double before = ground(hx, hz);
  EXPECT_TRUE(wait_for([&] { return ground(hx, hz) > before + 3; }, 60)) << "the house did not rise at " << hx << " " << hz;

  // The tower from nearby and above its foot, over the trees in front.
  snprintf(cmd, sizeof cmd, "setCamera x:d=%.2f y:d=%.2f z:d=%.2f ha:d=0 va:d=-22", tx, ty + 8, tz - 11);
  EXPECT_EQ(run.client({cmd, "wait 1"}), "k\n");
  Image with = load_image(take_screenshot(run, "towers_tower.png"));
  snprintf(cmd, sizeof cmd, "setCamera x:d=%.2f y:d=%.2f z:d=%.2f ha:d=0 va:d=-30", hx, before + 14, hz - 20);
  EXPECT_EQ(run.client({cmd, "wait 1"}), "k\n");
  take_screenshot(run, "towers_house.png");

  // Harmed to nothing, the tower falls: the same view shows it gone.
  snprintf(cmd, sizeof cmd, "towers harm:d=500 x:d=%.2f z:d=%.2f", tx, tz);
  EXPECT_EQ(run.client({cmd}).rfind("k count=0 ", 0), 0u);
  snprintf(cmd, sizeof cmd, "setCamera x:d=%.2f y:d=%.2f z:d=%.2f ha:d=0 va:d=-22", tx, ty + 8, tz - 11);
  EXPECT_EQ(run.client({cmd, "wait 3"}), "k\n");
  Image without = load_image(take_screenshot(run, "towers_fallen.png"));
  ASSERT_GT(with.w, 0);
  ASSERT_EQ(with.w, without.w);
  // The tower stands in the middle of the picture.
  EXPECT_GT(changed_pixels(with, without, with.w / 3, with.h / 5, with.w * 2 / 3, with.h * 4 / 5), 1500);

  run.client({"quit"});
  EXPECT_EQ(wait_exit(run.pid, 60), 0) << run.log();
  run.pid = -1;
  std::string log = run.log();
  EXPECT_EQ(log.find("GL ERROR"), std::string::npos) << log;
  EXPECT_NE(log.find("towers: a guard tower rises"), std::string::npos);
}

} // namespace
