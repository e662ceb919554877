// The castle's mana gatherers: summoned as orbs are claimed, each flies to a
// claimed orb, draws mana there, flies home and delivers it to the castle's
// player. Wyverns hunt them; a killed one falls and fades as its own corpse.
#include <math.h>

#include "castle_local.h"
#include "core/log.h"
#include "core/stream.h"
#include "game_world.h"
#include "gameobj_loader.h"
#include "monsters_local.h"
#include "objects.h"
#include "table_entries.h"

using namespace mon;

namespace {

bool orb_claimed(GameObj* o)
{
  return o && !o->destroyed && o->classId() == CID_ManaBall && static_cast<ManaBall*>(o)->owned;
}

CastleObject* home_of(const ManaGatherer* g)
{
  GameObj* h = g->home.get();
  return h && !h->destroyed && h->classId() == CID_CastleObject ? static_cast<CastleObject*>(h) : nullptr;
}

// The claimed orb the fewest other gatherers of the castle fly to; of those
// the nearest to the castle. Null when none is claimed.
ManaBall* choose_orb(const ManaGatherer* self, const CastleObject* castle)
{
  ManaBall* best = nullptr;
  int best_busy = 1 << 30;
  float best_d = 1e30f;
  for (ManaBall* b : ManaBall_list) {
    if (!orb_claimed(b)) continue;
    int busy = 0;
    for (ManaGatherer* g : ManaGatherer_list)
      busy += g != self && !g->destroyed && !g->dead() && g->orb.get() == b;
    float d = flat_dist2(castle->pos, b->pos);
    if (busy < best_busy || (busy == best_busy && d < best_d)) {
      best = b;
      best_busy = busy;
      best_d = d;
    }
  }
  return best;
}

// Flies toward `goal`, never lower than GATHERER_ALTITUDE / 2 over the land
// or fluid below; true on arrival.
bool fly_to(ManaGatherer* g, const Vec4f& goal, float dt)
{
  Vec4f d = toward(g->pos, &goal.x);
  if (d.x * d.x + d.z * d.z > 1e-4f) g->yaw = yaw_of(d);
  bool there = move_toward(g->pos, goal, GATHERER_SPEED * dt);
  Vec4f at{g->pos[0], 0, g->pos[2], 1};
  float floor = get_land_height_at(at) + fabsf(get_water_at(at)) + GATHERER_ALTITUDE * 0.5f;
  if (g->pos[1] < floor) g->pos[1] = floor;
  return there;
}

// The point a gatherer flies to: over the orb or the castle's yard.
Vec4f cruise_point(const float* p, float over)
{
  return Vec4f{p[0], p[1] + over, p[2], 1};
}

void set_state(ManaGatherer* g, int state)
{
  g->state = state;
  g->state_time = 0;
}

} // namespace

int claimed_orb_count()
{
  int n = 0;
  for (ManaBall* b : ManaBall_list) n += orb_claimed(b);
  return n;
}

int castle_gatherer_count(const CastleObject* castle)
{
  int n = 0;
  for (ManaGatherer* g : ManaGatherer_list) n += !g->destroyed && !g->dead() && home_of(g) == castle;
  return n;
}

void castle_summon(CastleObject* castle, float dt)
{
  castle->summon_time -= dt;
  if (castle->summon_time > 0) return;
  castle->summon_time = 0;
  if (castle_gatherer_count(castle) >= gatherers_wanted(claimed_orb_count())) return;
  auto* g = static_cast<ManaGatherer*>(new_gameobj_by_id(CID_ManaGatherer));
  if (!g) return;
  Vec4f at = castle->homePoint();
  g->pos[0] = at.x;
  g->pos[1] = castle->level + 1;
  g->pos[2] = at.z;
  g->home.set(castle);
  set_state(g, ManaGatherer::RISE);
  castle->summon_time = SUMMON_EVERY;
  gatherer_summon_fx(at, Vec4f{0, 1, 0, 0});
  play_sound_at("gatherer_summon", at);
  debug("castle: #%d summoned gatherer #%d", castle->serialId, g->serialId);
}

void castle_gatherer_lost(CastleObject* castle)
{
  if (castle && castle->summon_time < REPLACE_DELAY) castle->summon_time = REPLACE_DELAY;
}

