// Helpers of the GUI tests: elements with a rectangle and behaviours, input
// events as the input layer makes them, a behaviour that records what it
// receives, and stand-in tooltip functions in the module table.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/gui.h"
#include "gui/gui_elements.h"
#include "host/gameobj_api.h"

namespace guitest {

inline BaseGuiElement* box(BaseGuiElement* parent, float x0, float y0, float x1, float y1,
                           std::initializer_list<const char*> behaviors = {"solid_box"},
                           const char* name = "") {
  auto* e = new GuiBox;
  e->name = name;
  e->rect = GuiRect{x0, y0, x1, y1};
  for (const char* b : behaviors) {
    NewGuiEventHandler* h = get_behavior(b);
    EXPECT_NE(h, nullptr) << b;
    if (!h) continue;
    e->behaviors.push(h);
    e->eventMask |= h->eventMask;
  }
  if (parent) parent->add(e);
  return e;
}

inline InputEvent mouse(int type, float x, float y, int flags = 0, int key = 0) {
  InputEvent e{};
  e.type = type;
  e.x = x;
  e.y = y;
  e.flags = flags;
  e.key = key;
  return e;
}

// Records (element name, kind, mode) and answers a fixed result.
struct Recorder : NewGuiEventHandler {
  std::vector<std::string>* log;
  int result;
  Recorder(std::vector<std::string>* l, unsigned mask, int r) : NewGuiEventHandler(mask), log(l), result(r) {}
  int handleEvent(NewGuiEvent& ev, BaseGuiElement* e, int mode) override {
    log->push_back(e->name + ":" + std::to_string(ev.kind));
    return result;
  }
};

inline void attach(BaseGuiElement* e, NewGuiEventHandler* h) {
  e->behaviors.push(h);
  e->eventMask |= h->eventMask;
}

// Tooltip stand-ins: counts and the last text shown.
struct TooltipSpy {
  static inline int hides = 0, shows = 0;
  static inline std::string last;
  TooltipSpy() {
    hides = shows = 0;
    last.clear();
    gameobj_api.hide_tooltip = [] { hides++; };
    gameobj_api.show_tooltip = [](const char* t, float, float) {
      shows++;
      last = t;
    };
  }
  ~TooltipSpy() {
    gameobj_api.hide_tooltip = nullptr;
    gameobj_api.show_tooltip = nullptr;
  }
};

// Every test starts with the standard behaviours and empty queues.
class GuiTest : public ::testing::Test {
protected:
  void SetUp() override {
    clear_behavior_registry();
    register_std_behaviors();
    register_keybox_behavior();
  }
  void TearDown() override {
    destroy_queued_gui_elements();
    clear_behavior_registry();
  }
};

} // namespace guitest
