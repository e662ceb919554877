// The castle's rules as plain functions: where one may stand (read from the
// world grids) and which building pieces make it up. Header-only, so the
// tests check them on their own.
#pragma once
#include <math.h>

#include "world/heightmap.h"

// The castle covers CASTLE_SIZE x CASTLE_SIZE cells; its land is levelled.
constexpr int CASTLE_SIZE = 8;
// Highest minus lowest land within the footprint that can still be levelled.
constexpr float CASTLE_MAX_STEEP = 3.0f;
// Fluid shallower than this is a wet patch, not water.
constexpr float CASTLE_MAX_WET = 0.02f;
constexpr float CASTLE_WALL_HEIGHT = 2.0f;
// The keep's roof reaches this high over the castle's ground.
constexpr float CASTLE_KEEP_TOP = 6.0f;

// The footprint's first cell for a castle centred at (x, z): the centre is
// the corner shared by the four middle cells.
inline int castle_origin(float c) { return int(floorf(c + 0.5f)) - CASTLE_SIZE / 2; }

// Null when a castle may stand with its first cell at (x0, z0), else the
// reason the player is shown. `castle_exists`: one stands or is on its way.
inline const char* castle_site_problem(int x0, int z0, bool castle_exists)
{
  using namespace HeightmapData;
  if (castle_exists) return "You already have a castle";
  float lo = 1e30f, hi = -1e30f;
  bool wet = false, house = false;
  // Heights and fluids are read at the vertices (cells' corners) the castle
  // covers, house tiles at its cells.
  for (int dz = 0; dz <= CASTLE_SIZE; ++dz)
    for (int dx = 0; dx <= CASTLE_SIZE; ++dx) {
      int i = hmap_index(x0 + dx, z0 + dz);
      lo = fminf(lo, hmap[i]);
      hi = fmaxf(hi, hmap[i]);
      wet |= fabsf(waterCells()[i].depth) > CASTLE_MAX_WET;
      if (dx < CASTLE_SIZE && dz < CASTLE_SIZE) house |= surface[i].ground == GT_HOUSE;
    }
  if (wet) return "Not on water or lava";
  if (house) return "Not on a house";
  if (hi - lo > CASTLE_MAX_STEEP) return "The land is too steep here";
  return nullptr;
}

// Gatherers a castle wants for the claimed orbs: one for every two (the
// first orb already brings one), at most GATHERERS_MAX.
constexpr int GATHERERS_MAX = 4;
inline int gatherers_wanted(int claimed_orbs)
{
  int n = (claimed_orbs + 1) / 2;
  return n < 0 ? 0 : n > GATHERERS_MAX ? GATHERERS_MAX : n;
}

// {===== The pieces

enum CastlePieceKind {
  CP_WALL,         // castle_wall1
  CP_WALL_SLIT,    // castle_wall2
  CP_WALL_WINDOW,  // castle_wall3
  CP_GATE,         // castle_wall4
  CP_CORNER,       // castle_corner1: the outer corner with its buttress
  CP_INNER_CORNER, // castle_corner2: the yard's corner under the wall walk
  CP_WALK,         // castle_walk on a wall's top
  CP_MERLONS,      // merlon_wall1 on a wall's top, along its outside
  CP_MERLON_CORNER,
  CP_TOWER,        // tower_corner: a quarter of the round keep
  CP_TOWER_FRONT,  // tower_wall2: the gatehouse's front over the gate
  CP_ROOF,         // roof_corner: a quarter of the keep's roof
  CP_KIND_COUNT
};
inline const char* castle_piece_mesh(int kind)
{
  static const char* const meshes[CP_KIND_COUNT] = {
      "castle_wall1",  "castle_wall2", "castle_wall3", "castle_wall4", "castle_corner1", "castle_corner2",
      "castle_walk",   "merlon_wall1", "merlon_corner", "tower_corner", "tower_wall2",   "roof_corner"};
  return kind >= 0 && kind < CP_KIND_COUNT ? meshes[kind] : "castle_wall1";
}

// One piece: its cell from the footprint's first cell, its base height over
// the levelled ground and its quarter turns (0..3) about the cell's centre.
// Unturned, a piece's outside is -z (and -x for corners); one turn maps -z
// to -x, two to +z, three to +x.
struct CastlePiece {
  int kind;
  int dx, dz;
  float y;
  int turns;
};
constexpr int CASTLE_MAX_PIECES = 160;
// The side a wall cell faces: 0 -z, 1 -x, 2 +z, 3 +x (its turns).
constexpr int CASTLE_GATE_SIDE = 0;

// The castle's pieces for a footprint of `size` cells (at least 6): a ring
// of walls with a buttressed corner at each corner, one gate (in the middle
// of the -z side, under a gatehouse front), a wall walk and merlons on every
// wall top, and a round keep of two storeys under a roof in the middle.
// Returns the count written (at most `max`).
inline int castle_layout(int size, CastlePiece* out, int max)
{
  int n = 0;
  auto put = [&](int kind, int dx, int dz, float y, int turns) {
    if (n < max) out[n++] = CastlePiece{kind, dx, dz, y, turns};
  };
  const int last = size - 1;
  const float top = CASTLE_WALL_HEIGHT;
  // Corners, each turned so its outside faces both of its sides.
  const int corner[4][3] = {{0, 0, 0}, {0, last, 1}, {last, last, 2}, {last, 0, 3}};
  for (const auto& c : corner) {
    put(CP_CORNER, c[0], c[1], 0, c[2]);
    put(CP_MERLON_CORNER, c[0], c[1], top, c[2]);
    // The yard's corner, diagonally inside.
    put(CP_INNER_CORNER, c[0] ? c[0] - 1 : 1, c[1] ? c[1] - 1 : 1, 0, c[2]);
  }
  for (int side = 0; side < 4; ++side)
    for (int i = 1; i < last; ++i) {
      int dx = side == 0 || side == 2 ? i : side == 1 ? 0 : last;
      int dz = side == 1 || side == 3 ? i : side == 0 ? 0 : last;
      if (side == CASTLE_GATE_SIDE && i == size / 2) {
        put(CP_GATE, dx, dz, 0, side);
        put(CP_TOWER_FRONT, dx, dz, top, side);
        put(CP_MERLONS, dx, dz, top + 2.5f, side);
        continue;
      }
      static const int pattern[3] = {CP_WALL, CP_WALL_SLIT, CP_WALL_WINDOW};
      put(pattern[(i + side) % 3], dx, dz, 0, side);
      put(CP_WALK, dx, dz, top, side);
      put(CP_MERLONS, dx, dz, top, side);
    }
  // The keep: four quarters round the footprint's centre, two storeys, roofed.
  const int h = size / 2;
  const int quarter[4][3] = {{h - 1, h - 1, 0}, {h - 1, h, 1}, {h, h, 2}, {h, h - 1, 3}};
  for (const auto& q : quarter) {
    put(CP_TOWER, q[0], q[1], 0, q[2]);
    put(CP_TOWER, q[0], q[1], top, q[2]);
    put(CP_ROOF, q[0], q[1], 2 * top, q[2]);
  }
  return n;
}
