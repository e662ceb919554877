// Lighting of the G-buffer (high quality) into the lit scene: sun light
// times the shadow term (stage 11), sky light times the aperture (stage 0,
// at the pixel's cell), emission, and for water the sky's reflection and the
// sun's glint. Albedo on stage 8, normal on 9, distance on 10. With HAZED
// (dr_final.sh) the result is also hazed with its distance: lighting and
// composition in one full-screen pass.
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
  vec4 alb = rh_texel(s8, v_uv);
  vec4 nrm = rh_texel(s9, v_uv);
  vec3 n = normalize(nrm.xyz * 2.0 - 1.0);
  float d = decode_distance(rh_texel(s10, v_uv));
  vec3 v = normalize(v_ray);
  vec3 w = pc[16].xyz + v * d;
  float shadow = rh_texel(s11, v_uv).r;
  float aper = texture(s0, w.xz / 256.0 + 0.5 / 256.0).r;
  aper = clamp(aper * 1.15, 0.0, 1.0);
  vec3 c = alb.rgb * surface_light(n, shadow, aper) * (1.0 - alb.a) + alb.rgb * 4.0 * alb.a;
  if (nrm.a > 0.5) {
    vec3 r = reflect(v, n);
    float fres = 0.03 + 0.97 * pow(1.0 - max(dot(-v, n), 0.0), 5.0);
    c = mix(c, sky_gradient(r) * (0.5 + 0.5 * aper), fres);
    c += SUN_DISK * shadow * 0.3 * pow(max(dot(r, SUN_DIR), 0.0), 300.0);
  }
#ifdef HAZED
  c = apply_haze(clamp(c, 0.0, 1.0), d); // as hazing the lit scene's 8-bit target did
#endif
  o_color = vec4(c, 1.0);
}
#endif
