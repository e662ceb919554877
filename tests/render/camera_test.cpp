// The camera of the modes: its matrix, the interpolation across the world's
// wrap, the zoomed projection, mouse-look limits and the step bookkeeping.
#include <gtest/gtest.h>

#include <cmath>

#include "render/camera.h"

namespace {

void reset_camera() {
  camera = CameraState{};
  camera.zoom = camera.prev_zoom = 1;
  cur_frame_color = prev_frame_color = Vec4f{0, 0, 0, 0};
}

TEST(Camera, MatrixRowsAreRightUpForwardAndPosition) {
  reset_camera();
  camera.yaw = 0.3f;
  camera.pitch = -0.4f;
  set_camera_pos(Vec4f{10, 20, 30, 1});
  Matrix44 m;
  camera_matrix(0.5f, m);
  const float sy = std::sin(0.3f), cy = std::cos(0.3f), sp = std::sin(-0.4f), cp = std::cos(-0.4f);
  EXPECT_NEAR(m.m[2][0], -sy * cp, 1e-6f);
  EXPECT_NEAR(m.m[2][1], sp, 1e-6f);
  EXPECT_NEAR(m.m[2][2], cy * cp, 1e-6f);
  EXPECT_NEAR(m.m[0][1], 0.0f, 1e-6f); // no roll: right stays level
  // Orthonormal rows.
  for (int a = 0; a < 3; a++)
    for (int b = 0; b < 3; b++) {
      float d = m.m[a][0] * m.m[b][0] + m.m[a][1] * m.m[b][1] + m.m[a][2] * m.m[b][2];
      EXPECT_NEAR(d, a == b ? 1.0f : 0.0f, 1e-5f) << a << "," << b;
    }
  EXPECT_FLOAT_EQ(m.m[3][0], 10);
  EXPECT_FLOAT_EQ(m.m[3][3], 1);
}

TEST(Camera, InterpolationTakesTheShortWayAcrossTheWorldsEdge) {
  reset_camera();
  set_camera_pos(Vec4f{255.5f, 5, 0.5f, 1});
  camera_begin_step(0.05f);
  camera.pos = Vec4f{0.5f, 7, 255.5f, 1}; // one unit on across both edges
  Matrix44 m;
  camera_matrix(0.5f, m);
  EXPECT_FLOAT_EQ(m.m[3][0], 256.0f);
  EXPECT_FLOAT_EQ(m.m[3][1], 6.0f);
  EXPECT_FLOAT_EQ(m.m[3][2], 0.0f);
  EXPECT_FLOAT_EQ(camera_wrap_delta(128.0f), -128.0f);
  EXPECT_FLOAT_EQ(camera_wrap_delta(-128.0f), -128.0f);
  EXPECT_FLOAT_EQ(camera_wrap_delta(300.0f), 44.0f);
}

TEST(Camera, ZoomEightNarrowsTheViewToNineDegrees) {
  reset_camera();
  camera.zoom = camera.prev_zoom = 8;
  EXPECT_NEAR(camera_fov(0.0f) * 180 / 3.14159265f, 9.25f, 0.01f);
  Matrix44 p;
  camera_projection(0.0f, 1280, 720, p);
  EXPECT_NEAR(p.m[1][1], 1 / std::tan(camera_fov(0) / 2), 1e-3f);
  EXPECT_NEAR(p.m[0][0], p.m[1][1] * 720 / 1280, 1e-3f);
  // Depth: the near plane 0.1 maps to 0, about 512 to 1.
  EXPECT_NEAR((0.1f * p.m[2][2] + p.m[3][2]) / 0.1f, 0.0f, 1e-4f);
  EXPECT_NEAR((512.0f * p.m[2][2] + p.m[3][2]) / 512.0f, 1.0f, 1e-3f);
}

TEST(Camera, MouseLookClampsPitchAndWrapsYaw) {
  reset_camera();
  camera_turn(7.0f, 3.0f);
  EXPECT_NEAR(camera.yaw, 7.0f - 6.2831853f, 1e-5f);
  EXPECT_FLOAT_EQ(camera.pitch, CAMERA_PITCH_LIMIT);
  camera_turn(-14.0f, -9.0f);
  EXPECT_GE(camera.yaw, -6.2831853f);
  EXPECT_FLOAT_EQ(camera.pitch, -CAMERA_PITCH_LIMIT);
}

TEST(Camera, StepBookkeepingKeepsThePastAndFadesTheFrameColour) {
  reset_camera();
  camera.pos = Vec4f{1, 2, 3, 1};
  camera.roll = 0.2f;
  camera.zoom = 3;
  cur_frame_color = Vec4f{1, 0.5f, 0, 0.5f};
  camera_begin_step(0.05f);
  EXPECT_FLOAT_EQ(camera.prev_pos.y, 2);
  EXPECT_FLOAT_EQ(camera.prev_roll, 0.2f);
  EXPECT_FLOAT_EQ(camera.prev_zoom, 3);
  EXPECT_FLOAT_EQ(prev_frame_color.w, 0.5f);
  EXPECT_FLOAT_EQ(cur_frame_color.w, (1 - 0.025f) * 0.5f - 0.025f);
  EXPECT_FLOAT_EQ(cur_frame_color.x, 1); // the colour itself stays
  for (int i = 0; i < 40; i++) camera_begin_step(0.05f);
  EXPECT_EQ(cur_frame_color.w, 0.0f);
  // reset_fly_control drops the zoom and any interpolated jump.
  camera.pos = Vec4f{9, 9, 9, 1};
  reset_fly_control();
  EXPECT_FLOAT_EQ(camera.zoom, 1);
  EXPECT_FLOAT_EQ(camera.prev_pos.x, 9);
}

} // namespace
