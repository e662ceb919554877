// The terrain renderer's GPU side: resources, the texture rebuild after each
// simulation step, the per-frame blends and buffer fills, and the draws.
#include "render/hmRender.h"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "core/app_globals.h"
#include "core/log.h"
#include "render/hmRender_local.h"
#include "render/shader.h"
#include "render/sky.h"
#include "core/window.h"
#include "host/gameobj_api.h"
#include "render/texture.h"
#include "world/hm_update.h"

namespace HeightmapRenderer {

Texture* hmapTex = nullptr;
Texture* colrTex = nullptr;
Texture* topcTex = nullptr;
Texture* landColorTex = nullptr;
Texture* normTex = nullptr;
Texture* aperTex = nullptr;
Texture* prevSunMap = nullptr;
Texture* curSunMap = nullptr;
Texture* sunMap = nullptr;
Texture* mapTex = nullptr;
void (*render_building_fn)(const HeightmapData::Surface* s, int x, int z) = nullptr;

CpuState cpu;

namespace {

using HeightmapData::Water;

constexpr int FAR_IB_INDICES = 365574;
constexpr int FLUID_IB_INDICES = 390150;
constexpr int HORIZON_IB_INDICES = 218886;
// Window quads are culled against the view in blocks of 15 x 15 (17 a side).
constexpr int CULL_BLOCK = 15;
constexpr int CULL_BLOCKS = 17;

struct GpuState {
  bool ready = false, hq = false;
  Texture* norm[2] = {};  // normal maps A and B; norm[norm_newest] is the latest
  Texture* aper[2] = {};  // aper[newest] is the latest
  int newest = 0, norm_newest = 0;
  // The normal maps depend on the ground only: when a rebuild finds the
  // ground unchanged, the newest map is copied over the older once (so the
  // blend shows it whatever f is) and the normal pass is skipped.
  bool norm_settled = false;
  // normTex already holds the settled map: blending two equal maps again
  // would redraw 1024 x 1024 texels every frame for nothing.
  bool norm_blend_settled = false;
  bool force_full = true; // render targets lost (resize): redo every pass
  uint16_t* ground_half = nullptr; // ground heights of the last upload
  uint16_t* surface_half = nullptr; // ground + |fluid| of the last upload
  // The aperture and sun passes read only hmapTex (both channels) and, for
  // the sun, the pass parameters: while those stay the same their maps are
  // settled like the normal maps (newest copied over the older, blend done
  // once) and the passes are skipped.
  bool aper_settled = false, aper_blend_settled = false;
  bool sun_settled = false, sun_blend_settled = false;
  int sun_kind = -1; // sun_shadow_params of the last sun pass; -1: none yet
  float sun_dx = 0, sun_dz = 0, sun_hi = 0, sun_lo = 0;
  PassCounts passes = {};
  Texture* detail = nullptr;
  Texture* foam = nullptr;
  Texture* lava = nullptr;
  Shader *far_land = nullptr, *near_land = nullptr, *water = nullptr, *lava_sh = nullptr, *norm_sh = nullptr,
         *aper_sh = nullptr, *sun_sh = nullptr, *sun_blur = nullptr, *clear_sh = nullptr, *interp = nullptr,
         *horizon = nullptr;
  VertexDecl *grid_decl = nullptr, *patch_decl = nullptr, *fluid_decl = nullptr;
  VertexBuffer *patch_vb = nullptr, *inst_vb = nullptr, *far_vb = nullptr, *horizon_vb = nullptr, *water_vb = nullptr,
               *lava_vb = nullptr;
  IndexBuffer *patch_ib = nullptr, *far_ib = nullptr, *horizon_ib = nullptr, *water_ib = nullptr, *lava_ib = nullptr;
  int horizon_quads = 0;
  uint8_t block_seen[CULL_BLOCKS * CULL_BLOCKS] = {};
  // The next rebuild fills the old maps too: after start-up or a new world
  // there is no previous state to blend from.
  bool snap = true;
  FrameCounts counts = {};
  int x0 = 0, z0 = 0; // window origin of the last frame
  int map_age = 0;     // rebuilds since the world map was last redrawn
};

// The world map is an overview of the whole world: redrawn every 4th rebuild
// (five times a second while the world runs) it looks the same to a player,
// at a quarter of its cost (two 512 x 512 passes per redraw).
constexpr int MAP_REDRAW_REBUILDS = 4;
GpuState gpu;

const VertexElement GRID_ELEMENTS[] = {{0, 0, 6, 0, 0}, {4, 0, 1, 0, 1}, {0, 255, 0, 0, 0}};
const VertexElement PATCH_ELEMENTS[] = {{0, 0, 2, 0, 0}, {0, 1, 6, 0, 1}, {4, 1, 4, 0, 2}, {0, 255, 0, 0, 0}};
const VertexElement FLUID_HQ_ELEMENTS[] = {
    {0, 0, 6, 0, 0}, {4, 0, 1, 0, 1}, {8, 0, 4, 3, 0}, {24, 0, 6, 3, 1}, {0, 255, 0, 0, 0}};
const VertexElement FLUID_LOW_ELEMENTS[] = {{0, 0, 6, 0, 0}, {4, 0, 1, 0, 1}, {8, 0, 1, 3, 1}, {0, 255, 0, 0, 0}};

struct GridVertex {
  int16_t x, z;
  float h;
};
struct InstVertex {
  int16_t x, z;
  float h[4];
};
struct FluidVertexHQ {
  int16_t x, z;
  float level;
  float flow[4];
  int16_t a, b;
};
struct FluidVertexLow {
  int16_t x, z;
  float level;
  float t;
};
static_assert(sizeof(GridVertex) == 8 && sizeof(InstVertex) == 20);
static_assert(sizeof(FluidVertexHQ) == 28 && sizeof(FluidVertexLow) == 12);

// Per-window-vertex levels for the quad builder (allocated once, with the renderer).
float* window_water = nullptr;
float* window_lava = nullptr;

Texture* need_texture(Texture* t) {
  if (!t) fatal("can't create land textures");
  return t;
}
VertexBuffer* need_vb(int bytes, int flags, const char* msg) {
  VertexBuffer* vb = create_vb(bytes, flags);
  if (!vb) fatal("%s", msg);
  return vb;
}
IndexBuffer* need_ib(int count, int flags, const char* msg) {
  IndexBuffer* ib = create_ib(count, flags);
  if (!ib) fatal("%s", msg);
  return ib;
}

void full_target(Texture* t) {
  set_render_target(t, 0, false);
  set_viewport(0, 0, t->cur_wd, t->cur_ht);
}

// States of a full-target pass: no depth, no blending, no stencil, no culling.
void pass_states() {
  set_zenable(false);
  set_zwrite(false);
  set_blend_none();
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  set_cull_mode(0);
  set_wireframe(false);
  set_color_write_mask(15);
  set_atest(0);
}

void set_region_consts(int x0, int z0, int nx, int nz) {
  ASSERT(nx > 0 && nz > 0);
  ASSERT(x0 >= 0 && z0 >= 0 && x0 + nx <= HMAP_SIZE && z0 + nz <= HMAP_SIZE);
  const float c17[4] = {0.5f, -0.5f, 0.5f + 0.5f / 256, 0.5f + 0.5f / 256};
  const float ps0[4] = {1.0f / 256, 1.0f / 256, 0, 0};
  const float c16[4] = {nx / 256.0f, nz / 256.0f, (2.0f * x0 - 256 + nx) / 256, -(2.0f * z0 - 256 + nz) / 256};
  set_vs_consts(17, c17, 1);
  set_ps_consts(0, ps0, 1);
  set_vs_consts(16, c16, 1);
}

// Returns whether any ground height differs from the last upload; `surface`
// whether any ground + |fluid| height does.
bool upload_hmap_tex(bool& surface) {
  int pitch = 0;
  uint8_t* p = lock_texture(hmapTex, pitch, true);
  ASSERT(p);
  const float* hm = HeightmapData::hmap;
  const Water* w = HeightmapData::waterCells();
  bool changed = false, surf_changed = false;
  for (int z = 0; z < HMAP_SIZE; z++) {
    uint16_t* row = (uint16_t*)(p + size_t(z) * pitch);
    for (int x = 0; x < HMAP_SIZE; x++) {
      int i = (z << 8) | x;
      uint16_t g = float_to_half(hm[i]);
      uint16_t r = float_to_half(hm[i] + std::fabs(w[i].depth));
      row[2 * x] = r;
      row[2 * x + 1] = g;
      changed |= g != gpu.ground_half[i];
      surf_changed |= r != gpu.surface_half[i];
      gpu.ground_half[i] = g;
      gpu.surface_half[i] = r;
    }
  }
  unlock_texture(hmapTex);
  surface = surf_changed;
  return changed;
}

// The 5:6:5 ground colour of a surface colour (0xRRGGBB), and that colour as
// the texture unit reads it back (8 bits per channel).
uint16_t ground_565(uint32_t v) {
  return uint16_t(((v >> 8) & 0xF800) | ((v >> 5) & 0x07E0) | ((v >> 3) & 0x001F));
}
uint32_t expand_565(uint16_t c) {
  uint32_t r = ((c >> 11) * 255 + 15) / 31, g = (((c >> 5) & 63) * 255 + 31) / 63, b = ((c & 31) * 255 + 15) / 31;
  return r << 16 | g << 8 | b;
}

// Ground colours, top-layer colours, and both mixed by the top's coverage
// into the land's one colour texture: the land's pixels then read one
// texture instead of two (the world map still reads the two layers).
void upload_surface_tex() {
  int pitch = 0, land_pitch = 0;
  uint8_t* p = lock_texture(colrTex, pitch, true);
  ASSERT(p);
  const HeightmapData::Surface* s = HeightmapData::surface;
  for (int z = 0; z < HMAP_SIZE; z++) {
    uint16_t* row = (uint16_t*)(p + size_t(z) * pitch);
    for (int x = 0; x < HMAP_SIZE; x++) row[x] = ground_565(s[(z << 8) | x].color);
  }
  unlock_texture(colrTex);
  p = lock_texture(topcTex, pitch, true);
  ASSERT(p);
  uint8_t* l = lock_texture(landColorTex, land_pitch, true);
  ASSERT(l);
  for (int z = 0; z < HMAP_SIZE; z++) {
    uint32_t* row = (uint32_t*)(p + size_t(z) * pitch);
    uint32_t* land = (uint32_t*)(l + size_t(z) * land_pitch);
    for (int x = 0; x < HMAP_SIZE; x++) {
      const HeightmapData::Surface& c = s[(z << 8) | x];
      uint32_t top = c.top_color, ground = expand_565(ground_565(c.color)), a = top >> 24, mixed = 0xFF000000u;
      for (int sh = 0; sh < 24; sh += 8) {
        int g = int((ground >> sh) & 255), t = int((top >> sh) & 255);
        mixed |= uint32_t(g + ((t - g) * int(a) + (t >= g ? 127 : -127)) / 255) << sh;
      }
      row[x] = top;
      land[x] = mixed;
    }
  }
  unlock_texture(landColorTex);
  unlock_texture(topcTex);
}

// Whether the sun pass would draw what it drew last time (same parameters).
bool sun_params_same(int kind, float dx, float dz, float hi, float lo) {
  if (kind != gpu.sun_kind) return false;
  return kind != 2 || (dx == gpu.sun_dx && dz == gpu.sun_dz && hi == gpu.sun_hi && lo == gpu.sun_lo);
}

void sun_shadow_pass(int kind, float dx, float dz, float hi, float lo) {
  Texture* t = prevSunMap;
  prevSunMap = curSunMap;
  curSunMap = t;
  gpu.sun_kind = kind;
  gpu.sun_dx = dx, gpu.sun_dz = dz, gpu.sun_hi = hi, gpu.sun_lo = lo;
  gpu.passes.sun++;
  if (kind != 2) {
    full_target(curSunMap);
    set_shader(gpu.clear_sh);
    const float lit[4] = {-65000, -64000, 0, 0}, dark[4] = {64000, 65000, 0, 0};
    set_ps_consts(16, kind == 0 ? lit : dark, 1);
    draw_postfx();
    return;
  }
  full_target(sunMap);
  set_shader(gpu.sun_sh);
  set_texture(0, hmapTex);
  set_tex_address(0, 0);
  const float c17[4] = {0.5f, -0.5f, 0.5f + 0.5f / 256, 0.5f + 0.5f / 256};
  set_vs_consts(17, c17, 1);
  const float c16[4] = {1, 1, 0, 0};
  set_vs_consts(16, c16, 1);
  const float ps0[4] = {dx / 256, dz / 256, hi, lo};
  set_ps_consts(0, ps0, 1);
  draw_postfx();
  full_target(curSunMap);
  set_shader(gpu.sun_blur);
  set_texture(0, sunMap);
  const float ps0b[4] = {-dz / 256, dx / 256, 0, 0};
  set_ps_consts(0, ps0b, 1);
  draw_postfx();
}

void rebuild_textures() {
  const bool fresh = gpu.snap || gpu.force_full; // a new world, or targets lost
  pass_states();
  bool surface_changed = false;
  bool ground_changed = upload_hmap_tex(surface_changed);
  set_texture(0, hmapTex);
  set_tex_address(0, 0);
  set_tex_filter(0, true);
  if (ground_changed || gpu.force_full || gpu.snap) {
    gpu.norm_newest ^= 1;
    full_target(gpu.norm[gpu.norm_newest]);
    set_shader(gpu.norm_sh);
    set_region_consts(0, 0, 256, 256);
    draw_postfx();
    gpu.norm_settled = gpu.norm_blend_settled = false;
  } else if (!gpu.norm_settled) {
    copy_texture(gpu.norm[gpu.norm_newest], gpu.norm[gpu.norm_newest ^ 1]);
    gpu.norm_settled = true;
  }
  gpu.force_full = false;
  if (gpu.hq) {
    if (fresh || ground_changed || surface_changed) {
      gpu.newest ^= 1;
      full_target(gpu.aper[gpu.newest]);
      set_shader(gpu.aper_sh);
      set_region_consts(0, 0, 256, 256);
      draw_postfx();
      gpu.aper_settled = gpu.aper_blend_settled = false;
      gpu.passes.aper++;
    } else if (!gpu.aper_settled) {
      copy_texture(gpu.aper[gpu.newest], gpu.aper[gpu.newest ^ 1]);
      gpu.aper_settled = true;
    }
    float dx, dz, hi, lo;
    int kind = sun_shadow_params(get_sun_dir(), dx, dz, hi, lo);
    if (fresh || surface_changed || !sun_params_same(kind, dx, dz, hi, lo)) {
      sun_shadow_pass(kind, dx, dz, hi, lo);
      gpu.sun_settled = gpu.sun_blend_settled = false;
    } else if (!gpu.sun_settled) {
      copy_texture(curSunMap, prevSunMap);
      gpu.sun_settled = true;
    }
  }
  if (gpu.snap) {
    gpu.snap = false;
    copy_texture(gpu.norm[gpu.norm_newest], gpu.norm[gpu.norm_newest ^ 1]);
    gpu.norm_settled = true;
    if (gpu.hq) {
      copy_texture(gpu.aper[gpu.newest], gpu.aper[gpu.newest ^ 1]);
      copy_texture(curSunMap, prevSunMap);
      gpu.aper_settled = gpu.sun_settled = true;
    }
  }
  upload_surface_tex();
  if (fresh || ++gpu.map_age >= MAP_REDRAW_REBUILDS) {
    gpu.map_age = 0;
    render_world_map();
  }
}

void blend_pass(Texture* target, Texture* a, Texture* b, float f) {
  full_target(target);
  set_shader(gpu.interp);
  set_texture(0, a);
  set_texture(1, b);
  set_tex_address(0, 0);
  set_tex_address(1, 0);
  int size = target->cur_wd;
  const float c16[4] = {0.5f, -0.5f, 0.5f + 0.5f / size, 0.5f + 0.5f / size};
  set_vs_consts(16, c16, 1);
  const float ps0[4] = {f, f, f, f};
  set_ps_consts(0, ps0, 1);
  draw_postfx();
}

void blend_textures(float f) {
  int o = gpu.newest ^ 1;
  if (!gpu.norm_blend_settled) {
    blend_pass(normTex, gpu.norm[gpu.norm_newest ^ 1], gpu.norm[gpu.norm_newest], f);
    gpu.norm_blend_settled = gpu.norm_settled;
  }
  if (gpu.hq) {
    if (!gpu.aper_blend_settled) {
      blend_pass(aperTex, gpu.aper[o], gpu.aper[gpu.newest], f);
      gpu.aper_blend_settled = gpu.aper_settled;
    }
    // sunMap is also the sun pass's intermediate target: a pass clears the flag.
    if (!gpu.sun_blend_settled) {
      blend_pass(sunMap, prevSunMap, curSunMap, f);
      gpu.sun_blend_settled = gpu.sun_settled;
    }
  }
  set_texture(1, nullptr);
}

void fill_static_buffers() {
  float* v = (float*)lock_vb(gpu.patch_vb, 0, 0);
  ASSERT(v);
  for (int j = 0; j < 5; j++)
    for (int i = 0; i < 5; i++) {
      *v++ = i * 0.25f;
      *v++ = j * 0.25f;
    }
  unlock_vb(gpu.patch_vb);
  uint16_t* ip = (uint16_t*)lock_ib(gpu.patch_ib, 0, 0);
  ASSERT(ip);
  for (int j = 0; j < 4; j++)
    for (int i = 0; i < 4; i++) {
      uint16_t a = uint16_t(j * 5 + i);
      const uint16_t q[6] = {a, uint16_t(a + 5), uint16_t(a + 1), uint16_t(a + 1), uint16_t(a + 5), uint16_t(a + 6)};
      memcpy(ip, q, sizeof q);
      ip += 6;
    }
  unlock_ib(gpu.patch_ib);
  // The horizon ring: quads outside 31 horizon steps of the centre.
  ip = (uint16_t*)lock_ib(gpu.horizon_ib, 0, 0);
  ASSERT(ip);
  gpu.horizon_quads = 0;
  for (int i = 0; i < 191; i++)
    for (int j = 0; j < 191; j++) {
      if ((2 * j - 191) * (2 * j - 191) + (2 * i - 191) * (2 * i - 191) < 3844) continue;
      int w = i * 192 + j;
      const uint16_t q[6] = {uint16_t(w), uint16_t(w + 192), uint16_t(w + 1),
                             uint16_t(w + 1), uint16_t(w + 192), uint16_t(w + 193)};
      memcpy(ip, q, sizeof q);
      ip += 6;
      gpu.horizon_quads++;
    }
  unlock_ib(gpu.horizon_ib);
}

// {===== Per-frame fills

// The drawer tests install, else the linked module's (nothing set the hook,
// so house cells never reached the module).
using BuildingFn = void (*)(const HeightmapData::Surface* s, int x, int z);
BuildingFn building_drawer() {
  return render_building_fn ? render_building_fn : gameobj_fn<BuildingFn>(gameobj_funcs.render_building);
}

void draw_building(int x, int z) {
  gpu.counts.buildings++;
  if (BuildingFn fn = building_drawer()) fn(&HeightmapData::surface[hmap_index(x, z)], x, z);
}

bool is_house(int x, int z) { return HeightmapData::surface[hmap_index(x, z)].ground == GT_HOUSE; }

// A house cell calls the module's building drawer instead of getting land.
// Without a module nothing would stand there, so the land is drawn instead
// of leaving a hole into the sky.
bool house_replaces_land(int x, int z) {
  if (!is_house(x, z)) return false;
  draw_building(x, z);
  return building_drawer() != nullptr;
}

// Whether a world box may be seen: outside any of the four side planes of
// the view (cur_clip_planes, normals inward) it can't. Culling only skips
// terrain quads, never the buildings' calls.
bool box_visible(float x0, float z0, float x1, float z1, float y0, float y1) {
  for (const float* p : cur_clip_planes) {
    float x = p[0] >= 0 ? x1 : x0, y = p[1] >= 0 ? y1 : y0, z = p[2] >= 0 ? z1 : z0;
    if (p[0] * x + p[1] * y + p[2] * z + p[3] < 0) return false;
  }
  return true;
}

// Which blocks of window quads may be seen: the land's height range and the
// fluid levels of each block against the view's side planes.
void cull_blocks() {
  for (int br = 0; br < CULL_BLOCKS; br++)
    for (int bc = 0; bc < CULL_BLOCKS; bc++) {
      int c0 = bc * CULL_BLOCK, r0 = br * CULL_BLOCK;
      int c1 = std::min(c0 + CULL_BLOCK, 255), r1 = std::min(r0 + CULL_BLOCK, 255);
      float lo = 1e30f, hi = -1e30f;
      for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++) {
          int i = hmap_index(gpu.x0 + c, gpu.z0 + r);
          lo = std::fmin(lo, cpu.curh[i]);
          hi = std::fmax(hi, std::fmax(cpu.curh[i], std::fmax(cpu.blend_water[i], cpu.blend_lava[i])));
        }
      gpu.block_seen[br * CULL_BLOCKS + bc] =
          box_visible(float(gpu.x0 + c0), float(gpu.z0 + r0), float(gpu.x0 + c1), float(gpu.z0 + r1), lo, hi);
    }
}

void fill_near_patches() {
  InstVertex* v = (InstVertex*)lock_vb(gpu.inst_vb, 0, 0);
  ASSERT(v);
  int n = 0;
  const float* h = cpu.curh;
  for (int row = 95; row <= 158; row++)
    for (int col = 95; col <= 158; col++) {
      int x = gpu.x0 + col, z = gpu.z0 + row;
      if (house_replaces_land(x, z)) continue;
      float c[4] = {h[hmap_index(x, z)], h[hmap_index(x + 1, z)], h[hmap_index(x, z + 1)], h[hmap_index(x + 1, z + 1)]};
      float lo = std::fmin(std::fmin(c[0], c[1]), std::fmin(c[2], c[3]));
      float hi = std::fmax(std::fmax(c[0], c[1]), std::fmax(c[2], c[3]));
      if (!box_visible(float(x), float(z), float(x + 1), float(z + 1), lo, hi)) continue;
      v[n++] = InstVertex{int16_t(x), int16_t(z), {c[0], c[1], c[2], c[3]}};
    }
  unlock_vb(gpu.inst_vb);
  gpu.counts.instances = n;
}

void fill_far_grid() {
  GridVertex* v = (GridVertex*)lock_vb(gpu.far_vb, 0, 0);
  ASSERT(v);
  for (int row = 0; row < 256; row++)
    for (int col = 0; col < 256; col++) {
      int x = gpu.x0 + col, z = gpu.z0 + row;
      *v++ = GridVertex{int16_t(x), int16_t(z), cpu.curh[hmap_index(x, z)]};
    }
  unlock_vb(gpu.far_vb);
  uint16_t* ip = (uint16_t*)lock_ib(gpu.far_ib, 0, 0);
  ASSERT(ip);
  int n = 0;
  for (int row = 0; row < 255; row++)
    for (int col = 0; col < 255; col++) {
      if (!quad_in_far_grid(col, row)) continue;
      if (house_replaces_land(gpu.x0 + col, gpu.z0 + row)) continue;
      if (!gpu.block_seen[(row / CULL_BLOCK) * CULL_BLOCKS + col / CULL_BLOCK]) continue;
      int w = row * 256 + col;
      const uint16_t q[6] = {uint16_t(w), uint16_t(w + 256), uint16_t(w + 1),
                             uint16_t(w + 1), uint16_t(w + 256), uint16_t(w + 257)};
      memcpy(ip + 6 * n, q, sizeof q);
      n++;
    }
  unlock_ib(gpu.far_ib);
  gpu.counts.far_quads = n;
}

void fill_horizon(float cam_x, float cam_z) {
  int cx = int(std::lround(cam_x)), cz = int(std::lround(cam_z));
  int hx = (cx - 383) & ~3, hz = (cz - 383) & ~3; // floor to a multiple of 4 (two's complement)
  GridVertex* v = (GridVertex*)lock_vb(gpu.horizon_vb, 0, 0);
  ASSERT(v);
  for (int j = 0; j < 192; j++)
    for (int i = 0; i < 192; i++) {
      int x = hx + 4 * i, z = hz + 4 * j, c = hmap_index(x, z);
      float h = std::fmax(cpu.curh[c], std::fmax(cpu.blend_water[c], cpu.blend_lava[c]));
      float dxw = x - cam_x, dzw = z - cam_z;
      float d = (std::sqrt(dxw * dxw + dzw * dzw) - 128) / 256;
      if (d > 0) h -= 128 * d * d;
      *v++ = GridVertex{int16_t(x), int16_t(z), h};
    }
  unlock_vb(gpu.horizon_vb);
  gpu.counts.horizon_quads = gpu.horizon_quads;
}

int16_t clamp_short(float v) {
  float r = std::round(v);
  return int16_t(r < -32768 ? -32768 : r > 32767 ? 32767 : r);
}

void fill_fluids(float f) {
  const Water* cur = HeightmapData::waterCells();
  const Water* prev = HeightmapData::tmpwCells();
  const bool hq = gpu.hq;
  void* wv = lock_vb(gpu.water_vb, 0, 0);
  void* lv = lock_vb(gpu.lava_vb, 0, 0);
  ASSERT(wv && lv);
  const FlowPair* fp = hq ? cpu.flow[cpu.flow_cur ^ 1] : nullptr;
  const FlowPair* fc = hq ? cpu.flow[cpu.flow_cur] : nullptr;
  int k = 0;
  for (int row = 0; row < 256; row++)
    for (int col = 0; col < 256; col++, k++) {
      int x = gpu.x0 + col, z = gpu.z0 + row, c = hmap_index(x, z);
      float wl = cpu.blend_water[c], ll = cpu.blend_lava[c], g = cpu.curh[c];
      window_water[k] = wl;
      window_lava[k] = ll;
      float wlev = wl == NO_FLUID ? g : wl, llev = ll == NO_FLUID ? g : ll;
      float foam = prev[c].foam + (cur[c].foam - prev[c].foam) * f;
      if (hq) {
        float sp = prev[c].flow_x * prev[c].flow_x + prev[c].flow_z * prev[c].flow_z;
        float sc = cur[c].flow_x * cur[c].flow_x + cur[c].flow_z * cur[c].flow_z;
        float speed = sp + (sc - sp) * f;
        float fl[4] = {fp[c].u0 + (fc[c].u0 - fp[c].u0) * f, fp[c].v0 + (fc[c].v0 - fp[c].v0) * f,
                       fp[c].u1 + (fc[c].u1 - fp[c].u1) * f, fp[c].v1 + (fc[c].v1 - fp[c].v1) * f};
        FluidVertexHQ* w = (FluidVertexHQ*)wv + k;
        FluidVertexHQ* l = (FluidVertexHQ*)lv + k;
        *w = FluidVertexHQ{int16_t(x), int16_t(z), wlev, {fl[0], fl[1], fl[2], fl[3]},
                           clamp_short(256 * foam), clamp_short(256 * speed)};
        *l = FluidVertexHQ{int16_t(x), int16_t(z), llev, {fl[0], fl[1], fl[2], fl[3]},
                           clamp_short(1024 * std::fmax(llev - g, 0.0f)), clamp_short(256 * speed)};
      } else {
        ((FluidVertexLow*)wv)[k] = FluidVertexLow{int16_t(x), int16_t(z), wlev, foam};
        ((FluidVertexLow*)lv)[k] = FluidVertexLow{int16_t(x), int16_t(z), llev, std::fmax(llev - g, 0.0f)};
      }
    }
  unlock_vb(gpu.water_vb);
  unlock_vb(gpu.lava_vb);
  uint16_t* ip = (uint16_t*)lock_ib(gpu.water_ib, 0, 0);
  ASSERT(ip);
  gpu.counts.water_quads = build_fluid_quads(window_water, ip, gpu.block_seen);
  unlock_ib(gpu.water_ib);
  ip = (uint16_t*)lock_ib(gpu.lava_ib, 0, 0);
  ASSERT(ip);
  gpu.counts.lava_quads = build_fluid_quads(window_lava, ip, gpu.block_seen);
  unlock_ib(gpu.lava_ib);
}

void land_consts() {
  const float c16[4] = {1.0f / 256, 1.0f / 256, 1.0f / 512, 1.0f / 2048};
  set_vs_consts(16, c16, 1);
  set_ps_consts(16, c16, 1);
  sky_set_ps_consts();
}

} // namespace

