// What the game's parts offer each other. Each part lives in its own files
// (named in its heading) and owns the table entries listed there; the table
// itself (funcs.cpp) only names them.
#pragma once
#include "classes.h"
#include "core/math_types.h"

struct SQVM;
typedef SQVM* HSQUIRRELVM;

// ===== The player (player.cpp) ===============================================
// The local player, or null outside a world.
Player* game_player();
float player_health();
float player_max_health();
float player_mana();
float player_max_mana();
// Harm to the local player; `cause` names it in the log ("lava", "fire",
// "wyvern"). Death and respawn follow inside.
void damage_player(float amount, const char* cause);
void heal_player(float amount);

// ===== Spells and the spell bar (spell_bar.cpp, fx.cpp) =====================
// One spell of the catalogue: its spell class, the name and tooltip the bar
// shows, the icon's name in the icon atlas, the mana it costs and its
// cooldown in seconds.
struct SpellInfo {
  int class_id;
  const char* name;
  const char* icon;
  const char* tooltip;
  float mana;
  float cooldown;
};
// null for a class that is not a spell.
const SpellInfo* find_spell_info(int class_id);
const SpellInfo* find_spell_info(const char* class_name);
int spell_bar_count();
// The spell class in a slot of the bar, or 0.
int spell_bar_spell(int slot);
// Seconds until the spell in the slot can be cast again (0: ready).
float spell_bar_cooldown(int slot);
int spell_bar_selected();
void spell_bar_select(int slot);
// The local player casts the spell (class id) at ground point `target`
// exactly as a click there would. Null when cast, else the reason shown to
// the player ("You do not have that spell", "Not enough mana", "Not ready yet").
const char* cast_spell(int class_id, const Vec4f& target);
// The spell classes' own casting, called by cast_spell after the checks; the
// owner of each spell implements it. Null when cast, else the reason (no
// mana or cooldown is then taken).
using SpellCastFn = const char* (*)(Player* caster, const Vec4f& target);
// Endless mana (the cheat) is on.
bool mana_cheat_on();
// Plays an effect of the effects script at a place (fx.cpp); the *_fx entries
// of the table are these with their script function's name.
void play_fx(const char* name, const Vec4f& pos, const Vec4f& vel, const Vec4f& dir, float scale);
// Plays a sound event at a place (3D events) or for the player (2D events).
void play_sound_at(const char* event, const Vec4f& pos);
// Plays a looping event at a place and fades it out over `seconds` (the land
// moving under a spell: nothing has to stay to stop it).
void play_sound_fading(const char* event, const Vec4f& pos, float seconds);

// ===== Mana, the portal and pickups (mana.cpp, pickups.cpp) =================
int get_owned_mana();
// Mana of every orb of the world, claimed or not.
int world_mana_total();
// Claim mana and Use portal (SpellCastFn).
const char* cast_claim_mana(Player* caster, const Vec4f& target);
const char* cast_use_portal(Player* caster, const Vec4f& target);
// Whether the world's portal is open, and where.
bool world_portal_open(Vec4f* pos);
// Marks world `index` of the universe table done ("done" = true) and the
// worlds its "links" name reachable ("unlocked" = true); how many were unlocked.
int unlock_world_links(int index);
// The host's player operation as far as mana goes (op 1, spell 79: the
// player was placed in a world it has been in; the portal is checked anew).
void mana_player_spell_op(Player* player, int op, int spell);
// Objects placed by the world script and other parts, on the land at (x, z);
// null when not made (unknown spell class or resource kind). `announce`:
// with the appearing effect and sound (a drop in play, not the world's making).
ManaBall* spawn_mana_orb(float x, float z, int amount);
SpellObject* spawn_spell_pickup(int class_id, float x, float z, bool announce = true);
GlobResObject* spawn_res_pickup(const char* kind, const Vec4f& pos, int amount = 1, bool announce = true);
// The place where the world's portal will open.
WorldPortal* spawn_portal_site(float x, float z);
void register_pickup_dev_commands();

// ===== Screens over the world (ui_hud.cpp, ui_universe.cpp) =================
// Called by the spell bar's input (selection by wheel and number keys,
// casting with the left button), which belongs to spell_bar.cpp. The HUD
// calls it each update while the mouse is not over the HUD.
void spell_input_update(float dt);
void hud_update(float dt);
void hud_draw(float dt);
// True when the mouse is over the HUD (the bar takes the click).
bool hud_mouse(float dt);
// Pick-up animations: the spell's icon flies from the crosshair to its slot
// of the bar; a resource's icon flies to the resources row. The table's
// start_spell_pick_up_anim / start_res_pick_up_anim (no arguments) animate
// the bar's newest spell and a generic resource.
void hud_spell_picked_up(int class_id);
void hud_res_picked_up(const char* res_name); // "shard", "vortex", "firebloom", "star", "seed"

// ===== Creatures and combat spells (monsters*.cpp, combat_*.cpp) ===========
// Hostile monsters alive (wyverns, caterpillars; birds are not counted).
int count_alive_monsters();
// Harm to monsters within `radius` of `pos`; returns how many were hit.
int damage_monsters_near(const Vec4f& pos, float radius, float amount, const char* cause);
// Once per world step (update_gameobj): the world's monster spawning.
void update_monster_spawning(float dt);
// The combat spells' casting (SpellCastFn) for the spell catalogue.
const char* cast_fireball(Player* caster, const Vec4f& target);
const char* cast_meteor(Player* caster, const Vec4f& target);
const char* cast_lightning_spell(Player* caster, const Vec4f& target);
const char* cast_thunderstorm(Player* caster, const Vec4f& target);
const char* cast_healing(Player* caster, const Vec4f& target);

