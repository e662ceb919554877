// Composition (high quality): the G-buffer lit (dr_calc_light.sh) and hazed
// with each pixel's distance from the camera, straight into the scene image.
// One pass instead of lighting into a target and hazing it in a second: each
// full-screen pass costs a software rasterizer several milliseconds.
#define HAZED 1
#include "dr_calc_light.sh"
