// Softens the sun map across the sun's direction (pc[0].xy: one texel
// sideways), so shadow edges don't follow the cell grid.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 17); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec2 d = pc[0].xy;
  vec4 s = texture(s0, v_uv) * 0.4 + (texture(s0, v_uv + d) + texture(s0, v_uv - d)) * 0.2 +
           (texture(s0, v_uv + 2.0 * d) + texture(s0, v_uv - 2.0 * d)) * 0.1;
  o_color = s;
}
#endif
