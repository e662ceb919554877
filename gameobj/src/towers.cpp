// Guard towers, which shoot at monsters in range, and the house spell.
#include "game.h"

// stub: owner towers
const char* cast_guard_tower_spell(Player*, const Vec4f&) { return "Not available yet"; }
const char* cast_house_spell(Player*, const Vec4f&) { return "Not available yet"; }
int damage_guard_towers_near(const Vec4f&, float, float) { return 0; }
void register_tower_dev_commands() {}
