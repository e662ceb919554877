// The models meshgen writes: name, renderer class, the four materials of the
// texture's swatches and the function that builds the geometry.
#pragma once
#include "geom.h"

namespace meshgen {

enum Material {
  M_BARK, M_LEAVES, M_LEAVES_DARK, M_NEEDLES, M_STONE, M_MOSS_STONE, M_RUNE_STONE, M_SKIN, M_CLOTH, M_HAIR,
  M_LEATHER, M_EYE_WHITE, M_IRIS_GLOW, M_GATHERER, M_GATHERER_DARK, M_CTR_GREEN, M_CTR_STRIPE, M_CTR_DARK,
  M_CTR_YELLOW, M_WYV_SCALE, M_WYV_BELLY, M_WYV_WING, M_HORN, M_GLOW_YELLOW, M_BRICK, M_STONE_TOP, M_WOOD,
  M_ROOF, M_DARK, M_COUNT
};

struct Model {
  const char* name;
  const char* cls; // "Simple", "Morph", "Spline" or "Building"
  Material mats[4];
  void (*build)(Builder&);
};

// Swatch texel (u, v in 0..1 inside the swatch) as r, g, b, a; a < 1 glows.
void material_texel(Material m, float u, float v, float out[4]);

extern const Model nature_models[];    // trees, stones, menhirs, humanoid
extern const int nature_model_count;
extern const Model creature_models[];  // gatherer, caterpillar, wyvern
extern const int creature_model_count;
extern const Model castle_models[];    // the 19 building pieces
extern const int castle_model_count;

} // namespace meshgen
