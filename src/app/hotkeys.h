// The global hotkeys every mode tests in its update while the window is
// active, and the debug keys (in the developer mode, or with Control held in
// any mode; Control+M/N/F12/F3 always need Control):
//   Print Screen released  screenshot          F1  readouts and statistics
//   F5  post effects       F6  antialiasing    F9  developer <-> play mode
//   Escape  game menu (not from the main menu)
//   G regenerate the world, H water everywhere, R droplet erosion,
//   Control+M monster spawn, Control+N mana cheat, Control+F12 cheat menu,
//   Control+F3 logging of sound events (log_sound_events, sound_events.h).
// Developer addition: F7 in the developer mode (Control+F7 anywhere) opens
// the GUI runtime's demo screen; F7 or Escape there returns.
#pragma once

void handle_global_hotkeys();
// Control is held on the live keyboard. The Control combinations also accept
// a key event that carries Control in its modifiers (injected input).
bool control_held();
