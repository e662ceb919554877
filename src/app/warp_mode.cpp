// The warp out of a world: one second in which the last picture of the world
// is pulled into a tunnel ("warpEffect.sh", fed back into itself frame after
// frame), then the world is left (saved, simulated for 60 s behind the
// warped picture as the splash, saved again) for the universe.
#include "core/app_globals.h"
#include "app/game_modes.h"
#include "core/log.h"
#include "core/window.h"
#include "render/device.h"
#include "render/shader.h"
#include "render/splash.h"
#include "world/saved_games.h"

namespace {

WarpMode warp_instance;
Shader* warp_shader = nullptr;

// The effect advances in steps of at least this many seconds.
constexpr float WARP_MIN_ADVANCE = 0.01f;

} // namespace

WarpMode* const warp_mode = &warp_instance;

void init_warp_effect()
{
    warp_shader = create_shader("warpEffect.sh", nullptr);
}

void close_warp_effect()
{
    destroy_shader(warp_shader);
    warp_shader = nullptr;
}

void WarpMode::enter(GameMode*)
{
    remaining = 1.0f;
    time_mark = 0;
    effect_time = 0;
    first_frame = true;
    left = false;
    debug("warp: leaving the world");
}

void WarpMode::update(float dt)
{
    time_mark -= dt;
    remaining -= dt;
    // Once: leave_world switches to the universe, and a second save and
    // minute of simulation would only repeat the first.
    if (remaining <= 0 && !left) {
        left = true;
        leave_world();
    }
}

void WarpMode::render3d(float t)
{
    if (first_frame) {
        first_frame = false;
        render_world_view(0.05f);
        copy_back_buffer(scene_image);
        return;
    }
    set_back_buffer_target();
    set_viewport(0, 0, d3d_wd, d3d_ht);
    set_wireframe(false);
    set_shader(warp_shader);
    float advance = 0;
    if (t - time_mark >= WARP_MIN_ADVANCE) {
        advance = t - time_mark;
        time_mark = t;
        effect_time += advance;
    }
    set_texture(0, scene_image);
    const float region[4] = {0.5f, -0.5f, 0.5f + 0.5f / d3d_wd, 0.5f + 0.5f / d3d_ht};
    set_vs_consts(16, region, 1);
    const float clock[4] = {advance, effect_time, 0, 0};
    set_ps_consts(1, clock, 1);
    draw_postfx();
    set_texture(0, nullptr);
    set_shader(nullptr);
    // The warped picture is the next frame's source and the splash's background.
    grab_scene_as_splash();
}

void WarpMode::render2d(float) {}
