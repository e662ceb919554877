// Blend of two textures of the same size: stage 0 -> stage 1 by pc[0].
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() { o_color = mix(texture(s0, v_uv), texture(s1, v_uv), pc[0]); }
#endif
