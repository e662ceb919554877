// The castle, the player's base and respawn point, and its mana gatherers.
#include "game.h"

// stub: owner castle
const char* cast_castle_spell(Player*, const Vec4f&) { return "Not available yet"; }
int damage_buildings_near(const Vec4f& pos, float radius, float amount, const char*)
{
  return damage_guard_towers_near(pos, radius, amount);
}
void register_castle_dev_commands() {}
