// Saved-game slots: info and uni files through a real slot folder, the slot
// list's names, unsupported files, erasing, failed saves that keep the old
// game, the recovery of an interrupted save, the global resources and the
// spell catalogue.
#include <dirent.h>

#include "saves_test_util.h"
#include "world/safe_file.h"
#include "world/spells.h"

using namespace saves_test;

namespace {

uint32_t u32_at(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  memcpy(&v, bytes.data() + at, 4);
  return v;
}

int count_entries(const std::string& folder) {
  int n = 0;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) n++;
    closedir(d);
  }
  return n;
}

} // namespace

TEST_F(SavesTest, GameRoundTripsThroughSlotFolderAndUniverseViewWritesOnlyInfoAndUni) {
  new_game(2);
  std::string name = evalString("universe.tag");
  ASSERT_EQ(name, "first");
  ASSERT_TRUE(save_game()) << get_error_message();
  EXPECT_EQ(module.spells_saved, 1);

  std::string folder = get_saved_games_folder().str;
  EXPECT_EQ(folder, data_home + "/Runeholm/saves");
  EXPECT_EQ(count_entries(folder + "/2"), 2); // "info" and "uni", no world, no leftovers
  std::string info = read_file(slot_file(2, "info"));
  ASSERT_GE(info.size(), 8u);
  EXPECT_EQ(u32_at(info, 0), SAVED_GAME_MAGIC);
  EXPECT_EQ(u32_at(info, 4), SAVED_GAME_VERSION);
  std::string uni = read_file(slot_file(2, "uni"));
  EXPECT_EQ(u32_at(uni, 0), SAVED_GAME_VERSION);
  EXPECT_EQ((unsigned char)uni[4], 6); // the universe table, plain format

  std::string game_name = sqbind::getSlot<const char*>(cur_game_info, "name");
  EXPECT_EQ(game_name.rfind("Started ", 0), 0u);
  release_universe_data();
  cur_game_slot = -1;
  EXPECT_TRUE(eval("universe").isNull());

  bool unsupported = true;
  EXPECT_EQ(std::string(get_saved_game_name(2, unsupported)), game_name);
  EXPECT_FALSE(unsupported);

  ASSERT_TRUE(load_saved_game(2)) << get_error_message();
  EXPECT_EQ(cur_game_slot, 2);
  EXPECT_EQ(module.spells_loaded, 1);
  EXPECT_EQ(evalString("universe.tag"), "first");
  EXPECT_EQ(evalInt("universe.worlds.len()"), 3);
  EXPECT_EQ(evalString("universe.worlds[1].name"), "B");
  EXPECT_EQ(sq_getsize(worlds.vm, (worlds.push(), -1)), 3);
  sq_poptop(worlds.vm);
  EXPECT_EQ(std::string(sqbind::getSlot<const char*>(cur_game_info, "name")), game_name);
}

TEST_F(SavesTest, WrongMagicListsAsQuestionMarksAndOtherVersionIsRefused) {
  new_game(3);
  ASSERT_TRUE(save_game());
  std::string info = read_file(slot_file(3, "info"));
  std::string game_name = sqbind::getSlot<const char*>(cur_game_info, "name");

  std::string other_version = info;
  other_version[4] ^= 1;
  write_file(slot_file(3, "info"), other_version);
  bool unsupported = false;
  EXPECT_EQ(std::string(get_saved_game_name(3, unsupported)), game_name);
  EXPECT_TRUE(unsupported);
  EXPECT_FALSE(load_saved_game(3));
  EXPECT_STREQ(get_error_message(), "Error loading the game:\nUnsupported saved game version");
  EXPECT_EQ(cur_game_slot, 3); // the game that was active stays
  EXPECT_FALSE(universe.isNull());
  EXPECT_FALSE(eval("universe").isNull());

  std::string wrong_magic = info;
  wrong_magic[0] ^= 1;
  write_file(slot_file(3, "info"), wrong_magic);
  EXPECT_EQ(std::string(get_saved_game_name(3, unsupported)), "? ? ?");
  EXPECT_TRUE(unsupported);

  // A "uni" of another version is refused as well.
  write_file(slot_file(3, "info"), info);
  std::string uni = read_file(slot_file(3, "uni"));
  uni[0] ^= 1;
  write_file(slot_file(3, "uni"), uni);
  EXPECT_FALSE(load_saved_game(3));
  EXPECT_STREQ(get_error_message(), "Error loading the game:\nUnsupported saved game version");
  EXPECT_FALSE(cur_game_info.isNull());
}

