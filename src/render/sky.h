// The sky: the sun direction with its per-step interpolation, the world's
// lighting palette from the "sky.nut" script (its own reloadable VM), the
// backdrop, and the lighting constants every world pixel shader reads:
//   PS c0      sun direction, cone cosine in w
//   PS c1..c12 the lighting block: the 10 current sky vectors, then the two
//              derived ones
//   PS c13     the lighting sun direction (the sun raised so that its lower
//              edge never sinks below the minimum elevation)
// The meaning of the ten vectors is the script's and the shaders' contract
// (docs/render-terrain-sky.md).
#pragma once
#include "core/math_types.h"
#include "render/device.h"

constexpr int SKY_VECTORS = 10;
constexpr int SKY_LIGHT_BLOCK = 12;
constexpr float SKY_CONE_COS = 0.9396926f;    // cos 20 degrees: the sun's half-width
constexpr float SKY_MIN_SINE = -0.14f;        // lowest elevation used for lighting
constexpr float SKY_MIN_SLOPE = -0.1413925f;  // its tangent

// Creates the GPU objects and the VM, runs "sky.nut" and computes the vectors
// (a VM or script failure is fatal).
void init_sky();
void close_sky();
bool sky_ready();

// Normalises dir (zero stays zero) as the target; without interpolation the
// current and previous directions and vectors follow at once.
void set_sun_dir(bool interpolate, const Vec4f& dir);
// Stores the palette name (at most 255 characters) and recomputes the
// vectors without blending.
void set_sky_palette(const char* name);
const char* get_sky_palette();
// At each simulation step: previous = target (vectors and direction).
void sky_step();
// Each frame, f = fraction of the step elapsed.
void update_sky(float f);
void draw_sky();
// Seconds of simulation steps plus this frame's fraction: the time the
// shaders animate clouds, water and lava with (advances only with the world).
float sky_anim_time();
// Runs a changed "sky.nut" again and recomputes the vectors (no blend).
void reload_sky();

const Vec4f& get_sun_dir();        // blended this frame
const Vec4f& get_target_sun_dir();
const Vec4f& get_lighting_sun_dir();
// The 12 lighting vectors (c1..c12).
const Vec4f* get_sky_light_block();
// "noise.dds", also used by the terrain's horizon and the shadow passes.
Texture* get_sky_noise_texture();
// Writes PS c0..c13.
void sky_set_ps_consts();

// The lighting direction for a unit sun direction (pure; see sky.cpp).
Vec4f sky_lighting_direction(const Vec4f& sun);
// Asks the script for the 10 vectors at the sun's zenith angle (degrees) and
// palette; false (and the on-screen error) when the call or its result fails.
bool sky_script_colors(float zenith_deg, const char* palette, Vec4f out[SKY_VECTORS]);
