// The sun-shadow term of every pixel (high quality) into r: the terrain's
// sun map (stage 0, heights r and g per cell, see calc_sun_shadow_map.sh)
// times the object shadows of the cascade map (stage 11) and the top-down
// map (stage 12). Light matrices and scales from pc[20] on (shadow_maps.h);
// pc[17].xy a per-frame jitter that dithers the object-shadow lookups.
// SUN_ONLY (while no caster is in the object maps): the terrain's term alone.
#include "prologue.sh"
#include "gbuffer.sh"
#include "screen_ray.sh"

#ifdef VSH
void vsh() { screen_ray_vs(); }
#endif

#ifdef PSH
out vec4 o_color;
float object_shadow(vec3 w, float view_depth) {
  int i = view_depth < 16.0 ? 0 : view_depth < 32.0 ? 1 : view_depth < 64.0 ? 2 : 3;
  if (view_depth > pc[43].w * 512.0) return 1.0;
  vec4 l = mul_pc(vec4(w, 1.0), 20 + 4 * i);
  vec2 j = (pc[17].xy - 0.5) / vec2(textureSize(s11, 0));
  float caster = texture(s11, l.xy + j).r;
  float lit = caster > l.z + 0.05 ? 0.35 : 1.0;
  vec4 t = mul_pc(vec4(w, 1.0), 36);
  float top = texture(s12, t.xy).r;
  return lit * (top > w.y + 0.1 ? 0.6 : 1.0);
}
void psh() {
  float d = decode_distance(rh_texel(s10, v_uv));
  vec3 dir = normalize(v_ray);
  vec3 w = pc[16].xyz + dir * d;
  vec2 s = texture(s0, w.xz / 256.0 + 0.5 / 256.0).rg;
  float sun = s.g > s.r ? clamp((w.y - s.r) / (s.g - s.r), 0.0, 1.0) : step(s.r, w.y);
#ifdef SUN_ONLY
  o_color = vec4(sun, 0.0, 0.0, 1.0);
#else
  float view_depth = d * dot(dir, normalize(vc[19].xyz));
  o_color = vec4(sun * object_shadow(w, view_depth), 0.0, 0.0, 1.0);
#endif
}
#endif
