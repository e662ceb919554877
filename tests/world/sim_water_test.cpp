// The fluid step: dry land stays dry, shallow water spreads and evaporates at
// its rate, very shallow water vanishes, lava hardens, creeps only above its
// yield thickness and turns to rock where it meets water, blocked faces foam,
// and water is conserved apart from evaporation.
#include <cmath>
#include <cstring>
#include <algorithm>
#include <vector>

#include "core/app_globals.h"
#include "core/stats_tracker.h"
#include "world/hmGen.h"
#include "world/water_sim.h"
#include "world/water_sim_local.h"
#include "world/world_math.h"
#include "world_test_util.h"

using namespace HeightmapData;

namespace {

constexpr float DT = 0.05f;

Water& cell(int x, int z) { return water[z & 255][x & 255]; }
float& land(int x, int z) { return hmap[hmap_index(x, z)]; }

void set_flat_land(float h) {
  for (int i = 0; i < HMAP_CELLS; i++) hmap[i] = target_hmap[i] = h;
}

double total_water() {
  double s = 0;
  for (int i = 0; i < HMAP_CELLS; i++) s += waterCells()[i].depth;
  return s;
}

// What one step evaporates from the current state: all of water below 0.01,
// 3 % per second of water below 0.5 (through the step's float damping factor).
double expected_evaporation(float dt) {
  double keep = 1.0f - fluid::WATER_DAMPING * dt;
  double loss = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float f = waterCells()[i].depth;
    if (f <= 0.0f || f >= fluid::SHALLOW) continue;
    loss += f < fluid::VANISH ? f : f * (1.0 - keep);
  }
  return loss;
}

// Channel-wise comparison of packed colours within one step of rounding.
void expect_color_near(uint32_t got, uint32_t want) {
  for (int shift = 0; shift < 32; shift += 8) {
    int g = (got >> shift) & 255, w = (want >> shift) & 255;
    EXPECT_LE(std::abs(g - w), 1) << "channel at bit " << shift << ": got 0x" << std::hex << got
                                  << ", want 0x" << want;
  }
}

// lerp of a packed ARGB colour toward an (r, g, b, a) float colour.
uint32_t lerp_color(uint32_t c, const float to[4], float k) {
  auto ch = [&](int shift, float target) {
    float v = ((c >> shift) & 255) / 255.0f;
    v += (target - v) * k;
    return (uint32_t)std::lround(std::fmin(std::fmax(v, 0.0f), 1.0f) * 255.0f) << shift;
  };
  return ch(24, to[3]) | ch(16, to[0]) | ch(8, to[1]) | ch(0, to[2]);
}

struct SteamLog {
  static inline int calls = 0;
  static inline int x = -1, z = -1;
  static inline float height = 0, amount = 0;
  static void record(int cx, int cz, float h, float a) {
    calls++;
    x = cx;
    z = cz;
    height = h;
    amount = a;
  }
};

class FluidTest : public WorldTest {
protected:
  void SetUp() override {
    WorldTest::SetUp();
    saved_quality = gfx_quality;
    SteamLog::calls = 0;
    water_vapor_fx_hook = &SteamLog::record;
  }
  void TearDown() override {
    gfx_quality = saved_quality;
    water_vapor_fx_hook = nullptr;
  }
  int saved_quality = 0;
};

} // namespace

TEST_F(FluidTest, DryWorldStaysDry) {
  addSimplexNoise(0, 30, 4, 4, 0.5f);
  uint64_t land_before = hash_bytes(hmap, HMAP_CELLS * sizeof(float));
  uint64_t surface_before = world_hash();
  for (int step = 0; step < 10; step++) simWater(DT);
  EXPECT_EQ(hash_bytes(hmap, HMAP_CELLS * sizeof(float)), land_before);
  EXPECT_EQ(world_hash(), surface_before);
  for (int i = 0; i < HMAP_CELLS; i++) {
    const Water& w = waterCells()[i];
    ASSERT_EQ(w.depth, 0.0f) << "cell " << i;
    ASSERT_EQ(w.flow_x, 0.0f) << "cell " << i;
    ASSERT_EQ(w.flow_z, 0.0f) << "cell " << i;
  }
}

