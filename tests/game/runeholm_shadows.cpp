// Object shadows in the real program: the same generated world and camera,
// before its thickest forest with the sun ahead and to the right, at high
// quality with and without `obj_shadows`, and at low quality with and
// without. The land where the trees' shadows fall (away from the sun) must
// be darker with them; the low-quality pictures must not change. The
// pictures are kept in build/tests/artifacts/shadows_*.png.
#include <algorithm>
#include <cstring>
#include <fstream>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

struct Probe {
  int ax, ay, sx, sy; // pixel where a crown's shadow falls, and as far towards the sun
};

struct Shot {
  Image img;
  std::string stats;
  std::vector<Probe> probes;
};

struct ShadowRun {
  const char* name;
  bool high, shadows;
  GameRun run;
  explicit ShadowRun(const char* n, bool hq, bool sh) : name(n), high(hq), shadows(sh), run("rh-shadows") {}
};

void start(ShadowRun& r)
{
  set_headless_env(r.run.home.path(), r.run.socket, "600");
  setenv("RUNEHOLM_GL_DEBUG", "1", 1);
  // A game world of a seed known to be temperate islands, in the developer mode.
  setenv("RUNEHOLM_TEST_KEYS", "F9@6.0,SEED:1:game@6.5", 1);
  fs::create_directories(r.run.data_dir);
  std::ofstream(r.run.data_dir + "settings.cfg") << "obj_shadows=" << (r.shadows ? 1 : 0) << "\n";
  r.run.pid = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver", r.high ? "-gfx-high" : "-gfx-low"},
                    r.run.home / "output.txt");
}

// The forest's place, the camera before it, the sun; then the picture.
Shot shoot(ShadowRun& r)
{
  Shot shot;
  GameRun& run = r.run;
  EXPECT_TRUE(wait_for([&] { return run.log().find("trees in a islands world") != std::string::npos; }, 400))
      << r.name << ": " << run.log();
  EXPECT_TRUE(wait_for([&] { return run.state().rfind("kmode=DevGameMode ", 0) == 0; }, 60)) << r.name;
  std::string forest = run.client({"forest"});
  double x = 0, z = 0, y = 0;
  int near = 0;
  if (sscanf(forest.c_str(), "k%lf %lf %lf %d", &x, &z, &y, &near) != 4) {
    ADD_FAILURE() << r.name << ": " << forest;
    return shot;
  }
  char cam[160];
  snprintf(cam, sizeof cam, "setCamera x=%.2f y=%.2f z=%.2f ha=0 va=-28", x, y + 14, z - 24);
  EXPECT_EQ(run.client({cam, "setSunDir x=0.35 y=0.57 z=0.74"}), "k\nk\n") << r.name;
  // A second of game time: the sun has turned and the frames show the new view.
  double t0 = atof(run.state().c_str() + run.state().find("world_time=") + 11);
  EXPECT_TRUE(wait_for([&] {
    std::string st = run.state();
    return atof(st.c_str() + st.find("world_time=") + 11) > t0 + 20;
  }, 120)) << r.name;
  take_screenshot(run, std::string("shadows_") + r.name + ".png");
  shot.img = load_image(fs::read_symlink("/proc/self/exe").parent_path() / "artifacts" / (std::string("shadows_") + r.name + ".png"));
  shot.stats = run.client({"shadowStats"});
  char probe[120];
  snprintf(probe, sizeof probe, "shadowProbe x=%.2f z=%.2f radius=14", x, z);
  std::string lines = run.client({probe});
  EXPECT_EQ(lines.rfind("k", 0), 0u) << r.name << ": " << lines;
  std::istringstream in(lines.size() > 1 ? lines.substr(1) : "");
  Probe p;
  while (in >> p.ax >> p.ay >> p.sx >> p.sy) shot.probes.push_back(p);
  EXPECT_EQ(run.client({"quit"}), "k\n") << r.name;
  EXPECT_EQ(wait_exit(run.pid, 60), 0) << r.name << read_file(run.home / "output.txt");
  run.pid = -1;
  std::string log = run.log();
  EXPECT_EQ(log.find("GL ERROR:"), std::string::npos) << r.name << log;
  return shot;
}

// Mean brightness (0..255) of a 3 x 3 patch.
double luma(const Image& img, int x, int y)
{
  double sum = 0;
  int n = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      int px = std::clamp(x + dx, 0, img.w - 1), py = std::clamp(y + dy, 0, img.h - 1);
      const uint8_t* c = img.at(px, py);
      sum += 0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2];
      ++n;
    }
  return sum / n;
}

