// Instance renderers on the real device: sharing through get_inst_renderer,
// the fatal class checks, instancing through the common writer (one draw per
// full writer buffer, bindings cached across renderers), queue recycling;
// and the world-grid walk with its point scatterer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/app_globals.h"
#include "core/game_rnd.h"
#include "render/content_test_util.h"
#include "render/dynVBWriter.h"
#include "render/gl_test_util.h"
#include "render/instRender.h"
#include "render/mesh_test_util.h"
#include "render/shader.h"
#include "render/texture.h"

namespace {

using meshtest::R3d;

class InstRenderTest : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    content::use_as_app_path();
    gfx_quality = 0;
    load_shader_compiler();
    if (common_vb_writer.vbufs.empty()) init_common_vb_writer();
    content::write("quad.r3d", meshtest::bytes(R3d{}));
    R3d morph;
    morph.cls = "Morph";
    morph.shader = "mesh_morph.sh";
    morph.stride = 56;
    morph.elems.insert(morph.elems.end(), {32, 0, 0, 3, 0, 1, 44, 0, 0, 3, 0, 2});
    content::write("blob.r3d", meshtest::bytes(morph));
    R3d odd;
    odd.cls = "Wobbly";
    content::write("odd.r3d", meshtest::bytes(odd));
    set_back_buffer_target();
    gltest::begin_draw();
  }
  void TearDown() override {
    if (!gltest::GlEnv::ok) return;
    end_inst_render();
    close_inst_render_internals();
    close_shaders();
  }

  // Queues n Simple instances spread over the view, tinted by index.
  static void queue(InstRender* r, int n) {
    auto* inst = (SimpleInstance*)r->addInstances(n);
    for (int i = 0; i < n; i++)
      inst[i] = SimpleInstance{{0.01f, 0, 0}, {0, 0.01f, 0}, {0, 0, 0.01f}, {0, 0, 0}, 0xFFFFFFFFu - (uint32_t)i};
  }
};

TEST_F(InstRenderTest, OneRendererPerMeshSharedWithOneMeshReference) {
  EXPECT_EQ(get_inst_renderer(nullptr, "Simple"), nullptr);
  EXPECT_EQ(get_inst_renderer("", "Simple"), nullptr);
  InstRender* a = get_inst_renderer("quad", "Simple");
  InstRender* b = get_inst_renderer("quad", "Simple");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->mesh->refcount, 1);
  EXPECT_EQ(managed_inst_renderer_count(), 1);
  EXPECT_NE(dynamic_cast<SimpleInstRender*>(a), nullptr);
  InstRender* m = get_inst_renderer("blob", "Morph");
  EXPECT_NE(dynamic_cast<MorphInstRender*>(m), nullptr);
  EXPECT_EQ(managed_inst_renderer_count(), 2);
  // Both shaders of the class exist: the normal one and its shadow variant.
  EXPECT_NE(a->shader, a->shadowShader);
  EXPECT_STREQ(a->shader->file, "mesh.sh");
  EXPECT_STREQ(a->shadowShader->file, "mesh.sh");
}

TEST_F(InstRenderTest, WrongOrUnknownClassIsFatal) {
  EXPECT_EXIT(get_inst_renderer("blob", "Simple"), ::testing::ExitedWithCode(100),
              "Expected class 'Simple' for 'blob', got 'Morph'");
  EXPECT_EXIT(get_inst_renderer("odd", "Wobbly"), ::testing::ExitedWithCode(100),
              "Unknown instance renderer class 'Wobbly' in '.*odd.r3d'");
  EXPECT_EXIT(get_inst_renderer("missing", "Simple"), ::testing::ExitedWithCode(100),
              "Error reading mesh file '.*missing.r3d':\nCan't open file");
}

