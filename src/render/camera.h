// The camera of the game modes: angles and position now and at the start of
// the update step, the interpolation between the two that keeps rendering
// smooth at any frame rate, the projection, and the begin-of-step
// bookkeeping every mode that moves the camera runs first in its update.
//
// Invariant: `prev_*` hold the values at the start of the current step; a
// frame rendered at fraction f of the step sees prev + (cur - prev) * f, with
// the position's x and z difference wrapped into one world period.
#pragma once
#include "core/math_types.h"
#include "render/device.h" // Matrix44 (plain struct; no device call is made here)

struct CameraState {
  Vec4f pos, prev_pos;  // w = 1, world units
  float yaw, pitch;     // radians; yaw within +-2 pi, pitch within +-pi/2
  float roll, prev_roll;
  float zoom, prev_zoom; // developer-mode zoom factor, 1 = none
  float hspeed, prev_hspeed;
  bool mouse_captured;   // the mouse was centred by the camera last frame
  float fwd_timer, back_timer; // double-tap timers (play mode)
  float dash;
};

extern CameraState camera;
// Full-screen tint whose alpha fades out over time, and its value at the step start.
extern Vec4f cur_frame_color;
extern Vec4f prev_frame_color;
// Camera matrix of the last step or frame, and its inverse (the view matrix).
extern Matrix44 cur_view_itm;
extern Matrix44 cur_view_tm;

constexpr float CAMERA_FOV = 1.2915436464758039f; // 74 degrees, vertical
constexpr float CAMERA_PITCH_LIMIT = 1.5707964f;

// Rows: right, up, forward (with roll), position; f = 20 t.
void camera_matrix(float f, Matrix44& out);
// Vertical field of view at fraction f (the zoom interpolated).
float camera_fov(float f);
// The projection for a back buffer of wd x ht: near plane 0.1, far about 512,
// depth 0..1.
void camera_projection(float f, int wd, int ht, Matrix44& out);
// Position and previous position = p (no interpolated jump).
void set_camera_pos(const Vec4f& p);
// Zoom 1, timers, dash and speeds 0, previous position = position, mouse released.
void reset_fly_control();
// The bookkeeping at the start of every step that moves the camera.
void camera_begin_step(float dt);
// Position difference wrapped into [-128, 128) per axis (x and z).
float camera_wrap_delta(float d);
// Yaw wrapped within +-2 pi and pitch clamped, after a mouse-look change.
void camera_turn(float dyaw, float dpitch);
// The camera at the start of the step (interpolation fraction 0): position,
// front and up as (x, y, z, w), for the sound listener. Always true.
bool step_camera(float pos[4], float front[4], float up[4]);
// Mouse look: a mouse offset of (dx, dy) pixels from the window centre turns
// the camera by 0.002 radians per pixel, divided by the zoom.
void camera_mouse_look(float dx, float dy, float zoom);
