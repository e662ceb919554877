// Shared by every shader (#include "prologue.sh" first): the device's
// constant blocks and state, the samplers, the clip-space fix-ups of the
// vertex stage and the alpha test of the pixel stage.
//
// vc[] / pc[] are the vertex and pixel constant registers; a matrix is four
// registers holding its rows (row-vector convention: p * M).
layout(std140) uniform VsConsts { vec4 vc[256]; };
layout(std140) uniform PsConsts { vec4 pc[224]; };
// x: clip-y factor (-1 while drawing into a texture), y: alpha-test
// reference (negative when off), z > 0.5: depth must be remapped to -w..w.
layout(std140) uniform DeviceState { vec4 rh_state; };

uniform sampler2D s0, s1, s2, s3, s4, s5, s6, s7;
uniform sampler2D s8, s9, s10, s11, s12, s13, s14, s15;

// p * M for the matrix in vertex registers r .. r+3.
vec4 mul_vc(vec4 p, int r) {
  return p.x * vc[r] + p.y * vc[r + 1] + p.z * vc[r + 2] + p.w * vc[r + 3];
}
vec3 mul_vc3(vec3 v, int r) { return v.x * vc[r].xyz + v.y * vc[r + 1].xyz + v.z * vc[r + 2].xyz; }
vec4 mul_pc(vec4 p, int r) {
  return p.x * pc[r] + p.y * pc[r + 1] + p.z * pc[r + 2] + p.w * pc[r + 3];
}

#ifdef VSH
// Every vertex shader passes its clip position through here: render targets
// are drawn upside down, and without clip control depth 0..1 becomes -w..w.
vec4 rh_clip(vec4 p) {
  p.y *= rh_state.x;
  if (rh_state.z > 0.5) p.z = 2.0 * p.z - p.w;
  return p;
}
// Pixels from the top-left corner to clip space, with the scale in
// (sx, sy) = (2 / width, 2 / height); the half-pixel term of the constants
// is not used, so pixel centres stay exact.
vec4 rh_pixel_to_clip(vec2 p, vec2 s) { return vec4(p.x * s.x - 1.0, 1.0 - p.y * s.y, 0.0, 1.0); }
#endif

#ifdef PSH
// For screen passes (uv at the pixel centres of a target of the texture's
// size): the texel under the pixel, moved by `off` whole texels and clamped
// to the edge. The value texture() gives there, without the filtering work,
// which costs a software rasterizer several times the fetch.
vec4 rh_texel(sampler2D s, vec2 uv, ivec2 off) {
  ivec2 n = textureSize(s, 0);
  return texelFetch(s, clamp(ivec2(uv * vec2(n)) + off, ivec2(0), n - 1), 0);
}
vec4 rh_texel(sampler2D s, vec2 uv) { return rh_texel(s, uv, ivec2(0)); }
void rh_alpha_test(float a) {
  if (a < rh_state.y) discard;
}
#endif