TEST_F(InstRenderTest, ThreeThousandSimpleInstancesDrawInThreeCalls) {
  InstRender* r = get_inst_renderer("quad", "Simple");
  ASSERT_EQ(common_vb_writer.size, 65536);
  // Queued in uneven pieces, so blocks end inside writer buffers.
  for (int n : {700, 1, 1299, 1000}) queue(r, n);
  EXPECT_EQ(r->queuedInstances(), 3000);
  start_inst_render();
  managed_inst_render();
  end_inst_render();
  EXPECT_EQ(inst_render_stats.draws, 3);
  EXPECT_EQ(inst_render_stats.drawSizes[0], 1260);
  EXPECT_EQ(inst_render_stats.drawSizes[1], 1260);
  EXPECT_EQ(inst_render_stats.drawSizes[2], 480);
  EXPECT_EQ(inst_render_stats.instances, 3000);
  EXPECT_EQ(r->queuedInstances(), 0);
  EXPECT_EQ(common_vb_writer.startPtr, nullptr); // the writer is idle again
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(InstRenderTest, EmptyRendererBindsNothingAndBindingsCarryAcrossRenderers) {
  InstRender* a = get_inst_renderer("quad", "Simple");
  start_inst_render();
  a->render();
  EXPECT_EQ(inst_render_stats.binds, 0);
  EXPECT_EQ(inst_render_stats.draws, 0);
  queue(a, 5);
  a->render(); // declaration and shader (the quad has no texture)
  EXPECT_EQ(inst_render_stats.binds, 2);
  queue(a, 5);
  a->render();
  EXPECT_EQ(inst_render_stats.binds, 2);
  EXPECT_EQ(inst_render_stats.draws, 2);
  InstRender::renderShadow = true;
  queue(a, 5);
  a->render();
  InstRender::renderShadow = false;
  EXPECT_EQ(inst_render_stats.binds, 3); // only the shader changed
}

TEST_F(InstRenderTest, QueueBlocksAreRecycledNotReallocated) {
  InstRender* r = get_inst_renderer("quad", "Simple");
  queue(r, 2000);
  InstBlock* first = r->first;
  r->render();
  queue(r, 2000);
  EXPECT_EQ(r->first, first) << "a steady frame must reuse its blocks";
  r->clearQueue();
  EXPECT_EQ(r->addInstances(0), nullptr);
}

TEST_F(InstRenderTest, InstancesLandWhereTheirTransformPutsThem) {
  // The quad spans x, z in 0..1; turned upright (z -> y) and scaled it covers
  // the right half of the clip square in front of the camera (identity matrix).
  std::vector<uint8_t> white(4 * 4 * 4, 0xFF);
  content::write("white.dds", content::dds(content::argb(4, 4, true), white));
  R3d lit;
  lit.textures = {"white.dds"};
  content::write("lit_quad.r3d", meshtest::bytes(lit));
  InstRender* r = get_inst_renderer("lit_quad", "Simple");
  ASSERT_NE(r->texture, nullptr);
  Matrix44 id = Matrix44::identity();
  set_vs_consts(0, &id.m[0][0], 4);
  float light[16 * 4] = {};
  light[1 * 4 + 0] = light[1 * 4 + 1] = light[1 * 4 + 2] = 1; // sun colour
  light[13 * 4 + 2] = -1;                                     // light from the camera's side
  set_ps_consts(0, light, 16);
  clear_view(0xFF000000);
  auto* inst = (SimpleInstance*)r->addInstances(1);
  *inst = SimpleInstance{{1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {0, -0.5f, 0.5f}, 0xFFFFFFFF};
  start_inst_render();
  managed_inst_render();
  end_inst_render();
  EXPECT_EQ(inst_render_stats.draws, 1);
  using gltest::pixel, gltest::near_color;
  EXPECT_TRUE(near_color(pixel(gltest::kWd * 3 / 4, gltest::kHt / 2), 0xFFFFFFFF, 3));
  EXPECT_TRUE(near_color(pixel(gltest::kWd / 4, gltest::kHt / 2), 0xFF000000));
  EXPECT_TRUE(near_color(pixel(gltest::kWd * 3 / 4, gltest::kHt / 8), 0xFF000000));

}

TEST_F(InstRenderTest, MorphWeightMovesTheMeshTowardsItsTarget) {
  std::vector<uint8_t> white(4 * 4 * 4, 0xFF);
  content::write("white.dds", content::dds(content::argb(4, 4, true), white));
  R3d morph;
  morph.cls = "Morph";
  morph.shader = "mesh_morph.sh";
  morph.stride = 56;
  morph.textures = {"white.dds"};
  morph.elems.insert(morph.elems.end(), {32, 0, 0, 3, 0, 1, 44, 0, 0, 3, 0, 2});
  morph.morph1[0] = -1; // target 1: one unit to the left
  content::write("slide.r3d", meshtest::bytes(morph));
  InstRender* r = get_inst_renderer("slide", "Morph");
  Matrix44 id = Matrix44::identity();
  set_vs_consts(0, &id.m[0][0], 4);
  float light[16 * 4] = {};
  light[1 * 4 + 0] = light[1 * 4 + 1] = light[1 * 4 + 2] = 1;
  light[13 * 4 + 2] = -1;
  set_ps_consts(0, light, 16);
  using gltest::pixel, gltest::near_color;
  const int left = gltest::kWd / 4, right = gltest::kWd * 3 / 4, mid = gltest::kHt / 2;
  for (uint32_t weights : {0x00000000u, 0x00FF0000u}) { // r = target 1's weight
    clear_view(0xFF000000);
    auto* inst = (MorphInstance*)r->addInstances(1);
    *inst = MorphInstance{{{1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {0, -0.5f, 0.5f}, 0xFFFFFFFF}, weights};
    start_inst_render();
    managed_inst_render();
    end_inst_render();
    bool moved = weights != 0;
    EXPECT_TRUE(near_color(pixel(moved ? left : right, mid), 0xFFFFFFFF, 3)) << std::hex << weights;
    EXPECT_TRUE(near_color(pixel(moved ? right : left, mid), 0xFF000000)) << std::hex << weights;
  }
}

// {===== The world-grid walk

struct Recorder : IWalkMapGrid {
  std::vector<std::array<float, 3>> calls;
  void on_map_grid_walk(float x, float z, float size) override { calls.push_back({x, z, size}); }
};

TEST(WalkMapGrid, VisitsSquaresOfTheLevelsSize) {
  Recorder w8, w20, w3, wm1;
  walk_map_grid(8, w8);
  walk_map_grid(20, w20);
  ASSERT_EQ(w8.calls.size(), 1u);
  EXPECT_EQ(w8.calls[0], (std::array<float, 3>{0, 0, 256}));
  EXPECT_EQ(w20.calls, w8.calls);
  walk_map_grid(3, w3);
  ASSERT_EQ(w3.calls.size(), 1024u);
  EXPECT_EQ(w3.calls[1], (std::array<float, 3>{8, 0, 8})); // x runs inside z
  EXPECT_EQ(w3.calls[32], (std::array<float, 3>{0, 8, 8}));
  walk_map_grid(-1, wm1);
  ASSERT_EQ(wm1.calls.size(), 262144u);
  EXPECT_EQ(wm1.calls.back(), (std::array<float, 3>{255.5f, 255.5f, 0.5f}));
}

struct Points : IMapPointSink {
  std::vector<std::pair<float, float>> pts;
  void on_map_point(float x, float z) override { pts.push_back({x, z}); }
};

TEST(WalkMapGrid, CellPointsDrawTwoNumbersPerPointInsideTheSquare) {
  Points sink;
  GenMapCellPoints gen;
  gen.target = &sink;
  gen.count = 0;
  game_rnd_seed = 77;
  walk_map_grid(4, gen);
  EXPECT_TRUE(sink.pts.empty());
  EXPECT_EQ(game_rnd_seed, 77u) << "count 0 draws no random numbers";
  gen.count = 3;
  walk_map_grid(7, gen); // 4 squares of 128
  ASSERT_EQ(sink.pts.size(), 12u);
  game_rnd_seed = 77;
  float r1 = game_rnd_frnd(), r2 = game_rnd_frnd();
  EXPECT_EQ(sink.pts[0], std::make_pair(128 * r1, 128 * r2));
  for (size_t i = 0; i < sink.pts.size(); i++) {
    float x0 = (i / 3 % 2) * 128.0f, z0 = (i / 6) * 128.0f;
    EXPECT_GE(sink.pts[i].first, x0);
    EXPECT_LT(sink.pts[i].first, x0 + 128);
    EXPECT_GE(sink.pts[i].second, z0);
    EXPECT_LT(sink.pts[i].second, z0 + 128);
  }
}

} // namespace
