// The settings file: grammar, conversions, write-back, protection of an
// unreadable file and the atomic replace; ConfigNode.
#include "core/config.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/temp_dir.h"

namespace {

const char* header = "// Game settings\n_CONFIG_VERSION_=1\n\n";

class ConfigTest : public testing::Test {
protected:
  std::string dir, file;
  void SetUp() override {
    dir = use_fresh_data_home();
    file = dir + "settings.cfg";
    config_reset_for_tests();
  }
  void TearDown() override { config_reset_for_tests(); }
  void writeSettings(const std::string& text) {
    ASSERT_TRUE(make_folders(dir.c_str()));
    write_text_file(file, text);
  }
  std::string str(const char* key) {
    char buf[256];
    return get_config_str(key, buf, sizeof buf) ? buf : "<missing>";
  }
  std::string intOf(const char* key) {
    int v = -12345;
    return get_config_int(key, v) ? std::to_string(v) : "<missing>";
  }
  // The folder's files other than the logs.
  std::vector<std::string> folderEntries() {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d))
        if (e->d_name[0] != '.' && strncmp(e->d_name, "log", 3) != 0) names.push_back(e->d_name);
      closedir(d);
    }
    return names;
  }
};

TEST_F(ConfigTest, GrammarOfValuesCommentsAndWords) {
  writeSettings(
      "// Game settings\r\n_CONFIG_VERSION_=7\r\n"
      "vsync = 1  // c\n"
      "\t  screen_wd\t=\t 0x1\t \n"
      "screen_ht=010\r"
      "fullscreen=yes\n"
      "loneword\n"
      "a b=c\n"
      "url=http://x/?q=1 // not a comment\n"
      "empty=\n"
      "   // indented comment=5\n"
      "big=99999999999\n");
  EXPECT_EQ("1  // c", str("vsync")); // the value keeps the comment
  EXPECT_EQ("1", intOf("vsync"));     // conversion stops at the space
  EXPECT_EQ("1", intOf("screen_wd"));
  EXPECT_EQ("8", intOf("screen_ht"));
  bool b = true;
  EXPECT_FALSE(get_config_bool("fullscreen", b));
  EXPECT_TRUE(b); // untouched
  EXPECT_EQ("<missing>", str("loneword"));
  EXPECT_EQ("<missing>", str("a"));
  EXPECT_EQ("c", str("b"));
  EXPECT_EQ("http://x/?q=1 // not a comment", str("url"));
  EXPECT_EQ("", str("empty"));
  EXPECT_EQ("<missing>", intOf("empty"));
  EXPECT_EQ("<missing>", str("//"));
  EXPECT_EQ("<missing>", str("_CONFIG_VERSION_"));
  EXPECT_EQ("2147483647", intOf("big"));
  EXPECT_EQ("<missing>", str("Vsync")); // case-sensitive
}

TEST_F(ConfigTest, BufferLimitsReadAsMissing) {
  writeSettings("k=12345\nlong=" + std::string(64, '1') + "\n");
  char buf[6];
  EXPECT_FALSE(get_config_str("k", buf, 5));
  EXPECT_TRUE(get_config_str("k", buf, 6));
  EXPECT_STREQ("12345", buf);
  EXPECT_EQ("<missing>", intOf("long")); // 64 characters do not fit the 64-byte buffer
}

TEST_F(ConfigTest, FirstDuplicateIsReadAndUpdatedBothAreWritten) {
  writeSettings("// old comment\nkey=1\nkey=2\nother=x\n");
  EXPECT_EQ("1", str("key"));
  EXPECT_TRUE(flush_app_config()); // nothing changed: nothing written
  EXPECT_EQ("// old comment\nkey=1\nkey=2\nother=x\n", read_text_file(file));
  EXPECT_TRUE(set_config_int("key", 5));
  EXPECT_TRUE(set_config_int("screen_wd", 800));
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(std::string(header) + "key=5\nkey=2\nother=x\nscreen_wd=800\n", read_text_file(file));
}

TEST_F(ConfigTest, NoFileGivesEmptyConfigAndAHeaderOnlyFile) {
  EXPECT_EQ("<missing>", str("screen_wd"));
  EXPECT_FALSE(file_exists(file));
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(header, read_text_file(file));
  EXPECT_TRUE(flush_app_config()); // saved now
}

TEST_F(ConfigTest, SettersFormatAndReplace) {
  set_config_bool("fullscreen", false);
  set_config_int("sound_volume", -20);
  set_config_str("name", "abcdef", 3);
  set_config_str("nothing", nullptr, -1);
  set_config_str("two", "line1\nline2", -1); // a line break would start a new entry
  EXPECT_FALSE(set_config_str("bad key", "x", -1));
  EXPECT_FALSE(set_config_str("k=v", "x", -1));
  EXPECT_FALSE(set_config_str("", "x", -1));
  bool fs = true;
  EXPECT_TRUE(get_config_bool("fullscreen", fs));
  EXPECT_FALSE(fs);
  EXPECT_EQ("-20", intOf("sound_volume"));
  EXPECT_EQ("abc", str("name"));
  EXPECT_EQ("", str("nothing"));
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(std::string(header) + "fullscreen=0\nsound_volume=-20\nname=abc\nnothing=\ntwo=line1\n",
            read_text_file(file));
  // What was written reads back the same.
  config_reset_for_tests();
  EXPECT_EQ("line1", str("two"));
  EXPECT_EQ("-20", intOf("sound_volume"));
}

