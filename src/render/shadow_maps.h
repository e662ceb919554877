// Object shadow maps: a cascaded sun shadow map (four cascades in the
// quadrants of one texture) and a top-down map of the 256 cells round the
// camera. Casters are drawn by the game-object module's shadow callback;
// everything drawn blends with MAX into maps cleared to -256.
//
// The light matrices map a world position to texture coordinates inside the
// cascade's quadrant and the unscaled light depth; with the texel-scale
// pairs and the depth scales they are handed to the world shaders.
#pragma once
#include "core/math_types.h"
#include "render/device.h"

// Negative counts as 0; cascade map 1024 << q, top-down map min(256 << q, 512).
// Recreates existing maps only when a size changes.
void set_shadow_map_quality(int q);
int shadow_cascade_size();
int shadow_topdown_size();
void init_shadow_maps();  // fatal "Can't create shadow map textures"
void close_shadow_maps();
bool shadow_maps_ready();
// The cascade and top-down passes for range r (the scene passes 512).
void render_shadow_maps(float r, int pass_arg);
// No caster has been drawn into the maps since they were last cleared: they
// shadow nothing, and render_shadow_maps leaves them alone while there is no
// caster drawer. (Anything that draws casters goes through shadow_casters_fn.)
bool shadow_maps_empty();
Texture* shadow_cascade_map();
Texture* shadow_topdown_map();
// PS registers first..first+22: four cascade light matrices, the top-down
// one, then (texel scales of cascades 0, 1), (2, 3), (top-down, -), the four
// depth scales.
void shadow_set_ps_consts(int first);

// The module's caster drawing (render_gameobj_shadow_map); null draws nothing.
extern void (*shadow_casters_fn)(int pass_arg);

// {===== The pure geometry (tested without a device)

struct CascadeResult {
  Matrix44 view, proj, light; // light = view x T (texture space of the quadrant)
  float sx, sy;
  int angle_deg; // the rotation search's winner
  float texel_x, texel_y;
};
// One cascade for the camera matrix `cam` (rows right, up, forward,
// position), projection scales m00 and m11, depths n..f, lighting sun
// direction L, viewport (x, y, w, h) in a map of size N.
CascadeResult shadow_cascade(const Matrix44& cam, float m00, float m11, float n, float f, const Vec4f& L, int x,
                             int y, int w, int h, int N);
// The top-down view for a camera position: centre cell (cx, cz) and matrices.
void shadow_topdown_view(const Vec4f& cam_pos, int M, float& cx, float& cz, Matrix44& view, Matrix44& light);
// Round half to even, as the view's whole-unit snapping does.
float round_half_even(float v);
