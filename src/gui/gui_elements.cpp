// The provided element types and the simple selector.
#include <algorithm>
#include <bit>

#include "gui/gui_draw.h"
#include "gui/gui_elements.h"

// Number in a slot that always resolves to 0 (alignment, display): its raw value.
static bool raw_number(const BaseGuiElement* e, int slot, float& out) {
  const GuiValue* v = e->getPropValue(slot);
  if (!v || v->type != GV_NUMBER) return false;
  out = v->num;
  return true;
}

// {===== Box

void GuiBox::measure(float scale, float& w, float& h) {
  float pw = getPropNum(GP_WIDTH) * scale, ph = getPropNum(GP_HEIGHT) * scale;
  float cw = 0, ch = 0;
  for (BaseGuiElement* c : children) {
    if (gui_hidden(c)) continue;
    float a, b;
    c->measure(scale, a, b);
    cw = std::max(cw, a), ch = std::max(ch, b);
  }
  float px = getPropNum(GP_PAD_X) * scale, py = getPropNum(GP_PAD_Y) * scale;
  w = pw > 0 ? pw : cw + 2 * px;
  h = ph > 0 ? ph : ch + 2 * py;
}

void GuiBox::render(RenderBatch& batch) {
  gui_draw_box(batch, this, gui_draw_rect(this));
  BaseGuiElement::render(batch);
}

// {===== Label

const char* GuiLabel::shownText() const {
  const GuiValue* v = getPropValue(GP_TEXT);
  return v && v->type == GV_TEXT && v->text ? v->text : text.c_str();
}

void GuiLabel::measure(float scale, float& w, float& h) {
  float tw, th;
  gui_measure_text(shownText(), tw, th, getPropNum(GP_FONT_SIZE) * scale);
  float pw = getPropNum(GP_WIDTH) * scale, ph = getPropNum(GP_HEIGHT) * scale;
  float px = getPropNum(GP_PAD_X) * scale, py = getPropNum(GP_PAD_Y) * scale;
  w = pw > 0 ? pw : tw + 2 * px;
  h = ph > 0 ? ph : th + 2 * py;
}

void GuiLabel::render(RenderBatch& batch) {
  GuiRect r = gui_draw_rect(this);
  gui_draw_box(batch, this, r);
  float ha = 0, va = 0;
  raw_number(this, GP_H_ALIGN, ha);
  raw_number(this, GP_V_ALIGN, va);
  int h = ha < 0 ? -1 : ha > 0 ? 1 : 0, v = va < 0 ? -1 : va > 0 ? 1 : 0;
  float px = getPropNum(GP_PAD_X), x = h < 0 ? r.x0 + px : h > 0 ? r.x1 - px : (r.x0 + r.x1) * 0.5f;
  float y = v < 0 ? r.y0 : v > 0 ? r.y1 : (r.y0 + r.y1) * 0.5f;
  gui_draw_text(batch, shownText(), x, y, h, v, gui_fade(this, getPropColor(GP_TEXT_COLOR)),
                getPropNum(GP_FONT_SIZE) * 0.001f * (float)d3d_ht);
  BaseGuiElement::render(batch);
}

// {===== Image

void GuiImage::render(RenderBatch& batch) {
  GuiRect r = gui_draw_rect(this);
  gui_draw_box(batch, this, r);
  const GuiValue* v = getPropValue(GP_IMAGE);
  Texture* tex = v && v->type == GV_TEXTURE ? v->texture : texture;
  if (tex) {
    // One state per texture would be needed for several images; the state
    // lives with the image so that blocks of different textures never share.
    init_ui_image_state(state, tex, nullptr);
    D3dColor tint = getPropValue(GP_IMAGE_COLOR) ? getPropColor(GP_IMAGE_COLOR) : 0xFFFFFFFF;
    render_ui_image(batch, state, _mm_setr_ps(r.x0, r.y0, r.x1, r.y1), gui_fade(this, tint),
                    _mm_setr_ps(uv[0], uv[1], uv[2], uv[3]));
  }
  BaseGuiElement::render(batch);
}

// {===== Stack

void GuiStack::measure(float scale, float& w, float& h) {
  float main = 0, cross = 0;
  int n = 0;
  for (BaseGuiElement* c : children) {
    if (gui_hidden(c)) continue;
    float a, b;
    c->measure(scale, a, b);
    main += horizontal ? a : b;
    cross = std::max(cross, horizontal ? b : a);
    n++;
  }
  if (n > 1) main += (n - 1) * getPropNum(GP_SPACING) * scale;
  float px = getPropNum(GP_PAD_X) * scale, py = getPropNum(GP_PAD_Y) * scale;
  w = (horizontal ? main : cross) + 2 * px;
  h = (horizontal ? cross : main) + 2 * py;
  float pw = getPropNum(GP_WIDTH) * scale, ph = getPropNum(GP_HEIGHT) * scale;
  if (pw > 0) w = pw;
  if (ph > 0) h = ph;
}

void GuiStack::layout(const GuiRect& r, float ref_ht, float ref_ht2, float scale) {
  rect = r;
  float px = getPropNum(GP_PAD_X) * scale, py = getPropNum(GP_PAD_Y) * scale;
  GuiRect in{r.x0 + px, r.y0 + py, r.x1 - px, r.y1 - py};
  float gap = getPropNum(GP_SPACING) * scale;
  float align = 0;
  bool stretch = !raw_number(this, horizontal ? GP_V_ALIGN : GP_H_ALIGN, align);
  float pos = horizontal ? in.x0 : in.y0;
  for (BaseGuiElement* c : children) {
    if (gui_hidden(c)) continue;
    float w, h;
    c->measure(scale, w, h);
    float main = horizontal ? w : h, cross = horizontal ? h : w;
    float c0 = horizontal ? in.y0 : in.x0, c1 = horizontal ? in.y1 : in.x1;
    if (!stretch) {
      float room = (c1 - c0) - cross;
      c0 += align < 0 ? 0 : align > 0 ? room : room * 0.5f;
      c1 = c0 + cross;
    }
    GuiRect cr = horizontal ? GuiRect{pos, c0, pos + main, c1} : GuiRect{c0, pos, c1, pos + main};
    c->layout(cr, ref_ht, ref_ht2, scale);
    pos += main + gap;
  }
}

// {===== Slider

void GuiSlider::render(RenderBatch& batch) {
  GuiRect r = gui_draw_rect(this);
  gui_draw_box(batch, this, r);
  float h = r.height(), kx = r.x0 + value * r.width();
  D3dColor knob = gui_fade(this, getPropColor(GP_ACCENT_COLOR));
  render_rounded_box(batch, _mm_setr_ps(kx - h * 0.3f, r.y0 - 2, kx + h * 0.3f, r.y1 + 2),
                     _mm_setr_ps(150, 105, 127.5f, 0), knob, h * 0.3f, 0, 0, 0, 0, -1);
  BaseGuiElement::render(batch);
}

// {===== Selector

bool GuiSimpleSelector::match(const GuiElement* e) const {
  if (!name.empty() && e->name != name) return false;
  if (!cls.empty() && !e->hasClass(cls.c_str())) return false;
  if ((e->state & states) != states) return false;
  if (parent && !(e->parent && parent->match(e->parent))) return false;
  return true;
}

int GuiSimpleSelector::specificity() const {
  int s = (name.empty() ? 0 : 100) + (cls.empty() ? 0 : 10) + 10 * std::popcount(states);
  return s + (parent ? parent->specificity() : 0);
}
