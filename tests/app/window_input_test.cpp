// The main window's message processing and the input queue, fed with
// synthetic SDL events on a headless window; control bindings read from a
// real settings.cfg in a fresh data folder.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "core/app_globals.h"
#include "core/config.h"
#include "core/input.h"
#include "core/window.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWd = 200, kHt = 150;

class WindowInput : public ::testing::Test {
protected:
  static inline bool have_window = false;

  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
    setenv("RUNEHOLM_HEADLESS", "1", 1);
    isFullscreen = false;
    app_screen_wd = kWd;
    app_screen_ht = kHt;
    if (!register_main_window_class()) return;
    int w = 0, h = 0;
    have_window = create_main_window(w, h) != nullptr;
    EXPECT_EQ(w, kWd);
    EXPECT_EQ(h, kHt);
  }
  static void TearDownTestSuite() {
    destroy_main_window();
    have_window = false;
  }

  void SetUp() override {
    if (!have_window) GTEST_SKIP() << "no SDL window";
    process_window_messages(); // whatever the window system queued
    discard_input_events();
    quit_requested = false;
  }

  static void push(SDL_Event e) {
    e.common.timestamp = SDL_GetTicks();
    ASSERT_EQ(SDL_PushEvent(&e), 1);
  }
  static void key(bool down, SDL_Keycode sym, SDL_Scancode sc, int mod = 0, bool repeat = false) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SDL_GetWindowID(get_main_window());
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = sc;
    e.key.keysym.mod = (Uint16)mod;
    push(e);
  }
  static void motion(int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(get_main_window());
    e.motion.x = x;
    e.motion.y = y;
    push(e);
  }
  static void button(bool down, int b, int x, int y, int clicks = 1) {
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = SDL_GetWindowID(get_main_window());
    e.button.button = (Uint8)b;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = (Uint8)clicks;
    e.button.x = x;
    e.button.y = y;
    push(e);
  }
  static void wheel(int steps, int x, int y) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = SDL_GetWindowID(get_main_window());
    e.wheel.y = steps;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    e.wheel.mouseX = x;
    e.wheel.mouseY = y;
    push(e);
  }
  static void window_event(Uint8 what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(get_main_window());
    e.window.event = what;
    push(e);
  }
  // Next queued event of one of the given types (skipping moves the window
  // system may add).
  static bool next_event(InputEvent& out, bool skip_moves = true) {
    while (getEvent(&out))
      if (!(skip_moves && out.type == INPUT_MOUSE_MOVE)) return true;
    return false;
  }
};

TEST_F(WindowInput, HeldKeyGivesOneDownMarkAndRepeatEvents) {
  key(true, SDLK_w, SDL_SCANCODE_W);
  key(true, SDLK_w, SDL_SCANCODE_W, 0, true);
  key(true, SDLK_w, SDL_SCANCODE_W, 0, true);
  process_window_messages();
  EXPECT_TRUE(keyDown('W'));
  EXPECT_FALSE(keyUp('W'));
  EXPECT_EQ(getKey(), 'W');
  EXPECT_EQ(getChar(), 'w');
  InputEvent e;
  int repeats = 0, events = 0;
  while (next_event(e)) {
    events++;
    EXPECT_EQ(e.type, INPUT_KEY_DOWN);
    EXPECT_EQ(e.key, 'W');
    repeats += (e.flags & IEF_REPEAT) != 0;
  }
  EXPECT_EQ(events, 3);
  EXPECT_EQ(repeats, 2);

  // Next step: only repeats arrive, which mark nothing.
  discard_input_events();
  key(true, SDLK_w, SDL_SCANCODE_W, 0, true);
  process_window_messages();
  EXPECT_FALSE(keyDown('W'));
  EXPECT_EQ(getKey(), 'W');
}

