// Saved games: numbered slots under the user's data folder, each holding
// the game information ("info"), the universe ("uni") and one file per
// visited world ("w000" to "w999"); entering, resuming and leaving worlds;
// the script functions "save_game" and "leave_world".
//
// File formats (all little-endian):
//   info  magic 0x13110400, version 0x02092900, cur_game_info (plain script data)
//   uni   version, universe (plain script data)
//   w%03d version, the world-data block, sun direction (4 floats), sky value
//         (float), sky name (short string), three camera floats, world_time
//         (int32), the game-object module's block
//
// Saving is crash-safe (safe_file.h): a game's files are replaced together
// or not at all. Every failure is shown with set_error_message and reported
// by the result; nothing throws out of these functions.
#pragma once
#include <cstdint>

#include "core/math_types.h"
#include "core/tempData.h"

constexpr uint32_t SAVED_GAME_MAGIC = 0x13110400;
constexpr uint32_t SAVED_GAME_VERSION = 0x02092900;
constexpr int MAX_SAVED_WORLDS = 1000;

// The parts of a world file that belong to the sky, the camera and the game
// clock; stored as opaque values.
struct SavedWorldState {
  Vec4f sun_dir = {0.5f, 0.7f, 0.3f, 0};
  float sky_value = 0;
  TempString<256> sky_name = "normal";
  float camera[3] = {0, 0, 0};
  int world_time = 0;
};
// The state saved when no hook reads it, and the last state loaded when no
// hook takes it (tools and tests).
extern SavedWorldState saved_world_state;

// Entries into subsystems built after the saved games (sky, camera, modes);
// null entries fall back to saved_world_state or do nothing.
struct SavedGameHooks {
  void (*get_world_state)(SavedWorldState& state);
  void (*set_world_state)(const SavedWorldState& state);
  void (*set_camera)(const float camera[3]);
  void (*set_play_mode)();
  void (*set_universe_mode)();
  void (*reset_fly_control)();
};
extern SavedGameHooks saved_game_hooks;

// {===== Slots

PathString get_saved_games_folder();
// "%s/%d/%s": saves folder, slot, file name.
PathString get_saved_game_path(int slot, const char* file);
// The name shown for a slot: "" for a negative or empty slot or a read
// error, "? ? ?" (unsupported) for a wrong magic; another version lists its
// name with `unsupported` set.
TempString<260> get_saved_game_name(int slot, bool& unsupported);
bool load_saved_game(int slot);
bool save_game();
bool erase_saved_game(int slot);
// Finishes a save that a crash interrupted and removes its leftovers.
void recover_saved_game(int slot);

// {===== Worlds

bool save_world(const char* path);
// save_world's work without the final rename: "<path>.tmp" is complete and
// synced on success (a saved game commits it with its other files).
bool save_world_uncommitted(const char* path);
// How a world load ended: `missing` (no file, nothing shown: a world never
// visited) is the only failure after which a world may be generated and
// saved in its place; after `failed` the error is shown and the file must be
// kept as it is.
enum class WorldLoad { loaded, missing, failed };

// Reads the whole file and verifies everything but the game-object block
// before any state changes; a failure leaves the grids, sky, camera and
// clock as they were (the game objects are removed, see world_file.cpp).
WorldLoad load_world_file(const char* path);
// World `index` of the active slot: `missing` for index < 0, no active slot
// or no file; `failed` (with the error shown) for an index above the last
// world file name.
WorldLoad load_slot_world(int index);
// load_world_file(path) == loaded; false without any message when the file
// does not exist.
bool load_world(const char* path);
// World `index` of the active slot; false for index < 0 or no active slot.
bool load_world(int index);
// Save, simulate 60 s without the player, save, back to the universe view.
void leave_world();

// The universe view: opening it resumes into the world recorded as entered;
// each of its updates runs the module's menu and enters the picked world.
// A world whose file exists but does not load is never entered (nor
// generated and saved over its file): the error is shown, the universe
// records no entered world and the view stays; these then return false.
bool resume_into_world();
bool enter_world();
bool update_universe_view(float dt);

// The world file's writer without the temporary-file handling (tools,
// benchmarks); throws OutputStream::Exception.
class OutputStream;
class InputStream;
void write_world_file(OutputStream& out);
// The reader; throws InputStream::Exception or SquirrelError.
void read_world_file(InputStream& in);
