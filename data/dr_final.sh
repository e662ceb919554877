// Composition (high quality): the lit scene (stage 11) hazed with its
// distance (stage 10) from the camera (pc[16]).
#include "prologue.sh"
#include "lighting.sh"
#include "gbuffer.sh"
#include "screen_ray.sh"

#ifdef VSH
void vsh() { screen_ray_vs(); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec3 c = rh_texel(s11, v_uv).rgb;
  float d = decode_distance(rh_texel(s10, v_uv));
  o_color = vec4(apply_haze(c, d), 1.0);
}
#endif
