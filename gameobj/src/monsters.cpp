// Creatures and the combat spells.
// (Not built yet: these do nothing.)
#include "game.h"
#include "table_entries.h"

int count_alive_monsters() { return 0; }
void remove_all_monsters() { }
void toggle_monster_spawn() { }
void pick_lightning_target() { }
void cast_lightning() { }
void apply_fireball() { }

int damage_monsters_near(const Vec4f&, float, float, const char*) { return 0; }
void bind_monsters(HSQUIRRELVM) {}
void register_monster_dev_commands() {}

// stub: owner creatures
const char* cast_fireball_spell(Player*, const Vec4f&) { return "Not available yet"; }
const char* cast_meteor_spell(Player*, const Vec4f&) { return "Not available yet"; }
const char* cast_lightning_spell(Player*, const Vec4f&) { return "Not available yet"; }
const char* cast_thunderstorm_spell(Player*, const Vec4f&) { return "Not available yet"; }
const char* cast_healing_spell(Player*, const Vec4f&) { return "Not available yet"; }
