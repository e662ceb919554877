// The object shadow passes (render_shadow*.cpp), shared with their
// developer command.
#pragma once
#include "classes.h"
#include "render/device.h"

// What the shadow passes of the last frame drew (counted over its passes).
struct ShadowPassStats {
  int passes = 0;
  int casters = 0;     // objects queued (one per pass they reach)
  int culled = 0;      // casters left out of a pass that they can't reach
  int house_cells = 0; // house pieces queued
  int instances = 0;   // instances drawn with the shadow shaders
  int pass_casters[5] = {}; // casters per pass: cascades 0..3, top-down
};
const ShadowPassStats& shadow_pass_stats();

// A caster's bounding sphere: its radius (0: the object casts no shadow)
// and centre.
float shadow_caster_bounds(GameObj* obj, float centre[3]);
// Whether a caster's shadow may fall where the pass's map is read: the
// view-depth slice `cascade` (0..3) of the sun cascades, or (cascade 4) the
// top-down map's receivers in view. `c` is the sphere's centre moved next to
// the camera, `cam` the camera matrix (rows right, up, forward, position),
// `xs` the projection's x scale, L the direction to the sun.
bool shadow_reaches_view(int cascade, const float c[3], float r, const Matrix44& cam, float xs, const Vec4f& L);
// Whether a sphere may reach a pass's map: `glob` is the pass's
// orthographic light view times projection; depth is not limited.
bool shadow_box_reaches(const Matrix44& glob, const float centre[3], float r);
