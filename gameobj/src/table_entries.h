// The table entries each part of the game defines (the file is named in
// each group); funcs.cpp lists them by name. A part that changes an entry's
// arguments changes its line here.
#pragma once
#include "game.h"

// spell_bar.cpp
void add_spell_to_grid();
void save_spells();
void load_spells();
void pick_up_spell();
bool player_has_spell(const char* spell_class);
void player_has_spell_selected();
void add_initial_spells();
void add_all_spells();
void init_spell_grid();
void toggle_mana_cheat();

// fx.cpp
void init_fx_data();
void gatherer_death_fx();
void gatherer_summon_fx();
void spawn_water_vapor_fx(float x, float z);
void spawn_volcano_smoke_fx();
void lightning_hit_fx();
void spawn_resobj_fx();
void spawn_spellobj_fx();
void wyvern_death_fx();
void spawn_meteor_fx();
void meteor_explode_fx();
void spawn_water_sink_fx();
void spawn_water_source_fx();
void spawn_magic_missile_fx();
void spawn_waterball_missile_fx();
void spawn_fireball_fx();
void fireball_explode_fx();

// mana.cpp
int get_owned_mana();
void recalc_mana_ownership();

// ui_hud.cpp
void reset_game_ui_screen();
void set_game_ui_screen();
void init_spells_ui();
void close_spells_ui();
void spells_ui_after_resize();
void start_spell_pick_up_anim();
void start_res_pick_up_anim();
void show_screen_message(const char* text);
void show_screen_sub_message(const char* text);
void draw_spells_ui(float dt);
void update_spells_ui(float dt);
bool update_spells_ui_mouse(float dt);
void render_world_map();
void init_map_ui();

// ui_universe.cpp
void open_universe_gui();
void set_world_icon_params();
void set_radio();
void get_radio();
void set_slider();
void place_popup();

// monsters.cpp, combat_spells.cpp
int count_alive_monsters();
void remove_all_monsters();
// Switches the spawning off or on again; answers whether it is now on.
bool toggle_monster_spawn();
// The hostile monster nearest to `point` on the ground within the
// lightning's reach, or null; `strike` gets where the bolt lands (the
// monster, else the land under the point).
MonsterObject* pick_lightning_target(const Vec4f& point, Vec4f* strike);
// A bolt from the sky at the target picked for `point`; the serial id of the
// monster struck, 0 when it hit the ground.
int cast_lightning(const Vec4f& point, float damage);
// A fireball's burst at `pos`: damage within `radius`, fire, effect and
// sound; how many monsters it hit.
int apply_fireball(const Vec4f& pos, float radius, float damage);

// living.cpp
void render_building();

