// Game modes: exactly one is active at a time (`cur_game_mode`). The frame
// loop calls its update once per update step and its render3d and render2d
// once per rendered frame (the 3D pass, then the 2D pass after the scene).
// The modes own the camera and carry the global hotkeys.
#pragma once

class GameMode {
public:
    virtual ~GameMode() = default;
    // The mode becomes active; `previous` is the mode it follows (or null).
    virtual void enter(GameMode* previous) {}
    // The mode stops being active; `next` is the mode that follows.
    virtual void leave(GameMode* next) {}
    // One update step (dt = the step length, 0.05 s).
    virtual void update(float dt) = 0;
    // The 3D pass; t = seconds since the last update step (time_dt).
    virtual void render3d(float t) = 0;
    // The 2D pass after the scene.
    virtual void render2d(float t) = 0;
    // Kept in the interface's slot order; every mode does nothing here.
    virtual void idle() {}
    // The class name ("MainMenuMode"), for the log and developer tools.
    virtual const char* name() const { return "GameMode"; }
};

// Nothing when `mode` is already active; otherwise the old mode's leave(mode),
// then `mode` becomes current and gets enter(old) (when not null).
void set_game_mode(GameMode* mode);
