// The high-quality normal map from the ground heights (stage 0, G): central
// differences 1.5 cells apart, whose bilinear taps smooth the cell grid
// away (water and lava make their own normals).
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(16, 17); }
#endif

#ifdef PSH
out vec4 o_color;
float ground(vec2 p) { return texture(s0, (p + 0.5) * pc[0].xy).g; }
void psh() {
  vec2 p = v_uv * 256.0 - 0.125;
  float hx = ground(p - vec2(1.5, 0.0)) - ground(p + vec2(1.5, 0.0));
  float hz = ground(p - vec2(0.0, 1.5)) - ground(p + vec2(0.0, 1.5));
  vec3 n = normalize(vec3(hx, 3.0, hz));
  o_color = vec4(n * 0.5 + 0.5, 1.0);
}
#endif
