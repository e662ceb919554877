// The height update and the land sounds (see hm_update.h). The grid pass
// works on groups of four consecutive cells of a row: a group whose four
// differences to the target are all below 0.001 is skipped with one compare;
// any other group moves all four cells and adds its weight to the sector of
// the camera it lies in. Sound work is bounded by the eight sectors.
#include "world/hm_update.h"

#include <xmmintrin.h>
#include <emmintrin.h>

#include <cmath>
#include <cstring>

#include "core/stats_tracker.h"
#include "core/game_rnd.h"
#include "world/heightmap.h"
#include "world/world_math.h"

using namespace HeightmapData;

LandSoundHooks land_sound_hooks = {};
Vec4f (*hm_camera_pos_hook)() = nullptr;

static UpdateStatsTracker hm_update_stats("hm update");

// Differences below this leave a whole group of four cells alone.
static constexpr float SETTLED = 0.001f;
static constexpr int LAND_SOUND_FADE_MS = 50;
static constexpr int LAND_SOUND_STOP_MS = 10;

static bool land_sound_hooks_ready() {
  const LandSoundHooks& s = land_sound_hooks;
  return s.get_event_channel && s.is_playing && s.set_3d_params && s.set_3d_pos &&
         s.set_relative_pos && s.slide_volume && s.play && s.fade_out_and_stop;
}

// Wraps a cell offset into -128..128.
static inline int wrap_offset(int d) {
  if (d > 128) return d - 256;
  if (d < -128) return d + 256;
  return d;
}

static inline float hmax4(__m128 v) {
  v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtss_f32(v);
}

namespace {

// The approach rule for four cells at once (see approachHeight).
struct Approach {
  __m128 k, dt, sign_mask;

  explicit Approach(float step_dt)
      : k(_mm_set1_ps(fminf(0.2f * step_dt, 1.0f))), dt(_mm_set1_ps(step_dt)),
        sign_mask(_mm_set1_ps(-0.0f)) {}

  // dist = |target - h|, given to share it with the settle test.
  __m128 apply(__m128 h, __m128 target, __m128 diff, __m128 dist) const {
    __m128 step = _mm_add_ps(_mm_mul_ps(dist, k), dt);
    __m128 moved = _mm_add_ps(h, _mm_or_ps(step, _mm_and_ps(diff, sign_mask)));
    __m128 reached = _mm_cmpge_ps(step, dist);
    return _mm_or_ps(_mm_and_ps(reached, target), _mm_andnot_ps(reached, moved));
  }
};

} // namespace

void HeightmapData::updateHmap(float dt) {
  Vec4f cam = hm_camera_pos_hook ? hm_camera_pos_hook() : Vec4f{0, 0, 0, 1};
  updateHmapAround(dt, round_to_int(cam.x) & 255, round_to_int(cam.z) & 255);
}

// Starts, moves or fades the sound of each sector from its accumulator.
static void update_land_sounds() {
  if (!land_sound_hooks_ready()) return;
  const LandSoundHooks& s = land_sound_hooks;
  for (LandSoundGroup& g : land_sound) {
    float w = g.acc[3];
    if (w > 0.0f) {
      bool is_new = false;
      if (!s.is_playing(g.channel)) {
        g.channel = s.get_event_channel(LAND_SOUND_EVENT);
        is_new = true;
      }
      float inv = 1.0f / w;
      s.set_3d_params(g.channel, powf(w, 0.33333f) * 10.0f, 256.0f);
      s.set_3d_pos(g.channel, Vec4f{g.acc[0] * inv, g.acc[1] * inv, g.acc[2] * inv, 0.0f},
                   Vec4f{0, 0, 0, 0});
      if (is_new) {
        s.set_relative_pos(g.channel, (float)game_rnd_next() * 2.3283064365386963e-10f);
        s.slide_volume(g.channel, 1.0f, LAND_SOUND_FADE_MS);
        s.play(g.channel, false);
      }
    } else if (g.channel) {
      // Forget the fading channel: land that moves again gets a fresh one
      // instead of one that is about to stop.
      s.fade_out_and_stop(g.channel, LAND_SOUND_FADE_MS);
      g.channel = 0;
    }
  }
}

void HeightmapData::updateHmapAround(float dt, int cx, int cz) {
  ScopedStatsTiming timing(hm_update_stats);
  cx &= 255;
  cz &= 255;
  __m128 acc[8];
  for (__m128& a : acc) a = _mm_setzero_ps();

  const Approach rule(dt);
  const __m128 settled = _mm_set1_ps(SETTLED);
  const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  for (int z = 0; z < HMAP_SIZE; z++) {
    float* h_row = hmap + (z << 8);
    const float* t_row = target_hmap + (z << 8);
    int dz = wrap_offset(z - cz);
    float pz = (float)(cz + dz);
    for (int x = 0; x < HMAP_SIZE; x += 4) {
      __m128 h = _mm_load_ps(h_row + x);
      __m128 t = _mm_load_ps(t_row + x);
      __m128 diff = _mm_sub_ps(t, h);
      __m128 dist = _mm_and_ps(diff, abs_mask);
      if (_mm_movemask_ps(_mm_cmplt_ps(dist, settled)) == 15) continue;

      int dx = wrap_offset(x - cx);
      float w = hmax4(dist);
      float y = hmax4(h);
      int sector = landSoundSector(dx, dz);
      acc[sector] = _mm_add_ps(acc[sector], _mm_mul_ps(_mm_set1_ps(w), _mm_setr_ps((float)(cx + dx), y, pz, 1.0f)));
      _mm_store_ps(h_row + x, rule.apply(h, t, diff, dist));
    }
  }
  for (int s = 0; s < 8; s++) _mm_storeu_ps(land_sound[s].acc, acc[s]);
  update_land_sounds();
}

void HeightmapData::morphHmap(float dt, float* out) {
  const Approach rule(dt);
  const __m128 abs_mask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
  for (int i = 0; i < HMAP_CELLS; i += 4) {
    __m128 h = _mm_load_ps(hmap + i);
    __m128 t = _mm_load_ps(target_hmap + i);
    __m128 diff = _mm_sub_ps(t, h);
    _mm_storeu_ps(out + i, rule.apply(h, t, diff, _mm_and_ps(diff, abs_mask)));
  }
}

void HeightmapData::stopSounds() {
  for (LandSoundGroup& g : land_sound) {
    if (g.channel && land_sound_hooks.fade_out_and_stop)
      land_sound_hooks.fade_out_and_stop(g.channel, LAND_SOUND_STOP_MS);
    g.channel = 0;
  }
}
