// The developer mode: free flight over the running world with the keys and
// mouse, zoom on the middle button, the module's click with the left button,
// the sun set along the view with the right button; the debug keys work here
// without Control (hotkeys.h).
#pragma once
#include "core/game_mode.h"

class DevGameMode : public GameMode {
public:
  void enter(GameMode* previous) override;
  void update(float dt) override;
  void render3d(float t) override;
  void render2d(float t) override;
  const char* name() const override { return "DevGameMode"; }
};

extern DevGameMode* const dev_mode;

// The fly control of one step (exposed for tests): keys held move the camera
// along its axes and world up; the zoom follows the middle button.
void dev_fly_control(float dt, bool active);
// The zoom of one step: towards 8 while the zoom button is held, else back
// towards 1, 20 per second.
void dev_zoom_step(float dt, bool zoom_held);
