// The screen over a world: health and mana, the spell bar, the mini-map and messages.
// (Not built yet: these do nothing.)
#include "game.h"
#include "table_entries.h"

void reset_game_ui_screen() { }
void set_game_ui_screen() { }
void init_spells_ui() { }
void close_spells_ui() { }
void spells_ui_after_resize() { }
void start_spell_pick_up_anim() { }
void start_res_pick_up_anim() { }
void show_screen_message(const char* text) { }
void show_screen_sub_message(const char* text) { }
void draw_spells_ui(float dt) { }
void update_spells_ui(float dt) { }
bool update_spells_ui_mouse(float dt) { return false; }
void render_world_map() { }
void init_map_ui() { }

void hud_update(float) {}
void hud_draw(float) {}
bool hud_mouse(float) { return false; }
