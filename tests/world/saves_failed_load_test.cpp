// Loads that fail change nothing: a damaged world file is kept (never
// generated and saved over) and the world in memory stays as it was; a slot
// that does not load leaves the active game active; a world index beyond
// the last file name is refused loudly instead of being skipped.
#include <dirent.h>

#include "saves_test_util.h"
#include "world/world_data.h"

using namespace saves_test;

namespace {

// The sky, camera and clock as the program keeps them: behind the hooks.
SavedWorldState live_state;

void install_live_state_hooks() {
  saved_game_hooks.get_world_state = [](SavedWorldState& s) { s = live_state; };
  saved_game_hooks.set_world_state = [](const SavedWorldState& s) { live_state = s; };
}

void expect_state_eq(const SavedWorldState& got, const SavedWorldState& want) {
  EXPECT_EQ(got.sun_dir.y, want.sun_dir.y);
  EXPECT_EQ(got.sky_value, want.sky_value);
  EXPECT_STREQ(got.sky_name, want.sky_name);
  EXPECT_EQ(got.camera[1], want.camera[1]);
  EXPECT_EQ(got.world_time, want.world_time);
}

// Offset of the game-object block in a world file with the given sky name.
size_t object_block_at(size_t sky_name_len) { return 4 + WORLD_DATA_SIZE + 16 + 4 + 1 + sky_name_len + 12 + 4; }

} // namespace

TEST_F(SavesTest, FailedWorldLoadLeavesGridsSkyCameraAndClockAsTheyWere) {
  install_live_state_hooks();
  make_some_world();
  live_state = SavedWorldState{};
  live_state.sky_name = "stormy";
  live_state.sun_dir.y = 0.25f;
  live_state.world_time = 4242;
  ASSERT_TRUE(run("counter = 5;"));
  std::string good = data_home + "/w_good";
  ASSERT_TRUE(save_world(good.c_str())) << get_error_message();
  const std::string bytes = read_file(good);
  const size_t block = object_block_at(6);

  // The world in memory: another one, with its own sky, camera and clock.
  world_test_fresh(77);
  HeightmapData::waterCells()[5].depth = 0.5f;
  SavedWorldState mine;
  mine.sky_name = "dusk";
  mine.sun_dir.y = 0.5f;
  mine.sky_value = 3;
  mine.camera[1] = 1.25f;
  mine.world_time = 99;
  live_state = mine;
  const uint64_t before = grids_hash();

  std::string marker_broken = bytes;
  marker_broken[marker_broken.size() - 1] ^= 1; // the module throws after reading its script data
  const struct {
    const char* what;
    std::string file;
  } damaged[] = {
      {"game-object block cut by two bytes", bytes.substr(0, bytes.size() - 2)},
      {"game-object block rejected by the module", marker_broken},
      {"game-object block missing", bytes.substr(0, block)},
      {"cut inside the camera", bytes.substr(0, block - 10)},
  };
  std::string bad = data_home + "/w_bad";
  for (const auto& d : damaged) {
    SCOPED_TRACE(d.what);
    write_file(bad, d.file);
    set_error_message(nullptr);
    EXPECT_EQ(load_world_file(bad.c_str()), WorldLoad::failed);
    std::string msg = get_error_message();
    EXPECT_EQ(msg.rfind("Error loading the world:\n", 0), 0u) << msg;
    EXPECT_EQ(grids_hash(), before);
    expect_state_eq(live_state, mine);
    EXPECT_EQ(HeightmapData::tmpwCells()[5].depth, 0.5f); // the step's buffers agree again
    EXPECT_TRUE(read_file(bad) == d.file);                 // the file is kept
  }
  // A failure inside the block is placed at its position in the file.
  write_file(bad, bytes.substr(0, bytes.size() - 2));
  load_world_file(bad.c_str());
  TempString<64> at;
  at.format(" (at %X)", (unsigned)(bytes.size() - 2));
  EXPECT_NE(std::string(get_error_message()).find(at.str), std::string::npos) << get_error_message();

  // The good file still loads whole; the module reads its block at the
  // file's positions, as from the file itself.
  static int block_start = -1;
  gameobj_api.load_gameobjs = [](InputStream& in) {
    block_start = in.tell();
    stand_in_load(in);
    in.seekTo(block_start); // and may go back within its block
    in.seekToEnd(0);
  };
  ASSERT_EQ(load_world_file(good.c_str()), WorldLoad::loaded) << get_error_message();
  EXPECT_EQ(block_start, (int)block);
  EXPECT_EQ(live_state.world_time, 4242);
  EXPECT_STREQ(live_state.sky_name, "stormy");
  EXPECT_EQ(evalInt("counter"), 5);
}

