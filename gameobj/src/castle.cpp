// The castle, the player's base and respawn point: its spell and missile,
// the levelling of its land, its health, harm from wyverns, saving and the
// developer socket's commands. Its gatherers are in castle_gatherers.cpp,
// its drawing in castle_render.cpp.
#include <math.h>
#include <string.h>

#include "castle_local.h"
#include "core/log.h"
#include "core/stream.h"
#include "devtools/dev_server.h"
#include "game_world.h"
#include "gameobj_loader.h"
#include "host/gameobj_api.h"
#include "monsters_local.h"
#include "objects.h"
#include "spells_local.h"
#include "table_entries.h"

using namespace mon;

namespace {

template <class T, class F>
void for_each_live(DynArray<T*>& list, F&& f)
{
  for (int i = 0; i < list.num; ++i)
    if (!list[i]->destroyed) f(list[i]);
}

int live_castles()
{
  int n = 0;
  for_each_live(CastleObject_list, [&](CastleObject*) { ++n; });
  return n;
}

// One castle per world: a castle on its way counts, or two quick casts
// would raise two.
bool castle_standing_or_coming()
{
  int missiles = 0;
  for_each_live(CastleMissile_list, [&](CastleMissile*) { ++missiles; });
  return live_castles() + missiles > 0;
}

Vec4f footprint_centre(int x0, int z0, float y)
{
  return Vec4f{wrap_coord(float(x0 + CASTLE_SIZE / 2)), y, wrap_coord(float(z0 + CASTLE_SIZE / 2)), 1};
}

// Levels the footprint's target heights at their mean and blends a two-cell
// apron toward it, so the castle meets the land round it without a cliff.
// Answers the level.
float level_castle_site(int x0, int z0)
{
  using HeightmapData::target_hmap;
  double sum = 0;
  for (int dz = 0; dz <= CASTLE_SIZE; ++dz)
    for (int dx = 0; dx <= CASTLE_SIZE; ++dx) sum += target_hmap[hmap_index(x0 + dx, z0 + dz)];
  float level = float(sum / ((CASTLE_SIZE + 1) * (CASTLE_SIZE + 1)));
  constexpr int APRON = 2;
  for (int dz = -APRON; dz <= CASTLE_SIZE + APRON; ++dz)
    for (int dx = -APRON; dx <= CASTLE_SIZE + APRON; ++dx) {
      int out_x = dx < 0 ? -dx : dx > CASTLE_SIZE ? dx - CASTLE_SIZE : 0;
      int out_z = dz < 0 ? -dz : dz > CASTLE_SIZE ? dz - CASTLE_SIZE : 0;
      int out = out_x > out_z ? out_x : out_z;
      float w = 1.0f - float(out) / float(APRON + 1);
      float& t = target_hmap[hmap_index(x0 + dx, z0 + dz)];
      t += (level - t) * w;
    }
  return level;
}

CastleObject* castle_of(BaseObject* obj)
{
  auto* g = static_cast<GameObj*>(obj);
  return g && !g->destroyed && g->classId() == CID_CastleObject ? static_cast<CastleObject*>(g) : nullptr;
}

// The flat distance from (x, z) to the nearest point of a castle's footprint.
float footprint_distance(const CastleObject* c, float x, float z)
{
  auto axis = [](float p, int lo) {
    float d = wrap_delta(p - (float(lo) + CASTLE_SIZE * 0.5f));
    float out = fabsf(d) - CASTLE_SIZE * 0.5f;
    return out > 0 ? out : 0.0f;
  };
  float dx = axis(x, c->x0), dz = axis(z, c->z0);
  return sqrtf(dx * dx + dz * dz);
}

// Trees and standing stones inside the footprint make way for the castle.
int clear_castle_site(const CastleObject* c)
{
  int cleared = 0;
  auto clear = [&](GameObj* o) {
    if (footprint_distance(c, o->pos[0], o->pos[2]) > 0) return;
    o->destroy();
    ++cleared;
  };
  for_each_live(TreeObject_list, clear);
  for_each_live(HumanoidStaticObject_list, clear);
  return cleared;
}

} // namespace

