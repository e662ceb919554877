// fontgen: renders the bitmap font "font.tga" from a TrueType font.
//
// Usage: fontgen <font.ttf> <out.tga>
//
// The image is a 16 x 16 grid of 10 x 16 pixel cells for the codes 0..255
// (row 0 at the top; code = row * 16 + column). Printable ASCII and the
// Latin-1 letters (160..255) are rendered as white pixels whose alpha is the
// glyph's coverage; control codes stay empty, except code 0, which text
// never draws: its cell is an opaque white block that rectangles sample.
// The file is an uncompressed 32-bit TGA stored bottom row first.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int CELL_W = 10, CELL_H = 16;
constexpr int IMG_W = CELL_W * 16, IMG_H = CELL_H * 16;
constexpr int PIXEL_SIZE = 14; // em height in pixels
constexpr int BASELINE = 12;   // from the cell's top; leaves room for descenders

bool renders(int code) { return (code >= 33 && code <= 126) || code >= 161; }

bool write_tga(const char* path, const std::vector<uint8_t>& alpha) {
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  uint8_t h[18] = {};
  h[2] = 2; // uncompressed true colour
  h[12] = IMG_W & 255;
  h[13] = IMG_W >> 8;
  h[14] = IMG_H & 255;
  h[15] = IMG_H >> 8;
  h[16] = 32;
  h[17] = 8; // 8 alpha bits, origin bottom-left
  bool ok = fwrite(h, 1, sizeof h, f) == sizeof h;
  std::vector<uint8_t> row(IMG_W * 4);
  for (int y = IMG_H - 1; ok && y >= 0; y--) {
    for (int x = 0; x < IMG_W; x++) {
      uint8_t* p = &row[x * 4];
      p[0] = p[1] = p[2] = 255;
      p[3] = alpha[y * IMG_W + x];
    }
    ok = fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: fontgen <font.ttf> <out.tga>\n");
    return 2;
  }
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib) || FT_New_Face(lib, argv[1], 0, &face)) {
    fprintf(stderr, "fontgen: can't open font '%s'\n", argv[1]);
    return 1;
  }
  FT_Set_Pixel_Sizes(face, 0, PIXEL_SIZE);
  std::vector<uint8_t> alpha(IMG_W * IMG_H, 0);
  for (int y = 0; y < CELL_H; y++)
    for (int x = 0; x < CELL_W; x++) alpha[y * IMG_W + x] = 255;

  for (int code = 0; code < 256; code++) {
    if (!renders(code)) continue;
    if (FT_Load_Char(face, (FT_ULong)code, FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL)) {
      fprintf(stderr, "fontgen: no glyph for code %d\n", code);
      continue;
    }
    const FT_Bitmap& bm = face->glyph->bitmap;
    int cx = (code % 16) * CELL_W, cy = (code / 16) * CELL_H;
    int ox = face->glyph->bitmap_left, oy = BASELINE - face->glyph->bitmap_top;
    for (unsigned r = 0; r < bm.rows; r++)
      for (unsigned c = 0; c < bm.width; c++) {
        int x = ox + (int)c, y = oy + (int)r;
        if (x < 0 || x >= CELL_W || y < 0 || y >= CELL_H) continue;
        alpha[(cy + y) * IMG_W + cx + x] = bm.buffer[r * bm.pitch + c];
      }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  if (!write_tga(argv[2], alpha)) {
    fprintf(stderr, "fontgen: can't write '%s'\n", argv[2]);
    return 1;
  }
  return 0;
}
