// The real program rebuilding and swapping its module while it runs: a
// broken edit is reported and changes nothing, then a good one takes over; live
// objects of several classes (one held in two lists) must run the new code
// afterwards, keep their data, and the old library must be gone from memory.
// The program runs from a private copy of its folder with a private copy of
// the module's sources, so the build's own gameobj.so is never replaced.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/temp_dir.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

// Waits until `text` appears in the file (true) or the program ends or the
// time runs out (false).
bool wait_for(const std::string& path, const std::string& text, pid_t pid, int seconds)
{
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (read_text_file(path).find(text) != std::string::npos) return true;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return read_text_file(path).find(text) != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

TEST(LiveReload, AnEditedModuleIsRebuiltAndTakesOverTheLiveObjects)
{
  std::string home = make_temp_dir("rh-reload");
  fs::path bin = fs::path(home) / "bin", src = fs::path(home) / "gameobj";
  fs::create_directories(bin);
  for (const auto& e : fs::directory_iterator(RH_BIN_DIR)) {
    std::string name = e.path().filename();
    if (name == "runeholm" || name == "gameobj.so")
      fs::copy_file(e.path(), bin / name);
    else if (name != "gameobj_new.so")
      fs::create_symlink(e.path(), bin / name);
  }
  fs::copy(RH_MODULE_SOURCE, src, fs::copy_options::recursive);

  setenv("XDG_DATA_HOME", home.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("RUNEHOLM_HEADLESS", "1", 1);
  setenv("ALSOFT_DRIVERS", "null", 1);
  setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
  setenv("RUNEHOLM_MODULE_SRC", src.c_str(), 1);
  setenv("RUNEHOLM_SPAWN_GAMEOBJS", "Player,FireballSpell,MapArrow,WorldPortal", 1);
  unsetenv("RUNEHOLM_TEST_KEYS");
  unsetenv("RUNEHOLM_RUN_SECONDS");

  std::string out = home + "output.txt";
  std::string exe = (bin / "runeholm").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  char* argv[] = {exe.data(), const_cast<char*>("-win"), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  struct Stop {
    pid_t pid;
    ~Stop()
    {
      // SIGINT is SDL's quit request: the program shuts down in order.
      kill(pid, SIGINT);
      for (int i = 0; i < 600; ++i) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  } stop{pid};

  ASSERT_TRUE(wait_for(out, "gameobj linked: code version 1", pid, 120)) << read_text_file(out);
  ASSERT_TRUE(wait_for(out, "gameobj live: ", pid, 120)) << read_text_file(out);
  // A broken edit: the build fails, the old module keeps running.
  write_text_file((src / "src/code_version.h").string(), "#pragma once\n#error half-typed edit\n");
  ASSERT_TRUE(wait_for(out, "!!! failed to rebuild gameobj DLL", pid, 500)) << read_text_file(out);
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_EQ(read_text_file(out).find("gameobj reload"), std::string::npos);
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0); // still running

  write_text_file((src / "src/code_version.h").string(),
                  "#pragma once\n#define GAMEOBJ_CODE_VERSION 2\n");

  // "reload ok" comes after the linked module's report of every live object,
  // which takes a while in a world full of trees and stones.
  ASSERT_TRUE(wait_for(out, "gameobj reload ok", pid, 500)) << read_text_file(out);
  std::string maps = read_text_file("/proc/" + std::to_string(pid) + "/maps");
  std::string text = read_text_file(out);
  EXPECT_NE(text.find("=== rebuilding gameobj DLL"), std::string::npos);
  EXPECT_NE(text.find("gameobj reload ok"), std::string::npos);
  // The old library is unloaded: no mapping of a replaced gameobj.so is left.
  EXPECT_NE(maps.find((bin / "gameobj.so").string()), std::string::npos) << maps;
  EXPECT_EQ(maps.find("gameobj.so (deleted)"), std::string::npos) << maps;
  // Every live object now runs version 2 with its data and a clear mark; the
  // fireball spell, held in two lists, is listed twice with the same data.
  size_t after = text.find("gameobj linked: code version 2");
  std::string tail = text.substr(after);
  for (const char* line : {"Player code 2 flags 0 pos 10 20 30\n", // Player is class 10: pos (10, 20, 30)
                            "FireballSpell code 2 flags 0 pos ",
                           "MapArrow code 2 flags 0 pos ", "WorldPortal code 2 flags 0 pos "})
    EXPECT_NE(tail.find(line), std::string::npos) << line << "\n" << tail;
  size_t first = tail.find("FireballSpell code 2");
  EXPECT_NE(tail.find("FireballSpell code 2", first + 1), std::string::npos) << tail;
  EXPECT_EQ(tail.find(" code 1 "), std::string::npos) << tail;
}

} // namespace
