// runeholm-worldgen --seed N [--kind game|main_menu|<world kind>] [--world INDEX]
//                   [--out FILE.png] [--size 512] [--hash] [--data DIR]
//                   [--simulate SECONDS]
//
// Runs the real world-generation VM with the installed "gen/main.nut"
// without a window, prints the seed line, the time of each phase (wall and
// CPU) and the erosion statistics, and writes a shaded picture of the world.
// --world INDEX generates the universe from the seed first and then that
// world, as entering it in a new game would. --hash prints a hash of the
// four persistent grids (the determinism check). --simulate SECONDS lets the
// generated world settle (land and fluids, no game objects) before the hash
// and the picture.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "app/app_hooks.h"
#include "app/log.h"
#include "app/platform.h"
#include "core/game_rnd.h"
#include "preview.h"
#include "script/sqbind.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"
#include "world/world_simulate.h"

namespace {

double cpu_ms() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
}
double wall_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
}

// A phase runs from one splash text to the next; the script names its
// phases through show_splash, erosion through its progress text.
struct Phases {
  std::string name;
  double wall0 = 0, cpu0 = 0;
  bool open = false;

  void begin(const char* text) {
    if (open && name == text) return;
    end();
    name = text;
    wall0 = wall_ms();
    cpu0 = cpu_ms();
    open = true;
  }
  void end() {
    if (!open) return;
    printf("WORLDGEN: phase %-30s %8.1f ms wall %8.1f ms cpu\n", name.c_str(), wall_ms() - wall0, cpu_ms() - cpu0);
    open = false;
  }
} phases;

void splash_hook(const char* text, float) {
  if (text && *text) phases.begin(text);
}

// The universe global as the saved-games layer keeps it: the script sees
// the table as its root-table slot "universe".
SqObject tool_universe;
void set_universe(const SqObject& u) {
  tool_universe = u;
  HSQUIRRELVM v = world_gen_vm.vm;
  SQInteger top = sq_gettop(v);
  sq_pushroottable(v);
  sq_pushstring(v, "universe", -1);
  u.push(v);
  sq_newslot(v, -3, SQFalse);
  sq_settop(v, top);
}
bool has_universe() { return !tool_universe.isNull(); }

void set_entered_world(int index) {
  HSQUIRRELVM v = world_gen_vm.vm;
  SQInteger top = sq_gettop(v);
  tool_universe.push(v);
  sq_pushstring(v, "enteredWorld", -1);
  sq_pushinteger(v, index);
  sq_newslot(v, -3, SQFalse);
  sq_settop(v, top);
}

// One line per world of the universe: index, name, kind, seed and links.
void print_universe() {
  HSQUIRRELVM v = world_gen_vm.vm;
  SQInteger top = sq_gettop(v);
  tool_universe.push(v);
  sq_pushstring(v, "worlds", -1);
  if (SQ_SUCCEEDED(sq_get(v, -2))) {
    SQInteger arr = sq_gettop(v);
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, arr))) {
      SQInteger w = sq_gettop(v);
      auto str = [&](const char* key) -> std::string {
        sq_pushstring(v, key, -1);
        const SQChar* s = "?";
        std::string r = "?";
        if (SQ_SUCCEEDED(sq_get(v, w)) && SQ_SUCCEEDED(sq_getstring(v, -1, &s))) r = s;
        sq_settop(v, w);
        return r;
      };
      auto num = [&](const char* key) -> int {
        sq_pushstring(v, key, -1);
        SQInteger i = -1;
        if (SQ_SUCCEEDED(sq_get(v, w))) {
          if (sq_gettype(v, -1) == OT_ARRAY) i = sq_getsize(v, -1);
          else sq_getinteger(v, -1, &i);
        }
        sq_settop(v, w);
        return (int)i;
      };
      printf("WORLDGEN: world %2d %-14s %-9s seed %10d, %d links\n", num("index"), str("name").c_str(),
             str("kind").c_str(), num("seed"), num("links"));
      sq_pop(v, 2);
    }
  }
  sq_settop(v, top);
}

int world_count() {
  HSQUIRRELVM v = world_gen_vm.vm;
  SQInteger top = sq_gettop(v);
  tool_universe.push(v);
  sq_pushstring(v, "worlds", -1);
  int n = SQ_SUCCEEDED(sq_get(v, -2)) ? (int)sq_getsize(v, -1) : 0;
  sq_settop(v, top);
  return n;
}

// --simulate SECONDS: the generated world left to itself, as leaving it in
// the game does, but without a renderer or game objects (height update and
// fluid simulation in steps of 0.05 s); prints what moved.
void simulate_generated_world(float seconds) {
  double water0 = 0, lava0 = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float d = HeightmapData::waterCells()[i].depth;
    (d > 0 ? water0 : lava0) += d > 0 ? d : -d;
  }
  double wall0 = wall_ms(), cpu0 = cpu_ms();
  int steps = simulate_world_headless(seconds);
  double wall = wall_ms() - wall0, cpu = cpu_ms() - cpu0;
  double water1 = 0, lava1 = 0;
  int moving = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float d = HeightmapData::waterCells()[i].depth;
    (d > 0 ? water1 : lava1) += d > 0 ? d : -d;
    moving += HeightmapData::hmap[i] != HeightmapData::target_hmap[i];
  }
  printf("WORLDGEN: simulated %.1f s (%d steps) in %.1f ms wall, %.1f ms cpu (%.3f ms per step)\n", seconds, steps, wall,
         cpu, steps ? wall / steps : 0.0);
  printf("WORLDGEN: water volume %.1f -> %.1f, lava volume %.1f -> %.1f, %d cells still moving\n", water0, water1,
         lava0, lava1, moving);
}

