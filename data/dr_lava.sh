// Lava into the G-buffer (high quality): the glowing lava texture (stage 4)
// moving with the flow, crusting over where the lava is thin; emissive.
#include "prologue.sh"
#include "lighting.sh"
#include "gbuffer.sh"
#include "fluid_hq_vs.sh"

#ifdef VSH
void vsh() { fluid_vs(); }
#endif

#ifdef PSH
layout(location = 0) out vec4 o_albedo;
layout(location = 1) out vec4 o_normal;
layout(location = 2) out vec4 o_dist;
void psh() {
  vec4 l = flow_sample(s4, 0.09);
  float depth = v_extra.x / 1024.0;
  float heat = clamp(l.a * 1.2 + smoothstep(0.2, 2.0, depth) * 0.35, 0.0, 1.0);
  vec3 glow = LAVA_COLOR * (0.25 + 0.85 * heat) * (l.rgb * 0.8 + 0.4);
  o_albedo = vec4(clamp(glow * 0.25, 0.0, 1.0), 1.0);
  o_normal = vec4(0.5, 1.0, 0.5, 0.0);
  o_dist = encode_distance(distance(v_world, CAMERA_POS));
}
#endif
