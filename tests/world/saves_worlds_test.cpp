// World files and moving between worlds: round trips of the grids, the
// sky, camera and clock and the game-object block; damaged world files;
// entering a never-visited world (generated and saved at once), entering a
// saved one, resuming, and leaving a world with its 60 simulated seconds.
#include "saves_test_util.h"
#include "world/world_data.h"
#include "world/world_simulate.h"

using namespace saves_test;


TEST_F(SavesTest, WorldFileRoundTripsGridsSkyCameraClockAndObjects) {
  make_some_world();
  saved_world_state.sun_dir = Vec4f{0.1f, 0.9f, -0.2f, 0};
  saved_world_state.sky_value = 0.75f;
  saved_world_state.sky_name = "stormy";
  saved_world_state.camera[0] = 1.5f;
  saved_world_state.camera[2] = -3;
  saved_world_state.world_time = 12345;
  ASSERT_TRUE(run("counter = 77;"));
  uint64_t before = grids_hash();
  std::string path = data_home + "/w_test";
  ASSERT_TRUE(save_world(path.c_str())) << get_error_message();
  EXPECT_EQ(module.deleted, 1);
  EXPECT_EQ(module.saved, 1);
  EXPECT_FALSE(file_exists(path + ".tmp"));
  std::string bytes = read_file(path);
  EXPECT_GE(bytes.size(), 4u + WORLD_DATA_SIZE + 16 + 4 + 1 + 6 + 12 + 4);
  EXPECT_EQ((unsigned char)bytes[4 + WORLD_DATA_SIZE + 20], 6); // the sky name's length byte

  world_test_fresh(999);
  saved_world_state = SavedWorldState{};
  ASSERT_TRUE(run("counter = 0;"));
  int removed = module.removed;
  ASSERT_TRUE(load_world(path.c_str())) << get_error_message();
  EXPECT_EQ(module.removed, removed + 1);
  EXPECT_EQ(grids_hash(), before);
  EXPECT_EQ(saved_world_state.sun_dir.y, 0.9f);
  EXPECT_EQ(saved_world_state.sky_value, 0.75f);
  EXPECT_STREQ(saved_world_state.sky_name, "stormy");
  EXPECT_EQ(saved_world_state.camera[0], 1.5f);
  EXPECT_EQ(saved_world_state.camera[2], -3.0f);
  EXPECT_EQ(saved_world_state.world_time, 12345);
  EXPECT_EQ(evalInt("counter"), 77); // the script globals of the object block
}

TEST_F(SavesTest, MissingWorldFileFailsWithoutMessage) {
  EXPECT_FALSE(load_world((data_home + "/nothing").c_str()));
  EXPECT_FALSE(has_error_message());
  EXPECT_FALSE(load_world(0)); // no slot
  cur_game_slot = 1;
  EXPECT_FALSE(load_world(-1));
  EXPECT_FALSE(load_world(3));
  EXPECT_FALSE(has_error_message());
}

TEST_F(SavesTest, DamagedWorldFilesReportPositionAndLeaveTheGameUsable) {
  make_some_world();
  std::string good = data_home + "/w_good";
  ASSERT_TRUE(save_world(good.c_str()));
  uint64_t saved = grids_hash();
  std::string bytes = read_file(good);
  world_test_fresh(4);
  uint64_t fresh = grids_hash();

  std::string bad = data_home + "/w_bad";
  // Cut inside the world data: refused before anything changes.
  write_file(bad, bytes.substr(0, 1000));
  EXPECT_FALSE(load_world(bad.c_str()));
  EXPECT_STREQ(get_error_message(), "Error loading the world:\nworld file is too short (at 3E8)");
  EXPECT_EQ(grids_hash(), fresh);

  // Cut inside the game-object block.
  write_file(bad, bytes.substr(0, bytes.size() - 2));
  int removed = module.removed;
  EXPECT_FALSE(load_world(bad.c_str()));
  std::string msg = get_error_message();
  EXPECT_EQ(msg.rfind("Error loading the world:\n", 0), 0u) << msg;
  EXPECT_NE(msg.find(" (at "), std::string::npos) << msg;
  EXPECT_EQ(module.removed, removed + 2); // before the block is loaded and after the failure

  // Another version.
  std::string other = bytes;
  other[1] ^= 0x40;
  write_file(bad, other);
  EXPECT_FALSE(load_world(bad.c_str()));
  EXPECT_STREQ(get_error_message(), "Error loading the world:\nUnsupported saved game version (at 4)");

  // Script data naming a function the script no longer has.
  std::string broken = bytes;
  size_t block = 4 + WORLD_DATA_SIZE + 16 + 4 + 1 + 6 + 12 + 4;
  broken.resize(block);
  broken += std::string("\x07\x02\x06\x00\x00\x00nosuch", 12);
  write_file(bad, broken);
  EXPECT_FALSE(load_world(bad.c_str()));
  EXPECT_EQ(std::string(get_error_message()).rfind("Error loading the world:\n", 0), 0u);

  // The next load works.
  set_error_message(nullptr);
  ASSERT_TRUE(load_world(good.c_str())) << get_error_message();
  EXPECT_EQ(grids_hash(), saved);
  // And so does generating.
  generate_world("game");
  EXPECT_FALSE(has_error_message()) << get_error_message();
}