// {===== Other buildings and the castle's ground

namespace {

// Whether two wrapping cell ranges [a, a + na) and [b, b + nb) overlap.
bool ranges_meet(int a, int na, int b, int nb)
{
  int d = ((b - a) % HMAP_SIZE + HMAP_SIZE) % HMAP_SIZE; // b's start after a's, 0..255
  return d < na || d > HMAP_SIZE - nb;
}

bool rects_meet(int ax, int az, int anx, int anz, int bx, int bz, int bnx, int bnz)
{
  return ranges_meet(ax, anx, bx, bnx) && ranges_meet(az, anz, bz, bnz);
}

// A guard tower stands on the 2 x 2 cells round its centre vertex.
bool tower_on(int x0, int z0, int margin)
{
  bool found = false;
  for_each_live(GuardTower_list, [&](GuardTower* t) {
    int cx = int(floorf(t->pos[0] + 0.5f)), cz = int(floorf(t->pos[2] + 0.5f));
    found |= rects_meet(x0 - margin, z0 - margin, CASTLE_SIZE + 2 * margin, CASTLE_SIZE + 2 * margin, cx - 1, cz - 1, 2, 2);
  });
  return found;
}

} // namespace

bool near_castle_ground(int x0, int z0, int nx, int nz, int margin)
{
  bool found = false;
  for_each_live(CastleObject_list, [&](CastleObject* c) {
    found |= rects_meet(c->x0 - margin, c->z0 - margin, CASTLE_SIZE + 2 * margin, CASTLE_SIZE + 2 * margin, x0, z0,
                        nx, nz);
  });
  return found;
}

// {===== The spell and its missile

const char* cast_castle_spell(Player* caster, const Vec4f& target)
{
  int x0 = castle_origin(target.x) & (HMAP_SIZE - 1), z0 = castle_origin(target.z) & (HMAP_SIZE - 1);
  if (const char* why = castle_site_problem(x0, z0, castle_standing_or_coming())) return why;
  if (tower_on(x0, z0, 1)) return "A guard tower stands there";
  Vec4f site = get_land_pos_at(footprint_centre(x0, z0, 0));
  if (!launch_spell_missile(CID_CastleMissile, caster, site)) return "Not available yet";
  play_sound_at("generic_cast", caster ? Vec4f{caster->pos[0], caster->pos[1], caster->pos[2], 1} : site);
  debug("castle: cast at cells (%d, %d)", x0, z0);
  return nullptr;
}

void CastleMissile::arrive()
{
  int x0 = castle_origin(target[0]) & (HMAP_SIZE - 1), z0 = castle_origin(target[2]) & (HMAP_SIZE - 1);
  if (live_castles() > 0) { // raised meanwhile by other means (a loaded world)
    debug("castle: a castle already stands; the missile at (%d, %d) fades", x0, z0);
    return;
  }
  auto* c = static_cast<CastleObject*>(new_gameobj_by_id(CID_CastleObject));
  if (!c) return;
  c->x0 = x0;
  c->z0 = z0;
  c->level = level_castle_site(x0, z0);
  Vec4f centre = footprint_centre(x0, z0, c->level);
  memcpy(c->pos, &centre, sizeof(c->pos));
  c->owner.set(caster.get());
  int cleared = clear_castle_site(c);
  play_fx("land_spell_hit_fx", centre, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 2.5f);
  play_fx("gatherer_summon_fx", Vec4f{centre.x, centre.y + 3, centre.z, 1}, Vec4f{0, 1, 0, 0}, Vec4f{0, 1, 0, 0}, 2);
  if (local_player && caster.get() == local_player) show_screen_message("Your castle stands");
  debug("castle: #%d stands at cells (%d, %d), level %.2f; %d trees and stones made way", c->serialId, x0, z0,
        c->level, cleared);
}

// {===== The castle

Vec4f CastleObject::homePoint() const
{
  return Vec4f{pos[0], level + CASTLE_WALL_HEIGHT * 2 + 2, pos[2], 1};
}

void CastleObject::update(float dt)
{
  if (destroyed) return;
  since_hurt += dt;
  if (since_hurt > CASTLE_HEAL_AFTER && health < max_health)
    health = fminf(max_health, health + CASTLE_HEAL_PER_SECOND * dt);
  castle_summon(this, dt);
}

