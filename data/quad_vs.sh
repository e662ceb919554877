// The vertex stage of full-target passes drawn with draw_postfx: the quad's
// corners are clip positions; vc[16] maps them to the drawn region
// (xy scale, zw offset) and vc[17].xy to texture coordinates (0, 0 at the
// top-left). The half-texel terms of the constants are not used on GL.
#ifdef VSH
in vec3 POSITION0;
out vec2 v_uv;
void quad_vs(int region, int uvreg) {
  v_uv = POSITION0.xy * vc[uvreg].xy + 0.5;
  vec2 p = region >= 0 ? POSITION0.xy * vc[region].xy + vc[region].zw : POSITION0.xy;
  gl_Position = rh_clip(vec4(p, 0.0, 1.0));
}
#endif
#ifdef PSH
in vec2 v_uv;
#endif
