// Render states by meaning, samplers, shader constant blocks, transforms,
// culling planes, viewport and clears.
//
// Nothing is cached: each operation reaches GL, as the callers expect. A few
// values are tracked only so that clears can open every write mask and
// restore it (Direct3D's Clear ignores them) and so that the cull direction
// can follow the flipped texture targets.
#include <cmath>
#include <cstring>

#include "core/log.h"
#include "render/device_local.h"

float cur_clip_planes[4][4];

// {===== Blending, alpha test, depth, stencil, raster

static void blend(GLenum src, GLenum dst, GLenum op) {
  glEnable(GL_BLEND);
  glBlendFunc(src, dst);
  glBlendEquation(op);
}

void set_blend_none() { glDisable(GL_BLEND); }
void set_blend_additive() { blend(GL_ONE, GL_ONE, GL_FUNC_ADD); }
void set_blend_smooth_add() { blend(GL_ONE, GL_ONE_MINUS_SRC_COLOR, GL_FUNC_ADD); }
void set_blend_alpha() { blend(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD); }
void set_blend_prealpha() { blend(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_FUNC_ADD); }
void set_blend_multiply() { blend(GL_DST_COLOR, GL_ZERO, GL_FUNC_ADD); }
void set_blend_min() { blend(GL_ONE, GL_ONE, GL_MIN); }
void set_blend_max() { blend(GL_ONE, GL_ONE, GL_MAX); }

// Direct3D passes alpha >= ref / 255; the prologue discards alpha below
// rh_state.y. The half step below the reference absorbs 8-bit rounding.
void set_atest(int ref) {
  dev.state_block[1] = ref < 1 ? -1.f : (ref - 0.5f) / 255.f;
  dev.state_dirty = true;
}

// Direct3D's culling names the winding culled as seen on screen; texture
// targets are drawn mirrored, which turns the winding around.
void set_cull_mode(int m) {
  dev.cull_mode = m;
  if (m == 0) {
    glDisable(GL_CULL_FACE);
    return;
  }
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  bool cw_front = m > 0; // CCW culled: clockwise faces are front
  if (dev.flip) cw_front = !cw_front;
  glFrontFace(cw_front ? GL_CW : GL_CCW);
}

void set_zenable(bool on) {
  if (on)
    glEnable(GL_DEPTH_TEST);
  else
    glDisable(GL_DEPTH_TEST);
}

void set_zwrite(bool on) {
  dev.zwrite = on;
  glDepthMask(on ? GL_TRUE : GL_FALSE);
}

void set_color_write_mask(int mask) {
  dev.color_mask = mask;
  glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, (mask & 8) != 0);
}

void set_wireframe(bool on) { glPolygonMode(GL_FRONT_AND_BACK, on ? GL_LINE : GL_FILL); }

