// Drawing of the element types: the box look from the style slots, and the
// text seam (the distance-field `default_font` when it is loaded, else the
// bitmap font).
#include <cmath>
#include <cstring>

#include "gui/gui_draw.h"
#include "render/distFont.h"
#include "render/font.h"

void init_gui_render() {
  init_ui_image_render();
  init_rounded_box_render();
}

void close_gui_render() {
  close_rounded_box_render();
  close_ui_image_render();
}

void flush_gui_batch(RenderBatch& batch) {
  batch.render();
  batch.clear();
}

bool gui_hidden(const BaseGuiElement* e) {
  const GuiValue* v = e->getPropValue(GP_DISPLAY);
  return v && v->type == GV_NUMBER && v->num == 1;
}

GuiRect gui_draw_rect(const BaseGuiElement* e) {
  float dx = e->getPropNum(GP_OFFSET_X), dy = e->getPropNum(GP_OFFSET_Y);
  return GuiRect{e->rect.x0 + dx, e->rect.y0 + dy, e->rect.x1 + dx, e->rect.y1 + dy};
}

// Opacity multiplies down the tree: a faded (disabled) button fades its label.
D3dColor gui_fade(const BaseGuiElement* e, D3dColor c) {
  float o = 1;
  for (; e; e = e->parent) {
    float f = e->getPropNum(GP_OPACITY) / 100.f;
    o *= f < 0 ? 0 : f > 1 ? 1 : f;
  }
  unsigned a = (unsigned)std::lround((c >> 24) * o);
  return (c & 0x00FFFFFF) | a << 24;
}

void gui_draw_box(RenderBatch& batch, const BaseGuiElement* e, const GuiRect& r) {
  D3dColor fill = gui_fade(e, e->getPropColor(GP_BG_COLOR));
  float border = e->getPropNum(GP_BORDER_WIDTH);
  D3dColor border_c = gui_fade(e, e->getPropColor(GP_BORDER_COLOR));
  if (!(fill >> 24) && (border <= 0 || !(border_c >> 24))) return; // nothing to draw
  float radius = e->getPropNum(GP_RADIUS);
  __m128 rect = _mm_setr_ps(r.x0, r.y0, r.x1, r.y1);
  float blur = e->getPropNum(GP_SHADOW_SIZE);
  if (blur > 0) {
    D3dColor sc = gui_fade(e, e->getPropColor(GP_SHADOW_COLOR));
    render_rounded_box(batch, rect, _mm_setr_ps(127.5f, 127.5f, 127.5f, 0), sc, radius,
                       e->getPropNum(GP_SHADOW_DX), e->getPropNum(GP_SHADOW_DY), 0, 0, blur);
  }
  // Brightness b: the top is (1 + b) and the bottom (1 - b) times the fill.
  float b = e->getPropNum(GP_BRIGHTNESS);
  float top = 127.5f * (1 + b), bottom = 127.5f * (1 - b);
  render_rounded_box(batch, rect, _mm_setr_ps(top, bottom, 127.5f, border), fill, radius, 0, 0, 0,
                     border_c, -1);
}

static float gui_text_height(float size) { return size > 0 ? size : 0.03f * (float)d3d_ht; }

// Distance-field text is measured by its ink without the field's padding, and
// lines are lineHeight apart, so layout does not depend on the spread.
void gui_measure_text(const char* text, float& w, float& h, float size) {
  if (default_font.loaded()) {
    float s = gui_text_height(size) / (float)default_font.size;
    int n = 0;
    DistTextBox box = default_font.calcTextBox(text, -1, &n);
    int lines = 1;
    for (const char* c = text; *c; c++) lines += *c == '\n';
    w = n ? s * (box.x1 - box.x0 - 2.f * (float)default_font.spread) : 0.f;
    h = s * (float)default_font.lineHeight * (float)lines;
    return;
  }
  if (!font_ready()) { // no font (tests of layout alone): a fixed cell
    w = 8.f * (float)strlen(text);
    h = 16.f;
    return;
  }
  int iw = 0, ih = 0;
  calc_text_size(text, -1, iw, ih);
  w = (float)iw;
  h = (float)ih;
}

void gui_draw_text(RenderBatch& batch, const char* text, float x, float y, int h_align, int v_align,
                   D3dColor colour, float size) {
  if (!*text) return;
  if (default_font.loaded()) {
    float height = gui_text_height(size);
    // The ink, not the padded box, meets x on the aligned side.
    float pad = height / (float)default_font.size * (float)default_font.spread;
    BatchRect r{x - pad, y - pad, x + pad, y + pad};
    int align = (h_align < 0 ? 1 : h_align > 0 ? 2 : 0) | (v_align < 0 ? 1 : v_align > 0 ? 2 : 0) << 2;
    default_font.renderText(batch, r, align, colour, height, text, -1, 0, 0, 0, 0, 0, nullptr);
    return;
  }
  if (!font_ready()) return;
  batch_text(batch, text, -1, (int)std::lround(x), (int)std::lround(y), h_align, v_align, colour);
}