void CastleObject::render(float) { draw_castle(this); }

void CastleObject::takeDamage(float amount, const char* cause)
{
  if (destroyed || !(amount > 0)) return;
  health -= amount;
  since_hurt = 0;
  if (health > 0) return;
  health = 0;
  debug("castle: #%d fell (%s)", serialId, cause ? cause : "?");
  Vec4f centre{pos[0], level + 2, pos[2], 1};
  play_fx("meteor_explode_fx", centre, Vec4f{0, 2, 0, 0}, Vec4f{0, 1, 0, 0}, 2);
  play_sound_at("meteor_hit", centre);
  if (castle_owner(this) == local_player && local_player) show_screen_message("Your castle has fallen");
  destroy(); // its gatherers follow it
}

void CastleObject::saveFields(OutputStream& out)
{
  BuildingObject::saveFields(out);
  out.writeInt(x0);
  out.writeInt(z0);
  out.writeFloat(level);
  out.writeFloat(health);
  out.writeFloat(max_health);
  out.writeFloat(since_hurt);
  out.writeFloat(summon_time);
  out.writeInt(delivered);
  write_gameobj_ref(out, owner);
}

// Older blocks hold only the position: the footprint is found from it.
void CastleObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  BuildingObject::loadFields(in, version, loader);
  if (version < 3) {
    x0 = castle_origin(pos[0]);
    z0 = castle_origin(pos[2]);
    level = pos[1];
  } else {
    x0 = in.readInt();
    z0 = in.readInt();
    level = in.readFloat();
    health = in.readFloat();
    max_health = in.readFloat();
    since_hurt = in.readFloat();
    summon_time = in.readFloat();
    delivered = in.readInt();
    loader.readRef(in, owner);
  }
  x0 &= HMAP_SIZE - 1;
  z0 &= HMAP_SIZE - 1;
  if (!isfinite(level)) level = 0;
  if (!(max_health > 0) || !isfinite(max_health)) max_health = 500;
  if (!(health > 0) || !isfinite(health) || health > max_health) health = max_health;
  if (!isfinite(since_hurt)) since_hurt = 0;
  if (!isfinite(summon_time) || summon_time < 0 || summon_time > REPLACE_DELAY) summon_time = SUMMON_EVERY;
  if (delivered < 0) delivered = 0;
}

CastleObject* single_castle_object()
{
  CastleObject* found = nullptr;
  int n = 0;
  for_each_live(CastleObject_list, [&](CastleObject* c) {
    found = c;
    ++n;
  });
  return n == 1 ? found : nullptr;
}

Player* castle_owner(CastleObject* castle)
{
  GameObj* o = castle ? castle->owner.get() : nullptr;
  if (o && !o->destroyed && o->classId() == CID_Player) return static_cast<Player*>(o);
  return game_player();
}

// {===== Harm and the wyverns' prey

int damage_buildings_near(const Vec4f& pos, float radius, float amount, const char* cause)
{
  int hit = damage_guard_towers_near(pos, radius, amount);
  if (!(amount > 0) || !(radius >= 0)) return hit;
  for_each_live(CastleObject_list, [&](CastleObject* c) {
    if (footprint_distance(c, pos.x, pos.z) > radius) return;
    c->takeDamage(amount, cause);
    ++hit;
  });
  const float p[3] = {pos.x, pos.y, pos.z};
  for_each_live(ManaGatherer_list, [&](ManaGatherer* g) {
    if (g->dead() || dist2(p, g->pos) > (radius + 0.7f) * (radius + 0.7f)) return;
    g->takeDamage(amount, cause);
    ++hit;
  });
  return hit;
}

GameObj* building_prey_near(const float pos[3], float radius)
{
  GameObj* best = nullptr;
  float best_d = radius;
  for_each_live(CastleObject_list, [&](CastleObject* c) {
    float d = footprint_distance(c, pos[0], pos[2]);
    if (d <= best_d) best_d = d, best = c;
  });
  for_each_live(ManaGatherer_list, [&](ManaGatherer* g) {
    float d = sqrtf(flat_dist2(pos, g->pos));
    if (!g->dead() && d < best_d) best_d = d, best = g;
  });
  return best;
}

