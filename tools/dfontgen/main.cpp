// dfontgen: the distance-field font and the UI icon atlas.
//
// Usage: dfontgen <font.ttf> <out_dir>
//
// Writes into <out_dir>/fonts/:
//   default_font.fnt  the font description (text): info, common, page,
//                     chars and kernings lines as the font loader reads them
//   default_font.dds  its atlas: A8R8G8B8, the distance field in alpha,
//                     colour white
//   ui_icons.txt      the icon description: info and icons lines
//   ui_icons.dds      its atlas: four distance fields per icon (alpha the
//                     silhouette, red, green and blue three detail layers)
//
// Glyphs are rendered by FreeType at MASK_SCALE times the field's size and
// thresholded; the field is the exact signed distance to that outline, in
// field texels, mapped so that 0.5 is the edge and the spread reaches 0 and
// 1. Output is deterministic: no clock, no randomness, fixed packing order.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "icons.h"
#include "sdf.h"

namespace {

constexpr int FONT_SIZE = 40;  // em height in field texels
constexpr int FONT_SPREAD = 6; // texels of distance on each side of the edge
constexpr int MASK_SCALE = 4;
constexpr int ATLAS_W = 1024, ATLAS_H = 512;

// Printable ASCII and the Latin-1 letters and signs (byte codes = code points).
bool wanted(int code) { return (code >= 32 && code <= 126) || code >= 160; }

struct GlyphOut {
  int code;
  int x, y, w, h; // atlas texels; 0 x 0 for blank glyphs
  float xoffset, yoffset, xadvance;
};

bool make_font(const char* ttf, const std::string& dir) {
  FT_Library lib;
  FT_Face face;
  if (FT_Init_FreeType(&lib)) return false;
  if (FT_New_Face(lib, ttf, 0, &face)) {
    fprintf(stderr, "dfontgen: can't open '%s'\n", ttf);
    return false;
  }
  FT_Set_Pixel_Sizes(face, 0, FONT_SIZE * MASK_SCALE);
  std::vector<uint8_t> atlas(size_t(ATLAS_W) * ATLAS_H * 4, 0);
  for (size_t i = 0; i < atlas.size(); i += 4) atlas[i] = atlas[i + 1] = atlas[i + 2] = 255;
  ShelfPacker packer(ATLAS_W, ATLAS_H);
  std::vector<GlyphOut> glyphs;
  const float S = MASK_SCALE;
  for (int code = 0; code < 256; code++) {
    if (!wanted(code)) continue;
    if (FT_Load_Char(face, FT_ULong(code), FT_LOAD_RENDER | FT_LOAD_NO_HINTING)) continue;
    FT_GlyphSlot g = face->glyph;
    GlyphOut out{code, 0, 0, 0, 0, 0, 0, float(g->advance.x) / 64.f / S};
    const FT_Bitmap& bm = g->bitmap;
    if (bm.width > 0 && bm.rows > 0) {
      int fw = int((bm.width + MASK_SCALE - 1) / MASK_SCALE) + 2 * FONT_SPREAD;
      int fh = int((bm.rows + MASK_SCALE - 1) / MASK_SCALE) + 2 * FONT_SPREAD;
      Mask m(fw * MASK_SCALE, fh * MASK_SCALE);
      int pad = FONT_SPREAD * MASK_SCALE;
      for (unsigned y = 0; y < bm.rows; y++)
        for (unsigned x = 0; x < bm.width; x++)
          if (bm.buffer[int(y) * bm.pitch + int(x)] >= 128) m.at(pad + int(x), pad + int(y)) = 1;
      // One texel apart, so that linear filtering never mixes two glyphs.
      if (!packer.place(fw + 1, fh + 1, out.x, out.y)) {
        fprintf(stderr, "dfontgen: the font atlas is full at code %d\n", code);
        return false;
      }
      mask_to_field(m, MASK_SCALE, FONT_SPREAD, &atlas[(size_t(out.y) * ATLAS_W + out.x) * 4],
                    ATLAS_W * 4, 3);
      out.w = fw;
      out.h = fh;
      out.xoffset = float(g->bitmap_left) / S - FONT_SPREAD;
      out.yoffset = float(g->bitmap_top) / S + FONT_SPREAD;
    }
    glyphs.push_back(out);
  }
  int line_height = int(face->size->metrics.height / 64 / MASK_SCALE);

  struct Kern {
    int first, second;
    float amount;
  };
  std::vector<Kern> kerns;
  if (FT_HAS_KERNING(face))
    for (const GlyphOut& a : glyphs)
      for (const GlyphOut& b : glyphs) {
        FT_Vector k;
        FT_UInt ga = FT_Get_Char_Index(face, FT_ULong(a.code)), gb = FT_Get_Char_Index(face, FT_ULong(b.code));
        if (!FT_Get_Kerning(face, ga, gb, FT_KERNING_UNFITTED, &k) && k.x)
          kerns.push_back(Kern{a.code, b.code, float(k.x) / 64.f / S});
      }

  std::string fnt = dir + "default_font.fnt";
  FILE* f = fopen(fnt.c_str(), "w");
  if (!f) return false;
  fprintf(f, "info face=\"%s\" size=%d spread=%d\n", face->family_name, FONT_SIZE, FONT_SPREAD);
  fprintf(f, "common lineHeight=%d base=0 scaleW=%d scaleH=%d\n", line_height, ATLAS_W, ATLAS_H);
  fprintf(f, "page id=0 file=\"default_font\"\n");
  fprintf(f, "chars count=%d\n", int(glyphs.size()));
  for (const GlyphOut& g : glyphs)
    fprintf(f, "char id=%d x=%d y=%d width=%d height=%d xoffset=%g yoffset=%g xadvance=%g\n", g.code,
            g.x, g.y, g.w, g.h, g.xoffset, g.yoffset, g.xadvance);
  fprintf(f, "kernings count=%d\n", int(kerns.size()));
  for (const Kern& k : kerns) fprintf(f, "kerning first=%d second=%d amount=%g\n", k.first, k.second, k.amount);
  bool ok = fclose(f) == 0;
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return ok && write_dds_argb(dir + "default_font.dds", ATLAS_W, ATLAS_H, atlas);
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: dfontgen <font.ttf> <out_dir>\n");
    return 2;
  }
  std::string dir = std::string(argv[2]) + "/fonts/";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!make_font(argv[1], dir)) {
    fprintf(stderr, "dfontgen: failed to write the font into '%s'\n", dir.c_str());
    return 1;
  }
  if (!make_icons(dir)) {
    fprintf(stderr, "dfontgen: failed to write the icons into '%s'\n", dir.c_str());
    return 1;
  }
  return 0;
}
