// Screenshots: the PNG encoding of captured pixels (colour order, opaque
// alpha) and a whole capture of a presented frame into the "shots" folder.
#include <gmock/gmock.h>

#include <filesystem>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "core/platform.h"
#include "core/temp_dir.h"
#include "devtools/screenshot.h"
#include "render/gl_test_util.h"

using namespace gltest;

static auto* const gl_env = ::testing::AddGlobalTestEnvironment(new GlEnv);

namespace {

struct Png {
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  uint32_t at(int x, int y) const { // as 0xAARRGGBB
    const uint8_t* p = &rgba[(size_t)(y * w + x) * 4];
    return (uint32_t)p[3] << 24 | (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
  }
};

// "shot%4u_%02u_%02u_%02u_%02u_%02u.png" with a four-digit year.
bool is_shot_name(const std::string& n) {
  const std::string pattern = "shot####_##_##_##_##_##.png";
  if (n.size() != pattern.size()) return false;
  for (size_t i = 0; i < n.size(); i++)
    if (pattern[i] == '#' ? !isdigit((unsigned char)n[i]) : n[i] != pattern[i]) return false;
  return true;
}

Png read_png(const std::string& path) {
  Png png;
  int n = 0;
  uint8_t* data = stbi_load(path.c_str(), &png.w, &png.h, &n, 4);
  if (data) {
    png.rgba.assign(data, data + (size_t)png.w * png.h * 4);
    stbi_image_free(data);
  }
  return png;
}

TEST(ScreenshotPng, CapturedBlueGreenRedBytesSaveAsRedWithOpaqueAlpha) {
  std::string dir = make_temp_dir("rh-shot");
  // 3 x 2 pixels, pitch 16: bytes B, G, R, A; the capture's alpha is junk.
  std::vector<uint8_t> px(16 * 2, 0xEE);
  for (int y = 0; y < 2; y++)
    for (int x = 0; x < 3; x++) {
      uint8_t* p = &px[y * 16 + x * 4];
      p[0] = 0, p[1] = (uint8_t)(x * 100), p[2] = 255, p[3] = 0;
    }
  ASSERT_TRUE(save_screenshot_png((dir + "red.png").c_str(), px.data(), 3, 2, 16));
  Png png = read_png(dir + "red.png");
  ASSERT_EQ(png.w, 3);
  ASSERT_EQ(png.h, 2);
  EXPECT_EQ(png.at(0, 0), 0xFFFF0000u);
  EXPECT_EQ(png.at(2, 1), 0xFFFFC800u);
  EXPECT_FALSE(save_screenshot_png((dir + "no/such/folder/x.png").c_str(), px.data(), 3, 2, 16));
}

TEST(Screenshot, PresentedFrameIsSavedRightWayUpInTheShotsFolder) {
  REQUIRE_GL();
  testing::internal::CaptureStdout();
  make_screenshot(); // during an update step: the next presented frame is taken
  set_back_buffer_target();
  begin_draw();
  draw_quad(-1, 0, 1, 1, 0.5f, 0xFFFF0000); // top half red
  draw_quad(-1, -1, 1, 0, 0.5f, 0xFF0000FF); // bottom half blue
  present_d3d();
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_THAT(log, ::testing::HasSubstr("screenshot..."));
  EXPECT_THAT(log, ::testing::HasSubstr("screenshot captured to '"));

  std::string shots = get_appdata_folder_path("shots").c_str();
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(shots)) files.push_back(e.path().string());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(is_shot_name(std::filesystem::path(files[0]).filename().string())) << files[0];
  Png png = read_png(files[0]);
  ASSERT_EQ(png.w, kWd);
  ASSERT_EQ(png.h, kHt);
  EXPECT_EQ(png.at(kWd / 2, 2), 0xFFFF0000u);
  EXPECT_EQ(png.at(kWd / 2, kHt - 3), 0xFF0000FFu);
  std::filesystem::remove(files[0]);
}

// Pictures taken within one second, or over a file already there, keep
// their own names: none overwrites another.
TEST(Screenshot, PicturesInTheSameSecondGetTheirOwnNames) {
  REQUIRE_GL();
  std::vector<std::string> names;
  for (int i = 0; i < 3; i++) {
    testing::internal::CaptureStdout();
    names.push_back(make_screenshot().c_str());
    set_back_buffer_target();
    begin_draw();
    present_d3d();
    testing::internal::GetCapturedStdout();
  }
  EXPECT_NE(names[0], names[1]);
  EXPECT_NE(names[1], names[2]);
  EXPECT_NE(names[0], names[2]);
  for (const std::string& n : names) {
    EXPECT_TRUE(std::filesystem::exists(n)) << n;
    std::filesystem::remove(n);
  }
}

} // namespace
