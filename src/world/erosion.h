// Droplet erosion: simulated rain droplets run downhill over hmap with
// inertia, pick up sediment where they are fast on steep ground, drop it
// where they slow or fill a pit, and carry the colour of the ground they
// eroded to where they deposit it; deposited colour then reacts through the
// parameters' mass-action chemistry. The droplets draw their start cells and
// random directions from the game random generator.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "core/math_types.h"

namespace HeightmapData {

// One colour reaction: the rate vector times the product of the channels
// raised to their exponents (an exponent <= 0 contributes 1). Channels are
// in the order red, green, blue, alpha.
struct ErosionReaction {
  int exponent[4];
  float rate[4];
};

class ErosionParams {
public:
  float Kq = 10.0f;           // sediment capacity per unit of slope x speed x water
  float Kw = 0.001f;          // fraction of water evaporating per step
  float Kr = 0.9f;            // fraction of the capacity deficit eroded per step
  float Kd = 0.02f;           // fraction of the capacity excess deposited per step
  float Ki = 0.1f;            // inertia: weight of the previous direction against the slope
  float minSlope = 0.05f;     // slope floor in the capacity
  float g = 20.0f;            // gravity in the speed update
  float depositBlend = 2.0f;  // colour mixing rate per unit of deposited height
  float reactionTime = 100.0f; // time the reactions run at each deposit
  int periodStep = 10240;     // droplets between period callbacks
  DynArray<ErosionReaction> reactions;

  virtual ~ErosionParams();
  // Called every periodStep droplets; the script-side parameters call the
  // script's "onPeriod" function.
  virtual void onPeriod();

  // Appends the reaction turning mixture `from` into `to` at `rate`: the
  // exponents are `from` rounded, the rate vector rate * (to - from).
  void addReaction(const Vec4f& from, const Vec4f& to, float rate);
};

// Counters of the last genDropletErosion call (also logged).
struct ErosionStats {
  unsigned droplets;
  unsigned elapsed_ms;
  uint64_t total_steps;
  uint64_t long_paths;  // droplets cut after 1,024 steps (their sediment is lost)
  uint64_t random_dirs; // steps that picked a random direction
};
extern ErosionStats last_erosion_stats;

// Runs `count` droplets on hmap, updating the surface colours and covers.
void genDropletErosion(unsigned count, ErosionParams& params);

} // namespace HeightmapData

// Loading-screen progress for long world-generation passes (text, 0..1);
// null until the splash screen installs it.
extern void (*world_gen_progress_hook)(const char* text, float progress);
