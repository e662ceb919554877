// libFuzzer target for the readers of saved games: the "info" file (slot
// list name and game load), the "uni" file and the world file ("w%03d":
// the world-data block, sky, camera, clock and a game-object block read
// through the script-data reader). Corrupt input must end in the designed
// error message, never in a crash, a leak, a fatal stop or a changed VM
// stack; a failed load changes nothing (the active game stays active, the
// world in memory keeps its grids, sky and clock); whatever loads must save
// and load again, and a loaded world must survive a fluid step. Built with
// clang by scripts/fuzz-saves.sh, never by the main (GCC) build.
//
// Input: byte 0 selects the file (bits 0-1: 0 info, 1 uni, 2 world with the
// right version, 3 world with the version taken from the next 4 bytes); the
// rest is the file's content. For worlds it is: a byte n, then n & 7
// patches of the world-data block (a 24-bit little-endian offset into the
// block, a length byte L, then L & 63 bytes written there over the block of
// a reference world), then what follows the block; with bit 3 of n set, a
// world that loads runs one fluid step.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <algorithm>

#include "core/log.h"
#include "core/stream.h"
#include "host/gameobj_api.h"
#include "script/scriptData.h"
#include "script/sqbind.h"
#include "world/heightmap.h"
#include "world/saved_games.h"
#include "world/universe.h"
#include "world/water_sim.h"
#include "world/world_data.h"

namespace {

HSQUIRRELVM vm = nullptr;
std::string valid_info, valid_uni, world_path, world_copy;
std::string reference_block; // the world-data block of the reference world file

const char* definitions =
    "class Unit { </ persistent = true /> hp = 10; function onLoaded() { hp++; } }\n"
    "function helper() { return 1; }\n"
    "function get_savegame_globals() { return { counter = 1 }; }\n";

void stand_in_load(InputStream& in) {
  load_script_data(in, vm);
  finish_loading_script_data(vm);
}
void stand_in_save(OutputStream& out) {
  SqObject globals = sqbind::root_table(vm);
  SQInteger top = sq_gettop(vm);
  sq_newtable(vm);
  sq_pushstring(vm, "counter", -1);
  sq_pushinteger(vm, 1);
  sq_newslot(vm, -3, SQFalse);
  SqObject table = SqObject::fromStack(vm, -1);
  sq_settop(vm, top);
  save_script_data(table, out);
  save_script_refs(out);
}

std::string read_all(const std::string& path) {
  std::string r;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) abort();
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) r.append(buf, n);
  fclose(f);
  return r;
}
void write_all(const std::string& path, const void* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size) fwrite(data, 1, size, f);
  fclose(f);
}

// A world with slopes, seas and a lava field, so that patches of its block
// reach every kind of cell the loaders and the fluid step handle.
void make_reference_world() {
  using namespace HeightmapData;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      int i = (z << 8) | x;
      hmap[i] = target_hmap[i] = (float)((x * 3 + z * 5) % 97) * 0.05f;
      Water& w = waterCells()[i];
      w.depth = x < 40 ? 0.6f : (x > 200 && z < 60 ? -0.4f : 0.0f);
      w.flow_x = (float)(z % 7) * 0.1f;
      surface[i].color = 0xFF808080u + (unsigned)i;
    }
  memcpy(tmpwCells(), waterCells(), HMAP_CELLS * sizeof(Water));
}

// The grids as a failed load must leave them: copied and compared whole
// (library calls, which the coverage tracing of a loop here would dwarf).
struct GridImage {
  std::string bytes;
  template <class F>
  void each(F&& f) {
    using namespace HeightmapData;
    f((void*)hmap, HMAP_CELLS * sizeof(float));
    f((void*)target_hmap, HMAP_CELLS * sizeof(float));
    f((void*)surface, HMAP_CELLS * sizeof(Surface));
    f((void*)waterCells(), HMAP_CELLS * sizeof(Water));
  }
  void take() {
    bytes.resize(WORLD_DATA_SIZE);
    size_t at = 0;
    each([&](void* p, size_t n) { memcpy(&bytes[at], p, n), at += n; });
  }
  bool same() {
    size_t at = 0;
    bool equal = true;
    each([&](void* p, size_t n) { equal = equal && memcmp(&bytes[at], p, n) == 0, at += n; });
    return equal;
  }
};
GridImage grids_before;

void init() {
  static char tmpl[] = "/tmp/rh_fuzz_saves_XXXXXX";
  if (!mkdtemp(tmpl)) abort();
  setenv("XDG_DATA_HOME", tmpl, 1);
  atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
  });
  allocate_heightmap_grids();
  make_reference_world();
  vm = sqbind::open_vm(1024);
  bind_universe(vm);
  sq_compilebuffer(vm, definitions, (SQInteger)strlen(definitions), "defs", SQTrue);
  sq_pushroottable(vm);
  sq_call(vm, 1, SQFalse, SQTrue);
  sq_pop(vm, 1);
  gameobj_api.load_gameobjs = stand_in_load;
  gameobj_api.save_gameobjs = stand_in_save;

  // A valid game in slot 0 with world 0 entered: the reference files.
  const char* make = "return { worlds = [{ name = \"A\" }], enteredWorld = 0, resources = { shard = 1 } };";
  sq_compilebuffer(vm, make, (SQInteger)strlen(make), "uni", SQTrue);
  sq_pushroottable(vm);
  sq_call(vm, 1, SQTrue, SQTrue);
  universe = SqObject::fromStack(vm, -1);
  sq_pop(vm, 2);
  sq_newtable(vm);
  sq_pushstring(vm, "name", -1);
  sq_pushstring(vm, "fuzz", -1);
  sq_newslot(vm, -3, SQFalse);
  cur_game_info = SqObject::fromStack(vm, -1);
  sq_poptop(vm);
  fetch_universe_data();
  cur_game_slot = 0;
  if (!save_game()) abort();
  valid_info = read_all(get_saved_game_path(0, "info").str);
  valid_uni = read_all(get_saved_game_path(0, "uni").str);
  world_path = get_saved_game_path(0, "w000").str;
  world_copy = get_saved_game_path(0, "w001").str;
  reference_block = read_all(world_path).substr(4, WORLD_DATA_SIZE);
  if (reference_block.size() != (size_t)WORLD_DATA_SIZE) abort();
  mkdir(get_saved_game_path(1, "").str, 0755);
  // Slot 0 stays the active game: a failed load of slot 1 must keep it.
}

