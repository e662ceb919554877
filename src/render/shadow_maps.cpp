// Object shadow maps: sizes, creation, the cascade and top-down passes.
#include "render/shadow_maps.h"

#include <cmath>

#include "core/log.h"
#include "render/shader.h"
#include "render/sky.h"

void (*shadow_casters_fn)(int pass_arg) = nullptr;

namespace {

struct ShadowState {
  int quality = 0;
  int cascade_size = 1024, topdown_size = 256;
  Texture* cascade = nullptr;
  Texture* topdown = nullptr;
  Shader* clear = nullptr;
  Matrix44 light[5];
  float texel[5][2];
  float depth_scale[4];
  bool ready = false;
  // Both maps hold nothing but the clear value, cleared on a device of this
  // size (a resize recreates the targets without content).
  bool clean = false;
  int clean_wd = 0, clean_ht = 0;
};
ShadowState sm;

void create_maps() {
  sm.cascade = create_render_texture(sm.cascade_size, sm.cascade_size, 8);
  sm.topdown = create_render_texture(sm.topdown_size, sm.topdown_size, 8);
  if (!sm.cascade || !sm.topdown) fatal("Can't create shadow map textures");
  sm.clean = false;
}

void release_maps() {
  if (sm.cascade) release_texture(sm.cascade);
  if (sm.topdown) release_texture(sm.topdown);
  sm.cascade = sm.topdown = nullptr;
}

Matrix44 rows(const float r[4][4]) {
  Matrix44 m;
  for (int i = 0; i < 4; i++)
    for (int k = 0; k < 4; k++) m.m[i][k] = r[i][k];
  return m;
}

void clear_target(Texture* t) {
  set_render_target(t, 0, false);
  set_viewport(0, 0, t->cur_wd, t->cur_ht);
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  set_zenable(false);
  set_zwrite(false);
  set_blend_none();
  set_cull_mode(0);
  set_shader(sm.clear);
  const float c[4] = {-256, -256, -256, -256};
  set_ps_consts(16, c, 1);
  draw_postfx();
  set_blend_max();
}

// Whether anything may draw casters this frame. Every caster drawer must be
// counted here, or the maps are left uncleared and unread while they are empty.
bool casters_drawn() { return shadow_casters_fn != nullptr; }

void cascade_consts(const Matrix44& view, const Matrix44& proj, const Vec4f& c30, const Vec4f& c43) {
  set_view_tm(view);
  set_proj_tm(proj);
  Matrix44 glob = view * proj;
  set_vs_consts(0, &glob.m[0][0], 4);
  set_ortho_planes(glob);
  float c9[4] = {view.m[0][2], view.m[1][2], view.m[2][2], view.m[3][2]};
  set_vs_consts(9, c9, 1);
  set_vs_consts(30, &c30.x, 1);
  set_vs_consts(43, &c43.x, 1);
}

} // namespace

float round_half_even(float v) { return std::nearbyint(v); } // default rounding mode: to nearest even

void set_shadow_map_quality(int q) {
  if (q < 0) q = 0;
  int c = 1024 << q, t = 256 << q;
  if (t > 512) t = 512;
  sm.quality = q;
  if (c == sm.cascade_size && t == sm.topdown_size) return;
  sm.cascade_size = c;
  sm.topdown_size = t;
  if (sm.ready) {
    release_maps();
    create_maps();
  }
}

int shadow_cascade_size() { return sm.cascade_size; }
int shadow_topdown_size() { return sm.topdown_size; }
bool shadow_maps_ready() { return sm.ready; }
Texture* shadow_cascade_map() { return sm.cascade; }
Texture* shadow_topdown_map() { return sm.topdown; }

void init_shadow_maps() {
  close_shadow_maps();
  create_maps();
  sm.clear = create_shader("clearShadow.sh", nullptr);
  for (Matrix44& m : sm.light) m = Matrix44::identity();
  sm.ready = true;
}

void close_shadow_maps() {
  release_maps();
  destroy_shader(sm.clear);
  sm.clear = nullptr;
  sm.ready = false;
}

