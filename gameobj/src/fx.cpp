// Effects and sounds of the game: the table's *_fx entries run the effects script's function of the same name.
// (Not built yet: these do nothing.)
#include "game.h"
#include "table_entries.h"

void init_fx_data() { }
void gatherer_death_fx() { }
void gatherer_summon_fx() { }
void spawn_water_vapor_fx(float x, float z) { }
void spawn_volcano_smoke_fx() { }
void lightning_hit_fx() { }
void spawn_resobj_fx() { }
void spawn_spellobj_fx() { }
void wyvern_death_fx() { }
void spawn_meteor_fx() { }
void meteor_explode_fx() { }
void spawn_water_sink_fx() { }
void spawn_water_source_fx() { }
void spawn_magic_missile_fx() { }
void spawn_waterball_missile_fx() { }
void spawn_fireball_fx() { }
void fireball_explode_fx() { }

void play_fx(const char*, const Vec4f&, const Vec4f&, const Vec4f&, float) {}
void play_sound_at(const char*, const Vec4f&) {}
