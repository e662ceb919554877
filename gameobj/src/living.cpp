// The world's life: trees and fire, stones, houses, natural volcanoes, springs, sensors and triggers.
// (Not built yet: these do nothing.)
#include "game.h"
#include "table_entries.h"

void render_building() { }

void ignite_near(const Vec4f&, float) {}
void bind_living_world(HSQUIRRELVM) {}
void register_living_dev_commands() {}

// stub: owner living
const char* cast_castle_spell(Player*, const Vec4f&) { return "Not available yet"; }
const char* cast_guard_tower_spell(Player*, const Vec4f&) { return "Not available yet"; }
const char* cast_house_spell(Player*, const Vec4f&) { return "Not available yet"; }
