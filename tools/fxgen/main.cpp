// fxgen: the effect textures, written as uncompressed A8R8G8B8 DDS files with
// a short mip chain (four levels: the atlas cells are 64 texels and up, so
// deeper levels would mix neighbouring sprites).
//
//   blendfx.dds   512 x 256 blend-particle atlas (straight alpha):
//     (0,0) (64,0) (128,0) 64   smoke puffs       (192,0) 64   dust
//     (256,0) 128  smoke cloud                    (384,0) 128  steam wisps
//     (0,64) 64    water drop    (64,64) 64 splash (128,64) 64 rock chunk
//     (192,64) 64  ash flake
//     (0,128) 128  flame         (128,128) 128 fireball cloud
//     (256,128) 128 dark smoke   (384,128) 128 soft disc
//   glowfx.dds    512 x 256 glow-particle atlas (rgb x alpha is the light):
//     rows 0..63   the trail ribbon band, tiling along u
//     (0,64) 64    trail head     (64,64) 64 spark  (128,64) 64 star flare
//     (192,64) 64  ring           (256,64) 64 soft glow (320,64) 64 sparkle
//     (384,64) 128 big glow
//     (0,128) 128  flame glow     (128,128) 128 electric flash
//     (256,128) 128 swirl         (384,192) 64 glint  (448,192) 64 mote
//   lightning.dds 256 x 64: a bolt strip, u along it (tiling), v across.
//
// Usage: fxgen <output folder>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/dds_write.h"
#include "common/tile_noise.h"

namespace {

using namespace tile_noise;

constexpr float PI = 3.14159265f;

// {===== Images and the DDS writer

struct Image {
  int w, h;
  std::vector<float> px; // r, g, b, a per pixel, 0..1
  Image(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * h_ * 4) {}
  float* at(int x, int y) { return &px[(size_t(y) * w + x) * 4]; }
};

// Fills the cell (x0, y0, size) with pixel(dx, dy, out): dx, dy in -1..1
// from the cell's centre (y down).
template <class F>
void cell(Image& img, int x0, int y0, int size, F&& pixel) {
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      float dx = (x + 0.5f) / size * 2 - 1, dy = (y + 0.5f) / size * 2 - 1;
      float* p = img.at(x0 + x, y0 + y);
      pixel(dx, dy, p);
      for (int c = 0; c < 4; c++) p[c] = clamp01(p[c]);
    }
}

bool write_dds(const std::string& path, const Image& img, int levels) {
  return dds_write::save("fxgen", path, dds_write::from_rgba(img.px, img.w, img.h, levels));
}

void set(float* p, float r, float g, float b, float a) {
  p[0] = r;
  p[1] = g;
  p[2] = b;
  p[3] = a;
}

// {===== Blend sprites

// A flame in a cell (dy down): coverage and heat (1 in the core).
void flame_shape(float dx, float dy, uint32_t seed, float& a, float& heat) {
  float h = (1 - dy) * 0.5f; // 0 at the bottom, 1 at the top
  float n = fbm(dx * 0.5f + 0.5f, dy * 0.5f + 0.5f, 4, 5, seed);
  float sway = fbm(0.5f, dy * 0.5f + 0.5f, 3, 3, seed + 9) - 0.5f;
  float x = dx + 0.5f * sway * h;
  float hh = clamp01((h - 0.04f) / 0.96f);
  float width = 0.75f * std::pow(std::sin(PI * hh), 0.6f) * std::pow(1 - hh, 0.7f);
  float body = clamp01((width - std::fabs(x)) / 0.14f + (n - 0.5f) * 2.2f * h);
  a = smooth(body);
  heat = clamp01((1 - std::fabs(x) / (width + 0.02f)) * (1.3f - h) + 0.4f * (n - 0.5f)) * a;
}

