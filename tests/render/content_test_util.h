// Helpers of the shader, texture, batch and font tests: a private content
// folder used as the executable's folder (with the shipped shader sources
// copied in), file writing with chosen modification times, and builders of
// DDS and TGA files.
#pragma once
#include <sys/stat.h>
#include <utime.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/platform.h"
#include "core/temp_dir.h"

namespace content {

// The repository's data/ folder, found from this header's own path.
inline std::string source_data_dir() {
  std::filesystem::path p(__FILE__);
  // A compiler cache may record the path relative to the build folder, which
  // holds the test programs in tests/.
  if (p.is_relative())
    p = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / p;
  return (p.parent_path().parent_path().parent_path() / "data").string() + "/";
}

// One content folder per test process: app_path points at it and it holds
// copies of the shipped shaders.
inline const std::string& dir() {
  static std::string d = [] {
    std::string t = make_temp_dir("rh-content");
    for (const auto& e : std::filesystem::directory_iterator(source_data_dir()))
      if (e.path().extension() == ".sh")
        std::filesystem::copy_file(e.path(), t + e.path().filename().string());
    return t;
  }();
  return d;
}

inline void use_as_app_path() { snprintf(app_path, sizeof app_path, "%s", dir().c_str()); }

inline std::string path(const std::string& name) { return dir() + name; }

inline void write(const std::string& name, const void* data, size_t size) {
  std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
  FILE* f = fopen(path(name).c_str(), "wb");
  ASSERT_TRUE(f) << name;
  fwrite(data, 1, size, f);
  fclose(f);
}
inline void write(const std::string& name, const std::string& text) { write(name, text.data(), text.size()); }
inline void write(const std::string& name, const std::vector<uint8_t>& bytes) {
  write(name, bytes.data(), bytes.size());
}

// Sets the modification time to `seconds` after the epoch (distinct, exact
// values keep change detection independent of the clock's resolution).
inline void set_time(const std::string& name, long seconds) {
  struct utimbuf t{seconds, seconds};
  ASSERT_EQ(utime(path(name).c_str(), &t), 0) << name;
}

inline std::vector<uint8_t> read(const std::string& name) {
  std::vector<uint8_t> out;
  if (FILE* f = fopen(path(name).c_str(), "rb")) {
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    fclose(f);
  }
  return out;
}

// {===== DDS

enum : uint32_t {
  FLAGS_REQUIRED = 0x1007, FLAG_PITCH = 0x8, FLAG_MIPMAPCOUNT = 0x20000, FLAG_LINEARSIZE = 0x80000,
  PF_ALPHAPIXELS = 0x1, PF_FOURCC = 0x4, PF_RGB = 0x40, PF_LUMINANCE = 0x20000,
  CAPS_TEXTURE = 0x1000, CAPS_MIPMAP = 0x400000, CAPS_COMPLEX = 0x8,
};

struct DdsDesc {
  uint32_t width = 4, height = 4;
  uint32_t flags = FLAGS_REQUIRED;
  uint32_t pitch_or_linear = 0;
  uint32_t mip_count = 0;
  uint32_t pf_flags = PF_FOURCC;
  uint32_t fourcc = 0;
  uint32_t bits = 0, rmask = 0, gmask = 0, bmask = 0, amask = 0;
  uint32_t caps = CAPS_TEXTURE;
  uint32_t caps2 = 0;
};

inline uint32_t fourcc(const char* s) {
  return (uint32_t)s[0] | (uint32_t)s[1] << 8 | (uint32_t)s[2] << 16 | (uint32_t)s[3] << 24;
}

inline std::vector<uint8_t> dds(const DdsDesc& d, const std::vector<uint8_t>& payload) {
  uint32_t h[32] = {};
  h[0] = 0x20534444; // "DDS "
  uint32_t* hd = h + 1;
  hd[0] = 124;
  hd[1] = d.flags;
  hd[2] = d.height;
  hd[3] = d.width;
  hd[4] = d.pitch_or_linear;
  hd[6] = d.mip_count;
  hd[18] = 32;
  hd[19] = d.pf_flags;
  hd[20] = d.fourcc;
  hd[21] = d.bits;
  hd[22] = d.rmask;
  hd[23] = d.gmask;
  hd[24] = d.bmask;
  hd[25] = d.amask;
  hd[26] = d.caps;
  hd[27] = d.caps2;
  std::vector<uint8_t> out(128 + payload.size());
  memcpy(out.data(), h, 128);
  if (!payload.empty()) memcpy(out.data() + 128, payload.data(), payload.size());
  return out;
}

inline DdsDesc dxt(const char* code, uint32_t w, uint32_t h, uint32_t levels) {
  DdsDesc d;
  d.width = w;
  d.height = h;
  d.fourcc = fourcc(code);
  if (levels > 1) {
    d.flags |= FLAG_MIPMAPCOUNT;
    d.caps |= CAPS_MIPMAP | CAPS_COMPLEX;
    d.mip_count = levels;
  }
  return d;
}

inline DdsDesc argb(uint32_t w, uint32_t h, bool alpha) {
  DdsDesc d;
  d.width = w;
  d.height = h;
  d.pf_flags = PF_RGB | (alpha ? (uint32_t)PF_ALPHAPIXELS : 0u);
  d.bits = 32;
  d.rmask = 0xFF0000;
  d.gmask = 0xFF00;
  d.bmask = 0xFF;
  d.amask = alpha ? 0xFF000000 : 0;
  return d;
}

// A DXT1 block of one 565 colour (both end points equal, all indices 0).
inline void put_dxt1_block(std::vector<uint8_t>& out, uint16_t c565) {
  uint8_t b[8] = {(uint8_t)c565, (uint8_t)(c565 >> 8), (uint8_t)c565, (uint8_t)(c565 >> 8), 0, 0, 0, 0};
  out.insert(out.end(), b, b + 8);
}

// {===== TGA

inline std::vector<uint8_t> tga(int type, int bits, int w, int h, const std::vector<uint32_t>& px) {
  uint8_t hd[18] = {};
  hd[2] = (uint8_t)type;
  hd[12] = (uint8_t)w;
  hd[13] = (uint8_t)(w >> 8);
  hd[14] = (uint8_t)h;
  hd[15] = (uint8_t)(h >> 8);
  hd[16] = (uint8_t)bits;
  hd[17] = 8;
  std::vector<uint8_t> out(18 + px.size() * 4);
  memcpy(out.data(), hd, 18);
  if (!px.empty()) memcpy(out.data() + 18, px.data(), px.size() * 4);
  return out;
}

} // namespace content
