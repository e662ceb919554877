// The stand-in game mode: a calm empty screen with the global hotkeys. The
// GUI demo returns here when it was opened with no mode before it.
#pragma once
#include "core/game_mode.h"
#include "app/hotkeys.h"

class TempGameMode : public GameMode {
public:
    void update(float dt) override;
    void render3d(float t) override;
    void render2d(float t) override;
    const char* name() const override { return "TempGameMode"; }
};

extern TempGameMode* const temp_mode;