TEST_F(SavesTest, DamagedInfoGivesEmptyNameAndLoadErrors) {
  bool unsupported = true;
  EXPECT_EQ(std::string(get_saved_game_name(-1, unsupported)), "");
  EXPECT_EQ(std::string(get_saved_game_name(7, unsupported)), ""); // no file
  EXPECT_FALSE(unsupported);
  EXPECT_FALSE(load_saved_game(7));
  EXPECT_STREQ(get_error_message(), "Error loading the game:\nCan't open input file");
  EXPECT_FALSE(load_saved_game(-1));
  EXPECT_STREQ(get_error_message(), "Error loading the game:\nNo slot selected for loading the game");

  new_game(7);
  ASSERT_TRUE(save_game());
  std::string info = read_file(slot_file(7, "info"));
  write_file(slot_file(7, "info"), info.substr(0, info.size() - 3));
  EXPECT_EQ(std::string(get_saved_game_name(7, unsupported)), "");
  EXPECT_FALSE(load_saved_game(7));
  EXPECT_EQ(std::string(get_error_message()).rfind("Error loading the game:\n", 0), 0u);

  // A name too long for the slot list is cut, not fatal.
  std::string long_info = info.substr(0, 8);
  std::string text(400, 'x');
  long_info += std::string("\x06\x01\x00\x00\x00", 5);
  long_info += std::string("\x02\x04\x00\x00\x00name", 9);
  int len = (int)text.size();
  long_info += '\x02';
  long_info.append((const char*)&len, 4);
  long_info += text;
  write_file(slot_file(7, "info"), long_info);
  EXPECT_EQ(std::string(get_saved_game_name(7, unsupported)), std::string(259, 'x'));
}

TEST_F(SavesTest, ErasingAnEmptySlotLeavesAnEmptyFolder) {
  EXPECT_TRUE(erase_saved_game(4));
  std::string folder = std::string(get_saved_games_folder().str) + "/4";
  EXPECT_TRUE(file_exists(folder));
  EXPECT_EQ(count_entries(folder), 0);
  EXPECT_FALSE(erase_saved_game(-1));
  EXPECT_STREQ(get_error_message(), "No slot selected for erasing the saved game");

  new_game(4);
  ASSERT_TRUE(set_entered_world(0));
  ASSERT_TRUE(save_game());
  ASSERT_TRUE(set_entered_world(999));
  ASSERT_TRUE(save_game());
  EXPECT_EQ(count_entries(folder), 4);
  EXPECT_TRUE(erase_saved_game(4));
  EXPECT_EQ(count_entries(folder), 0);
}

TEST_F(SavesTest, SaveWithoutSlotIsRefused) {
  cur_game_slot = -1;
  EXPECT_FALSE(save_game());
  EXPECT_STREQ(get_error_message(), "Error saving the game:\nNo slot selected for the saved game");
}

TEST_F(SavesTest, FailedSaveLeavesThePreviousFilesUntouched) {
  new_game(5);
  ASSERT_TRUE(set_entered_world(1));
  ASSERT_TRUE(save_game()) << get_error_message();
  std::string info = read_file(slot_file(5, "info"));
  std::string uni = read_file(slot_file(5, "uni"));
  std::string world = read_file(slot_file(5, "w001"));

  ASSERT_TRUE(run("universe.tag = \"second\"; counter = 42;"));
  HeightmapData::hmap[77] += 5;
  module.fail_save = true;
  EXPECT_FALSE(save_game());
  EXPECT_STREQ(get_error_message(), "Error saving the world:\nerror writing file");
  EXPECT_EQ(read_file(slot_file(5, "info")), info);
  EXPECT_EQ(read_file(slot_file(5, "uni")), uni);
  EXPECT_EQ(read_file(slot_file(5, "w001")), world);
  EXPECT_EQ(count_entries(std::string(get_saved_games_folder().str) + "/5"), 3); // no temporary files

  // A temporary file that can't be created (a folder in its place, which
  // stops root as well): the message names the problem.
  module.fail_save = false;
  ASSERT_EQ(mkdir(slot_file(5, "uni.tmp").c_str(), 0755), 0);
  EXPECT_FALSE(save_game());
  EXPECT_STREQ(get_error_message(), "Error saving the game:\nCan't create output file");
  EXPECT_EQ(read_file(slot_file(5, "info")), info);
  EXPECT_EQ(read_file(slot_file(5, "uni")), uni);
  EXPECT_FALSE(file_exists(slot_file(5, "info.tmp")));
  rmdir(slot_file(5, "uni.tmp").c_str());
  EXPECT_TRUE(save_game()) << get_error_message();
  EXPECT_NE(read_file(slot_file(5, "uni")), uni);
}