TEST_F(FluidTest, ShallowCellSpreadsToItsNeighboursAndEvaporates) {
  set_flat_land(2.0f);
  cell(100, 100).depth = 0.3f;
  simWater(DT);
  // Every face carries (0.3 * 10 * dt) = 0.15 outward; 4 dt of the total
  // speed (0.12) leaves, split evenly.
  const float kept = 0.3f * (1.0f - 0.03f * DT);
  EXPECT_NEAR(cell(101, 100).depth, 0.03f, 1e-6f);
  EXPECT_NEAR(cell(99, 100).depth, 0.03f, 1e-6f);
  EXPECT_NEAR(cell(100, 101).depth, 0.03f, 1e-6f);
  EXPECT_NEAR(cell(100, 99).depth, 0.03f, 1e-6f);
  EXPECT_NEAR(cell(100, 100).depth, kept - 0.12f, 1e-6f);
  EXPECT_EQ(cell(101, 101).depth, 0.0f);
  EXPECT_NEAR(total_water(), kept, 1e-6);
  EXPECT_GT(cell(100, 100).flow_x, 0.0f);
  EXPECT_LT(cell(99, 100).flow_x, 0.0f);

  for (int step = 0; step < 30; step++) {
    double before = total_water();
    double loss = expected_evaporation(DT);
    simWater(DT);
    ASSERT_NEAR(total_water(), before - loss, 1e-6) << "step " << step;
  }
}

TEST_F(FluidTest, ShallowSheetLosesThreePercentPerSecond) {
  set_flat_land(0.0f);
  for (int i = 0; i < HMAP_CELLS; i++) waterCells()[i].depth = 0.3f;
  for (int step = 0; step < 20; step++) simWater(DT);
  float expected = 0.3f * powf(1.0f - 0.03f * DT, 20);
  EXPECT_NEAR(cell(0, 0).depth, expected, 1e-6f);
  EXPECT_NEAR(cell(77, 201).depth, expected, 1e-6f);
  EXPECT_NEAR(expected / 0.3f, 0.97f, 0.0005f);
  // Deep water does not evaporate.
  for (int i = 0; i < HMAP_CELLS; i++) waterCells()[i].depth = 0.6f;
  simWater(DT);
  EXPECT_EQ(cell(5, 5).depth, 0.6f);
}

TEST_F(FluidTest, VeryShallowWaterVanishesInOneStep) {
  set_flat_land(1.0f);
  cell(30, 40).depth = 0.005f;
  simWater(DT);
  EXPECT_EQ(total_water(), 0.0);
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_EQ(waterCells()[i].depth, 0.0f);
}

TEST_F(FluidTest, ThinLavaHardensCompletelyAndDarkens) {
  set_flat_land(1.0f);
  const uint32_t ground = 0xFF808080u, top = 0x00000000u;
  // The hardening moves the colours 20 % (100 x 0.002) toward the hardened
  // colours. The neighbours already hold that result, so the smoothing that
  // follows leaves it in place.
  uint32_t want_ground = lerp_color(ground, fluid::HARDENED_GROUND, 0.2f);
  uint32_t want_top = lerp_color(top, fluid::HARDENED_TOP, 0.2f);
  for (int i = 0; i < HMAP_CELLS; i++) {
    surface[i].color = want_ground;
    surface[i].top_color = want_top;
  }
  Surface& s = surface[hmap_index(50, 60)];
  s.color = ground;
  s.top_color = top;
  cell(50, 60).depth = -0.002f;

  simWater(DT);
  EXPECT_EQ(cell(50, 60).depth, 0.0f);
  EXPECT_NEAR(land(50, 60), 1.002f, 1e-6f);
  EXPECT_NEAR(target_hmap[hmap_index(50, 60)], 1.002f, 1e-6f);
  expect_color_near(s.color, want_ground);
  expect_color_near(s.top_color, want_top);
  EXPECT_EQ(s.cover, (unsigned)ST_NONE); // 0.002 at once is too little for ash
  EXPECT_EQ(land(51, 60), 1.0f);
  EXPECT_EQ(cell(51, 60).depth, 0.0f);
}

TEST_F(FluidTest, LavaSmoothsColoursOfItsNeighbourhood) {
  set_flat_land(0.0f);
  // A lava cell whose own colours already are the hardened ones, among
  // white neighbours: the neighbours darken 3 % toward the mean, the cell
  // lightens 10 % toward it.
  for (int i = 0; i < HMAP_CELLS; i++) surface[i].color = 0xFFFFFFFFu;
  uint32_t dark = lerp_color(0u, fluid::HARDENED_GROUND, 1.0f);
  surface[hmap_index(20, 20)].color = dark;
  cell(20, 20).depth = -0.001f;
  simWater(DT);
  uint32_t after = surface[hmap_index(20, 20)].color;
  EXPECT_GT(after & 255, dark & 255);
  uint32_t nb = surface[hmap_index(21, 20)].color;
  EXPECT_LT(nb & 255, 255u);
  EXPECT_GT(nb & 255, 240u);
  EXPECT_EQ(surface[hmap_index(22, 20)].color, 0xFFFFFFFFu);
}

