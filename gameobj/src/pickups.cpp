// Things lying in the world for the player to pick up: spells (SpellObject
// classes) and the universe's resources (GlobResObject), each with a light
// pillar and a map arrow; the world script's functions that place them, the
// orbs and the portal's site; the saved fields of the classes of this part.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "core/log.h"
#include "devtools/dev_server.h"
#include "game.h"
#include "game_world.h"
#include "gameobj_loader.h"
#include "host/gameobj_api.h"
#include "mana_rules.h"
#include "objects.h"
#include "render/effects.h"
#include "script/sqbind.h"
#include "table_entries.h"
#include "world/universe.h"

namespace {

// The universe's resources (its "resources" table's slots).
const char* const RESOURCE_KINDS[] = {"shard", "vortex", "firebloom", "star", "seed"};

bool is_resource_kind(const char* kind)
{
  for (const char* k : RESOURCE_KINDS)
    if (kind && strcmp(kind, k) == 0) return true;
  return false;
}

bool is_spell_class(int class_id)
{
  const char* name = gameobj_class_name(class_id);
  size_t n = strlen(name);
  return class_id != CID_SpellObject && n > 5 && strcmp(name + n - 5, "Spell") == 0;
}

Vec4f vec_of(const float p[4]) { return Vec4f{p[0], p[1], p[2], p[3]}; }
const Vec4f ZERO{0, 0, 0, 0};

float wrap_coord(float v) { return v - 256.0f * floorf(v / 256.0f); }

// Puts an object on the land at (x, z), `hover` above it (wrapped into the world).
void place_on_land(GameObj* obj, float x, float z, float hover)
{
  obj->pos[0] = wrap_coord(x);
  obj->pos[2] = wrap_coord(z);
  obj->pos[1] = get_land_height_at(vec_of(obj->pos)) + hover;
  obj->pos[3] = 1;
}

// A pickup's pillar of light and map arrow.
void mark_pickup(GameObj* pickup)
{
  auto* pillar = static_cast<LightPillarEffect*>(new_gameobj_by_id(CID_LightPillarEffect));
  memcpy(pillar->pos, pickup->pos, sizeof(pillar->pos));
  pillar->owner.set(pickup);
  auto* arrow = static_cast<MapArrow*>(new_gameobj_by_id(CID_MapArrow));
  memcpy(arrow->pos, pickup->pos, sizeof(arrow->pos));
  arrow->target.set(pickup);
}

// The local player is within reach of a pickup at `pos`.
bool player_reaches(const float pos[4])
{
  auto* player = static_cast<GameObj*>(local_player);
  return player && !player->destroyed && wrap_dist2(player->pos, pos) <= PICKUP_REACH * PICKUP_REACH;
}

// A pickup floats over the land, bobbing; its glow runs each few steps.
bool hover_and_glow(GameObj* obj, float& fx_clock, float dt, const char* fx, float variant)
{
  float t = get_world_time() * 0.05f + obj->serialId * 0.9f;
  obj->pos[1] = get_land_height_at(vec_of(obj->pos)) + PICKUP_HOVER + 0.25f * sinf(t * 2.0f);
  fx_clock -= dt;
  if (fx_clock > 0) return false;
  fx_clock += 0.15f;
  call_fx_script(fx, vec_of(obj->pos), ZERO, Vec4f{variant, 0, 0, 0}, 1);
  return true;
}

} // namespace

// ===== Spells and resources lying in the world ==============================

void SpellObject::update(float dt)
{
  // The spells' fx clock is not a field (spell classes have none): the
  // world clock paces the glow instead.
  float clock = (get_world_time() + serialId) % 3 == 0 ? 0 : 1;
  hover_and_glow(this, clock, 0, "spell_pickup_fx", 0);
  hum.keep("spell_loop", vec_of(pos), dt);
  if (!player_reaches(pos)) return;
  debug("pickups: %s picked up", getClassName());
  pick_up_spell(classId());
  play_fx("spawn_spellobj_fx", vec_of(pos), ZERO, Vec4f{0, 1, 0, 0}, 1);
  destroy();
}

void GlobResObject::update(float dt)
{
  hover_and_glow(this, fx_clock, dt, "res_pickup_fx", 0);
  hum.keep("res_loop", vec_of(pos), dt);
  if (!player_reaches(pos)) return;
  // Without a universe (the main menu's world) the resource has nowhere to
  // go, and a kind the universe does not know (a damaged file) would make up
  // a resource: either way it stays rather than being lost or misfiled.
  if (!is_resource_kind(kind) || !add_glob_res_amount(kind, amount)) return;
  debug("pickups: %d %s picked up", amount, kind);
  play_sound_at("pick_up_res", vec_of(pos));
  hud_res_picked_up(kind); // the resource's own icon flies to the HUD
  play_fx("spawn_resobj_fx", vec_of(pos), ZERO, Vec4f{0, 1, 0, 0}, 1);
  destroy();
}

