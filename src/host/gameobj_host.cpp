// The host side of the game-object module: load by name, link, unlink,
// re-point live objects, reload.
#include "host/gameobj_host.h"

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "core/log.h"
#include "core/platform.h"
#include "host/gameobj_api.h"
#include "host/gameobj_lists.h"
#include "host/gameobj_rebuild.h"
#include "script/scriptData.h"

#define GAMEOBJ_DEFINE_LIST(name) DynArray<name*> name##_list;
GAMEOBJ_WALKED_LISTS(GAMEOBJ_DEFINE_LIST)
GAMEOBJ_UNWALKED_LISTS(GAMEOBJ_DEFINE_LIST)
#undef GAMEOBJ_DEFINE_LIST

void* gameobj_vtables[GAMEOBJ_CLASS_COUNT];
void (*gameobj_unlink_gui)() = nullptr;
void (*gameobj_destroy_queued_gui)() = nullptr;
void (*gameobj_unlink_dev_commands)() = nullptr;

namespace {

void* module_handle = nullptr;

#define GAMEOBJ_LIST_ADDRESS(name) reinterpret_cast<DynArray<GameObject*>*>(&name##_list),
DynArray<GameObject*>* const walked_lists[] = {GAMEOBJ_WALKED_LISTS(GAMEOBJ_LIST_ADDRESS)};
#undef GAMEOBJ_LIST_ADDRESS
static_assert(sizeof(walked_lists) / sizeof(walked_lists[0]) == GAMEOBJ_WALKED_LIST_COUNT);

constexpr const char* func_names[] = {
#define GAMEOBJ_FUNC_STRING(name) #name,
    GAMEOBJ_FUNC_NAMES(GAMEOBJ_FUNC_STRING)
#undef GAMEOBJ_FUNC_STRING
};
static_assert(sizeof(func_names) / sizeof(func_names[0]) == GAMEOBJ_FUNC_COUNT);
static_assert(GAMEOBJ_FUNC_COUNT == 114);

using FuncByName = void* (*)(const char* name);
using GetVtables = void** (*)(int* count);

void load_library()
{
  TempString<260> path = make_full_path("gameobj.so");
  // RTLD_LOCAL: nothing else binds to the module, and a local library can be
  // unloaded by dlclose.
  module_handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!module_handle) {
    debug("dlopen: %s", dlerror());
    fatal("can't load gameobj.so");
  }
}

Player* host_first_player() { return Player_list.num ? Player_list[0] : nullptr; }

void host_destroy_local_player()
{
  if (!local_player) return;
  reinterpret_cast<GameObject*>(local_player)->destroy();
  local_player = nullptr;
  if (gameobj_api.delete_gameobj) gameobj_api.delete_gameobj(nullptr);
}

// The typed views the world code calls.
void fill_api()
{
  GameObjApi& a = gameobj_api;
  const GameObjFuncTable& f = gameobj_funcs;
  a.remove_all_gameobj = gameobj_fn<void (*)()>(f.remove_all_gameobj);
  a.delete_gameobj = gameobj_fn<void (*)(BaseObject*)>(f.delete_gameobj);
  a.save_gameobjs = gameobj_fn<void (*)(OutputStream&)>(f.save_gameobjs);
  a.load_gameobjs = gameobj_fn<void (*)(InputStream&)>(f.load_gameobjs);
  a.save_spells = gameobj_fn<void (*)()>(f.save_spells);
  a.load_spells = gameobj_fn<void (*)()>(f.load_spells);
  a.create_player = gameobj_fn<Player* (*)(const Vec4f&)>(f.create_player);
  a.player_has_spell = gameobj_fn<bool (*)(const char*)>(f.player_has_spell);
  a.open_universe_gui = gameobj_fn<void (*)()>(f.open_universe_gui);
  a.update_game_menu = gameobj_fn<void (*)(float)>(f.update_game_menu);
  a.show_screen_message = gameobj_fn<void (*)(const char*)>(f.show_screen_message);
  a.show_screen_sub_message = gameobj_fn<void (*)(const char*)>(f.show_screen_sub_message);
  // The GUI's tooltip boxes report to the module's tooltip.
  a.show_tooltip = gameobj_fn<void (*)(const char*, float, float)>(f.show_tooltip);
  a.hide_tooltip = gameobj_fn<void (*)()>(f.hide_tooltip);
  a.first_player = host_first_player;
  a.destroy_local_player = host_destroy_local_player;
  // Script data's references to game objects resolve through the module.
  get_gameobj_by_ser_id_hook = gameobj_fn<BaseObject* (*)(int)>(f.get_gameobj_by_ser_id);
}

} // namespace

