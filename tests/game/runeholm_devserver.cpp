// The whole program driven from outside through the developer socket, the way
// tools do it: the real executable started headless with "-devserver", and
// the real devclient sending commands in their text form, one connection per
// call (so every call is also a client that leaves and a new one that comes).
// It checks the server, takes a screenshot of the main menu, presses F9 into
// the developer mode, places the camera, takes screenshots without and with
// the statistics overlay (F1 through "key"), flies with the forward key held
// at four times the speed, reads the state and quits. The pictures are kept in
// build/tests/artifacts/devserver_*.png.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "core/temp_folders.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string read_file(const std::string& path)
{
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Starts `exe` with `args`, standard output and error into `out_path`.
pid_t spawn(const char* exe, const std::vector<std::string>& args, const std::string& out_path)
{
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> all{exe};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  int err = posix_spawn(&pid, exe, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return err == 0 ? pid : -1;
}

// Waits up to `seconds`; the exit code, or -1 (killed when still running).
int wait_exit(pid_t pid, int seconds)
{
  int status = 0;
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct GameRun {
  TempDir home{"rh-devgame"};
  std::string socket = home / "dev.sock";
  std::string data_dir = home / "Runeholm/";
  pid_t pid = -1;

  // A program still running after a failed check is ended here.
  ~GameRun()
  {
    if (pid > 0)
      wait_exit(pid, 0);
  }

  // devclient with the given commands; its output (the replies, one a line).
  std::string client(std::vector<std::string> commands, int* exit_code = nullptr)
  {
    std::vector<std::string> args{"-s", socket, "-t", "20"};
    args.insert(args.end(), commands.begin(), commands.end());
    std::string out = home / "client.txt";
    pid_t c = spawn(DEVCLIENT_EXE, args, out);
    int code = c > 0 ? wait_exit(c, 60) : -1;
    if (exit_code)
      *exit_code = code;
    return read_file(out);
  }
  std::string log() const { return read_file(data_dir + "log.txt"); }
};

bool wait_for(const std::function<bool()>& ready, int seconds)
{
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (!ready()) {
    if (Clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

struct Image {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * w + x) * 3]; }
};

Image load_image(const std::string& path)
{
  Image img;
  int n = 0;
  if (uint8_t* data = stbi_load(path.c_str(), &img.w, &img.h, &n, 3)) {
    img.rgb.assign(data, data + size_t(img.w) * img.h * 3);
    stbi_image_free(data);
  }
  return img;
}

// Pixels of the rectangle that differ clearly between two pictures.
int changed_pixels(const Image& a, const Image& b, int x0, int y0, int x1, int y1)
{
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t *p = a.at(x, y), *q = b.at(x, y);
      n += std::abs(p[0] - q[0]) + std::abs(p[1] - q[1]) + std::abs(p[2] - q[2]) > 40;
    }
  return n;
}

// "k<path>\n" of "screenshot": waits for the file to be written and keeps a copy.
std::string take_screenshot(GameRun& run, const std::string& keep_name)
{
  std::string reply = run.client({"screenshot"});
  EXPECT_EQ(reply.rfind("k" + run.data_dir + "shots/shot", 0), 0u) << reply;
  std::string path = reply.substr(1, reply.find('\n') - 1);
  std::string done = "screenshot captured to '" + path + "'";
  EXPECT_TRUE(wait_for([&] { return run.log().find(done) != std::string::npos; }, 30)) << run.log();
  fs::path keep = fs::read_symlink("/proc/self/exe").parent_path() / "artifacts";
  fs::create_directories(keep);
  std::string copy = (keep / keep_name).string();
  std::error_code ec;
  fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec);
  EXPECT_FALSE(ec) << ec.message();
  return copy;
}

TEST(RuneholmDevServer, DrivenThroughTheSocketFromStartToQuit)
{
  GameRun run;
  setenv("XDG_DATA_HOME", run.home.path().c_str(), 1);
  setenv("RUNEHOLM_DEV_SOCKET", run.socket.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("RUNEHOLM_HEADLESS", "1", 1);
  setenv("ALSOFT_DRIVERS", "null", 1);
  setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
  setenv("RUNEHOLM_GL_DEBUG", "1", 1);
  setenv("RUNEHOLM_RUN_SECONDS", "300", 1); // a safety net only: "quit" ends the run
  unsetenv("RUNEHOLM_TEST_KEYS");
  run.pid = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver"}, run.home / "output.txt");
  ASSERT_GT(run.pid, 0);
  ASSERT_TRUE(wait_for([&] { return run.log().find("DevServer: listening on '" + run.socket + "'") != std::string::npos; }, 90))
      << run.log() << read_file(run.home / "output.txt");

  struct stat st;
  ASSERT_EQ(stat(run.socket.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  EXPECT_EQ(run.client({"checkServer"}), "k0.26 DEMO\n");

  // A second program on the same socket leaves it to the first, says so and runs without it.
  {
    TempDir other_home("rh-devgame2");
    setenv("XDG_DATA_HOME", other_home.path().c_str(), 1);
    setenv("RUNEHOLM_RUN_SECONDS", "0.5", 1);
    pid_t second = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver"}, other_home / "output.txt");
    EXPECT_EQ(wait_exit(second, 120), 0);
    std::string log2 = read_file(other_home / "Runeholm/log.txt");
    EXPECT_NE(log2.find("LocalServer: error 00000062 creating named pipe '" + run.socket +
                        "' (another running program serves it; left alone)"),
              std::string::npos)
        << log2;
    EXPECT_EQ(log2.find("DevServer: listening"), std::string::npos) << log2;
    setenv("XDG_DATA_HOME", run.home.path().c_str(), 1);
  }
  EXPECT_EQ(run.client({"checkServer"}), "k0.26 DEMO\n");

  // The program opens on the main menu's fly-over; F9 enters the developer mode.
  std::string state = run.client({"getState"});
  EXPECT_EQ(state.rfind("kmode=MainMenuMode ", 0), 0u) << state;
  take_screenshot(run, "devserver_main_menu.png");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(run.client({"key name=F9"}), "k\n");
  EXPECT_TRUE(wait_for([&] { return run.client({"getState"}).rfind("kmode=DevGameMode ", 0) == 0; }, 30));

  // The camera above the middle of the world looking down the valley.
  EXPECT_EQ(run.client({"setCamera x=128 y=60 z=40 ha=0 va=-25"}), "k\n");
  state = run.client({"getState"});
  EXPECT_EQ(state.rfind("kmode=DevGameMode cam=128.000,60.000,40.000 yaw=0.00 pitch=-25.00 ", 0), 0u) << state;

  std::string plain = take_screenshot(run, "devserver_dev_mode.png");
  // The screenshot's name has the second in it: the next one must not overwrite this one.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  EXPECT_EQ(run.client({"key name=F1"}), "k\n");
  std::string overlay = take_screenshot(run, "devserver_overlay.png");

  // The overlay's graphs darken and colour the top corners; the middle of the picture stays.
  Image a = load_image(plain), b = load_image(overlay);
  ASSERT_EQ(a.w, 640);
  ASSERT_EQ(b.w, 640);
  EXPECT_GT(changed_pixels(a, b, 0, 0, 300, 80), 300 * 80 / 2) << "no update graph at the top left";
  EXPECT_GT(changed_pixels(a, b, 640 - 300, 0, 640, 80), 300 * 80 / 2) << "no frame graph at the top right";
  EXPECT_LT(changed_pixels(a, b, 250, 290, 440, 355), 190 * 65 / 20) << "the scene itself changed";

  state = run.client({"getState"});
  double frame_ms = -1;
  size_t at = state.find(" frame_ms=");
  ASSERT_NE(at, std::string::npos) << state;
  frame_ms = atof(state.c_str() + at + 10);
  EXPECT_GT(frame_ms, 0.0) << state;

  // A flight with the forward key held, at four update steps per step: the
  // camera moves and the frame time stays flat.
  auto field = [](const std::string& st, const char* key) {
    size_t at = st.find(key);
    return at == std::string::npos ? -1.0 : atof(st.c_str() + at + strlen(key));
  };
  std::string before = run.client({"getState"});
  // One connection holds the key: a client's keys are released when it leaves.
  std::vector<std::string> flight{"key name=F1", "speed factor=4", "key name=W down=1"};
  for (int i = 0; i < 12; ++i) {
    flight.push_back("wait 0.5");
    flight.push_back("getState");
  }
  flight.push_back("key name=W down=0");
  flight.push_back("speed factor=1");
  std::istringstream replies(run.client(flight));
  std::vector<double> frame_samples;
  for (std::string line; std::getline(replies, line);) {
    double ms = field(line, " frame_ms=");
    if (ms > 0)
      frame_samples.push_back(ms);
  }
  std::string after = run.client({"getState"});
  EXPECT_NE(after.substr(0, after.find(" yaw=")), before.substr(0, before.find(" yaw="))) << "the camera did not fly";
  ASSERT_GE(frame_samples.size(), 8u);
  std::vector<double> first(frame_samples.begin(), frame_samples.begin() + 4);
  std::vector<double> last(frame_samples.end() - 4, frame_samples.end());
  std::sort(first.begin(), first.end());
  std::sort(last.begin(), last.end());
  EXPECT_LT(last[1], 3 * first[2] + 50) << "the frame time grew during the flight";

  // A failing command gives exit code 1 and its reason.
  int code = 0;
  EXPECT_EQ(run.client({"count class=\"NoSuchClass\""}, &code), "eUnknown class 'NoSuchClass'\n");
  EXPECT_EQ(code, 1);

  EXPECT_EQ(run.client({"quit"}), "k\n");
  EXPECT_EQ(wait_exit(run.pid, 60), 0) << read_file(run.home / "output.txt");
  run.pid = -1;
  std::string log = run.log();
  EXPECT_EQ(log.find("GL ERROR:"), std::string::npos) << log;
  EXPECT_NE(log.find("DevServer: command <setCamera>\n  x = int 128\n"), std::string::npos) << log;
  // The server stops first when the scene closes, and its socket goes with it.
  // The whole start-up came before the server opened, ending on the main menu.
  size_t menu = log.find("APP: main menu");
  EXPECT_LT(log.find("APP: world grids"), log.find("APP: game-object module")) << log;
  EXPECT_LT(log.find("APP: game-object module"), menu) << log;
  EXPECT_LT(menu, log.find("DevServer: listening")) << log;
  size_t closing = log.find("\nclosing...\n");
  ASSERT_NE(closing, std::string::npos) << log;
  EXPECT_NE(log.find("\nclosed all systems\n", closing), std::string::npos) << log;
  EXPECT_NE(access(run.socket.c_str(), F_OK), 0);
}

} // namespace
