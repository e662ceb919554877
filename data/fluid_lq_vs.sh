// Water and lava vertices at low quality: (x, z), the blended level and one
// float in TEXCOORD1 (water foam, or lava depth).
#ifdef VSH
in vec2 POSITION0;
in float POSITION1;
in float TEXCOORD1;
out vec3 v_world;
out float v_extra;
void fluid_vs() {
  vec3 p = vec3(POSITION0.x, POSITION1, POSITION0.y);
  v_world = p;
  v_extra = TEXCOORD1;
  gl_Position = rh_clip(mul_vc(vec4(p, 1.0), 0));
}
#endif
#ifdef PSH
in vec3 v_world;
in float v_extra;
#endif
