// The lake tentacle: rises from deep water at a player or a gatherer flying
// low nearby, lashes at it, sinks back when hurt or when its water gets
// shallow, and dies in lava or when its lake is gone. Spawning, saving and
// the developer command "tentacles" are here; drawing in tentacle_render.cpp.
#include <string.h>

#include "core/log.h"
#include "core/stream.h"
#include "devtools/dev_server.h"
#include "game_world.h"
#include "gameobj_loader.h"
#include "monsters_local.h"
#include "objects.h"
#include "table_entries.h"
#include "tentacle_rules.h"

using namespace mon;
using namespace tentacle;

namespace {

// The water over the bottom at a place: > 0 water, < 0 lava.
float depth_at(const float* p) { return get_water_at(vec(p)); }

// What it lashes at: the local player, else the nearest gatherer, flying
// within `range` on the ground and no higher than LOW over the surface.
GameObj* pick_victim(const float* surface, float range)
{
  GameObj* best = nullptr;
  float best_d2 = range * range;
  auto consider = [&](GameObj* o) {
    if (!o || o->destroyed || o->pos[1] - surface[1] > LOW) return;
    float d2 = flat_dist2(surface, o->pos);
    if (d2 <= best_d2) best_d2 = d2, best = o;
  };
  consider(game_player());
  if (best) return best;
  for (ManaGatherer* g : ManaGatherer_list) consider(g);
  return best;
}

// Something it hits: the player takes it as harm, a gatherer (a monster of
// the castle) as damage.
void lash(GameObj* victim)
{
  if (victim == game_player()) damage_player(LASH_DAMAGE, "tentacle");
  else if (gameobj_class_is(victim->classId(), CID_MonsterObject))
    static_cast<MonsterObject*>(victim)->takeDamage(LASH_DAMAGE, "tentacle");
}

void splash(const float* at, float scale)
{
  play_fx("water_spell_hit_fx", vec(at[0], at[1] + 0.2f, at[2]), vec(0, 0, 0), vec(0, 1, 0), scale);
}

} // namespace

void Tentacle::update(float dt)
{
  state_time += dt;
  attack_time -= dt;
  if (hide_time > 0) hide_time -= dt;
  sway += dt;
  const float depth = depth_at(pos);
  if (depth < -LAVA_DEPTH) return takeDamage(health, "lava");
  dry_time = depth < LAKE_GONE_DEPTH ? dry_time + dt : 0;
  if (dry_time >= DRY_SECONDS) return takeDamage(health, "its lake is gone");
  // It lives at the surface (where spells and bolts find it); the body
  // reaches up from there.
  pos[1] = get_land_height_at(vec(pos)) + (depth > 0 ? depth : 0);

  GameObj* victim = depth > RISE_DEPTH && hide_time <= 0 ? pick_victim(pos, SIGHT) : nullptr;
  if (!victim) {
    if (state != DOWN) {
      state = DOWN;
      state_time = 0;
      splash(pos, 1.2f);
    }
    target.set(nullptr);
  } else {
    target.set(victim);
    if (state == DOWN) {
      state = UP;
      state_time = 0;
      splash(pos, 1.8f);
      play_sound_at("caterpillar_spawn", vec(pos));
    }
    Vec4f d = toward(pos, victim->pos);
    if (d.x * d.x + d.z * d.z > 1e-4f) {
      float turn = remainderf(yaw_of(d) - yaw, 2 * PI), max_turn = 3 * dt;
      yaw += turn > max_turn ? max_turn : turn < -max_turn ? -max_turn : turn;
    }
    if (state == LASH && state_time > LASH_SECONDS) {
      state = UP;
      state_time = 0;
    }
    const bool in_reach = flat_dist2(pos, victim->pos) <= REACH * REACH;
    if (state == UP && rise >= 0.95f && in_reach && attack_time <= 0) {
      state = LASH;
      state_time = 0;
      attack_time = LASH_INTERVAL;
      lash(victim);
      splash(pos, 1.0f);
      play_sound_at("caterpillar_attack", vec(pos));
    }
  }
  rise += (state == DOWN ? -SINK_SPEED : RISE_SPEED) * dt;
  rise = rise < 0 ? 0 : rise > 1 ? 1 : rise;
}

// A blow (not steady harm) sends it under for a while.
void Tentacle::takeDamage(float amount, const char* cause)
{
  if (destroyed || !(amount > 0)) return;
  if (amount >= 2 && amount < health) hide_time = HIDE_SECONDS;
  MonsterObject::takeDamage(amount, cause);
}

