// Debug drawing: a change between lines and triangles draws what was
// written before (painter's order holds in the read-back pixels), and the
// counts of the composite shapes.
#include "gl_test_util.h"
#include "content_test_util.h"
#include "render/debug_vis.h"
#include "render/dynVBWriter.h"
#include "render/shader.h"

using namespace gltest;

namespace {

class DebugVisTest : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    content::use_as_app_path();
    load_shader_compiler();
    if (common_vb_writer.vbufs.empty()) init_common_vb_writer();
    init_debug_vis();
    // World space is clip space.
    set_view_tm(Matrix44::identity());
    set_proj_tm(Matrix44::identity());
    set_back_buffer_target();
    begin_draw();
    draw_full(0xFF000000);
    set_blend_none();
  }
  void TearDown() override {
    if (!GlEnv::ok) return;
    close_debug_vis();
    close_shaders();
  }
  static Vec4f p(float x, float y) { return Vec4f{x, y, 0.5f, 1}; }
  // Draws issued so far: each moves the writer's ring on by one buffer.
  static int ring() { return common_vb_writer.index; }
};

TEST_F(DebugVisTest, AlternatingLinesAndTrianglesFlushAtEverySwitch) {
  const D3dColor red = 0xFFFF0000, green = 0xFF00FF00, blue = 0xFF0000FF;
  start_draw_debug_vis();
  int r0 = ring();
  // Red over the whole left half, a green line across the middle row, then
  // blue over the right half of the line.
  draw_debug_vis_tri(p(-1, -1), p(-1, 1), p(0, 1), red, red, red);
  draw_debug_vis_tri(p(-1, -1), p(0, 1), p(0, -1), red, red, red);
  EXPECT_EQ(debug_vis_mode(), D3DPT_TRIANGLELIST);
  EXPECT_EQ(common_vb_writer.count, 2);
  draw_debug_vis_line(p(-1, 1.f / 48), p(1, 1.f / 48), green, green);
  EXPECT_EQ(debug_vis_mode(), D3DPT_LINELIST);
  EXPECT_EQ(common_vb_writer.count, 1) << "the triangles went out before the line";
  EXPECT_EQ((ring() - r0 + 4) % 4, 1);
  draw_debug_vis_tri(p(0.5f, -1), p(0.5f, 1), p(1, 1), blue, blue, blue);
  draw_debug_vis_tri(p(0.5f, -1), p(1, 1), p(1, -1), blue, blue, blue);
  EXPECT_EQ(debug_vis_mode(), D3DPT_TRIANGLELIST);
  EXPECT_EQ(common_vb_writer.count, 2);
  EXPECT_EQ((ring() - r0 + 4) % 4, 2);
  draw_debug_vis_line(p(-1, -0.5f), p(1, -0.5f), green, green);
  end_draw_debug_vis();
  EXPECT_EQ((ring() - r0 + 4) % 4, 0) << "four runs: two of triangles, two of lines";
  EXPECT_EQ(common_vb_writer.startPtr, nullptr);

  // The middle row (y = 23): green over red on the left, green on black in
  // between, blue over green on the right.
  int row = kHt / 2 - 1;
  EXPECT_TRUE(near_color(pixel(8, row), green));
  EXPECT_TRUE(near_color(pixel(40, row), green));
  EXPECT_TRUE(near_color(pixel(60, row), blue));
  EXPECT_TRUE(near_color(pixel(8, 4), red));
  // The last line, drawn after the blue triangles, crosses them.
  int low = kHt * 3 / 4 - 1;
  bool found = false;
  for (int y = low - 1; y <= low + 1; y++) found |= near_color(pixel(60, y), green);
  EXPECT_TRUE(found);
}

TEST_F(DebugVisTest, ShapesEmitTheirPrimitiveCounts) {
  start_draw_debug_vis();
  Vec4f a{0.25f, -0.5f, 0.5f, 1};
  draw_debug_vis_solid_box(a, a, 0xFFFFFFFF, 0);
  EXPECT_EQ(common_vb_writer.count, 12) << "twelve degenerate triangles";
  const float* f = (const float*)common_vb_writer.startPtr;
  for (int i = 0; i < 36; i++) {
    EXPECT_FLOAT_EQ(f[i * 4], 0.25f);
    EXPECT_FLOAT_EQ(f[i * 4 + 1], -0.5f);
  }
  draw_debug_vis_wire_box(Vec4f{0, 0, 0, 1}, Vec4f{1, 1, 1, 1}, 0xFFFFFFFF);
  EXPECT_EQ(common_vb_writer.count, 12) << "twelve edges";
  draw_debug_vis_cross_point(a, 0.1f, 0xFFFFFFFF);
  EXPECT_EQ(common_vb_writer.count, 15);
  // Below two bands counts as two: one band of 4 segments, each with its
  // segment along the band, to the next band and to the pole.
  draw_debug_vis_sphere(a, 0.2f, 0xFFFFFFFF, 0);
  EXPECT_EQ(common_vb_writer.count, 15 + 12);
  draw_debug_vis_sphere(a, 0.2f, 0xFFFFFFFF, 3);
  EXPECT_EQ(common_vb_writer.count, 27 + 2 * 6 * 2 + 6);
  end_draw_debug_vis();
}

} // namespace
