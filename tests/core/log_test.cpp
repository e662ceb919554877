// The text log (rotation, line assembly), fatal and quit exits, the visual
// log and the on-screen error message.
#include "core/log.h"

#include <gtest/gtest.h>

#include <string>

#include "core/platform.h"
#include "core/temp_dir.h"

namespace {

// Each test gets its own data folder and a log that is not yet open.
class LogTest : public testing::Test {
protected:
  std::string dir;
  void SetUp() override {
    close_debug_log();
    dir = use_fresh_data_home();
    num_debug_log_files = 5;
  }
  void TearDown() override {
    close_debug_log();
    num_debug_log_files = 5;
  }
  std::string logText(const char* name = "log.txt") { return read_text_file(dir + name); }
};

TEST_F(LogTest, RotationKeepsTheNewestFiveRuns) {
  ASSERT_TRUE(make_folders(dir.c_str()));
  write_text_file(dir + "log.txt", "run4\n");
  for (int i = 1; i <= 4; i++) write_text_file(dir + "log0" + std::to_string(i) + ".txt", "run" + std::to_string(4 - i) + "\n");
  debug("run%d", 5);
  EXPECT_EQ("run5\n", logText());
  EXPECT_EQ("run4\n", logText("log01.txt"));
  EXPECT_EQ("run3\n", logText("log02.txt"));
  EXPECT_EQ("run2\n", logText("log03.txt"));
  EXPECT_EQ("run1\n", logText("log04.txt")); // run0 is gone
  EXPECT_FALSE(file_exists(dir + "log05.txt"));
}

TEST_F(LogTest, RotationWithOneFileOverwritesTheLog) {
  ASSERT_TRUE(make_folders(dir.c_str()));
  write_text_file(dir + "log.txt", "old run\n");
  num_debug_log_files = 1;
  debug("new run");
  EXPECT_EQ("new run\n", logText());
  EXPECT_FALSE(file_exists(dir + "log01.txt"));
}

TEST_F(LogTest, FirstLineCreatesTheFolderAndLaterLinesAppend) {
  debug_("a");
  debug("b");
  debug("%s=%d", "n", 3);
  EXPECT_EQ("ab\nn=3\n", logText());
  // A closed log rotates again on the next line.
  close_debug_log();
  debug("second run");
  EXPECT_EQ("second run\n", logText());
  EXPECT_EQ("ab\nn=3\n", logText("log01.txt"));
}

TEST_F(LogTest, HeaderLineNamesTheVersion) {
  log_start_header();
  std::string text = logText();
  EXPECT_EQ(0u, text.find("Log started ")) << text;
  EXPECT_NE(std::string::npos, text.find(" in v0.26 DEMO\n")) << text;
}

TEST_F(LogTest, LoggingWithoutAWritableFolderStillReachesStdout) {
  // A data folder that is a file: the log cannot open, the caller never notices.
  std::string blocker = make_temp_dir() + "file";
  write_text_file(blocker, "x");
  setenv("XDG_DATA_HOME", blocker.c_str(), 1);
  testing::internal::CaptureStdout();
  debug("still %s", "here");
  EXPECT_EQ("still here\n", testing::internal::GetCapturedStdout());
}

TEST(VisualLog, KeepsTheNewestHundredLinesCutAt127) {
  clear_visual_log();
  for (int i = 0; i < 101; i++) visual_log("line %d", i);
  ASSERT_EQ(100, visual_log_count());
  EXPECT_STREQ("line 1", visual_log_line(0));
  EXPECT_STREQ("line 100", visual_log_line(99));
  std::string longText(300, 'v');
  visual_log("%s", longText.c_str());
  EXPECT_EQ(std::string(127, 'v'), visual_log_line(99));
  clear_visual_log();
  EXPECT_EQ(0, visual_log_count());
}

TEST(ErrorMessage, SetAppendAndClearRules) {
  set_error_message(nullptr);
  EXPECT_FALSE(has_error_message());
  EXPECT_STREQ("", get_error_message());

  append_error_message("first", -1); // onto an empty message: no leading newline
  EXPECT_STREQ("first", get_error_message());
  append_error_message("second line", 6);
  EXPECT_STREQ("first\nsecond", get_error_message());
  append_error_message("ignored", 0);
  append_error_message(nullptr, 5);
  EXPECT_STREQ("first\nsecond", get_error_message());

  set_error_message("replaced");
  EXPECT_STREQ("replaced", get_error_message());
  set_error_message("");
  EXPECT_FALSE(has_error_message());
}

TEST_F(LogTest, SettingAnErrorMessageLogsItButAppendingDoesNot) {
  set_error_message("Error in sound script:\nboom");
  append_error_message("more", -1);
  set_error_message(nullptr);
  EXPECT_EQ("ERROR MESSAGE SET: Error in sound script:\nboom\n", logText());
}

TEST(LogDeathTest, FatalReportsOnStderrAndExitsWith100) {
  EXPECT_EXIT(fatal("can't create %s texture", "scene"), testing::ExitedWithCode(100),
              "can't create scene texture");
  EXPECT_EXIT(assert_failed("world.cpp", 42, "x<HMAP_SIZE"), testing::ExitedWithCode(100),
              "world\\.cpp\\(42\\): failed ASSERT\\(x<HMAP_SIZE\\)");
  EXPECT_EXIT(quit_game(3), testing::ExitedWithCode(3), "");
}

TEST(LogDeathTest, FatalLogsTheErrorBeforeTheShutdown) {
  std::string dir = use_fresh_data_home();
  close_debug_log();
  EXPECT_EXIT(fatal("broken %d", 1), testing::ExitedWithCode(100), "broken 1");
  std::string text = read_text_file(dir + "log.txt");
  size_t err = text.find("ERROR: broken 1\n");
  ASSERT_NE(std::string::npos, err) << text;
  EXPECT_NE(std::string::npos, text.find("closing...", err)) << text;
}

} // namespace
