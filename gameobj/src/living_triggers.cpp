// Sensors and time triggers the world script places for its events, and the
// natural volcanoes that erupt now and then.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <squirrel.h>

#include "core/log.h"
#include "core/stream.h"
#include "game_world.h"
#include "living.h"
#include "objects.h"
#include "script/sqbind.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"

using namespace living;

namespace {

constexpr float TICKS_PER_SECOND = 20.0f;


// The world script hears { name, id, x, z } through its process_event.
void send_event(const char* name, int id, const float pos[4])
{
  HSQUIRRELVM v = world_gen_vm.vm;
  if (!v) {
    debug("gameobj: trigger #%d fired '%s' with no world script to hear it", id, name);
    return;
  }
  SQInteger top = sq_gettop(v);
  sq_newtable(v);
  sq_pushstring(v, "name", -1);
  sq_pushstring(v, name, -1);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "id", -1);
  sq_pushinteger(v, id);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "x", -1);
  sq_pushfloat(v, pos[0]);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "z", -1);
  sq_pushfloat(v, pos[2]);
  sq_newslot(v, -3, SQFalse);
  SqObject event = SqObject::fromStack(v, -1);
  sq_settop(v, top);
  world_script_event(event);
}

} // namespace

// ===== Triggers ==============================================================

void TriggerObject::fire()
{
  if (destroyed) return;
  debug("gameobj: %s #%d fired '%s'", getClassName(), serialId, event);
  play_sound_at("trigger_activated", vec_of(pos));
  // Removed first: whatever the script does on hearing it, it fires once.
  destroy();
  send_event(event, serialId, pos);
}

void TriggerObject::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeString(event);
}

void TriggerObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < 3) return;
  char text[256];
  in.readString(text);
  // A longer name than the field holds is cut (only a damaged block has one).
  size_t len = strlen(text);
  if (len >= sizeof event) len = sizeof event - 1;
  memcpy(event, text, len);
  event[len] = 0;
}

void Sensor::update(float dt)
{
  Player* player = game_player();
  if (!player) return;
  auto* body = static_cast<GameObj*>(player);
  if (living_distance(pos, body->pos) <= radius) fire();
}

void Sensor::saveFields(OutputStream& out)
{
  TriggerObject::saveFields(out);
  out.writeFloat(radius);
}

void Sensor::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  TriggerObject::loadFields(in, version, loader);
  if (version < 3) return;
  radius = in.readFloat();
  if (!(radius >= 0.0f)) radius = 0.0f;
}

int TimeTrigger::query(int what)
{
  if (what == QUERY_TIMER_MS) return int((fire_tick - get_world_time()) * (1000.0f / TICKS_PER_SECOND));
  return GameObj::query(what);
}

void TimeTrigger::update(float dt)
{
  if (get_world_time() >= fire_tick) fire();
}

void TimeTrigger::saveFields(OutputStream& out)
{
  TriggerObject::saveFields(out);
  out.writeInt(fire_tick);
}

void TimeTrigger::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  TriggerObject::loadFields(in, version, loader);
  if (version < 3) return;
  fire_tick = in.readInt();
}

// ===== Natural volcanoes =====================================================

int NaturalVolcano::query(int what)
{
  switch (what) {
  case QUERY_STATE: return erupting ? 1 : 0;
  case QUERY_TIMER_MS: return int(lroundf(timer * 1000.0f));
  default: return GameObj::query(what);
  }
}

void NaturalVolcano::update(float dt)
{
  Vec4f crater = vec_of(pos);
  pos[1] = get_land_height_at(crater);
  crater.y = pos[1];
  timer -= dt;
  smoke_timer -= dt;
  if (!erupting) {
    if (smoke_timer <= 0.0f) { // a thin plume between eruptions
      smoke_timer = 2.5f;
      play_fx("spawn_volcano_smoke_fx", crater, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 0.5f);
    }
    if (timer <= 1e-3f) {
      erupting = true;
      timer = eruption_seconds;
      ++eruptions;
      smoke_timer = 0;
      debug("gameobj: volcano #%d at %.0f %.0f erupts (%d)", serialId, pos[0], pos[2], eruptions);
      play_sound_at("volcano_explosion", crater);
      play_sound_at("volcano_eruption", crater);
    }
    return;
  }
  add_source_lava(crater, radius, lava_rate * dt);
  if (smoke_timer <= 0.0f) {
    smoke_timer = 0.4f;
    play_fx("spawn_volcano_smoke_fx", crater, Vec4f{0, 2, 0, 0}, Vec4f{0, 1, 0, 0}, 1.5f);
  }
  if (timer <= 1e-3f) {
    // The next one comes after the period, give or take a quarter.
    erupting = false;
    Rng rng(fire_seed(get_world_time(), serialId));
    timer = whole_ticks(period * (0.75f + 0.5f * rng.unit()));
  }
}

void NaturalVolcano::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeFloat(period);
  out.writeFloat(radius);
  out.writeFloat(lava_rate);
  out.writeFloat(eruption_seconds);
  out.writeFloat(timer);
  out.writeBool(erupting);
  out.writeInt(eruptions);
}

void NaturalVolcano::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < 3) return;
  period = in.readFloat();
  radius = in.readFloat();
  lava_rate = in.readFloat();
  eruption_seconds = in.readFloat();
  timer = in.readFloat();
  erupting = in.readBool();
  eruptions = in.readInt();
  if (!(period > 0.0f)) period = 90.0f;
  if (!isfinite(timer)) timer = period;
}
