// The world script's entry points, their wrappers, world and universe
// generation, and the script's hot reload.
//
// Every wrapper catches SquirrelError, shows it and returns its default, so
// a broken script never stops the program; a generation that fails part way
// keeps the terrain the script produced up to the error.
#include "world/worldScript.h"

#include <cinttypes>
#include <clocale>
#include <cstring>
#include <ctime>

#include "core/log.h"
#include "core/platform.h"
#include "core/stats_tracker.h"
#include "core/game_rnd.h"
#include "script/sqMath.h"
#include "world/heightmap.h"
#include "world/worldGenVM.h"
#include "world/world_hooks.h"

WorldHooks world_hooks;

Vec4f world_script_sun_dir = {0.5f, 0.7f, 0.3f, 0};
TempString<64> world_script_sky_name;
SqObject generated_universe;
int last_generate_world_ms = 0;

namespace {

struct EntryPoints {
  SqFunc<void> generate_world;
  SqFunc<SqObject> generate_universe;
  SqFunc<SqObject> get_world_tooltip;
  SqFunc<SqObject> get_world_ctx_menu;
  SqFunc<void> process_event;
  SqFunc<void> update_script;
  SqFunc<void> activate_current_world;
  SqFunc<void> set_pal_color;
  SqFunc<SqObject> get_cur_pal_color;
  SqFunc<SqObject> get_savegame_globals;
} entry;

template <class R>
void bind_entry(SqFunc<R>& f, const SqObject& root, const char* name) {
  f.reset();
  HSQUIRRELVM v = root.vm;
  SQInteger top = sq_gettop(v);
  root.push(v);
  sq_pushstring(v, name, -1);
  if (SQ_SUCCEEDED(sq_rawget(v, -2))) {
    SqObject fn = SqObject::fromStack(v, -1);
    if (fn.type() == OT_CLOSURE || fn.type() == OT_NATIVECLOSURE) f.bind(root, fn);
  } else {
    sq_reseterror(v);
  }
  sq_settop(v, top);
}

template <class R>
void require(SqFunc<R>& f, const char* name) {
  if (f.isNull()) {
    char text[128];
    snprintf(text, sizeof text, "No '%s' function in script", name);
    throw SquirrelError(text);
  }
}

void show_error(const char* format, const SquirrelError& e) {
  TempString<600> msg;
  msg.format(format, e.what());
  set_error_message(msg);
}

const char* const world_error = "Error in world script:\n%s";
const char* const gen_error = "Error in world gen script:\n%s";

void show_splash_text(const char* text) {
  if (world_hooks.grab_scene_as_splash) world_hooks.grab_scene_as_splash();
  if (world_hooks.show_splash) world_hooks.show_splash(text, -1.0f);
}

void collect_garbage() {
  if (world_gen_vm.vm) sq_collectgarbage(world_gen_vm.vm);
}

} // namespace

// {===== Binding

void bind_world_script() {
  if (!world_gen_vm.vm) return;
  SqObject root = sqbind::root_table(world_gen_vm.vm);
  bind_entry(entry.generate_world, root, "generate_world");
  bind_entry(entry.generate_universe, root, "generate_universe");
  bind_entry(entry.get_world_tooltip, root, "get_world_tooltip");
  bind_entry(entry.get_world_ctx_menu, root, "get_world_ctx_menu");
  bind_entry(entry.process_event, root, "process_event");
  bind_entry(entry.update_script, root, "update_script");
  bind_entry(entry.activate_current_world, root, "activate_current_world");
  bind_entry(entry.set_pal_color, root, "set_pal_color");
  bind_entry(entry.get_cur_pal_color, root, "get_cur_pal_color");
  bind_entry(entry.get_savegame_globals, root, "get_savegame_globals");
}

void unbind_world_script() {
  entry = EntryPoints();
  generated_universe.reset();
}

void world_script_reset_state() {
  world_script_sun_dir = Vec4f{0.5f, 0.7f, 0.3f, 0};
  world_script_sky_name = "";
  world_player_start_pos = Vec4f{0, 0, 0, 1};
}

// {===== Generation

void generate_world(const char* kind) {
  set_error_message(nullptr);
  show_splash_text("Generating new world...");
  int64_t t0 = get_ref_time();

  if (world_hooks.remove_all_gameobj) world_hooks.remove_all_gameobj();
  if (world_hooks.reset_common_fx) world_hooks.reset_common_fx();
  HeightmapData::reset();
  world_player_start_pos = Vec4f{0, 0, 0, 1};

  debug("game_rnd_seed=%" PRIu64 ";", game_rnd_seed);
  try {
    require(entry.generate_world, "generate_world");
    entry.generate_world(kind);
  } catch (const SquirrelError& e) {
    show_error(gen_error, e);
  }
  collect_garbage();

  memcpy(HeightmapData::target_hmap, HeightmapData::hmap, sizeof(float) * HMAP_CELLS);
  memcpy(HeightmapData::tmpwCells(), HeightmapData::waterCells(), sizeof(HeightmapData::Water) * HMAP_CELLS);
  if (world_hooks.reset_terrain_renderer) world_hooks.reset_terrain_renderer();
  if (world_hooks.reset_world_time) world_hooks.reset_world_time();

  if (world_hooks.create_player && !(world_hooks.has_local_player && world_hooks.has_local_player()))
    world_hooks.create_player(world_player_start_pos);
  try {
    if (world_hooks.has_universe && world_hooks.has_universe() && world_hooks.fetch_universe_data)
      world_hooks.fetch_universe_data();
  } catch (const SquirrelError& e) {
    show_error(gen_error, e);
  }

  if (world_hooks.reset_frame_time) world_hooks.reset_frame_time();
  last_generate_world_ms = get_time_msec(get_ref_time() - t0);
  debug("generated world in %d ms", last_generate_world_ms);
}

