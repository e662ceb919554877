// Guard towers: the spell that raises one on levelled land, the tower's
// targeting and shots, harm from monsters' fire, saving, and the developer
// command. The rules are in towers_rules.h; drawing in towers_render.cpp;
// the house spell in towers_house.cpp.
#include <math.h>
#include <string.h>

#include <string>

#include "audio/sound.h"
#include "audio/sound_events.h"
#include "core/log.h"
#include "core/stream.h"
#include "devtools/dev_server.h"
#include "game_world.h"
#include "gameobj_loader.h"
#include "monsters_local.h"
#include "objects.h"
#include "towers_local.h"
#include "world/heightmap.h"

using namespace towers;

namespace {

Vec4f v3(const float* p) { return Vec4f{p[0], p[1], p[2], 0}; }

bool standing(const GuardTower* t) { return !t->destroyed; }

// The mean land height over the tower's 3 x 3 vertices: the base it stands on.
float footprint_height(int cx, int cz)
{
  float sum = 0;
  for (int z = cz - 1; z <= cz + 1; ++z)
    for (int x = cx - 1; x <= cx + 1; ++x) sum += HeightmapData::hmap[hmap_index(x, z)];
  return sum / 9.0f;
}

// Levels the land under the tower to `h` (land and target alike, so it is
// flat at once), and the ring round it half way.
void level_land(int cx, int cz, float h)
{
  using namespace HeightmapData;
  for (int z = cz - 2; z <= cz + 2; ++z)
    for (int x = cx - 2; x <= cx + 2; ++x) {
      int i = hmap_index(x, z);
      bool inner = abs(x - cx) <= 1 && abs(z - cz) <= 1;
      float k = inner ? 1.0f : 0.5f;
      hmap[i] += (h - hmap[i]) * k;
      target_hmap[i] += (h - target_hmap[i]) * k;
    }
}

// A shot's aim at a monster: the body of a crawler, not the land under it.
void aim_point(MonsterObject* m, float out[3])
{
  out[0] = m->pos[0];
  out[1] = m->pos[1] + (m->classId() == CID_LandMonster ? 0.6f : 0.0f);
  out[2] = m->pos[2];
}

void tower_eye(const GuardTower* t, float out[3])
{
  out[0] = t->pos[0];
  out[1] = t->pos[1] + TOWER_EYE;
  out[2] = t->pos[2];
}

// The nearest hostile monster the tower sees within range, or null.
MonsterObject* find_target(const GuardTower* t)
{
  constexpr int MAX = 256;
  TargetCandidate cand[MAX];
  MonsterObject* who[MAX];
  int n = 0;
  mon::for_each_monster([&](MonsterObject* m) {
    if (n >= MAX) return;
    aim_point(m, cand[n].aim);
    cand[n].hostile = m->hostile();
    who[n++] = m;
  });
  float eye[3];
  tower_eye(t, eye);
  int i = pick_tower_target(eye, cand, n, TOWER_RANGE);
  return i >= 0 ? who[i] : nullptr;
}

void shoot(GuardTower* t, MonsterObject* m)
{
  auto* s = static_cast<GuardTowerMissile*>(new_gameobj_by_id(CID_GuardTowerMissile));
  if (!s) return;
  float eye[3], aim[3];
  tower_eye(t, eye);
  aim_point(m, aim);
  memcpy(s->pos, eye, sizeof eye);
  Vec4f dir = mon::normalized(mon::toward(eye, aim));
  mon::set(s->vel, mon::scaled(dir, SHOT_SPEED));
  s->caster.set(t);
  s->target.set(m);
  s->time_left = SHOT_LIFE;
  s->damage = SHOT_DAMAGE;
  s->radius = SHOT_RADIUS;
  ++t->shots;
  play_sound_at("fireball_cast", v3(eye));
}

void collapse(GuardTower* t, const char* cause)
{
  Vec4f at = v3(t->pos);
  debug("towers: guard tower #%d at %.0f %.0f fell (%s)", t->serialId, t->pos[0], t->pos[2], cause ? cause : "?");
  play_fx("guard_tower_collapse_fx", Vec4f{at.x, at.y + 3, at.z, 0}, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 1);
  play_sound_at("meteor_hit", at);
  // The rubble: a few stones that stay where the tower stood.
  for (int i = 0; i < 3; ++i) {
    auto* stone = static_cast<HumanoidStaticObject*>(new_gameobj_by_id(CID_Stone1StaticObject));
    if (!stone) break;
    float a = 2.1f * i + mon::hash01(t->serialId, i) * 1.5f;
    stone->pos[0] = mon::wrap_coord(t->pos[0] + 0.9f * cosf(a));
    stone->pos[2] = mon::wrap_coord(t->pos[2] + 0.9f * sinf(a));
    stone->pos[1] = get_land_height_at(v3(stone->pos));
    stone->yaw = a;
    stone->scale = 0.7f + 0.3f * mon::hash01(t->serialId, i + 10);
  }
  t->destroy();
}

} // namespace

