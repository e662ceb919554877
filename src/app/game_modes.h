// The game modes besides the developer mode (dev_mode.h): the main menu with
// its fly-over, the universe screen, playing in a world, the in-game menu and
// the warp out of a world; the road between them (go_to_main_menu) and the
// scene every world-showing mode renders.
//
// Road: start-up -> go_to_main_menu -> main menu -> (the module closes its
// menu) universe -> play <-> developer (F9) <-> game menu (Escape; back to
// the mode it came from) -> warp (started by the module) -> universe.
// Each mode has one static instance; the pointers are exported for the
// game-object module under these names.
#pragma once
#include "core/game_mode.h"
#include "core/math_types.h"

// {===== Main menu

// The autopilot of the main menu's fly-over: its own angles (copied into the
// camera, interpolated while rendering), their turn rates and its clock.
struct Autopilot {
  float yaw, pitch, prev_yaw, prev_pitch;
  float yaw_rate, pitch_rate;
  float clock;
};

class MainMenuMode : public GameMode {
public:
  void enter(GameMode* previous) override;
  void leave(GameMode* next) override;
  void update(float dt) override;
  void render3d(float t) override;
  void render2d(float t) override;
  const char* name() const override { return "MainMenuMode"; }
  const Autopilot& autopilot() const { return pilot; }

private:
  Autopilot pilot = {};
};

// One autopilot step without the module and the world step (tests run it
// over whole worlds): moves the camera 10 units per second along the
// autopilot's view, steers by noise, follows the land ahead and keeps the
// camera above the ground, then wraps x and z into [0, 256).
void autopilot_step(Autopilot& pilot, float dt);
// Camera at the start of the main menu: over the highest land round the
// origin, all angles and the autopilot at rest.
void autopilot_reset(Autopilot& pilot);

// {===== Universe

class UniverseMode : public GameMode {
public:
  void enter(GameMode* previous) override;
  void leave(GameMode* next) override;
  void update(float dt) override;
  void render3d(float t) override;
  void render2d(float t) override;
  const char* name() const override { return "UniverseMode"; }
};

// {===== Play

class PlayGameMode : public GameMode {
public:
  void enter(GameMode* previous) override;
  void update(float dt) override;
  void render3d(float t) override;
  void render2d(float t) override;
  const char* name() const override { return "PlayGameMode"; }
};

// The control buttons of one play step, read from the input layer (tests
// fill them directly): tap edges of B_forward / B_back and the held axes.
struct PlayInput {
  bool forward_tapped, back_tapped;
  float strafe, ahead, climb; // -1, 0 or 1 each
  bool turbo;
};
PlayInput read_play_input();
// The play mode's movement for one active step: double-tap timers, roll
// decay, dash, speed, direction along the camera; the player (or, without
// one, the camera itself) moves.
void play_movement(float dt, const PlayInput& in);
// The module recomputes the player's mana ownership when set (exported).
extern bool need_mana_recalc;

// {===== Game menu

class GameMenuMode : public GameMode {
public:
  void enter(GameMode* previous) override;
  void leave(GameMode* next) override;
  void update(float dt) override;
  void render3d(float t) override;
  void render2d(float t) override;
  const char* name() const override { return "GameMenuMode"; }
  GameMode* return_mode() const { return back; }

private:
  GameMode* back = nullptr; // the mode to return to
};

// {===== Warp

class WarpMode : public GameMode {
public:
  void enter(GameMode* previous) override;
  void update(float dt) override;
  void render3d(float t) override;
  void render2d(float t) override;
  const char* name() const override { return "WarpMode"; }

private:
  float remaining = 0; // seconds until the world is left
  float time_mark = 0; // render time of the last effect advance, relative to this step
  float effect_time = 0; // accumulated effect time (the shader's clock)
  bool first_frame = false;
  bool left = false; // leave_world was called (once per warp)
};

// The shader "warpEffect.sh", created at start-up.
void init_warp_effect();
void close_warp_effect();

// {===== Instances and the road between them

extern MainMenuMode* const main_menu_mode;
extern UniverseMode* const universe_mode;
extern PlayGameMode* const play_mode;
extern GameMenuMode* const game_menu_mode;
extern WarpMode* const warp_mode;

// The module's close_game_menu, the universe released, a new main-menu world,
// then the main menu.
void go_to_main_menu();
// The scene of a world-showing mode for render time t, then the post effects.
void render_world_view(float t);
// Installs the modes into the saved games' hooks (play, universe, camera).
void game_modes_install_hooks();