// A puff of smoke: a noisy round cloud, lit from above.
void smoke(Image& img, int x0, int y0, int size, uint32_t seed, float grey, float density) {
  cell(img, x0, y0, size, [&](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy);
    float n = fbm(dx * 0.5f + 0.5f, dy * 0.5f + 0.5f, 4, 5, seed);
    float edge = clamp01((0.95f - r - 0.45f * (n - 0.5f)) / 0.45f);
    float a = smooth(edge) * (0.4f + 0.8f * n) * density;
    float shade = grey * (0.7f + 0.5f * (-dy * 0.5f + 0.5f) * n);
    set(p, shade, shade, shade * 1.02f, a);
  });
}

void blend_atlas(Image& img) {
  smoke(img, 0, 0, 64, 11, 0.78f, 1.0f);
  smoke(img, 64, 0, 64, 12, 0.72f, 1.0f);
  smoke(img, 128, 0, 64, 13, 0.82f, 0.9f);
  // Dust: a thin veil of fine grains.
  cell(img, 192, 0, 64, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy);
    float n = fbm(dx * 0.5f + 0.5f, dy * 0.5f + 0.5f, 8, 4, 21);
    float a = smooth(clamp01(1 - r)) * (0.3f + 0.5f * n);
    set(p, 0.72f, 0.62f, 0.48f, a);
  });
  smoke(img, 256, 0, 128, 31, 0.8f, 1.0f);
  // Steam: pale, wispy streaks.
  cell(img, 384, 0, 128, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy);
    float n = fbm(dx * 0.25f + 0.5f, dy * 0.5f + 0.5f, 3, 5, 41);
    float streak = 0.5f + 0.5f * std::sin((dx * 3 + n * 4) * PI);
    float a = smooth(clamp01((1 - r) * 1.4f)) * (0.25f + 0.45f * n * streak);
    set(p, 0.95f, 0.97f, 1.0f, a);
  });
  // Water drop: a bluish bead with a highlight.
  cell(img, 0, 64, 64, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy);
    float a = smooth(clamp01((0.8f - r) / 0.15f));
    float hl = std::exp(-((dx + 0.3f) * (dx + 0.3f) + (dy + 0.3f) * (dy + 0.3f)) * 25);
    set(p, 0.45f + 0.55f * hl, 0.65f + 0.35f * hl, 0.95f, a * (0.75f + 0.25f * hl));
  });
  // Splash: a ring of droplets.
  cell(img, 64, 64, 64, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy), ang = std::atan2(dy, dx);
    float drops = std::pow(0.5f + 0.5f * std::cos(ang * 9), 6.0f);
    float ring = std::exp(-(r - 0.6f) * (r - 0.6f) * 60) * (0.4f + 0.6f * drops);
    set(p, 0.75f, 0.88f, 1.0f, ring);
  });
  // Rock chunk: an irregular dark brown stone with hard edges.
  cell(img, 128, 64, 64, [](float dx, float dy, float* p) {
    float ang = std::atan2(dy, dx), r = std::sqrt(dx * dx + dy * dy);
    float rim = 0.6f + 0.15f * std::sin(ang * 3 + 1) + 0.08f * std::sin(ang * 7);
    float n = fbm(dx * 0.5f + 0.5f, dy * 0.5f + 0.5f, 8, 3, 51);
    float a = clamp01((rim - r) * 20);
    float lit = 0.7f + 0.5f * (-dx - dy) * 0.5f;
    set(p, (0.36f + 0.2f * n) * lit, (0.27f + 0.15f * n) * lit, (0.2f + 0.1f * n) * lit, a);
  });
  // Ash flake: a small dark curled flake.
  cell(img, 192, 64, 64, [](float dx, float dy, float* p) {
    float e = (dx * dx) / 0.5f + (dy * dy) / 0.12f;
    float n = fbm(dx * 0.5f + 0.5f, dy * 0.5f + 0.5f, 8, 3, 61);
    set(p, 0.18f + 0.1f * n, 0.16f + 0.08f * n, 0.15f, smooth(clamp01((1 - e) * 3)) * (0.7f + 0.3f * n));
  });
  // Flame: a teardrop body broken into tongues at the top, yellow-white
  // core and orange edge.
  cell(img, 0, 128, 128, [](float dx, float dy, float* p) {
    float a, heat;
    flame_shape(dx, dy, 71, a, heat);
    set(p, 1.0f, 0.35f + 0.6f * heat, 0.08f + 0.55f * heat * heat, a);
  });
  // Fireball cloud: a billowing orange-black ball.
  cell(img, 128, 128, 128, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy);
    float n = fbm(dx * 0.5f + 0.5f, dy * 0.5f + 0.5f, 4, 5, 81);
    float a = smooth(clamp01((0.9f - r - 0.35f * (n - 0.5f)) / 0.3f));
    float heat = clamp01(1.2f - r * 1.3f + 0.6f * (n - 0.5f));
    set(p, 0.25f + 0.75f * heat, 0.1f + 0.55f * heat * heat, 0.05f + 0.2f * heat * heat * heat, a);
  });
  smoke(img, 256, 128, 128, 91, 0.3f, 1.0f);
  // Soft disc: a plain round sprite.
  cell(img, 384, 128, 128, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy);
    set(p, 1, 1, 1, smooth(clamp01((1 - r) * 1.5f)));
  });
}

