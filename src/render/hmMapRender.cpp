// The world map: the whole 256 x 256 world from above in a 512 x 512
// texture, redrawn with the terrain textures after every simulation step.
// Three passes: ground colours, water (alpha blended), light (multiplied).
#include <cmath>
#include <cstring>

#include "core/app_globals.h"
#include "core/log.h"
#include "render/hmRender.h"
#include "render/shader.h"
#include "render/texture.h"

namespace {

constexpr int MAP_VERTS = 257 * 257;
constexpr int MAP_IB_INDICES = 393216;
constexpr int SECOND_GROUP_BASE = 254 * 257; // 65,278: 16-bit indices can't reach the last rows

struct MapState {
  VertexBuffer* vb = nullptr;
  IndexBuffer* ib = nullptr;
  VertexDecl* decl = nullptr;
  Shader *surf = nullptr, *water = nullptr, *light = nullptr;
  Texture* detail = nullptr;
};
MapState map;

const VertexElement MAP_ELEMENTS[] = {{0, 0, 6, 0, 0}, {4, 0, 2, 3, 0}, {0, 255, 0, 0, 0}};

struct MapVertex {
  int16_t x, z;
  float depth, foam;
};
static_assert(sizeof(MapVertex) == 12);

bool dry(const HeightmapData::Water* w, int x, int z) { return std::fabs(w[hmap_index(x, z)].depth) <= 0.01f; }

void postfx_consts() {
  const float c17[4] = {0.5f, -0.5f, 0.5f + 0.5f / 256, 0.5f + 0.5f / 256};
  const float c16[4] = {1, 1, 0, 0};
  set_vs_consts(17, c17, 1);
  set_vs_consts(16, c16, 1);
}

} // namespace

void build_map_water_quads(const HeightmapData::Water* w, uint16_t* out, int& first, int& second) {
  first = second = 0;
  uint16_t* p = out;
  for (int group = 0; group < 2; group++) {
    int z_begin = group == 0 ? 0 : 254, z_end = group == 0 ? 254 : 256;
    int count = 0;
    for (int z = z_begin; z < z_end; z++)
      for (int x = 0; x < 256; x++) {
        if (dry(w, x, z) && dry(w, x + 1, z) && dry(w, x, z + 1) && dry(w, x + 1, z + 1)) continue;
        int row = group == 0 ? z : z - 254;
        int v = row * 257 + x;
        const uint16_t q[6] = {uint16_t(v), uint16_t(v + 1), uint16_t(v + 257),
                               uint16_t(v + 1), uint16_t(v + 258), uint16_t(v + 257)};
        memcpy(p, q, sizeof q);
        p += 6;
        count++;
      }
    (group == 0 ? first : second) = count;
  }
}

void init_world_map() {
  using namespace HeightmapRenderer;
  mapTex = create_render_texture(512, 512, 1);
  if (!mapTex) fatal("can't create world map texture");
  map.vb = create_vb(MAP_VERTS * 12, 0);
  if (!map.vb) fatal("Can't create map water VB");
  map.ib = create_ib(MAP_IB_INDICES, 0);
  if (!map.ib) fatal("Can't create map water IB");
  map.decl = get_vdecl(MAP_ELEMENTS);
  map.surf = create_shader("map_surf.sh", nullptr);
  map.water = create_shader("map_water.sh", nullptr);
  map.light = create_shader(gfx_quality == 1 ? "map_light.sh" : "map_light_low.sh", nullptr);
  map.detail = get_texture("detail.dds", true);
}

void close_world_map() {
  using namespace HeightmapRenderer;
  if (mapTex) release_texture(mapTex);
  mapTex = nullptr;
  if (map.vb) release_vb(map.vb);
  if (map.ib) release_ib(map.ib);
  destroy_shader(map.surf);
  destroy_shader(map.water);
  destroy_shader(map.light);
  free_texture(map.detail);
  map = MapState{};
}

void render_world_map() {
  using namespace HeightmapRenderer;
  if (!mapTex) return;
  set_render_target(mapTex, 0, false);
  set_viewport(0, 0, 512, 512);
  set_zenable(false);
  set_zwrite(false);
  set_cull_mode(0);
  set_blend_none();
  set_shader(map.surf);
  set_texture(0, colrTex);
  set_texture(1, topcTex);
  set_texture(2, map.detail);
  for (int s = 0; s < 3; s++) set_tex_address(s, 0);
  postfx_consts();
  draw_postfx();

  const HeightmapData::Water* w = HeightmapData::waterCells();
  int first = 0, second = 0;
  uint16_t* ip = (uint16_t*)lock_ib(map.ib, 0, 0);
  ASSERT(ip);
  build_map_water_quads(w, ip, first, second);
  unlock_ib(map.ib);
  if (first + second > 0) {
    MapVertex* v = (MapVertex*)lock_vb(map.vb, 0, 0);
    ASSERT(v);
    for (int z = 0; z < 257; z++)
      for (int x = 0; x < 257; x++) {
        const HeightmapData::Water& c = w[hmap_index(x, z)];
        *v++ = MapVertex{int16_t(x), int16_t(z), c.depth, c.foam};
      }
    unlock_vb(map.vb);
    set_vdecl(map.decl);
    set_shader(map.water);
    set_blend_alpha();
    set_ib(map.ib);
    set_vb(0, map.vb, 0, 12);
    draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 66049, 0, 2 * first);
    draw_indexed(D3DPT_TRIANGLELIST, SECOND_GROUP_BASE, 0, 771, 6 * first, 2 * second);
  }
  set_shader(map.light);
  set_texture(0, newest_light_map());
  set_tex_address(0, 0);
  set_blend_multiply();
  postfx_consts();
  draw_postfx();
  set_blend_none();
}