// {===== Lifetime

void init_terrain_renderer() {
  close_terrain_renderer();
  show_splash("Compiling land shaders", -1.0f);
  gpu.hq = gfx_quality == 1;
  bind_cpu_grids(cpu);
  ASSERT(cpu.levels && cpu.curh && "allocate_heightmap_grids must run before the terrain renderer");
  gpu.grid_decl = get_vdecl(GRID_ELEMENTS);
  gpu.patch_decl = get_vdecl(PATCH_ELEMENTS);
  gpu.fluid_decl = get_vdecl(gpu.hq ? FLUID_HQ_ELEMENTS : FLUID_LOW_ELEMENTS);

  const char* dr = gpu.hq ? "dr_" : "";
  char name[64];
  snprintf(name, sizeof name, "%sland.sh", dr);
  gpu.far_land = create_shader(name, nullptr);
  gpu.near_land = create_shader(name, "INST\0 1\0");
  snprintf(name, sizeof name, "%swater.sh", dr);
  gpu.water = create_shader(name, nullptr);
  snprintf(name, sizeof name, "%slava.sh", dr);
  gpu.lava_sh = create_shader(name, nullptr);
  gpu.norm_sh = create_shader(gpu.hq ? "calc_norm.sh" : "calc_norm_low.sh", nullptr);
  gpu.interp = create_shader("interp_tex.sh", nullptr);
  gpu.horizon = create_shader("horizon.sh", nullptr);
  if (gpu.hq) {
    static const char* const quality_defs[3] = {"QUALITY\0 0\0", "QUALITY\0 1\0", "QUALITY\0 2\0"};
    int q = land_shadow_quality < 0 ? 0 : land_shadow_quality > 2 ? 2 : land_shadow_quality;
    gpu.aper_sh = create_shader("calc_aper.sh", quality_defs[q]);
    gpu.sun_sh = create_shader("calc_sun_shadow_map.sh", nullptr);
    gpu.sun_blur = create_shader("blur_sun_shadow_map.sh", nullptr);
    gpu.clear_sh = create_shader("clearShadow.sh", nullptr);
  }

  hmapTex = need_texture(create_dynamic_texture(256, 256, 7));
  colrTex = need_texture(create_dynamic_texture(256, 256, 4));
  topcTex = need_texture(create_dynamic_texture(256, 256, 1));
  landColorTex = need_texture(create_dynamic_texture(256, 256, 1));
  for (int i = 0; i < 2; i++) gpu.norm[i] = need_texture(create_render_texture(1024, 1024, 1));
  normTex = need_texture(create_render_texture(1024, 1024, 1));
  if (gpu.hq) {
    for (int i = 0; i < 2; i++) gpu.aper[i] = need_texture(create_render_texture(256, 256, 1));
    aperTex = need_texture(create_render_texture(256, 256, 1));
    prevSunMap = need_texture(create_render_texture(256, 256, 7));
    curSunMap = need_texture(create_render_texture(256, 256, 7));
    sunMap = need_texture(create_render_texture(256, 256, 7));
  }
  gpu.detail = get_texture("detail.dds", true);
  if (gpu.hq) {
    gpu.foam = get_texture("foam.dds", true);
    gpu.lava = get_texture("lava.dds", true);
  }

  gpu.patch_vb = need_vb(200, 1, "Can't create land VB");
  gpu.inst_vb = need_vb(81920, 0, "Can't create land VB");
  gpu.far_vb = need_vb(524288, 0, "Can't create land VB");
  gpu.horizon_vb = need_vb(294912, 0, "Can't create land VB");
  gpu.patch_ib = need_ib(96, 1, "Can't create land IB");
  gpu.far_ib = need_ib(FAR_IB_INDICES, 1, "Can't create land IB");
  gpu.horizon_ib = need_ib(HORIZON_IB_INDICES, 1, "Can't create land IB");
  int fluid_bytes = 65536 * (gpu.hq ? 28 : 12);
  gpu.water_vb = need_vb(fluid_bytes, 0, "Can't create water VB");
  gpu.lava_vb = need_vb(fluid_bytes, 0, "Can't create lava VB");
  gpu.water_ib = need_ib(FLUID_IB_INDICES, 0, "Can't create water IB");
  gpu.lava_ib = need_ib(FLUID_IB_INDICES, 0, "Can't create lava IB");
  fill_static_buffers();

  window_water = new float[HMAP_CELLS];
  window_lava = new float[HMAP_CELLS];
  gpu.ground_half = new uint16_t[HMAP_CELLS];
  memset(gpu.ground_half, 0xFF, sizeof(uint16_t) * HMAP_CELLS); // a NaN pattern no upload makes
  gpu.surface_half = new uint16_t[HMAP_CELLS];
  memset(gpu.surface_half, 0xFF, sizeof(uint16_t) * HMAP_CELLS);
  init_flow_pairs(cpu);
  reset_fluid_levels_cpu(cpu);
  for (int i = 0; i < HMAP_CELLS; i++) {
    cpu.curh[i] = HeightmapData::hmap[i];
    cpu.blend_water[i] = cpu.blend_lava[i] = NO_FLUID;
  }
  gpu.ready = true;
  init_world_map();
  cpu.terrain_changed = true;
}

