// The ordered shutdown of the program. Subsystems register their close step
// in the stage where it belongs when they come up. shutdown_systems() logs
// "closing...", then runs the stages in order; within a stage the steps run in
// reverse order of registration (the reverse of start-up), and the stage's log
// line follows its steps, also when none were registered:
//
//   Scene    - game objects, module, scripts, renderers, sound -> "closed scene"
//   Misc     - bitmap font, dynamic vertex buffer, GPU-load query -> "closed misc stuff"
//   Meshes   - all meshes                                     -> "freed all meshes"
//   Textures - all textures                                   -> "freed all textures"
//   Device   - the graphics device                            -> "closed d3d"
//   Input    - pending input events (discard_input_events last)
//                                                              -> "closed all systems"
//
// The sequence runs once. Each step is taken off its list before it runs, so
// a call from inside a step (quit_game() or fatal() in a close step) carries
// on with the remaining steps instead of repeating one; a later call does
// nothing.
#pragma once

using ShutdownFn = void (*)();

enum class ShutdownStage { Scene, Misc, Meshes, Textures, Device, Input, Count };

// Adds a close step to `stage`. At most 64 steps per stage (more is fatal).
void shutdown_register(ShutdownStage stage, ShutdownFn fn);
// Runs the whole shutdown sequence ("closing..." ... "closed all systems").
void shutdown_systems();
// True once shutdown_systems() has started.
bool shutdown_started();
// Forgets all steps and the finished state, so a test can run the sequence again.
void shutdown_reset_for_tests();
