// Post effects: screen targets, the resolve and the temporal pass.
#include "render/postfx.h"

#include <cmath>
#include <utility>

#include "core/app_globals.h"
#include "render/camera.h"
#include "core/log.h"
#include "render/scene.h"
#include "render/shader.h"
#include "core/window.h"
#include "render/splash.h"

Texture* postfx_targets[4] = {};
Texture* postfx_fp_target = nullptr;

namespace {

struct PostState {
  Shader *main = nullptr, *none = nullptr, *taa = nullptr;
  Vec4f frame_color = {0, 0, 0, 0};
  int jitter_index = 0;
  float jitter_weight = 1;
  Matrix44 prev_glob = Matrix44::identity();
  Vec4f prev_cam = {0, 0, 0, 1};
  int prev_wd = 0, prev_ht = 0; // screen size of the stored frame
  bool have_prev = false;
};
PostState post;

float halton(int k, int base) {
  float f = 1, r = 0;
  for (int i = k; i > 0; i /= base) {
    f /= base;
    r += f * (i % base);
  }
  return r;
}

void screen_consts() {
  const float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / d3d_wd, 0.5f + 0.5f / d3d_ht};
  set_vs_consts(16, c16, 1);
}

// A camera that moved this far since the last frame was cut, not flown (the
// developer camera covers at most about 10 units between two frames): the
// history shows another place and only adds ghosts.
constexpr float CAMERA_CUT_DISTANCE = 16;

// Movement of the camera since the last resolved frame, wrapped by whole worlds.
void camera_movement(const Matrix44& cam, float mv[3]) {
  for (int k = 0; k < 3; k++) mv[k] = cam.m[3][k] - post.prev_cam[k];
  mv[0] = camera_wrap_delta(mv[0]);
  mv[2] = camera_wrap_delta(mv[2]);
}

// Whether a history target of the last frame still fits this one: it exists
// and was made at this size (a resize recreates the targets without content).
bool previous_frame_usable() { return post.have_prev && post.prev_wd == d3d_wd && post.prev_ht == d3d_ht; }

// The constants of a "postfx_taa.sh" pass: camera rays, half a pixel, the
// weight w of this frame, and the previous global matrix for positions
// relative to this frame's camera.
void reprojection_consts(const Matrix44& cam, const Matrix44& proj, const float mv[3], float w) {
  screen_consts();
  camera_ray_consts(cam, proj);
  float c16[4] = {cam.m[3][0], cam.m[3][1], cam.m[3][2], 1};
  set_ps_consts(16, c16, 1);
  float c17[4] = {0.5f / d3d_wd, 0.5f / d3d_ht, 0, w};
  set_ps_consts(17, c17, 1);
  Matrix44 t = Matrix44::identity();
  for (int k = 0; k < 3; k++) t.m[3][k] = post.prev_cam[k] + mv[k];
  Matrix44 rel = t * post.prev_glob;
  set_ps_consts(18, &rel.m[0][0], 4);
}

void taa_draw(Texture* target, Texture* current, Texture* history, Texture* distance) {
  set_render_target(target, 0, false);
  set_viewport(0, 0, d3d_wd, d3d_ht);
  set_shader(post.taa);
  set_texture(0, current);
  set_texture(1, history);
  set_texture(2, distance);
  for (int s = 0; s < 3; s++) {
    set_tex_address(s, 1);
    set_tex_filter(s, true);
  }
  draw_postfx();
}

void temporal_pass(const Matrix44& cam, const Matrix44& proj) {
  Texture* spare = postfx_targets[2]; // T3: free once the scene is composed
  Texture* history = scene_images[2];
  if (!spare || !history || !previous_frame_usable()) return;
  float mv[3];
  camera_movement(cam, mv);
  float d = std::sqrt(mv[0] * mv[0] + mv[1] * mv[1] + mv[2] * mv[2]);
  float w = (1 - post.jitter_weight) * 0.1f;
  w = w + 2 * d * (1 - w);
  if (w > 0.5f) w = 0.5f;
  reprojection_consts(cam, proj, mv, w);
  taa_draw(spare, scene_image, history, postfx_targets[0]);
  std::swap(postfx_targets[2], scene_image);
  scene_images[0] = scene_image;
}

} // namespace