// {===== The host's respawn point and the developer socket

namespace {

// The point over the keep's roof: a player placed there stands clear of it.
BaseObject* api_single_castle(Vec4f* pos)
{
  CastleObject* c = single_castle_object();
  if (c && pos) *pos = Vec4f{c->pos[0], c->level + CASTLE_KEEP_TOP, c->pos[2], 1};
  return c;
}

void api_link_player_and_castle(Player* player, BaseObject* castle)
{
  if (CastleObject* c = castle_of(castle)) c->owner.set(player);
}

// "castle": whether one stands, where, its health, its gatherers and the
// mana they brought home.
void dev_castle(const DevMessage&, DevReply& reply)
{
  CastleObject* c = single_castle_object();
  if (!c) {
    reply.add(" exists=0 pos=none health=0 gatherers=0 delivered=0");
    return;
  }
  reply.add(" exists=1 pos=%.2f,%.2f,%.2f health=%.0f gatherers=%d delivered=%d", c->pos[0], c->level, c->pos[2],
            c->health, castle_gatherer_count(c), c->delivered);
}

// "castleSite" x, z (d): "k" when a castle could stand centred there.
void dev_castle_site(const DevMessage& msg, DevReply& reply)
{
  double x = msg.getDouble("x"), z = msg.getDouble("z");
  if (!isfinite(x) || !isfinite(z)) return reply.fail("castleSite: x and z must be numbers");
  int x0 = castle_origin(float(x)) & (HMAP_SIZE - 1), z0 = castle_origin(float(z)) & (HMAP_SIZE - 1);
  if (const char* why = castle_site_problem(x0, z0, castle_standing_or_coming())) reply.fail("%s", why);
  else if (tower_on(x0, z0, 1)) reply.fail("A guard tower stands there");
}

// "gatherers": each gatherer's serial id, place and state (a developer aid
// for cameras and tests): " count=N at=id,x,y,z,state;...".
void dev_gatherers(const DevMessage&, DevReply& reply)
{
  static const char* const states[] = {"rise", "to_orb", "draw", "home", "idle", "dead"};
  int n = 0;
  for_each_live(ManaGatherer_list, [&](ManaGatherer*) { ++n; });
  reply.add(" count=%d at=", n);
  const char* sep = "";
  for_each_live(ManaGatherer_list, [&](ManaGatherer* g) {
    reply.add("%s%d,%.2f,%.2f,%.2f,%s", sep, g->serialId, g->pos[0], g->pos[1], g->pos[2],
              g->state >= 0 && g->state <= ManaGatherer::DEAD ? states[g->state] : "?");
    sep = ";";
  });
}

// "hurtBuildings" x, y, z, radius, amount (d): damage_buildings_near there,
// as a wyvern's breath would do it (a developer aid); " hit=N".
void dev_hurt_buildings(const DevMessage& msg, DevReply& reply)
{
  double x = msg.getDouble("x"), y = msg.getDouble("y"), z = msg.getDouble("z");
  double radius = msg.getDouble("radius"), amount = msg.getDouble("amount");
  if (!isfinite(x) || !isfinite(y) || !isfinite(z) || !(radius >= 0 && radius < 256) || !(amount >= 0 && amount < 1e9))
    return reply.fail("hurtBuildings: x, y, z, radius (0 to 256) and amount must be numbers");
  Vec4f at{wrap_coord(float(x)), float(y), wrap_coord(float(z)), 1};
  reply.add(" hit=%d", damage_buildings_near(at, float(radius), float(amount), "the developer"));
}

} // namespace

void register_castle_dev_commands()
{
  gameobj_api.single_castle = api_single_castle;
  gameobj_api.link_player_and_castle = api_link_player_and_castle;
  register_dev_command("castle", dev_castle);
  register_dev_command("castleSite", dev_castle_site);
  register_dev_command("gatherers", dev_gatherers);
  register_dev_command("hurtBuildings", dev_hurt_buildings);
}