void usage() {
  fprintf(stderr,
          "usage: runeholm-worldgen --seed N [--kind game|main_menu|KIND] [--world INDEX]\n"
          "                         [--out FILE.png] [--size 512] [--hash] [--data DIR]\n"
          "                         [--simulate SECONDS]\n");
}

} // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1;
  bool seed_given = false, want_hash = false;
  const char* kind = "game";
  const char* out = nullptr;
  const char* data_dir = nullptr;
  int world = -1, size = 512;
  float simulate_seconds = 0;
  for (int i = 1; i < argc; i++) {
    auto next = [&]() -> const char* {
      if (i + 1 >= argc) {
        usage();
        exit(2);
      }
      return argv[++i];
    };
    if (!strcmp(argv[i], "--seed")) {
      seed = strtoull(next(), nullptr, 0);
      seed_given = true;
    } else if (!strcmp(argv[i], "--kind")) {
      kind = next();
    } else if (!strcmp(argv[i], "--world")) {
      world = atoi(next());
    } else if (!strcmp(argv[i], "--out")) {
      out = next();
    } else if (!strcmp(argv[i], "--size")) {
      size = atoi(next());
    } else if (!strcmp(argv[i], "--hash")) {
      want_hash = true;
    } else if (!strcmp(argv[i], "--simulate")) {
      simulate_seconds = (float)atof(next());
    } else if (!strcmp(argv[i], "--data")) {
      data_dir = next();
    } else {
      usage();
      return 2;
    }
  }
  if (!seed_given || size < 16 || size > 8192) {
    usage();
    return 2;
  }
  setenv("RUNEHOLM_HEADLESS", "1", 0);
  init_time_base();
  if (data_dir) {
    snprintf(app_path, sizeof app_path, "%s%s", data_dir, data_dir[strlen(data_dir) - 1] == '/' ? "" : "/");
  } else if (!get_exe_path(app_path, sizeof app_path)) {
    fprintf(stderr, "WORLDGEN: can't find the executable's folder\n");
    return 1;
  }
  app_hooks.show_splash = splash_hook;
  world_gen_progress_hook = splash_hook;
  world_hooks.set_universe = set_universe;
  world_hooks.has_universe = has_universe;

  allocate_heightmap_grids();
  phases.begin("load world script");
  bool ok = init_world_gen_vm();
  phases.end();
  if (!ok) {
    fprintf(stderr, "WORLDGEN: %s\n", get_error_message());
    return 1;
  }

  double wall0 = wall_ms(), cpu0 = cpu_ms();
  game_rnd_seed = seed;
  if (world >= 0) {
    generate_universe();
    phases.end();
    print_universe();
    int n = world_count();
    if (world >= n) {
      fprintf(stderr, "WORLDGEN: world %d does not exist (the universe has %d worlds)\n", world, n);
      return 1;
    }
    set_entered_world(world);
    wall0 = wall_ms(), cpu0 = cpu_ms();
  }
  generate_world(kind);
  phases.end();
  double wall = wall_ms() - wall0, cpu = cpu_ms() - cpu0;
  if (has_error_message()) fprintf(stderr, "WORLDGEN: %s\n", get_error_message());

  const HeightmapData::ErosionStats& es = HeightmapData::last_erosion_stats;
  printf("WORLDGEN: generate_world(\"%s\") %.1f ms wall, %.1f ms cpu\n", kind, wall, cpu);
  printf("WORLDGEN: erosion %u droplets, %" PRIu64 " steps, %" PRIu64 " long paths, %" PRIu64 " random directions\n",
         es.droplets, es.total_steps, es.long_paths, es.random_dirs);
  float lo, hi;
  HeightmapData::calcHtRange(lo, hi);
  int wet = 0, lava = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float d = HeightmapData::waterCells()[i].depth;
    wet += d > 0;
    lava += d < 0;
  }
  printf("WORLDGEN: heights %.2f .. %.2f, water %.1f%%, lava %.1f%%, sky \"%s\", start (%.1f, %.1f, %.1f)\n", lo, hi,
         wet * 100.0 / HMAP_CELLS, lava * 100.0 / HMAP_CELLS, world_script_sky_name.str, world_player_start_pos.x,
         world_player_start_pos.y, world_player_start_pos.z);
  if (simulate_seconds > 0) simulate_generated_world(simulate_seconds);
  if (want_hash) printf("hash=%016" PRIx64 "\n", world_grid_hash());
  if (out) {
    D3dColor water = get_cur_pal_color("water");
    D3dColor lava_c = get_cur_pal_color("lava");
    if (!write_world_preview(out, size, world_script_sun_dir, water, lava_c)) {
      fprintf(stderr, "WORLDGEN: can't write %s\n", out);
      return 1;
    }
  }
  fflush(stdout);
  close_world_gen_vm();
  return has_error_message() ? 1 : 0;
}
