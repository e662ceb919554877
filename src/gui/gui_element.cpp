// Elements: tree ownership, state changes, own property values, the values
// shown (with transitions), and the default layout and drawing.
#include <cmath>

#include "core/log.h"
#include "gui/gui.h"
#include "gui/gui_draw.h"

void gui_forget_element_in_screens(BaseGuiElement* e); // gui_screen.cpp

BaseGuiElement::~BaseGuiElement() {
  gui_forget_destroyed(this);
  gui_forget_element_in_screens(this);
  for (BaseGuiElement* c : children) {
    c->parent = nullptr;
    delete c;
  }
  children.clear();
  for (int i = 0; i < NUM_GUI_PROPS; i++) {
    if (gui_prop_is_own(props.slot[i])) delete gui_prop_value(props.slot[i]);
    delete transitions[i];
  }
}

BaseGuiElement* BaseGuiElement::add(BaseGuiElement* child) {
  ASSERT(child && !child->parent);
  child->parent = this;
  children.push(child);
  dirty = true;
  return child;
}

void BaseGuiElement::removeChild(BaseGuiElement* child) {
  int i = children.indexOf(child);
  if (i < 0) return;
  children.remove(i, 1);
  child->parent = nullptr;
}

bool BaseGuiElement::hasClass(const char* cls) const {
  size_t n = strlen(cls);
  if (!n) return false;
  for (size_t p = classes.find(cls); p != std::string::npos; p = classes.find(cls, p + 1)) {
    bool starts = p == 0 || classes[p - 1] == ' ';
    bool ends = p + n == classes.size() || classes[p + n] == ' ';
    if (starts && ends) return true;
  }
  return false;
}

void BaseGuiElement::setState(unsigned bit, bool on) {
  unsigned s = on ? (state | bit) : (state & ~bit);
  if (s == state) return;
  state = s;
  dirty = true; // selectors may depend on the state
}

void BaseGuiElement::setValue(float v) {
  v = v < 0 ? 0 : v > 1 ? 1 : v;
  if (v == value) return;
  value = v;
  notifyValue();
}

void BaseGuiElement::notifyClick(int button) {
  // Copies: a listener may add listeners (never remove the element: that is queued).
  auto ls = clickListeners;
  for (auto& f : ls) f(this, button);
}

void BaseGuiElement::notifyValue() {
  auto ls = valueListeners;
  for (auto& f : ls) f(this);
}

void BaseGuiElement::setOwnProp(int slot, const GuiValue& v) {
  ASSERT(slot >= 0 && slot < NUM_GUI_PROPS);
  clearOwnProp(slot);
  props.slot[slot] = (GuiPropPtr) new GuiValue(v) | 1;
  dirty = true;
}

void BaseGuiElement::clearOwnProp(int slot) {
  ASSERT(slot >= 0 && slot < NUM_GUI_PROPS);
  if (!gui_prop_is_own(props.slot[slot])) return;
  delete gui_prop_value(props.slot[slot]);
  props.slot[slot] = 0;
  dirty = true;
}

const GuiValue* BaseGuiElement::getPropValue(int slot) const {
  ASSERT(slot >= 0 && slot < NUM_GUI_PROPS);
  return gui_prop_value(props.slot[slot]);
}

void BaseGuiElement::getProp(int slot, float out[4]) const {
  ASSERT(slot >= 0 && slot < NUM_GUI_PROPS);
  gui_resolve_value(slot, gui_prop_value(props.slot[slot]), out);
  const GuiRunningTransition* t = transitions[slot];
  if (!t) return;
  float f = t->fraction();
  for (int i = 0; i < 4; i++) out[i] = t->from[i] + (out[i] - t->from[i]) * f;
}

float BaseGuiElement::getPropNum(int slot) const {
  float v[4];
  getProp(slot, v);
  return v[0];
}

static unsigned to_byte(float f) {
  f = f < 0 ? 0 : f > 1 ? 1 : f;
  return (unsigned)(f * 255.f + 0.5f);
}

D3dColor BaseGuiElement::getPropColor(int slot) const {
  float v[4];
  getProp(slot, v);
  return to_byte(v[3]) << 24 | to_byte(v[0]) << 16 | to_byte(v[1]) << 8 | to_byte(v[2]);
}

void BaseGuiElement::advanceTransitions(float dt) {
  for (int i = 0; i < NUM_GUI_PROPS; i++) {
    GuiRunningTransition* t = transitions[i];
    if (!t) continue;
    t->time += dt;
    if (t->finished()) {
      delete t;
      transitions[i] = nullptr;
    }
  }
  for (BaseGuiElement* c : children) c->advanceTransitions(dt);
}

// {===== Default layout and drawing: a plain container

void BaseGuiElement::measure(float scale, float& w, float& h) {
  w = getPropNum(GP_WIDTH) * scale;
  h = getPropNum(GP_HEIGHT) * scale;
}

// Children fill the element's rectangle less the padding.
void BaseGuiElement::layout(const GuiRect& r, float ref_ht, float ref_ht2, float scale) {
  rect = r;
  float px = getPropNum(GP_PAD_X) * scale, py = getPropNum(GP_PAD_Y) * scale;
  GuiRect in{r.x0 + px, r.y0 + py, r.x1 - px, r.y1 - py};
  for (BaseGuiElement* c : children) c->layout(in, ref_ht, ref_ht2, scale);
}

void BaseGuiElement::render(RenderBatch& batch) {
  for (BaseGuiElement* c : children)
    if (!gui_hidden(c)) c->render(batch);
}
