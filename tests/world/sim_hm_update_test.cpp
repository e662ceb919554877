// The height update: the approach rule, settled groups of four left alone,
// the morph preview, and the land sounds of the eight sectors round the
// camera, checked against a recording sound layer.
#include <cmath>
#include <cstring>
#include <vector>

#include "core/stats_tracker.h"
#include "world/hm_update.h"
#include "world/water_sim.h"
#include "world/world_sim.h"
#include "world_test_util.h"

using namespace HeightmapData;

namespace {

float& land(int x, int z) { return hmap[hmap_index(x, z)]; }
float& target(int x, int z) { return target_hmap[hmap_index(x, z)]; }

// A sound layer that records what the land sounds ask of it. Channels are
// numbered from 100; a channel plays from play() until fade_out_and_stop().
struct FakeSound {
  struct Channel {
    bool playing = false;
    float min_dist = 0, max_dist = 0, volume = 0, rel_pos = -1;
    Vec4f pos{}, vel{};
    int fade_ms = -1;
    bool restart = true;
  };
  static inline std::vector<Channel> channels;
  static inline std::vector<int> events;

  static Channel* get(unsigned ch) {
    return ch >= 100 && ch < 100 + channels.size() ? &channels[ch - 100] : nullptr;
  }
  static void install() {
    channels.clear();
    events.clear();
    land_sound_hooks.get_event_channel = [](int ev) -> unsigned {
      events.push_back(ev);
      channels.emplace_back();
      return 100 + (unsigned)channels.size() - 1;
    };
    land_sound_hooks.is_playing = [](unsigned ch) { return get(ch) && get(ch)->playing; };
    land_sound_hooks.set_3d_params = [](unsigned ch, float mn, float mx) {
      get(ch)->min_dist = mn;
      get(ch)->max_dist = mx;
      return true;
    };
    land_sound_hooks.set_3d_pos = [](unsigned ch, const Vec4f& p, const Vec4f& v) {
      get(ch)->pos = p;
      get(ch)->vel = v;
      return true;
    };
    land_sound_hooks.set_relative_pos = [](unsigned ch, float f) {
      get(ch)->rel_pos = f;
      return true;
    };
    land_sound_hooks.slide_volume = [](unsigned ch, float v, int ms) {
      get(ch)->volume = ms == 50 ? v : -1.0f;
      return true;
    };
    land_sound_hooks.play = [](unsigned ch, bool restart) {
      get(ch)->playing = true;
      get(ch)->restart = restart;
      return true;
    };
    land_sound_hooks.fade_out_and_stop = [](unsigned ch, int ms) {
      if (Channel* c = get(ch)) {
        c->playing = false;
        c->fade_ms = ms;
      }
      return true;
    };
  }
  static void uninstall() { land_sound_hooks = LandSoundHooks{}; }
};

class HmUpdateTest : public WorldTest {
protected:
  void TearDown() override { FakeSound::uninstall(); }
};

} // namespace

TEST(ApproachRule, MovesAFifthOfTheDistancePerSecondPlusOneUnit) {
  EXPECT_NEAR(approachHeight(0.0f, 10.0f, 0.1f), 0.3f, 1e-6f);
  EXPECT_NEAR(approachHeight(5.0f, -5.0f, 0.1f), 4.7f, 1e-6f);
  // 0.05 * 0.02 + 0.1 > 0.05: lands exactly on the target, never beyond.
  EXPECT_EQ(approachHeight(0.1f, 0.15f, 0.1f), 0.15f);
  EXPECT_EQ(approachHeight(3.7f, 3.65f, 0.1f), 3.65f);
  EXPECT_EQ(approachHeight(2.0f, 2.0f, 0.05f), 2.0f);
  // A step of 5 s or more moves all the way at once.
  EXPECT_EQ(approachHeight(0.0f, 1000.0f, 5.0f), 1000.0f);
}

TEST_F(HmUpdateTest, UpdateMovesCellsByTheApproachRule) {
  target(8, 3) = 10.0f;
  target(9, 3) = 0.05f;
  target(10, 3) = -2.0f;
  updateHmapAround(0.1f, 0, 0);
  EXPECT_NEAR(land(8, 3), 0.3f, 1e-6f);
  EXPECT_EQ(land(9, 3), 0.05f);
  EXPECT_NEAR(land(10, 3), -0.14f, 1e-6f);
  EXPECT_EQ(land(11, 3), 0.0f);
  EXPECT_EQ(target(8, 3), 10.0f); // the target is never touched
}

