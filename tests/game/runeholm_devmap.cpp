// The developer map and the lake tentacle in the real program, driven through
// the developer socket over a main-menu world of a fixed seed (it has a
// lake): the map hidden, shown with its icons where the socket says they
// are, hidden again by the "Show map" control; a tentacle rising at the
// player flying low over the lake, then lashing at it within reach.
// The pictures are kept as build/tests/artifacts/devmap_*.png.
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

// The number after `key` in a reply (-1e9 when missing).
double field(const std::string& s, const char* key)
{
  size_t at = s.find(key);
  return at == std::string::npos ? -1e9 : atof(s.c_str() + at + strlen(key));
}

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

// Whether a pixel within `r` of (x, y) has the colour `pred` wants.
template <class F>
bool colour_near(const Image& img, int x, int y, int r, F pred)
{
  for (int j = y - r; j <= y + r; ++j)
    for (int i = x - r; i <= x + r; ++i)
      if (i >= 0 && j >= 0 && i < img.w && j < img.h && pred(img.at(i, j))) return true;
  return false;
}

// The camera placed (in the developer mode), then F9 until the mode is
// `mode`; entering the play mode puts the player where the camera is.
void to_mode(GameRun& run, const char* camera, const char* mode)
{
  if (*camera) {
    EXPECT_EQ(run.client({camera}), "k\n");
  }
  EXPECT_EQ(run.client({"key name=F9"}), "k\n");
  ASSERT_TRUE(run.wait_state(std::string("mode=") + mode, 60)) << run.state();
}