GLenum gl_cmp_func(int c) {
  static const GLenum funcs[9] = {GL_ALWAYS, GL_NEVER,  GL_LESS,     GL_EQUAL, GL_LEQUAL,
                                  GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
  return c >= 1 && c <= 8 ? funcs[c] : GL_ALWAYS;
}

void set_stencil_test(int mask, int ref, int func) {
  if (mask == 0) {
    glDisable(GL_STENCIL_TEST);
    return;
  }
  glEnable(GL_STENCIL_TEST);
  glStencilFunc(gl_cmp_func(func), ref, (GLuint)mask);
}

void set_stencil_replace_bits(int bits) {
  dev.stencil_write_mask = bits;
  glStencilMask((GLuint)bits);
  glStencilOp(GL_KEEP, GL_KEEP, bits ? GL_REPLACE : GL_KEEP);
}

// {===== Samplers

void samplers_create() {
  glGenSamplers(MAX_STAGES, dev.samplers);
  for (int s = 0; s < MAX_STAGES; s++) glBindSampler(s, dev.samplers[s]);
}

void samplers_release() {
  if (dev.samplers[0]) glDeleteSamplers(MAX_STAGES, dev.samplers);
  memset(dev.samplers, 0, sizeof dev.samplers);
}

void set_tex_filter(int stage, bool linear, bool blend_levels) {
  if (stage < 0 || stage >= MAX_STAGES) return;
  GLuint s = dev.samplers[stage];
  glSamplerParameteri(s, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
  GLint min = !linear ? GL_NEAREST_MIPMAP_NEAREST : blend_levels ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR_MIPMAP_NEAREST;
  glSamplerParameteri(s, GL_TEXTURE_MIN_FILTER, min);
}

void set_tex_filter(int stage, bool linear) { set_tex_filter(stage, linear, true); }

static GLint gl_address(int code) {
  return code == 0 ? GL_REPEAT : code == 2 ? GL_CLAMP_TO_BORDER : GL_CLAMP_TO_EDGE;
}

void set_tex_address(int stage, int u, int v, int w) {
  if (stage < 0 || stage >= MAX_STAGES) return;
  if (v < 0) v = u;
  if (w < 0) w = v;
  GLuint s = dev.samplers[stage];
  glSamplerParameteri(s, GL_TEXTURE_WRAP_S, gl_address(u));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_T, gl_address(v));
  glSamplerParameteri(s, GL_TEXTURE_WRAP_R, gl_address(w));
}

// Direct3D's defaults where GL's differ: LESSEQUAL depth test, clockwise
// front, all masks open; the design's sampler default of linear and clamp.
void state_apply_defaults() {
  for (int s = 0; s < MAX_STAGES; s++) {
    set_tex_filter(s, true);
    set_tex_address(s, 1);
    static const float border[4] = {0, 0, 0, 0};
    glSamplerParameterfv(dev.samplers[s], GL_TEXTURE_BORDER_COLOR, border);
  }
  glDepthFunc(GL_LEQUAL);
  set_zenable(true);
  set_zwrite(true);
  set_color_write_mask(15);
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
  glStencilMask(0xFFFFFFFFu);
  dev.stencil_write_mask = -1;
  set_blend_none();
  set_atest(0);
  set_wireframe(false);
  set_cull_mode(1);
}

// {===== Shader constants

static GLuint ubo_create(GLuint binding, int bytes) {
  GLuint b = 0;
  glGenBuffers(1, &b);
  glBindBuffer(GL_UNIFORM_BUFFER, b);
  glBufferData(GL_UNIFORM_BUFFER, bytes, nullptr, GL_DYNAMIC_DRAW);
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  glBindBufferBase(GL_UNIFORM_BUFFER, binding, b);
  return b;
}

void consts_create() {
  dev.ubo_vs = ubo_create(0, sizeof dev.vs_consts);
  dev.ubo_ps = ubo_create(1, sizeof dev.ps_consts);
  dev.ubo_state = ubo_create(2, sizeof dev.state_block);
  dev.vs_dirty_lo = 0;
  dev.vs_dirty_hi = NUM_VS_CONSTS - 1;
  dev.ps_dirty_lo = 0;
  dev.ps_dirty_hi = NUM_PS_CONSTS - 1;
  dev.state_dirty = true;
}

void consts_release() {
  GLuint b[3] = {dev.ubo_vs, dev.ubo_ps, dev.ubo_state};
  if (b[0]) glDeleteBuffers(3, b);
  dev.ubo_vs = dev.ubo_ps = dev.ubo_state = 0;
}

static void consts_write(float (*regs)[4], int n, int& lo, int& hi, int first, const float* data,
                         int count4) {
  if (first < 0 || count4 <= 0 || first >= n) return;
  if (first + count4 > n) count4 = n - first;
  memcpy(regs[first], data, (size_t)count4 * 16);
  if (first < lo) lo = first;
  if (first + count4 - 1 > hi) hi = first + count4 - 1;
}

void set_vs_consts(int first, const float* data, int count4) {
  consts_write(dev.vs_consts, NUM_VS_CONSTS, dev.vs_dirty_lo, dev.vs_dirty_hi, first, data, count4);
}

void set_ps_consts(int first, const float* data, int count4) {
  consts_write(dev.ps_consts, NUM_PS_CONSTS, dev.ps_dirty_lo, dev.ps_dirty_hi, first, data, count4);
}

static void ubo_upload(GLuint b, float (*regs)[4], int& lo, int& hi) {
  if (lo > hi) return;
  glBindBuffer(GL_UNIFORM_BUFFER, b);
  glBufferSubData(GL_UNIFORM_BUFFER, lo * 16, (hi - lo + 1) * 16, regs[lo]);
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  lo = 1 << 30;
  hi = -1;
}

void consts_upload() {
  ubo_upload(dev.ubo_vs, dev.vs_consts, dev.vs_dirty_lo, dev.vs_dirty_hi);
  ubo_upload(dev.ubo_ps, dev.ps_consts, dev.ps_dirty_lo, dev.ps_dirty_hi);
  if (dev.state_dirty) {
    glBindBuffer(GL_UNIFORM_BUFFER, dev.ubo_state);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof dev.state_block, dev.state_block);
    glBindBuffer(GL_UNIFORM_BUFFER, 0);
    dev.state_dirty = false;
  }
}

// {===== Transforms

void set_view_tm(const Matrix44& tm) { dev.view_tm = tm; }
void set_proj_tm(const Matrix44& tm) { dev.proj_tm = tm; }

void set_proj_tm(float fov, float aspect, float znear, float zfar) {
  Matrix44 p{};
  float f = 1.f / tanf(fov * 0.5f);
  p.m[0][0] = f / aspect;
  p.m[1][1] = f;
  p.m[2][2] = zfar / (zfar - znear);
  p.m[2][3] = 1.f;
  p.m[3][2] = -znear * p.m[2][2];
  dev.proj_tm = p;
}

