// The distant horizon ring (high quality): coarse land every 4 cells beyond
// the drawn window, coloured from the ground colours under the top layer
// (stage 1, mixed when uploaded), flat shaded from the triangle's own slope,
// hazed.
#include "prologue.sh"
#include "lighting.sh"

#ifdef VSH
in vec2 POSITION0;
in float POSITION1;
out vec3 v_world;
void vsh() {
  vec3 p = vec3(POSITION0.x, POSITION1, POSITION0.y);
  v_world = p;
  gl_Position = rh_clip(mul_vc(vec4(p, 1.0), 0));
}
#endif

#ifdef PSH
in vec3 v_world;
out vec4 o_color;
void psh() {
  vec3 n = normalize(cross(dFdy(v_world), dFdx(v_world)));
  if (n.y < 0.0) n = -n;
  vec3 a = texture(s1, v_world.xz * pc[16].x + pc[16].z).rgb;
  vec3 c = a * surface_light(n, 1.0, 0.8);
  o_color = vec4(apply_haze(c, distance(v_world, CAMERA_POS)), 1.0);
}
#endif