TEST_F(SavesTest, InterruptedCommitIsFinishedAndUncommittedTempFilesAreDropped) {
  new_game(6);
  ASSERT_TRUE(save_game());
  std::string old_info = read_file(slot_file(6, "info"));
  std::string old_uni = read_file(slot_file(6, "uni"));
  ASSERT_TRUE(run("universe.tag = \"second\";"));
  ASSERT_TRUE(save_game());
  std::string new_uni = read_file(slot_file(6, "uni"));

  // Crash after the journal was committed, before any rename.
  write_file(slot_file(6, "uni"), old_uni);
  write_file(slot_file(6, "uni.tmp"), new_uni);
  write_file(slot_file(6, "commit"), "RHCOMMIT 1\ninfo\nuni\nend\n");
  ASSERT_TRUE(load_saved_game(6)) << get_error_message();
  EXPECT_EQ(evalString("universe.tag"), "second");
  EXPECT_FALSE(file_exists(slot_file(6, "commit")));
  EXPECT_FALSE(file_exists(slot_file(6, "uni.tmp")));

  // Crash before the journal: the temporary file is ignored and removed.
  write_file(slot_file(6, "uni.tmp"), old_uni);
  ASSERT_TRUE(load_saved_game(6));
  EXPECT_EQ(evalString("universe.tag"), "second");
  EXPECT_FALSE(file_exists(slot_file(6, "uni.tmp")));

  // A journal that names something outside the slot is ignored.
  write_file(slot_file(6, "uni.tmp"), old_uni);
  write_file(slot_file(6, "commit"), "RHCOMMIT 1\n../uni\nend\n");
  ASSERT_TRUE(load_saved_game(6));
  EXPECT_EQ(evalString("universe.tag"), "second");
  EXPECT_EQ(read_file(slot_file(6, "info")), old_info);
}

TEST_F(SavesTest, ScriptCanSaveTheGame) {
  new_game(8);
  ASSERT_TRUE(run("saved <- save_game();"));
  EXPECT_EQ(evalInt("saved ? 1 : 0"), 1);
  EXPECT_TRUE(file_exists(slot_file(8, "uni")));
  cur_game_slot = -1;
  ASSERT_TRUE(run("saved <- save_game();"));
  EXPECT_EQ(evalInt("saved ? 1 : 0"), 0);
}

TEST_F(SavesTest, GlobalResourcesLiveInTheUniverse) {
  EXPECT_EQ(get_glob_res_amount("shard"), 0); // no universe
  EXPECT_FALSE(add_glob_res_amount("shard", 1));
  new_game(1);
  EXPECT_EQ(get_glob_res_amount("shard"), 3);
  EXPECT_EQ(get_glob_res_amount("seed"), 0); // no slot
  EXPECT_TRUE(add_glob_res_amount("seed", 4));
  EXPECT_TRUE(add_glob_res_amount("shard", -1));
  EXPECT_EQ(get_glob_res_amount("seed"), 4);
  EXPECT_EQ(evalInt("universe.resources.shard"), 2);
  EXPECT_EQ(get_glob_res_amount(nullptr), 0);
  ASSERT_TRUE(run("universe.resources = 5;"));
  EXPECT_EQ(get_glob_res_amount("shard"), 0);
  EXPECT_FALSE(add_glob_res_amount("shard", 1));
  EXPECT_EQ(world_hooks.get_glob_res_amount("star"), 0.0f);

  EXPECT_EQ(get_glob_res_id("shard"), 0);
  EXPECT_EQ(get_glob_res_id("seed"), 4);
  EXPECT_EQ(get_glob_res_id("gold"), -1);
  EXPECT_EQ(get_glob_res_id(nullptr), -1);
}

TEST_F(SavesTest, SpellCatalogueFindsRecordsByIdAndClassAndFillsIcons) {
  ASSERT_NE(get_spell_info(79), nullptr);
  EXPECT_STREQ(get_spell_info(79)->class_name, "UsePortalSpell");
  EXPECT_EQ(get_spell_info("GuardTowerSpell")->id, 26);
  EXPECT_STREQ(get_spell_info("GuardTowerSpell")->icon_name, "fireball_tower");
  EXPECT_EQ(get_spell_info("WaterSinkSpell")->param, 101);
  EXPECT_EQ(get_spell_info(0), nullptr);
  EXPECT_EQ(get_spell_info(1), nullptr);
  EXPECT_EQ(get_spell_info("NoSpell"), nullptr);
  EXPECT_EQ(get_spell_info((const char*)nullptr), nullptr);
  int n = 0;
  for (SpellInfo* s = spell_info; s->id; s++) n++;
  EXPECT_EQ(n, NUM_SPELLS);
  EXPECT_STREQ(world_hooks.get_spell_title("LightningSpell"), "Lightning");

  ui_icon_id_hook = [](const char* name) { return strcmp(name, "missing") ? (int)strlen(name) : -1; };
  init_spell_icons();
  EXPECT_EQ(get_spell_info("ClaimManaSpell")->icon_id, (int)strlen("possess_mana"));
  EXPECT_EQ(glob_res_info[3].icon_id, (int)strlen("fallen_star"));
  ui_icon_id_hook = nullptr;
  init_spell_icons();
  EXPECT_EQ(get_spell_info(20)->icon_id, -1);
}
