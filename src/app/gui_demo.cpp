// The GUI demo screen and its mode (see gui_demo.h).
#include "app/gui_demo.h"

#include <cstdio>

#include "core/app_globals.h"
#include "core/input.h"
#include "core/log.h"
#include "core/platform.h"
#include "app/temp_mode.h"
#include "gui/gui_draw.h"
#include "host/gameobj_api.h"
#include "render/device.h"

namespace {

constexpr D3dColor DEMO_CLEAR_COLOR = 0xFF18202A;

GuiTransition quick{0.15f, 0, GUI_EASE_OUT};
GuiTransition smooth{0.3f, 0, GUI_EASE_IN_OUT};

RenderBatch gui_batch;

// {===== Tooltip stand-in (the module's tooltip is not linked here)

struct DemoTooltip {
  std::string text;
  float x = 0, y = 0;
  bool shown = false;
} tip;

void demo_show_tooltip(const char* text, float x, float y) {
  tip.text = text;
  tip.x = x, tip.y = y;
  tip.shown = true;
}
void demo_hide_tooltip() { tip.shown = false; }

void draw_tooltip(RenderBatch& batch) {
  if (!tip.shown || tip.text.empty()) return;
  float w, h;
  gui_measure_text(tip.text.c_str(), w, h);
  float x0 = tip.x + 14, y0 = tip.y + 18, x1 = x0 + w + 16, y1 = y0 + h + 8;
  if (x1 > d3d_wd - 2) x0 -= x1 - (d3d_wd - 2), x1 = d3d_wd - 2.f;
  if (y1 > d3d_ht - 2) y0 = tip.y - 8 - (h + 8), y1 = tip.y - 8;
  render_rounded_box(batch, _mm_setr_ps(x0, y0, x1, y1), _mm_setr_ps(140, 115, 127.5f, 1), 0xF0303A46,
                     4, 0, 0, 0, 0xFFFFD27A, -1);
  gui_draw_text(batch, tip.text.c_str(), x0 + 8, (y0 + y1) * 0.5f, -1, 0, 0xFFFFFFFF);
}

// {===== Style

using B = GuiRuleBuilder;
GuiValue col(D3dColor c) { return GuiValue::colour(c); }
GuiValue num(float v) { return GuiValue::number(v); }
GuiSimpleSelector* sel(const char* cls, unsigned states = 0, GuiSimpleSelector* parent = nullptr) {
  return new GuiSimpleSelector("", cls, states, parent);
}

void build_style(GuiStyle& st) {
  st.addSheet(sel("panel"), B()
                                .set(GP_BG_COLOR, col(0xF0283442))
                                .set(GP_BORDER_COLOR, col(0xFF46566A))
                                .set(GP_BORDER_WIDTH, num(1))
                                .set(GP_RADIUS, num(14))
                                .set(GP_BRIGHTNESS, num(0.08f))
                                .set(GP_SHADOW_COLOR, col(0xA0000000))
                                .set(GP_SHADOW_SIZE, num(14))
                                .set(GP_SHADOW_DY, num(6))
                                .set(GP_PAD_X, num(40))
                                .set(GP_PAD_Y, num(34))
                                .set(GP_SPACING, num(26))
                                .set(GP_H_ALIGN, num(-1))
                                .transition(&smooth, {GP_BORDER_COLOR, GP_SHADOW_SIZE})
                                .take());
  st.addSheet(sel("title"), B().set(GP_TEXT_COLOR, col(0xFFFFD27A)).set(GP_H_ALIGN, num(-1)).take());
  st.addSheet(sel("text"), B().set(GP_TEXT_COLOR, col(0xFFC8D2DC)).set(GP_H_ALIGN, num(-1)).take());
  st.addSheet(sel("row"), B().set(GP_SPACING, num(24)).set(GP_V_ALIGN, num(0)).take());

  // Buttons: hover lifts, press sinks, disabled fades.
  st.addSheet(sel("btn"), B()
                              .behaviors({"solid_box", "button", "tooltip_box"})
                              .set(GP_BG_COLOR, col(0xFF35597F))
                              .set(GP_BORDER_COLOR, col(0xFF5C86B5))
                              .set(GP_BORDER_WIDTH, num(1))
                              .set(GP_RADIUS, num(6))
                              .set(GP_BRIGHTNESS, num(0.18f))
                              .set(GP_PAD_X, num(34))
                              .set(GP_PAD_Y, num(16))
                              .transition(&quick, {GP_BG_COLOR, GP_BORDER_COLOR, GP_OFFSET_Y, GP_OPACITY})
                              .take());
  st.addSheet(sel("btn", GUI_STATE_HOVER), B()
                                               .set(GP_BG_COLOR, col(0xFF4A78AA))
                                               .set(GP_BORDER_COLOR, col(0xFF9CC4F0))
                                               .set(GP_OFFSET_Y, num(-1))
                                               .take());
  st.addSheet(sel("btn", GUI_STATE_PRESSED), B().set(GP_BG_COLOR, col(0xFF233D58)).set(GP_OFFSET_Y, num(1)).take());
  st.addSheet(sel("btn", GUI_STATE_DISABLED), B().set(GP_OPACITY, num(40)).take());

  // Checkbox and radio rows: a mark box and a label.
  for (const char* c : {"check", "radio"}) {
    st.addSheet(sel(c), B()
                            .behaviors({"solid_box", c[0] == 'c' ? "checkbox" : "radio_button", "tooltip_box"})
                            .set(GP_SPACING, num(16))
                            .set(GP_V_ALIGN, num(0))
                            .set(GP_PAD_X, num(8))
                            .set(GP_PAD_Y, num(6))
                            .set(GP_RADIUS, num(4))
                            .set(GP_BG_COLOR, col(0x00FFFFFF))
                            .transition(&quick, {GP_BG_COLOR})
                            .take());
    st.addSheet(sel(c, GUI_STATE_HOVER), B().set(GP_BG_COLOR, col(0x28FFFFFF)).take());
    st.addSheet(sel("mark", 0, sel(c)), B()
                                            .set(GP_WIDTH, num(34))
                                            .set(GP_HEIGHT, num(34))
                                            .set(GP_BG_COLOR, col(0xFF151B22))
                                            .set(GP_BORDER_COLOR, col(0xFF6A7A8E))
                                            .set(GP_BORDER_WIDTH, num(1))
                                            .set(GP_RADIUS, num(c[0] == 'c' ? 3 : 8))
                                            .transition(&quick, {GP_BG_COLOR})
                                            .take());
  }
  st.addSheet(sel("mark", 0, sel("check", GUI_STATE_CHECKED)), B().set(GP_BG_COLOR, col(0xFF52C46A)).take());
  st.addSheet(sel("mark", 0, sel("radio", GUI_STATE_CHECKED)), B().set(GP_BG_COLOR, col(0xFFE0A040)).take());

  st.addSheet(sel("slider"), B()
                                 .behaviors({"solid_box", "h_slider", "tooltip_box"})
                                 .set(GP_WIDTH, num(420))
                                 .set(GP_HEIGHT, num(22))
                                 .set(GP_BG_COLOR, col(0xFF151B22))
                                 .set(GP_BORDER_COLOR, col(0xFF6A7A8E))
                                 .set(GP_BORDER_WIDTH, num(1))
                                 .set(GP_RADIUS, num(6))
                                 .set(GP_ACCENT_COLOR, col(0xFFC8D2DC))
                                 .transition(&quick, {GP_ACCENT_COLOR})
                                 .take());
  st.addSheet(sel("slider", GUI_STATE_HOVER), B().set(GP_ACCENT_COLOR, col(0xFFFFFFFF)).take());
  st.addSheet(sel("slider", GUI_STATE_PRESSED), B().set(GP_ACCENT_COLOR, col(0xFF9CC4F0)).take());

  st.addSheet(sel("keybox"), B()
                                 .behaviors({"solid_box", "keybox", "tooltip_box"})
                                 .set(GP_WIDTH, num(420))
                                 .set(GP_BG_COLOR, col(0xFF151B22))
                                 .set(GP_BORDER_COLOR, col(0xFF6A7A8E))
                                 .set(GP_BORDER_WIDTH, num(1))
                                 .set(GP_RADIUS, num(4))
                                 .set(GP_PAD_X, num(20))
                                 .set(GP_PAD_Y, num(12))
                                 .set(GP_H_ALIGN, num(-1))
                                 .transition(&smooth, {GP_BG_COLOR, GP_BORDER_COLOR})
                                 .take());
  st.addSheet(sel("keybox", GUI_STATE_FOCUSED),
              B().set(GP_BG_COLOR, col(0xFF3A3016)).set(GP_BORDER_COLOR, col(0xFFFFD27A)).take());
}

// {===== Layout: the panel centred on the screen

class DemoRoot : public GuiBox {
public:
  void layout(const GuiRect& r, float ref_ht, float ref_ht2, float scale) override {
    rect = r;
    for (BaseGuiElement* c : children) {
      float w, h;
      c->measure(scale, w, h);
      float x = (r.x0 + r.x1 - w) * 0.5f, y = (r.y0 + r.y1 - h) * 0.5f;
      c->layout(GuiRect{x, y, x + w, y + h}, ref_ht, ref_ht2, scale);
    }
  }
};

template <class T>
T* labelled(BaseGuiElement* parent, const char* cls, const char* text, const char* tooltip) {
  T* row = gui_make<T>(parent, cls);
  row->horizontal = true;
  row->tooltip = tooltip;
  gui_make<GuiBox>(row, "mark");
  gui_make<GuiLabel>(row, "text")->text = text;
  return row;
}

void set_slider_text(GuiDemoScreen* s) {
  char buf[48];
  snprintf(buf, sizeof buf, "Volume %3d%%", (int)(s->slider->value * 100 + 0.5f));
  s->sliderLabel->text = buf;
}

void set_key_text(GuiLabel* kb) {
  kb->text = std::string("Forward: ") + get_button_key_name(0).c_str();
}

} // namespace