void get_glob_tm(Matrix44& out) { out = dev.view_tm * dev.proj_tm; }
const Matrix44& get_view_tm() { return dev.view_tm; }
const Matrix44& get_proj_tm() { return dev.proj_tm; }

// {===== Culling planes

static void cross3(const float a[3], const float b[3], float o[3]) {
  o[0] = a[1] * b[2] - a[2] * b[1];
  o[1] = a[2] * b[0] - a[0] * b[2];
  o[2] = a[0] * b[1] - a[1] * b[0];
}

static void plane_store(int i, const float n_in[3], const float pos[3]) {
  float len = sqrtf(n_in[0] * n_in[0] + n_in[1] * n_in[1] + n_in[2] * n_in[2]);
  float inv = len > 0 ? 1.f / len : 0.f;
  float* p = cur_clip_planes[i];
  for (int k = 0; k < 3; k++) p[k] = n_in[k] * inv;
  p[3] = -(p[0] * pos[0] + p[1] * pos[1] + p[2] * pos[2]);
}

// Corners at depth 128 of the four frustum edges; each side plane passes
// through the camera and two neighbouring corners. Normals point inwards for
// both plane kinds: a point inside the view has a positive distance.
void set_frustum_planes(const Matrix44& cam, const Matrix44& proj) {
  const float* right = cam.m[0];
  const float* up = cam.m[1];
  const float* fwd = cam.m[2];
  const float* pos = cam.m[3];
  float sx = 1.f / proj.m[0][0], sy = 1.f / proj.m[1][1];
  float c[4][3]; // directions: (-x,+y), (+x,+y), (+x,-y), (-x,-y)
  static const float signs[4][2] = {{-1, 1}, {1, 1}, {1, -1}, {-1, -1}};
  for (int i = 0; i < 4; i++)
    for (int k = 0; k < 3; k++)
      c[i][k] = 128.f * (fwd[k] + signs[i][0] * right[k] * sx + signs[i][1] * up[k] * sy);
  for (int i = 0; i < 4; i++) {
    float n[3];
    cross3(c[(i + 1) & 3], c[i], n);
    plane_store(i, n, pos);
  }
}

// The side planes x = +-1, y = +-1 of the orthographic clip space, taken back
// to world space with the inverse: a clip plane P maps to M * P^T.
void set_ortho_planes(const Matrix44& glob) {
  static const float clip[4][4] = {{1, 0, 0, 1}, {-1, 0, 0, 1}, {0, 1, 0, 1}, {0, -1, 0, 1}};
  for (int i = 0; i < 4; i++) {
    float p[4];
    for (int r = 0; r < 4; r++)
      p[r] = glob.m[r][0] * clip[i][0] + glob.m[r][1] * clip[i][1] + glob.m[r][2] * clip[i][2] +
             glob.m[r][3] * clip[i][3];
    float len = sqrtf(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    float inv = len > 0 ? 1.f / len : 0.f;
    for (int k = 0; k < 4; k++) cur_clip_planes[i][k] = p[k] * inv;
  }
}

// {===== Viewport and clears

void set_viewport(int x, int y, int w, int h) {
  dev.vp_x = x;
  dev.vp_y = y;
  dev.vp_w = w;
  dev.vp_h = h;
  // Texture targets are drawn upside down, so their rows already count from
  // the top; the back buffer counts from the bottom.
  int gy = dev.flip ? y : dev.target_ht - y - h;
  glViewport(x, gy, w, h);
  glDepthRange(0.0, 1.0);
}

// Direct3D clears the viewport rectangle whatever the write masks say.
static void clear(GLbitfield what, D3dColor color) {
  if (!dev.context) return;
  int gy = dev.flip ? dev.vp_y : dev.target_ht - dev.vp_y - dev.vp_h;
  glEnable(GL_SCISSOR_TEST);
  glScissor(dev.vp_x, gy, dev.vp_w, dev.vp_h);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glDepthMask(GL_TRUE);
  glStencilMask(0xFFFFFFFFu);
  glClearColor(((color >> 16) & 255) / 255.f, ((color >> 8) & 255) / 255.f, (color & 255) / 255.f,
               (color >> 24) / 255.f);
  glClearDepth(1.0);
  glClearStencil(0);
  glClear(what);
  glDisable(GL_SCISSOR_TEST);
  set_color_write_mask(dev.color_mask);
  glDepthMask(dev.zwrite ? GL_TRUE : GL_FALSE);
  glStencilMask((GLuint)dev.stencil_write_mask);
}

void clear_view(D3dColor c) { clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT, c); }
void clear_view_color(D3dColor c) { clear(GL_COLOR_BUFFER_BIT, c); }
void clear_view_z() { clear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT, 0); }
