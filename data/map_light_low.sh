// World map, light pass at low quality: the newest normal map (stage 0) lit
// from the north-west, multiplied onto the map.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(16, 17); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec3 n = texture(s0, v_uv).xyz * 2.0 - 1.0;
  float l = 0.45 + 0.75 * max(dot(normalize(n), normalize(vec3(-0.5, 0.8, -0.4))), 0.0);
  o_color = vec4(vec3(l), 1.0);
}
#endif
