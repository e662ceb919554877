// The mesh builder of meshgen: vectors, a vertex list with 16-bit indices,
// and the few primitives the models are made of. Every triangle is given
// with a direction it must face; the builder orders its corners so that it
// is front-facing (clockwise on screen, as the renderer culls) from that
// side, whatever order the primitive produced them in.
//
// Texture atlas: each model's texture is 2 x 2 swatches of one material
// each; a primitive draws with one swatch (`mat`, 0..3) and its (u, v) in
// 0..1 are mapped inside it.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

namespace meshgen {

struct V3 {
  float x = 0, y = 0, z = 0;
};
inline V3 v3(float x, float y, float z) { return V3{x, y, z}; }
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline V3 operator*(float s, V3 a) { return a * s; }
inline float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float length(V3 a) { return std::sqrt(dot(a, a)); }
inline V3 normalize(V3 a) {
  float l = length(a);
  return l > 1e-12f ? a * (1.0f / l) : V3{0, 1, 0};
}
inline V3 lerp(V3 a, V3 b, float t) { return a + (b - a) * t; }

constexpr float PI = 3.14159265358979f;

// Deterministic hash noise in -1..1 (no platform randomness).
inline float hash3(int x, int y, int z) {
  uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + (uint32_t)z * 2147483647u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (float)(h & 0xFFFFFF) / 8388607.5f - 1.0f;
}

struct Vert {
  V3 p, n;
  float u, v;
  V3 m1, m2; // morph target offsets (Morph meshes only)
};

// An affine placement: p' = o + x * p.x + y * p.y + z * p.z.
struct Frame {
  V3 o{0, 0, 0}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
  V3 point(V3 p) const { return o + x * p.x + y * p.y + z * p.z; }
  V3 dir(V3 d) const { return x * d.x + y * d.y + z * d.z; }
  // Normals under a non-uniform frame: the inverse transpose (frames here
  // are orthogonal, so scaling each axis by 1 / its length squared does).
  V3 normal(V3 n) const {
    return normalize(x * (n.x / dot(x, x)) + y * (n.y / dot(y, y)) + z * (n.z / dot(z, z)));
  }
};
inline Frame at(V3 o, float s = 1) { return Frame{o, {s, 0, 0}, {0, s, 0}, {0, 0, s}}; }
inline Frame scaled(V3 o, V3 s) { return Frame{o, {s.x, 0, 0}, {0, s.y, 0}, {0, 0, s.z}}; }
// Rotated about y by `a` radians (x towards -z for positive a), then scaled.
inline Frame turned(V3 o, float a, V3 s) {
  float c = std::cos(a), n = std::sin(a);
  return Frame{o, V3{c, 0, -n} * s.x, V3{0, 1, 0} * s.y, V3{n, 0, c} * s.z};
}
// A frame whose y axis points along `up_dir` (length = scale along it).
Frame along(V3 o, V3 up_dir, float radius);

struct Builder {
  std::vector<Vert> verts;
  std::vector<uint16_t> idx;
  int mat = 0;      // swatch 0..3
  Frame f;          // placement of the next primitives
  // Morph offsets given to the next vertices, as functions of the local
  // (pre-frame) position; null for none.
  V3 (*morph1)(V3 world) = nullptr;
  V3 (*morph2)(V3 world) = nullptr;

  // A vertex in world space (after `f`) with its normal and swatch uv.
  int vert(V3 p, V3 n, float u, float v);
  // A triangle of existing vertices, front-facing towards `facing`.
  void tri(int a, int b, int c, V3 facing);
  // Flat triangles and quads from local positions (through `f`).
  void flatTri(V3 a, V3 b, V3 c, V3 facing_local, float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1);
  void flatQuad(V3 a, V3 b, V3 c, V3 d, V3 facing_local, float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1);
  // A planar rectangle from corner `p` spanned by `du` and `dv`, facing
  // `n`, cut into nu x nv tiles that each show the whole swatch.
  void tiled(V3 p, V3 du, V3 dv, int nu, int nv, V3 n);
  // An axis-aligned box (local), each face tiled per `tile` units (0: one tile).
  void box(V3 lo, V3 hi, float tile = 0);
  // A surface of revolution about local y: `n` sides; profile points
  // (radius, y); smooth normals; caps closed where the radius is > 0 at the ends.
  void lathe(const std::vector<std::pair<float, float>>& profile, int n, bool smooth = true, bool caps = true,
             float phase = 0);
  // A sphere of radius 1 (local) with `rings` x `segs`, each vertex pushed
  // out by `lump` x noise (seeded); smooth or faceted.
  void sphere(int rings, int segs, float lump = 0, int seed = 0, bool smooth = true);
  // A tube along local z in 0..1 (the spline meshes' parameter) of circular
  // cross-section, radius r(t) x (1 + bulge), `rings` x `segs`.
  void tube(int rings, int segs, float (*radius)(float t), bool caps);
  // The bounding sphere (centre, radius) of all vertices.
  void bounds(float out[4]) const;
};

} // namespace meshgen
