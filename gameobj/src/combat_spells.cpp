// The combat spells: Fireball, Meteor, Lightning, Thunderstorm and Healing,
// their missiles and effects, and the table entries the host names
// (apply_fireball, pick_lightning_target, cast_lightning).
#include "core/log.h"
#include "core/stream.h"
#include "game_world.h"
#include "monsters_local.h"
#include "objects.h"
#include "render/effects.h"
#include "table_entries.h"

using namespace mon;

namespace {

constexpr float FIREBALL_SPEED = 30;
constexpr float LIGHTNING_REACH = 12;  // on the ground, round the cursor point
constexpr float LIGHTNING_DAMAGE = 40;
constexpr float METEOR_FALL_TIME = 3;
constexpr float METEOR_CRATER_RADIUS = 7;
constexpr float METEOR_CRATER_DEPTH = 3;
constexpr float STORM_HEIGHT = 28;     // the cloud over the land
constexpr float STORM_SPEED = 25;
constexpr float HEALING = 40;

// A missile of `class_id` at `from` flying at `vel`, cast by `caster`.
MissileObject* launch(int class_id, GameObj* caster, const Vec4f& from, const Vec4f& vel)
{
  auto* m = static_cast<MissileObject*>(new_gameobj_by_id(class_id));
  if (!m) return nullptr;
  set(m->pos, from);
  set(m->vel, vel);
  m->caster.set(caster);
  return m;
}

void advance(float* pos, const float* vel, float dt)
{
  pos[0] = wrap_coord(pos[0] + vel[0] * dt);
  pos[1] += vel[1] * dt;
  pos[2] = wrap_coord(pos[2] + vel[2] * dt);
}

// A bolt from the sky (or from `from`) to `to`; only where the effects run.
void bolt(const Vec4f& from, const Vec4f& to)
{
  if (!common_fx_ready()) return;
  add_lightning_fx(from, to, vec(0, -1, 0), 0.7f, 6, 2, 0.45f, 0xFFD0E0FF, 24);
}

bool touches_monster(const float* pos, float reach)
{
  bool hit = false;
  for_each_monster([&](MonsterObject* m) { hit |= dist2(m->pos, pos) < reach * reach; });
  return hit;
}

} // namespace

// {===== Fireball

int apply_fireball(const Vec4f& pos, float radius, float damage)
{
  bool wet = get_water_at(pos) > 0.1f && pos.y <= get_land_height_at(pos) + get_water_at(pos) + 0.5f;
  play_fx("fireball_explode_fx", pos, vec(0, 0, 0), calc_land_norm_at(pos), radius / 5);
  play_sound_at(wet ? "fireball_hit_water" : "fireball_hit", pos);
  int hit = damage_monsters_near(pos, radius, damage, "fireball");
  if (!wet) ignite_near(pos, radius * 0.6f);
  scare_birds(pos, radius * 4);
  return hit;
}

void Fireball::update(float dt)
{
  time_left -= dt;
  advance(pos, vel, dt);
  Vec4f p = vec(pos);
  play_fx("spawn_fireball_fx", p, vec(vel), normalized(vec(vel)), 1);
  float land = get_land_height_at(p);
  float water = get_water_at(p);
  bool ground = pos[1] <= land + 0.3f || (water > 0.1f && pos[1] <= land + water);
  if (ground || touches_monster(pos, 1.8f) || time_left <= 0) {
    if (ground) pos[1] = land + (water > 0 ? water : 0) + 0.3f;
    apply_fireball(vec(pos), radius, damage);
    destroy();
  }
}

void Fireball::saveFields(OutputStream& out)
{
  MissileObject::saveFields(out);
  out.writeFloat(time_left);
  out.writeFloat(damage);
  out.writeFloat(radius);
}

void Fireball::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MissileObject::loadFields(in, version, loader);
  time_left = in.readFloat();
  damage = in.readFloat();
  radius = in.readFloat();
}

