// The common effects on a real device: the particle delay and life rule,
// the trail table (refusal when full, slot reuse, two-point trails, the
// world wrap of a new point), lightning bolts growing and withdrawing, and
// the effects script (every effect of "test/fx.nut", an unknown name, bad
// properties, ramps made inside an effect, reload). Instance and vertex data
// are read from the CPU fill functions the renderer uses.
#include <utime.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/log.h"
#include "core/platform.h"
#include "core/temp_dir.h"
#include "render/dynVBWriter.h"
#include "render/effects_local.h"
#include "render/gl_test_util.h"
#include "render/shader.h"
#include "render/texture.h"

namespace {

namespace fs = std::filesystem;

// A content folder with the shipped shaders, atlases and "test/fx.nut".
std::string make_fx_content_dir() {
  std::string dir = make_temp_dir("rh-fx");
  fs::path bin = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
  for (const auto& e : fs::directory_iterator(bin)) {
    std::string ext = e.path().extension().string();
    if (ext == ".sh" || ext == ".dds") fs::copy_file(e.path(), dir + e.path().filename().string());
  }
  fs::create_directories(dir + "test");
  fs::copy_file(bin / "test" / "fx.nut", dir + "test/fx.nut");
  return dir;
}

const Vec4f ZERO{0, 0, 0, 0};

const char* const ALL_EFFECTS[] = {
    "spawn_fireball_fx",   "fireball_explode_fx",  "spawn_meteor_fx",   "meteor_explode_fx",
    "spawn_waterball_missile_fx", "spawn_magic_missile_fx", "spawn_water_source_fx", "spawn_water_sink_fx",
    "spawn_volcano_smoke_fx", "spawn_water_vapor_fx", "lightning_hit_fx", "gatherer_death_fx",
    "gatherer_summon_fx",  "wyvern_death_fx",      "spawn_resobj_fx",   "spawn_spellobj_fx"};

class FxTest : public ::testing::Test {
protected:
  std::string content;
  bool own_writer = false;

  void SetUp() override {
    REQUIRE_GL();
    content = make_fx_content_dir();
    snprintf(app_path, sizeof app_path, "%s", content.c_str());
    load_shader_compiler();
    if (common_vb_writer.vbufs.empty()) {
      init_common_vb_writer();
      own_writer = true;
    }
    set_error_message(nullptr);
  }
  void start() {
    init_common_fx();
    ASSERT_TRUE(common_fx_ready());
    EXPECT_FALSE(has_error_message()) << get_error_message();
  }
  void TearDown() override {
    close_common_fx();
    if (own_writer) close_common_vb_writer();
    set_error_message(nullptr);
  }

