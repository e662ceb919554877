// runeholm-worldgen as a user runs it: the real executable on a small
// content folder of its own (a world script that needs the sound-event
// constants), checked by exit status, standard output and error, and the
// picture it writes or must not write. Skipped when the tool has not been
// built next to the tests.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string tool_path() {
  char exe[512];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "";
  exe[n] = 0;
  std::string dir = exe;
  return dir.substr(0, dir.rfind('/')) + "/../bin/runeholm-worldgen";
}

std::string read_all(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// A temporary content folder with the test's world script, removed at the
// end of the test whatever happens.
struct ToolFolder {
  fs::path dir;
  ToolFolder() {
    char tmpl[] = "/tmp/rh_worldgen_tool_XXXXXX";
    dir = mkdtemp(tmpl) ? fs::path(tmpl) : fs::path();
    fs::create_directories(dir / "data" / "gen");
    std::ofstream(dir / "data" / "gen" / "main.nut") << R"(
KIND_GENERATORS <- { flat = 1, boom = 2 };
function generate_world(kind) {
  if (kind == "boom") throw "the test script refuses to build this";
  if (!("SE_enter_world" in getroottable())) throw "no sound-event constants";
  add_simplex_noise(0.0, 2.0, 4, 2, 0.5);
  set_sky_name("sound" + SE_enter_world + "-" + SE_universe_map);
}
function get_cur_pal_color(name) { return 0xFF3060A0; }
)";
    std::ofstream(dir / "data" / "gen" / "palettes.csv") << "name,water\nplain,0xFF3060A0\n";
  }
  ~ToolFolder() {
    std::error_code ec;
    if (!dir.empty()) fs::remove_all(dir, ec);
  }

  struct Result {
    int status;
    std::string out, err;
  };
  // Runs the tool with `args` on this folder's content; the log goes here too.
  Result run(const std::string& tool, const std::string& args) const {
    std::string cmd = "XDG_DATA_HOME='" + dir.string() + "' '" + tool + "' --data '" + (dir / "data").string() +
                      "/' " + args + " >'" + (dir / "out.txt").string() + "' 2>'" + (dir / "err.txt").string() + "'";
    int s = system(cmd.c_str());
    return Result{WIFEXITED(s) ? WEXITSTATUS(s) : -1, read_all(dir / "out.txt"), read_all(dir / "err.txt")};
  }
};

TEST(WorldGenTool, RefusesBadInputAndReportsFailures) {
  std::string tool = tool_path();
  if (access(tool.c_str(), X_OK) != 0) GTEST_SKIP() << "runeholm-worldgen not built";
  ToolFolder f;
  ASSERT_FALSE(f.dir.empty());
  std::string pic = (f.dir / "world.png").string();

  // Bad numbers are refused with the option and the value named, before
  // anything is generated or written.
  const char* const bad[][2] = {
      {"--seed abc", "\"abc\""},           {"--seed 12abc", "\"12abc\""},
      {"--seed -5", "\"-5\""},             {"--seed 1 --world -5", "--world"},
      {"--seed 1 --simulate abc", "\"abc\""}, {"--seed 1 --simulate -5", "\"-5\""},
      {"--seed 1 --simulate inf", "\"inf\""}, {"--seed 99999999999999999999", "--seed"},
      {"--seed 1 --size 0", "--size"},      {"--seed 1 --kind nosuch", "unknown world kind \"nosuch\""},
  };
  for (const auto& b : bad) {
    auto r = f.run(tool, std::string(b[0]) + " --out '" + pic + "'");
    EXPECT_EQ(r.status, 2) << b[0] << "\n" << r.err;
    EXPECT_NE(r.err.find(b[1]), std::string::npos) << b[0] << "\n" << r.err;
    EXPECT_FALSE(fs::exists(pic)) << b[0];
  }

  // A kind the script knows but fails to build: non-zero, the script's own
  // reason on stderr, no picture.
  auto boom = f.run(tool, "--seed 1 --kind boom --out '" + pic + "'");
  EXPECT_EQ(boom.status, 1) << boom.err;
  EXPECT_NE(boom.err.find("the test script refuses to build this"), std::string::npos) << boom.err;
  EXPECT_FALSE(fs::exists(pic));

  // A good run: the script saw the sound-event constants, the picture is a PNG.
  auto ok = f.run(tool, "--seed 0x10 --kind flat --size 16 --hash --out '" + pic + "'");
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find("sky \"sound1-49\""), std::string::npos) << ok.out;
  EXPECT_EQ(read_all(pic).substr(0, 4), "\x89PNG");
  EXPECT_FALSE(fs::exists(pic + ".tmp"));

  // A failed write is a failure, and a file already there is kept.
  auto full = f.run(tool, "--seed 1 --kind flat --size 16 --out /dev/full");
  EXPECT_NE(full.status, 0);
  EXPECT_NE(full.err.find("can't write /dev/full"), std::string::npos) << full.err;
  fs::create_directories(f.dir / "ro");
  std::ofstream(f.dir / "ro" / "old.png") << "old picture";
  fs::permissions(f.dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  if (access((f.dir / "ro").c_str(), W_OK) != 0) { // not when running as root
    auto ro = f.run(tool, "--seed 1 --kind flat --size 16 --out '" + (f.dir / "ro" / "old.png").string() + "'");
    EXPECT_NE(ro.status, 0);
    EXPECT_EQ(read_all(f.dir / "ro" / "old.png"), "old picture");
  }
  fs::permissions(f.dir / "ro", fs::perms::owner_all);

  // --help: the options and the script's kinds on stdout, exit 0.
  auto help = f.run(tool, "--help");
  EXPECT_EQ(help.status, 0) << help.err;
  for (const char* s : {"--seed", "--kind", "--world", "--out", "--size", "--hash", "--data", "--simulate"})
    EXPECT_NE(help.out.find(s), std::string::npos) << s;
  EXPECT_NE(help.out.find("Kinds: game"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("flat"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("boom"), std::string::npos) << help.out;
}

} // namespace