TEST_F(SavesTest, EnteringANeverVisitedWorldGeneratesAndSavesItAtOnce) {
  new_game(1);
  ASSERT_TRUE(set_entered_world(2));
  should_close_game_menu = true;
  int generated = evalInt("generated");
  update_universe_view(0.05f);
  EXPECT_EQ(module.menu_updates, 1);
  EXPECT_FALSE(should_close_game_menu);
  EXPECT_EQ(evalInt("generated"), generated + 1);
  EXPECT_TRUE(file_exists(slot_file(1, "w002")));
  EXPECT_TRUE(file_exists(slot_file(1, "info")));
  EXPECT_EQ(module.play_mode, 1);
  EXPECT_EQ(module.messages, 2);
  EXPECT_EQ(module.sounds, "SE_enter_world");
  EXPECT_EQ(evalString("events.top()"), "enter_world");
  EXPECT_FALSE(has_error_message()) << get_error_message();

  // The file holds the generated world.
  uint64_t generated_hash = grids_hash();
  world_test_fresh(5);
  cur_game_slot = 1;
  ASSERT_TRUE(load_world(2));
  EXPECT_EQ(grids_hash(), generated_hash);
}

TEST_F(SavesTest, EnteringASavedWorldLoadsItAndPlacesThePlayer) {
  new_game(1);
  ASSERT_TRUE(set_entered_world(0));
  make_some_world();
  ASSERT_TRUE(save_game());
  uint64_t saved = grids_hash();
  world_test_fresh(6);
  module.has_portal = true;
  saved_world_state.camera[1] = 4;
  should_close_game_menu = true;
  int generated = evalInt("generated");
  update_universe_view(0.05f);
  EXPECT_EQ(evalInt("generated"), generated);
  EXPECT_EQ(grids_hash(), saved);
  EXPECT_EQ(module.created, 1);
  EXPECT_EQ(local_player, (Player*)&player_dummy);
  EXPECT_EQ(module.spell_ops, 1079); // the portal spell's operation (1, 79)
  EXPECT_EQ(evalString("cur_world.name"), "A");
  EXPECT_EQ(saved_world_state.camera[1], 0.0f);
  EXPECT_EQ(module.play_mode, 1);
}

TEST_F(SavesTest, ResumingLoadsTheEnteredWorldOrEntersItOnTheNextUpdate) {
  new_game(2);
  resume_into_world(); // in the universe view: nothing to resume
  EXPECT_EQ(module.gui_opened, 1);
  EXPECT_EQ(module.play_mode, 0);
  EXPECT_FALSE(should_close_game_menu);

  ASSERT_TRUE(set_entered_world(1));
  resume_into_world(); // no file yet
  EXPECT_TRUE(should_close_game_menu);
  EXPECT_EQ(module.play_mode, 0);

  update_universe_view(0.05f); // generated and saved
  EXPECT_EQ(module.play_mode, 1);
  ASSERT_TRUE(load_saved_game(2));
  resume_into_world();
  EXPECT_FALSE(should_close_game_menu);
  EXPECT_EQ(module.play_mode, 2);
  EXPECT_EQ(evalString("cur_world.name"), "B");
}

TEST_F(SavesTest, LeavingAWorldSavesSimulatesAMinuteAndSavesAgain) {
  new_game(3);
  ASSERT_TRUE(set_entered_world(1));
  make_some_world();
  for (int i = 0; i < HMAP_CELLS; i++) HeightmapData::target_hmap[i] = HeightmapData::hmap[i] + 5;
  ASSERT_TRUE(save_game());
  std::string before = read_file(slot_file(3, "w001"));
  module.saved = 0;

  leave_world();
  EXPECT_EQ(module.steps, 1200);
  EXPECT_EQ(module.saved, 2); // the world before and after the simulation
  EXPECT_EQ(module.universe_mode, 1);
  EXPECT_EQ(get_entered_world(), -1);
  std::string after = read_file(slot_file(3, "w001"));
  EXPECT_NE(after, before); // the land moved toward its targets
  EXPECT_EQ(HeightmapData::hmap[100], HeightmapData::target_hmap[100]);

  // The slot records the universe view.
  ASSERT_TRUE(load_saved_game(3));
  EXPECT_EQ(evalInt("universe.enteredWorld"), -1);
}

TEST_F(SavesTest, LeavingWithoutUniverseGeneratesAWorld) {
  int generated = evalInt("generated");
  bool reset = false;
  static bool* flag = &reset;
  saved_game_hooks.reset_fly_control = [] { *flag = true; };
  leave_world();
  EXPECT_TRUE(reset);
  EXPECT_EQ(evalInt("generated"), generated + 1);
  EXPECT_EQ(module.play_mode, 1);
  EXPECT_EQ(module.steps, 0);
}

TEST_F(SavesTest, ScriptCanLeaveTheWorld) {
  new_game(4);
  ASSERT_TRUE(set_entered_world(0));
  ASSERT_TRUE(run("leave_world();"));
  EXPECT_EQ(module.universe_mode, 1);
  EXPECT_EQ(get_entered_world(), -1);
  EXPECT_TRUE(file_exists(slot_file(4, "w000")));
}

TEST_F(SavesTest, HeadlessSimulationMovesLandAndWaterInFixedSteps) {
  make_some_world();
  double water_before = 0;
  for (int i = 0; i < HMAP_CELLS; i++) water_before += HeightmapData::waterCells()[i].depth;
  EXPECT_EQ(simulate_world_headless(0), 0);
  EXPECT_EQ(simulate_world_headless(60.0f), 1200);
  EXPECT_EQ(module.steps, 0); // no game objects
  double water_after = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    EXPECT_EQ(HeightmapData::hmap[i], HeightmapData::target_hmap[i]) << i;
    if (HeightmapData::hmap[i] != HeightmapData::target_hmap[i]) break;
  }
  for (int i = 0; i < HMAP_CELLS; i++) water_after += HeightmapData::waterCells()[i].depth;
  EXPECT_LT(water_after, water_before); // evaporation
  EXPECT_GT(water_after, 0.0);
}
