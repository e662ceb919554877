// Villagers' houses. The world generator shapes a house into the land of its
// cells (walls and roof as vertex heights) and marks the cells as house
// tiles; the terrain renderer leaves those cells to us. Each cell becomes one
// building piece: the block or slant whose top best matches the cell's four
// corner heights, standing on the ground round the house, so the pieces
// together follow the house's shape.
#include <math.h>

#include "living.h"
#include "render/instRender.h"
#include "table_entries.h"
#include "world/heightmap.h"

using namespace HeightmapData;

namespace {

// Piece tops at the corners (x, z) = (0, 0), (1, 0), (0, 1), (1, 1) of the
// unturned piece, as a share of its full height (meshes are 2 high).
struct Piece {
  const char* mesh;
  float top[4];
};
const Piece PIECES[] = {
    {"castle_wall1", {1, 1, 1, 1}},
    {"castle_slant2", {1, 1, 0.075f, 0.075f}},
    {"castle_slant3", {1, 0.5f, 0.5f, 0.075f}},
    {"castle_slant4", {1, 1, 1, 0.4f}},
};
constexpr int PIECE_COUNT = int(sizeof(PIECES) / sizeof(PIECES[0]));
constexpr float PIECE_HEIGHT = 2.0f;
constexpr uint32_t ROOF_TINT = 0xFFC8785A;
constexpr uint32_t WALL_TINT = 0xFFE6DCCB;

InstRender* piece_renderers[PIECE_COUNT];

// Which world corner an unturned corner lands on after `turns` quarter turns
// about the cell's centre (as the building shader turns: (x, z) -> (z, -x)
// about the centre).
int turned_corner(int corner, int turns)
{
  float qx = float(corner & 1) - 0.5f, qz = float(corner >> 1) - 0.5f;
  for (int i = 0; i < turns; ++i) {
    float t = qx;
    qx = qz;
    qz = -t;
  }
  return int(qx + 0.5f) | int(qz + 0.5f) << 1;
}

} // namespace

// The piece and turn whose top best matches `shape` (corner heights as a
// share of the cell's highest, 0 at the ground).
static void match_house_piece(const float shape[4], int* piece, int* turns)
{
  float best = 1e30f;
  for (int p = 0; p < PIECE_COUNT; ++p)
    for (int t = 0; t < 4; ++t) {
      float err = 0;
      for (int c = 0; c < 4; ++c) {
        float d = PIECES[p].top[c] - shape[turned_corner(c, t)];
        err += d * d;
      }
      if (err < best - 1e-6f) {
        best = err;
        *piece = p;
        *turns = t;
      }
    }
}

void render_building(const Surface* s, int x, int z)
{
  float corner[4] = {hmap[hmap_index(x, z)], hmap[hmap_index(x + 1, z)], hmap[hmap_index(x, z + 1)],
                     hmap[hmap_index(x + 1, z + 1)]};
  // The ground round the house: the lowest vertex near the cell.
  float ground = corner[0];
  for (int dz = -3; dz <= 4; ++dz)
    for (int dx = -3; dx <= 4; ++dx) ground = fminf(ground, hmap[hmap_index(x + dx, z + dz)]);
  float top = fmaxf(fmaxf(corner[0], corner[1]), fmaxf(corner[2], corner[3]));
  float height = top - ground;
  int piece = 0, turns = 0;
  if (height > 0.05f) {
    float shape[4];
    for (int c = 0; c < 4; ++c) shape[c] = (corner[c] - ground) / height;
    match_house_piece(shape, &piece, &turns);
  } else {
    height = 0.05f; // a paved yard
  }
  InstRender*& r = piece_renderers[piece];
  if (!r) r = get_inst_renderer(PIECES[piece].mesh, "Building");
  auto* inst = static_cast<BuildingInstance*>(r->addInstances(1));
  if (!inst) return;
  *inst = BuildingInstance{int16_t(x), int16_t(z), ground, float(turns), height / PIECE_HEIGHT, 0,
                           piece == 0 ? WALL_TINT : ROOF_TINT};
}