TEST_F(WindowInput, PressAndReleaseInOneStepSetsBothMarksUntilCleared) {
  key(true, SDLK_UP, SDL_SCANCODE_UP, KMOD_LSHIFT | KMOD_CAPS);
  key(false, SDLK_UP, SDL_SCANCODE_UP, KMOD_LSHIFT | KMOD_CAPS);
  process_window_messages();
  EXPECT_TRUE(keyDown(VK_UP));
  EXPECT_TRUE(keyUp(VK_UP));
  InputEvent e;
  ASSERT_TRUE(next_event(e));
  EXPECT_EQ(e.ch, 0); // no character for an arrow
  EXPECT_EQ(e.flags & (IEF_SHIFT | IEF_CAPSLOCK | IEF_CTRL), IEF_SHIFT | IEF_CAPSLOCK);
  ASSERT_TRUE(next_event(e));
  EXPECT_EQ(e.type, INPUT_KEY_UP);
  EXPECT_EQ(getKey(), VK_UP); // key-ups do not change the last key
  discard_input_events();
  EXPECT_FALSE(keyDown(VK_UP));
  EXPECT_FALSE(keyUp(VK_UP));
  EXPECT_EQ(getKey(), 0);
  EXPECT_FALSE(getEvent(&e));
  EXPECT_FALSE(keyDown(-1));
  EXPECT_FALSE(keyDown(256));
}

TEST_F(WindowInput, ButtonUpReportsTheStoredPositionAndButtonsShowInFlags) {
  motion(10, 20);
  button(true, SDL_BUTTON_LEFT, 10, 20);
  motion(30, 40);
  button(false, SDL_BUTTON_LEFT, 50, 60);
  process_window_messages();
  InputEvent e;
  ASSERT_TRUE(getEvent(&e));
  EXPECT_EQ(e.type, INPUT_MOUSE_MOVE);
  EXPECT_EQ(e.flags & IEF_LBUTTON, 0);
  ASSERT_TRUE(getEvent(&e));
  EXPECT_EQ(e.type, INPUT_BUTTON_DOWN);
  EXPECT_EQ(e.key, 1);
  EXPECT_TRUE(e.flags & IEF_LBUTTON);
  ASSERT_TRUE(getEvent(&e));
  EXPECT_EQ(e.type, INPUT_MOUSE_MOVE);
  EXPECT_TRUE(e.flags & IEF_LBUTTON);
  ASSERT_TRUE(getEvent(&e));
  EXPECT_EQ(e.type, INPUT_BUTTON_UP);
  EXPECT_EQ(e.x, 30.f); // the stored position, not the message's
  EXPECT_EQ(e.y, 40.f);
  EXPECT_EQ(e.flags & IEF_LBUTTON, 0);
  EXPECT_TRUE(keyDown(VK_LBUTTON));
  EXPECT_TRUE(keyUp(VK_LBUTTON));
  EXPECT_EQ(getKey(), 1);

  discard_input_events();
  button(true, SDL_BUTTON_RIGHT, 5, 5, 2); // double click
  button(true, SDL_BUTTON_MIDDLE, 5, 5);
  process_window_messages();
  ASSERT_TRUE(next_event(e));
  EXPECT_EQ(e.key, 2);
  EXPECT_TRUE(e.flags & IEF_REPEAT);
  ASSERT_TRUE(next_event(e));
  EXPECT_EQ(e.key, 4);
  EXPECT_EQ(e.flags & (IEF_RBUTTON | IEF_MBUTTON), IEF_RBUTTON | IEF_MBUTTON);
  EXPECT_TRUE(isMouseOver()); // a held button captures the mouse
  button(false, SDL_BUTTON_RIGHT, 5, 5);
  button(false, SDL_BUTTON_MIDDLE, 5, 5);
  process_window_messages();
}

TEST_F(WindowInput, PositionsAreClampedToTheClientArea) {
  motion(1000, -5);
  process_window_messages();
  float x, y;
  getMousePos(&x, &y);
  EXPECT_EQ(x, kWd - 1.f);
  EXPECT_EQ(y, 0.f);
}

// The game's recentring takes effect at once and its echo is dropped, so a
// mouse moved through the developer socket meanwhile (which has no real
// pointer behind it, and counts as over the window) is not moved back.
TEST_F(WindowInput, WarpsApplyAtOnceAndTheirEchoDoesNotUndoAnInjectedMove) {
  setMousePos(kWd / 2.f, 50);
  input_inject_event(INPUT_MOUSE_MOVE, 0, 100, 90, 0);
  process_window_messages(); // the warp's own event (this driver sends one) comes after

  EXPECT_TRUE(isMouseOver());
  float x, y;
  getMousePos(&x, &y);
  EXPECT_EQ(x, 100.f);
  EXPECT_EQ(y, 90.f);
  setMousePos(kWd / 2.f, 50);
  getMousePos(&x, &y);
  EXPECT_EQ(x, kWd / 2.f);
  motion(10, 20); // a real pointer moves
  process_window_messages();
  getMousePos(&x, &y);
  EXPECT_EQ(x, 10.f);
}

