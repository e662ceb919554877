// The warp out of a world. Each frame redraws the previous frame's picture
// (stage 0) a little pulled into the centre, twisted and streaked along the
// radius, so that the picture streams past as in a tunnel; a light glows at
// the tunnel's end and the walls sink into deep blue.
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
  float pull = dt * (0.25 + 1.75 * t * t);
  float twist = dt * (0.5 + 3.0 * t * t) * (1.0 - clamp(r * 1.4, 0.0, 1.0));
  float c = cos(twist), s = sin(twist);
  vec2 w = vec2(c * q.x - s * q.y, s * q.x + c * q.y) * (1.0 - pull);
  // Streaks: taps further in along the radius.
  vec3 acc = vec3(0.0);
  for (int i = 0; i < 6; i++)
    acc += texture(s0, w * (1.0 - pull * 0.4 * float(i)) + 0.5).rgb;
  acc *= 1.0 / 6.0;
  // A small light at the tunnel's end, carried outwards by the flow, and
  // the tunnel's walls sinking into deep blue (the splash's text stays
  // readable over the last picture).
  float core = dt * (0.2 + 1.8 * t * t) * exp(-r * r * 60.0);
  vec3 col = acc + vec3(0.6, 0.8, 1.0) * core;
  float wall = clamp(dt * (0.3 + 2.7 * t * t) * smoothstep(0.15, 0.6, r), 0.0, 1.0);
  col = mix(col, vec3(0.04, 0.06, 0.22), wall);
  o_color = vec4(min(col, vec3(1.0)), 1.0);
}
#endif
