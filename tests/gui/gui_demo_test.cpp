// The demo screen driven end to end: a real window and GL device on Mesa,
// the shipped shaders and bitmap font, SDL events through the input layer's
// translation into the mode's update steps; widget states are checked and
// the rendered frame is kept as build/artifacts/gui_demo.png.
#include <SDL2/SDL.h>

#include <filesystem>
#include <fstream>

#include "core/app_globals.h"
#include "core/game_mode.h"
#include "core/platform.h"
#include "core/temp_data_home.h"
#include "core/window.h"
#include "core/temp_dir.h"
#include "app/gui_demo.h"
#include "devtools/screenshot.h"
#include "gui/gui_draw.h"
#include "gui_test_util.h"
#include "render/distFont.h"
#include "render/dynVBWriter.h"
#include "render/font.h"
#include "render/shader.h"

namespace {

constexpr int kWd = 640, kHt = 480;

// One window and device for the demo's suite only (the other GUI tests need
// no device); the content folder holds copies of the shipped shaders and the
// built font.
struct DemoEnv {
  static inline bool ok = false;
  static void SetUp() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
    setenv("RUNEHOLM_HEADLESS", "1", 1);
    isFullscreen = false;
    app_screen_wd = kWd;
    app_screen_ht = kHt;
    ASSERT_TRUE(register_main_window_class());
    int w = 0, h = 0;
    SDL_Window* win = create_main_window(w, h);
    ASSERT_NE(win, nullptr);
    ASSERT_TRUE(init_d3d(win, w, h));
    std::string dir = make_temp_dir("rh-gui");
    for (const auto& e : std::filesystem::directory_iterator(RH_SOURCE_DATA_DIR))
      if (e.path().extension() == ".sh") std::filesystem::copy_file(e.path(), dir + e.path().filename().string());
    ASSERT_TRUE(std::filesystem::exists(RH_BIN_DIR "font.tga")) << "build the content_font target";
    std::filesystem::copy_file(RH_BIN_DIR "font.tga", dir + "font.tga");
    snprintf(app_path, sizeof app_path, "%s", dir.c_str());
    load_shader_compiler();
    init_common_vb_writer();
    init_font();
    input_start(win);
    ok = true;
  }
  static void TearDown() {
    if (!ok) return;
    ok = false;
    close_gui_render();
    close_font();
    close_common_vb_writer();
    close_shaders();
    close_d3d();
    destroy_main_window();
  }
};
class GuiDemoTest : public guitest::GuiTest {
protected:
  static void SetUpTestSuite() { DemoEnv::SetUp(); }
  static void TearDownTestSuite() { DemoEnv::TearDown(); }
  TempDataHome home; // set_button_key writes the settings
  void SetUp() override {
    if (!DemoEnv::ok) GTEST_SKIP() << "no GL device";
    GuiTest::SetUp();
    init_gui_render();
    init_controls();
    isAppActive = true;
    discard_input_events();
    set_game_mode(gui_demo_mode);
    step();
  }
  void TearDown() override {
    if (!DemoEnv::ok) return;
    set_game_mode(nullptr);
    GuiTest::TearDown();
  }
  GuiDemoScreen& s() { return *gui_demo_mode->screen(); }

  // One update step: the queued SDL events through the input layer, the
  // mode's update, the queued destructions, the per-step clearing.
  void step() {
    SDL_Event ev;
    while (!pending.empty()) {
      ev = pending.front();
      pending.erase(pending.begin());
      input_handle_sdl_event(ev);
    }
    cur_game_mode->update(0.05f);
    destroy_queued_gui_elements();
    discard_input_events();
  }
  std::vector<SDL_Event> pending;
  void move(float x, float y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = (int)x, e.motion.y = (int)y;
    pending.push_back(e);
  }
  void button(bool down, float x, float y, int b = SDL_BUTTON_LEFT) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = (Uint8)b;
    e.button.clicks = 1;
    e.button.x = (int)x, e.button.y = (int)y;
    pending.push_back(e);
  }
  void key(SDL_Keycode k, SDL_Scancode sc) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = k;
    e.key.keysym.scancode = sc;
    pending.push_back(e);
    e.type = SDL_KEYUP;
    pending.push_back(e);
  }
  void wheel(int steps, float x, float y) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = steps;
    e.wheel.mouseX = (int)x, e.wheel.mouseY = (int)y;
    pending.push_back(e);
  }
  static bool near(uint32_t got, uint32_t want) {
    for (int sh = 0; sh <= 16; sh += 8)
      if (std::abs((int)((got >> sh) & 255) - (int)((want >> sh) & 255)) > 2) return false;
    return true;
  }
  static float cx(const BaseGuiElement* e) { return (e->rect.x0 + e->rect.x1) * 0.5f; }
  static float cy(const BaseGuiElement* e) { return (e->rect.y0 + e->rect.y1) * 0.5f; }
  void click(const BaseGuiElement* e) {
    move(cx(e), cy(e));
    button(true, cx(e), cy(e));
    button(false, cx(e), cy(e));
    step();
  }
  void frame(float dt) {
    set_back_buffer_target();
    cur_game_mode->render3d(dt);
    cur_game_mode->render2d(dt);
  }
};