const char* cast_fireball(Player* caster, const Vec4f& target)
{
  if (!caster) return "No one to cast it";
  Vec4f from = vec(caster->pos[0], caster->pos[1] - 1, caster->pos[2]);
  Vec4f dir = normalized(toward(&from.x, &target.x));
  launch(CID_Fireball, caster, from, scaled(dir, FIREBALL_SPEED));
  play_sound_at("fireball_cast", from);
  return nullptr;
}

// {===== Meteor

void MeteorMissile::update(float dt)
{
  time_left -= dt;
  advance(pos, vel, dt);
  play_fx("spawn_meteor_fx", vec(pos), vec(vel), normalized(vec(vel)), 1);
  roar.keep("meteor_missile", vec(pos), dt, 400.0f);
  float land = get_land_height_at(vec(pos));
  if (pos[1] > land && time_left > 0) return;
  Vec4f g = get_land_pos_at(vec(pos));
  create_hill(g, METEOR_CRATER_RADIUS, -METEOR_CRATER_DEPTH);
  ignite_near(g, METEOR_CRATER_RADIUS * 1.5f);
  int hit = damage_monsters_near(g, radius, damage, "meteor");
  play_fx("meteor_explode_fx", g, vec(0, 0, 0), calc_land_norm_at(g), 1);
  play_sound_at("meteor_hit", g);
  scare_birds(g, radius * 4);
  debug("combat: meteor struck at %.0f %.0f, %d monsters in its shock wave", g.x, g.z, hit);
  destroy();
}

void MeteorMissile::saveFields(OutputStream& out)
{
  MissileObject::saveFields(out);
  out.writeFloat(time_left);
  out.writeFloat(damage);
  out.writeFloat(radius);
}

void MeteorMissile::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MissileObject::loadFields(in, version, loader);
  time_left = in.readFloat();
  damage = in.readFloat();
  radius = in.readFloat();
}

const char* cast_meteor(Player* caster, const Vec4f& target)
{
  Vec4f g = get_land_pos_at(target);
  // Falls at a slant out of the sky, arriving after METEOR_FALL_TIME.
  Vec4f from = vec(wrap_coord(g.x - 30), g.y + 90, wrap_coord(g.z - 20));
  Vec4f vel = scaled(toward(&from.x, &g.x), 1 / METEOR_FALL_TIME);
  launch(CID_MeteorMissile, caster, from, vel);
  play_sound_at("meteor_cast", g);
  return nullptr;
}

// {===== Lightning

MonsterObject* pick_lightning_target(const Vec4f& point, Vec4f* strike)
{
  MonsterObject* m = nearest_monster(point, LIGHTNING_REACH);
  if (strike) *strike = m ? vec(m->pos) : get_land_pos_at(point);
  return m;
}

int cast_lightning(const Vec4f& point, float damage)
{
  Vec4f at;
  MonsterObject* m = pick_lightning_target(point, &at);
  bolt(vec(at.x + 4, at.y + 60, at.z + 3), at);
  play_fx("lightning_hit_fx", at, vec(0, 0, 0), vec(0, 1, 0), 1);
  play_sound_at("thstorm_lightning", at);
  int serial = m ? m->serialId : 0;
  if (m) m->takeDamage(damage, "lightning");
  scare_birds(at, 25);
  return serial;
}

const char* cast_lightning_spell(Player* caster, const Vec4f& target)
{
  play_sound_at("lightning_cast", target);
  cast_lightning(target, LIGHTNING_DAMAGE);
  return nullptr;
}

// {===== Thunderstorm

void ThunderstormMissile::update(float dt)
{
  Vec4f g = vec(goal);
  play_fx("spawn_magic_missile_fx", vec(pos), vec(vel), normalized(vec(vel)), 1);
  if (!move_toward(pos, g, STORM_SPEED * dt)) return;
  auto* storm = static_cast<ThunderstormObject*>(new_gameobj_by_id(CID_ThunderstormObject));
  if (storm) {
    set(storm->pos, g);
    storm->caster.set(caster.get());
    play_sound_at("thstorm_missile", g);
  }
  destroy();
}