TEST_F(HmUpdateTest, SettledGroupsAreLeftAlone) {
  // Cells 4..7 of row 20: every difference below 0.001, none at its target.
  target(4, 20) = 0.0009f;
  target(5, 20) = -0.0005f;
  target(7, 20) = 0.00099f;
  // Cells 8..11: one cell moves, so the whole group takes the rule.
  target(8, 20) = 0.0009f;
  target(11, 20) = 0.5f;
  updateHmapAround(0.05f, 0, 0);
  EXPECT_EQ(land(4, 20), 0.0f);
  EXPECT_EQ(land(5, 20), 0.0f);
  EXPECT_EQ(land(7, 20), 0.0f);
  EXPECT_EQ(land(8, 20), 0.0009f);
  EXPECT_NEAR(land(11, 20), 0.5f * 0.01f + 0.05f, 1e-6f);
  for (const LandSoundGroup& g : land_sound) {
    if (g.acc[3] == 0.0f) continue;
    EXPECT_FLOAT_EQ(g.acc[3], 0.5f); // only the moving group, weighted by its largest difference
  }
}

TEST_F(HmUpdateTest, MorphPreviewsEveryCellWithoutChangingTheLand) {
  target(4, 20) = 0.0009f;
  target(100, 200) = 10.0f;
  target(101, 200) = -0.01f;
  static float out[HMAP_CELLS];
  morphHmap(0.1f, out);
  EXPECT_EQ(out[hmap_index(4, 20)], 0.0009f); // no settle skip in the preview
  EXPECT_NEAR(out[hmap_index(100, 200)], 0.3f, 1e-6f);
  EXPECT_EQ(out[hmap_index(101, 200)], -0.01f);
  EXPECT_EQ(out[hmap_index(0, 0)], 0.0f);
  EXPECT_EQ(land(100, 200), 0.0f);
}

TEST_F(HmUpdateTest, AccumulatorsWeighPositionAndHeightBySector) {
  // Camera cell (100, 100); a group north-east (x 108..111, z 105) rising
  // from 2 and a group south-west (x 88..91, z 90) sinking.
  for (int x = 108; x < 112; x++) land(x, 105) = target(x, 105) = 2.0f;
  target(109, 105) = 6.0f;
  land(88, 90) = 1.0f;
  target(90, 90) = -3.0f;
  updateHmapAround(0.05f, 100, 100);
  const LandSoundGroup& ne = land_sound[0];
  EXPECT_FLOAT_EQ(ne.acc[3], 4.0f);
  EXPECT_FLOAT_EQ(ne.acc[0] / ne.acc[3], 108.0f);
  EXPECT_FLOAT_EQ(ne.acc[1] / ne.acc[3], 2.0f); // the highest current height before the move
  EXPECT_FLOAT_EQ(ne.acc[2] / ne.acc[3], 105.0f);
  const LandSoundGroup& sw = land_sound[3];
  EXPECT_FLOAT_EQ(sw.acc[3], 3.0f);
  EXPECT_FLOAT_EQ(sw.acc[0] / sw.acc[3], 88.0f);
  EXPECT_FLOAT_EQ(sw.acc[1] / sw.acc[3], 1.0f);
  EXPECT_FLOAT_EQ(sw.acc[2] / sw.acc[3], 90.0f);
  for (int s : {1, 2, 4, 5, 6, 7}) EXPECT_EQ(land_sound[s].acc[3], 0.0f);

  // The next step starts from zero again.
  for (int i = 0; i < HMAP_CELLS; i++) target_hmap[i] = hmap[i];
  updateHmapAround(0.05f, 100, 100);
  EXPECT_EQ(land_sound[0].acc[3], 0.0f);
  EXPECT_EQ(land_sound[3].acc[3], 0.0f);
}

TEST_F(HmUpdateTest, OffsetsWrapToTheCopyNearestTheCamera) {
  // Camera at (250, 250); land moving at (0, 3) is 6 cells east and 9
  // north across the edge: sector 4 (|dx| < |dz|), placed at (256, 259).
  target(0, 3) = 1.0f;
  updateHmapAround(0.05f, 250, 250);
  const LandSoundGroup& g = land_sound[4];
  ASSERT_GT(g.acc[3], 0.0f);
  EXPECT_FLOAT_EQ(g.acc[0] / g.acc[3], 256.0f);
  EXPECT_FLOAT_EQ(g.acc[2] / g.acc[3], 259.0f);
}

