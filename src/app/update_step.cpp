// The update step, the world step and the world simulation. The order of the
// calls is the game's contract (input is consumed, sounds follow the camera,
// GUI elements die, then the module may be swapped); keep it.
#include "app/update_step.h"

#include "app/app_globals.h"
#include "app/app_hooks.h"
#include "app/config.h"
#include "app/game_mode.h"
#include "app/stats_tracker.h"

#include <cmath>

AppHooks app_hooks = {};

namespace {

UpdateStatsTracker misc_timing("misc");
UpdateStatsTracker hm_renderer_timing("hm renderer");
UpdateStatsTracker fx_timing("fx");

// Camera position at the start of the previous step, for the listener velocity.
float prev_camera_pos[4];
bool have_prev_camera = false;

// The listener follows the camera; the 3D sounds are re-placed and the
// stopped ones dropped in every step, with the last reference position while
// there is no camera.
void update_sound_listener(float dt)
{
    float pos[4], front[4], up[4];
    if (!app_hooks.step_camera || !app_hooks.step_camera(pos, front, up)) {
        if (app_hooks.update_3d_sounds)
            app_hooks.update_3d_sounds(nullptr);
        return;
    }
    if (!have_prev_camera) {
        for (int i = 0; i < 4; ++i)
            prev_camera_pos[i] = pos[i];
        have_prev_camera = true;
    }
    // Velocity per second; x and z across the world's wrap count as the short way.
    float vel[4];
    for (int i = 0; i < 4; ++i)
        vel[i] = pos[i] - prev_camera_pos[i];
    vel[0] = wrap_listener_delta(vel[0]);
    vel[2] = wrap_listener_delta(vel[2]);
    for (int i = 0; i < 4; ++i) {
        vel[i] /= dt;
        prev_camera_pos[i] = pos[i];
    }
    if (app_hooks.set_listener_pos)
        app_hooks.set_listener_pos(pos, vel, front, up);
    if (app_hooks.update_3d_sounds)
        app_hooks.update_3d_sounds(pos);
}

void reload_module(bool force)
{
    if (app_hooks.reload_gameobj && app_hooks.reload_gameobj(force) && app_hooks.bind_world_script)
        app_hooks.bind_world_script();
}

void world_step(float dt, bool with_renderer)
{
    if (with_renderer && app_hooks.update_terrain_renderer) {
        ScopedStatsTiming timing(hm_renderer_timing);
        app_hooks.update_terrain_renderer(dt);
    }
    // Land and water time themselves ("hm update", "fluid sim"); timing them
    // here too would count them twice.
    if (app_hooks.update_hmap)
        app_hooks.update_hmap(dt);
    if (app_hooks.sim_water)
        app_hooks.sim_water(dt);
    if (app_hooks.update_common_fx) {
        ScopedStatsTiming timing(fx_timing);
        app_hooks.update_common_fx(dt);
    }
    if (app_hooks.update_gameobj)
        app_hooks.update_gameobj(dt);
}

} // namespace

float wrap_listener_delta(float d)
{
    float f = d / 256.0f;
    f = (f - std::trunc(f)) * 256.0f;
    if (f > 128.0f)
        f -= 256.0f;
    else if (f <= -128.0f)
        f += 256.0f;
    return f;
}

void run_update_step(float dt)
{
    if (cur_game_mode)
        cur_game_mode->update(dt);

    misc_timing.start();
    update_sound_listener(dt);
    if (app_hooks.start_queued_music)
        app_hooks.start_queued_music();
    // The sound layer advances once per step whether or not a camera exists
    // yet, so music keeps streaming on every screen.
    if (app_hooks.update_sound)
        app_hooks.update_sound(dt);
    if (app_hooks.apply_3d_sound)
        app_hooks.apply_3d_sound();
    if (app_hooks.destroy_queued_gui_elements)
        app_hooks.destroy_queued_gui_elements();
    misc_timing.stop();

    if (force_gameobj_reload) {
        force_gameobj_reload = false;
        if (app_hooks.reload_gameobj)
            app_hooks.reload_gameobj(true);
        if (app_hooks.bind_world_script)
            app_hooks.bind_world_script();
    }
}

void update_world_step(float dt)
{
    world_step(dt, true);
}

void simulate_world(float seconds)
{
    const float dt = 0.05f;
    // Double precision keeps 1200 steps for 60 s: the float step is slightly
    // above 0.05 and the remainder ends just below zero, not just above.
    for (double remaining = seconds; remaining > 0; remaining -= double(dt)) {
        if (app_hooks.show_splash)
            app_hooks.show_splash("Simulating the world", float(1.0 - remaining / seconds));
        world_step(dt, false);
    }
}

void run_periodic_checks()
{
    if (app_hooks.reload_shaders)
        app_hooks.reload_shaders(false);
    if (app_hooks.reload_textures)
        app_hooks.reload_textures(false);
    reload_module(false);
    if (app_hooks.reload_sky_script)
        app_hooks.reload_sky_script();
    if (app_hooks.reload_world_scripts)
        app_hooks.reload_world_scripts();
    if (app_hooks.reload_sound_script)
        app_hooks.reload_sound_script();
    flush_app_config();
}
