// The words the GUI primitives write: corner order, the grown quads, the
// packed colours, the line's quad; no device needed (batches only store).
#include <gtest/gtest.h>

#include <algorithm>

#include "render/ui_draw.h"

namespace {

const UiBoxVertex* only_block(RenderBatch& b) {
  EXPECT_EQ(b.groups.num, 1);
  EXPECT_EQ(b.groups[0].first->size, 6 * 44);
  EXPECT_EQ(b.groups[0].first->count, 2);
  return (const UiBoxVertex*)b.groups[0].first->data();
}

TEST(GuiPrimitives, RoundedBoxGrowsItsQuadAndPacksItsWords) {
  RenderBatch b;
  // Radius below 0.5 is raised; no shadow (extra < 0): the quad is the rect + radius.
  render_rounded_box(b, _mm_setr_ps(10, 20, 50, 40), _mm_setr_ps(255, 127.5f, 510, -3), 0xFF102030, 0.1f,
                     200, 0, 0, 0xFFABCDEF, -1);
  const UiBoxVertex* v = only_block(b);
  const float xs[6] = {9.5f, 50.5f, 50.5f, 9.5f, 50.5f, 9.5f}, ys[6] = {19.5f, 19.5f, 40.5f, 19.5f, 40.5f, 40.5f};
  for (int i = 0; i < 6; i++) {
    EXPECT_FLOAT_EQ(v[i].x, xs[i]) << i;
    EXPECT_FLOAT_EQ(v[i].y, ys[i]) << i;
    EXPECT_FLOAT_EQ(v[i].cx, 30);
    EXPECT_FLOAT_EQ(v[i].cy, 30);
    EXPECT_FLOAT_EQ(v[i].w, 40);
    EXPECT_FLOAT_EQ(v[i].h, 20);
    EXPECT_EQ(v[i].second, 0x00FF80FFu) << "x/255, y/255, z/255 clamped, w clamped to 0 (alpha)";
    EXPECT_EQ(v[i].fill, 0xFF102030u);
    EXPECT_EQ(v[i].colour2, 0xFFABCDEFu);
    EXPECT_EQ(v[i].params, 0x01FF8080u) << "dx 200 saturates, dy and size 0 give 0.5, radius byte at least 1";
    EXPECT_FLOAT_EQ(v[i].extra, -1);
  }

  // A shadow (extra >= 0) also covers the moved and enlarged rectangle.
  RenderBatch s;
  render_rounded_box(s, _mm_setr_ps(10, 20, 50, 40), _mm_setr_ps(0, 0, 0, 0), 0x80000000, 4, 6, -8, 2, 0, 3);
  const UiBoxVertex* w = only_block(s);
  EXPECT_FLOAT_EQ(w[0].x, 6);  // min(10 - 4, 10 + 6 - 5)
  EXPECT_FLOAT_EQ(w[0].y, 7);  // min(20 - 4, 20 - 8 - 5)
  EXPECT_FLOAT_EQ(w[2].x, 61); // max(50 + 4, 50 + 6 + 5)
  EXPECT_FLOAT_EQ(w[2].y, 44); // max(40 + 4, 40 - 8 + 5)
  EXPECT_EQ(w[0].params >> 24, 4u) << "radius 4 / 255 in the alpha byte";
}

TEST(GuiPrimitives, LineIsAQuadAroundTheSegment) {
  RenderBatch b;
  render_ui_line(b, _mm_setr_ps(10, 10, 30, 10), 4, 0xFFFF0000);
  const UiBoxVertex* v = only_block(b);
  // Horizontal segment: corners (10, 8), (30, 8), (30, 12), (10, 8), (30, 12), (10, 12) up to the
  // sign of the normal; the quad spans x 10..30 and y 8..12.
  float x0 = 1e9f, x1 = -1e9f, y0 = 1e9f, y1 = -1e9f;
  for (int i = 0; i < 6; i++) {
    x0 = std::min(x0, v[i].x), x1 = std::max(x1, v[i].x);
    y0 = std::min(y0, v[i].y), y1 = std::max(y1, v[i].y);
    EXPECT_EQ(v[i].second, 0x00808080u);
    EXPECT_EQ(v[i].fill, 0xFFFF0000u);
    EXPECT_EQ(v[i].colour2, 0u);
    EXPECT_EQ(v[i].params, 0u);
    EXPECT_FLOAT_EQ(v[i].extra, 0);
    EXPECT_FLOAT_EQ(v[i].cx, 20);
    EXPECT_FLOAT_EQ(v[i].cy, 10);
    EXPECT_FLOAT_EQ(v[i].w, 30) << "three times the half-extent 10";
    EXPECT_FLOAT_EQ(v[i].h, 6) << "three times the half-extent 2";
  }
  EXPECT_FLOAT_EQ(x0, 10);
  EXPECT_FLOAT_EQ(x1, 30);
  EXPECT_FLOAT_EQ(y0, 8);
  EXPECT_FLOAT_EQ(y1, 12);
  EXPECT_EQ(v[0].x, v[3].x);
  EXPECT_EQ(v[2].y, v[4].y) << "two triangles sharing the first and third corners";
}

TEST(GuiPrimitives, ImageMapsTheRectangleOntoTheTextureRectangle) {
  RenderBatch b;
  UiBatchState st;
  render_ui_image(b, st, _mm_setr_ps(1, 2, 3, 4), 0xFF00FF00, _mm_setr_ps(0.25f, 0.5f, 0.75f, 1));
  ASSERT_EQ(b.groups.num, 1);
  const auto* v = (const UiImageVertex*)b.groups[0].first->data();
  EXPECT_EQ(b.groups[0].first->size, 120);
  const float want[6][4] = {{1, 2, .25f, .5f}, {3, 2, .75f, .5f}, {3, 4, .75f, 1},
                            {1, 2, .25f, .5f}, {3, 4, .75f, 1},   {1, 4, .25f, 1}};
  for (int i = 0; i < 6; i++) {
    EXPECT_FLOAT_EQ(v[i].x, want[i][0]);
    EXPECT_FLOAT_EQ(v[i].y, want[i][1]);
    EXPECT_FLOAT_EQ(v[i].u, want[i][2]);
    EXPECT_FLOAT_EQ(v[i].v, want[i][3]);
    EXPECT_EQ(v[i].color, 0xFF00FF00u);
  }
}

} // namespace
