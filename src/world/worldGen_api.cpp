// The world-generation VM: set-up, the global generator, mark, noise and
// host functions, the constants, and the palette data with its reload.
#include <cinttypes>
#include <cstdio>

#include "core/input.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/ramp.h"
#include "script/sqMath.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/palettes.h"
#include "world/worldGenVM.h"
#include "world/worldGen_local.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"

using namespace HeightmapData;
using namespace wgbind;

WorldGenVM world_gen_vm;
Vec4f world_player_start_pos = {0, 0, 0, 1};
int64_t world_palettes_file_time = 0;

static const char* const palettes_file = "gen/palettes.csv";

namespace {

// {===== Generators

const ColorRamp* opt_color_ramp(HSQUIRRELVM v, int n) {
  SqColorRamp* r = arg_inst_or_null<SqColorRamp>(v, n);
  return r ? &r->ramp : nullptr;
}
const FloatRamp* opt_float_ramp(HSQUIRRELVM v, int n) {
  SqFloatRamp* r = arg_inst_or_null<SqFloatRamp>(v, n);
  return r ? &r->ramp : nullptr;
}

SQInteger fn_place_house(HSQUIRRELVM v) {
  need_args(v, 3);
  placeHouse(arg_int(v, 0), arg_int(v, 1), arg_int(v, 2), hmap, false);
  return 0;
}

SQInteger fn_add_fast_noise(HSQUIRRELVM v) {
  need_args(v, 6);
  addFastNoise(arg_float(v, 0), arg_float(v, 1), opt_color_ramp(v, 2), arg_int(v, 3), arg_int(v, 4),
               arg_float(v, 5));
  return 0;
}

SQInteger fn_add_simplex_noise(HSQUIRRELVM v) {
  need_args(v, 5);
  addSimplexNoise(arg_float(v, 0), arg_float(v, 1), arg_int(v, 2), arg_int(v, 3), arg_float(v, 4));
  return 0;
}

SQInteger fn_gen_fault(HSQUIRRELVM v) {
  need_args(v, 9);
  genFault(Point2{arg_float(v, 0), arg_float(v, 1)}, Point2{arg_float(v, 2), arg_float(v, 3)},
           arg_float(v, 4), arg_float(v, 5), arg_float(v, 6), opt_color_ramp(v, 7), arg_int(v, 8), 255,
           hmap);
  return 0;
}

SQInteger fn_gen_crater(HSQUIRRELVM v) {
  need_args(v, 4);
  genCrater(Point2{arg_float(v, 0), arg_float(v, 1)}, arg_float(v, 2), arg_float(v, 3), hmap);
  return 0;
}

SQInteger fn_add_voronoi_hills(HSQUIRRELVM v) {
  need_args(v, 4);
  addVoronoiHills(arg_int(v, 0), arg_float(v, 1), arg_float(v, 2), arg_float(v, 3));
  return 0;
}

SQInteger fn_gen_voronoi_faults(HSQUIRRELVM v) {
  need_args(v, 7);
  genVoronoiFaults(arg_int(v, 0), arg_float(v, 1), arg_float(v, 2), arg_float(v, 3), arg_int(v, 4),
                   arg_int(v, 5), arg_float(v, 6));
  return 0;
}

float fn_recenter_hmap() { return recenterHt(); }

SQInteger fn_flatten_circle(HSQUIRRELVM v) {
  need_args(v, 6);
  flatten_circle(arg_float(v, 0), arg_float(v, 1), arg_float(v, 2), arg_float(v, 3), arg_float(v, 4),
                 arg_float(v, 5), hmap);
  return 0;
}

float fn_get_average_circle_height(float x, float z, float r) { return get_average_circle_height(x, z, r, hmap); }

// {===== Erosion

// Parameters read from the script's table; the period callback calls the
// script's "onPeriod" with the root table as `this`.
class ScriptErosionParams : public ErosionParams {
public:
  SqFunc<void> period;
  void onPeriod() override {
    if (!period.isNull()) period();
  }
};

// Pushes table[key] when the table has it.
bool push_table_value(HSQUIRRELVM v, SQInteger table, const char* key) {
  sq_pushstring(v, key, -1);
  if (SQ_SUCCEEDED(sq_get(v, table))) return true;
  sq_reseterror(v);
  return false;
}

void read_float_key(HSQUIRRELVM v, SQInteger table, const char* key, float& out) {
  if (!push_table_value(v, table, key)) return;
  SQFloat f;
  bool ok = SQ_SUCCEEDED(sq_getfloat(v, -1, &f));
  sq_poptop(v);
  if (!ok) throw SquirrelError("gen_droplet_erosion(): parameter must be a number");
  out = f;
}

void read_reactions(HSQUIRRELVM v, SQInteger table, ErosionParams& p) {
  if (!push_table_value(v, table, "reactions")) return;
  SQInteger arr = sq_gettop(v);
  if (sq_gettype(v, arr) != OT_ARRAY) throw SquirrelError("gen_droplet_erosion(): reactions must be an array");
  SQInteger n = sq_getsize(v, arr);
  for (SQInteger i = 0; i < n; i++) {
    sq_pushinteger(v, i);
    sq_get(v, arr);
    SQInteger r = sq_gettop(v);
    if (sq_gettype(v, r) != OT_ARRAY || sq_getsize(v, r) < 3)
      throw SquirrelError("gen_droplet_erosion(): a reaction is [from, to, rate]");
    Vec4f fv[2];
    for (int k = 0; k < 2; k++) {
      sq_pushinteger(v, k);
      sq_get(v, r);
      fv[k] = script_get_vec4f(v, sq_gettop(v), false);
      sq_poptop(v);
    }
    sq_pushinteger(v, 2);
    sq_get(v, r);
    SQFloat rate = 0;
    if (SQ_FAILED(sq_getfloat(v, -1, &rate))) throw SquirrelError("gen_droplet_erosion(): reaction rate must be a number");
    sq_settop(v, r - 1);
    p.addReaction(fv[0], fv[1], rate);
  }
  sq_settop(v, arr - 1);
}

SQInteger fn_gen_droplet_erosion(HSQUIRRELVM v) {
  need_args(v, 1);
  int count = arg_int(v, 0);
  ScriptErosionParams p;
  SQInteger top = sq_gettop(v);
  if (!arg_null(v, 1)) {
    if (sq_gettype(v, 3) != OT_TABLE) throw SquirrelError("gen_droplet_erosion(): parameters must be a table");
    try {
      read_float_key(v, 3, "Kq", p.Kq);
      read_float_key(v, 3, "Kw", p.Kw);
      read_float_key(v, 3, "Kr", p.Kr);
      read_float_key(v, 3, "Kd", p.Kd);
      read_float_key(v, 3, "Ki", p.Ki);
      read_float_key(v, 3, "minSlope", p.minSlope);
      read_float_key(v, 3, "g", p.g);
      read_float_key(v, 3, "depositBlend", p.depositBlend);
      read_float_key(v, 3, "reactionTime", p.reactionTime);
      read_reactions(v, 3, p);
      if (push_table_value(v, 3, "onPeriod")) {
        SqObject fn = SqObject::fromStack(v, -1);
        sq_poptop(v);
        if (!fn.isNull()) {
          p.period.bind(sqbind::root_table(v), fn);
          float step = (float)p.periodStep;
          read_float_key(v, 3, "periodStep", step);
          p.periodStep = step >= 1.0f ? (int)step : 1;
        }
      }
    } catch (...) {
      sq_settop(v, top);
      throw;
    }
  }
  genDropletErosion((unsigned)(count > 0 ? count : 0), p);
  return 0;
}

// {===== Marks and noise

void fn_mark_rect(int x0, int z0, int x1, int z1, int set, int clear) { mark_rect(x0, z0, x1, z1, set, clear); }
void fn_mark_circle(float x, float z, float r, int set, int clear) { mark_circle(x, z, r, set, clear); }
void fn_mark_water(float level, int set, int clear) { mark_water(level, set, clear); }
bool fn_test_rect_mark(int x0, int z0, int x1, int z1, int mask, int value) {
  return test_rect_mark(x0, z0, x1, z1, mask, value);
}
bool fn_test_circle_mark(float x, float z, float r, int mask, int value) { return test_circle_mark(x, z, r, mask, value); }

void fn_reseed_noise() { reseed_noise(); }
float fn_noise1(float x) { return noise1(x); }
float fn_tiled_noise2(float x, float z, float period) { return tiled_noise2(x, z, period); }
int fn_hash1(int i) { return get_noise_hash1(i); }
int fn_hash2(int i, int j) { return get_noise_hash2(i, j); }

SQInteger fn_fractal_noise1(HSQUIRRELVM v) {
  need_args(v, 4);
  sq_pushfloat(v, fractal_noise1(arg_int(v, 0), opt_float_ramp(v, 1), arg_float(v, 2), arg_float(v, 3)));
  return 1;
}

SQInteger fn_tiled_fractal_noise2(HSQUIRRELVM v) {
  need_args(v, 6);
  sq_pushfloat(v, tiled_fractal_noise2(arg_int(v, 0), opt_float_ramp(v, 1), arg_float(v, 2), arg_float(v, 3),
                                       arg_float(v, 4), arg_float(v, 5)));
  return 1;
}

// {===== Host services

SQInteger fn_set_sun_dir(HSQUIRRELVM v) {
  need_args(v, 1);
  Vec4f d = script_get_vec4f(v, 2, false);
  world_script_sun_dir = d;
  if (world_hooks.set_sun_dir) world_hooks.set_sun_dir(d);
  return 0;
}

SQInteger fn_set_sky_name(HSQUIRRELVM v) {
  need_args(v, 1);
  const char* name = arg_str(v, 0);
  world_script_sky_name = name;
  if (world_hooks.set_sky_name) world_hooks.set_sky_name(name);
  return 0;
}

SQInteger fn_set_player_pos(HSQUIRRELVM v) {
  need_args(v, 1);
  world_player_start_pos = script_get_vec4f(v, 2, false);
  return 0;
}

void fn_play_sound_event(const char* name) {
  if (world_hooks.play_sound_event) world_hooks.play_sound_event(name);
}

const char* fn_get_spell_icon_name(const char* spell) {
  const char* r = world_hooks.get_spell_icon_name ? world_hooks.get_spell_icon_name(spell) : nullptr;
  return r ? r : "";
}

const char* fn_get_spell_title(const char* spell) {
  const char* r = world_hooks.get_spell_title ? world_hooks.get_spell_title(spell) : nullptr;
  return r ? r : "";
}

float fn_get_glob_res_amount(const char* res) {
  return world_hooks.get_glob_res_amount ? world_hooks.get_glob_res_amount(res) : 0.0f;
}

SQInteger fn_get_assigned_button_name(HSQUIRRELVM v) {
  need_args(v, 1);
  TempString<260> name = get_button_key_name(arg_int(v, 0));
  sq_pushstring(v, name.str, -1);
  return 1;
}

void fn_show_splash(const char* text, float progress) {
  if (world_hooks.show_splash) world_hooks.show_splash(text, progress);
}

// Prints a value to the log, containers one level per indent, at most 4 deep.
void print_value(HSQUIRRELVM v, SQInteger idx, int depth, const char* prefix) {
  char pad[16] = {};
  for (int i = 0; i < depth && i < 7; i++) pad[2 * i] = pad[2 * i + 1] = ' ';
  switch (sq_gettype(v, idx)) {
  case OT_NULL: debug("%s%snull", pad, prefix); return;
  case OT_INTEGER: {
    SQInteger i = 0;
    sq_getinteger(v, idx, &i);
    debug("%s%s%d", pad, prefix, (int)i);
    return;
  }
  case OT_FLOAT: {
    SQFloat f = 0;
    sq_getfloat(v, idx, &f);
    debug("%s%s%g", pad, prefix, f);
    return;
  }
  case OT_BOOL: {
    SQBool b = 0;
    sq_getbool(v, idx, &b);
    debug("%s%s%s", pad, prefix, b ? "true" : "false");
    return;
  }
  case OT_STRING: {
    const SQChar* s = "";
    sq_getstring(v, idx, &s);
    debug("%s%s\"%s\"", pad, prefix, s);
    return;
  }
  case OT_TABLE:
  case OT_ARRAY: {
    bool table = sq_gettype(v, idx) == OT_TABLE;
    debug("%s%s%s", pad, prefix, table ? "{" : "[");
    if (depth < 4) {
      SQInteger top = sq_gettop(v);
      sq_pushnull(v);
      while (SQ_SUCCEEDED(sq_next(v, idx))) {
        char key[64] = "";
        if (table) {
          const SQChar* k = nullptr;
          SQInteger ki = 0;
          if (SQ_SUCCEEDED(sq_getstring(v, -2, &k))) snprintf(key, sizeof key, "%s = ", k);
          else if (SQ_SUCCEEDED(sq_getinteger(v, -2, &ki))) snprintf(key, sizeof key, "[%d] = ", (int)ki);
        }
        print_value(v, sq_gettop(v), depth + 1, key);
        sq_pop(v, 2);
      }
      sq_settop(v, top);
    }
    debug("%s%s", pad, table ? "}" : "]");
    return;
  }
  default: {
    static const char* const names[] = {"closure", "native closure", "instance", "class", "user data",
                                        "generator", "thread", "weak reference"};
    SQObjectType t = sq_gettype(v, idx);
    const char* n = t == OT_CLOSURE ? names[0] : t == OT_NATIVECLOSURE ? names[1] : t == OT_INSTANCE ? names[2]
                  : t == OT_CLASS ? names[3] : t == OT_USERDATA ? names[4] : t == OT_GENERATOR ? names[5]
                  : t == OT_THREAD ? names[6] : names[7];
    debug("%s%s(%s)", pad, prefix, n);
  }
  }
}

SQInteger fn_debug_object(HSQUIRRELVM v) {
  need_args(v, 1);
  print_value(v, 2, 0, "");
  return 0;
}

// {===== Constants

void set_int_const(HSQUIRRELVM v, const char* name, int value) {
  sq_pushroottable(v);
  sq_pushstring(v, name, -1);
  sq_pushinteger(v, value);
  sq_newslot(v, -3, SQFalse);
  sq_poptop(v);
}

const char* const button_names[] = {"B_forward", "B_back", "B_left", "B_right", "B_up", "B_down",
                                    "B_turbo", "B_lspell", "B_rspell", "B_map", "B_spells"};

} // namespace

