// The scene of every mode that shows a world: camera and projection for the
// frame, the sky, the shadow maps and the terrain, then either the
// high-quality deferred-lighting path or the simple forward path, ending
// with the scene colour in `scene_image` for the post effects.
//
// Screen-sized targets (created at start-up, recreated by the device on
// resize at the same slots): S0 = scene_image; at high quality S1 the scene
// texture and S2, S3 the two further scene images.
#pragma once
#include "render/device.h"

// S0..S3; S0 always mirrors scene_image.
extern Texture* scene_images[4];
extern bool scene_wireframe; // use_wireframe: the scene drawn as lines

// The high-quality scene targets and the deferred-lighting shaders (fatal
// "can't create scene texture" / "can't create scene image texture").
void init_scene_targets();
void close_scene_targets();
// The scene for render time t (f = 20 t) into scene_image.
void render_scene(float t);
// Shader constants of the world passes: VS c0..c3 the global matrix, VS c4
// and PS c14 the camera position, VS c5.x and PS c15.x the animation time
// in seconds (sky_anim_time: it stands still when the world does).
void scene_set_view_consts(const Matrix44& view, const Matrix44& proj, const float cam_pos[3]);
// Camera axes scaled by the projection (VS c17..c19): a screen position
// (x, y) in clip units looks along forward + x right' + y up'.
void camera_ray_consts(const Matrix44& cam, const Matrix44& proj);
