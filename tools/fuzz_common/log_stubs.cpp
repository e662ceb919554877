// The log and error services for the fuzz targets, which link only the code
// they fuzz: text is formatted (so bad format arguments still surface) and
// dropped; the error message is kept so that callers can test it; a fatal
// error or failed assertion aborts, which the fuzzer reports.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"

void vdebug(const char* format, va_list args) {
  char buf[512];
  vsnprintf(buf, sizeof buf, format, args);
}

void debug(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vdebug(format, args);
  va_end(args);
}

void debug_(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vdebug(format, args);
  va_end(args);
}

void visual_log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vdebug(format, args);
  va_end(args);
}

void fatal(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
  fputc('\n', stderr);
  abort();
}

void assert_failed(const char* file, int line, const char* expr) { fatal("%s(%d): failed ASSERT(%s)", file, line, expr); }

static char error_text[4096];
void set_error_message(const char* text) { snprintf(error_text, sizeof error_text, "%s", text ? text : ""); }
bool has_error_message() { return error_text[0] != 0; }
const char* get_error_message() { return error_text; }
void append_error_message(const char* text, int length) {
  if (!text || length == 0) return;
  if (length < 0) length = (int)strlen(text);
  size_t at = strlen(error_text);
  if (at && at + 1 < sizeof error_text) error_text[at++] = '\n';
  snprintf(error_text + at, sizeof error_text - at, "%.*s", length, text);
}
