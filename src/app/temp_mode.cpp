// The temporary mode: a calm empty screen with the global hotkeys.
#include "app/temp_mode.h"

#include "render/device.h"

namespace {

// Dark slate blue: clearly not the splash's navy, restful behind the readouts.
constexpr D3dColor TEMP_MODE_CLEAR_COLOR = 0xFF24344A;

TempGameMode temp_mode_instance;

} // namespace

TempGameMode* const temp_mode = &temp_mode_instance;

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
