// Stand-ins for what the script bindings reach beyond the code fuzzed (the log is
// tools/fuzz_common): the hook tables start empty, as before the game wires them, and the
// world script's entry points are never bound (the fuzz input is the only script).
#include "world/worldScript.h"
#include "world/world_hooks.h"

WorldHooks world_hooks;
Vec4f world_script_sun_dir;
TempString<64> world_script_sky_name;

void bind_world_script() {}
void unbind_world_script() {}
void world_script_reset_state() {}
void reload_world_scripts() {}
