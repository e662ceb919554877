// Distance-field text. Positions arrive in pixels; vertex register 16 holds
// (2 / width, -2 / height, -1 - 0.5 / width, 1 + 0.5 / height), of which only
// the scale is used (GL samples pixel centres without the half-pixel move).
// The atlas alpha is the field: 0.5 on the edge, one screen pixel is
// 1 / (2 r) of it with r the spread in pixels.
// Packed parameters (TEXCOORD1): a = p1, the fill ramps from p1 to 1 - p1;
// r, g = 0.5 - 32 x the move of the second colour in atlas units; b = p4,
// where the second colour starts.
#include "prologue.sh"

#ifdef VSH
in vec2 POSITION0;
in vec4 COLOR0;
in vec4 COLOR1;
in vec2 TEXCOORD0;
in vec4 TEXCOORD1;
out vec4 v_colour;
out vec4 v_colour2;
out vec2 v_uv;
out vec4 v_params;
void vsh() {
  gl_Position = rh_clip(rh_pixel_to_clip(POSITION0, vec2(vc[16].x, -vc[16].y)));
  v_colour = COLOR0;
  v_colour2 = COLOR1;
  v_uv = TEXCOORD0;
  v_params = TEXCOORD1;
}
#endif

#ifdef PSH
#include "distfield.sh"
in vec4 v_colour;
in vec4 v_colour2;
in vec2 v_uv;
in vec4 v_params;
out vec4 o_color;
void psh() {
  float fill = df_fill(texture(s0, v_uv).a, v_params.a);
  float second = df_second(texture(s0, v_uv - df_move(v_params)).a, v_params.b);
  vec4 c = df_over(vec4(0.0), v_colour2, second);
  c = df_over(c, v_colour, fill);
  rh_alpha_test(c.a);
  o_color = c;
}
#endif
