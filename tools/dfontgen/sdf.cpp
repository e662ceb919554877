// Exact Euclidean distance transform (lower envelope of parabolas, one pass
// per axis) of a mask's inside and outside, sampled into a byte field.
#include "sdf.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "common/dds_write.h"

namespace {

constexpr float INF = 1e20f;

// Squared distance transform of one row or column in place: f[i] is 0 at a
// feature, INF elsewhere on entry, the squared distance to the nearest
// feature on exit.
void edt_1d(std::vector<float>& f, int n, std::vector<float>& d, std::vector<int>& v,
            std::vector<float>& z) {
  int k = 0;
  v[0] = 0;
  z[0] = -INF;
  z[1] = INF;
  auto cut = [&](int q, int p) {
    return ((f[q] + float(q) * q) - (f[p] + float(p) * p)) / (2.f * float(q - p));
  };
  for (int q = 1; q < n; q++) {
    float s = cut(q, v[k]);
    while (s <= z[k]) s = cut(q, v[--k]); // z[0] = -INF ends the walk
    k++;
    v[k] = q;
    z[k] = s;
    z[k + 1] = INF;
  }
  k = 0;
  for (int q = 0; q < n; q++) {
    while (z[k + 1] < q) k++;
    float dq = float(q - v[k]);
    d[q] = dq * dq + f[v[k]];
  }
  for (int q = 0; q < n; q++) f[q] = d[q];
}

// Squared distance of every pixel to the nearest pixel where in == want.
std::vector<float> edt_2d(const Mask& m, uint8_t want) {
  std::vector<float> g(size_t(m.w) * m.h);
  for (size_t i = 0; i < g.size(); i++) g[i] = m.in[i] == want ? 0.f : INF;
  int n = m.w > m.h ? m.w : m.h;
  std::vector<float> f(n), d(n), z(n + 1);
  std::vector<int> v(n);
  for (int x = 0; x < m.w; x++) {
    for (int y = 0; y < m.h; y++) f[y] = g[size_t(y) * m.w + x];
    edt_1d(f, m.h, d, v, z);
    for (int y = 0; y < m.h; y++) g[size_t(y) * m.w + x] = f[y];
  }
  for (int y = 0; y < m.h; y++) {
    for (int x = 0; x < m.w; x++) f[x] = g[size_t(y) * m.w + x];
    edt_1d(f, m.w, d, v, z);
    for (int x = 0; x < m.w; x++) g[size_t(y) * m.w + x] = f[x];
  }
  return g;
}

} // namespace

void mask_to_field(const Mask& m, int scale, int spread, uint8_t* dst, int dst_pitch, int channel) {
  std::vector<float> to_in = edt_2d(m, 1), to_out = edt_2d(m, 0);
  int fw = m.w / scale, fh = m.h / scale;
  for (int y = 0; y < fh; y++)
    for (int x = 0; x < fw; x++) {
      size_t i = size_t(y * scale + scale / 2) * m.w + size_t(x * scale + scale / 2);
      // Pixel centres sit half a pixel from the edge between in and out.
      float d = m.in[i] ? std::sqrt(to_out[i]) - 0.5f : 0.5f - std::sqrt(to_in[i]);
      float f = 0.5f + d / float(scale) / (2.f * spread);
      f = f < 0 ? 0 : f > 1 ? 1 : f;
      dst[size_t(y) * dst_pitch + size_t(x) * 4 + channel] = uint8_t(std::lround(f * 255.f));
    }
}

bool ShelfPacker::place(int w, int h, int& out_x, int& out_y) {
  if (x + w > width) {
    x = 0;
    y += row_h;
    row_h = 0;
  }
  if (w > width || y + h > height) return false;
  out_x = x;
  out_y = y;
  x += w;
  if (h > row_h) row_h = h;
  return true;
}

bool write_dds_argb(const std::string& path, int w, int h, const std::vector<uint8_t>& bgra) {
  return dds_write::save("dfontgen", path, dds_write::from_bgra(bgra, w, h));
}
