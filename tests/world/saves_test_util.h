// Set-up of the saved-game tests: a private user-data folder per test (the
// saves live in it), the real world-generation VM running a small world
// script, the universe bound to it, and a stand-in game-object module
// behind the module function table that writes its block with the script
// data functions, as the real module does.
#pragma once
#include <gtest/gtest.h>
#include <squirrel.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/log.h"
#include "core/platform.h"
#include "core/temp_folders.h"
#include "host/gameobj_api.h"
#include "script/scriptData.h"
#include "world/saved_games.h"
#include "world/universe.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"
#include "world/world_simulate.h"
#include "world/world_sim.h"
#include "world_test_util.h"

namespace saves_test {

inline const char* const world_script = R"(
if (!("generated" in getroottable())) generated <- 0;
counter <- 0;
events <- [];
function generate_world(kind) {
  generated++;
  add_simplex_noise(0.0, 8.0, 4, 2, 0.5);
}
function generate_universe() {
  return { worlds = [{ name = "A" }, { name = "B" }, { name = "C" }], enteredWorld = -1,
           resources = { shard = 3 }, tag = "first" };
}
function process_event(e) { events.append(e); }
function get_savegame_globals() { return { counter = counter }; }
)";

// What the stand-in module saw.
struct ModuleLog {
  int removed = 0, deleted = 0, saved = 0, loaded = 0, spells_saved = 0, spells_loaded = 0;
  int created = 0, spell_ops = 0, gui_opened = 0, menu_updates = 0, messages = 0, steps = 0;
  int play_mode = 0, universe_mode = 0;
  bool has_portal = false;
  bool fail_save = false;
  std::string sounds;
};
inline ModuleLog module;
inline int player_dummy = 0;

inline std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}
inline void write_file(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << data;
}
inline bool file_exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// The module's block: the world script's globals and a marker.
inline void stand_in_save(OutputStream& out) {
  module.saved++;
  if (module.fail_save) throw OutputStream::Exception("error writing file", -1);
  SqObject globals = get_savegame_globals();
  save_script_data(globals, out);
  save_script_refs(out);
  out.writeInt(0x600DB10C);
}
inline void stand_in_load(InputStream& in) {
  module.loaded++;
  load_script_data(in, world_gen_vm.vm);
  if (in.readInt() != 0x600DB10C) throw InputStream::Exception("bad game-object block", in.tell());
  finish_loading_script_data(world_gen_vm.vm);
}

// Every persistent grid, water included.
inline uint64_t grids_hash() {
  uint64_t h = world_hash();
  h = hash_bytes(HeightmapData::target_hmap, HMAP_CELLS * sizeof(float), h);
  return hash_bytes(HeightmapData::waterCells(), HMAP_CELLS * sizeof(HeightmapData::Water), h);
}

inline void make_some_world() {
  for (int i = 0; i < HMAP_CELLS; i++) {
    HeightmapData::hmap[i] = (float)((i * 7919) % 113) * 0.1f;
    HeightmapData::target_hmap[i] = HeightmapData::hmap[i] + (i % 3);
    HeightmapData::waterCells()[i].depth = (i % 5 == 0) ? 0.3f : 0.0f;
  }
}

