// runeholm-worldgen --seed N [--kind KIND] [--world INDEX] [--out FILE.png]
//                   [--size PIXELS] [--hash] [--data DIR] [--simulate SECONDS]
//                   [--help]
//
// Runs the real world-generation VM with the installed "gen/main.nut"
// without a window, prints the seed line, the time of each phase (wall and
// CPU) and the erosion statistics, and writes a shaded picture of the world.
// --world INDEX generates the universe from the seed first and then that
// world, as entering it in a new game would. --hash prints a hash of the
// four persistent grids (the determinism check). --simulate SECONDS lets the
// generated world settle (land and fluids, no game objects) before the hash
// and the picture.
//
// Exit status: 0 done, 1 the world script or the picture failed (nothing
// is written after a failed generation), 2 bad arguments (refused before
// anything runs).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/platform.h"
#include "audio/sound_events.h"
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

const char* const usage_text =
    "usage: runeholm-worldgen --seed N [--kind KIND] [--world INDEX] [--out FILE.png]\n"
    "                         [--size PIXELS] [--hash] [--data DIR] [--simulate SECONDS]\n"
    "\n"
    "Generates a world with the world script, without a window, and prints the\n"
    "time of each phase and the erosion statistics.\n"
    "\n"
    "  --seed N           the game random seed, 0 .. 18446744073709551615 (decimal, or\n"
    "                     hexadecimal after 0x); required\n"
    "  --kind KIND        the kind of world (default game: a kind drawn from the seed,\n"
    "                     as a new game does)\n"
    "  --world INDEX      generate the universe from the seed first, then enter its\n"
    "                     world INDEX (0 or more); the world's own kind is used\n"
    "  --out FILE.png     write a shaded top-down picture of the world\n"
    "  --size PIXELS      the picture's width and height, 16 .. 8192 (default 512)\n"
    "  --hash             print a hash of the four persistent grids\n"
    "  --data DIR         the content folder (default: the executable's folder)\n"
    "  --simulate SECONDS let the world settle (land and fluids) for 0 .. 3600 seconds\n"
    "                     of game time before the hash and the picture\n"
    "  --help             this text\n";

void usage_error() { fprintf(stderr, "%s", usage_text); }

[[noreturn]] void refuse(const char* option, const char* value, const char* wanted) {
  fprintf(stderr, "WORLDGEN: %s wants %s, not \"%s\"\n", option, wanted, value);
  exit(2);
}

// An unsigned 64-bit number: decimal digits, or hexadecimal after "0x";
// the whole text, no sign, no overflow.
bool parse_u64(const char* s, uint64_t& out) {
  int base = 10;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) base = 16, s += 2;
  if (!*s) return false;
  uint64_t v = 0;
  for (; *s; s++) {
    int d = *s >= '0' && *s <= '9' ? *s - '0'
            : base == 16 && *s >= 'a' && *s <= 'f' ? *s - 'a' + 10
            : base == 16 && *s >= 'A' && *s <= 'F' ? *s - 'A' + 10
            : -1;
    if (d < 0) return false;
    if (v > (UINT64_MAX - (uint64_t)d) / (uint64_t)base) return false;
    v = v * (uint64_t)base + (uint64_t)d;
  }
  out = v;
  return true;
}

// A decimal whole number in lo .. hi (the whole text).
bool parse_int(const char* s, int lo, int hi, int& out) {
  uint64_t v;
  if (!(s[0] >= '0' && s[0] <= '9') || !parse_u64(s, v) || (s[1] == 'x' || s[1] == 'X')) return false;
  if (v < (uint64_t)lo || v > (uint64_t)hi) return false;
  out = (int)v;
  return true;
}

// A number of seconds in 0 .. hi (the whole text, finite).
bool parse_seconds(const char* s, float hi, float& out) {
  char* end = nullptr;
  errno = 0;
  double v = strtod(s, &end);
  if (end == s || *end || errno || !std::isfinite(v) || v < 0 || v > hi) return false;
  out = (float)v;
  return true;
}

// The world script's kinds (the keys of its KIND_GENERATORS table), or "".
std::string script_kinds() {
  HSQUIRRELVM v = world_gen_vm.vm;
  if (!v) return "";
  std::string kinds;
  SQInteger top = sq_gettop(v);
  sq_pushroottable(v);
  sq_pushstring(v, "KIND_GENERATORS", -1);
  if (SQ_SUCCEEDED(sq_rawget(v, -2)) && sq_gettype(v, -1) == OT_TABLE) {
    SQInteger t = sq_gettop(v);
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, t))) {
      const SQChar* k = nullptr;
      if (SQ_SUCCEEDED(sq_getstring(v, -2, &k))) kinds += (kinds.empty() ? "" : ", ") + std::string(k);
      sq_pop(v, 2);
    }
  }
  sq_reseterror(v);
  sq_settop(v, top);
  return kinds;
}

bool is_script_kind(const std::string& kinds, const char* kind) {
  size_t at = 0, n = strlen(kind);
  while ((at = kinds.find(kind, at)) != std::string::npos) {
    bool starts = at == 0 || kinds[at - 1] == ' ';
    bool ends = at + n == kinds.size() || kinds[at + n] == ',';
    if (starts && ends) return true;
    at += n;
  }
  return false;
}

// The text of the script's last error (the message a failed entry point
// threw), or "".
std::string script_last_error() {
  HSQUIRRELVM v = world_gen_vm.vm;
  if (!v) return "";
  SQInteger top = sq_gettop(v);
  sq_getlasterror(v);
  const SQChar* s = nullptr;
  std::string r;
  if (SQ_SUCCEEDED(sq_getstring(v, -1, &s)) && s) r = s;
  sq_settop(v, top);
  return r;
}

