// Creatures: what all monsters share (health, damage, death, saving), the
// world's spawning, the table entries and the developer commands. Each
// kind's behaviour is in its own file (monsters_wyvern.cpp, ...).
#include <squirrel.h>
#include <string.h>

#include <utility>

#include "core/log.h"
#include "core/stream.h"
#include "devtools/dev_server.h"
#include "game_world.h"
#include "host/gameobj_api.h"
#include "monsters_local.h"
#include "objects.h"
#include "script/sqbind.h"
#include "table_entries.h"
#include "world/worldGenVM.h"

using namespace mon;

// {===== Helpers shared by the creatures' files

bool mon::move_toward(float* p, const Vec4f& goal, float step)
{
  Vec4f d = toward(p, &goal.x);
  float l = length(d);
  if (l <= step) {
    p[0] = wrap_coord(p[0] + d.x);
    p[1] += d.y;
    p[2] = wrap_coord(p[2] + d.z);
    return true;
  }
  float k = step / l;
  p[0] = wrap_coord(p[0] + d.x * k);
  p[1] += d.y * k;
  p[2] = wrap_coord(p[2] + d.z * k);
  return false;
}

float mon::hash01(uint32_t a, uint32_t b)
{
  uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return float(h >> 8) * (1.0f / 16777216.0f);
}

void mon::write_ref(OutputStream& out, const GameObjRef& ref) { out.writeInt(ref ? ref->serialId : 0); }

GameObj* mon::find_by_serial(int serial_id, const char* who)
{
  if (!serial_id) return nullptr;
  auto* obj = static_cast<GameObj*>(get_gameobj_by_ser_id(serial_id));
  if (!obj) debug("SAVE: %s refers to game object #%d, which is not there; the reference is cleared", who, serial_id);
  return obj;
}

bool mon::player_pos(float out[3])
{
  Player* p = game_player();
  if (!p || p->destroyed) return false;
  out[0] = p->pos[0];
  out[1] = p->pos[1];
  out[2] = p->pos[2];
  return true;
}

// {===== MonsterObject

namespace {

const char* hit_sound(int class_id)
{
  switch (class_id) {
  case CID_WyvernMonster: return "wyvern_hit";
  case CID_LandMonster: return "caterpillar_hit";
  case CID_BirdMonster: return "bird_hit";
  case CID_Tentacle: return "caterpillar_hit";
  default: return nullptr;
  }
}

} // namespace

void MonsterObject::takeDamage(float amount, const char* cause)
{
  if (destroyed || !(amount > 0)) return;
  health -= amount;
  // Steady harm (water, lava, a breath) is not a blow: no sound every step.
  const char* sound = hit_sound(classId());
  if (sound && amount >= 2) play_sound_at(sound, vec(pos));
  if (health > 0) return;
  health = 0;
  debug("monsters: %s #%d died (%s)", getClassName(), serialId, cause ? cause : "?");
  onDeath(cause);
  scare_birds(vec(pos), 30);
  destroy();
}

void MonsterObject::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeFloat(health);
  out.writeFloat(max_health);
  write_ref(out, target);
  out.writeInt(state);
  out.writeFloat(state_time);
  out.writeFloat(attack_time);
  for (float v : vel) out.writeFloat(v);
  out.writeFloat(yaw);
}

void MonsterObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  health = in.readFloat();
  max_health = in.readFloat();
  loaded_target = in.readInt();
  state = in.readInt();
  state_time = in.readFloat();
  attack_time = in.readFloat();
  for (float& v : vel) v = in.readFloat();
  yaw = in.readFloat();
}

// The block's objects are all listed when this runs, so a reference finds
// the object whatever its place in the block.
void MonsterObject::onLoaded()
{
  target.set(find_by_serial(loaded_target, getClassName()));
  loaded_target = 0;
  // A creature nowhere or with no sensible health would never die or be
  // drawn right; it is dropped with a note instead of haunting the world.
  bool sane = isfinite(health) && isfinite(max_health) && max_health > 0;
  for (float v : pos) sane &= isfinite(v);
  if (!sane) {
    debug("SAVE: %s #%d has no sensible position or health; it is removed", getClassName(), serialId);
    destroy();
  }
}

// {===== Queries and harm

int count_alive_monsters()
{
  int n = 0;
  for_each_monster([&](MonsterObject* m) { n += m->hostile() ? 1 : 0; });
  return n;
}

void remove_all_monsters()
{
  for_each_monster([](MonsterObject* m) { m->destroy(); });
  debug("monsters: all removed");
}