inline void install_stand_in_module() {
  module = ModuleLog();
  gameobj_api = GameObjApi{};
  gameobj_api.remove_all_gameobj = [] { module.removed++; };
  gameobj_api.delete_gameobj = [](BaseObject*) { module.deleted++; };
  gameobj_api.save_gameobjs = stand_in_save;
  gameobj_api.load_gameobjs = stand_in_load;
  gameobj_api.save_spells = [] { module.spells_saved++; };
  gameobj_api.load_spells = [] { module.spells_loaded++; };
  gameobj_api.create_player = [](const Vec4f&) {
    module.created++;
    return (Player*)&player_dummy;
  };
  gameobj_api.player_has_spell = [](const char* s) { return module.has_portal && !strcmp(s, "UsePortalSpell"); };
  gameobj_api.player_spell_op = [](Player*, int a, int b) { module.spell_ops += a * 1000 + b; };
  gameobj_api.open_universe_gui = [] { module.gui_opened++; };
  gameobj_api.update_game_menu = [](float) { module.menu_updates++; };
  gameobj_api.show_screen_message = [](const char* t) { module.messages += t[0] == 0; };
  gameobj_api.show_screen_sub_message = [](const char* t) { module.messages += t[0] == 0; };
  saved_game_hooks = SavedGameHooks{};
  saved_game_hooks.set_play_mode = [] { module.play_mode++; };
  saved_game_hooks.set_universe_mode = [] { module.universe_mode++; };
  world_hooks.play_sound_event = [](const char* name) { module.sounds += name; };
  // The program's simulation: the land and water steps, one module update each.
  world_hooks.simulate_world = [](float seconds) { module.steps += simulate_world_headless(seconds); };
}

} // namespace saves_test

class SavesTest : public ::testing::Test {
protected:
  std::string dir;       // content folder (app_path)
  std::string data_home; // XDG_DATA_HOME of this test
  TempDir home_tmp{"rh_saves_home"}, content_tmp{"rh_saves_data"}; // removed after TearDown
  char saved_app_path[sizeof app_path];

  void SetUp() override {
    world_test_fresh();
    init_time_base();
    close_debug_log();
    data_home = home_tmp.path();
    setenv("XDG_DATA_HOME", data_home.c_str(), 1);
    dir = content_tmp.path() + "/";
    mkdir((dir + "gen").c_str(), 0755);
    saves_test::write_file(dir + "gen/main.nut", saves_test::world_script);
    saves_test::write_file(dir + "gen/palettes.csv", "name,water\ntest,0xFF0000FF\n");
    memcpy(saved_app_path, app_path, sizeof app_path);
    snprintf(app_path, sizeof app_path, "%s", dir.c_str());
    set_error_message(nullptr);
    world_hooks = WorldHooks{};
    saved_world_state = SavedWorldState{};
    universe_init();
    saves_test::install_stand_in_module();
    world_sim_init();
    ASSERT_TRUE(init_world_gen_vm()) << get_error_message();
  }
  void TearDown() override {
    universe_close();
    close_world_gen_vm();
    world_sim_close();
    world_hooks = WorldHooks{};
    gameobj_api = GameObjApi{};
    saved_game_hooks = SavedGameHooks{};
    memcpy(app_path, saved_app_path, sizeof app_path);
    set_error_message(nullptr);
    close_debug_log();
  }

  std::string slot_file(int slot, const char* name) { return get_saved_game_path(slot, name).str; }

  // A new game in `slot`: the universe generated by the script.
  void new_game(int slot) {
    generate_universe();
    ASSERT_FALSE(universe.isNull()) << get_error_message();
    cur_game_slot = slot;
  }

  SqObject eval(const std::string& expr) {
    HSQUIRRELVM vm = world_gen_vm.vm;
    std::string code = "return (" + expr + ");";
    SQInteger top = sq_gettop(vm);
    SqObject r;
    if (SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), "eval", SQTrue))) {
      sq_pushroottable(vm);
      if (SQ_SUCCEEDED(sq_call(vm, 1, SQTrue, SQTrue))) r = SqObject::fromStack(vm, -1);
    }
    sq_settop(vm, top);
    return r;
  }
  int evalInt(const std::string& expr) {
    SqObject o = eval(expr);
    return o.type() == OT_INTEGER ? (int)sq_objtointeger(&o.o) : -9999;
  }
  std::string evalString(const std::string& expr) {
    SqObject o = eval(expr);
    return o.type() == OT_STRING ? sq_objtostring(&o.o) : "<not a string>";
  }
  bool run(const std::string& code) {
    HSQUIRRELVM vm = world_gen_vm.vm;
    SQInteger top = sq_gettop(vm);
    bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), "test.nut", SQTrue));
    if (ok) {
      sq_pushroottable(vm);
      ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
    }
    sq_settop(vm, top);
    return ok;
  }
};
