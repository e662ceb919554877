// Playing in a world: the player flies with the control buttons, dashes on a
// double tap of forward or back, and looks round with the mouse unless the
// spells interface has it. The camera is the player's eyes.
#include <cmath>

#include "core/app_globals.h"
#include "render/camera.h"
#include "app/dev_mode.h"
#include "app/game_modes.h"
#include "app/hotkeys.h"
#include "core/input.h"
#include "app/module_calls.h"
#include "app/update_step.h"
#include "render/sky.h"

bool need_mana_recalc = false;

namespace {

PlayGameMode play_instance;

// Control buttons (their order in the bindings table).
enum { B_FORWARD, B_BACK, B_LEFT, B_RIGHT, B_UP, B_DOWN, B_TURBO };

// A second tap of forward or back within this time dashes.
constexpr float DOUBLE_TAP_SECONDS = 0.2f;
// A timer counts as run out below this: 0.2 - 4 x 0.05 in floats is a
// little above 0, and taps exactly 0.2 s apart are not within 0.2 s.
constexpr float TIMER_EPSILON = 1e-4f;

float axis(bool plus, bool minus) { return float(plus) - float(minus); }

// The mouse offset from the window centre turns the camera; the mouse goes
// back to the centre and is hidden while the camera has it.
void play_mouse_look(float t)
{
    if (!isAppActive || !isMouseOver()) {
        camera.mouse_captured = false;
        shouldHideMouse = false;
        return;
    }
    if (gameobj_call_bool(gameobj_funcs.update_spells_ui_mouse, t)) {
        camera.mouse_captured = false; // the spells interface has the mouse
        return;
    }
    if (camera.mouse_captured) {
        float mx = 0, my = 0;
        getMousePos(&mx, &my);
        float dx = mx - float(d3d_wd / 2), dy = my - float(d3d_ht / 2);
        if (invert_mouse_y)
            dy = -dy;
        float hspeed = camera.prev_hspeed + (camera.hspeed - camera.prev_hspeed) * 20.0f * t;
        camera_mouse_look(dx, dy, 1.0f);
        camera.roll += 0.002f * dx * hspeed * 0.2f;
    }
    setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
    camera.mouse_captured = true;
    shouldHideMouse = true;
}

} // namespace

PlayGameMode* const play_mode = &play_instance;

PlayInput read_play_input()
{
    PlayInput in;
    in.forward_tapped = button_down(B_FORWARD);
    in.back_tapped = button_down(B_BACK);
    in.strafe = axis(button_state(B_RIGHT), button_state(B_LEFT));
    in.ahead = axis(button_state(B_FORWARD), button_state(B_BACK));
    in.climb = axis(button_state(B_UP), button_state(B_DOWN));
    in.turbo = button_state(B_TURBO);
    return in;
}

void play_movement(float dt, const PlayInput& in)
{
    CameraState& c = camera;
    c.fwd_timer = std::fmax(c.fwd_timer - dt, 0.0f);
    c.back_timer = std::fmax(c.back_timer - dt, 0.0f);
    c.roll *= std::fmax(0.0f, 1.0f - 4.0f * dt);

    // Each tap decides the dash anew: a second tap while the timer runs
    // dashes that way, a lone tap stops dashing.
    if (in.back_tapped) {
        c.dash = c.back_timer > TIMER_EPSILON ? -1.0f : 0.0f;
        c.back_timer = DOUBLE_TAP_SECONDS;
    }
    if (in.forward_tapped) {
        c.dash = c.fwd_timer > TIMER_EPSILON ? 1.0f : 0.0f;
        c.fwd_timer = DOUBLE_TAP_SECONDS;
    }

    const float ahead = in.ahead + c.dash;
    float speed = 8.0f * dt;
    if (c.dash != 0 || in.turbo)
        speed *= 2.0f;

    Matrix44 m;
    camera_matrix(0, m);
    Vec4f move{0, 0, 0, 0};
    for (int k = 0; k < 3; k++)
        move[k] = in.strafe * m.m[0][k] + ahead * m.m[2][k] + (k == 1 ? in.climb : 0.0f);
    float len = std::sqrt(move.x * move.x + move.y * move.y + move.z * move.z);
    if (len > 0)
        for (int k = 0; k < 3; k++)
            move[k] *= speed / len;

    if (local_player && gameobj_api.player_move && gameobj_api.player_position) {
        gameobj_api.player_move(local_player, dt, speed, move, m, c.dash);
        Vec4f p;
        if (gameobj_api.player_position(local_player, &p))
            c.pos = Vec4f{p.x, p.y, p.z, 1};
    } else {
        // Without the module's player the camera flies by itself.
        for (int k = 0; k < 3; k++)
            c.pos[k] += move[k];
    }
    c.hspeed = std::sqrt(move.x * move.x + move.z * move.z);
}

void PlayGameMode::enter(GameMode* previous)
{
    reset_fly_control();
    if (previous == dev_mode && local_player && gameobj_api.player_take_camera)
        gameobj_api.player_take_camera(local_player, camera.pos);
    need_mana_recalc = true;
}

void PlayGameMode::update(float dt)
{
    camera_begin_step(dt);
    if (isAppActive) {
        play_movement(dt, read_play_input());
    } else {
        camera.mouse_captured = false;
        shouldHideMouse = false;
    }
    camera_matrix(1, cur_view_itm);
    handle_global_hotkeys();
    sky_step();
    update_world_step(dt);
    gameobj_call(gameobj_funcs.update_spells_ui, dt);
}

void PlayGameMode::render3d(float t)
{
    play_mouse_look(t);
    render_world_view(t);
}

void PlayGameMode::render2d(float t)
{
    gameobj_call(gameobj_funcs.draw_spells_ui, t);
}
