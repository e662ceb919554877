// The whole game as a player meets it, in the real program started headless
// with "-devserver" and driven by the real devclient: a new game from the
// main menu, the universe, the first world reshaped with every spell of the
// land and the water, its mana claimed until the portal opens, the warp, a
// second world unlocked and entered, then "Save and exit" and Continue with
// the world and the spell bar as they were. Pictures of each stage are kept
// in build/tests/artifacts/e2e_*.png.
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#include "playthrough.h"

namespace {

using namespace e2e;

TEST(RuneholmPlaythrough, NewGameToASecondWorldAndBackThroughSaveAndContinue)
{
  Playthrough run;
  run.start();
  if (HasFatalFailure()) return;
  expect_world_picture(load_image(take_screenshot(run, "e2e_1_main_menu.png")), "main menu");

  // New game in slot 1: the universe screen.
  EXPECT_EQ(run.one("newGame slot=1").substr(0, 1), "k") << run.log();
  ASSERT_TRUE(run.wait_state("mode=UniverseMode", 120)) << run.state() << run.log();
  take_screenshot(run, "e2e_2_universe.png");

  // The first world: entered and played.
  EXPECT_EQ(run.one("enter world=0").substr(0, 1), "k") << run.log();
  ASSERT_TRUE(run.wait_state("mode=PlayGameMode", 300)) << run.state() << run.log();
  EXPECT_EQ(run.one("speed factor=4"), "k\n");
  auto me = run.player();
  EXPECT_EQ(me["world"], "0");
  std::vector<double> pos = numbers(me["pos"]);
  ASSERT_EQ(pos.size(), 3u) << run.one("player");
  expect_world_picture(load_image(take_screenshot(run, "e2e_3_first_world.png")), "first world");

  // Every spell of the land and the water, each at its own dry point near the
  // player, checked on the world's grids once its missile landed.
  for (const char* spell : {"PitSpell", "FaultSpell", "VolcanoSpell", "WaterSourceSpell", "WaterSinkSpell",
                            "WaterballSpell"})
    EXPECT_EQ(run.one(std::string("give spell=") + spell), "k\n") << spell;
  // Unlimited mana for the tour (Ctrl+N, the mana cheat); costs have their own tests.
  EXPECT_EQ(run.client({"key name=Ctrl down=1", "key name=N", "key name=Ctrl down=0"}), "k\nk\nk\n");
  // The universe's seed comes from the clock, so the start may be a small
  // island: then the tour moves to the first orb (orbs lie on land) with
  // enough dry land around it.
  std::vector<std::pair<double, double>> spots = run.dry_spots(pos[0], pos[2], 5);
  if (spots.size() < 5) {
    std::istringstream list(pairs(run.one("orbs"))["orbs"]);
    std::string orb;
    while (spots.size() < 5 && std::getline(list, orb, ';')) {
      std::vector<double> o = numbers(orb); // id,x,y,z,amount,owned
      if (o.size() != 6) continue;
      spots = run.dry_spots(o[1], o[3], 5);
      if (spots.size() == 5) run.fly_to(o[1], o[3]);
    }
  }
  ASSERT_EQ(spots.size(), 5u) << "no dry land near the player or any orb: " << run.one("player")
                              << run.one("orbs");
  auto [hx, hz] = spots[0];
  auto [ix, iz] = spots[1];
  auto [fx, fz] = spots[2];
  auto [vx, vz] = spots[3];
  auto [wx, wz] = spots[4];
  auto hill_at = run.ground(hx, hz), pit_at = run.ground(ix, iz), fault_at = run.ground(fx, fz),
       volcano_at = run.ground(vx, vz);
  // A second cast of the same spell at once is refused: it is cooling down.
  std::string hills = run.client({"cast spell=HillSpell x=" + std::to_string(hx) + " z=" + std::to_string(hz),
                                  "cast spell=HillSpell x=" + std::to_string(hx) + " z=" + std::to_string(hz)});
  EXPECT_EQ(hills.substr(0, 3), "k\ne") << hills;
  EXPECT_NE(hills.find("Not ready"), std::string::npos) << hills;
  EXPECT_EQ(run.cast("PitSpell", ix, iz), "k\n");
  EXPECT_EQ(run.cast("FaultSpell", fx, fz), "k\n");
  EXPECT_EQ(run.cast("VolcanoSpell", vx, vz), "k\n");
  EXPECT_EQ(run.cast("WaterSourceSpell", wx, wz), "k\n");
  run.play_seconds(6);
  EXPECT_GT(run.ground(hx, hz).land, hill_at.land + 1) << "the hill did not rise";
  EXPECT_LT(run.ground(ix, iz).land, pit_at.land - 1) << "the pit did not sink";
  EXPECT_LT(run.ground(fx, fz).land, fault_at.land - 0.5) << "no fracture";
  auto volcano = run.ground(vx, vz);
  EXPECT_TRUE(volcano.land > volcano_at.land + 1 || volcano.lava > 0) << "no volcano";
  double poured = run.ground(wx, wz).water;
  EXPECT_GT(poured, 0) << "the source poured nothing";
  // The sink drains what the source poured; the globe bursts on the pit.
  EXPECT_EQ(run.cast("WaterSinkSpell", wx, wz), "k\n");
  double pit_water = run.ground(ix, iz).water;
  EXPECT_EQ(run.cast("WaterballSpell", ix, iz), "k\n");
  run.play_seconds(8);
  EXPECT_LT(run.ground(wx, wz).water, poured) << "the sink drained nothing";
  EXPECT_GT(run.ground(ix, iz).water, pit_water) << "no water from the globe";
  expect_world_picture(load_image(take_screenshot(run, "e2e_4_spells.png")), "after the spells");

  // Claim the orbs until the portal opens: fly to each unclaimed one and cast.
  for (int round = 0; round < 12 && pairs(run.one("portal"))["open"] != "1"; ++round) {
    std::istringstream list(pairs(run.one("orbs"))["orbs"]);
    std::string orb;
    std::vector<double> o;
    while (std::getline(list, orb, ';')) {
      o = numbers(orb); // id,x,y,z,amount,owned
      if (o.size() == 6 && o[5] == 0) break;
      o.clear();
    }
    ASSERT_EQ(o.size(), 6u) << "no orb left to claim: " << run.one("orbs") << run.one("portal");
    run.fly_to(o[1] + 10, o[3] + 10);
    std::string r = run.cast("ClaimManaSpell", o[1], o[3]);
    EXPECT_EQ(r, "k\n") << run.one("player");
    run.play_seconds(4);
  }
  auto portal = pairs(run.one("portal"));
  ASSERT_EQ(portal["open"], "1") << run.one("portal") << run.one("orbs");
  take_screenshot(run, "e2e_5_portal.png");

  // Use it: the warp, then the universe with the first world's neighbours open.
  std::vector<double> at = numbers(portal["pos"]);
  ASSERT_EQ(at.size(), 3u);
  run.fly_to(at[0] + 8, at[2] + 8);
  EXPECT_EQ(run.cast("UsePortalSpell", at[0], at[2]), "k\n") << run.log();
  ASSERT_TRUE(run.wait_state("mode=UniverseMode", 300)) << run.state() << run.log();
  take_screenshot(run, "e2e_6_universe_after_warp.png");

  // A neighbour of the first world can be entered now.
  int second = -1;
  for (int w = 1; w < 20 && second < 0; ++w)
    if (run.one("enter world=" + std::to_string(w)).substr(0, 1) == "k") second = w;
  ASSERT_GT(second, 0) << "no world unlocked" << run.log();
  ASSERT_TRUE(run.wait_state("mode=PlayGameMode", 300)) << run.state() << run.log();
  me = run.player();
  EXPECT_EQ(me["world"], std::to_string(second));
  pos = numbers(me["pos"]);
  ASSERT_EQ(pos.size(), 3u);
  EXPECT_EQ(run.cast("HillSpell", pos[0] + 15, pos[2]), "k\n") << run.log();
  auto raised = run.settled(pos[0] + 15, pos[2]);
  std::string spells = run.player()["spells"];
  expect_world_picture(load_image(take_screenshot(run, "e2e_7_second_world.png")), "second world");

  // Save and exit, then Continue: the same world, land and spell bar.
  run.save_exit_and_continue();
  if (HasFatalFailure()) return;
  me = run.player();
  EXPECT_EQ(me["world"], std::to_string(second));
  EXPECT_EQ(me["spells"], spells);
  auto back = run.ground(pos[0] + 15, pos[2]);
  EXPECT_NEAR(back.land, raised.land, 0.5) << "the raised land was not saved";
  expect_world_picture(load_image(take_screenshot(run, "e2e_8_continued.png")), "continued");

  run.quit();
}

} // namespace
