// The universe of the active game as the host keeps it: the script table of
// worlds made by the world script, the game's information table, the slot it
// is saved in, the script globals that mirror them, and the global
// resources stored in the universe.
//
// Invariant: `universe`, `worlds` and `cur_game_info` are null together when
// no game is active; otherwise `worlds` is `universe.worlds` and the script
// global "universe" is `universe` (fetch_universe_data keeps them in step).
// All values live in the universe VM: the VM bind_universe was last given
// (the world-generation VM in the program).
#pragma once
#include <squirrel.h>

#include "script/sqbind.h"

extern SqObject universe;      // the universe table, null without a game
extern SqObject worlds;        // universe.worlds
extern SqObject cur_game_info; // the game's information table ("name")
extern int cur_game_slot;      // slot of the active game, -1 for none
// Set by the game-object module when the player picked a world (its index
// is in universe.enteredWorld), or by a failed resume: the universe view's
// next update enters that world.
extern bool should_close_game_menu;

// worlds = universe.worlds; the script global "universe" = universe. A
// universe without "worlds" throws SquirrelError.
void fetch_universe_data();
// Script globals "universe" and "cur_world" = null; releases the three values.
void release_universe_data();
// Registers "save_game" and "leave_world" in the VM's root table and makes
// it the universe VM.
void bind_universe(HSQUIRRELVM vm);
// The VM the universe lives in (null before bind_universe and without a
// world-generation VM).
HSQUIRRELVM universe_vm();

// universe.enteredWorld, -1 without a universe or on a script error.
int get_entered_world();
// Sets universe.enteredWorld (creating the slot); false without a universe.
bool set_entered_world(int index);
// Sets the script global `name` of the universe VM (creating it).
void set_universe_script_global(const char* name, const SqObject& value);

// {===== Global resources (the universe's "resources" table)

// 0 without a universe or on any script error (a resource without a slot).
int get_glob_res_amount(const char* name);
// Adds to a resource, creating its slot with 0 first; false without a
// universe or on any script error.
bool add_glob_res_amount(const char* name, int amount);

// Installs the universe into the world script's hooks (bindings, globals,
// resources, spell names). Run once at start-up before the world VM exists.
void universe_init();
// Releases the universe and removes what universe_init installed.
void universe_close();