void ThunderstormMissile::saveFields(OutputStream& out)
{
  MissileObject::saveFields(out);
  for (float v : goal) out.writeFloat(v);
}

void ThunderstormMissile::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MissileObject::loadFields(in, version, loader);
  for (float& v : goal) v = in.readFloat();
}

void ThunderstormObject::update(float dt)
{
  time_left -= dt;
  strike_time -= dt;
  int tick = get_world_time();
  if (tick % 10 == 0) play_fx("thunderstorm_cloud_fx", vec(pos), vec(0, 0, 0), vec(0, -1, 0), radius / 20);
  if (strike_time <= 0) {
    strike_time = 1.2f;
    ++strikes;
    Vec4f from = vec(pos);
    if (MonsterObject* m = nearest_monster(from, radius)) {
      bolt(from, vec(m->pos));
      play_sound_at("thstorm_lightning", vec(m->pos));
      play_fx("lightning_hit_fx", vec(m->pos), vec(0, 0, 0), vec(0, 1, 0), 1);
      m->takeDamage(damage, "thunderstorm");
    } else if (strikes % 2 == 0) {
      // Nothing below: now and then a bolt into the land.
      float a = 2 * PI * hash01(serialId, strikes), r = radius * hash01(serialId, strikes + 1000);
      Vec4f g = get_land_pos_at(vec(wrap_coord(pos[0] + r * sinf(a)), 0, wrap_coord(pos[2] + r * cosf(a))));
      bolt(from, g);
      play_sound_at("thstorm_lightning", g);
      play_fx("lightning_hit_fx", g, vec(0, 0, 0), vec(0, 1, 0), 1);
    }
  }
  if (time_left <= 0) destroy();
}

void ThunderstormObject::saveFields(OutputStream& out)
{
  EffectObject::saveFields(out);
  write_ref(out, caster);
  out.writeFloat(time_left);
  out.writeFloat(strike_time);
  out.writeFloat(radius);
  out.writeFloat(damage);
  out.writeInt(strikes);
}

void ThunderstormObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  EffectObject::loadFields(in, version, loader);
  loaded_caster = in.readInt();
  time_left = in.readFloat();
  strike_time = in.readFloat();
  radius = in.readFloat();
  damage = in.readFloat();
  strikes = in.readInt();
}

void ThunderstormObject::onLoaded()
{
  caster.set(find_by_serial(loaded_caster, getClassName()));
  loaded_caster = 0;
}

const char* cast_thunderstorm(Player* caster, const Vec4f& target)
{
  if (!caster) return "No one to cast it";
  Vec4f g = get_land_pos_at(target);
  auto* m = static_cast<ThunderstormMissile*>(launch(CID_ThunderstormMissile, caster, vec(caster->pos), vec(0, 0, 0)));
  if (!m) return "The storm can't be made";
  m->goal[0] = g.x;
  m->goal[1] = g.y + STORM_HEIGHT;
  m->goal[2] = g.z;
  set(m->vel, scaled(normalized(toward(m->pos, m->goal)), STORM_SPEED));
  play_sound_at("thstorm_cast", g);
  return nullptr;
}

// {===== Healing

// Heals at once: the host keeps no list for a lasting healing effect, so the
// light round the player is the effects script's.
const char* cast_healing(Player* caster, const Vec4f& target)
{
  if (!caster) return "No one to heal";
  if (player_health() >= player_max_health() && player_max_health() > 0) return "You are not hurt";
  heal_player(HEALING);
  play_fx("healing_fx", vec(caster->pos), vec(0, 1, 0), vec(0, 1, 0), 1);
  play_sound_at("generic_cast", vec(caster->pos));
  return nullptr;
}
