// Land into the G-buffer (high quality): albedo, normal, distance.
#include "prologue.sh"
#include "lighting.sh"
#include "gbuffer.sh"
#include "land_vs.sh"

#ifdef VSH
void vsh() { land_vs(); }
#endif

#ifdef PSH
layout(location = 0) out vec4 o_albedo;
layout(location = 1) out vec4 o_normal;
layout(location = 2) out vec4 o_dist;
void psh() {
  o_albedo = vec4(land_albedo(v_world), 0.0);
  o_normal = vec4(land_normal(v_world) * 0.5 + 0.5, 0.0);
  o_dist = encode_distance(distance(v_world, CAMERA_POS));
}
#endif
