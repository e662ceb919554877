// The spell bar: the spells the player owns, selection and casting.
// (Not built yet: these do nothing.)
#include "game.h"
#include "table_entries.h"

void add_spell_to_grid() { }
void save_spells() { }
void load_spells() { }
void pick_up_spell(int) { } // stub: owner spells
bool player_has_spell(const char* spell_class) { return false; }
void player_has_spell_selected() { }
void add_initial_spells() { }
void add_all_spells() { }
void init_spell_grid() { }
void toggle_mana_cheat() { }

const SpellInfo* find_spell_info(int) { return nullptr; }
const SpellInfo* find_spell_info(const char*) { return nullptr; }
int spell_bar_count() { return 0; }
int spell_bar_spell(int) { return 0; }
float spell_bar_cooldown(int) { return 0; }
int spell_bar_selected() { return 0; }
void spell_bar_select(int) {}
const char* cast_spell(int, const Vec4f&) { return "Not available yet"; }
void spell_input_update(float) {}
