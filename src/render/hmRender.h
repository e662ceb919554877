// The terrain renderer: draws the wrapping 256 x 256 world as land, water,
// lava and (high quality) a distant horizon ring, from GPU textures derived
// from the world grids and rebuilt after every simulation step, with vertex
// and index buffers refilled every frame from the rendered heights `curh`.
//
// Between two simulation steps it interpolates with f = 20 t (t = time since
// the step): textures made from the old and the new state are blended on the
// GPU, water and lava levels on the CPU.
//
// The window: a 256 x 256 block of cells centred on the camera, origin
// (cx - 128, cz - 128) for the rounded camera cell. Vertex coordinates are
// world coordinates and are not wrapped (they may be negative or above 255);
// grid reads use hmap_index, which wraps.
//
// Per-cell CPU state lives in the world block's renderer grids
// (HeightmapData::render_grid): 0 = fluid levels, two slots per cell;
// 1 = curh, blended water, blended lava; 2 and 3 (high quality) = the two
// flow-coordinate arrays.
#pragma once
#include <cfloat>
#include <cstdint>

#include "render/device.h"
#include "world/heightmap.h"

namespace HeightmapRenderer {

// {===== Textures (read by the scene, the world map and the game objects)

extern Texture* hmapTex; // G16R16F: r = half(ground + |fluid|), g = half(ground)
extern Texture* colrTex; // R5G6B5 ground colours
extern Texture* topcTex; // A8R8G8B8 top-layer colours
extern Texture* landColorTex; // A8R8G8B8 the ground colours under the top layer, mixed on upload
extern Texture* normTex; // 1024: normal maps blended
extern Texture* aperTex; // high quality, 256: aperture (sky visibility) blended
extern Texture* prevSunMap, *curSunMap, *sunMap; // high quality, 256, G16R16F
extern Texture* mapTex;  // 512 x 512 world map

// {===== CPU state and its pure steps (tested without a device)

constexpr float NO_FLUID = -FLT_MAX;

struct FluidLevel {
  float water, lava; // NO_FLUID when the cell has none
};
// Two slots per cell: levels[cell][slot].
using FluidSlots = FluidLevel[2];

struct FlowPair {
  float u0, v0, u1, v1;
};

// The water and lava level of one cell by the threshold b (0.01 high quality,
// 0.1 low): its own surface when its depth passes b, else the average
// surface of the 8 neighbours that pass it, never above its ground; none
// without such a neighbour.
FluidLevel cell_fluid_level(const float* hmap, const HeightmapData::Water* water, int x, int z, float b);
// old -> new at fraction f; a missing end takes the other at once.
inline float blend_fluid_level(float old_level, float new_level, float f) {
  if (old_level == NO_FLUID) return new_level;
  if (new_level == NO_FLUID) return old_level;
  return old_level + (new_level - old_level) * f;
}
// The window origin for a camera position: the rounded cell minus 128.
void window_origin(float cam_x, float cam_z, int& x0, int& z0);
// IEEE binary16, round to nearest even; beyond the largest half the result
// saturates to +-65504 (never NaN or infinity, which would poison the
// shaders); values below the smallest normal become denormals.
uint16_t float_to_half(float f);
// Sun-shadow pass parameters for a unit sun direction. Returns 0 when the sun
// is near the zenith (clear to -65000, -64000), 1 when the sun's disk is
// below the usable slopes (clear to 64000, 65000), else 2 with the slope
// bounds hi >= lo and the horizontal direction (dx, dz).
int sun_shadow_params(const Vec4f& sun, float& dx, float& dz, float& hi, float& lo);
// Fills `out` with the six indices of each water (or lava) quad of the
// window whose four corners all have a level, within the radius-130 circle;
// returns the number of quads. `levels` holds the blended level per window
// vertex (row * 256 + col). `blocks` (null: all) marks the visible blocks of
// 15 x 15 quads, 17 a side.
int build_fluid_quads(const float* window_levels, uint16_t* out, const uint8_t* blocks = nullptr);

// {===== Lifetime and per-step / per-frame work

void init_terrain_renderer();  // fatal on any creation failure
void close_terrain_renderer();
bool terrain_renderer_ready();
void reset_fluid_levels();
// Changes with every reset_fluid_levels (a world generated or loaded): what
// was rendered before shows another world.
unsigned world_serial();
void mark_terrain_changed();
// After a device resize: render targets lost their contents, so the next
// rebuild redoes every pass.
void terrain_targets_lost();
void update_fluid_levels(float dt);
void update_terrain(float t);
void draw_land();
void draw_water(float f);
void draw_lava(float f);
void draw_horizon();
// The newest normal or aperture map (the world map's light pass).
Texture* newest_light_map();
// Counts of the last frame (tests and statistics).
struct FrameCounts {
  int instances, far_quads, water_quads, lava_quads, horizon_quads, buildings;
};
const FrameCounts& frame_counts();
// How often the aperture and sun passes ran since the renderer started
// (tests: they are skipped while their inputs stay the same).
struct PassCounts {
  int aper, sun;
};
const PassCounts& pass_counts();
// Window origin of the last update_terrain.
void last_window_origin(int& x0, int& z0);
// The blended levels of the last frame, per cell index (water, lava).
float blended_water_level(int cell);
float blended_lava_level(int cell);

// The module's building drawer; null draws nothing.
extern void (*render_building_fn)(const HeightmapData::Surface* s, int x, int z);

} // namespace HeightmapRenderer

// The world map (512 x 512 render of the whole world from above).
void init_world_map();
void close_world_map();
void render_world_map();
// The water quads of the map: indices into the 257 x 257 vertex grid, rows
// 254 and 255 relative to vertex 65,278. Returns the two group counts.
void build_map_water_quads(const HeightmapData::Water* water, uint16_t* out, int& first, int& second);
