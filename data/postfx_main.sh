// Resolve with effects: a light sharpen over the neighbours (pc[0].xy = one
// pixel), a soft shoulder for bright lava and sun, a vignette, then the
// frame colour pc[1] by its alpha.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec2 px = pc[0].xy;
  vec3 c = texture(s0, v_uv).rgb;
  vec3 nb = texture(s0, v_uv + vec2(px.x, 0)).rgb + texture(s0, v_uv - vec2(px.x, 0)).rgb +
            texture(s0, v_uv + vec2(0, px.y)).rgb + texture(s0, v_uv - vec2(0, px.y)).rgb;
  c = c + (c - nb * 0.25) * 0.25;
  c = c * (1.0 + c * 0.08) / (1.0 + c * 0.18);
  vec2 q = v_uv - 0.5;
  c *= 1.0 - dot(q, q) * 0.35;
  o_color = vec4(mix(c, pc[1].rgb, clamp(pc[1].a, 0.0, 1.0)), 1.0);
}
#endif
