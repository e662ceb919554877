// The caterpillar: a head crawling over the land with body segments that
// follow it at a fixed spacing. Wanders, crawls toward the player when near
// and bites; deep water drowns it, lava burns it.
#include "core/stream.h"
#include "game_world.h"
#include "monsters_local.h"

using namespace mon;

namespace {

constexpr float SPACING = 1.4f;     // between body points
constexpr float WANDER_SPEED = 2.0f;
constexpr float CHASE_SPEED = 4.0f;
constexpr float CHASE_RANGE = 35;   // on the ground
constexpr float BITE_REACH = 3.5f;  // on the ground
constexpr float BITE_HEIGHT = 8;    // the player no higher than this over it
constexpr float BITE_DAMAGE = 8;
constexpr float BITE_TIME = 1.5f;   // between bites
// Water deeper than this covers it; it drowns at DROWN_DPS.
constexpr float DEEP_WATER = 0.8f;
constexpr float DROWN_DPS = 8;
constexpr float LAVA_DPS = 40;

bool wet(float x, float z, float depth) { return get_water_at(vec(x, 0, z)) > depth; }

} // namespace

void LandMonster::straighten()
{
  float bx = -sinf(yaw), bz = -cosf(yaw);
  for (int i = 0; i < SEGMENTS; ++i) {
    seg[i][0] = wrap_coord(pos[0] + bx * SPACING * (i + 1));
    seg[i][2] = wrap_coord(pos[2] + bz * SPACING * (i + 1));
    seg[i][1] = get_land_height_at(vec(seg[i]));
  }
}

void LandMonster::update(float dt)
{
  state_time += dt;
  if (attack_time > 0) attack_time -= dt;
  float player[3];
  bool have_player = player_pos(player);
  bool near = have_player && flat_dist2(pos, player) < CHASE_RANGE * CHASE_RANGE;
  if (near && state != CHASE) {
    state = CHASE;
    state_time = 0;
    target.set(game_player());
    play_sound_at("caterpillar_idle", vec(pos));
  } else if (!near && state == CHASE) {
    state = WANDER;
    state_time = 0;
    target.set(nullptr);
  }

  float speed = WANDER_SPEED;
  if (state == CHASE && have_player) {
    Vec4f d = toward(pos, player);
    // Turns toward the player at most 2 radians a second.
    float turn = remainderf(yaw_of(d) - yaw, 2 * PI);
    float max_turn = 2 * dt;
    yaw += turn > max_turn ? max_turn : turn < -max_turn ? -max_turn : turn;
    speed = CHASE_SPEED;
    bool in_reach = d.x * d.x + d.z * d.z < BITE_REACH * BITE_REACH && player[1] - pos[1] < BITE_HEIGHT;
    if (in_reach) {
      speed = 0;
      if (attack_time <= 0) {
        attack_time = BITE_TIME;
        damage_player(BITE_DAMAGE, "caterpillar");
        play_sound_at("caterpillar_attack", vec(pos));
      }
    }
  } else {
    // Wanders in slow curves and turns away from water ahead.
    yaw += (hash01(serialId, get_world_time() / 40) - 0.5f) * 1.2f * dt;
    float ax = pos[0] + sinf(yaw) * 3, az = pos[2] + cosf(yaw) * 3;
    if (wet(ax, az, 0.3f)) yaw += 2.5f * dt + 0.5f;
  }

  // Slower in shallow water, hardly moving when covered.
  float depth = get_water_at(vec(pos));
  if (depth > 0.3f) speed *= depth > DEEP_WATER ? 0.2f : 0.5f;
  pos[0] = wrap_coord(pos[0] + sinf(yaw) * speed * dt);
  pos[2] = wrap_coord(pos[2] + cosf(yaw) * speed * dt);
  pos[1] = get_land_height_at(vec(pos));
  vel[0] = sinf(yaw) * speed;
  vel[2] = cosf(yaw) * speed;

  // The body follows: each point keeps its spacing to the one before.
  const float* prev = pos;
  for (int i = 0; i < SEGMENTS; ++i) {
    Vec4f d = toward(prev, seg[i]);
    float l = sqrtf(d.x * d.x + d.z * d.z);
    if (l > SPACING) {
      float k = SPACING / l;
      seg[i][0] = wrap_coord(prev[0] + d.x * k);
      seg[i][2] = wrap_coord(prev[2] + d.z * k);
    }
    seg[i][1] = get_land_height_at(vec(seg[i]));
    prev = seg[i];
  }

  if (depth > DEEP_WATER) takeDamage(DROWN_DPS * dt, "drowned");
  else if (depth < -0.05f) takeDamage(LAVA_DPS * dt, "lava");
}

void LandMonster::onDeath(const char* cause)
{
  play_fx("caterpillar_death_fx", vec(pos[0], pos[1] + 0.7f, pos[2]), vec(0, 0, 0), vec(0, 1, 0), 1);
  play_sound_at("caterpillar_hit", vec(pos));
  spawn_res_pickup("seed", get_land_pos_at(vec(pos)));
}

void LandMonster::saveFields(OutputStream& out)
{
  MonsterObject::saveFields(out);
  for (auto& s : seg)
    for (float v : s) out.writeFloat(v);
}

void LandMonster::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MonsterObject::loadFields(in, version, loader);
  for (auto& s : seg)
    for (float& v : s) v = in.readFloat();
}
