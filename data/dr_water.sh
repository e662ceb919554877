// Water into the G-buffer (high quality): the bottom seen through the water
// (the albedo copy on stage 8) tinted by depth, foam moving with the flow
// (stage 4), ripples from the detail bumps (stage 3) at the flow coordinates;
// marked reflective for the lighting pass.
#include "prologue.sh"
#include "lighting.sh"
#include "fluid_hq_vs.sh"

#ifdef VSH
void vsh() { fluid_vs(); }
#endif

#ifdef PSH
layout(location = 0) out vec4 o_albedo;
layout(location = 1) out vec4 o_normal;
void psh() {
  float ground = texture(s1, v_world.xz * pc[16].x + pc[16].z).g;
  float depth = max(v_world.y - ground, 0.0);
  vec2 suv = gl_FragCoord.xy / vec2(textureSize(s8, 0));
  vec3 bottom = texture(s8, suv).rgb;
  float clear = exp(-depth * 0.45);
  vec3 body = WATER_COLOR * 1.6;
  vec3 c = mix(body, bottom * vec3(0.75, 0.9, 0.95), clear);
  float foam = flow_sample(s4, 0.11).a * clamp(v_extra.x / 256.0, 0.0, 1.0) * 1.5;
  foam = clamp(foam + smoothstep(0.6, 0.0, depth) * 0.25 * flow_sample(s4, 0.23).a, 0.0, 1.0);
  c = mix(c, vec3(0.9, 0.93, 0.95), foam);
  float b0 = flow_sample(s3, 0.19).a, b1 = flow_sample(s3, 0.47).a;
  vec3 n = normalize(vec3((b0 - 0.5) * 0.5 + (b1 - 0.5) * 0.3, 1.0, (b1 - b0) * 0.4));
  o_albedo = vec4(c, 0.0);
  o_normal = vec4(n * 0.5 + 0.5, foam > 0.5 ? 0.0 : 1.0);
}
#endif