double median(std::vector<double> v)
{
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int field(const std::string& s, const char* key)
{
  size_t at = s.find(key);
  return at == std::string::npos ? -1 : atoi(s.c_str() + at + strlen(key));
}

TEST(RuneholmShadows, TreesShadeTheLandAwayFromTheSunAtHighQualityOnly)
{
  // All four runs start together: generating the world is most of the wait.
  ShadowRun runs[4] = {ShadowRun("high_on", true, true), ShadowRun("high_off", true, false),
                       ShadowRun("low_on", false, true), ShadowRun("low_off", false, false)};
  for (ShadowRun& r : runs) {
    start(r);
    ASSERT_GT(r.run.pid, 0) << r.name;
  }
  for (ShadowRun& r : runs)
    ASSERT_TRUE(wait_for([&] { return r.run.log().find("DevServer: listening on '" + r.run.socket + "'") != std::string::npos; }, 120))
        << r.name << r.run.log() << read_file(r.run.home / "output.txt");
  Shot shots[4];
  for (int i = 0; i < 4; ++i) shots[i] = shoot(runs[i]);
  for (const Shot& s : shots) ASSERT_EQ(s.img.w, 640) << "no picture";

  // The shadow passes drew casters only where they are on, and not every
  // tree of the world into every pass.
  EXPECT_EQ(field(shots[0].stats, "passes="), 5) << shots[0].stats;
  EXPECT_GT(field(shots[0].stats, "casters="), 20) << shots[0].stats;
  EXPECT_GT(field(shots[0].stats, "culled="), field(shots[0].stats, "casters=")) << shots[0].stats;
  for (int i = 1; i < 4; ++i) EXPECT_EQ(field(shots[i].stats, "passes="), 0) << runs[i].name << shots[i].stats;

  // The same world and view in every run.
  const std::vector<Probe>& probes = shots[0].probes;
  ASSERT_GE(probes.size(), 6u) << "too few trees in view";
  ASSERT_EQ(shots[1].probes.size(), probes.size());

  // Where the crowns' shadows fall the land is darker with object shadows;
  // as far towards the sun it changes much less.
  std::vector<double> away, sunward;
  for (const Probe& p : probes) {
    away.push_back(luma(shots[0].img, p.ax, p.ay) / std::max(1.0, luma(shots[1].img, p.ax, p.ay)));
    sunward.push_back(luma(shots[0].img, p.sx, p.sy) / std::max(1.0, luma(shots[1].img, p.sx, p.sy)));
  }
  double a = median(away), s = median(sunward);
  // (A probe may land on another tree's crown in the picture, so the median
  // is short of the shadow's full depth.)
  EXPECT_LT(a, 0.9) << "the land in the trees' shadows is not darker (" << probes.size() << " trees)";
  EXPECT_GT(s - a, 0.1) << "away from the sun " << a << ", towards it " << s;

  // Low quality has no object shadows: the land in the lower part of the two
  // pictures is the same (water and sky move on between the runs' shots).
  long differ = 0, pixels = 0;
  for (int y = shots[2].img.h * 11 / 20; y < shots[2].img.h; ++y)
    for (int x = 0; x < shots[2].img.w; ++x, ++pixels) {
      const uint8_t *on = shots[2].img.at(x, y), *off = shots[3].img.at(x, y);
      differ += std::abs(on[0] - off[0]) + std::abs(on[1] - off[1]) + std::abs(on[2] - off[2]) > 12;
    }
  EXPECT_LT(differ, pixels / 100) << "low-quality pixels changed by obj_shadows";
  // At high quality the shadows change far more of the same part.
  long darker = 0;
  for (int y = shots[0].img.h * 11 / 20; y < shots[0].img.h; ++y)
    for (int x = 0; x < shots[0].img.w; ++x)
      darker += luma(shots[0].img, x, y) < 0.85 * luma(shots[1].img, x, y);
  EXPECT_GT(darker, pixels / 10) << "few pixels darkened by the object shadows";
  printf("shadows: %zu trees probed, away %.2f sunward %.2f; lower part: %ld of %ld darker at high quality, "
         "%ld differ at low\n%s\n",
         probes.size(), a, s, darker, pixels, differ, shots[0].stats.c_str());
}

} // namespace
