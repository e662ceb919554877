// Program-wide state: the active game mode, the
// per-frame timing values, the window flags and the settings read at start-up
// (settings.cfg and the command line). All exported under these names for the
// game-object module, which reads several of them directly.
#pragma once
#include <cstdint>

class GameMode;

// Active game mode; null only before the first mode is set.
extern GameMode* cur_game_mode;

// During an update step: the step length in seconds (0.05). While rendering:
// seconds since the last update step, for interpolation.
extern float time_dt;
// 1 during an update step; while rendering the fraction of a step passed, 0..1.
extern float time_ik;

extern bool isAppActive;     // main window active and not minimised
extern bool shouldHideMouse; // hide the cursor over the client area (modes set it)
extern bool isFullscreen;    // current window mode (the device layer writes it on reset)

// Requested client / back-buffer size; 0 means automatic (desktop or client size).
extern int app_screen_wd;
extern int app_screen_ht;

// State of the game's random generator; the time-base counter at start-up.
extern uint64_t game_rnd_seed;

extern bool show_fps;             // readouts and the statistics overlay
extern bool use_postfx;           // post effects; forced off at low quality
extern bool force_gameobj_reload; // reload the module at the end of the next update step

// Settings (settings.cfg keys in brackets). Command-line arguments override
// some of them for one run.
extern bool app_fullscreen;      // [fullscreen] window mode requested at start-up
extern bool use_ppaa;            // [antialias] post-process antialiasing
extern bool app_use_vsync;       // [vsync]
extern bool use_obj_shadows;     // [obj_shadows]
extern bool left_handed;         // [left_handed]
extern int land_shadow_quality;  // [land_shadows] 0..2
extern int shadow_resolution;    // [shadow_resolution]
extern bool blur_shadows;        // [blur_shadows]
extern bool invert_mouse_y;      // [invert_mouse_y]
extern int gfx_quality;          // [gfx_quality] 0 = low, 1 = high
extern const char* const gfx_quality_name[2]; // "low", "high"
extern int process_priority;     // [process_priority] 0 normal, 1 above normal, 2+ high

// Set when the quit message arrives (window closed); ends the frame loop.
extern bool quit_requested;
