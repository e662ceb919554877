// The services the saved-game readers reach beyond their own files, for the
// fuzz target only: the log (formatted and dropped; the error message is
// kept so that callers can test it), fatal errors and failed assertions
// (abort, which the fuzzer reports), and no-op stand-ins for world
// generation, the world script, the world step and the land sounds.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/log.h"
#include "world/hm_update.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"

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

WorldHooks world_hooks;
WorldGenVM world_gen_vm;
bool WorldGenVM::registerFunctions() { return true; }

void generate_world(const char*) {}
void world_script_str_event(const char*) {}
void simulate_world(float) {}
void reset_update_time() {}
void HeightmapData::stopSounds() {}

// The world grids size their extra buffers by it.
int gfx_quality = 1;

// Durability is not what is fuzzed: syncing to the disk would make every
// successful round trip cost tens of milliseconds.
extern "C" int fsync(int) { return 0; }