void close_terrain_renderer() {
  if (!gpu.ready) return;
  close_world_map();
  Texture** texs[] = {&hmapTex, &colrTex, &topcTex, &landColorTex, &normTex, &aperTex, &prevSunMap, &curSunMap, &sunMap,
                      &gpu.norm[0], &gpu.norm[1], &gpu.aper[0], &gpu.aper[1]};
  for (Texture** t : texs) {
    if (*t) release_texture(*t);
    *t = nullptr;
  }
  free_texture(gpu.detail);
  free_texture(gpu.foam);
  free_texture(gpu.lava);
  for (Shader* s : {gpu.far_land, gpu.near_land, gpu.water, gpu.lava_sh, gpu.norm_sh, gpu.aper_sh, gpu.sun_sh,
                    gpu.sun_blur, gpu.clear_sh, gpu.interp, gpu.horizon})
    destroy_shader(s);
  for (VertexBuffer* vb : {gpu.patch_vb, gpu.inst_vb, gpu.far_vb, gpu.horizon_vb, gpu.water_vb, gpu.lava_vb})
    release_vb(vb);
  for (IndexBuffer* ib : {gpu.patch_ib, gpu.far_ib, gpu.horizon_ib, gpu.water_ib, gpu.lava_ib}) release_ib(ib);
  delete[] window_water;
  delete[] window_lava;
  delete[] gpu.ground_half;
  delete[] gpu.surface_half;
  window_water = window_lava = nullptr;
  gpu = GpuState{};
}

