// Terrain generators and brushes. Each is one pass over the 256 x 256 cells
// (wrapping at the edges) that adds a feature to a height grid and, where
// asked, paints the surface. Randomness comes from the game random generator
// and the noise tables only, in a fixed order, so a world is reproducible
// from its seed. Whole-grid passes do not allocate: their scratch grids are
// static. Main thread only.
#pragma once
#include "core/math_types.h"

struct ColorRamp;

namespace HeightmapData {

// Subdivision noise over the whole grid (seven levels, 4 draws per square).
void makeFastNoise(float* grid, float amplitude, float persistence);
// hmap += fast noise scaled into min_ht..max_ht; optionally paints the ramp
// at the noise value and sets the ground type (-1 keeps it).
void addFastNoise(float min_ht, float max_ht, const ColorRamp* ramp, int ground_type, int alpha,
                  float persistence);
// hmap += tiling simplex noise (tile a positive power of two).
void addSimplexNoise(float min_ht, float max_ht, int tile, int octaves, float gain);
// hmap += paraboloid hills on a Voronoi lattice, combined by maximum.
void addVoronoiHills(int tile, float min_ht, float max_ht, float radius);
// hmap += warped Voronoi plateaus meeting in scarps.
void genVoronoiFaults(int tile, float min_ht, float max_ht, float warp, int warp_scale, int octaves,
                      float sharpness);
// One fault scarp in an ellipse (64 across, 128 along) round the centre.
void genFault(Point2 centre, Point2 direction, float height, float balance, float wobble,
              const ColorRamp* ramp, int ground_type, int alpha, float* grid);
// A crater; only ever lowers the land.
void genCrater(Point2 centre, float radius, float depth, float* grid);
// One of the five house templates, unless type >= 0 and the ground is marked.
void placeHouse(int x, int z, int type, float* grid, bool keep_mean);

// The hill and plateau fields of addVoronoiHills / genVoronoiFaults added
// into any grid (the script's masks use them); same draws, same checks.
void addVoronoiHillsTo(float* grid, int tile, float min_ht, float max_ht, float radius);
void addVoronoiFaultsTo(float* grid, int tile, float min_ht, float max_ht, float warp,
                        int warp_scale, int octaves, float sharpness);

} // namespace HeightmapData

// grid += (1 - (d^2 / r^2)^power) * amount over the circle; r <= 0 does nothing.
void circle_brush(float x, float z, float radius, float amount, float power, float* grid);
// v += (1 - (d^2 / r^2)^power) * strength * (target - v) over the circle.
void flatten_circle(float x, float z, float radius, float target, float strength, float power,
                    float* grid);
// Mean of the land height at (x, z) and the grid over the circle.
float get_average_circle_height(float x, float z, float radius, float* grid);

// Land height of a cell as the game-object module answers it; null until
// the module is linked (the grid's own cell value is used instead).
extern float (*land_height_hook)(int x, int z);

// Paints a ramp sample into a cell colour: the sample's RGB (clamped) with
// the given alpha byte, blended over `old` by the sample's alpha.
D3dColor paint_ramp_color(D3dColor old, const Vec4f& sample, int alpha);
