// The shader table and cache: sharing and reference counts, cache file
// names and layout, staleness through includes, reloads that keep the old
// shader on a syntax error, the mode without compiler, and defines reaching
// the GLSL.
#include <gmock/gmock.h>

#include "content_test_util.h"
#include "gl_test_util.h"
#include "render/shader.h"

using namespace gltest;
using ::testing::HasSubstr;

namespace {

// A test shader drawing gltest vertices in its own colour: red, green with
// INST, and the colour of the included file's COLOUR function.
const char* kLand =
    "#include \"prologue.sh\"\n"
    "#include \"land_colour.inc\"\n"
    "#ifdef VSH\n"
    "in vec3 POSITION0;\n"
    "void vsh() { gl_Position = rh_clip(vec4(POSITION0, 1.0)); }\n"
    "#endif\n"
    "#ifdef PSH\n"
    "out vec4 o;\n"
    "void psh() {\n"
    "#ifdef INST\n"
    "  o = vec4(0.0, 1.0, 0.0, 1.0);\n"
    "#else\n"
    "  o = land_colour();\n"
    "#endif\n"
    "}\n"
    "#endif\n";

const char* kRed = "vec4 land_colour() { return vec4(1.0, 0.0, 0.0, 1.0); }\n";
const char* kBlue = "vec4 land_colour() { return vec4(0.0, 0.0, 1.0, 1.0); }\n";

const char kInst[] = "INST\0 1\0";

class ShaderTest : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    content::use_as_app_path();
    std::filesystem::remove_all(content::path("cache"));
    content::write("land.sh", kLand);
    content::write("land_colour.inc", kRed);
    content::set_time("land.sh", 1000000);
    content::set_time("land_colour.inc", 1000000);
    set_back_buffer_target();
    begin_draw();
    load_shader_compiler();
  }
  void TearDown() override {
    if (!GlEnv::ok) return;
    close_shaders();
    set_error_message(nullptr);
    unsetenv("RUNEHOLM_NO_SHADER_COMPILER");
  }

  uint32_t draw_with(Shader* s) {
    set_shader(s);
    draw_full(0xFFFFFFFF);
    return pixel(kWd / 2, kHt / 2);
  }
};

TEST(ShaderCacheName, SuffixEscapesEveryDefineString) {
  EXPECT_STREQ(shader_cache_name("land.sh", nullptr).c_str(), "cache/land.sh.cache");
  EXPECT_STREQ(shader_cache_name("land.sh", "\0").c_str(), "cache/land.sh.cache");
  EXPECT_STREQ(shader_cache_name("land.sh", kInst).c_str(), "cache/land.sh@INST@_1.cache");
  EXPECT_STREQ(shader_cache_name("sky.sh", "QUALITY\0 0\0SHADOW\0 1\0").c_str(),
               "cache/sky.sh@QUALITY@_0@SHADOW@_1.cache");
}

TEST_F(ShaderTest, DefinesGiveSeparateRecordsAndCacheFiles) {
  Shader* plain = create_shader("land.sh", nullptr);
  Shader* inst = create_shader("land.sh", kInst);
  EXPECT_NE(plain, inst);
  EXPECT_TRUE(file_exists(content::path("cache/land.sh.cache")));
  EXPECT_TRUE(file_exists(content::path("cache/land.sh@INST@_1.cache")));
  EXPECT_TRUE(near_color(draw_with(plain), 0xFFFF0000));
  EXPECT_TRUE(near_color(draw_with(inst), 0xFF00FF00));
}

TEST_F(ShaderTest, RepeatedCreateSharesTheRecordUntilTheLastDestroy) {
  Shader* a = create_shader("land.sh", kInst);
  Shader* b = create_shader("land.sh", kInst);
  ASSERT_EQ(a, b);
  EXPECT_EQ(a->refcount, 2);
  destroy_shader(b);
  EXPECT_EQ(a->refcount, 1);
  EXPECT_NE(a->vs, 0u);
  EXPECT_TRUE(near_color(draw_with(a), 0xFF00FF00));
  destroy_shader(a);
  EXPECT_EQ(a->vs, 0u);
  destroy_shader(nullptr);
}

