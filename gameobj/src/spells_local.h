// What the player, the spell bar, the missiles and the developer commands
// share among themselves (the rest of the game uses game.h).
#pragma once
#include "game.h"

struct Matrix44;

// ===== player.cpp
// Mana per second the pool refills with `owned_mana` claimed.
float mana_refill_per_second(int owned_mana);
void player_move(Player* p, float dt, float speed, const Vec4f& move, const Matrix44& cam, float dash);
bool player_position(Player* p, Vec4f* out);
void player_take_camera(Player* p, const Vec4f& pos);
// Sets health and mana (NaN: keep), within the maxima; 0 health kills.
void set_player_vitals(Player* p, float health, float mana);

// ===== spell_bar.cpp
// After a reload of the module: the bar from the game's data.
void restore_spell_bar_after_reload();
// Cooldowns run down (the local player's step).
void spell_bar_tick(float dt);
// The bar's spells as comma-separated class names.
void spell_bar_names(char* out, int size);
// Selects the slot holding the host's spell number `spell_id` (the host's
// player spell operation 1 when a player is placed).
void player_spell_op(Player* player, int op, int spell_id);
// The ground point under the screen centre (the crosshair); false when the
// view meets no land within reach.
bool pick_ground_target(Vec4f* out);

// ===== missiles.cpp
// A spell's missile from the caster (or from above the target without one)
// to the ground point `target`.
GameObj* launch_spell_missile(int class_id, Player* caster, const Vec4f& target);

// ===== spells_terrain.cpp: the casting of this part's spells (SpellCastFn)
const char* cast_hill_spell(Player* caster, const Vec4f& target);
const char* cast_pit_spell(Player* caster, const Vec4f& target);
const char* cast_fault_spell(Player* caster, const Vec4f& target);
const char* cast_volcano_spell(Player* caster, const Vec4f& target);
const char* cast_water_source_spell(Player* caster, const Vec4f& target);
const char* cast_water_sink_spell(Player* caster, const Vec4f& target);
const char* cast_waterball_spell(Player* caster, const Vec4f& target);

// ===== spells_host.cpp: the host's spell table
// The class name of the host's spell number, or null.
const char* host_spell_class(int spell_id);
// The host's icon name for a spell class, or null.
const char* host_spell_icon(const char* class_name);
