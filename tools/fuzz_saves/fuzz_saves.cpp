// libFuzzer target for the readers of saved games: the "info" file (slot
// list name and game load), the "uni" file and the world file ("w%03d",
// everything after the world-data block: sky, camera, clock and a
// game-object block read through the script-data reader). Corrupt input must
// end in the designed error message, never in a crash, a leak, a fatal
// stop or a changed VM stack; whatever loads must save and load again.
// Built with clang by scripts/fuzz-saves.sh, never by the main (GCC) build.
//
// Input: byte 0 selects the file (0 info, 1 uni, 2 world with the right
// version, 3 world with the version taken from the input); the rest is the
// file's content (for worlds: what follows the world-data block).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/log.h"
#include "core/stream.h"
#include "host/gameobj_api.h"
#include "script/scriptData.h"
#include "script/sqbind.h"
#include "world/heightmap.h"
#include "world/saved_games.h"
#include "world/universe.h"
#include "world/world_data.h"

namespace {

HSQUIRRELVM vm = nullptr;
std::string valid_info, valid_uni, world_path, world_copy;

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

void init() {
  char tmpl[] = "/tmp/rh_fuzz_saves_XXXXXX";
  if (!mkdtemp(tmpl)) abort();
  setenv("XDG_DATA_HOME", tmpl, 1);
  allocate_heightmap_grids();
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
  release_universe_data();
  cur_game_slot = -1;
  mkdir(get_saved_game_path(1, "").str, 0755);
}

// A broken expectation: the error message shown, then the fuzzer's report.
[[noreturn]] void fail(const char* what) {
  fprintf(stderr, "fuzz_saves: %s: %s\n", what, get_error_message());
  abort();
}

void check_stack(SQInteger top) {
  if (sq_gettop(vm) != top) abort();
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
  if (load_saved_game(1)) {
    if (universe.isNull() || cur_game_slot != 1) fail("a loaded game is not active");
    // A loaded game saves and loads again (only "info" and "uni": no world entered).
    set_entered_world(-1);
    if (!save_game()) fail("a loaded game does not save");
    if (!load_saved_game(1)) fail("a saved game does not load");
  } else if (cur_game_slot != -1 || !universe.isNull() || !cur_game_info.isNull()) {
    fail("a failed load left a game active");
  }
  release_universe_data();
  cur_game_slot = -1;
}

void fuzz_world(const uint8_t* data, size_t size, bool own_version) {
  // The file: version, the world-data block of the reference file, then the input.
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
  if (size && pwrite(fd, data, size, block_end) != (ssize_t)size) abort();
  close(fd);
  if (load_world(world_path.c_str())) {
    if (!save_world(world_copy.c_str())) fail("a loaded world does not save");
    if (!load_world(world_copy.c_str())) fail("a saved world does not load");
  }
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