int damage_monsters_near(const Vec4f& pos, float radius, float amount, const char* cause)
{
  if (!(radius > 0) || !(amount > 0)) return 0;
  // Collected first: a death destroys objects and scares birds meanwhile.
  MonsterObject* hit[256];
  int n = 0;
  float r2 = radius * radius;
  for_each_monster([&](MonsterObject* m) {
    if (n < 256 && dist2(m->pos, &pos.x) <= r2) hit[n++] = m;
  });
  for (int i = 0; i < n; ++i) hit[i]->takeDamage(amount, cause);
  return n;
}

MonsterObject* mon::nearest_monster(const Vec4f& pos, float radius)
{
  MonsterObject* best = nullptr;
  float best_d2 = radius * radius;
  for_each_monster([&](MonsterObject* m) {
    if (!m->hostile()) return;
    float d2 = flat_dist2(m->pos, &pos.x);
    if (d2 <= best_d2) {
      best_d2 = d2;
      best = m;
    }
  });
  return best;
}

// {===== Making creatures

namespace {

Vec4f ground(float x, float z)
{
  return get_land_pos_at(vec(wrap_coord(x), 0, wrap_coord(z)));
}

MonsterObject* make_at(int class_id, const Vec4f& pos)
{
  auto* m = static_cast<MonsterObject*>(new_gameobj_by_id(class_id));
  if (m) set(m->pos, pos);
  return m;
}

MonsterObject* spawn_flock(float x, float z, int count)
{
  Vec4f g = ground(x, z);
  auto* leader = static_cast<BirdMonster*>(make_at(CID_BirdMonster, vec(g.x, g.y + 22, g.z)));
  if (!leader) return nullptr;
  set(leader->home, g);
  leader->phase = 2 * PI * hash01(leader->serialId, 1);
  for (int i = 1; i < count; ++i) {
    float a = 2 * PI * i / (count - 1);
    auto* b = static_cast<BirdMonster*>(make_at(CID_BirdMonster, vec(wrap_coord(g.x + 3 * cosf(a)), g.y + 22,
                                                                     wrap_coord(g.z + 3 * sinf(a)))));
    if (!b) break;
    b->target.set(leader);
    set(b->home, g);
  }
  play_sound_at("bird_idle", vec(leader->pos));
  return leader;
}

} // namespace

MonsterObject* mon::spawn_monster(const char* kind, float x, float z)
{
  if (!kind || !isfinite(x) || !isfinite(z)) return nullptr;
  Vec4f g = ground(x, z);
  if (!strcmp(kind, "wyvern") || !strcmp(kind, "WyvernMonster")) {
    auto* w = static_cast<WyvernMonster*>(make_at(CID_WyvernMonster, vec(g.x, g.y + 18, g.z)));
    if (!w) return nullptr;
    // Home a circle's radius away, so that it starts on its circle.
    w->phase = 2 * PI * hash01(w->serialId, 2);
    set(w->home, ground(g.x - 14 * sinf(w->phase), g.z - 14 * cosf(w->phase)));
    play_sound_at("wyvern_spawn", vec(w->pos));
    return w;
  }
  if (!strcmp(kind, "caterpillar") || !strcmp(kind, "LandMonster")) {
    auto* c = static_cast<LandMonster*>(make_at(CID_LandMonster, g));
    if (!c) return nullptr;
    c->yaw = 2 * PI * hash01(c->serialId, 3);
    c->straighten();
    play_sound_at("caterpillar_spawn", vec(c->pos));
    return c;
  }
  if (!strcmp(kind, "bird") || !strcmp(kind, "BirdMonster")) return spawn_flock(x, z, 5);
  if (!strcmp(kind, "tentacle") || !strcmp(kind, "Tentacle")) return spawn_tentacle(x, z); // tentacle.cpp
  return nullptr;
}

// {===== Spawning

