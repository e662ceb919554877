// The shipped world script is reproducible: the same seed gives the same
// grids in two runs of one process, in a second process, and through the
// preview tool run twice.
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstring>
#include <string>

#include "world/worldScript.h"
#include "world/world_hooks.h"
#include "worldgen_test_util.h"

namespace {

// The content folder of the source tree (data/), found from this file.
std::string source_data_dir() {
  std::string f = __FILE__;
  if (!f.empty() && f[0] != '/') {
    // A compiler cache may record the path relative to the build folder,
    // which holds this test in tests/.
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
      exe[n] = 0;
      std::string build = exe;
      build = build.substr(0, build.rfind('/'));
      f = build.substr(0, build.rfind('/')) + "/" + f;
    }
  }
  size_t p = f.rfind("/tests/world/");
  return p == std::string::npos ? std::string() : f.substr(0, p) + "/data/";
}

uint64_t persistent_grid_hash() {
  using namespace HeightmapData;
  uint64_t h = hash_bytes(hmap, HMAP_CELLS * sizeof(float));
  h = hash_bytes(target_hmap, HMAP_CELLS * sizeof(float), h);
  h = hash_bytes(surface, HMAP_CELLS * sizeof(Surface), h);
  return hash_bytes(waterCells(), HMAP_CELLS * sizeof(Water), h);
}

class WorldGenDeterminism : public ::testing::Test {
protected:
  char saved_app_path[sizeof app_path];
  void SetUp() override {
    world_test_fresh();
    init_time_base();
    set_error_message(nullptr);
    world_hooks = WorldHooks{};
    memcpy(saved_app_path, app_path, sizeof app_path);
    snprintf(app_path, sizeof app_path, "%s", source_data_dir().c_str());
    ASSERT_TRUE(init_world_gen_vm()) << get_error_message();
  }
  void TearDown() override {
    close_world_gen_vm();
    memcpy(app_path, saved_app_path, sizeof app_path);
  }
  uint64_t generate(uint64_t seed, const char* kind) {
    game_rnd_seed = seed;
    generate_world(kind);
    EXPECT_FALSE(has_error_message()) << get_error_message();
    return persistent_grid_hash();
  }
};

// Whole generations take a while: two kinds (water and lava paths), and
// the other kinds through the second process and the tool below.
TEST_F(WorldGenDeterminism, SameSeedSameGrids) {
  for (const char* kind : {"islands", "volcanic"}) {
    uint64_t a = generate(4242, kind);
    EXPECT_EQ(generate(4242, kind), a) << kind;
  }
  EXPECT_NE(generate(4243, "volcanic"), generate(4242, "volcanic"));
}

TEST_F(WorldGenDeterminism, SecondProcessGetsTheSameGrids) {
  uint64_t here = generate(777, "game");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  fflush(stdout);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    close(fds[0]);
    HeightmapData::reset();
    uint64_t h = generate(777, "game");
    ssize_t n = write(fds[1], &h, sizeof h);
    _exit(n == (ssize_t)sizeof h ? 0 : 1);
  }
  close(fds[1]);
  uint64_t there = 0;
  ASSERT_EQ(read(fds[0], &there, sizeof there), (ssize_t)sizeof there);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_EQ(there, here);
}

TEST_F(WorldGenDeterminism, UniverseHasTwelveToTwentyLinkedWorlds) {
  game_rnd_seed = 99;
  generate_universe();
  ASSERT_FALSE(has_error_message()) << get_error_message();
  HSQUIRRELVM v = world_gen_vm.vm;
  sq_pushroottable(v);
  sq_pushstring(v, "universe", -1);
  generated_universe.push(v);
  sq_newslot(v, -3, SQFalse);
  sq_poptop(v);
  int n = wg_eval_int(v, "universe.worlds.len()");
  EXPECT_GE(n, 12);
  EXPECT_LE(n, 20);
  EXPECT_EQ(wg_eval_int(v, "universe.enteredWorld"), -1);
  EXPECT_TRUE(wg_eval_bool(v, "\"shard\" in universe.resources"));
  // Every world is reachable from world 0 through the links.
  ASSERT_TRUE(wg_run(v, R"(
    seen <- { [0] = true }; todo <- [0];
    while (todo.len() > 0) foreach (l in universe.worlds[todo.pop()].links) if (!(l in seen)) { seen[l] <- true; todo.append(l); }
  )"));
  EXPECT_EQ(wg_eval_int(v, "seen.len()"), n);
  // Entering world 3 generates it from its own seed, the same every time.
  ASSERT_TRUE(wg_run(v, "universe.enteredWorld = 3;"));
  uint64_t a = generate(1, "game");
  uint64_t b = generate(2, "game");
  EXPECT_EQ(a, b);
}

// The preview tool in two processes: the same hash line. Skipped when the
// tool has not been built next to the tests.
TEST(WorldGenTool, TwoRunsPrintTheSameHash) {
  char exe[512];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  exe[n] = 0;
  std::string tool = std::string(exe);
  tool = tool.substr(0, tool.rfind('/')) + "/../bin/runeholm-worldgen";
  if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "runeholm-worldgen not built";
  auto run = [&](const char* seed) {
    std::string cmd = tool + " --seed " + seed + " --data " + source_data_dir() + " --hash 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out, hash;
    char line[512];
    while (p && fgets(line, sizeof line, p)) out += line;
    if (p) pclose(p);
    size_t at = out.find("hash=");
    return at == std::string::npos ? std::string("none") : out.substr(at, 21);
  };
  std::string a = run("31337");
  EXPECT_NE(a, "none");
  EXPECT_EQ(run("31337"), a);
  EXPECT_NE(run("31338"), a);
}

} // namespace
