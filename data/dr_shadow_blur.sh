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
  ivec2 d = ivec2(round(pc[0].xy * vec2(textureSize(s0, 0))));
  float s = rh_texel(s0, v_uv).r * 0.36 + (rh_texel(s0, v_uv, d).r + rh_texel(s0, v_uv, -d).r) * 0.22 +
            (rh_texel(s0, v_uv, 2 * d).r + rh_texel(s0, v_uv, -2 * d).r) * 0.1;
  o_color = vec4(s, 0.0, 0.0, 1.0);
}
#endif
