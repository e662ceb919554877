// World map, water pass: the 257 x 257 vertex grid over the whole map, with
// the signed fluid depth and the foam per vertex; water blue, lava glowing,
// more opaque where deeper.
#include "prologue.sh"

#ifdef VSH
in vec2 POSITION0;
in vec2 TEXCOORD0;
out vec2 v_fluid;
void vsh() {
  v_fluid = TEXCOORD0;
  gl_Position = rh_clip(vec4(POSITION0.x / 128.0 - 1.0, 1.0 - POSITION0.y / 128.0, 0.0, 1.0));
}
#endif

#ifdef PSH
in vec2 v_fluid;
out vec4 o_color;
void psh() {
  float d = v_fluid.x;
  float a = smoothstep(0.01, 0.3, abs(d)) * (0.55 + 0.4 * clamp(abs(d) * 0.2, 0.0, 1.0));
  vec3 water = mix(vec3(0.10, 0.30, 0.55), vec3(0.02, 0.10, 0.30), clamp(d * 0.15, 0.0, 1.0));
  water = mix(water, vec3(0.85, 0.9, 0.95), clamp(v_fluid.y, 0.0, 1.0) * 0.5);
  vec3 lava = vec3(1.0, 0.45, 0.08);
  o_color = vec4(d > 0.0 ? water : lava, a);
}
#endif
