// Source lists, watched files and the rebuild through rebuild_dll.sh, with
// stand-in build scripts in a temporary source folder.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/log.h"
#include "host/gameobj_rebuild.h"

namespace fs = std::filesystem;

namespace {

class SourceFolder : public ::testing::Test {
protected:
  fs::path dir;
  fs::path cwd = fs::current_path();

  void SetUp() override
  {
    char tmpl[] = "/tmp/rh_rebuild_XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    dir = tmpl;
    set_error_message(nullptr);
  }
  void TearDown() override
  {
    wait_gameobj_rebuild();
    clear_gameobj_sources();
    set_error_message(nullptr);
    fs::current_path(cwd);
    fs::remove_all(dir);
  }
  void write(const std::string& name, const std::string& text)
  {
    fs::create_directories((dir / name).parent_path());
    std::ofstream(dir / name) << text;
  }
  void script(const std::string& body)
  {
    write("rebuild_dll.sh", "#!/bin/sh\necho run >> \"" + (dir / "runs").string() + "\"\n" + body);
    fs::permissions(dir / "rebuild_dll.sh", fs::perms::owner_all);
  }
  void touch(const std::string& name)
  {
    fs::last_write_time(dir / name, fs::last_write_time(dir / name) + std::chrono::seconds(2));
  }
  int runs()
  {
    std::ifstream in(dir / "runs");
    int n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
  }
  void watch()
  {
    set_gameobj_source((dir.string() + "/").c_str(), "main.ls");
    read_gameobj_source_list();
  }
};

TEST(ErrorWord, OnlyTheWholeWordsErrorAndErrorsCount)
{
  EXPECT_TRUE(line_has_error_word("1 errors"));
  EXPECT_TRUE(line_has_error_word("src/a.cpp:3:1: Error: expected ';'"));
  EXPECT_TRUE(line_has_error_word("ERRORS: 2\n"));
  EXPECT_TRUE(line_has_error_word("(error)"));
  EXPECT_FALSE(line_has_error_word("the terror of the deep"));
  EXPECT_FALSE(line_has_error_word("errorless build"));
  EXPECT_FALSE(line_has_error_word("my_error and error_code and errors2"));
  EXPECT_FALSE(line_has_error_word(""));
}

TEST_F(SourceFolder, ListsAreReadRecursivelyAndEachFileOnce)
{
  write("main.ls", "import a.b\nimport \t c trailing words\nimport c\n import d\nsrc/x.cpp\n");
  write("a/b.ls", "import c\nimport main\n");
  write("c.ls", "nothing\n");
  watch();
  ASSERT_EQ(gameobj_source_count(), 3); // src/x.cpp does not exist: not watched
  EXPECT_EQ(fs::path(gameobj_source(0).path), dir / "main.ls");
  EXPECT_EQ(fs::path(gameobj_source(1).path), dir / "a/b.ls");
  EXPECT_EQ(fs::path(gameobj_source(2).path), dir / "c.ls");
  EXPECT_NE(gameobj_source(2).time, 0);

  // A source the lists name is watched once it exists.
  write("src/x.cpp", "int x;\n");
  watch();
  ASSERT_EQ(gameobj_source_count(), 4);
  EXPECT_EQ(fs::path(gameobj_source(3).path), dir / "src/x.cpp");
}

TEST_F(SourceFolder, TouchingAnImportedListStartsExactlyOneBuild)
{
  write("main.ls", "import part\n");
  write("part.ls", "\n");
  script("echo the terror of the deep\nexit 0\n");
  watch();
  EXPECT_EQ(poll_gameobj_rebuild(), RebuildPoll::NotRunning);
  touch("part.ls");
  EXPECT_EQ(poll_gameobj_rebuild(), RebuildPoll::Running);
  wait_gameobj_rebuild();
  EXPECT_EQ(poll_gameobj_rebuild(), RebuildPoll::NotRunning);
  EXPECT_EQ(runs(), 1);
  EXPECT_FALSE(has_error_message());
}

TEST_F(SourceFolder, ErrorLinesOrAFailingExitCodeReportTheBuildFailed)
{
  write("main.ls", "\n");
  // Started in the source folder.
  script("test -f main.ls || echo not in the source folder: error\necho compiling\necho 1 errors\nexit 0\n");
  watch();
  touch("main.ls");
  EXPECT_EQ(poll_gameobj_rebuild(), RebuildPoll::Running);
  wait_gameobj_rebuild();
  std::string shown = get_error_message();
  EXPECT_NE(shown.find("1 errors"), std::string::npos);
  EXPECT_NE(shown.find("gameobj rebuild failed!!!"), std::string::npos);
  EXPECT_EQ(shown.find("compiling"), std::string::npos);
  EXPECT_EQ(shown.find("not in the source folder"), std::string::npos);

  // The next build clears the message; an exit code alone also fails it.
  script("echo all fine\nexit 3\n");
  touch("main.ls");
  EXPECT_EQ(poll_gameobj_rebuild(), RebuildPoll::Running);
  wait_gameobj_rebuild();
  EXPECT_STREQ(get_error_message(), "gameobj rebuild failed!!!");
  EXPECT_EQ(runs(), 2);
}

} // namespace
