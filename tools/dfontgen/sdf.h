// Shared by the distance-field generators: signed distance fields from
// high-resolution coverage masks, a packing cursor for atlases and the
// A8R8G8B8 DDS writer.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A coverage mask `scale` times finer than the field it becomes.
struct Mask {
  int w = 0, h = 0;
  std::vector<uint8_t> in; // 1 inside
  Mask() = default;
  Mask(int w_, int h_) : w(w_), h(h_), in(size_t(w_) * h_, 0) {}
  uint8_t& at(int x, int y) { return in[size_t(y) * w + x]; }
};

// Writes the field of `m` into one byte channel of an atlas: texel (x, y) of
// the field is the mask around (x * scale + scale / 2, y * scale + scale / 2);
// its byte is 255 * (0.5 + d / (2 * spread)) clamped, with d the signed
// distance to the edge in field texels (positive inside).
void mask_to_field(const Mask& m, int scale, int spread, uint8_t* dst, int dst_pitch, int channel);

// Shelf packer: places rectangles left to right in rows of an atlas.
struct ShelfPacker {
  int width, height, x = 0, y = 0, row_h = 0;
  ShelfPacker(int w, int h) : width(w), height(h) {}
  // False when the atlas is full.
  bool place(int w, int h, int& out_x, int& out_y);
};

// B, G, R, A bytes per pixel, rows top first, one level.
bool write_dds_argb(const std::string& path, int w, int h, const std::vector<uint8_t>& bgra);
