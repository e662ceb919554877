// Mana orbs, claiming them, owned mana, the world portal and its use, and
// the developer commands of all of it.
//
// The module keeps no state of its own: owned and total mana are summed over
// ManaBall_list when asked (a world has a handful of orbs), and the portal's
// state is its object's, so everything survives saving and module reloads.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "app/game_modes.h"
#include "audio/sound.h"
#include "audio/sound_events.h"
#include "core/game_mode.h"
#include "core/log.h"
#include "devtools/dev_server.h"
#include "game.h"
#include "game_world.h"
#include "gameobj_loader.h"
#include "host/gameobj_api.h"
#include "mana_rules.h"
#include "objects.h"
#include "render/camera.h"
#include "render/effects.h"
#include "table_entries.h"
#include "world/universe.h"

namespace {

Vec4f vec_of(const float p[4]) { return Vec4f{p[0], p[1], p[2], p[3]}; }
const Vec4f ZERO{0, 0, 0, 0};

// Height of whatever is on top at (x, z): the land, or the water or lava over it.
float surface_height(float x, float z)
{
  Vec4f at{x, 0, z, 1};
  return get_land_height_at(at) + fabsf(get_water_at(at));
}

template <class T, class F>
void for_each_live(DynArray<T*>& list, F&& f)
{
  for (int i = 0; i < list.num; ++i)
    if (!list[i]->destroyed) f(list[i]);
}

WorldPortal* first_portal(bool open_only)
{
  WorldPortal* found = nullptr;
  for_each_live(WorldPortal_list, [&](WorldPortal* p) {
    if (!found && (!open_only || p->open)) found = p;
  });
  return found;
}

bool has_arrow_to(GameObj* target)
{
  bool found = false;
  for_each_live(MapArrow_list, [&](MapArrow* a) { found = found || a->target.get() == target; });
  return found;
}

void open_portal(WorldPortal* portal, bool announce)
{
  portal->open = 1;
  if (!has_arrow_to(portal)) {
    auto* arrow = static_cast<MapArrow*>(new_gameobj_by_id(CID_MapArrow));
    memcpy(arrow->pos, portal->pos, sizeof(arrow->pos));
    arrow->target.set(portal);
  }
  Vec4f pos = vec_of(portal->pos);
  debug("mana: the portal opens at %.1f %.1f %.1f", pos.x, pos.y, pos.z);
  if (!announce) return;
  play_sound_at("portal_appears", pos);
  play_fx("portal_open_fx", pos, ZERO, Vec4f{0, 1, 0, 0}, 1);
  show_screen_message("Portal opened");
  show_screen_sub_message("Fly to it and cast Use portal to travel on");
  // The way to use it comes with it.
  pick_up_spell(CID_UsePortalSpell);
}

// Opens the portal once the rule says so. A world whose script placed no
// portal site gets its portal beside the place of the last claim.
void check_portal(const float* near_pos, bool announce)
{
  if (first_portal(true) || !portal_should_open(get_owned_mana(), world_mana_total())) return;
  WorldPortal* portal = first_portal(false);
  if (!portal) {
    portal = static_cast<WorldPortal*>(new_gameobj_by_id(CID_WorldPortal));
    float x = near_pos ? near_pos[0] + 12 : 128, z = near_pos ? near_pos[2] : 128;
    x -= 256.0f * floorf(x / 256.0f);
    portal->pos[0] = x;
    portal->pos[1] = get_land_height_at(Vec4f{x, 0, z, 1});
    portal->pos[2] = z;
  }
  open_portal(portal, announce);
}

void honour_mana_recalc()
{
  if (!need_mana_recalc) return;
  need_mana_recalc = false;
  recalc_mana_ownership();
}

// The steady looks run the effects script directly each few steps; one-off
// events go through play_fx like every other part's.
void steady_fx(const char* name, const float pos[4], float variant, float scale)
{
  call_fx_script(name, vec_of(pos), ZERO, Vec4f{variant, 0, 0, 0}, scale);
}

} // namespace

