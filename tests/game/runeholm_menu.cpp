// The module's menus in the real program: started headless with "-devserver"
// and driven by the real devclient with mouse clicks and keys, as a player
// would. It opens on the main menu over the fly-over, goes to Options and
// back (button and Escape), binds a control in Controls, starts a new game
// (the universe screen), opens the cheat menu, returns with Escape from the
// universe screen, erases the saved game on the saved-games page and
// quits with the Quit button. Pictures are kept in
// build/tests/artifacts/menu_*.png.
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

struct MenuRun : GameRun {
  MenuRun() : GameRun("rh-menu") {}
};

// Pixels of the menu's gold (titles, rims, hovered borders) in a rectangle.
int gold_pixels(const Image& img, int x0, int y0, int x1, int y1)
{
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = img.at(x, y);
      n += p[0] > 180 && p[1] > 130 && p[1] < 230 && p[2] < 140 && p[0] > p[2] + 80;
    }
  return n;
}

TEST(RuneholmMenu, MainMenuOptionsControlsNewGameAndBack)
{
  MenuRun run;
  set_headless_env(run.home.path(), run.socket, "400"); // the Quit button ends the run
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening") != std::string::npos; }, 120))
      << run.log() << read_file(run.home / "output.txt");

  // The main menu over the fly-over; no saved game yet, so nothing to continue.
  ASSERT_TRUE(run.wait_state("menu=main")) << run.state() << run.log();
  EXPECT_NE(run.state().find("mode=MainMenuMode"), std::string::npos) << run.state();
  EXPECT_FALSE(run.element("continue").enabled);
  Image main_img = load_image(take_screenshot(run, "menu_main.png"));
  ASSERT_EQ(main_img.w, 640);
  // The title and the panel's rim are gold, in the middle of the picture.
  EXPECT_GT(gold_pixels(main_img, 160, 0, 480, 360), 300) << "no menu drawn";

  // Options by a click, back by Escape; the hovered slider shows its tooltip.
  run.click("options");
  ASSERT_TRUE(run.wait_state("menu=options")) << run.log();
  MenuRun::Element back = run.element("back");
  EXPECT_EQ(run.client({"mouse x=" + std::to_string(back.x) + " y=" + std::to_string(back.y)}), "k\n");
  EXPECT_TRUE(run.wait_state("tooltip=1", 30)) << "no tooltip over the Back button";
  take_screenshot(run, "menu_options.png");
  EXPECT_EQ(run.client({"key name=Escape"}), "k\n");
  ASSERT_TRUE(run.wait_state("menu=main")) << run.log();

  // Controls: pointing at Forward's key box and pressing K binds it; Back returns.
  run.click("controls");
  ASSERT_TRUE(run.wait_state("menu=controls")) << run.log();
  MenuRun::Element forward = run.element("key0");
  std::string at = " x=" + std::to_string(forward.x) + " y=" + std::to_string(forward.y);
  EXPECT_EQ(run.client({"mouse" + at, "key name=K"}), "k\nk\n");
  EXPECT_TRUE(wait_for([&] { return run.element("key0").text == "K"; }, 30)) << run.element("key0").text;
  take_screenshot(run, "menu_controls.png");
  run.click("back");
  ASSERT_TRUE(run.wait_state("menu=main")) << run.log();

  // New game: a universe in the first slot, saved, and the universe screen.
  run.click("new");
  ASSERT_TRUE(run.wait_state("mode=UniverseMode", 120)) << run.log();
  EXPECT_NE(run.log().find("menu: new game in slot 0"), std::string::npos) << run.log();
  EXPECT_TRUE(fs::exists(run.data_dir + "saves/0/info") || run.log().find("SAVE: saved game to slot 0") != std::string::npos)
      << run.log();

  // Control+F12 opens the cheat menu; Escape resumes.
  EXPECT_EQ(run.client({"key name=Ctrl down=1", "key name=F12", "key name=Ctrl down=0"}), "k\nk\nk\n");
  ASSERT_TRUE(run.wait_state("menu=cheat")) << run.log();
  take_screenshot(run, "menu_cheat.png");
  EXPECT_EQ(run.client({"key name=Escape"}), "k\n");
  ASSERT_TRUE(run.wait_state("mode=UniverseMode")) << run.log();

  // On the universe screen Escape first closes the new-game note, then saves
  // and goes back to the main menu, where the saved game can now be continued.
  // (The in-game menu's "Save and exit" is driven from a world in
  // runeholm_universe.cpp.)
  ASSERT_TRUE(run.wait_state("note=1")) << run.state();
  EXPECT_EQ(run.client({"key name=Escape"}), "k\n");
  ASSERT_TRUE(run.wait_state("note=0")) << run.state();
  EXPECT_NE(run.state().find("mode=UniverseMode"), std::string::npos) << run.state();
  EXPECT_EQ(run.client({"key name=Escape"}), "k\n");
  ASSERT_TRUE(run.wait_state("menu=main", 120)) << run.log();
  EXPECT_NE(run.state().find("mode=MainMenuMode"), std::string::npos) << run.state();
  EXPECT_TRUE(run.element("continue").enabled);

  // The saved-games page lists the game; Erase asks for a second click.
  run.click("load");
  ASSERT_TRUE(run.wait_state("menu=slots")) << run.log();
  EXPECT_TRUE(run.element("load0").enabled);
  EXPECT_FALSE(run.element("load1").enabled);
  take_screenshot(run, "menu_slots.png");
  run.click("erase0");
  EXPECT_TRUE(wait_for([&] { return run.element("erase0").text == "Erase!"; }, 30));
  EXPECT_TRUE(run.element("load0").enabled) << "erased at the first click";
  run.click("erase0");
  EXPECT_TRUE(wait_for([&] { return !run.element("load0").enabled; }, 30)) << run.log();
  EXPECT_EQ(run.client({"key name=Escape"}), "k\n");
  ASSERT_TRUE(run.wait_state("menu=main")) << run.log();
  EXPECT_FALSE(run.element("continue").enabled);

  run.click("quit");
  EXPECT_EQ(wait_exit(run.pid, 120), 0) << read_file(run.home / "output.txt");
  run.pid = -1;
  std::string log = run.log();
  EXPECT_EQ(log.find("GL ERROR:"), std::string::npos) << log;
  // The key chosen in Controls is in the settings for the next start.
  EXPECT_NE(read_file(run.data_dir + "settings.cfg").find("B_forward"), std::string::npos)
      << read_file(run.data_dir + "settings.cfg");
}

} // namespace
