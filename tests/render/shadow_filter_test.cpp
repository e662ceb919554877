// The temporal filtering of the deferred path's shadow term on a real device:
// a term that flickers between two complementary checkerboards, seen by a
// still camera, must settle at its average; a camera cut or a missing
// previous frame must leave the term unfiltered, while a small move keeps
// using the reprojected history.
#include <cstring>
#include <utility>
#include <vector>

#include "core/app_globals.h"
#include "render/camera.h"
#include "render/gl_test_util.h"
#include "render/content_test_util.h"
#include "render/postfx.h"
#include "render/scene.h"

namespace {

using gltest::kHt;
using gltest::kWd;

// A screen-sized render target filled with one BGRA value per pixel.
Texture* filled_target(uint32_t (*pixel)(int x, int y)) {
  Texture* src = create_dynamic_texture(kWd, kHt, 1);
  Texture* t = create_screen_render_texture();
  EXPECT_TRUE(src && t);
  if (!src || !t) return t;
  int pitch = 0;
  uint8_t* p = lock_texture(src, pitch, true);
  EXPECT_NE(p, nullptr);
  for (int y = 0; p && y < kHt; y++)
    for (int x = 0; x < kWd; x++) {
      uint32_t v = pixel(x, y);
      memcpy(p + size_t(y) * pitch + 4 * x, &v, 4);
    }
  unlock_texture(src);
  copy_texture(src, t);
  release_texture(src);
  return t;
}

// The red channel (the shadow term) of every pixel.
std::vector<int> term_of(Texture* t) {
  std::vector<uint8_t> bgra(size_t(kWd) * kHt * 4);
  set_render_target(t, 0, false);
  EXPECT_TRUE(read_render_target(0, 0, kWd, kHt, bgra.data()));
  std::vector<int> r(size_t(kWd) * kHt);
  for (size_t i = 0; i < r.size(); i++) r[i] = bgra[i * 4 + 2];
  return r;
}

uint32_t lit_even(int x, int y) { return (x + y) % 2 ? 0xFF000000u : 0xFFFF0000u; }
uint32_t lit_odd(int x, int y) { return lit_even(x + 1, y); }
// Every pixel 20 units away (gbuffer.sh's encoding: 20 / 512 x 255 = 9.96).
uint32_t twenty_units(int, int) { return 0xFF000000u | (9u << 16) | (245u << 8); }

class ShadowFilterTest : public ::testing::Test {
protected:
  Matrix44 cam = Matrix44::identity(), proj{};
  Texture *term[2] = {}, *distance = nullptr, *history = nullptr, *target = nullptr;
  int quality = gfx_quality;

  void SetUp() override {
    ASSERT_TRUE(gltest::GlEnv::ok);
    content::use_as_app_path();
    init_postfx();
    camera = CameraState{};
    camera.zoom = camera.prev_zoom = 1;
    camera_projection(0, d3d_wd, d3d_ht, proj);
    cam.m[3][0] = 100;
    cam.m[3][1] = 20;
    cam.m[3][2] = 60;
    term[0] = filled_target(lit_even);
    term[1] = filled_target(lit_odd);
    distance = filled_target(twenty_units);
    history = filled_target(lit_even);
    target = create_screen_render_texture();
  }
  void TearDown() override {
    for (Texture* t : {term[0], term[1], distance, history, target})
      if (t) release_texture(t);
    close_postfx();
    gfx_quality = quality;
  }

  // The resolve of a high-quality frame seen from `cam`, which stores the
  // matrix and position that the next frame reprojects through.
  void resolve_frame() {
    Matrix44 view;
    ASSERT_TRUE(matrix_inverse(cam, view));
    set_view_tm(view);
    set_proj_tm(proj);
    gfx_quality = 1;
    use_ppaa = use_postfx = false;
    finish_frame_postfx();
  }
  bool filter(int k) {
    bool done = postfx_filter_shadow_term(target, term[k & 1], history, distance, cam, proj);
    if (done) std::swap(target, history); // as the scene does: the result is the next history
    return done;
  }
};

TEST_F(ShadowFilterTest, StillCameraSettlesAtTheAverageOfAFlickeringTerm) {
  EXPECT_FALSE(filter(1)) << "filtered without a previous frame";
  resolve_frame();
  for (int k = 1; k <= 40; k++) {
    ASSERT_TRUE(filter(k));
    resolve_frame();
  }
  // x = 0.9 x' + 0.1 c with c flipping between 0 and 1 settles at 0.47..0.53;
  // a history read from the wrong pixel, or a heavier weight, stays at 0 / 1.
  std::vector<int> r = term_of(history);
  int outside = 0;
  for (int v : r) outside += v < 110 || v > 145;
  EXPECT_EQ(outside, 0) << "first value " << r[0] << ", centre " << r[r.size() / 2 + kWd / 2];
}

TEST_F(ShadowFilterTest, CameraCutStartsAfreshButASmallMoveKeepsTheHistory) {
  resolve_frame();
  ASSERT_TRUE(filter(1));
  resolve_frame();
  cam.m[3][2] += 20; // jumped 20 units forward: the history shows another place
  EXPECT_FALSE(filter(0));
  cam.m[3][2] -= 19; // one unit from the last frame: reprojected, still used
  ASSERT_TRUE(filter(0));
  std::vector<int> r = term_of(history);
  int mixed = 0;
  for (int v : r) mixed += v > 20 && v < 235;
  EXPECT_GT(mixed, kWd * kHt * 9 / 10);
}

} // namespace
