// The text log with its rotation, fatal errors, the message box, the visual
// log and the on-screen error message. Drawing lives in render/log_draw.cpp.
//
// Invariants: the log file is either null or open for the current run; the
// error message array is empty (no message) or holds one NUL-terminated text;
// the visual log holds at most 100 lines.
#include "core/log.h"

#include <SDL.h>
#include <locale.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/platform.h"
#include "core/shutdown.h"
#include "core/dynArray.h"

int num_debug_log_files = 5;

static FILE* log_file;

static const char* window_title = "Runeholm 0.26 DEMO";

// {===== Text log

// Shifts log.txt -> log01.txt -> ... and opens a fresh log.txt. Every file
// operation here ignores its errors: logging never fails the caller.
static void open_debug_log() {
  int n = num_debug_log_files;
  char name[32];
  if (n > 1) {
    snprintf(name, sizeof name, "log%02d.txt", n - 1);
    remove(get_appdata_folder_path(name));
    for (int i = n - 1; i >= 2; i--) {
      char from[32];
      snprintf(from, sizeof from, "log%02d.txt", i - 1);
      snprintf(name, sizeof name, "log%02d.txt", i);
      rename(get_appdata_folder_path(from), get_appdata_folder_path(name));
    }
    rename(get_appdata_folder_path("log.txt"), get_appdata_folder_path("log01.txt"));
  }
  make_folders(get_appdata_folder_path(""));
  log_file = fopen(get_appdata_folder_path("log.txt"), "w");
}

void vdebug(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  vprintf(format, args);
  if (!log_file) open_debug_log();
  if (log_file) vfprintf(log_file, format, copy);
  va_end(copy);
}

static void flush_debug_log() {
  fflush(stdout);
  if (log_file) fflush(log_file);
}

void debug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vdebug(format, args);
  va_end(args);
  fputc('\n', stdout);
  if (log_file) fputc('\n', log_file);
  flush_debug_log();
}

void debug_(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vdebug(format, args);
  va_end(args);
}

void log_start_header() {
  char text[200];
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  locale_t c = newlocale(LC_ALL_MASK, "C", (locale_t)0);
  size_t n = c ? strftime_l(text, sizeof text, "Log started %x %X in v0.26 DEMO", &local, c)
               : strftime(text, sizeof text, "Log started %x %X in v0.26 DEMO", &local);
  if (c) freelocale(c);
  if (n == 0) snprintf(text, sizeof text, "Log started in v0.26 DEMO");
  debug("%s", text);
}

void close_debug_log() {
  if (log_file) fclose(log_file);
  log_file = nullptr;
}

// {===== Fatal errors and the message box

// Message boxes need a window system: none in tests (RUNEHOLM_HEADLESS=1),
// without a display, or with SDL's windowless video drivers.
static bool can_show_message_box() {
  const char* headless = getenv("RUNEHOLM_HEADLESS");
  if (headless && strcmp(headless, "1") == 0) return false;
  const char* driver = getenv("SDL_VIDEODRIVER");
  if (driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0)) return false;
  const char* x11 = getenv("DISPLAY");
  const char* wayland = getenv("WAYLAND_DISPLAY");
  return (x11 && x11[0]) || (wayland && wayland[0]);
}

void error_message(const char* text) {
  if (!text) text = "";
  debug("ERROR: %s", text);
  char caption[256];
  snprintf(caption, sizeof caption, "%s - FATAL ERROR", window_title);
  if (!can_show_message_box() ||
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, nullptr) != 0) {
    fprintf(stderr, "%s: %s\n", caption, text);
    fflush(stderr);
  }
}

static bool in_fatal;

void fatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fputs("\n\n", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
  fflush(stdout);
  fflush(stderr);
  if (log_file) fflush(log_file);

  // A failure while reporting or shutting down must not start over: the
  // first report is already out, so leave at once.
  if (in_fatal) {
    if (log_file) fflush(log_file);
    _exit(100);
  }
  in_fatal = true;

  char text[4096];
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  error_message(text);
  shutdown_systems();
  flush_debug_log();
  exit(100);
}

void quit_game(int code) {
  shutdown_systems();
  flush_debug_log();
  exit(code);
}

void assert_failed(const char* file, int line, const char* expr) {
  fatal("%s(%d): failed ASSERT(%s)", file, line, expr);
}

// {===== Visual log

struct VisualLogLine {
  char text[128];
};

static DynArray<VisualLogLine> visual_lines;
static const int max_visual_lines = 100;

void visual_log(const char* format, ...) {
  VisualLogLine line;
  va_list args;
  va_start(args, format);
  vsnprintf(line.text, sizeof line.text, format, args); // longer text is cut at 127
  va_end(args);
  visual_lines.push(line);
  if (visual_lines.num > max_visual_lines) visual_lines.remove(0, visual_lines.num - max_visual_lines);
}

void clear_visual_log() { visual_lines.clear(); }
int visual_log_count() { return visual_lines.num; }
const char* visual_log_line(int index) {
  return index >= 0 && index < visual_lines.num ? visual_lines[index].text : "";
}

// {===== On-screen error message

static DynArray<char> error_text;

void set_error_message(const char* text) {
  if (!text || !text[0]) {
    error_text.clear();
    return;
  }
  error_text.resize(0);
  error_text.append((int)strlen(text) + 1, text);
  debug("ERROR MESSAGE SET: %s", text);
}

void append_error_message(const char* text, int length) {
  if (!text || length == 0) return;
  if (length < 0) length = (int)strlen(text);
  if (error_text.num == 0) {
    error_text.push(0);
  } else {
    error_text.last() = '\n';
    error_text.push(0);
  }
  error_text.insert(error_text.num - 1, length, text);
}

bool has_error_message() { return error_text.num > 0; }
const char* get_error_message() { return error_text.num > 0 ? error_text.data : ""; }
