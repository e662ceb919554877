// The player: health, mana, damage, death and respawn.
// (Not built yet: these do nothing.)
#include "game.h"
#include "table_entries.h"
#include "host/gameobj_api.h"

Player* game_player() { return local_player; }
float player_health() { return 0; }
float player_max_health() { return 0; }
float player_mana() { return 0; }
float player_max_mana() { return 0; }
void damage_player(float, const char*) {}
void heal_player(float) {}
void register_player_dev_commands() {}
