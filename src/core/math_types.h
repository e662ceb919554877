// Plain native math and colour types shared by every subsystem: the 2D point
// of the terrain generators, the four-float vector that scripts know as vec4f,
// and the packed 32-bit colour. Plain structs only (no constructors with
// side effects): they are copied as bytes, stored in grids and crossed over
// to the game-object module.
#pragma once
#include <cstdint>

// A position or direction on the ground plane: x, then z (y is up).
struct Point2 {
  float x, z;
};

// Four packed floats (x, y, z, w); 16 bytes, the layout of the script type vec4f.
// As a colour: x = red, y = green, z = blue, w = alpha, each 0..1.
struct alignas(16) Vec4f {
  float x, y, z, w;

  float& operator[](int i) { return (&x)[i]; }
  float operator[](int i) const { return (&x)[i]; }
};

// Packed colour: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7.
using D3dColor = uint32_t;

inline constexpr D3dColor make_d3d_color(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}
inline constexpr uint32_t d3d_color_a(D3dColor c) { return c >> 24; }
inline constexpr uint32_t d3d_color_r(D3dColor c) { return (c >> 16) & 255; }
inline constexpr uint32_t d3d_color_g(D3dColor c) { return (c >> 8) & 255; }
inline constexpr uint32_t d3d_color_b(D3dColor c) { return c & 255; }

// Unpacks to (red, green, blue, alpha) / 255.
inline Vec4f d3d_color_to_vec4f(D3dColor c) {
  const float k = 1.0f / 255.0f;
  return Vec4f{d3d_color_r(c) * k, d3d_color_g(c) * k, d3d_color_b(c) * k, d3d_color_a(c) * k};
}

// Each component clamped to 0..1, scaled by 255 and rounded to nearest
// (x -> red, y -> green, z -> blue, w -> alpha). NaN counts as 0.
inline D3dColor vec4f_to_d3d_color(const Vec4f& v) {
  auto byte = [](float f) -> uint32_t {
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return 255;
    return (uint32_t)(f * 255.0f + 0.5f);
  };
  return make_d3d_color(byte(v.w), byte(v.x), byte(v.y), byte(v.z));
}
