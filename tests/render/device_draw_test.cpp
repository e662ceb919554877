// Render states proved by pixels: blend modes, alpha test, colour write mask,
// depth, stencil test and replace, wireframe and culling.
#include "gl_test_util.h"

using namespace gltest;

static auto* const gl_env = ::testing::AddGlobalTestEnvironment(new GlEnv);

namespace {

class DeviceDraw : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    set_back_buffer_target();
    begin_draw();
  }
};

struct BlendCase {
  const char* name;
  void (*set)();
  uint32_t dst, src, want;
};

TEST_F(DeviceDraw, BlendModesCombineSourceAndDestinationAsDirect3D) {
  const BlendCase cases[] = {
      {"none", set_blend_none, 0xFF204060, 0x80C08040, 0xFFC08040},
      {"additive", set_blend_additive, 0xFF204060, 0x80402010, 0xFF606070},
      // src + dst * (1 - src)
      {"smooth_add", set_blend_smooth_add, 0xFF808080, 0xFF804000, 0xFFC0A080},
      // src * a + dst * (1 - a), a = 0x80
      {"alpha", set_blend_alpha, 0xFF000000, 0x80FF0000, 0xFF800000},
      // src + dst * (1 - a)
      {"prealpha", set_blend_prealpha, 0xFF0000FF, 0x80400000, 0xFF40007F},
      // src * dst
      {"multiply", set_blend_multiply, 0xFF80FF40, 0xFF808080, 0xFF408020},
      {"min", set_blend_min, 0xFF20C060, 0xFF8040A0, 0xFF204060},
      {"max", set_blend_max, 0xFF20C060, 0xFF8040A0, 0xFF80C0A0},
  };
  for (const BlendCase& c : cases) {
    set_blend_none();
    draw_full(c.dst);
    c.set();
    draw_full(c.src);
    EXPECT_TRUE(near_color(pixel(kWd / 2, kHt / 2), c.want)) << c.name;
  }
}

TEST_F(DeviceDraw, AlphaTestDiscardsBelowReferenceAndZeroDisables) {
  draw_full(0xFF000000);
  set_atest(128);
  draw_full(0x7FFF0000); // alpha 127 < 128: discarded
  EXPECT_TRUE(near_color(pixel(5, 5), 0xFF000000));
  draw_full(0x8000FF00); // alpha 128 >= 128: drawn
  EXPECT_TRUE(near_color(pixel(5, 5), 0xFF00FF00));
  set_atest(0);
  draw_full(0x010000FF);
  EXPECT_TRUE(near_color(pixel(5, 5), 0xFF0000FF));
}

TEST_F(DeviceDraw, ColorWriteMaskKeepsMaskedChannels) {
  draw_full(0xFF000000);
  set_color_write_mask(1 | 4); // red and blue
  draw_full(0xFFFFFFFF);
  set_color_write_mask(15);
  EXPECT_TRUE(near_color(pixel(3, 3), 0xFFFF00FF));
}

TEST_F(DeviceDraw, ClearsIgnoreWriteMasksAndStayInTheViewport) {
  set_color_write_mask(0);
  clear_view_color(0xFF112233);
  set_color_write_mask(15);
  EXPECT_TRUE(near_color(pixel(0, 0), 0xFF112233));
  set_viewport(0, 0, 8, 8);
  clear_view_color(0xFFFFFFFF);
  set_viewport(0, 0, kWd, kHt);
  EXPECT_TRUE(near_color(pixel(7, 7), 0xFFFFFFFF));
  EXPECT_TRUE(near_color(pixel(8, 8), 0xFF112233));
  EXPECT_TRUE(near_color(pixel(0, kHt - 1), 0xFF112233)); // the viewport's y runs from the top
}

// Depth and stencil live in the scene depth buffer, bound with texture targets.
class DeviceDepth : public DeviceDraw {
protected:
  Texture* target = nullptr;
  void SetUp() override {
    DeviceDraw::SetUp();
    target = create_render_texture(kWd, kHt, 1);
    ASSERT_NE(target, nullptr);
    set_render_target(target, 0, true);
    clear_view(0xFF000000);
  }
  void TearDown() override {
    set_back_buffer_target();
    release_texture(target);
  }
};

TEST_F(DeviceDepth, DepthTestKeepsTheNearerSurfaceAndZWriteOffLeavesDepth) {
  set_zenable(true);
  draw_full(0xFFFF0000, 0.3f);
  draw_full(0xFF00FF00, 0.6f); // behind: rejected
  EXPECT_TRUE(near_color(pixel(10, 10), 0xFFFF0000));
  set_zwrite(false);
  draw_full(0xFF0000FF, 0.1f); // in front, drawn, depth stays 0.3
  EXPECT_TRUE(near_color(pixel(10, 10), 0xFF0000FF));
  draw_full(0xFFFFFF00, 0.2f); // still in front of 0.3
  EXPECT_TRUE(near_color(pixel(10, 10), 0xFFFFFF00));
  set_zenable(false);
  draw_full(0xFFFFFFFF, 0.9f);
  EXPECT_TRUE(near_color(pixel(10, 10), 0xFFFFFFFF));
}

