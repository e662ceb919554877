// Platform utilities: time conversions, folders, path completion, file
// times, the shell, shared libraries and the pipe byte count.
#include "core/platform.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/temp_dir.h"
#include "temp_data_home.h"

namespace {

TEST(TimeBase, ConversionsUseTheQueriedFrequency) {
  set_time_base_frequency(10000000); // a 10 MHz counter
  EXPECT_EQ(5000000, msec_to_ticks(500));
  EXPECT_EQ(1234, get_time_msec(12345678));       // truncating
  EXPECT_EQ(1234567, get_time_usec(12345678));
  EXPECT_FLOAT_EQ(1.2345678f, get_time_sec(12345678));
  EXPECT_EQ(-3, get_time_msec(-30001)); // toward zero, like the plain division

  init_time_base();
  EXPECT_EQ(1000000000, time_ticks_per_sec());
  EXPECT_EQ(500000000, msec_to_ticks(500));
  int64_t a = get_ref_time();
  usleep(2000);
  int64_t b = get_ref_time();
  EXPECT_GE(get_time_usec(b - a), 2000);
  EXPECT_LT(get_time_msec(b - a), 1000);
}

TEST(Paths, ExecutableNameAndFolder) {
  char name[260], folder[260];
  ASSERT_TRUE(get_exe_filename(name, sizeof name));
  ASSERT_TRUE(get_exe_path(folder, sizeof folder));
  size_t l = strlen(folder);
  ASSERT_GT(l, 0u);
  EXPECT_EQ('/', folder[l - 1]);
  EXPECT_EQ(0, strncmp(name, folder, l));
  EXPECT_NE(nullptr, strstr(name + l, "tests_core"));
  char tiny[4];
  EXPECT_FALSE(get_exe_filename(tiny, sizeof tiny)); // does not fit
}

TEST(Paths, MakeFullPathJoinsAndNormalisesWithoutTouchingTheDisk) {
  char saved[sizeof app_path];
  memcpy(saved, app_path, sizeof saved);
  strcpy(app_path, "/game/");
  EXPECT_STREQ("/game/data/x.png", make_full_path("data/x.png"));
  EXPECT_STREQ("/a/b", make_full_path("/a/b"));
  EXPECT_STREQ("/a/c", make_full_path("/a/./b/../c"));
  EXPECT_STREQ("/compiler/main.ls", make_full_path("../compiler/main.ls"));
  EXPECT_STREQ("/x", make_full_path("../../../x")); // ".." stops at the root
  EXPECT_STREQ("/game/a/b/", make_full_path("a//b/"));
  EXPECT_STREQ("/game/data/x.png", make_full_path("data\\x.png"));
  EXPECT_STREQ("/game/", make_full_path(nullptr));
  EXPECT_STREQ("/game", make_full_path("."));
  EXPECT_STREQ("/", make_full_path("/.."));
  memcpy(app_path, saved, sizeof saved);
}

// Paths may be as long as the platform allows; only a longer one is fatal.
TEST(PathsDeathTest, APathBeyondThePlatformLimitIsFatal) {
  std::string longName = "/" + std::string(PATH_MAX, 'n');
  EXPECT_EXIT(make_full_path(longName.c_str()), testing::ExitedWithCode(100), "failed ASSERT\\(l<BS\\)");
}

// A user-data folder deeper than 260 characters holds the log and the
// settings like any other (it used to stop the program before its first line).
TEST(Paths, DataFolderDeeperThan260CharactersHoldsLogAndSettings) {
  TempDataHome home;
  std::string deep = home.path + "/" + std::string(120, 'a') + "/" + std::string(120, 'b') + "/";
  ASSERT_GT(deep.size(), 260u);
  setenv("XDG_DATA_HOME", deep.c_str(), 1);
  std::string folder = deep + "Runeholm/";
  EXPECT_EQ(folder + "log.txt", get_appdata_folder_path("log.txt").c_str());
  EXPECT_EQ(deep + "x/y.dat", make_full_path((deep + "x/y.dat").c_str()).c_str());
  debug("a line in the deep folder");
  set_config_int("screen_wd", 640);
  EXPECT_TRUE(flush_app_config());
  close_debug_log();
  EXPECT_TRUE(std::filesystem::exists(folder + "log.txt"));
  EXPECT_TRUE(std::filesystem::exists(folder + "settings.cfg"));
}

TEST(Paths, DataFolderFollowsXdgThenHome) {
  std::string xdg = make_temp_dir("rh-xdg");
  setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  EXPECT_EQ(xdg, get_appdata_path().c_str());
  EXPECT_EQ(xdg + "saves", get_appdata_path("saves").c_str());
  EXPECT_EQ(xdg + "Runeholm/settings.cfg", get_appdata_folder_path("settings.cfg").c_str());

  std::string noSlash = xdg.substr(0, xdg.size() - 1);
  setenv("XDG_DATA_HOME", noSlash.c_str(), 1);
  EXPECT_EQ(xdg + "Runeholm/", get_appdata_folder_path("").c_str());

  std::string home = make_temp_dir("rh-home");
  const char* oldHome = getenv("HOME");
  std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", home.c_str(), 1);
  setenv("XDG_DATA_HOME", "relative/ignored", 1);
  EXPECT_EQ(home + ".local/share/Runeholm/log.txt", get_appdata_folder_path("log.txt").c_str());
  unsetenv("XDG_DATA_HOME");
  unsetenv("HOME");
  EXPECT_STREQ(app_path, get_appdata_path());
  if (oldHome) setenv("HOME", savedHome.c_str(), 1);
  use_fresh_data_home();
}

TEST(Paths, MakeFoldersCreatesParents) {
  std::string base = make_temp_dir();
  std::string deep = base + "a/b/c";
  EXPECT_TRUE(make_folders(deep.c_str()));
  EXPECT_TRUE(make_folders((deep + "/").c_str())); // existing is fine
  write_text_file(base + "f", "x");
  EXPECT_FALSE(make_folders((base + "f").c_str()));
}

TEST(FileTime, MissingIsZeroAndChangesAreSeen) {
  std::string path = make_temp_dir() + "watched.txt";
  EXPECT_EQ(0, get_file_time(path.c_str()));
  EXPECT_EQ(0, get_file_time(nullptr));
  write_text_file(path, "one");
  int64_t t1 = get_file_time(path.c_str());
  EXPECT_GT(t1, 0);
  timespec times[2] = {{1000, 0}, {1000, 500}}; // a different time in the same second
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
  int64_t t2 = get_file_time(path.c_str());
  EXPECT_NE(t1, t2);
  EXPECT_EQ(1000 * 1000000000LL + 500, t2);
}

TEST(Libraries, LoadLookUpAndFree) {
  void* lib = load_library("libm.so.6");
  ASSERT_NE(nullptr, lib);
  auto fn = (double (*)(double))get_library_function(lib, "sqrt");
  ASSERT_NE(nullptr, fn);
  EXPECT_EQ(3.0, fn(9.0));
  EXPECT_EQ(nullptr, get_library_function(lib, "no_such_function_here"));
  EXPECT_TRUE(free_library(lib));
  EXPECT_EQ(nullptr, load_library("/nonexistent/gameobj.so"));
  EXPECT_FALSE(free_library(nullptr));
}

TEST(Pipes, BytesWaitingCountsBufferedAndPendingData) {
  EXPECT_EQ(0, get_pipe_bytes_waiting(nullptr));
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  FILE* in = fdopen(fds[0], "r");
  ASSERT_NE(nullptr, in);
  EXPECT_EQ(0, get_pipe_bytes_waiting(in)); // open writer, nothing sent
  ASSERT_EQ(6, write(fds[1], "ab\ncd\n", 6));
  EXPECT_EQ(6, get_pipe_bytes_waiting(in));
  char line[16];
  ASSERT_NE(nullptr, fgets(line, sizeof line, in)); // stdio buffers the rest
  EXPECT_STREQ("ab\n", line);
  EXPECT_EQ(3, get_pipe_bytes_waiting(in));
  ASSERT_NE(nullptr, fgets(line, sizeof line, in));
  close(fds[1]);
  // The writer is gone: report 1 so that the caller reads and sees the end.
  EXPECT_EQ(1, get_pipe_bytes_waiting(in));
  EXPECT_EQ(nullptr, fgets(line, sizeof line, in));
  EXPECT_TRUE(feof(in));
  fclose(in);
}

TEST(Shell, OpensTheDocumentWithXdgOpen) {
  // A stand-in xdg-open on PATH records what it was asked to open.
  std::string bin = make_temp_dir("rh-bin");
  std::string marker = bin + "opened.txt";
  write_text_file(bin + "xdg-open", "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$(pwd)\" > '" + marker + ".part'\nmv '" +
                                        marker + ".part' '" + marker + "'\n");
  chmod((bin + "xdg-open").c_str(), 0755);
  std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (bin.substr(0, bin.size() - 1) + ":" + oldPath).c_str(), 1);
  shell_execute("open", "https://example.org/", nullptr, "/tmp");
  setenv("PATH", oldPath.c_str(), 1);
  for (int i = 0; i < 300 && !file_exists(marker); i++) usleep(10000);
  EXPECT_EQ("https://example.org/|/tmp", read_text_file(marker));
}

TEST(GpuLoad, IsUnavailable) {
  EXPECT_FALSE(open_gpu_load_query());
  EXPECT_EQ(-1, read_gpu_load());
  close_gpu_load_query();
}

} // namespace
