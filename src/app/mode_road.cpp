// The road between the game modes: the way back to the main menu, the saved
// games' entries into the modes, and the scene the world-showing modes share.
#include "render/camera.h"
#include "app/game_modes.h"
#include "app/module_calls.h"
#include "render/postfx.h"
#include "render/scene.h"
#include "world/saved_games.h"
#include "world/universe.h"
#include "world/worldScript.h"

namespace {

void enter_play_mode() { set_game_mode(play_mode); }
void enter_universe_mode() { set_game_mode(universe_mode); }

// The three camera values of a world file: yaw, pitch and roll.
void set_saved_camera(const float v[3])
{
    camera.yaw = v[0];
    camera.pitch = v[1];
    camera.roll = camera.prev_roll = v[2];
}

} // namespace

void go_to_main_menu()
{
    gameobj_call(gameobj_funcs.close_game_menu);
    release_universe_data();
    generate_world("main_menu");
    set_game_mode(main_menu_mode);
}

void render_world_view(float t)
{
    render_scene(t);
    finish_frame_postfx();
}

void game_modes_install_hooks()
{
    saved_game_hooks.set_play_mode = enter_play_mode;
    saved_game_hooks.set_universe_mode = enter_universe_mode;
    saved_game_hooks.set_camera = set_saved_camera;
    saved_game_hooks.reset_fly_control = reset_fly_control;
}
