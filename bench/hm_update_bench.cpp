// The height update with nothing moving and with the whole map moving, the
// renderer's morph preview, and saving and loading the world-data block
// through memory and through a file. "allocs" counts heap allocations per
// iteration.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/game_rnd.h"
#include "core/stream.h"
#include "world/heightmap.h"
#include "world/hm_update.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/world_data.h"

using namespace HeightmapData;

#include "alloc_count.h"

static std::string data_dir;

static void prepare_world() {
  static bool done = false;
  if (done) return;
  done = true;
  setenv("RUNEHOLM_HEADLESS", "1", 0);
  char tmpl[] = "/tmp/rh_hm_bench_XXXXXX";
  if (mkdtemp(tmpl)) setenv("XDG_DATA_HOME", tmpl, 1);
  data_dir = tmpl;
  allocate_heightmap_grids();
  reset();
  game_rnd_seed = 7;
  reseed_noise();
  addSimplexNoise(0, 30, 4, 5, 0.5f);
  for (int i = 0; i < HMAP_CELLS; i++) {
    target_hmap[i] = hmap[i];
    waterCells()[i].depth = hmap[i] < 10.0f ? 10.0f - hmap[i] : 0.0f;
  }
}

static void BM_UpdateHmapSettled(benchmark::State& state) {
  prepare_world();
  memcpy(target_hmap, hmap, HMAP_CELLS * sizeof(float));
  long allocs = 0;
  for (auto _ : state) {
    long before = alloc_count.load(std::memory_order_relaxed);
    updateHmapAround(0.05f, 128, 128);
    allocs += alloc_count.load(std::memory_order_relaxed) - before;
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = (double)allocs / (double)state.iterations();
}
BENCHMARK(BM_UpdateHmapSettled)->Unit(benchmark::kMicrosecond);

// Every cell far from its target (a far target keeps it moving for the
// whole run: each step moves 1 % of the distance plus 0.05).
static void BM_UpdateHmapAllMoving(benchmark::State& state) {
  prepare_world();
  std::vector<float> start(hmap, hmap + HMAP_CELLS);
  for (int i = 0; i < HMAP_CELLS; i++) target_hmap[i] = hmap[i] + ((i & 1) ? 1e6f : -1e6f);
  long allocs = 0;
  for (auto _ : state) {
    long before = alloc_count.load(std::memory_order_relaxed);
    updateHmapAround(0.05f, 128, 128);
    allocs += alloc_count.load(std::memory_order_relaxed) - before;
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = (double)allocs / (double)state.iterations();
  memcpy(hmap, start.data(), HMAP_CELLS * sizeof(float));
  memcpy(target_hmap, hmap, HMAP_CELLS * sizeof(float));
}
BENCHMARK(BM_UpdateHmapAllMoving)->Unit(benchmark::kMicrosecond);

static void BM_MorphHmap(benchmark::State& state) {
  prepare_world();
  static float out[HMAP_CELLS];
  for (int i = 0; i < HMAP_CELLS; i++) target_hmap[i] = hmap[i] + 3.0f;
  for (auto _ : state) {
    morphHmap(0.05f, out);
    benchmark::ClobberMemory();
  }
  memcpy(target_hmap, hmap, HMAP_CELLS * sizeof(float));
}
BENCHMARK(BM_MorphHmap)->Unit(benchmark::kMicrosecond);

static void BM_SaveWorldDataMemory(benchmark::State& state) {
  prepare_world();
  MemoryOutputStream out;
  saveWorldData(out); // grow once; later iterations rewrite in place
  for (auto _ : state) {
    out.seekTo(0);
    saveWorldData(out);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_SaveWorldDataMemory)->Unit(benchmark::kMillisecond);

static void BM_LoadWorldDataMemory(benchmark::State& state) {
  prepare_world();
  MemoryOutputStream out;
  saveWorldData(out);
  for (auto _ : state) {
    MemoryInputStream in(out.data(), out.size());
    loadWorldData(in);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LoadWorldDataMemory)->Unit(benchmark::kMillisecond);

static void BM_SaveWorldDataFile(benchmark::State& state) {
  prepare_world();
  std::string path = data_dir + "/w000";
  for (auto _ : state) {
    FileOutputStream out(path.c_str());
    saveWorldData(out);
    out.close();
  }
}
BENCHMARK(BM_SaveWorldDataFile)->Unit(benchmark::kMillisecond);

static void BM_LoadWorldDataFile(benchmark::State& state) {
  prepare_world();
  std::string path = data_dir + "/w000";
  {
    FileOutputStream out(path.c_str());
    saveWorldData(out);
  }
  for (auto _ : state) {
    FileInputStream in(path.c_str());
    loadWorldData(in);
  }
  remove(path.c_str());
}
BENCHMARK(BM_LoadWorldDataFile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