void LightPillarEffect::update(float dt)
{
  GameObj* o = owner.get();
  if (!o || o->destroyed) {
    destroy();
    return;
  }
  memcpy(pos, o->pos, sizeof(pos));
  fx_clock -= dt;
  if (fx_clock > 0) return;
  fx_clock += 0.15f;
  call_fx_script("light_pillar_fx", vec_of(pos), ZERO, Vec4f{o->classId() == CID_GlobResObject ? 1.0f : 0.0f, 0, 0, 0}, 1);
}

void MapArrow::update(float)
{
  GameObj* t = target.get();
  if (t && !t->destroyed) {
    followed = true;
    memcpy(pos, t->pos, sizeof(pos));
  } else if (followed) {
    destroy();
  }
}

// ===== Placing ===============================================================

ManaBall* spawn_mana_orb(float x, float z, int amount)
{
  if (!isfinite(x) || !isfinite(z) || amount <= 0) return nullptr;
  auto* orb = static_cast<ManaBall*>(new_gameobj_by_id(CID_ManaBall));
  place_on_land(orb, x, z, 0);
  orb->pos[1] += fabsf(get_water_at(vec_of(orb->pos))) + ORB_HOVER;
  orb->amount = amount;
  // Unclaimed orbs show on the map; claiming takes the arrow away.
  auto* arrow = static_cast<MapArrow*>(new_gameobj_by_id(CID_MapArrow));
  memcpy(arrow->pos, orb->pos, sizeof(arrow->pos));
  arrow->target.set(orb);
  return orb;
}

SpellObject* spawn_spell_pickup(int class_id, float x, float z, bool announce)
{
  if (!isfinite(x) || !isfinite(z) || !is_spell_class(class_id)) return nullptr;
  auto* spell = static_cast<SpellObject*>(new_gameobj_by_id(class_id));
  place_on_land(spell, x, z, PICKUP_HOVER);
  mark_pickup(spell);
  if (announce) {
    play_fx("spawn_spellobj_fx", vec_of(spell->pos), ZERO, Vec4f{0, 1, 0, 0}, 1);
    play_sound_at("spell_appears", vec_of(spell->pos));
  }
  return spell;
}

GlobResObject* spawn_res_pickup(const char* kind, const Vec4f& pos, int amount, bool announce)
{
  if (!is_resource_kind(kind) || !isfinite(pos.x) || !isfinite(pos.z) || amount <= 0) return nullptr;
  auto* res = static_cast<GlobResObject*>(new_gameobj_by_id(CID_GlobResObject));
  snprintf(res->kind, sizeof(res->kind), "%s", kind);
  res->amount = amount;
  place_on_land(res, pos.x, pos.z, PICKUP_HOVER);
  mark_pickup(res);
  if (announce) {
    play_fx("spawn_resobj_fx", vec_of(res->pos), ZERO, Vec4f{0, 1, 0, 0}, 1);
    play_sound_at("res_appears", vec_of(res->pos));
  }
  return res;
}

// A world has one portal: a second site moves the closed portal there.
WorldPortal* spawn_portal_site(float x, float z)
{
  if (!isfinite(x) || !isfinite(z)) return nullptr;
  WorldPortal* portal = nullptr;
  for (WorldPortal* p : WorldPortal_list)
    if (!portal && !p->destroyed) portal = p;
  if (portal && portal->open) return portal;
  if (!portal) portal = static_cast<WorldPortal*>(new_gameobj_by_id(CID_WorldPortal));
  place_on_land(portal, x, z, 0);
  return portal;
}

// ===== The world script's functions =========================================

namespace {

int script_spawn_mana_orb(float x, float z, int amount)
{
  ManaBall* orb = spawn_mana_orb(x, z, amount);
  if (!orb) throw SquirrelError("spawn_mana_orb: the amount must be above 0 and the place a number");
  return orb->serialId;
}

int script_spawn_spell_pickup(const char* class_name, float x, float z)
{
  SpellObject* spell = spawn_spell_pickup(gameobj_id_by_name(class_name), x, z, false);
  if (!spell) {
    char text[200];
    snprintf(text, sizeof(text), "spawn_spell_pickup: '%s' is not a spell class", class_name);
    throw SquirrelError(text);
  }
  return spell->serialId;
}

int script_spawn_res_pickup(const char* kind, float x, float z)
{
  GlobResObject* res = spawn_res_pickup(kind, Vec4f{x, 0, z, 1}, 1, false);
  if (!res) {
    char text[200];
    snprintf(text, sizeof(text), "spawn_res_pickup: '%s' is not a resource (shard, vortex, firebloom, star, seed)", kind);
    throw SquirrelError(text);
  }
  return res->serialId;
}

int script_spawn_portal_site(float x, float z)
{
  WorldPortal* portal = spawn_portal_site(x, z);
  if (!portal) throw SquirrelError("spawn_portal_site: the place must be a number");
  return portal->serialId;
}

int script_owned_mana() { return get_owned_mana(); }
int script_world_mana() { return world_mana_total(); }
bool script_portal_open() { return world_portal_open(nullptr); }

} // namespace

