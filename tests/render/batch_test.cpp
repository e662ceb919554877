// Render batches: the grouping and overlap rules, the arena's reuse, and the
// streaming of blocks through the common writer (exact fit after a flush,
// one byte more is fatal).
#include <gmock/gmock.h>

#include "content_test_util.h"
#include "gl_test_util.h"
#include "render/renderBatch.h"

using namespace gltest;

namespace {

int block_count(const RenderBatchGroup& g) {
  int n = 0;
  for (RenderBatchBlock* b = g.first; b; b = b->next) n++;
  return n;
}

TEST(RenderBatchGrouping, SameStateJoinsAcrossANonOverlappingBlock) {
  StdRenderBatchState a, b;
  RenderBatch batch;
  batch.add(&a, {0, 0, 10, 10}, 16, 1);
  batch.add(&b, {20, 0, 30, 10}, 16, 1);
  batch.add(&a, {40, 0, 50, 10}, 16, 1);
  ASSERT_EQ(batch.groups.num, 2);
  EXPECT_EQ(batch.groups[0].state, &a);
  EXPECT_EQ(block_count(batch.groups[0]), 2);
  const BatchRect& u = batch.groups[0].bounds;
  EXPECT_EQ(u.x0, 0);
  EXPECT_EQ(u.x1, 50);
  EXPECT_EQ(u.y1, 10);
}

TEST(RenderBatchGrouping, OverlappingBlockInBetweenStartsANewGroup) {
  StdRenderBatchState a, b;
  RenderBatch batch;
  batch.add(&a, {0, 0, 10, 10}, 16, 1);
  batch.add(&b, {20, 0, 30, 10}, 16, 1);
  batch.add(&a, {25, 5, 35, 15}, 16, 1); // over the b block: drawn after it
  ASSERT_EQ(batch.groups.num, 3);
  EXPECT_EQ(batch.groups[2].state, &a);
  // A later a-block joins the newest a-group.
  batch.add(&a, {100, 100, 110, 110}, 16, 1);
  EXPECT_EQ(batch.groups.num, 3);
  EXPECT_EQ(block_count(batch.groups[2]), 2);
}

TEST(RenderBatchGrouping, OnlyBlocksCountNotTheGroupBounds) {
  StdRenderBatchState a, b;
  RenderBatch batch;
  batch.add(&a, {0, 0, 10, 10}, 16, 1);
  batch.add(&b, {20, 0, 30, 10}, 16, 1);
  batch.add(&b, {60, 0, 70, 10}, 16, 1);
  // Inside b's bounds (20..70) but over none of its blocks.
  batch.add(&a, {40, 0, 50, 10}, 16, 1);
  EXPECT_EQ(batch.groups.num, 2);
}

TEST(RenderBatchGrouping, TouchingRectanglesDoNotOverlap) {
  EXPECT_FALSE(batch_rects_overlap({0, 0, 10, 10}, {10, 0, 20, 10}));  // r.x1 == g.x0
  EXPECT_FALSE(batch_rects_overlap({0, 0, 10, 10}, {0, 10, 10, 20}));  // r.y1 == g.y0
  EXPECT_TRUE(batch_rects_overlap({0, 0, 10.5f, 10}, {10, 0, 20, 10}));
  StdRenderBatchState a, b;
  RenderBatch batch;
  batch.add(&a, {0, 0, 10, 10}, 16, 1);
  batch.add(&b, {20, 0, 30, 10}, 16, 1);
  batch.add(&a, {10, 0, 20, 10}, 16, 1); // touches b's left edge
  EXPECT_EQ(batch.groups.num, 2);
}

TEST(RenderBatchArena, ClearKeepsTheChunksForTheNextFrame) {
  StdRenderBatchState a;
  RenderBatch batch(1024);
  auto frame = [&] {
    for (int i = 0; i < 100; i++) {
      float x = (float)i;
      uint8_t* p = (uint8_t*)batch.add(&a, {x, 0, x + 1, 1}, 100, 1);
      ASSERT_EQ((uintptr_t)p % 4, 0u);
      memset(p, i, 100);
    }
  };
  frame();
  int chunks = batch.arena.chunkCount();
  AccumChunk* head = batch.arena.head;
  EXPECT_GT(chunks, 1);
  batch.clear();
  EXPECT_EQ(batch.groups.num, 0);
  frame();
  EXPECT_EQ(batch.arena.chunkCount(), chunks);
  EXPECT_EQ(batch.arena.head, head);
  // A block bigger than the chunk size gets a chunk of its own.
  batch.add(&a, {0, 0, 1, 1}, 5000, 1);
  EXPECT_EQ(batch.arena.chunkCount(), chunks + 1);
}

// {===== Drawing through the common writer

struct ColorVertex {
  float x, y, z;
  uint32_t color;
};
const VertexElement kColorDecl[] = {{0, 0, 3, 0, 0}, {12, 0, 5, 2, 0}, {0, 255, 0, 0, 0}};

const char* kColorShader =
    "#include \"prologue.sh\"\n"
    "#ifdef VSH\n"
    "in vec3 POSITION0; in vec4 COLOR0; out vec4 v_color;\n"
    "void vsh() { gl_Position = rh_clip(vec4(POSITION0, 1.0)); v_color = COLOR0; }\n"
    "#endif\n"
    "#ifdef PSH\n"
    "in vec4 v_color; out vec4 o;\n"
    "void psh() { o = v_color; }\n"
    "#endif\n";

class RenderBatchDraw : public ::testing::Test {
protected:
  Shader* shader = nullptr;
  StdRenderBatchState state;

