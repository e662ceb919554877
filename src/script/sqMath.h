// The script-side math and colour types: the class vec4f (SqVec4f), the
// gradients ColorRamp and FloatRamp, the global vector, colour and random
// functions, and the conversions shared with native code. Registered into
// the world-generation and fx VMs by one routine each.
#pragma once
#include <squirrel.h>

#include "core/math_types.h"
#include "core/ramp.h"

struct SqVec4f {
  Vec4f v;
};
struct SqColorRamp {
  ColorRamp ramp;
};
struct SqFloatRamp {
  FloatRamp ramp;
};

// The class vec4f and the global vector functions (make4f, cross, dot3, ...,
// round, wrap).
void register_script_vec4f(HSQUIRRELVM vm);
// The colour functions (hsv2rgba, lch2rgba, lerpcolor, mix3colors,
// mix4colors, tocolor) and the classes ColorRamp and FloatRamp.
void register_script_colors(HSQUIRRELVM vm);
// The random functions on game_rnd_seed (hmrnd ... randomize_rnd_seed).
void register_script_random(HSQUIRRELVM vm);
// All three.
void register_script_math(HSQUIRRELVM vm);

// Converts the value at `idx` to a vector: a vec4f, an array of four
// numbers, a number (n, n, n, n), or - when `color` is set - an integer
// unpacked as a packed colour. Anything else throws SquirrelError.
Vec4f script_get_vec4f(HSQUIRRELVM vm, SQInteger idx, bool color);
// Pushes a new vec4f instance.
void script_push_vec4f(HSQUIRRELVM vm, const Vec4f& v);

// HSV (h in degrees, any value; s, v in 0..1) to (r, g, b, a).
Vec4f hsv2rgba(float h, float s, float v, float a);
// (r, g, b) to (h, s, v, 0).
Vec4f rgb2hsv(Vec4f rgb);
// CIE LCh (h in degrees) to unclamped sRGB with alpha passed through.
Vec4f lch2rgba(float L, float C, float h, float a);