void bind_game_objects(HSQUIRRELVM vm)
{
  SqObject root = sqbind::root_table(vm);
  sqbind::register_function(vm, root, "spawn_mana_orb", &script_spawn_mana_orb);
  sqbind::register_function(vm, root, "spawn_spell_pickup", &script_spawn_spell_pickup);
  sqbind::register_function(vm, root, "spawn_res_pickup", &script_spawn_res_pickup);
  sqbind::register_function(vm, root, "spawn_portal_site", &script_spawn_portal_site);
  sqbind::register_function(vm, root, "get_owned_mana", &script_owned_mana);
  sqbind::register_function(vm, root, "get_world_mana_total", &script_world_mana);
  sqbind::register_function(vm, root, "is_portal_open", &script_portal_open);
}

// ===== Developer socket ======================================================

namespace {

void dev_pickups(const DevMessage&, DevReply& reply)
{
  int count = 0;
  DynArray<GameObject*>* lists[] = {reinterpret_cast<DynArray<GameObject*>*>(&SpellObject_list),
                                    reinterpret_cast<DynArray<GameObject*>*>(&GlobResObject_list)};
  for (auto* list : lists)
    for (GameObject* o : *list) count += o->destroyed ? 0 : 1;
  reply.add("count=%d pickups=", count);
  const char* sep = "";
  for (auto* list : lists)
    for (GameObject* base : *list) {
      auto* o = static_cast<GameObj*>(base);
      if (o->destroyed) continue;
      const char* what = o->classId() == CID_GlobResObject ? static_cast<GlobResObject*>(o)->kind : o->getClassName();
      reply.add("%s%d,%s,%.2f,%.2f,%.2f", sep, o->serialId, what, o->pos[0], o->pos[1], o->pos[2]);
      sep = ";";
    }
}

// Developer aid: a pickup at ground point (x, z); `what` is a spell class
// name or a resource kind. "k" and its serial id.
void dev_spawn_pickup(const DevMessage& msg, DevReply& reply)
{
  const std::string& what = msg.getString("what");
  float x = float(msg.getDouble("x")), z = float(msg.getDouble("z"));
  GameObj* made = is_resource_kind(what.c_str()) ? static_cast<GameObj*>(spawn_res_pickup(what.c_str(), Vec4f{x, 0, z, 1}))
                                                 : spawn_spell_pickup(gameobj_id_by_name(what.c_str()), x, z);
  if (!made) {
    reply.fail("'%s' is neither a spell class nor a resource", what.c_str());
    return;
  }
  reply.add("%d", made->serialId);
}

} // namespace

void register_pickup_dev_commands()
{
  register_dev_command("pickups", dev_pickups);
  register_dev_command("spawnPickup", dev_spawn_pickup);
}

// ===== Saved fields ==========================================================

void ResObject::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeInt(amount);
}

void ResObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < 3) return; // blocks before version 3 hold none of these fields
  amount = in.readInt();
}

void GlobResObject::saveFields(OutputStream& out)
{
  ResObject::saveFields(out);
  out.writeString(kind);
}

void GlobResObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  ResObject::loadFields(in, version, loader);
  if (version < 3) return; // blocks before version 3 hold none of these fields
  char name[256];
  in.readString(name);
  // An unknown kind (a damaged or newer file) keeps its name; picking it up
  // then fails in the universe table and leaves the pickup where it is.
  snprintf(kind, sizeof(kind), "%s", name);
}

void LightPillarEffect::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  write_gameobj_ref(out, owner);
}

void LightPillarEffect::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < 3) return; // blocks before version 3 hold none of these fields
  loader.readRef(in, owner);
}

void ManaBall::saveFields(OutputStream& out)
{
  ResObject::saveFields(out);
  out.writeInt(owned);
}

void ManaBall::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  ResObject::loadFields(in, version, loader);
  if (version < 3) return; // blocks before version 3 hold none of these fields
  owned = in.readInt() ? 1 : 0;
}

void ClaimManaMissile::saveFields(OutputStream& out)
{
  MissileObject::saveFields(out);
  write_gameobj_ref(out, target);
  out.writeFloat(time_left);
}

void ClaimManaMissile::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MissileObject::loadFields(in, version, loader);
  if (version < 3) return; // blocks before version 3 hold none of these fields
  loader.readRef(in, target);
  time_left = in.readFloat();
}

void WorldPortal::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeInt(open);
}

void WorldPortal::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < 3) return; // blocks before version 3 hold none of these fields
  open = in.readInt() ? 1 : 0;
}
