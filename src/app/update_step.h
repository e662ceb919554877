// One update step of the game and the world step of the playing modes, in
// their fixed order. Calls into other subsystems go through app_hooks.
#pragma once

// One update step: the mode's update, the sound listener and 3D sounds, the
// GUI destruction queue (timed under "misc"), then a requested module reload.
void run_update_step(float dt);
// The world step of the playing modes: terrain renderer, land, water and
// lava, effects, game objects.
void update_world_step(float dt);
// Advances the world by `seconds` of game time in 0.05 s steps without the
// terrain renderer, showing the splash "Simulating the world" with progress
// rising from 0 to just below 1.
void simulate_world(float seconds);
// The once-a-second checks for changed content, then the settings flush.
void run_periodic_checks();

// A per-step camera movement component wrapped into one world period of
// 256 units: the result lies in (-128, 128].
float wrap_listener_delta(float d);
