// Building blocks the module's screens share (the menus, the universe
// screen): labels, rows, buttons whose click is run after the input pass, a
// box that centres its one child, and finding an element by name.
#pragma once
#include <functional>
#include <string>

#include "gui/gui_elements.h"

GuiLabel* ui_label(BaseGuiElement* parent, const char* cls, const std::string& text);
GuiStack* ui_row(BaseGuiElement* parent);
// A button whose click stores `act` in `*pending`: its screen runs it after
// the input pass, so an action may close or replace the screen it is on.
GuiBox* ui_button(BaseGuiElement* parent, const char* text, const char* tip, std::function<void()>* pending,
                  std::function<void()> act, bool small = false, const char* name = "");
// The element of that name in the subtree, or null.
BaseGuiElement* ui_find_named(BaseGuiElement* e, const std::string& name);

// Lays each child out centred at its measured size (a page's panel).
class UiCentreBox : public GuiBox {
public:
  void layout(const GuiRect& r, float ref_ht, float ref_ht2, float scale) override;
};
