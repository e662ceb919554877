// The developer mode: free flight over the running world with the keys and
// mouse, zoom on the middle button, the sun set along the view with the
// right button, and the debug keys G (regenerate), H (water everywhere) and
// R (droplet erosion).
#pragma once
#include "core/game_mode.h"

class DevGameMode : public GameMode {
public:
  void enter(GameMode* previous) override;
  void update(float dt) override;
  void render3d(float t) override;
  void render2d(float t) override;
};

extern DevGameMode* const dev_mode;

// The fly control of one step (exposed for tests): keys held move the camera
// along its axes and world up; the zoom follows the middle button.
void dev_fly_control(float dt, bool active);
