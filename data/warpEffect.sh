// The warp out of a world: the grabbed scene (stage 0) swirled and pulled
// toward the centre as the accumulated time pc[1].y grows, fading to white.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  float t = pc[1].y;
  vec2 q = v_uv - 0.5;
  float r = length(q);
  float a = t * 6.0 * (1.0 - r);
  vec2 s = vec2(cos(a) * q.x - sin(a) * q.y, sin(a) * q.x + cos(a) * q.y) * (1.0 - 0.6 * t) + 0.5;
  vec3 c = texture(s0, s).rgb;
  o_color = vec4(mix(c, vec3(1.0), clamp(t * t, 0.0, 1.0)), 1.0);
}
#endif