bool terrain_renderer_ready() { return gpu.ready; }

static unsigned world_serial_counter = 0; // counts reset_fluid_levels

unsigned world_serial() { return world_serial_counter; }

void reset_fluid_levels() {
  world_serial_counter++;
  if (!cpu.levels) bind_cpu_grids(cpu);
  reset_fluid_levels_cpu(cpu);
  gpu.snap = true;
}

void mark_terrain_changed() { cpu.terrain_changed = true; }

void terrain_targets_lost() {
  cpu.terrain_changed = true;
  gpu.force_full = true;
}

void update_fluid_levels(float dt) {
  if (!cpu.levels) bind_cpu_grids(cpu);
  update_fluid_levels_cpu(cpu, dt);
}

void update_terrain(float t) {
  ASSERT(gpu.ready && "init_terrain_renderer must run first");
  const float f = 20 * t;
  Matrix44 cam;
  if (!matrix_inverse(get_view_tm(), cam)) cam = Matrix44::identity();
  cpu.cam_x = cam.m[3][0];
  cpu.cam_z = cam.m[3][2];
  window_origin(cpu.cam_x, cpu.cam_z, gpu.x0, gpu.z0);

  if (cpu.terrain_changed) {
    cpu.terrain_changed = false;
    rebuild_textures();
  }
  pass_states();
  blend_textures(f);
  set_back_buffer_target();

  HeightmapData::morphHmap(t, cpu.curh);
  const int o = cpu.new_slot ^ 1, n = cpu.new_slot;
  for (int i = 0; i < HMAP_CELLS; i++) {
    const FluidSlots& s = cpu.levels[i];
    cpu.blend_water[i] = blend_fluid_level(s[o].water, s[n].water, f);
    cpu.blend_lava[i] = blend_fluid_level(s[o].lava, s[n].lava, f);
  }
  gpu.counts = FrameCounts{};
  cull_blocks();
  fill_near_patches();
  fill_far_grid();
  if (gpu.hq) fill_horizon(cpu.cam_x, cpu.cam_z);
  fill_fluids(f);
}

