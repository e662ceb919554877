// The creatures: the gatherer (a floating eye over a morphing body), the
// caterpillar (head, tail and four kinds of body segment drawn along a
// spline) and the wyvern (head, tail and a winged body segment). Simple and
// Morph meshes face +z; spline segments run along z = 0..1 (the curve
// parameter) with x and y across the curve in units of the segment's radius.
// The bird is drawn by the game's creatures alone (no exported renderer).
#include <cmath>

#include "models.h"

namespace meshgen {

namespace {

void blob(Builder& b, V3 c, V3 s, float lump = 0, int seed = 0, int rings = 5, int segs = 8, bool smooth = true) {
  b.f = scaled(c, s);
  b.sphere(rings, segs, lump, seed, smooth);
}

void cone(Builder& b, V3 from, V3 dir, float r0, float r1 = 0, int sides = 5) {
  b.f = along(from, dir, 1.0f);
  b.lathe({{r0, 0}, {r1, 1}}, sides, false, true);
}

// {===== Gatherer

// An eyeball of radius 0.3 round the origin, looking along +z with a
// glowing amber iris and a black pupil.
void gatherer_eye(Builder& b) {
  b.mat = 0;
  blob(b, {0, 0, 0}, {0.3f, 0.3f, 0.3f}, 0, 0, 8, 12);
  b.mat = 1;
  blob(b, {0, 0, 0.255f}, {0.16f, 0.16f, 0.06f}, 0, 0, 5, 12);
  b.mat = 2;
  blob(b, {0, 0, 0.305f}, {0.065f, 0.065f, 0.02f}, 0, 0, 4, 10);
  b.mat = 3; // a dark lid ridge over the top
  b.f = Frame{{0, 0, 0}, {0.33f, 0, 0}, {0, 0.33f, 0}, {0, 0, 0.33f}};
  b.lathe({{0.0f, 1.02f}, {0.55f, 0.88f}, {0.9f, 0.5f}, {1.0f, 0.25f}}, 12, true, false);
}

// Morph target 1 squashes the body (wider and lower), target 2 lifts the
// tentacles out and up as if reaching.
V3 squash(V3 p) { return {0.35f * p.x, -0.3f * p.y, 0.35f * p.z}; }
V3 reach(V3 p) {
  if (p.y >= 0.5f) return {0, 0.2f * (p.y - 0.5f), 0};
  float k = 0.5f - p.y;
  V3 radial = normalize({p.x, 0, p.z});
  return radial * (1.4f * k) + V3{0, 0.9f * k, 0};
}

// A purple sack floating on five tentacles, a darker frill round its middle.
void gatherer_body(Builder& b) {
  b.morph1 = squash;
  b.morph2 = reach;
  b.mat = 0;
  blob(b, {0, 0.8f, 0}, {0.55f, 0.62f, 0.55f}, 0.06f, 31, 7, 12);
  b.mat = 1;
  b.f = Frame{};
  b.lathe({{0.5f, 0.58f}, {0.66f, 0.66f}, {0.58f, 0.76f}}, 12, false, false);
  b.mat = 0;
  for (int i = 0; i < 5; i++) {
    float a = 2 * PI * i / 5 + 0.3f;
    V3 root{0.32f * std::cos(a), 0.45f, 0.32f * std::sin(a)};
    V3 tip{0.75f * std::cos(a + 0.25f), 0.0f, 0.75f * std::sin(a + 0.25f)};
    b.f = along(root, tip - root, 1.0f);
    b.lathe({{0.12f, 0}, {0.09f, 0.5f}, {0.0f, 1.0f}}, 5, true, true);
  }
  b.mat = 2; // a mouth under the frill, on the front
  blob(b, {0, 0.5f, 0.4f}, {0.16f, 0.06f, 0.08f}, 0, 0, 3, 8);
  b.morph1 = b.morph2 = nullptr;
}

// {===== Caterpillar

// A green head of radius 0.45 (centre at y 0.45, the body's axis) with
// black eyes, yellow-tipped antennae and dark mandibles in front.
void ctrplr_head(Builder& b) {
  b.mat = 0;
  blob(b, {0, 0.45f, 0.05f}, {0.45f, 0.43f, 0.42f}, 0.03f, 41, 7, 12);
  b.mat = 2;
  blob(b, {-0.19f, 0.6f, 0.36f}, {0.09f, 0.1f, 0.08f}, 0, 0, 4, 8);
  blob(b, {0.19f, 0.6f, 0.36f}, {0.09f, 0.1f, 0.08f}, 0, 0, 4, 8);
  cone(b, {-0.12f, 0.3f, 0.38f}, {-0.03f, -0.1f, 0.22f}, 0.06f, 0.0f, 4);
  cone(b, {0.12f, 0.3f, 0.38f}, {0.03f, -0.1f, 0.22f}, 0.06f, 0.0f, 4);
  b.mat = 3;
  for (int s = -1; s <= 1; s += 2) {
    b.f = along({s * 0.13f, 0.82f, 0.15f}, {s * 0.12f, 0.38f, 0.22f}, 1.0f);
    b.lathe({{0.025f, 0}, {0.018f, 1}}, 4, false, false);
    blob(b, {s * 0.25f, 1.2f, 0.37f}, {0.05f, 0.05f, 0.05f}, 0, 0, 3, 6);
  }
}

// The last segment, tapering backwards (towards -z) to a yellow sting.
void ctrplr_tail(Builder& b) {
  b.mat = 1;
  b.f = along({0, 0.42f, 0.1f}, {0, 0, -1.0f}, 0.42f);
  b.lathe({{1.0f, 0}, {1.05f, 0.2f}, {0.85f, 0.5f}, {0.5f, 0.8f}, {0.2f, 1.0f}}, 10, true, true);
  b.mat = 3;
  cone(b, {0, 0.42f, -0.88f}, {0, 0.05f, -0.35f}, 0.08f, 0.0f, 5);
}

float seg_radius(float t) { return 0.82f + 0.18f * std::sin(PI * t); }

// Two little legs under the middle of a segment.
void ctrplr_legs(Builder& b) {
  b.mat = 2;
  for (int s = -1; s <= 1; s += 2) {
    b.f = along({s * 0.45f, -0.6f, 0.5f}, {s * 0.15f, -0.45f, 0}, 1.0f);
    b.lathe({{0.14f, 0}, {0.08f, 1.0f}}, 5, false, true);
  }
}

void ctrplr_body01(Builder& b) {
  b.mat = 1;
  b.f = Frame{};
  b.tube(8, 12, seg_radius, false);
  ctrplr_legs(b);
}

void ctrplr_body02(Builder& b) {
  b.mat = 0;
  b.f = Frame{};
  b.tube(8, 12, seg_radius, false);
  ctrplr_legs(b);
  b.mat = 3; // two yellow spikes on the back
  for (float t : {0.3f, 0.7f}) cone(b, {0, 0.9f, t}, {0, 0.55f, 0}, 0.14f, 0.0f, 5);
}

void ctrplr_body03(Builder& b) {
  b.mat = 1;
  b.f = Frame{};
  b.tube(8, 12, [](float t) { return 0.78f + 0.25f * std::sin(PI * t); }, false);
  ctrplr_legs(b);
  b.mat = 2; // black dots along the sides
  for (int s = -1; s <= 1; s += 2) blob(b, {s * 0.98f, 0.1f, 0.5f}, {0.08f, 0.16f, 0.16f}, 0, 0, 3, 6);
}

void ctrplr_body04(Builder& b) {
  b.mat = 0;
  b.f = Frame{};
  b.tube(8, 12, seg_radius, false);
  ctrplr_legs(b);
  b.mat = 3; // hair tufts on the back
  for (int i = 0; i < 3; i++) blob(b, {0.25f * (i - 1), 0.95f, 0.25f + 0.25f * i}, {0.18f, 0.22f, 0.12f}, 0.3f, 50 + i, 3, 6, false);
}

// {===== Wyvern

// A horned reptile head looking along +z: skull, long snout, lower jaw,
// glowing eyes, two horns swept back, teeth.
void wyvern_head(Builder& b) {
  b.mat = 0;
  blob(b, {0, 0.32f, -0.05f}, {0.3f, 0.27f, 0.34f}, 0.04f, 61, 6, 10);
  b.f = along({0, 0.34f, 0.15f}, {0, -0.06f, 0.58f}, 1.0f);
  b.lathe({{0.2f, 0}, {0.17f, 0.5f}, {0.11f, 0.95f}, {0.0f, 1.0f}}, 6, false, true, PI / 6);
  b.mat = 1;
  b.f = along({0, 0.17f, 0.1f}, {0, 0.02f, 0.55f}, 1.0f);
  b.lathe({{0.13f, 0}, {0.1f, 0.6f}, {0.0f, 1.0f}}, 6, false, true, PI / 6);
  b.mat = 2;
  for (int s = -1; s <= 1; s += 2) {
    cone(b, {s * 0.16f, 0.48f, -0.12f}, {s * 0.12f, 0.3f, -0.42f}, 0.07f, 0.0f, 5);
    for (int k = 0; k < 3; k++) cone(b, {s * 0.08f, 0.24f, 0.35f + 0.12f * k}, {0, -0.07f, 0}, 0.02f, 0.0f, 3);
  }
  b.mat = 3;
  blob(b, {-0.17f, 0.43f, 0.16f}, {0.05f, 0.045f, 0.05f}, 0, 0, 4, 8);
  blob(b, {0.17f, 0.43f, 0.16f}, {0.05f, 0.045f, 0.05f}, 0, 0, 4, 8);
}

// A long tail tapering backwards (towards -z) to a spade-shaped tip.
void wyvern_tail(Builder& b) {
  b.mat = 0;
  b.f = along({0, 0.35f, 0}, {0, -0.1f, -1.7f}, 0.26f);
  b.lathe({{1.0f, 0}, {0.8f, 0.3f}, {0.5f, 0.65f}, {0.25f, 0.9f}, {0.12f, 1.0f}}, 8, true, true);
  b.mat = 2; // the spade, both sides
  b.f = Frame{};
  V3 a{0, 0.25f, -1.6f}, l{-0.28f, 0.25f, -1.85f}, r{0.28f, 0.25f, -1.85f}, t{0, 0.25f, -2.25f};
  b.flatQuad(a, r, t, l, {0, 1, 0});
  b.flatQuad(a, l, t, r, {0, -1, 0});
}

// The winged torso along a spline segment: a scaled belly tube, two bat
// wings spread sideways (bones and membranes, seen from both sides) and two
// hind legs.
void wyvern_body(Builder& b) {
  b.mat = 0;
  b.f = Frame{};
  b.tube(8, 10, [](float t) { return 0.7f + 0.3f * std::sin(PI * t); }, false);
  for (int s = -1; s <= 1; s += 2) {
    V3 root{s * 0.8f, 0.4f, 0.35f}, elbow{s * 2.2f, 1.2f, 0.45f}, tip{s * 3.8f, 0.6f, 0.3f};
    V3 f1{s * 3.2f, -0.1f, 0.95f}, f2{s * 2.2f, -0.2f, 1.05f}, back{s * 0.8f, 0.3f, 0.85f};
    b.mat = 3;
    for (auto [p, q] : {std::pair{root, elbow}, std::pair{elbow, tip}, std::pair{elbow, f1}, std::pair{elbow, f2}}) {
      b.f = along(p, q - p, 1.0f);
      b.lathe({{0.09f, 0}, {0.05f, 1}}, 4, false, false);
    }
    b.mat = 2;
    b.f = Frame{};
    V3 up{0, 1, 0}, down{0, -1, 0};
    for (V3 side : {up, down}) {
      b.flatTri(root, elbow, back, side);
      b.flatTri(elbow, f2, back, side);
      b.flatTri(elbow, f1, f2, side);
      b.flatTri(elbow, tip, f1, side);
    }
    b.mat = 1;
    b.f = along({s * 0.45f, -0.55f, 0.75f}, {s * 0.1f, -0.6f, 0.05f}, 1.0f);
    b.lathe({{0.2f, 0}, {0.12f, 1.0f}}, 5, false, true);
  }
}

// {===== Bird

// A small gull-like bird looking along +z, about 1.1 across the wings: a
// pale body and head, wings spread in a shallow V (both sides), a fan tail
// and a yellow beak.
void bird(Builder& b) {
  b.mat = 0;
  blob(b, {0, 0, 0}, {0.09f, 0.08f, 0.22f}, 0, 0, 5, 8);
  blob(b, {0, 0.05f, 0.2f}, {0.065f, 0.065f, 0.07f}, 0, 0, 4, 8);
  b.mat = 3;
  cone(b, {0, 0.04f, 0.26f}, {0, -0.015f, 0.1f}, 0.025f, 0.0f, 4);
  b.mat = 2;
  blob(b, {-0.045f, 0.08f, 0.25f}, {0.015f, 0.015f, 0.015f}, 0, 0, 3, 6);
  blob(b, {0.045f, 0.08f, 0.25f}, {0.015f, 0.015f, 0.015f}, 0, 0, 3, 6);
  b.mat = 1;
  b.f = Frame{};
  V3 up{0, 1, 0}, down{0, -1, 0};
  for (int s = -1; s <= 1; s += 2) {
    V3 root_f{s * 0.06f, 0.03f, 0.1f}, root_b{s * 0.06f, 0.03f, -0.08f};
    V3 elbow{s * 0.3f, 0.13f, 0.04f}, tip{s * 0.56f, 0.09f, -0.12f}, trail{s * 0.3f, 0.11f, -0.12f};
    for (V3 side : {up, down}) {
      b.flatTri(root_f, elbow, root_b, side);
      b.flatTri(root_b, elbow, trail, side);
      b.flatTri(elbow, tip, trail, side);
    }
  }
  V3 t0{-0.04f, 0.01f, -0.18f}, t1{0.04f, 0.01f, -0.18f}, t2{0.1f, 0.0f, -0.34f}, t3{-0.1f, 0.0f, -0.34f};
  b.flatQuad(t0, t1, t2, t3, up);
  b.flatQuad(t0, t3, t2, t1, down);
}

} // namespace

const Model creature_models[] = {
    {"gatherer_eye", "Simple", {M_EYE_WHITE, M_IRIS_GLOW, M_DARK, M_GATHERER_DARK}, gatherer_eye},
    {"ctrplr_head", "Simple", {M_CTR_GREEN, M_CTR_STRIPE, M_CTR_DARK, M_CTR_YELLOW}, ctrplr_head},
    {"ctrplr_tail", "Simple", {M_CTR_GREEN, M_CTR_STRIPE, M_CTR_DARK, M_CTR_YELLOW}, ctrplr_tail},
    {"wyvern_head", "Simple", {M_WYV_SCALE, M_WYV_BELLY, M_HORN, M_GLOW_YELLOW}, wyvern_head},
    {"wyvern_tail", "Simple", {M_WYV_SCALE, M_WYV_BELLY, M_WYV_WING, M_HORN}, wyvern_tail},
    {"gatherer_body", "Morph", {M_GATHERER, M_GATHERER_DARK, M_DARK, M_GATHERER}, gatherer_body},
    {"ctrplr_body01", "Spline", {M_CTR_GREEN, M_CTR_STRIPE, M_CTR_DARK, M_CTR_YELLOW}, ctrplr_body01},
    {"ctrplr_body02", "Spline", {M_CTR_GREEN, M_CTR_STRIPE, M_CTR_DARK, M_CTR_YELLOW}, ctrplr_body02},
    {"ctrplr_body03", "Spline", {M_CTR_GREEN, M_CTR_STRIPE, M_CTR_DARK, M_CTR_YELLOW}, ctrplr_body03},
    {"ctrplr_body04", "Spline", {M_CTR_GREEN, M_CTR_STRIPE, M_CTR_DARK, M_CTR_YELLOW}, ctrplr_body04},
    {"wyvern_body", "Spline", {M_WYV_SCALE, M_WYV_BELLY, M_WYV_WING, M_HORN}, wyvern_body},
    {"bird", "Simple", {M_EYE_WHITE, M_HAIR, M_DARK, M_CTR_YELLOW}, bird},
};
const int creature_model_count = sizeof creature_models / sizeof creature_models[0];

} // namespace meshgen
