// Loading, linking, unloading and hot reload of the game-object module
// (gameobj.so in the executable's folder). Every failure of the contract is
// fatal; see docs/module.md.
#pragma once
#include <cstdint>

constexpr int GAMEOBJ_CLASS_COUNT = 91;

// The host's copy of the module's class table (entry 0 is never matched).
extern void* gameobj_vtables[GAMEOBJ_CLASS_COUNT];

// Called from unlinking, before the library is freed: releases the GUI
// screens, creator pointers, queued GUI elements and styles the module filled.
// The GUI subsystem stores its function here; null means nothing to release.
extern void (*gameobj_unlink_gui)();
// Called from unlinking too: destroys the queued GUI elements, which may be of
// the module's classes. The GUI runtime stores its function here.
extern void (*gameobj_destroy_queued_gui)();
// Also called from unlinking: the developer server forgets the commands the
// module registered (their code goes with the library). Null: nothing to do.
extern void (*gameobj_unlink_dev_commands)();

// Start-up load: unloads any module, remembers the source folder, loads and
// links gameobj.so (fatal "can't load gameobj.so") and reads the source list.
void load_gameobj_module(const char* source_folder, const char* list_name);
// Shutdown: unlink, free the library, forget the watched sources.
void unload_gameobj_module();
bool gameobj_module_loaded();

// Links the loaded library: entry points, the named functions in order, the
// class count, re-pointing of live objects, the class table copy, link_gui.
void link_gameobj_module();
void unlink_gameobj_module();

// Re-points every live object in the walked lists from `old_table` to the
// entry with the same index in `new_table`, each object exactly once.
void repoint_gameobjs(void* const* old_table, void* const* new_table);

// Polls the rebuild, then swaps in gameobj_new.so when one is waiting (or,
// with `force`, reloads gameobj.so as it is). True when the reload succeeded.
bool reload_gameobj(bool force);

// The start-up sequence's part of the module: load and link. Stores the
// host's hooks (update, reload); the program calls the module's init entry
// points after it, in its start-up order.
void start_gameobj_module(const char* source_folder);
// The module's update of one world step (nothing without a module).
void run_gameobj_update(float dt);
// The start of closing the scene, while the world script still runs (the
// objects may hold script instances): close_game_menu, remove_all_gameobj.
void release_gameobjs();
// Later in closing the scene: the close entry points, then unload.
void close_gameobj_module();
