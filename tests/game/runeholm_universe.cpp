// The universe screen and the HUD in the real program, driven through the
// developer socket: "newGame" in slot 1 shows the universe with the
// new-game note; a locked world refuses to be entered and says why, also in
// its context menu; world 0 is entered with clicks and played with the HUD over it and its name as the first
// screen message; the in-game menu's "Save and exit" returns to the main
// menu. Pictures: build/tests/artifacts/universe_*.png.
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

struct UniverseRun : GameRun {
  UniverseRun() : GameRun("rh-universe") {}
};

struct Colour {
  int r, g, b;
};
// Pixels within `tol` of a colour in a rectangle.
int pixels_near(const Image& img, Colour c, int tol, int x0, int y0, int x1, int y1)
{
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = img.at(x, y);
      n += abs(p[0] - c.r) <= tol && abs(p[1] - c.g) <= tol && abs(p[2] - c.b) <= tol;
    }
  return n;
}

TEST(RuneholmUniverse, NewGameUniverseLockedAndOpenWorldsHudAndBack)
{
  UniverseRun run;
  set_headless_env(run.home.path(), run.socket, "600");
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-720", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening") != std::string::npos; }, 120))
      << run.log() << read_file(run.home / "output.txt");
  ASSERT_TRUE(run.wait_state("menu=main")) << run.state() << run.log();

  // Entering needs the universe screen; a new game is a main-menu matter.
  EXPECT_EQ(run.client({"enter world=0"}), "eNo universe screen is shown\n");
  EXPECT_EQ(run.client({"newGame slot=9"}).rfind("eNo slot 9", 0), 0u);

  // New game in slot 1: the universe screen, greeted by the new-game note.
  EXPECT_EQ(run.client({"newGame slot=1"}), "k\n");
  ASSERT_TRUE(run.wait_state("universe=1", 120)) << run.state() << run.log();
  EXPECT_NE(run.state().find("mode=UniverseMode"), std::string::npos) << run.state();
  EXPECT_NE(run.state().find("note=1"), std::string::npos) << run.state();
  EXPECT_TRUE(fs::exists(run.data_dir + "saves/1/uni")) << run.log();
  take_screenshot(run, "universe_note.png");
  run.click("begin");
  ASSERT_TRUE(run.wait_state("note=0")) << run.state();

  // The map: worlds as markers joined by links, world 0 open, the rest locked.
  Image map = load_image(take_screenshot(run, "universe_map.png"));
  ASSERT_EQ(map.w, 1280);
  const int open_blue = pixels_near(map, {0x3C, 0x8C, 0xDC}, 40, 0, 80, 1280, 640);
  const int locked_grey = pixels_near(map, {0x4A, 0x4A, 0x55}, 14, 0, 80, 1280, 640);
  const int link_light = pixels_near(map, {0xB4, 0xAA, 0x96}, 30, 0, 80, 1280, 640);
  EXPECT_GT(open_blue, 80) << "no open world drawn";
  EXPECT_GT(locked_grey, 400) << "no locked worlds drawn";
  EXPECT_GT(link_light, 200) << "no links or names drawn";

  // A locked world says why, by the socket and in its context menu (opened
  // with a right click), whose Enter is disabled.
  std::string locked = run.client({"enter world=5"});
  EXPECT_EQ(locked.rfind("e", 0), 0u) << locked;
  EXPECT_NE(locked.find("is locked"), std::string::npos) << locked;
  EXPECT_NE(run.state().find("entering=-1"), std::string::npos) << "a refused world started entering";
  std::string w5 = run.client({"universeWorld world=5"});
  int x5 = -1, y5 = -1;
  ASSERT_EQ(sscanf(w5.c_str(), "kx=%d y=%d", &x5, &y5), 2) << w5;
  EXPECT_NE(w5.find("look=locked"), std::string::npos) << w5;
  run.press(x5, y5, 2);
  ASSERT_TRUE(run.wait_state("popup=5")) << run.state();
  EXPECT_FALSE(run.element("ctx0").enabled) << "a locked world's Enter is offered";
  take_screenshot(run, "universe_popup.png");
  // Escape closes the popup and nothing else (no in-game menu).
  EXPECT_EQ(run.client({"key name=Escape"}), "k\n");
  ASSERT_TRUE(run.wait_state("popup=-1")) << run.state();
  EXPECT_NE(run.state().find("mode=UniverseMode"), std::string::npos) << run.state();

  // World 0 by a click on it and its context menu's "Enter". The
  // enter-world screen (the world's name and kind) shows before the world is
  // made; the picture is kept to look at, its timing is not checked.
  std::string w0 = run.client({"universeWorld world=0"});
  int x0 = -1, y0 = -1;
  ASSERT_EQ(sscanf(w0.c_str(), "kx=%d y=%d", &x0, &y0), 2) << w0;
  EXPECT_NE(w0.find("look=open"), std::string::npos) << w0;
  run.press(x0, y0, 1);
  ASSERT_TRUE(run.wait_state("popup=0")) << run.state();
  UniverseRun::Element enter = run.element("ctx0");
  EXPECT_TRUE(enter.enabled);
  EXPECT_EQ(enter.text.rfind("Enter", 0), 0u) << enter.text;
  const std::string at_enter = " x=" + std::to_string(enter.x) + " y=" + std::to_string(enter.y);
  std::string entering = run.client({"mouse" + at_enter, "mouse" + at_enter + " button=1 down=1",
                                     "mouse" + at_enter + " button=1 down=0", "screenshot"});
  EXPECT_EQ(entering.rfind("k\nk\nk\nk", 0), 0u) << entering;
  const std::string shot = entering.substr(7, entering.find('\n', 7) - 7);
  EXPECT_TRUE(wait_for([&] { return run.log().find("screenshot captured to '" + shot + "'") != std::string::npos; }, 120));
  std::error_code ec;
  fs::copy_file(shot, fs::read_symlink("/proc/self/exe").parent_path() / "artifacts" / "universe_entering.png",
                fs::copy_options::overwrite_existing, ec);
  ASSERT_TRUE(run.wait_state("mode=PlayGameMode", 180)) << run.state() << run.log();

  // The world's name is the first screen message, over the HUD.
  std::string log = run.log();
  size_t at = log.find("universe: entering world #0 (");
  ASSERT_NE(at, std::string::npos) << log;
  at += strlen("universe: entering world #0 (");
  const std::string name = log.substr(at, log.find(')', at) - at);
  ASSERT_TRUE(run.wait_state("message=" + name, 30)) << run.state();
  ASSERT_TRUE(run.wait_state("hud=1", 30)) << run.state();
  EXPECT_TRUE(fs::exists(run.data_dir + "saves/1/w000")) << run.log();
  Image hud = load_image(take_screenshot(run, "universe_hud.png"));
  ASSERT_EQ(hud.w, 1280);
  // Crosshair: white strokes beside the centre (its middle is left open).
  EXPECT_GT(pixels_near(hud, {0xFF, 0xFF, 0xFF}, 40, 610, 340, 670, 380), 20) << "no crosshair";
  // The bar's gold-rimmed slot frames at the bottom middle, the mini-map's
  // frame at the top right, the message's gold in the upper middle.
  EXPECT_GT(pixels_near(hud, {0x6A, 0x5A, 0x3E}, 24, 280, 620, 1000, 720), 150) << "no spell bar";
  EXPECT_GT(pixels_near(hud, {0x8A, 0x6A, 0x34}, 24, 900, 0, 1280, 300), 150) << "no mini-map frame";
  EXPECT_GT(pixels_near(hud, {0xFF, 0xD2, 0x7A}, 40, 200, 120, 1080, 260), 100) << "no world name";

  // Escape in the world: the in-game menu; "Save and exit" saves and returns.
  EXPECT_EQ(run.client({"key name=Escape"}), "k\n");
  ASSERT_TRUE(run.wait_state("menu=game")) << run.state();
  run.click("exit");
  ASSERT_TRUE(run.wait_state("menu=main", 180)) << run.state() << run.log();
  EXPECT_NE(run.state().find("hud=0"), std::string::npos) << run.state();

  EXPECT_EQ(run.client({"quit"}), "k\n");
  EXPECT_EQ(wait_exit(run.pid, 120), 0) << read_file(run.home / "output.txt");
  run.pid = -1;
  log = run.log();
  EXPECT_EQ(log.find("GL ERROR:"), std::string::npos) << log;
  EXPECT_NE(log.find("HUD: message '" + name + "'"), std::string::npos) << log;
}

} // namespace