CascadeResult shadow_cascade(const Matrix44& cam, float m00, float m11, float n, float f, const Vec4f& L, int x,
                             int y, int w, int h, int N) {
  CascadeResult r;
  float corners[8][3];
  for (int i = 0; i < 8; i++) {
    float d = i < 4 ? n : f;
    float a = (i & 1) ? 1.f : -1.f, b = (i & 2) ? 1.f : -1.f;
    for (int k = 0; k < 3; k++)
      corners[i][k] = cam.m[3][k] + d * (cam.m[2][k] + a * cam.m[0][k] / m00 + b * cam.m[1][k] / m11);
  }
  // Light axes: X = normalise(R x L), Y = L x X.
  float R[3] = {0, 1, 0};
  if (std::fabs(L.y) >= 0.9f) R[1] = 0, R[2] = 1;
  float X[3] = {R[1] * L.z - R[2] * L.y, R[2] * L.x - R[0] * L.z, R[0] * L.y - R[1] * L.x};
  float xl = std::sqrt(X[0] * X[0] + X[1] * X[1] + X[2] * X[2]);
  for (float& v : X) v = xl > 0 ? v / xl : 0;
  float Y[3] = {L.y * X[2] - L.z * X[1], L.z * X[0] - L.x * X[2], L.x * X[1] - L.y * X[0]};
  const float* P = cam.m[3];
  // V0: p -> ((p - P).X, (p - P).Y, (p - P).L): columns X, Y, L.
  Matrix44 v0 = Matrix44::identity();
  const float* ax[3] = {X, Y, &L.x};
  for (int c = 0; c < 3; c++) {
    for (int k = 0; k < 3; k++) v0.m[k][c] = ax[c][k];
    v0.m[3][c] = -(P[0] * ax[c][0] + P[1] * ax[c][1] + P[2] * ax[c][2]);
  }
  float best_area = 0, bmin[3] = {}, bmax[3] = {};
  Matrix44 best = v0;
  r.angle_deg = 0;
  for (int deg = 0; deg <= 80; deg += 10) {
    float t = deg * 3.14159265f / 180.f, c = std::cos(t), s = std::sin(t);
    const float rz[4][4] = {{c, -s, 0, 0}, {s, c, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    Matrix44 v = v0 * rows(rz);
    float mn[3] = {1e30f, 1e30f, 1e30f}, mx[3] = {-1e30f, -1e30f, -1e30f};
    for (auto& p : corners)
      for (int k = 0; k < 3; k++) {
        float q = p[0] * v.m[0][k] + p[1] * v.m[1][k] + p[2] * v.m[2][k] + v.m[3][k];
        mn[k] = std::fmin(mn[k], q);
        mx[k] = std::fmax(mx[k], q);
      }
    float area = (mx[0] - mn[0]) * (mx[1] - mn[1]);
    if (deg == 0 || area < best_area) {
      best_area = area;
      best = v;
      r.angle_deg = deg;
      for (int k = 0; k < 3; k++) bmin[k] = mn[k], bmax[k] = mx[k];
    }
  }
  float ex = bmax[0] - bmin[0], ey = bmax[1] - bmin[1];
  r.sx = 1 / (1.01f * ex + 1);
  r.sy = 1 / (1.01f * ey + 1);
  const float pr[4][4] = {{2 * r.sx, 0, 0, 0}, {0, 2 * r.sy, 0, 0}, {0, 0, 1.0f / 512, 0}, {0, 0, 0.5f, 1}};
  r.proj = rows(pr);
  r.view = best;
  for (int k = 0; k < 3; k++) r.view.m[3][k] -= round_half_even((bmin[k] + bmax[k]) * 0.5f);
  float fN = float(N);
  const float T[4][4] = {{r.sx * w / fN, 0, 0, 0},
                         {0, -r.sy * h / fN, 0, 0},
                         {0, 0, 1, 0},
                         {x / fN + w / (2 * fN) + 0.5f / fN, y / fN + h / (2 * fN) + 0.5f / fN, 0, 1}};
  r.light = r.view * rows(T);
  r.texel_x = r.sx * w / fN;
  r.texel_y = r.sy * h / fN;
  return r;
}

void shadow_topdown_view(const Vec4f& p, int M, float& cx, float& cz, Matrix44& view, Matrix44& light) {
  cx = round_half_even(p.x);
  cz = round_half_even(p.z);
  const float v[4][4] = {{0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 0, 0}, {-cz, -cx, 0, 1}};
  view = rows(v);
  const float T[4][4] = {{1.0f / 256, 0, 0, 0}, {0, -1.0f / 256, 0, 0}, {0, 0, 1, 0},
                         {0.5f + 0.5f / M, 0.5f + 0.5f / M, 0, 1}};
  light = view * rows(T);
}

void render_shadow_maps(float r, int pass_arg) {
  if (!sm.ready) return;
  Matrix44 cam;
  if (!matrix_inverse(get_view_tm(), cam)) return;
  const Matrix44 proj = get_proj_tm();
  const int N = sm.cascade_size;
  const Vec4f L = get_lighting_sun_dir();
  const Vec4f S = get_sun_dir();
  const Vec4f c30 = {S.x, S.y, S.z, SKY_CONE_COS};
  const Vec4f c43 = {L.x, L.y, L.z, 0};

  // Without a caster drawer maps that are still clean stay as they are:
  // clearing them again (4 M texels at the default quality) changes nothing.
  const bool draw = casters_drawn() || !shadow_maps_empty();
  if (draw) clear_target(sm.cascade);
  Texture* noise = get_sky_noise_texture();
  set_texture(4, noise);
  set_tex_filter(4, false);
  set_tex_address(4, 0);
  const float F = (std::fabs(cam.m[2][1]) * 0.5f + 1) * 128;
  const float ranges[4][2] = {{0, 16}, {16, 32}, {32, 64}, {64, F}};
  const int h = N / 2;
  const int vp[4][2] = {{0, 0}, {h, 0}, {0, h}, {h, h}};
  for (int i = 0; i < 4; i++) {
    CascadeResult c = shadow_cascade(cam, proj.m[0][0], proj.m[1][1], ranges[i][0], ranges[i][1], L, vp[i][0],
                                     vp[i][1], h, h, N);
    sm.light[i] = c.light;
    sm.texel[i][0] = c.texel_x;
    sm.texel[i][1] = c.texel_y;
    sm.depth_scale[i] = ranges[i][1] / r;
    cascade_consts(c.view, c.proj, c30, c43);
    if (!draw) continue;
    set_viewport(vp[i][0], vp[i][1], h, h);
    if (shadow_casters_fn) shadow_casters_fn(pass_arg);
  }
  set_tex_filter(4, true);
  set_blend_none();

  const int M = sm.topdown_size;
  if (draw) clear_target(sm.topdown);
  float cx, cz;
  Matrix44 view, light;
  shadow_topdown_view(Vec4f{cam.m[3][0], cam.m[3][1], cam.m[3][2], 1}, M, cx, cz, view, light);
  const float pr[4][4] = {{1.0f / 128, 0, 0, 0}, {0, 1.0f / 128, 0, 0}, {0, 0, 1.0f / 512, 0}, {0, 0, 0.5f, 1}};
  cascade_consts(view, rows(pr), Vec4f{0, 1, 0, SKY_CONE_COS}, Vec4f{0, 1, 0, 0});
  sm.light[4] = light;
  sm.texel[4][0] = sm.texel[4][1] = 1.0f / 256;
  if (shadow_casters_fn) shadow_casters_fn(pass_arg);
  set_blend_none();
  sm.clean = !casters_drawn();
  sm.clean_wd = d3d_wd;
  sm.clean_ht = d3d_ht;
}

bool shadow_maps_empty() { return sm.clean && sm.clean_wd == d3d_wd && sm.clean_ht == d3d_ht; }

void shadow_set_ps_consts(int first) {
  for (int i = 0; i < 5; i++) set_ps_consts(first + 4 * i, &sm.light[i].m[0][0], 4);
  float t[3][4] = {{sm.texel[0][0], sm.texel[0][1], sm.texel[1][0], sm.texel[1][1]},
                   {sm.texel[2][0], sm.texel[2][1], sm.texel[3][0], sm.texel[3][1]},
                   {sm.texel[4][0], sm.texel[4][1], 0, 0}};
  set_ps_consts(first + 20, &t[0][0], 3);
  set_ps_consts(first + 23, sm.depth_scale, 1);
}
