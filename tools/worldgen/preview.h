// The preview picture and the grid hash of runeholm-worldgen.
#pragma once
#include <cstdint>
#include <vector>

#include "core/math_types.h"

// FNV-1a over the four persistent grids (heights, target heights, surface, water).
uint64_t world_grid_hash();
// A shaded top-down picture of the world, size x size pixels, encoded as PNG
// into `png` (the caller writes it). Colours of water and lava come from the
// script's palette.
bool encode_world_preview(std::vector<unsigned char>& png, int size, const Vec4f& sun_dir, D3dColor water,
                          D3dColor lava);
