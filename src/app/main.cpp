// Program entry: start-up in its fixed order, the frame loop, the ordered
// shutdown. This file is compiled into the executable only, so it is the one
// place that may call every subsystem directly; the engine libraries reach
// each other's late-bound entry points through app_hooks.
#include "app/app_globals.h"
#include "app/app_hooks.h"
#include "app/app_settings.h"
#include "app/frame_loop.h"
#include "app/log.h"
#include "app/platform.h"
#include "app/priority.h"
#include "app/shutdown.h"
#include "app/update_step.h"

#include <cinttypes>
#include <cstdlib>
#include <ctime>

namespace {

// Smoke-test support: RUNEHOLM_RUN_SECONDS ends the run after that much game
// time. Without a window nothing else could end the loop, so a headless run
// without it stops after its first update step.
double run_seconds = -1.0;
bool stop_after_first_step = false;
int64_t steps_run = 0;

void read_run_limit(bool have_window)
{
    const char* text = getenv("RUNEHOLM_RUN_SECONDS");
    if (text && *text) {
        char* end = nullptr;
        double seconds = strtod(text, &end);
        if (end != text && seconds >= 0)
            run_seconds = seconds;
        else
            debug("APP: ignoring RUNEHOLM_RUN_SECONDS='%s' (not a number of seconds)", text);
    }
    if (!have_window) {
        if (run_seconds >= 0)
            debug("APP: no window, running headless for %g s of game time", run_seconds);
        else
            debug("APP: no window, running one update step headless");
        stop_after_first_step = run_seconds < 0;
    }
}

bool loop_should_quit()
{
    if (quit_requested)
        return true;
    if (stop_after_first_step && steps_run >= 1)
        return true;
    return run_seconds >= 0 && double(steps_run) * update_step_seconds() >= run_seconds;
}

void loop_update_step(float dt)
{
    run_update_step(dt);
    ++steps_run;
}

bool loop_check_device()
{
    // No device is treated as a lost one: the loop then sleeps between steps
    // instead of spinning.
    return app_hooks.check_d3d_device ? app_hooks.check_d3d_device() : false;
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
    h.render = [](float dt) { return app_hooks.render_d3d_frame && app_hooks.render_d3d_frame(dt); };
    h.present = [] {
        if (app_hooks.present_d3d)
            app_hooks.present_d3d();
    };
    h.process_messages = [] {
        if (app_hooks.process_window_messages)
            app_hooks.process_window_messages();
    };
    h.check_device = loop_check_device;
    h.periodic_checks = run_periodic_checks;
    h.gpu_load = [] { return app_hooks.get_gpu_load ? app_hooks.get_gpu_load() : read_gpu_load(); };
    h.discard_input = [] {
        if (app_hooks.discard_input_events)
            app_hooks.discard_input_events();
    };
    h.sleep_ms = sleep_ms;
    h.quit_requested = loop_should_quit;
    return h;
}

// The subsystems brought up after the device, in their fixed order. Those not
// built yet join here: world grids first; after the rate the controls, sound
// layer and sound script with the volumes; after the quality line the scene
// textures, the high-quality shaders and shadow maps, sky, terrain renderer,
// post effects and debug drawing; after the seed line the mouse centring,
// the game-object module with its init entry points and the effects, the
// world-generation VM, the main menu and the camera placement.
void init_game_systems()
{
    set_update_rate(20, 5);
    debug("Graphics quality: %s", gfx_quality_name[gfx_quality == 0 ? 0 : 1]);
    if (gfx_quality != 1)
        use_postfx = false;
    debug("game_rnd_seed=%" PRIu64 ";", game_rnd_seed);
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

    read_app_settings(argc, argv);
    isFullscreen = app_fullscreen;
    apply_process_priority();

    // The window subsystem (class registration, window, input, cursor clip)
    // and the device layer with its vertex-buffer writer and the bitmap font
    // come up here; until they exist the run is headless.
    const bool have_window = app_hooks.process_window_messages != nullptr;
    if (open_gpu_load_query())
        shutdown_register(ShutdownStage::Misc, close_gpu_load_query);
    if (app_hooks.show_splash)
        app_hooks.show_splash("Loading...", -1.0f);

    init_game_systems();
    debug("total start-up time: %d ms", get_time_msec(get_ref_time() - start_time));

    read_run_limit(have_window);
    FrameLoopHooks hooks = make_loop_hooks();
    run_frame_loop(hooks);
    shutdown_systems();
    return 0;
}
