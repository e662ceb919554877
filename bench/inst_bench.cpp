// 20,000 tree instances per frame through the Simple instance renderer, on
// the real device (Mesa llvmpipe, headless, 320 x 180), CPU side:
//   BM_TreeInstancesFill      the module's share: queueing 20,000 instances
//                             (addInstances and writing 52 bytes each)
//   BM_TreeInstancesRender/0  fill and render() with a one-triangle mesh: our
//                             copy into the writer's buffers, the 16 draw
//                             calls and the driver's per-call cost, with
//                             next to no vertex work
//   BM_TreeInstancesRender/1  the same with the generated "tree1" mesh: adds
//                             llvmpipe's vertex processing, which runs on the
//                             calling thread (a GPU does it elsewhere)
//   BM_OneDrawAllocs/N        heap allocations of one frame drawing N
//                             instances in one call: llvmpipe allocates per
//                             instance, our code does not
// Counters: cpu_ms (this thread's CPU time per frame), draw_cpu_ms (of it,
// inside the draw calls: the driver), own_cpu_ms (the rest: filling the
// queue, copying it into the writer, bindings, locks), allocs (heap
// allocations per frame in the steady state).
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <unistd.h>

#include <time.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_globals.h"
#include "core/platform.h"
#include "core/window.h"
#include "render/device.h"
#include "render/dynVBWriter.h"
#include "render/instRender.h"
#include "render/scene.h"
#include "render/shader.h"

#include "alloc_count.h"

