// Trails: a static table of 4,000 ribbon slots with a free list, each a ring
// of 16 points (newest first when walked), simulated at the step rate and
// drawn as a head sprite plus a ribbon of two triangles per point pair.
//
// Invariant: a slot is free exactly when its count is 0, and then it is on
// the free list (linked through next_free, -1 at the end).
#include <cmath>

#include "core/log.h"
#include "render/effects_local.h"

TrailFx trail_fx[MAX_TRAIL_FX];

namespace {

int free_head = -1;

ColorRamp make_default_ramp() {
  // "fadeInOut" from 0 through 1 to 0, fade-in 0.75, fade-out 0.01.
  ColorRamp r;
  const float fade_in = 0.75f, fade_out = 0.01f;
  for (int i = 0; i < ColorRamp::NUM_ENTRIES; i++) {
    float t = i / 256.0f, v = 1;
    if (t < fade_in) {
      float s = t / fade_in;
      v = s * s * (3 - 2 * s);
    } else if (t > 1 - fade_out) {
      float s = (t - (1 - fade_out)) / fade_out;
      v = 1 - s * s * (3 - 2 * s);
    }
    r.entry[i] = Vec4f{v, v, v, v};
  }
  return r;
}
const ColorRamp default_ramp = make_default_ramp();

bool in_range(int i) { return i >= 0 && i < MAX_TRAIL_FX; }

// Back to the slot table's defaults (colour and head size stay), then on
// the free list.
void free_slot(int i) {
  TrailFx& tr = trail_fx[i];
  tr.ramp = &default_ramp;
  tr.count = 0;
  tr.newest = 0;
  tr.alongScale = 1;
  tr.alongSpeed = 0;
  tr.alongOffset = 0;
  tr.edge1 = 0;
  tr.edge2 = 0.25f;
  tr.stop = false;
  tr.next_free = free_head;
  free_head = i;
}

D3dColor ramp_color(D3dColor c, const ColorRamp* r, float t) { return fx_modulate(c, r->get(t)); }

} // namespace

const ColorRamp& default_trail_ramp = default_ramp;

void trails_reset() {
  free_head = -1;
  for (int i = MAX_TRAIL_FX - 1; i >= 0; i--) free_slot(i);
}

// Internal: also starts a trail in a slot just taken off the free list.
static void add_point(int index, const Vec4f& a, const Vec4f& vel, const Vec4f& side) {
  TrailFx& tr = trail_fx[index];
  int former = tr.newest;
  tr.newest = (tr.newest + TRAIL_POINTS - 1) % TRAIL_POINTS;
  TrailPoint& p = tr.points[tr.newest];
  if (tr.count == 0) {
    tr.count = 1;
    p.pos = p.prev = a;
  } else {
    if (tr.count < TRAIL_POINTS) tr.count++;
    const Vec4f ref = tr.points[former].prev;
    p.prev = ref;
    p.pos = a;
    p.pos.x += fx_wrap_shift(a.x, ref.x);
    p.pos.z += fx_wrap_shift(a.z, ref.z);
  }
  p.vel = vel;
  p.side = side;
  p.color = tr.color;
}

void add_trail_point(int index, const Vec4f& a, const Vec4f& vel, const Vec4f& side) {
  // A point in a free slot would make it live while it is still on the free
  // list: drawn as a stray trail, and a fatal assertion once it is handed
  // out. A stale index (its trail faded or was killed) is therefore ignored.
  if (in_range(index) && trail_fx[index].isAlive()) add_point(index, a, vel, side);
}

int add_trail_fx(const Vec4f& pos, const Vec4f& vel, const Vec4f& side, float headSize, D3dColor color) {
  if (!common_fx_ready() || free_head < 0) return -1;
  int i = free_head;
  TrailFx& tr = trail_fx[i];
  ASSERT(!tr.isAlive());
  free_head = tr.next_free;
  tr.headSize = headSize;
  tr.color = color;
  tr.stop = false;
  add_point(i, pos, vel, side);
  return i;
}

void set_trail_color(int index, D3dColor color) {
  if (in_range(index)) trail_fx[index].color = color;
}

void set_trail_ramp(int index, const ColorRamp* ramp) {
  if (in_range(index)) trail_fx[index].ramp = ramp ? ramp : &default_ramp;
}

void set_trail_tc(int index, float alongScale, float alongSpeed, float alongOffset, float edge1, float edge2) {
  if (!in_range(index)) return;
  TrailFx& tr = trail_fx[index];
  tr.alongScale = alongScale;
  tr.alongSpeed = alongSpeed;
  tr.alongOffset = alongOffset;
  tr.edge1 = edge1;
  tr.edge2 = edge2;
}

