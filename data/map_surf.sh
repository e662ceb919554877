// World map, surface pass: ground colour (stage 0) under the top layer
// (stage 1), with the ground detail (stage 2).
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(16, 17); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec3 g = texture(s0, v_uv).rgb;
  vec4 t = texture(s1, v_uv);
  vec3 d = texture(s2, v_uv * 16.0).rgb;
  o_color = vec4(mix(g, t.rgb, t.a) * (d * 0.6 + 0.7), 1.0);
}
#endif