// {===== Screen

GuiDemoScreen::GuiDemoScreen() {
  build_style(demoStyle);
  style = &demoStyle;
  root = new DemoRoot;
  auto* panel = gui_make<GuiStack>(root, "panel", "panel");

  title = gui_make<GuiLabel>(panel, "title");
  title->text = "GUI runtime demo  (F7 or Escape: back)";

  auto* buttons = gui_make<GuiStack>(panel, "row");
  buttons->horizontal = true;
  clickButton = gui_make<GuiBox>(buttons, "btn", "click");
  clickButton->tooltip = "Counts its clicks";
  gui_make<GuiLabel>(clickButton, "")->text = "Click me";
  disabledButton = gui_make<GuiBox>(buttons, "btn", "disabled");
  disabledButton->setState(GUI_STATE_DISABLED, true);
  disabledButton->tooltip = "Disabled: ignores the mouse";
  gui_make<GuiLabel>(disabledButton, "")->text = "Disabled";
  clickLabel = gui_make<GuiLabel>(buttons, "text", "clicks");
  clickLabel->text = "Clicked 0 times";
  clickButton->clickListeners.push_back([this](BaseGuiElement*, int) {
    char buf[48];
    clicks++;
    snprintf(buf, sizeof buf, "Clicked %d time%s", clicks, clicks == 1 ? "" : "s");
    clickLabel->text = buf;
  });

  checkbox = labelled<GuiStack>(panel, "check", "Panel shadow", "Toggles the panel's shadow");
  checkbox->setState(GUI_STATE_CHECKED, true);
  checkbox->valueListeners.push_back([panel](BaseGuiElement* e) {
    if (e->hasState(GUI_STATE_CHECKED))
      panel->clearOwnProp(GP_SHADOW_SIZE);
    else
      panel->setOwnProp(GP_SHADOW_SIZE, GuiValue::number(0));
  });

  auto* radio_row = gui_make<GuiStack>(panel, "row");
  radio_row->horizontal = true;
  static const char* const names[3] = {"Slate", "Moss", "Amber"};
  static const D3dColor borders[3] = {0xFF46566A, 0xFF4E8A50, 0xFFC08A30};
  for (int i = 0; i < 3; i++) {
    radios[i] = labelled<GuiStack>(radio_row, "radio", names[i], "Panel border colour");
    D3dColor c = borders[i];
    radios[i]->valueListeners.push_back([panel, c](BaseGuiElement* e) {
      if (e->hasState(GUI_STATE_CHECKED)) panel->setOwnProp(GP_BORDER_COLOR, GuiValue::colour(c));
    });
  }
  radios[0]->setState(GUI_STATE_CHECKED, true);

  auto* slider_row = gui_make<GuiStack>(panel, "row");
  slider_row->horizontal = true;
  slider = gui_make<GuiSlider>(slider_row, "slider", "volume");
  slider->tooltip = "Drag, or turn the wheel over it";
  slider->value = 0.5f;
  sliderLabel = gui_make<GuiLabel>(slider_row, "text");
  set_slider_text(this);
  slider->valueListeners.push_back([this](BaseGuiElement*) { set_slider_text(this); });

  keybox = gui_make<GuiLabel>(panel, "keybox", "keybox");
  keybox->tooltip = "Point at it and press a key to bind Forward";
  set_key_text(keybox);
  keybox->keyListeners.push_back([](BaseGuiElement* e, int key) {
    set_button_key(0, key);
    set_key_text(static_cast<GuiLabel*>(e));
    debug("GUI demo: Forward bound to %s", getKeyName(key));
  });
}

