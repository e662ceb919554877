// Effects and sounds of the game: the table's *_fx entries run the effects
// script's function of the same name; sound events are placed in the world.
#include <math.h>

#include "audio/sound.h"
#include "audio/sound_events.h"
#include "core/log.h"
#include "game.h"
#include "game_world.h"
#include "render/camera.h"
#include "render/effects.h"
#include "table_entries.h"

namespace {

const Vec4f up{0, 1, 0, 0};

// The shortest signed distance along one axis of the 256-cell wrapping world.
float wrap_delta(float d) { return d - 256.0f * floorf(d / 256.0f + 0.5f); }

} // namespace

void play_fx(const char* name, const Vec4f& pos, const Vec4f& vel, const Vec4f& dir, float scale)
{
  if (name) call_fx_script(name, pos, vel, dir, scale);
}

// 2D events (no 3D channel) are left where the sound script put them.
void play_sound_at(const char* event, const Vec4f& pos)
{
  unsigned int ch = play_sound_event(event);
  if (!ch) return;
  update_3d_sound(ch, SoundVec{pos.x, pos.y, pos.z, 1}, SoundVec{0, 0, 0, 0});
}

void play_sound_fading(const char* event, const Vec4f& pos, float seconds)
{
  unsigned int ch = play_sound_event(event);
  if (!ch) return;
  update_3d_sound(ch, SoundVec{pos.x, pos.y, pos.z, 1}, SoundVec{0, 0, 0, 0});
  fade_out_and_stop_sound(ch, int(seconds * 1000.0f));
}

void LoopSound::keep(const char* event, const Vec4f& pos, float dt, float reach)
{
  float dx = wrap_delta(pos.x - camera.pos.x), dz = wrap_delta(pos.z - camera.pos.z), dy = pos.y - camera.pos.y;
  if (dx * dx + dy * dy + dz * dz > reach * reach) {
    stop();
    return;
  }
  retry -= dt;
  if (!ch && retry <= 0.0f) {
    retry = 2.0f; // the event's channels are all busy: ask again later
    ch = play_sound_event(event);
  }
  if (ch) update_3d_sound(ch, SoundVec{pos.x, pos.y, pos.z, 1}, SoundVec{0, 0, 0, 0});
}

void LoopSound::stop(int fade_ms)
{
  if (ch) fade_out_and_stop_sound(ch, fade_ms);
  ch = 0;
  retry = 0;
}

void init_fx_data() { debug("gameobj: effects come from the effects script"); }

#define GAMEOBJ_FX_ENTRY(name) \
  void name(const Vec4f& pos, const Vec4f& vel) { play_fx(#name, pos, vel, up, 1.0f); }
GAMEOBJ_FX_ENTRY(gatherer_death_fx)
GAMEOBJ_FX_ENTRY(gatherer_summon_fx)
GAMEOBJ_FX_ENTRY(spawn_volcano_smoke_fx)
GAMEOBJ_FX_ENTRY(lightning_hit_fx)
GAMEOBJ_FX_ENTRY(spawn_resobj_fx)
GAMEOBJ_FX_ENTRY(spawn_spellobj_fx)
GAMEOBJ_FX_ENTRY(wyvern_death_fx)
GAMEOBJ_FX_ENTRY(spawn_meteor_fx)
GAMEOBJ_FX_ENTRY(meteor_explode_fx)
GAMEOBJ_FX_ENTRY(spawn_water_sink_fx)
GAMEOBJ_FX_ENTRY(spawn_water_source_fx)
GAMEOBJ_FX_ENTRY(spawn_magic_missile_fx)
GAMEOBJ_FX_ENTRY(spawn_waterball_missile_fx)
GAMEOBJ_FX_ENTRY(spawn_fireball_fx)
GAMEOBJ_FX_ENTRY(fireball_explode_fx)
#undef GAMEOBJ_FX_ENTRY

// The fluid simulation's steam over lava: at the fluid's surface there.
void spawn_water_vapor_fx(float x, float z)
{
  Vec4f at{x, 0, z, 1};
  at.y = get_land_height_at(at) + (get_water_at(at) < 0 ? -get_water_at(at) : get_water_at(at));
  play_fx("spawn_water_vapor_fx", at, Vec4f{0, 0, 0, 0}, up, 1.0f);
}
