// Resource costs of the strong spells and the crafting panel that shows them.
#include "game.h"
#include "table_entries.h"

// stub: owner crafting
const char* check_spell_resources(int) { return nullptr; }
void take_spell_resources(int) {}
void register_crafting_dev_commands() {}
void reset_crafting_ui() {}
void show_crafting_ui() {}
void add_crafting_cost() {}
void hide_crafting_ui() {}