void stop_trail_fx(int index) {
  if (in_range(index) && trail_fx[index].count > 0) trail_fx[index].stop = true;
}

void kill_trail_fx(int index) {
  if (in_range(index) && trail_fx[index].count > 0) free_slot(index);
}

void trails_update(float dt) {
  for (int i = 0; i < MAX_TRAIL_FX; i++) {
    TrailFx& tr = trail_fx[i];
    if (tr.count <= 0) continue;
    if (tr.stop && --tr.count == 0) {
      free_slot(i);
      continue;
    }
    tr.alongOffset += tr.alongSpeed * dt;
    const Vec4f& head = tr.points[tr.newest].pos;
    float sx = std::fmod(head.x, 256.0f), sz = std::fmod(head.z, 256.0f);
    if (sx < 0) sx += 256.0f;
    if (sz < 0) sz += 256.0f;
    sx -= head.x;
    sz -= head.z;
    for (int k = 0; k < tr.count; k++) {
      TrailPoint& p = tr.points[(tr.newest + k) % TRAIL_POINTS];
      p.prev = p.pos;
      p.prev.x += sx;
      p.prev.z += sz;
      for (int c = 0; c < 3; c++) p.pos[c] += p.vel[c] * dt;
      p.pos.x += sx;
      p.pos.z += sz;
    }
  }
}

int trail_fill(int index, float f, const FxCamera& cam, FxVertex* out) {
  const TrailFx& tr = trail_fx[index];
  const int n = tr.count;
  if (n <= 0) return 0;
  Vec4f pts[TRAIL_POINTS];
  for (int k = 0; k < n; k++) {
    const TrailPoint& p = tr.points[(tr.newest + k) % TRAIL_POINTS];
    for (int c = 0; c < 3; c++) pts[k][c] = p.prev[c] + (p.pos[c] - p.prev[c]) * f;
  }
  float sx = fx_wrap_shift(pts[0].x, cam.pos.x), sz = fx_wrap_shift(pts[0].z, cam.pos.z);
  for (int k = 0; k < n; k++) {
    pts[k].x += sx;
    pts[k].z += sz;
  }
  int w = 0;
  auto put = [&](const Vec4f& p, D3dColor c, float u, float v) {
    FxVertex& o = out[w++];
    o.pos[0] = p.x;
    o.pos[1] = p.y;
    o.pos[2] = p.z;
    o.color = c;
    o.u = u;
    o.v = v;
  };
  if (tr.headSize > 0) {
    const Vec4f& P = pts[0];
    D3dColor c = tr.points[tr.newest].color;
    Vec4f R, U;
    for (int k = 0; k < 4; k++) {
      R[k] = cam.right[k] * tr.headSize;
      U[k] = cam.up[k] * tr.headSize;
    }
    auto corner = [&](float a, float b) {
      return Vec4f{P.x + a * R.x + b * U.x, P.y + a * R.y + b * U.y, P.z + a * R.z + b * U.z, 1};
    };
    put(corner(-1, 1), c, 0, 0.25f);
    put(corner(-1, -1), c, 0, 0.5f);
    put(corner(1, 1), c, 0.125f, 0.25f);
    put(corner(-1, -1), c, 0, 0.5f);
    put(corner(1, -1), c, 0.125f, 0.5f);
    put(corner(1, 1), c, 0.125f, 0.25f);
  }
  if (n < 2) return w;
  const float dt = tr.alongScale / 16.0f;
  float t = (tr.alongSpeed * 0.05f + dt) * f + tr.alongOffset;
  Vec4f Bp, Bm;
  D3dColor Bc = 0;
  float Bt = t;
  for (int k = 0; k < n; k++) {
    const TrailPoint& src = tr.points[(tr.newest + k) % TRAIL_POINTS];
    Vec4f Ap, Am;
    for (int c = 0; c < 3; c++) {
      Ap[c] = pts[k][c] + src.side[c];
      Am[c] = pts[k][c] - src.side[c];
    }
    D3dColor Ac = 0;
    if (k > 0 && k < n - 1) Ac = ramp_color(src.color, tr.ramp, float(n - k) / float(n - 1));
    float At = t + dt * k;
    if (k > 0) {
      // Older pair A, newer pair B: (B+, B-, A+) and (B-, A-, A+).
      put(Bp, Bc, Bt, tr.edge1);
      put(Bm, Bc, Bt, tr.edge2);
      put(Ap, Ac, At, tr.edge1);
      put(Bm, Bc, Bt, tr.edge2);
      put(Am, Ac, At, tr.edge2);
      put(Ap, Ac, At, tr.edge1);
    }
    Bp = Ap;
    Bm = Am;
    Bc = Ac;
    Bt = At;
  }
  return w;
}