int tower_centres(float (*out)[2], int max)
{
  int n = 0;
  for (GuardTower* t : GuardTower_list)
    if (standing(t) && n < max) {
      out[n][0] = t->pos[0];
      out[n][1] = t->pos[2];
      ++n;
    }
  return n;
}

int clear_building_ground(int x0, int z0, int x1, int z1)
{
  auto inside = [&](const float* p) {
    int x = int(floorf(p[0])), z = int(floorf(p[2]));
    return ((x - x0) & (HMAP_SIZE - 1)) <= ((x1 - x0) & (HMAP_SIZE - 1)) &&
           ((z - z0) & (HMAP_SIZE - 1)) <= ((z1 - z0) & (HMAP_SIZE - 1));
  };
  int n = 0;
  auto clear = [&](auto& list) {
    for (auto* obj : list) {
      GameObj* o = obj;
      if (!o->destroyed && inside(o->pos)) {
        o->destroy();
        ++n;
      }
    }
  };
  clear(TreeObject_list);
  clear(HumanoidStaticObject_list);
  return n;
}

// {===== The spell

const char* cast_guard_tower_spell(Player* caster, const Vec4f& target)
{
  if (!isfinite(target.x) || !isfinite(target.z)) return "No ground there";
  int cx = tower_vertex(target.x), cz = tower_vertex(target.z);
  float others[64][2];
  int count = tower_centres(others, 64);
  if (const char* why = tower_site_refusal(cx, cz, others, count)) return why;
  if (near_castle_ground(cx - 1, cz - 1, 2, 2, 1)) return "Too close to the castle";
  auto* t = static_cast<GuardTower*>(new_gameobj_by_id(CID_GuardTower));
  if (!t) return "The tower can't be built";
  float h = footprint_height(cx, cz);
  level_land(cx, cz, h);
  clear_building_ground(cx - 1, cz - 1, cx, cz);
  t->pos[0] = float(cx);
  t->pos[1] = h;
  t->pos[2] = float(cz);
  Vec4f at = v3(t->pos);
  play_sound_at("generic_cast", caster ? v3(caster->pos) : at);
  play_fx("land_spell_hit_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 1.2f);
  debug("towers: a guard tower rises at %d %d (%d of at most %d)", cx, cz, count + 1, MAX_TOWERS);
  return nullptr;
}

// {===== The tower

int GuardTower::query(int what)
{
  switch (what) {
  case TOWER_QUERY_HEALTH: return int(ceilf(health));
  case TOWER_QUERY_BUILD: return int(build * 100.0f + 0.5f);
  case TOWER_QUERY_SHOTS: return shots;
  case TOWER_QUERY_KILLS: return kills;
  default: return GameObj::query(what);
  }
}

void GuardTower::update(float dt)
{
  int cx = tower_vertex(pos[0]), cz = tower_vertex(pos[2]);
  pos[1] = footprint_height(cx, cz); // it stands on whatever the land does
  Vec4f at = v3(pos);
  if (get_water_at(at) < -DRY_DEPTH) takeDamage(TOWER_LAVA_HARM * dt, "lava");
  if (destroyed) return;
  if (build < 1.0f) {
    build = fminf(1.0f, build + dt / BUILD_SECONDS);
    fx_time -= dt;
    if (fx_time <= 0) {
      fx_time = 0.3f;
      play_fx("land_spell_hit_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 0.6f);
    }
    if (build >= 1.0f) {
      play_fx("guard_tower_built_fx", Vec4f{at.x, at.y + TOWER_HEIGHT, at.z, 0}, Vec4f{0, 0, 0, 0},
              Vec4f{0, 1, 0, 0}, 1);
      play_sound_at("spell_discharge", at);
    }
    return;
  }
  shot_time = fmaxf(0.0f, shot_time - dt);
  retarget_time -= dt;
  if (retarget_time <= 0) {
    retarget_time = TOWER_RETARGET_SECONDS;
    target.set(find_target(this));
  }
  auto* m = dynamic_cast<MonsterObject*>(target.get());
  if (m && m->destroyed) m = nullptr;
  if (m && shot_time <= 0) {
    // The aim is checked again: it may have moved out of sight since.
    float eye[3], aim[3];
    tower_eye(this, eye);
    aim_point(m, aim);
    if (mon::dist2(eye, aim) <= TOWER_RANGE * TOWER_RANGE && land_line_of_sight(eye, aim)) {
      shoot(this, m);
      shot_time = SHOT_INTERVAL;
    } else {
      retarget_time = 0;
    }
  }
}

void GuardTower::takeDamage(float amount, const char* cause)
{
  if (destroyed || !(amount > 0)) return;
  health -= amount;
  if (health > 0) return;
  health = 0;
  collapse(this, cause);
}

void GuardTower::saveFields(OutputStream& out)
{
  BuildingObject::saveFields(out);
  out.writeFloat(health);
  out.writeFloat(max_health);
  out.writeFloat(build);
  out.writeFloat(shot_time);
  write_gameobj_ref(out, target);
  out.writeInt(shots);
  out.writeInt(kills);
}

void GuardTower::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  BuildingObject::loadFields(in, version, loader);
  if (version < TOWERS_FIELDS_VERSION) return;
  health = in.readFloat();
  max_health = in.readFloat();
  build = in.readFloat();
  shot_time = in.readFloat();
  loader.readRef(in, target);
  shots = in.readInt();
  kills = in.readInt();
  // Nonsense from a damaged file is brought back into range.
  if (!(max_health > 0) || !isfinite(max_health)) max_health = TOWER_HEALTH;
  if (!(health > 0) || !isfinite(health)) health = max_health;
  health = fminf(health, max_health);
  if (!(build >= 0) || !isfinite(build)) build = 0;
  build = fminf(build, 1.0f);
  if (!(shot_time >= 0) || shot_time > SHOT_INTERVAL) shot_time = 0;
}

int damage_guard_towers_near(const Vec4f& pos, float radius, float amount)
{
  if (!(radius >= 0) || !(amount > 0)) return 0;
  GuardTower* hit[64];
  int n = 0;
  for (GuardTower* t : GuardTower_list) {
    if (!standing(t) || n >= 64) continue;
    float dx = wrap_delta(pos.x - t->pos[0]), dz = wrap_delta(pos.z - t->pos[2]);
    float reach = radius + TOWER_RADIUS;
    // Below the base or above the top by more than the radius: missed.
    float dy = pos.y < t->pos[1] ? t->pos[1] - pos.y : fmaxf(0.0f, pos.y - (t->pos[1] + TOWER_HEIGHT));
    if (dx * dx + dz * dz <= reach * reach && dy <= radius) hit[n++] = t;
  }
  for (int i = 0; i < n; ++i) hit[i]->takeDamage(amount, "fire");
  return n;
}

// {===== The shot

GuardTowerMissile::~GuardTowerMissile()
{
  if (sound_ch) fade_out_and_stop_sound(sound_ch, 150);
}

int GuardTowerMissile::query(int what)
{
  return what == TOWER_QUERY_TARGET ? (target ? target->serialId : 0) : MissileObject::query(what);
}

void GuardTowerMissile::update(float dt)
{
  time_left -= dt;
  auto* m = dynamic_cast<MonsterObject*>(target.get());
  float aim[3];
  if (m && !m->destroyed) {
    // Homing: the flight turns straight at the target every step.
    aim_point(m, aim);
    mon::set(vel, mon::scaled(mon::normalized(mon::toward(pos, aim)), SHOT_SPEED));
  }
  for (int k = 0; k < 3; ++k) pos[k] += vel[k] * dt;
  pos[0] = mon::wrap_coord(pos[0]);
  pos[2] = mon::wrap_coord(pos[2]);
  Vec4f p = v3(pos);
  if (!sound_ch) sound_ch = play_sound_event("fireball_missile");
  if (sound_ch) update_3d_sound(sound_ch, SoundVec{pos[0], pos[1], pos[2], 1}, SoundVec{vel[0], vel[1], vel[2], 0});
  play_fx("spawn_fireball_fx", p, v3(vel), mon::normalized(v3(vel)), 0.8f);

  float land = get_land_height_at(p), water = get_water_at(p);
  bool ground = pos[1] <= land + 0.3f || (water > 0.1f && pos[1] <= land + water);
  bool near = false;
  mon::for_each_monster([&](MonsterObject* o) {
    float a[3];
    aim_point(o, a);
    near |= o->hostile() && mon::dist2(a, pos) < 1.5f * 1.5f;
  });
  if (!ground && !near && time_left > 0) return;
  if (ground) pos[1] = land + (water > 0 ? water : 0) + 0.3f;
  p = v3(pos);
  bool wet = water > 0.1f && pos[1] <= land + water + 0.5f;
  // The hostile monsters in the blast, to count the tower's kills.
  GameObjRef in_blast[64];
  int n = 0;
  mon::for_each_monster([&](MonsterObject* o) {
    if (n < 64 && o->hostile() && mon::dist2(o->pos, pos) <= radius * radius) in_blast[n++].set(o);
  });
  play_fx("fireball_explode_fx", p, Vec4f{0, 0, 0, 0}, calc_land_norm_at(p), radius / 5);
  play_sound_at(wet ? "fireball_hit_water" : "fireball_hit", p);
  damage_monsters_near(p, radius, damage, "guard tower");
  if (!wet) ignite_near(p, radius * 0.6f);
  mon::scare_birds(p, radius * 4);
  int killed = 0;
  for (int i = 0; i < n; ++i) {
    auto* o = static_cast<MonsterObject*>(in_blast[i].get());
    killed += !o || o->destroyed;
  }
  if (auto* t = static_cast<GuardTower*>(caster.get()); t && t->classId() == CID_GuardTower) t->kills += killed;
  destroy();
}

void GuardTowerMissile::saveFields(OutputStream& out)
{
  MissileObject::saveFields(out);
  write_gameobj_ref(out, target);
  out.writeFloat(time_left);
  out.writeFloat(damage);
  out.writeFloat(radius);
}

void GuardTowerMissile::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MissileObject::loadFields(in, version, loader);
  if (version < TOWERS_FIELDS_VERSION) {
    time_left = 0; // an older shot bursts where it is
    return;
  }
  loader.readRef(in, target);
  time_left = in.readFloat();
  damage = in.readFloat();
  radius = in.readFloat();
  if (!isfinite(time_left) || time_left > SHOT_LIFE) time_left = 0;
  if (!(damage >= 0) || !isfinite(damage)) damage = SHOT_DAMAGE;
  if (!(radius >= 0) || radius > 20) radius = SHOT_RADIUS;
}

