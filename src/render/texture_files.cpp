// Reading texture files: DDS (the accepted pixel formats, every mip level)
// into a MANAGED pool slot, and uncompressed 32-bit TGA into memory.
//
// Level data follow each other without gaps: compressed levels take
// max(1, (w+3)/4) x max(1, (h+3)/4) blocks, uncompressed ones width x height
// pixels. Every level is checked against the file's size before it is read,
// so a truncated file stops with a message instead of reading past its end.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/platform.h"
#include "core/stream.h"
#include "render/texture.h"

namespace {

enum : uint32_t {
  DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4, DDSD_PITCH = 0x8,
  DDSD_PIXELFORMAT = 0x1000, DDSD_LINEARSIZE = 0x80000,
  DDPF_ALPHAPIXELS = 0x1, DDPF_FOURCC = 0x4, DDPF_RGB = 0x40, DDPF_LUMINANCE = 0x20000,
  DDSCAPS_TEXTURE = 0x1000, DDSCAPS_MIPMAP = 0x400000,
  DDS_MAGIC = 0x20534444, // "DDS "
};

uint32_t rd32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Bytes of one level; 0 when it does not fit an int.
int64_t level_bytes(const DdsInfo& d, int w, int h) {
  if (d.block_bytes)
    return (int64_t)((w + 3) / 4 < 1 ? 1 : (w + 3) / 4) * ((h + 3) / 4 < 1 ? 1 : (h + 3) / 4) *
           d.block_bytes;
  return (int64_t)w * h * (d.format == D3DFMT_L8 ? 1 : 4);
}

bool read_whole_file(const char* path, DynArray<uint8_t>& out) {
  FILE* f = fopen(path, "rb");
  if (!f) return false;
  bool ok = fseek(f, 0, SEEK_END) == 0;
  long len = ok ? ftell(f) : -1;
  ok = len >= 0 && len < 0x7fffffff && fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    out.resize((int)len);
    ok = fread(out.data, 1, (size_t)len, f) == (size_t)len;
  }
  fclose(f);
  return ok;
}

} // namespace

bool dds_read_header(const uint8_t* data, int size, DdsInfo& o) {
  o = DdsInfo{};
  if (size < 4 + 124 || rd32(data) != DDS_MAGIC) return false;
  const uint8_t* h = data + 4;
  uint32_t flags = rd32(h + 4), pf_flags = rd32(h + 76), caps = rd32(h + 104);
  if (rd32(h) != 124 || rd32(h + 72) != 32) return false;
  uint32_t need = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  if ((flags & need) != need) return false;
  if ((flags & DDSD_PITCH) && (flags & DDSD_LINEARSIZE)) return false;
  if (!(caps & DDSCAPS_TEXTURE) || rd32(h + 108) != 0) return false;
  uint32_t w = rd32(h + 12), ht = rd32(h + 8);
  if (w < 1 || ht < 1 || w > 16384 || ht > 16384) return false;
  uint32_t levels = caps & DDSCAPS_MIPMAP ? rd32(h + 24) : 1;
  if (levels < 1) levels = 1; // a mip-mapped file that counts no level still has level 0
  if (levels > 32) return false;

  uint32_t fourcc = rd32(h + 80), bits = rd32(h + 84);
  bool rgb_masks = rd32(h + 88) == 0xFF0000 && rd32(h + 92) == 0xFF00 && rd32(h + 96) == 0xFF;
  if (pf_flags & DDPF_FOURCC) {
    if (fourcc == (uint32_t)D3DFMT_DXT1) {
      o.format = D3DFMT_DXT1;
      o.block_bytes = 8;
    } else if (fourcc == (uint32_t)D3DFMT_DXT3 || fourcc == (uint32_t)D3DFMT_DXT5) {
      o.format = (int)fourcc;
      o.block_bytes = 16;
    } else {
      return false;
    }
  } else if (pf_flags & DDPF_RGB) {
    if (bits != 32 || !rgb_masks) return false;
    if (pf_flags & DDPF_ALPHAPIXELS) {
      if (rd32(h + 100) != 0xFF000000) return false;
      o.format = D3DFMT_A8R8G8B8;
    } else {
      o.format = D3DFMT_X8R8G8B8;
    }
  } else if (pf_flags & DDPF_LUMINANCE) {
    if (bits != 8) return false;
    o.format = D3DFMT_L8;
  } else {
    return false;
  }
  o.width = (int)w;
  o.height = (int)ht;
  o.levels = (int)levels;
  o.data_offset = 4 + 124;
  int64_t size0 = level_bytes(o, o.width, o.height);
  uint32_t given = rd32(h + 16);
  if (flags & DDSD_LINEARSIZE) size0 = given;
  if (flags & DDSD_PITCH) size0 = (int64_t)given * o.height;
  if (size0 > 0x7fffffff) return false;
  o.level0_size = (int)size0;
  return true;
}

