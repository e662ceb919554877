// Trails and lightning bolts: world-space triangles (POSITION0), colour
// times the texture on stage 0 (the glow atlas, or "lightning.dds"), added
// as light.
#include "prologue.sh"
#include "fx_common.sh"

#ifdef VSH
in vec3 POSITION0;
in vec4 COLOR0;
in vec2 TEXCOORD0;
out vec4 v_color;
out vec2 v_uv;
void vsh() {
  gl_Position = fx_clip(POSITION0);
  v_color = COLOR0;
  v_uv = TEXCOORD0;
}
#endif

#ifdef PSH
in vec4 v_color;
in vec2 v_uv;
void psh() {
  vec4 c = v_color * texture(s0, v_uv);
  fx_out_glow(c.rgb * c.a);
}
#endif
