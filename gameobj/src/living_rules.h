// The rules of the world's life as plain functions of their inputs, so they
// can be checked on their own: how fire spreads between trees, how long
// trees burn and take to grow again, when a stone topples, and the numbers
// the living objects answer to `query`. No host or module state here.
#pragma once
#include <math.h>
#include <stdint.h>

namespace living {

enum TreeKind { TREE_BROADLEAF = 0, TREE_FIR = 1, TREE_BUSH = 2, TREE_KINDS = 3 };
enum TreeState { TREE_ALIVE = 0, TREE_BURNING = 1, TREE_STUMP = 2 };

// What the living objects answer to query(n) (0 and 1 are every object's).
enum LivingQuery {
  QUERY_STATE = 2,    // trees: TreeState; stones: 1 when toppled; triggers: 0
  QUERY_TIMER_MS = 3, // trees: the state's timer; triggers and volcanoes: ms until they act
  QUERY_KIND = 4,     // trees: TreeKind
  QUERY_HEIGHT_MM = 5 // stones: the height of their foot in millimetres
};

struct FireRules {
  float spread_radius = 5.0f; // cells: no fire jumps further
  float spread_rate = 0.4f;   // per second, between trees at the same spot
  float burn_seconds = 15.0f; // a burning tree becomes a stump after this
  float regrow_seconds = 120.0f; // a stump grows again after this
  float grow_seconds = 10.0f;    // and reaches its full size in this
  float lava_depth = 0.02f;  // lava deeper than this under a tree sets it alight
  float water_depth = 0.05f; // water deeper than this puts a fire out
};
inline constexpr FireRules FIRE{};

// A small deterministic random source (SplitMix64): the same seed gives the
// same draws, so a fire burns the same way after loading a saved world.
struct Rng {
  uint64_t state;
  explicit Rng(uint64_t seed) : state(seed) {}
  uint64_t next()
  {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  float unit() { return float(next() >> 40) * (1.0f / 16777216.0f); }
};

// The seed of one tree's draws in one world step.
inline uint64_t fire_seed(int world_tick, int serial_id)
{
  return (uint64_t(uint32_t(world_tick)) << 32) ^ uint64_t(uint32_t(serial_id)) * 0x2545F4914F6CDD1Dull;
}

// The chance that a tree burning for `dt` seconds sets a tree `dist` cells
// away alight: a rate falling linearly to 0 at the spread radius, taken as
// a Poisson process so the chance does not depend on the step length.
inline float spread_chance(float dist, float dt, const FireRules& r = FIRE)
{
  if (!(dist >= 0.0f) || dist >= r.spread_radius || !(dt > 0.0f)) return 0.0f;
  float rate = r.spread_rate * (1.0f - dist / r.spread_radius);
  return 1.0f - expf(-rate * dt);
}

inline bool fire_spreads(float dist, float dt, Rng& rng, const FireRules& r = FIRE)
{
  float p = spread_chance(dist, dt, r);
  return p > 0.0f && rng.unit() < p;
}

// Stones: a change of the land under them larger than this since they last
// settled topples them; smaller changes they simply follow.
constexpr float TOPPLE_CHANGE = 1.5f;
// How fast a stone sinks into lava (units per second).
constexpr float LAVA_SINK_RATE = 0.3f;

// Wraps a coordinate difference into [-128, 128) (the world is 256 across).
inline float wrap_delta(float d) { return d - 256.0f * floorf((d + 128.0f) / 256.0f); }

} // namespace living
