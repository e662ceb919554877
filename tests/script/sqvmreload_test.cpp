// Reloadable VMs: include once per load (ignoring letter case), change
// detection by file time, reloading all or only changed files, and a
// failure in the middle of a reload.
#include "script/sqVMReload.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "core/platform.h"
#include "core/temp_dir.h"
#include "script/sqbind.h"

namespace {

class ReloadTest : public testing::Test {
protected:
  SqReloadableVM rvm;
  std::string dir;

  void SetUp() override {
    use_fresh_data_home();
    dir = make_temp_dir("rh-reload");
    ASSERT_TRUE(rvm.init(1024));
  }
  void TearDown() override { close_debug_log(); }

  std::string path(const char* name) { return dir + name; }

  // A file that counts its runs in the root table under `counter`.
  void writeCounting(const char* name, const char* counter, const std::string& extra = "") {
    write_text_file(path(name), std::string("::") + counter + " <- (\"" + counter + "\" in getroottable()) ? ::" +
                                    counter + " + 1 : 1;\n" + extra);
  }

  int runs(const char* counter) {
    SQInteger top = sq_gettop(rvm.vm);
    sq_pushroottable(rvm.vm);
    sq_pushstring(rvm.vm, counter, -1);
    SQInteger n = 0;
    if (SQ_SUCCEEDED(sq_get(rvm.vm, -2))) sq_getinteger(rvm.vm, -1, &n);
    sq_settop(rvm.vm, top);
    return n;
  }

