// Full-screen passes that need the view ray of each pixel (see gbuffer.sh).
#ifdef VSH
in vec3 POSITION0;
out vec2 v_uv;
out vec3 v_ray;
void screen_ray_vs() {
  v_uv = POSITION0.xy * vc[16].xy + 0.5;
  v_ray = vc[19].xyz + POSITION0.x * vc[17].xyz + POSITION0.y * vc[18].xyz;
  gl_Position = rh_clip(vec4(POSITION0.xy, 0.0, 1.0));
}
#endif
#ifdef PSH
in vec2 v_uv;
in vec3 v_ray;
#endif
