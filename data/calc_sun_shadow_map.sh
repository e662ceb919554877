// The sun's shadow over the terrain (high quality), one texel per cell. For
// the steepest occluder towards the sun (pc[0].xy: the horizontal direction
// per texel; pc[0].z, pc[0].w: the slopes of the sun disk's upper and lower
// edges) it stores two heights: below r the whole disk is hidden, above g
// all of it is visible; in between the visible part grows linearly. The
// clear values (-65000, -64000) and (64000, 65000) mean "all lit" and "all
// shadowed".
#include "prologue.sh"
#include "quad_vs.sh"

#ifdef VSH
void vsh() { quad_vs(16, 17); }
#endif

#ifdef PSH
out vec4 o_color;
float surface(vec2 uv) { return texture(s0, uv).r; }
void psh() {
  vec2 uv = (floor(v_uv * 256.0) + 0.5) / 256.0;
  float h0 = surface(uv);
  vec2 dir = pc[0].xy;
  float best = -1e9, at = 1.0, dist = 0.0;
  for (int i = 1; i <= 48; i++) {
    dist += i <= 32 ? 1.0 : 4.0; // near cells one by one, then a coarse reach to 96 cells
    float s = (surface(uv + dir * dist) - h0) / dist;
    if (s > best) {
      best = s;
      at = dist;
    }
  }
  float hi = pc[0].z, lo = pc[0].w;
  o_color = vec4(h0 + (best - hi) * at, h0 + (best - lo) * at, 0.0, 1.0);
}
#endif
