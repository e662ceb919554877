// The scene function of the world-showing modes, both paths.
#include "render/scene.h"

#include <cmath>
#include <utility>

#include "core/app_globals.h"
#include "audio/sound.h"
#include "render/camera.h"
#include "core/log.h"
#include "core/game_rnd.h"
#include "render/effects.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/debug_vis.h"
#include "host/gameobj_api.h"
#include "render/shader.h"
#include "render/shadow_maps.h"
#include "render/sky.h"
#include "render/splash.h"

Texture* scene_images[4] = {};
bool scene_wireframe = false;

void camera_ray_consts(const Matrix44& cam, const Matrix44& proj) {
  float axes[3][4];
  for (int r = 0; r < 3; r++) {
    float scale = r == 0 ? 1 / proj.m[0][0] : r == 1 ? 1 / proj.m[1][1] : 1;
    for (int k = 0; k < 3; k++) axes[r][k] = cam.m[r][k] * scale;
    axes[r][3] = 0;
  }
  set_vs_consts(17, &axes[0][0], 3);
}

namespace {

struct DeferredShaders {
  Shader *final_ = nullptr, *shadow_blur = nullptr, *shadow_map = nullptr;
  Shader* shadow_map_sun = nullptr; // the sun's shadow alone, while the object maps are empty
};
DeferredShaders dr;

// Sky-blue clear: what shows where nothing is drawn, never mistaken for black.
constexpr D3dColor SCENE_CLEAR = 0xFF8CB4E0;

void world_states() {
  set_zenable(true);
  set_zwrite(true);
  set_blend_none();
  set_cull_mode(1);
  set_wireframe(scene_wireframe);
  set_color_write_mask(15);
  set_atest(0);
}

// The module's objects in the 3D pass; a missing entry draws nothing.
void draw_gameobjs(float t) {
  if (gameobj_funcs.render_gameobj) gameobj_fn<void (*)(float)>(gameobj_funcs.render_gameobj)(t);
}

// The debug-visualisation pass: the module's debug drawing, flushed at the end.
void debug_vis_pass(float t) {
  if (!gameobj_funcs.render_debug_vis_gameobj) return;
  start_draw_debug_vis();
  gameobj_fn<void (*)(float)>(gameobj_funcs.render_debug_vis_gameobj)(t);
  end_draw_debug_vis();
}

void simple_path(float f, float t) {
  set_render_target(scene_image, 0, true);
  set_viewport(0, 0, d3d_wd, d3d_ht);
  clear_view(SCENE_CLEAR);
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  world_states();
  HeightmapRenderer::draw_land();
  draw_gameobjs(t);
  HeightmapRenderer::draw_lava(f);
  set_blend_alpha();
  set_zwrite(false);
  HeightmapRenderer::draw_water(f);
  set_blend_none();
  set_zwrite(true);
  set_cull_mode(0);
  if (!scene_wireframe) draw_sky();
  set_cull_mode(1);
  debug_vis_pass(t);
}

// S3 holds the last frame's filtered shadow term (kept only with use_ppaa),
// of the world with this serial.
bool shadow_history_kept = false;
unsigned shadow_history_world = 0;

void screen_quad_consts() {
  const float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / d3d_wd, 0.5f + 0.5f / d3d_ht};
  set_vs_consts(16, c16, 1);
}