void generate_universe() {
  set_error_message(nullptr);
  show_splash_text("Generating new universe...");
  int64_t t0 = get_ref_time();
  if (world_hooks.release_universe_data) world_hooks.release_universe_data();
  generated_universe.reset();

  debug("game_rnd_seed=%" PRIu64 ";", game_rnd_seed);
  try {
    require(entry.generate_universe, "generate_universe");
    generated_universe = entry.generate_universe();
    if (world_hooks.set_universe) world_hooks.set_universe(generated_universe);

    char name[128] = "";
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    locale_t c_locale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    if (c_locale) {
      strftime_l(name, sizeof name, "Started %x %X in v0.26 DEMO", &local, c_locale);
      freelocale(c_locale);
    }
    HSQUIRRELVM v = world_gen_vm.vm;
    SQInteger top = sq_gettop(v);
    sq_newtable(v);
    sq_pushstring(v, "name", -1);
    sq_pushstring(v, name, -1);
    sq_newslot(v, -3, SQFalse);
    SqObject info = SqObject::fromStack(v, -1);
    sq_settop(v, top);
    if (world_hooks.set_cur_game_info) world_hooks.set_cur_game_info(info);
  } catch (const SquirrelError& e) {
    show_error(gen_error, e);
  }

  try {
    if (world_hooks.fetch_universe_data) world_hooks.fetch_universe_data();
    if (world_hooks.init_spell_grid) world_hooks.init_spell_grid();
  } catch (const SquirrelError& e) {
    show_error(gen_error, e);
  }
  collect_garbage();
  debug("generated universe in %d ms", get_time_msec(get_ref_time() - t0));
}

// {===== Wrappers

SqObject get_world_tooltip(const SqObject& world) {
  try {
    require(entry.get_world_tooltip, "get_world_tooltip");
    return entry.get_world_tooltip(world);
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
    return SqObject();
  }
}

SqObject get_world_ctx_menu(const SqObject& world) {
  try {
    require(entry.get_world_ctx_menu, "get_world_ctx_menu");
    return entry.get_world_ctx_menu(world);
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
    return SqObject();
  }
}

void world_script_event(const SqObject& event) {
  try {
    require(entry.process_event, "process_event");
    entry.process_event(event);
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
  }
}

void world_script_str_event(const char* event) {
  try {
    require(entry.process_event, "process_event");
    entry.process_event(event);
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
  }
}

UpdateStatsTracker worldScriptTiming("world script");

void update_world_script(float dt) {
  if (entry.update_script.isNull()) return;
  ScopedStatsTiming timing(worldScriptTiming);
  try {
    entry.update_script(dt);
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
  }
}

void activate_current_world() {
  if (entry.activate_current_world.isNull()) return;
  try {
    entry.activate_current_world();
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
  }
}

void set_world_pal_color(const char* name, unsigned int color) {
  try {
    require(entry.set_pal_color, "set_pal_color");
    entry.set_pal_color(name, (int)color);
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
  }
}

D3dColor get_cur_pal_color(const char* name) {
  try {
    require(entry.get_cur_pal_color, "get_cur_pal_color");
    SqObject r = entry.get_cur_pal_color(name);
    if (r.type() == OT_INTEGER) return (D3dColor)r.o._unVal.nInteger;
    HSQUIRRELVM v = entry.get_cur_pal_color.vm;
    SQInteger top = sq_gettop(v);
    r.push(v);
    try {
      Vec4f c = script_get_vec4f(v, sq_gettop(v), false);
      sq_settop(v, top);
      return vec4f_to_d3d_color(c);
    } catch (...) {
      sq_settop(v, top);
      throw;
    }
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
    return 0xFFFF00FFu;
  }
}

SqObject get_savegame_globals() {
  try {
    require(entry.get_savegame_globals, "get_savegame_globals");
    return entry.get_savegame_globals();
  } catch (const SquirrelError& e) {
    show_error(world_error, e);
    return SqObject();
  }
}

bool get_world_script_bool(const char* name, int default_value) {
  HSQUIRRELVM v = world_gen_vm.vm;
  if (!v) return default_value != 0;
  SQInteger top = sq_gettop(v);
  sq_pushroottable(v);
  sq_pushstring(v, name, -1);
  bool result = default_value != 0;
  if (SQ_SUCCEEDED(sq_get(v, -2))) {
    SQBool b = SQFalse;
    sq_tobool(v, -1, &b);
    result = b != 0;
  } else {
    sq_reseterror(v);
  }
  sq_settop(v, top);
  return result;
}

// {===== Hot reload

void reload_world_scripts() {
  if (!world_gen_vm.vm) return;
  bool script_changed = world_gen_vm.needsReload();
  bool data_changed = world_gen_data_changed();
  if (!script_changed && !data_changed) return;
  set_error_message(nullptr);
  try {
    if (script_changed) {
      if (!world_gen_vm.reloadScripts(true)) throw SquirrelError(world_gen_vm.vm);
      bind_world_script();
    }
    if (data_changed) reload_world_gen_data();
    if (world_hooks.in_universe_view && world_hooks.in_universe_view()) {
      generate_universe();
      if (world_hooks.refresh_universe_screen) world_hooks.refresh_universe_screen();
    } else {
      generate_world("game");
    }
  } catch (const SquirrelError& e) {
    show_error(gen_error, e);
  }
}
