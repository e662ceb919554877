// Water at low quality: the blended level per vertex, foam in TEXCOORD1.
// Depth from the ground height (stage 1, G), ripples from the noise texture
// (stage 2), sky reflection by Fresnel, sun glint, foam from the detail
// texture (stage 3); alpha blended over the bottom.
#include "prologue.sh"
#include "lighting.sh"

#include "fluid_lq_vs.sh"

#ifdef VSH
void vsh() { fluid_vs(); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  vec2 cell = v_world.xz * pc[16].x + pc[16].z;
  float depth = v_world.y - texture(s1, cell).g;
  vec2 r1 = texture(s2, v_world.xz * 0.05 + vec2(TIME * 0.011, TIME * 0.007)).rg;
  vec2 r2 = texture(s2, v_world.xz * 0.13 - vec2(TIME * 0.017, -TIME * 0.005)).gb;
  vec3 n = normalize(vec3((r1.x + r2.x - 1.0) * 0.35, 1.0, (r1.y + r2.y - 1.0) * 0.35));
  vec3 v = normalize(v_world - CAMERA_POS);
  vec3 rd = reflect(v, n);
  float fres = 0.03 + 0.97 * pow(1.0 - max(dot(-v, n), 0.0), 5.0);
  vec3 body = WATER_COLOR * surface_light(vec3(0, 1, 0), 1.0, 1.0) * 1.4;
  vec3 c = mix(body, sky_gradient(rd), fres);
  c += SUN_DISK * 0.25 * pow(max(dot(rd, SUN_DIR), 0.0), 180.0);
  float foam = clamp(v_extra, 0.0, 1.0) * texture(s3, v_world.xz * 0.25 + TIME * 0.02).a;
  c = mix(c, surface_light(vec3(0, 1, 0), 1.0, 1.0), foam * 0.8);
  float a = clamp(0.35 + depth * 0.6, 0.35, 0.92);
  a = max(a, fres);
  o_color = vec4(fade_to_sky(apply_haze(c, distance(v_world, CAMERA_POS)), v_world), max(a, foam));
}
#endif