void deferred_path(float f, float t, const Matrix44& cam, const Matrix44& proj) {
  Texture *T1 = postfx_targets[0], *T2 = postfx_targets[1], *T3 = postfx_targets[2], *T4 = postfx_targets[3];
  Texture *&S0 = scene_images[0], *&S1 = scene_images[1], *&S3 = scene_images[3];
  // 1. The G-buffer: albedo (T4, with depth), normal (T2), distance (T1).
  set_render_target(T4, 0, true);
  set_render_target(T2, 1, true);
  set_render_target(T1, 2, true);
  set_viewport(0, 0, d3d_wd, d3d_ht);
  clear_view(0x00FFFFFF);
  world_states();
  set_stencil_test(1, 1, D3DCMP_ALWAYS);
  set_stencil_replace_bits(1);
  HeightmapRenderer::draw_land();
  draw_gameobjs(t);
  HeightmapRenderer::draw_lava(f);
  // 2. Water reads the bottom's albedo from a copy.
  copy_texture(T4, T3);
  set_texture(8, T3);
  set_render_target(nullptr, 2, true);
  set_zwrite(false);
  HeightmapRenderer::draw_water(f);
  set_render_target(nullptr, 1, true);
  set_texture(10, T1);
  for (int s = 8; s < 12; s++) {
    set_tex_filter(s, true);
    set_tex_address(s, 1);
  }
  set_wireframe(false);
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  set_stencil_replace_bits(0);
  set_zenable(false);
  set_zwrite(false);
  set_cull_mode(0);
  screen_quad_consts();
  camera_ray_consts(cam, proj);
  float campos[4] = {cam.m[3][0], cam.m[3][1], cam.m[3][2], 1};
  set_ps_consts(16, campos, 1);
  // 3. The sun-shadow term into S1.
  set_render_target(S1, 0, true);
  set_viewport(0, 0, d3d_wd, d3d_ht);
  set_shader(shadow_maps_empty() ? dr.shadow_map_sun : dr.shadow_map);
  set_texture(0, HeightmapRenderer::sunMap);
  set_texture(4, get_sky_noise_texture());
  set_tex_address(4, 0);
  set_texture(11, shadow_cascade_map());
  set_texture(12, shadow_topdown_map());
  shadow_set_ps_consts(20);
  float jitter[4] = {0.37f, 0.71f, 0, 0};
  if (use_ppaa) {
    jitter[0] = game_rnd_frnd();
    jitter[1] = game_rnd_frnd();
  }
  set_ps_consts(17, jitter, 1);
  draw_postfx();
  // 4. Temporal filtering of the shadow term against its history in S3
  // (through S0, free until the horizon); S1 then holds the filtered term.
  if (use_ppaa && shadow_history_kept && shadow_history_world == HeightmapRenderer::world_serial() &&
      postfx_filter_shadow_term(S0, S1, S3, T1, cam, proj)) {
    std::swap(S0, S1);
    scene_image = S0;
  }
  // 5. Blur, through S0 (free again) into T3 (free since the water's copy),
  // so that S1, the next frame's history, stays unblurred: blurring the
  // history too would soften the shadows further with every frame.
  Texture* shadow_term = S1;
  if (blur_shadows) {
    set_shader(dr.shadow_blur);
    screen_quad_consts();
    set_render_target(S0, 0, false);
    set_texture(0, S1);
    const float h[4] = {1.0f / d3d_wd, 0, 0, 0}, v[4] = {0, 1.0f / d3d_ht, 0, 0};
    set_ps_consts(0, h, 1);
    draw_postfx();
    set_render_target(T3, 0, false);
    set_texture(0, S0);
    set_ps_consts(0, v, 1);
    draw_postfx();
    shadow_term = T3;
  }
  // 6. Lighting and haze straight into S0 where something was drawn (one
  // pass: a lit target hazed by a second full-screen pass costs a software
  // rasterizer several ms more). The horizon and sky that follow pass the
  // depth and stencil tests only where the world is not in front.
  set_render_target(S0, 0, true);
  set_viewport(0, 0, d3d_wd, d3d_ht);
  if (scene_wireframe) clear_view_color(0xB4B4B4B4);
  set_stencil_test(255, 0, D3DCMP_NOTEQUAL);
  set_shader(dr.final_);
  set_texture(0, HeightmapRenderer::aperTex);
  set_texture(1, HeightmapRenderer::hmapTex);
  set_tex_address(0, 0);
  set_tex_address(1, 0);
  set_texture(8, T4);
  set_texture(9, T2);
  set_texture(11, shadow_term);
  sky_set_ps_consts();
  set_ps_consts(16, campos, 1);
  draw_postfx();
  // 7. Horizon (stencil 2) and sky (stencil 0) into S0.
  world_states();
  set_stencil_test(255, 2, D3DCMP_ALWAYS);
  set_stencil_replace_bits(2);
  HeightmapRenderer::draw_horizon();
  set_stencil_replace_bits(0);
  set_cull_mode(0);
  if (!scene_wireframe) {
    set_stencil_test(255, 0, D3DCMP_EQUAL);
    set_zenable(false);
    draw_sky();
  }
  set_zenable(false);
  set_zwrite(false);
  // 8. Depth on again for the debug drawing (the effects follow the path).
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  set_zenable(true);
  set_zwrite(true);
  debug_vis_pass(t);
  // 9. This frame's shadow term becomes the next frame's history.
  if (use_ppaa) std::swap(S1, S3);
  shadow_history_kept = use_ppaa;
  shadow_history_world = HeightmapRenderer::world_serial();
  for (int s = 8; s < 13; s++) set_texture(s, nullptr);
}

} // namespace

