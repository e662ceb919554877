// The main window over SDL2. Activation means "has the input focus and is not
// minimised"; the quit message is SDL_QUIT (or the window's close request);
// Alt+Enter toggles full screen and Alt+F4 closes, as the window procedure of
// the original platform did. The window is created with an OpenGL surface
// without depth (the back buffer never has one; the device layer owns the
// scene depth buffer).
#include "core/window.h"

#include <SDL2/SDL.h>

#include <cstring>

#include "core/app_globals.h"
#include "core/input.h"
#include "core/log.h"
#include "core/priority.h"

WindowDeviceOps window_device_ops;
void (*splash_feed_sound_fn)() = nullptr;
TempString<256> splash_text;
float splash_progress = -1.f;

namespace {

struct WindowState {
  SDL_Window* window;
  // Remembered when going full screen, for the way back.
  int saved_wd, saved_ht;
  int saved_x, saved_y;
  bool saved_pos;
  bool cursor_confined;
  bool cursor_hidden;
};

WindowState win;

} // namespace

SDL_Window* get_main_window() { return win.window; }

static void device_size(int& w, int& h) {
  w = h = 0;
  if (window_device_ops.device_size) window_device_ops.device_size(&w, &h);
  if ((w <= 0 || h <= 0) && win.window) SDL_GL_GetDrawableSize(win.window, &w, &h);
}

// The usable desktop area (work area), or the whole display.
static SDL_Rect work_area() {
  SDL_Rect r{0, 0, 0, 0};
  if (SDL_GetDisplayUsableBounds(0, &r) != 0 || r.w <= 0 || r.h <= 0) {
    if (SDL_GetDisplayBounds(0, &r) != 0) r = SDL_Rect{0, 0, 1024, 768};
  }
  return r;
}

// A client rectangle of the settings' size centred in the work area (offset
// = half the free space, halved toward zero).
static void centred_client_pos(int wd, int ht, int& x, int& y) {
  SDL_Rect r = work_area();
  x = r.x + (r.w - wd) / 2;
  y = r.y + (r.h - ht) / 2;
}

// The largest size display 0 can give: its biggest mode in full screen, its
// bounds for a window. False when the display does not say.
static bool display_limit(bool fullscreen, int& max_w, int& max_h) {
  max_w = max_h = 0;
  // The headless driver's display is a made-up 1024x768: tests and benchmarks
  // get the size they ask for up to a 4K screen.
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver && strcmp(driver, "offscreen") == 0) {
    max_w = 3840;
    max_h = 2160;
    return true;
  }
  if (fullscreen) {
    int n = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < n; i++) {
      SDL_DisplayMode m;
      if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
      if (m.w > max_w) max_w = m.w;
      if (m.h > max_h) max_h = m.h;
    }
  }
  if (max_w <= 0 || max_h <= 0) {
    SDL_Rect r;
    if (SDL_GetDisplayBounds(0, &r) != 0) return false;
    max_w = r.w;
    max_h = r.h;
  }
  return max_w > 0 && max_h > 0;
}

void clamp_screen_size_to_display() {
  int max_w, max_h;
  if (!display_limit(isFullscreen, max_w, max_h)) return;
  if (app_screen_wd <= max_w && app_screen_ht <= max_h) return;
  int w = app_screen_wd < max_w ? app_screen_wd : max_w;
  int h = app_screen_ht < max_h ? app_screen_ht : max_h;
  debug("WINDOW: the screen size %dx%d is more than the display offers (%dx%d); using %dx%d",
        app_screen_wd, app_screen_ht, max_w, max_h, w, h);
  app_screen_wd = w;
  app_screen_ht = h;
}

bool register_main_window_class() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

SDL_Window* create_main_window(int& device_wd, int& device_ht) {
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);

  // A size the display cannot give would fail the window or the device on
  // every start; the settings file keeps the value that was asked for.
  clamp_screen_size_to_display();
  Uint32 flags = SDL_WINDOW_OPENGL;
  int x, y, w, h;
  if (isFullscreen) {
    x = y = 0;
    w = app_screen_wd;
    h = app_screen_ht;
    SDL_DisplayMode desk;
    bool desktop_size = w <= 0 || h <= 0;
    if (desktop_size && SDL_GetDesktopDisplayMode(0, &desk) == 0) {
      w = desk.w;
      h = desk.h;
    }
    flags |= desktop_size ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_FULLSCREEN;
  } else {
    flags |= SDL_WINDOW_RESIZABLE;
    w = app_screen_wd > 0 ? app_screen_wd : 1024;
    h = app_screen_ht > 0 ? app_screen_ht : 768;
    centred_client_pos(w, h, x, y);
    if (app_screen_wd <= 0) {
      x = y = SDL_WINDOWPOS_UNDEFINED;
      flags |= SDL_WINDOW_MAXIMIZED;
    }
  }
  win = WindowState{};
  win.window = SDL_CreateWindow(MAIN_WINDOW_TITLE, x, y, w, h, flags);
  if (!win.window) {
    debug("WINDOW: can't create the main window: %s", SDL_GetError());
    return nullptr;
  }
  SDL_ShowWindow(win.window);

  device_wd = app_screen_wd;
  device_ht = app_screen_ht;
  if (!isFullscreen) {
    int cw = 0, ch = 0;
    SDL_GL_GetDrawableSize(win.window, &cw, &ch);
    if (device_wd <= 0) device_wd = cw;
    if (device_ht <= 0) device_ht = ch;
  }
  input_start(win.window);
  return win.window;
}

void destroy_main_window() {
  if (!win.window) return;
  input_start(nullptr);
  SDL_DestroyWindow(win.window);
  win = WindowState{};
}

