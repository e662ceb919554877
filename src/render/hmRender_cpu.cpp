// The terrain renderer's CPU side: fluid levels per simulation step, flow
// coordinates, and the pure helpers (window, thresholds, half floats, sun
// shadow bounds, fluid quads). Nothing here touches the device.
#include <cmath>
#include <cstring>

#include "core/app_globals.h"
#include "core/game_rnd.h"
#include "render/hmRender.h"
#include "render/hmRender_local.h"
#include "render/sky.h"

namespace HeightmapRenderer {

using HeightmapData::Water;

FluidLevel cell_fluid_level(const float* hm, const Water* w, int x, int z, float b) {
  int i = hmap_index(x, z);
  float g = hm[i], h = w[i].depth;
  FluidLevel out{NO_FLUID, NO_FLUID};
  if (h > b) out.water = g + h;
  if (h < -b) out.lava = g - h;
  if (out.water != NO_FLUID && out.lava != NO_FLUID) return out;
  float ws = 0, ls = 0;
  int wn = 0, ln = 0;
  for (int dz = -1; dz <= 1; dz++)
    for (int dx = -1; dx <= 1; dx++) {
      if (!dx && !dz) continue;
      int j = hmap_index(x + dx, z + dz);
      float d = w[j].depth;
      if (d > b) {
        ws += hm[j] + d;
        wn++;
      } else if (d < -b) {
        ls += hm[j] - d;
        ln++;
      }
    }
  if (out.water == NO_FLUID && wn) out.water = std::fmin(ws / wn, g);
  if (out.lava == NO_FLUID && ln) out.lava = std::fmin(ls / ln, g);
  return out;
}

void window_origin(float cam_x, float cam_z, int& x0, int& z0) {
  x0 = int(std::lround(cam_x)) - 128;
  z0 = int(std::lround(cam_z)) - 128;
}

uint16_t float_to_half(float f) {
  uint32_t bits;
  memcpy(&bits, &f, 4);
  uint16_t sign = uint16_t((bits >> 16) & 0x8000);
  uint32_t mag = bits & 0x7FFFFFFF;
  if (mag > 0x7F800000) return 0; // NaN: a height the shaders can use
  if (mag > 0x477FEFFF) return sign | 0x7BFF; // rounds beyond 65504: saturate
  if (mag < 0x38800000) { // below the smallest normal half: denormal
    if (mag < 0x33000000) return sign; // rounds to zero
    uint32_t m = (mag & 0x7FFFFF) | 0x800000;
    int shift = 126 - int(mag >> 23); // 14..24
    uint32_t r = m >> shift, rem = m & ((1u << shift) - 1), half = 1u << (shift - 1);
    if (rem > half || (rem == half && (r & 1))) r++;
    return sign | uint16_t(r);
  }
  uint32_t e = (mag >> 23) - 112, m = mag & 0x7FFFFF;
  uint32_t r = (e << 10) | (m >> 13), rem = m & 0x1FFF;
  if (rem > 0x1000 || (rem == 0x1000 && (r & 1))) r++;
  return sign | uint16_t(r);
}

int sun_shadow_params(const Vec4f& s, float& dx, float& dz, float& hi, float& lo) {
  const float k = SKY_CONE_COS;
  float beta = std::acos(k), w = std::tan(beta);
  dx = dz = hi = lo = 0;
  if (std::fabs(s.y) >= std::cos(beta * 0.5f)) return 0;
  float hl = std::sqrt(s.x * s.x + s.z * s.z);
  dx = s.x / hl;
  dz = s.z / hl;
  float o = s.y / hl, m = std::sqrt(1 - k * k) / k;
  lo = (o - m) / (o * m + 1);
  hi = (o + m) / (1 - o * m);
  if (lo < SKY_MIN_SLOPE) lo = SKY_MIN_SLOPE;
  if (hi < SKY_MIN_SLOPE) hi = SKY_MIN_SLOPE;
  if (hi - lo <= 0.001f) return 1;
  float a = (hi - lo) / (hi * lo + 1);
  if (a > w) {
    a = (a - w) / (a * w + 1);
    a = a / (std::sqrt(a * a + 1) + 1);
    hi = (hi - a) / (a * hi + 1);
    lo = (a + lo) / (1 - a * lo);
  }
  return 2;
}

// Squared half-cell distance of window quad (col, row) from the centre.
static inline bool in_circle(int col, int row) {
  int a = 2 * col - 255, b = 2 * row - 255;
  return a * a + b * b <= 67600;
}

int build_fluid_quads(const float* lv, uint16_t* out, const uint8_t* blocks) {
  int n = 0;
  for (int row = 0; row < 255; row++)
    for (int col = 0; col < 255; col++) {
      if (!in_circle(col, row)) continue;
      if (blocks && !blocks[(row / 15) * 17 + col / 15]) continue;
      int w = row * 256 + col;
      if (lv[w] == NO_FLUID || lv[w + 1] == NO_FLUID || lv[w + 256] == NO_FLUID || lv[w + 257] == NO_FLUID)
        continue;
      uint16_t* p = out + 6 * n++;
      p[0] = uint16_t(w), p[1] = uint16_t(w + 256), p[2] = uint16_t(w + 1);
      p[3] = uint16_t(w + 1), p[4] = uint16_t(w + 256), p[5] = uint16_t(w + 257);
    }
  return n;
}

bool quad_in_far_grid(int col, int row) {
  if (col >= 255 || row >= 255 || !in_circle(col, row)) return false;
  return !(col >= 95 && col <= 158 && row >= 95 && row <= 158);
}

// {===== The per-step fluid update

void update_fluid_levels_cpu(CpuState& s, float dt) {
  ASSERT(s.levels && "the renderer grids must be allocated first");
  s.new_slot ^= 1;
  s.flow_cur ^= 1;
  const bool hq = gfx_quality == 1;
  const float b = hq ? 0.01f : 0.1f;
  const float* hm = HeightmapData::hmap;
  const Water* w = HeightmapData::waterCells();
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) s.levels[hmap_index(x, z)][s.new_slot] = cell_fluid_level(hm, w, x, z, b);

