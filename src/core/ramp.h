// Gradients of 257 entries over the parameter 0..1 (entry i stands for
// i / 256): ColorRamp holds colours (four floats r, g, b, a), FloatRamp
// scalars. The script classes ColorRamp and FloatRamp wrap these natives;
// the terrain generators and noise sums read them directly.
#pragma once
#include "core/math_types.h"

// The shared lookup rule: t * 256 <= 0 (or NaN) gives entry 0, >= 256 gives
// entry 256, anything between interpolates entries floor(256 t) and the next.
// Returns the lower index and writes the fraction towards the next entry.
inline int ramp_locate(float t, float& frac) {
  float p = t * 256.0f;
  if (!(p > 0.0f)) {
    frac = 0.0f;
    return 0;
  }
  if (p >= 256.0f) {
    frac = 0.0f;
    return 256;
  }
  int i = (int)p; // p > 0, so truncation is floor
  frac = p - (float)i;
  return i;
}

struct ColorRamp {
  static constexpr int NUM_ENTRIES = 257;
  Vec4f entry[NUM_ENTRIES];

  Vec4f get(float t) const {
    float f;
    int i = ramp_locate(t, f);
    if (f == 0.0f) return entry[i];
    const Vec4f& a = entry[i];
    const Vec4f& b = entry[i + 1];
    return Vec4f{a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f, a.z + (b.z - a.z) * f,
                 a.w + (b.w - a.w) * f};
  }
};

struct FloatRamp {
  static constexpr int NUM_ENTRIES = 257;
  float entry[NUM_ENTRIES];

  float get(float t) const {
    float f;
    int i = ramp_locate(t, f);
    if (f == 0.0f) return entry[i];
    return entry[i] + (entry[i + 1] - entry[i]) * f;
  }
};
