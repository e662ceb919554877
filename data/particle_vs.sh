// The vertex stage of both particle kinds: one instance per particle over
// the four corners of a quad (stream 0), facing the camera (vc[20] its
// right axis, vc[21] its up axis) and rolled by the instance's roll.
//   POSITION10  corner (-1 or 1 on each axis)
//   POSITION0   world position
//   POSITION1   size (the quad's width) and roll in radians
//   COLOR0      colour
//   TEXCOORD0   atlas centre (u, v), half width, negated half height
#ifdef VSH
in vec2 POSITION10;
in vec3 POSITION0;
in vec2 POSITION1;
in vec4 COLOR0;
in vec4 TEXCOORD0;
out vec4 v_color;
out vec2 v_uv;
void particle_vs() {
  float s = sin(POSITION1.y), c = cos(POSITION1.y);
  vec2 k = vec2(POSITION10.x * c - POSITION10.y * s, POSITION10.x * s + POSITION10.y * c) * (0.5 * POSITION1.x);
  vec3 p = POSITION0 + k.x * vc[20].xyz + k.y * vc[21].xyz;
  gl_Position = fx_clip(p);
  v_color = COLOR0;
  v_uv = TEXCOORD0.xy + POSITION10 * TEXCOORD0.zw;
}
#endif
#ifdef PSH
in vec4 v_color;
in vec2 v_uv;
#endif
