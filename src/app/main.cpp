// Program entry: start-up in its fixed order, the frame loop, the ordered
// shutdown. The program's top (docs/layers.md): it calls every subsystem
// directly and installs the few callbacks lower layers make upward.
//
// Every subsystem registers its close step in its shutdown stage as it comes
// up, so a fatal error during start-up closes exactly what exists.
#include "core/app_globals.h"
#include "core/app_settings.h"
#include "render/camera.h"
#include "app/dev_mode.h"
#include "core/config.h"
#include "app/frame_loop.h"
#include "core/game_mode.h"
#include "core/input.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/priority.h"
#include "core/shutdown.h"
#include "app/game_modes.h"
#include "app/module_calls.h"
#include "app/update_step.h"
#include "core/window.h"
#include "audio/sound.h"
#include "audio/sound_events.h"
#include "audio/sound_land_bind.h"
#include "world/heightmap.h"
#include "world/hm_update.h"
#include "world/universe.h"
#include "world/worldGenVM.h"
#include "world/spells.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"
#include "world/world_sim.h"
#include "devtools/dev_server.h"
#include "devtools/scripted_input.h"
#include "devtools/stats_overlay.h"
#include "gui/gui_runtime.h"
#include "render/device.h"
#include "render/debug_vis.h"
#include "render/distFont.h"
#include "render/dynVBWriter.h"
#include "render/effects.h"
#include "render/instRender.h"
#include "render/renderBatch.h"
#include "render/font.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/scene.h"
#include "render/shadow_maps.h"
#include "render/sky.h"
#include "render/shader.h"
#include "render/splash.h"
#include "render/texture.h"
#include "host/gameobj_api.h"
#include "host/gameobj_host.h"
#include "world/worldScript.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

// The splash's image batch state (exported for the module): no texture, the
// image shader.
StdRenderBatchState splash_image_state;

