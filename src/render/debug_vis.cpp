// Debug drawing: world-space lines and triangles streamed through the
// common writer. The writer draws one primitive type per run, so a change
// of type ends the run (final flush) and begins a new one; a primitive that
// does not fit flushes first.
#include "render/debug_vis.h"

#include <cmath>

#include "core/log.h"
#include "render/dynVBWriter.h"
#include "render/shader.h"

namespace {

struct DebugVertex {
  float x, y, z;
  D3dColor colour;
};
static_assert(sizeof(DebugVertex) == 16);

const VertexElement debug_elements[] = {
    {0, 0, 3, 0, 0},  // FLOAT3 POSITION0
    {12, 0, 5, 2, 0}, // D3DCOLOR COLOR0
    {0, 255, 0, 0, 0},
};

struct DebugVis {
  Shader* shader = nullptr;
  VertexDecl* vdecl = nullptr;
  int mode = D3DPT_TRIANGLELIST;
};
DebugVis dv;

constexpr float PI = 3.14159265358979f;

DebugVertex vert(const Vec4f& p, D3dColor c) { return DebugVertex{p.x, p.y, p.z, c}; }

// Room for one primitive of `type` and `bytes`: switches the run's type
// when it differs, flushes when the buffer is full.
DebugVertex* reserve(int type, int bytes) {
  DynVBWriter& w = common_vb_writer;
  ASSERT(w.startPtr && "start_draw_debug_vis() must come first");
  if (dv.mode != type) {
    w.flush(true);
    dv.mode = type;
    w.begin(dynvb_draw_prim, type, 0, (int)sizeof(DebugVertex));
  }
  w.reserve(bytes);
  DebugVertex* v = (DebugVertex*)w.cur;
  w.cur += bytes;
  w.count++;
  return v;
}

Vec4f v3(float x, float y, float z) { return Vec4f{x, y, z, 1.f}; }

} // namespace

void init_debug_vis() {
  if (!dv.shader) dv.shader = create_shader("debug_vis.sh", nullptr);
  dv.vdecl = get_vdecl(debug_elements);
}

void close_debug_vis() {
  if (dv.shader) destroy_shader(dv.shader);
  dv.shader = nullptr;
  dv.vdecl = nullptr;
}

void start_draw_debug_vis() {
  ASSERT(dv.shader && "init_debug_vis() must run first");
  Matrix44 glob;
  get_glob_tm(glob);
  set_vs_consts(0, &glob.m[0][0], 4);
  set_vdecl(dv.vdecl);
  set_shader(dv.shader);
  set_cull_mode(0);
  dv.mode = D3DPT_TRIANGLELIST;
  common_vb_writer.begin(dynvb_draw_prim, D3DPT_TRIANGLELIST, 0, (int)sizeof(DebugVertex));
}

void end_draw_debug_vis() {
  common_vb_writer.flush(true);
  set_cull_mode(1);
}

int debug_vis_mode() { return dv.mode; }

void draw_debug_vis_tri(const Vec4f& p0, const Vec4f& p1, const Vec4f& p2, D3dColor c0, D3dColor c1,
                        D3dColor c2) {
  DebugVertex* v = reserve(D3DPT_TRIANGLELIST, 3 * (int)sizeof(DebugVertex));
  v[0] = vert(p0, c0);
  v[1] = vert(p1, c1);
  v[2] = vert(p2, c2);
}

void draw_debug_vis_line(const Vec4f& p0, const Vec4f& p1, D3dColor c0, D3dColor c1) {
  DebugVertex* v = reserve(D3DPT_LINELIST, 2 * (int)sizeof(DebugVertex));
  v[0] = vert(p0, c0);
  v[1] = vert(p1, c1);
}

