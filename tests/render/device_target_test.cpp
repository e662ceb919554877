// Image orientation across uploads, texture targets, copies, the back buffer
// and the front-buffer capture: every path must read top row first, as in
// Direct3D.
#include <vector>

#include "gl_test_util.h"
#include "render/splash.h"

using namespace gltest;

namespace {

class DeviceTarget : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    set_back_buffer_target();
    begin_draw();
  }
};

// Top half red, bottom half green, drawn as geometry (clip y up).
static void draw_red_over_green() {
  draw_quad(-1, 0, 1, 1, 0.5f, 0xFFFF0000);
  draw_quad(-1, -1, 1, 0, 0.5f, 0xFF00FF00);
}

static uint32_t texel(const uint8_t* p, int pitch, int x, int y) {
  const uint8_t* b = p + y * pitch + x * 4;
  return (uint32_t)b[3] << 24 | (uint32_t)b[2] << 16 | (uint32_t)b[1] << 8 | b[0];
}

TEST_F(DeviceTarget, RenderedTextureIsStoredTopRowFirstAndSamplesUpright) {
  Texture* t = create_render_texture(32, 32, 1);
  ASSERT_NE(t, nullptr);
  set_render_target(t, 0, false);
  draw_red_over_green();
  EXPECT_TRUE(near_color(pixel(4, 2), 0xFFFF0000));
  EXPECT_TRUE(near_color(pixel(4, 29), 0xFF00FF00));

  int pitch = 0;
  uint8_t* p = lock_texture(t, pitch, false);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(pitch, 32 * 4);
  EXPECT_TRUE(near_color(texel(p, pitch, 4, 0), 0xFFFF0000));
  EXPECT_TRUE(near_color(texel(p, pitch, 4, 31), 0xFF00FF00));
  unlock_texture(t);

  // Sampled over the back buffer with v = 0 at the top.
  set_back_buffer_target();
  set_texture(0, t);
  use_texture(true);
  draw_full(0xFFFFFFFF);
  use_texture(false);
  set_texture(0, nullptr);
  EXPECT_TRUE(near_color(pixel(10, 3), 0xFFFF0000));
  EXPECT_TRUE(near_color(pixel(10, kHt - 3), 0xFF00FF00));
  release_texture(t);
}

TEST_F(DeviceTarget, UploadedImageRowZeroIsTheTop) {
  Texture* t = create_managed_texture(2, 2);
  ASSERT_NE(t, nullptr);
  int pitch = 0;
  uint8_t* p = lock_texture(t, pitch, true);
  ASSERT_NE(p, nullptr);
  const uint8_t rows[2][8] = {{0, 0, 255, 255, 0, 0, 255, 255}, {255, 0, 0, 255, 255, 0, 0, 255}};
  memcpy(p, rows[0], 8);
  memcpy(p + pitch, rows[1], 8);
  unlock_texture(t);
  set_tex_filter(0, false);
  set_texture(0, t);
  use_texture(true);
  draw_full(0xFFFFFFFF);
  use_texture(false);
  set_texture(0, nullptr);
  set_tex_filter(0, true);
  EXPECT_TRUE(near_color(pixel(5, 5), 0xFFFF0000));       // top row: red
  EXPECT_TRUE(near_color(pixel(5, kHt - 5), 0xFF0000FF)); // bottom row: blue
  release_texture(t);
}

TEST_F(DeviceTarget, CopyBackBufferKeepsTheImageUpright) {
  draw_red_over_green();
  EXPECT_TRUE(near_color(pixel(3, 3), 0xFFFF0000));
  Texture* t = create_screen_render_texture();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->cur_wd, d3d_wd);
  EXPECT_EQ(t->cur_ht, d3d_ht);
  ASSERT_TRUE(copy_back_buffer(t));
  int pitch = 0;
  uint8_t* p = lock_texture(t, pitch, false);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(near_color(texel(p, pitch, 3, 1), 0xFFFF0000));
  EXPECT_TRUE(near_color(texel(p, pitch, 3, d3d_ht - 2), 0xFF00FF00));
  unlock_texture(t);

  // copy_texture keeps the layout (and stretches).
  Texture* small = create_render_texture(8, 8, 1);
  ASSERT_NE(small, nullptr);
  copy_texture(t, small);
  p = lock_texture(small, pitch, false);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(near_color(texel(p, pitch, 1, 0), 0xFFFF0000));
  EXPECT_TRUE(near_color(texel(p, pitch, 1, 7), 0xFF00FF00));
  unlock_texture(small);
  release_texture(small);
  release_texture(t);
  EXPECT_FALSE(copy_back_buffer(nullptr));
}

TEST_F(DeviceTarget, FrontBufferCaptureReturnsThePresentedFrameTopFirst) {
  int calls = 0;
  static int* called = &calls;
  called = &calls;
  request_front_buffer_capture([] { ++*called; });
  draw_red_over_green();
  present_d3d();
  EXPECT_EQ(calls, 1);
  clear_view_color(0xFF0000FF); // the next frame does not disturb the capture
  int w = 0, h = 0, pitch = 0;
  uint8_t* p = capture_front_buffer(w, h, pitch);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(w, d3d_wd);
  EXPECT_EQ(h, d3d_ht);
  EXPECT_TRUE(near_color(texel(p, pitch, 2, 1), 0xFFFF0000));
  EXPECT_TRUE(near_color(texel(p, pitch, 2, h - 2), 0xFF00FF00));
  release_front_buffer_capture();
  // A present without a request keeps nothing, and the old copy is not its frame.
  present_d3d();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(capture_front_buffer(w, h, pitch), nullptr);
}

