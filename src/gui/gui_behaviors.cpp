// The standard behaviours: button, checkbox, radio button, tooltip box,
// horizontal slider, and the key box of the controls set-up.
#include "core/log.h"
#include "gui/gui.h"
#include "host/gameobj_api.h"

namespace {

constexpr unsigned HELD = IEF_LBUTTON | IEF_RBUTTON;

// {===== Button family

class ButtonBehavior : public NewGuiEventHandler {
public:
  ButtonBehavior()
      : NewGuiEventHandler(GUI_EV_ENTER | GUI_EV_LEAVE | GUI_EV_BUTTON_DOWN | GUI_EV_BUTTON_UP |
                           GUI_EV_RESET) {}

  int handleEvent(NewGuiEvent& event, BaseGuiElement* e, int) override {
    if (!e->isActive()) return GUI_NOT_HANDLED;
    if (event.kind == GUI_EV_RESET) {
      bool was_pressed = e->hasState(GUI_STATE_PRESSED);
      e->setState(GUI_STATE_HOVER | GUI_STATE_PRESSED, false);
      // The listeners learn that the press ended; a reset never clicks.
      if (was_pressed) e->notifyValue();
      return GUI_NOT_HANDLED; // every element of the tree gets the reset
    }
    const InputEvent& in = static_cast<NewGuiInputEvent&>(event).input;
    switch (event.kind) {
    case GUI_EV_ENTER:
      e->setState(GUI_STATE_HOVER, true);
      if (in.flags & HELD) e->setState(GUI_STATE_PRESSED, true);
      return GUI_HANDLED;
    case GUI_EV_LEAVE: e->setState(GUI_STATE_HOVER | GUI_STATE_PRESSED, false); return GUI_HANDLED;
    case GUI_EV_BUTTON_DOWN: e->setState(GUI_STATE_PRESSED, true); return GUI_HANDLED;
    case GUI_EV_BUTTON_UP: {
      bool held = (in.flags & HELD) != 0;
      bool under = hit_test(e, in.x, in.y) != nullptr;
      e->setState(GUI_STATE_PRESSED, held);
      e->setState(GUI_STATE_HOVER, under);
      if (!held && under) {
        onClick(e);
        e->notifyClick(in.key);
        e->notifyValue();
      }
      return GUI_HANDLED;
    }
    }
    return GUI_NOT_HANDLED;
  }

protected:
  virtual void onClick(BaseGuiElement* e) {}
};

class CheckboxBehavior : public ButtonBehavior {
  void onClick(BaseGuiElement* e) override {
    e->setState(GUI_STATE_CHECKED, !e->hasState(GUI_STATE_CHECKED));
  }
};

class RadioButtonBehavior : public ButtonBehavior {
  void onClick(BaseGuiElement* e) override {
    e->setState(GUI_STATE_CHECKED, true);
    if (!e->parent) return;
    for (BaseGuiElement* s : e->parent->children)
      if (s != e && s->behaviors.indexOf(this) >= 0 && s->hasState(GUI_STATE_CHECKED)) {
        s->setState(GUI_STATE_CHECKED, false);
        s->notifyValue();
      }
  }
};

// {===== Tooltip box: answers the tooltip query while the mouse is over it

class TooltipBoxBehavior : public NewGuiEventHandler {
public:
  TooltipBoxBehavior() : NewGuiEventHandler(GUI_EV_TOOLTIP) {}
  int handleEvent(NewGuiEvent& event, BaseGuiElement* e, int) override {
    auto& q = static_cast<NewGuiTooltipEvent&>(event);
    const GuiValue* v = e->getPropValue(GP_TOOLTIP);
    const char* text = v && v->type == GV_TEXT && v->text ? v->text : e->tooltip.c_str();
    if (!*text) return GUI_NOT_HANDLED;
    const GuiRect& r = e->rect;
    if (!(r.x0 < q.x && q.x <= r.x1 && r.y0 < q.y && q.y <= r.y1)) return GUI_NOT_HANDLED;
    if (gameobj_api.show_tooltip) gameobj_api.show_tooltip(text, q.x, q.y);
    return GUI_HANDLED;
  }
};

// {===== Horizontal slider: value 0..1 from the mouse x while pressed; the
// wheel moves it in twentieths.

class HSliderBehavior : public NewGuiEventHandler {
public:
  HSliderBehavior()
      : NewGuiEventHandler(GUI_EV_ENTER | GUI_EV_LEAVE | GUI_EV_BUTTON_DOWN | GUI_EV_BUTTON_UP |
                           GUI_EV_MOUSE_MOVE | GUI_EV_WHEEL | GUI_EV_RESET) {}