void draw_debug_vis_solid_box(const Vec4f& a, const Vec4f& b, D3dColor colour, float grow) {
  float x[2] = {std::fmin(a.x, b.x) - grow, std::fmax(a.x, b.x) + grow};
  float y[2] = {std::fmin(a.y, b.y) - grow, std::fmax(a.y, b.y) + grow};
  float z[2] = {std::fmin(a.z, b.z) - grow, std::fmax(a.z, b.z) + grow};
  auto c = [&](int i) { return v3(x[i & 1], y[(i >> 1) & 1], z[i >> 2]); };
  // Corner i has x from bit 0, y from bit 1, z from bit 2; two triangles per face.
  static const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                  {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& f : faces) {
    draw_debug_vis_tri(c(f[0]), c(f[1]), c(f[2]), colour, colour, colour);
    draw_debug_vis_tri(c(f[0]), c(f[2]), c(f[3]), colour, colour, colour);
  }
}

void draw_debug_vis_cube(const Vec4f& centre, float half_size, D3dColor colour) {
  draw_debug_vis_solid_box(centre, centre, colour, half_size);
}

void draw_debug_vis_wire_box(const Vec4f& a, const Vec4f& b, D3dColor colour) {
  float x[2] = {std::fmin(a.x, b.x), std::fmax(a.x, b.x)};
  float y[2] = {std::fmin(a.y, b.y), std::fmax(a.y, b.y)};
  float z[2] = {std::fmin(a.z, b.z), std::fmax(a.z, b.z)};
  auto c = [&](int i) { return v3(x[i & 1], y[(i >> 1) & 1], z[i >> 2]); };
  // The 12 edges join corners that differ in one bit.
  for (int i = 0; i < 8; i++)
    for (int bit = 1; bit < 8; bit <<= 1)
      if (!(i & bit)) draw_debug_vis_line(c(i), c(i | bit), colour, colour);
}

void draw_debug_vis_cross_point(const Vec4f& p, float size, D3dColor colour) {
  draw_debug_vis_line(v3(p.x - size, p.y, p.z), v3(p.x + size, p.y, p.z), colour, colour);
  draw_debug_vis_line(v3(p.x, p.y - size, p.z), v3(p.x, p.y + size, p.z), colour, colour);
  draw_debug_vis_line(v3(p.x, p.y, p.z - size), v3(p.x, p.y, p.z + size), colour, colour);
}

void draw_debug_vis_sphere(const Vec4f& centre, float radius, D3dColor colour, int n) {
  if (n < 2) n = 2;
  // Latitude from the top pole (0) to the bottom (pi), longitude 0 .. 2 pi.
  auto at = [&](float lat, float lon) {
    float s = std::sin(lat);
    return v3(centre.x + radius * s * std::cos(lon), centre.y + radius * std::cos(lat),
              centre.z + radius * s * std::sin(lon));
  };
  const Vec4f top = v3(centre.x, centre.y + radius, centre.z);
  for (int b = 1; b < n; b++) {
    float lat0 = PI * (float)b / (float)n, lat1 = PI * (float)(b + 1) / (float)n;
    for (int i = 0; i < 2 * n; i++) {
      float lon0 = PI * (float)i / (float)n, lon1 = PI * (float)(i + 1) / (float)n;
      Vec4f p = at(lat0, lon0);
      draw_debug_vis_line(p, at(lat0, lon1), colour, colour);
      draw_debug_vis_line(p, at(lat1, lon0), colour, colour);
      if (b == 1) draw_debug_vis_line(top, p, colour, colour);
    }
  }
}

void draw_debug_vis_sphere(const Matrix44& m, const Vec4f& pos_r, D3dColor colour, int n) {
  Vec4f c{};
  for (int k = 0; k < 3; k++)
    (&c.x)[k] = pos_r.x * m.m[0][k] + pos_r.y * m.m[1][k] + pos_r.z * m.m[2][k] + m.m[3][k];
  c.w = 1.f;
  float row = std::sqrt(m.m[0][0] * m.m[0][0] + m.m[0][1] * m.m[0][1] + m.m[0][2] * m.m[0][2]);
  draw_debug_vis_sphere(c, pos_r.w * row, colour, n);
}