TEST_F(HmUpdateTest, OppositeSectorsPlayTwoSeparateSounds) {
  FakeSound::install();
  target(109, 105) = 8.0f;  // north-east of (100, 100)
  target(89, 90) = -27.0f;  // south-west
  uint64_t seed = game_rnd_seed;
  updateHmapAround(0.05f, 100, 100);

  ASSERT_EQ(FakeSound::channels.size(), 2u);
  EXPECT_EQ(FakeSound::events, (std::vector<int>{33, 33}));
  EXPECT_EQ(land_sound[0].channel, 100u);
  EXPECT_EQ(land_sound[3].channel, 101u);
  const FakeSound::Channel& ne = FakeSound::channels[0];
  const FakeSound::Channel& sw = FakeSound::channels[1];
  EXPECT_TRUE(ne.playing);
  EXPECT_FALSE(ne.restart); // plays from the random position set before
  EXPECT_EQ(ne.volume, 1.0f);
  EXPECT_NEAR(ne.min_dist, powf(8.0f, 0.33333f) * 10.0f, 1e-4f);
  EXPECT_EQ(ne.max_dist, 256.0f);
  EXPECT_FLOAT_EQ(ne.pos.x, 108.0f);
  EXPECT_FLOAT_EQ(ne.pos.z, 105.0f);
  EXPECT_EQ(ne.vel.x, 0.0f);
  EXPECT_NEAR(sw.min_dist, 30.0f, 1e-3f);
  EXPECT_FLOAT_EQ(sw.pos.x, 88.0f);
  EXPECT_FLOAT_EQ(sw.pos.z, 90.0f);
  // One draw of the game random generator per new channel, in sector order.
  game_rnd_seed = seed;
  float r0 = (float)game_rnd_next() * 2.3283064365386963e-10f;
  float r1 = (float)game_rnd_next() * 2.3283064365386963e-10f;
  EXPECT_EQ(ne.rel_pos, r0);
  EXPECT_EQ(sw.rel_pos, r1);
  for (int s : {1, 2, 4, 5, 6, 7}) EXPECT_EQ(land_sound[s].channel, 0u);

  // Still moving: the same channels follow, no new ones.
  updateHmapAround(0.05f, 100, 100);
  EXPECT_EQ(FakeSound::channels.size(), 2u);

  // Settled: both fade out over 50 ms and are forgotten; moving again
  // starts a fresh channel.
  for (int i = 0; i < HMAP_CELLS; i++) target_hmap[i] = hmap[i];
  updateHmapAround(0.05f, 100, 100);
  EXPECT_EQ(FakeSound::channels[0].fade_ms, 50);
  EXPECT_EQ(FakeSound::channels[1].fade_ms, 50);
  EXPECT_EQ(land_sound[0].channel, 0u);
  target(109, 105) += 5.0f;
  updateHmapAround(0.05f, 100, 100);
  EXPECT_EQ(FakeSound::channels.size(), 3u);
  EXPECT_EQ(land_sound[0].channel, 102u);
}

TEST_F(HmUpdateTest, StopSoundsFadesEveryChannelQuickly) {
  FakeSound::install();
  target(109, 105) = 8.0f;
  target(89, 90) = -27.0f;
  updateHmapAround(0.05f, 100, 100);
  stopSounds();
  EXPECT_EQ(FakeSound::channels[0].fade_ms, 10);
  EXPECT_EQ(FakeSound::channels[1].fade_ms, 10);
  for (const LandSoundGroup& g : land_sound) EXPECT_EQ(g.channel, 0u);
}

TEST_F(HmUpdateTest, WithoutASoundLayerTheUpdateStillRuns) {
  target(5, 5) = 1.0f;
  updateHmapAround(0.05f, 0, 0);
  EXPECT_GT(land(5, 5), 0.0f);
  for (const LandSoundGroup& g : land_sound) EXPECT_EQ(g.channel, 0u);
}

TEST_F(HmUpdateTest, CameraHookPicksTheCameraCell) {
  hm_camera_pos_hook = [] { return Vec4f{355.6f, 40.0f, -0.4f, 1.0f}; }; // cell (100, 0)
  target(104, 10) = 1.0f; // dx 4, dz 10
  updateHmap(0.05f);
  hm_camera_pos_hook = nullptr;
  const LandSoundGroup& g = land_sound[4];
  ASSERT_GT(g.acc[3], 0.0f);
  EXPECT_FLOAT_EQ(g.acc[0] / g.acc[3], 104.0f);
  EXPECT_FLOAT_EQ(g.acc[2] / g.acc[3], 10.0f);
  bool timed = false;
  for (int i = 0; i < update_stats_tracker_count(); i++)
    if (!strcmp(get_update_stats_tracker(i)->name, "hm update")) timed = true;
  EXPECT_TRUE(timed);
}

TEST_F(HmUpdateTest, InitWiresTheResetHook) {
  world_sim_init();
  FakeSound::install();
  target(109, 105) = 8.0f;
  updateHmapAround(0.05f, 100, 100);
  ASSERT_EQ(FakeSound::channels.size(), 1u);
  reset(); // a new world silences the land at once
  EXPECT_EQ(FakeSound::channels[0].fade_ms, 10);
  EXPECT_EQ(land_sound[0].channel, 0u);

  world_sim_close();
  EXPECT_EQ(stop_sounds_hook, nullptr);
  world_sim_close();
}
