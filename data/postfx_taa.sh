// Temporal anti-aliasing: this frame (stage 0) blended with the history
// (stage 1) reprojected through the previous frame's matrix (pc[18..21],
// taking positions relative to this frame's camera), the history clamped to
// this frame's neighbourhood so moving edges don't smear. The distance comes
// from stage 2 (gbuffer.sh); pc[17].w = the weight
// of this frame.
#include "prologue.sh"
#include "gbuffer.sh"
#include "screen_ray.sh"

#ifdef VSH
void vsh() { screen_ray_vs(); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec3 c = rh_texel(s0, v_uv).rgb;
  vec3 a = rh_texel(s0, v_uv, ivec2(1, 0)).rgb, b = rh_texel(s0, v_uv, ivec2(-1, 0)).rgb;
  vec3 e = rh_texel(s0, v_uv, ivec2(0, 1)).rgb, f = rh_texel(s0, v_uv, ivec2(0, -1)).rgb;
  vec3 lo = min(c, min(min(a, b), min(e, f))), hi = max(c, max(max(a, b), max(e, f)));
  float d = decode_distance(rh_texel(s2, v_uv));
  vec4 p = mul_pc(vec4(normalize(v_ray) * d, 1.0), 18);
  vec2 uv = p.xy / p.w * vec2(0.5, -0.5) + 0.5;
  float w = pc[17].w;
  if (p.w <= 0.0 || any(lessThan(uv, vec2(0.0))) || any(greaterThan(uv, vec2(1.0)))) w = 1.0;
  vec3 h = clamp(texture(s1, uv).rgb, lo, hi);
  o_color = vec4(mix(h, c, w), 1.0);
}
#endif