void register_world_gen_api(HSQUIRRELVM vm) {
  SqObject root = sqbind::root_table(vm);
  reg(vm, root, "place_house", guarded<fn_place_house>);
  reg(vm, root, "add_fast_noise", guarded<fn_add_fast_noise>);
  reg(vm, root, "add_simplex_noise", guarded<fn_add_simplex_noise>);
  reg(vm, root, "gen_fault", guarded<fn_gen_fault>);
  reg(vm, root, "gen_crater", guarded<fn_gen_crater>);
  reg(vm, root, "gen_droplet_erosion", guarded<fn_gen_droplet_erosion>);
  reg(vm, root, "add_voronoi_hills", guarded<fn_add_voronoi_hills>);
  reg(vm, root, "gen_voronoi_faults", guarded<fn_gen_voronoi_faults>);
  sqbind::register_function(vm, root, "recenter_hmap", fn_recenter_hmap);
  reg(vm, root, "set_sun_dir", guarded<fn_set_sun_dir>);
  reg(vm, root, "set_sky_name", guarded<fn_set_sky_name>);
  reg(vm, root, "flatten_circle", guarded<fn_flatten_circle>);
  sqbind::register_function(vm, root, "get_average_circle_height", fn_get_average_circle_height);
  sqbind::register_function(vm, root, "mark_rect", fn_mark_rect);
  sqbind::register_function(vm, root, "mark_circle", fn_mark_circle);
  sqbind::register_function(vm, root, "mark_water", fn_mark_water);
  sqbind::register_function(vm, root, "test_rect_mark", fn_test_rect_mark);
  sqbind::register_function(vm, root, "test_circle_mark", fn_test_circle_mark);
  sqbind::register_function(vm, root, "reseed_noise", fn_reseed_noise);
  sqbind::register_function(vm, root, "noise1", fn_noise1);
  reg(vm, root, "fractal_noise1", guarded<fn_fractal_noise1>);
  sqbind::register_function(vm, root, "tiled_noise2", fn_tiled_noise2);
  reg(vm, root, "tiled_fractal_noise2", guarded<fn_tiled_fractal_noise2>);
  sqbind::register_function(vm, root, "get_noise_hash1", fn_hash1);
  sqbind::register_function(vm, root, "get_noise_hash2", fn_hash2);
  reg(vm, root, "set_player_pos", guarded<fn_set_player_pos>);
  sqbind::register_function(vm, root, "play_sound_event", fn_play_sound_event);
  sqbind::register_function(vm, root, "get_spell_icon_name", fn_get_spell_icon_name);
  sqbind::register_function(vm, root, "get_spell_title", fn_get_spell_title);
  sqbind::register_function(vm, root, "get_glob_res_amount", fn_get_glob_res_amount);
  reg(vm, root, "get_assigned_button_name", guarded<fn_get_assigned_button_name>);
  sqbind::register_function(vm, root, "show_splash", fn_show_splash);
  reg(vm, root, "debug_object", guarded<fn_debug_object>);

  set_int_const(vm, "HMAP_SIZE", HMAP_SIZE);
  set_int_const(vm, "HMAP_SIZE_SHIFT", HMAP_SIZE_SHIFT);
  set_int_const(vm, "GT_NONE", GT_NONE);
  set_int_const(vm, "GT_HOUSE", GT_HOUSE);
  set_int_const(vm, "GT_ROCK", GT_ROCK);
  set_int_const(vm, "GT_SAND", GT_SAND);
  set_int_const(vm, "GT_SOIL", GT_SOIL);
  set_int_const(vm, "ST_OPEN", ST_OPEN);
  set_int_const(vm, "ST_NONE", ST_NONE);
  set_int_const(vm, "ST_GRASS", ST_GRASS);
  set_int_const(vm, "ST_ASH", ST_ASH);
  set_int_const(vm, "ST_SNOW", ST_SNOW);
  set_int_const(vm, "ST_ROAD", ST_ROAD);
  set_int_const(vm, "MARK_OBJ", MARK_OBJ);
  set_int_const(vm, "MARK_PLACE", MARK_PLACE);
  set_int_const(vm, "MARK_HOUSE", MARK_HOUSE);
  set_int_const(vm, "MARK_WATER", MARK_WATER);
  set_int_const(vm, "MARK_PLACEMENT", MARK_PLACEMENT);
  for (int i = 0; i < (int)(sizeof button_names / sizeof button_names[0]); i++)
    set_int_const(vm, button_names[i], i);
  if (world_hooks.register_sound_event_constants) world_hooks.register_sound_event_constants(vm);
}