// ===== Orbs ==================================================================

void ManaBall::update(float dt)
{
  honour_mana_recalc();
  // Floats over whatever is below, bobbing gently; a hill raised under it lifts it.
  float t = get_world_time() * 0.05f + serialId * 1.7f;
  pos[1] = surface_height(pos[0], pos[2]) + ORB_HOVER + 0.4f * sinf(t * 1.3f);
  if (claim_flash > 0) claim_flash -= dt;
  hum.keep("mana_idle", Vec4f{pos[0], pos[1], pos[2], 1}, dt, 60.0f);
  fx_clock -= dt;
  if (fx_clock <= 0) {
    fx_clock += 0.1f;
    float scale = 0.6f + 0.4f * sqrtf(fmaxf(amount, 1) / 50.0f);
    steady_fx("mana_orb_fx", pos, owned ? 1.0f : 0.0f, claim_flash > 0 ? scale * 1.6f : scale);
  }
}

int get_owned_mana()
{
  int sum = 0;
  for_each_live(ManaBall_list, [&](ManaBall* b) { sum += b->owned ? b->amount : 0; });
  return sum;
}

int world_mana_total()
{
  int sum = 0;
  for_each_live(ManaBall_list, [&](ManaBall* b) { sum += b->amount; });
  return sum;
}

// After a load or on entering the play mode: orbs' values made sane, then the
// portal checked against the ownership (quietly: nothing happened just now).
void recalc_mana_ownership()
{
  for_each_live(ManaBall_list, [](ManaBall* b) {
    b->owned = b->owned ? 1 : 0;
    if (b->amount < 0) b->amount = 0;
  });
  check_portal(local_player ? static_cast<GameObj*>(local_player)->pos : nullptr, false);
  debug("mana: %d of %d owned, portal %s", get_owned_mana(), world_mana_total(), first_portal(true) ? "open" : "closed");
}

// ===== Claiming ==============================================================

namespace {

bool claim_underway(ManaBall* orb)
{
  bool found = false;
  for_each_live(ClaimManaMissile_list, [&](ClaimManaMissile* m) { found = found || m->target.get() == orb; });
  return found;
}

void claim_orb(ManaBall* orb)
{
  orb->owned = 1;
  orb->claim_flash = 1.0f;
  for_each_live(MapArrow_list, [&](MapArrow* a) {
    if (a->target.get() == orb) a->destroy();
  });
  Vec4f pos = vec_of(orb->pos);
  play_sound_at("res_discharge", pos);
  play_sound_at("claim_mana", pos);
  play_fx("mana_claimed_fx", pos, ZERO, Vec4f{0, 1, 0, 0}, 1);
  debug("mana: orb #%d (%d mana) claimed; %d of %d owned", orb->serialId, orb->amount, get_owned_mana(),
        world_mana_total());
  check_portal(orb->pos, true);
}

} // namespace

const char* cast_claim_mana(Player* caster, const Vec4f& target)
{
  if (!caster) return "Nobody to cast it";
  GameObj* from = caster;
  const float aim[4] = {target.x, target.y, target.z, 1};
  // The nearest orb to the aimed point, an unclaimed one before a claimed one.
  ManaBall* best = nullptr;
  float best_d2 = CLAIM_AIM_RADIUS * CLAIM_AIM_RADIUS;
  for_each_live(ManaBall_list, [&](ManaBall* b) {
    float d2 = wrap_dist2_xz(aim, b->pos);
    bool better = !best || (best->owned && !b->owned) || (best->owned == b->owned && d2 < best_d2);
    if (d2 <= CLAIM_AIM_RADIUS * CLAIM_AIM_RADIUS && better) {
      best = b;
      best_d2 = d2;
    }
  });
  if (!best) return "No mana orb there";
  if (best->owned) return "That mana is already yours";
  if (wrap_dist2(from->pos, best->pos) > CLAIM_REACH * CLAIM_REACH) return "That orb is too far away";
  if (claim_underway(best)) return "That orb is being claimed";
  auto* missile = static_cast<ClaimManaMissile*>(new_gameobj_by_id(CID_ClaimManaMissile));
  memcpy(missile->pos, from->pos, sizeof(missile->pos));
  missile->caster.set(from);
  missile->target.set(best);
  return nullptr;
}