// {===== Glow sprites

void glow_atlas(Image& img) {
  // Trail band: bright core along v = 32, soft edges, streaks tiling in u.
  for (int y = 0; y < 64; y++)
    for (int x = 0; x < 512; x++) {
      float v = (y + 0.5f) / 64 * 2 - 1, u = (x + 0.5f) / 512;
      float n = value_noise(u, v * 0.5f + 0.5f, 16, 2, 101);
      float core = std::exp(-v * v * 18), halo = std::exp(-v * v * 3) * (0.45f + 0.35f * n);
      float a = clamp01(core + halo);
      set(img.at(x, y), 1, 1, 1, a);
    }
  // Trail head: hot core and a round glow.
  cell(img, 0, 64, 64, [](float dx, float dy, float* p) {
    float r2 = dx * dx + dy * dy;
    set(p, 1, 1, 1, std::exp(-r2 * 14) + 0.5f * std::exp(-r2 * 3.5f) * clamp01(1 - r2));
  });
  // Spark: a tight dot with a faint halo.
  cell(img, 64, 64, 64, [](float dx, float dy, float* p) {
    float r2 = dx * dx + dy * dy;
    set(p, 1, 1, 1, std::exp(-r2 * 60) + 0.25f * std::exp(-r2 * 8) * clamp01(1 - r2));
  });
  // Star flare: four thin rays.
  cell(img, 128, 64, 64, [](float dx, float dy, float* p) {
    float r2 = dx * dx + dy * dy;
    float rays = std::exp(-dx * dx * 400) * clamp01(1 - std::fabs(dy)) + std::exp(-dy * dy * 400) * clamp01(1 - std::fabs(dx));
    set(p, 1, 1, 1, rays + std::exp(-r2 * 30));
  });
  // Ring: a shock wave.
  cell(img, 192, 64, 64, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy);
    set(p, 1, 1, 1, std::exp(-(r - 0.7f) * (r - 0.7f) * 120) + 0.15f * std::exp(-(r - 0.55f) * (r - 0.55f) * 20));
  });
  // Soft glow.
  cell(img, 256, 64, 64, [](float dx, float dy, float* p) {
    float r2 = dx * dx + dy * dy;
    set(p, 1, 1, 1, std::exp(-r2 * 4) * clamp01(1 - r2));
  });
  // Sparkle: a six-pointed star.
  cell(img, 320, 64, 64, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy), ang = std::atan2(dy, dx);
    float arms = std::pow(std::fabs(std::cos(ang * 3)), 24.0f) * clamp01(1 - r);
    set(p, 1, 1, 1, arms + std::exp(-r * r * 40));
  });
  // Big glow.
  cell(img, 384, 64, 128, [](float dx, float dy, float* p) {
    float r2 = dx * dx + dy * dy;
    set(p, 1, 1, 1, (0.8f * std::exp(-r2 * 6) + 0.3f * std::exp(-r2 * 1.5f)) * clamp01(1 - r2));
  });
  // Flame glow: the flame's shape as light, yellow-white core, orange rim.
  cell(img, 0, 128, 128, [](float dx, float dy, float* p) {
    float a, heat;
    flame_shape(dx, dy, 111, a, heat);
    set(p, 1.0f, 0.45f + 0.5f * heat, 0.12f + 0.6f * heat * heat, a);
  });
  // Electric flash: jagged rays round a bright centre.
  cell(img, 128, 128, 128, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy), ang = std::atan2(dy, dx);
    float jag = value_noise(ang / (2 * PI) + 0.5f, r * 0.5f, 7, 6, 121);
    float rays = std::pow(clamp01(1 - std::fabs(std::sin(ang * 3.5f + 3 * jag)) * 6), 2.0f) * clamp01(1 - r);
    set(p, 0.85f, 0.9f, 1.0f, rays + std::exp(-r * r * 30));
  });
  // Swirl: two spiral arms.
  cell(img, 256, 128, 128, [](float dx, float dy, float* p) {
    float r = std::sqrt(dx * dx + dy * dy), ang = std::atan2(dy, dx);
    float arm = std::pow(0.5f + 0.5f * std::cos(2 * ang + r * 9), 4.0f);
    set(p, 1, 1, 1, arm * smooth(clamp01(1 - r)) * clamp01(r * 4) + 0.6f * std::exp(-r * r * 30));
  });
  // Glint: a small cross-shaped highlight.
  cell(img, 384, 192, 64, [](float dx, float dy, float* p) {
    float r2 = dx * dx + dy * dy;
    float cross = std::exp(-dx * dx * 900) * std::exp(-dy * dy * 4) + std::exp(-dy * dy * 900) * std::exp(-dx * dx * 4);
    set(p, 1, 1, 1, cross + std::exp(-r2 * 50));
  });
  // Mote: a tiny soft dot.
  cell(img, 448, 192, 64, [](float dx, float dy, float* p) {
    float r2 = dx * dx + dy * dy;
    set(p, 1, 1, 1, std::exp(-r2 * 20));
  });
}

