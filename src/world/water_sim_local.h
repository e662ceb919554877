// Internals of the fluid simulation shared with its tests: the constants of
// the solver and the per-cell rules for hardening lava and for water and
// lava meeting. The cell rules work on the current `water` buffer.
#pragma once
#include <cstdint>

namespace fluid {

constexpr float GRAVITY = 10.0f;
constexpr float WATER_DAMPING = 0.03f; // per second, also the evaporation rate of shallow water
constexpr float LAVA_DAMPING = 0.3f;   // per second
constexpr float LAVA_PRESSURE = 0.3f;  // share of the pressure term that accelerates lava
constexpr float LAVA_MIN_FLOW = 0.05f; // effective thickness below which lava stays put
constexpr float LAVA_FULL_FLOW = 0.2f; // thickness from which lava flows at full speed
constexpr float LAVA_FLOW_RAMP = 6.6666665f; // 1 / (LAVA_FULL_FLOW - LAVA_MIN_FLOW)
constexpr float FOAM_GAIN = 3.2f;
constexpr float FOAM_DECAY = 5.0f;     // per second
constexpr float FOAM_BLOCKED = 0.01f;  // added per blocked face
constexpr float OUTFLOW = 4.0f;
constexpr float MIN_OUTFLOW = 0.001f;  // an outflow volume at or below this moves nothing
constexpr float SHALLOW = 0.5f;        // water shallower than this evaporates
constexpr float VANISH = 0.01f;        // water shallower than this vanishes in one step
constexpr float LAVA_HARDEN_RATE = 0.05f; // share of the depth hardening per second
constexpr float LAVA_HARDEN_AT_ONCE = 0.003f; // lava this thin (or thinner) hardens whole
constexpr float ASH_AT = 0.5f;         // colour weight from which the cover becomes ash

// Colours of hardened lava, channels (r, g, b, a) in 0..1.
constexpr float HARDENED_TOP[4] = {0.04f, 0.04f, 0.04f, 0.5f};
constexpr float HARDENED_GROUND[4] = {0.01f, 0.01f, 0.01f, 0.0f};

// Lava stiffness of a cell: 0.15 + 0.85 r / 255 with r the cell's random byte.
float lava_stiffness(int x, int z);

// Raises the land (hmap and target_hmap) of a cell by a > 0 of hardened lava
// and moves its colours toward the hardened colours by min(100 a, 1); from a
// weight of 0.5 the cover becomes ash.
void raise_land(int x, int z, float a);
// Adds a > 0 of water to a cell; lava there hardens one for one (with steam).
void add_water(int x, int z, float a);
// Adds a > 0 of lava to a cell; water there hardens one for one (with steam),
// and a cell whose water is all used up stops flowing.
void add_lava(int x, int z, float a);
// Blends the ground and top colours of a lava cell and its four neighbours.
void smooth_lava_colors(int x, int z);

} // namespace fluid
