// The universe screen: the module's map of worlds, no world simulated. It
// resumes into the world recorded as entered, and enters the world the
// player picks (loaded, or generated and saved at once; see saved_games.h).
#include "core/app_globals.h"
#include "app/game_modes.h"
#include "app/hotkeys.h"
#include "app/module_calls.h"
#include "render/device.h"
#include "world/saved_games.h"
#include "world/universe.h"

namespace {

UniverseMode universe_instance;

constexpr D3dColor UNIVERSE_CLEAR_COLOR = 0x00001133;

} // namespace

UniverseMode* const universe_mode = &universe_instance;

void UniverseMode::enter(GameMode*)
{
    // A close request left from the menu that led here must not enter a
    // world before the player picked one; a missing world file sets it again.
    should_close_game_menu = false;
    // Opens the module's universe screen, then resumes (to the play mode on
    // success).
    resume_into_world();
}

void UniverseMode::leave(GameMode*)
{
    gameobj_call(gameobj_funcs.close_game_menu);
}

void UniverseMode::update(float dt)
{
    // The module's menu; a picked world is entered and the play mode begins.
    update_universe_view(dt);
    handle_global_hotkeys();
}

void UniverseMode::render3d(float)
{
    set_wireframe(false);
    set_back_buffer_target();
    set_viewport(0, 0, d3d_wd, d3d_ht);
    clear_view_color(UNIVERSE_CLEAR_COLOR);
}

void UniverseMode::render2d(float t)
{
    gameobj_call(gameobj_funcs.draw_game_menu, t);
}