namespace {

// Monsters appear only beyond what the player can see.
constexpr float SIGHT_RANGE = 80;
// Combat music cues: a hostile monster this close starts a fight.
constexpr float COMBAT_RANGE = 60;

// What the world script asks for (monster_spawn_values in data/gen/monsters.nut).
struct SpawnValues {
  int max = 0;          // hostile monsters alive at most
  float interval = 30;  // seconds between spawns
  float wyvern = 0;     // weights of the hostile kinds
  float caterpillar = 0;
  int flocks = 0;       // bird flocks kept in the world
};

MonsterSpawner spawner;
bool in_combat = false;

float number_slot(HSQUIRRELVM vm, const char* key, float fallback)
{
  float value = fallback;
  sq_pushstring(vm, key, -1);
  if (SQ_SUCCEEDED(sq_get(vm, -2))) {
    SQInteger i;
    SQFloat f;
    if (sq_gettype(vm, -1) == OT_INTEGER && SQ_SUCCEEDED(sq_getinteger(vm, -1, &i))) value = float(i);
    else if (sq_gettype(vm, -1) == OT_FLOAT && SQ_SUCCEEDED(sq_getfloat(vm, -1, &f))) value = float(f);
    sq_poptop(vm);
  } else {
    sq_reseterror(vm);
  }
  return value;
}

// The world script's values for the world being played; false (nothing
// spawns) without a script, without the function or when it fails.
bool read_spawn_values(SpawnValues& v)
{
  HSQUIRRELVM vm = world_gen_vm.vm;
  if (!vm) return false;
  SQInteger top = sq_gettop(vm);
  bool ok = false;
  sq_pushroottable(vm);
  sq_pushstring(vm, "monster_spawn_values", -1);
  if (SQ_SUCCEEDED(sq_get(vm, -2))) {
    sq_pushroottable(vm);
    if (SQ_SUCCEEDED(sq_call(vm, 1, SQTrue, SQTrue))) {
      if (sq_gettype(vm, -1) == OT_TABLE) {
        v.max = int(number_slot(vm, "max", 0));
        v.interval = number_slot(vm, "interval", 30);
        v.wyvern = number_slot(vm, "wyvern", 0);
        v.caterpillar = number_slot(vm, "caterpillar", 0);
        v.flocks = int(number_slot(vm, "flocks", 0));
        ok = true;
      }
    } else {
      static int reported = 0;
      if (!reported++) debug("monsters: the world script's monster_spawn_values failed; nothing spawns");
    }
  } else {
    sq_reseterror(vm);
  }
  sq_settop(vm, top);
  if (v.interval < 1) v.interval = 1;
  return ok;
}

// A place for a new creature: beyond the player's sight (anywhere without a
// player); caterpillars only on dry land.
bool spawn_place(bool on_land, uint32_t salt, float& x, float& z)
{
  float p[3];
  bool have_player = player_pos(p);
  for (int attempt = 0; attempt < 12; ++attempt) {
    float a = 2 * PI * hash01(salt, attempt * 2);
    float r = hash01(salt, attempt * 2 + 1);
    if (have_player) {
      float d = SIGHT_RANGE + 10 + 30 * r;
      x = wrap_coord(p[0] + d * sinf(a));
      z = wrap_coord(p[2] + d * cosf(a));
    } else {
      x = WORLD * hash01(salt, attempt * 2 + 100);
      z = WORLD * r;
    }
    if (!on_land || get_water_at(vec(x, 0, z)) <= 0.05f) return true;
  }
  return false;
}

int count_flocks()
{
  int n = 0;
  for (BirdMonster* b : BirdMonster_list) n += (!b->destroyed && !b->target) ? 1 : 0;
  return n;
}

void update_combat_cue()
{
  float p[3] = {0, 0, 0};
  bool fight = false;
  if (player_pos(p))
    for_each_monster([&](MonsterObject* m) { fight |= m->hostile() && flat_dist2(m->pos, p) < COMBAT_RANGE * COMBAT_RANGE; });
  if (fight != in_combat) play_sound_at(fight ? "start_combat" : "end_combat", vec(p));
  in_combat = fight;
}

} // namespace

void MonsterSpawner::update(float dt)
{
  if (!enabled) return;
  timer -= dt;
  if (timer > 0) return;
  SpawnValues v;
  if (!read_spawn_values(v)) {
    timer = 5;
    return;
  }
  timer = v.interval;
  uint32_t salt = uint32_t(get_world_time()) * 7919u + uint32_t(spawned);
  float x, z;
  if (count_alive_monsters() < v.max && v.wyvern + v.caterpillar > 0) {
    bool wyvern = hash01(salt, 999) * (v.wyvern + v.caterpillar) < v.wyvern;
    if (spawn_place(!wyvern, salt, x, z) && spawn_monster(wyvern ? "wyvern" : "caterpillar", x, z)) {
      ++spawned;
      debug("monsters: spawned a %s at %.0f %.0f (%d of at most %d)", wyvern ? "wyvern" : "caterpillar", x, z,
            count_alive_monsters(), v.max);
    }
  }
  if (count_flocks() < v.flocks && spawn_place(false, salt + 1, x, z) && spawn_monster("bird", x, z)) ++spawned;
}