void init_scene_targets() {
  scene_images[0] = scene_image;
  if (gfx_quality != 1) return;
  scene_images[1] = create_screen_render_texture();
  if (!scene_images[1]) fatal("can't create scene texture");
  for (int i = 2; i < 4; i++) {
    scene_images[i] = create_screen_render_texture();
    if (!scene_images[i]) fatal("can't create scene image texture");
  }
  dr.final_ = create_shader("dr_final.sh", nullptr);
  dr.shadow_blur = create_shader("dr_shadow_blur.sh", nullptr);
  dr.shadow_map = create_shader("dr_shadow_map.sh", nullptr);
  dr.shadow_map_sun = create_shader("dr_shadow_map.sh", "SUN_ONLY\0 1\0");
}

void close_scene_targets() {
  destroy_shader(dr.final_);
  destroy_shader(dr.shadow_blur);
  destroy_shader(dr.shadow_map);
  destroy_shader(dr.shadow_map_sun);
  dr = DeferredShaders{};
  for (int i = 1; i < 4; i++) {
    if (scene_images[i]) release_texture(scene_images[i]);
    scene_images[i] = nullptr;
  }
  scene_images[0] = nullptr;
}

void scene_set_view_consts(const Matrix44& view, const Matrix44& proj, const float cam_pos[3]) {
  set_view_tm(view);
  set_proj_tm(proj);
  Matrix44 glob = view * proj;
  set_vs_consts(0, &glob.m[0][0], 4);
  float c[4] = {cam_pos[0], cam_pos[1], cam_pos[2], 1};
  set_vs_consts(4, c, 1);
  set_ps_consts(14, c, 1);
  float tm[4] = {sky_anim_time(), 0, 0, 0};
  set_vs_consts(5, tm, 1);
  set_ps_consts(15, tm, 1);
}

void render_scene(float t) {
  const float f = 20 * t;
  Matrix44 cam, view, proj;
  camera_matrix(f, cam);
  cur_view_itm = cam;
  if (!matrix_inverse(cam, view)) view = Matrix44::identity();
  cur_view_tm = view;
  // The listener follows the rendered camera (nothing while the sound layer is down).
  if (is_sound_ready()) {
    auto v = [](const float a[4]) { return SoundVec{a[0], a[1], a[2], a[3]}; };
    float vel[4];
    for (int k = 0; k < 4; k++) vel[k] = 0;
    vel[0] = camera_wrap_delta(camera.pos.x - camera.prev_pos.x) * 20;
    vel[1] = (camera.pos.y - camera.prev_pos.y) * 20;
    vel[2] = camera_wrap_delta(camera.pos.z - camera.prev_pos.z) * 20;
    set_listener_pos(v(cam.m[3]), v(vel), v(cam.m[2]), v(cam.m[1]));
    apply_3d_sound();
  }
  camera_projection(f, d3d_wd, d3d_ht, proj);
  update_sky(f);
  Vec4f fc;
  for (int k = 0; k < 4; k++) fc[k] = prev_frame_color[k] + (cur_frame_color[k] - prev_frame_color[k]) * f;
  postfx_set_frame_color(fc);
  const bool hq = gfx_quality == 1 && scene_images[1];
  if (hq && use_ppaa) postfx_apply_jitter(proj, d3d_wd, d3d_ht);
  set_view_tm(view);
  set_proj_tm(proj);
  if (hq) {
    render_shadow_maps(512, 0);
    set_view_tm(view); // the shadow passes leave their light matrices
    set_proj_tm(proj);
  }
  set_frustum_planes(cam, proj);
  HeightmapRenderer::update_terrain(t);
  scene_set_view_consts(view, proj, cam.m[3]);
  if (hq)
    deferred_path(f, t, cam, proj);
  else
    simple_path(f, t);
  // Effects: particles, trails and bolts composited over the scene colour
  // (does nothing until init_common_fx ran).
  render_common_fx(t, f);
}
