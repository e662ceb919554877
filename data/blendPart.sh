// Blend particles (smoke, dust, debris, splashes): the colour times the
// blend atlas on stage 0, accumulated as premultiplied colour and coverage.
#include "prologue.sh"
#include "fx_common.sh"
#include "particle_vs.sh"

#ifdef VSH
void vsh() { particle_vs(); }
#endif

#ifdef PSH
void psh() { fx_out_blend(v_color * texture(s0, v_uv)); }
#endif
