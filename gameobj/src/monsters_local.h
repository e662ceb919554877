// What the creatures' and combat spells' files share: small vector helpers
// on the wrapping world, saving references, the renderers and the tuning.
#pragma once
#include <math.h>
#include <stdint.h>

#include "classes.h"
#include "core/math_types.h"
#include "game.h"

class InputStream;
class OutputStream;

namespace mon {

constexpr float WORLD = 256.0f;
constexpr float PI = 3.14159265f;

inline Vec4f vec(const float* p) { return Vec4f{p[0], p[1], p[2], 0}; }
inline Vec4f vec(float x, float y, float z) { return Vec4f{x, y, z, 0}; }
inline void set(float* p, const Vec4f& v)
{
  p[0] = v.x;
  p[1] = v.y;
  p[2] = v.z;
}
// The shortest difference of two coordinates on the wrapping world.
inline float wrap_delta(float d) { return d - WORLD * floorf(d / WORLD + 0.5f); }
// A coordinate moved into 0..256.
inline float wrap_coord(float x)
{
  x = fmodf(x, WORLD);
  return x < 0 ? x + WORLD : x;
}
// Squared distance on the ground (x, z), across the wrap.
inline float flat_dist2(const float* a, const float* b)
{
  float dx = wrap_delta(b[0] - a[0]), dz = wrap_delta(b[2] - a[2]);
  return dx * dx + dz * dz;
}
inline float dist2(const float* a, const float* b)
{
  float dy = b[1] - a[1];
  return flat_dist2(a, b) + dy * dy;
}
// The vector from a to b across the wrap.
inline Vec4f toward(const float* a, const float* b)
{
  return Vec4f{wrap_delta(b[0] - a[0]), b[1] - a[1], wrap_delta(b[2] - a[2]), 0};
}
inline float length(const Vec4f& v) { return sqrtf(v.x * v.x + v.y * v.y + v.z * v.z); }
inline Vec4f scaled(const Vec4f& v, float k) { return Vec4f{v.x * k, v.y * k, v.z * k, 0}; }
inline Vec4f normalized(const Vec4f& v)
{
  float l = length(v);
  return l > 1e-6f ? scaled(v, 1.0f / l) : Vec4f{0, 0, 1, 0};
}
// Moves p toward `goal` by at most `step`; true when it arrived.
bool move_toward(float* p, const Vec4f& goal, float step);
// A repeatable number in 0..1 from an object and a counter (no shared state:
// the same object does the same thing after a save or a reload).
float hash01(uint32_t a, uint32_t b);
inline float yaw_of(const Vec4f& dir) { return atan2f(dir.x, dir.z); }

// A weak reference saved as its serial id (0: none).
void write_ref(OutputStream& out, const GameObjRef& ref);
// The object with that serial id, or null (logged) when it is not there.
GameObj* find_by_serial(int serial_id, const char* who);

// Local player's position, false when there is no player.
bool player_pos(float out[3]);

// {===== Monsters (monsters.cpp)
// Calls f(MonsterObject*) for every creature of this part that is not
// destroyed: wyverns, caterpillars, birds and lake tentacles.
template <class F>
void for_each_monster(F&& f)
{
  auto walk = [&](auto& list) {
    for (int i = 0; i < list.num; ++i)
      if (!list[i]->destroyed) f(static_cast<MonsterObject*>(list[i]));
  };
  walk(WyvernMonster_list);
  walk(LandMonster_list);
  walk(BirdMonster_list);
  walk(Tentacle_list);
}
// Birds near `pos` take flight.
void scare_birds(const Vec4f& pos, float radius);
// The nearest hostile monster within `radius` of `pos` on the ground, or null.
MonsterObject* nearest_monster(const Vec4f& pos, float radius);
// Every creature made by the spawner or the developer socket goes through
// here: the kind's object at the place, with its spawn sound.
MonsterObject* spawn_monster(const char* kind, float x, float z);

// {===== Drawing (monsters_render.cpp)
// Called first in a step by the creatures that move fast.
inline void remember_pos(MonsterObject* m)
{
  for (int i = 0; i < 3; ++i) m->prev_pos[i] = m->pos[i];
}
// The creature's position for this frame, between its last two steps.
void frame_pos(const MonsterObject* m, float out[3]);
// A Simple mesh at `pos` facing `yaw`, scaled and tinted.
void draw_simple(const char* mesh, const float* pos, float yaw, float pitch, float scale, D3dColor tint);
// A spline body segment from p0 to p1 (cross-section radius r0, r1).
void draw_segment(const char* mesh, const float* p0, const float* p1, const Vec4f& t0, const Vec4f& t1, float r0,
                  float r1, D3dColor tint);

} // namespace mon