void ClaimManaMissile::update(float dt)
{
  ManaBall* orb = static_cast<ManaBall*>(target.get());
  time_left -= dt;
  if (!orb || orb->destroyed || time_left <= 0) {
    destroy();
    return;
  }
  // Homes in on the orb (it bobs), along the way to its nearest copy.
  float d[3] = {wrap_delta(pos[0], orb->pos[0]), orb->pos[1] - pos[1], wrap_delta(pos[2], orb->pos[2])};
  float len = sqrtf(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  float step = CLAIM_MISSILE_SPEED * dt;
  if (len <= step || len < 0.5f) {
    claim_orb(orb);
    destroy();
    return;
  }
  for (int k = 0; k < 3; ++k) {
    vel[k] = d[k] / len * CLAIM_MISSILE_SPEED;
    pos[k] += d[k] / len * step;
  }
  pos[0] -= 256.0f * floorf(pos[0] / 256.0f);
  pos[2] -= 256.0f * floorf(pos[2] / 256.0f);
  play_fx("spawn_magic_missile_fx", vec_of(pos), vec_of(vel), Vec4f{d[0] / len, d[1] / len, d[2] / len, 0}, 0.7f);
}

// ===== The portal ============================================================

WorldPortal::~WorldPortal()
{
  if (loop_channel) stop_sound(loop_channel);
}

void WorldPortal::update(float dt)
{
  honour_mana_recalc();
  if (!open) return;
  pos[1] = get_land_height_at(vec_of(pos));
  // The loop starts again after a load or a module reload; the sound layer
  // keeps moving it with the listener.
  if (!loop_channel) {
    loop_channel = play_sound_event("portal_loop");
    if (loop_channel) update_3d_sound(loop_channel, SoundVec{pos[0], pos[1] + 3, pos[2], 1}, SoundVec{0, 0, 0, 0});
  }
  fx_clock -= dt;
  if (fx_clock <= 0) {
    fx_clock += 0.1f;
    steady_fx("world_portal_fx", pos, 0, 1);
  }
}

bool world_portal_open(Vec4f* pos)
{
  WorldPortal* portal = first_portal(true);
  if (portal && pos) *pos = vec_of(portal->pos);
  return portal != nullptr;
}

int unlock_world_links(int index)
{
  if (worlds.isNull() || index < 0) return 0;
  HSQUIRRELVM v = worlds.vm;
  SQInteger top = sq_gettop(v);
  auto set_true = [&](const SqObject& table, const char* key) {
    table.push(v);
    sq_pushstring(v, key, -1);
    sq_pushbool(v, SQTrue);
    bool ok = SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse));
    sq_settop(v, top);
    if (!ok) throw SquirrelError(v);
  };
  int unlocked = 0;
  try {
    SqObject world = sqbind::getSlot<SqObject>(worlds, index);
    set_true(world, "done");
    SqObject links = sqbind::getSlot<SqObject>(world, "links");
    links.push(v);
    int count = int(sq_getsize(v, -1));
    sq_settop(v, top);
    for (int i = 0; i < count; ++i) {
      int next = sqbind::getSlot<int>(links, i);
      set_true(sqbind::getSlot<SqObject>(worlds, next), "unlocked");
      ++unlocked;
    }
  } catch (const SquirrelError& e) {
    sq_settop(v, top);
    sq_reseterror(v);
    debug("mana: world #%d's links not all unlocked: %s", index, e.what());
  }
  debug("mana: world #%d done, %d worlds next to it unlocked", index, unlocked);
  return unlocked;
}