// A broken expectation: the error message shown, then the fuzzer's report.
[[noreturn]] void fail(const char* what) {
  fprintf(stderr, "fuzz_saves: %s: %s\n", what, get_error_message());
  abort();
}

void check_stack(SQInteger top) {
  if (sq_gettop(vm) != top) abort();
}

void expect_game_0_active(const SqObject& active, const char* what) {
  if (cur_game_slot != 0 || !universe.sameAs(active) || worlds.isNull() || cur_game_info.isNull()) fail(what);
}

void fuzz_game(const uint8_t* data, size_t size, bool info) {
  std::string info_path = get_saved_game_path(1, "info").str;
  std::string uni_path = get_saved_game_path(1, "uni").str;
  if (info) {
    write_all(info_path, data, size);
    write_all(uni_path, valid_uni.data(), valid_uni.size());
    bool unsupported = false;
    get_saved_game_name(1, unsupported);
  } else {
    write_all(info_path, valid_info.data(), valid_info.size());
    write_all(uni_path, data, size);
  }
  SqObject active = universe;
  if (load_saved_game(1)) {
    if (universe.isNull() || cur_game_slot != 1) fail("a loaded game is not active");
    // A loaded game saves and loads again (only "info" and "uni": no world entered).
    set_entered_world(-1);
    if (!save_game()) fail("a loaded game does not save");
    if (!load_saved_game(1)) fail("a saved game does not load");
    if (!load_saved_game(0)) fail("the reference game does not load");
  } else {
    expect_game_0_active(active, "a failed load did not keep the active game");
  }
}

struct Patch {
  int offset, length;
};

void fuzz_world(const uint8_t* data, size_t size, bool own_version) {
  // The file: version, the reference world-data block with the input's
  // patches, then the rest of the input.
  int fd = open(world_path.c_str(), O_WRONLY);
  if (fd < 0) abort();
  const long block_end = 4 + WORLD_DATA_SIZE;
  if (ftruncate(fd, block_end) != 0) abort();
  uint32_t version = SAVED_GAME_VERSION;
  if (own_version && size >= 4) {
    memcpy(&version, data, 4);
    data += 4;
    size -= 4;
  }
  if (pwrite(fd, &version, 4, 0) != 4) abort();
  Patch patches[7];
  int count = 0;
  bool step = false;
  if (size >= 1) {
    int wanted = data[0] & 7;
    step = (data[0] & 8) != 0;
    data++;
    size--;
    while (count < wanted && size >= 4) {
      int offset = (int)((data[0] | data[1] << 8 | data[2] << 16) % WORLD_DATA_SIZE);
      int length = std::min<int>(data[3] & 63, WORLD_DATA_SIZE - offset);
      data += 4;
      size -= 4;
      length = std::min<int>(length, (int)size);
      if (pwrite(fd, data, length, 4 + offset) != length) abort();
      patches[count++] = {offset, length};
      data += length;
      size -= length;
    }
  }
  if (size && pwrite(fd, data, size, block_end) != (ssize_t)size) abort();
  close(fd);

  grids_before.take();
  SavedWorldState state = saved_world_state;
  if (load_world(world_path.c_str())) {
    if (!save_world(world_copy.c_str())) fail("a loaded world does not save");
    if (!load_world(world_copy.c_str())) fail("a saved world does not load");
    // What the block holds is what the fluid step works on (a step costs
    // about as much as twenty loads here, so the input asks for it).
    if (step) HeightmapData::simWater(0.05f);
  } else if (!grids_before.same() || saved_world_state.world_time != state.world_time ||
             strcmp(saved_world_state.sky_name, state.sky_name) != 0) {
    fail("a failed load changed the world");
  }

  // The reference block again for the next input.
  fd = open(world_path.c_str(), O_WRONLY);
  if (fd < 0) abort();
  for (int i = 0; i < count; i++)
    if (pwrite(fd, reference_block.data() + patches[i].offset, patches[i].length, 4 + patches[i].offset) !=
        patches[i].length)
      abort();
  close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 64 * 1024) return 0;
  static bool ready = false;
  if (!ready) {
    init();
    ready = true;
  }
  SQInteger top = sq_gettop(vm);
  set_error_message(nullptr);
  switch (data[0] & 3) {
  case 0: fuzz_game(data + 1, size - 1, true); break;
  case 1: fuzz_game(data + 1, size - 1, false); break;
  case 2: fuzz_world(data + 1, size - 1, false); break;
  case 3: fuzz_world(data + 1, size - 1, true); break;
  }
  check_stack(top);
  sq_collectgarbage(vm);
  return 0;
}