TEST_F(ShaderTest, CacheFileHoldsDependenciesAndBothStages) {
  Shader* s = create_shader("land.sh", nullptr);
  ASSERT_EQ(s->dependencies.num, 3);
  EXPECT_STREQ(s->dependencies[0].file, "land.sh");
  EXPECT_STREQ(s->dependencies[1].file, "prologue.sh");
  EXPECT_STREQ(s->dependencies[2].file, "land_colour.inc");

  std::vector<uint8_t> f = content::read("cache/land.sh.cache");
  ASSERT_GE(f.size(), 16u);
  uint32_t h[4];
  memcpy(h, f.data(), 16);
  EXPECT_EQ(h[0], 0x20100715u);
  const char names[] = "land.sh\0prologue.sh\0land_colour.inc\0";
  ASSERT_EQ(h[1], sizeof names);
  EXPECT_EQ(memcmp(f.data() + 16, names, sizeof names), 0);
  ASSERT_EQ(f.size(), 16 + h[1] + h[2] + h[3]);
  std::string vs((const char*)f.data() + 16 + h[1], h[2]);
  std::string ps((const char*)f.data() + 16 + h[1] + h[2], h[3]);
  EXPECT_EQ(vs.rfind("#version 330 core\n", 0), 0u);
  EXPECT_THAT(vs, HasSubstr("#define VSH 1\n"));
  EXPECT_THAT(ps, HasSubstr("#define PSH 1\n"));
  EXPECT_THAT(ps, HasSubstr("vec4 land_colour()")); // includes are inlined
  EXPECT_THAT(ps, ::testing::Not(HasSubstr("\n#include")));
}

TEST_F(ShaderTest, SecondStartLoadsFromCacheUnlessAnIncludeIsNewer) {
  destroy_shader(create_shader("land.sh", nullptr));
  testing::internal::CaptureStdout();
  Shader* s = create_shader("land.sh", nullptr);
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("loaded shader 'land.sh' from cache"));
  destroy_shader(s);

  // A cached include edited later than the cache was written: compiled again.
  content::write("land_colour.inc", kBlue);
  int64_t cache_time = get_file_time(content::path("cache/land.sh.cache").c_str());
  content::set_time("land_colour.inc", (long)(cache_time / 1000000000) + 10);
  testing::internal::CaptureStdout();
  s = create_shader("land.sh", nullptr);
  EXPECT_THAT(testing::internal::GetCapturedStdout(), ::testing::Not(HasSubstr("from cache")));
  EXPECT_TRUE(near_color(draw_with(s), 0xFF0000FF));
}

// Malformed cache files are stale, never fatal: each is replaced by a fresh
// compile. A dependency name longer than any path used to end the program.
TEST_F(ShaderTest, MalformedCacheIsRebuilt) {
  destroy_shader(create_shader("land.sh", nullptr));
  std::vector<uint8_t> good = content::read("cache/land.sh.cache");
  auto cache_with_names = [](const std::string& names) {
    std::vector<uint8_t> f(16);
    uint32_t h[4] = {0x20100715u, (uint32_t)names.size(), 0, 0};
    memcpy(f.data(), h, 16);
    f.insert(f.end(), names.begin(), names.end());
    return f;
  };
  std::string long_name(PATH_MAX + 100, 'd');
  const std::vector<std::vector<uint8_t>> bad = {
      cache_with_names(long_name + std::string(2, '\0')),
      cache_with_names(std::string("land.sh\0prologue.sh", 19)), // names not closed
      std::vector<uint8_t>(good.begin(), good.begin() + 10),     // cut inside the header
      std::vector<uint8_t>(good.begin(), good.end() - 5),        // cut inside the text
  };
  for (const std::vector<uint8_t>& f : bad) {
    content::write("cache/land.sh.cache", f);
    testing::internal::CaptureStdout();
    Shader* s = create_shader("land.sh", nullptr);
    EXPECT_THAT(testing::internal::GetCapturedStdout(), ::testing::Not(HasSubstr("from cache")));
    EXPECT_TRUE(near_color(draw_with(s), 0xFFFF0000));
    EXPECT_EQ(content::read("cache/land.sh.cache"), good); // rewritten
    destroy_shader(s);
  }
}

