// The warp out of a world. Each frame redraws the previous frame's picture
// (stage 0) a little pulled into the centre, twisted and streaked along the
// radius, so that the picture falls into a tunnel; a light at the tunnel's
// end grows until the screen is white.
//   pc[1].x  seconds since the last advance (0: the picture stands still)
//   pc[1].y  seconds since the warp began (about 1 at its end)
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(-1, 16); }
#endif

#ifdef PSH
out vec4 o_color;
void psh() {
  float dt = pc[1].x;
  float t = clamp(pc[1].y, 0.0, 1.0);
  vec2 q = v_uv - 0.5;
  float r = length(q);
  float pull = dt * (0.6 + 2.4 * t);
  float twist = dt * (1.5 + 4.0 * t) * (1.0 - clamp(r * 1.4, 0.0, 1.0));
  float c = cos(twist), s = sin(twist);
  vec2 w = vec2(c * q.x - s * q.y, s * q.x + c * q.y) * (1.0 - pull);
  // Streaks: taps further in along the radius.
  vec3 acc = vec3(0.0);
  for (int i = 0; i < 6; i++)
    acc += texture(s0, w * (1.0 - pull * 0.4 * float(i)) + 0.5).rgb;
  acc *= 1.0 / 6.0;
  float light = clamp(dt * 3.0 * t * t, 0.0, 1.0);
  float core = dt * (1.0 + 6.0 * t) * exp(-r * r * 24.0);
  vec3 col = mix(acc, vec3(1.0), light) + vec3(0.8, 0.9, 1.0) * core;
  o_color = vec4(min(col, vec3(1.0)), 1.0);
}
#endif
