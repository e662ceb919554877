// The builder's primitives (see geom.h).
#include "geom.h"

#include <algorithm>

namespace meshgen {

Frame along(V3 o, V3 up_dir, float radius) {
  V3 y = up_dir;
  V3 ref = std::fabs(normalize(y).y) < 0.9f ? V3{0, 1, 0} : V3{1, 0, 0};
  V3 x = normalize(cross(ref, y)) * radius;
  V3 z = normalize(cross(x, y)) * radius;
  return Frame{o, x, y, z};
}

int Builder::vert(V3 p, V3 n, float u, float v) {
  Vert w{};
  w.p = p;
  w.n = normalize(n);
  float bu = (mat & 1) ? 0.5f : 0.0f, bv = (mat & 2) ? 0.5f : 0.0f;
  w.u = bu + 0.03f + 0.44f * std::clamp(u, 0.0f, 1.0f);
  w.v = bv + 0.03f + 0.44f * std::clamp(v, 0.0f, 1.0f);
  if (morph1) w.m1 = morph1(p);
  if (morph2) w.m2 = morph2(p);
  verts.push_back(w);
  return (int)verts.size() - 1;
}

void Builder::tri(int a, int b, int c, V3 facing) {
  V3 n = cross(verts[b].p - verts[a].p, verts[c].p - verts[a].p);
  if (dot(n, facing) < 0) std::swap(b, c);
  idx.push_back((uint16_t)a);
  idx.push_back((uint16_t)b);
  idx.push_back((uint16_t)c);
}

void Builder::flatTri(V3 a, V3 b, V3 c, V3 facing_local, float u0, float v0, float u1, float v1) {
  V3 pa = f.point(a), pb = f.point(b), pc = f.point(c);
  V3 facing = f.normal(facing_local);
  V3 n = normalize(cross(pb - pa, pc - pa));
  if (dot(n, facing) < 0) n = n * -1.0f;
  int ia = vert(pa, n, u0, v1), ib = vert(pb, n, u1, v1), ic = vert(pc, n, (u0 + u1) * 0.5f, v0);
  tri(ia, ib, ic, n);
}

void Builder::flatQuad(V3 a, V3 b, V3 c, V3 d, V3 facing_local, float u0, float v0, float u1, float v1) {
  V3 pa = f.point(a), pb = f.point(b), pc = f.point(c), pd = f.point(d);
  V3 facing = f.normal(facing_local);
  V3 n = normalize(cross(pc - pa, pd - pb));
  if (dot(n, facing) < 0) n = n * -1.0f;
  // a, b, c, d go round the quad; uv (u0, v1) (u1, v1) (u1, v0) (u0, v0).
  int ia = vert(pa, n, u0, v1), ib = vert(pb, n, u1, v1), ic = vert(pc, n, u1, v0), id = vert(pd, n, u0, v0);
  tri(ia, ib, ic, n);
  tri(ia, ic, id, n);
}

void Builder::tiled(V3 p, V3 du, V3 dv, int nu, int nv, V3 n) {
  for (int j = 0; j < nv; j++)
    for (int i = 0; i < nu; i++) {
      V3 a = p + du * (float(i) / nu) + dv * (float(j) / nv);
      V3 b = a + du * (1.0f / nu), d = a + dv * (1.0f / nv), c = b + dv * (1.0f / nv);
      flatQuad(a, b, c, d, n);
    }
}

void Builder::box(V3 lo, V3 hi, float tile) {
  V3 s = hi - lo;
  auto tiles = [&](float len) { return tile > 0 ? std::max(1, (int)std::lround(len / tile)) : 1; };
  // -x, +x, -z, +z faces (u along the face, v up), then bottom and top.
  tiled(lo, {0, 0, s.z}, {0, s.y, 0}, tiles(s.z), tiles(s.y), {-1, 0, 0});
  tiled({hi.x, lo.y, lo.z}, {0, 0, s.z}, {0, s.y, 0}, tiles(s.z), tiles(s.y), {1, 0, 0});
  tiled(lo, {s.x, 0, 0}, {0, s.y, 0}, tiles(s.x), tiles(s.y), {0, 0, -1});
  tiled({lo.x, lo.y, hi.z}, {s.x, 0, 0}, {0, s.y, 0}, tiles(s.x), tiles(s.y), {0, 0, 1});
  tiled(lo, {s.x, 0, 0}, {0, 0, s.z}, tiles(s.x), tiles(s.z), {0, -1, 0});
  tiled({lo.x, hi.y, lo.z}, {s.x, 0, 0}, {0, 0, s.z}, tiles(s.x), tiles(s.z), {0, 1, 0});
}

void Builder::lathe(const std::vector<std::pair<float, float>>& prof, int n, bool smooth, bool caps, float phase) {
  int np = (int)prof.size();
  auto pos = [&](int i, int j) {
    float a = 2 * PI * j / n + phase;
    return V3{prof[i].first * std::cos(a), prof[i].second, prof[i].first * std::sin(a)};
  };
  // Outward normal of the profile at point i in the (r, y) plane.
  auto pnorm = [&](int i) {
    float dr = 0, dy = 0;
    if (i > 0) dr += prof[i].first - prof[i - 1].first, dy += prof[i].second - prof[i - 1].second;
    if (i < np - 1) dr += prof[i + 1].first - prof[i].first, dy += prof[i + 1].second - prof[i].second;
    float l = std::sqrt(dr * dr + dy * dy);
    return l > 0 ? std::pair<float, float>{dy / l, -dr / l} : std::pair<float, float>{1, 0};
  };
  if (smooth) {
    int base = (int)verts.size();
    for (int i = 0; i < np; i++)
      for (int j = 0; j <= n; j++) {
        float a = 2 * PI * j / n + phase;
        auto [nr, ny] = pnorm(i);
        V3 nl{nr * std::cos(a), ny, nr * std::sin(a)};
        vert(f.point(pos(i, j)), f.normal(nl), float(j) / n, 1.0f - float(i) / (np - 1));
      }
    for (int i = 0; i + 1 < np; i++)
      for (int j = 0; j < n; j++) {
        int a = base + i * (n + 1) + j, b = a + 1, c = a + n + 1, d = c + 1;
        V3 face = verts[a].n + verts[b].n + verts[c].n + verts[d].n;
        tri(a, b, d, face);
        tri(a, d, c, face);
      }
  } else {
    for (int i = 0; i + 1 < np; i++)
      for (int j = 0; j < n; j++) {
        float a = 2 * PI * (j + 0.5f) / n + phase;
        float dr = prof[i + 1].first - prof[i].first, dy = prof[i + 1].second - prof[i].second;
        V3 facing{dy * std::cos(a), -dr, dy * std::sin(a)};
        if (length(facing) < 1e-6f) continue;
        flatQuad(pos(i, j), pos(i, j + 1), pos(i + 1, j + 1), pos(i + 1, j), facing, float(j) / n,
                 1.0f - float(i + 1) / (np - 1), float(j + 1) / n, 1.0f - float(i) / (np - 1));
      }
  }
  if (!caps) return;
  for (int end = 0; end < 2; end++) {
    int i = end ? np - 1 : 0;
    if (prof[i].first <= 1e-5f) continue;
    V3 c{0, prof[i].second, 0};
    V3 facing{0, end ? 1.0f : -1.0f, 0};
    for (int j = 0; j < n; j++) flatTri(c, pos(i, j), pos(i, j + 1), facing, 0.3f, 0.3f, 0.7f, 0.7f);
  }
}

// Area-weighted face normals onto the vertices from `first` on.
static void smooth_normals(Builder& b, size_t first_vert, size_t first_idx) {
  for (size_t v = first_vert; v < b.verts.size(); v++) b.verts[v].n = V3{};
  for (size_t i = first_idx; i + 2 < b.idx.size(); i += 3) {
    Vert &a = b.verts[b.idx[i]], &c = b.verts[b.idx[i + 1]], &d = b.verts[b.idx[i + 2]];
    V3 n = cross(c.p - a.p, d.p - a.p);
    a.n = a.n + n;
    c.n = c.n + n;
    d.n = d.n + n;
  }
  for (size_t v = first_vert; v < b.verts.size(); v++) b.verts[v].n = normalize(b.verts[v].n);
}

void Builder::sphere(int rings, int segs, float lump, int seed, bool smooth) {
  size_t v0 = verts.size(), i0 = idx.size();
  auto local = [&](int i, int j) {
    float th = PI * i / rings, ph = 2 * PI * (j % segs) / segs;
    V3 p{std::sin(th) * std::cos(ph), -std::cos(th), std::sin(th) * std::sin(ph)};
    bool pole = i == 0 || i == rings;
    float k = 1 + lump * hash3(pole ? 0 : j % segs, i, seed);
    return p * k;
  };
  if (!smooth) {
    for (int i = 0; i < rings; i++)
      for (int j = 0; j < segs; j++) {
        V3 a = local(i, j), b = local(i, j + 1), c = local(i + 1, j + 1), d = local(i + 1, j);
        V3 facing = a + b + c + d;
        if (i == 0)
          flatTri(a, c, d, facing);
        else if (i == rings - 1)
          flatTri(a, b, c, facing);
        else
          flatQuad(a, b, c, d, facing, float(j) / segs, float(i) / rings, float(j + 1) / segs, float(i + 1) / rings);
      }
    return;
  }
  int base = (int)verts.size();
  for (int i = 0; i <= rings; i++)
    for (int j = 0; j <= segs; j++) {
      V3 p = local(i, j);
      vert(f.point(p), f.normal(p), float(j) / segs, 1.0f - float(i) / rings);
    }
  for (int i = 0; i < rings; i++)
    for (int j = 0; j < segs; j++) {
      int a = base + i * (segs + 1) + j, b = a + 1, c = a + segs + 1, d = c + 1;
      V3 facing = verts[a].p + verts[d].p - f.o * 2.0f;
      if (i > 0) tri(a, b, d, facing);
      if (i < rings - 1) tri(a, d, c, facing);
    }
  smooth_normals(*this, v0, i0);
}

void Builder::tube(int rings, int segs, float (*radius)(float t), bool caps) {
  size_t v0 = verts.size(), i0 = idx.size();
  int base = (int)verts.size();
  for (int i = 0; i <= rings; i++) {
    float t = float(i) / rings, r = radius(t);
    for (int j = 0; j <= segs; j++) {
      float a = 2 * PI * j / segs;
      V3 p{r * std::cos(a), r * std::sin(a), t};
      vert(f.point(p), {std::cos(a), std::sin(a), 0}, float(j) / segs, t);
    }
  }
  for (int i = 0; i < rings; i++)
    for (int j = 0; j < segs; j++) {
      int a = base + i * (segs + 1) + j, b = a + 1, c = a + segs + 1, d = c + 1;
      float ang = 2 * PI * (j + 0.5f) / segs;
      V3 facing{std::cos(ang), std::sin(ang), 0};
      tri(a, b, d, facing);
      tri(a, d, c, facing);
    }
  smooth_normals(*this, v0, i0);
  if (!caps) return;
  for (int end = 0; end < 2; end++) {
    float t = float(end), r = radius(t);
    if (r <= 1e-5f) continue;
    V3 c{0, 0, t};
    for (int j = 0; j < segs; j++) {
      float a = 2 * PI * j / segs, b = 2 * PI * (j + 1) / segs;
      flatTri(c, {r * std::cos(a), r * std::sin(a), t}, {r * std::cos(b), r * std::sin(b), t},
              {0, 0, end ? 1.0f : -1.0f}, 0.3f, 0.3f, 0.7f, 0.7f);
    }
  }
}

void Builder::bounds(float out[4]) const {
  V3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
  for (const Vert& v : verts) {
    lo = {std::min(lo.x, v.p.x), std::min(lo.y, v.p.y), std::min(lo.z, v.p.z)};
    hi = {std::max(hi.x, v.p.x), std::max(hi.y, v.p.y), std::max(hi.z, v.p.z)};
  }
  V3 c = (lo + hi) * 0.5f;
  float r = 0;
  for (const Vert& v : verts) r = std::max(r, length(v.p - c));
  out[0] = c.x;
  out[1] = c.y;
  out[2] = c.z;
  out[3] = r;
}

} // namespace meshgen
