// Resolve without effects: the scene colour (stage 0) to the back buffer,
// blended toward the frame colour pc[1] by its alpha.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec3 c = rh_texel(s0, v_uv).rgb;
  o_color = vec4(mix(c, pc[1].rgb, clamp(pc[1].a, 0.0, 1.0)), 1.0);
}
#endif
