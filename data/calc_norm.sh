// The high-quality normal map: a Sobel filter over the ground heights
// (stage 0, G) for smooth slopes, the fluid surface's normal in alpha's
// place is not needed (water and lava make their own).
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
  float a = ground(p + vec2(-1, -1)), b = ground(p + vec2(0, -1)), c = ground(p + vec2(1, -1));
  float d = ground(p + vec2(-1, 0)), f = ground(p + vec2(1, 0));
  float g = ground(p + vec2(-1, 1)), h = ground(p + vec2(0, 1)), i = ground(p + vec2(1, 1));
  float hx = (a + 2.0 * d + g) - (c + 2.0 * f + i);
  float hz = (a + 2.0 * b + c) - (g + 2.0 * h + i);
  vec3 n = normalize(vec3(hx, 8.0, hz));
  o_color = vec4(n * 0.5 + 0.5, 1.0);
}
#endif
