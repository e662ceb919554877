// The house spell: a missile that builds a villagers' house where it lands.
// A house is the land's own shape, as the world generator makes it: the
// generator's house shaping raises walls and roof into the target heights of
// its cells and marks them as house cells, so the land grows into the house
// within a few seconds and the house cells are drawn and burn like any other.
#include "core/log.h"
#include "game_world.h"
#include "objects.h"
#include "spells_local.h"
#include "towers_local.h"
#include "world/heightmap.h"
#include "world/hmGen.h"

using namespace towers;

namespace {

const char* house_refusal_at(const Vec4f& at, const HouseShape** shape)
{
  int x = int(floorf(at.x)) & (HMAP_SIZE - 1), z = int(floorf(at.z)) & (HMAP_SIZE - 1);
  *shape = &house_shape_at(x, z);
  float others[64][2];
  int count = tower_centres(others, 64);
  if (const char* why = house_site_refusal(x, z, **shape, others, count)) return why;
  return near_castle_ground(house_x0(x, **shape), house_z0(z, **shape), (*shape)->nx, (*shape)->nz, 1)
             ? "Too close to the castle"
             : nullptr;
}

} // namespace

const char* cast_house_spell(Player* caster, const Vec4f& target)
{
  if (!isfinite(target.x) || !isfinite(target.z)) return "No ground there";
  const HouseShape* shape;
  if (const char* why = house_refusal_at(target, &shape)) return why;
  if (!launch_spell_missile(CID_HouseMissile, caster, target)) return "The house can't be built";
  play_sound_at("generic_cast", caster ? Vec4f{caster->pos[0], caster->pos[1], caster->pos[2], 1} : target);
  return nullptr;
}

// The land may have changed while the missile flew: the place is checked again.
void HouseMissile::arrive()
{
  Vec4f at{target[0], target[1], target[2], 1};
  const HouseShape* shape;
  if (const char* why = house_refusal_at(at, &shape)) {
    debug("towers: the house spell found no place at %.0f %.0f: %s", at.x, at.z, why);
    play_fx("land_spell_hit_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 0.5f);
    return;
  }
  int x = int(floorf(at.x)) & (HMAP_SIZE - 1), z = int(floorf(at.z)) & (HMAP_SIZE - 1);
  int x0 = house_x0(x, *shape), z0 = house_z0(z, *shape);
  // The generator's shaping keeps off ground reserved while a world is made;
  // in play the checks above decide, so the reservations there are lifted.
  mark_rect(x0, z0, x0 + shape->nx, z0 + shape->nz, 0, MARK_PLACEMENT | MARK_WATER);
  HeightmapData::placeHouse(x, z, shape->type, HeightmapData::target_hmap, false);
  clear_building_ground(x0, z0, x0 + shape->nx - 1, z0 + shape->nz - 1);
  play_fx("land_spell_hit_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 1.5f);
  debug("towers: a %d x %d house rises at %d %d", shape->nx, shape->nz, x, z);
}
