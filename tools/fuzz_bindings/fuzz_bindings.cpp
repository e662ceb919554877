// libFuzzer target for the host's script bindings: arbitrary Squirrel source runs in one VM
// holding what the game's VMs register - the standard libraries, the math and colour types
// (vec4f, ColorRamp, FloatRamp, the colour and random functions), the world-generation API
// and raster classes on the real world grids, and the sound script's functions on OpenAL's
// null device. After the script, its `events` table is bound and every sound event called,
// as the sound layer does. Step and memory limits turn endless loops and runaway growth into
// script errors, so only real faults remain: crashes, sanitizer reports, leaks, fatal stops.
// Built with clang by scripts/fuzz-bindings.sh, never by the main (GCC) build.
//
// The sound script's native functions live in an unnamed namespace of its source file, which
// is compiled here as part of this file.
#include "../../src/audio/sound_script.cpp"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/platform.h"
#include "audio/sound.h"
#include "core/game_rnd.h"
#include "script/sqMath.h"
#include "sqlib_internal.h"
#include "world/heightmap.h"
#include "world/noise.h"
#include "world/worldGenVM.h"

namespace {

constexpr size_t kMaxSource = 16 * 1024;
// Lower than fuzz_squirrel's: a callback per cell of the world (processAll, repaint_land) costs
// 65,536 steps, and more than about one such pass per input only slows the search.
constexpr SQUnsignedInteger kStepLimit = 100000;
constexpr size_t kMemoryLimit = 256u << 20;

// A short mono WAV the seed scripts load as "s.wav", in a folder next to the fuzzer that
// serves as the content folder (so nothing is left in /tmp).
void make_content_folder(const char* argv0) {
  std::string dir(argv0);
  size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? std::string("./") : dir.substr(0, slash + 1);
  dir += "content/";
  mkdir(dir.c_str(), 0755);
  snprintf(app_path, sizeof app_path, "%s", dir.c_str());
  std::string wav = dir + "s.wav";
  SF_INFO info{};
  info.channels = 1;
  info.samplerate = 22050;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  if (SNDFILE* sf = sf_open(wav.c_str(), SFM_WRITE, &info)) {
    std::vector<short> frames(2205);
    for (size_t i = 0; i < frames.size(); ++i) frames[i] = short((i % 50) * 600 - 15000);
    sf_writef_short(sf, frames.data(), sf_count_t(frames.size()));
    sf_close(sf);
  }
}

// Functions that take a file name see only names inside the content folder: a fuzzed absolute
// path could otherwise overwrite any file (BitMap.dumpTga) or block on a device (the loaders).
// The generators' documented preconditions (heights 0 <= min <= max, tiles powers of two) are
// fatal assertions by design; the wrappers raise a script error instead, so that fuzzing goes on
// past them and every other fatal stop still ends the run.
const char* kPrelude = R"(
local function local_name(args) {
  if (args.len() > 0 && typeof args[0] == "string" && (args[0].find("/") != null || args[0].find("\\") != null))
    args[0] = "s.wav";
  return args;
}
local function with_this(self, args) {
  local all = [self];
  all.extend(args);
  return all;
}
local function wrap_root(name, adjust) {
  local f = getroottable()[name];
  getroottable()[name] = function(...) { return f.acall(with_this(this, adjust(vargv))); };
}
foreach (name in ["include", "load_sample", "load_music", "load_chained_music"])
  wrap_root(name, local_name);
local dump = BitMap.dumpTga;
BitMap.dumpTga = function(...) { return dump.acall(with_this(this, local_name(vargv))); };

local function number(x) { local t = typeof x; return t == "integer" || t == "float" || t == "bool"; }
local function tile_ok(x) { if (!number(x)) return true; x = x.tointeger(); return x > 0 && (x & (x - 1)) == 0; }
local function heights_ok(a, b) {
  if (!number(a) || !number(b)) return true;
  a = a.tofloat(); b = b.tofloat();
  return a <= b && a >= 0;
}
local function check(rule) {
  return function(args) {
    if (!rule(args)) throw "outside the generator's preconditions";
    return args;
  };
}
wrap_root("add_fast_noise", check(@(a) a.len() < 2 || heights_ok(a[0], a[1])));
wrap_root("add_simplex_noise", check(@(a) a.len() < 3 || (heights_ok(a[0], a[1]) && tile_ok(a[2]))));
wrap_root("add_voronoi_hills", check(@(a) a.len() < 1 || tile_ok(a[0])));
wrap_root("gen_voronoi_faults", check(@(a) a.len() < 1 || tile_ok(a[0])));

// Work that grows without bound with an argument (cells visited ~ radius squared, placement
// tries ~ points cubed, skeleton passes when jitter makes steps negative) hangs by design for
// absurd values; they are kept out here so that a timeout means something new (docs/testing.md).
local function at_most(x, limit) { return !number(x) || fabs(x.tofloat()) <= limit; }
foreach (name in ["gen_crater", "flatten_circle", "get_average_circle_height"])
  wrap_root(name, check(@(a) a.len() < 3 || at_most(a[2], 1024)));
wrap_root("make_skeleton_map", check(@(a) a.len() < 2 || at_most(a[1], 1)));
local place = BitMap.placePoints;
BitMap.placePoints = function(...) { return place.acall(with_this(this, check(@(a) a.len() < 1 || at_most(a[0], 512))(vargv))); };
)";

// Replaying an input with FUZZ_VERBOSE set prints why a script stopped.
void report(HSQUIRRELVM v, const char* what)
{
    if (!getenv("FUZZ_VERBOSE"))
        return;
    fprintf(stderr, "%s: %s\n", what, SquirrelError(v).what());
}

bool run(HSQUIRRELVM v, const char* code, size_t size, const char* name)
{
    if (SQ_FAILED(sq_compilebuffer(v, code, SQInteger(size), name, SQTrue))) {
        report(v, "compile error");
        return false;
    }
    sq_pushroottable(v);
    if (SQ_FAILED(sq_call(v, 1, SQFalse, SQTrue))) {
        report(v, "script error");
        return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("ALSOFT_DRIVERS", "null", 1);
    setenv("RUNEHOLM_HEADLESS", "1", 1);
    make_content_folder((*argv)[0]);
    init_time_base();
    allocate_heightmap_grids();
    init_sound(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxSource)
        return 0;
    HeightmapData::reset();
    game_rnd_seed = 12345;
    reseed_noise();
    set_error_message(nullptr);

    // The sound script's own VM object, so that its natives and event binding see this VM.
    if (!sound_vm.init(1024))
        abort();
    HSQUIRRELVM v = sound_vm.vm;
    sqi_set_step_limit(v, kStepLimit);
    sqi_set_memory_limit(v, kMemoryLimit);
    register_script_math(v);
    register_world_gen_masks(v);
    register_world_gen_api(v);

    const SQInteger top = sq_gettop(v);
    if (!run(v, kPrelude, strlen(kPrelude), "prelude"))
        abort();
    sq_settop(v, top);
    if (run(v, reinterpret_cast<const char*>(data), size, "fuzz")) {
        try {
            bind_events();
            for (int e = 0; e < NUM_SOUND_EVENTS; ++e)
                get_sound_event_channel(e);
            do_music_chaining();
        } catch (const SquirrelError& e) {
            // no `events` table: the sound layer reports it the same way
            if (getenv("FUZZ_VERBOSE"))
                fprintf(stderr, "binding the events: %s\n", e.what());
        }
    }
    sq_settop(v, top);
    close_sound_script();
    update_sound(0.05f);
    return 0;
}
