// The camera state shared by the game modes, its matrix and projection.
#include "render/camera.h"

#include <cmath>


CameraState camera = {{0, 0, 0, 1}, {0, 0, 0, 1}, 0, 0, 0, 0, 1, 1, 0, 0, false, 0, 0, 0};
Vec4f cur_frame_color = {0, 0, 0, 0};
Vec4f prev_frame_color = {0, 0, 0, 0};
Matrix44 cur_view_itm = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
Matrix44 cur_view_tm = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

float camera_wrap_delta(float d) {
  // [-128, 128): one world period is 256 units.
  return d - 256.0f * std::floor((d + 128.0f) / 256.0f);
}

void camera_matrix(float f, Matrix44& m) {
  const CameraState& c = camera;
  float sy = std::sin(c.yaw), cy = std::cos(c.yaw), sp = std::sin(c.pitch), cp = std::cos(c.pitch);
  float right[3] = {cy, 0, sy};
  float up[3] = {sy * sp, cp, -cy * sp};
  float fwd[3] = {-sy * cp, sp, cy * cp};
  float r = c.prev_roll + (c.roll - c.prev_roll) * f;
  float sr = std::sin(r), cr = std::cos(r);
  for (int k = 0; k < 3; k++) {
    m.m[0][k] = cr * right[k] - sr * up[k];
    m.m[1][k] = sr * right[k] + cr * up[k];
    m.m[2][k] = fwd[k];
  }
  m.m[0][3] = m.m[1][3] = m.m[2][3] = 0;
  m.m[3][0] = c.prev_pos.x + camera_wrap_delta(c.pos.x - c.prev_pos.x) * f;
  m.m[3][1] = c.prev_pos.y + (c.pos.y - c.prev_pos.y) * f;
  m.m[3][2] = c.prev_pos.z + camera_wrap_delta(c.pos.z - c.prev_pos.z) * f;
  m.m[3][3] = 1;
}

float camera_fov(float f) { return CAMERA_FOV / (camera.prev_zoom + (camera.zoom - camera.prev_zoom) * f); }

void camera_projection(float f, int wd, int ht, Matrix44& p) {
  float ys = 1.0f / std::tan(camera_fov(f) * 0.5f);
  float xs = ys / (float(wd) / float(ht > 0 ? ht : 1));
  p = Matrix44{{{xs, 0, 0, 0}, {0, ys, 0, 0}, {0, 0, 1.0001953840255737f, 1}, {0, 0, -0.10001953691244125f, 0}}};
}

void set_camera_pos(const Vec4f& p) {
  camera.pos = p;
  camera.prev_pos = p;
}

void reset_fly_control() {
  camera.zoom = camera.prev_zoom = 1;
  camera.fwd_timer = camera.back_timer = 0;
  camera.dash = 0;
  camera.hspeed = camera.prev_hspeed = 0;
  camera.prev_pos = camera.pos;
  camera.mouse_captured = false;
}

void camera_begin_step(float dt) {
  camera.prev_pos = camera.pos;
  camera.prev_roll = camera.roll;
  camera.prev_hspeed = camera.hspeed;
  camera.prev_zoom = camera.zoom;
  prev_frame_color = cur_frame_color;
  float a = (1.0f - dt * 0.5f) * cur_frame_color.w - dt * 0.5f;
  cur_frame_color.w = a > 0 ? a : 0;
}

void camera_turn(float dyaw, float dpitch) {
  const float two_pi = 6.2831853f;
  camera.yaw += dyaw;
  while (camera.yaw > two_pi) camera.yaw -= two_pi;
  while (camera.yaw < -two_pi) camera.yaw += two_pi;
  camera.pitch += dpitch;
  if (camera.pitch > CAMERA_PITCH_LIMIT) camera.pitch = CAMERA_PITCH_LIMIT;
  if (camera.pitch < -CAMERA_PITCH_LIMIT) camera.pitch = -CAMERA_PITCH_LIMIT;
}

void camera_mouse_look(float dx, float dy, float zoom) {
  if (!(zoom >= 1.0f)) zoom = 1.0f; // also NaN: the look never speeds up past 1
  camera_turn(-0.002f * dx / zoom, -0.002f * dy / zoom);
}

bool step_camera(float pos[4], float front[4], float up[4]) {
  Matrix44 m;
  camera_matrix(0, m);
  for (int k = 0; k < 4; k++) {
    pos[k] = m.m[3][k];
    front[k] = k < 3 ? m.m[2][k] : 0;
    up[k] = k < 3 ? m.m[1][k] : 0;
  }
  return true;
}
