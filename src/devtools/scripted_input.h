// Scripted input for tests of the whole program: RUNEHOLM_TEST_KEYS lists
// events to inject at given game times, e.g. "F1@1.0,PRINT@1.5,QUIT@2.5".
// Each entry is NAME@SECONDS of game time (update steps x step length).
// Names: F1..F12, PRINT, ESCAPE, RETURN, SPACE, A..Z, 0..9, each optionally
// prefixed "ALT+" (so "ALT+F4" closes the window as a user would); QUIT is
// the quit message, CLOSE the window's close request. A key is pressed and
// released in the same update step. The events go through SDL's own queue,
// so they take exactly the path of real input.
//
// Two entries are not input but set the scene up for tests, run directly
// when due (through the hooks below, which the program installs):
//   SEED:<n>@t                    game_rnd_seed = n, then a new world
//                                 (generate_world("main_menu")) with the
//                                 camera over its start position;
//                                 SEED:<n>:game@t generates a "game" world
//                                 (of a kind the seed picks)
//   CAM:<x>:<y>:<z>:<yaw>:<pitch>@t  the camera at (x, y, z) with those angles
//                                 (radians), no interpolated jump
// A flight is a series of CAM entries (SDL's live key state, which the fly
// control reads, does not follow pushed events).
#pragma once
#include <cstdint>

#include "core/dynArray.h"

enum ScriptedInputKind {
    SCRIPTED_KEY,
    SCRIPTED_QUIT,
    SCRIPTED_CLOSE,
    SCRIPTED_SEED,
    SCRIPTED_CAMERA,
};

struct ScriptedInput {
    double time; // game seconds
    int kind;    // ScriptedInputKind
    int keycode; // SDL keycode (keys only)
    int scancode;
    int mod;     // SDL key modifiers
    uint64_t seed;     // SCRIPTED_SEED
    bool game_world;   // SCRIPTED_SEED: "game" instead of "main_menu"
    float camera[5];   // SCRIPTED_CAMERA: x, y, z, yaw, pitch
};

// Installed by the program; null entries make SEED and CAM do nothing.
extern void (*scripted_generate_fn)(uint64_t seed, bool game_world);
extern void (*scripted_camera_fn)(const float v[5]);

// Parses one entry of `len` characters; false when it is not valid.
bool scripted_input_parse_entry(const char* text, int len, ScriptedInput& out);
// Parses a whole list into `out`, ordered by time (entries with the same
// time keep their order). Returns the number of entries that were rejected.
int scripted_input_parse(const char* text, DynArray<ScriptedInput>& out);

// Reads RUNEHOLM_TEST_KEYS (logging rejected entries); nothing without it.
void scripted_input_start();
// Pushes the events due at `game_time` into SDL's queue, each once.
void scripted_input_advance(double game_time);
// Events not pushed yet.
int scripted_input_pending();
