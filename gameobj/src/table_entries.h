// The table entries each part of the game defines (the file is named in
// each group); funcs.cpp lists them by name. A part that changes an entry's
// arguments changes its line here.
#pragma once
#include "game.h"

class BaseGuiElement;

// spell_bar.cpp
// False for a class that is not a spell, or one already in the bar.
bool add_spell_to_grid(int class_id);
void save_spells();
void load_spells();
void pick_up_spell(int class_id);
bool player_has_spell(const char* spell_class);
bool player_has_spell_selected(const char* spell_class);
void add_initial_spells();
void add_all_spells();
void init_spell_grid();
void toggle_mana_cheat();
// The developer mode's click: the selected spell where the view meets the land.
void on_devmode_click(const Vec4f& pos, const Vec4f& dir);

// fx.cpp: each *_fx runs the effects script's function of its name at pos
// with velocity vel (the host calls spawn_water_vapor_fx with x and z).
void init_fx_data();
void gatherer_death_fx(const Vec4f& pos, const Vec4f& vel);
void gatherer_summon_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_water_vapor_fx(float x, float z);
void spawn_volcano_smoke_fx(const Vec4f& pos, const Vec4f& vel);
void lightning_hit_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_resobj_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_spellobj_fx(const Vec4f& pos, const Vec4f& vel);
void wyvern_death_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_meteor_fx(const Vec4f& pos, const Vec4f& vel);
void meteor_explode_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_water_sink_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_water_source_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_magic_missile_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_waterball_missile_fx(const Vec4f& pos, const Vec4f& vel);
void spawn_fireball_fx(const Vec4f& pos, const Vec4f& vel);
void fireball_explode_fx(const Vec4f& pos, const Vec4f& vel);

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
// Icon size factor (0.25 to 4) and opacity (0 to 1) of the developer map and
// the HUD's mini-map; a value that is not a number keeps the old one.
void set_world_icon_params(float scale, float opacity);
void set_radio();
void get_radio();
void set_slider();
// Lays `popup` out at its measured size at (x, y), moved to stay on screen.
void place_popup(BaseGuiElement* popup, float x, float y);

// ui_crafting.cpp: the crafting panel (a spell's resource costs before it is
// cast): cleared, shown with its title, one row per cost, hidden.
void reset_crafting_ui();
void show_crafting_ui(const char* title);
void add_crafting_cost(const char* resource, int need);
void hide_crafting_ui();

// render_shadow.cpp: the objects drawn into the object shadow maps
void render_gameobj_shadow_map(float dt);
// dev_map.cpp: the developer mode's world map, shown and hidden with the
// "Show map" control (Tab) or the developer socket's "devMap".
void render_dev_world_map(float dt);
// funcs.cpp: calls fn(obj, user) once for every live object whose class is
// `class_id` or derives from it (0: every object), until fn answers false;
// answers how many objects it was called for.
int for_each_game_object(int class_id, bool (*fn)(GameObject* obj, void* user), void* user);

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

// living_houses.cpp: the terrain renderer's call for each house cell it
// leaves to the module (the cell's surface record and its coordinates).
namespace HeightmapData { struct Surface; }
void render_building(const HeightmapData::Surface* s, int x, int z);

