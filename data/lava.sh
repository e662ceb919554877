// Lava at low quality: the blended level per vertex, the lava depth in
// TEXCOORD1. Molten glow from the palette's lava colour, moving with the
// noise texture (stage 2); thin lava crusts over and darkens.
#include "prologue.sh"
#include "lighting.sh"

#include "fluid_lq_vs.sh"

#ifdef VSH
void vsh() { fluid_vs(); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec4 n1 = texture(s2, v_world.xz * 0.04 + vec2(TIME * 0.006, TIME * 0.004));
  vec4 n2 = texture(s2, v_world.xz * 0.15 - vec2(TIME * 0.01, TIME * 0.013));
  float heat = clamp(n1.r * 1.2 + n2.g * 0.6 - 0.45, 0.0, 1.0);
  float crust = smoothstep(0.15, 0.9, n2.r * 0.7 + n1.b * 0.5) * (1.0 - smoothstep(0.0, 1.5, v_extra) * 0.6);
  vec3 glow = LAVA_COLOR * (0.35 + 0.9 * heat);
  vec3 rock = vec3(0.09, 0.05, 0.04) * surface_light(vec3(0, 1, 0), 1.0, 1.0);
  vec3 c = mix(glow, rock + glow * 0.15, crust * 0.7);
  o_color = vec4(c, 1.0); // emissive: no haze dims its glow much
}
#endif
