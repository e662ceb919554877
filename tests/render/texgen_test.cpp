// The generated textures: texgen makes the same files on every run, the
// texture loader accepts them with their full mip chains, and each looks
// like what the shaders take it for.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/temp_dir.h"
#include "render/texture.h"

namespace {

namespace fs = std::filesystem;

fs::path bin_dir() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin"; }

std::vector<uint8_t> read_all(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

struct Stats {
  double mean[4] = {0, 0, 0, 0}; // r, g, b, a over level 0, 0..255
  int min_a = 255, max_a = 0;
};

Stats level0_stats(const std::vector<uint8_t>& file, const DdsInfo& d) {
  Stats s;
  const uint8_t* p = file.data() + d.data_offset;
  int n = d.width * d.height;
  for (int i = 0; i < n; i++) {
    s.mean[2] += p[4 * i];
    s.mean[1] += p[4 * i + 1];
    s.mean[0] += p[4 * i + 2];
    s.mean[3] += p[4 * i + 3];
    s.min_a = std::min<int>(s.min_a, p[4 * i + 3]);
    s.max_a = std::max<int>(s.max_a, p[4 * i + 3]);
  }
  for (double& m : s.mean) m /= n;
  return s;
}

TEST(TextureGenerator, MakesTheSameTexturesEveryRunAndEachLooksRight) {
  std::string out = make_temp_dir("rh-texgen");
  std::string cmd = (bin_dir() / "texgen").string() + " " + out;
  ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
  for (const char* name : {"noise.dds", "detail.dds", "foam.dds", "lava.dds"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> made = read_all(out + name), shipped = read_all(bin_dir() / name);
    ASSERT_FALSE(made.empty());
    EXPECT_EQ(made, shipped) << "texgen is not deterministic";
    DdsInfo d;
    ASSERT_TRUE(dds_read_header(made.data(), int(made.size()), d));
    EXPECT_EQ(d.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(d.width, 256);
    EXPECT_EQ(d.levels, 9);
    // All nine levels are in the file: 256^2 + 128^2 + ... + 1, four bytes each.
    EXPECT_EQ(int(made.size()), d.data_offset + 4 * 87381);
  }
  auto stats = [&](const char* name) {
    std::vector<uint8_t> f = read_all(out + name);
    DdsInfo d;
    EXPECT_TRUE(dds_read_header(f.data(), int(f.size()), d));
    return level0_stats(f, d);
  };
  Stats lava = stats("lava.dds"), foam = stats("foam.dds"), detail = stats("detail.dds"), noise = stats("noise.dds");
  EXPECT_GT(lava.mean[0], 2 * lava.mean[2]) << "lava glows red-orange";
  EXPECT_GT(lava.max_a, 240) << "bright molten cracks";
  EXPECT_LT(lava.min_a, 40) << "dark crust";
  EXPECT_GT(foam.mean[0], 220) << "foam is white";
  EXPECT_LT(foam.min_a, 20);
  EXPECT_GT(foam.max_a, 200);
  for (int c = 0; c < 3; c++) EXPECT_NEAR(detail.mean[c], 128, 20) << "detail multiplies around 0.5";
  for (int c = 0; c < 4; c++) EXPECT_NEAR(noise.mean[c], 128, 30) << "noise channel " << c;
}

} // namespace
