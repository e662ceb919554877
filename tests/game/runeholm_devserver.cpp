// The whole program driven from outside through the developer socket, the way
// tools do it: the real executable started headless with "-devserver", and
// the real devclient sending commands in their text form, one connection per
// call (so every call is also a client that leaves and a new one that comes).
// It checks the server, takes a screenshot of the main menu, presses F9 into
// the developer mode, places the camera, takes screenshots without and with
// the statistics overlay (F1 through "key"), flies with the forward key held
// at four times the speed, reads the state and quits. The pictures are kept in
// build/tests/artifacts/devserver_*.png.
#include <algorithm>
#include <cstring>

#define STB_IMAGE_IMPLEMENTATION
#include "game/dev_socket_run.h"

namespace {

using namespace devrun;

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

TEST(RuneholmDevServer, DrivenThroughTheSocketFromStartToQuit)
{
  GameRun run("rh-devgame");
  set_headless_env(run.home.path(), run.socket, "300"); // "quit" ends the run
  setenv("RUNEHOLM_GL_DEBUG", "1", 1);
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
  std::string shot;
  take_screenshot(run, "devserver_main_menu.png", &shot);
  EXPECT_EQ(shot.rfind(run.data_dir + "shots/shot", 0), 0u) << shot;
  EXPECT_EQ(run.client({"key name=F9"}), "k\n");
  EXPECT_TRUE(wait_for([&] { return run.client({"getState"}).rfind("kmode=DevGameMode ", 0) == 0; }, 30));

  // The camera above the middle of the world looking down the valley.
  EXPECT_EQ(run.client({"setCamera x=128 y=60 z=40 ha=0 va=-25"}), "k\n");
  state = run.client({"getState"});
  EXPECT_EQ(state.rfind("kmode=DevGameMode cam=128.000,60.000,40.000 yaw=0.00 pitch=-25.00 ", 0), 0u) << state;

  std::string plain = take_screenshot(run, "devserver_dev_mode.png", &shot);
  EXPECT_EQ(shot.rfind(run.data_dir + "shots/shot", 0), 0u) << shot;
  EXPECT_EQ(run.client({"key name=F1"}), "k\n");
  std::string overlay = take_screenshot(run, "devserver_overlay.png", &shot);
  EXPECT_EQ(shot.rfind(run.data_dir + "shots/shot", 0), 0u) << shot;

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