// {===== Draws

void draw_land() {
  if (!gpu.ready) return;
  set_texture(0, aperTex);
  set_texture(1, normTex);
  set_texture(2, landColorTex);
  set_texture(3, nullptr);
  set_texture(4, gpu.detail);
  set_texture(5, gpu.hq ? sunMap : nullptr);
  set_texture(6, hmapTex);
  for (int s = 0; s < 7; s++) {
    set_tex_address(s, 0);
    set_tex_filter(s, true);
  }
  // The ground grain, fine and far below the pixel size over most of the
  // land: bilinear in the nearest mip level looks the same at half the reads.
  set_tex_filter(4, true, false);
  land_consts();
  set_vdecl(gpu.patch_decl);
  set_vb(0, gpu.patch_vb, 0, 8);
  set_vb(1, gpu.inst_vb, 0, 20);
  set_instancing(gpu.counts.instances);
  set_ib(gpu.patch_ib);
  set_shader(gpu.near_land);
  if (gpu.counts.instances > 0) draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 25, 0, 32);
  set_instancing(0);
  set_vb(1, nullptr, 0, 0);
  set_vdecl(gpu.grid_decl);
  set_shader(gpu.far_land);
  set_ib(gpu.far_ib);
  set_vb(0, gpu.far_vb, 0, 8);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 65536, 0, 2 * gpu.counts.far_quads);
  set_tex_filter(4, true);
}

