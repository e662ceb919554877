// File textures: the DDS formats and level rules proved by uploads and
// sampled pixels, rejected headers, sharing by name, the in-place reload,
// and the TGA reader.
#include <gmock/gmock.h>

#include <filesystem>

#include "content_test_util.h"
#include "core/log.h"
#include "core/stream.h"
#include "gl_test_util.h"
#include "render/texture.h"

using namespace gltest;
using content::DdsDesc;

namespace {

class TextureTest : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    content::use_as_app_path();
    set_back_buffer_target();
    begin_draw();
  }
  void TearDown() override {
    if (GlEnv::ok) free_all_textures();
  }

  // Colour of a white full-screen quad modulated by `tex`, alpha-blended
  // over black (so the sampled alpha shows in the colour).
  uint32_t sample(Texture* tex) {
    set_blend_none();
    draw_full(0xFF000000);
    set_blend_alpha();
    set_texture(0, tex);
    use_texture(true);
    draw_full(0xFFFFFFFF);
    use_texture(false);
    set_texture(0, nullptr);
    set_blend_none();
    return pixel(kWd / 2, kHt / 2);
  }
};

std::vector<uint8_t> solid_4x4_argb(uint32_t argb) {
  std::vector<uint8_t> p;
  for (int i = 0; i < 16; i++)
    for (int b = 0; b < 4; b++) p.push_back((uint8_t)(argb >> (8 * b)));
  return p;
}

TEST_F(TextureTest, EveryAcceptedFormatUploadsAndSamples) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    uint32_t want;
  };
  std::vector<uint8_t> dxt1, dxt3, dxt5;
  content::put_dxt1_block(dxt1, 0xF800); // red
  // DXT3: explicit 4-bit alpha 0x8 everywhere, then a green colour block.
  dxt3.assign(8, 0x88);
  content::put_dxt1_block(dxt3, 0x07E0);
  // DXT5: both alpha end points 0x80, all indices 0, then a blue colour block.
  dxt5 = {0x80, 0x80, 0, 0, 0, 0, 0, 0};
  content::put_dxt1_block(dxt5, 0x001F);
  std::vector<uint8_t> lum(16, 0x40);
  DdsDesc l8;
  l8.pf_flags = content::PF_LUMINANCE;
  l8.bits = 8;
  const Case cases[] = {
      {"DXT1", content::dds(content::dxt("DXT1", 4, 4, 1), dxt1), 0xFFFF0000},
      {"DXT3", content::dds(content::dxt("DXT3", 4, 4, 1), dxt3), 0xFF008800},
      {"DXT5", content::dds(content::dxt("DXT5", 4, 4, 1), dxt5), 0xFF000080},
      {"A8R8G8B8", content::dds(content::argb(4, 4, true), solid_4x4_argb(0x80FFFF00)), 0xFF808000},
      // X8R8G8B8 ignores the stored fourth byte: alpha reads as 1.
      {"X8R8G8B8", content::dds(content::argb(4, 4, false), solid_4x4_argb(0x0000FFFF)), 0xFF00FFFF},
      {"L8", content::dds(l8, lum), 0xFF404040},
  };
  for (const Case& c : cases) {
    std::string name = std::string("fmt_") + c.name + ".dds";
    content::write(name, c.file);
    Texture* t = load_dds_texture(name.c_str());
    ASSERT_NE(t, nullptr) << c.name;
    EXPECT_EQ(t->width, 4);
    EXPECT_TRUE(near_color(sample(t), c.want, 3)) << c.name;
    release_texture(t);
  }
}

TEST_F(TextureTest, Dxt1WithNineLevelsUploadsEveryLevelAtItsSize) {
  // 256 x 64 down to 1 x 1; each level one colour, so its data are known.
  std::vector<uint8_t> payload;
  std::vector<std::vector<uint8_t>> levels;
  int w = 256, h = 64;
  for (int l = 0; l < 9; l++) {
    std::vector<uint8_t> lv;
    int blocks = std::max(1, (w + 3) / 4) * std::max(1, (h + 3) / 4);
    for (int b = 0; b < blocks; b++) content::put_dxt1_block(lv, (uint16_t)(0x0841 * (l + 1)));
    levels.push_back(lv);
    payload.insert(payload.end(), lv.begin(), lv.end());
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
  }
  content::write("nine.dds", content::dds(content::dxt("DXT1", 256, 64, 9), payload));
  Texture* t = load_dds_texture("nine.dds");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->levels, 9);

  const int want_w[9] = {256, 128, 64, 32, 16, 8, 4, 2, 1};
  const int want_h[9] = {64, 32, 16, 8, 4, 2, 1, 1, 1};
  const int want_bytes[9] = {8192, 2048, 512, 128, 32, 16, 8, 8, 8};
  glActiveTexture(GL_TEXTURE0);
  glBindTexture(GL_TEXTURE_2D, t->texture);
  for (int l = 0; l < 9; l++) {
    GLint gw = 0, gh = 0, size = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_WIDTH, &gw);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_HEIGHT, &gh);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, l, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &size);
    EXPECT_EQ(gw, want_w[l]) << "level " << l;
    EXPECT_EQ(gh, want_h[l]) << "level " << l;
    EXPECT_EQ(size, want_bytes[l]) << "level " << l;
    ASSERT_EQ((int)levels[l].size(), want_bytes[l]);
    std::vector<uint8_t> got((size_t)size);
    glGetCompressedTexImage(GL_TEXTURE_2D, l, got.data());
    EXPECT_EQ(got, levels[l]) << "level " << l;
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  release_texture(t);
}