TEST_F(SavesTest, DamagedWorldFileIsKeptAndNotEntered) {
  new_game(1);
  ASSERT_TRUE(set_entered_world(0));
  make_some_world();
  ASSERT_TRUE(save_game());
  const std::string path = slot_file(1, "w000");
  const std::string cut = read_file(path).substr(0, read_file(path).size() - 2);
  write_file(path, cut);
  world_test_fresh(8);
  const uint64_t before = grids_hash();
  const int generated = evalInt("generated");

  // Picked in the universe view: refused, shown, nothing generated or saved.
  should_close_game_menu = true;
  EXPECT_FALSE(update_universe_view(0.05f));
  EXPECT_FALSE(should_close_game_menu);
  EXPECT_EQ(std::string(get_error_message()).rfind("Error loading the world:\n", 0), 0u) << get_error_message();
  EXPECT_EQ(evalInt("generated"), generated);
  EXPECT_EQ(module.play_mode, 0);
  EXPECT_EQ(module.sounds, "");
  EXPECT_EQ(grids_hash(), before);
  EXPECT_EQ(get_entered_world(), -1);
  EXPECT_TRUE(read_file(path) == cut); // kept byte for byte
  // No later save writes another world over it.
  ASSERT_TRUE(save_game());
  EXPECT_TRUE(read_file(path) == cut); // kept byte for byte

  // Resumed into: refused the same way, no second attempt that generates.
  ASSERT_TRUE(set_entered_world(0));
  EXPECT_FALSE(resume_into_world());
  EXPECT_FALSE(should_close_game_menu);
  EXPECT_EQ(std::string(get_error_message()).rfind("Error loading the world:\n", 0), 0u) << get_error_message();
  update_universe_view(0.05f);
  EXPECT_EQ(module.play_mode, 0);
  EXPECT_EQ(evalInt("generated"), generated);
  EXPECT_EQ(get_entered_world(), -1);
  EXPECT_TRUE(read_file(path) == cut); // kept byte for byte

  // A file that exists but cannot be read is not a missing world either.
  unlink(path.c_str());
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  ASSERT_TRUE(set_entered_world(0));
  should_close_game_menu = true;
  EXPECT_FALSE(update_universe_view(0.05f));
  EXPECT_EQ(evalInt("generated"), generated);
  EXPECT_TRUE(has_error_message());
  rmdir(path.c_str());
}

TEST_F(SavesTest, FailedGameLoadKeepsTheActiveGame) {
  new_game(3);
  ASSERT_TRUE(save_game());
  std::string uni = read_file(slot_file(3, "uni"));
  new_game(2);
  ASSERT_TRUE(run("universe.tag = \"active\";"));
  ASSERT_TRUE(save_game());
  SqObject active = universe;

  auto expect_active_game_kept = [&](const char* what) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(load_saved_game(3));
    EXPECT_EQ(std::string(get_error_message()).rfind("Error loading the game:\n", 0), 0u) << get_error_message();
    EXPECT_EQ(cur_game_slot, 2);
    EXPECT_TRUE(universe.sameAs(active));
    EXPECT_FALSE(worlds.isNull());
    EXPECT_FALSE(cur_game_info.isNull());
    EXPECT_EQ(evalString("universe.tag"), "active"); // the script global too
  };
  write_file(slot_file(3, "uni"), uni.substr(0, uni.size() - 3));
  expect_active_game_kept("uni cut");
  // A universe without worlds is refused before the switch.
  std::string no_worlds("\x00\x29\x09\x02\x06\x00\x00\x00\x00", 9);
  write_file(slot_file(3, "uni"), no_worlds);
  expect_active_game_kept("uni without worlds");
  unlink(slot_file(3, "info").c_str());
  expect_active_game_kept("no info");
  EXPECT_EQ(module.spells_loaded, 0);

  // A slot that loads replaces it.
  write_file(slot_file(3, "uni"), uni);
  ASSERT_TRUE(load_saved_game(2));
  EXPECT_EQ(cur_game_slot, 2);
}

TEST_F(SavesTest, WorldIndexBeyondTheLastFileNameFailsLoudly) {
  new_game(5);
  ASSERT_TRUE(set_entered_world(1000));
  EXPECT_FALSE(save_game());
  EXPECT_STREQ(get_error_message(), "Error saving the game:\nworld index 1000 is out of range (0 to 999)");
  EXPECT_FALSE(file_exists(slot_file(5, "info")));
  EXPECT_FALSE(file_exists(slot_file(5, "w1000")));
  EXPECT_FALSE(file_exists(slot_file(5, "info.tmp")));

  // Entering it is refused the same way rather than played unsaved.
  const int generated = evalInt("generated");
  should_close_game_menu = true;
  EXPECT_FALSE(update_universe_view(0.05f));
  EXPECT_STREQ(get_error_message(), "Error loading the world:\nworld index 1000 is out of range (0 to 999)");
  EXPECT_EQ(evalInt("generated"), generated);
  EXPECT_EQ(module.play_mode, 0);

  ASSERT_TRUE(set_entered_world(999));
  EXPECT_TRUE(save_game()) << get_error_message();
  EXPECT_TRUE(file_exists(slot_file(5, "w999")));
}
