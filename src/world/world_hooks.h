// Late-bound entries of the world-generation VM and the world script into
// subsystems that are built after the world (the game-object module, the
// splash screen, the terrain renderer, effects, sky, sounds, input names and
// the saved games' universe). Each subsystem stores its functions here when
// it comes up; a null entry means the part is not there and the call does
// nothing (queries then answer their documented default).
#pragma once
#include <squirrel.h>

struct SqObject;
struct Vec4f;

struct WorldHooks {
  // --- Game-object module ---------------------------------------------------
  void (*remove_all_gameobj)();
  bool (*has_local_player)();
  void (*create_player)(const Vec4f& pos); // creates and initialises the local player
  void (*init_spell_grid)();
  // Its own script functions and classes, registered into the world VM.
  void (*register_module_bindings)(HSQUIRRELVM vm);
  const char* (*get_spell_icon_name)(const char* spell); // null: ""
  const char* (*get_spell_title)(const char* spell);     // null: ""
  float (*get_glob_res_amount)(const char* resource);    // null: 0

  // --- Splash, renderer, effects, sky, sounds ---------------------------------
  void (*grab_scene_as_splash)();
  void (*reset_common_fx)();
  void (*reset_terrain_renderer)(); // the renderer's per-cell state
  void (*set_sun_dir)(const Vec4f& dir);
  void (*set_sky_name)(const char* name);
  void (*play_sound_event)(const char* name);
  // Registers the sound events' "SE_" constants into a VM (the sound
  // layer's register_sound_event_constants), called when present.
  void (*register_sound_event_constants)(HSQUIRRELVM vm);
  // --- The program's top (app), for long operations ---------------------------
  // Resets the frame loop's time accumulator after a long generation or load.
  void (*reset_frame_time)();
  // Progress of a long operation: the program's splash screen (the world
  // generation tool prints the phases instead). Negative progress: no bar.
  void (*show_splash)(const char* text, float progress);
  // Advances the world by `seconds` of game time in update steps without the
  // terrain renderer (leaving a world simulates 60 s).
  void (*simulate_world)(float seconds);
  void (*reset_world_time)(); // world_time = 0 for a new world

  // --- Saved games: the universe globals ---------------------------------------
  void (*register_universe_bindings)(HSQUIRRELVM vm);
  void (*release_universe_data)();
  void (*set_universe)(const SqObject& universe);
  void (*set_cur_game_info)(const SqObject& info);
  bool (*has_universe)();
  void (*fetch_universe_data)();
  bool (*in_universe_view)();
  void (*refresh_universe_screen)();
};

extern WorldHooks world_hooks;