namespace {

constexpr int TREES = 20000;

double thread_cpu_ms() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

std::vector<SimpleInstance> forest; // a 142 x 142 grid of turned, scaled trees
SimpleInstRender tiny_inst;
std::string tiny_dir;

// A one-triangle Simple mesh in its own temporary folder.
std::string write_tiny_mesh() {
  char tmpl[] = "/tmp/rh-inst-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return "";
  tiny_dir = tmpl;
  std::string path = tiny_dir + "/tiny.r3d";
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return "";
  auto name = [&](const char* s) {
    fputc((int)strlen(s), f);
    fwrite(s, 1, strlen(s) + 1, f);
  };
  uint32_t version = 0x14030200;
  fwrite(&version, 4, 1, f);
  name("mesh.sh");
  name("Simple");
  fputc(0, f); // no texture
  fputc(0, f); // no records
  float sphere[4] = {0, 0, 0, 1};
  fwrite(sphere, 4, 4, f);
  uint8_t elems[18] = {0, 0, 0, 3, 0, 0, 12, 0, 0, 3, 1, 0, 24, 0, 0, 2, 3, 0};
  fputc(3, f);
  fwrite(elems, 1, sizeof elems, f);
  int32_t counts[3] = {32, 3, 1};
  fwrite(counts, 4, 3, f);
  float v[3][8] = {{0, 0, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 0, 1, 0, 1, 0}, {0, 0, 1, 0, 1, 0, 0, 1}};
  fwrite(v, 4, 24, f);
  uint16_t idx[3] = {0, 1, 2};
  fwrite(idx, 2, 3, f);
  fclose(f);
  return path;
}

bool setup() {
  static int state = 0;
  if (state) return state > 0;
  state = -1;
  namespace fs = std::filesystem;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
  setenv("RUNEHOLM_HEADLESS", "1", 1);
  std::string bin = (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin").string() + "/";
  snprintf(app_path, sizeof app_path, "%s", bin.c_str());
  init_time_base();
  gfx_quality = 0;
  isFullscreen = false;
  app_screen_wd = 320;
  app_screen_ht = 180;
  int w = 0, h = 0;
  if (!register_main_window_class() || !create_main_window(w, h) || !init_d3d(get_main_window(), w, h)) return false;
  load_shader_compiler();
  init_common_vb_writer();
  init_inst_render_internals();
  std::string tiny = write_tiny_mesh();
  if (tiny.empty()) return false;
  tree1_inst.init("tree1.r3d");
  tiny_inst.init(tiny.c_str());
  // The camera high above the middle of the forest, looking down.
  Matrix44 view = {{{1, 0, 0, 0}, {0, 0, -1, 0}, {0, 1, 0, 0}, {-71, -71, 60, 1}}};
  set_proj_tm(1.2f, 320.0f / 180.0f, 0.1f, 512.0f);
  float eye[3] = {71, 60, 71};
  scene_set_view_consts(view, get_proj_tm(), eye);
  for (int i = 0; i < TREES; i++) {
    float a = 0.7f * i, s = 0.8f + 0.05f * (i % 7);
    float c = std::cos(a) * s, n = std::sin(a) * s;
    forest.push_back(SimpleInstance{{c, 0, -n}, {0, s, 0}, {n, 0, c}, {float(i % 142), 0, float(i / 142)}, 0xFFFFFFFF});
  }
  state = 1;
  return true;
}

void fill(InstRender& r) {
  // As the module does: reserve, then write each instance.
  auto* out = (SimpleInstance*)r.addInstances(TREES);
  for (int i = 0; i < TREES; i++) out[i] = forest[(size_t)i];
}

void BM_TreeInstancesFill(benchmark::State& st) {
  if (!setup()) {
    st.SkipWithError("no device");
    return;
  }
  fill(tree1_inst);
  tree1_inst.clearQueue();
  long allocs = 0;
  for (auto _ : st) {
    long a0 = alloc_count.load(std::memory_order_relaxed);
    fill(tree1_inst);
    tree1_inst.clearQueue();
    allocs += alloc_count.load(std::memory_order_relaxed) - a0;
  }
  st.counters["allocs"] = double(allocs) / double(st.iterations());
}
BENCHMARK(BM_TreeInstancesFill)->Unit(benchmark::kMillisecond);

void BM_TreeInstancesRender(benchmark::State& st) {
  if (!setup()) {
    st.SkipWithError("no device");
    return;
  }
  InstRender& r = st.range(0) ? (InstRender&)tree1_inst : (InstRender&)tiny_inst;
  set_back_buffer_target();
  set_zenable(false);
  set_cull_mode(0); // the top-down view is mirrored
  auto frame = [&] {
    begin_d3d_scene();
    fill(r);
    start_inst_render();
    r.render();
    end_inst_render();
    end_d3d_scene();
  };
  frame(); // the first frame takes its blocks and warms the driver
  glFinish();
  double cpu = 0, draw = 0;
  long allocs = 0;
  for (auto _ : st) {
    long a0 = alloc_count.load(std::memory_order_relaxed);
    double c0 = thread_cpu_ms();
    frame();
    cpu += thread_cpu_ms() - c0;
    draw += inst_render_stats.drawCpuMs;
    allocs += alloc_count.load(std::memory_order_relaxed) - a0;
    st.PauseTiming();
    glFinish(); // llvmpipe's rasterizer threads finish outside the measurement
    st.ResumeTiming();
  }
  st.counters["cpu_ms"] = cpu / double(st.iterations());
  st.counters["draw_cpu_ms"] = draw / double(st.iterations());
  st.counters["own_cpu_ms"] = (cpu - draw) / double(st.iterations());
  st.counters["allocs"] = double(allocs) / double(st.iterations());
  st.counters["draws"] = inst_render_stats.draws;
}
BENCHMARK(BM_TreeInstancesRender)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OneDrawAllocs(benchmark::State& st) {
  if (!setup()) {
    st.SkipWithError("no device");
    return;
  }
  int n = (int)st.range(0);
  long allocs = 0;
  for (auto _ : st) {
    begin_d3d_scene();
    auto* out = (SimpleInstance*)tiny_inst.addInstances(n);
    for (int i = 0; i < n; i++) out[i] = forest[(size_t)i];
    long a0 = alloc_count.load(std::memory_order_relaxed);
    start_inst_render();
    tiny_inst.render();
    end_inst_render();
    allocs += alloc_count.load(std::memory_order_relaxed) - a0;
    end_d3d_scene();
    st.PauseTiming();
    glFinish();
    st.ResumeTiming();
  }
  st.counters["allocs"] = double(allocs) / double(st.iterations());
}
BENCHMARK(BM_OneDrawAllocs)->Arg(10)->Arg(1260)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  tiny_inst.close();
  close_inst_render_internals();
  if (!tiny_dir.empty()) std::filesystem::remove_all(tiny_dir);
  benchmark::Shutdown();
  return 0;
}