TEST_F(ShaderTest, WithoutCompilerAStaleCacheIsStillUsed) {
  destroy_shader(create_shader("land.sh", nullptr));
  content::write("land_colour.inc", kBlue);
  content::set_time("land_colour.inc", 4000000000);
  setenv("RUNEHOLM_NO_SHADER_COMPILER", "1", 1);
  load_shader_compiler();
  ASSERT_FALSE(shader_compiler_available());
  Shader* s = create_shader("land.sh", nullptr);
  EXPECT_EQ(s->dependencies[0].time, 0);
  EXPECT_FALSE(shader_is_stale(s));
  EXPECT_TRUE(near_color(draw_with(s), 0xFFFF0000)); // the cached red, not the new blue
  reload_shaders(true);                               // nothing to compile with
  EXPECT_TRUE(near_color(draw_with(s), 0xFFFF0000));
}

TEST_F(ShaderTest, TouchedIncludeIsRecompiledWhileRunning) {
  Shader* s = create_shader("land.sh", nullptr);
  reload_shaders(false);
  EXPECT_FALSE(shader_is_stale(s));
  content::write("land_colour.inc", kBlue);
  content::set_time("land_colour.inc", 2000000);
  EXPECT_TRUE(shader_is_stale(s));
  testing::internal::CaptureStdout();
  reload_shaders(false);
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("reloaded shader 'land.sh'"));
  EXPECT_FALSE(shader_is_stale(s));
  EXPECT_TRUE(near_color(draw_with(s), 0xFF0000FF));
  // The reload rewrote the cache: a new start finds the blue shader there.
  close_shaders();
  load_shader_compiler();
  testing::internal::CaptureStdout();
  s = create_shader("land.sh", nullptr);
  EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("from cache"));
  EXPECT_TRUE(near_color(draw_with(s), 0xFF0000FF));
}

TEST_F(ShaderTest, SyntaxErrorWhileRunningKeepsTheOldShaderAndShowsTheError) {
  Shader* s = create_shader("land.sh", nullptr);
  unsigned program = s->program;
  content::write("land_colour.inc", "vec4 land_colour() { return vec4(0.0, 0.0, 1.0, 1.0) }\n");
  content::set_time("land_colour.inc", 3000000);
  reload_shaders(false);
  EXPECT_EQ(s->program, program);
  EXPECT_TRUE(near_color(draw_with(s), 0xFFFF0000));
  std::string msg = get_error_message();
  EXPECT_THAT(msg, HasSubstr("HLSL 'land.sh', func 'vsh':"));
  EXPECT_THAT(msg, HasSubstr("FAILED to reload shader 'land.sh'"));
  // Not retried every second while the files stay as they are.
  EXPECT_FALSE(shader_is_stale(s));

  content::write("land_colour.inc", kBlue);
  content::set_time("land_colour.inc", 3000001);
  reload_shaders(false);
  EXPECT_FALSE(has_error_message());
  EXPECT_NE(s->program, program);
  EXPECT_TRUE(near_color(draw_with(s), 0xFF0000FF));
}

TEST_F(ShaderTest, CompilerMessagesPointAtTheIncludedFileAndLine) {
  create_shader("land.sh", nullptr);
  content::write("land_colour.inc", "vec4 land_colour() {\n  return undefined_name;\n}\n");
  content::set_time("land_colour.inc", 5000000);
  reload_shaders(false);
  // Source string 2 is the third dependency, land_colour.inc; line 2.
  EXPECT_THAT(get_error_message(), HasSubstr("2:2("));
}

TEST_F(ShaderTest, MissingSourceIsFatalNamingTheFile) {
  EXPECT_EXIT(create_shader("nowhere.sh", nullptr), ::testing::ExitedWithCode(100),
              "can't create shader from 'nowhere.sh'");
  setenv("RUNEHOLM_NO_SHADER_COMPILER", "1", 1);
  load_shader_compiler();
  EXPECT_EXIT(create_shader("nowhere.sh", nullptr), ::testing::ExitedWithCode(100),
              "can't create shader from cache for 'nowhere.sh'");
}

TEST_F(ShaderTest, FullTableIsFatal) {
  content::write("tiny.sh",
                 "#ifdef VSH\nvoid vsh() { gl_Position = vec4(0.0); }\n#endif\n"
                 "#ifdef PSH\nout vec4 o;\nvoid psh() { o = vec4(1.0); }\n#endif\n");
  EXPECT_EXIT(
      {
        for (int i = 0; i <= MAX_SHADERS; i++) {
          char defines[32] = "N";
          int l = 2 + snprintf(defines + 2, sizeof defines - 3, " %d", i);
          defines[l + 1] = 0;
          create_shader("tiny.sh", defines);
        }
      },
      ::testing::ExitedWithCode(100), "reached maximum shader count!");
}

} // namespace