// ===== The world's life (living.cpp) ========================================
// Sets burnable things near `pos` on fire (trees, houses).
void ignite_near(const Vec4f& pos, float radius);

// ===== The castle and its gatherers (castle*.cpp, classes_castle.h) =========
const char* cast_castle_spell(Player* caster, const Vec4f& target);
// Harm to the player's buildings (castle, gatherers, guard towers) within
// `radius` of `pos` (a wyvern's breath); how many were hit.
int damage_buildings_near(const Vec4f& pos, float radius, float amount, const char* cause);
// What a wyvern at `pos` hunts besides the player: the castle or a gatherer
// within `radius` on the ground, or null.
GameObj* building_prey_near(const float pos[3], float radius);
// Whether cells x0..x0+nx-1, z0..z0+nz-1 (wrapping) come within `margin`
// cells of a castle's ground: other buildings keep off it.
bool near_castle_ground(int x0, int z0, int nx, int nz, int margin);
void register_castle_dev_commands();

// ===== Guard towers and the house spell (towers*.cpp, classes_towers.h) =====
const char* cast_guard_tower_spell(Player* caster, const Vec4f& target);
const char* cast_house_spell(Player* caster, const Vec4f& target);
// The guard towers' share of damage_buildings_near.
int damage_guard_towers_near(const Vec4f& pos, float radius, float amount);
void register_tower_dev_commands();

// ===== Resources and crafting (crafting*.cpp, ui_crafting.cpp) ==============
// What a spell costs in the universe's global resources ("shard", "vortex",
// "firebloom", "star", "seed"), checked and taken by cast_spell together
// with the mana: null when the player has enough, else the reason shown.
// Without a universe (the main menu's world, a world tried from the developer
// mode without a game) costs do not apply: the strong spells are free.
const char* check_spell_resources(int class_id);
void take_spell_resources(int class_id);
bool spell_resources_apply();
// "Costs 1 Fallen star" for the tooltips, "" for a spell without costs.
void spell_cost_text(int class_id, char* out, int size);
// Crafting in the universe: `what` is a recipe ("seed_to_star") or the
// resource to make ("star"); craft_for_spell makes what the spell lacks.
// Null when crafted, else the reason.
const char* craft_resource(const char* what);
const char* craft_for_spell(int class_id);
void register_crafting_dev_commands();
// The crafting panel (ui_crafting.cpp): the HUD feeds it the spell hovered
// or selected in the bar each update (it then also takes the Craft key and
// click), tells it where the mouse is (true: over the panel) and draws it.
class RenderBatch;
class DevReply;
namespace ui {
struct HudLayout;
}
void crafting_panel_update(int spell_class);
bool crafting_panel_mouse(const ui::HudLayout& l, float x, float y);
void crafting_panel_draw(RenderBatch& b, const ui::HudLayout& l);
// The panel's top edge on screen (HUGE_VALF when hidden): the bar's tooltip goes above it.
float crafting_panel_top(const ui::HudLayout& l);
// The spell shown (0 when hidden), and the panel's state for the socket.
int crafting_panel_spell();
void crafting_panel_describe(DevReply& reply);

// ===== The developer map and the lake tentacle (dev_map*.cpp, tentacle*.cpp) =
// How the maps draw their icons (set_world_icon_params): a size factor and an
// opacity, shared by the developer map and the HUD's mini-map.
struct WorldIconParams {
  float scale = 1;
  float opacity = 1;
};
WorldIconParams world_icon_params();
// Whether class `class_id` is `base_id` or derives from it.
bool gameobj_class_is(int class_id, int base_id);
// A tentacle in the deepest water within a few cells of (x, z); null when the
// water there is not deep enough for one.
MonsterObject* spawn_tentacle(float x, float z);
void register_devmap_dev_commands();   // dev_map.cpp: devMap (and the tentacle's)
void register_tentacle_dev_commands(); // tentacle.cpp: tentacles

// ===== Object shadows (render_shadow*.cpp) ==================================
// True while the shadow passes call the casters' render: a render then only
// queues instances, and leaves out nothing for being behind the camera.
bool drawing_object_shadows();
void register_render_dev_commands();

// ===== Script functions for the world script (bind_gameobj) ==================
// Each part registers its own functions in the world script's VM.
void bind_game_objects(HSQUIRRELVM vm); // pickups.cpp / mana.cpp: orbs, portal, pickups
void bind_living_world(HSQUIRRELVM vm); // living.cpp
void bind_monsters(HSQUIRRELVM vm);     // monsters.cpp
// The developer socket's commands of each part, registered after every link.
void register_player_dev_commands(); // player.cpp / spell_bar.cpp: cast, give, player, ground
void register_mana_dev_commands();   // mana.cpp: portal
void register_screen_dev_commands(); // ui_universe.cpp: newGame, enter
void register_monster_dev_commands(); // monsters.cpp
void register_living_dev_commands();  // living.cpp
