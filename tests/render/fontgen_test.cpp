// The bitmap font made by tools/fontgen: the grid the font loader expects,
// a glyph for every printable code, the opaque block of code 0, and the
// same bytes on every run. Skipped when the tool has not been built.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "content_test_util.h"
#include "render/texture.h"

namespace {

std::string bin_dir() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "";
  exe[n] = 0;
  return (std::filesystem::path(exe).parent_path().parent_path() / "bin").string() + "/";
}

TEST(FontGenerator, MakesTheSameCompleteGridEveryRun) {
  std::string tool = bin_dir() + "fontgen";
  const char* ttf = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
  if (!std::filesystem::exists(tool) || !std::filesystem::exists(ttf)) GTEST_SKIP() << "no fontgen";
  content::use_as_app_path();
  for (const char* out : {"gen1.tga", "gen2.tga"}) {
    std::string cmd = tool + " " + ttf + " " + content::path(out);
    ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
  }
  EXPECT_EQ(content::read("gen1.tga"), content::read("gen2.tga"));

  int w = 0, h = 0;
  DynArray<uint32_t> px;
  ASSERT_TRUE(load_tga("gen1.tga", w, h, px));
  ASSERT_EQ(w % 16, 0);
  ASSERT_EQ(h % 16, 0);
  int cw = w / 16, ch = h / 16;
  // Coverage of one cell, with the file's rows stored bottom first.
  auto ink = [&](int code, bool& full) {
    int row = code / 16, col = code % 16, n = 0;
    full = true;
    for (int y = (15 - row) * ch; y < (16 - row) * ch; y++)
      for (int x = col * cw; x < (col + 1) * cw; x++) {
        uint32_t a = px[y * w + x] >> 24;
        n += a != 0;
        full &= a == 255;
      }
    return n;
  };
  bool full;
  ink(0, full);
  EXPECT_TRUE(full) << "code 0 is the opaque block of rectangles";
  for (int code = 1; code < 256; code++) {
    bool printable = (code > 32 && code < 127) || code > 160;
    EXPECT_EQ(ink(code, full) > 0, printable) << "code " << code;
  }
  // The picture is upright: the top of 'T' is inked, its bottom corners are not.
  int tx = ('T' % 16) * cw, ty = (15 - 'T' / 16) * ch; // file rows: ty is the cell's bottom row
  int top_ink = 0, bottom_left_ink = 0;
  for (int y = ty + ch - 6; y < ty + ch; y++)
    for (int x = tx; x < tx + cw; x++) top_ink += (px[y * w + x] >> 24) > 128;
  for (int y = ty; y < ty + ch / 2; y++) bottom_left_ink += (px[y * w + tx] >> 24) > 128;
  EXPECT_GT(top_ink, cw / 2);
  EXPECT_EQ(bottom_left_ink, 0);
  for (uint32_t p : px) ASSERT_EQ(p & 0xFFFFFF, 0xFFFFFFu); // white, coverage in alpha
}

} // namespace
