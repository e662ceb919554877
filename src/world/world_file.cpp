// World files ("w%03d"): writing and reading one world with its sky,
// camera, clock and game objects (see saved_games.h).
//
// A failed read leaves no game objects (they are removed again, whatever
// the module loaded before the failure), so that the next load or a
// generation starts from a clean state; the grids change only when the
// whole world-data block was read.
#include <sys/stat.h>

#include "app/frame_loop.h"
#include "app/log.h"
#include "host/gameobj_api.h"
#include "world/safe_file.h"
#include "world/saved_games.h"
#include "world/universe.h"
#include "world/world_data.h"
#include "world/world_hooks.h"

namespace {

// Version, world data, sun, sky value, an empty sky name, camera, clock.
constexpr long MIN_WORLD_FILE_SIZE = 4 + WORLD_DATA_SIZE + 16 + 4 + 1 + 12 + 4;

void show(const char* format, const char* text) {
  TempString<700> msg;
  msg.format(format, text);
  set_error_message(msg);
}

void remove_objects() {
  if (gameobj_api.remove_all_gameobj) gameobj_api.remove_all_gameobj();
  local_player = nullptr;
}

} // namespace

void write_world_file(OutputStream& out) {
  SavedWorldState state = saved_world_state;
  if (saved_game_hooks.get_world_state) saved_game_hooks.get_world_state(state);
  out.writeUInt(SAVED_GAME_VERSION);
  HeightmapData::saveWorldData(out);
  out.writeFloat(state.sun_dir.x);
  out.writeFloat(state.sun_dir.y);
  out.writeFloat(state.sun_dir.z);
  out.writeFloat(state.sun_dir.w);
  out.writeFloat(state.sky_value);
  out.writeString(state.sky_name);
  for (float c : state.camera) out.writeFloat(c);
  out.writeInt(state.world_time);
  debug("saving gameobjs");
  if (gameobj_api.save_gameobjs) gameobj_api.save_gameobjs(out);
}

void read_world_file(InputStream& in) {
  if (in.readUInt() != SAVED_GAME_VERSION) throw InputStream::Exception("Unsupported saved game version", in.tell());
  HeightmapData::loadWorldData(in);
  SavedWorldState state;
  state.sun_dir.x = in.readFloat();
  state.sun_dir.y = in.readFloat();
  state.sun_dir.z = in.readFloat();
  state.sun_dir.w = in.readFloat();
  state.sky_value = in.readFloat();
  char name[256];
  in.readString(name);
  state.sky_name = name;
  for (float& c : state.camera) c = in.readFloat();
  state.world_time = in.readInt();
  saved_world_state = state;
  if (saved_game_hooks.set_world_state) saved_game_hooks.set_world_state(state);
  if (gameobj_api.load_gameobjs) gameobj_api.load_gameobjs(in);
}

bool save_world_uncommitted(const char* path) {
  debug("saving world to %s", path);
  if (gameobj_api.delete_gameobj) gameobj_api.delete_gameobj(nullptr);
  FileOutputStream out;
  try {
    if (!safe_file_open(out, path)) throw OutputStream::Exception("Can't create output file", -1);
    write_world_file(out);
    safe_file_finish(out, path);
    return true;
  } catch (const StreamIOException& e) {
    show("Error saving the world:\n%s", e.message);
  } catch (const SquirrelError& e) {
    show("Error saving the world:\n%s", e.what());
  }
  safe_file_discard(out, path);
  return false;
}

bool save_world(const char* path) {
  set_error_message(nullptr);
  if (!save_world_uncommitted(path)) return false;
  if (!safe_file_replace(path)) {
    show("Error saving the world:\n%s", "Can't create output file");
    return false;
  }
  return true;
}

bool load_world(const char* path) {
  debug("loading world from %s", path);
  remove_objects();
  if (world_hooks.reset_common_fx) world_hooks.reset_common_fx();
  FileInputStream in;
  if (!in.open(path, "rb")) return false;
  try {
    struct stat st;
    if (fstat(fileno(in.file), &st) == 0 && st.st_size < MIN_WORLD_FILE_SIZE)
      throw InputStream::Exception("world file is too short", (int)st.st_size);
    read_world_file(in);
  } catch (const StreamIOException& e) {
    TempString<700> msg;
    msg.format("Error loading the world:\n%s (at %X)", e.message, (unsigned)e.position);
    set_error_message(msg);
    remove_objects();
    return false;
  } catch (const SquirrelError& e) {
    show("Error loading the world:\n%s", e.what());
    remove_objects();
    return false;
  }
  local_player = gameobj_api.first_player ? gameobj_api.first_player() : nullptr;
  if (world_hooks.reset_terrain_renderer) world_hooks.reset_terrain_renderer();
  reset_update_time();
  return true;
}

bool load_world(int index) {
  if (index < 0 || cur_game_slot < 0 || index >= MAX_SAVED_WORLDS) return false;
  recover_saved_game(cur_game_slot);
  TempString<16> name;
  name.format("w%03d", index);
  return load_world(get_saved_game_path(cur_game_slot, name));
}
