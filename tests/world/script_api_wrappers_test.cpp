// The world script's entry points through the host's wrappers: defaults
// and error texts, colour results, world generation with the module's
// hooks, and the hot reload of the script and the palettes.
#include <sys/stat.h>
#include <sys/time.h>

#include <cstring>

#include "world/worldScript.h"
#include "world/world_hooks.h"
#include "worldgen_test_util.h"

namespace {

const char* const test_script = R"(
if (!("generated" in getroottable())) generated <- 0;
pal_mode <- "int";
flag <- true;
function generate_world(kind) {
  generated++;
  add_simplex_noise(0.0, 8.0, 4, 2, 0.5);
  set_player_pos(vec4f(5.0, 1.0, 6.0, 1.0));
  if (kind == "broken") throw "half done";
}
function generate_universe() { return { worlds = [{ name = "A" }], enteredWorld = -1 }; }
function get_world_tooltip(w) { return "world " + w; }
function get_cur_pal_color(name) {
  if (pal_mode == "int") return 0x80FF0000;
  if (pal_mode == "vec") return vec4f(2.0, 0.5, -1.0, 1.0);
  if (pal_mode == "palette") return world_palettes.test[name];
  throw "no colour " + name;
}
function get_savegame_globals() { return { generated = generated }; }
)";

int removed = 0, created = 0;
bool local_player = false;

class WorldScriptTest : public ::testing::Test {
protected:
  std::string dir;
  char saved_app_path[sizeof app_path];

  void SetUp() override {
    world_test_fresh();
    init_time_base();
    set_error_message(nullptr);
    memcpy(saved_app_path, app_path, sizeof app_path);
    dir = wg_temp_dir();
    mkdir((dir + "gen").c_str(), 0755);
    wg_write_file(dir + "gen/main.nut", test_script);
    wg_write_file(dir + "gen/palettes.csv", "name,water\ntest,0xFF0000FF\n");
    snprintf(app_path, sizeof app_path, "%s", dir.c_str());
    removed = created = 0;
    local_player = false;
    world_hooks = WorldHooks{};
    world_hooks.remove_all_gameobj = [] { removed++; };
    world_hooks.has_local_player = [] { return local_player; };
    world_hooks.create_player = [](const Vec4f&) { created++; };
    ASSERT_TRUE(init_world_gen_vm()) << get_error_message();
  }
  void TearDown() override {
    close_world_gen_vm();
    world_hooks = WorldHooks{};
    memcpy(app_path, saved_app_path, sizeof app_path);
    set_error_message(nullptr);
  }
  void set_global(const char* name, const char* value) {
    HSQUIRRELVM v = world_gen_vm.vm;
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_pushstring(v, value, -1);
    sq_newslot(v, -3, SQFalse);
    sq_poptop(v);
  }
  // Rewrites a file with a modification time clearly different from before.
  void touch_write(const std::string& path, const std::string& text, int seconds_ahead) {
    wg_write_file(path, text);
    struct timeval tv[2];
    gettimeofday(&tv[0], nullptr);
    tv[0].tv_sec += seconds_ahead;
    tv[1] = tv[0];
    utimes(path.c_str(), tv);
  }
};

TEST_F(WorldScriptTest, MissingOptionalEntriesAreSilent) {
  update_world_script(0.05f);
  activate_current_world();
  EXPECT_FALSE(has_error_message());
}

TEST_F(WorldScriptTest, MissingMandatoryEntriesAreReported) {
  world_script_str_event("enter_world");
  EXPECT_STREQ(get_error_message(), "Error in world script:\nNo 'process_event' function in script");
  set_world_pal_color("water", 0xFF000000u);
  EXPECT_STREQ(get_error_message(), "Error in world script:\nNo 'set_pal_color' function in script");
  SqObject m = get_world_ctx_menu(SqObject());
  EXPECT_TRUE(m.isNull());
  EXPECT_STREQ(get_error_message(), "Error in world script:\nNo 'get_world_ctx_menu' function in script");
}

