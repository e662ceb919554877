// The spell catalogue and the spell bar: the spells the player owns, their
// selection, cooldowns and casting, and the bar kept in the game's data.
//
// The bar belongs to the game, not to a world (the player object is made
// anew in every world), so it is module state, written into the game's
// information table ("spells": class names, "spell_selected") whenever the
// game is saved and read back when it is loaded or the module is reloaded.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <squirrel.h>

#include "core/input.h"
#include "core/log.h"
#include "game.h"
#include "game_world.h"
#include "host/gameobj_api.h"
#include "objects.h"
#include "render/camera.h"
#include "script/sqbind.h"
#include "spells_local.h"
#include "table_entries.h"
#include "world/universe.h"

namespace {

// Costs and cooldowns: the land spells are cheap, the volcano is dear. The
// strong spells also cost resources (crafting_rules.h); the tooltip names them.
SpellInfo catalogue[] = {
    {CID_FireballSpell, "Fireball", nullptr, "Hurls a ball of fire that burns what it hits", 5, 0.5f},
    {CID_HillSpell, "Hill", nullptr, "Raises a hill where it lands", 8, 1.0f},
    {CID_PitSpell, "Pit", nullptr, "Digs a pit where it lands", 8, 1.0f},
    {CID_FaultSpell, "Fracture", nullptr, "Cracks the land along the direction of the cast", 15, 2.0f},
    {CID_WaterballSpell, "Water globe", nullptr, "A ball of water that bursts where it lands", 10, 1.0f},
    {CID_WaterSourceSpell, "Water source", nullptr, "Opens a spring that pours water for a minute and a half", 20, 3.0f},
    {CID_WaterSinkSpell, "Water sink", nullptr, "Opens a sink that drains water for half a minute", 20, 3.0f},
    {CID_VolcanoSpell, "Volcano", nullptr, "Raises a volcano that pours lava for half a minute", 60, 10.0f},
    {CID_MeteorSpell, "Meteor", nullptr, "Calls down a fallen star: a crater, fire and a shock wave", 50, 8.0f},
    {CID_LightningSpell, "Lightning", nullptr, "Strikes the nearest monster or the ground under the cursor", 10, 1.0f},
    {CID_ThunderstormSpell, "Thunderstorm", nullptr, "A cloud that rains lightning on monsters for a while", 40, 15.0f},
    {CID_HealingSpell, "Healing", nullptr, "Heals you", 20, 5.0f},
    {CID_CastleSpell, "Castle", nullptr, "Builds your castle on flat land: your base and respawn point", 80, 5.0f},
    {CID_GuardTowerSpell, "Guard tower", nullptr, "Builds a tower that shoots fireballs at monsters", 40, 3.0f},
    {CID_HouseSpell, "House", nullptr, "Builds a villagers' house", 20, 2.0f},
    {CID_ClaimManaSpell, "Claim mana", nullptr, "Claims a mana orb: its mana becomes yours", 10, 1.0f},
    {CID_UsePortalSpell, "Use portal", nullptr, "Steps through the open portal to the next worlds", 0, 1.0f},
};
constexpr int CATALOGUE_SIZE = int(sizeof(catalogue) / sizeof(catalogue[0]));

struct CastEntry {
  int class_id;
  SpellCastFn cast;
};
const CastEntry cast_table[] = {
    {CID_HillSpell, cast_hill_spell},
    {CID_PitSpell, cast_pit_spell},
    {CID_FaultSpell, cast_fault_spell},
    {CID_VolcanoSpell, cast_volcano_spell},
    {CID_WaterSourceSpell, cast_water_source_spell},
    {CID_WaterSinkSpell, cast_water_sink_spell},
    {CID_WaterballSpell, cast_waterball_spell},
    {CID_ClaimManaSpell, cast_claim_mana},
    {CID_UsePortalSpell, cast_use_portal},
    {CID_FireballSpell, cast_fireball},
    {CID_MeteorSpell, cast_meteor},
    {CID_LightningSpell, cast_lightning_spell},
    {CID_ThunderstormSpell, cast_thunderstorm},
    {CID_HealingSpell, cast_healing},
    {CID_CastleSpell, cast_castle_spell},
    {CID_GuardTowerSpell, cast_guard_tower_spell},
    {CID_HouseSpell, cast_house_spell},
};

SpellCastFn cast_fn_of(int class_id)
{
  for (const CastEntry& e : cast_table)
    if (e.class_id == class_id) return e.cast;
  return nullptr;
}

// The bar: every catalogue spell fits.
int bar[CATALOGUE_SIZE];
float cooldown_left[CATALOGUE_SIZE];
int bar_count = 0;
int selected = 0;
bool mana_cheat = false;

int slot_of(int class_id)
{
  for (int i = 0; i < bar_count; ++i)
    if (bar[i] == class_id) return i;
  return -1;
}

void clear_bar()
{
  bar_count = 0;
  selected = 0;
  for (float& c : cooldown_left) c = 0;
}

// Casting reach from the camera, and the march step along the view.
constexpr float PICK_REACH = 400.0f;
constexpr float PICK_STEP = 0.5f;

bool below_land(const Vec4f& p) { return p.y <= get_land_height_at(p); }

} // namespace

