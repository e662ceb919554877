// The splash picture drawn by show_splash while the frame loop is not
// running, and the grab of the scene that later splashes show behind it.
// Until the fonts exist only the fallback is drawn: the background colour,
// the text through `splash_draw_text_fn` when installed, and the progress bar
// made of two viewport-limited clears.
#include "render/splash.h"

#include <cmath>

#include "core/log.h"
#include "core/window.h"

Texture* scene_image = nullptr;
Texture* splash_background = nullptr;
void (*splash_draw_text_fn)(const char* text, float x, float y) = nullptr;
float splash_line_height = 16.f;

static void fill_rect(int x, int y, int w, int h, D3dColor color) {
  if (w <= 0 || h <= 0) return;
  set_viewport(x, y, w, h);
  clear_view_color(color);
}

void draw_splash() {
  set_back_buffer_target();
  clear_view_color(0xFF000A28);
  if (splash_draw_text_fn) splash_draw_text_fn(splash_text.str, d3d_wd / 2.f, d3d_ht / 4.f);
  if (splash_progress >= 0.f) {
    float L = splash_line_height;
    int bar_wd = d3d_wd / 4;
    int x0 = (d3d_wd - bar_wd) / 2;
    int top = (int)lroundf(d3d_ht / 4.f - 3.f * L);
    int ht = (int)lroundf(1.5f * L);
    float p = splash_progress > 1.f ? 1.f : splash_progress;
    fill_rect(x0, top, bar_wd, ht, 0xFF000000);
    fill_rect(x0, top, (int)lroundf(bar_wd * p), ht, 0xFF32960A);
  }
  set_viewport(0, 0, d3d_wd, d3d_ht);
}

bool grab_scene_for_splash() {
  if (!scene_image || !copy_back_buffer(scene_image)) {
    debug("error: scene image grab failed!");
    return false;
  }
  splash_background = scene_image;
  return true;
}

static void device_size(int* w, int* h) {
  *w = d3d_wd;
  *h = d3d_ht;
}

void splash_install_window_ops() {
  window_device_ops = WindowDeviceOps{resize_d3d,    begin_d3d_scene,       end_d3d_scene, present_d3d,
                                      draw_splash, grab_scene_for_splash, device_size};
}

void splash_remove_window_ops() { window_device_ops = WindowDeviceOps{}; }