TEST_F(DeviceTarget, SplashShowsTheProgressBar) {
  float saved_line = splash_line_height;
  splash_line_height = 2.f; // the bar must fit the small test window
  request_front_buffer_capture(nullptr);
  show_splash("Loading...", 0.5f);
  EXPECT_STREQ(splash_text.str, "Loading...");
  int w = 0, h = 0, pitch = 0;
  uint8_t* p = capture_front_buffer(w, h, pitch);
  ASSERT_NE(p, nullptr);
  int top = h / 4 - 6, x0 = (w - w / 4) / 2;
  {
    EXPECT_TRUE(near_color(texel(p, pitch, x0 + 1, top + 1), 0xFF32960A));       // filled part
    EXPECT_TRUE(near_color(texel(p, pitch, x0 + w / 4 - 1, top + 1), 0xFF000000)); // the rest
  }
  EXPECT_TRUE(near_color(texel(p, pitch, 0, h - 1), 0xFF000A28));
  request_front_buffer_capture(nullptr);
  show_splash(nullptr, -1.f); // no bar
  p = capture_front_buffer(w, h, pitch);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(splash_text.str[0], 0);
  EXPECT_TRUE(near_color(texel(p, pitch, x0 + 1, top + 1), 0xFF000A28));
  release_front_buffer_capture();
  splash_line_height = saved_line;
}

TEST_F(DeviceTarget, SceneGrabNeedsTheSceneImage) {
  scene_image = nullptr;
  ::testing::internal::CaptureStdout();
  grab_scene_as_splash();
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("error: scene image grab failed!"),
            std::string::npos);
  scene_image = create_screen_render_texture();
  ASSERT_NE(scene_image, nullptr);
  grab_scene_as_splash();
  EXPECT_EQ(splash_background, scene_image);
  release_texture(scene_image);
  scene_image = splash_background = nullptr;
}

// Samples a 4x4 texture of `format` filled from `data` (level 0) and returns
// the colour drawn at the centre of the back buffer.
static uint32_t sample_format(int format, const void* data) {
  Texture* t = create_texture(4, 4, 1, 0, format, D3DPOOL_MANAGED);
  EXPECT_NE(t, nullptr);
  if (!t) return 0;
  EXPECT_TRUE(upload_texture_level(t, 0, data));
  set_texture(0, t);
  use_texture(true);
  draw_full(0xFFFFFFFF);
  use_texture(false);
  set_texture(0, nullptr);
  release_texture(t);
  return pixel(kWd / 2, kHt / 2);
}

TEST_F(DeviceTarget, FormatsSampleWithDirect3DChannelDefaults) {
  uint8_t l8[16];
  memset(l8, 0x80, sizeof l8);
  EXPECT_TRUE(near_color(sample_format(D3DFMT_L8, l8), 0xFF808080));
  uint16_t r565[16];
  for (uint16_t& p : r565) p = 0x001F; // pure blue
  EXPECT_TRUE(near_color(sample_format(D3DFMT_R5G6B5, r565), 0xFF0000FF));
  uint16_t a4[16];
  for (uint16_t& p : a4) p = 0xF0F0; // A=F R=0 G=F B=0
  EXPECT_TRUE(near_color(sample_format(D3DFMT_A4R4G4B4, a4), 0xFF00FF00));
  float r32[16];
  for (float& f : r32) f = 0.25f; // one channel: (r, 1, 1, 1)
  EXPECT_TRUE(near_color(sample_format(D3DFMT_R32F, r32), 0xFF40FFFF));
  uint8_t x8[64];
  for (int i = 0; i < 16; i++) {
    x8[i * 4 + 0] = 0x10; // B
    x8[i * 4 + 1] = 0x20; // G
    x8[i * 4 + 2] = 0x30; // R
    x8[i * 4 + 3] = 0x00; // X: alpha reads as 1
  }
  set_atest(200);
  EXPECT_TRUE(near_color(sample_format(D3DFMT_X8R8G8B8, x8), 0xFF302010));
  set_atest(0);
  // One DXT1 block: both end colours pure red, every index 0.
  uint8_t dxt1[8] = {0x00, 0xF8, 0x00, 0xF8, 0, 0, 0, 0};
  EXPECT_TRUE(near_color(sample_format(D3DFMT_DXT1, dxt1), 0xFFFF0000));
}

TEST_F(DeviceTarget, UnknownFormatIsRefusedWithTheCreationMessage) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(create_texture(4, 4, 1, 0, 12345, D3DPOOL_MANAGED), nullptr);
  EXPECT_EQ(create_dynamic_texture(4, 4, 0), nullptr);
  std::string log = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("error creating texture (code 0x00000500)"), std::string::npos) << log;
}

TEST_F(DeviceTarget, RenderTargetFormatsAreChecked) {
  EXPECT_TRUE(can_render_to_format(1));
  EXPECT_TRUE(can_render_to_format(8));
  EXPECT_FALSE(can_render_to_format(0));
  EXPECT_FALSE(can_render_to_format(12));
}

} // namespace
