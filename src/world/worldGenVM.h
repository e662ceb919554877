// The world-generation VM: a reloadable script VM holding "gen/main.nut",
// with the generator, mark and noise functions, the constants, the raster
// classes HmapMask, BitMap and IntMap, the functions that write masks back
// into the world, and the palette table of "gen/palettes.csv".
//
// The VM runs only inside the world script's entry points (main thread).
#pragma once
#include <squirrel.h>

#include <cstdint>

#include "core/math_types.h"
#include "script/sqVMReload.h"

class WorldGenVM : public SqReloadableVM {
public:
  // The reloadable VM's own functions, the math and colour helpers, the
  // world-generation API, the universe and module bindings.
  bool registerFunctions() override;
};

extern WorldGenVM world_gen_vm;
// Start position of the player in the world being generated ("set_player_pos").
extern Vec4f world_player_start_pos;
// Modification time of the palette file when it was last loaded.
extern int64_t world_palettes_file_time;

// Creates the VM (fatal "error creating world gen script VM" when that
// fails), loads and runs `script` (default "gen/main.nut"), binds the world
// script's entry points and loads the palettes. Script errors are shown as
// "Error in world gen script:\n%s"; false then. Installs the script's hot
// reload as the frame loop's once-a-second check (close removes it).
bool init_world_gen_vm(const char* script = "gen/main.nut");
void close_world_gen_vm();

// The generator data (the palettes): whether the file changed since loading,
// and reloading it (throws SquirrelError).
bool world_gen_data_changed();
void reload_world_gen_data();

// Registration pieces (also used by tests on a plain VM).
void register_world_gen_api(HSQUIRRELVM vm);   // global functions and constants
void register_world_gen_masks(HSQUIRRELVM vm); // HmapMask, BitMap, IntMap, mask application
// The BitMap's custom instance type (tag 100) of the script-data persistence.
void register_bitmap_persistence();