TEST(DdsHeader, RejectsWhatIsNotAnAcceptedDds) {
  std::vector<uint8_t> block;
  content::put_dxt1_block(block, 0);
  auto accepted = [&](const DdsDesc& d) {
    std::vector<uint8_t> f = content::dds(d, block);
    DdsInfo info;
    return dds_read_header(f.data(), (int)f.size(), info);
  };
  DdsDesc good = content::dxt("DXT1", 4, 4, 1);
  EXPECT_TRUE(accepted(good));
  DdsDesc cube = good;
  cube.caps2 = 0xFE00;
  EXPECT_FALSE(accepted(cube));
  DdsDesc volume = good;
  volume.caps2 = 0x200000;
  EXPECT_FALSE(accepted(volume));
  DdsDesc both = good;
  both.flags |= content::FLAG_PITCH | content::FLAG_LINEARSIZE;
  EXPECT_FALSE(accepted(both));
  DdsDesc no_caps = good;
  no_caps.caps = 0;
  EXPECT_FALSE(accepted(no_caps));
  DdsDesc dxt2 = content::dxt("DXT2", 4, 4, 1);
  EXPECT_FALSE(accepted(dxt2));
  DdsDesc bgr = content::argb(4, 4, true);
  bgr.rmask = 0xFF;
  bgr.bmask = 0xFF0000;
  EXPECT_FALSE(accepted(bgr));
  DdsDesc rgb24 = content::argb(4, 4, false);
  rgb24.bits = 24;
  EXPECT_FALSE(accepted(rgb24));
  std::vector<uint8_t> short_file = content::dds(good, {});
  short_file.resize(100);
  DdsInfo info;
  EXPECT_FALSE(dds_read_header(short_file.data(), (int)short_file.size(), info));

  // A PITCH value is multiplied by the height; LINEARSIZE is taken as it is.
  DdsDesc pitched = content::argb(4, 2, true);
  pitched.flags |= content::FLAG_PITCH;
  pitched.pitch_or_linear = 16;
  std::vector<uint8_t> f = content::dds(pitched, std::vector<uint8_t>(32));
  ASSERT_TRUE(dds_read_header(f.data(), (int)f.size(), info));
  EXPECT_EQ(info.level0_size, 32);
  EXPECT_EQ(info.format, D3DFMT_A8R8G8B8);
}

TEST_F(TextureTest, BadFilesAreFatalNamingTheFile) {
  std::vector<uint8_t> block;
  content::put_dxt1_block(block, 0);
  DdsDesc cube = content::dxt("DXT1", 4, 4, 1);
  cube.caps2 = 0xFE00;
  content::write("cube.dds", content::dds(cube, block));
  EXPECT_EXIT(load_dds_texture("cube.dds"), ::testing::ExitedWithCode(100), "cube.dds' is not a DDS");
  EXPECT_EXIT(load_dds_texture("missing.dds"), ::testing::ExitedWithCode(100),
              "Error loading file '.*missing.dds'");
  EXPECT_EXIT(get_texture("missing.dds", true), ::testing::ExitedWithCode(100), "Error loading file");
  // Level data cut short: reported, never read past the end of the file.
  content::write("cut.dds", content::dds(content::dxt("DXT1", 8, 8, 2), block));
  EXPECT_EXIT(load_dds_texture("cut.dds"), ::testing::ExitedWithCode(100), "cut.dds' is truncated");
}

TEST_F(TextureTest, SameNameInAnotherCaseSharesTheTexture) {
  std::vector<uint8_t> block;
  content::put_dxt1_block(block, 0xF800);
  content::write("noise.dds", content::dds(content::dxt("DXT1", 4, 4, 1), block));
  Texture* a = get_texture("noise.dds", true);
  Texture* b = get_texture("NOISE.DDS", true);
  EXPECT_EQ(a, b);
  ASSERT_EQ(loaded_textures.num, 1);
  EXPECT_EQ(loaded_textures[0].refcount, 2);
  free_texture(b);
  EXPECT_TRUE(a->used);
  free_texture(a);
  EXPECT_FALSE(a->used);
  EXPECT_EQ(loaded_textures.num, 0);
  free_texture(nullptr);
  // An optional texture that is not there comes back as null.
  EXPECT_EQ(get_texture("absent.dds", false), nullptr);
  EXPECT_EQ(loaded_textures.num, 0);
}

