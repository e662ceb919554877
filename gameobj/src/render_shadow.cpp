// Object shadows: the host draws its object shadow maps at high quality
// (four sun cascades and a top-down map, docs/render-terrain-sky.md) and
// calls render_gameobj_shadow_map once per map pass, with the pass's light
// matrices set. Each call queues the casters whose shadow can fall where
// that map is read, through the objects' own render (so the shadow has the
// drawn shape), and the house cells, and draws them with the renderers'
// shadow shaders.
#include <math.h>

#include "game.h"
#include "objects.h"
#include "render/camera.h"
#include "render/instRender.h"
#include "render/sky.h"
#include "render_shadow.h"
#include "table_entries.h"
#include "world/heightmap.h"

namespace {

bool in_shadow_pass = false;
ShadowPassStats counting, last_frame;

// Cells of the world that are house tiles, rescanned every RESCAN_CALLS
// passes (about 13 frames) or when the grids move: houses appear with the
// world or a spell, and a whole-grid scan in every pass would be most of
// the module's share of the passes.
constexpr int RESCAN_CALLS = 64;
uint16_t house_cells[HMAP_CELLS];
int house_count = 0;
int calls_since_scan = RESCAN_CALLS;
const void* scanned_grid = nullptr;

void scan_house_cells()
{
  using namespace HeightmapData;
  house_count = 0;
  scanned_grid = surface;
  calls_since_scan = 0;
  if (!surface) return;
  for (int i = 0; i < HMAP_CELLS; ++i)
    if (surface[i].ground == GT_HOUSE) house_cells[house_count++] = uint16_t(i);
}

float wrap(float d) { return d - 256.0f * floorf((d + 128.0f) / 256.0f); }

} // namespace

bool drawing_object_shadows() { return in_shadow_pass; }

const ShadowPassStats& shadow_pass_stats() { return last_frame; }

float shadow_caster_bounds(GameObj* obj, float centre[3])
{
  float r = 0, lift = 0;
  switch (obj->classId()) {
  case CID_TreeObject: {
    float s = static_cast<TreeObject*>(obj)->scale;
    lift = 2.5f * s, r = 4.0f * s;
    break;
  }
  case CID_HumanoidStaticObject:
  case CID_Stone1StaticObject:
  case CID_Stone2StaticObject:
  case CID_Menhir1StaticObject:
  case CID_Menhir2StaticObject:
  case CID_Menhir3StaticObject:
  case CID_StoneCup1Object:
  case CID_StoneCup2Object: {
    float s = static_cast<HumanoidStaticObject*>(obj)->scale;
    lift = 1.5f * s, r = 3.0f * s;
    break;
  }
  // Creatures: the body's reach round the object's position (the
  // caterpillar's segments trail up to 8.4 behind its head).
  case CID_WyvernMonster: r = 4.0f; break;
  case CID_LandMonster: r = 10.0f; break;
  case CID_BirdMonster: r = 1.5f; break;
  case CID_ManaGatherer: r = 3.0f; break;
  // The player's buildings: a castle spans several cells round its place.
  case CID_CastleObject: lift = 3.0f, r = 16.0f; break;
  case CID_GuardTower: lift = 3.0f, r = 6.0f; break;
  // The one missile big enough to throw a shadow.
  case CID_MeteorMissile: r = 4.0f; break;
  default: return 0;
  }
  centre[0] = obj->pos[0];
  centre[1] = obj->pos[1] + lift;
  centre[2] = obj->pos[2];
  return r;
}

bool shadow_box_reaches(const Matrix44& g, const float c[3], float r)
{
  for (int k = 0; k < 2; ++k) {
    float v = c[0] * g.m[0][k] + c[1] * g.m[1][k] + c[2] * g.m[2][k] + g.m[3][k];
    float len = sqrtf(g.m[0][k] * g.m[0][k] + g.m[1][k] * g.m[1][k] + g.m[2][k] * g.m[2][k]);
    if (fabsf(v) > 1.0f + r * len) return false;
  }
  return true;
}

// The view-depth slices the host's cascades cover (render_shadow_maps); the
// last reaches as far as the map is read.
constexpr float CASCADE_DEPTHS[5] = {0, 16, 32, 64, 1e30f};
// How far from the camera casters go into the top-down map.
constexpr float TOPDOWN_REACH = 40.0f;