  static void steps(int n) {
    for (int i = 0; i < n; i++) update_common_fx(0.05f);
  }
  static int visible(int kind, float t, std::vector<ParticleInstance>* out = nullptr) {
    std::vector<ParticleInstance> buf(particle_pools[kind].recs.num + 1);
    int cursor = 0;
    FxCamera cam{};
    int n = particles_fill(kind, cursor, t, cam, buf.data(), (int)buf.size());
    if (out) out->assign(buf.begin(), buf.begin() + n);
    return n;
  }
  static std::vector<FxVertex> trail_vertices(int index) {
    std::vector<FxVertex> v(6 * TRAIL_POINTS);
    FxCamera cam{};
    cam.right = Vec4f{1, 0, 0, 0};
    cam.up = Vec4f{0, 1, 0, 0};
    v.resize(trail_fill(index, 0.5f, cam, v.data()));
    return v;
  }
};

TEST_F(FxTest, DelayedParticleAppearsAfterItsDelayAndLivesItsLife) {
  start();
  add_glow_particle(Vec4f{10, 5, 10, 1}, Vec4f{1, 0, 0, 0}, ZERO, 1.0f, 0.5f, 2.0f, 0xFFFFFFFF, 0, 0, 64, 0, 0,
                    nullptr, nullptr, nullptr);
  ParticlePool& pool = particle_pools[FX_GLOW];
  ASSERT_EQ(pool.alive, 1);
  // Frames are drawn half-way between steps; 10 steps are the delay.
  for (int k = 0; k < 10; k++) {
    EXPECT_EQ(visible(FX_GLOW, 0.025f), 0) << "hidden during its delay, step " << k;
    steps(1);
  }
  EXPECT_NEAR(pool.recs[0].pos.x, 10.0f, 1e-3f) << "it does not move before its delay ran out";
  for (int k = 10; k < 30; k++) {
    EXPECT_EQ(visible(FX_GLOW, 0.025f), 1) << "visible for its life, step " << k;
    if (k == 20) {
      EXPECT_NEAR(pool.recs[0].pos.x, 10.5f, 1e-3f) << "half a second of movement";
    }
    steps(1);
  }
  steps(1);
  EXPECT_EQ(pool.alive, 0) << "dead 1 s after it appeared";
  EXPECT_EQ(visible(FX_GLOW, 0.025f), 0);
  // The dead record is the next one used; a particle without delay starts one step ahead.
  add_glow_particle(Vec4f{0, 0, 0, 1}, Vec4f{2, 0, 0, 0}, ZERO, 1.0f, 0.0f, 1.0f, 0xFFFFFFFF, 0, 0, 64, 0, 0, nullptr,
                    nullptr, nullptr);
  EXPECT_EQ(pool.recs.num, 1);
  EXPECT_NEAR(pool.recs[0].pos.x, 0.1f, 1e-5f);
  EXPECT_NEAR(pool.recs[0].prev.x, 0.0f, 1e-6f);
  std::vector<ParticleInstance> inst;
  ASSERT_EQ(visible(FX_GLOW, 0.025f, &inst), 1);
  EXPECT_NEAR(inst[0].pos[0], 0.05f, 1e-5f) << "interpolated half-way";
  // A NaN delay counts as none: the particle still dies.
  add_blend_particle(ZERO, ZERO, ZERO, 0.1f, NAN, 1.0f, 0xFFFFFFFF, 0, 0, 64, 0, 0, nullptr, nullptr, nullptr);
  steps(2);
  EXPECT_EQ(particle_pools[FX_BLEND].alive, 0);
}

TEST_F(FxTest, TrailTableRefusesThe4001stAndReusesFreedSlots) {
  start();
  for (int i = 0; i < MAX_TRAIL_FX; i++) ASSERT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 0, 0xFFFFFFFF), i);
  EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 0, 0xFFFFFFFF), -1);
  kill_trail_fx(17);
  EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 0, 0xFFFFFFFF), 17);
  // Out-of-range indexes are ignored; stop and kill ignore free slots.
  set_trail_color(5000, 0xFF00FF00);
  set_trail_color(-1, 0xFF00FF00);
  add_trail_point(4000, ZERO, ZERO, ZERO);
  reset_common_fx();
  stop_trail_fx(3);
  kill_trail_fx(3);
  EXPECT_FALSE(trail_fx[3].stop);
  // A point for a stale index does not bring the free slot back to life
  // (it would be handed out while alive: a fatal assertion).
  add_trail_point(0, ZERO, ZERO, ZERO);
  EXPECT_EQ(trail_fx[0].count, 0);
  EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 0, 0xFFFFFFFF), 0);
}

TEST_F(FxTest, TwoPointTrailDrawsOnlyItsHead) {
  start();
  int i = add_trail_fx(Vec4f{5, 1, 5, 1}, ZERO, Vec4f{0, 0.5f, 0, 0}, 0.4f, 0xFFFF8000);
  add_trail_point(i, Vec4f{6, 1, 5, 1}, ZERO, Vec4f{0, 0.5f, 0, 0});
  std::vector<FxVertex> v = trail_vertices(i);
  ASSERT_EQ(v.size(), 12u);
  for (int k = 0; k < 6; k++) EXPECT_EQ(v[k].color, 0xFFFF8000u) << "head vertex " << k;
  for (int k = 6; k < 12; k++) EXPECT_EQ(v[k].color, 0u) << "ribbon vertex " << k;
  // With four points the inner ones show the ramp's colour.
  add_trail_point(i, Vec4f{7, 1, 5, 1}, ZERO, Vec4f{0, 0.5f, 0, 0});
  add_trail_point(i, Vec4f{8, 1, 5, 1}, ZERO, Vec4f{0, 0.5f, 0, 0});
  v = trail_vertices(i);
  ASSERT_EQ(v.size(), 24u);
  bool lit = false;
  for (size_t k = 6; k < v.size(); k++) lit |= v[k].color != 0;
  EXPECT_TRUE(lit);
}