TEST(RuneholmDevMap, TheMapShowsTheWorldsObjectsAndATentacleRisesFromTheLake)
{
  GameRun run("rh-devmap");
  set_headless_env(run.home.path(), run.socket, "600");
  setenv("RUNEHOLM_GL_DEBUG", "1", 1);
  setenv("RUNEHOLM_TEST_KEYS", "F9@0.05,SEED:20261207@0.1", 1);
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-720", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening") != std::string::npos; }, 120))
      << run.log() << read_file(run.home / "output.txt");
  ASSERT_TRUE(wait_for([&] { return run.log().find("new world from seed 20261207") != std::string::npos; }, 120));
  ASSERT_TRUE(wait_for([&] { return field(run.state(), "world_time=") > 40; }, 120)) << run.state();

  // The lake's deepest water, and creatures round it.
  std::string deep = run.client({"tentacles"});
  float lx = 0, lz = 0, depth = 0;
  ASSERT_EQ(sscanf(deep.c_str() + deep.find("deep="), "deep=%f,%f,%f", &lx, &lz, &depth), 3) << deep;
  ASSERT_GT(depth, 2.0f) << "the seed's world has no lake deep enough: " << deep;
  char line[160];
  snprintf(line, sizeof line, "spawnMonster kind=tentacle x:d=%g z:d=%g", lx, lz);
  std::string t = run.client({line});
  ASSERT_EQ(t.rfind("k serial=", 0), 0u) << t;
  const int tentacle = atoi(t.c_str() + 9);
  const float surface = (float)field(t, " y=");
  // A wyvern far enough from the lake not to come for the player there.
  snprintf(line, sizeof line, "spawnMonster kind=wyvern x:d=%g z:d=%g", lx + 100, lz);
  EXPECT_EQ(run.client({line}).rfind("k serial=", 0), 0u);
  snprintf(line, sizeof line, "setCamera x:d=%g y:d=%g z:d=%g ha:d=45 va:d=-30", lx + 20, surface + 40, lz - 30);
  EXPECT_EQ(run.client({line}), "k\n");

  // Hidden at first; shown, the tentacle's icon is where the socket puts it.
  EXPECT_EQ(run.client({"devMap"}).rfind("k shown=0", 0), 0u);
  Image hidden = load_image(take_screenshot(run, "devmap_hidden.png"));
  std::string shown = run.client({"devMap show=1"});
  ASSERT_EQ(shown.rfind("k shown=1", 0), 0u) << shown;
  Image map = load_image(take_screenshot(run, "devmap_shown.png"));
  ASSERT_GT(map.w, 0);
  ASSERT_EQ(map.w, hidden.w);
  EXPECT_GT(changed_pixels(map, hidden), map.w * map.h / 5);
  char key[32];
  snprintf(key, sizeof key, "tentacle,%d,", tentacle);
  ASSERT_NE(shown.find(key), std::string::npos) << shown;
  float u = 0, v = 0;
  ASSERT_EQ(sscanf(shown.c_str() + shown.find(key) + strlen(key), "%f,%f", &u, &v), 2);
  EXPECT_NEAR(u, 0.5f - 20 / 256.0f, 0.01f); // 20 west, 30 north of the camera
  EXPECT_NEAR(v, 0.5f - 30 / 256.0f, 0.01f);
  // The map's square: 78 % of the height, centred across (dev_map_layout.h).
  const float size = map.h * 0.78f, x0 = (map.w - size) * 0.5f, y0 = (map.h - size) * 0.42f;
  const int ix = int(x0 + u * size), iy = int(y0 + v * size);
  EXPECT_TRUE(colour_near(map, ix, iy, 6, [](const uint8_t* p) { return p[2] > 170 && p[1] > 150 && p[0] < 150; }))
      << "no cyan tentacle icon at " << ix << "," << iy;
  // An orb's icon (blue) where the socket puts it.
  size_t orb = shown.find("orb,");
  ASSERT_NE(orb, std::string::npos) << shown;
  int orb_serial = 0;
  ASSERT_EQ(sscanf(shown.c_str() + orb, "orb,%d,%f,%f", &orb_serial, &u, &v), 3);
  EXPECT_TRUE(colour_near(map, int(x0 + u * size), int(y0 + v * size), 6,
                          [](const uint8_t* p) { return p[2] > 200 && p[1] > 140 && p[0] < 170; }))
      << "no blue orb icon at " << u << "," << v;

  // The "Show map" control hides it again (held over a few frames).
  EXPECT_EQ(run.client({"key name=B_map down=1", "wait 2", "key name=B_map down=0"}), "k\nk\n");
  EXPECT_TRUE(wait_for([&] { return run.client({"devMap"}).rfind("k shown=0", 0) == 0; }, 30));

  // The player flies low over the lake, out of reach: the tentacle rises.
  snprintf(line, sizeof line, "setCamera x:d=%g y:d=%g z:d=%g ha:d=90 va:d=-5", lx + 13, surface + 4.5f, lz);
  to_mode(run, line, "PlayGameMode");
  auto rise = [&] {
    std::string r = run.client({"tentacles"});
    size_t at = r.find(" t=");
    float rise = -1;
    int serial = 0, state = 0;
    if (at != std::string::npos) sscanf(r.c_str() + at, " t=%d,%d,%f", &serial, &state, &rise);
    return rise;
  };
  ASSERT_TRUE(wait_for([&] { return rise() >= 1.0f; }, 120)) << run.client({"tentacles", "player"});
  Image risen = load_image(take_screenshot(run, "devmap_tentacle.png"));
  EXPECT_NE(run.client({"player"}).find("health=100 "), std::string::npos); // out of reach

  // Within reach it lashes.
  snprintf(line, sizeof line, "setCamera x:d=%g y:d=%g z:d=%g ha:d=90 va:d=-5", lx + 5, surface + 3, lz);
  to_mode(run, "", "DevGameMode");
  to_mode(run, line, "PlayGameMode");
  EXPECT_TRUE(wait_for([&] { return field(run.client({"player"}), "health=") < 100; }, 120)) << run.client({"player"});

  // Removed, the lake is empty again in the same view.
  snprintf(line, sizeof line, "setCamera x:d=%g y:d=%g z:d=%g ha:d=90 va:d=-5", lx + 13, surface + 4.5f, lz);
  to_mode(run, "", "DevGameMode");
  to_mode(run, line, "PlayGameMode");
  EXPECT_EQ(run.client({"monsters remove=1"}).rfind("k wyvern=0", 0), 0u);
  Image gone = load_image(take_screenshot(run, "devmap_lake_empty.png"));
  ASSERT_EQ(gone.w, risen.w);
  EXPECT_GT(changed_pixels(risen, gone), 800);

  run.client({"quit"});
  EXPECT_EQ(wait_exit(run.pid, 60), 0) << run.log();
  run.pid = -1;
  EXPECT_EQ(run.log().find("GL ERROR"), std::string::npos) << run.log();
}

} // namespace
