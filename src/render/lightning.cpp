// Lightning bolts: a list of bolts, each a noisy curve from its start to its
// end that grows from the start during the first half of its life and
// withdraws towards the end during the second half, drawn as a camera-facing
// strip with "lightning.dds".
#include <cmath>

#include "core/log.h"
#include "core/game_rnd.h"
#include "render/effects_local.h"
#include "world/noise.h"

DynArray<Bolt*> bolts;

namespace {

float len3(const Vec4f& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

Vec4f cross3(const Vec4f& a, const Vec4f& b) {
  return Vec4f{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0};
}

Vec4f sub3(const Vec4f& a, const Vec4f& b) { return Vec4f{a.x - b.x, a.y - b.y, a.z - b.z, 0}; }

// The edge offset of point i: width x the unit normal of the plane through
// the bolt's direction there and the view ray.
Vec4f edge_offset(const Bolt& b, int i, float sx, float sz, const FxCamera& cam) {
  const BoltPoint* pts = b.points.data;
  Vec4f P = pts[i].pos;
  P.x += sx;
  P.z += sz;
  Vec4f dir = i == 0 ? sub3(pts[1].pos, pts[0].pos) : sub3(pts[i].pos, pts[0].pos);
  Vec4f n = cross3(dir, sub3(P, cam.pos));
  float l2 = n.x * n.x + n.y * n.y + n.z * n.z;
  float k = l2 > 0 ? b.width / std::sqrt(l2) : 0.0f;
  return Vec4f{n.x * k, n.y * k, n.z * k, 0};
}

float smooth_gate(float p, int i, int n) {
  float g = 20.0f * (0.5f - std::fabs(2.0f * p - float(i) / float(n - 1) - 0.5f));
  g = g < 0 ? 0 : g > 1 ? 1 : g;
  return g * g * (3 - 2 * g);
}

} // namespace

void add_lightning_fx(const Vec4f& start, const Vec4f& end_in, const Vec4f& tangent, float width, float wavelength,
                      float amplitude, float life, D3dColor color, int pointCount) {
  if (!common_fx_ready()) return;
  // The noise coordinate divides by both: a zero would make every point NaN.
  if (!(width > 0) || !(wavelength > 0)) {
    debug("FX: lightning with width %g and wavelength %g ignored", width, wavelength);
    return;
  }
  Vec4f end = end_in;
  end.x += fx_wrap_shift(end.x, start.x);
  end.z += fx_wrap_shift(end.z, start.z);
  const int n = pointCount < 3 ? 3 : pointCount;
  Bolt* b = new Bolt{};
  b->age = 0;
  b->life = life;
  b->width = width;
  b->points.resize(n);

  float w = game_rnd_frnd();
  const float ox = (2 * game_rnd_frnd() - 1) * 1000.0f;
  const float oy = (2 * game_rnd_frnd() - 1) * 1000.0f;
  const float oz = (2 * game_rnd_frnd() - 1) * 1000.0f;
  const float s = 0.0625f / width;
  const Vec4f span = sub3(sub3(end, start), tangent);
  for (int j = 0; j < n; j++) {
    const float N = float(j) / float(n - 1);
    const float q = w / (s * wavelength);
    const float bulge = amplitude * 4 * N * (1 - N);
    const float fx = fractal_noise1(4, nullptr, q + ox, 0.5f);
    const float fy = fractal_noise1(4, nullptr, q + oy, 0.5f);
    const float fz = fractal_noise1(4, nullptr, q + oz, 0.5f);
    BoltPoint& p = b->points[j];
    for (int k = 0; k < 3; k++) p.pos[k] = start[k] + tangent[k] * N + span[k] * N * N;
    p.pos.x += bulge * fx;
    p.pos.y += bulge * fy;
    p.pos.z += bulge * fz;
    p.pos.w = 1;
    p.color = color;
    if (j > 0) w += s * len3(sub3(p.pos, b->points[j - 1].pos));
    p.along = w;
  }
  b->points[0].color = 0;
  b->points[n - 1].color = 0;
  bolts.push(b);
}

void bolts_reset() {
  for (Bolt* b : bolts) delete b;
  bolts.clear();
}

void bolts_update(float dt) {
  int kept = 0;
  for (int i = 0; i < bolts.num; i++) {
    Bolt* b = bolts[i];
    b->age += dt;
    if (b->life <= b->age)
      delete b;
    else
      bolts[kept++] = b;
  }
  bolts.resize(kept);
}

void bolt_fill_segment(const Bolt& b, int i, float t, const FxCamera& cam, FxVertex* out) {
  const int n = b.points.num;
  float p = (b.age + t) / b.life;
  if (p > 1) p = 1;
  const BoltPoint* pts = b.points.data;
  const float sx = fx_wrap_shift(pts[0].pos.x, cam.pos.x), sz = fx_wrap_shift(pts[0].pos.z, cam.pos.z);
  D3dColor ca = pts[i - 1].color, cb = pts[i].color;
  if (i - 1 > 0) {
    float g = smooth_gate(p, i - 1, n);
    ca = fx_modulate(ca, Vec4f{g, g, g, g});
  }
  float g = smooth_gate(p, i, n);
  cb = fx_modulate(cb, Vec4f{g, g, g, g});
  auto put = [&](int j, float sign, D3dColor c, float v, const Vec4f& e) {
    FxVertex& o = *out++;
    o.pos[0] = pts[j].pos.x + sx + sign * e.x;
    o.pos[1] = pts[j].pos.y + sign * e.y;
    o.pos[2] = pts[j].pos.z + sz + sign * e.z;
    o.color = c;
    o.u = pts[j].along;
    o.v = v;
  };
  const Vec4f ea = edge_offset(b, i - 1, sx, sz, cam), eb = edge_offset(b, i, sx, sz, cam);
  // (A+, A-, B+) and (A-, B-, B+).
  put(i - 1, 1, ca, 0, ea);
  put(i - 1, -1, ca, 1, ea);
  put(i, 1, cb, 0, eb);
  put(i - 1, -1, ca, 1, ea);
  put(i, -1, cb, 1, eb);
  put(i, 1, cb, 0, eb);
}