TEST_F(TextureTest, ChangedFileIsReloadedIntoTheSameSlot) {
  std::vector<uint8_t> red, blue;
  content::put_dxt1_block(red, 0xF800);
  content::put_dxt1_block(blue, 0x001F);
  content::write("tex/change.dds", content::dds(content::dxt("DXT1", 4, 4, 1), red));
  content::set_time("tex/change.dds", 1000000);
  Texture* t = get_texture("tex/change.dds", true);
  EXPECT_TRUE(near_color(sample(t), 0xFFFF0000));
  reload_textures(false); // unchanged: nothing happens
  EXPECT_TRUE(near_color(sample(t), 0xFFFF0000));

  content::write("tex/change.dds", content::dds(content::dxt("DXT1", 4, 4, 1), blue));
  content::set_time("tex/change.dds", 1000001);
  int used_before = 0, used_after = 0;
  for (const Texture& s : texture_pool) used_before += s.used;
  reload_textures(false);
  for (const Texture& s : texture_pool) used_after += s.used;
  EXPECT_EQ(used_before, used_after);
  EXPECT_EQ(get_texture("tex/change.dds", true), t);
  EXPECT_TRUE(near_color(sample(t), 0xFF0000FF));
}

// A file caught half written, then deleted, keeps the old image and puts the
// reason on screen; the finished file is picked up by the next reload.
TEST_F(TextureTest, HalfWrittenOrDeletedFileKeepsTheOldImage) {
  std::vector<uint8_t> red, blue;
  content::put_dxt1_block(red, 0xF800);
  content::put_dxt1_block(blue, 0x001F);
  content::write("tex/live.dds", content::dds(content::dxt("DXT1", 4, 4, 1), red));
  content::set_time("tex/live.dds", 1000000);
  Texture* t = get_texture("tex/live.dds", true);
  set_error_message(nullptr);

  std::vector<uint8_t> whole = content::dds(content::dxt("DXT1", 4, 4, 1), blue);
  content::write("tex/live.dds", std::vector<uint8_t>(whole.begin(), whole.begin() + 130));
  content::set_time("tex/live.dds", 1000001);
  reload_textures(false);
  EXPECT_TRUE(near_color(sample(t), 0xFFFF0000));
  EXPECT_THAT(get_error_message(), ::testing::HasSubstr("FAILED to reload texture"));
  EXPECT_THAT(get_error_message(), ::testing::HasSubstr("live.dds' is truncated"));

  std::filesystem::remove(content::path("tex/live.dds"));
  reload_textures(false);
  EXPECT_TRUE(near_color(sample(t), 0xFFFF0000));
  EXPECT_THAT(get_error_message(), ::testing::HasSubstr("Error loading file"));
  EXPECT_THAT(get_error_message(), ::testing::Not(::testing::HasSubstr("truncated")));

  content::write("tex/live.dds", whole);
  content::set_time("tex/live.dds", 1000002);
  reload_textures(false);
  EXPECT_TRUE(near_color(sample(t), 0xFF0000FF));
  EXPECT_FALSE(has_error_message()); // its own message goes once the file loads
  free_texture(t);
}

TEST(TgaReader, ReadsUncompressedAndRefusesOtherFormats) {
  content::use_as_app_path();
  std::vector<uint32_t> px = {0xFF0000FF, 0x8000FF00, 0x00FF0000, 0x12345678, 0, 1};
  content::write("ok.tga", content::tga(2, 32, 3, 2, px));
  int w = 0, h = 0;
  DynArray<uint32_t> got;
  ASSERT_TRUE(load_tga("ok.tga", w, h, got));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  ASSERT_EQ(got.num, 6);
  for (int i = 0; i < 6; i++) EXPECT_EQ(got[i], px[i]);

  EXPECT_FALSE(load_tga("absent.tga", w, h, got));
  auto message = [&](const char* name) -> std::string {
    try {
      load_tga(name, w, h, got);
    } catch (const InputStream::Exception& e) {
      return e.message;
    }
    return "no exception";
  };
  content::write("rle.tga", content::tga(10, 32, 3, 2, px));
  EXPECT_EQ(message("rle.tga"), "unsupported TGA format");
  content::write("rgb24.tga", content::tga(2, 24, 3, 2, px));
  EXPECT_EQ(message("rgb24.tga"), "unsupported TGA format");
  content::write("empty.tga", content::tga(2, 32, 0, 2, {}));
  EXPECT_EQ(message("empty.tga"), "zero-sized TGA image");
  content::write("short.tga", content::tga(2, 32, 3, 2, {1, 2}));
  EXPECT_EQ(message("short.tga"), "truncated TGA image");
  // A header asking for nearly 2 GB over six pixels fails before anything is allocated.
  content::write("huge.tga", content::tga(2, 32, 32767, 16383, px));
  EXPECT_EQ(message("huge.tga"), "truncated TGA image");
  EXPECT_EQ(got.num, 6);
}

} // namespace