// ===== The catalogue ==========================================================

const SpellInfo* find_spell_info(int class_id)
{
  // The tooltips of spells with resource costs end with them, made once.
  static char tooltips[CATALOGUE_SIZE][192];
  static bool tooltip_done[CATALOGUE_SIZE];
  for (int i = 0; i < CATALOGUE_SIZE; ++i) {
    SpellInfo& s = catalogue[i];
    if (s.class_id != class_id) continue;
    if (!s.icon) {
      const char* host_icon = host_spell_icon(gameobj_class_name(class_id));
      s.icon = host_icon ? host_icon : "castle"; // the house has no icon of its own
    }
    if (!tooltip_done[i]) {
      tooltip_done[i] = true;
      char cost[96];
      spell_cost_text(class_id, cost, sizeof cost);
      if (*cost) {
        snprintf(tooltips[i], sizeof tooltips[i], "%s\n%s", s.tooltip, cost);
        s.tooltip = tooltips[i];
      }
    }
    return &s;
  }
  return nullptr;
}

const SpellInfo* find_spell_info(const char* class_name)
{
  return class_name ? find_spell_info(gameobj_id_by_name(class_name)) : nullptr;
}

// ===== The bar ================================================================

int spell_bar_count() { return bar_count; }
int spell_bar_spell(int slot) { return slot >= 0 && slot < bar_count ? bar[slot] : 0; }
float spell_bar_cooldown(int slot) { return slot >= 0 && slot < bar_count ? cooldown_left[slot] : 0; }
int spell_bar_selected() { return selected; }
void spell_bar_select(int slot)
{
  if (slot >= 0 && slot < bar_count) selected = slot;
}

void spell_bar_tick(float dt)
{
  for (int i = 0; i < bar_count; ++i) cooldown_left[i] = fmaxf(cooldown_left[i] - dt, 0.0f);
}

void spell_bar_names(char* out, int size)
{
  int used = 0;
  out[0] = 0;
  for (int i = 0; i < bar_count && used < size; ++i)
    used += snprintf(out + used, size - used, "%s%s", i ? "," : "", gameobj_class_name(bar[i]));
}

bool add_spell_to_grid(int class_id)
{
  if (!find_spell_info(class_id)) {
    debug("spells: %s is not a spell; not added to the bar", gameobj_class_name(class_id));
    return false;
  }
  if (slot_of(class_id) >= 0) return false;
  cooldown_left[bar_count] = 0;
  bar[bar_count++] = class_id;
  return true;
}

void init_spell_grid() { clear_bar(); }