// {===== Developer socket

namespace {

// "towers": count=N shots=N kills=N towers=x,y,z,health;... A developer aid:
// with harm (d) the towers within radius (d, default 3) of (x, z) at height
// y (d, default the land's) take that much harm first, as from a monster's fire.
void cmd_towers(const DevMessage& msg, DevReply& reply)
{
  double harm = msg.getDouble("harm", 0);
  if (harm != 0) {
    Vec4f at{float(msg.getDouble("x", NAN)), 0, float(msg.getDouble("z", NAN)), 1};
    float radius = float(msg.getDouble("radius", 3));
    if (!isfinite(at.x) || !isfinite(at.z) || !(harm > 0) || !(radius >= 0))
      return reply.fail("towers: harm needs a positive amount, x and z, and a radius of 0 or more");
    at.y = float(msg.getDouble("y", get_land_height_at(at)));
    damage_guard_towers_near(at, radius, float(harm));
    delete_gameobj(nullptr);
  }
  int count = 0, shots = 0, kills = 0;
  std::string list;
  for (GuardTower* t : GuardTower_list) {
    if (!standing(t)) continue;
    ++count;
    shots += t->shots;
    kills += t->kills;
    char item[96];
    snprintf(item, sizeof item, "%s%.1f,%.2f,%.1f,%.0f", list.empty() ? "" : ";", t->pos[0], t->pos[1], t->pos[2],
             ceilf(t->health));
    list += item;
  }
  reply.add(" count=%d shots=%d kills=%d towers=%s", count, shots, kills, list.c_str());
}

} // namespace

void register_tower_dev_commands() { register_dev_command("towers", &cmd_towers); }
