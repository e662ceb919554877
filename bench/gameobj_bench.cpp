// The game-object module's own work with 200 live objects on a generated
// world ("main_menu"), the real gameobj.so on the real device (Mesa
// llvmpipe, headless, 640 x 360): 60 wyverns, 60 caterpillars, 40 birds in
// eight flocks, 10 thunderstorm clouds and 30 fireballs round the player,
// topped up between iterations (untimed) as storms kill creatures and
// fireballs burst.
//   BM_GameobjUpdate  one world step: update_gameobj (behaviour, spawning,
//                     missiles, deaths). cpu_ms per step, allocs per step.
//   BM_GameobjRender  one frame: render_gameobj (queueing the instances and
//                     drawing them). cpu_ms per frame, draw_cpu_ms the part
//                     inside the draw calls (llvmpipe's vertex work, which a
//                     GPU does elsewhere), own_cpu_ms the rest.
//   BM_GameobjShadowPass  the object shadow maps of one high-quality frame
//                     (render_shadow_maps: four sun cascades and the
//                     top-down map, 2048 and 512) with the world's trees,
//                     stones and houses besides the 200 objects, the camera
//                     as a player sees the land; /0 with a caster drawer that
//                     draws nothing (the maps are cleared and read all the
//                     same), /1 the module's render_gameobj_shadow_map.
//                     module_cpu_ms the module's calls (own_cpu_ms without
//                     the draw calls), process_cpu_ms the whole passes with
//                     llvmpipe's rasterizer threads, finished.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <squirrel.h>

#include <time.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/app_globals.h"
#include "core/platform.h"
#include "core/window.h"
#include "host/gameobj_api.h"
#include "host/gameobj_host.h"
#include "host/gameobj_lists.h"
#include "render/camera.h"
#include "render/device.h"
#include "render/dynVBWriter.h"
#include "render/instRender.h"
#include "render/scene.h"
#include "render/shader.h"
#include "render/shadow_maps.h"
#include "render/sky.h"
#include "world/heightmap.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"

#include "alloc_count.h"

