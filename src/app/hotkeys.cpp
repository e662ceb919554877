// The global hotkeys and the debug keys (see hotkeys.h). Each key acts on its
// press in the step that sees it, except Print Screen, which acts on its
// release so that the key's own press is never part of a later capture.
#include "app/hotkeys.h"

#include "core/app_globals.h"
#include "app/dev_mode.h"
#include "app/frame_loop.h"
#include "app/game_modes.h"
#include "core/input.h"
#include "core/log.h"
#include "app/module_calls.h"
#include "audio/sound_events.h"
#include "app/gui_demo.h"
#include "devtools/screenshot.h"
#include "render/hmRender.h"
#include "world/erosion.h"
#include "world/heightmap.h"
#include "world/water_sim.h"
#include "world/worldScript.h"

namespace {

enum { VK_F3 = 114, VK_F5 = 116, VK_F6 = 117, VK_F7 = 118, VK_F9 = 120, VK_F12 = 123 };

bool with_ctrl(int vk)
{
    return keyDown(vk) && (keyDownWithCtrl(vk) || getKeyState(VK_CONTROL));
}

// Droplet erosion of the whole world with strong erosion and deposition;
// the eroded heights become the current ones at once.
void erode_world()
{
    HeightmapData::ErosionParams p;
    p.Kq = 0.1f;
    p.Kr = 0.9f;
    p.Kd = 0.9f;
    HeightmapData::genDropletErosion(92160, p);
    float* t = HeightmapData::hmap;
    HeightmapData::hmap = HeightmapData::target_hmap;
    HeightmapData::target_hmap = t;
    HeightmapRenderer::mark_terrain_changed();
    reset_update_time();
}

// `in_dev`: the developer mode was active when the step's keys were read
// (a hotkey of the same step may have switched modes since).
void handle_debug_keys(bool in_dev)
{
    const bool in_menu = cur_game_mode == main_menu_mode;
    if ((in_dev && keyDown('G')) || with_ctrl('G'))
        generate_world(in_menu ? "main_menu" : "game");
    if ((in_dev && keyDown('H')) || with_ctrl('H'))
        HeightmapData::addWaterEverywhere(1.0f);
    if ((in_dev && keyDown('R')) || with_ctrl('R'))
        erode_world();
    if (with_ctrl('M'))
        gameobj_call(gameobj_funcs.toggle_monster_spawn);
    if (with_ctrl('N'))
        gameobj_call(gameobj_funcs.toggle_mana_cheat);
    if (with_ctrl(VK_F12)) {
        set_game_mode(game_menu_mode);
        gameobj_call(gameobj_funcs.open_cheat_menu);
    }
    if (with_ctrl(VK_F3)) {
        log_sound_events = !log_sound_events;
        if (log_sound_events)
            visual_log("logging sound events");
        else
            clear_visual_log();
    }
}

} // namespace

bool control_held()
{
    return getKeyState(VK_CONTROL);
}

void handle_global_hotkeys()
{
    if (!isAppActive)
        return;
    const bool in_dev = cur_game_mode == dev_mode;
    const bool in_demo = cur_game_mode == gui_demo_mode;
    if (keyUp(VK_SNAPSHOT))
        make_screenshot();
    if (keyDown(VK_F1))
        show_fps = !show_fps;
    if (keyDown(VK_F5))
        use_postfx = !use_postfx;
    if (keyDown(VK_F6))
        use_ppaa = !use_ppaa;
    if (keyDown(VK_F9))
        set_game_mode(cur_game_mode == dev_mode ? static_cast<GameMode*>(play_mode) : dev_mode);
    // The demo screen handles its own Escape (back to where it came from).
    if (keyDown(VK_ESCAPE) && cur_game_mode != main_menu_mode && !in_demo)
        set_game_mode(game_menu_mode);
    if (keyDown(VK_F7) && (in_dev || in_demo || keyDownWithCtrl(VK_F7) || control_held()))
        toggle_gui_demo();
    handle_debug_keys(in_dev);
}
