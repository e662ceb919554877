// The services the saved-game readers reach beyond their own files, for the
// fuzz target only: no-op stand-ins for world generation, the world script,
// the land movement and the land sounds (the log is tools/fuzz_common).
#include "world/hm_update.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"

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
// The noise tables the fluid step's lava stiffness reads are seeded from it.
uint64_t game_rnd_seed = 0;

// Durability is not what is fuzzed: syncing to the disk would make every
// successful round trip cost tens of milliseconds.
extern "C" int fsync(int) { return 0; }
