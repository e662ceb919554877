// Land at low quality: lit directly by the sun and the sky's ambient light,
// hazed with distance.
#include "prologue.sh"
#include "lighting.sh"
#include "land_vs.sh"

#ifdef VSH
void vsh() { land_vs(); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec3 n = land_normal(v_world);
  vec3 c = land_albedo(v_world) * surface_light(n, 1.0, 1.0);
  o_color = vec4(fade_to_sky(apply_haze(c, distance(v_world, CAMERA_POS)), v_world), 1.0);
}
#endif