TEST_F(FxTest, StoppedTrailFadesInSixteenStepsAndItsSlotIsHandedOutNext) {
  start();
  int a = add_trail_fx(ZERO, ZERO, ZERO, 0.2f, 0xFFFFFFFF);
  int b = add_trail_fx(ZERO, ZERO, ZERO, 0.2f, 0xFFFFFFFF);
  for (int k = 1; k < TRAIL_POINTS + 3; k++) add_trail_point(a, Vec4f{float(k), 0, 0, 1}, ZERO, ZERO);
  ASSERT_EQ(trail_fx[a].count, TRAIL_POINTS);
  stop_trail_fx(a);
  steps(TRAIL_POINTS - 1);
  EXPECT_EQ(trail_fx[a].count, 1);
  steps(1);
  EXPECT_EQ(trail_fx[a].count, 0);
  EXPECT_EQ(trail_fx[b].count, 1);
  EXPECT_EQ(add_trail_fx(ZERO, ZERO, ZERO, 0.2f, 0xFFFFFFFF), a);
  EXPECT_FALSE(trail_fx[a].stop);
}

TEST_F(FxTest, PointAddedAcrossTheWorldEdgeIsStoredNearTheTrail) {
  start();
  int i = add_trail_fx(Vec4f{0.2f, 3, 40, 1}, ZERO, ZERO, 0, 0xFFFFFFFF);
  add_trail_point(i, Vec4f{255.9f, 3, 40, 1}, Vec4f{1, 0, 0, 0}, ZERO);
  const TrailPoint& p = trail_fx[i].points[trail_fx[i].newest];
  EXPECT_NEAR(p.pos.x, -0.1f, 1e-4f);
  EXPECT_NEAR(p.prev.x, 0.2f, 1e-6f);
  // The step shifts the whole trail so that its newest point lies in 0..256.
  steps(1);
  const TrailPoint& q = trail_fx[i].points[trail_fx[i].newest];
  EXPECT_NEAR(q.pos.x, 255.95f, 1e-3f);
  EXPECT_NEAR(trail_fx[i].points[(trail_fx[i].newest + 1) % TRAIL_POINTS].pos.x, 256.2f, 1e-3f);
}

TEST_F(FxTest, BoltShowsItsFirstHalfThenItsSecondHalfThenGoes) {
  start();
  add_lightning_fx(Vec4f{10, 5, 10, 1}, Vec4f{250, 5, 10, 1}, Vec4f{0, 2, 0, 0}, 0.3f, 4, 1, 1.0f, 0xFFFFFFFF, 2);
  ASSERT_EQ(bolts.num, 1);
  EXPECT_EQ(bolts[0]->points.num, 3) << "point count 2 counts as 3";
  // The end is taken on the world copy nearest the start.
  EXPECT_NEAR(bolts[0]->points[2].pos.x, -6.0f, 1e-3f);
  add_lightning_fx(Vec4f{10, 5, 10, 1}, Vec4f{10, 5, 30, 1}, ZERO, 0.3f, 4, 1, 1.0f, 0xFFFFFFFF, 21);
  const Bolt& b = *bolts[1];
  FxCamera cam{};
  cam.pos = Vec4f{0, 20, 0, 1};
  auto alpha_of_point = [&](int i) {
    FxVertex v[6];
    bolt_fill_segment(b, i, 0.0f, cam, v);
    return int(v[2].color >> 24); // B+ carries point i's colour
  };
  steps(5); // age 0.25
  for (int i = 1; i <= 9; i++) EXPECT_EQ(alpha_of_point(i), 255) << "first half, point " << i;
  for (int i = 11; i <= 20; i++) EXPECT_EQ(alpha_of_point(i), 0) << "second half, point " << i;
  steps(10); // age 0.75
  for (int i = 1; i <= 9; i++) EXPECT_EQ(alpha_of_point(i), 0) << "first half, point " << i;
  for (int i = 11; i <= 19; i++) EXPECT_EQ(alpha_of_point(i), 255) << "second half, point " << i;
  EXPECT_EQ(alpha_of_point(20), 0) << "the end point is dark";
  steps(5);
  EXPECT_EQ(bolts.num, 0) << "removed when its life is over";
  // Zero width or wavelength would divide the noise coordinate by zero.
  add_lightning_fx(ZERO, Vec4f{0, 0, 5, 1}, ZERO, 0.3f, 0, 1, 1.0f, 0xFFFFFFFF, 8);
  add_lightning_fx(ZERO, Vec4f{0, 0, 5, 1}, ZERO, 0, 4, 1, 1.0f, 0xFFFFFFFF, 8);
  EXPECT_EQ(bolts.num, 0);
}