void ManaGatherer::takeDamage(float amount, const char* cause)
{
  if (destroyed || dead() || !(amount > 0)) return;
  health -= amount;
  if (health > 0) return;
  health = 0;
  debug("castle: gatherer #%d killed (%s), %.0f mana lost", serialId, cause ? cause : "?", carried);
  Vec4f at{pos[0], pos[1], pos[2], 1};
  gatherer_death_fx(at, Vec4f{0, -1, 0, 0});
  play_sound_at("gatherer_death", at);
  carried = 0;
  orb.set(nullptr);
  castle_gatherer_lost(home_of(this));
  set_state(this, DEAD);
}

void ManaGatherer::update(float dt)
{
  if (destroyed) return;
  remember_pos(this);
  state_time += dt;
  CastleObject* castle = home_of(this);
  if (!castle && !dead()) takeDamage(health + 1, "its castle fell");
  switch (state) {
  case DEAD: { // the corpse falls to the land and fades into it
    Vec4f at{pos[0], 0, pos[2], 1};
    float ground = get_land_height_at(at) + fabsf(get_water_at(at));
    pos[1] = fmaxf(ground - 0.8f * state_time / GATHERER_CORPSE_TIME, pos[1] - 6.0f * dt);
    if (state_time > GATHERER_CORPSE_TIME) destroy();
    return;
  }
  case RISE:
    if (fly_to(this, castle->homePoint(), dt) || state_time > 3) set_state(this, TO_ORB);
    break;
  case IDLE: { // circles over the yard until an orb is claimed
    Vec4f c = castle->homePoint();
    float a = state_time * 0.8f + float(serialId);
    fly_to(this, Vec4f{wrap_coord(c.x + 4 * sinf(a)), c.y + 2, wrap_coord(c.z + 4 * cosf(a)), 1}, dt);
    if (claimed_orb_count() > 0) set_state(this, TO_ORB);
    break;
  }
  case TO_ORB: {
    if (!orb_claimed(orb.get())) orb.set(choose_orb(this, castle));
    GameObj* o = orb.get();
    if (!o) {
      set_state(this, IDLE);
      break;
    }
    if (fly_to(this, cruise_point(o->pos, 1.5f), dt)) set_state(this, DRAW);
    break;
  }
  case DRAW: {
    GameObj* o = orb.get();
    if (!orb_claimed(o)) {
      set_state(this, TO_ORB);
      break;
    }
    fly_to(this, cruise_point(o->pos, 1.5f), dt);
    if (state_time >= GATHERER_DRAW_TIME) {
      carried = GATHERER_LOAD;
      set_state(this, HOME);
    }
    break;
  }
  case HOME:
    if (fly_to(this, castle->homePoint(), dt)) {
      int amount = int(carried + 0.5f);
      castle->delivered += amount;
      if (Player* p = castle_owner(castle)) p->mana = fminf(p->max_mana, p->mana + carried);
      debug("castle: gatherer #%d brought %d mana home (%d in all)", serialId, amount, castle->delivered);
      carried = 0;
      set_state(this, TO_ORB); // back to the same orb while it stays claimed
    }
    break;
  default:
    set_state(this, TO_ORB);
  }
}

void ManaGatherer::render(float) { draw_gatherer(this); }

void ManaGatherer::saveFields(OutputStream& out)
{
  MonsterObject::saveFields(out);
  write_gameobj_ref(out, home);
  write_gameobj_ref(out, orb);
  out.writeFloat(carried);
}

// Older blocks hold only the position: a gatherer without a castle dies in
// its first step.
void ManaGatherer::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  if (version < 3) {
    GameObj::loadFields(in, version, loader);
    return;
  }
  MonsterObject::loadFields(in, version, loader);
  loader.readRef(in, home);
  loader.readRef(in, orb);
  carried = in.readFloat();
  if (!isfinite(carried) || carried < 0 || carried > GATHERER_LOAD) carried = 0;
  if (state < RISE || state > DEAD) state = TO_ORB;
}

void ManaGatherer::onLoaded()
{
  MonsterObject::onLoaded();
  prev_pos[0] = pos[0], prev_pos[1] = pos[1], prev_pos[2] = pos[2];
}
