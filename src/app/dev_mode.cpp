// The developer mode (free flight). Built into the executable only: it drives
// the world, the renderer and the debug tools together.
#include "app/dev_mode.h"

#include <cmath>

#include "core/app_globals.h"
#include "render/camera.h"
#include "app/frame_loop.h"
#include "core/input.h"
#include "app/update_step.h"
#include "app/game_modes.h"
#include "app/hotkeys.h"
#include "app/module_calls.h"
#include "render/sky.h"

namespace {

DevGameMode dev_mode_instance;

// Control buttons (their order in the bindings table).
enum { B_FORWARD, B_BACK, B_LEFT, B_RIGHT, B_UP, B_DOWN, B_TURBO };

float axis(bool plus, bool minus) { return float(plus) - float(minus); }

} // namespace

DevGameMode* const dev_mode = &dev_mode_instance;

void dev_fly_control(float dt, bool active) {
  if (active) {
    Matrix44 m;
    camera_matrix(0, m);
    float strafe = axis(button_state(B_RIGHT), button_state(B_LEFT));
    float ahead = axis(button_state(B_FORWARD), button_state(B_BACK));
    float rise = axis(getKeyState('E') || getKeyState(VK_PRIOR), getKeyState('C') || getKeyState(VK_NEXT));
    float lift = axis(getKeyState('Q') || getKeyState(VK_HOME), getKeyState('Z') || getKeyState(VK_END));
    float step = 5.55f * dt * (button_state(B_TURBO) ? 6.0f : 1.0f);
    const float world_up[3] = {0, 1, 0};
    const float* axes[4] = {m.m[0], m.m[2], m.m[1], world_up};
    const float amount[4] = {strafe, ahead, rise, lift};
    for (int a = 0; a < 4; a++)
      if (amount[a] != 0)
        for (int k = 0; k < 3; k++) camera.pos[k] += amount[a] * step * axes[a][k];
  }
  dev_zoom_step(dt, active && getKeyState(VK_MBUTTON));
}

void dev_zoom_step(float dt, bool zoom_held) {
  if (zoom_held)
    camera.zoom = std::fmin(camera.zoom + 20 * dt, 8.0f);
  else
    camera.zoom = std::fmax(camera.zoom - 20 * dt, 1.0f);
}

void DevGameMode::enter(GameMode*) {
  camera.roll = 0;
  camera.mouse_captured = false;
}

void DevGameMode::update(float dt) {
  camera_begin_step(dt);
  dev_fly_control(dt, isAppActive);
  camera_matrix(1, cur_view_itm);
  handle_global_hotkeys();
  sky_step();
  if (isAppActive && isMouseOver()) {
    const Vec4f pos{cur_view_itm.m[3][0], cur_view_itm.m[3][1], cur_view_itm.m[3][2], 1};
    const Vec4f dir{cur_view_itm.m[2][0], cur_view_itm.m[2][1], cur_view_itm.m[2][2], 0};
    if (getKeyState(VK_LBUTTON)) gameobj_call(gameobj_funcs.on_devmode_click, pos, dir);
    if (getKeyState(VK_RBUTTON)) set_sun_dir(true, dir);
  }
  update_world_step(dt);
}

void DevGameMode::render3d(float t) {
  if (isAppActive && isMouseOver()) {
    if (camera.mouse_captured) {
      float mx = 0, my = 0;
      getMousePos(&mx, &my);
      float dx = mx - float(d3d_wd / 2), dy = my - float(d3d_ht / 2);
      if (invert_mouse_y) dy = -dy;
      camera_mouse_look(dx, dy, camera.prev_zoom + (camera.zoom - camera.prev_zoom) * 20 * t);
    }
    setMousePos(float(d3d_wd / 2), float(d3d_ht / 2));
    camera.mouse_captured = true;
    shouldHideMouse = true;
  } else {
    camera.mouse_captured = false;
    shouldHideMouse = false;
  }
  render_world_view(t);
}

void DevGameMode::render2d(float t) { gameobj_call(gameobj_funcs.render_dev_world_map, t); }
