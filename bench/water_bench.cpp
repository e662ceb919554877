// The fluid step on a generated world with seas, rivers and a lava flow, one
// step per iteration, single-threaded; "allocs" counts heap allocations per
// step (it must be 0). For scale, BM_VirtualPipesAnchor runs a bare
// virtual-pipes shallow-water step (four outflow fluxes per cell, no
// advection, foam or lava) over the same grid on the same machine.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/game_rnd.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/water_sim.h"

using namespace HeightmapData;

#include "alloc_count.h"

static constexpr float DT = 0.05f;

static void ensure_grids() {
  static bool done = false;
  if (done) return;
  done = true;
  setenv("RUNEHOLM_HEADLESS", "1", 0);
  char tmpl[] = "/tmp/rh_water_bench_XXXXXX";
  if (mkdtemp(tmpl)) setenv("XDG_DATA_HOME", tmpl, 1);
  allocate_heightmap_grids();
}

// Snapshot of the prepared world, restored every RESTORE_EVERY steps so the
// lava never runs out and the rivers keep flowing.
struct WorldImage {
  std::vector<float> h, t;
  std::vector<Water> w;
  std::vector<Surface> s;
  void take() {
    h.assign(hmap, hmap + HMAP_CELLS);
    t.assign(target_hmap, target_hmap + HMAP_CELLS);
    w.assign(waterCells(), waterCells() + HMAP_CELLS);
    s.assign(surface, surface + HMAP_CELLS);
  }
  void restore() const {
    memcpy(hmap, h.data(), HMAP_CELLS * sizeof(float));
    memcpy(target_hmap, t.data(), HMAP_CELLS * sizeof(float));
    memcpy(waterCells(), w.data(), HMAP_CELLS * sizeof(Water));
    memcpy((void*)surface, s.data(), HMAP_CELLS * sizeof(Surface));
  }
};
static WorldImage image;
static constexpr int RESTORE_EVERY = 100;

// Follows the steepest descent from (x, z) for `steps` cells, laying water
// of `depth` along the way: a river running down to the sea.
static void lay_river(int x, int z, int steps, float depth) {
  for (int i = 0; i < steps; i++) {
    int c = hmap_index(x, z);
    if (waterCells()[c].depth < depth) waterCells()[c].depth = depth;
    int bx = x, bz = z;
    float best = hmap[c];
    for (int dz = -1; dz <= 1; dz++)
      for (int dx = -1; dx <= 1; dx++) {
        float h = hmap[hmap_index(x + dx, z + dz)];
        if (h < best) best = h, bx = x + dx, bz = z + dz;
      }
    if (bx == x && bz == z) break; // a pit: the river ends in a lake
    x = bx;
    z = bz;
  }
}

// Seas over the lowest 30 % of the world, a dozen rivers from
// high ground, and a lava flow down one mountain side; then 100 steps so
// that the flows are established.
static void prepare_world() {
  static bool done = false;
  if (done) return;
  done = true;
  ensure_grids();
  reset();
  game_rnd_seed = 42;
  reseed_noise();
  addSimplexNoise(0, 30, 4, 5, 0.5f);
  addVoronoiHills(8, 0, 12, 0.9f);
  std::vector<float> sorted(hmap, hmap + HMAP_CELLS);
  std::nth_element(sorted.begin(), sorted.begin() + HMAP_CELLS * 3 / 10, sorted.end());
  float sea = sorted[HMAP_CELLS * 3 / 10];
  for (int i = 0; i < HMAP_CELLS; i++) {
    hmap[i] -= sea;
    target_hmap[i] = hmap[i];
    if (hmap[i] < 0.0f) waterCells()[i].depth = -hmap[i];
  }
  for (int r = 0; r < 12; r++) {
    int x = game_rnd_hmrnd(), z = game_rnd_hmrnd();
    if (hmap[hmap_index(x, z)] > 2.0f) lay_river(x, z, 400, 0.6f);
  }
  // Lava round the highest cell.
  int top = 0;
  for (int i = 1; i < HMAP_CELLS; i++)
    if (hmap[i] > hmap[top]) top = i;
  int tx = top & 255, tz = top >> 8;
  for (int dz = -8; dz <= 8; dz++)
    for (int dx = -8; dx <= 8; dx++)
      if (dx * dx + dz * dz <= 64) waterCells()[hmap_index(tx + dx, tz + dz)].depth = -1.5f;
  for (int i = 0; i < 100; i++) simWater(DT);
  image.take();
}

static void BM_SimWater(benchmark::State& state) {
  prepare_world();
  image.restore();
  long allocs = 0;
  int n = 0;
  int wet = 0, lava = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    wet += waterCells()[i].depth > 0.0f;
    lava += waterCells()[i].depth < 0.0f;
  }
  for (auto _ : state) {
    if (++n == RESTORE_EVERY) {
      state.PauseTiming();
      image.restore();
      n = 0;
      state.ResumeTiming();
    }
    long before = alloc_count.load(std::memory_order_relaxed);
    simWater(DT);
    allocs += alloc_count.load(std::memory_order_relaxed) - before;
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = (double)allocs / (double)state.iterations();
  state.counters["water_cells"] = wet;
  state.counters["lava_cells"] = lava;
}
BENCHMARK(BM_SimWater)->Unit(benchmark::kMicrosecond);

// A bare virtual-pipes step: outflow fluxes to the four neighbours driven
// by the surface difference, scaled so no cell gives more than it holds,
// then depths updated from in- and outflows.
static void BM_VirtualPipesAnchor(benchmark::State& state) {
  prepare_world();
  image.restore();
  static float flux[HMAP_CELLS][4];
  static float depth[HMAP_CELLS];
  for (int i = 0; i < HMAP_CELLS; i++) depth[i] = fabsf(waterCells()[i].depth);
  memset(flux, 0, sizeof flux);
  const float k = DT * 10.0f;
  for (auto _ : state) {
    for (int z = 0; z < 256; z++)
      for (int x = 0; x < 256; x++) {
        int i = (z << 8) | x;
        int nb[4] = {(z << 8) | ((x - 1) & 255), (((z - 1) & 255) << 8) | x, (z << 8) | ((x + 1) & 255),
                     (((z + 1) & 255) << 8) | x};
        float s = hmap[i] + depth[i];
        float sum = 0;
        for (int j = 0; j < 4; j++) {
          float f = flux[i][j] * 0.99f + k * (s - hmap[nb[j]] - depth[nb[j]]);
          f = f > 0 ? f : 0;
          flux[i][j] = f;
          sum += f;
        }
        float scale = sum * DT > depth[i] && sum > 0 ? depth[i] / (sum * DT) : 1.0f;
        for (int j = 0; j < 4; j++) flux[i][j] *= scale;
      }
    for (int z = 0; z < 256; z++)
      for (int x = 0; x < 256; x++) {
        int i = (z << 8) | x;
        float in = flux[(z << 8) | ((x - 1) & 255)][2] + flux[(((z - 1) & 255) << 8) | x][3] +
                   flux[(z << 8) | ((x + 1) & 255)][0] + flux[(((z + 1) & 255) << 8) | x][1];
        float out = flux[i][0] + flux[i][1] + flux[i][2] + flux[i][3];
        depth[i] += DT * (in - out);
      }
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_VirtualPipesAnchor)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
