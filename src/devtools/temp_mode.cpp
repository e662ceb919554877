// The temporary mode: a calm empty screen with the global hotkeys.
#include "devtools/temp_mode.h"

#include "core/app_globals.h"
#include "core/input.h"
#include "devtools/gui_demo.h"
#include "devtools/screenshot.h"
#include "render/device.h"

namespace {

// Dark slate blue: clearly not the splash's navy, restful behind the readouts.
constexpr D3dColor TEMP_MODE_CLEAR_COLOR = 0xFF24344A;

TempGameMode temp_mode_instance;

} // namespace

TempGameMode* const temp_mode = &temp_mode_instance;

void handle_global_hotkeys()
{
    if (!isAppActive)
        return;
    // On release, so the key's own press is never part of a later capture.
    if (keyUp(VK_SNAPSHOT))
        make_screenshot();
    if (keyDown(VK_F1))
        show_fps = !show_fps;
    if (keyDown(117)) // F6: the GUI demo screen
        toggle_gui_demo();
}

void TempGameMode::update(float)
{
    handle_global_hotkeys();
}

void TempGameMode::render3d(float)
{
    set_back_buffer_target();
    set_viewport(0, 0, d3d_wd, d3d_ht);
    clear_view_color(TEMP_MODE_CLEAR_COLOR);
}

void TempGameMode::render2d(float) {}
