// The 1024 x 1024 normal map from the height texture (stage 0, G = ground):
// four texels per cell, central differences one cell apart.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(16, 17); }
#endif

#ifdef PSH
out vec4 o_color;
float ground(vec2 p) { return texture(s0, (p + 0.5) * pc[0].xy).g; }
void psh() {
  vec2 p = v_uv * 256.0 - 0.125; // texel i of 1024 lies at world i / 4
  float hx = ground(p - vec2(1.0, 0.0)) - ground(p + vec2(1.0, 0.0));
  float hz = ground(p - vec2(0.0, 1.0)) - ground(p + vec2(0.0, 1.0));
  vec3 n = normalize(vec3(hx, 2.0, hz));
  o_color = vec4(n * 0.5 + 0.5, 1.0);
}
#endif
