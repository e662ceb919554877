// The bitmap font and its rectangles. c16.xy: 2 / screen size, c17.xy: the
// texel size of font.tga (positions and texture coordinates arrive in
// pixels and texels).
#include "prologue.sh"

#ifdef VSH
in vec2 POSITION0;
in vec4 COLOR0;
in vec2 TEXCOORD0;
out vec4 v_color;
out vec2 v_uv;
void vsh() {
  gl_Position = rh_clip(rh_pixel_to_clip(POSITION0, vc[16].xy));
  v_color = COLOR0;
  v_uv = TEXCOORD0 * vc[17].xy;
}
#endif

#ifdef PSH
in vec4 v_color;
in vec2 v_uv;
out vec4 o_color;
void psh() {
  vec4 c = v_color * texture(s0, v_uv);
  rh_alpha_test(c.a);
  o_color = c;
}
#endif
