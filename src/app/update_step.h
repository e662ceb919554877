// One update step of the game and the world step of the playing modes, in
// their fixed order, and the once-a-second checks.
#pragma once

// The subsystem calls of the update step, the world step and the periodic
// checks. `step_calls` holds the real functions from the start (the program's
// top names every callee here); tests put recorders in to check the order. A
// null entry does nothing.
struct StepCalls {
    // --- Update step (the current mode's update is called directly) --------
    // Camera at the start of the step (interpolation fraction 0): position,
    // front and up as (x, y, z, w). False when there is no camera.
    bool (*step_camera)(float pos[4], float front[4], float up[4]);
    void (*set_listener_pos)(const float pos[4], const float vel[4], const float front[4], const float up[4]);
    // Re-places the 3D sounds near `cam_pos` (null: the last reference
    // position, when there is no camera) and drops stopped ones.
    void (*update_3d_sounds)(const float cam_pos[4]);
    // Starts the next chained music piece when one is waiting; run in every
    // step, since screens without a camera still play music.
    void (*start_queued_music)();
    // The sound layer's per-step work (streams, slides, fades), after the 3D
    // sounds were placed, then the 3D changes applied.
    void (*update_sound)(float dt);
    void (*apply_3d_sound)();
    void (*destroy_queued_gui_elements)();
    bool (*reload_gameobj)(bool force); // true when the module was reloaded
    void (*bind_world_script)();        // binds the world script to the (new) module

    // --- World step (playing modes and simulate_world) ---------------------
    void (*update_terrain_renderer)(float dt);
    void (*update_hmap)(float dt); // times itself under "hm update"
    void (*sim_water)(float dt);   // times itself under "fluid sim"
    void (*update_common_fx)(float dt);
    void (*update_gameobj)(float dt);
    void (*show_splash)(const char* text, float progress);

    // --- Once-a-second checks, in this order (then the settings flush) ------
    void (*reload_shaders)(bool force);
    void (*reload_textures)(bool force);
    void (*reload_sky_script)();
    void (*reload_fx_script)();
    void (*reload_world_scripts)();
    void (*reload_sound_script)();
};

extern StepCalls step_calls;
// The real functions, as `step_calls` starts (tests restore it from here).
StepCalls program_step_calls();

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
