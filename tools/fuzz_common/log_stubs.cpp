// The log and error services for the fuzz targets, which link only the code
// they fuzz: text is formatted (so bad format arguments still surface) and
// dropped; the error message is kept so that callers can test it; a fatal
// error or failed assertion aborts, which the fuzzer reports.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

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
