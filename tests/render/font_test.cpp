// The bitmap font, proved on a small generated font.tga (8 x 8 cells): glyph
// boxes from the alpha channel, text sizes, placement and alignment in read
// back pixels, batched text and rectangles, and the on-screen error message
// and visual log drawn with it.
#include <gmock/gmock.h>

#include "content_test_util.h"
#include "gl_test_util.h"
#include "render/font.h"
#include "render/shader.h"

using namespace gltest;

namespace {

constexpr int kCell = 8;
constexpr uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;

// Picture rows top first; the file stores them bottom first.
void write_test_font(const char* name = "font.tga") {
  const int w = kCell * 16, h = kCell * 16;
  std::vector<uint32_t> pic(w * h, 0x00FFFFFF);
  auto fill = [&](int code, int x0, int y0, int x1, int y1) {
    int cx = (code % 16) * kCell, cy = (code / 16) * kCell;
    for (int y = y0; y < y1; y++)
      for (int x = x0; x < x1; x++) pic[(cy + y) * w + cx + x] = 0xFFFFFFFF;
  };
  fill(0, 0, 0, kCell, kCell); // the opaque block of rectangles
  fill('A', 1, 0, 5, 4);       // columns 1..4, top half only
  fill('B', 0, 0, 8, 8);       // the whole cell
  std::vector<uint32_t> file(w * h);
  for (int y = 0; y < h; y++) memcpy(&file[y * w], &pic[(h - 1 - y) * w], w * 4);
  content::write(name, content::tga(2, 32, w, h, file));
}

class FontTest : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    content::use_as_app_path();
    write_test_font();
    load_shader_compiler();
    if (common_vb_writer.vbufs.empty()) init_common_vb_writer();
    init_font();
    set_back_buffer_target();
    begin_draw();
    draw_full(kBlack);
  }
  void TearDown() override {
    if (!GlEnv::ok) return;
    close_font();
    close_shaders();
    set_error_message(nullptr);
    clear_visual_log();
  }
  void scale(int s, int line = 0, int chr = 0) { set_font_state(FontState{s, line, chr}); }
  void text(const char* t, int x, int y, int h, int v, D3dColor c = kWhite) {
    start_draw_text();
    draw_text(t, -1, x, y, h, v, c);
    end_draw_text();
  }
};

TEST_F(FontTest, StartUpReadsTheGridAndSetsTheScale) {
  EXPECT_TRUE(font_ready());
  EXPECT_EQ(font_cell_width(), kCell);
  EXPECT_EQ(font_cell_height(), kCell);
  EXPECT_EQ(get_font_state().scale, 1); // 48 / (8 x 30) rounds to 0: at least 1
  EXPECT_EQ(get_font_state().line_spacing, 0);
}

TEST_F(FontTest, TextSizeFollowsTheGlyphBoxes) {
  int w, h;
  calc_text_size("A", -1, w, h);
  EXPECT_EQ(w, 5); // 4 columns + 1
  EXPECT_EQ(h, 8);
  calc_text_size(" ", -1, w, h);
  EXPECT_EQ(w, 6); // empty cell: half the cell width + 1, then + 1
  calc_text_size("A B", -1, w, h);
  EXPECT_EQ(w, 5 + 6 + 9);
  calc_text_size("AB\nA", -1, w, h);
  EXPECT_EQ(w, 14);
  EXPECT_EQ(h, 16);
  calc_text_size("AB\nA", 1, w, h);
  EXPECT_EQ(w, 5);
  scale(2, 2, 1);
  calc_text_size("AB\nA", -1, w, h);
  EXPECT_EQ(w, (10 + 1) + (18 + 1));
  EXPECT_EQ(h, 2 * (16 + 2));
}

TEST_F(FontTest, DrawnTextShowsUpRightWayUpAtItsPlace) {
  scale(2);
  text("A", 10, 10, -1, -1);
  // The glyph covers x 10..17, y 10..25; only its top half is inked.
  EXPECT_TRUE(near_color(pixel(10, 10), kWhite));
  EXPECT_TRUE(near_color(pixel(17, 17), kWhite));
  EXPECT_TRUE(near_color(pixel(12, 20), kBlack));
  EXPECT_TRUE(near_color(pixel(18, 12), kBlack));
  EXPECT_TRUE(near_color(pixel(9, 12), kBlack));
  EXPECT_TRUE(near_color(pixel(12, 9), kBlack));
}

TEST_F(FontTest, AlignmentPlacesTheTextBox) {
  scale(2);
  text("A", 40, 40, 1, 1, 0xFF00FF00); // right and bottom at (40, 40): box 30..39 x 24..39
  EXPECT_TRUE(near_color(pixel(30, 24), 0xFF00FF00));
  EXPECT_TRUE(near_color(pixel(29, 24), kBlack));
  EXPECT_TRUE(near_color(pixel(30, 23), kBlack));
  draw_full(kBlack);
  text("A", 32, 24, 0, 0); // centred: box 27..36 x 16..31
  EXPECT_TRUE(near_color(pixel(27, 16), kWhite));
  EXPECT_TRUE(near_color(pixel(26, 16), kBlack));
  EXPECT_TRUE(near_color(pixel(27, 15), kBlack));
}

