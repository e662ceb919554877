// The device the texture readers reach, for the fuzz target only: textures are plain records,
// and an upload reads every byte of the level as GL would take it from the pointer (rows of
// 4x4 blocks for the compressed formats, rows of pixels otherwise). The bytes are scanned by a
// library call, which AddressSanitizer checks as one range.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "render/device.h"

namespace {
int live = 0;
volatile bool sink;

int bytes_per_pixel(int format) {
  switch (format) {
  case D3DFMT_A8R8G8B8:
  case D3DFMT_X8R8G8B8: return 4;
  case D3DFMT_L8: return 1;
  default: return 0;
  }
}
int block_bytes(int format) {
  switch (format) {
  case D3DFMT_DXT1: return 8;
  case D3DFMT_DXT3:
  case D3DFMT_DXT5: return 16;
  default: return 0;
  }
}
} // namespace

int fuzz_live_textures() { return live; }

Texture* create_texture(int width, int height, int levels, int usage, int format, int pool) {
  if (width < 1 || height < 1 || levels < 1 || (!bytes_per_pixel(format) && !block_bytes(format))) abort();
  Texture* t = new Texture{};
  t->texture = 1;
  t->width = t->cur_wd = width;
  t->height = t->cur_ht = height;
  t->levels = levels;
  t->usage = usage;
  t->format = format;
  t->pool = pool;
  t->used = true;
  live++;
  return t;
}

bool upload_texture_level(Texture* t, int level, const void* data) {
  if (!t || level < 0 || level >= t->levels) abort();
  int w = t->cur_wd >> level, h = t->cur_ht >> level;
  if (w < 1) w = 1;
  if (h < 1) h = 1;
  size_t n = block_bytes(t->format) ? (size_t)((w + 3) / 4) * ((h + 3) / 4) * block_bytes(t->format)
                                     : (size_t)w * h * bytes_per_pixel(t->format);
  sink = memchr(data, 0xA5, n) != nullptr;
  return true;
}

void release_texture(Texture* t) {
  if (!t) return;
  live--;
  delete t;
}
