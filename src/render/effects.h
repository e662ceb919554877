// The common effects: billboard particles of two kinds (blend and glow),
// ribbon trails and lightning bolts, simulated at the step rate and drawn
// interpolated into their own render target, which is composited over the
// scene colour. Effects are described in "test/fx.nut", run in the effects
// script VM: game code calls a named script function (`call_fx_script`) and
// the script spawns particles.
//
// Life: init_common_fx (GPU objects, atlases, shaders, the script) ->
// update_common_fx every simulation step, render_common_fx every frame ->
// close_common_fx. Every call before init or after close does nothing.
//
// The exported functions below are part of the game-object module's view of
// the host; their names and arguments stay as they are.
#pragma once
#include "core/math_types.h"
#include "core/ramp.h"

constexpr int MAX_TRAIL_FX = 4000;
constexpr int TRAIL_POINTS = 16;
constexpr int PARTICLE_RESERVE = 10000;
constexpr int PARTICLE_INSTANCE_BYTES = 40;
constexpr int FX_VERTEX_BYTES = 24;

// {===== Exported to the game-object module

void add_blend_particle(const Vec4f& pos, const Vec4f& vel, const Vec4f& accel, float life, float delay, float size,
                        D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                        const ColorRamp* colorRamp, const FloatRamp* sizeRamp, const FloatRamp* rollRamp);
void add_glow_particle(const Vec4f& pos, const Vec4f& vel, const Vec4f& accel, float life, float delay, float size,
                       D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                       const ColorRamp* colorRamp, const FloatRamp* sizeRamp, const FloatRamp* rollRamp);

// A new trail with its first point; -1 when all 4,000 slots are in use.
int add_trail_fx(const Vec4f& pos, const Vec4f& vel, const Vec4f& side, float headSize, D3dColor color);
void add_trail_point(int index, const Vec4f& pos, const Vec4f& vel, const Vec4f& side);
void set_trail_color(int index, D3dColor color);
void set_trail_ramp(int index, const ColorRamp* ramp); // null: the default ramp
void set_trail_tc(int index, float alongScale, float alongSpeed, float alongOffset, float edge1, float edge2);
void stop_trail_fx(int index); // the trail fades from its oldest point, one per step
void kill_trail_fx(int index); // gone at once

void add_lightning_fx(const Vec4f& start, const Vec4f& end, const Vec4f& startTangent, float width, float wavelength,
                      float amplitude, float life, D3dColor color, int pointCount);

// Calls the effects script's root function `name`(a, b, c, f). Errors are
// shown as "Error in fx script:\n%s" and never stop the caller.
void call_fx_script(const char* name, const Vec4f& a, const Vec4f& b, const Vec4f& c, float f);

// {===== Host side

// Start-up, after the device, the common vertex-buffer writer, the shader
// compiler and the post effects (its composite uses the post-effect
// targets): creates the GPU objects, loads the atlases and shaders, creates
// the effects VM ("error creating fx script VM" is fatal) and runs
// "test/fx.nut" (a failing script is shown on screen; the game goes on).
// Installs world_hooks.reset_common_fx (a new world clears the effects).
void init_common_fx();
void close_common_fx();
bool common_fx_ready();
// Kills every particle, trail and bolt.
void reset_common_fx();
// One simulation step.
void update_common_fx(float dt);
// Draws every effect of the frame into the effects target and composites it
// over `scene_image`: t = seconds since the last step, f = its fraction.
void render_common_fx(float t, float f);
// Runs a changed "test/fx.nut" again (everything alive is killed first);
// for the once-a-second checks.
void reload_fx_script();