  void SetUp() override {
    REQUIRE_GL();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    content::use_as_app_path();
    content::write("batch_color.sh", kColorShader);
    load_shader_compiler();
    if (common_vb_writer.vbufs.empty()) init_common_vb_writer();
    set_back_buffer_target();
    begin_draw();
    shader = create_shader("batch_color.sh", nullptr);
    state = StdRenderBatchState(shader, get_vdecl(kColorDecl), (int)sizeof(ColorVertex), nullptr);
    set_blend_none();
    set_shader(shader);
    set_vdecl(state.vdecl);
    draw_full(0xFF000000);
  }
  void TearDown() override {
    if (GlEnv::ok) close_shaders();
  }

  // A quad in clip space as 6 vertices at `v`.
  static void quad(ColorVertex* v, float x0, float y0, float x1, float y1, uint32_t c) {
    ColorVertex q[6] = {{x0, y1, 0.5f, c}, {x1, y1, 0.5f, c}, {x0, y0, 0.5f, c},
                        {x1, y1, 0.5f, c}, {x1, y0, 0.5f, c}, {x0, y0, 0.5f, c}};
    memcpy(v, q, sizeof q);
  }
};

TEST_F(RenderBatchDraw, GroupsDrawInOrderSoOverlapsKeepPaintersOrder) {
  StdRenderBatchState other = state;
  RenderBatch batch;
  quad((ColorVertex*)batch.add(&state, {0, 0, 10, 10}, 96, 2), -1, -1, 0, 1, 0xFFFF0000);
  quad((ColorVertex*)batch.add(&other, {5, 0, 15, 10}, 96, 2), -1, -1, 1, 1, 0xFF00FF00);
  quad((ColorVertex*)batch.add(&state, {12, 0, 30, 10}, 96, 2), 0.5f, -1, 1, 1, 0xFF0000FF);
  ASSERT_EQ(batch.groups.num, 3);
  batch.render();
  EXPECT_TRUE(near_color(pixel(kWd / 4, kHt / 2), 0xFF00FF00));     // green over red
  EXPECT_TRUE(near_color(pixel(kWd * 7 / 8, kHt / 2), 0xFF0000FF)); // blue over green
  EXPECT_EQ(common_vb_writer.startPtr, nullptr); // idle after the batch
}

TEST_F(RenderBatchDraw, BlockOfExactlyTheBufferSizeFitsAfterAFlush) {
  RenderBatch batch;
  quad((ColorVertex*)batch.add(&state, {0, 0, 1, 1}, 96, 2), -1, -1, 0, 1, 0xFFFF0000);
  // 4096 vertices: one quad, the rest degenerate (zero area).
  ColorVertex* big = (ColorVertex*)batch.add(&state, {0, 0, 1, 1}, COMMON_VB_SIZE, 1365);
  memset(big, 0, COMMON_VB_SIZE);
  quad(big, 0, -1, 1, 1, 0xFF0000FF);
  batch.render();
  EXPECT_TRUE(near_color(pixel(kWd / 4, kHt / 2), 0xFFFF0000));
  EXPECT_TRUE(near_color(pixel(kWd * 3 / 4, kHt / 2), 0xFF0000FF));
}

TEST_F(RenderBatchDraw, BlockOneByteOverTheBufferSizeIsFatal) {
  RenderBatch batch;
  memset(batch.add(&state, {0, 0, 1, 1}, COMMON_VB_SIZE + 1, 1), 0, COMMON_VB_SIZE + 1);
  EXPECT_EXIT(batch.render(), ::testing::ExitedWithCode(100), "batch vertex buffer is not large enough");
}

TEST_F(RenderBatchDraw, WriterDrawsWhatWasWrittenWhenItRunsFull) {
  // More quads than one buffer holds: the writer flushes and moves on round
  // the ring; every quad still lands.
  DynVBWriter& w = common_vb_writer;
  set_shader(shader);
  set_vdecl(state.vdecl);
  w.begin(dynvb_draw_prim, D3DPT_TRIANGLELIST, 0, (int)sizeof(ColorVertex));
  int first_index = w.index;
  const int quads = COMMON_VB_SIZE / 96 + 10;
  for (int i = 0; i < quads; i++) {
    w.reserve(96);
    float x = i == quads - 1 ? 0.f : -1.f;
    quad((ColorVertex*)w.cur, x, -1, x + 1, 1, i == quads - 1 ? 0xFFFFFF00 : 0xFF00FFFF);
    w.cur += 96;
    w.count += 2;
  }
  EXPECT_NE(w.index, first_index);
  w.flush(true);
  EXPECT_EQ(w.startPtr, nullptr);
  EXPECT_TRUE(near_color(pixel(kWd / 4, kHt / 2), 0xFF00FFFF));
  EXPECT_TRUE(near_color(pixel(kWd * 3 / 4, kHt / 2), 0xFFFFFF00));
}

TEST_F(RenderBatchDraw, WriterThatCannotGetItsBuffersIsFatal) {
  EXPECT_EXIT(
      {
        close_common_vb_writer();
        while (create_vb(16, 0)) {
        }
        init_common_vb_writer();
      },
      ::testing::ExitedWithCode(100), "can't create dynamic VB of size 65536");
}

TEST_F(RenderBatchDraw, UiImageStateTakesTheImageShaderUnlessGivenOne) {
  init_ui_image_render();
  StdRenderBatchState image, own;
  init_ui_image_state(image, nullptr, nullptr);
  EXPECT_NE(image.shader, nullptr);
  EXPECT_NE(image.vdecl, nullptr);
  EXPECT_EQ(image.stride, 20);
  EXPECT_EQ(image.texture, nullptr);
  init_ui_image_state(own, nullptr, shader);
  EXPECT_EQ(own.shader, shader);
  EXPECT_EQ(own.vdecl, image.vdecl);
  close_ui_image_render();
}

} // namespace
