// The world script ("gen/main.nut" in the world-generation VM) as the host
// sees it: ten entry functions bound by name, the native wrappers that call
// them (script errors are shown and give a default, never propagate), the
// generation of a world and of the universe, and the script's hot reload.
#pragma once
#include "core/math_types.h"
#include "core/tempData.h"
#include "script/sqbind.h"

// Looks up the ten entry functions in the root table of the world VM; a
// missing name leaves its handle null.
void bind_world_script();
void unbind_world_script();
// Clears what the script set for the previous world (sun, sky, universe copy).
void world_script_reset_state();

// Generates the terrain of a new world ("game" or "main_menu").
void generate_world(const char* kind);
// Asks the script for the universe table and starts a new game record.
void generate_universe();

SqObject get_world_tooltip(const SqObject& world);
SqObject get_world_ctx_menu(const SqObject& world);
void world_script_event(const SqObject& event);
void world_script_str_event(const char* event);
// Timed under the statistics tracker "world script" (`worldScriptTiming`).
void update_world_script(float dt);
class UpdateStatsTracker;
extern UpdateStatsTracker worldScriptTiming; // exported for the module
void activate_current_world();
void set_world_pal_color(const char* name, unsigned int color);
// The script's colour: an integer as a packed colour, else a vec4f (r, g, b,
// a in 0..1, clamped); opaque magenta on error.
D3dColor get_cur_pal_color(const char* name);
SqObject get_savegame_globals();
// A global of the world script read as a bool; `default_value` when missing.
bool get_world_script_bool(const char* name, int default_value);

// The once-a-second check: reloads changed world scripts or palettes and
// regenerates the universe (in the universe view) or the current world.
void reload_world_scripts();

// What the last generation set, for tools and the renderer's start-up.
extern Vec4f world_script_sun_dir;
extern TempString<64> world_script_sky_name;
// The last result of the script's "generate_universe".
extern SqObject generated_universe;
// Duration of the last generate_world in milliseconds.
extern int last_generate_world_ms;
