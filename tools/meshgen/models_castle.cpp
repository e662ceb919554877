// The castle and tower pieces (Building meshes): each fills one world cell,
// x and z in 0..1 with y up from the piece's base, and pieces fit together
// on the cell grid. Walls are 2 units high; the outside of a piece is its
// -z side (and -x for corners); the renderer turns pieces by quarter turns
// about the cell centre. Merlons, the wall walk and roofs sit on top of a
// wall (base y 2). Four tower corners (or roof corners) round a 2 x 2 block
// make a round tower (a pyramid roof), meeting at the block's centre, which
// is the +x +z corner of an unturned piece.
//
// Swatches: 0 bricks, 1 flagstones, 2 wood, 3 the dark of openings (roof
// pieces use roof tiles in 0).
#include <cmath>

#include "models.h"

namespace meshgen {

namespace {

constexpr float WALL_H = 2.0f;
constexpr float TILE = 0.5f;

void block(Builder& b, V3 lo, V3 hi) {
  b.f = Frame{};
  b.mat = 0;
  b.box(lo, hi, TILE);
  // The top gets flagstones: overlay it a hair above the bricks.
  b.mat = 1;
  V3 s = hi - lo;
  b.tiled({lo.x, hi.y + 0.002f, lo.z}, {s.x, 0, 0}, {0, 0, s.z}, 1, 1, {0, 1, 0});
  b.mat = 0;
}

// A dark opening drawn just outside the -z face.
void opening(Builder& b, float x0, float x1, float y0, float y1, bool arch) {
  b.mat = 3;
  b.f = Frame{};
  float z = -0.006f;
  b.flatQuad({x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}, {0, 0, -1});
  if (arch) b.flatTri({x0, y1, z}, {x1, y1, z}, {(x0 + x1) * 0.5f, y1 + (x1 - x0) * 0.5f, z}, {0, 0, -1});
  b.mat = 0;
}

// A block whose top corners stand at heights h00 (x 0, z 0), h10, h01, h11.
void slant(Builder& b, float h00, float h10, float h01, float h11) {
  b.f = Frame{};
  b.mat = 0;
  V3 p00{0, h00, 0}, p10{1, h10, 0}, p01{0, h01, 1}, p11{1, h11, 1};
  V3 g00{0, 0, 0}, g10{1, 0, 0}, g01{0, 0, 1}, g11{1, 0, 1};
  b.flatQuad(g00, g10, p10, p00, {0, 0, -1}, 0, 0, 1, 1);
  b.flatQuad(g10, g11, p11, p10, {1, 0, 0}, 0, 0, 1, 1);
  b.flatQuad(g11, g01, p01, p11, {0, 0, 1}, 0, 0, 1, 1);
  b.flatQuad(g01, g00, p00, p01, {-1, 0, 0}, 0, 0, 1, 1);
  b.flatQuad(g00, g01, g11, g10, {0, -1, 0});
  b.mat = 1;
  b.flatTri(p00, p10, p11, {0, 1, 0});
  b.flatTri(p00, p11, p01, {0, 1, 0});
}

// A parapet along the -z edge with two merlons (x from x0 to x1).
void merlons_along(Builder& b, float x0, float x1) {
  b.f = Frame{};
  b.mat = 0;
  b.box({x0, 0, 0}, {x1, 0.25f, 0.25f});
  float w = (x1 - x0);
  for (int i = 0; i < 2; i++) {
    float a = x0 + w * (0.06f + 0.5f * i), c = a + w * 0.36f;
    b.box({a, 0.25f, 0}, {c, 0.62f, 0.25f});
    b.mat = 1;
    b.tiled({a, 0.622f, 0}, {c - a, 0, 0}, {0, 0, 0.25f}, 1, 1, {0, 1, 0});
    b.mat = 0;
  }
}

// The same parapet turned to run along the -x edge.
void merlons_left(Builder& b) {
  b.f = Frame{};
  b.mat = 0;
  b.box({0, 0, 0}, {0.25f, 0.25f, 1});
  for (int i = 0; i < 2; i++) {
    float a = 0.06f + 0.5f * i, c = a + 0.36f;
    b.box({0, 0.25f, a}, {0.25f, 0.62f, c});
  }
}

void castle_wall1(Builder& b) { block(b, {0, 0, 0}, {1, WALL_H, 1}); }
void castle_wall2(Builder& b) { // an arrow slit
  block(b, {0, 0, 0}, {1, WALL_H, 1});
  opening(b, 0.45f, 0.55f, 0.85f, 1.55f, false);
}
void castle_wall3(Builder& b) { // an arched window with a wooden sill
  block(b, {0, 0, 0}, {1, WALL_H, 1});
  opening(b, 0.3f, 0.7f, 0.8f, 1.35f, true);
  b.mat = 2;
  b.f = Frame{};
  b.box({0.25f, 0.72f, -0.1f}, {0.75f, 0.8f, 0.0f});
}
void castle_wall4(Builder& b) { // a gate: a passage under a lintel, closed by a wooden door
  block(b, {0, 0, 0}, {0.2f, WALL_H, 1});
  block(b, {0.8f, 0, 0}, {1, WALL_H, 1});
  block(b, {0.2f, 1.2f, 0}, {0.8f, WALL_H, 1});
  b.mat = 2;
  b.f = Frame{};
  b.box({0.2f, 0, 0.1f}, {0.8f, 1.2f, 0.16f});
  opening(b, 0.3f, 0.7f, 1.25f, 1.45f, true);
}
void castle_corner1(Builder& b) { // outer corner with a round buttress tower
  block(b, {0, 0, 0}, {1, WALL_H, 1});
  b.f = Frame{};
  b.mat = 0;
  b.lathe({{0.38f, 0}, {0.34f, 2.3f}}, 8, false, true);
  b.mat = 1;
  b.lathe({{0.4f, 2.3f}, {0.0f, 2.75f}}, 8, false, false);
}
void castle_corner2(Builder& b) { // inner corner: walls along the -z and -x edges
  block(b, {0, 0, 0}, {1, WALL_H, 0.5f});
  block(b, {0, 0, 0.5f}, {0.5f, WALL_H, 1});
}
void castle_slant1(Builder& b) { slant(b, WALL_H, WALL_H, 1.0f, 1.0f); }
void castle_slant2(Builder& b) { slant(b, WALL_H, WALL_H, 0.15f, 0.15f); }
void castle_slant3(Builder& b) { slant(b, WALL_H, 1.0f, 1.0f, 0.15f); }
void castle_slant4(Builder& b) { slant(b, WALL_H, WALL_H, WALL_H, 0.8f); }
void castle_walk(Builder& b) { // the wooden wall walk
  b.f = Frame{};
  b.mat = 2;
  b.box({0, 0, 0}, {1, 0.1f, 1}, TILE);
  b.mat = 0;
  b.box({0, 0, 0.9f}, {1, 0.35f, 1}); // a low rail on the inner side
}
void merlon_wall1(Builder& b) { merlons_along(b, 0, 1); }
void merlon_wall2(Builder& b) { // parapets on both long sides
  merlons_along(b, 0, 1);
  b.f = Frame{{1, 0, 1}, {-1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
  Frame turned = b.f;
  b.mat = 0;
  b.box({0, 0, 0}, {1, 0.25f, 0.25f});
  for (int i = 0; i < 2; i++) {
    b.f = turned;
    float a = 0.06f + 0.5f * i;
    b.box({a, 0.25f, 0}, {a + 0.36f, 0.62f, 0.25f});
  }
}
void merlon_corner(Builder& b) {
  merlons_along(b, 0, 1);
  merlons_left(b);
}
void merlon_top(Builder& b) { // merlons round all four edges (a one-cell turret top)
  merlons_along(b, 0, 1);
  merlons_left(b);
  b.f = Frame{};
  b.box({0, 0, 0.75f}, {1, 0.25f, 1});
  b.box({0.75f, 0, 0}, {1, 0.25f, 1});
  for (int i = 0; i < 2; i++) {
    float a = 0.06f + 0.5f * i;
    b.box({a, 0.25f, 0.75f}, {a + 0.36f, 0.62f, 1});
    b.box({0.75f, 0.25f, a}, {1, 0.62f, a + 0.36f});
  }
}
void roof_corner(Builder& b) { // a quarter of a pyramid roof of red tiles, apex at (1, 1.6, 1)
  b.f = Frame{};
  b.mat = 0;
  V3 o{-0.12f, 0, -0.12f}, ex{1, 0, -0.12f}, ez{-0.12f, 0, 1}, apex{1, 1.6f, 1};
  b.flatTri(o, ex, apex, {0, 0.6f, -1});
  b.flatTri(o, apex, ez, {-1, 0.6f, 0});
  b.mat = 2;
  b.flatTri(o, ex, apex, {0, -1, 0.5f}); // wooden underside
  b.flatTri(o, apex, ez, {0.5f, -1, 0});
}
// A quarter of a round tower wall about the +x +z corner: outer radius 1,
// inner 0.75, with an optional window.
void tower_arc(Builder& b) {
  b.f = Frame{};
  const int segs = 4, rows = 4;
  V3 c{1, 0, 1};
  auto at = [&](float r, float a, float y) { return c + V3{r * std::cos(a), y, r * std::sin(a)}; };
  for (int i = 0; i < segs; i++) {
    float a0 = PI + 0.5f * PI * i / segs, a1 = PI + 0.5f * PI * (i + 1) / segs, am = (a0 + a1) * 0.5f;
    V3 out{std::cos(am), 0, std::sin(am)};
    for (int j = 0; j < rows; j++) {
      float y0 = WALL_H * j / rows, y1 = WALL_H * (j + 1) / rows;
      b.mat = 0;
      b.flatQuad(at(1, a0, y0), at(1, a1, y0), at(1, a1, y1), at(1, a0, y1), out);
      b.flatQuad(at(0.75f, a0, y0), at(0.75f, a1, y0), at(0.75f, a1, y1), at(0.75f, a0, y1), out * -1.0f);
    }
    b.mat = 1;
    b.flatQuad(at(0.75f, a0, WALL_H), at(1, a0, WALL_H), at(1, a1, WALL_H), at(0.75f, a1, WALL_H), {0, 1, 0});
  }
  b.mat = 0;
  b.flatQuad(at(0.75f, PI, 0), at(1, PI, 0), at(1, PI, WALL_H), at(0.75f, PI, WALL_H), {0, 0, -1});
  b.flatQuad(at(0.75f, 1.5f * PI, 0), at(1, 1.5f * PI, 0), at(1, 1.5f * PI, WALL_H), at(0.75f, 1.5f * PI, WALL_H),
             {-1, 0, 0});
}
void tower_corner(Builder& b) { tower_arc(b); }
// Straight tower walls (thinner and taller than castle walls) along -z.
void tower_wall1(Builder& b) {
  block(b, {0, 0, 0}, {1, 2.5f, 0.25f});
  b.mat = 0;
  b.f = Frame{};
  b.box({0, 0, -0.05f}, {1, 0.3f, 0.3f}); // a plinth
}
void tower_wall2(Builder& b) { // with a tall window and its sill
  tower_wall1(b);
  opening(b, 0.38f, 0.62f, 1.2f, 1.8f, true);
  b.mat = 2;
  b.f = Frame{};
  b.box({0.33f, 1.12f, -0.12f}, {0.67f, 1.2f, 0});
}

constexpr Material CASTLE[4] = {M_BRICK, M_STONE_TOP, M_WOOD, M_DARK};

} // namespace

#define RH_PIECE(name) {#name, "Building", {CASTLE[0], CASTLE[1], CASTLE[2], CASTLE[3]}, name}
const Model castle_models[] = {
    RH_PIECE(castle_wall1),  RH_PIECE(castle_wall2),   RH_PIECE(castle_wall3),  RH_PIECE(castle_wall4),
    RH_PIECE(castle_corner1), RH_PIECE(castle_corner2), RH_PIECE(castle_slant1), RH_PIECE(castle_slant2),
    RH_PIECE(castle_slant3), RH_PIECE(castle_slant4),  RH_PIECE(castle_walk),   RH_PIECE(merlon_wall1),
    RH_PIECE(merlon_wall2),  RH_PIECE(merlon_corner),  RH_PIECE(merlon_top),
    {"roof_corner", "Building", {M_ROOF, M_STONE_TOP, M_WOOD, M_DARK}, roof_corner},
    RH_PIECE(tower_corner),  RH_PIECE(tower_wall1),    RH_PIECE(tower_wall2)};
#undef RH_PIECE
const int castle_model_count = sizeof castle_models / sizeof castle_models[0];

} // namespace meshgen
