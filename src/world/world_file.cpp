// World files ("w%03d"): writing and reading one world with its sky,
// camera, clock and game objects (see saved_games.h).
//
// Loading reads the whole file first: the world-data block into its staging
// image, the sky, camera and clock into a local state, the game-object block
// (which runs to the end of the file) into memory. Only then does the live
// world change, and a failure of the game-object block (the module's load,
// which can only run against the live objects) puts the previous grids, sky,
// camera and clock back and leaves no game objects.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "core/log.h"
#include "host/gameobj_api.h"
#include "world/heightmap.h"
#include "world/hm_update.h"
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

SavedWorldState read_world_state(InputStream& in) {
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
  return state;
}

SavedWorldState current_world_state() {
  SavedWorldState state = saved_world_state;
  if (saved_game_hooks.get_world_state) saved_game_hooks.get_world_state(state);
  return state;
}

void apply_world_state(const SavedWorldState& state) {
  saved_world_state = state;
  if (saved_game_hooks.set_world_state) saved_game_hooks.set_world_state(state);
}

// The rest of the file: the game-object block, which runs to the end.
std::vector<uint8_t> read_to_end(FileInputStream& in) {
  std::vector<uint8_t> bytes;
  uint8_t chunk[16384];
  for (int n; (n = in.readSome(chunk, sizeof chunk)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
  if (ferror(in.file)) throw InputStream::Exception("error reading file", in.tell());
  return bytes;
}

// The game-object block held in memory, read as the file it came from:
// positions are file positions and failures are the file reader's ("error
// reading file" at the end of what was there, as a short file gives).
class ObjectBlockStream : public InputStream {
public:
  ObjectBlockStream(const std::vector<uint8_t>& bytes, int file_offset)
      : data(bytes.data()), size((int)bytes.size()), base(file_offset) {}

  int readSome(void* buffer, int count) override {
    int n = count <= 0 || pos >= size ? 0 : std::min(count, size - pos);
    if (n) memcpy(buffer, data + pos, (size_t)n);
    pos += n;
    return n;
  }
  void read(void* buffer, int count) override {
    if (count < 0) fail("negative size in read()", -1);
    if (readSome(buffer, count) != count) fail("error reading file", tell());
  }
  int tell() override { return base + pos; }
  void seekTo(int position) override { move_to((long long)position - base); }
  void seek(int offset) override { move_to((long long)pos + offset); }
  void seekToEnd(int offset) override { move_to((long long)size + offset); }

private:
  const uint8_t* data;
  int size, base, pos = 0;

  // Before the block is the part of the file already read: out of reach.
  void move_to(long long p) {
    if (p < 0 || p > INT_MAX - base) fail("file seek error", tell());
    pos = (int)p;
  }
};

} // namespace

void write_world_file(OutputStream& out) {
  SavedWorldState state = current_world_state();
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
  SavedWorldState state = read_world_state(in);
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

WorldLoad load_world_file(const char* path) {
  debug("loading world from %s", path);
  FileInputStream in;
  if (!in.open(path, "rb")) {
    if (errno == ENOENT) return WorldLoad::missing;
    // It exists but cannot be read: not a world to generate anew.
    debug("SAVE: can't open world file %s: %s", path, strerror(errno));
    show("Error loading the world:\n%s", "Can't open input file");
    return WorldLoad::failed;
  }
  // Everything the file holds is read and checked first; the live world
  // changes only from the game-object block on (the module's load works on
  // live objects), and everything else is put back if that block fails.
  bool swapped = false, failed = true;
  SavedWorldState previous;
  try {
    struct stat st;
    if (fstat(fileno(in.file), &st) == 0 && st.st_size < MIN_WORLD_FILE_SIZE)
      throw InputStream::Exception("world file is too short", (int)st.st_size);
    // Stream positions are 32-bit; the whole file is held while it is checked.
    if (fstat(fileno(in.file), &st) == 0 && st.st_size > INT_MAX)
      throw InputStream::Exception("world file is too large", INT_MAX);
    if (in.readUInt() != SAVED_GAME_VERSION) throw InputStream::Exception("Unsupported saved game version", in.tell());
    HeightmapData::readWorldData(in);
    SavedWorldState state = read_world_state(in);
    int block_offset = in.tell();
    std::vector<uint8_t> block = read_to_end(in);
    in.close();

    remove_objects();
    if (world_hooks.reset_common_fx) world_hooks.reset_common_fx();
    previous = current_world_state();
    HeightmapData::swapWorldData();
    swapped = true;
    apply_world_state(state);
    ObjectBlockStream objects(block, block_offset);
    if (gameobj_api.load_gameobjs) gameobj_api.load_gameobjs(objects);
    failed = false;
  } catch (const StreamIOException& e) {
    TempString<700> msg;
    msg.format("Error loading the world:\n%s (at %X)", e.message, (unsigned)e.position);
    set_error_message(msg);
  } catch (const SquirrelError& e) {
    show("Error loading the world:\n%s", e.what());
  }
  if (failed) {
    debug("SAVE: world file %s kept as it is; the previous world stays", path);
    if (swapped) {
      // Whatever the module loaded goes; the previous grids, sky, camera and
      // clock come back.
      remove_objects();
      HeightmapData::swapWorldData();
      apply_world_state(previous);
    }
    return WorldLoad::failed;
  }
  HeightmapData::stopSounds();
  memset(HeightmapData::land_sound, 0, sizeof(HeightmapData::land_sound));
  local_player = gameobj_api.first_player ? gameobj_api.first_player() : nullptr;
  if (world_hooks.reset_terrain_renderer) world_hooks.reset_terrain_renderer();
  if (world_hooks.reset_frame_time) world_hooks.reset_frame_time();
  return WorldLoad::loaded;
}

bool load_world(const char* path) { return load_world_file(path) == WorldLoad::loaded; }

WorldLoad load_slot_world(int index) {
  if (index < 0 || cur_game_slot < 0) return WorldLoad::missing;
  if (index >= MAX_SAVED_WORLDS) {
    TempString<100> text;
    text.format("world index %d is out of range (0 to %d)", index, MAX_SAVED_WORLDS - 1);
    show("Error loading the world:\n%s", text);
    return WorldLoad::failed;
  }
  recover_saved_game(cur_game_slot);
  TempString<16> name;
  name.format("w%03d", index);
  return load_world_file(get_saved_game_path(cur_game_slot, name));
}

bool load_world(int index) { return load_slot_world(index) == WorldLoad::loaded; }
