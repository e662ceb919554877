// The common effects' life cycle and drawing: GPU objects, atlases and
// shaders, the per-step update, and the frame pass that accumulates every
// effect in the effects target and composites it over the scene colour.
//
// Effects target: the floating-point post-effect target when the device has
// one (one colour target, shaders with SINGLE_RT); otherwise two 8-bit
// post-effect targets at once, T4 (with the scene depth) and T2, which are
// free once the scene is composed (T1 holds the distances the temporal pass
// still reads, T3 is its spare).
//
// Vertex constants of the effect shaders: c0..c3 the global matrix, c20 the
// camera's right axis, c21 its up axis (particles face the camera).
#include <cstring>

#include "core/app_globals.h"
#include "core/log.h"
#include "render/dynVBWriter.h"
#include "render/effects_local.h"
#include "render/postfx.h"
#include "render/shader.h"
#include "render/splash.h"
#include "render/texture.h"
#include "world/world_hooks.h"

namespace {

struct FxGpu {
  VertexBuffer* corners = nullptr;
  IndexBuffer* ib = nullptr;
  VertexDecl* part_decl = nullptr;
  VertexDecl* trail_decl = nullptr;
  Shader *blend = nullptr, *glow = nullptr, *effect = nullptr, *post = nullptr;
  Texture *blend_atlas = nullptr, *glow_atlas = nullptr, *lightning = nullptr;
  bool ready = false;
};
FxGpu gpu;

const VertexElement PARTICLE_ELEMENTS[] = {{0, 0, 6, 0, 10}, {0, 1, 3, 0, 0},  {12, 1, 2, 0, 1},
                                           {20, 1, 5, 2, 0}, {24, 1, 4, 3, 0}, {0, 255, 0, 0, 0}};
const VertexElement TRAIL_ELEMENTS[] = {{0, 0, 3, 0, 0}, {12, 0, 5, 2, 0}, {16, 0, 2, 3, 0}, {0, 255, 0, 0, 0}};

// The writer's argument packs the vertices and triangles of one instance.
constexpr int PARTICLE_DRAW_ARG = 0x40002;

void draw_particle_instances(int count, int arg) {
  set_instancing(count);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, arg >> 16, 0, arg & 0xFFFF);
  set_instancing(0);
}

FxCamera frame_camera() {
  FxCamera c{};
  Matrix44 cam;
  if (!matrix_inverse(get_view_tm(), cam)) cam = Matrix44::identity();
  for (int k = 0; k < 3; k++) {
    c.right[k] = cam.m[0][k];
    c.up[k] = cam.m[1][k];
    c.pos[k] = cam.m[3][k];
  }
  c.pos.w = 1;
  return c;
}

void draw_particles(int kind, float t, const FxCamera& cam) {
  if (particle_pools[kind].alive <= 0) return;
  DynVBWriter& w = common_vb_writer;
  w.begin(draw_particle_instances, PARTICLE_DRAW_ARG, 1, PARTICLE_INSTANCE_BYTES);
  int cursor = 0;
  while (cursor < particle_pools[kind].recs.num) {
    int room = w.bytesLeft() / PARTICLE_INSTANCE_BYTES;
    if (room <= 0) {
      w.flush(false);
      continue;
    }
    int n = particles_fill(kind, cursor, t, cam, (ParticleInstance*)w.cur, room);
    w.cur += n * PARTICLE_INSTANCE_BYTES;
    w.count += n;
  }
  w.flush(true);
}

void draw_trails_and_bolts(float t, float f, const FxCamera& cam) {
  DynVBWriter& w = common_vb_writer;
  set_vdecl(gpu.trail_decl);
  set_shader(gpu.effect);
  set_texture(0, gpu.glow_atlas);
  set_tex_address(0, 0, 1); // the ribbon tiles along u; v stays in its band
  w.begin(dynvb_draw_prim, D3DPT_TRIANGLELIST, 0, FX_VERTEX_BYTES);
  for (int i = 0; i < MAX_TRAIL_FX; i++) {
    int n = trail_fx[i].count;
    if (n <= 0) continue;
    if (w.bytesLeft() < n * 6 * FX_VERTEX_BYTES) w.flush(false);
    int v = trail_fill(i, f, cam, (FxVertex*)w.cur);
    w.cur += v * FX_VERTEX_BYTES;
    w.count += v / 3;
  }
  w.flush(true);
  if (bolts.num == 0) return;
  set_texture(0, gpu.lightning);
  set_tex_address(0, 0, 1);
  w.begin(dynvb_draw_prim, D3DPT_TRIANGLELIST, 0, FX_VERTEX_BYTES);
  for (const Bolt* b : bolts)
    for (int i = 1; i < b->points.num; i++) {
      if (w.bytesLeft() < 6 * FX_VERTEX_BYTES) w.flush(false);
      bolt_fill_segment(*b, i, t, cam, (FxVertex*)w.cur);
      w.cur += 6 * FX_VERTEX_BYTES;
      w.count += 2;
    }
  w.flush(true);
}

void reset_hook() { reset_common_fx(); }

} // namespace

bool common_fx_ready() { return gpu.ready; }

