// The universe globals, their script mirrors and the global resources (see
// universe.h).
#include "world/universe.h"

#include "world/saved_games.h"
#include "world/spells.h"
#include "world/worldGenVM.h"
#include "world/world_hooks.h"

SqObject universe;
SqObject worlds;
SqObject cur_game_info;
int cur_game_slot = -1;
bool should_close_game_menu = false;

namespace {

HSQUIRRELVM bound_vm = nullptr;

// Runs `f` with the stack restored afterwards, whatever it throws.
template <class F>
auto with_stack(HSQUIRRELVM v, F&& f) {
  SQInteger top = sq_gettop(v);
  try {
    if constexpr (std::is_void_v<decltype(f())>) {
      f();
      sq_settop(v, top);
    } else {
      auto r = f();
      sq_settop(v, top);
      return r;
    }
  } catch (...) {
    sq_settop(v, top);
    throw;
  }
}

// Pushes universe.resources; throws when missing.
void push_resources(HSQUIRRELVM v) {
  universe.push(v);
  sq_pushstring(v, "resources", -1);
  if (SQ_FAILED(sq_get(v, -2))) throw SquirrelError(v);
  sq_remove(v, -2);
}

void hook_set_universe(const SqObject& u) {
  universe = u;
  if (!u.isNull()) set_universe_script_global("universe", u);
}
void hook_set_cur_game_info(const SqObject& info) { cur_game_info = info; }
bool hook_has_universe() { return !universe.isNull(); }
void hook_fetch_universe_data() {
  try {
    fetch_universe_data();
  } catch (const SquirrelError& e) {
    debug("SAVE: universe without worlds: %s", e.what());
  }
}
float hook_get_glob_res_amount(const char* name) { return (float)get_glob_res_amount(name); }
const char* hook_spell_icon_name(const char* spell) {
  SpellInfo* s = get_spell_info(spell);
  return s ? s->icon_name : nullptr;
}
const char* hook_spell_title(const char* spell) {
  SpellInfo* s = get_spell_info(spell);
  return s ? s->name : nullptr;
}

} // namespace

HSQUIRRELVM universe_vm() { return bound_vm ? bound_vm : world_gen_vm.vm; }

void set_universe_script_global(const char* name, const SqObject& value) {
  HSQUIRRELVM v = universe_vm();
  if (!v) return;
  with_stack(v, [&] {
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    value.push(v);
    sq_newslot(v, -3, SQFalse);
  });
}

void fetch_universe_data() {
  worlds = sqbind::getSlot<SqObject>(universe, "worlds");
  set_universe_script_global("universe", universe);
}

void release_universe_data() {
  SqObject null_value;
  set_universe_script_global("universe", null_value);
  set_universe_script_global("cur_world", null_value);
  worlds.reset();
  universe.reset();
  cur_game_info.reset();
}

void bind_universe(HSQUIRRELVM vm) {
  bound_vm = vm;
  SqObject root = sqbind::root_table(vm);
  sqbind::register_function(vm, root, "save_game", &save_game);
  sqbind::register_function(vm, root, "leave_world", &leave_world);
}

int get_entered_world() {
  if (universe.isNull()) return -1;
  try {
    return sqbind::getSlot<int>(universe, "enteredWorld");
  } catch (const SquirrelError&) {
    return -1;
  }
}

bool set_entered_world(int index) {
  if (universe.isNull()) return false;
  HSQUIRRELVM v = universe.vm;
  return with_stack(v, [&] {
    universe.push(v);
    sq_pushstring(v, "enteredWorld", -1);
    sq_pushinteger(v, index);
    return SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse));
  });
}

int get_glob_res_amount(const char* name) {
  if (universe.isNull() || !name) return 0;
  HSQUIRRELVM v = universe.vm;
  try {
    return with_stack(v, [&] {
      push_resources(v);
      sq_pushstring(v, name, -1);
      if (SQ_FAILED(sq_get(v, -2))) throw SquirrelError(v);
      return sqbind::Value<int>::get(v, -1);
    });
  } catch (const SquirrelError&) {
    sq_reseterror(v);
    return 0;
  }
}

bool add_glob_res_amount(const char* name, int amount) {
  if (universe.isNull() || !name) return false;
  HSQUIRRELVM v = universe.vm;
  try {
    return with_stack(v, [&] {
      push_resources(v);
      sq_pushstring(v, name, -1);
      if (SQ_FAILED(sq_get(v, -2))) {
        sq_reseterror(v);
        sq_pushstring(v, name, -1);
        sq_pushinteger(v, 0);
        if (SQ_FAILED(sq_newslot(v, -3, SQFalse))) throw SquirrelError(v);
        sq_pushinteger(v, 0);
      }
      int have = sqbind::Value<int>::get(v, -1);
      sq_poptop(v);
      sq_pushstring(v, name, -1);
      sq_pushinteger(v, have + amount);
      if (SQ_FAILED(sq_set(v, -3))) throw SquirrelError(v);
      return true;
    });
  } catch (const SquirrelError&) {
    sq_reseterror(v);
    return false;
  }
}

void universe_init() {
  world_hooks.register_universe_bindings = bind_universe;
  world_hooks.release_universe_data = release_universe_data;
  world_hooks.set_universe = hook_set_universe;
  world_hooks.set_cur_game_info = hook_set_cur_game_info;
  world_hooks.has_universe = hook_has_universe;
  world_hooks.fetch_universe_data = hook_fetch_universe_data;
  world_hooks.get_glob_res_amount = hook_get_glob_res_amount;
  world_hooks.get_spell_icon_name = hook_spell_icon_name;
  world_hooks.get_spell_title = hook_spell_title;
}

void universe_close() {
  release_universe_data(); // before the universe VM closes
  cur_game_slot = -1;
  should_close_game_menu = false;
  bound_vm = nullptr;
  if (world_hooks.register_universe_bindings == bind_universe) world_hooks.register_universe_bindings = nullptr;
  if (world_hooks.release_universe_data == release_universe_data) world_hooks.release_universe_data = nullptr;
  if (world_hooks.set_universe == hook_set_universe) world_hooks.set_universe = nullptr;
  if (world_hooks.set_cur_game_info == hook_set_cur_game_info) world_hooks.set_cur_game_info = nullptr;
  if (world_hooks.has_universe == hook_has_universe) world_hooks.has_universe = nullptr;
  if (world_hooks.fetch_universe_data == hook_fetch_universe_data) world_hooks.fetch_universe_data = nullptr;
  if (world_hooks.get_glob_res_amount == hook_get_glob_res_amount) world_hooks.get_glob_res_amount = nullptr;
  if (world_hooks.get_spell_icon_name == hook_spell_icon_name) world_hooks.get_spell_icon_name = nullptr;
  if (world_hooks.get_spell_title == hook_spell_title) world_hooks.get_spell_title = nullptr;
}
