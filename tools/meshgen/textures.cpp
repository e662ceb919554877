// The materials of the model textures: small procedural patterns, one per
// swatch. Glowing parts carry alpha below 1 (emission = 1 - alpha).
#include <algorithm>
#include <cmath>

#include "models.h"

namespace meshgen {

// Smooth value noise in about -1..1 with a period of `cells` (tileable).
static float vnoise(float u, float v, int cells, int seed) {
  float x = u * cells, y = v * cells;
  int x0 = (int)std::floor(x), y0 = (int)std::floor(y);
  float fx = x - x0, fy = y - y0;
  fx = fx * fx * (3 - 2 * fx);
  fy = fy * fy * (3 - 2 * fy);
  auto h = [&](int i, int j) { return hash3(((i % cells) + cells) % cells, ((j % cells) + cells) % cells, seed); };
  float a = h(x0, y0), b = h(x0 + 1, y0), c = h(x0, y0 + 1), d = h(x0 + 1, y0 + 1);
  return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
}

static float fbm(float u, float v, int cells, int seed) {
  return 0.55f * vnoise(u, v, cells, seed) + 0.3f * vnoise(u, v, cells * 2, seed + 1) +
         0.15f * vnoise(u, v, cells * 4, seed + 2);
}

static void set(float out[4], float r, float g, float b, float k = 1, float a = 1) {
  out[0] = std::clamp(r * k, 0.0f, 1.0f);
  out[1] = std::clamp(g * k, 0.0f, 1.0f);
  out[2] = std::clamp(b * k, 0.0f, 1.0f);
  out[3] = a;
}

// Distance from (u, v) to the segment a-b.
static float seg_dist(float u, float v, float ax, float ay, float bx, float by) {
  float dx = bx - ax, dy = by - ay;
  float t = std::clamp(((u - ax) * dx + (v - ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
  return std::hypot(u - ax - t * dx, v - ay - t * dy);
}

void material_texel(Material m, float u, float v, float o[4]) {
  float n = fbm(u, v, 4, (int)m * 7);
  switch (m) {
  case M_BARK: {
    float streak = vnoise(u * 6, v * 0.5f, 8, 11);
    set(o, 0.36f, 0.25f, 0.15f, 0.8f + 0.35f * streak + 0.1f * n);
    break;
  }
  case M_LEAVES:
    set(o, 0.28f, 0.55f, 0.16f, 0.85f + 0.3f * fbm(u, v, 8, 3));
    break;
  case M_LEAVES_DARK:
    set(o, 0.17f, 0.42f, 0.12f, 0.85f + 0.3f * fbm(u, v, 8, 5));
    break;
  case M_NEEDLES: {
    float s = std::sin((u + v) * 40 + 3 * n);
    set(o, 0.09f, 0.32f, 0.16f, 0.9f + 0.15f * s + 0.15f * n);
    break;
  }
  case M_STONE:
    set(o, 0.52f, 0.51f, 0.49f, 0.85f + 0.35f * n);
    break;
  case M_MOSS_STONE: {
    float moss = std::clamp(fbm(u, v, 3, 9) * 3.0f, 0.0f, 1.0f);
    set(o, 0.5f - 0.25f * moss, 0.5f - 0.02f * moss, 0.47f - 0.27f * moss, 0.85f + 0.3f * n);
    break;
  }
  case M_RUNE_STONE: {
    // Stone with a few carved strokes that glow cyan.
    static const float strokes[][4] = {{0.2f, 0.15f, 0.2f, 0.85f}, {0.2f, 0.5f, 0.45f, 0.3f},
                                       {0.2f, 0.5f, 0.45f, 0.7f},  {0.65f, 0.15f, 0.65f, 0.85f},
                                       {0.65f, 0.15f, 0.85f, 0.35f}, {0.65f, 0.5f, 0.85f, 0.75f}};
    float d = 1;
    for (auto& s : strokes) d = std::min(d, seg_dist(u, v, s[0], s[1], s[2], s[3]));
    if (d < 0.035f)
      set(o, 0.35f, 0.95f, 1.0f, 1, 0.35f);
    else
      set(o, 0.45f, 0.47f, 0.5f, 0.85f + 0.3f * n);
    break;
  }
  case M_SKIN:
    set(o, 0.88f, 0.68f, 0.52f, 0.95f + 0.08f * n);
    break;
  case M_CLOTH: {
    float weave = (std::sin(u * 120) * std::sin(v * 120)) * 0.06f;
    set(o, 0.22f, 0.33f, 0.65f, 0.9f + weave + 0.1f * n);
    break;
  }
  case M_HAIR:
    set(o, 0.32f, 0.19f, 0.08f, 0.85f + 0.25f * vnoise(u * 8, v, 16, 2));
    break;
  case M_LEATHER:
    set(o, 0.42f, 0.26f, 0.12f, 0.9f + 0.2f * n);
    break;
  case M_EYE_WHITE: {
    float vein = std::fabs(vnoise(u, v, 6, 21)) < 0.04f ? 0.75f : 1.0f;
    set(o, 0.96f, 0.92f * vein, 0.88f * vein);
    break;
  }
  case M_IRIS_GLOW: {
    float r = std::hypot(u - 0.5f, v - 0.5f);
    set(o, 1.0f, 0.55f + 0.4f * (1 - r), 0.1f, 1, 0.25f);
    break;
  }
  case M_GLOW_YELLOW:
    set(o, 1.0f, 0.85f, 0.2f, 1, 0.15f);
    break;
  case M_GATHERER: {
    float spot = fbm(u, v, 6, 13) > 0.25f ? 0.65f : 1.0f;
    set(o, 0.5f, 0.27f, 0.6f, spot * (0.9f + 0.2f * n));
    break;
  }
  case M_GATHERER_DARK:
    set(o, 0.22f, 0.1f, 0.28f, 0.9f + 0.2f * n);
    break;
  case M_CTR_GREEN: {
    float ring = std::fabs(std::sin(v * PI * 4)) < 0.15f ? 0.6f : 1.0f;
    set(o, 0.38f, 0.68f, 0.16f, ring * (0.92f + 0.15f * n));
    break;
  }
  case M_CTR_STRIPE: {
    bool stripe = std::fmod(v * 3 + 10, 1.0f) < 0.3f;
    bool dot = std::hypot(std::fmod(u * 4, 1.0f) - 0.5f, std::fmod(v * 3, 1.0f) - 0.7f) < 0.12f;
    if (dot)
      set(o, 0.05f, 0.05f, 0.05f);
    else if (stripe)
      set(o, 0.95f, 0.82f, 0.12f, 0.95f + 0.1f * n);
    else
      set(o, 0.36f, 0.66f, 0.15f, 0.92f + 0.15f * n);
    break;
  }
  case M_CTR_DARK:
    set(o, 0.08f, 0.08f, 0.06f);
    break;
  case M_CTR_YELLOW:
    set(o, 0.96f, 0.8f, 0.1f, 0.95f + 0.1f * n);
    break;
  case M_WYV_SCALE: {
    // Overlapping scales: rows of half circles.
    float su = u * 8, sv = v * 8;
    float row = std::floor(sv);
    float cu = std::fmod(su + (std::fmod(row, 2.0f) ? 0.5f : 0.0f), 1.0f) - 0.5f, cv = sv - row;
    float edge = std::hypot(cu, cv) > 0.5f ? 0.6f : 1.0f - 0.35f * cv;
    set(o, 0.55f, 0.14f, 0.1f, edge * (0.95f + 0.1f * n));
    break;
  }
  case M_WYV_BELLY: {
    float band = std::fabs(std::sin(v * PI * 6)) < 0.2f ? 0.75f : 1.0f;
    set(o, 0.82f, 0.66f, 0.4f, band);
    break;
  }
  case M_WYV_WING: {
    float vein = std::min({std::fabs(u - 0.2f), std::fabs(u - 0.5f), std::fabs(u - 0.8f)}) < 0.02f ? 0.55f : 1.0f;
    set(o, 0.6f, 0.22f, 0.2f, vein * (0.9f + 0.15f * n));
    break;
  }
  case M_HORN: {
    float band = 0.9f + 0.1f * std::sin(v * 50);
    set(o, 0.86f, 0.8f, 0.64f, band);
    break;
  }
  case M_BRICK: {
    // Two rows of two bricks per swatch, staggered, with mortar.
    float row = std::floor(v * 2);
    float bu = std::fmod(u * 2 + (row == 1 ? 0.5f : 0.0f), 1.0f), bv = std::fmod(v * 2, 1.0f);
    bool mortar = bu < 0.05f || bu > 0.95f || bv < 0.07f || bv > 0.93f;
    float tone = 0.9f + 0.12f * hash3((int)std::floor(u * 2 + (row == 1 ? 0.5f : 0.0f)), (int)row, 77);
    if (mortar)
      set(o, 0.42f, 0.4f, 0.37f);
    else
      set(o, 0.7f, 0.66f, 0.58f, tone * (0.93f + 0.12f * n));
    break;
  }
  case M_STONE_TOP: {
    bool line = std::fmod(u * 2, 1.0f) < 0.04f || std::fmod(v * 2, 1.0f) < 0.04f;
    set(o, 0.58f, 0.56f, 0.52f, line ? 0.7f : 0.95f + 0.1f * n);
    break;
  }
  case M_WOOD: {
    bool seam = std::fmod(u * 4, 1.0f) < 0.06f;
    float grain = 0.9f + 0.12f * std::sin(v * 60 + 8 * vnoise(u * 4, v, 8, 31));
    set(o, 0.52f, 0.34f, 0.18f, seam ? 0.55f : grain);
    break;
  }
  case M_ROOF: {
    float row = std::floor(v * 4);
    float tu = std::fmod(u * 4 + (std::fmod(row, 2.0f) ? 0.5f : 0.0f), 1.0f), tv = v * 4 - row;
    float shade = 0.75f + 0.3f * tv - (tu < 0.06f ? 0.25f : 0.0f);
    set(o, 0.68f, 0.22f, 0.13f, shade);
    break;
  }
  case M_DARK:
    set(o, 0.05f, 0.04f, 0.04f);
    break;
  default:
    set(o, 1, 0, 1);
    break;
  }
}

} // namespace meshgen
