// Render batches: the cost of collecting a frame of GUI-like blocks (adds
// with the grouping walk) and of clearing for the next frame. The "allocs"
// counter counts heap allocations per frame once the arena and the group
// list have grown: a repeated frame must not allocate.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "render/renderBatch.h"

#include "alloc_count.h"

// A GUI frame: `blocks` quads in rows, cycling through four states, with an
// overlapping tooltip-like block every 50.
static void fill_frame(RenderBatch& batch, StdRenderBatchState* states, int blocks) {
  for (int i = 0; i < blocks; i++) {
    float x = (float)(i % 40) * 30, y = (float)(i / 40) * 20;
    BatchRect r = i % 50 == 49 ? BatchRect{x - 40, y - 10, x + 60, y + 30} : BatchRect{x, y, x + 28, y + 18};
    void* p = batch.add(&states[i & 3], r, 6 * 20, 2);
    memset(p, 0, 6 * 20);
  }
}

static void BM_BatchFrame(benchmark::State& st) {
  StdRenderBatchState states[4];
  RenderBatch batch;
  int blocks = (int)st.range(0);
  fill_frame(batch, states, blocks); // grow the arena and the group list once
  batch.clear();
  long allocs = 0, frames = 0;
  for (auto _ : st) {
    long before = alloc_count.load(std::memory_order_relaxed);
    fill_frame(batch, states, blocks);
    batch.clear();
    allocs += alloc_count.load(std::memory_order_relaxed) - before;
    frames++;
  }
  st.SetItemsProcessed(st.iterations() * blocks);
  st.counters["allocs"] = frames ? (double)allocs / frames : 0;
}
BENCHMARK(BM_BatchFrame)->Arg(200)->Arg(2000);

BENCHMARK_MAIN();
