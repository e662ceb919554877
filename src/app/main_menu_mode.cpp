// The main menu: a live world behind the module's menu screens, seen from an
// autopilot that flies at 10 units per second, steers by smooth noise and
// follows the land ahead.
//
// Invariant after every autopilot step: the camera is at least 0.5 units
// above the highest land within 0.5 units round it, and x, z lie in [0, 256).
#include <cmath>

#include "core/app_globals.h"
#include "render/camera.h"
#include "app/game_modes.h"
#include "app/hotkeys.h"
#include "app/module_calls.h"
#include "app/update_step.h"
#include "render/hmRender.h"
#include "render/sky.h"
#include "world/heightmap.h"
#include "world/noise.h"
#include "world/universe.h"

namespace {

MainMenuMode main_menu_instance;

float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

void forward_of(float yaw, float pitch, float f[3])
{
    f[0] = -std::sin(yaw) * std::cos(pitch);
    f[1] = std::sin(pitch);
    f[2] = std::cos(yaw) * std::cos(pitch);
}

// Into [0, 256): the fraction of p / 256 + 16, times 256 (the offset keeps
// positions a little below 0 positive before the fraction is taken).
float wrap_world(float p)
{
    float f = p / 256.0f + 16.0f;
    return (f - std::floor(f)) * 256.0f;
}

} // namespace

MainMenuMode* const main_menu_mode = &main_menu_instance;

void autopilot_reset(Autopilot& pilot)
{
    Vec4f p{0, 0, 0, 1};
    p.y = HeightmapData::calcSquareDepth(Vec4f{0, -5, 0, 1}, 5, true).y;
    set_camera_pos(p);
    camera.yaw = camera.pitch = 0;
    camera.roll = camera.prev_roll = 0;
    pilot = Autopilot{};
}

void autopilot_step(Autopilot& pilot, float dt)
{
    pilot.prev_yaw = pilot.yaw;
    pilot.prev_pitch = pilot.pitch;
    pilot.clock += dt;

    float fwd[3];
    forward_of(pilot.yaw, pilot.pitch, fwd);
    Vec4f& pos = camera.pos;
    for (int k = 0; k < 3; k++)
        pos[k] += 10.0f * dt * fwd[k];

    // Steering: a slow noise plus five finer octaves of halving weight.
    const float x = 0.1f * pilot.clock;
    float n = noise1(x), a = 0.5f, f = 2.0f * x + 0.5f;
    for (int k = 0; k < 5; k++, a *= 0.5f, f = 2.0f * f + 0.5f)
        n += noise1(f) * a;
    float turn_target = 0.04f * n;

    // Height: climb towards land ahead that reaches within 5 units below the
    // camera, dive towards land more than 15 units below.
    Vec4f ahead{pos.x + 10 * fwd[0], pos.y + 10 * fwd[1] - 5, pos.z + 10 * fwd[2], 1};
    float d = HeightmapData::calcSquareDepth(ahead, 10, true).x;
    float pitch_target = 0;
    if (d > 0 || d < -10) {
        d = std::fmax(d, -10.0f);
        pitch_target = std::atan2(d + 10 * fwd[1], 10.0f) - pilot.pitch;
    }

    const float limit = 0.5f * dt;
    pitch_target = clampf(pitch_target, -limit, limit);
    turn_target = clampf(turn_target, -limit, limit);
    pilot.pitch_rate += (pitch_target - pilot.pitch_rate) * 0.2f;
    pilot.pitch += pilot.pitch_rate;
    pilot.yaw_rate += (turn_target - pilot.yaw_rate) * 0.2f;
    pilot.yaw += pilot.yaw_rate;
    camera.roll = -10.0f * pilot.yaw_rate;

    // Clearance: never closer than 0.5 units to the land below.
    Vec4f r = HeightmapData::calcSquareDepth(Vec4f{pos.x, pos.y - 0.5f, pos.z, 1}, 0.5f, true);
    if (r.x > 0 || r.y > 0 || r.z > 0 || r.w > 0)
        pos.y += r.y;

    pos.x = wrap_world(pos.x);
    pos.z = wrap_world(pos.z);
    // The step's camera looks along the autopilot; frames interpolate it.
    camera.yaw = pilot.yaw;
    camera.pitch = pilot.pitch;
}

void MainMenuMode::enter(GameMode*)
{
    autopilot_reset(pilot);
    // A close request left from an earlier screen must not close this menu.
    should_close_game_menu = false;
    gameobj_call(gameobj_funcs.open_main_menu);
}

void MainMenuMode::leave(GameMode*)
{
    gameobj_call(gameobj_funcs.close_game_menu);
}

void MainMenuMode::update(float dt)
{
    camera_begin_step(dt);
    // The camera at the step start keeps the previous step's angles.
    camera.yaw = pilot.yaw;
    camera.pitch = pilot.pitch;
    handle_global_hotkeys();
    if (cur_game_mode != this)
        return;
    autopilot_step(pilot, dt);
    camera_matrix(1, cur_view_itm);
    gameobj_call(gameobj_funcs.update_game_menu, dt);
    HeightmapRenderer::mark_terrain_changed();
    sky_step();
    update_world_step(dt);
    if (should_close_game_menu && cur_game_mode == this)
        set_game_mode(universe_mode);
}

void MainMenuMode::render3d(float t)
{
    const float f = 20.0f * t;
    camera.yaw = pilot.prev_yaw + (pilot.yaw - pilot.prev_yaw) * f;
    camera.pitch = pilot.prev_pitch + (pilot.pitch - pilot.prev_pitch) * f;
    render_world_view(t);
}

void MainMenuMode::render2d(float t)
{
    gameobj_call(gameobj_funcs.draw_game_menu, t);
}
