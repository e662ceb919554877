// The splash picture drawn by show_splash while the frame loop is not
// running, and the grab of the scene that later splashes show behind it.
// With the distance-field font loaded: the grabbed scene (or a dark blue
// clear), the text in `default_font` with a shadow near the bottom and a
// rounded progress bar under it. Without it the fallback: the background
// colour, the text through `splash_draw_text_fn` when installed, and the
// progress bar made of two viewport-limited clears.
#include "render/splash.h"

#include <cmath>

#include "core/log.h"
#include "core/window.h"
#include "render/distFont.h"
#include "render/ui_draw.h"

Texture* scene_image = nullptr;
Texture* splash_background = nullptr;
void (*splash_draw_text_fn)(const char* text, float x, float y) = nullptr;
float splash_line_height = 16.f;

static void fill_rect(int x, int y, int w, int h, D3dColor color) {
  if (w <= 0 || h <= 0) return;
  set_viewport(x, y, w, h);
  clear_view_color(color);
}

namespace {

// The background picture: the GUI's image shader without blending.
struct SplashImageState : StdRenderBatchState {
  void begin(BaseRenderBatchState* prev) override {
    set_ui_render_states();
    set_blend_none();
    StdRenderBatchState::begin(prev);
  }
  void end() override {
    StdRenderBatchState::end();
    set_blend_prealpha();
  }
};
SplashImageState splash_image_state;
RenderBatch splash_batch;

void draw_dist_splash() {
  set_back_buffer_target();
  // The GUI's primitives may not be up yet at the first splash.
  init_ui_image_render();
  if (!get_rounded_box_state()->shader) init_rounded_box_render();
  RenderBatch& batch = splash_batch;
  batch.clear();
  const float wd = (float)d3d_wd, ht = (float)d3d_ht;
  if (splash_background) {
    init_ui_image_state(splash_image_state, splash_background, nullptr);
    render_ui_image(batch, splash_image_state, _mm_setr_ps(-0.25f, -0.25f, wd - 0.25f, ht - 0.25f), 0xFFFFFFFF,
                    _mm_setr_ps(0, 0, 1, 1));
  } else {
    clear_view_color(0x00001133);
  }
  default_font.renderText(batch, BatchRect{0, 0.9f * ht, wd, ht}, 4, 0xFFCCCCCC, 0.03f * ht, splash_text.str, -1,
                          0, 2, 2, 4, 0x88000000, nullptr);
  if (splash_progress >= 0.f) {
    float p = splash_progress > 1.f ? 1.f : splash_progress;
    float h = (float)lroundf(0.03f * ht);
    float top = (float)lroundf(0.9f * ht + 1.5f * h);
    int quarter = d3d_wd / 4;
    float x0 = (float)((d3d_wd - quarter) / 2);
    float radius = 0.015f * ht;
    render_rounded_box(batch, _mm_setr_ps(x0, top, x0 + quarter, top + h),
                       _mm_setr_ps(127.5f, 127.5f, 127.5f, 0.003f * ht), 0x88000000, radius, 0, 0, 0, 0x88000000, -1);
    if (p > 0)
      render_rounded_box(batch, _mm_setr_ps(x0, top, x0 + quarter * p, top + h),
                         _mm_setr_ps(127.5f, 127.5f, 127.5f, 0), 0xFFCCCCCC, radius, 0, 0, 0, 0, -1);
  }
  batch.render();
  batch.clear();
  end_dist_font_render();
}

} // namespace

void draw_splash() {
  if (default_font.loaded()) {
    draw_dist_splash();
    return;
  }
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
