// The terrain renderer's, sky's and shadow maps' rules that need no device:
// the wrap window, fluid thresholds and blending, half floats, the sun
// shadow bounds, the sky's lighting direction, the cascade and top-down
// geometry, and the world map's water quads.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "render/hmRender.h"
#include "render/shadow_maps.h"
#include "render/sky.h"

namespace {

using namespace HeightmapRenderer;
using HeightmapData::Water;

constexpr float DEG = 3.14159265f / 180.0f;

struct Grids {
  std::vector<float> h = std::vector<float>(HMAP_CELLS, 0.0f);
  std::vector<Water> w = std::vector<Water>(HMAP_CELLS, Water{0, 0, 0, 0});
  void set(int x, int z, float ground, float depth) {
    h[hmap_index(x, z)] = ground;
    w[hmap_index(x, z)].depth = depth;
  }
};

TEST(TerrainRules, WindowForACameraNearTheCornerLeavesTheGridButReadsWrapped) {
  int x0 = 0, z0 = 0;
  window_origin(3.2f, 249.8f, x0, z0);
  EXPECT_EQ(x0, -125);
  EXPECT_EQ(z0, 122);
  // The far corner of the 256 x 256 window.
  EXPECT_EQ(x0 + 255, 130);
  EXPECT_EQ(z0 + 255, 377);
  // Vertex coordinates stay unwrapped; their grid reads wrap.
  EXPECT_EQ(hmap_index(x0, z0), hmap_index(131, 122));
  EXPECT_EQ(hmap_index(130, 377), hmap_index(130, 121));
}

TEST(TerrainRules, ShallowWaterHasItsOwnLevelOnlyAtHighQuality) {
  Grids g;
  g.set(10, 10, 2.0f, 0.05f);
  // Low quality (threshold 0.1): no neighbour has water either, so none.
  EXPECT_EQ(cell_fluid_level(g.h.data(), g.w.data(), 10, 10, 0.1f).water, NO_FLUID);
  // High quality (0.01): its own surface.
  EXPECT_FLOAT_EQ(cell_fluid_level(g.h.data(), g.w.data(), 10, 10, 0.01f).water, 2.05f);
  // A deeper neighbour gives the shallow cell a level at low quality, capped at its ground.
  g.set(11, 10, 1.0f, 0.5f);
  EXPECT_FLOAT_EQ(cell_fluid_level(g.h.data(), g.w.data(), 10, 10, 0.1f).water, 1.5f);
}

TEST(TerrainRules, DryCellTakesTheNeighboursAverageButNeverRisesAboveItsGround) {
  Grids g;
  for (int dz = -1; dz <= 1; dz++)
    for (int dx = -1; dx <= 1; dx++) g.set(255 + dx, dz, 1.0f, 1.0f + 0.25f * (dx + 1)); // wraps at x = 0
  g.set(255, 0, 3.0f, 0.0f);
  FluidLevel l = cell_fluid_level(g.h.data(), g.w.data(), 255, 0, 0.1f);
  EXPECT_FLOAT_EQ(l.water, 2.25f); // mean of the eight surfaces 2.0, 2.25, 2.5
  EXPECT_EQ(l.lava, NO_FLUID);
  g.set(255, 0, 1.5f, 0.0f);
  EXPECT_FLOAT_EQ(cell_fluid_level(g.h.data(), g.w.data(), 255, 0, 0.1f).water, 1.5f);
  // Lava works the same way with negative depths.
  g.set(255, 0, 9.0f, -2.0f);
  EXPECT_FLOAT_EQ(cell_fluid_level(g.h.data(), g.w.data(), 255, 0, 0.1f).lava, 11.0f);
}

TEST(TerrainRules, FluidLevelsBlendAndJumpWhenFluidAppearsOrGoes) {
  EXPECT_FLOAT_EQ(blend_fluid_level(2.0f, 4.0f, 0.25f), 2.5f);
  EXPECT_FLOAT_EQ(blend_fluid_level(NO_FLUID, 4.0f, 0.0f), 4.0f);
  EXPECT_FLOAT_EQ(blend_fluid_level(3.0f, NO_FLUID, 0.9f), 3.0f);
  EXPECT_EQ(blend_fluid_level(NO_FLUID, NO_FLUID, 0.5f), NO_FLUID);
}

TEST(TerrainRules, HalfFloatsRoundToEvenAndSaturateInsteadOfTurningNaN) {
  EXPECT_EQ(float_to_half(1.0f), 0x3C00);
  EXPECT_EQ(float_to_half(-2.0f), 0xC000);
  EXPECT_EQ(float_to_half(65504.0f), 0x7BFF);
  EXPECT_EQ(float_to_half(1.0f + 1.0f / 2048), 0x3C00); // tie: rounds to the even mantissa
  EXPECT_EQ(float_to_half(1.0f + 3.0f / 2048), 0x3C02);
  EXPECT_EQ(float_to_half(65520.0f), 0x7BFF); // would round to infinity
  EXPECT_EQ(float_to_half(-1e9f), 0xFBFF);
  EXPECT_EQ(float_to_half(std::ldexp(1.0f, -24)), 0x0001); // smallest denormal
  EXPECT_EQ(float_to_half(std::ldexp(3.0f, -25)), 0x0002); // 1.5 units: to even
  EXPECT_EQ(float_to_half(std::ldexp(1.0f, -26)), 0x0000);
}

TEST(TerrainRules, SunShadowBoundsClearNearTheZenithAndNarrowWideCones) {
  float dx, dz, hi, lo;
  const float z5 = 5 * DEG;
  EXPECT_EQ(sun_shadow_params(Vec4f{std::sin(z5), std::cos(z5), 0, 0}, dx, dz, hi, lo), 0);
  // A sun deep below the horizon: both edges under the minimum slope.
  const float e = -40 * DEG;
  EXPECT_EQ(sun_shadow_params(Vec4f{0, std::sin(e), std::cos(e), 0}, dx, dz, hi, lo), 1);
  // At 30 degrees the cone's edges are at 10 and 50 degrees; wider than 20
  // degrees, it is narrowed to 20 round its middle.
  const float e30 = 30 * DEG;
  ASSERT_EQ(sun_shadow_params(Vec4f{std::cos(e30), std::sin(e30), 0, 0}, dx, dz, hi, lo), 2);
  EXPECT_FLOAT_EQ(dx, 1.0f);
  EXPECT_NEAR(dz, 0.0f, 1e-6f);
  EXPECT_NEAR(std::atan(hi) / DEG, 40.0f, 0.01f);
  EXPECT_NEAR(std::atan(lo) / DEG, 20.0f, 0.01f);
  // At 10 degrees the lower edge is first raised to the minimum slope
  // (-8.05 degrees), then the 38-degree cone is narrowed round its middle.
  const float e10 = 10 * DEG;
  ASSERT_EQ(sun_shadow_params(Vec4f{0, std::sin(e10), std::cos(e10), 0}, dx, dz, hi, lo), 2);
  EXPECT_NEAR(std::atan(hi) / DEG, 20.97f, 0.01f);
  EXPECT_NEAR(std::atan(lo) / DEG, 0.97f, 0.01f);
}

TEST(SkyRules, LowerEdgeRuleRaisesOnlyASunBelowTheMinimumElevation) {
  // The default sun, elevation about 18.4 degrees: untouched.
  Vec4f s{0, 1 / std::sqrt(10.0f), 3 / std::sqrt(10.0f), 0};
  Vec4f l = sky_lighting_direction(s);
  EXPECT_FLOAT_EQ(l.x, s.x);
  EXPECT_FLOAT_EQ(l.y, s.y);
  EXPECT_FLOAT_EQ(l.z, s.z);
  // -20 degrees: the lower edge at -40 lies 31.95 degrees under -8.05;
  // the light comes from half of that deficit higher.
  const float e = -20 * DEG;
  l = sky_lighting_direction(Vec4f{std::cos(e), std::sin(e), 0, 0});
  float min_elev = std::asin(-0.14f) / DEG;
  EXPECT_NEAR(std::asin(l.y) / DEG, -20.0f + 0.5f * (min_elev - -40.0f), 0.01f);
  EXPECT_NEAR(l.x * l.x + l.y * l.y + l.z * l.z, 1.0f, 1e-5f);
  EXPECT_NEAR(l.z, 0.0f, 1e-6f);
}

TEST(ShadowRules, AnAxisAlignedFootprintKeepsAngleZero) {
  // Looking straight down with the sun straight up: the slice's footprint is
  // a rectangle aligned with the light axes, so no rotation is strictly better.
  Matrix44 cam = {{{1, 0, 0, 0}, {0, 0, 1, 0}, {0, -1, 0, 0}, {50, 100, 50, 1}}};
  CascadeResult r = shadow_cascade(cam, 1.0f, 1.5f, 0, 16, Vec4f{0, 1, 0, 0}, 0, 0, 512, 512, 1024);
  EXPECT_EQ(r.angle_deg, 0);
  // A tilted view's footprint prefers a turned box.
  const float c = std::cos(0.6f), s = std::sin(0.6f);
  Matrix44 tilted = {{{c, 0, s, 0}, {0, 1, 0, 0}, {-s, 0, c, 0}, {0, 10, 0, 1}}};
  EXPECT_NE(shadow_cascade(tilted, 1.0f, 1.5f, 16, 32, Vec4f{0, 1, 0, 0}, 0, 0, 512, 512, 1024).angle_deg, 0);
}

TEST(ShadowRules, TopDownMapIsCentredOnTheRoundedCameraCell) {
  float cx, cz;
  Matrix44 view, light;
  shadow_topdown_view(Vec4f{10.3f, 5, 20.7f, 1}, 256, cx, cz, view, light);
  EXPECT_EQ(cx, 10.0f);
  EXPECT_EQ(cz, 21.0f);
  // The centre maps to the middle of the map (half a texel on).
  const float p[4] = {10, 3, 21, 1};
  float u = 0, v = 0;
  for (int k = 0; k < 4; k++) {
    u += p[k] * light.m[k][0];
    v += p[k] * light.m[k][1];
  }
  EXPECT_NEAR(u, 0.5f + 0.5f / 256, 1e-6f);
  EXPECT_NEAR(v, 0.5f + 0.5f / 256, 1e-6f);
  EXPECT_EQ(round_half_even(2.5f), 2.0f);
  EXPECT_EQ(round_half_even(3.5f), 4.0f);
}

TEST(WorldMapRules, WaterInTheLastRowsUsesTheSecondDrawAndDryWorldsDrawNone) {
  std::vector<Water> w(HMAP_CELLS, Water{0, 0, 0, 0});
  std::vector<uint16_t> idx(393216);
  int first = -1, second = -1;
  build_map_water_quads(w.data(), idx.data(), first, second);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  w[hmap_index(7, 255)].depth = 1.0f;
  build_map_water_quads(w.data(), idx.data(), first, second);
  // Cell (7, 255) touches the quads (6..7, 254..255); row 255's quads wrap to row 0 = 256.
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 4);
  // Row 255, column 7 relative to vertex 65,278: 257 + 7.
  bool found = false;
  for (int q = 0; q < second; q++)
    if (idx[6 * q] == 257 + 7) {
      found = true;
      EXPECT_EQ(idx[6 * q + 4], 257 + 7 + 258); // (w + 258): row 256, the wrapped row 0
    }
  EXPECT_TRUE(found);
  for (int q = 0; q < 6 * second; q++) EXPECT_LE(65278 + idx[q], 257 * 257 - 1);
}

TEST(TerrainRules, FluidQuadsNeedAllFourCornersInsideTheCircle) {
  std::vector<float> lv(HMAP_CELLS, NO_FLUID);
  std::vector<uint16_t> out(390150);
  EXPECT_EQ(build_fluid_quads(lv.data(), out.data()), 0);
  for (int r = 100; r <= 102; r++)
    for (int c = 100; c <= 102; c++) lv[r * 256 + c] = 1.0f;
  EXPECT_EQ(build_fluid_quads(lv.data(), out.data()), 4);
  EXPECT_EQ(out[0], 100 * 256 + 100);
  EXPECT_EQ(out[1], 101 * 256 + 100);
  EXPECT_EQ(out[2], 100 * 256 + 101);
  // Corners of the window lie outside the radius-130 circle.
  std::fill(lv.begin(), lv.end(), 1.0f);
  int all = build_fluid_quads(lv.data(), out.data());
  EXPECT_LT(all, 255 * 255);
  EXPECT_GT(all, 50000);
}

} // namespace
