// Glow particles (fire, sparks, magic): the colour times the glow atlas on
// stage 0, added as light.
#include "prologue.sh"
#include "fx_common.sh"
#include "particle_vs.sh"

#ifdef VSH
void vsh() { particle_vs(); }
#endif

#ifdef PSH
void psh() {
  vec4 c = v_color * texture(s0, v_uv);
  fx_out_glow(c.rgb * c.a);
}
#endif
