// Trees, stones, menhirs and the humanoid: Simple meshes standing on the
// origin, y up, facing +z.
#include "models.h"

namespace meshgen {

namespace {

using Profile = std::vector<std::pair<float, float>>;

// A tapered limb from `from` along `dir` (its length), radius r0 to r1.
void limb(Builder& b, V3 from, V3 dir, float r0, float r1, int sides = 5) {
  b.f = along(from, dir, 1.0f);
  b.lathe({{r0, 0}, {r1, 1}}, sides, true, true);
}

void blob(Builder& b, V3 c, V3 s, float lump, int seed, int rings = 5, int segs = 8) {
  b.f = scaled(c, s);
  b.sphere(rings, segs, lump, seed, false);
}

void box_at(Builder& b, V3 lo, V3 hi) {
  b.f = Frame{};
  b.box(lo, hi);
}

// A broad-leaved tree about 4 units tall: trunk, two branches, a crown of
// faceted leaf clumps.
void tree1(Builder& b) {
  b.mat = 0;
  b.f = Frame{};
  b.lathe({{0.24f, 0}, {0.17f, 1.0f}, {0.13f, 2.1f}, {0.05f, 2.7f}}, 7);
  limb(b, {0, 1.5f, 0}, {0.8f, 0.9f, 0.2f}, 0.08f, 0.03f);
  limb(b, {0, 1.8f, 0}, {-0.6f, 0.8f, -0.4f}, 0.07f, 0.03f);
  b.mat = 1;
  blob(b, {0, 2.9f, 0}, {1.15f, 0.95f, 1.15f}, 0.16f, 1);
  blob(b, {0.75f, 2.45f, 0.25f}, {0.75f, 0.65f, 0.75f}, 0.18f, 2);
  b.mat = 2;
  blob(b, {-0.6f, 2.5f, -0.35f}, {0.8f, 0.65f, 0.8f}, 0.18f, 3);
  blob(b, {0.15f, 3.55f, -0.15f}, {0.7f, 0.6f, 0.7f}, 0.15f, 4);
  blob(b, {-0.2f, 2.6f, 0.7f}, {0.6f, 0.55f, 0.6f}, 0.2f, 5);
}

// A fir: a thin trunk and four stacked cones of needles. `sides` and
// `tiers` set the detail (the far LOD uses fewer of both).
void fir(Builder& b, int sides, int tiers) {
  b.mat = 0;
  b.f = Frame{};
  b.lathe({{0.16f, 0}, {0.1f, 1.0f}, {0.04f, 3.6f}}, sides > 5 ? 6 : 4);
  b.mat = 1;
  static const float tier4[4][3] = {{1.35f, 0.55f, 1.7f}, {1.1f, 1.35f, 1.55f}, {0.85f, 2.15f, 1.4f}, {0.55f, 2.95f, 1.35f}};
  static const float tier2[2][3] = {{1.3f, 0.55f, 2.5f}, {0.85f, 2.0f, 2.3f}};
  for (int i = 0; i < tiers; i++) {
    const float* t = tiers == 4 ? tier4[i] : tier2[i];
    b.mat = (i & 1) ? 2 : 1;
    b.f = Frame{};
    b.lathe({{0.0f, t[1] + 0.15f}, {t[0], t[1]}, {0.0f, t[1] + t[2]}}, sides, false, false, 0.4f * i);
  }
}
void tree1f(Builder& b) { fir(b, 8, 4); }
void tree1flod(Builder& b) { fir(b, 5, 2); }

// A rough boulder, wider than tall, with moss on its top swatch.
void stone1(Builder& b) {
  b.mat = 0;
  blob(b, {0, 0.3f, 0}, {0.75f, 0.48f, 0.6f}, 0.22f, 11, 5, 8);
  b.mat = 1;
  blob(b, {0.25f, 0.55f, -0.1f}, {0.4f, 0.22f, 0.35f}, 0.2f, 12, 4, 6);
}

// A carved stone basin on a short stem: foot, stem, bowl with its hollow.
void stone_cup1(Builder& b) {
  b.mat = 0;
  b.f = Frame{};
  b.lathe({{0.42f, 0},
           {0.4f, 0.12f},
           {0.2f, 0.22f},
           {0.17f, 0.45f},
           {0.45f, 0.62f},
           {0.68f, 0.8f},
           {0.72f, 0.95f},
           {0.62f, 0.98f},
           {0.58f, 0.86f},
           {0.4f, 0.72f},
           {0.0f, 0.68f}},
          10, false, true);
  b.mat = 1; // dark water in the hollow
  b.f = Frame{};
  b.lathe({{0.56f, 0.82f}, {0.0f, 0.82f}}, 10, false, false);
}

// Standing stones: a tall tapering pillar, and a broad slab with glowing runes.
void menhir1(Builder& b) {
  b.mat = 0;
  b.f = Frame{{0, 0, 0}, {1, 0, 0}, {0.04f, 1, 0}, {0, 0, 0.65f}};
  b.lathe({{0.5f, -0.1f}, {0.55f, 0.7f}, {0.46f, 1.8f}, {0.34f, 2.7f}, {0.12f, 3.2f}, {0.0f, 3.3f}}, 6, false, true,
          0.3f);
  b.mat = 1;
  blob(b, {0.1f, 0.05f, 0.1f}, {0.55f, 0.18f, 0.45f}, 0.2f, 21, 3, 7);
}

void menhir2(Builder& b) {
  b.mat = 0;
  b.f = Frame{{0, 0, 0}, {1, 0, 0}, {-0.06f, 1, 0}, {0, 0, 0.32f}};
  b.lathe({{0.72f, -0.1f}, {0.7f, 1.2f}, {0.55f, 2.1f}, {0.25f, 2.55f}, {0.0f, 2.6f}}, 4, false, true, PI / 4);
  // The rune face: a panel just in front of the slab's +z side.
  b.mat = 2;
  b.f = Frame{};
  b.flatQuad({-0.3f, 0.45f, 0.25f}, {0.3f, 0.45f, 0.25f}, {0.26f, 1.75f, 0.2f}, {-0.34f, 1.75f, 0.2f}, {0, 0, 1});
}

// A person about 1.6 units tall: legs, tunic, belt, arms, head with hair,
// eyes and nose on the +z side.
void humanoid(Builder& b) {
  b.mat = 2; // trousers and boots: leather
  box_at(b, {-0.19f, 0, -0.08f}, {-0.03f, 0.78f, 0.08f});
  box_at(b, {0.03f, 0, -0.08f}, {0.19f, 0.78f, 0.08f});
  box_at(b, {-0.2f, 0, -0.09f}, {-0.02f, 0.08f, 0.14f});
  box_at(b, {0.02f, 0, -0.09f}, {0.2f, 0.08f, 0.14f});
  b.mat = 1; // tunic and sleeves
  box_at(b, {-0.23f, 0.74f, -0.12f}, {0.23f, 1.3f, 0.12f});
  limb(b, {-0.29f, 1.26f, 0}, {-0.05f, -0.48f, 0.04f}, 0.065f, 0.05f);
  limb(b, {0.29f, 1.26f, 0}, {0.05f, -0.48f, 0.04f}, 0.065f, 0.05f);
  b.mat = 2;
  box_at(b, {-0.24f, 0.78f, -0.13f}, {0.24f, 0.86f, 0.13f});
  b.mat = 0; // skin: hands, neck, head
  blob(b, {-0.34f, 0.76f, 0.04f}, {0.06f, 0.07f, 0.06f}, 0, 0, 3, 6);
  blob(b, {0.34f, 0.76f, 0.04f}, {0.06f, 0.07f, 0.06f}, 0, 0, 3, 6);
  b.f = Frame{};
  b.lathe({{0.06f, 1.28f}, {0.06f, 1.38f}}, 6, true, false);
  b.f = scaled({0, 1.5f, 0}, {0.14f, 0.16f, 0.15f});
  b.sphere(6, 10, 0, 0, true);
  box_at(b, {-0.02f, 1.46f, 0.13f}, {0.02f, 1.52f, 0.19f}); // nose
  b.mat = 3; // hair cap and eyes
  b.f = scaled({0, 1.54f, -0.02f}, {0.15f, 0.14f, 0.155f});
  b.lathe({{0.0f, 1.0f}, {0.7f, 0.75f}, {1.0f, 0.2f}, {1.02f, -0.3f}}, 10, true, false);
  blob(b, {-0.055f, 1.53f, 0.14f}, {0.022f, 0.022f, 0.02f}, 0, 0, 3, 6);
  blob(b, {0.055f, 1.53f, 0.14f}, {0.022f, 0.022f, 0.02f}, 0, 0, 3, 6);
}

} // namespace

const Model nature_models[] = {
    {"tree1", "Simple", {M_BARK, M_LEAVES, M_LEAVES_DARK, M_MOSS_STONE}, tree1},
    {"tree1f", "Simple", {M_BARK, M_NEEDLES, M_LEAVES_DARK, M_MOSS_STONE}, tree1f},
    {"tree1flod", "Simple", {M_BARK, M_NEEDLES, M_LEAVES_DARK, M_MOSS_STONE}, tree1flod},
    {"stone1", "Simple", {M_STONE, M_MOSS_STONE, M_STONE, M_STONE}, stone1},
    {"stone_cup1", "Simple", {M_STONE, M_DARK, M_STONE, M_STONE}, stone_cup1},
    {"menhir1", "Simple", {M_STONE, M_MOSS_STONE, M_RUNE_STONE, M_STONE}, menhir1},
    {"menhir2", "Simple", {M_STONE, M_MOSS_STONE, M_RUNE_STONE, M_STONE}, menhir2},
    {"humanoid", "Simple", {M_SKIN, M_CLOTH, M_LEATHER, M_HAIR}, humanoid},
};
const int nature_model_count = sizeof nature_models / sizeof nature_models[0];

} // namespace meshgen