  int handleEvent(NewGuiEvent& event, BaseGuiElement* e, int) override {
    if (!e->isActive()) return GUI_NOT_HANDLED;
    if (event.kind == GUI_EV_RESET) {
      e->setState(GUI_STATE_HOVER | GUI_STATE_PRESSED, false);
      return GUI_NOT_HANDLED;
    }
    const InputEvent& in = static_cast<NewGuiInputEvent&>(event).input;
    switch (event.kind) {
    case GUI_EV_ENTER: e->setState(GUI_STATE_HOVER, true); return GUI_HANDLED;
    // Leaving while dragging keeps the drag: the slider follows the mouse
    // until the button is released.
    case GUI_EV_LEAVE: e->setState(GUI_STATE_HOVER, false); return GUI_HANDLED;
    case GUI_EV_BUTTON_DOWN:
      if (in.key != 1) return GUI_HANDLED;
      e->setState(GUI_STATE_PRESSED, true);
      follow(e, in.x);
      return GUI_HANDLED;
    case GUI_EV_MOUSE_MOVE:
      if (e->hasState(GUI_STATE_PRESSED)) follow(e, in.x);
      return GUI_HANDLED;
    case GUI_EV_BUTTON_UP:
      if (!(in.flags & IEF_LBUTTON)) e->setState(GUI_STATE_PRESSED, false);
      return GUI_HANDLED;
    case GUI_EV_WHEEL: e->setValue(e->value + in.wheel * 0.05f); return GUI_HANDLED;
    }
    return GUI_NOT_HANDLED;
  }

private:
  static void follow(BaseGuiElement* e, float x) {
    float w = e->rect.width();
    if (w > 0) e->setValue((x - e->rect.x0) / w);
  }
};

// {===== Key box: hands the next key (or mouse button) pressed over it to
// its key listeners; the controls screen binds it with set_button_key.

class KeyBoxBehavior : public NewGuiEventHandler {
public:
  KeyBoxBehavior()
      : NewGuiEventHandler(GUI_EV_KEY | GUI_EV_ENTER | GUI_EV_LEAVE | GUI_EV_BUTTON_DOWN |
                           GUI_EV_RESET) {}
  int handleEvent(NewGuiEvent& event, BaseGuiElement* e, int) override {
    if (event.kind == GUI_EV_RESET) {
      e->text.clear();
      e->setState(GUI_STATE_FOCUSED, false);
      return GUI_NOT_HANDLED;
    }
    if (!e->isActive()) return GUI_NOT_HANDLED;
    const InputEvent& in = static_cast<NewGuiInputEvent&>(event).input;
    switch (event.kind) {
    case GUI_EV_ENTER: e->setState(GUI_STATE_FOCUSED, true); break;
    case GUI_EV_LEAVE: e->setState(GUI_STATE_FOCUSED, false); break;
    case GUI_EV_KEY:
    case GUI_EV_BUTTON_DOWN:
      if (event.kind == GUI_EV_KEY && in.type != INPUT_KEY_DOWN) break;
      if (!hit_test(e, in.x, in.y)) break;
      {
        auto ls = e->keyListeners;
        for (auto& f : ls) f(e, in.key);
      }
      break;
    }
    return GUI_HANDLED;
  }
};

ButtonBehavior button_behavior;
CheckboxBehavior checkbox_behavior;
RadioButtonBehavior radio_behavior;
TooltipBoxBehavior tooltip_behavior;
HSliderBehavior slider_behavior;
KeyBoxBehavior keybox_behavior;

} // namespace

void register_std_behaviors() {
  register_behavior(gui_hittest_box_handler, "solid_box");
  register_behavior(&button_behavior, "button");
  register_behavior(&checkbox_behavior, "checkbox");
  register_behavior(&radio_behavior, "radio_button");
  register_behavior(&tooltip_behavior, "tooltip_box");
  register_behavior(&slider_behavior, "h_slider");
}

void register_keybox_behavior() { register_behavior(&keybox_behavior, "keybox"); }