TEST_F(FluidTest, ThickLavaHardensAtItsRateAndLeavesAsh) {
  set_flat_land(0.0f);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) cell(x, z).depth = -4.0f;
  simWater(DT);
  // 5 % per second of 4: 0.01 per step, a full colour weight.
  EXPECT_NEAR(land(9, 9), 0.01f, 1e-6f);
  EXPECT_NEAR(cell(9, 9).depth, -3.99f, 1e-5f);
  EXPECT_EQ(surface[hmap_index(9, 9)].cover, (unsigned)ST_ASH);
}

TEST_F(FluidTest, LavaBelowTheYieldThicknessStaysPut) {
  // A steep slope falling toward +x; lava of 0.04 is thinner than the
  // flowing threshold whatever the cell's stiffness.
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) land(x, z) = target_hmap[hmap_index(x, z)] = 100.0f - x * 0.5f;
  cell(100, 50).depth = -0.04f;
  float f = 0.04f;
  for (int step = 0; step < 10; step++) {
    simWater(DT);
    f -= f * (fluid::LAVA_HARDEN_RATE * DT);
  }
  EXPECT_NEAR(cell(100, 50).depth, -f, 1e-6f);
  EXPECT_NEAR(land(100, 50), 50.0f + (0.04f - f), 1e-5f);
  EXPECT_EQ(cell(101, 50).depth, 0.0f);
  EXPECT_EQ(cell(99, 50).depth, 0.0f);
  EXPECT_EQ(cell(100, 51).depth, 0.0f);
  EXPECT_EQ(cell(100, 49).depth, 0.0f);
  EXPECT_EQ(cell(100, 50).flow_x, 0.0f);
  EXPECT_EQ(cell(99, 50).flow_x, 0.0f);
}

TEST_F(FluidTest, ThickLavaRunsDownhill) {
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) land(x, z) = target_hmap[hmap_index(x, z)] = 100.0f - x * 0.5f;
  cell(100, 50).depth = -1.0f;
  for (int step = 0; step < 10; step++) simWater(DT);
  EXPECT_LT(cell(101, 50).depth, 0.0f);       // downhill: lava arrived
  EXPECT_EQ(cell(98, 50).depth, 0.0f);        // uphill: none
  EXPECT_GT(cell(100, 50).depth, -1.0f);
}

TEST_F(FluidTest, WaterPouredOnLavaBecomesRock) {
  gfx_quality = 1;
  set_flat_land(3.0f);
  cell(10, 10).depth = -0.1f;
  fluid::add_water(10, 10, 0.04f);
  EXPECT_NEAR(cell(10, 10).depth, -0.06f, 1e-7f);
  EXPECT_NEAR(land(10, 10), 3.04f, 1e-6f);
  EXPECT_NEAR(target_hmap[hmap_index(10, 10)], 3.04f, 1e-6f);
  ASSERT_EQ(SteamLog::calls, 1);
  EXPECT_EQ(SteamLog::x, 10);
  EXPECT_EQ(SteamLog::z, 10);
  EXPECT_NEAR(SteamLog::height, 3.1f, 1e-5f);
  EXPECT_NEAR(SteamLog::amount, 0.04f, 1e-7f);

  // More water than lava: all the lava hardens, the rest stays water.
  cell(11, 10).depth = -0.02f;
  fluid::add_water(11, 10, 0.05f);
  EXPECT_NEAR(cell(11, 10).depth, 0.03f, 1e-7f);
  EXPECT_NEAR(land(11, 10), 3.02f, 1e-6f);

  // Lava poured on water: the water is used up, the cell stops flowing.
  cell(12, 10).depth = 0.05f;
  cell(12, 10).flow_x = 1.0f;
  cell(12, 10).flow_z = -1.0f;
  fluid::add_lava(12, 10, 0.08f);
  EXPECT_NEAR(cell(12, 10).depth, -0.03f, 1e-7f);
  EXPECT_NEAR(land(12, 10), 3.05f, 1e-6f);
  EXPECT_EQ(cell(12, 10).flow_x, 0.0f);
  EXPECT_EQ(cell(12, 10).flow_z, 0.0f);
  EXPECT_EQ(SteamLog::calls, 3);

  // Low quality: rock, but no steam.
  gfx_quality = 0;
  cell(13, 10).depth = -0.1f;
  fluid::add_water(13, 10, 0.04f);
  EXPECT_NEAR(land(13, 10), 3.04f, 1e-6f);
  EXPECT_EQ(SteamLog::calls, 3);
}

