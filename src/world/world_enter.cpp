// Moving between the universe view and the worlds: resuming into the world
// recorded as entered, entering a picked world (loaded, or generated and
// saved at once), and leaving a world (see saved_games.h).
#include "core/log.h"
#include "host/gameobj_api.h"
#include "world/saved_games.h"
#include "world/spells.h"
#include "world/universe.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"

namespace {

void set_cur_world(int index) {
  SqObject world;
  if (!worlds.isNull()) {
    try {
      world = sqbind::getSlot<SqObject>(worlds, index);
    } catch (const SquirrelError& e) {
      debug("SAVE: no world #%d in the universe: %s", index, e.what());
    }
  }
  set_universe_script_global("cur_world", world);
}

void set_play_mode() {
  if (saved_game_hooks.set_play_mode) saved_game_hooks.set_play_mode();
}

void destroy_local_player() {
  if (gameobj_api.destroy_local_player) gameobj_api.destroy_local_player();
  local_player = nullptr;
}

// A player for a loaded world: at the one castle when there is exactly one,
// tied to it, and carried through the portal when it has that spell.
void place_player() {
  destroy_local_player();
  Vec4f pos = {0, 0, 0, 1};
  BaseObject* castle = gameobj_api.single_castle ? gameobj_api.single_castle(&pos) : nullptr;
  if (!castle) pos = Vec4f{0, 0, 0, 1};
  if (gameobj_api.create_player) local_player = gameobj_api.create_player(pos);
  if (!local_player) return;
  if (castle && gameobj_api.link_player_and_castle) gameobj_api.link_player_and_castle(local_player, castle);
  const SpellInfo* portal = get_spell_info("UsePortalSpell");
  if (gameobj_api.player_has_spell && gameobj_api.player_has_spell("UsePortalSpell") && gameobj_api.player_spell_op)
    gameobj_api.player_spell_op(local_player, 1, portal->id);
}

// A world whose file exists but does not load (its error is shown): the file
// is kept for the player to recover, and the universe records no entered
// world, so that no later save writes another world over it.
void refuse_world(int index) {
  debug("SAVE: world #%d not entered; its file is kept", index);
  set_entered_world(-1);
  set_universe_script_global("cur_world", SqObject());
}

} // namespace

bool resume_into_world() {
  if (gameobj_api.open_universe_gui) gameobj_api.open_universe_gui();
  int entered = get_entered_world();
  if (entered < 0) return true;
  switch (load_slot_world(entered)) {
  case WorldLoad::loaded:
    debug("loaded world #%d", entered);
    set_cur_world(entered);
    set_play_mode();
    return true;
  case WorldLoad::missing:
    should_close_game_menu = true; // the next update makes it
    return true;
  case WorldLoad::failed: break;
  }
  refuse_world(entered);
  return false;
}

bool enter_world() {
  should_close_game_menu = false;
  int entered = get_entered_world();
  WorldLoad loaded = load_slot_world(entered);
  if (loaded == WorldLoad::failed) {
    refuse_world(entered);
    return false;
  }
  if (loaded == WorldLoad::loaded) {
    place_player();
    debug("loaded world #%d", entered);
    set_cur_world(entered);
  } else {
    // A world never visited has no file: it is made now and saved at once,
    // so that it exists on disk.
    set_error_message(nullptr);
    generate_world("game");
    if (!has_error_message()) save_game();
  }
  if (world_hooks.reset_frame_time) world_hooks.reset_frame_time();
  if (gameobj_api.show_screen_message) gameobj_api.show_screen_message("");
  if (gameobj_api.show_screen_sub_message) gameobj_api.show_screen_sub_message("");
  if (world_hooks.play_sound_event) world_hooks.play_sound_event("SE_enter_world");
  world_script_str_event("enter_world");
  const float zero[3] = {0, 0, 0};
  for (float& c : saved_world_state.camera) c = 0;
  if (saved_game_hooks.set_camera) saved_game_hooks.set_camera(zero);
  set_play_mode();
  return true;
}

bool update_universe_view(float dt) {
  if (gameobj_api.update_game_menu) gameobj_api.update_game_menu(dt);
  return should_close_game_menu ? enter_world() : true;
}

void leave_world() {
  if (universe.isNull()) {
    if (saved_game_hooks.reset_fly_control) saved_game_hooks.reset_fly_control();
    generate_world("game");
    set_play_mode();
    return;
  }
  bool ok = save_game();
  if (ok) {
    destroy_local_player();
    if (world_hooks.simulate_world) world_hooks.simulate_world(60.0f);
    ok = save_game();
  }
  set_entered_world(-1);
  if (ok) save_game();
  if (saved_game_hooks.set_universe_mode) saved_game_hooks.set_universe_mode();
}
