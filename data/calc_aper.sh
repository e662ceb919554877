// The aperture map (high quality): per cell the visible part of the sky,
// from the highest horizon in QUALITY-dependent numbers of directions, in r;
// the ground normal in gba (for the world map's light pass).
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(16, 17); }
#endif

#ifdef PSH
out vec4 o_color;
#if QUALITY == 0
const int DIRS = 4, STEPS = 6;
#elif QUALITY == 1
const int DIRS = 6, STEPS = 7;
#else
const int DIRS = 8, STEPS = 8;
#endif
float surface(vec2 p) { return texture(s0, (p + 0.5) * pc[0].xy).r; }
float ground(vec2 p) { return texture(s0, (p + 0.5) * pc[0].xy).g; }
void psh() {
  vec2 p = floor(v_uv * 256.0);
  float h0 = surface(p);
  float open = 0.0;
  for (int d = 0; d < DIRS; d++) {
    float a = (float(d) + 0.5) * 6.2831853 / float(DIRS);
    vec2 dir = vec2(cos(a), sin(a));
    float slope = 0.0, dist = 0.0;
    for (int i = 1; i <= STEPS; i++) {
      dist += float(i); // 1, 3, 6, 10, ...: denser near the cell, 36 cells at 8 steps
      slope = max(slope, (surface(p + dir * dist) - h0) / dist);
    }
    open += 1.0 - slope / sqrt(1.0 + slope * slope); // 1 - sin(horizon elevation)
  }
  float hx = ground(p - vec2(1, 0)) - ground(p + vec2(1, 0));
  float hz = ground(p - vec2(0, 1)) - ground(p + vec2(0, 1));
  vec3 n = normalize(vec3(hx, 2.0, hz));
  o_color = vec4(open / float(DIRS), n * 0.5 + 0.5);
}
#endif