// {===== The bolt strip

void lightning(Image& img) {
  for (int y = 0; y < img.h; y++)
    for (int x = 0; x < img.w; x++) {
      float u = (x + 0.5f) / img.w, v = (y + 0.5f) / img.h * 2 - 1;
      // The core wanders across the strip, tiling along u.
      // Slightly: a thin bolt is a few pixels wide, and a core leaving the
      // strip's middle would break it into dashes.
      float off = 0.06f * (value_noise(u, 0.3f, 8, 1, 131) - 0.5f) + 0.03f * (value_noise(u, 0.7f, 32, 1, 132) - 0.5f);
      float d = v - off;
      float core = std::exp(-d * d * 60), glow = 0.6f * std::exp(-d * d * 6);
      float flicker = 0.75f + 0.25f * value_noise(u, 0.5f, 64, 1, 133);
      float a = clamp01((core + glow * flicker) * (0.85f + 0.15f * flicker));
      float white = clamp01(core * 1.5f);
      set(img.at(x, y), 0.55f + 0.45f * white, 0.6f + 0.4f * white, 1.0f, a);
    }
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: fxgen <output folder>\n");
    return 2;
  }
  std::string dir = argv[1];
  if (!dir.empty() && dir.back() != '/') dir += '/';
  Image blend(512, 256), glow(512, 256), bolt(256, 64);
  blend_atlas(blend);
  glow_atlas(glow);
  lightning(bolt);
  bool ok = write_dds(dir + "blendfx.dds", blend, 4);
  ok = write_dds(dir + "glowfx.dds", glow, 4) && ok;
  ok = write_dds(dir + "lightning.dds", bolt, 4) && ok;
  return ok ? 0 : 1;
}
