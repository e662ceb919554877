// Distance-field icons: four fields per texel (alpha the silhouette, red,
// green and blue three detail layers). Colours: COLOR0 the silhouette,
// TEXCOORD1..3 the red, green and blue layers, TEXCOORD4 the second colour
// (outline, glow or shadow of the silhouette). Packed parameters in COLOR1,
// read as for text (distfield.sh); positions in pixels as for text.
#include "prologue.sh"

#ifdef VSH
in vec2 POSITION0;
in vec4 COLOR0;
in vec4 COLOR1;
in vec2 TEXCOORD0;
in vec4 TEXCOORD1;
in vec4 TEXCOORD2;
in vec4 TEXCOORD3;
in vec4 TEXCOORD4;
out vec4 v_c0;
out vec4 v_params;
out vec2 v_uv;
out vec4 v_c1;
out vec4 v_c2;
out vec4 v_c3;
out vec4 v_c4;
void vsh() {
  gl_Position = rh_clip(rh_pixel_to_clip(POSITION0, vec2(vc[16].x, -vc[16].y)));
  v_c0 = COLOR0;
  v_params = COLOR1;
  v_uv = TEXCOORD0;
  v_c1 = TEXCOORD1;
  v_c2 = TEXCOORD2;
  v_c3 = TEXCOORD3;
  v_c4 = TEXCOORD4;
}
#endif

#ifdef PSH
#include "distfield.sh"
in vec4 v_c0;
in vec4 v_params;
in vec2 v_uv;
in vec4 v_c1;
in vec4 v_c2;
in vec4 v_c3;
in vec4 v_c4;
out vec4 o_color;
void psh() {
  vec4 f = texture(s0, v_uv);
  float p1 = v_params.a;
  float second = df_second(texture(s0, v_uv - df_move(v_params)).a, v_params.b);
  vec4 c = df_over(vec4(0.0), v_c4, second);
  c = df_over(c, v_c0, df_fill(f.a, p1));
  c = df_over(c, v_c1, df_fill(f.r, p1));
  c = df_over(c, v_c2, df_fill(f.g, p1));
  c = df_over(c, v_c3, df_fill(f.b, p1));
  rh_alpha_test(c.a);
  o_color = c;
}
#endif
