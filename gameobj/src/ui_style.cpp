// The style sheets of the module's screens: `common_style` (panels, buttons,
// sliders, check boxes, key boxes of the menus), `spells_style` (the spell
// bar, empty until the bar exists) and `tooltip_style`. Built in code once
// by init_new_gui; the module's reload empties them with the screens.
#include "gui/gui_elements.h"
#include "ui_menus.h"
#include "ui_screens.h"

GuiStyle common_style, spells_style, tooltip_style;

namespace {

GuiTransition quick{0.12f, 0, GUI_EASE_OUT};
GuiTransition smooth{0.3f, 0, GUI_EASE_IN_OUT};

using B = GuiRuleBuilder;
GuiValue col(D3dColor c) { return GuiValue::colour(c); }
GuiValue num(float v) { return GuiValue::number(v); }
GuiSimpleSelector* sel(const char* cls, unsigned states = 0, GuiSimpleSelector* parent = nullptr)
{
  return new GuiSimpleSelector("", cls, states, parent);
}

constexpr D3dColor GOLD = 0xFFFFD27A, PARCHMENT = 0xFFE8DCC0, DIM = 0xFFB4AA96;

void build_common(GuiStyle& st)
{
  // The panel floats over the fly-over: dark, translucent, a warm rim.
  st.addSheet(sel("panel"), B()
                                .set(GP_BG_COLOR, col(0xD8141A24))
                                .set(GP_BORDER_COLOR, col(0xFF8A6A34))
                                .set(GP_BORDER_WIDTH, num(2))
                                .set(GP_RADIUS, num(16))
                                .set(GP_BRIGHTNESS, num(0.1f))
                                .set(GP_SHADOW_COLOR, col(0xB0000000))
                                .set(GP_SHADOW_SIZE, num(24))
                                .set(GP_SHADOW_DY, num(8))
                                .set(GP_PAD_X, num(48))
                                .set(GP_PAD_Y, num(36))
                                .set(GP_SPACING, num(16))
                                .take());
  st.addSheet(sel("title"), B()
                                .set(GP_TEXT_COLOR, col(GOLD))
                                .set(GP_FONT_SIZE, num(64))
                                .set(GP_H_ALIGN, num(0))
                                .take());
  st.addSheet(sel("subtitle"), B()
                                   .set(GP_TEXT_COLOR, col(DIM))
                                   .set(GP_FONT_SIZE, num(26))
                                   .set(GP_H_ALIGN, num(0))
                                   .take());
  st.addSheet(sel("text"), B().set(GP_TEXT_COLOR, col(PARCHMENT)).set(GP_H_ALIGN, num(-1)).take());
  st.addSheet(sel("note"), B()
                               .set(GP_TEXT_COLOR, col(0xFFFF9A7A))
                               .set(GP_FONT_SIZE, num(24))
                               .set(GP_H_ALIGN, num(0))
                               .take());
  st.addSheet(sel("row"), B().set(GP_SPACING, num(18)).set(GP_V_ALIGN, num(0)).take());

  // Buttons: hover brightens and lifts, press sinks, disabled fades.
  st.addSheet(sel("btn"), B()
                              .behaviors({"solid_box", "button", "tooltip_box"})
                              .set(GP_BG_COLOR, col(0xFF3A3020))
                              .set(GP_BORDER_COLOR, col(0xFF8A6A34))
                              .set(GP_BORDER_WIDTH, num(1))
                              .set(GP_RADIUS, num(8))
                              .set(GP_BRIGHTNESS, num(0.2f))
                              .set(GP_PAD_X, num(30))
                              .set(GP_PAD_Y, num(12))
                              .set(GP_TEXT_COLOR, col(PARCHMENT))
                              .transition(&quick, {GP_BG_COLOR, GP_BORDER_COLOR, GP_OFFSET_Y, GP_OPACITY})
                              .take());
  st.addSheet(sel("btn", GUI_STATE_HOVER), B()
                                               .set(GP_BG_COLOR, col(0xFF5C4A26))
                                               .set(GP_BORDER_COLOR, col(GOLD))
                                               .set(GP_OFFSET_Y, num(-1))
                                               .take());
  st.addSheet(sel("btn", GUI_STATE_PRESSED), B().set(GP_BG_COLOR, col(0xFF241C10)).set(GP_OFFSET_Y, num(1)).take());
  st.addSheet(sel("btn", GUI_STATE_DISABLED), B().set(GP_OPACITY, num(35)).take());
  st.addSheet(sel("label", 0, sel("btn")), B().set(GP_H_ALIGN, num(0)).set(GP_TEXT_COLOR, col(PARCHMENT)).take());
  st.addSheet(sel("small"), B().set(GP_PAD_X, num(18)).set(GP_PAD_Y, num(8)).take());
  st.addSheet(sel("label", 0, sel("small")), B().set(GP_FONT_SIZE, num(24)).take());

  for (const char* c : {"check", "radio"}) {
    st.addSheet(sel(c), B()
                            .behaviors({"solid_box", c[0] == 'c' ? "checkbox" : "radio_button", "tooltip_box"})
                            .set(GP_SPACING, num(14))
                            .set(GP_V_ALIGN, num(0))
                            .set(GP_PAD_X, num(8))
                            .set(GP_PAD_Y, num(6))
                            .set(GP_RADIUS, num(4))
                            .set(GP_BG_COLOR, col(0x00FFFFFF))
                            .transition(&quick, {GP_BG_COLOR})
                            .take());
    st.addSheet(sel(c, GUI_STATE_HOVER), B().set(GP_BG_COLOR, col(0x28FFE0A0)).take());
    st.addSheet(sel("mark", 0, sel(c)), B()
                                            .set(GP_WIDTH, num(30))
                                            .set(GP_HEIGHT, num(30))
                                            .set(GP_BG_COLOR, col(0xFF151B22))
                                            .set(GP_BORDER_COLOR, col(0xFF8A6A34))
                                            .set(GP_BORDER_WIDTH, num(1))
                                            .set(GP_RADIUS, num(c[0] == 'c' ? 3 : 15))
                                            .transition(&quick, {GP_BG_COLOR})
                                            .take());
    st.addSheet(sel("mark", 0, sel(c, GUI_STATE_CHECKED)), B().set(GP_BG_COLOR, col(GOLD)).take());
  }

  st.addSheet(sel("slider"), B()
                                 .behaviors({"solid_box", "h_slider", "tooltip_box"})
                                 .set(GP_WIDTH, num(380))
                                 .set(GP_HEIGHT, num(22))
                                 .set(GP_BG_COLOR, col(0xFF151B22))
                                 .set(GP_BORDER_COLOR, col(0xFF8A6A34))
                                 .set(GP_BORDER_WIDTH, num(1))
                                 .set(GP_RADIUS, num(6))
                                 .set(GP_ACCENT_COLOR, col(PARCHMENT))
                                 .transition(&quick, {GP_ACCENT_COLOR})
                                 .take());
  st.addSheet(sel("slider", GUI_STATE_HOVER), B().set(GP_ACCENT_COLOR, col(GOLD)).take());

  st.addSheet(sel("keybox"), B()
                                 .behaviors({"solid_box", "keybox", "tooltip_box"})
                                 .set(GP_WIDTH, num(300))
                                 .set(GP_BG_COLOR, col(0xFF151B22))
                                 .set(GP_BORDER_COLOR, col(0xFF6A5A3E))
                                 .set(GP_BORDER_WIDTH, num(1))
                                 .set(GP_RADIUS, num(4))
                                 .set(GP_PAD_X, num(16))
                                 .set(GP_PAD_Y, num(4))
                                 .set(GP_FONT_SIZE, num(24))
                                 .set(GP_TEXT_COLOR, col(PARCHMENT))
                                 .set(GP_H_ALIGN, num(0))
                                 .transition(&smooth, {GP_BG_COLOR, GP_BORDER_COLOR})
                                 .take());
  st.addSheet(sel("keybox", GUI_STATE_FOCUSED),
              B().set(GP_BG_COLOR, col(0xFF3A3016)).set(GP_BORDER_COLOR, col(GOLD)).take());
  st.addSheet(sel("keyname"), B()
                                  .set(GP_WIDTH, num(240))
                                  .set(GP_FONT_SIZE, num(24))
                                  .set(GP_TEXT_COLOR, col(PARCHMENT))
                                  .set(GP_H_ALIGN, num(-1))
                                  .take());
  st.addSheet(sel("slotname"), B()
                                   .set(GP_WIDTH, num(700))
                                   .set(GP_FONT_SIZE, num(24))
                                   .set(GP_TEXT_COLOR, col(PARCHMENT))
                                   .set(GP_H_ALIGN, num(-1))
                                   .take());
}

void build_tooltip(GuiStyle& st)
{
  st.addSheet(sel("tooltip"), B()
                                  .set(GP_BG_COLOR, col(0xF0201A12))
                                  .set(GP_BORDER_COLOR, col(GOLD))
                                  .set(GP_BORDER_WIDTH, num(1))
                                  .set(GP_RADIUS, num(4))
                                  .set(GP_FONT_SIZE, num(22))
                                  .set(GP_TEXT_COLOR, col(0xFFFFFFFF))
                                  .take());
}

} // namespace

void build_ui_styles()
{
  clear_ui_styles();
  build_common(common_style);
  add_screens_styles(common_style);
  build_tooltip(tooltip_style);
}

void clear_ui_styles()
{
  common_style.clear();
  spells_style.clear();
  tooltip_style.clear();
}
