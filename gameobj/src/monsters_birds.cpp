// Birds: harmless flocks. The leader wanders in wide curves over its home,
// the others keep round it; spells and deaths nearby scare them off.
#include "core/stream.h"
#include "game_world.h"
#include "monsters_local.h"

using namespace mon;

namespace {

constexpr float ALTITUDE = 22;
constexpr float SPEED = 6;
constexpr float FLEE_SPEED = 14;
constexpr float FLEE_TIME = 5;
constexpr float ROAM = 30; // how far the leader strays from home

} // namespace

void BirdMonster::update(float dt)
{
  remember_pos(this);
  state_time += dt;
  Vec4f goal;
  float speed = SPEED;
  if (state == FLEE) {
    speed = FLEE_SPEED;
    goal = vec(pos[0] + vel[0], pos[1] + vel[1], pos[2] + vel[2]);
    if (state_time > FLEE_TIME) {
      // Settles where it fled to.
      state = FLY;
      state_time = 0;
      home[0] = pos[0];
      home[2] = pos[2];
    }
  } else if (target && !target->destroyed) {
    // Keeps its own place round the leader.
    float a = phase + 2 * PI * hash01(serialId, 5);
    phase += 0.8f * dt;
    goal = vec(target->pos[0] + 3 * sinf(a), target->pos[1] + sinf(a * 2), target->pos[2] + 3 * cosf(a));
    speed = SPEED * 1.5f;
  } else {
    if (target) target.set(nullptr); // its leader is gone: it leads now
    phase += 0.15f * dt;
    goal = vec(wrap_coord(home[0] + ROAM * sinf(phase) * cosf(phase * 0.37f)), 0,
               wrap_coord(home[2] + ROAM * cosf(phase)));
    goal.y = get_land_height_at(goal) + ALTITUDE;
  }
  Vec4f before = vec(pos);
  move_toward(pos, goal, speed * dt);
  Vec4f d = toward(&before.x, pos);
  if (d.x * d.x + d.z * d.z > 1e-6f) yaw = yaw_of(d);
  float land = get_land_height_at(vec(pos));
  if (pos[1] < land + 4) pos[1] = land + 4;
  if (hash01(serialId, get_world_time()) < dt / 20) play_sound_at("bird_idle", vec(pos));
}

void BirdMonster::onDeath(const char* cause)
{
  play_fx("bird_death_fx", vec(pos), vec(0, -1, 0), vec(0, 1, 0), 1);
}

void BirdMonster::saveFields(OutputStream& out)
{
  MonsterObject::saveFields(out);
  for (float v : home) out.writeFloat(v);
  out.writeFloat(phase);
}

void BirdMonster::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MonsterObject::loadFields(in, version, loader);
  for (float& v : home) v = in.readFloat();
  phase = in.readFloat();
}

void mon::scare_birds(const Vec4f& pos, float radius)
{
  for (BirdMonster* b : BirdMonster_list) {
    if (b->destroyed || dist2(b->pos, &pos.x) > radius * radius) continue;
    Vec4f away = toward(&pos.x, b->pos);
    away.y = 0;
    away = normalized(away);
    b->vel[0] = away.x * 20;
    b->vel[1] = 6;
    b->vel[2] = away.z * 20;
    b->state = BirdMonster::FLEE;
    b->state_time = 0;
  }
}
