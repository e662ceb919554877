// The sky: sun, palette vectors from "sky.nut", lighting constants, backdrop.
#include "render/sky.h"

#include <cmath>
#include <cstring>
#include <string>

#include "core/log.h"
#include "render/shader.h"
#include "render/texture.h"
#include "script/sqVMReload.h"
#include "script/sqbind.h"

namespace {

struct SkyState {
  SqReloadableVM vm;
  SqFunc<SqObject> get_colors;
  char palette[256] = "normal";
  Vec4f target_dir, prev_dir, dir, light_dir;
  Vec4f target[SKY_VECTORS], prev[SKY_VECTORS];
  Vec4f block[SKY_LIGHT_BLOCK]; // current vectors, then the derived ones
  VertexDecl* decl = nullptr;
  VertexBuffer* vb = nullptr;
  IndexBuffer* ib = nullptr;
  Shader* shader = nullptr;
  Texture* noise = nullptr;
  double clock = 0; // seconds of simulation steps, for the shaders' animation
  float f = 0;      // the frame's fraction of a step
  bool ready = false;
};
SkyState sky;

const Vec4f DEFAULT_VECTORS[SKY_VECTORS] = {
    {1, 1, 1, 0}, {0, 0, 0, 0}, {0.45f, 0.15f, 0.06f, 0}, {0, 0, 0, 0}, {1, 0, 0, 0},
    {0.346021f, 0, 0, 0}, {1, 0, 0, 0}, {3, 6, 15, 0}, {2, 0, 0, 0}, {2, 0, 0, 0}};

const VertexElement SKY_ELEMENTS[] = {{0, 0, 3, 0, 0}, {0, 255, 0, 0, 0}};

Vec4f normalized(const Vec4f& v) {
  float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (!(l > 0)) return Vec4f{0, 0, 0, 0};
  return Vec4f{v.x / l, v.y / l, v.z / l, 0};
}

void derive_vectors() {
  const Vec4f &s0 = sky.block[0], &s1 = sky.block[1], &s2 = sky.block[2];
  for (int k = 0; k < 3; k++) {
    sky.block[10][k] = s0[k] + s1[k] * std::exp(-s2[k] / 0.2f);
    sky.block[11][k] = s0[k] + s1[k] * std::exp(-s2[k]);
  }
  sky.block[10].w = sky.block[11].w = 0;
}

void show_sky_error(const char* text) {
  std::string msg = "Error in sky script:\n";
  msg += text;
  set_error_message(msg.c_str());
}

// The vectors for a direction into `out` (defaults when the script fails).
void compute_vectors(const Vec4f& dir, Vec4f out[SKY_VECTORS]) {
  float y = dir.y < -1 ? -1 : dir.y > 1 ? 1 : dir.y;
  float zenith = float(std::acos(y) * 57.29577951308232);
  if (!sky_script_colors(zenith, sky.palette, out))
    for (int i = 0; i < SKY_VECTORS; i++) out[i] = DEFAULT_VECTORS[i];
}

// Vectors for the current sun into target, previous and current (no blend).
void recompute_now() {
  compute_vectors(sky.target_dir, sky.target);
  for (int i = 0; i < SKY_VECTORS; i++) sky.prev[i] = sky.block[i] = sky.target[i];
  derive_vectors();
}

// Runs the script (all its files when reloading) and binds get_sky_colors.
bool run_sky_script(bool reload) {
  sky.get_colors.reset();
  sq_reseterror(sky.vm.vm);
  bool ok = reload ? sky.vm.reloadScripts(true) : sky.vm.include("sky.nut");
  if (!ok) return false;
  sky.get_colors.bindMember(sqbind::root_table(sky.vm.vm), "get_sky_colors");
  return true;
}

void reload_sky_hook() { reload_sky(); }

} // namespace

