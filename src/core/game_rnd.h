// The game random generator: one 64-bit linear congruential state shared, in
// call order, by the scripts, the terrain generators and erosion, so that a
// world is reproducible from the logged seed. Each draw advances the state as
// Knuth's MMIX generator and yields the new state's high 32 bits (u below);
// u / 2^32 is the unit draw.
//
// The state itself is defined with the application's globals.
#pragma once
#include <cstdint>

extern uint64_t game_rnd_seed;

// Advances the state once; returns the raw draw u.
inline uint32_t game_rnd_next() {
  game_rnd_seed = game_rnd_seed * 6364136223846793005ull + 1442695040888963407ull;
  return (uint32_t)(game_rnd_seed >> 32);
}

// u / 2^32 as a float in [0, 1). Converting u to float can round up to 2^32
// (u >= 2^32 - 128), which would give exactly 1: such draws are held at the
// largest float below 1 so the half-open range holds.
inline float game_rnd_unit(uint32_t u) {
  float f = (float)u * 2.3283064365386963e-10f;
  return f < 1.0f ? f : 0.99999994f;
}

inline float game_rnd_frnd() { return game_rnd_unit(game_rnd_next()); }           // [0, 1)
inline float game_rnd_srnd() { return game_rnd_frnd() * 2.0f - 1.0f; }            // [-1, 1)
inline int game_rnd_hmrnd() { return (int)(game_rnd_next() & 255); }              // 0..255
inline float game_rnd_hmfrnd() { return game_rnd_frnd() * 256.0f; }               // [0, 256)
inline float game_rnd_hmsrnd() { return (game_rnd_frnd() * 2.0f - 1.0f) * 128.0f; } // [-128, 128)
inline int game_rnd_irnd() { return (int)(game_rnd_next() & 0x7FFFFFFFu); }        // 0..2^31-1
inline float game_rnd_rndf(float a, float b) { return a + game_rnd_frnd() * (b - a); }

// Uniform integer in [min(a, b), max(a, b)], both ends included; always one draw.
inline int game_rnd_rndi(int a, int b) {
  int64_t lo = a < b ? a : b;
  uint64_t span = (uint64_t)((int64_t)(a < b ? b : a) - lo) + 1; // 1 .. 2^32
  return (int)(lo + (int64_t)((span * game_rnd_next()) >> 32));
}

// floor(n * u / 2^32): a uniform index below n (n >= 0).
inline int game_rnd_index(int n) {
  return (int)(((uint64_t)(uint32_t)n * game_rnd_next()) >> 32);
}

// The state becomes n sign-extended to 64 bits; no draw.
inline void game_rnd_set_seed(int n) { game_rnd_seed = (uint64_t)(int64_t)n; }
