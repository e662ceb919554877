// The update step, the world step and the world simulation. The order of the
// calls is the game's contract (input is consumed, sounds follow the camera,
// GUI elements die, then the module may be swapped); keep it.
#include "app/update_step.h"

#include "audio/sound.h"
#include "audio/sound_events.h"
#include "core/app_globals.h"
#include "core/config.h"
#include "core/game_mode.h"
#include "core/stats_tracker.h"
#include "core/window.h"
#include "gui/gui.h"
#include "host/gameobj_api.h"
#include "host/gameobj_host.h"
#include "render/camera.h"
#include "render/effects.h"
#include "render/hmRender.h"
#include "render/shader.h"
#include "render/sky.h"
#include "render/texture.h"
#include "world/heightmap.h"
#include "world/hm_update.h"
#include "world/water_sim.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"

#include <cmath>

namespace {

void listener_from_camera(const float pos[4], const float vel[4], const float front[4], const float up[4])
{
    auto v = [](const float a[4]) { return SoundVec{a[0], a[1], a[2], a[3]}; };
    set_listener_pos(v(pos), v(vel), v(front), v(up));
}

// After a module reload: the module binds itself to the world VM again.
void rebind_world_script()
{
    if (world_gen_vm.vm && gameobj_funcs.bind_gameobj)
        gameobj_fn<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(world_gen_vm.vm);
    bind_world_script();
}

} // namespace

StepCalls program_step_calls()
{
    StepCalls c{};
    c.step_camera = step_camera;
    c.set_listener_pos = listener_from_camera;
    c.update_3d_sounds = update_3d_sounds;
    c.start_queued_music = start_queued_music;
    c.update_sound = update_sound;
    c.apply_3d_sound = apply_3d_sound;
    c.destroy_queued_gui_elements = destroy_queued_gui_elements;
    c.reload_gameobj = reload_gameobj;
    c.bind_world_script = rebind_world_script;
    c.update_terrain_renderer = HeightmapRenderer::update_fluid_levels;
    c.update_hmap = HeightmapData::updateHmap;
    c.sim_water = HeightmapData::simWater;
    c.update_common_fx = update_common_fx;
    c.update_gameobj = run_gameobj_update;
    c.show_splash = show_splash;
    c.reload_shaders = reload_shaders;
    c.reload_textures = reload_textures;
    c.reload_sky_script = reload_sky;
    c.reload_fx_script = reload_fx_script;
    c.reload_world_scripts = reload_world_scripts;
    c.reload_sound_script = reload_sound_script;
    return c;
}

StepCalls step_calls = program_step_calls();

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
    if (!step_calls.step_camera || !step_calls.step_camera(pos, front, up)) {
        if (step_calls.update_3d_sounds)
            step_calls.update_3d_sounds(nullptr);
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
    if (step_calls.set_listener_pos)
        step_calls.set_listener_pos(pos, vel, front, up);
    if (step_calls.update_3d_sounds)
        step_calls.update_3d_sounds(pos);
}

void reload_module(bool force)
{
    if (step_calls.reload_gameobj && step_calls.reload_gameobj(force) && step_calls.bind_world_script)
        step_calls.bind_world_script();
}

void world_step(float dt, bool with_renderer)
{
    if (with_renderer && step_calls.update_terrain_renderer) {
        ScopedStatsTiming timing(hm_renderer_timing);
        step_calls.update_terrain_renderer(dt);
    }
    // Land and water time themselves ("hm update", "fluid sim"); timing them
    // here too would count them twice.
    if (step_calls.update_hmap)
        step_calls.update_hmap(dt);
    if (step_calls.sim_water)
        step_calls.sim_water(dt);
    if (step_calls.update_common_fx) {
        ScopedStatsTiming timing(fx_timing);
        step_calls.update_common_fx(dt);
    }
    if (step_calls.update_gameobj)
        step_calls.update_gameobj(dt);
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
    if (step_calls.start_queued_music)
        step_calls.start_queued_music();
    // The sound layer advances once per step whether or not a camera exists
    // yet, so music keeps streaming on every screen.
    if (step_calls.update_sound)
        step_calls.update_sound(dt);
    if (step_calls.apply_3d_sound)
        step_calls.apply_3d_sound();
    if (step_calls.destroy_queued_gui_elements)
        step_calls.destroy_queued_gui_elements();
    misc_timing.stop();

    if (force_gameobj_reload) {
        force_gameobj_reload = false;
        if (step_calls.reload_gameobj)
            step_calls.reload_gameobj(true);
        if (step_calls.bind_world_script)
            step_calls.bind_world_script();
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
        if (step_calls.show_splash)
            step_calls.show_splash("Simulating the world", float(1.0 - remaining / seconds));
        world_step(dt, false);
    }
}

void run_periodic_checks()
{
    if (step_calls.reload_shaders)
        step_calls.reload_shaders(false);
    if (step_calls.reload_textures)
        step_calls.reload_textures(false);
    reload_module(false);
    if (step_calls.reload_sky_script)
        step_calls.reload_sky_script();
    if (step_calls.reload_fx_script)
        step_calls.reload_fx_script();
    if (step_calls.reload_world_scripts)
        step_calls.reload_world_scripts();
    if (step_calls.reload_sound_script)
        step_calls.reload_sound_script();
    flush_app_config();
}