TEST_F(FluidTest, WaterFlowingIntoLavaMakesRockOneForOne) {
  gfx_quality = 1;
  set_flat_land(0.0f);
  // 0.04 of lava can never flow (its effective thickness stays below 0.05).
  cell(40, 40).depth = 0.3f;
  cell(41, 40).depth = -0.04f;
  simWater(DT);
  float rise = land(41, 40);
  float own_hardening = 0.04f * fluid::LAVA_HARDEN_RATE * DT;
  float received = rise - own_hardening;
  EXPECT_GT(received, 0.005f);
  // The lava lost exactly what became rock, water and lava one for one.
  EXPECT_NEAR(cell(41, 40).depth, -0.04f + rise, 1e-6f);
  double water_left = 0;
  for (int i = 0; i < HMAP_CELLS; i++)
    if (waterCells()[i].depth > 0) water_left += waterCells()[i].depth;
  EXPECT_NEAR(water_left, 0.3 * (1.0 - 0.03 * DT) - received, 1e-6);
  EXPECT_EQ(SteamLog::calls, 1);
  EXPECT_EQ(SteamLog::x, 41);
  EXPECT_NEAR(SteamLog::amount, received, 1e-6f);
}

TEST_F(FluidTest, BlockedFaceAddsFoamAndCarriesNothing) {
  // A channel of water along z at x = 10, between dry banks slightly above
  // its surface: both x faces are blocked, the z faces are level.
  set_flat_land(0.3001f);
  for (int z = 0; z < HMAP_SIZE; z++) {
    land(10, z) = target_hmap[hmap_index(10, z)] = 0.0f;
    cell(10, z).depth = 0.3f;
  }
  simWater(DT);
  EXPECT_EQ(cell(10, 7).flow_x, 0.0f);
  EXPECT_EQ(cell(9, 7).flow_x, 0.0f);
  EXPECT_NEAR(cell(10, 7).foam, 0.01f, 1e-6f);
  EXPECT_EQ(cell(11, 7).depth, 0.0f);
  EXPECT_EQ(cell(9, 7).depth, 0.0f);
  EXPECT_NEAR(cell(10, 7).depth, 0.3f * (1.0f - 0.03f * DT), 1e-6f);
}

TEST_F(FluidTest, WaterIsConservedOnClosedGroundApartFromEvaporation) {
  set_flat_land(5.0f);
  for (int z = 60; z < 90; z++)
    for (int x = 60; x < 90; x++) cell(x, z).depth = 1.0f;
  for (int z = 70; z < 75; z++)
    for (int x = 70; x < 75; x++) cell(x, z).depth = 3.0f;
  double evaporated = 0;
  double start = total_water();
  for (int step = 0; step < 200; step++) {
    double before = total_water();
    double loss = expected_evaporation(DT);
    simWater(DT);
    evaporated += loss;
    ASSERT_NEAR(total_water(), before - loss, 2e-5) << "step " << step;
  }
  EXPECT_NEAR(total_water(), start - evaporated, 1e-3);
  EXPECT_GT(evaporated, 0.0); // it did spread into shallow water
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_GT(waterCells()[i].depth, -1e-6f);
  for (int i = 0; i < HMAP_CELLS; i++) ASSERT_EQ(hmap[i], 5.0f);
}

TEST_F(FluidTest, StepSwapsTheBuffersAndAddWaterEverywhereIsSigned) {
  WaterRow* a = water;
  WaterRow* b = tmpw;
  simWater(DT);
  EXPECT_EQ(water, b);
  EXPECT_EQ(tmpw, a);
  cell(3, 3).depth = -0.5f;
  cell(4, 3).depth = 0.25f;
  addWaterEverywhere(0.125f);
  EXPECT_EQ(cell(3, 3).depth, -0.375f);
  EXPECT_EQ(cell(4, 3).depth, 0.375f);
  EXPECT_EQ(cell(5, 3).depth, 0.125f);
}