static void draw_fluid(float f, bool water) {
  if (!gpu.ready) return;
  int quads = water ? gpu.counts.water_quads : gpu.counts.lava_quads;
  if (gpu.hq) {
    set_texture(0, aperTex);
    set_texture(3, gpu.detail);
    set_texture(4, water ? gpu.foam : gpu.lava);
    float c12[4] = {1 - std::fabs((cpu.phase + f - 20) * 0.05f), 0, 0, 0};
    set_ps_consts(12, c12, 1);
    float c13[4] = {0.5f, -0.5f, 0.5f + 0.5f / d3d_wd, 0.5f + 0.5f / d3d_ht};
    set_ps_consts(13, c13, 1);
  } else {
    set_texture(3, gpu.detail);
    sky_set_ps_consts();
  }
  set_texture(1, hmapTex);
  set_texture(2, get_sky_noise_texture());
  for (int s = 0; s < 5; s++) {
    set_tex_address(s, 0);
    set_tex_filter(s, true);
  }
  const float c16[4] = {1.0f / 256, 1.0f / 256, 1.0f / 512, 1.0f / 2048};
  set_vs_consts(16, c16, 1);
  set_ps_consts(16, c16, 1);
  set_vdecl(gpu.fluid_decl);
  set_shader(water ? gpu.water : gpu.lava_sh);
  set_ib(water ? gpu.water_ib : gpu.lava_ib);
  set_vb(0, water ? gpu.water_vb : gpu.lava_vb, 0, gpu.hq ? 28 : 12);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 65536, 0, 2 * quads);
  if (water && gpu.hq) set_texture(1, hmapTex);
}

void draw_water(float f) { draw_fluid(f, true); }
void draw_lava(float f) { draw_fluid(f, false); }

void draw_horizon() {
  if (!gpu.ready || !gpu.hq) return;
  set_vdecl(gpu.grid_decl);
  set_shader(gpu.horizon);
  set_texture(0, get_sky_noise_texture());
  set_tex_filter(0, false);
  set_texture(1, landColorTex);
  set_tex_address(1, 0);
  land_consts();
  set_ib(gpu.horizon_ib);
  set_vb(0, gpu.horizon_vb, 0, 8);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 36864, 0, 2 * gpu.horizon_quads);
  set_tex_filter(0, true);
}

const PassCounts& pass_counts() { return gpu.passes; }

Texture* newest_light_map() { return gpu.hq ? gpu.aper[gpu.newest] : gpu.norm[gpu.norm_newest]; }
const FrameCounts& frame_counts() { return gpu.counts; }
void last_window_origin(int& x0, int& z0) {
  x0 = gpu.x0;
  z0 = gpu.z0;
}
float blended_water_level(int cell) { return cpu.blend_water[cell]; }
float blended_lava_level(int cell) { return cpu.blend_lava[cell]; }

} // namespace HeightmapRenderer
