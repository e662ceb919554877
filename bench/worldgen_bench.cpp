// World generation with the shipped world script: generate_world for every
// kind of world (CPU time; at least 200,000 erosion droplets each), and the
// whole-grid passes of the generation API that the script leans on (masks,
// bit maps, distance maps).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/log.h"
#include "core/platform.h"
#include "core/game_rnd.h"
#include "script/sqbind.h"
#include "world/bitMap.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"

namespace {

std::string source_data_dir() {
  std::string f = __FILE__;
  size_t p = f.rfind("/bench/");
  return f.substr(0, p) + "/data/";
}

bool set_up() {
  static bool done = false, ok = false;
  if (done) return ok;
  done = true;
  setenv("RUNEHOLM_HEADLESS", "1", 0);
  init_time_base();
  allocate_heightmap_grids();
  snprintf(app_path, sizeof app_path, "%s", source_data_dir().c_str());
  ok = init_world_gen_vm();
  return ok;
}

void BM_GenerateWorld(benchmark::State& state, const char* kind) {
  if (!set_up()) {
    state.SkipWithError("world script failed to load");
    return;
  }
  uint64_t seed = 1000;
  for (auto _ : state) {
    game_rnd_seed = seed++;
    generate_world(kind);
  }
  state.counters["droplets"] = HeightmapData::last_erosion_stats.droplets;
  state.counters["steps"] = (double)HeightmapData::last_erosion_stats.total_steps;
}
BENCHMARK_CAPTURE(BM_GenerateWorld, islands, "islands")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_GenerateWorld, volcanic, "volcanic")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_GenerateWorld, desert, "desert")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_GenerateWorld, snowy, "snowy")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);
BENCHMARK_CAPTURE(BM_GenerateWorld, main_menu, "main_menu")->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->Iterations(3);

BitMap& blob_map() {
  static BitMap bm;
  static bool made = false;
  if (!made) {
    made = true;
    game_rnd_seed = 42;
    reseed_noise();
    for (int z = 0; z < HMAP_SIZE; z++)
      for (int x = 0; x < HMAP_SIZE; x++)
        bm.set(x, z, tiled_fractal_noise2(3, nullptr, x / 64.0f, z / 64.0f, 4.0f, 0.5f) > 0.1f);
  }
  return bm;
}

void BM_FastSkeletonMap(benchmark::State& state) {
  static float out[HMAP_CELLS];
  BitMap& bm = blob_map();
  for (auto _ : state) fast_skeleton_map(bm, out);
}
BENCHMARK(BM_FastSkeletonMap)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_MakeSkeletonMap(benchmark::State& state) {
  static float out[HMAP_CELLS];
  BitMap& bm = blob_map();
  for (auto _ : state) make_skeleton_map(bm, 0.3f, out);
}
BENCHMARK(BM_MakeSkeletonMap)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_BitMapOps(benchmark::State& state) {
  static BitMap a, b;
  BitMap& bm = blob_map();
  for (auto _ : state) {
    bm.expand(a);
    a.erode(b);
    benchmark::DoNotOptimize(b.testMask(&bm, 6, 3, -2));
  }
}
BENCHMARK(BM_BitMapOps)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

void BM_FloodFillAndRandomFill(benchmark::State& state) {
  static BitMap a;
  BitMap& bm = blob_map();
  int start = bm.findPixel(true);
  game_rnd_seed = 1;
  for (auto _ : state) {
    bm.floodFillMask(start & 255, start >> 8, a);
    bm.randomFill(start & 255, start >> 8, 5000, a);
  }
}
BENCHMARK(BM_FloodFillAndRandomFill)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// Script-side whole-grid passes through the VM, including the per-cell
// callbacks the world kinds use (apply_water_mask with a function,
// repaint_land).
void run_script(benchmark::State& state, const char* code) {
  if (!set_up()) {
    state.SkipWithError("world script failed to load");
    return;
  }
  HSQUIRRELVM v = world_gen_vm.vm;
  for (auto _ : state) {
    SQInteger top = sq_gettop(v);
    if (SQ_FAILED(sq_compilebuffer(v, code, (SQInteger)strlen(code), "bench", SQTrue))) break;
    sq_pushroottable(v);
    sq_call(v, 1, SQFalse, SQTrue);
    sq_settop(v, top);
  }
}

void BM_ScriptSimplexMask(benchmark::State& state) {
  run_script(state, "HmapMask.fromSimplexNoise(1.0, 4, 4, null, 0.5);");
}
BENCHMARK(BM_ScriptSimplexMask)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_ScriptSlopeMask(benchmark::State& state) { run_script(state, "HmapMask.fromSlope();"); }
BENCHMARK(BM_ScriptSlopeMask)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_ScriptWaterCallback(benchmark::State& state) {
  run_script(state, "flood_to_level(0.0);");
}
BENCHMARK(BM_ScriptWaterCallback)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_ScriptRepaintLand(benchmark::State& state) {
  run_script(state, "repaint_land(function(x, z, c, t) { return [c, GT_SOIL]; });");
}
BENCHMARK(BM_ScriptRepaintLand)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
