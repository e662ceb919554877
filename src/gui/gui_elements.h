// Reusable element types and selectors for screens: a box, a text label, an
// image, vertical and horizontal stacks, a slider track, and a selector by
// name, class and state. Screens of the game-object module are built from
// these; their look comes from the style slots (gui_style.h), their
// interaction from behaviours that style rules attach ("solid_box",
// "button", "checkbox", "radio_button", "tooltip_box", "h_slider", "keybox").
#pragma once
#include <string>

#include "gui/gui.h"
#include "render/ui_draw.h"

// A rectangle with the box look (fill, gradient, border, radius, shadow);
// children fill it less the padding.
class GuiBox : public BaseGuiElement {
public:
  void measure(float scale, float& w, float& h) override;
  void render(RenderBatch& batch) override;
};

// Text (`text`, or the GP_TEXT slot) aligned by GP_H_ALIGN / GP_V_ALIGN in
// its rectangle, over the box look.
class GuiLabel : public GuiBox {
public:
  explicit GuiLabel(const char* t = "") { text = t; }
  void measure(float scale, float& w, float& h) override;
  void render(RenderBatch& batch) override;
  const char* shownText() const;
};

// A texture (GP_IMAGE) stretched over the rectangle, tinted by GP_IMAGE_COLOR
// (opaque white when unset).
class GuiImage : public GuiBox {
public:
  Texture* texture = nullptr; // used when GP_IMAGE is unset
  float uv[4] = {0, 0, 1, 1};
  UiBatchState state; // per image: batch groups are keyed by state
  void render(RenderBatch& batch) override;
};

// Children one after another, vertically or horizontally, GP_SPACING apart,
// inside GP_PAD_X / GP_PAD_Y. Across the stack each child is stretched when
// the cross alignment slot (GP_H_ALIGN of a vertical stack, GP_V_ALIGN of a
// horizontal one) is unset, else placed at -1 start, 0 centre, 1 end with its
// measured size. Along the stack the block starts at the top or left.
class GuiStack : public GuiBox {
public:
  bool horizontal = false;
  explicit GuiStack(bool horiz = false) : horizontal(horiz) {}
  void measure(float scale, float& w, float& h) override;
  void layout(const GuiRect& r, float ref_ht, float ref_ht2, float scale) override;
};

// A horizontal slider: the box look as the track and a knob at `value`
// in GP_ACCENT_COLOR.
class GuiSlider : public GuiBox {
public:
  void render(RenderBatch& batch) override;
};

// "name.class:state": each part optional; matches when the name is equal,
// the element has the class and all `states` bits. With `parent` set, the
// element's parent must match it too. Specificity: 100 per name, 10 per
// class and per state bit (the parent's added).
class GuiSimpleSelector : public GuiSelector {
public:
  std::string name, cls;
  unsigned states = 0;
  GuiSimpleSelector* parent = nullptr; // owned

  GuiSimpleSelector(const char* n, const char* c, unsigned s = 0, GuiSimpleSelector* p = nullptr)
      : name(n ? n : ""), cls(c ? c : ""), states(s), parent(p) {}
  ~GuiSimpleSelector() override { delete parent; }
  bool match(const GuiElement* e) const override;
  int specificity() const override;
};

// Helpers of screen building: an element with classes (and a name).
template <class T>
T* gui_make(BaseGuiElement* parent, const char* classes, const char* name = "") {
  T* e = new T();
  e->classes = classes;
  e->name = name;
  if (parent) parent->add(e);
  return e;
}
