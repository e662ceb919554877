// Deterministic hashing and tileable value noise of the texture generators
// (fixed constants, no platform randomness: the same bytes on every machine).
#pragma once
#include <cmath>
#include <cstdint>

namespace tile_noise {

inline uint32_t hash3(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  return h;
}
// 0..1 for a lattice point.
inline float hashf(int x, int y, uint32_t seed) {
  return (hash3(uint32_t(x), uint32_t(y), seed) & 0xFFFFFF) / float(0xFFFFFF);
}
inline float smooth(float t) { return t * t * (3.0f - 2.0f * t); }
inline float clamp01(float x) { return x < 0 ? 0 : x > 1 ? 1 : x; }

// Value noise, 0..1, on a lattice of period `px` x `py` cells over (u, v) in 0..1.
inline float value_noise(float u, float v, int px, int py, uint32_t seed) {
  float x = u * px, y = v * py;
  int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  float fx = smooth(x - x0), fy = smooth(y - y0);
  auto at = [&](int i, int j) { return hashf(((i % px) + px) % px, ((j % py) + py) % py, seed); };
  float a = at(x0, y0), b = at(x0 + 1, y0), c = at(x0, y0 + 1), d = at(x0 + 1, y0 + 1);
  return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

// Fractal sum, 0..1, of square lattices with periods base, 2 base, ...
inline float fbm(float u, float v, int base, int octaves, uint32_t seed) {
  float sum = 0, amp = 0.5f, norm = 0;
  for (int o = 0; o < octaves; o++) {
    sum += amp * value_noise(u, v, base << o, base << o, seed + 101u * o);
    norm += amp;
    amp *= 0.5f;
  }
  return sum / norm;
}

} // namespace tile_noise
