// A screen image (stage 0) blended over the target with the alpha pc[0].a,
// tinted by pc[0].rgb.
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() { o_color = vec4(texture(s0, v_uv).rgb * pc[0].rgb, pc[0].a); }
#endif