  // Moves a file's modification time by `seconds` (a touch without new contents).
  void touch(const char* name, int seconds) {
    struct stat st;
    ASSERT_EQ(stat(path(name).c_str(), &st), 0);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_sec += seconds;
    ASSERT_EQ(utimensat(AT_FDCWD, path(name).c_str(), times, 0), 0);
  }
};

TEST_F(ReloadTest, IncludingAFileTwiceRunsItOnceAlsoInAnotherLetterCase) {
  writeCounting("lib.nut", "lib_runs");
  EXPECT_TRUE(rvm.include(path("lib.nut").c_str()));
  EXPECT_TRUE(rvm.include(path("lib.nut").c_str()));
  EXPECT_TRUE(rvm.include(path("LIB.NUT").c_str()));
  EXPECT_EQ(runs("lib_runs"), 1);
  EXPECT_EQ(rvm.files.num, 1);
}

TEST_F(ReloadTest, ScriptsIncludeFilesThroughTheIncludeFunction) {
  writeCounting("lib.nut", "lib_runs");
  write_text_file(path("main.nut"), "include(\"" + path("lib.nut") + "\");\ninclude(\"" + path("Lib.nut") +
                                        "\");\nmain_ok <- lib_runs == 1;\n");
  EXPECT_TRUE(rvm.include(path("main.nut").c_str()));
  EXPECT_EQ(runs("lib_runs"), 1);
  ASSERT_EQ(rvm.files.num, 2);
  EXPECT_STREQ(rvm.files[0].path, path("main.nut").c_str());
  EXPECT_STREQ(rvm.files[1].path, path("lib.nut").c_str());
}

TEST_F(ReloadTest, OnlyTheMathAndStringLibrariesAreRegistered) {
  write_text_file(path("libs.nut"),
                  "has_math <- \"sqrt\" in getroottable();\n"
                  "has_string <- \"format\" in getroottable() && \"regexp\" in getroottable();\n"
                  "has_io <- \"file\" in getroottable() || \"blob\" in getroottable() || \"system\" in getroottable();\n"
                  "::flags <- (has_math ? 1 : 0) + (has_string ? 2 : 0) + (has_io ? 4 : 0);\n");
  EXPECT_TRUE(rvm.include(path("libs.nut").c_str()));
  EXPECT_EQ(runs("flags"), 3);
}

TEST_F(ReloadTest, TouchingAFileTriggersAReload) {
  writeCounting("a.nut", "a_runs");
  ASSERT_TRUE(rvm.include(path("a.nut").c_str()));
  EXPECT_FALSE(rvm.needsReload());
  touch("a.nut", 5);
  EXPECT_TRUE(rvm.needsReload());
  EXPECT_TRUE(rvm.reloadScripts(true));
  EXPECT_FALSE(rvm.needsReload());
  EXPECT_EQ(runs("a_runs"), 2);
  touch("a.nut", -20); // an older time counts too
  EXPECT_TRUE(rvm.needsReload());
}

TEST_F(ReloadTest, ReloadingRunsEveryFileOrOnlyTheChangedOnes) {
  writeCounting("a.nut", "a_runs");
  writeCounting("b.nut", "b_runs");
  ASSERT_TRUE(rvm.include(path("a.nut").c_str()));
  ASSERT_TRUE(rvm.include(path("b.nut").c_str()));
  touch("b.nut", 3);
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_EQ(runs("a_runs"), 1);
  EXPECT_EQ(runs("b_runs"), 2);
  touch("b.nut", 3);
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(runs("a_runs"), 2);
  EXPECT_EQ(runs("b_runs"), 3);
}

TEST_F(ReloadTest, AFileNewlyIncludedDuringAReloadRunsOnce) {
  writeCounting("main.nut", "main_runs");
  writeCounting("tail.nut", "tail_runs");
  ASSERT_TRUE(rvm.include(path("main.nut").c_str()));
  ASSERT_TRUE(rvm.include(path("tail.nut").c_str()));
  writeCounting("new.nut", "new_runs");
  writeCounting("main.nut", "main_runs", "include(\"" + path("new.nut") + "\");\n");
  touch("main.nut", 2);
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(runs("main_runs"), 2);
  EXPECT_EQ(runs("tail_runs"), 2);
  EXPECT_EQ(runs("new_runs"), 1); // by include() only, not again by the reload loop
  ASSERT_EQ(rvm.files.num, 3);
  EXPECT_STREQ(rvm.files[2].path, path("new.nut").c_str());
  // Once listed it is visited like any other file.
  EXPECT_FALSE(rvm.needsReload());
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(runs("new_runs"), 2);
  EXPECT_EQ(runs("main_runs"), 3);
}

TEST_F(ReloadTest, DataSurvivesAReloadWhileFunctionsAreReplaced) {
  write_text_file(path("s.nut"), "if (!(\"store\" in getroottable())) ::store <- [];\nfunction version() { return 1; }\n");
  ASSERT_TRUE(rvm.include(path("s.nut").c_str()));
  sq_pushroottable(rvm.vm);
  sq_pushstring(rvm.vm, "store", -1);
  sq_get(rvm.vm, -2);
  sq_pushinteger(rvm.vm, 5);
  sq_arrayappend(rvm.vm, -2);
  sq_pop(rvm.vm, 2);
  write_text_file(path("s.nut"), "if (!(\"store\" in getroottable())) ::store <- [];\nfunction version() { return 2; }\n"
                                 "::check <- store.len() * 10 + version();\n");
  touch("s.nut", 2);
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(runs("check"), 12);
}

TEST_F(ReloadTest, AFailingSecondFileStopsTheReloadAndLeavesTheThirdFileUnvisited) {
  writeCounting("one.nut", "one_runs");
  writeCounting("two.nut", "two_runs");
  writeCounting("three.nut", "three_runs");
  ASSERT_TRUE(rvm.include(path("one.nut").c_str()));
  ASSERT_TRUE(rvm.include(path("two.nut").c_str()));
  ASSERT_TRUE(rvm.include(path("three.nut").c_str()));
  writeCounting("two.nut", "two_runs", "throw \"broken\";\n");
  touch("two.nut", 4);
  touch("three.nut", 4);
  int64_t three_time = rvm.files[2].fileTime;
  EXPECT_FALSE(rvm.reload(false));
  EXPECT_EQ(rvm.files[2].fileTime, three_time);
  EXPECT_EQ(runs("three_runs"), 1);
  EXPECT_EQ(rvm.files[1].fileTime, get_file_time(path("two.nut").c_str()));
  // Fixing the file brings everything up to date on the next reload.
  writeCounting("two.nut", "two_runs");
  touch("two.nut", 8);
  EXPECT_TRUE(rvm.needsReload());
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_EQ(runs("three_runs"), 2);
  EXPECT_FALSE(rvm.needsReload());
}

TEST_F(ReloadTest, AMissingFileFailsAndIsReloadedOnceItAppears) {
  EXPECT_FALSE(rvm.include(path("later.nut").c_str()));
  EXPECT_EQ(rvm.files.num, 1);
  EXPECT_FALSE(rvm.needsReload());
  writeCounting("later.nut", "later_runs");
  EXPECT_TRUE(rvm.needsReload());
  EXPECT_TRUE(rvm.reload(false));
  EXPECT_EQ(runs("later_runs"), 1);
}

TEST_F(ReloadTest, TheFileListSurvivesCloseAndANewInit) {
  writeCounting("a.nut", "a_runs");
  ASSERT_TRUE(rvm.include(path("a.nut").c_str()));
  rvm.close();
  EXPECT_EQ(rvm.vm, nullptr);
  rvm.close();
  EXPECT_EQ(rvm.files.num, 1);
  ASSERT_TRUE(rvm.init(1024));
  EXPECT_TRUE(rvm.reload(true));
  EXPECT_EQ(runs("a_runs"), 1);
}

} // namespace
