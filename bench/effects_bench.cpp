// The common effects' CPU cost per frame with 2,000 particles (half blend,
// half glow, about 50 replaced per step) and 100 trails of 16 points (one
// point added to each per step), the worst case of one simulation step per
// frame:
//   BM_FxStepAndFill   the step (update_common_fx plus the spawning) and the
//                      frame's instance and vertex data written into memory,
//                      as render_common_fx writes them into the writer
//   BM_FxRenderFrame   render_common_fx on the device at 1280 x 720 (the
//                      rendering thread's CPU time: the fill, the writer's
//                      buffer uploads and the draw calls)
// Both count allocations: once the pools are warm our code makes none (the
// second also counts the GL driver's, which are not ours to avoid).
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <time.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "core/app_globals.h"
#include "core/platform.h"
#include "core/window.h"
#include "core/game_rnd.h"
#include "render/device.h"
#include "render/dynVBWriter.h"
#include "render/effects_local.h"
#include "render/postfx.h"
#include "render/shader.h"
#include "render/splash.h"

#include "alloc_count.h"

namespace {

constexpr int PARTICLES = 2000, TRAILS = 100;

double thread_cpu_ms() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

bool ready = false;
int trails[TRAILS];
int step_no = 0;
ColorRamp color_ramp;
FloatRamp size_ramp;

void spawn(int n) {
  for (int i = 0; i < n; i++) {
    Vec4f p{128 + game_rnd_srnd() * 20, 5 + game_rnd_frnd() * 5, 128 + game_rnd_srnd() * 20, 1};
    Vec4f v{game_rnd_srnd(), 1 + game_rnd_frnd(), game_rnd_srnd(), 0.5f};
    const Vec4f g{0, -2, 0, 0};
    if (i & 1)
      add_glow_particle(p, v, g, 2.0f, 0, 0.8f, 0xFFFFC080, 64, 64, 64, 0, 1, &color_ramp, &size_ramp, nullptr);
    else
      add_blend_particle(p, v, g, 2.0f, 0, 1.5f, 0xFF808080, 0, 0, 64, 0, 1, &color_ramp, &size_ramp, nullptr);
  }
}

// One simulation step of the scene: 50 new particles, a point per trail.
void step() {
  spawn(PARTICLES / 40);
  for (int k = 0; k < TRAILS; k++) {
    float a = 0.3f * step_no + k;
    add_trail_point(trails[k], Vec4f{128 + 10 * std::cos(a), 6, 128 + 10 * std::sin(a), 1}, Vec4f{0, 0, 0, 0},
                    Vec4f{0, 0.2f, 0, 0});
  }
  update_common_fx(0.05f);
  step_no++;
}

bool setup() {
  if (ready) return true;
  namespace fs = std::filesystem;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
  setenv("RUNEHOLM_HEADLESS", "1", 1);
  std::string bin = (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin").string() + "/";
  snprintf(app_path, sizeof app_path, "%s", bin.c_str());
  init_time_base();
  isFullscreen = false;
  app_screen_wd = 1280;
  app_screen_ht = 720;
  int w = 0, h = 0;
  if (!register_main_window_class() || !create_main_window(w, h) || !init_d3d(get_main_window(), w, h)) return false;
  load_shader_compiler();
  init_common_vb_writer();
  scene_image = create_screen_render_texture();
  init_postfx();
  init_common_fx();
  for (int i = 0; i < ColorRamp::NUM_ENTRIES; i++) {
    float t = i / 256.0f;
    color_ramp.entry[i] = Vec4f{1, 1 - 0.5f * t, 1 - t, 1 - t};
    size_ramp.entry[i] = 0.5f + t;
  }
  game_rnd_seed = 12345;
  for (int k = 0; k < TRAILS; k++) {
    trails[k] = add_trail_fx(Vec4f{128, 6, 128, 1}, Vec4f{0, 0, 0, 0}, Vec4f{0, 0.2f, 0, 0}, 0.3f, 0xFFFFA040);
    if (trails[k] < 0) return false;
  }
  // Warm up to the steady state: 40 steps of 50 particles living 2 s.
  for (int i = 0; i < 80; i++) step();
  Matrix44 view = Matrix44::identity();
  view.m[3][0] = -128;
  view.m[3][1] = -8;
  view.m[3][2] = -100;
  set_view_tm(view);
  set_proj_tm(1.0f, 16.0f / 9.0f, 0.1f, 500.0f);
  ready = true;
  return true;
}

void BM_FxStepAndFill(benchmark::State& st) {
  if (!setup()) {
    st.SkipWithError("no device");
    return;
  }
  std::vector<ParticleInstance> inst(PARTICLES * 2);
  std::vector<FxVertex> verts(6 * TRAIL_POINTS);
  FxCamera cam{};
  cam.pos = Vec4f{128, 8, 100, 1};
  cam.right = Vec4f{1, 0, 0, 0};
  cam.up = Vec4f{0, 1, 0, 0};
  long allocs = 0, written = 0;
  for (auto _ : st) {
    long before = alloc_count.load(std::memory_order_relaxed);
    step();
    for (int kind = FX_BLEND; kind <= FX_GLOW; kind++) {
      int cursor = 0;
      written += particles_fill(kind, cursor, 0.025f, cam, inst.data(), (int)inst.size());
    }
    for (int i = 0; i < MAX_TRAIL_FX; i++)
      if (trail_fx[i].count > 0) written += trail_fill(i, 0.5f, cam, verts.data());
    benchmark::DoNotOptimize(inst.data());
    benchmark::DoNotOptimize(verts.data());
    allocs += alloc_count.load(std::memory_order_relaxed) - before;
  }
  st.counters["particles"] = particle_pools[0].alive + particle_pools[1].alive;
  st.counters["allocs"] = double(allocs);
}
BENCHMARK(BM_FxStepAndFill)->Unit(benchmark::kMicrosecond);

void BM_FxRenderFrame(benchmark::State& st) {
  if (!setup()) {
    st.SkipWithError("no device");
    return;
  }
  double cpu = 0;
  long frames = 0, allocs = 0;
  for (auto _ : st) {
    step();
    long before = alloc_count.load(std::memory_order_relaxed);
    double c0 = thread_cpu_ms();
    begin_d3d_scene();
    render_common_fx(0.025f, 0.5f);
    end_d3d_scene();
    cpu += thread_cpu_ms() - c0;
    allocs += alloc_count.load(std::memory_order_relaxed) - before;
    glFinish();
    frames++;
  }
  st.counters["cpu_ms"] = cpu / double(frames);
  // Mesa's own allocations on this thread count here too.
  st.counters["allocs_with_driver"] = double(allocs) / double(frames);
}
BENCHMARK(BM_FxRenderFrame)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

BENCHMARK_MAIN();