bool shadow_reaches_view(int cascade, const float c[3], float r, const Matrix44& cam, float xs, const Vec4f& L)
{
  float d[3] = {c[0] - cam.m[3][0], c[1] - cam.m[3][1], c[2] - cam.m[3][2]};
  float depth = d[0] * cam.m[2][0] + d[1] * cam.m[2][1] + d[2] * cam.m[2][2];
  if (cascade >= 4) {
    // The top-down map darkens what stands under a caster: its column must
    // be in view across (left, right, not behind); height does not matter.
    // Farther away the crown hides the little it darkens under itself, and
    // drawing every tree in view again would double the passes' cost.
    float side = d[0] * cam.m[0][0] + d[1] * cam.m[0][1] + d[2] * cam.m[0][2];
    if (d[0] * d[0] + d[2] * d[2] > (TOPDOWN_REACH + r) * (TOPDOWN_REACH + r)) return false;
    return depth > -r && fabsf(side) <= depth / xs + r * sqrtf(1 + 1 / (xs * xs));
  }
  // The shadow reaches from the caster away from the sun until the ground,
  // at most twice its size over the sun's height (long shadows are capped).
  float reach = fminf(2 * r / fmaxf(L.y, 0.1f), 64.0f);
  float along = -(L.x * cam.m[2][0] + L.y * cam.m[2][1] + L.z * cam.m[2][2]) * reach;
  float lo = depth - r + fminf(0.0f, along), hi = depth + r + fmaxf(0.0f, along);
  if (hi < CASCADE_DEPTHS[cascade] || lo > CASCADE_DEPTHS[cascade + 1]) return false;
  // The cascade's box is square round a slice of the view that widens with
  // depth: a caster whose shadow, from end to end, lies beyond the same
  // side plane of the view falls outside it.
  float side = d[0] * cam.m[0][0] + d[1] * cam.m[0][1] + d[2] * cam.m[0][2];
  float side_end = side - (L.x * cam.m[0][0] + L.y * cam.m[0][1] + L.z * cam.m[0][2]) * reach;
  float depth_end = depth + along, k = r * sqrtf(1 + 1 / (xs * xs));
  for (float sign = -1; sign <= 1; sign += 2)
    if (sign * side - depth / xs > k && sign * side_end - depth_end / xs > k) return false;
  return true;
}

void render_gameobj_shadow_map(float dt)
{
  // The light view of this pass (orthographic: w stays 1). The top-down
  // map's view turns world y into depth; it comes last, after the cascades.
  const Matrix44& v = get_view_tm();
  const Matrix44 glob = v * get_proj_tm();
  const bool topdown = v.m[0][0] == 0.0f && v.m[2][0] == 1.0f && v.m[1][2] == 1.0f;
  const int pass = topdown ? 4 : counting.passes < 4 ? counting.passes : 3;
  const Matrix44& cam = cur_view_itm;
  Matrix44 proj;
  camera_projection(1.0f, d3d_wd, d3d_ht, proj);
  const Vec4f L = get_lighting_sun_dir();
  const float camx = cam.m[3][0], camz = cam.m[3][2];
  in_shadow_pass = true;
  counting.passes++;
  for_each_gameobj([&](GameObj* obj) {
    float c[3];
    float r = shadow_caster_bounds(obj, c);
    if (r <= 0) return;
    c[0] = camx + wrap(c[0] - camx);
    c[2] = camz + wrap(c[2] - camz);
    if (!shadow_box_reaches(glob, c, r) || !shadow_reaches_view(pass, c, r, cam, proj.m[0][0], L)) {
      counting.culled++;
      return;
    }
    counting.casters++;
    counting.pass_casters[pass]++;
    obj->render(dt);
  });

  // House cells: the pieces the terrain asks render_building for.
  if (++calls_since_scan >= RESCAN_CALLS || scanned_grid != HeightmapData::surface) scan_house_cells();
  const int cx = int(lroundf(camx)), cz = int(lroundf(camz));
  for (int i = 0; i < house_count; ++i) {
    int x = cx + int(wrap(float((house_cells[i] & (HMAP_SIZE - 1)) - cx)));
    int z = cz + int(wrap(float((house_cells[i] >> HMAP_SIZE_SHIFT) - cz)));
    float c[3] = {x + 0.5f, HeightmapData::hmap[house_cells[i]], z + 0.5f};
    if (!shadow_box_reaches(glob, c, 4.0f) || !shadow_reaches_view(pass, c, 4.0f, cam, proj.m[0][0], L)) continue;
    counting.house_cells++;
    render_building(&HeightmapData::surface[house_cells[i]], x, z);
  }

  // Only the faces towards the sun: the maps keep the largest depth, which
  // the faces away from it never hold, so drawing them only costs fill.
  // (The light views look back along their depth axis, which mirrors the
  // turn of every face.)
  InstRender::renderShadow = true;
  set_cull_mode(-1);
  start_inst_render();
  managed_inst_render();
  counting.instances += inst_render_stats.instances;
  end_inst_render();
  set_cull_mode(0);
  InstRender::renderShadow = false;
  in_shadow_pass = false;
  if (topdown) {
    last_frame = counting;
    counting = ShadowPassStats{};
  }
}