TEST_F(WorldScriptTest, PaletteColourResults) {
  EXPECT_EQ(get_cur_pal_color("water"), 0x80FF0000u);
  set_global("pal_mode", "vec");
  EXPECT_EQ(get_cur_pal_color("water"), 0xFFFF8000u); // 2 -> 255, 0.5 -> 128, -1 -> 0
  set_global("pal_mode", "palette");
  EXPECT_EQ(get_cur_pal_color("water"), 0xFF0000FFu);
  EXPECT_FALSE(has_error_message());
  set_global("pal_mode", "error");
  EXPECT_EQ(get_cur_pal_color("water"), 0xFFFF00FFu);
  // The script's own text goes to the log with the call stack.
  EXPECT_STREQ(get_error_message(), "Error in world script:\nSqFunc<> call failed");
}

TEST_F(WorldScriptTest, ValuesAndBools) {
  SqObject tip = get_world_tooltip(SqObject());
  ASSERT_EQ(tip.type(), OT_STRING);
  EXPECT_STREQ(sq_objtostring(&tip.o), "world null");
  EXPECT_TRUE(get_world_script_bool("flag", 0));
  EXPECT_FALSE(get_world_script_bool("no_such_global", 0));
  EXPECT_TRUE(get_world_script_bool("no_such_global", 1));
  EXPECT_EQ(get_savegame_globals().type(), OT_TABLE);
}

TEST_F(WorldScriptTest, GenerationCopiesTargetsAndKeepsThePlayer) {
  generate_world("game");
  EXPECT_FALSE(has_error_message());
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(memcmp(HeightmapData::hmap, HeightmapData::target_hmap, sizeof(float) * HMAP_CELLS), 0);
  EXPECT_FLOAT_EQ(world_player_start_pos.x, 5.0f);
  local_player = true; // a regenerated world keeps the local player
  generate_world("game");
  EXPECT_EQ(removed, 2);
  EXPECT_EQ(created, 1);
}

TEST_F(WorldScriptTest, FailedGenerationKeepsTheTerrainAndReports) {
  generate_world("broken");
  EXPECT_STREQ(get_error_message(), "Error in world gen script:\nSqFunc<> call failed");
  float lo, hi;
  HeightmapData::calcHtRange(lo, hi);
  EXPECT_GT(hi, lo); // the noise made before the error stays
}

TEST_F(WorldScriptTest, UniverseResultIsKept) {
  SqObject seen;
  static SqObject* out = &seen;
  world_hooks.set_universe = [](const SqObject& u) { *out = u; };
  generate_universe();
  EXPECT_FALSE(has_error_message());
  EXPECT_EQ(seen.type(), OT_TABLE);
  EXPECT_TRUE(generated_universe.sameAs(seen));
  seen.reset();
}

TEST_F(WorldScriptTest, ChangedScriptIsReloadedAndTheWorldRegenerated) {
  reload_world_scripts(); // nothing changed
  EXPECT_EQ(wg_eval_int(world_gen_vm.vm, "generated"), 0);
  touch_write(dir + "gen/main.nut", std::string(test_script) + "function update_script(dt) { generated += 100; }\n", 5);
  reload_world_scripts();
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_EQ(wg_eval_int(world_gen_vm.vm, "generated"), 1); // kept across the reload, then generated
  update_world_script(0.05f); // the new entry is bound
  EXPECT_EQ(wg_eval_int(world_gen_vm.vm, "generated"), 101);
  // A palette change regenerates too and reloads the table.
  touch_write(dir + "gen/palettes.csv", "name,water\ntest,0xFF00FF00\n", 10);
  reload_world_scripts();
  set_global("pal_mode", "palette");
  EXPECT_EQ(get_cur_pal_color("water"), 0xFF00FF00u);
  EXPECT_EQ(wg_eval_int(world_gen_vm.vm, "generated"), 102);
  // A broken script is reported; the old functions stay.
  touch_write(dir + "gen/main.nut", "function generate_world(kind) {", 15);
  reload_world_scripts();
  EXPECT_NE(std::string(get_error_message()).find("Error in world gen script:"), std::string::npos);
}

} // namespace