void add_initial_spells()
{
  for (int id : {CID_FireballSpell, CID_HillSpell, CID_PitSpell, CID_ClaimManaSpell}) add_spell_to_grid(id);
}

void add_all_spells()
{
  for (const SpellInfo& s : catalogue) add_spell_to_grid(s.class_id);
}

void pick_up_spell(int class_id)
{
  if (!add_spell_to_grid(class_id)) return;
  Vec4f at = local_player ? Vec4f{local_player->pos[0], local_player->pos[1], local_player->pos[2], 1} : Vec4f{0, 0, 0, 1};
  play_sound_at("pick_up_spell", at);
  start_spell_pick_up_anim();
  debug("spells: picked up %s", gameobj_class_name(class_id));
}

bool player_has_spell(const char* spell_class)
{
  return spell_class && slot_of(gameobj_id_by_name(spell_class)) >= 0;
}

bool player_has_spell_selected(const char* spell_class)
{
  return spell_class && bar_count > 0 && bar[selected] == gameobj_id_by_name(spell_class);
}

void player_spell_op(Player*, int op, int spell_id)
{
  const char* name = host_spell_class(spell_id);
  int slot = name ? slot_of(gameobj_id_by_name(name)) : -1;
  if (op == 1 && slot >= 0) selected = slot;
  mana_player_spell_op(nullptr, op, spell_id); // Use portal: the portal is checked again
}

bool mana_cheat_on() { return mana_cheat; }

void toggle_mana_cheat()
{
  mana_cheat = !mana_cheat;
  debug("spells: endless mana %s", mana_cheat ? "on" : "off");
  show_screen_message(mana_cheat ? "Endless mana" : "Endless mana off");
}

// ===== Casting ===============================================================

const char* cast_spell(int class_id, const Vec4f& target)
{
  const SpellInfo* info = find_spell_info(class_id);
  int slot = slot_of(class_id);
  if (!info || slot < 0) return "You do not have that spell";
  if (cooldown_left[slot] > 0.0f) return "Not ready yet";
  Player* caster = local_player;
  if (!caster) return "There is no player in this world";
  if (!mana_cheat && caster->mana < info->mana) return "Not enough mana";
  // The universe's resources (endless mana does not make them free).
  if (const char* short_of = check_spell_resources(class_id)) return short_of;
  if (!isfinite(target.x) || !isfinite(target.y) || !isfinite(target.z)) return "No ground there";
  SpellCastFn cast = cast_fn_of(class_id);
  const char* failed = cast ? cast(caster, target) : "Not available yet";
  if (failed) {
    debug("spells: %s not cast: %s", gameobj_class_name(class_id), failed);
    return failed;
  }
  if (!mana_cheat) caster->mana -= info->mana;
  take_spell_resources(class_id);
  cooldown_left[slot] = info->cooldown;
  debug("spells: %s cast at (%.1f, %.1f, %.1f)", gameobj_class_name(class_id), target.x, target.y, target.z);
  return nullptr;
}

// The first point of the land along a ray (march, then halve the last step).
bool pick_ground_along(const Vec4f& from, const Vec4f& dir, Vec4f* out)
{
  if (below_land(from)) {
    *out = get_land_pos_at(from);
    return true;
  }
  Vec4f prev = from;
  for (float t = PICK_STEP; t <= PICK_REACH; t += PICK_STEP) {
    Vec4f p{from.x + dir.x * t, from.y + dir.y * t, from.z + dir.z * t, 1};
    if (below_land(p)) {
      for (int i = 0; i < 12; ++i) {
        Vec4f mid{(prev.x + p.x) / 2, (prev.y + p.y) / 2, (prev.z + p.z) / 2, 1};
        (below_land(mid) ? p : prev) = mid;
      }
      *out = get_land_pos_at(p);
      return true;
    }
    prev = p;
  }
  return false;
}

bool pick_ground_target(Vec4f* out)
{
  Matrix44 m;
  camera_matrix(0, m);
  return pick_ground_along(Vec4f{m.m[3][0], m.m[3][1], m.m[3][2], 1}, Vec4f{m.m[2][0], m.m[2][1], m.m[2][2], 0},
                           out);
}