void init_postfx() {
  close_postfx();
  show_splash("Creating post-effect textures", -1.0f);
  for (Texture*& t : postfx_targets) {
    t = create_screen_render_texture();
    if (!t) fatal("can't create textures for post-effect");
  }
  if (can_render_to_format(8)) {
    postfx_fp_target = create_render_texture(0, 0, 8);
    if (!postfx_fp_target) fatal("can't create textures for post-effect");
    debug("using FP blending for effects!");
  }
  show_splash("Compiling post-effect shaders", -1.0f);
  post.main = create_shader("postfx_main.sh", nullptr);
  post.none = create_shader("postfx_none.sh", nullptr);
  post.taa = create_shader("postfx_taa.sh", nullptr);
}

void close_postfx() {
  for (Texture*& t : postfx_targets) {
    if (t) release_texture(t);
    t = nullptr;
  }
  if (postfx_fp_target) release_texture(postfx_fp_target);
  postfx_fp_target = nullptr;
  destroy_shader(post.main);
  destroy_shader(post.none);
  destroy_shader(post.taa);
  post = PostState{};
}

void postfx_set_frame_color(const Vec4f& c) { post.frame_color = c; }

void finish_frame_postfx() {
  set_wireframe(false);
  set_zenable(false);
  set_zwrite(false);
  set_blend_none();
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  set_cull_mode(0);
  const Matrix44& view = get_view_tm();
  const Matrix44& proj = get_proj_tm();
  Matrix44 cam;
  if (!matrix_inverse(view, cam)) cam = Matrix44::identity();
  if (use_ppaa && gfx_quality == 1) temporal_pass(cam, proj);

  set_back_buffer_target();
  set_viewport(0, 0, d3d_wd, d3d_ht);
  bool plain = !use_postfx || scene_wireframe;
  set_shader(plain ? post.none : post.main);
  set_texture(0, scene_image);
  set_tex_address(0, 1);
  set_tex_filter(0, true);
  screen_consts();
  if (!plain) {
    const float c0[4] = {1.0f / d3d_wd, 1.0f / d3d_ht, float(d3d_wd), float(d3d_ht)};
    set_ps_consts(0, c0, 1);
  }
  set_ps_consts(1, &post.frame_color.x, 1);
  draw_postfx();

  if (gfx_quality == 1) {
    post.prev_glob = view * proj;
    post.prev_cam = Vec4f{cam.m[3][0], cam.m[3][1], cam.m[3][2], 1};
    post.prev_wd = d3d_wd;
    post.prev_ht = d3d_ht;
    post.have_prev = true;
    if (scene_images[2]) {
      std::swap(scene_images[2], scene_image);
      scene_images[0] = scene_image;
    }
  }
}

bool postfx_filter_shadow_term(Texture* target, Texture* term, Texture* history, Texture* distance,
                               const Matrix44& cam, const Matrix44& proj) {
  if (!target || !term || !history || !distance || !previous_frame_usable()) return false;
  float mv[3];
  camera_movement(cam, mv);
  if (mv[0] * mv[0] + mv[1] * mv[1] + mv[2] * mv[2] > CAMERA_CUT_DISTANCE * CAMERA_CUT_DISTANCE) return false;
  reprojection_consts(cam, proj, mv, SHADOW_TERM_WEIGHT);
  taa_draw(target, term, history, distance);
  return true;
}

void halton_point(int k, float& h2, float& h3) {
  h2 = halton(k, 2);
  h3 = halton(k, 3);
}

void postfx_apply_jitter(Matrix44& proj, int wd, int ht) {
  float h2, h3;
  halton_point(post.jitter_index + 1, h2, h3);
  post.jitter_index = (post.jitter_index + 1) & 63;
  float jx = (2 * h2 - 1) * 1.5f, jy = (2 * h3 - 1) * 1.5f;
  post.jitter_weight = std::exp(-2.29f * (jx * jx + jy * jy));
  proj.m[2][0] += jx / wd;
  proj.m[2][1] += jy / ht;
}

float postfx_jitter_weight() { return post.jitter_weight; }