void clip_cursor_to_window(bool confine) {
  if (win.window) SDL_SetWindowGrab(win.window, confine ? SDL_TRUE : SDL_FALSE);
  win.cursor_confined = confine;
}

// {===== Messages

static void on_activation(bool active) {
  if (active == isAppActive) return;
  isAppActive = active;
  // The drop to idle priority while inactive is skipped: an unprivileged
  // process could not come back from it.
  if (active) apply_process_priority();
  if (isFullscreen) clip_cursor_to_window(active);
}

static void on_window_event(const SDL_WindowEvent& e) {
  Uint32 flags = win.window ? SDL_GetWindowFlags(win.window) : 0;
  bool minimised = (flags & SDL_WINDOW_MINIMIZED) != 0;
  switch (e.event) {
  case SDL_WINDOWEVENT_SIZE_CHANGED:
    if (!minimised && !isFullscreen && window_device_ops.resize) {
      int w = 0, h = 0;
      SDL_GL_GetDrawableSize(win.window, &w, &h);
      window_device_ops.resize(w, h, false, false);
    }
    break;
  case SDL_WINDOWEVENT_FOCUS_GAINED: on_activation(!minimised); break;
  case SDL_WINDOWEVENT_FOCUS_LOST: on_activation(false); break;
  case SDL_WINDOWEVENT_MINIMIZED: on_activation(false); break;
  case SDL_WINDOWEVENT_RESTORED:
    on_activation((flags & SDL_WINDOW_INPUT_FOCUS) != 0);
    break;
  case SDL_WINDOWEVENT_CLOSE:
    isAppActive = false;
    quit_requested = true;
    break;
  default: break;
  }
}

// Confinement and visibility of the cursor, as the original did on every
// cursor message.
static void update_cursor() {
  bool confine = isAppActive && (shouldHideMouse || isFullscreen);
  if (confine != win.cursor_confined) clip_cursor_to_window(confine);
  bool hide = isAppActive && shouldHideMouse && (isMouseOver() || isFullscreen);
  if (hide != win.cursor_hidden) {
    SDL_ShowCursor(hide ? SDL_DISABLE : SDL_ENABLE);
    win.cursor_hidden = hide;
  }
}

void process_window_messages() {
  SDL_Event e;
  while (SDL_PollEvent(&e)) {
    switch (e.type) {
    case SDL_QUIT: quit_requested = true; break;
    case SDL_WINDOWEVENT:
      if (win.window && e.window.windowID == SDL_GetWindowID(win.window)) on_window_event(e.window);
      break;
    case SDL_KEYDOWN:
      if (e.key.keysym.mod & KMOD_ALT) {
        if (e.key.keysym.sym == SDLK_F4) { // Alt+F4 closes the window
          isAppActive = false;
          quit_requested = true;
          break;
        }
        if (e.key.keysym.sym == SDLK_RETURN || e.key.keysym.sym == SDLK_KP_ENTER) {
          if (!e.key.repeat) set_fullscreen(!isFullscreen);
          break;
        }
      }
      input_handle_sdl_event(e);
      break;
    default: input_handle_sdl_event(e); break;
    }
  }
  input_update_mouse_over(isFullscreen);
  update_cursor();
}

// {===== Window mode

void set_fullscreen(bool full) {
  if (!win.window) return;
  int tw = 0, th = 0;
  if (!isFullscreen) {
    SDL_GetWindowSize(win.window, &win.saved_wd, &win.saved_ht);
    SDL_GetWindowPosition(win.window, &win.saved_x, &win.saved_y);
    win.saved_pos = true;
  } else {
    tw = win.saved_wd;
    th = win.saved_ht;
    if (tw == 0 || th == 0) {
      tw = app_screen_wd;
      th = app_screen_ht;
    }
    if (tw == 0 || th == 0) {
      device_size(tw, th);
      tw /= 2;
      th /= 2;
    }
  }
  if (full) {
    tw = app_screen_wd;
    th = app_screen_ht;
  }
  if (window_device_ops.resize) {
    window_device_ops.resize(tw, th, full, true);
  } else {
    // No device yet: the window mode alone.
    isFullscreen = full;
    SDL_SetWindowFullscreen(win.window, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    if (!full && tw > 0 && th > 0) SDL_SetWindowSize(win.window, tw, th);
  }
  if (isFullscreen) {
    clip_cursor_to_window(true);
    return;
  }
  int x = 0, y = 0;
  if (win.saved_pos) {
    x = win.saved_x;
    y = win.saved_y;
  }
  if (app_screen_wd > 0) {
    int w, h;
    SDL_GetWindowSize(win.window, &w, &h);
    centred_client_pos(w, h, x, y);
  }
  SDL_SetWindowPosition(win.window, x, y);
  clip_cursor_to_window(false);
}

void set_window_pos(int x, int y, int width, int height) {
  if (!win.window) return;
  SDL_SetWindowPosition(win.window, x, y);
  SDL_SetWindowSize(win.window, width, height);
}

// {===== Splash

void show_splash(const char* text, float progress) {
  splash_text = text;
  splash_progress = progress;
  // The update steps wait while a long operation shows the splash.
  if (splash_feed_sound_fn) splash_feed_sound_fn();
  process_window_messages();
  if (!window_device_ops.begin_scene || !window_device_ops.begin_scene()) return;
  if (window_device_ops.draw_splash) window_device_ops.draw_splash();
  if (window_device_ops.end_scene) window_device_ops.end_scene();
  if (window_device_ops.present) window_device_ops.present();
}

void grab_scene_as_splash() {
  if (window_device_ops.grab_scene) window_device_ops.grab_scene();
}