const char* cast_use_portal(Player* caster, const Vec4f& target)
{
  if (!caster) return "Nobody to cast it";
  WorldPortal* portal = first_portal(true);
  if (!portal) return "The portal is not open";
  GameObj* from = caster;
  if (wrap_dist2(from->pos, portal->pos) > PORTAL_REACH * PORTAL_REACH) return "Too far from the portal";
  const float aim[4] = {target.x, target.y, target.z, 1};
  if (wrap_dist2_xz(aim, portal->pos) > PORTAL_AIM_RADIUS * PORTAL_AIM_RADIUS) return "Aim at the portal";
  play_sound_at("use_portal", vec_of(portal->pos));
  unlock_world_links(get_entered_world());
  set_game_mode(warp_mode);
  return nullptr;
}

// The host's player operation 1 with Use portal (79): the player was placed
// in a world it has been in before. The portal's state is checked anew, as
// on entering the play mode; nothing else changes.
void mana_player_spell_op(Player* player, int op, int spell)
{
  if (op == 1 && spell == 79) need_mana_recalc = true;
}

// ===== Developer socket ======================================================

namespace {

Vec4f ground_target(const DevMessage& msg)
{
  float x = float(msg.getDouble("x")), z = float(msg.getDouble("z"));
  return Vec4f{x, get_land_height_at(Vec4f{x, 0, z, 1}), z, 1};
}

void dev_portal(const DevMessage&, DevReply& reply)
{
  WorldPortal* portal = first_portal(true);
  if (!portal) portal = first_portal(false);
  reply.add("open=%d", portal && portal->open ? 1 : 0);
  if (portal)
    reply.add(" pos=%.2f,%.2f,%.2f", portal->pos[0], portal->pos[1], portal->pos[2]);
  else
    reply.add(" pos=none");
  reply.add(" owned=%d total=%d", get_owned_mana(), world_mana_total());
}

void dev_orbs(const DevMessage&, DevReply& reply)
{
  int count = 0;
  for_each_live(ManaBall_list, [&](ManaBall*) { ++count; });
  reply.add("count=%d orbs=", count);
  const char* sep = "";
  for_each_live(ManaBall_list, [&](ManaBall* b) {
    reply.add("%s%d,%.2f,%.2f,%.2f,%d,%d", sep, b->serialId, b->pos[0], b->pos[1], b->pos[2], b->amount, b->owned);
    sep = ";";
  });
}

// With fromCamera=1 (or without a local player) a stand-in at the camera's
// place casts, and goes at the end of the step: the developer mode's free
// camera can claim what it looks at.
void dev_cast(DevReply& reply, const char* (*cast)(Player*, const Vec4f&), const DevMessage& msg)
{
  Player* caster = msg.getInt("fromCamera", 0) ? nullptr : local_player;
  if (!caster) {
    caster = static_cast<Player*>(new_gameobj_by_id(CID_Player));
    memcpy(caster->pos, &camera.pos, sizeof(caster->pos));
    caster->destroy();
  }
  const char* why = cast(caster, ground_target(msg));
  if (why) reply.fail("%s", why);
}

void dev_claim(const DevMessage& msg, DevReply& reply) { dev_cast(reply, cast_claim_mana, msg); }
void dev_use_portal(const DevMessage& msg, DevReply& reply) { dev_cast(reply, cast_use_portal, msg); }

void dev_state(DevReply& reply)
{
  reply.add(" owned_mana=%d total_mana=%d portal=%d", get_owned_mana(), world_mana_total(), first_portal(true) ? 1 : 0);
}

} // namespace

void register_mana_dev_commands()
{
  register_dev_command("portal", dev_portal);
  register_dev_command("orbs", dev_orbs);
  // Developer aids: the local player (or the camera: fromCamera=1) casts
  // Claim mana / Use portal at ground point (x, z) without the spell bar's
  // cost and cooldown.
  register_dev_command("claimMana", dev_claim);
  register_dev_command("usePortal", dev_use_portal);
  register_pickup_dev_commands();
  register_dev_state(dev_state);
  // The spells' part may own the player's spell operation; it then passes
  // Use portal's to mana_player_spell_op.
  if (!gameobj_api.player_spell_op) gameobj_api.player_spell_op = mana_player_spell_op;
}
