// DDS files as the engine's texture loader reads them: uncompressed A8R8G8B8
// (bytes B, G, R, A; rows top first), with or without box-filtered mip levels.
// Shared by the content generators in tools/ (header only: each tool is one
// small program).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace dds_write {

inline void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
}

// "DDS " and the 124-byte header of a w x h image; levels 0 means no mip chain.
inline void header(std::vector<uint8_t>& out, int w, int h, int levels) {
  put32(out, 0x20534444u); // "DDS "
  uint32_t hd[31] = {};
  hd[0] = 124;
  hd[1] = 0x1 | 0x2 | 0x4 | 0x1000 | 0x8; // caps, height, width, pixel format, pitch
  if (levels > 0) hd[1] |= 0x20000;        // mip count
  hd[2] = uint32_t(h);
  hd[3] = uint32_t(w);
  hd[4] = uint32_t(w) * 4;
  hd[6] = uint32_t(levels);
  hd[18] = 32;         // pixel format size
  hd[19] = 0x40 | 0x1; // RGB with alpha
  hd[21] = 32;
  hd[22] = 0x00FF0000;
  hd[23] = 0x0000FF00;
  hd[24] = 0x000000FF;
  hd[25] = 0xFF000000;
  hd[26] = levels > 0 ? 0x1000 | 0x400000 | 0x8 : 0x1000; // texture (, mipmap, complex)
  for (uint32_t v : hd) put32(out, v);
}

// Levels of a full chain down to 1 x 1 along the longer side.
inline int full_chain(int w, int h) {
  int levels = 0;
  for (int s = w > h ? w : h; s >= 1; s /= 2) levels++;
  return levels;
}

// A float RGBA image (0..1 per channel) with `levels` levels, each half the
// size of the one before (2 x 2 box filter).
inline std::vector<uint8_t> from_rgba(std::vector<float> level, int w, int h, int levels) {
  std::vector<uint8_t> out;
  header(out, w, h, levels);
  auto byte = [](float f) { return uint8_t((f < 0 ? 0 : f > 1 ? 1 : f) * 255.0f + 0.5f); };
  for (int l = 0; l < levels; l++) {
    for (int i = 0; i < w * h; i++) {
      const float* p = &level[size_t(i) * 4];
      out.push_back(byte(p[2]));
      out.push_back(byte(p[1]));
      out.push_back(byte(p[0]));
      out.push_back(byte(p[3]));
    }
    if (l + 1 == levels || (w == 1 && h == 1)) break;
    int nw = w > 1 ? w / 2 : 1, nh = h > 1 ? h / 2 : 1;
    std::vector<float> next(size_t(nw) * nh * 4);
    for (int y = 0; y < nh; y++)
      for (int x = 0; x < nw; x++)
        for (int c = 0; c < 4; c++) {
          auto s = [&](int xx, int yy) { // a 1-wide side repeats its one texel
            return level[(size_t(yy < h ? yy : h - 1) * w + (xx < w ? xx : w - 1)) * 4 + c];
          };
          next[(size_t(y) * nw + x) * 4 + c] =
              0.25f * (s(2 * x, 2 * y) + s(2 * x + 1, 2 * y) + s(2 * x, 2 * y + 1) + s(2 * x + 1, 2 * y + 1));
        }
    level.swap(next);
    w = nw;
    h = nh;
  }
  return out;
}

// Already packed B, G, R, A bytes, no mip chain.
inline std::vector<uint8_t> from_bgra(const std::vector<uint8_t>& bgra, int w, int h) {
  std::vector<uint8_t> out;
  header(out, w, h, 0);
  out.insert(out.end(), bgra.begin(), bgra.end());
  return out;
}

// Writes the bytes; false (with a message naming `tool` and the file) when it fails.
inline bool save(const char* tool, const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) {
    fprintf(stderr, "%s: can't write '%s'\n", tool, path.c_str());
    return false;
  }
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = fclose(f) == 0 && ok;
  if (!ok) fprintf(stderr, "%s: error writing '%s'\n", tool, path.c_str());
  return ok;
}

} // namespace dds_write