void Tentacle::onDeath(const char* cause)
{
  play_fx("tentacle_death_fx", vec(pos[0], pos[1] + 1.5f * rise, pos[2]), vec(0, 0, 0), vec(0, 1, 0), 1);
  play_sound_at("caterpillar_hit", vec(pos));
  // The drop washes up on the nearest dry shore within reach (on the
  // bottom where it died when there is none).
  float at[3] = {pos[0], pos[1], pos[2]};
  for (float r = 2; r <= SHORE_SEARCH; r += 2) {
    bool found = false;
    for (int k = 0; k < 16 && !found; ++k) {
      float a = k * (PI / 8);
      float p[3] = {wrap_coord(pos[0] + r * sinf(a)), 0, wrap_coord(pos[2] + r * cosf(a))};
      if (fabsf(depth_at(p)) < 0.05f) at[0] = p[0], at[2] = p[2], found = true;
    }
    if (found) break;
  }
  spawn_res_pickup(DROP, vec(at));
}

int Tentacle::query(int what)
{
  switch (what) {
  case Q_STATE: return state;
  case Q_RISE_PERMILLE: return int(lroundf(rise * 1000));
  case Q_HEALTH: return int(lroundf(health));
  default: return MonsterObject::query(what);
  }
}

void Tentacle::saveFields(OutputStream& out)
{
  MonsterObject::saveFields(out);
  out.writeFloat(rise);
  out.writeFloat(hide_time);
  out.writeFloat(dry_time);
  out.writeFloat(sway);
}

void Tentacle::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MonsterObject::loadFields(in, version, loader);
  rise = in.readFloat();
  hide_time = in.readFloat();
  dry_time = in.readFloat();
  sway = in.readFloat();
}

void Tentacle::onLoaded()
{
  MonsterObject::onLoaded();
  auto sane = [](float v, float lo, float hi) { return isfinite(v) ? (v < lo ? lo : v > hi ? hi : v) : lo; };
  rise = sane(rise, 0, 1);
  hide_time = sane(hide_time, 0, HIDE_SECONDS);
  dry_time = sane(dry_time, 0, DRY_SECONDS);
  sway = sane(sway, 0, 1e6f);
  if (state < DOWN || state > LASH) state = DOWN;
}

// {===== Spawning

MonsterObject* spawn_tentacle(float x, float z)
{
  if (!isfinite(x) || !isfinite(z)) return nullptr;
  // The deepest water within a few cells: a script's or a developer's point
  // near a lake's middle is enough.
  float best[3] = {wrap_coord(x), 0, wrap_coord(z)};
  float best_depth = depth_at(best);
  for (int dz = -SPAWN_SEARCH; dz <= SPAWN_SEARCH; ++dz)
    for (int dx = -SPAWN_SEARCH; dx <= SPAWN_SEARCH; ++dx) {
      float p[3] = {wrap_coord(floorf(x) + dx + 0.5f), 0, wrap_coord(floorf(z) + dz + 0.5f)};
      float d = depth_at(p);
      if (d > best_depth) best_depth = d, memcpy(best, p, sizeof best);
    }
  if (!(best_depth > RISE_DEPTH)) {
    debug("monsters: no tentacle at %.0f %.0f: the deepest water near is %.2f deep (it needs over %.1f)", x, z,
          best_depth, RISE_DEPTH);
    return nullptr;
  }
  auto* t = static_cast<Tentacle*>(new_gameobj_by_id(CID_Tentacle));
  if (!t) return nullptr;
  t->pos[0] = best[0];
  t->pos[2] = best[2];
  t->pos[1] = get_land_height_at(vec(best)) + best_depth;
  t->yaw = 2 * PI * hash01(t->serialId, 5);
  t->sway = 10 * hash01(t->serialId, 6);
  remember_pos(t);
  debug("monsters: a tentacle in water %.1f deep at %.0f %.0f", best_depth, best[0], best[2]);
  return t;
}

// {===== Developer socket

namespace {

// "tentacles": every tentacle (serial, state, rise, health) and the
// deepest water of the world (where one can be spawned).
void cmd_tentacles(const DevMessage&, DevReply& reply)
{
  float deep[3] = {0, 0, 0}, deepest = -1e9f;
  for (int z = 0; z < 256; z += 2)
    for (int x = 0; x < 256; x += 2) {
      float p[3] = {x + 0.5f, 0, z + 0.5f};
      float d = depth_at(p);
      if (d > deepest) deepest = d, memcpy(deep, p, sizeof deep);
    }
  reply.add(" count=%d deep=%.1f,%.1f,%.2f", Tentacle_list.num, deep[0], deep[2], deepest);
  for (Tentacle* t : Tentacle_list)
    if (!t->destroyed)
      reply.add(" t=%d,%d,%.2f,%.0f,%.2f,%.2f,%.2f", t->serialId, t->state, t->rise, t->health, t->pos[0], t->pos[1],
                t->pos[2]);
}

} // namespace

void register_tentacle_dev_commands() { register_dev_command("tentacles", &cmd_tentacles); }