  if (hq && s.flow[0] && s.flow[1]) {
    const FlowPair* prev = s.flow[s.flow_cur ^ 1];
    FlowPair* cur = s.flow[s.flow_cur];
    for (int z = 0; z < HMAP_SIZE; z++)
      for (int x = 0; x < HMAP_SIZE; x++) {
        int i = hmap_index(x, z);
        float sx = x - (w[hmap_index(x - 1, z)].flow_x + w[i].flow_x) * dt;
        float sz = z - (w[hmap_index(x, z - 1)].flow_z + w[i].flow_z) * dt;
        int ix = int(std::floor(sx)), iz = int(std::floor(sz));
        float fx = sx - ix, fz = sz - iz;
        const FlowPair &a = prev[hmap_index(ix, iz)], &bq = prev[hmap_index(ix + 1, iz)],
                       &c = prev[hmap_index(ix, iz + 1)], &d = prev[hmap_index(ix + 1, iz + 1)];
        // Bilinear on each coordinate; the pairs carry unwrapped values, so a
        // neighbour across a reset seam blends two fields for one step only.
        auto lerp2 = [&](float pa, float pb, float pc, float pd) {
          return (pa + (pb - pa) * fx) * (1 - fz) + (pc + (pd - pc) * fx) * fz;
        };
        cur[i] = FlowPair{lerp2(a.u0, bq.u0, c.u0, d.u0), lerp2(a.v0, bq.v0, c.v0, d.v0),
                          lerp2(a.u1, bq.u1, c.u1, d.u1), lerp2(a.v1, bq.v1, c.v1, d.v1)};
      }
    s.phase = (s.phase + 1) % 40;
    if (s.phase == 20 || s.phase == 0) reset_flow_pairs(s, s.phase == 20 ? 0 : 1);
  }
  s.terrain_changed = true;
}

void reset_flow_pairs(CpuState& s, int which) {
  float r = 6.2831853f * game_rnd_frnd();
  float ou = 256.0f * game_rnd_frnd(), ov = 256.0f * game_rnd_frnd();
  float cr = std::cos(r), sr = std::sin(r);
  int cx = int(std::lround(s.cam_x)) - 128, cz = int(std::lround(s.cam_z)) - 128;
  FlowPair* cur = s.flow[s.flow_cur];
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      // Window coordinates keep the pattern continuous around the camera.
      int i = ((x - cx) % 256 + 256) % 256, j = ((z - cz) % 256 + 256) % 256;
      float u = i * cr - j * sr + ou, v = i * sr + j * cr + ov;
      FlowPair& p = cur[hmap_index(x, z)];
      if (which == 0) {
        p.u0 = u;
        p.v0 = v;
      } else {
        p.u1 = u;
        p.v1 = v;
      }
    }
}

void reset_fluid_levels_cpu(CpuState& s) {
  if (s.levels)
    for (int i = 0; i < HMAP_CELLS; i++) s.levels[i][0] = s.levels[i][1] = FluidLevel{NO_FLUID, NO_FLUID};
  s.new_slot = 0;
  s.terrain_changed = true;
}

void init_flow_pairs(CpuState& s) {
  for (int f = 0; f < 2; f++)
    if (s.flow[f])
      for (int z = 0; z < HMAP_SIZE; z++)
        for (int x = 0; x < HMAP_SIZE; x++) s.flow[f][hmap_index(x, z)] = FlowPair{float(x), float(z), float(z), float(x)};
  s.phase = 0;
}

void bind_cpu_grids(CpuState& s) {
  s.levels = (FluidSlots*)HeightmapData::render_grid[0];
  float* g1 = (float*)HeightmapData::render_grid[1];
  s.curh = g1;
  s.blend_water = g1 ? g1 + HMAP_CELLS : nullptr;
  s.blend_lava = g1 ? g1 + 2 * HMAP_CELLS : nullptr;
  s.flow[0] = (FlowPair*)HeightmapData::render_grid[2];
  s.flow[1] = (FlowPair*)HeightmapData::render_grid[3];
}

} // namespace HeightmapRenderer
