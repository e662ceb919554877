// What the end-to-end playthroughs share: the real program driven through its
// developer socket with the game's own commands ("player", "ground", "cast",
// "orbs", ...), plus the check that a picture shows a world.
#pragma once
#include <cmath>
#include <map>

#include "game/dev_socket_run.h"

namespace e2e {

using namespace devrun;

// "k" replies of key=value pairs.
inline std::map<std::string, std::string> pairs(const std::string& reply)
{
  std::map<std::string, std::string> kv;
  std::string body = reply.substr(reply.rfind('k', 0) == 0 ? 1 : 0);
  std::istringstream in(body);
  std::string word;
  while (in >> word) {
    size_t eq = word.find('=');
    if (eq != std::string::npos) kv[word.substr(0, eq)] = word.substr(eq + 1);
  }
  return kv;
}

inline std::vector<double> numbers(const std::string& text)
{
  std::vector<double> v;
  std::istringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) v.push_back(atof(part.c_str()));
  return v;
}

struct Playthrough : GameRun {
  explicit Playthrough(const char* name = "rh-e2e") : GameRun(name) {}

  // The real program, headless with the developer server, at its main menu.
  void start()
  {
    set_headless_env(home.path(), socket, "900");
    pid = spawn(RUNEHOLM_EXE, {"-win", "-360", "-devserver"}, home / "output.txt");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(wait_for([&] { return log().find("DevServer: listening") != std::string::npos; }, 120))
        << log() << read_file(home / "output.txt");
    ASSERT_TRUE(wait_state("menu=main", 120)) << state() << log();
  }
  // "Save and exit" from the in-game menu, then Continue from the main menu.
  void save_exit_and_continue()
  {
    EXPECT_EQ(one("key name=Escape"), "k\n");
    ASSERT_TRUE(wait_state("menu=game", 120)) << state();
    click("exit");
    ASSERT_TRUE(wait_state("menu=main", 300)) << state() << log();
    click("continue");
    ASSERT_TRUE(wait_state("mode=PlayGameMode", 300)) << state() << log();
  }
  // Quits through the socket: a clean exit and no GL error in the log.
  void quit()
  {
    EXPECT_EQ(one("quit"), "k\n");
    EXPECT_EQ(wait_exit(pid, 120), 0) << read_file(home / "output.txt");
    pid = -1;
    std::string text = log();
    EXPECT_EQ(text.find("GL ERROR:"), std::string::npos) << text;
  }

  std::string one(const std::string& command) { return client({command}); }
  std::map<std::string, std::string> player() { return pairs(one("player")); }
  struct Ground {
    double land = 0, water = 0, lava = 0;
  };
  Ground ground(double x, double z)
  {
    auto kv = pairs(one("ground x=" + std::to_string(x) + " z=" + std::to_string(z)));
    return Ground{atof(kv["height"].c_str()), atof(kv["water"].c_str()), atof(kv["lava"].c_str())};
  }
  std::string cast(const std::string& spell, double x, double z)
  {
    return one("cast spell=" + spell + " x=" + std::to_string(x) + " z=" + std::to_string(z));
  }
  // Up to `n` points 14 to 44 cells around (x, z), 12 apart, with no water or
  // lava within 3 cells.
  std::vector<std::pair<double, double>> dry_spots(double x, double z, size_t n)
  {
    std::vector<std::pair<double, double>> found;
    for (double r = 14; r <= 44 && found.size() < n; r += 6)
      for (int a = 0; a < 24 && found.size() < n; ++a) {
        double sx = x + r * std::cos(a * M_PI / 12), sz = z + r * std::sin(a * M_PI / 12);
        bool ok = true;
        for (auto [ox, oz] : found) ok = ok && std::hypot(sx - ox, sz - oz) >= 12;
        for (int d = 0; d < 5 && ok; ++d) {
          Ground g = ground(sx + (d == 1) * 3 - (d == 2) * 3, sz + (d == 3) * 3 - (d == 4) * 3);
          ok = g.water == 0 && g.lava == 0;
        }
        if (ok) found.push_back({sx, sz});
      }
    return found;
  }
  // Moves the player as a developer would: F9 to fly the free camera there,
  // F9 back, and the player takes the camera's place.
  void fly_to(double x, double z, double above = 12)
  {
    double h = ground(x, z).land;
    EXPECT_EQ(one("key name=F9"), "k\n");
    ASSERT_TRUE(wait_state("mode=DevGameMode", 60)) << state();
    EXPECT_EQ(one("setCamera x=" + std::to_string(x) + " y=" + std::to_string(h + above) + " z=" + std::to_string(z) +
                  " ha=0 va=-30"),
              "k\n");
    EXPECT_EQ(one("key name=F9"), "k\n");
    ASSERT_TRUE(wait_state("mode=PlayGameMode", 60)) << state();
  }
  // Lets game time pass (the world clock, 20 ticks a second: a busy machine
  // runs the game slower than real time).
  int world_time() { return atoi(pairs(state())["world_time"].c_str()); }
  void play_seconds(double game_seconds)
  {
    int until = world_time() + int(game_seconds * 20);
    EXPECT_TRUE(wait_for([&] { return world_time() >= until; }, 300)) << "the world clock stands still";
  }
  // The land at (x, z) once it stopped moving (a hill rises for a while).
  Ground settled(double x, double z)
  {
    Ground g = ground(x, z);
    for (int i = 0; i < 30; ++i) {
      play_seconds(1);
      Ground next = ground(x, z);
      if (std::fabs(next.land - g.land) < 0.02) return next;
      g = next;
    }
    return g;
  }

};

// A picture of a world: not one flat colour, sky-ish colours at the top, no
// pure black band (the error band of a failed pass).
inline void expect_world_picture(const Image& img, const char* what)
{
  ASSERT_GT(img.w, 0) << what;
  int distinct = 0, black_rows = 0;
  const uint8_t* first = img.at(0, img.h / 2);
  for (int y = 0; y < img.h; ++y) {
    int dark = 0;
    for (int x = 0; x < img.w; ++x) {
      const uint8_t* p = img.at(x, y);
      distinct += std::abs(p[0] - first[0]) + std::abs(p[1] - first[1]) + std::abs(p[2] - first[2]) > 30;
      dark += p[0] + p[1] + p[2] < 6;
    }
    black_rows += dark == img.w;
  }
  EXPECT_GT(distinct, img.w * img.h / 20) << what << ": a flat picture";
  EXPECT_LT(black_rows, img.h / 10) << what << ": black rows";
}

} // namespace e2e
