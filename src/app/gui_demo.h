// The GUI demo screen: buttons, a checkbox, a radio group, a slider, a key
// box bound to the "Forward" control, and tooltips, styled with transitions.
// F7 in the developer mode (Control+F7 in any mode that runs the global
// hotkeys) opens it; F7 or Escape returns to the mode it came from.
#pragma once
#include "core/game_mode.h"
#include "gui/gui.h"
#include "gui/gui_elements.h"

// The screen and the widgets the tests look at.
struct GuiDemoScreen : BaseGuiScreen {
  GuiStyle demoStyle;
  GuiLabel* title = nullptr;
  GuiBox* clickButton = nullptr;
  GuiLabel* clickLabel = nullptr;
  GuiBox* disabledButton = nullptr;
  GuiStack* checkbox = nullptr;
  GuiStack* radios[3] = {};
  GuiSlider* slider = nullptr;
  GuiLabel* sliderLabel = nullptr;
  GuiLabel* keybox = nullptr;
  int clicks = 0;
  int wheelSteps = 0;

  GuiDemoScreen();
  // One update step: input, style, geometry.
  void update();
  // Transitions by `dt` seconds, then draws into the GUI batch and the tooltip.
  void draw(float dt);
};

class GuiDemoMode : public GameMode {
public:
  void enter(GameMode* previous) override;
  void leave(GameMode* next) override;
  void update(float dt) override;
  void render3d(float t) override;
  void render2d(float t) override;
  const char* name() const override { return "GuiDemoMode"; }
  GuiDemoScreen* screen() { return demo; }
  GameMode* back_mode() const { return back; }

private:
  GameMode* back = nullptr;
  GuiDemoScreen* demo = nullptr;
  int64_t lastFrame = 0;
};

extern GuiDemoMode* const gui_demo_mode;
// The F7 hotkey: opens the demo, or returns from it.
void toggle_gui_demo();
// The tooltip the demo shows when the module's tooltip functions are null.
const char* gui_demo_tooltip();