TEST_F(ConfigTest, UnreadableExistingFileIsNeverOverwritten) {
  // A folder in place of the file cannot be read, not even by root.
  ASSERT_TRUE(make_folders(file.c_str()));
  EXPECT_EQ("<missing>", str("screen_wd"));
  set_config_int("screen_wd", 800);
  EXPECT_FALSE(flush_app_config());
  EXPECT_TRUE(flush_app_config()); // no change since the refused write
  struct stat st;
  ASSERT_EQ(0, stat(file.c_str(), &st));
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  set_config_int("screen_ht", 600);
  EXPECT_FALSE(flush_app_config());
  EXPECT_EQ(std::vector<std::string>{"settings.cfg"}, folderEntries());
}

TEST_F(ConfigTest, SymlinkLoopIsLeftAlone) {
  ASSERT_TRUE(make_folders(dir.c_str()));
  ASSERT_EQ(0, symlink("settings.cfg", file.c_str()));
  set_config_int("screen_wd", 800);
  EXPECT_FALSE(flush_app_config());
  struct stat st;
  ASSERT_EQ(0, lstat(file.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(ConfigTest, WriteReplacesTheFileAtomicallyAndLeavesNoTemporary) {
  writeSettings("a=1\n");
  chmod(file.c_str(), 0640);
  struct stat before;
  ASSERT_EQ(0, stat(file.c_str(), &before));
  set_config_str("b", "2", -1);
  EXPECT_TRUE(flush_app_config());
  struct stat after;
  ASSERT_EQ(0, stat(file.c_str(), &after));
  EXPECT_NE(before.st_ino, after.st_ino); // a new file renamed into place
  EXPECT_EQ(0640u, after.st_mode & 07777);
  EXPECT_EQ(std::string(header) + "a=1\nb=2\n", read_text_file(file));
  EXPECT_EQ(std::vector<std::string>{"settings.cfg"}, folderEntries());
}

TEST_F(ConfigTest, WritesThroughASymlinkToItsTarget) {
  ASSERT_TRUE(make_folders(dir.c_str()));
  std::string real = make_temp_dir("rh-dotfiles") + "runeholm.cfg";
  write_text_file(real, "a=1\n");
  ASSERT_EQ(0, symlink(real.c_str(), file.c_str()));
  set_config_int("a", 2);
  EXPECT_TRUE(flush_app_config());
  struct stat st;
  ASSERT_EQ(0, lstat(file.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(std::string(header) + "a=2\n", read_text_file(real));
}

TEST_F(ConfigTest, FailedWriteKeepsTheOldFileAndRetriesOnTheNextChange) {
  writeSettings("a=1\n");
  // A folder where the temporary file must go makes the write fail.
  ASSERT_TRUE(make_folders((file + ".tmp").c_str()));
  set_config_int("a", 2);
  EXPECT_FALSE(flush_app_config());
  EXPECT_EQ("a=1\n", read_text_file(file));
  EXPECT_TRUE(flush_app_config()); // not retried until something changes
  rmdir((file + ".tmp").c_str());
  set_config_int("a", 3);
  EXPECT_TRUE(flush_app_config());
  EXPECT_EQ(std::string(header) + "a=3\n", read_text_file(file));
}

TEST(ConfigNodeTest, ParsesFilesAndText) {
  std::string path = make_temp_dir() + "desc.cfg";
  write_text_file(path, "// font\nsize = 0x10\nname= Deja Vu \t\nname=second\n_CONFIG_VERSION_=1\nflag=\n");
  ConfigNode* node = ConfigNode::fromFile(path.c_str());
  ASSERT_NE(nullptr, node);
  EXPECT_EQ(4, node->count());
  EXPECT_EQ(16, node->getInt("size", -1));
  EXPECT_STREQ("Deja Vu", node->getStr("name", "?"));
  EXPECT_EQ(1, node->findEntry("name"));
  EXPECT_EQ(-1, node->findEntry("_CONFIG_VERSION_"));
  EXPECT_TRUE(node->hasValue("flag"));
  EXPECT_STREQ("", node->getStr("flag", "?"));
  EXPECT_EQ(7, node->getInt("flag", 7)); // no digit
  EXPECT_STREQ("?", node->getStr("missing", "?"));
  node->parse("extra=1\nsize=3", 14); // appends; the first size still wins
  EXPECT_EQ(6, node->count());
  EXPECT_EQ(16, node->getInt("size", -1));
  node->clear();
  EXPECT_EQ(0, node->count());
  delete node;

  EXPECT_EQ(nullptr, ConfigNode::fromFile((path + ".missing").c_str()));
  ConfigNode dirNode;
  EXPECT_FALSE(dirNode.load(make_temp_dir().c_str()));
}

} // namespace