TEST_F(DeviceDepth, DepthRangeIsZeroToOne) {
  set_zenable(true);
  draw_full(0xFFFF0000, 0.05f);
  draw_full(0xFF00FF00, -0.05f); // in front of the near plane: clipped
  EXPECT_TRUE(near_color(pixel(10, 10), 0xFFFF0000));
}

TEST_F(DeviceDepth, StencilReplaceMarksAndTestSelects) {
  set_stencil_test(0xFF, 1, D3DCMP_ALWAYS);
  set_stencil_replace_bits(0xFF);
  draw_quad(-1, -1, 0, 1, 0.5f, 0xFF202020); // left half gets stencil 1
  set_stencil_replace_bits(0);
  set_stencil_test(0xFF, 1, D3DCMP_EQUAL);
  draw_full(0xFF00FF00);
  EXPECT_TRUE(near_color(pixel(5, 20), 0xFF00FF00));
  EXPECT_TRUE(near_color(pixel(kWd - 5, 20), 0xFF000000));
  set_stencil_test(0xFF, 1, D3DCMP_NOTEQUAL);
  draw_full(0xFF0000FF);
  EXPECT_TRUE(near_color(pixel(5, 20), 0xFF00FF00));
  EXPECT_TRUE(near_color(pixel(kWd - 5, 20), 0xFF0000FF));
  set_stencil_test(0, 0, 0); // mask 0: off
  draw_full(0xFFFFFFFF);
  EXPECT_TRUE(near_color(pixel(5, 20), 0xFFFFFFFF));
  // clear_view_z resets the stencil to 0.
  clear_view_z();
  set_stencil_test(0xFF, 0, D3DCMP_EQUAL);
  draw_full(0xFF123456);
  EXPECT_TRUE(near_color(pixel(5, 20), 0xFF123456));
}

TEST_F(DeviceDraw, WireframeDrawsOnlyEdges) {
  draw_full(0xFF000000);
  set_wireframe(true);
  draw_quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0xFFFFFFFF);
  set_wireframe(false);
  // Centre of the lower-right triangle: not on an edge.
  EXPECT_TRUE(near_color(pixel(kWd / 2 + 8, kHt / 2 + 6), 0xFF000000));
  int lit = 0; // the left edge runs down column 16
  for (int y = kHt / 4 + 2; y < 3 * kHt / 4 - 2; y++)
    for (int x = 15; x <= 17; x++) lit += channel(pixel(x, y), 16) > 128;
  EXPECT_GE(lit, kHt / 2 - 6);
}

// A triangle list with one clockwise and one counter-clockwise triangle.
static void draw_two_windings() {
  Vertex v[6] = {
      // left: clockwise on screen
      {-1, 1, 0.5f, 0xFFFF0000, 0, 0}, {0, 1, 0.5f, 0xFFFF0000, 0, 0}, {-1, -1, 0.5f, 0xFFFF0000, 0, 0},
      // right: counter-clockwise on screen
      {0, 1, 0.5f, 0xFF00FF00, 0, 0}, {0, -1, 0.5f, 0xFF00FF00, 0, 0}, {1, 1, 0.5f, 0xFF00FF00, 0, 0}};
  draw_tris(v, 6);
}

static void expect_culling(int mode, bool left_drawn, bool right_drawn) {
  clear_view_color(0xFF000000);
  set_cull_mode(mode);
  draw_two_windings();
  set_cull_mode(0);
  EXPECT_EQ(channel(pixel(4, 4), 16) > 128, left_drawn) << "cull " << mode;
  EXPECT_EQ(channel(pixel(kWd / 2 + 4, 4), 8) > 128, right_drawn) << "cull " << mode;
}

TEST_F(DeviceDraw, CullModesFollowScreenWindingOnBackBufferAndTextures) {
  expect_culling(1, true, false);  // CCW culled
  expect_culling(-1, false, true); // CW culled
  expect_culling(0, true, true);
  Texture* t = create_render_texture(kWd, kHt, 1);
  ASSERT_NE(t, nullptr);
  set_render_target(t, 0, false);
  expect_culling(1, true, false);
  expect_culling(-1, false, true);
  set_back_buffer_target();
  release_texture(t);
}

TEST_F(DeviceDraw, DrawWithoutPrimitivesDrawsNothing) {
  draw_full(0xFF000000);
  void* p = lock_vb(GlEnv::vb, 0, 0);
  Vertex v[3] = {{-1, 1, 0.5f, 0xFFFFFFFF, 0, 0}, {1, 1, 0.5f, 0xFFFFFFFF, 0, 0}, {-1, -1, 0.5f, 0xFFFFFFFF, 0, 0}};
  memcpy(p, v, sizeof v);
  unlock_vb(GlEnv::vb);
  draw_prim(D3DPT_TRIANGLELIST, 0, 0);
  EXPECT_TRUE(near_color(pixel(2, 2), 0xFF000000));
}

} // namespace
