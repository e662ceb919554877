// Composites the effects target over the scene colour with premultiplied
// alpha blending: stage 0 the blend part (premultiplied colour, coverage;
// with SINGLE_RT also the glow light), stage 1 the glow light. Where blend
// particles overlap beyond full coverage their colour is averaged, not
// summed, so thick smoke does not turn white.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec4 a = texture(s0, v_uv);
  vec3 rgb = a.rgb / max(a.a, 1.0);
#ifndef SINGLE_RT
  rgb += texture(s1, v_uv).rgb;
#endif
  o_color = vec4(rgb, min(a.a, 1.0));
}
#endif