TEST_F(FontTest, NewlinesStartBelowAtTheSameX) {
  scale(1, 2);
  text("B\nAB", 4, 4, -1, -1);
  EXPECT_TRUE(near_color(pixel(4, 4), kWhite));   // B of the first line
  EXPECT_TRUE(near_color(pixel(4, 12), kBlack));  // the line spacing
  EXPECT_TRUE(near_color(pixel(5, 14), kWhite));  // A of the second line at y 14
  EXPECT_TRUE(near_color(pixel(9, 18), kWhite));  // B after it (x 4 + 5)
}

TEST_F(FontTest, RectanglesAndBoxesUseTheOpaqueBlock) {
  start_draw_text();
  draw_rect(4, 4, 12, 12, 0xFF00FF00);
  draw_box(20, 4, 30, 14, 0xFFFF0000);
  end_draw_text();
  EXPECT_TRUE(near_color(pixel(4, 4), 0xFF00FF00));
  EXPECT_TRUE(near_color(pixel(11, 11), 0xFF00FF00));
  EXPECT_TRUE(near_color(pixel(12, 12), kBlack));
  EXPECT_TRUE(near_color(pixel(20, 4), 0xFFFF0000));
  EXPECT_TRUE(near_color(pixel(29, 13), 0xFFFF0000));
  EXPECT_TRUE(near_color(pixel(25, 9), kBlack)); // inside the frame
  // Alpha blending: half-transparent red over black.
  start_draw_text();
  draw_rect(40, 30, 50, 40, 0x80FF0000);
  end_draw_text();
  EXPECT_TRUE(near_color(pixel(45, 35), 0xFF800000, 3));
}

TEST_F(FontTest, BatchedTextAndRectanglesDrawLikeImmediateOnes) {
  scale(2);
  RenderBatch batch;
  batch_rect(batch, 0, 30, 8, 38, 0xFF0000FF);
  batch_text(batch, "A", -1, 10, 10, -1, -1, kWhite);
  batch_text(batch, " ", -1, 10, 10, -1, -1, kWhite); // nothing to draw: no block
  ASSERT_EQ(batch.groups.num, 1);
  EXPECT_EQ(batch.groups[0].state, get_font_batch_state());
  batch.render();
  EXPECT_TRUE(near_color(pixel(10, 10), kWhite));
  EXPECT_TRUE(near_color(pixel(12, 20), kBlack));
  EXPECT_TRUE(near_color(pixel(4, 34), 0xFF0000FF));
}

TEST_F(FontTest, ErrorMessageBandAndTextAtTheBottom) {
  draw_error_message(); // no message: nothing
  EXPECT_TRUE(near_color(pixel(5, 40), kBlack));
  set_error_message("A");
  start_draw_text();
  draw_error_message();
  end_draw_text();
  // Scale 2, H = 8: the band from 48 - 96 covers this small screen; the text
  // is centred at 32 with its bottom at 40 (box 27..36 x 24..39).
  EXPECT_TRUE(near_color(pixel(5, 40), 0xFF510000, 3));
  EXPECT_TRUE(near_color(pixel(28, 25), 0xFFFFEE00));
  EXPECT_TRUE(near_color(pixel(28, 36), 0xFF510000, 3));
  EXPECT_EQ(get_font_state().scale, 1); // restored
}

TEST_F(FontTest, VisualLogNewestLineOnTop) {
  visual_log("B");
  visual_log("A");
  start_draw_text();
  draw_visual_log();
  end_draw_text();
  // x = 2H = 16; the newest line at y = 16, the older one at y = 32.
  EXPECT_TRUE(near_color(pixel(18, 17), kWhite));  // A, inked top half
  EXPECT_TRUE(near_color(pixel(18, 28), kBlack));  // A's empty bottom half
  EXPECT_TRUE(near_color(pixel(18, 40), kWhite));  // B
  EXPECT_EQ(get_font_state().scale, 1);
}

TEST_F(FontTest, BadFontFileIsFatal) {
  close_font();
  content::write("font.tga", content::tga(2, 32, 100, 100, std::vector<uint32_t>(100 * 100)));
  EXPECT_EXIT(init_font(), ::testing::ExitedWithCode(100),
              "expected 16x16 font grid in font.tga, got 100x100 image");
  std::filesystem::remove(content::path("font.tga"));
  EXPECT_EXIT(init_font(), ::testing::ExitedWithCode(100), "can't load font.tga");
  write_test_font();
}

} // namespace
