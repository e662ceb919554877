// World map, light pass at high quality: the newest aperture map (stage 0:
// r = sky visibility, gba = the normal) multiplied onto the map.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(16, 17); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec4 a = texture(s0, v_uv);
  vec3 n = normalize(a.gba * 2.0 - 1.0);
  float l = (0.35 + 0.7 * max(dot(n, normalize(vec3(-0.5, 0.8, -0.4))), 0.0)) * (0.5 + 0.6 * a.r);
  o_color = vec4(vec3(l), 1.0);
}
#endif
