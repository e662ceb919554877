// Drawing a guard tower from the building pieces on its 2 x 2 cells: a round
// stone body of tower corners two storeys high, a square watch room of tower
// walls (a window on each side) with merlons round its top, and a pyramid roof
// of roof corners resting on the merlons. While it rises every piece is
// squashed towards the ground; harm darkens the stone.
#include <math.h>

#include "render/camera.h"
#include "render/instRender.h"
#include "towers_local.h"

using namespace towers;

namespace {

enum Mesh { CORNER, WALL, WINDOW, MERLONS, ROOF, MESH_COUNT };
const char* const MESH_NAMES[MESH_COUNT] = {"tower_corner", "tower_wall1", "tower_wall2", "merlon_top", "roof_corner"};
InstRender* renderers[MESH_COUNT];

// One piece: the cell relative to the tower's centre vertex, its height over
// the base and its quarter turns (a piece's outside is its -z side; one turn
// puts it on the -x side, two on +z, three on +x).
struct Piece {
  Mesh mesh;
  int dx, dz;
  float y, turns;
};
constexpr float STOREY = 2.0f, ROOM = 4.0f, ROOM_TOP = 6.5f, MERLON_TOP = 7.12f;
const Piece PIECES[] = {
    // The round body: four corners meeting at the centre, two storeys.
    {CORNER, -1, -1, 0, 0}, {CORNER, -1, 0, 0, 1}, {CORNER, 0, 0, 0, 2}, {CORNER, 0, -1, 0, 3},
    {CORNER, -1, -1, STOREY, 0}, {CORNER, -1, 0, STOREY, 1}, {CORNER, 0, 0, STOREY, 2}, {CORNER, 0, -1, STOREY, 3},
    // The watch room: two walls on each side, one with a window.
    {WINDOW, -1, -1, ROOM, 0}, {WALL, 0, -1, ROOM, 0}, {WALL, -1, -1, ROOM, 1}, {WINDOW, -1, 0, ROOM, 1},
    {WINDOW, 0, 0, ROOM, 2}, {WALL, -1, 0, ROOM, 2}, {WALL, 0, 0, ROOM, 3}, {WINDOW, 0, -1, ROOM, 3},
    // Merlons round the room's top, and the roof over them.
    {MERLONS, -1, -1, ROOM_TOP, 0}, {MERLONS, -1, 0, ROOM_TOP, 1}, {MERLONS, 0, 0, ROOM_TOP, 2},
    {MERLONS, 0, -1, ROOM_TOP, 3},
    {ROOF, -1, -1, MERLON_TOP, 0}, {ROOF, -1, 0, MERLON_TOP, 1}, {ROOF, 0, 0, MERLON_TOP, 2},
    {ROOF, 0, -1, MERLON_TOP, 3}};

// Towers farther than this are lost in the haze where the land fades.
constexpr float DRAW_DISTANCE = 160.0f;

uint32_t stone_tint(float health_share)
{
  float k = 0.45f + 0.55f * fminf(fmaxf(health_share, 0.0f), 1.0f);
  uint32_t c = uint32_t(255 * k);
  return 0xFF000000u | c << 16 | c << 8 | c;
}

} // namespace

void GuardTower::render(float dt)
{
  const Matrix44& cam = cur_view_itm;
  // The centre moved by whole world periods to lie nearest the camera.
  float dx = wrap_delta(pos[0] - cam.m[3][0]), dz = wrap_delta(pos[2] - cam.m[3][2]);
  float dy = pos[1] + TOWER_HEIGHT * 0.5f - cam.m[3][1];
  if (dx * dx + dz * dz > DRAW_DISTANCE * DRAW_DISTANCE) return;
  if (dx * cam.m[2][0] + dy * cam.m[2][1] + dz * cam.m[2][2] < -8.0f) return; // behind the camera
  int cx = int(lroundf(cam.m[3][0] + dx)), cz = int(lroundf(cam.m[3][2] + dz));
  float rise = fmaxf(build, 0.02f);
  uint32_t tint = stone_tint(max_health > 0 ? health / max_health : 1.0f);
  for (const Piece& p : PIECES) {
    InstRender*& r = renderers[p.mesh];
    if (!r) r = get_inst_renderer(MESH_NAMES[p.mesh], "Building");
    auto* inst = static_cast<BuildingInstance*>(r->addInstances(1));
    if (!inst) return;
    *inst = BuildingInstance{int16_t(cx + p.dx), int16_t(cz + p.dz), pos[1] + p.y * rise, p.turns, rise, 0,
                             p.mesh == ROOF ? 0xFFFFFFFFu : tint};
  }
}
