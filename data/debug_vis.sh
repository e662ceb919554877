// Debug lines and triangles in world space: the global matrix (view x
// projection) in vertex registers 0..3, a colour per vertex.
#include "prologue.sh"

#ifdef VSH
in vec3 POSITION0;
in vec4 COLOR0;
out vec4 v_colour;
void vsh() {
  gl_Position = rh_clip(mul_vc(vec4(POSITION0, 1.0), 0));
  v_colour = COLOR0;
}
#endif

#ifdef PSH
in vec4 v_colour;
out vec4 o_color;
void psh() {
  rh_alpha_test(v_colour.a);
  o_color = v_colour;
}
#endif
