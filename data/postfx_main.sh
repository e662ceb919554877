// Resolve with effects: a light sharpen over the four neighbours, a soft
// shoulder for bright lava and sun, a vignette, then the frame colour pc[1]
// by its alpha.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec3 c = rh_texel(s0, v_uv).rgb;
  vec3 nb = rh_texel(s0, v_uv, ivec2(1, 0)).rgb + rh_texel(s0, v_uv, ivec2(-1, 0)).rgb +
            rh_texel(s0, v_uv, ivec2(0, 1)).rgb + rh_texel(s0, v_uv, ivec2(0, -1)).rgb;
  c = c + (c - nb * 0.25) * 0.25;
  c = c * (1.0 + c * 0.08) / (1.0 + c * 0.18);
  vec2 q = v_uv - 0.5;
  c *= 1.0 - dot(q, q) * 0.35;
  o_color = vec4(mix(c, pc[1].rgb, clamp(pc[1].a, 0.0, 1.0)), 1.0);
}
#endif