DynArray<GameObject*>* gameobj_walked_list(int index) { return walked_lists[index]; }

bool gameobj_module_loaded() { return module_handle != nullptr; }

// The objects still point at the unloaded library's virtual tables here,
// which is what this function repairs: the sanitizer's check of the dynamic
// type would stop it at the first object.
__attribute__((no_sanitize("vptr")))
void repoint_gameobjs(void* const* old_table, void* const* new_table)
{
  for (DynArray<GameObject*>* list : walked_lists) {
    for (GameObject* obj : *list) {
      if (obj->flags & GAMEOBJ_RELINK_MARK) continue;
      obj->flags |= GAMEOBJ_RELINK_MARK;
      void** vptr = reinterpret_cast<void**>(obj);
      int index = 1;
      while (index < GAMEOBJ_CLASS_COUNT && old_table[index] != *vptr) ++index;
      if (index == GAMEOBJ_CLASS_COUNT)
        fatal("cannot find object vtable");
      *vptr = new_table[index];
    }
  }
  for (DynArray<GameObject*>* list : walked_lists)
    for (GameObject* obj : *list) obj->flags &= ~GAMEOBJ_RELINK_MARK;
}

void link_gameobj_module()
{
  auto by_name = reinterpret_cast<FuncByName>(dlsym(module_handle, "get_gameobj_func_by_name"));
  auto get_vtables = reinterpret_cast<GetVtables>(dlsym(module_handle, "get_gameobj_vtables"));
  if (!by_name || !get_vtables)
    fatal("invalid gameobj.so");
  void** entries = reinterpret_cast<void**>(&gameobj_funcs);
  for (int i = 0; i < GAMEOBJ_FUNC_COUNT; ++i) {
    entries[i] = by_name(func_names[i]);
    if (!entries[i])
      fatal("no \"%s\" function in gameobj.so", func_names[i]);
  }
  int count = 0;
  void** table = get_vtables(&count);
  if (count != GAMEOBJ_CLASS_COUNT || !table)
    fatal("gameobj classes changed, need restart");
  repoint_gameobjs(gameobj_vtables, table);
  memcpy(gameobj_vtables, table, sizeof(gameobj_vtables));
  void* link_gui = by_name("link_gui");
  if (!link_gui)
    fatal("no \"%s\" function in gameobj.so", "link_gui");
  fill_api();
  gameobj_fn<void (*)()>(link_gui)();
}

void unlink_gameobj_module()
{
  memset(&gameobj_funcs, 0, sizeof(gameobj_funcs));
  Player* player = local_player; // state, not a function of the module
  gameobj_api = GameObjApi{};
  local_player = player;
  get_gameobj_by_ser_id_hook = nullptr;
  if (gameobj_unlink_gui) gameobj_unlink_gui();
  if (gameobj_unlink_dev_commands) gameobj_unlink_dev_commands();
  // Queued elements may be of the module's classes: they go while its code is there.
  if (gameobj_destroy_queued_gui) gameobj_destroy_queued_gui();
}

namespace {
void free_library()
{
  if (!module_handle) return;
  unlink_gameobj_module();
  if (dlclose(module_handle) != 0)
    debug("dlclose gameobj.so: %s", dlerror());
  module_handle = nullptr;
}
} // namespace

void load_gameobj_module(const char* source_folder, const char* list_name)
{
  free_library();
  set_gameobj_source(source_folder, list_name);
  load_library();
  link_gameobj_module();
  read_gameobj_source_list();
}

void unload_gameobj_module()
{
  free_library();
  clear_gameobj_sources();
}

bool reload_gameobj(bool force)
{
  if (poll_gameobj_rebuild() == RebuildPoll::Running) return false;
  TempString<260> new_path = make_full_path("gameobj_new.so");
  if (get_file_time(new_path) == 0 && !force) return false;
  free_library();
  bool ok = true;
  if (!force) {
    TempString<260> path = make_full_path("gameobj.so");
    if (remove(path) != 0 || rename(new_path, path) != 0) ok = false;
  }
  load_library();
  link_gameobj_module();
  debug("gameobj reload %s", ok ? "ok" : "failed");
  return ok;
}
