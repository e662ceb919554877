// texgen: the procedural textures the terrain, water, lava and sky shaders
// sample, written as uncompressed A8R8G8B8 DDS files with a full mip chain.
// Every pattern tiles (lattices and cell grids wrap at the texture's period)
// because the shaders address them with WRAP over the whole world.
//
//   noise.dds   four independent tileable fractal noises in R, G, B, A
//   detail.dds  grey ground grain around 0.5 (shaders multiply by 2), A = bumps
//   foam.dds    white foam streaks (cell edges and speckle), A = coverage
//   lava.dds    dark crust plates with glowing cracks, A = glow strength
//
// Usage: texgen <output folder>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/dds_write.h"
#include "common/tile_noise.h"

namespace {

using namespace tile_noise;

constexpr int SIZE = 256;

// {===== Tileable patterns

// Distances to the nearest and second-nearest feature point of a wrapping
// grid of `cells` x `cells` cells with one jittered point each.
void worley(float u, float v, int cells, uint32_t seed, float& f1, float& f2) {
  float x = u * cells, y = v * cells;
  int cx = int(std::floor(x)), cy = int(std::floor(y));
  f1 = f2 = 1e9f;
  for (int j = -1; j <= 1; j++)
    for (int i = -1; i <= 1; i++) {
      int gx = cx + i, gy = cy + j;
      int wx = ((gx % cells) + cells) % cells, wy = ((gy % cells) + cells) % cells;
      float px = gx + 0.15f + 0.7f * hashf(wx, wy, seed), py = gy + 0.15f + 0.7f * hashf(wx, wy, seed + 7u);
      float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
      if (d < f1) {
        f2 = f1;
        f1 = d;
      } else if (d < f2) {
        f2 = d;
      }
    }
}


// {===== Images and the DDS writer

struct Image {
  std::vector<float> px; // r, g, b, a per pixel, 0..1
  Image() : px(size_t(SIZE) * SIZE * 4) {}
  float* at(int x, int y) { return &px[(size_t(y) * SIZE + x) * 4]; }
};

template <class F>
Image make_image(F&& pixel) {
  Image img;
  for (int y = 0; y < SIZE; y++)
    for (int x = 0; x < SIZE; x++) pixel((x + 0.5f) / SIZE, (y + 0.5f) / SIZE, img.at(x, y));
  return img;
}

// A8R8G8B8 with every mip level (box filtered); bytes B, G, R, A, rows top first.
bool write_dds(const std::string& path, const Image& img) {
  return dds_write::save("texgen", path, dds_write::from_rgba(img.px, SIZE, SIZE, dds_write::full_chain(SIZE, SIZE)));
}

// {===== The textures

Image noise_texture() {
  return make_image([](float u, float v, float* p) {
    p[0] = fbm(u, v, 8, 5, 1);
    p[1] = fbm(u, v, 16, 4, 2);
    p[2] = fbm(u, v, 4, 6, 3);
    p[3] = fbm(u, v, 32, 3, 4);
  });
}

Image detail_texture() {
  return make_image([](float u, float v, float* p) {
    float coarse = fbm(u, v, 8, 3, 11), fine = fbm(u, v, 64, 2, 12);
    float f1, f2;
    worley(u, v, 24, 13, f1, f2);
    float pebbles = clamp01((f2 - f1) * 3.0f); // light stones, dark gaps
    float g = 0.5f + 0.16f * (coarse - 0.5f) + 0.22f * (fine - 0.5f) + 0.10f * (pebbles - 0.5f);
    p[0] = g * 1.02f;
    p[1] = g;
    p[2] = g * 0.97f;
    p[3] = clamp01(0.5f + 0.8f * (fine - 0.5f) + 0.3f * (pebbles - 0.5f));
  });
}

Image foam_texture() {
  return make_image([](float u, float v, float* p) {
    float f1, f2;
    worley(u, v, 12, 21, f1, f2);
    float edge = 1.0f - clamp01((f2 - f1) * 4.0f); // bright along the cell borders
    float grain = fbm(u, v, 32, 3, 22);
    float speck = hashf(int(u * SIZE), int(v * SIZE), 23) > 0.93f ? 0.6f : 0.0f;
    float a = clamp01(edge * edge * 1.2f * (0.6f + 0.8f * grain) + speck * grain);
    p[0] = p[1] = 0.92f + 0.08f * grain;
    p[2] = 0.96f + 0.04f * grain;
    p[3] = a;
  });
}

Image lava_texture() {
  return make_image([](float u, float v, float* p) {
    float f1, f2;
    worley(u, v, 10, 31, f1, f2);
    float n = fbm(u, v, 16, 4, 32);
    float crack = 1.0f - clamp01((f2 - f1) * 5.0f - 0.15f + 0.5f * (n - 0.5f)); // molten between plates
    float glow = clamp01(crack * crack * 1.3f + 0.06f * n);
    // Crust: dark red-brown; molten: orange to yellow-white.
    float cr = 0.20f + 0.10f * n, cg = 0.05f + 0.03f * n, cb = 0.03f;
    float mr = 1.0f, mg = 0.35f + 0.55f * glow, mb = 0.05f + 0.25f * glow * glow;
    p[0] = cr + (mr - cr) * glow;
    p[1] = cg + (mg - cg) * glow;
    p[2] = cb + (mb - cb) * glow;
    p[3] = glow;
  });
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: texgen <output folder>\n");
    return 2;
  }
  std::string dir = argv[1];
  if (!dir.empty() && dir.back() != '/') dir += '/';
  bool ok = write_dds(dir + "noise.dds", noise_texture());
  ok = write_dds(dir + "detail.dds", detail_texture()) && ok;
  ok = write_dds(dir + "foam.dds", foam_texture()) && ok;
  ok = write_dds(dir + "lava.dds", lava_texture()) && ok;
  return ok ? 0 : 1;
}
