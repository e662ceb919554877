// Drawing the lake tentacle with the caterpillar's spline segments: a chain
// rising out of the water, swaying, bending toward what it hunts and
// whipping down when it lashes, with the caterpillar's tail as its tip.
#include "monsters_local.h"
#include "tentacle_rules.h"

using namespace mon;
using namespace tentacle;

namespace {

constexpr int POINTS = 6; // five segments
constexpr D3dColor TINT = 0xFFC8B4F0; // a violet cast over the meshes' own colours
const char* const bodies[] = {"ctrplr_body01", "ctrplr_body02", "ctrplr_body03", "ctrplr_body04"};

} // namespace

void Tentacle::render(float dt)
{
  if (rise < 0.02f) return;
  const float fx = sinf(yaw), fz = cosf(yaw); // toward its target
  const float whip = state == LASH ? sinf(PI * fminf(state_time / LASH_SECONDS, 1.0f)) : 0;
  const float t = sway + float(serialId);
  // The chain slides up out of the water as it rises; the part still under
  // the surface (its rounded foot too) is hidden by the water.
  const float base = pos[1] - (1 - rise) * LENGTH - 1;
  float p[POINTS][3];
  for (int i = 0; i < POINTS; ++i) {
    float s = float(i) / (POINTS - 1), s2 = s * s;
    float lean = s2 * (1.5f + 6 * whip);
    float side = s2 * 1.2f * sinf(t * 1.3f + s * 2.5f);
    p[i][0] = pos[0] + fx * lean + fz * side;
    p[i][2] = pos[2] + fz * lean - fx * side;
    p[i][1] = base + s * (LENGTH + 1) - s2 * 5 * whip;
  }
  Vec4f tan[POINTS];
  for (int i = 0; i < POINTS; ++i) {
    const float* a = p[i > 0 ? i - 1 : 0];
    const float* b = p[i < POINTS - 1 ? i + 1 : POINTS - 1];
    float k = (i > 0 && i < POINTS - 1) ? 0.5f : 1.0f;
    tan[i] = scaled(toward(a, b), k);
  }
  for (int i = 0; i + 1 < POINTS; ++i) {
    float r0 = 0.9f - 0.6f * i / (POINTS - 1), r1 = 0.9f - 0.6f * (i + 1) / (POINTS - 1);
    draw_segment(bodies[i % 4], p[i], p[i + 1], tan[i], tan[i + 1], r0, r1, TINT);
  }
  // The tail mesh trails behind its heading: heading down the chain puts it
  // on the tip.
  Vec4f back = normalized(scaled(tan[POINTS - 1], -1));
  draw_simple("ctrplr_tail", p[POINTS - 1], yaw_of(back), asinf(fmaxf(-1.f, fminf(1.f, back.y))), 0.8f, TINT);
}
