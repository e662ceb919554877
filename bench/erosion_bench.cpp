// World-generation throughput: droplet erosion in droplet-steps per second
// on a generated world (with colour transport, with and without reactions),
// and the time of each terrain generator's pass over the full grid. The
// "allocs" counter counts heap allocations per pass (whole-grid passes must
// not allocate).
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/game_rnd.h"
#include "core/ramp.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"

using namespace HeightmapData;

#include "alloc_count.h"

static void ensure_grids() {
  static bool done = false;
  if (done) return;
  done = true;
  setenv("RUNEHOLM_HEADLESS", "1", 0);
  char tmpl[] = "/tmp/rh_world_bench_XXXXXX";
  if (mkdtemp(tmpl)) setenv("XDG_DATA_HOME", tmpl, 1);
  allocate_heightmap_grids();
}

static ColorRamp make_ramp() {
  ColorRamp r;
  for (int i = 0; i < 257; i++) r.entry[i] = Vec4f{i / 256.0f, 0.6f - i / 512.0f, 0.3f, 1.0f};
  return r;
}

// A noise world as a world script makes one: painted fast noise, simplex
// noise, hills, faults and a few craters.
static void generate_world(uint64_t seed) {
  ensure_grids();
  reset();
  game_rnd_seed = seed;
  reseed_noise();
  static ColorRamp ramp = make_ramp();
  addFastNoise(0, 25, &ramp, GT_SOIL, 255, 0.55f);
  addSimplexNoise(0, 30, 4, 5, 0.5f);
  addVoronoiHills(8, 0, 12, 0.9f);
  genVoronoiFaults(4, 0, 8, 0.3f, 2, 3, 0.5f);
  for (int i = 0; i < 4; i++)
    genCrater(Point2{game_rnd_hmfrnd(), game_rnd_hmfrnd()}, 6 + 10 * game_rnd_frnd(), 1, hmap);
}

static void run_erosion(benchmark::State& state, bool reactions) {
  const unsigned droplets = 20000;
  uint64_t steps = 0;
  uint64_t seed = 1;
  for (auto _ : state) {
    state.PauseTiming();
    generate_world(seed++);
    ErosionParams p;
    if (reactions) {
      p.addReaction(Vec4f{1, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 0.5f);
      p.addReaction(Vec4f{0, 1, 1, 0}, Vec4f{0.2f, 0.2f, 0.6f, 0}, 0.2f);
    }
    state.ResumeTiming();
    genDropletErosion(droplets, p);
    steps += last_erosion_stats.total_steps;
  }
  state.counters["steps/s"] = benchmark::Counter((double)steps, benchmark::Counter::kIsRate);
  state.counters["steps/droplet"] = (double)steps / (double)(droplets * state.iterations());
}

static void BM_DropletErosion(benchmark::State& state) { run_erosion(state, false); }
static void BM_DropletErosionReactions(benchmark::State& state) { run_erosion(state, true); }
BENCHMARK(BM_DropletErosion)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_DropletErosionReactions)->Unit(benchmark::kMillisecond)->Iterations(5);

// One generator pass over the full grid, on a fresh generated world.
template <class F>
static void run_pass(benchmark::State& state, F pass) {
  generate_world(7);
  long allocs = 0;
  for (auto _ : state) {
    long before = alloc_count.load();
    pass();
    allocs += alloc_count.load() - before;
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = (double)allocs / (double)state.iterations();
}

static ColorRamp bench_ramp = make_ramp();
static std::vector<float> scratch_grid(HMAP_CELLS);

static void BM_MakeFastNoise(benchmark::State& s) {
  run_pass(s, [] { makeFastNoise(scratch_grid.data(), 1.0f, 0.5f); });
}
static void BM_AddFastNoise(benchmark::State& s) {
  run_pass(s, [] { addFastNoise(0, 10, &bench_ramp, GT_SOIL, 255, 0.5f); });
}
static void BM_AddSimplexNoise1(benchmark::State& s) {
  run_pass(s, [] { addSimplexNoise(0, 10, 4, 1, 0.5f); });
}
static void BM_AddSimplexNoise4(benchmark::State& s) {
  run_pass(s, [] { addSimplexNoise(0, 10, 4, 4, 0.5f); });
}
static void BM_AddVoronoiHills(benchmark::State& s) {
  run_pass(s, [] { addVoronoiHills(16, 0, 10, 0.9f); });
}
static void BM_GenVoronoiFaults1(benchmark::State& s) {
  run_pass(s, [] { genVoronoiFaults(8, 0, 10, 0.3f, 2, 1, 0.5f); });
}
static void BM_GenVoronoiFaults3(benchmark::State& s) {
  run_pass(s, [] { genVoronoiFaults(8, 0, 10, 0.3f, 2, 3, 0.5f); });
}
static void BM_GenFault(benchmark::State& s) {
  run_pass(s, [] {
    genFault(Point2{100, 80}, Point2{1, 2}, 6, 0.5f, 1.5f, &bench_ramp, GT_ROCK, 255, hmap);
  });
}
static void BM_GenCrater(benchmark::State& s) {
  run_pass(s, [] { genCrater(Point2{60, 200}, 40, 1, hmap); });
}
static void BM_PlaceHouseKeep(benchmark::State& s) {
  run_pass(s, [] { placeHouse(128, 128, -1, hmap, false); });
}
static void BM_CircleBrush(benchmark::State& s) {
  run_pass(s, [] { circle_brush(30, 30, 60, 0.01f, 2, hmap); });
}
static void BM_RecenterHt(benchmark::State& s) {
  run_pass(s, [] { benchmark::DoNotOptimize(recenterHt()); });
}
static void BM_ReseedNoise(benchmark::State& s) { run_pass(s, [] { reseed_noise(); }); }

BENCHMARK(BM_MakeFastNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddFastNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddSimplexNoise1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddSimplexNoise4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddVoronoiHills)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenVoronoiFaults1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenVoronoiFaults3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenFault)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenCrater)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaceHouseKeep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CircleBrush)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecenterHt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReseedNoise)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