TEST_F(WindowInput, WheelNotchesAddUpWithinAStep) {
  wheel(1, 7, 8);
  wheel(1, 7, 8);
  process_window_messages();
  EXPECT_EQ(getMouseWheel(), 2);
  InputEvent e;
  ASSERT_TRUE(next_event(e));
  EXPECT_EQ(e.type, INPUT_WHEEL);
  EXPECT_EQ(e.wheel, 1);
  EXPECT_EQ(e.key, 0);
  discard_input_events();
  wheel(-1, 7, 8);
  process_window_messages();
  EXPECT_EQ(getMouseWheel(), -1);
}

TEST_F(WindowInput, AltEnterTogglesTheWindowModeAndAltF4Quits) {
  bool was = isFullscreen;
  key(true, SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_LALT);
  process_window_messages();
  EXPECT_NE(isFullscreen, was);
  InputEvent e;
  EXPECT_FALSE(next_event(e)); // the window's, not an input event
  key(true, SDLK_RETURN, SDL_SCANCODE_RETURN, KMOD_LALT);
  process_window_messages();
  EXPECT_EQ(isFullscreen, was);
  EXPECT_FALSE(quit_requested);
  key(true, SDLK_F4, SDL_SCANCODE_F4, KMOD_LALT);
  process_window_messages();
  EXPECT_TRUE(quit_requested);
  quit_requested = false;
  isAppActive = true;
  // F4 alone is an ordinary key.
  key(true, SDLK_F4, SDL_SCANCODE_F4);
  process_window_messages();
  EXPECT_TRUE(keyDown(VK_F4));
  EXPECT_FALSE(quit_requested);
}

TEST_F(WindowInput, FocusChangesSetActivation) {
  window_event(SDL_WINDOWEVENT_FOCUS_LOST);
  process_window_messages();
  EXPECT_FALSE(isAppActive);
  window_event(SDL_WINDOWEVENT_FOCUS_GAINED);
  process_window_messages();
  EXPECT_TRUE(isAppActive);
  window_event(SDL_WINDOWEVENT_CLOSE);
  process_window_messages();
  EXPECT_TRUE(quit_requested);
  EXPECT_FALSE(isAppActive);
  isAppActive = true;
  quit_requested = false;
}

TEST_F(WindowInput, SplashTextUpTo255CharactersIsKept) {
  std::string text(255, 'x');
  show_splash(text.c_str(), -1.f); // no device: only the text and the messages
  EXPECT_EQ(std::string(splash_text.str), text);
  EXPECT_EQ(splash_progress, -1.f);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string too_long(256, 'x');
  EXPECT_EXIT(show_splash(too_long.c_str(), 0.f), ::testing::ExitedWithCode(100), "l<BS");
}

TEST(InputKeys, EveryNamedKeyHasAnSdlKey) {
  std::set<int> mapped;
  for (int sc = 0; sc < SDL_NUM_SCANCODES; sc++) {
    int vk = input_vk_from_sdl(SDL_GetKeyFromScancode((SDL_Scancode)sc), sc);
    if (vk) mapped.insert(vk);
    vk = input_vk_from_sdl(0, sc); // by position alone
    if (vk) mapped.insert(vk);
  }
  for (int vk = 5; vk < 256; vk++) {
    const char* name = getKeyName(vk);
    if (name[0] == '#' && name[1] != 0) continue; // unnamed
    EXPECT_TRUE(mapped.count(vk)) << vk << " " << name;
  }
  EXPECT_EQ(input_vk_from_sdl(SDLK_a, SDL_SCANCODE_Q), 'A'); // letters follow the layout
  EXPECT_EQ(input_vk_from_sdl(SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER), VK_RETURN);
  EXPECT_EQ(input_vk_from_sdl(SDLK_RSHIFT, SDL_SCANCODE_RSHIFT), VK_SHIFT);
  EXPECT_EQ(input_vk_from_sdl(SDLK_KP_0, SDL_SCANCODE_KP_0), 96);
}