namespace {

constexpr int W = 640, H = 360;

double thread_cpu_ms()
{
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

// GameObj's position follows the host's GameObject (in its tail padding).
struct PosProbe : GameObject {
  float pos[4];
};
float* pos_of(GameObject* obj)
{
  PosProbe probe;
  return reinterpret_cast<float*>(reinterpret_cast<char*>(obj) + (reinterpret_cast<char*>(probe.pos) - reinterpret_cast<char*>(&probe)));
}

template <class Fn>
Fn entry(void* e) { return gameobj_fn<Fn>(e); }

Vec4f centre;

bool run_script(const char* src)
{
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

int live(DynArray<GameObject*>& list)
{
  int n = 0;
  for (GameObject* o : list) n += !o->destroyed;
  return n;
}
template <class T>
DynArray<GameObject*>& as_objects(DynArray<T*>& list) { return reinterpret_cast<DynArray<GameObject*>&>(list); }

GameObject* make_at(const char* cls, float x, float y, float z)
{
  int id = entry<int (*)(const char*)>(gameobj_funcs.gameobj_id_by_name)(cls);
  auto* obj = entry<GameObject* (*)(int)>(gameobj_funcs.new_gameobj_by_id)(id);
  float* p = pos_of(obj);
  p[0] = x, p[1] = y, p[2] = z;
  return obj;
}

float rnd_in(float r) { return (float(rand()) / RAND_MAX * 2 - 1) * r; }

// Back to the bench's 200 objects; the pickups the dead dropped go.
void top_up()
{
  for (GameObject* o : as_objects(GlobResObject_list)) o->destroy();
  char src[512];
  int wyverns = 60 - live(as_objects(WyvernMonster_list));
  int crawlers = 60 - live(as_objects(LandMonster_list));
  int flocks = (40 - live(as_objects(BirdMonster_list))) / 5;
  snprintf(src, sizeof src,
           "for (local i = 0; i < %d; i++) spawn_monster(\"wyvern\", %f + rndf(-50.0, 50.0), %f + rndf(-50.0, 50.0));"
           "for (local i = 0; i < %d; i++) spawn_monster(\"caterpillar\", %f + rndf(-50.0, 50.0), %f + rndf(-50.0, 50.0));"
           "for (local i = 0; i < %d; i++) spawn_monster(\"bird\", %f + rndf(-50.0, 50.0), %f + rndf(-50.0, 50.0));",
           wyverns, centre.x, centre.z, crawlers, centre.x, centre.z, flocks, centre.x, centre.z);
  run_script(src);
  for (int n = live(as_objects(ThunderstormObject_list)); n < 10; ++n)
    make_at("ThunderstormObject", centre.x + rnd_in(40), centre.y + 28, centre.z + rnd_in(40));
  for (int n = live(as_objects(Fireball_list)); n < 30; ++n)
    make_at("Fireball", centre.x + rnd_in(50), centre.y + 30, centre.z + rnd_in(50));
  entry<void (*)(BaseObject*)>(gameobj_funcs.delete_gameobj)(nullptr);
}

int count_all()
{
  int n = 0;
  for (int i = 0; i < GAMEOBJ_WALKED_LIST_COUNT; ++i) n += live(*gameobj_walked_list(i));
  return n;
}

bool setup()
{
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
  app_screen_wd = W;
  app_screen_ht = H;
  int w = 0, h = 0;
  if (!register_main_window_class() || !create_main_window(w, h) || !init_d3d(get_main_window(), w, h)) return false;
  init_common_vb_writer();
  load_shader_compiler();
  allocate_heightmap_grids();
  load_gameobj_module(bin.c_str(), "main.ls");
  game_rnd_seed = 20261207;
  if (!init_world_gen_vm("gen/main.nut")) return false;
  entry<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(world_gen_vm.vm);
  generate_world("main_menu");
  // No spawning of its own while measuring: the bench keeps the count.
  run_script("function monster_spawn_values() { return null; }");
  centre = world_player_start_pos;
  centre.y = HeightmapData::hmap[hmap_index(int(centre.x), int(centre.z))];
  local_player = entry<Player* (*)(const Vec4f&)>(gameobj_funcs.create_player)(Vec4f{centre.x, centre.y + 12, centre.z, 1});
  srand(7);
  top_up();
  // The camera over the crowd, looking down at it.
  camera = CameraState{};
  camera.pos = Vec4f{centre.x, centre.y + 60, centre.z - 70, 1};
  camera.prev_pos = camera.pos;
  state = 1;
  return true;
}

void view_consts()
{
  float eye[3] = {camera.pos.x, camera.pos.y, camera.pos.z};
  float f[3] = {0, -0.65f, 0.76f};
  float l = std::sqrt(f[1] * f[1] + f[2] * f[2]);
  f[1] /= l, f[2] /= l;
  float r[3] = {1, 0, 0};
  float u[3] = {0, f[2], -f[1]};
  Matrix44 cam = {{{r[0], r[1], r[2], 0}, {u[0], u[1], u[2], 0}, {f[0], f[1], f[2], 0}, {eye[0], eye[1], eye[2], 1}}};
  Matrix44 view;
  matrix_inverse(cam, view);
  set_proj_tm(1.2f, float(W) / H, 0.1f, 512.0f);
  scene_set_view_consts(view, get_proj_tm(), eye);
}

void BM_GameobjUpdate(benchmark::State& st)
{
  if (!setup()) return st.SkipWithError("no device or no world");
  auto update = entry<void (*)(float)>(gameobj_funcs.update_gameobj);
  double cpu = 0;
  long allocs = 0, steps = 0, objects = 0;
  for (auto _ : st) {
    st.PauseTiming();
    top_up();
    objects += count_all();
    st.ResumeTiming();
    long a0 = alloc_count.load();
    double c0 = thread_cpu_ms();
    update(0.05f);
    cpu += thread_cpu_ms() - c0;
    allocs += alloc_count.load() - a0;
    ++steps;
  }
  st.counters["cpu_ms"] = cpu / double(steps);
  st.counters["allocs"] = double(allocs) / double(steps);
  st.counters["objects"] = double(objects) / double(steps);
}
BENCHMARK(BM_GameobjUpdate)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_GameobjRender(benchmark::State& st)
{
  if (!setup()) return st.SkipWithError("no device or no world");
  auto render = entry<void (*)(float)>(gameobj_funcs.render_gameobj);
  auto update = entry<void (*)(float)>(gameobj_funcs.update_gameobj);
  // A frame first: llvmpipe compiles each shader variant at its first draw.
  for (int i = 0; i < 2; ++i) {
    begin_d3d_scene();
    view_consts();
    render(0.025f);
    end_d3d_scene();
    glFinish();
  }
  double cpu = 0, draw = 0;
  long frames = 0, allocs = 0, instances = 0;
  for (auto _ : st) {
    st.PauseTiming();
    top_up();
    update(0.05f);
    st.ResumeTiming();
    begin_d3d_scene();
    view_consts();
    long a0 = alloc_count.load();
    double c0 = thread_cpu_ms();
    render(0.025f);
    cpu += thread_cpu_ms() - c0;
    allocs += alloc_count.load() - a0;
    draw += inst_render_stats.drawCpuMs;
    instances += inst_render_stats.instances;
    end_d3d_scene();
    glFinish();
    ++frames;
  }
  st.counters["cpu_ms"] = cpu / double(frames);
  st.counters["draw_cpu_ms"] = draw / double(frames);
  st.counters["own_cpu_ms"] = (cpu - draw) / double(frames);
  st.counters["instances"] = double(instances) / double(frames);
  st.counters["allocs"] = double(allocs) / double(frames);
}
BENCHMARK(BM_GameobjRender)->Unit(benchmark::kMillisecond)->MinTime(2.0);

double process_cpu_ms()
{
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

struct ShadowCalls {
  double cpu = 0, draw = 0;
  long instances = 0, calls = 0;
  long pass_instances[5] = {}; // cascades 0..3, top-down
} shadow_calls;

void module_casters(int pass)
{
  double c0 = thread_cpu_ms();
  entry<void (*)(float)>(gameobj_funcs.render_gameobj_shadow_map)(float(pass));
  shadow_calls.cpu += thread_cpu_ms() - c0;
  shadow_calls.draw += inst_render_stats.drawCpuMs;
  shadow_calls.instances += inst_render_stats.instances;
  shadow_calls.pass_instances[shadow_calls.calls++ % 5] += inst_render_stats.instances;
}

void BM_GameobjShadowPass(benchmark::State& st)
{
  if (!setup()) return st.SkipWithError("no device or no world");
  if (!shadow_maps_ready()) {
    set_shadow_map_quality(1);
    init_shadow_maps();
    set_sun_dir(false, Vec4f{0.35f, 0.57f, 0.74f, 0});
  }
  auto update = entry<void (*)(float)>(gameobj_funcs.update_gameobj);
  shadow_casters_fn = st.range(0) ? module_casters : [](int) {};
  // The camera 14 over the land, looking down at 28 degrees, as in play.
  camera.pos = Vec4f{centre.x, centre.y + 14, centre.z - 24, 1};
  camera.yaw = 0, camera.pitch = -0.49f;
  camera.zoom = camera.prev_zoom = 1;
  camera.prev_pos = camera.pos;
  auto frame = [&] {
    Matrix44 cam, view, proj;
    camera_matrix(1, cam);
    cur_view_itm = cam;
    matrix_inverse(cam, view);
    cur_view_tm = view;
    camera_projection(1, W, H, proj);
    begin_d3d_scene();
    set_view_tm(view);
    set_proj_tm(proj);
    render_shadow_maps(512, 0);
    end_d3d_scene();
    glFinish();
  };
  for (int i = 0; i < 2; ++i) frame();
  shadow_calls = ShadowCalls{};
  double process = 0;
  long frames = 0, allocs = 0;
  for (auto _ : st) {
    st.PauseTiming();
    top_up();
    update(0.05f);
    st.ResumeTiming();
    long a0 = alloc_count.load();
    double p0 = process_cpu_ms();
    frame();
    process += process_cpu_ms() - p0;
    allocs += alloc_count.load() - a0;
    ++frames;
  }
  shadow_casters_fn = nullptr;
  st.counters["module_cpu_ms"] = shadow_calls.cpu / double(frames);
  st.counters["own_cpu_ms"] = (shadow_calls.cpu - shadow_calls.draw) / double(frames);
  st.counters["process_cpu_ms"] = process / double(frames);
  st.counters["instances"] = double(shadow_calls.instances) / double(frames);
  for (int i = 0; i < 5; ++i)
    st.counters[i < 4 ? "cascade" + std::to_string(i) : std::string("topdown")] =
        double(shadow_calls.pass_instances[i]) / double(frames);
  st.counters["allocs"] = double(allocs) / double(frames);
}
BENCHMARK(BM_GameobjShadowPass)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
