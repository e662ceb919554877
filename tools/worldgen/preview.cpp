// Shaded picture of the world grids: the surface colour under its top
// layer, lit by the sun over the height normals, water tinted by depth and
// lava glowing. One pixel samples the grids bilinearly.
#include "preview.h"

#include <cmath>
#include <vector>

#include "world/heightmap.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

using namespace HeightmapData;

static uint64_t fnv(const void* data, size_t n, uint64_t h) {
  const unsigned char* p = (const unsigned char*)data;
  for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

uint64_t world_grid_hash() {
  uint64_t h = 1469598103934665603ull;
  h = fnv(hmap, sizeof(float) * HMAP_CELLS, h);
  h = fnv(target_hmap, sizeof(float) * HMAP_CELLS, h);
  for (int i = 0; i < HMAP_CELLS; i++) {
    uint32_t w[3] = {surface[i].color, surface[i].top_color, surface[i].typeWord()};
    h = fnv(w, sizeof w, h);
  }
  return fnv(waterCells(), sizeof(Water) * HMAP_CELLS, h);
}

namespace {

struct Rgb {
  float r, g, b;
};

Rgb cell_color(int i) {
  const Surface& s = surface[i];
  Vec4f c = d3d_color_to_vec4f(s.color);
  Vec4f t = d3d_color_to_vec4f(s.top_color);
  float a = s.top_color ? t.w : 0.0f;
  return Rgb{c.x + (t.x - c.x) * a, c.y + (t.y - c.y) * a, c.z + (t.z - c.z) * a};
}

template <class F>
auto bilinear(float x, float z, F&& at) {
  float fx = std::floor(x), fz = std::floor(z);
  int ix = (int)fx, iz = (int)fz;
  float ax = x - fx, az = z - fz;
  auto a = at(hmap_index(ix, iz)), b = at(hmap_index(ix + 1, iz));
  auto c = at(hmap_index(ix, iz + 1)), d = at(hmap_index(ix + 1, iz + 1));
  auto lerp = [](auto p, auto q, float t) { return p + (q - p) * t; };
  return lerp(lerp(a, b, ax), lerp(c, d, ax), az);
}

Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb operator-(Rgb a, Rgb b) { return {a.r - b.r, a.g - b.g, a.b - b.b}; }
Rgb operator*(Rgb a, float k) { return {a.r * k, a.g * k, a.b * k}; }

} // namespace

bool encode_world_preview(std::vector<unsigned char>& png, int size, const Vec4f& sun_dir, D3dColor water,
                          D3dColor lava) {
  float lx = sun_dir.x, ly = sun_dir.y, lz = sun_dir.z;
  float ll = std::sqrt(lx * lx + ly * ly + lz * lz);
  if (!(ll > 1e-6f)) lx = 0.5f, ly = 0.7f, lz = 0.3f, ll = std::sqrt(0.83f);
  lx /= ll, ly /= ll, lz /= ll;
  Vec4f wc = d3d_color_to_vec4f(water), lc = d3d_color_to_vec4f(lava);
  Rgb water_rgb{wc.x, wc.y, wc.z}, lava_rgb{lc.x, lc.y, lc.z};
  const Water* w = waterCells();

  std::vector<unsigned char> px((size_t)size * size * 3);
  float scale = (float)HMAP_SIZE / (float)size;
  for (int py = 0; py < size; py++)
    for (int pxl = 0; pxl < size; pxl++) {
      float x = (pxl + 0.5f) * scale - 0.5f, z = (py + 0.5f) * scale - 0.5f;
      auto height = [&](float sx, float sz) { return bilinear(sx, sz, [](int i) { return hmap[i]; }); };
      float h = height(x, z);
      float dhx = (height(x + 1, z) - height(x - 1, z)) * 0.5f;
      float dhz = (height(x, z + 1) - height(x, z - 1)) * 0.5f;
      float nx = -dhx, ny = 1.0f, nz = -dhz;
      float nl = std::sqrt(nx * nx + ny * ny + nz * nz);
      float diffuse = (nx * lx + ny * ly + nz * lz) / nl;
      float shade = 0.38f + 0.72f * (diffuse > 0 ? diffuse : 0);
      Rgb c = bilinear(x, z, cell_color) * shade;
      float depth = bilinear(x, z, [&](int i) { return w[i].depth; });
      if (depth > 0.0f) {
        // Shallow water shows the ground, deep water its own colour.
        float a = 1.0f - std::exp(-depth * 0.45f);
        a = 0.35f + 0.6f * a;
        Rgb deep = water_rgb * (0.55f + 0.45f * std::exp(-depth * 0.08f));
        c = c + (deep - c) * a;
      } else if (depth < 0.0f) {
        float a = 1.0f - std::exp(depth * 2.0f);
        c = c + (lava_rgb - c) * (0.5f + 0.5f * a);
      }
      (void)h;
      unsigned char* o = &px[((size_t)py * size + pxl) * 3];
      for (int k = 0; k < 3; k++) {
        float v = k == 0 ? c.r : k == 1 ? c.g : c.b;
        v = v < 0 ? 0 : v > 1 ? 1 : v;
        o[k] = (unsigned char)std::lround(std::pow(v, 1.0f / 1.1f) * 255.0f);
      }
    }
  png.clear();
  auto append = [](void* ctx, void* data, int n) {
    auto* v = (std::vector<unsigned char>*)ctx;
    v->insert(v->end(), (unsigned char*)data, (unsigned char*)data + n);
  };
  return stbi_write_png_to_func(append, &png, size, size, 3, px.data(), size * 3) != 0 && !png.empty();
}