TEST_F(FluidTest, StepIsTimedUnderFluidSim) {
  simWater(DT);
  bool found = false;
  for (int i = 0; i < update_stats_tracker_count(); i++)
    if (!strcmp(get_update_stats_tracker(i)->name, "fluid sim")) found = true;
  EXPECT_TRUE(found);
}

// {===== The velocity pass against a plain per-cell statement of its rules

namespace {

struct RefFace {
  float flow;
  float h; // pressure term after the lava yield
  bool blocked;
};

// One face between cell (x, z) (signed depth d0, land h0) and its +
// neighbour (d1, h1): m is the advected velocity, h the pressure term.
RefFace ref_face(float dt, float m, float h, float d0, float d1, float h0, float h1, int x, int z) {
  float wd = 1.0f - 0.03f * dt, ld = 1.0f - 0.3f * dt;
  float a;
  if (d0 + d1 < 0.0f) {
    if (h < -dt)
      h += dt;
    else if (h > dt)
      h -= dt;
    else
      h = 0.0f;
    float t = fluid::lava_stiffness(x, z) * -(std::min(d1, 0.0f) + std::min(d0, 0.0f));
    if (t < 0.05f) {
      a = 0.0f;
    } else {
      a = m * ld + 0.3f * h;
      if (t < 0.2f) a *= (t - 0.05f) * 6.6666665f;
    }
  } else {
    a = m * wd + h;
  }
  float D0 = fabsf(d0), D1 = fabsf(d1);
  float g = std::min(D1, D1 + h1 - h0);
  bool blocked = (a >= 0.0f && std::min(D0, h0 + D0 - h1) <= 0.0f) || (a < 0.0f && g <= 0.0f);
  return {blocked ? 0.0f : a, h, blocked};
}

// Bilinear (flow_x, flow_z, foam) of a record grid at a point, floor by the
// world's rule.
void ref_sample(const std::vector<Water>& g, float px, float pz, float out[4]) {
  int ix = floor_to_int(px), iz = floor_to_int(pz);
  float fx = px - (float)ix, fz = pz - (float)iz;
  const Water* r[4] = {&g[hmap_index(ix, iz)], &g[hmap_index(ix + 1, iz)], &g[hmap_index(ix, iz + 1)],
                       &g[hmap_index(ix + 1, iz + 1)]};
  for (int f = 0; f < 4; f++) {
    auto v = [&](int k) { return (&r[k]->depth)[f]; };
    float top = v(0) + (v(1) - v(0)) * fx;
    float bot = v(2) + (v(3) - v(2)) * fx;
    out[f] = top + (bot - top) * fz;
  }
}

void expect_pass1_matches_reference(float dt) {
  std::vector<Water> old(waterCells(), waterCells() + HMAP_CELLS);
  auto W = [&](int x, int z) -> const Water& { return old[hmap_index(x, z)]; };
  auto H = [&](int x, int z) { return land(x, z); };
  std::vector<Water> want(HMAP_CELLS);
  float keep = std::max(0.0f, 1.0f - 5.0f * dt) * 0.125f;
  for (int z = 0; z < 256; z++)
    for (int x = 0; x < 256; x++) {
      const Water& c = W(x, z);
      float S0 = H(x, z) + fabsf(c.depth);
      float vz = 0.25f * (c.flow_z + W(x + 1, z).flow_z + W(x, z - 1).flow_z + W(x + 1, z - 1).flow_z);
      float sx[4], sz[4];
      ref_sample(old, (float)x - c.flow_x * dt, (float)z - vz * dt, sx);
      float h = (S0 - H(x + 1, z) - fabsf(W(x + 1, z).depth)) * (10.0f * dt);
      RefFace fa = ref_face(dt, sx[1], h, c.depth, W(x + 1, z).depth, H(x, z), H(x + 1, z), x, z);
      float ux = 0.25f * (c.flow_x + W(x - 1, z).flow_x + W(x, z + 1).flow_x + W(x - 1, z + 1).flow_x);
      ref_sample(old, (float)x - ux * dt, (float)z - c.flow_z * dt, sz);
      float C = (S0 - H(x, z + 1) - fabsf(W(x, z + 1).depth)) * (10.0f * dt);
      RefFace fb = ref_face(dt, sz[2], C, c.depth, W(x, z + 1).depth, H(x, z), H(x, z + 1), x, z);
      float spread = 2.0f * (sx[3] + sz[3]) + W(x, z + 1).foam + W(x - 1, z).foam + W(x + 1, z).foam +
                     W(x, z - 1).foam;
      float foam = 3.2f * (fa.h * fa.h + fb.h * fb.h) + 0.01f * (float)(fa.blocked + fb.blocked) + spread * keep;
      want[hmap_index(x, z)] = Water{c.depth, fa.flow, fb.flow, std::min(1.0f, foam)};
    }
  simWater(dt);
  for (int i = 0; i < HMAP_CELLS; i++) {
    const Water& got = waterCells()[i];
    ASSERT_EQ(got.flow_x, want[i].flow_x) << "cell " << (i & 255) << ", " << (i >> 8);
    ASSERT_EQ(got.flow_z, want[i].flow_z) << "cell " << (i & 255) << ", " << (i >> 8);
    ASSERT_EQ(got.foam, want[i].foam) << "cell " << (i & 255) << ", " << (i >> 8);
  }
}

// Random land, fluid of one kind (sign) with random velocities and foam,
// and dry patches.
void make_random_fluid(float sign) {
  addSimplexNoise(0, 6, 4, 3, 0.5f);
  for (int i = 0; i < HMAP_CELLS; i++) {
    Water& w = waterCells()[i];
    float r = game_rnd_frnd();
    w.depth = r < 0.3f ? 0.0f : sign * 2.0f * game_rnd_frnd();
    w.flow_x = game_rnd_srnd() * 6.0f;
    w.flow_z = game_rnd_srnd() * 6.0f;
    w.foam = game_rnd_frnd();
  }
}

} // namespace

