// The module's named functions and its name lookup. Most of them belong to
// the game and do nothing yet (docs/module.md lists which); the host's
// start-up, shutdown, saving and player creation already work.
#include <string.h>

#include "core/log.h"
#include "host/gameobj_api.h"
#include "render/instRender.h"
#include "game_world.h"
#include "objects.h"
#include "ui_menus.h"
#include "game.h"
#include "table_entries.h"

namespace {

Player* get_local_player() { return local_player; }
} // namespace

// Objects destroyed during the walk are not visited after it; objects made
// by fn are, when their list comes later (for_each_gameobj).
int for_each_game_object(int class_id, bool (*fn)(GameObject* obj, void* user), void* user)
{
  if (!fn) return 0;
  int visited = 0;
  bool going = true;
  for_each_gameobj([&](GameObj* obj) {
    if (!going || (class_id && !gameobj_class_is(obj->classId(), class_id))) return;
    ++visited;
    going = fn(obj, user);
  });
  return visited;
}

namespace {

// Objects asked for at start-up are made in the first world step, after the
// start-up world generation removed every object; a reloaded module starts
// with this false, so nothing is made twice.
static bool spawn_pending = false;
void update_gameobj(float dt)
{
  if (spawn_pending) {
    spawn_pending = false;
    spawn_requested_gameobjs();
    report_live_gameobjs();
  }
  advance_world_time();
  for_each_gameobj([dt](GameObj* obj) { obj->update(dt); });
  update_monster_spawning(dt);
  delete_gameobj(nullptr);
}
// Draws what the objects (and the terrain's house cells) queued this frame.
void do_inst_render()
{
  start_inst_render();
  managed_inst_render();
  end_inst_render();
}
void render_gameobj(float dt)
{
  for_each_gameobj([dt](GameObj* obj) { obj->render(dt); });
  do_inst_render();
}
void render_debug_vis_gameobj(float dt) {}
void init_gameobj()
{
  debug("gameobj: init (code version %d)", GAMEOBJ_CODE_VERSION);
  spawn_pending = true;
}
void close_gameobj() { debug("gameobj: closed"); }
void init_inst_render() {}
void close_inst_render() {}
void bind_gameobj(HSQUIRRELVM vm)
{
  bind_game_objects(vm);
  bind_living_world(vm);
  bind_monsters(vm);
}
void link_gui()
{
  debug("gameobj linked: code version %d", GAMEOBJ_CODE_VERSION);
  report_live_gameobjs();
  // The developer socket forgets the module's commands at every unlink.
  register_player_dev_commands();
  register_mana_dev_commands();
  register_screen_dev_commands();
  register_monster_dev_commands();
  register_living_dev_commands();
  register_castle_dev_commands();
  register_tower_dev_commands();
  register_crafting_dev_commands();
  register_devmap_dev_commands();
  register_render_dev_commands();
}

struct NamedFunc {
  const char* name;
  void* func;
};

const NamedFunc funcs[] = {
    {"get_local_player", reinterpret_cast<void*>(&get_local_player)},
    {"get_land_height", reinterpret_cast<void*>(&get_land_height)},
    {"get_land_height_at", reinterpret_cast<void*>(&get_land_height_at)},
    {"get_land_pos_at", reinterpret_cast<void*>(&get_land_pos_at)},
    {"get_land_change", reinterpret_cast<void*>(&get_land_change)},
    {"get_land_change_at", reinterpret_cast<void*>(&get_land_change_at)},
    {"get_water", reinterpret_cast<void*>(&get_water)},
    {"get_water_at", reinterpret_cast<void*>(&get_water_at)},
    {"calc_land_norm", reinterpret_cast<void*>(&calc_land_norm)},
    {"calc_land_norm_at", reinterpret_cast<void*>(&calc_land_norm_at)},
    {"get_world_time", reinterpret_cast<void*>(&get_world_time)},
    {"count_alive_monsters", reinterpret_cast<void*>(&count_alive_monsters)},
    {"for_each_game_object", reinterpret_cast<void*>(&for_each_game_object)},
    {"update_gameobj", reinterpret_cast<void*>(&update_gameobj)},
    {"render_gameobj", reinterpret_cast<void*>(&render_gameobj)},
    {"render_debug_vis_gameobj", reinterpret_cast<void*>(&render_debug_vis_gameobj)},
    {"remove_all_gameobj", reinterpret_cast<void*>(&remove_all_gameobj)},
    {"init_gameobj", reinterpret_cast<void*>(&init_gameobj)},
    {"close_gameobj", reinterpret_cast<void*>(&close_gameobj)},
    {"on_devmode_click", reinterpret_cast<void*>(&on_devmode_click)},
    {"set_world_icon_params", reinterpret_cast<void*>(&set_world_icon_params)},
    {"open_universe_gui", reinterpret_cast<void*>(&open_universe_gui)},
    {"safely_close_game_menu", reinterpret_cast<void*>(&safely_close_game_menu)},
    {"reset_game_ui_screen", reinterpret_cast<void*>(&reset_game_ui_screen)},
    {"set_game_ui_screen", reinterpret_cast<void*>(&set_game_ui_screen)},
    {"open_game_menu", reinterpret_cast<void*>(&open_game_menu)},
    {"open_main_menu", reinterpret_cast<void*>(&open_main_menu)},
    {"open_cheat_menu", reinterpret_cast<void*>(&open_cheat_menu)},
    {"close_game_menu", reinterpret_cast<void*>(&close_game_menu)},
    {"update_game_menu", reinterpret_cast<void*>(&update_game_menu)},
    {"draw_game_menu", reinterpret_cast<void*>(&draw_game_menu)},
    {"init_spells_ui", reinterpret_cast<void*>(&init_spells_ui)},
    {"close_spells_ui", reinterpret_cast<void*>(&close_spells_ui)},
    {"spells_ui_after_resize", reinterpret_cast<void*>(&spells_ui_after_resize)},
    {"start_spell_pick_up_anim", reinterpret_cast<void*>(&start_spell_pick_up_anim)},
    {"start_res_pick_up_anim", reinterpret_cast<void*>(&start_res_pick_up_anim)},
    {"show_screen_message", reinterpret_cast<void*>(&show_screen_message)},
    {"show_screen_sub_message", reinterpret_cast<void*>(&show_screen_sub_message)},
    {"reset_crafting_ui", reinterpret_cast<void*>(&reset_crafting_ui)},
    {"show_crafting_ui", reinterpret_cast<void*>(&show_crafting_ui)},
    {"add_crafting_cost", reinterpret_cast<void*>(&add_crafting_cost)},
    {"hide_crafting_ui", reinterpret_cast<void*>(&hide_crafting_ui)},
    {"draw_spells_ui", reinterpret_cast<void*>(&draw_spells_ui)},
    {"update_spells_ui", reinterpret_cast<void*>(&update_spells_ui)},
    {"update_spells_ui_mouse", reinterpret_cast<void*>(&update_spells_ui_mouse)},
    {"render_world_map", reinterpret_cast<void*>(&render_world_map)},
    {"render_dev_world_map", reinterpret_cast<void*>(&render_dev_world_map)},
    {"init_map_ui", reinterpret_cast<void*>(&init_map_ui)},
    {"set_radio", reinterpret_cast<void*>(&set_radio)},
    {"get_radio", reinterpret_cast<void*>(&get_radio)},
    {"set_slider", reinterpret_cast<void*>(&set_slider)},
    {"place_popup", reinterpret_cast<void*>(&place_popup)},
    {"init_new_gui", reinterpret_cast<void*>(&init_new_gui)},
    {"hide_tooltip", reinterpret_cast<void*>(&hide_tooltip)},
    {"show_tooltip", reinterpret_cast<void*>(&show_tooltip)},
    {"update_tooltip", reinterpret_cast<void*>(&update_tooltip)},
    {"render_tooltip", reinterpret_cast<void*>(&render_tooltip)},
    {"init_tooltip", reinterpret_cast<void*>(&init_tooltip)},
    {"init_fx_data", reinterpret_cast<void*>(&init_fx_data)},
    {"gatherer_death_fx", reinterpret_cast<void*>(&gatherer_death_fx)},
    {"gatherer_summon_fx", reinterpret_cast<void*>(&gatherer_summon_fx)},
    {"spawn_water_vapor_fx", reinterpret_cast<void*>(&spawn_water_vapor_fx)},
    {"spawn_volcano_smoke_fx", reinterpret_cast<void*>(&spawn_volcano_smoke_fx)},
    {"lightning_hit_fx", reinterpret_cast<void*>(&lightning_hit_fx)},
    {"spawn_resobj_fx", reinterpret_cast<void*>(&spawn_resobj_fx)},
    {"spawn_spellobj_fx", reinterpret_cast<void*>(&spawn_spellobj_fx)},
    {"wyvern_death_fx", reinterpret_cast<void*>(&wyvern_death_fx)},
    {"spawn_meteor_fx", reinterpret_cast<void*>(&spawn_meteor_fx)},
    {"meteor_explode_fx", reinterpret_cast<void*>(&meteor_explode_fx)},
    {"spawn_water_sink_fx", reinterpret_cast<void*>(&spawn_water_sink_fx)},
    {"spawn_water_source_fx", reinterpret_cast<void*>(&spawn_water_source_fx)},
    {"spawn_magic_missile_fx", reinterpret_cast<void*>(&spawn_magic_missile_fx)},
    {"spawn_waterball_missile_fx", reinterpret_cast<void*>(&spawn_waterball_missile_fx)},
    {"spawn_fireball_fx", reinterpret_cast<void*>(&spawn_fireball_fx)},
    {"fireball_explode_fx", reinterpret_cast<void*>(&fireball_explode_fx)},
    {"get_owned_mana", reinterpret_cast<void*>(&get_owned_mana)},
    {"recalc_mana_ownership", reinterpret_cast<void*>(&recalc_mana_ownership)},
    {"render_building", reinterpret_cast<void*>(&render_building)},
    {"init_inst_render", reinterpret_cast<void*>(&init_inst_render)},
    {"close_inst_render", reinterpret_cast<void*>(&close_inst_render)},
    {"do_inst_render", reinterpret_cast<void*>(&do_inst_render)},
    {"render_gameobj_shadow_map", reinterpret_cast<void*>(&render_gameobj_shadow_map)},
    {"remove_all_monsters", reinterpret_cast<void*>(&remove_all_monsters)},
    {"toggle_monster_spawn", reinterpret_cast<void*>(&toggle_monster_spawn)},
    {"pick_lightning_target", reinterpret_cast<void*>(&pick_lightning_target)},
    {"cast_lightning", reinterpret_cast<void*>(&cast_lightning)},
    {"apply_fireball", reinterpret_cast<void*>(&apply_fireball)},
    {"add_water_globe", reinterpret_cast<void*>(&add_water_globe)},
    {"create_hill", reinterpret_cast<void*>(&create_hill)},
    {"add_spell_to_grid", reinterpret_cast<void*>(&add_spell_to_grid)},
    {"save_spells", reinterpret_cast<void*>(&save_spells)},
    {"load_spells", reinterpret_cast<void*>(&load_spells)},
    {"pick_up_spell", reinterpret_cast<void*>(&pick_up_spell)},
    {"player_has_spell", reinterpret_cast<void*>(&player_has_spell)},
    {"player_has_spell_selected", reinterpret_cast<void*>(&player_has_spell_selected)},
    {"add_initial_spells", reinterpret_cast<void*>(&add_initial_spells)},
    {"add_all_spells", reinterpret_cast<void*>(&add_all_spells)},
    {"init_spell_grid", reinterpret_cast<void*>(&init_spell_grid)},
    {"carve_crack", reinterpret_cast<void*>(&carve_crack)},
    {"volcano_cone", reinterpret_cast<void*>(&volcano_cone)},
    {"add_source_lava", reinterpret_cast<void*>(&add_source_lava)},
    {"add_magic_volcano", reinterpret_cast<void*>(&add_magic_volcano)},
    {"add_source_water", reinterpret_cast<void*>(&add_source_water)},
    {"add_water_source", reinterpret_cast<void*>(&add_water_source)},
    {"simulate_water", reinterpret_cast<void*>(&simulate_water)},
    {"toggle_mana_cheat", reinterpret_cast<void*>(&toggle_mana_cheat)},
    {"create_player", reinterpret_cast<void*>(&create_player)},
    {"delete_gameobj", reinterpret_cast<void*>(&delete_gameobj)},
    {"save_gameobjs", reinterpret_cast<void*>(&save_gameobjs)},
    {"load_gameobjs", reinterpret_cast<void*>(&load_gameobjs)},
    {"get_gameobj_by_ser_id", reinterpret_cast<void*>(&get_gameobj_by_ser_id)},
    {"new_gameobj_by_id", reinterpret_cast<void*>(&new_gameobj_by_id)},
    {"gameobj_id_by_name", reinterpret_cast<void*>(&gameobj_id_by_name)},
    {"bind_gameobj", reinterpret_cast<void*>(&bind_gameobj)},
    {"link_gui", reinterpret_cast<void*>(&link_gui)},
};

} // namespace

extern "C" __attribute__((visibility("default"))) void* get_gameobj_func_by_name(const char* name)
{
  for (const NamedFunc& f : funcs)
    if (strcmp(f.name, name) == 0) return f.func;
  return nullptr;
}
