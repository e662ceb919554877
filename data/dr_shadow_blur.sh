// Softens the shadow term (stage 0) along pc[0].xy (one pixel), in two
// passes (across, then down).
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec2 d = pc[0].xy;
  float s = texture(s0, v_uv).r * 0.36 + (texture(s0, v_uv + d).r + texture(s0, v_uv - d).r) * 0.22 +
            (texture(s0, v_uv + 2.0 * d).r + texture(s0, v_uv - 2.0 * d).r) * 0.1;
  o_color = vec4(s, 0.0, 0.0, 1.0);
}
#endif
