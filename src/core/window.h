// The one main window (SDL2, "Runeholm 0.26 DEMO"): creation windowed or full
// screen, message processing (activation, size changes, Alt+Enter, Alt+F4,
// input), switching the window mode at run time, cursor confinement and
// hiding, and the splash screen shown by long operations.
//
// The window lies below the renderer: the device operations it needs are
// installed in `window_device_ops` by the device layer when it comes up
// (init_d3d). A null entry does nothing, so the window also works without a
// device (start-up before the device, tests).
#pragma once
#include "core/tempData.h"

struct SDL_Window;

struct WindowDeviceOps {
  bool (*resize)(int width, int height, bool fullscreen, bool force);
  bool (*begin_scene)(); // also sets counter-clockwise culling
  void (*end_scene)();
  void (*present)();
  void (*draw_splash)();  // one splash picture on the back buffer
  bool (*grab_scene)();   // back buffer into the splash background
  void (*device_size)(int* width, int* height);
};
extern WindowDeviceOps window_device_ops;
// Tops up the playing music streams while a long operation shows the splash
// and keeps the update steps from running (the sound layer, installed with
// it by start-up). Null: nothing.
extern void (*splash_feed_sound_fn)();

extern TempString<256> splash_text; // message of the splash screen
extern float splash_progress;       // 0..1; negative hides the bar

constexpr const char* MAIN_WINDOW_TITLE = "Runeholm 0.26 DEMO";

// Starts SDL's video (the window system); false when that fails, and the
// caller ends the process with code 0.
bool register_main_window_class();
// Creates the window for `isFullscreen`, `app_screen_wd` x `app_screen_ht`
// (0: desktop size full screen, a maximised window otherwise) and gives the
// device size: the settings' size, or the client size in windowed mode.
// A size larger than the
// display offers is first clamped (clamp_screen_size_to_display).
SDL_Window* create_main_window(int& device_wd, int& device_ht);
// Limits `app_screen_wd` x `app_screen_ht` to the largest size display 0
// gives (its biggest mode in full screen, its bounds for a window) and logs
// the change. Nothing changes when the display does not report a size.
void clamp_screen_size_to_display();
SDL_Window* get_main_window();
void destroy_main_window(); // shutdown and tests

// Drains the SDL event queue: the window's own events, input events, and
// SDL_QUIT, which sets `quit_requested`. Then the mouse-over state and the
// cursor confinement and visibility are brought up to date.
void process_window_messages();

void set_fullscreen(bool full);
void set_window_pos(int x, int y, int width, int height); // client rectangle
void clip_cursor_to_window(bool confine);

// Copies `text` (null = empty; 256 characters or more is a fatal assertion)
// and `progress`, then draws one splash frame at once and presents it.
void show_splash(const char* text, float progress);
// Copies the back buffer into the scene image and makes it the splash
// background (world generation and the warp before long operations).
void grab_scene_as_splash();
