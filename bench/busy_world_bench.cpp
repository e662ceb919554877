// A busy world at 1280 x 720 on Mesa llvmpipe (headless), with the real game
// module: the world script's "main_menu" world with the trees and stones it
// places, wyverns, caterpillars and birds, fireballs and thunderstorms
// round the player, a forest fire, a volcano and a spring. Each simulation
// step is the program's world step (`update_world_step`: terrain renderer
// levels, land, fluids, effects, game objects).
//   BM_BusyFrame/<quality>  one world step, then one frame drawn and finished
//       step_ms         wall time of the world step
//       cpu_ms          the rendering thread's CPU time for the frame
//       process_cpu_ms  the whole process's CPU time for the frame (llvmpipe's
//                       rasterizer threads included)
//       frame_ms        wall time until the frame is finished
//   BM_BusyMinute  1,200 world steps (a game minute) without drawing; one
//       counter per statistics tracker: its mean ms per step, and step_ms.
// The device is made once per process at the first case's quality, since the
// module keeps GPU objects of its own: run each quality in its own process,
//   busy_world_bench --benchmark_filter='BM_BusyFrame/0'
//   busy_world_bench --benchmark_filter='BM_BusyFrame/1|BM_BusyMinute'
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <squirrel.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <string>

#include "app/update_step.h"
#include "core/app_globals.h"
#include "core/platform.h"
#include "core/stats_tracker.h"
#include "core/window.h"
#include "host/gameobj_api.h"
#include "host/gameobj_host.h"
#include "host/gameobj_lists.h"
#include "render/camera.h"
#include "render/debug_vis.h"
#include "render/device.h"
#include "render/dynVBWriter.h"
#include "render/effects.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/scene.h"
#include "render/shader.h"
#include "render/shadow_maps.h"
#include "render/sky.h"
#include "render/splash.h"
#include "world/heightmap.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"