TEST_F(GuiDemoTest, RealInputDrivesTheWidgetsAndTheFrameIsKept) {
  GuiDemoScreen& d = s();
  ASSERT_GT(d.clickButton->rect.width(), 10) << "laid out";

  click(d.clickButton);
  EXPECT_EQ(d.clicks, 1);
  EXPECT_EQ(d.clickLabel->text, "Clicked 1 time");
  // Press, drag off, release: no click; press, drag off and back: a click.
  move(cx(d.clickButton), cy(d.clickButton));
  button(true, cx(d.clickButton), cy(d.clickButton));
  move(5, 5);
  step();
  EXPECT_FALSE(d.clickButton->hasState(GUI_STATE_PRESSED));
  button(false, 5, 5);
  step();
  EXPECT_EQ(d.clicks, 1);
  move(cx(d.clickButton), cy(d.clickButton));
  button(true, cx(d.clickButton), cy(d.clickButton));
  move(5, 5);
  move(cx(d.clickButton) + 2, cy(d.clickButton));
  button(false, cx(d.clickButton) + 2, cy(d.clickButton));
  step();
  EXPECT_EQ(d.clicks, 2);
  click(d.disabledButton);
  EXPECT_EQ(d.clicks, 2);

  ASSERT_TRUE(d.checkbox->hasState(GUI_STATE_CHECKED));
  click(d.checkbox);
  EXPECT_FALSE(d.checkbox->hasState(GUI_STATE_CHECKED));
  click(d.checkbox);
  EXPECT_TRUE(d.checkbox->hasState(GUI_STATE_CHECKED));

  click(d.radios[2]);
  EXPECT_TRUE(d.radios[2]->hasState(GUI_STATE_CHECKED));
  EXPECT_FALSE(d.radios[0]->hasState(GUI_STATE_CHECKED));

  // Drag the slider from its left end to three quarters, past the end, back.
  const GuiRect sr = d.slider->rect;
  float y = cy(d.slider);
  move(sr.x0 + 2, y);
  button(true, sr.x0 + 2, y);
  move(sr.x0 + sr.width() * 0.75f, y);
  step();
  EXPECT_NEAR(d.slider->value, 0.75f, 0.01f);
  move(sr.x1 + 40, y);
  step();
  EXPECT_FLOAT_EQ(d.slider->value, 1.f) << "clamped while dragging beyond the track";
  move(sr.x0 + sr.width() * 0.25f, y + 30);
  button(false, sr.x0 + sr.width() * 0.25f, y + 30);
  step();
  EXPECT_NEAR(d.slider->value, 0.25f, 0.01f);
  EXPECT_FALSE(d.slider->hasState(GUI_STATE_PRESSED));
  wheel(2, cx(d.slider), y);
  step();
  EXPECT_NEAR(d.slider->value, 0.35f, 0.01f);
  EXPECT_EQ(d.sliderLabel->text, "Volume  35%");

  // The key box binds Forward to the next key pressed over it.
  move(cx(d.keybox), cy(d.keybox));
  step();
  EXPECT_TRUE(d.keybox->hasState(GUI_STATE_FOCUSED));
  key(SDLK_UP, SDL_SCANCODE_UP);
  step();
  EXPECT_EQ(get_button_key(0), VK_UP);
  EXPECT_EQ(d.keybox->text, "Forward: Up Arrow");

  // Hovering the click button shows its tooltip (the demo's stand-in).
  move(cx(d.clickButton), cy(d.clickButton));
  step();
  EXPECT_STREQ(gui_demo_tooltip(), "Counts its clicks");
  EXPECT_TRUE(d.clickButton->hasState(GUI_STATE_HOVER));

  // Let the transitions finish, draw, and keep the frame.
  for (int i = 0; i < 3; i++) frame(0.2f);
  std::vector<uint8_t> px((size_t)kWd * kHt * 4);
  ASSERT_TRUE(read_render_target(0, 0, kWd, kHt, px.data()));
  std::filesystem::create_directories(RH_ARTIFACT_DIR);
  EXPECT_TRUE(save_screenshot_png(RH_ARTIFACT_DIR "gui_demo.png", px.data(), kWd, kHt, kWd * 4));
  auto at = [&](float x, float y) {
    const uint8_t* p = &px[((size_t)(int)y * kWd + (int)x) * 4];
    return (uint32_t)p[2] << 16 | (uint32_t)p[1] << 8 | p[0];
  };
  EXPECT_EQ(at(2, 2), 0x18202Au) << "the clear colour outside the panel";
  BaseGuiElement* mark = d.checkbox->children[0];
  // Within 2 per channel: the box gradient's neutral brightness is 128 / 127.5.
  EXPECT_TRUE(near(at(cx(mark), cy(mark)), 0x52C46A)) << "the checked mark is green";
  BaseGuiElement* rmark = d.radios[1]->children[0];
  EXPECT_TRUE(near(at(cx(rmark), cy(rmark)), 0x151B22)) << "an unchecked radio mark is dark";
  uint32_t knob = at(d.slider->rect.x0 + d.slider->value * d.slider->rect.width(), cy(d.slider));
  EXPECT_GT(knob & 0xFF, 0xC0u) << "the knob is light";

  // Escape leaves the demo; its screen is destroyed at the step's end.
  key(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
  step();
  EXPECT_NE(cur_game_mode, gui_demo_mode);
  EXPECT_EQ(queued_gui_destructions(), 0);
}

// With the distance-field font loaded, labels measure and draw with it: the
// title's width follows the font's metrics and its yellow ink shows.
TEST_F(GuiDemoTest, LabelsUseTheDistanceFieldFontOnceItIsLoaded) {
  std::filesystem::create_directories(std::string(app_path) + "fonts");
  for (const char* f : {"default_font.fnt", "default_font.dds", "ui_icons.txt", "ui_icons.dds"})
    std::filesystem::copy_file(std::string(RH_BIN_DIR "fonts/") + f, std::string(app_path) + "fonts/" + f,
                               std::filesystem::copy_options::overwrite_existing);
  float bw = 0, bh = 0, w = 0, h = 0;
  gui_measure_text("Runeholm", bw, bh, 30);
  init_dist_fonts();
  init_dist_icons();
  ASSERT_TRUE(load_default_dist_fonts());
  gui_measure_text("Runeholm", w, h, 30);
  float k = 30.f / (float)default_font.size;
  EXPECT_FLOAT_EQ(h, k * (float)default_font.lineHeight);
  EXPECT_NE(w, bw) << "measured by the distance-field font, not the bitmap font";
  EXPECT_GT(w, 30.f * 2.5f);
  EXPECT_LT(w, 30.f * 6.f);

  set_game_mode(nullptr);
  set_game_mode(gui_demo_mode);
  step();
  for (int i = 0; i < 3; i++) frame(0.2f);
  std::vector<uint8_t> px((size_t)kWd * kHt * 4);
  ASSERT_TRUE(read_render_target(0, 0, kWd, kHt, px.data()));
  std::filesystem::create_directories(RH_ARTIFACT_DIR);
  EXPECT_TRUE(save_screenshot_png(RH_ARTIFACT_DIR "gui_demo_dist.png", px.data(), kWd, kHt, kWd * 4));
  const GuiRect& r = s().title->rect;
  int yellow = 0;
  for (int y = (int)r.y0; y < (int)r.y1; y++)
    for (int x = (int)r.x0; x < (int)r.x1; x++) {
      const uint8_t* p = &px[((size_t)y * kWd + x) * 4];
      yellow += p[2] > 200 && p[1] > 150 && p[0] < 160;
    }
  EXPECT_GT(yellow, 100) << "the title's ink";
  close_dist_fonts();
}

} // namespace
