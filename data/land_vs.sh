// The land's vertex stage, shared by "land.sh" and "dr_land.sh". Far grid:
// (x, z) and the height per vertex. Near patches (INST): a 5 x 5 patch of
// (u, v) in the cell, the cell's (x, z) and its four corner heights per
// instance, interpolated bilinearly.
#ifdef VSH
#ifdef INST
in vec2 POSITION0;
in vec2 POSITION1;
in vec4 POSITION2;
#else
in vec2 POSITION0;
in float POSITION1;
#endif
out vec3 v_world;
void land_vs() {
#ifdef INST
  vec2 f = POSITION0;
  vec4 h = POSITION2;
  float y = mix(mix(h.x, h.y, f.x), mix(h.z, h.w, f.x), f.y);
  vec3 p = vec3(POSITION1.x + f.x, y, POSITION1.y + f.y);
#else
  vec3 p = vec3(POSITION0.x, POSITION1, POSITION0.y);
#endif
  v_world = p;
  gl_Position = rh_clip(mul_vc(vec4(p, 1.0), 0));
}
#endif
#ifdef PSH
in vec3 v_world;
// The land's albedo and normal at a world position: ground colour under the
// top layer, mixed when uploaded (stage 2, one texel per cell, pc[16].z =
// half a texel); the ground detail (stage 4) in two scales; the normal map
// (stage 1, four texels per cell, pc[16].w = half a texel).
vec3 land_albedo(vec3 w) {
  vec3 a = texture(s2, w.xz * pc[16].x + pc[16].z).rgb;
  vec3 d1 = texture(s4, w.xz * 0.31).rgb, d2 = texture(s4, w.xz * 0.043 + 0.37).rgb;
  return a * (d1 * 1.3 + 0.35) * (d2 * 0.8 + 0.6);
}
vec3 land_normal(vec3 w) { return normalize(texture(s1, w.xz * pc[16].x + pc[16].w).xyz * 2.0 - 1.0); }
#endif