// Writes the bytes to `path`. A regular file (or a new one) is written to
// "<path>.tmp" and renamed over it only when complete, so a failed write
// keeps the old picture; devices and pipes are written directly. Every
// write, flush and close is checked.
bool write_file_checked(const char* path, const std::vector<unsigned char>& data, std::string& error) {
  struct stat st;
  bool direct = stat(path, &st) == 0 && !S_ISREG(st.st_mode);
  std::string target = direct ? std::string(path) : std::string(path) + ".tmp";
  FILE* f = fopen(target.c_str(), "wb");
  if (!f) {
    error = strerror(errno);
    return false;
  }
  bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = fflush(f) == 0 && ok;
  int saved = errno;
  ok = fclose(f) == 0 && ok;
  if (ok && !direct && rename(target.c_str(), path) != 0) ok = false;
  if (!ok) {
    error = strerror(saved ? saved : errno);
    if (!direct) unlink(target.c_str());
  }
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  uint64_t seed = 1;
  bool seed_given = false, want_hash = false, want_help = false;
  const char* kind = "game";
  const char* out = nullptr;
  const char* data_dir = nullptr;
  int world = -1, size = 512;
  float simulate_seconds = 0;
  for (int i = 1; i < argc; i++) {
    auto next = [&]() -> const char* {
      if (i + 1 >= argc) {
        fprintf(stderr, "WORLDGEN: %s needs a value\n", argv[i]);
        usage_error();
        exit(2);
      }
      return argv[++i];
    };
    if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
      want_help = true;
    } else if (!strcmp(argv[i], "--seed")) {
      const char* a = next();
      if (!parse_u64(a, seed)) refuse("--seed", a, "a whole number 0 .. 18446744073709551615");
      seed_given = true;
    } else if (!strcmp(argv[i], "--kind")) {
      kind = next();
    } else if (!strcmp(argv[i], "--world")) {
      const char* a = next();
      if (!parse_int(a, 0, INT32_MAX, world)) refuse("--world", a, "a world index 0 or more");
    } else if (!strcmp(argv[i], "--out")) {
      out = next();
    } else if (!strcmp(argv[i], "--size")) {
      const char* a = next();
      if (!parse_int(a, 16, 8192, size)) refuse("--size", a, "a picture size 16 .. 8192");
    } else if (!strcmp(argv[i], "--hash")) {
      want_hash = true;
    } else if (!strcmp(argv[i], "--simulate")) {
      const char* a = next();
      if (!parse_seconds(a, 3600.0f, simulate_seconds)) refuse("--simulate", a, "a number of seconds 0 .. 3600");
    } else if (!strcmp(argv[i], "--data")) {
      data_dir = next();
    } else {
      fprintf(stderr, "WORLDGEN: unknown option \"%s\"\n", argv[i]);
      usage_error();
      return 2;
    }
  }
  if (!seed_given && !want_help) {
    fprintf(stderr, "WORLDGEN: --seed is required\n");
    usage_error();
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
  world_hooks.show_splash = splash_hook;
  world_gen_progress_hook = splash_hook;
  world_hooks.register_sound_event_constants = register_sound_event_constants; // as the game's VM
  world_hooks.set_universe = set_universe;
  world_hooks.has_universe = has_universe;

  allocate_heightmap_grids();
  if (want_help) {
    // The kinds come from the world script itself.
    bool loaded = init_world_gen_vm();
    std::string kinds = loaded ? script_kinds() : "";
    printf("%s\nKinds: game", usage_text);
    if (!kinds.empty()) printf(", %s", kinds.c_str());
    else printf(" (the world script's own kinds could not be read%s%s)", loaded ? "" : ": ",
                loaded ? "" : get_error_message());
    printf("\n");
    fflush(stdout);
    close_world_gen_vm();
    return 0;
  }
  phases.begin("load world script");
  bool ok = init_world_gen_vm();
  phases.end();
  if (!ok) {
    fprintf(stderr, "WORLDGEN: %s\n", get_error_message());
    return 1;
  }
  // An unknown kind is refused before anything is generated (a universe
  // world has its own kind, so --world ignores --kind).
  std::string kinds = script_kinds();
  if (world < 0 && strcmp(kind, "game") != 0 && !kinds.empty() && !is_script_kind(kinds, kind)) {
    fprintf(stderr, "WORLDGEN: unknown world kind \"%s\" (kinds: game, %s)\n", kind, kinds.c_str());
    close_world_gen_vm();
    return 2;
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
  // A failed generation leaves a partial world: report why, write no picture.
  bool failed = has_error_message();
  if (failed) {
    // The on-screen text names only the failed call; the script's own
    // message is the VM's last error.
    std::string reason = script_last_error();
    fprintf(stderr, "WORLDGEN: generate_world(\"%s\") failed: %s\n", kind,
            reason.empty() ? get_error_message() : reason.c_str());
  }

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
  int status = failed ? 1 : 0;
  if (out && !failed) {
    D3dColor water = get_cur_pal_color("water");
    D3dColor lava_c = get_cur_pal_color("lava");
    std::vector<unsigned char> png;
    std::string error;
    if (!encode_world_preview(png, size, world_script_sun_dir, water, lava_c)) {
      fprintf(stderr, "WORLDGEN: can't encode the picture for %s\n", out);
      status = 1;
    } else if (!write_file_checked(out, png, error)) {
      fprintf(stderr, "WORLDGEN: can't write %s: %s\n", out, error.c_str());
      status = 1;
    } else {
      printf("WORLDGEN: wrote %s (%d x %d)\n", out, size, size);
    }
  }
  if (fflush(stdout) != 0) status = 1;
  close_world_gen_vm();
  return status;
}