TEST(InputKeys, NamesCoverTheTableAndHexForTheRest) {
  EXPECT_STREQ(getKeyName(10), "#0A");
  EXPECT_STREQ(getKeyName(0), "#00");
  EXPECT_STREQ(getKeyName(255), "#FF");
  EXPECT_STREQ(getKeyName(256), "?");
  EXPECT_STREQ(getKeyName(-1), "?");
  EXPECT_STREQ(getKeyName(38), "Up Arrow");
  EXPECT_STREQ(getKeyName(1), "Left Mouse Button");
  EXPECT_STREQ(getKeyName(48), "0");
  EXPECT_STREQ(getKeyName(90), "Z");
  EXPECT_STREQ(getKeyName(105), "NumPad 9");
  EXPECT_STREQ(getKeyName(123), "F12");
  EXPECT_STREQ(getKeyName(124), "#7C");
  EXPECT_STREQ(getKeyName(222), "Apostrophe");
}

TEST(InputKeys, CharactersFollowShiftAndCapsLock) {
  EXPECT_EQ(input_char_for_key(SDLK_a, 0), 'a');
  EXPECT_EQ(input_char_for_key(SDLK_a, KMOD_LSHIFT), 'A');
  EXPECT_EQ(input_char_for_key(SDLK_a, KMOD_CAPS), 'A');
  EXPECT_EQ(input_char_for_key(SDLK_a, KMOD_CAPS | KMOD_RSHIFT), 'a');
  EXPECT_EQ(input_char_for_key(SDLK_1, KMOD_LSHIFT), '!');
  EXPECT_EQ(input_char_for_key(SDLK_1, KMOD_CAPS), '1');
  EXPECT_EQ(input_char_for_key(SDLK_SLASH, KMOD_LSHIFT), '?');
  EXPECT_EQ(input_char_for_key(SDLK_SPACE, 0), ' ');
  EXPECT_EQ(input_char_for_key(SDLK_a, KMOD_LCTRL), 0);
  EXPECT_EQ(input_char_for_key(SDLK_RETURN, 0), 0);
  EXPECT_EQ(input_char_for_key(SDLK_KP_5, KMOD_NUM), '5');
  EXPECT_EQ(input_char_for_key(SDLK_KP_5, 0), 0);
}

class ControlBindings : public ::testing::Test {
protected:
  std::string home;
  void SetUp() override {
    char pattern[] = "/tmp/rh_bindings_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    home = pattern;
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("RUNEHOLM_HEADLESS", "1", 1);
    config_reset_for_tests();
  }
  void TearDown() override {
    config_reset_for_tests();
    fs::remove_all(home);
  }
  void write_settings(const char* text) {
    fs::create_directories(fs::path(home) / "Runeholm");
    FILE* f = fopen((fs::path(home) / "Runeholm" / "settings.cfg").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs(text, f);
    fclose(f);
    config_reset_for_tests();
  }
};

TEST_F(ControlBindings, HashValueBindsAndPlainNumberKeepsTheDefault) {
  write_settings("B_forward=#38\nB_back=38\nB_left=#\nB_map=#112\n");
  init_controls();
  EXPECT_EQ(get_button_key(0), VK_UP);
  EXPECT_STREQ(get_button_key_name(0).str, "Up Arrow");
  EXPECT_EQ(get_button_key(1), 'S'); // without "#": default
  EXPECT_EQ(get_button_key(2), 0);   // "#" without digits: 0
  EXPECT_STREQ(get_button_key_name(2).str, "#00");
  EXPECT_EQ(get_button_key(9), 112);
  EXPECT_EQ(get_button_key(3), 'D');
  EXPECT_EQ(get_button_key(6), VK_SHIFT);
  EXPECT_EQ(get_button_key(7), VK_LBUTTON);
  EXPECT_EQ(get_button_key(10), VK_CONTROL);
}

TEST_F(ControlBindings, DefaultsNamesAndRangeChecks) {
  write_settings("");
  init_controls();
  const char* names[NUM_CONTROL_BUTTONS] = {"Forward", "Backward",   "Left",        "Right",
                                            "Up",      "Down",       "Go faster",   "Left spell",
                                            "Right spell", "Show map", "Select spells"};
  for (int i = 0; i < NUM_CONTROL_BUTTONS; i++) EXPECT_STREQ(get_button_ui_name(i), names[i]);
  EXPECT_STREQ(get_button_key_name(0).str, "W");
  EXPECT_STREQ(get_button_key_name(4).str, "Space");
  EXPECT_STREQ(get_button_key_name(8).str, "Right Mouse Button");
  EXPECT_EQ(get_button_ui_name(-1), nullptr);
  EXPECT_EQ(get_button_ui_name(11), nullptr);
  EXPECT_STREQ(get_button_key_name(11).str, "");
  EXPECT_FALSE(button_down(11));
  EXPECT_FALSE(button_up(-1));
  EXPECT_FALSE(button_state(42));
  set_button_key(12, 5); // ignored
}

TEST_F(ControlBindings, SetButtonKeyStoresHashCode) {
  write_settings("");
  init_controls();
  set_button_key(5, 90);
  EXPECT_EQ(get_button_key(5), 'Z');
  char value[64];
  ASSERT_TRUE(get_config_str("B_down", value, sizeof value));
  EXPECT_STREQ(value, "#90");
  init_controls(); // read back from the settings
  EXPECT_EQ(get_button_key(5), 'Z');
}

} // namespace