void GuiDemoScreen::update() {
  processInput();
  restyle();
  setGeometry();
}

void GuiDemoScreen::draw(float dt) {
  if (root) root->advanceTransitions(dt);
  // Transitions and text changes between steps: keep the geometry current.
  restyle();
  setGeometry();
  render(gui_batch);
  draw_tooltip(gui_batch);
  flush_gui_batch(gui_batch);
}

// {===== Mode

namespace {
GuiDemoMode demo_mode_instance;
void (*saved_show)(const char*, float, float);
void (*saved_hide)();
} // namespace

GuiDemoMode* const gui_demo_mode = &demo_mode_instance;

const char* gui_demo_tooltip() { return tip.shown ? tip.text.c_str() : ""; }

void GuiDemoMode::enter(GameMode* previous) {
  back = previous;
  demo = new GuiDemoScreen;
  cur_game_screen = demo;
  saved_show = gameobj_api.show_tooltip;
  saved_hide = gameobj_api.hide_tooltip;
  if (!saved_show) gameobj_api.show_tooltip = demo_show_tooltip;
  if (!saved_hide) gameobj_api.hide_tooltip = demo_hide_tooltip;
  tip.shown = false;
  lastFrame = get_ref_time();
  debug("GUI demo: opened");
}

void GuiDemoMode::leave(GameMode*) {
  if (gameobj_api.show_tooltip == demo_show_tooltip) gameobj_api.show_tooltip = saved_show;
  if (gameobj_api.hide_tooltip == demo_hide_tooltip) gameobj_api.hide_tooltip = saved_hide;
  if (cur_game_screen == demo) cur_game_screen = nullptr;
  queue_destruction(demo); // deleted at the end of this update step
  demo = nullptr;
  debug("GUI demo: closed");
}

void GuiDemoMode::update(float) {
  demo->update();
  handle_global_hotkeys(); // F7 leaves from here too
  if (cur_game_mode == this && isAppActive && keyDown(VK_ESCAPE)) set_game_mode(back ? back : temp_mode);
}

void GuiDemoMode::render3d(float) {
  set_back_buffer_target();
  set_viewport(0, 0, d3d_wd, d3d_ht);
  clear_view_color(DEMO_CLEAR_COLOR);
}

void GuiDemoMode::render2d(float) {
  int64_t now = get_ref_time();
  float dt = (float)(now - lastFrame) / (float)time_ticks_per_sec();
  lastFrame = now;
  if (demo) demo->draw(dt > 0.25f ? 0.25f : dt);
}

void toggle_gui_demo() {
  if (cur_game_mode == gui_demo_mode)
    set_game_mode(gui_demo_mode->back_mode() ? gui_demo_mode->back_mode() : temp_mode);
  else
    set_game_mode(gui_demo_mode);
}
