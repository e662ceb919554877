// The sky backdrop: a quad 10 units in front of the camera; each pixel looks
// along its world direction. Gradient from the palette, the sun disk and its
// halo, drifting clouds from the noise texture (stage 0, point filtered).
#include "prologue.sh"
#include "lighting.sh"

#ifdef VSH
in vec3 POSITION0;
out vec3 v_world;
void vsh() {
  v_world = POSITION0;
  vec4 p = mul_vc(vec4(POSITION0, 1.0), 0);
  p.z = p.w * 0.99999; // on the far plane
  gl_Position = rh_clip(p);
}
#endif

#ifdef PSH
in vec3 v_world;
out vec4 o_color;
void psh() {
  vec3 d = normalize(v_world - CAMERA_POS);
  vec3 c = sky_gradient(d);
  float sd = dot(d, SUN_DIR);
  c += SUN_DISK * smoothstep(0.99955, 0.99975, sd);
  if (d.y > 0.0) {
    vec2 uv = d.xz / (d.y + 0.12) * 0.09 + vec2(TIME * 0.002, TIME * 0.0013);
    vec4 n = tex_bilinear(s0, uv, 256.0);
    float cover = smoothstep(0.47, 0.72, n.r * 0.75 + n.g * 0.25);
    vec3 cloud = SUN_COLOR * (0.55 + 0.45 * max(SUN_DIR.y, 0.0)) * (0.8 + 0.2 * n.b) + AMBIENT * 0.8;
    c = mix(c, cloud, cover * smoothstep(0.0, 0.12, d.y) * 0.85);
  }
  o_color = vec4(c, 1.0);
}
#endif