namespace {

TEST(MainWindow, WindowedWithoutSizeIsMaximisedAndTheDeviceTakesTheClientSize) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("RUNEHOLM_HEADLESS", "1", 1);
  if (!register_main_window_class()) GTEST_SKIP() << "no SDL video";
  isFullscreen = false;
  app_screen_wd = app_screen_ht = 0;
  int w = -1, h = -1;
  SDL_Window* window = create_main_window(w, h);
  ASSERT_NE(window, nullptr);
  EXPECT_STREQ(SDL_GetWindowTitle(window), "Runeholm 0.26 DEMO");
  EXPECT_TRUE(SDL_GetWindowFlags(window) & SDL_WINDOW_RESIZABLE);
  int cw = 0, ch = 0;
  SDL_GL_GetDrawableSize(window, &cw, &ch);
  EXPECT_GT(w, 0);
  EXPECT_EQ(w, cw);
  EXPECT_EQ(h, ch);
  destroy_main_window();
  EXPECT_EQ(get_main_window(), nullptr);

  app_screen_wd = 320;
  app_screen_ht = 200;
  window = create_main_window(w, h);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 200);
  SDL_GetWindowSize(window, &cw, &ch);
  EXPECT_EQ(cw, 320);
  destroy_main_window();
}

// screen_wd=100000 in the settings: the window and the device get what the
// display offers instead, in both modes, and the log says so.
TEST(MainWindow, ASizeTheDisplayCannotGiveIsClamped) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("RUNEHOLM_HEADLESS", "1", 1);
  if (!register_main_window_class()) GTEST_SKIP() << "no SDL video";
  for (bool full : {false, true}) {
    isFullscreen = full;
    app_screen_wd = 100000;
    app_screen_ht = 200;
    ::testing::internal::CaptureStdout();
    int w = -1, h = -1;
    SDL_Window* window = create_main_window(w, h);
    std::string log = ::testing::internal::GetCapturedStdout();
    ASSERT_NE(window, nullptr);
    EXPECT_NE(log.find("WINDOW: the screen size 100000x200 is more than the display offers"),
              std::string::npos)
        << log;
    EXPECT_GT(app_screen_wd, 0);
    // The headless display's made-up bounds count as a 4K screen.
    EXPECT_LE(app_screen_wd, full ? 100000 : 3840);
    EXPECT_LT(app_screen_wd, 100000);
    EXPECT_EQ(app_screen_ht, 200);
    if (!full) EXPECT_EQ(w, app_screen_wd);
    destroy_main_window();
  }
  isFullscreen = false;
  app_screen_wd = app_screen_ht = 0;
}

} // namespace