namespace {

int device_quality = -1; // quality of the device made, -1 none, -2 failed

double clock_ms(clockid_t c) {
  timespec t;
  clock_gettime(c, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

template <class Fn>
Fn entry(void* e) { return gameobj_fn<Fn>(e); }

bool run_script(const char* src) {
  HSQUIRRELVM vm = world_gen_vm.vm;
  SQInteger top = sq_gettop(vm);
  bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, src, (SQInteger)strlen(src), "bench", SQTrue));
  if (ok) {
    sq_pushroottable(vm);
    ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
  }
  sq_settop(vm, top);
  return ok;
}

int live_objects() {
  int n = 0;
  for (int i = 0; i < GAMEOBJ_WALKED_LIST_COUNT; ++i)
    for (GameObject* o : *gameobj_walked_list(i)) n += !o->destroyed;
  return n;
}

// GameObj's position follows the host's GameObject (in its tail padding).
struct PosProbe : GameObject {
  float pos[4];
};
float* pos_of(GameObject* obj) {
  PosProbe probe;
  return reinterpret_cast<float*>(reinterpret_cast<char*>(obj) +
                                  (reinterpret_cast<char*>(probe.pos) - reinterpret_cast<char*>(&probe)));
}

void set_sun(const Vec4f& d) { set_sun_dir(false, d); }
void set_sky(const char* n) { set_sky_palette(n); }

// Creatures, missiles, storms, fire, lava and water round `c`.
void stir(const Vec4f& c) {
  char src[1024];
  snprintf(src, sizeof src,
           "for (local i = 0; i < 4; i++) spawn_monster(\"wyvern\", %f + rndf(-60.0, 60.0), %f + rndf(-60.0, 60.0));"
           "for (local i = 0; i < 4; i++) spawn_monster(\"caterpillar\", %f + rndf(-40.0, 40.0), %f + rndf(-40.0, 40.0));"
           "for (local i = 0; i < 2; i++) spawn_monster(\"bird\", %f + rndf(-40.0, 40.0), %f + rndf(-40.0, 40.0));"
           "ignite(%f + 25.0, %f + 30.0, 20.0);"
           "spawn_volcano(%f - 40.0, %f + 35.0, 20.0);"
           "spawn_spring(%f + 45.0, %f - 30.0, 1.0);",
           c.x, c.z, c.x, c.z, c.x, c.z, c.x, c.z, c.x, c.z, c.x, c.z);
  if (!run_script(src)) fprintf(stderr, "busy_world_bench: the stirring script failed\n");
  auto make = [](const char* cls, float x, float y, float z) {
    int id = entry<int (*)(const char*)>(gameobj_funcs.gameobj_id_by_name)(cls);
    auto* obj = entry<GameObject* (*)(int)>(gameobj_funcs.new_gameobj_by_id)(id);
    float* p = pos_of(obj);
    p[0] = x, p[1] = y, p[2] = z;
  };
  for (int i = 0; i < 3; ++i) make("ThunderstormObject", c.x - 30 + 30 * i, c.y + 28, c.z + 20);
  for (int i = 0; i < 10; ++i) make("Fireball", c.x - 45 + 10 * i, c.y + 30, c.z + 10 * (i % 3));
}

bool setup(int quality) {
  if (device_quality == quality) return true;
  if (device_quality != -1) return false;
  device_quality = -2;
  namespace fs = std::filesystem;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
  setenv("RUNEHOLM_HEADLESS", "1", 1);
  setenv("ALSOFT_DRIVERS", "null", 0);
  std::string bin = (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin").string() + "/";
  snprintf(app_path, sizeof app_path, "%s", bin.c_str());
  init_time_base();
  gfx_quality = quality;
  isFullscreen = false;
  app_screen_wd = 1280;
  app_screen_ht = 720;
  int w = 0, h = 0;
  if (!register_main_window_class() || !create_main_window(w, h) || !init_d3d(get_main_window(), w, h)) return false;
  init_common_vb_writer();
  load_shader_compiler();
  allocate_heightmap_grids();
  scene_image = create_screen_render_texture();
  init_scene_targets();
  if (quality == 1) {
    set_shadow_map_quality(1); // the settings' default shadow_resolution
    init_shadow_maps();
  }
  init_sky();
  HeightmapRenderer::init_terrain_renderer();
  init_postfx();
  init_common_fx();
  init_debug_vis();
  world_hooks.set_sun_dir = set_sun;
  world_hooks.set_sky_name = set_sky;
  world_hooks.reset_terrain_renderer = HeightmapRenderer::reset_fluid_levels;
  load_gameobj_module(bin.c_str(), "main.ls");
  if (!gameobj_funcs.update_gameobj) return false;
  game_rnd_seed = 20261207;
  if (!init_world_gen_vm("gen/main.nut")) return false;
  entry<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(world_gen_vm.vm);
  generate_world("main_menu");
  HeightmapRenderer::reset_fluid_levels();
  Vec4f c = world_player_start_pos;
  c.y = HeightmapData::hmap[hmap_index(int(c.x), int(c.z))];
  local_player = entry<Player* (*)(const Vec4f&)>(gameobj_funcs.create_player)(Vec4f{c.x, c.y + 12, c.z, 1});
  srand(7);
  stir(c);
  camera = CameraState{};
  camera.zoom = camera.prev_zoom = 1;
  set_camera_pos(Vec4f{c.x, std::max(c.y, 0.0f) + 25, c.z - 50, 1});
  camera.pitch = -0.3f;
  // Ten seconds of play first: the fire spreads, lava and water flow.
  for (int i = 0; i < 200; ++i) update_world_step(0.05f);
  device_quality = quality;
  return true;
}

void step() {
  sky_step();
  camera_begin_step(0.05f);
  update_world_step(0.05f);
}

void BM_BusyFrame(benchmark::State& st) {
  if (!setup(int(st.range(0)))) return st.SkipWithError("no device, module or world (one quality per process)");
  use_postfx = use_ppaa = false; // the defaults
  for (int i = 0; i < 3; ++i) {
    step();
    begin_d3d_scene();
    render_scene(0.025f);
    finish_frame_postfx();
    end_d3d_scene();
    glFinish();
  }
  double step_ms = 0, cpu = 0, process = 0, wall = 0;
  long frames = 0, objects = 0;
  for (auto _ : st) {
    auto s0 = std::chrono::steady_clock::now();
    step();
    auto t0 = std::chrono::steady_clock::now();
    double c0 = clock_ms(CLOCK_THREAD_CPUTIME_ID), p0 = clock_ms(CLOCK_PROCESS_CPUTIME_ID);
    begin_d3d_scene();
    render_scene(0.025f);
    finish_frame_postfx();
    end_d3d_scene();
    cpu += clock_ms(CLOCK_THREAD_CPUTIME_ID) - c0;
    glFinish();
    process += clock_ms(CLOCK_PROCESS_CPUTIME_ID) - p0;
    auto t1 = std::chrono::steady_clock::now();
    step_ms += std::chrono::duration<double, std::milli>(t0 - s0).count();
    wall += std::chrono::duration<double, std::milli>(t1 - t0).count();
    objects += live_objects();
    ++frames;
  }
  st.counters["step_ms"] = step_ms / double(frames);
  st.counters["cpu_ms"] = cpu / double(frames);
  st.counters["process_cpu_ms"] = process / double(frames);
  st.counters["frame_ms"] = wall / double(frames);
  st.counters["objects"] = double(objects) / double(frames);
}
BENCHMARK(BM_BusyFrame)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

void BM_BusyMinute(benchmark::State& st) {
  if (!setup(device_quality >= 0 ? device_quality : 1)) return st.SkipWithError("no device, module or world");
  const int n = update_stats_tracker_count();
  double sums[MAX_UPDATE_STATS_TRACKERS] = {}, step_ms = 0;
  long steps = 0;
  for (auto _ : st) {
    for (int k = 0; k < 1200; ++k) {
      for (int i = 0; i < n; ++i) get_update_stats_tracker(i)->accumulated = 0;
      auto t0 = std::chrono::steady_clock::now();
      step();
      step_ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      for (int i = 0; i < n; ++i) sums[i] += get_time_usec(get_update_stats_tracker(i)->accumulated) * 1e-3;
      ++steps;
    }
  }
  for (int i = 0; i < update_stats_tracker_count(); ++i)
    st.counters[get_update_stats_tracker(i)->name] = sums[i] / double(steps);
  st.counters["step_ms"] = step_ms / double(steps);
  st.counters["objects"] = live_objects();
}
BENCHMARK(BM_BusyMinute)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
