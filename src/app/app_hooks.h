// Entry points of other subsystems that the application core calls from the
// update step, the world step, the frame loop and the once-a-second checks.
// The core is built before those subsystems and must not depend on them, so
// each one stores its functions here when it comes up; a null entry means the
// subsystem is not there and the call does nothing.
#pragma once

struct AppHooks {
    // --- Update step (the current mode's update is called directly) --------
    // Camera at the start of the step (interpolation fraction 0): position,
    // front and up as (x, y, z, w). False when there is no camera yet.
    bool (*step_camera)(float pos[4], float front[4], float up[4]);
    void (*set_listener_pos)(const float pos[4], const float vel[4], const float front[4], const float up[4]);
    // Re-places the 3D sounds near `cam_pos` (null: the last reference
    // position, when there is no camera), drops stopped ones and starts
    // queued music (the sound events). Run in every step.
    void (*update_3d_sounds)(const float cam_pos[4]);
    // Starts the next chained music piece when one is waiting; run in every
    // step, since screens without a camera still play music.
    void (*start_queued_music)();
    // The sound layer's per-step work (streams, slides, fades), after the 3D
    // sounds were placed, then the 3D changes applied. Run in every step, with
    // or without a camera.
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

    // --- Frame -------------------------------------------------------------
    void (*process_window_messages)();
    bool (*check_d3d_device)();          // false while the device is lost
    bool (*render_d3d_frame)(float dt);  // true when a frame waits to be presented
    void (*present_d3d)();
    // True while a screenshot waits for the next present.
    bool (*front_buffer_capture_requested)();
    int (*get_gpu_load)();               // percent, -1 when unknown
    void (*discard_input_events)();
    void (*show_splash)(const char* text, float progress);
    // Tops up the queued data of playing music streams (the sound layer).
    // show_splash calls it, so music goes on while a long operation keeps
    // the update steps from running.
    void (*feed_sound_streams)();

    // --- Once-a-second checks, in this order (then the settings flush) ------
    void (*reload_shaders)(bool force);
    void (*reload_textures)(bool force);
    void (*reload_sky_script)();
    void (*reload_world_scripts)();
    void (*reload_sound_script)();
};

extern AppHooks app_hooks;