// The developer mode's left button, every step while it is held: the
// selected spell is cast where the view meets the land, so spells can be
// tried from the free camera. The cooldown keeps a held button from casting
// every step; refusals go to the log only.
void on_devmode_click(const Vec4f& pos, const Vec4f& dir)
{
  if (bar_count == 0 || !local_player) return;
  Vec4f target;
  if (!isfinite(dir.x) || !isfinite(dir.y) || !isfinite(dir.z) || !pick_ground_along(pos, dir, &target)) return;
  cast_spell(bar[selected], target);
}

// Selection by wheel and number keys, casting with the left-spell button at
// the crosshair. The HUD calls this while the mouse is not over it.
void spell_input_update(float dt)
{
  if (bar_count == 0) return;
  int wheel = getMouseWheel();
  if (wheel) selected = ((selected - wheel) % bar_count + bar_count) % bar_count;
  for (int k = 0; k < 9 && k < bar_count; ++k)
    if (keyDown('1' + k)) selected = k;
  constexpr int B_LSPELL = 7;
  if (!button_down(B_LSPELL)) return;
  Vec4f target;
  if (!pick_ground_target(&target)) {
    show_screen_sub_message("No ground there");
    return;
  }
  if (const char* failed = cast_spell(bar[selected], target)) show_screen_sub_message(failed);
}

// ===== The bar in the game's data ============================================

void save_spells()
{
  HSQUIRRELVM v = cur_game_info.vm;
  if (!v) {
    debug("spells: no game to save the spell bar in");
    return;
  }
  SQInteger top = sq_gettop(v);
  cur_game_info.push(v);
  sq_pushstring(v, "spells", -1);
  sq_newarray(v, 0);
  for (int i = 0; i < bar_count; ++i) {
    sq_pushstring(v, gameobj_class_name(bar[i]), -1);
    sq_arrayappend(v, -2);
  }
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "spell_selected", -1);
  sq_pushinteger(v, selected);
  sq_newslot(v, -3, SQFalse);
  sq_settop(v, top);
}

// A game saved before it had a spell bar starts with the first spells.
void load_spells()
{
  clear_bar();
  HSQUIRRELVM v = cur_game_info.vm;
  if (!v) {
    debug("spells: no game to load the spell bar from");
    return;
  }
  SQInteger top = sq_gettop(v);
  cur_game_info.push(v);
  sq_pushstring(v, "spells", -1);
  if (SQ_FAILED(sq_get(v, -2)) || sq_gettype(v, -1) != OT_ARRAY) {
    debug("spells: the saved game has no spell bar; it starts with the first spells");
    sq_settop(v, top);
    add_initial_spells();
    return;
  }
  sq_pushnull(v);
  while (SQ_SUCCEEDED(sq_next(v, -2))) {
    const SQChar* name = nullptr;
    if (sq_gettype(v, -1) == OT_STRING && SQ_SUCCEEDED(sq_getstring(v, -1, &name)) && find_spell_info(name))
      add_spell_to_grid(gameobj_id_by_name(name));
    else
      debug("spells: saved spell \"%s\" is not a spell; skipped", name ? name : "(not a name)");
    sq_pop(v, 2);
  }
  sq_settop(v, top);
  cur_game_info.push(v);
  sq_pushstring(v, "spell_selected", -1);
  SQInteger sel = 0;
  if (SQ_SUCCEEDED(sq_get(v, -2)) && SQ_SUCCEEDED(sq_getinteger(v, -1, &sel))) spell_bar_select(int(sel));
  sq_settop(v, top);
  debug("spells: %d spells loaded into the bar", bar_count);
}

// After a reload of the module the bar comes back from the game's data.
void restore_spell_bar_after_reload()
{
  if (bar_count == 0 && cur_game_info.vm) load_spells();
}
