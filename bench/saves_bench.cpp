// Saving and loading one world file (target: under 30 ms each): the whole
// crash-safe path (temporary file, flush, fsync, rename, folder sync) and
// the read, on a generated world; plus the same save without the sync, to
// show what the disk's flush costs on the machine at hand. A whole game
// (info, universe and the entered world's file, committed through the
// journal) is saved and loaded the way the game's menus do it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/platform.h"
#include "core/game_rnd.h"
#include "core/stream.h"
#include "script/sqbind.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/safe_file.h"
#include "world/saved_games.h"
#include "world/universe.h"

namespace {

std::string folder;

void setup_world() {
  static bool done = false;
  if (done) return;
  done = true;
  char tmpl[] = "/tmp/rh_saves_bench_XXXXXX";
  folder = mkdtemp(tmpl);
  atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  });
  setenv("XDG_DATA_HOME", folder.c_str(), 1);
  setenv("RUNEHOLM_HEADLESS", "1", 0);
  init_time_base();
  allocate_heightmap_grids();
  HeightmapData::reset();
  game_rnd_seed = 77;
  reseed_noise();
  for (int i = 0; i < HMAP_CELLS; i++) {
    HeightmapData::hmap[i] = (float)((i * 7919) % 997) * 0.01f;
    HeightmapData::target_hmap[i] = HeightmapData::hmap[i];
    HeightmapData::waterCells()[i].depth = (i % 9 == 0) ? 0.4f : 0.0f;
  }
}

void BM_SaveWorldCrashSafe(benchmark::State& state) {
  setup_world();
  std::string path = folder + "/w000";
  for (auto _ : state) {
    if (!save_world(path.c_str())) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveWorldCrashSafe)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveWorldWithoutSync(benchmark::State& state) {
  setup_world();
  std::string path = folder + "/w001";
  for (auto _ : state) {
    FileOutputStream out(path.c_str(), "wb");
    write_world_file(out);
    if (!out.close()) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveWorldWithoutSync)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadWorld(benchmark::State& state) {
  setup_world();
  std::string path = folder + "/w002";
  if (!save_world(path.c_str())) state.SkipWithError("save failed");
  for (auto _ : state) {
    if (!load_world(path.c_str())) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_LoadWorld)->Unit(benchmark::kMillisecond)->UseRealTime();

// A game of ten worlds with world 0 entered, active in slot 0.
void setup_game() {
  setup_world();
  static HSQUIRRELVM vm = nullptr;
  if (vm) return;
  vm = sqbind::open_vm(1024);
  bind_universe(vm);
  const char* make =
      "local w = []; for (local i = 0; i < 10; i++) w.append({ name = \"World \" + i, seed = i * 7 });"
      "return { worlds = w, enteredWorld = 0, resources = { shard = 3 } };";
  sq_compilebuffer(vm, make, (SQInteger)strlen(make), "uni", SQTrue);
  sq_pushroottable(vm);
  sq_call(vm, 1, SQTrue, SQTrue);
  universe = SqObject::fromStack(vm, -1);
  sq_pop(vm, 2);
  sq_newtable(vm);
  sq_pushstring(vm, "name", -1);
  sq_pushstring(vm, "bench", -1);
  sq_newslot(vm, -3, SQFalse);
  cur_game_info = SqObject::fromStack(vm, -1);
  sq_poptop(vm);
  fetch_universe_data();
  cur_game_slot = 0;
}

void BM_SaveGame(benchmark::State& state) {
  setup_game();
  for (auto _ : state) {
    if (!save_game()) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveGame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadGame(benchmark::State& state) {
  setup_game();
  if (!save_game()) state.SkipWithError("save failed");
  for (auto _ : state) {
    if (!load_saved_game(0)) state.SkipWithError("load failed");
  }
}
BENCHMARK(BM_LoadGame)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
