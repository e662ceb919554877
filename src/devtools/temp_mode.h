// The stand-in game mode of the first runnable program: it clears the screen
// and carries the global hotkeys that exist so far (F1 readouts, Print Screen
// screenshot). It is replaced by the main menu once the world, the module and
// the menus come up.
#pragma once
#include "core/game_mode.h"

class TempGameMode : public GameMode {
public:
    void update(float dt) override;
    void render3d(float t) override;
    void render2d(float t) override;
};

extern TempGameMode* const temp_mode;

// The global hotkeys tested in every mode's update while the window is active:
// Print Screen released takes a screenshot, F1 toggles show_fps, F6 opens or
// closes the GUI demo screen.
void handle_global_hotkeys();
