// The module's view of the host's world grids: queries (world_queries.cpp)
// and the terrain and fluid changes the spells make (terrain_spells.cpp).
// World units are cells; positions are (x, y, z, w) with y up.
#pragma once
#include "core/math_types.h"

class WaterSource;
class LavaSource;

// ===== Queries ===============================================================
float get_land_height(int x, int z);
// Bilinear land height at (pos.x, pos.z).
float get_land_height_at(const Vec4f& pos);
// pos with y set to the land height there.
Vec4f get_land_pos_at(const Vec4f& pos);
// How far the land still has to move to its target (target - height; > 0 rising).
float get_land_change(int x, int z);
float get_land_change_at(const Vec4f& pos);
// Signed fluid depth: > 0 water, < 0 lava, 0 dry.
float get_water(int x, int z);
float get_water_at(const Vec4f& pos);
// Unit normal of the land (w = 0).
Vec4f calc_land_norm(int x, int z);
Vec4f calc_land_norm_at(const Vec4f& pos);
// World ticks (20 a second) since the world began; saved with the world.
int get_world_time();
// One world step passed (update_gameobj).
void advance_world_time();

// ===== Terrain and fluid changes =============================================
// Land changes move the target height; the host's height update moves the land
// toward it. Fluids change the water grid's depth directly, as sources do.
void create_hill(const Vec4f& pos, float radius, float height);
void carve_crack(const Vec4f& from, const Vec4f& to, float width, float depth);
void volcano_cone(const Vec4f& pos, float radius, float height, float crater_radius);
void add_source_lava(const Vec4f& pos, float radius, float amount);
LavaSource* add_magic_volcano(const Vec4f& pos, float radius, float height);
void add_source_water(const Vec4f& pos, float radius, float amount);
WaterSource* add_water_source(const Vec4f& pos, float radius, float rate, float seconds);
void add_water_globe(const Vec4f& pos, float radius);
void simulate_water(float seconds);
// Adds a signed fluid amount to a cell (> 0 water, < 0 lava); where water
// and lava meet they harden into rock one for one, raising the land.
void add_fluid_at(int x, int z, float amount);