void update_monster_spawning(float dt)
{
  spawner.update(dt);
  update_combat_cue();
}

bool toggle_monster_spawn()
{
  spawner.enabled = !spawner.enabled;
  spawner.timer = 0;
  debug("monsters: spawning %s", spawner.enabled ? "on" : "off");
  return spawner.enabled;
}

// {===== Developer socket and world script

namespace {

void cmd_monsters(const DevMessage& msg, DevReply& reply)
{
  if (msg.getInt("remove", 0)) {
    remove_all_monsters();
    delete_gameobj(nullptr);
  }
  int wyverns = 0, caterpillars = 0, birds = 0;
  for_each_monster([&](MonsterObject* m) {
    wyverns += m->classId() == CID_WyvernMonster;
    caterpillars += m->classId() == CID_LandMonster;
    birds += m->classId() == CID_BirdMonster;
  });
  reply.add(" wyvern=%d caterpillar=%d bird=%d alive=%d spawning=%s", wyverns, caterpillars, birds,
            count_alive_monsters(), spawner.enabled ? "on" : "off");
  // list=1: where each one is, " wyverns=id,x,y,z;... caterpillars=... birds=...".
  if (msg.getInt("list", 0))
    for (auto [cid, key] : {std::pair{CID_WyvernMonster, "wyverns"}, std::pair{CID_LandMonster, "caterpillars"},
                            std::pair{CID_BirdMonster, "birds"}}) {
      reply.add(" %s=", key);
      const char* sep = "";
      for_each_monster([&](MonsterObject* m) {
        if (m->classId() != cid) return;
        reply.add("%s%d,%.2f,%.2f,%.2f", sep, m->serialId, m->pos[0], m->pos[1], m->pos[2]);
        sep = ";";
      });
    }
}

void cmd_spawn_monster(const DevMessage& msg, DevReply& reply)
{
  const std::string& kind = msg.getString("kind");
  double x = msg.getDouble("x"), z = msg.getDouble("z");
  if (!isfinite(x) || !isfinite(z)) return reply.fail("spawnMonster: x and z must be numbers");
  MonsterObject* m = spawn_monster(kind.c_str(), float(x), float(z));
  if (!m) return reply.fail("spawnMonster: no '%s' made (kinds: wyvern, caterpillar, bird, tentacle; a tentacle needs deep water)", kind.c_str());
  reply.add(" serial=%d x=%.2f y=%.2f z=%.2f", m->serialId, m->pos[0], m->pos[1], m->pos[2]);
}

// Developer aid: the local player casts a combat spell at ground point
// (x, z) without its cost or cooldown (the spell bar's "cast" takes both).
void cmd_cast_combat(const DevMessage& msg, DevReply& reply)
{
  static const struct {
    const char* spell;
    SpellCastFn fn;
  } spells[] = {{"FireballSpell", &cast_fireball},
                {"MeteorSpell", &cast_meteor},
                {"LightningSpell", &cast_lightning_spell},
                {"ThunderstormSpell", &cast_thunderstorm},
                {"HealingSpell", &cast_healing}};
  const std::string& name = msg.getString("spell");
  double x = msg.getDouble("x"), z = msg.getDouble("z");
  Player* player = game_player();
  if (!player) return reply.fail("castCombat: no player in the world");
  if (!isfinite(x) || !isfinite(z)) return reply.fail("castCombat: x and z must be numbers");
  for (const auto& s : spells)
    if (name == s.spell) {
      if (const char* why = s.fn(player, get_land_pos_at(vec(wrap_coord(float(x)), 0, wrap_coord(float(z))))))
        reply.fail("%s", why);
      return;
    }
  reply.fail("castCombat: '%s' is not a combat spell", name.c_str());
}

// spawn_monster(kind, x, z) for the world script: the serial id, 0 for an
// unknown kind.
int script_spawn_monster(const char* kind, float x, float z)
{
  MonsterObject* m = spawn_monster(kind, x, z);
  return m ? m->serialId : 0;
}

} // namespace

void bind_monsters(HSQUIRRELVM vm)
{
  SqObject root = sqbind::root_table(vm);
  sqbind::register_function(vm, root, "spawn_monster", &script_spawn_monster);
  sqbind::register_function(vm, root, "count_alive_monsters", &count_alive_monsters);
}

void register_monster_dev_commands()
{
  register_dev_command("monsters", &cmd_monsters);
  register_dev_command("spawnMonster", &cmd_spawn_monster);
  register_dev_command("castCombat", &cmd_cast_combat);
}
