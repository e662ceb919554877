// Post effects: the four screen-sized A8R8G8B8 targets (T1..T4 of the scene,
// in creation order) and the optional floating-point one, the resolve of the
// scene colour to the back buffer with the optional temporal anti-aliasing
// pass, and the projection jitter that feeds it.
//
// The scene colour is `scene_image`; the temporal history is the first of
// the two further scene images (scene.h). Both are swapped, never copied.
#pragma once
#include "core/math_types.h"
#include "render/device.h"

extern Texture* postfx_targets[4]; // T1..T4
extern Texture* postfx_fp_target;  // null when the device can't blend into A16B16G16R16F

void init_postfx();  // fatal "can't create textures for post-effect"
void close_postfx();
// The colour term of this frame (rgb, blend weight in alpha), given to the resolve as PS c1.
void postfx_set_frame_color(const Vec4f& c);
// The resolve to the back buffer (temporal pass first with use_ppaa at high quality).
void finish_frame_postfx();

// The weight of this frame's shadow term against its history.
constexpr float SHADOW_TERM_WEIGHT = 0.1f;
// Temporal filtering of the deferred path's shadow term with the reprojection
// pass ("postfx_taa.sh"): `term` (this frame's, stage 0) blended with
// `history` (the last frame's filtered term, stage 1) seen through the last
// resolved frame's matrix, at weight SHADOW_TERM_WEIGHT, into `target`;
// `distance` is the G-buffer's distance target (stage 2). Returns false,
// drawing nothing, when the history can't be used: no resolved frame yet, a
// different screen size since, or a camera cut (a jump of more than 16
// units); the caller then keeps the unfiltered term.
bool postfx_filter_shadow_term(Texture* target, Texture* term, Texture* history, Texture* distance,
                               const Matrix44& cam, const Matrix44& proj);

// Entry k (1..64) of the jitter cycle: the k-th Halton points of bases 2 and 3.
void halton_point(int k, float& h2, float& h3);
// Adds this frame's sub-pixel offset to the projection (row 2, first two
// entries) and stores the sample weight; advances the cycle.
void postfx_apply_jitter(Matrix44& proj, int wd, int ht);
float postfx_jitter_weight();