Texture* try_load_dds_texture(const char* name, char* error, int error_size) {
  PathString path = make_full_path(name);
  DynArray<uint8_t> file;
  if (!read_whole_file(path, file)) {
    snprintf(error, (size_t)error_size, "Error loading file '%s'", path.c_str());
    return nullptr;
  }
  DdsInfo d;
  if (!dds_read_header(file.data, file.num, d)) {
    snprintf(error, (size_t)error_size, "Texture '%s' is not a DDS", path.c_str());
    return nullptr;
  }
  Texture* tex = create_texture(d.width, d.height, d.levels, 0, d.format, D3DPOOL_MANAGED);
  if (!tex) {
    snprintf(error, (size_t)error_size, "Error creating texture from '%s'", path.c_str());
    return nullptr;
  }

  int64_t at = d.data_offset;
  int w = d.width, h = d.height;
  for (int level = 0; level < d.levels; level++) {
    int64_t need = level_bytes(d, w, h);
    // Compressed level 0 advances by the size the file states; uncompressed
    // levels are copied as rows of width pixels, whatever pitch it states.
    int64_t advance = level == 0 && d.block_bytes ? d.level0_size : need;
    if (at + (need > advance ? need : advance) > file.num) {
      release_texture(tex);
      snprintf(error, (size_t)error_size, "Texture '%s' is truncated (level %d of %d)", path.c_str(),
               level, d.levels);
      return nullptr;
    }
    if (!upload_texture_level(tex, level, file.data + at)) {
      release_texture(tex);
      snprintf(error, (size_t)error_size, "error loading texture '%s' (code 0x%08X)", path.c_str(),
               0x8876086Cu);
      return nullptr;
    }
    at += advance;
    w = w / 2 < 1 ? 1 : w / 2;
    h = h / 2 < 1 ? 1 : h / 2;
  }
  debug("loaded DDS texture '%s'", path.c_str());
  return tex;
}

Texture* load_dds_texture(const char* name) {
  char error[PATH_MAX + 128];
  Texture* tex = try_load_dds_texture(name, error, sizeof error);
  if (!tex) fatal("%s", error);
  return tex;
}

bool load_tga(const char* name, int& width, int& height, DynArray<uint32_t>& pixels) {
  FileInputStream in;
  if (!in.open(make_full_path(name))) return false;
  uint8_t h[18];
  in.read(h, 18);
  if (h[2] != 2 || h[16] != 32) throw InputStream::Exception("unsupported TGA format", in.tell());
  width = h[12] | h[13] << 8;
  height = h[14] | h[15] << 8;
  if (width == 0 || height == 0) throw InputStream::Exception("zero-sized TGA image", in.tell());
  if ((int64_t)width * height * 4 > 0x7fffffff)
    throw InputStream::Exception("unsupported TGA format", in.tell());
  // The header is checked against the file's length before the pixels are allocated: a damaged
  // header would otherwise take up to 2 GB before the first read fails.
  // The optional image-ID field sits between the header and the pixels.
  if (fseeko(in.file, 0, SEEK_END) != 0) throw InputStream::Exception("file seek error", 18);
  off_t length = ftello(in.file);
  if (length < 18 + h[0] + (int64_t)width * height * 4)
    throw InputStream::Exception("truncated TGA image", 18);
  in.seekTo(18 + h[0]);
  pixels.resize(width * height);
  in.read(pixels.data, width * height * 4);
  return true;
}
