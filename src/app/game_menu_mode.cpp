// The in-game menu: the world frozen behind the module's menu. Closing the
// menu returns to the mode it was opened from.
#include "core/app_globals.h"
#include "render/camera.h"
#include "app/game_modes.h"
#include "app/hotkeys.h"
#include "app/module_calls.h"
#include "render/hmRender.h"
#include "world/universe.h"

namespace {

GameMenuMode game_menu_instance;

// The frozen state: the scene as at the end of the step.
constexpr float FROZEN_FRAME_TIME = 0.05f;

} // namespace

GameMenuMode* const game_menu_mode = &game_menu_instance;

void GameMenuMode::enter(GameMode* previous)
{
    back = previous;
    // A close request left from an earlier screen must not close this menu.
    should_close_game_menu = false;
    gameobj_call(gameobj_funcs.open_game_menu);
}

void GameMenuMode::leave(GameMode*)
{
    gameobj_call(gameobj_funcs.close_game_menu);
}

void GameMenuMode::update(float dt)
{
    camera_begin_step(dt);
    handle_global_hotkeys();
    camera_matrix(1, cur_view_itm);
    gameobj_call(gameobj_funcs.update_game_menu, dt);
    HeightmapRenderer::mark_terrain_changed();
    // No world step: the world waits behind the menu.
    if (should_close_game_menu && back && back != cur_game_mode && cur_game_mode == this) {
        // Consumed here: the universe screen would read it as a world picked.
        should_close_game_menu = false;
        set_game_mode(back);
    }
}

void GameMenuMode::render3d(float)
{
    render_world_view(FROZEN_FRAME_TIME);
}

void GameMenuMode::render2d(float t)
{
    gameobj_call(gameobj_funcs.draw_game_menu, t);
}
