// Scripted input for tests of the whole program: RUNEHOLM_TEST_KEYS lists
// events to inject at given game times, e.g. "F1@1.0,PRINT@1.5,QUIT@2.5".
// Each entry is NAME@SECONDS of game time (update steps x step length).
// Names: F1..F12, PRINT, ESCAPE, RETURN, SPACE, A..Z, 0..9, each optionally
// prefixed "ALT+" (so "ALT+F4" closes the window as a user would); QUIT is
// the quit message, CLOSE the window's close request. A key is pressed and
// released in the same update step. The events go through SDL's own queue,
// so they take exactly the path of real input.
#pragma once
#include "core/dynArray.h"

enum ScriptedInputKind { SCRIPTED_KEY, SCRIPTED_QUIT, SCRIPTED_CLOSE };

struct ScriptedInput {
    double time; // game seconds
    int kind;    // ScriptedInputKind
    int keycode; // SDL keycode (keys only)
    int scancode;
    int mod;     // SDL key modifiers
};

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
