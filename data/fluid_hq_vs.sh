// Water and lava vertices at high quality: (x, z), the blended level, two
// flow-coordinate pairs (TEXCOORD0) and two shorts (TEXCOORD1): water foam x
// 256 or lava depth x 1024, then the flow speed squared x 256.
#ifdef VSH
in vec2 POSITION0;
in float POSITION1;
in vec4 TEXCOORD0;
in vec2 TEXCOORD1;
out vec3 v_world;
out vec4 v_flow;
out vec2 v_extra;
void fluid_vs() {
  vec3 p = vec3(POSITION0.x, POSITION1, POSITION0.y);
  v_world = p;
  v_flow = TEXCOORD0;
  v_extra = TEXCOORD1;
  gl_Position = rh_clip(mul_vc(vec4(p, 1.0), 0));
}
#endif
#ifdef PSH
in vec3 v_world;
in vec4 v_flow;
in vec2 v_extra;
// A texture sampled at both flow pairs, blended by pc[12].x (the reset
// cycle's weight, so each pair fades out before it jumps).
vec4 flow_sample(sampler2D s, float scale) {
  return mix(texture(s, v_flow.zw * scale), texture(s, v_flow.xy * scale), clamp(pc[12].x, 0.0, 1.0));
}
#endif