namespace {

// {===== Run limit and scripted input (smoke tests)

// RUNEHOLM_RUN_SECONDS ends the run after that much game time.
double run_seconds = -1.0;
int64_t steps_run = 0;
int64_t frames_rendered = 0;

void read_run_limit()
{
    const char* text = getenv("RUNEHOLM_RUN_SECONDS");
    if (!text || !*text)
        return;
    char* end = nullptr;
    double seconds = strtod(text, &end);
    if (end != text && seconds >= 0) {
        run_seconds = seconds;
        debug("APP: running for %g s of game time", run_seconds);
    } else {
        debug("APP: ignoring RUNEHOLM_RUN_SECONDS='%s' (not a number of seconds)", text);
    }
}

double game_time()
{
    return double(steps_run) * update_step_seconds();
}

bool loop_should_quit()
{
    return quit_requested || (run_seconds >= 0 && game_time() >= run_seconds);
}

void loop_update_step(float dt)
{
    dev_server_poll(); // developer server hook: the start of every update step
    // The server's "speed" (tests only) runs 0 to 16 steps here; input goes to the first.
    for (int n = dev_server_steps_due(); n > 0; --n) {
        run_update_step(dt);
        ++steps_run;
        // Pushed now, handled by the next round of messages, seen by the next step.
        scripted_input_advance(game_time());
        if (n > 1)
            discard_input_events();
    }
}

void sleep_ms(int ms)
{
    timespec t{ms / 1000, long(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

FrameLoopHooks make_loop_hooks()
{
    FrameLoopHooks h;
    h.clock = get_ref_time;
    h.ticks_per_sec = time_ticks_per_sec();
    h.update_step = loop_update_step;
    h.render = [](float dt) {
        bool rendered = render_d3d_frame(dt);
        frames_rendered += rendered;
        return rendered;
    };
    h.present = present_d3d;
    h.process_messages = process_window_messages;
    // No device counts as a lost one: the loop then sleeps between steps.
    h.check_device = check_d3d_device;
    h.periodic_checks = run_periodic_checks;
    h.gpu_load = read_gpu_load;
    h.discard_input = discard_input_events;
    h.sleep_ms = sleep_ms;
    h.quit_requested = loop_should_quit;
    h.frame_wanted_at_exit = front_buffer_capture_requested;
    return h;
}

// {===== Frame contents

// Camera position for the readouts: the step camera.
void readout_camera_pos(float pos[4])
{
    float front[4], up[4];
    step_camera(pos, front, up);
}

// The camera position and the world time above the bottom-left corner.
void draw_fps_readouts()
{
    // The world's clock arrives with the world data; until then it stands still.
    const int world_ticks = 0;
    const int L = font_line_height();
    const int y = d3d_ht * 945 / 1000 - L;
    float pos[4];
    readout_camera_pos(pos);
    char text[96];
    snprintf(text, sizeof text, "(%+07.2f %+07.2f %+07.2f)", pos[0], pos[1], pos[2]);
    draw_text(text, -1, L, y, -1, -1, 0xFFFFFFFF);
    snprintf(text, sizeof text, "%3d:%02d", world_ticks / 1200, (world_ticks / 20) % 60);
    draw_text(text, -1, L, y - 3 * L / 2, -1, -1, 0xFFFFFFFF);
}

float clamp_unit(float v)
{
    return v < -1.0f ? -1.0f : v > 1.0f ? 1.0f : v;
}

// The device layer's scene function, between BeginScene and EndScene.
void draw_frame_contents(float dt)
{
    if (cur_game_mode)
        cur_game_mode->render3d(dt);
    set_back_buffer_target();
    if (cur_game_mode)
        cur_game_mode->render2d(dt);

    start_draw_text();
    draw_error_message();
    draw_visual_log();
    if (show_fps) {
        draw_fps_readouts();
        draw_stats_overlay();
    }
    // Setting the sun along the view (right button in the developer mode):
    // its zenith angle in whole degrees.
    if (cur_game_mode == dev_mode && getKeyState(VK_RBUTTON) && isAppActive && isMouseOver()) {
        char text[16];
        float y = clamp_unit(get_target_sun_dir().y);
        snprintf(text, sizeof text, "%3d", int(std::lround(std::acos(y) * 57.29578f)));
        draw_text(text, -1, 0, d3d_ht, -1, 1, 0xFFFFFFFF); // its bottom on the screen's edge
    }
    end_draw_text();
}

// Centred splash text in the bitmap font.
void draw_splash_text(const char* text, float x, float y)
{
    start_draw_text();
    draw_text(text, -1, int(x), int(y), 0, 0, 0xFFFFFFFF);
    end_draw_text();
}

// The device layer's hook after every successful resize.
void on_device_resized()
{
    if (!font_ready())
        return;
    recompute_font_scale();
    splash_line_height = float(font_line_height());
    HeightmapRenderer::terrain_targets_lost();
    gameobj_call(gameobj_funcs.spells_ui_after_resize);
}

// {===== Subsystem adapters and close steps

void close_sound_layer()
{
    clear_land_sound_hooks(land_sound_hooks);
    splash_feed_sound_fn = nullptr;
    close_sound_script();
    close_sound();
}

void release_scene_image()
{
    if (scene_image)
        release_texture(scene_image);
    if (splash_background == scene_image)
        splash_background = nullptr;
    scene_image = nullptr;
}

void close_shader_module()
{
    close_shaders();
    d3d_release_shaders_fn = nullptr;
}

// {===== The world on screen: sky, terrain, shadows, post effects, camera

void world_set_sun_dir(const Vec4f& d) { set_sun_dir(false, d); }
void world_set_sky_name(const char* name) { set_sky_palette(name); }
Vec4f hm_camera_pos() { return camera.pos; }

// Closing order of the scene: shadow maps, debug drawing, terrain and map
// renderers, sky, post effects, the deferred-lighting shaders and targets.
void close_world_rendering()
{
    world_hooks.set_sun_dir = nullptr;
    world_hooks.set_sky_name = nullptr;
    world_hooks.reset_terrain_renderer = nullptr;
    close_warp_effect();
    close_shadow_maps();
    close_debug_vis();
    HeightmapRenderer::close_terrain_renderer();
    close_sky();
    close_postfx();
    close_scene_targets();
}

// The high-quality scene targets, shaders and shadow maps, then the sky, the
// terrain renderer and the post effects, wired into the world and the step.
void init_world_rendering()
{
    init_scene_targets();
    if (gfx_quality == 1) {
        set_shadow_map_quality(shadow_resolution);
        init_shadow_maps();
    }
    shutdown_register(ShutdownStage::Scene, close_world_rendering);
    init_sky();
    HeightmapRenderer::init_terrain_renderer();
    init_postfx();
    init_warp_effect();
    init_debug_vis();
    world_hooks.set_sun_dir = world_set_sun_dir;
    world_hooks.set_sky_name = world_set_sky_name;
    world_hooks.reset_terrain_renderer = HeightmapRenderer::reset_fluid_levels;
    hm_camera_pos_hook = hm_camera_pos;
}

// Puts the camera a little above the ground at (x, z), looking along +z.
void place_camera_over_ground(float x, float z)
{
    Vec4f p{x, 0, z, 1};
    p.y = HeightmapData::calcSquareDepth(Vec4f{x, -5, z, 1}, 5, true).y + 6.0f;
    set_camera_pos(p);
    camera.yaw = 0;
    camera.pitch = -0.2f;
    camera.roll = camera.prev_roll = 0;
    reset_fly_control();
}

// Scripted input hooks of the tests: a world from a seed, a camera placement.
void scripted_generate(uint64_t seed, bool game_world)
{
    game_rnd_seed = seed;
    generate_world(game_world ? "game" : "main_menu");
    place_camera_over_ground(world_player_start_pos.x, world_player_start_pos.z);
}

void scripted_camera(const float v[5])
{
    set_camera_pos(Vec4f{v[0], v[1], v[2], 1});
    camera.yaw = v[3];
    camera.pitch = v[4];
    camera.roll = camera.prev_roll = 0;
    reset_fly_control();
}

// {===== Start-up

// The sound layer with 3D sound, the listener factors and the volumes.
void init_sound_layer()
{
    init_sound(true);
    shutdown_register(ShutdownStage::Scene, close_sound_layer);
    init_sound_script("sound/sound.nut");
    splash_feed_sound_fn = keep_music_playing;
    fill_land_sound_hooks(land_sound_hooks);
    world_hooks.register_sound_event_constants = register_sound_event_constants;
    world_hooks.play_sound_event = raise_sound_event;
    set_listener_3d_factors(1, 1, 1);
    int sound_volume = 10000, music_volume = 10000;
    get_config_int("sound_volume", sound_volume);
    get_config_int("music_volume", music_volume);
    set_global_sample_volume(sound_volume);
    set_global_stream_volume(music_volume);
}

// The module's init entry points in their start-up order, with the common
// effects and the splash's image state between them.
void init_gameobj_entry_points()
{
    gameobj_call(gameobj_funcs.init_inst_render);
    init_common_fx();
    // Scene steps run in reverse: the effects close before the module and the post effects.
    shutdown_register(ShutdownStage::Scene, close_common_fx);
    gameobj_call(gameobj_funcs.init_new_gui);
    gameobj_call(gameobj_funcs.init_spells_ui);
    init_ui_image_state(splash_image_state, nullptr, nullptr);
    gameobj_call(gameobj_funcs.init_gameobj);
}

// The subsystems brought up after the device, in their fixed order, each
// registering its close step as it comes up. Ends on the main menu.
void hook_gameobj_module();

void init_game_systems()
{
    debug("APP: world grids");
    allocate_heightmap_grids();
    world_sim_init();
    shutdown_register(ShutdownStage::Scene, world_sim_close);
    set_update_rate(20, 5);
    init_controls();
    init_gui_runtime();
    debug("APP: sound");
    init_sound_layer();

    debug("Graphics quality: %s", gfx_quality_name[gfx_quality == 0 ? 0 : 1]);
    scene_image = create_screen_render_texture();
    if (!scene_image)
        fatal("can't create scene image texture");
    shutdown_register(ShutdownStage::Scene, release_scene_image);
    if (gfx_quality != 1)
        use_postfx = false;
    debug("APP: scene, sky, terrain, post effects");
    init_world_rendering();

    debug("game_rnd_seed=%" PRIu64 ";", game_rnd_seed);
    setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
    debug("APP: game-object module");
    start_gameobj_module(RUNEHOLM_MODULE_SRC_DIR "/");
    shutdown_register(ShutdownStage::Scene, close_gameobj_module);
    hook_gameobj_module();
    init_gameobj_entry_points();
    // A script error here is shown on screen; the game keeps running.
    debug("APP: world-generation script");
    universe_init();
    world_hooks.grab_scene_as_splash = grab_scene_as_splash;
    world_hooks.reset_frame_time = reset_update_time;
    world_hooks.simulate_world = simulate_world;
    init_world_gen_vm("gen/main.nut");
    // Steps of a stage run in reverse: the universe is released before the VM closes.
    shutdown_register(ShutdownStage::Scene, close_world_gen_vm);
    shutdown_register(ShutdownStage::Scene, universe_close);
    // Runs first: the objects go while the world script is still there.
    shutdown_register(ShutdownStage::Scene, release_gameobjs);
    scripted_generate_fn = scripted_generate;
    scripted_camera_fn = scripted_camera;
    game_modes_install_hooks();

    debug("APP: main menu");
    go_to_main_menu();
    Vec4f pos;
    if (local_player && gameobj_api.player_position && gameobj_api.player_position(local_player, &pos))
        set_camera_pos(Vec4f{pos.x, pos.y, pos.z, 1});
}

// The window, input and the device with the writer, the GPU-load query and
// the bitmap font.
void init_window_and_device()
{
    int device_wd = 0, device_ht = 0;
    SDL_Window* window = create_main_window(device_wd, device_ht);
    if (!window)
        fatal("can't create the main window");
    // Runs after close_d3d (same stage, reverse order of registration).
    shutdown_register(ShutdownStage::Device, destroy_main_window);
    // World code shows its long operations' progress on the splash.
    world_hooks.show_splash = show_splash;

    d3d_scene_fn = draw_frame_contents;
    d3d_resize_hook = on_device_resized;
    init_d3d(window, device_wd, device_ht);
    load_shader_compiler();
    d3d_release_shaders_fn = close_shader_module;
    shutdown_register(ShutdownStage::Device, close_d3d);
    shutdown_register(ShutdownStage::Textures, free_all_textures);
    if (isFullscreen)
        clip_cursor_to_window(true);

    init_common_vb_writer();
    // The instanced renderers and their meshes close after the module's
    // close_inst_render, before the textures and the device.
    init_inst_render_internals();
    shutdown_register(ShutdownStage::Meshes, close_inst_render_internals);
    bool gpu_query = open_gpu_load_query();
    init_font();
    // Closed in the order font, writer, GPU-load query.
    if (gpu_query)
        shutdown_register(ShutdownStage::Misc, close_gpu_load_query);
    shutdown_register(ShutdownStage::Misc, close_common_vb_writer);
    shutdown_register(ShutdownStage::Misc, close_font);
    splash_draw_text_fn = draw_splash_text;
    splash_line_height = float(font_line_height());
    // The splash draws with the distance-field font once it is loaded
    // (closed before the bitmap font).
    init_dist_fonts();
    init_dist_icons();
    load_default_dist_fonts();
    shutdown_register(ShutdownStage::Misc, close_dist_fonts);
    // The spell and resource tables (world) learn their icons' ids from the atlas.
    ui_icon_id_hook = [](const char* name) { return ui_icons.getIconId(name); };
    init_spell_icons();
}

// The game-object module's links into the world: its script bindings, the
// player and the object removal the world's operations call.
void hook_gameobj_module()
{
    world_hooks.register_module_bindings = [](HSQUIRRELVM vm) {
        if (gameobj_funcs.bind_gameobj)
            gameobj_fn<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(vm);
    };
    world_hooks.remove_all_gameobj = [] {
        if (gameobj_api.remove_all_gameobj)
            gameobj_api.remove_all_gameobj();
    };
    world_hooks.has_local_player = [] { return local_player != nullptr; };
    world_hooks.create_player = [](const Vec4f& pos) {
        if (gameobj_api.create_player)
            local_player = gameobj_api.create_player(pos);
    };
    world_hooks.init_spell_grid = [] {
        if (gameobj_funcs.init_spell_grid)
            gameobj_fn<void (*)()>(gameobj_funcs.init_spell_grid)();
    };
    // The object shadow casters (the setting turns them off; the module takes
    // the pass argument as a float); looked up at
    // every call, since a reload replaces the module's functions.
    if (use_obj_shadows)
        shadow_casters_fn = [](int pass_arg) {
            if (gameobj_funcs.render_gameobj_shadow_map)
                gameobj_fn<void (*)(float)>(gameobj_funcs.render_gameobj_shadow_map)(float(pass_arg));
        };
}

} // namespace

int main(int argc, char** argv)
{
    log_start_header();
    if (!get_exe_path(app_path, sizeof(app_path)))
        app_path[0] = 0;
    debug("app path: '%s'", app_path);

    init_time_base();
    game_rnd_seed = uint64_t(get_ref_time());
    set_update_rate(20, 5);
    const int64_t start_time = get_ref_time();

    if (!register_main_window_class()) {
        // The design leaves the log silent here; say why on the terminal at least.
        fprintf(stderr, "Runeholm: can't start the window system\n");
        return 0;
    }
    read_app_settings(argc, argv);
    isFullscreen = app_fullscreen;
    apply_process_priority();

    init_window_and_device();
    show_splash("Loading...", -1.0f);

    init_game_systems();
    debug("total start-up time: %d ms", get_time_msec(get_ref_time() - start_time));
    debug("free video memory: %u MB", get_free_texmem() >> 20);

    dev_server_start(dev_server_wanted(argc, argv), dev_mode); // developer server hook: the end of start-up
    read_run_limit();
    scripted_input_start();
    FrameLoopHooks hooks = make_loop_hooks();
    run_frame_loop(hooks);
    debug("APP: %" PRId64 " update steps, %" PRId64 " frames rendered", steps_run, frames_rendered);
    shutdown_systems();
    return 0;
}
