// Log and error reporting: the rotating text log, fatal errors, the assertion
// macro used by every container and file format, the on-screen visual log and
// the one on-screen error message. All exported for the game-object module.
#pragma once
#include <cstdarg>

extern int num_debug_log_files; // log files kept, the current one included (default 5)

// One log line (newline appended; stdout and the log file flushed).
void debug(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A piece of a line: no newline, no flush.
void debug_(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The common writer: stdout, then the log file (opened and rotated on first use).
void vdebug(const char* format, va_list args);
// Logs the first line of a run, "Log started %x %X in v0.26 DEMO", with the
// local date and time formatted in the "C" locale.
void log_start_header();
// Closes the log file; the next line rotates the logs and opens a fresh one.
// For tests and for the very end of the process.
void close_debug_log();

// Reports the error, shuts everything down in order and exits with code 100.
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Runs the ordered shutdown and ends the process with `code`.
[[noreturn]] void quit_game(int code);
// Logs "ERROR: %s" and shows a modal message box (stderr only when headless).
void error_message(const char* text);

// Adds one line (cut at 127 characters); the newest 100 lines are kept.
void visual_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void clear_visual_log();
void draw_visual_log();
int visual_log_count();
const char* visual_log_line(int index); // 0 = oldest

// Null or empty text clears the message; otherwise it is replaced and logged.
void set_error_message(const char* text);
// Appends `length` characters (negative: up to the NUL) on a new line.
void append_error_message(const char* text, int length);
bool has_error_message();
const char* get_error_message(); // "" when none is set
void draw_error_message();

// The one consistency check of the program: fails through fatal() with
// "%s(%d): failed ASSERT(%s)" (file, line, expression text).
[[noreturn]] void assert_failed(const char* file, int line, const char* expr);
#define ASSERT(expr) ((expr) ? (void)0 : assert_failed(__FILE__, __LINE__, #expr))
