// Mana orbs, owned mana and the world portal.
// (Not built yet: these do nothing.)
#include "game.h"
#include "table_entries.h"

int get_owned_mana() { return 0; }
void recalc_mana_ownership() { }

int world_mana_total() { return 0; }
const char* cast_claim_mana(Player*, const Vec4f&) { return "Not available yet"; }
const char* cast_use_portal(Player*, const Vec4f&) { return "Not available yet"; }
bool world_portal_open(Vec4f*) { return false; }
void register_mana_dev_commands() {}
void bind_game_objects(HSQUIRRELVM) {}
