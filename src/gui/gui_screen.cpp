// Screens: input routing with hover and capture, the tooltip query, reset,
// restyle and geometry.
#include <algorithm>
#include <vector>

#include "core/log.h"
#include "gui/gui.h"
#include "host/gameobj_api.h"
#include "render/device.h"

// Screens alive now: a deleted element must not stay captured or hovered.
static std::vector<BaseGuiScreen*>& live_screens() {
  static std::vector<BaseGuiScreen*> s;
  return s;
}

BaseGuiScreen::BaseGuiScreen() { live_screens().push_back(this); }

void gui_forget_element_in_screens(BaseGuiElement* e) {
  for (BaseGuiScreen* s : live_screens()) {
    if (s->captured == e) s->captured = nullptr;
    if (s->hovered == e) s->hovered = nullptr;
  }
}

BaseGuiScreen::~BaseGuiScreen() {
  gui_forget_destroyed(this);
  auto& ls = live_screens();
  ls.erase(std::remove(ls.begin(), ls.end(), this), ls.end());
  if (cur_game_screen == this) cur_game_screen = nullptr;
  captured = hovered = nullptr;
  delete root;
}

// {===== Input

static InputEvent mouse_move_at(float x, float y) {
  InputEvent e{};
  e.type = INPUT_MOUSE_MOVE;
  e.x = x;
  e.y = y;
  return e;
}

static void send_enter_leave(unsigned kind, BaseGuiElement* e, const InputEvent& in) {
  if (!e) return;
  NewGuiInputEvent ev(kind, in);
  send_event(ev, e, GUI_SEND_ELEMENT);
}

void BaseGuiScreen::processOneInput(const InputEvent& event) {
  BaseGuiElement* target = captured;
  if (!captured) {
    if (!root) return; // no root: the event is dropped
    target = hit_test(root, event.x, event.y);
    if (target != hovered) {
      send_enter_leave(GUI_EV_LEAVE, hovered, event);
      hovered = target;
      send_enter_leave(GUI_EV_ENTER, hovered, event);
    }
  } else if (event.flags & (IEF_LBUTTON | IEF_RBUTTON)) {
    BaseGuiElement* under = hit_test(root, event.x, event.y);
    if (under != hovered) {
      send_enter_leave(GUI_EV_LEAVE, hovered, event);
      hovered = nullptr;
      if (under == captured) {
        hovered = captured;
        send_enter_leave(GUI_EV_ENTER, hovered, event);
      }
    }
  } else {
    captured = nullptr;
  }
  processInputEvent(event, target);
}

void BaseGuiScreen::processInput() {
  InputEvent e;
  while (getEvent(&e)) processOneInput(e);
  if (root) {
    float x, y;
    getMousePos(&x, &y);
    queryTooltip(x, y);
  }
}

void BaseGuiScreen::queryTooltip(float x, float y) {
  if (!root) return;
  NewGuiTooltipEvent ev(x, y);
  if (send_event(ev, root, GUI_SEND_BROADCAST) != 1 && gameobj_api.hide_tooltip)
    gameobj_api.hide_tooltip();
}

void BaseGuiScreen::processInputEvent(const InputEvent& event, BaseGuiElement* target) {
  if (event.type == INPUT_BUTTON_DOWN) captured = target;
  unsigned kind = 0;
  switch (event.type) {
  case INPUT_BUTTON_DOWN: kind = GUI_EV_BUTTON_DOWN; break;
  case INPUT_BUTTON_UP: kind = GUI_EV_BUTTON_UP; break;
  case INPUT_MOUSE_MOVE: kind = GUI_EV_MOUSE_MOVE; break;
  case INPUT_WHEEL: kind = GUI_EV_WHEEL; break;
  case INPUT_KEY_DOWN:
  case INPUT_KEY_UP: kind = GUI_EV_KEY; break;
  default: ASSERT(!"unknown input event type");
  }
  NewGuiInputEvent ev(kind, event);
  if (kind == GUI_EV_KEY) {
    if (target)
      send_event(ev, target, GUI_SEND_UP_ANCESTRY, root);
    else
      send_event(ev, root, GUI_SEND_BROADCAST);
  } else if (target) {
    send_event(ev, target, GUI_SEND_ELEMENT);
  }
}

void BaseGuiScreen::resetState() {
  captured = nullptr;
  if (hovered) {
    float x, y;
    getMousePos(&x, &y);
    send_enter_leave(GUI_EV_LEAVE, hovered, mouse_move_at(x, y));
    hovered = nullptr;
  }
}

// {===== Style and geometry

void BaseGuiScreen::restyle() {
  if (style && root) style->restyle(root, false);
  afterRestyle();
}

void BaseGuiScreen::setGeometry() {
  if (!root) return;
  float w = (float)d3d_wd, h = (float)d3d_ht;
  root->layout(GuiRect{0, 0, w, h}, h, h, 0.001f * h);
}

void BaseGuiScreen::render(RenderBatch& batch) {
  if (root) root->render(batch);
}
