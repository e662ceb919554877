// What the files of the world's life share (living*.cpp): drawing helpers,
// the position helpers and the house fires.
#pragma once
#include <math.h>

#include "core/math_types.h"
#include "game.h"
#include "living_rules.h"

class InstRender;

inline Vec4f vec_of(const float p[4]) { return Vec4f{p[0], p[1], p[2], 1}; }
// Seconds rounded to whole world steps (20 a second), so a timer counted
// down step by step ends exactly on a step.
inline float whole_ticks(float seconds) { return roundf(seconds * 20.0f) / 20.0f; }
inline int seconds_to_ticks(float seconds) { return int(lroundf(seconds * 20.0f)); }

// Horizontal distance across the wrapping world.
float living_distance(const float a[4], const float b[4]);

// ===== Drawing (living_render.cpp) ===========================================
// The shared renderer of a mesh ("tree1", ...), made on first use.
InstRender* living_renderer(const char* mesh);
// The camera's position for this frame.
Vec4f living_camera();
// Where to draw a world position: moved by whole world periods to lie
// nearest the camera. False when it is far behind the camera (not drawn).
bool living_place(const float pos[4], float reach, float out[3]);
// Queues a Simple instance: the mesh turned by `yaw` about y, tipped by
// `tilt` towards `tilt_yaw`, scaled across by `sxz` and up by `sy`.
void living_queue(InstRender* r, const float at[3], float yaw, float sxz, float sy, float tilt, float tilt_yaw,
                  uint32_t color);

// ===== Fires (living_trees.cpp) ===============================================
// A burning house at a house cell, unless one burns close by already.
bool ignite_house_at(int x, int z);