TEST_F(FxTest, EveryEffectOfTheScriptSpawnsParticles) {
  start();
  for (const char* name : ALL_EFFECTS) {
    reset_common_fx();
    call_fx_script(name, Vec4f{100, 10, 100, 1}, Vec4f{3, 0, 1, 0}, Vec4f{0, 1, 0, 0}, 1.0f);
    EXPECT_FALSE(has_error_message()) << name << ": " << get_error_message();
    EXPECT_GT(particle_pools[FX_BLEND].alive + particle_pools[FX_GLOW].alive, 0) << name;
  }
  // Everything the script made runs out.
  steps(200);
  EXPECT_EQ(particle_pools[FX_BLEND].alive + particle_pools[FX_GLOW].alive, 0);
}

TEST_F(FxTest, UnknownEffectShowsTheErrorAndTheProgramGoesOn) {
  start();
  call_fx_script("no_such_fx", ZERO, ZERO, ZERO, 1.0f);
  EXPECT_STREQ(get_error_message(), "Error in fx script:\nNo 'no_such_fx' function in script");
  set_error_message(nullptr);
  call_fx_script("spawn_fireball_fx", Vec4f{1, 1, 1, 1}, ZERO, ZERO, 1.0f);
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_GT(particle_pools[FX_GLOW].alive, 0);
}

TEST_F(FxTest, ScriptRampsOutliveTheirEffectAndBadPropertiesAreReported) {
  write_text_file(content + "test/fx.nut",
                              "function local_ramp_fx(p, v, d, s) {\n"
                              "  add_glow_particle(p, v, { life = 1.0, color = vec4f(1, 1, 1, 1),\n"
                              "    colorAnim = ColorRamp.constRamp(vec4f(0.5, 0.25, 1, 1)) });\n"
                              "}\n"
                              "function bad_color_fx(p, v, d, s) { add_blend_particle(p, v, { color = \"red\" }); }\n");
  start();
  call_fx_script("local_ramp_fx", Vec4f{1, 1, 1, 1}, ZERO, ZERO, 1.0f);
  ASSERT_FALSE(has_error_message()) << get_error_message();
  steps(3);
  std::vector<ParticleInstance> inst;
  ASSERT_EQ(visible(FX_GLOW, 0.0f, &inst), 1);
  EXPECT_EQ(inst[0].color, 0xFF8040FFu) << "ramp x colour, read after the effect returned";
  call_fx_script("bad_color_fx", ZERO, ZERO, ZERO, 1.0f);
  EXPECT_NE(std::string(get_error_message()).find("property 'color'"), std::string::npos) << get_error_message();
  EXPECT_EQ(particle_pools[FX_BLEND].alive, 0);
}

TEST_F(FxTest, EditedScriptIsRunAgainAndKillsEverything) {
  start();
  call_fx_script("spawn_fireball_fx", Vec4f{1, 1, 1, 1}, ZERO, ZERO, 1.0f);
  int trail = add_trail_fx(ZERO, ZERO, ZERO, 1, 0xFFFFFFFF);
  ASSERT_GE(trail, 0);
  write_text_file(content + "test/fx.nut", "function spawn_fireball_fx(p, v, d, s) {\n"
                                                      "  add_blend_particle(p, v, { life = 2.0 });\n}\n");
  struct utimbuf t{1000000, 1000000};
  utime((content + "test/fx.nut").c_str(), &t);
  reload_fx_script();
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_EQ(particle_pools[FX_GLOW].alive, 0);
  EXPECT_EQ(trail_fx[trail].count, 0);
  call_fx_script("spawn_fireball_fx", Vec4f{1, 1, 1, 1}, ZERO, ZERO, 1.0f);
  EXPECT_EQ(particle_pools[FX_BLEND].alive, 1);
  EXPECT_EQ(particle_pools[FX_GLOW].alive, 0);
}

} // namespace
