// The wyvern: circles high over its home, dives at the player to breathe
// fire, climbs back, and between fights breathes on the land below so that
// what burns there catches fire.
#include "core/stream.h"
#include "game_world.h"
#include "monsters_local.h"

using namespace mon;

namespace {

constexpr float ALTITUDE = 18;    // over the land while circling
constexpr float CIRCLE_RADIUS = 14;
constexpr float SPEED = 9;
constexpr float DIVE_SPEED = 15;
constexpr float AGGRO_RANGE = 50; // on the ground, from its home or itself
constexpr float BREATH_RANGE = 12;
constexpr float BREATH_TIME = 2.5f;
constexpr float BREATH_DPS = 6;   // harm to the player per second of breath
constexpr float REST_TIME = 6;    // between two attacks
constexpr float BURN_EVERY = 25;  // seconds of circling before it burns the land
constexpr float PREY_RANGE = 30;  // the castle or a gatherer this near is attacked

Vec4f hover_point(const float* target)
{
  // Beside and above the target, so that the breath goes down at it.
  return vec(target[0], target[1] + 5, target[2]);
}

} // namespace

void WyvernMonster::update(float dt)
{
  remember_pos(this);
  state_time += dt;
  if (attack_time > 0) attack_time -= dt;
  float player[3];
  bool have_player = player_pos(player);
  float land = get_land_height_at(vec(pos));
  switch (state) {
  case CIRCLE: {
    phase += SPEED / CIRCLE_RADIUS * dt;
    Vec4f goal = vec(wrap_coord(home[0] + CIRCLE_RADIUS * sinf(phase)), 0, wrap_coord(home[2] + CIRCLE_RADIUS * cosf(phase)));
    goal.y = get_land_height_at(goal) + ALTITUDE;
    Vec4f before = vec(pos);
    move_toward(pos, goal, SPEED * 1.5f * dt);
    Vec4f d = toward(&before.x, pos);
    if (d.x * d.x + d.z * d.z > 1e-6f) yaw = yaw_of(d);
    if (have_player && attack_time <= 0 &&
        (flat_dist2(pos, player) < AGGRO_RANGE * AGGRO_RANGE || flat_dist2(home, player) < AGGRO_RANGE * AGGRO_RANGE)) {
      target.set(game_player());
      state = DIVE;
      state_time = 0;
      play_sound_at("wyvern_attack", vec(pos));
    } else if (GameObj* prey = attack_time <= 0 ? building_prey_near(pos, PREY_RANGE) : nullptr) {
      target.set(prey); // the player's castle or one of its gatherers
      state = DIVE;
      state_time = 0;
      play_sound_at("wyvern_attack", vec(pos));
    } else if (state_time > BURN_EVERY) {
      // Breathes at the land under a point of its circle.
      target.set(nullptr);
      Vec4f g = get_land_pos_at(vec(wrap_coord(home[0] + 6 * sinf(phase)), 0, wrap_coord(home[2] + 6 * cosf(phase))));
      set(aim, g);
      state = DIVE;
      state_time = 0;
    } else if (hash01(serialId, get_world_time()) < dt / 8) {
      play_sound_at("wyvern_idle", vec(pos));
    }
    break;
  }
  case DIVE: {
    if (target) set(aim, vec(target->pos));
    else if (!(aim[0] || aim[2])) set(aim, vec(home)); // never given one: its home
    Vec4f goal = hover_point(aim);
    Vec4f d = toward(pos, &goal.x);
    if (d.x * d.x + d.z * d.z > 1e-6f) yaw = yaw_of(d);
    bool lost = target && flat_dist2(home, target->pos) > 2.5f * AGGRO_RANGE * 2.5f * AGGRO_RANGE;
    if (lost || state_time > 12) {
      state = CLIMB;
      state_time = 0;
    } else if (move_toward(pos, goal, DIVE_SPEED * dt) || length(d) < BREATH_RANGE * 0.6f) {
      state = BREATHE;
      state_time = 0;
    }
    break;
  }
  case BREATHE: {
    if (target) set(aim, vec(target->pos));
    Vec4f d = toward(pos, aim);
    if (d.x * d.x + d.z * d.z > 1e-6f) yaw = yaw_of(d);
    Vec4f dir = normalized(d);
    // The breath: flames from the mouth toward the aim, every other step.
    if (int(state_time * 20) % 2 == 0)
      play_fx("wyvern_breath_fx", vec(pos[0] + dir.x * 2, pos[1] + dir.y * 2, pos[2] + dir.z * 2), scaled(dir, 14), dir, 1);
    if (target && target.get() != game_player())
      damage_buildings_near(vec(aim), 3, BREATH_DPS * dt, "wyvern");
    else if (target && have_player && dist2(pos, player) < BREATH_RANGE * BREATH_RANGE * 1.5f)
      damage_player(BREATH_DPS * dt, "wyvern");
    // Once a second the breath sets what burns at the aim alight.
    if (int((state_time - dt) / 1.0f) != int(state_time / 1.0f) || state_time <= dt)
      ignite_near(get_land_pos_at(vec(aim)), 4);
    if (state_time > BREATH_TIME) {
      state = CLIMB;
      state_time = 0;
      attack_time = REST_TIME;
      ++attacks;
    }
    break;
  }
  case CLIMB: {
    Vec4f goal = vec(wrap_coord(home[0] + CIRCLE_RADIUS * sinf(phase)), 0, wrap_coord(home[2] + CIRCLE_RADIUS * cosf(phase)));
    goal.y = get_land_height_at(goal) + ALTITUDE;
    // A fight drags its circle along behind the player.
    if (target) {
      home[0] = wrap_coord(home[0] + wrap_delta(target->pos[0] - home[0]) * 0.5f * dt);
      home[2] = wrap_coord(home[2] + wrap_delta(target->pos[2] - home[2]) * 0.5f * dt);
    }
    Vec4f d = toward(pos, &goal.x);
    if (d.x * d.x + d.z * d.z > 1e-6f) yaw = yaw_of(d);
    if (move_toward(pos, goal, SPEED * dt) || state_time > 6) {
      state = CIRCLE;
      state_time = 0;
      target.set(nullptr);
    }
    break;
  }
  default:
    state = CIRCLE;
  }
  // Never into the land.
  if (pos[1] < land + 2) pos[1] = land + 2;
  if (get_water_at(vec(pos)) < 0 && pos[1] < land + 3) takeDamage(20 * dt, "lava");
}

void WyvernMonster::onDeath(const char* cause)
{
  play_fx("wyvern_death_fx", vec(pos), vec(0, -2, 0), vec(0, 1, 0), 1);
  play_sound_at("wyvern_hit", vec(pos));
  spawn_res_pickup("firebloom", get_land_pos_at(vec(pos)));
}

void WyvernMonster::saveFields(OutputStream& out)
{
  MonsterObject::saveFields(out);
  for (float v : home) out.writeFloat(v);
  for (float v : aim) out.writeFloat(v);
  out.writeFloat(phase);
  out.writeInt(attacks);
}

void WyvernMonster::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MonsterObject::loadFields(in, version, loader);
  for (float& v : home) v = in.readFloat();
  for (float& v : aim) v = in.readFloat();
  phase = in.readFloat();
  attacks = in.readInt();
}