bool WorldGenVM::registerFunctions() {
  if (!SqReloadableVM::registerFunctions()) return false;
  register_script_math(vm);
  register_world_gen_masks(vm);
  if (world_hooks.register_universe_bindings) world_hooks.register_universe_bindings(vm);
  if (world_hooks.register_module_bindings) world_hooks.register_module_bindings(vm);
  register_world_gen_api(vm);
  return true;
}

// {===== Life of the VM

bool init_world_gen_vm(const char* script) {
  if (!world_gen_vm.init(1024)) fatal("error creating world gen script VM");
  // A fresh VM has run nothing: forget the files of an earlier one, or
  // include() would skip them.
  world_gen_vm.files.clear();
  register_bitmap_persistence();
  world_script_reset_state();
  if (!world_gen_vm.include(script)) {
    SquirrelError e(world_gen_vm.vm);
    TempString<600> msg;
    msg.format("Error in world gen script:\n%s", e.what());
    set_error_message(msg);
    return false;
  }
  bind_world_script();
  try {
    reload_world_gen_data();
  } catch (const SquirrelError& e) {
    TempString<600> msg;
    msg.format("Error in world gen script:\n%s", e.what());
    set_error_message(msg);
    return false;
  }
  return true;
}

void close_world_gen_vm() {
  unbind_world_script();
  world_gen_vm.close();
}

bool world_gen_data_changed() {
  return get_file_time(make_full_path(palettes_file)) != world_palettes_file_time;
}

void reload_world_gen_data() {
  PathString path = make_full_path(palettes_file);
  world_palettes_file_time = get_file_time(path);
  load_world_palettes(world_gen_vm.vm, path);
}
