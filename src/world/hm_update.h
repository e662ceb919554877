// Terrain change: every update the land height `hmap` moves toward
// `target_hmap` (spells only change the target), and the same pass finds
// where land is moving to drive up to eight positional land-moving sounds,
// one per sector round the camera.
//
// The sound events layer is reached through `land_sound_hooks`, filled by the
// audio subsystem when it comes up; with any entry null the land sounds are
// silent (the height update itself does not depend on them).
#pragma once
#include <cstdint>

#include "core/math_types.h"

namespace HeightmapData {

// One height-update step with the land sounds; timed under "hm update".
void updateHmap(float dt);
// The height step round a given camera cell (updateHmap asks the camera hook).
void updateHmapAround(float dt, int cam_x, int cam_z);
// out[i] = hmap[i] moved one step toward its target (every cell), hmap unchanged.
void morphHmap(float dt, float* out);
// Fades every land-sound channel out over 10 ms and forgets it.
void stopSounds();

// The approach rule: h moves toward target by 20 % of the distance per
// second plus 1 unit per second, never overshooting (it lands on target exactly).
inline float approachHeight(float h, float target, float dt) {
  float k = 0.2f * dt < 1.0f ? 0.2f * dt : 1.0f;
  float diff = target - h;
  float dist = diff < 0.0f ? -diff : diff;
  float step = dist * k + dt;
  if (step >= dist) return target;
  return diff < 0.0f ? h - step : h + step;
}

// Sector of a point relative to the camera cell, from the wrapped offsets
// dx, dz in -128..128: 4 (|dx| < |dz|) + 2 (dz < 0) + (dx < 0).
inline int landSoundSector(int dx, int dz) {
  int adx = dx < 0 ? -dx : dx, adz = dz < 0 ? -dz : dz;
  return 4 * (adx < adz) + 2 * (dz < 0) + (dx < 0);
}

} // namespace HeightmapData

// The sound event of land movement ("SE_land_moving").
constexpr int LAND_SOUND_EVENT = 33;

// The sound functions the land sounds use, with the sound layer's meaning
// (channel 0 is ignored by every call). Positions are (x, y, z, w).
struct LandSoundHooks {
  unsigned (*get_event_channel)(int event);
  bool (*is_playing)(unsigned ch);
  bool (*set_3d_params)(unsigned ch, float min_dist, float max_dist);
  bool (*set_3d_pos)(unsigned ch, const Vec4f& pos, const Vec4f& vel);
  bool (*set_relative_pos)(unsigned ch, float fraction);
  bool (*slide_volume)(unsigned ch, float volume, int ms);
  bool (*play)(unsigned ch, bool restart);
  bool (*fade_out_and_stop)(unsigned ch, int ms);
};
extern LandSoundHooks land_sound_hooks;

// Camera position for the land-sound sectors (the translation of the
// inverse view matrix); null until the camera code installs it, when the
// camera counts as standing at the origin.
extern Vec4f (*hm_camera_pos_hook)();
