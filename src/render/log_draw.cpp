// Drawing of the visual log and the on-screen error message with the bitmap
// font, at font scale 2. Both run between start_draw_text and end_draw_text
// and do nothing before the font exists.
#include "core/log.h"
#include "render/font.h"

void draw_visual_log() {
  int n = visual_log_count();
  if (!font_ready() || n == 0) return;
  FontState saved = get_font_state();
  FontState st = saved;
  st.scale = 2;
  set_font_state(st);
  int h2 = 2 * font_cell_height();
  for (int i = 0; i < n; i++)
    draw_text(visual_log_line(i), -1, h2, (n - i) * h2, -1, -1, 0xFFFFFFFF);
  set_font_state(saved);
}

void draw_error_message() {
  if (!font_ready() || !has_error_message()) return;
  FontState saved = get_font_state();
  FontState st = saved;
  st.scale = 2;
  set_font_state(st);
  int h = font_cell_height();
  draw_rect(0, d3d_ht - 12 * h, d3d_wd, d3d_ht, 0xCC660000);
  draw_text(get_error_message(), -1, d3d_wd / 2, d3d_ht - h, 0, 1, 0xFFFFEE00);
  set_font_state(saved);
}