TEST_F(FluidTest, VelocityPassFollowsTheRulesForWater) {
  make_random_fluid(1.0f);
  expect_pass1_matches_reference(DT);
  expect_pass1_matches_reference(DT); // and again from the state the step produced
}

TEST_F(FluidTest, VelocityPassFollowsTheRulesForLava) {
  make_random_fluid(-1.0f);
  expect_pass1_matches_reference(DT);
  expect_pass1_matches_reference(0.3f);
}

// {===== Nothing appears from nothing where water and lava meet

namespace {

struct FluidTotals {
  double lava_and_land = 0; // lava only ever turns into land, one for one
  double water = 0;         // water only evaporates or turns into rock
};

FluidTotals fluid_totals() {
  FluidTotals t;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float d = waterCells()[i].depth;
    t.lava_and_land += (double)hmap[i] + (d < 0 ? -(double)d : 0.0);
    if (d > 0) t.water += d;
  }
  return t;
}

// Steps `steps` times and fails on the first step in which either total grew
// by more than float rounding.
void expect_no_fluid_from_nothing(int steps, float dt) {
  for (int step = 0; step < steps; step++) {
    FluidTotals before = fluid_totals();
    simWater(dt);
    FluidTotals after = fluid_totals();
    ASSERT_LE(after.lava_and_land, before.lava_and_land + 1e-4) << "lava plus land grew in step " << step;
    ASSERT_LE(after.water, before.water + 1e-4) << "water grew in step " << step;
  }
}

} // namespace

TEST_F(FluidTest, LavaBesideWaterCreatesNeitherLavaNorWater) {
  // Deep lava and deep water side by side on flat land, each on both sides
  // of the other in row order, so that cells change kind within a step
  // before their own turn comes.
  set_flat_land(0.0f);
  for (int z = 100; z < 110; z++) {
    for (int x = 100; x < 105; x++) cell(x, z).depth = -1.5f;
    for (int x = 105; x < 110; x++) cell(x, z).depth = 1.5f;
    for (int x = 110; x < 115; x++) cell(x, z).depth = -1.5f;
  }
  for (int x = 100; x < 115; x++) cell(x, 110).depth = 1.5f; // and along z
  expect_no_fluid_from_nothing(10, DT);
  expect_no_fluid_from_nothing(5, 0.3f);
}

TEST_F(FluidTest, MixedFluidOnRoughLandCreatesNeitherLavaNorWater) {
  addSimplexNoise(0, 2, 4, 3, 0.5f);
  for (int i = 0; i < HMAP_CELLS; i++) {
    float r = game_rnd_frnd();
    waterCells()[i].depth = r < 0.2f ? 0.0f : (r < 0.6f ? -1.0f : 1.0f) * 1.5f * game_rnd_frnd();
  }
  expect_no_fluid_from_nothing(10, DT);
}