Vec4f sky_lighting_direction(const Vec4f& s) {
  float y = s.y;
  if (y >= 1.0f || y <= -1.0f) return s;
  float horiz = std::sqrt(1.0f - y * y);
  float h = y / horiz;                                                   // tangent of the elevation
  const float t = std::sqrt(1.0f - SKY_CONE_COS * SKY_CONE_COS) / SKY_CONE_COS; // tan 20 degrees
  float e = (h - t) / (t * h + 1.0f);                                    // the lower edge's slope
  if (!(SKY_MIN_SLOPE > e)) return s;
  float g = (SKY_MIN_SLOPE - e) / (SKY_MIN_SLOPE * e + 1.0f);
  float m = g / (std::sqrt(g * g + 1.0f) + 1.0f); // tangent of half the deficit
  return normalized(Vec4f{s.x / horiz, (m + h) / (1.0f - m * h), s.z / horiz, 0});
}

bool sky_script_colors(float zenith_deg, const char* palette, Vec4f out[SKY_VECTORS]) {
  if (!sky.vm.vm || sky.get_colors.isNull()) {
    show_sky_error("no function 'get_sky_colors'");
    return false;
  }
  HSQUIRRELVM v = sky.vm.vm;
  try {
    SqObject r = sky.get_colors(zenith_deg, palette);
    SQInteger top = sq_gettop(v);
    r.push(v);
    bool ok = sq_gettype(v, -1) == OT_ARRAY && sq_getsize(v, -1) == SKY_VECTORS;
    for (int i = 0; ok && i < SKY_VECTORS; i++) {
      sq_pushinteger(v, i);
      ok = SQ_SUCCEEDED(sq_get(v, -2));
      for (int k = 0; ok && k < 3; k++) {
        sq_pushinteger(v, k);
        SQFloat f = 0;
        ok = SQ_SUCCEEDED(sq_get(v, -2)) && SQ_SUCCEEDED(sq_getfloat(v, -1, &f)) && std::isfinite(f);
        if (ok) {
          out[i][k] = f;
          sq_poptop(v);
        }
      }
      out[i].w = 0;
      if (ok) sq_poptop(v);
    }
    sq_reseterror(v);
    sq_settop(v, top);
    if (!ok) {
      show_sky_error("get_sky_colors must return an array of 10 [r, g, b] entries");
      return false;
    }
    return true;
  } catch (const SquirrelError& e) {
    show_sky_error(e.what());
    return false;
  }
}

void init_sky() {
  if (sky.ready) close_sky();
  sky.decl = get_vdecl(SKY_ELEMENTS);
  sky.vb = create_vb(48, 0);
  sky.ib = create_ib(6, 1);
  if (!sky.vb || !sky.ib) fatal("SKY: can't create the sky's buffers");
  uint16_t* ip = (uint16_t*)lock_ib(sky.ib, 0, 0);
  ASSERT(ip);
  const uint16_t idx[6] = {0, 2, 1, 1, 2, 3};
  memcpy(ip, idx, sizeof idx);
  unlock_ib(sky.ib);
  sky.shader = create_shader("sky.sh", nullptr);
  sky.noise = get_texture("noise.dds", true);

  sky.target_dir = sky.prev_dir = sky.dir = normalized(Vec4f{0, 1, 3, 0});
  sky.light_dir = sky_lighting_direction(sky.dir);
  if (!sky.vm.init(1024)) fatal("error creating sky script VM");
  if (!run_sky_script(false)) {
    SquirrelError e(sky.vm.vm);
    fatal("error in sky script\n%s", e.what());
  }
  sky.ready = true;
  recompute_now();
}

void close_sky() {
  sky.get_colors.reset();
  sky.vm.close();
  sky.vm.files.clear();
  if (sky.vb) release_vb(sky.vb);
  if (sky.ib) release_ib(sky.ib);
  destroy_shader(sky.shader);
  free_texture(sky.noise);
  sky.vb = nullptr;
  sky.ib = nullptr;
  sky.shader = nullptr;
  sky.noise = nullptr;
  sky.decl = nullptr;
  sky.ready = false;
  strcpy(sky.palette, "normal");
}

