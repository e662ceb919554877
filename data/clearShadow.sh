// Fills a shadow map (or the sun map) with the value pc[16].
#include "prologue.sh"

#ifdef VSH
in vec3 POSITION0;
void vsh() { gl_Position = rh_clip(vec4(POSITION0.xy, 0.0, 1.0)); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() { o_color = pc[16]; }
#endif
