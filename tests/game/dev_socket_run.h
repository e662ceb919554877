// The real program driven through its developer socket by the real devclient:
// starting processes, waiting for them, reading their files and keeping the
// screenshots they take (build/tests/artifacts/). Shared by the game tests
// that talk to the socket.
#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <stb/stb_image.h>

#include "core/temp_folders.h"

extern char** environ;

namespace devrun {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

inline std::string read_file(const std::string& path)
{
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Starts `exe` with `args`, standard output and error into `out_path`.
inline pid_t spawn(const char* exe, const std::vector<std::string>& args, const std::string& out_path)
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
inline int wait_exit(pid_t pid, int seconds)
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

inline bool wait_for(const std::function<bool()>& ready, int seconds)
{
  auto deadline = Clock::now() + std::chrono::seconds(seconds);
  while (!ready()) {
    if (Clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Headless, null sound, our own data folder and socket; `run_seconds` is only
// a safety net (the tests end the run themselves).
inline void set_headless_env(const std::string& home, const std::string& socket, const char* run_seconds)
{
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  setenv("RUNEHOLM_DEV_SOCKET", socket.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("RUNEHOLM_HEADLESS", "1", 1);
  setenv("ALSOFT_DRIVERS", "null", 1);
  setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
  setenv("RUNEHOLM_RUN_SECONDS", run_seconds, 1);
  unsetenv("RUNEHOLM_TEST_KEYS");
}

// One run of the program in a temporary home, with its socket there.
struct GameRun {
  explicit GameRun(const char* prefix) : home(prefix) {}
  TempDir home;
  std::string socket = home / "dev.sock";
  std::string data_dir = home / "Runeholm/";
  pid_t pid = -1;

  // A program still running after a failed check is ended here.
  ~GameRun()
  {
    if (pid > 0)
      wait_exit(pid, 0);
  }

  // devclient with the given commands, one connection; its replies, one a line.
  std::string client(std::vector<std::string> commands, int* exit_code = nullptr)
  {
    std::vector<std::string> args{"-s", socket, "-t", "60"};
    args.insert(args.end(), commands.begin(), commands.end());
    std::string out = home / "client.txt";
    pid_t c = spawn(DEVCLIENT_EXE, args, out);
    int code = c > 0 ? wait_exit(c, 120) : -1;
    if (exit_code)
      *exit_code = code;
    return read_file(out);
  }
  std::string log() const { return read_file(data_dir + "log.txt"); }

  // "getState", and waiting until it holds `part`.
  std::string state() { return client({"getState"}); }
  bool wait_state(const std::string& part, int seconds = 60)
  {
    return wait_for([&] { return state().find(part) != std::string::npos; }, seconds);
  }
  // "menuElement": a named element of the module's shown screen; fails the
  // test when it is missing.
  struct Element {
    int x = -1, y = -1;
    bool enabled = false;
    std::string text;
  };
  Element element(const std::string& name)
  {
    std::string r = client({"menuElement name=\"" + name + "\""});
    Element e;
    int enabled = 0;
    char text[128] = "";
    EXPECT_GE(sscanf(r.c_str(), "kx=%d y=%d enabled=%d text=%127[^\n]", &e.x, &e.y, &enabled, text), 3) << r;
    e.enabled = enabled != 0;
    e.text = text;
    return e;
  }
  // Move there, press and release a button (1 left, 2 right).
  void press(int x, int y, int button = 1)
  {
    std::string at = " x=" + std::to_string(x) + " y=" + std::to_string(y), b = " button=" + std::to_string(button);
    EXPECT_EQ(client({"mouse" + at, "mouse" + at + b + " down=1", "mouse" + at + b + " down=0"}), "k\nk\nk\n");
  }
  void click(const std::string& name)
  {
    Element e = element(name);
    press(e.x, e.y, 1);
  }
};

struct Image {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * w + x) * 3]; }
};

inline Image load_image(const std::string& path)
{
  Image img;
  int n = 0;
  if (uint8_t* data = stbi_load(path.c_str(), &img.w, &img.h, &n, 3)) {
    img.rgb.assign(data, data + size_t(img.w) * img.h * 3);
    stbi_image_free(data);
  }
  return img;
}

// "screenshot", then waits for the file and keeps a copy as artifacts/<keep_name>;
// the copy's path. `shot_path` (optional) gets the path the program named.
inline std::string take_screenshot(GameRun& run, const std::string& keep_name, std::string* shot_path = nullptr)
{
  std::string reply = run.client({"screenshot"});
  EXPECT_EQ(reply.rfind("k", 0), 0u) << reply;
  std::string path = reply.substr(1, reply.find('\n') - 1);
  if (shot_path)
    *shot_path = path;
  std::string done = "screenshot captured to '" + path + "'";
  EXPECT_TRUE(wait_for([&] { return run.log().find(done) != std::string::npos; }, 60)) << run.log();
  fs::path keep = fs::read_symlink("/proc/self/exe").parent_path() / "artifacts";
  fs::create_directories(keep);
  std::string copy = (keep / keep_name).string();
  std::error_code ec;
  fs::copy_file(path, copy, fs::copy_options::overwrite_existing, ec);
  EXPECT_FALSE(ec) << ec.message();
  return copy;
}

} // namespace devrun
