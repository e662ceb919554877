// The screens' rules (which worlds open, where the map and its worlds sit,
// the HUD's sums) and the screens part of the real module: screen messages
// as the developer socket reports them, and the universe screen's behaviour
// leaving the GUI runtime with the module.
#include <gtest/gtest.h>
#include <math.h>

#include <string>
#include <vector>

#include "../../gameobj/src/ui_layout.h"
#include "devtools/dev_server.h"
#include "gui/gui.h"
#include "world/hmGen.h" // real_module.h calls circle_brush
#include "real_module.h"

namespace {

TEST(UniverseRules, WorldZeroOpensTheGameAndVisitedOrUnlockedWorldsStayOpen)
{
  using ui::WorldLook;
  EXPECT_EQ(ui::world_look(0, false, false), WorldLook::reachable);
  EXPECT_EQ(ui::world_look(3, false, false), WorldLook::locked);
  EXPECT_EQ(ui::world_look(3, false, true), WorldLook::reachable);
  EXPECT_EQ(ui::world_look(3, true, false), WorldLook::visited);
  EXPECT_EQ(ui::world_look(0, true, false), WorldLook::visited);
  EXPECT_FALSE(ui::world_reachable(7, false, false));

  // Won only with worlds, all of them done: an empty universe is not a win.
  EXPECT_FALSE(ui::every_world_done({}));
  EXPECT_FALSE(ui::every_world_done({true, false, true}));
  EXPECT_TRUE(ui::every_world_done({true, true}));
}

struct P {
  float x, y;
};

TEST(UniverseRules, TheMapKeepsItsProportionsAndAClickFindsTheNearestWorld)
{
  // A wide area: the map is as tall as the area, 5:3, centred across.
  ui::Box m = ui::fit_map(ui::Box{0, 100, 1600, 700});
  EXPECT_FLOAT_EQ(m.h(), 600);
  EXPECT_FLOAT_EQ(m.w(), 1000);
  EXPECT_FLOAT_EQ(m.x0, 300);
  // A tall one: as wide as the area.
  ui::Box t = ui::fit_map(ui::Box{0, 0, 500, 1000});
  EXPECT_FLOAT_EQ(t.w(), 500);
  EXPECT_FLOAT_EQ(t.h(), 300);
  EXPECT_FLOAT_EQ(t.y0, 350);
  // A degenerate area gives an empty map, not NaN.
  ui::Box z = ui::fit_map(ui::Box{10, 10, 10, 10});
  EXPECT_EQ(z.w(), 0);
  EXPECT_FALSE(isnan(z.x0));

  float sx, sy;
  ui::map_to_screen(m, 1000, 600, sx, sy);
  EXPECT_FLOAT_EQ(sx, 1300);
  EXPECT_FLOAT_EQ(sy, 700);

  std::vector<P> worlds{{100, 100}, {110, 100}, {900, 500}};
  // (100, 100) on the map is (400, 200) on the screen; (110, 100) is 10 pixels right.
  EXPECT_EQ(ui::pick_world(m, worlds, 401, 200, 8), 0);
  EXPECT_EQ(ui::pick_world(m, worlds, 408, 200, 8), 1);
  EXPECT_EQ(ui::pick_world(m, worlds, 1200, 600, 8), 2);
  EXPECT_EQ(ui::pick_world(m, worlds, 700, 400, 8), -1);
  EXPECT_EQ(ui::pick_world(m, std::vector<P>{}, 400, 200, 8), -1);
}

TEST(UniverseRules, APopupStaysOnTheScreen)
{
  ui::Box in = ui::place_popup_box(100, 50, 200, 100, 640, 360);
  EXPECT_FLOAT_EQ(in.x0, 100);
  EXPECT_FLOAT_EQ(in.y0, 50);
  ui::Box corner = ui::place_popup_box(600, 340, 200, 100, 640, 360);
  EXPECT_FLOAT_EQ(corner.x1, 640);
  EXPECT_FLOAT_EQ(corner.y1, 360);
  // Larger than the screen: its top-left corner stays visible.
  ui::Box big = ui::place_popup_box(300, 300, 900, 500, 640, 360);
  EXPECT_FLOAT_EQ(big.x0, 0);
  EXPECT_FLOAT_EQ(big.y0, 0);
}

TEST(HudRules, BarsAndShadesStaySaneWithoutAPlayer)
{
  // Before the player exists everything reads 0: no division by zero, no NaN.
  EXPECT_EQ(ui::bar_fill(0, 0), 0);
  EXPECT_EQ(ui::bar_fill(50, 0), 0);
  EXPECT_EQ(ui::bar_fill(NAN, 100), 0);
  EXPECT_EQ(ui::bar_fill(50, NAN), 0);
  EXPECT_EQ(ui::bar_fill(-5, 100), 0);
  EXPECT_FLOAT_EQ(ui::bar_fill(25, 100), 0.25f);
  EXPECT_EQ(ui::bar_fill(150, 100), 1);

  EXPECT_EQ(ui::cooldown_shade(0, 2), 0);
  EXPECT_FLOAT_EQ(ui::cooldown_shade(0.5f, 2), 0.25f);
  EXPECT_EQ(ui::cooldown_shade(3, 2), 1);
  EXPECT_EQ(ui::cooldown_shade(1, 0), 1); // cooling without a known length: all shaded
  EXPECT_EQ(ui::cooldown_shade(NAN, 2), 0);

  EXPECT_EQ(ui::message_alpha(0), 1);
  EXPECT_EQ(ui::message_alpha(ui::MESSAGE_HOLD), 1);
  EXPECT_NEAR(ui::message_alpha(ui::MESSAGE_HOLD + ui::MESSAGE_FADE / 2), 0.5f, 1e-5f);
  EXPECT_EQ(ui::message_alpha(ui::MESSAGE_HOLD + ui::MESSAGE_FADE), 0);
  EXPECT_EQ(ui::message_alpha(1e9f), 0);
}

TEST(HudRules, TheMiniMapWrapsWithTheWorldAndPinsFarThingsToItsRim)
{
  ui::SpanPiece p[2];
  // In the middle of the world: one piece.
  ASSERT_EQ(ui::wrapped_pieces(0.5f, 0.25f, p), 1);
  EXPECT_FLOAT_EQ(p[0].t0, 0.25f);
  EXPECT_FLOAT_EQ(p[0].t1, 0.75f);
  // Near the edge (and past it, as positions wrap): two pieces, each inside
  // the texture, sharing the screen span in proportion and meeting exactly.
  for (float c : {0.05f, 1.05f, -0.95f, 0.95f}) {
    ASSERT_EQ(ui::wrapped_pieces(c, 0.25f, p), 2) << c;
    for (int i = 0; i < 2; i++) {
      EXPECT_GE(p[i].t0, 0) << c;
      EXPECT_LE(p[i].t1, 1.0001f) << c;
      EXPECT_NEAR((p[i].t1 - p[i].t0) / 0.5f, p[i].s1 - p[i].s0, 1e-5f) << c;
    }
    EXPECT_FLOAT_EQ(p[0].s0, 0);
    EXPECT_FLOAT_EQ(p[0].s1, p[1].s0);
    EXPECT_FLOAT_EQ(p[1].s1, 1);
    EXPECT_FLOAT_EQ(p[0].t1, 1);
    EXPECT_FLOAT_EQ(p[1].t0, 0);
  }

  // Offsets take the short way round the world.
  EXPECT_FLOAT_EQ(ui::wrap_delta(250 - 10), -16);
  EXPECT_FLOAT_EQ(ui::wrap_delta(10 - 250), 16);
  EXPECT_FLOAT_EQ(ui::wrap_delta(-300), -44);

  // North (+z) is up the screen, east (+x) right; inside the range it sits
  // in the map, beyond it is pinned to the rim pointing at it.
  ui::Marker in = ui::map_marker(32, 32, 100, 100, 50, 64);
  EXPECT_FALSE(in.outside);
  EXPECT_FLOAT_EQ(in.x, 125);
  EXPECT_FLOAT_EQ(in.y, 75);
  ui::Marker far = ui::map_marker(0, -200, 100, 100, 50, 64);
  EXPECT_TRUE(far.outside);
  EXPECT_FLOAT_EQ(far.x, 100);
  EXPECT_FLOAT_EQ(far.y, 150);
  EXPECT_FLOAT_EQ(far.ay, 1);
  ui::Marker here = ui::map_marker(0, 0, 100, 100, 50, 64);
  EXPECT_FALSE(here.outside);
  EXPECT_FALSE(isnan(here.ax) || isnan(here.ay));
}

bool overlap(const ui::Box& a, const ui::Box& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }

TEST(HudRules, ThePartsOfTheHudKeepApartAndTheBarTakesItsMouse)
{
  // The program's window sizes, a narrow one, and a full bar of 16 spells.
  for (auto [w, h] : {std::pair{640.f, 360.f}, {1280.f, 720.f}, {1280.f, 1024.f}, {1920.f, 1080.f}})
    for (int spells : {0, 5, 16}) {
      const ui::HudLayout l = ui::hud_layout(w, h, spells);
      const ui::Box bar = ui::hud_bar_box(l);
      const ui::Box stats{l.stat_x, l.stat_y, l.stat_x + l.stat_w, l.stat_y + 2 * l.stat_h + 10 * l.u};
      const ui::Box map{l.map_x, l.map_y, l.map_x + l.map_size, l.map_y + l.map_size};
      const ui::Box centre{w * 0.5f - 30 * l.u, h * 0.5f - 30 * l.u, w * 0.5f + 30 * l.u, h * 0.5f + 30 * l.u};
      const std::string at = std::to_string(int(w)) + "x" + std::to_string(int(h)) + " " + std::to_string(spells);
      EXPECT_EQ(l.slots, spells > 8 ? spells : 8) << at;
      EXPECT_GE(bar.x0, 0) << at;
      EXPECT_LE(bar.x1, w) << at;
      EXPECT_LE(bar.y1, h) << at;
      EXPECT_GT(l.stat_w, 40 * l.u) << at;
      EXPECT_FALSE(overlap(bar, stats)) << at;
      EXPECT_FALSE(overlap(bar, map) || overlap(stats, map)) << at;
      EXPECT_FALSE(overlap(bar, centre) || overlap(map, centre)) << at; // the crosshair stays clear
      // The last slot ends inside the bar's background; the bar's gaps are its own.
      EXPECT_TRUE(ui::inside(bar, ui::hud_slot_box(l, l.slots - 1).x1, l.bar_y + 1)) << at;
      EXPECT_TRUE(ui::inside(bar, (ui::hud_slot_box(l, 0).x1 + ui::hud_slot_box(l, 1).x0) * 0.5f, l.bar_y + 1)) << at;
      EXPECT_FALSE(ui::inside(bar, w * 0.5f, h * 0.5f)) << at;
    }
}

// {===== The real module

class ScreensModule : public RealModule {
protected:
  void SetUp() override
  {
    // The developer server is not started here: its registry must still
    // forget the module's commands at unlink (earlier modules' included).
    gameobj_unlink_dev_commands = drop_module_dev_commands;
    drop_module_dev_commands();
    RealModule::SetUp();
  }
  std::string state()
  {
    DevReply reply;
    append_dev_state(reply);
    return reply.text();
  }
  void message(const char* entry, const char* text)
  {
    fn<void (*)(const char*)>(entry == std::string("sub") ? gameobj_funcs.show_screen_sub_message
                                                          : gameobj_funcs.show_screen_message)(text);
  }
};

TEST_F(ScreensModule, ScreenMessagesShowUntilClearedOrFaded)
{
  std::string s = state();
  EXPECT_NE(s.find(" universe=0"), std::string::npos) << s;
  EXPECT_NE(s.find(" message="), std::string::npos) << s;

  message("main", "Portal opened");
  EXPECT_NE(state().find("message=Portal_opened"), std::string::npos) << state();
  // The HUD's update ages it: gone after the hold and the fade.
  for (int i = 0; i < int((ui::MESSAGE_HOLD + ui::MESSAGE_FADE) / 0.05f) + 2; i++)
    fn<void (*)(float)>(gameobj_funcs.update_spells_ui)(0.05f);
  EXPECT_EQ(state().find("Portal_opened"), std::string::npos) << state();

  // The host clears both when a world is entered: the empty text.
  message("main", "Lorhaven");
  message("main", "");
  EXPECT_EQ(state().find("Lorhaven"), std::string::npos) << state();
}

TEST_F(ScreensModule, TheUniverseViewerLeavesTheGuiRuntimeWithTheModule)
{
  // Without a game the screen opens on an empty map (no crash, no script).
  fn<void (*)()>(gameobj_funcs.open_universe_gui)();
  EXPECT_NE(get_behavior("uni_viewer"), nullptr);
  EXPECT_NE(state().find(" universe=1"), std::string::npos) << state();
  // Its handler's code goes with the library: a registration left behind
  // would be a dangling handler that the next module's screen attaches.
  unload_gameobj_module();
  EXPECT_EQ(get_behavior("uni_viewer"), nullptr);
  EXPECT_EQ(cur_game_screen, nullptr);
  load_gameobj_module((dir.path() + "/").c_str(), "main.ls");
  ASSERT_TRUE(gameobj_module_loaded());
  fn<void (*)()>(gameobj_funcs.open_universe_gui)();
  EXPECT_NE(get_behavior("uni_viewer"), nullptr);
  fn<void (*)()>(gameobj_funcs.close_game_menu)();
  EXPECT_EQ(state().find(" universe=1"), std::string::npos) << state();
}

} // namespace
