// The screens' pure rules: which worlds of the universe can be entered, where
// the universe map and its worlds sit on the screen, and the HUD's sums
// (bar fills, cooldown shades, message fading, the mini-map's wrapped view
// and markers). Plain arithmetic without the host, so tests include this
// header directly.
#pragma once
#include <math.h>

#include <vector>

namespace ui {

// {===== The universe map

// Size of the map the world script places worlds on.
constexpr float UNI_MAP_W = 1000, UNI_MAP_H = 600;

enum class WorldLook { visited, reachable, locked };

// World 0 is open from the start; a world the player has been to or that a
// portal unlocked stays open. Missing slots count as false.
inline bool world_reachable(int index, bool visited, bool unlocked) { return index == 0 || visited || unlocked; }

inline WorldLook world_look(int index, bool visited, bool unlocked)
{
  if (visited) return WorldLook::visited;
  return world_reachable(index, visited, unlocked) ? WorldLook::reachable : WorldLook::locked;
}

// The game is won when there is a world and every world is done.
inline bool every_world_done(const std::vector<bool>& done)
{
  if (done.empty()) return false;
  for (bool d : done)
    if (!d) return false;
  return true;
}

struct Box {
  float x0, y0, x1, y1;
  float w() const { return x1 - x0; }
  float h() const { return y1 - y0; }
};

// The largest box of the map's proportions centred in `area`.
inline Box fit_map(const Box& area)
{
  float s = fminf(area.w() / UNI_MAP_W, area.h() / UNI_MAP_H);
  if (!(s > 0)) s = 0;
  float w = UNI_MAP_W * s, h = UNI_MAP_H * s;
  float x = (area.x0 + area.x1 - w) * 0.5f, y = (area.y0 + area.y1 - h) * 0.5f;
  return Box{x, y, x + w, y + h};
}

inline void map_to_screen(const Box& map, float mx, float my, float& sx, float& sy)
{
  sx = map.x0 + mx / UNI_MAP_W * map.w();
  sy = map.y0 + my / UNI_MAP_H * map.h();
}

// The world whose marker (radius `r` pixels) is nearest to the point, or -1.
template <class Worlds>
int pick_world(const Box& map, const Worlds& worlds, float x, float y, float r)
{
  int best = -1;
  float best_d2 = r * r;
  for (int i = 0; i < (int)worlds.size(); i++) {
    float sx, sy;
    map_to_screen(map, worlds[i].x, worlds[i].y, sx, sy);
    float d2 = (sx - x) * (sx - x) + (sy - y) * (sy - y);
    if (d2 <= best_d2) best = i, best_d2 = d2;
  }
  return best;
}

// A popup of size w x h at the point (x, y), moved to stay inside the screen.
inline Box place_popup_box(float x, float y, float w, float h, float screen_w, float screen_h)
{
  float x0 = x, y0 = y;
  if (x0 + w > screen_w) x0 = screen_w - w;
  if (y0 + h > screen_h) y0 = screen_h - h;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  return Box{x0, y0, x0 + w, y0 + h};
}

// {===== The HUD

// Inside a box: left and top edges out, right and bottom in (as the GUI's hit test).
inline bool inside(const Box& b, float x, float y) { return x > b.x0 && x <= b.x1 && y > b.y0 && y <= b.y1; }

// Where the HUD's parts go on a w x h screen (pixels; u is a thousandth of
// the height): the spell bar bottom centre (at least 8 slot frames, at most
// 16, smaller on narrow screens), health and mana bottom left, the mini-map
// top right.
struct HudLayout {
  float u;
  int slots;
  float slot, gap, bar_x, bar_y;
  float stat_x, stat_y, stat_w, stat_h;
  float map_x, map_y, map_size;
};
inline HudLayout hud_layout(float w, float h, int spell_count)
{
  HudLayout l;
  l.u = h / 1000.f;
  l.slots = spell_count > 8 ? (spell_count > 16 ? 16 : spell_count) : 8;
  l.gap = 10 * l.u;
  // Slots shrink when a full bar would not fit between the health and mana
  // bars (300 u kept on either side).
  const float room = w - 600 * l.u - (l.slots - 1) * l.gap;
  l.slot = fmaxf(1.f, fminf(78 * l.u, room / l.slots));
  const float bw = l.slots * l.slot + (l.slots - 1) * l.gap;
  l.bar_x = (w - bw) * 0.5f;
  l.bar_y = h - 30 * l.u - l.slot;
  l.stat_h = 34 * l.u;
  l.stat_x = 30 * l.u;
  l.stat_w = fminf(300 * l.u, l.bar_x - 60 * l.u - l.stat_x);
  l.stat_y = h - 30 * l.u - 2 * l.stat_h - 10 * l.u;
  l.map_size = 280 * l.u;
  l.map_x = w - 30 * l.u - l.map_size;
  l.map_y = 30 * l.u;
  return l;
}
inline Box hud_slot_box(const HudLayout& l, int i)
{
  float x = l.bar_x + i * (l.slot + l.gap);
  return Box{x, l.bar_y, x + l.slot, l.bar_y + l.slot};
}
// The bar's background around its slot frames; all of it takes the mouse.
inline Box hud_bar_box(const HudLayout& l)
{
  return Box{l.bar_x - 12 * l.u, l.bar_y - 12 * l.u, l.bar_x + l.slots * (l.slot + l.gap) - l.gap + 12 * l.u,
             l.bar_y + l.slot + 12 * l.u};
}

// How full a bar is, 0..1; nothing (no NaN) for a zero or broken maximum.
inline float bar_fill(float value, float max)
{
  if (!(max > 0) || !(value > 0)) return 0;
  float f = value / max;
  return f > 1 ? 1 : f;
}

// The shaded part of a slot while its spell cools down, 0..1.
inline float cooldown_shade(float left, float full)
{
  if (!(left > 0)) return 0;
  if (!(full > 0)) return 1;
  return left >= full ? 1 : left / full;
}

// Screen messages stay for `hold` seconds, then fade out over `fade`.
constexpr float MESSAGE_HOLD = 3.5f, MESSAGE_FADE = 1.0f;
inline float message_alpha(float age)
{
  if (!(age >= 0)) return 0;
  if (age <= MESSAGE_HOLD) return 1;
  float a = 1 - (age - MESSAGE_HOLD) / MESSAGE_FADE;
  return a > 0 ? a : 0;
}

// The world wraps every 256 units.
constexpr float WORLD_SIZE = 256;
inline float wrap_delta(float d)
{
  d = fmodf(d, WORLD_SIZE);
  if (d >= WORLD_SIZE / 2) d -= WORLD_SIZE;
  if (d < -WORLD_SIZE / 2) d += WORLD_SIZE;
  return d;
}

// One axis of the mini-map: the texture span [c - half, c + half] (texture
// units, the texture repeating every 1) cut where it wraps, so each piece
// lies inside 0..1. `t0`/`t1` are the pieces' texture ends and `s0`/`s1` their
// share of the screen span (0..1). Two pieces at most for half <= 0.5.
struct SpanPiece {
  float t0, t1, s0, s1;
};
inline int wrapped_pieces(float c, float half, SpanPiece out[2])
{
  float a = c - half;
  a -= floorf(a);
  float len = 2 * half;
  if (!(len > 0)) return 0;
  if (a + len <= 1.0f) {
    out[0] = SpanPiece{a, a + len, 0, 1};
    return 1;
  }
  float first = (1 - a) / len;
  out[0] = SpanPiece{a, 1, 0, first};
  out[1] = SpanPiece{0, a + len - 1, first, 1};
  return 2;
}

// Where a thing at world offset (dx, dz) from the player shows on a square,
// north-up mini-map (centre cx, cy, half side `half` pixels for `range`
// world units; +z is up on the screen). Beyond the map it is pinned to the
// rim and `outside` is set, so an arrow there points at it.
struct Marker {
  float x, y;
  float ax, ay; // unit direction from the centre on the screen
  bool outside;
};
inline Marker map_marker(float dx, float dz, float cx, float cy, float half, float range)
{
  float sx = dx / range * half, sy = -dz / range * half;
  float len = sqrtf(sx * sx + sy * sy);
  Marker m{cx + sx, cy + sy, 0, -1, false};
  if (len > 1e-6f) m.ax = sx / len, m.ay = sy / len;
  float far = fmaxf(fabsf(sx), fabsf(sy));
  if (far > half) {
    m.outside = true;
    m.x = cx + sx * (half / far);
    m.y = cy + sy * (half / far);
  }
  return m;
}

} // namespace ui
