// The few log and error services the scripting layer calls, for the fuzz
// target only: text is formatted (so bad format arguments still surface) and
// dropped; a fatal error or failed assertion aborts, which the fuzzer reports.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "app/log.h"

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

void set_error_message(const char*) {}