void init_common_fx() {
  if (gpu.ready) close_common_fx();
  gpu.corners = create_vb(4 * 4, 1);
  gpu.ib = create_ib(6, 1);
  if (!gpu.corners || !gpu.ib) fatal("FX: can't create the particle corner buffers");
  const int16_t corners[8] = {-1, -1, 1, -1, -1, 1, 1, 1};
  void* vp = lock_vb(gpu.corners, 0, 0);
  ASSERT(vp);
  memcpy(vp, corners, sizeof corners);
  unlock_vb(gpu.corners);
  const uint16_t idx[6] = {0, 2, 1, 1, 2, 3};
  void* ip = lock_ib(gpu.ib, 0, 0);
  ASSERT(ip);
  memcpy(ip, idx, sizeof idx);
  unlock_ib(gpu.ib);
  gpu.part_decl = get_vdecl(PARTICLE_ELEMENTS);
  gpu.trail_decl = get_vdecl(TRAIL_ELEMENTS);

  const char* defs = postfx_fp_target ? "SINGLE_RT\0 1\0" : nullptr;
  gpu.blend = create_shader("blendPart.sh", defs);
  gpu.glow = create_shader("glowPart.sh", defs);
  gpu.effect = create_shader("effect.sh", defs);
  gpu.post = create_shader("postBlend.sh", defs);
  gpu.blend_atlas = get_texture("blendfx.dds", true);
  gpu.glow_atlas = get_texture("glowfx.dds", true);
  gpu.lightning = get_texture("lightning.dds", true);

  gpu.ready = true;
  reset_common_fx();
  if (!fx_script_init()) fatal("error creating fx script VM");
  world_hooks.reset_common_fx = reset_hook;
}

void close_common_fx() {
  if (world_hooks.reset_common_fx == reset_hook) world_hooks.reset_common_fx = nullptr;
  if (gpu.ready) reset_common_fx();
  fx_script_close();
  for (ParticlePool& pool : particle_pools) {
    pool.recs.clear();
    pool.free_head = -1;
    pool.alive = 0;
  }
  bolts.clear();
  if (gpu.corners) release_vb(gpu.corners);
  if (gpu.ib) release_ib(gpu.ib);
  destroy_shader(gpu.blend);
  destroy_shader(gpu.glow);
  destroy_shader(gpu.effect);
  destroy_shader(gpu.post);
  free_texture(gpu.blend_atlas);
  free_texture(gpu.glow_atlas);
  free_texture(gpu.lightning);
  gpu = FxGpu{};
}

void reset_common_fx() {
  particles_reset();
  trails_reset();
  bolts_reset();
}

void update_common_fx(float dt) {
  if (!gpu.ready) return;
  particles_update(dt);
  trails_update(dt);
  bolts_update(dt);
}

void render_common_fx(float t, float f) {
  if (!gpu.ready || !scene_image) return;
  Texture* fp = postfx_fp_target;
  Texture *t0 = fp ? fp : postfx_targets[3], *t1 = fp ? nullptr : postfx_targets[1];
  if (!t0 || (!fp && !t1)) return;
  const FxCamera cam = frame_camera();

  // 1. The effects target, cleared to 0, depth-tested against the scene.
  set_render_target(t0, 0, true);
  set_render_target(t1, 1, false);
  set_viewport(0, 0, d3d_wd, d3d_ht);
  clear_view_color(0);
  Matrix44 glob;
  get_glob_tm(glob);
  set_vs_consts(0, &glob.m[0][0], 4);
  const float axes[8] = {cam.right.x, cam.right.y, cam.right.z, 0, cam.up.x, cam.up.y, cam.up.z, 0};
  set_vs_consts(20, axes, 2);
  set_wireframe(false);
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  set_zenable(true);
  set_zwrite(false);
  set_cull_mode(0);
  set_atest(0);
  set_blend_additive();

  // 2. Particles, instanced over the corner quad.
  set_vdecl(gpu.part_decl);
  set_vb(0, gpu.corners, 0, 4);
  set_ib(gpu.ib);
  for (int kind = FX_BLEND; kind <= FX_GLOW; kind++) {
    set_shader(kind == FX_BLEND ? gpu.blend : gpu.glow);
    set_texture(0, kind == FX_BLEND ? gpu.blend_atlas : gpu.glow_atlas);
    set_tex_filter(0, true);
    set_tex_address(0, 1);
    draw_particles(kind, t, cam);
  }
  set_instancing(0);

  // 3. Trails (glow atlas), then lightning.
  draw_trails_and_bolts(t, f, cam);

  // 4. Composite over the scene colour.
  set_blend_none();
  set_cull_mode(1);
  set_zwrite(true);
  set_render_target(nullptr, 1, false);
  set_render_target(scene_image, 0, true);
  set_viewport(0, 0, d3d_wd, d3d_ht);
  set_zenable(false);
  set_shader(gpu.post);
  set_texture(0, t0);
  set_texture(1, t1);
  for (int s = 0; s < 2; s++) {
    set_tex_filter(s, false);
    set_tex_address(s, 1);
  }
  const float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / d3d_wd, 0.5f + 0.5f / d3d_ht};
  set_vs_consts(16, c16, 1);
  set_blend_prealpha();
  set_cull_mode(0);
  draw_postfx();
  set_blend_none();
  set_cull_mode(1);
  set_zenable(true);
  set_texture(0, nullptr);
  set_texture(1, nullptr);
  set_tex_filter(0, true);
  set_tex_filter(1, true);
}