bool sky_ready() { return sky.ready; }

void set_sun_dir(bool interpolate, const Vec4f& d) {
  sky.target_dir = normalized(d);
  compute_vectors(sky.target_dir, sky.target);
  if (!interpolate) {
    sky.prev_dir = sky.dir = sky.target_dir;
    sky.light_dir = sky_lighting_direction(sky.dir);
    for (int i = 0; i < SKY_VECTORS; i++) sky.prev[i] = sky.block[i] = sky.target[i];
    derive_vectors();
  }
}

void set_sky_palette(const char* name) {
  size_t n = strnlen(name ? name : "", 255);
  memcpy(sky.palette, name ? name : "", n);
  sky.palette[n] = 0;
  recompute_now();
}

const char* get_sky_palette() { return sky.palette; }

void sky_step() {
  for (int i = 0; i < SKY_VECTORS; i++) sky.prev[i] = sky.target[i];
  sky.prev_dir = sky.target_dir;
  sky.clock = std::fmod(sky.clock + 0.05, 3600.0);
}

float sky_anim_time() { return float(sky.clock + 0.05 * sky.f); }

void update_sky(float f) {
  sky.f = f;
  Vec4f d;
  for (int k = 0; k < 3; k++) d[k] = sky.prev_dir[k] + (sky.target_dir[k] - sky.prev_dir[k]) * f;
  d.w = 0;
  sky.dir = normalized(d);
  sky.light_dir = sky_lighting_direction(sky.dir);
  for (int i = 0; i < SKY_VECTORS; i++)
    for (int k = 0; k < 4; k++) sky.block[i][k] = sky.prev[i][k] + (sky.target[i][k] - sky.prev[i][k]) * f;
  derive_vectors();
}

void sky_set_ps_consts() {
  float c0[4] = {sky.dir.x, sky.dir.y, sky.dir.z, SKY_CONE_COS};
  set_ps_consts(0, c0, 1);
  set_ps_consts(1, &sky.block[0].x, SKY_LIGHT_BLOCK);
  set_ps_consts(13, &sky.light_dir.x, 1);
}

void draw_sky() {
  if (!sky.ready) return;
  const Matrix44& view = get_view_tm();
  Matrix44 cam;
  if (!matrix_inverse(view, cam)) return;
  float aspect = float(d3d_wd) / float(d3d_ht > 0 ? d3d_ht : 1);
  float* v = (float*)lock_vb(sky.vb, 0, 0);
  ASSERT(v);
  for (int i = 0; i < 4; i++) {
    float sr = (i & 1) ? 10.0f * aspect : -10.0f * aspect, su = (i & 2) ? 10.0f : -10.0f;
    for (int k = 0; k < 3; k++) v[i * 3 + k] = cam.m[3][k] + 10.0f * cam.m[2][k] + sr * cam.m[0][k] + su * cam.m[1][k];
  }
  unlock_vb(sky.vb);
  set_vdecl(sky.decl);
  set_ib(sky.ib);
  set_vb(0, sky.vb, 0, 12);
  set_shader(sky.shader);
  set_texture(0, sky.noise);
  set_tex_filter(0, false);
  set_tex_address(0, 0);
  sky_set_ps_consts();
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
  set_tex_filter(0, true);
}

void reload_sky() {
  if (!sky.ready || !sky.vm.needsReload()) return;
  set_error_message(nullptr);
  if (!run_sky_script(true)) {
    SquirrelError e(sky.vm.vm);
    show_sky_error(e.what());
  }
  recompute_now();
}

const Vec4f& get_sun_dir() { return sky.dir; }
const Vec4f& get_target_sun_dir() { return sky.target_dir; }
const Vec4f& get_lighting_sun_dir() { return sky.light_dir; }
const Vec4f* get_sky_light_block() { return sky.block; }
Texture* get_sky_noise_texture() { return sky.noise; }
