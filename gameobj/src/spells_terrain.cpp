// The land and water spells: each casts its missile, which makes the lasting
// change where it lands (the land through its target height, so it grows
// within a second; the fluids directly).
#include <math.h>

#include "core/log.h"
#include "game_world.h"
#include "objects.h"
#include "spells_local.h"

namespace {

// Sizes of the changes, in cells.
constexpr float HILL_RADIUS = 7.0f, HILL_HEIGHT = 6.0f;
constexpr float FAULT_HALF_LENGTH = 12.0f, FAULT_WIDTH = 2.5f, FAULT_DEPTH = 5.0f;
constexpr float VOLCANO_RADIUS = 12.0f, VOLCANO_HEIGHT = 10.0f;
constexpr float SOURCE_RADIUS = 2.0f, SOURCE_RATE = 1.5f, SOURCE_SECONDS = 90.0f;
constexpr float SINK_RADIUS = 4.0f, SINK_RATE = 3.0f, SINK_SECONDS = 30.0f;
constexpr float GLOBE_RADIUS = 3.0f;

Vec4f target_of(const SpellMissile* m) { return Vec4f{m->target[0], m->target[1], m->target[2], 1}; }

const char* launch(int missile_class, Player* caster, const Vec4f& target)
{
  if (!launch_spell_missile(missile_class, caster, target)) return "Not available yet";
  play_sound_at("generic_cast", caster ? Vec4f{caster->pos[0], caster->pos[1], caster->pos[2], 1} : target);
  return nullptr;
}

// Dust and sparkles where the land is changed.
void land_hit(const Vec4f& at, float scale)
{
  play_fx("land_spell_hit_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, scale);
  play_sound_fading("land_moving", at, 2.5f); // the land takes a few seconds to move
}

void water_hit(const Vec4f& at, float scale)
{
  play_fx("water_spell_hit_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, scale);
}

} // namespace

const char* cast_hill_spell(Player* c, const Vec4f& t) { return launch(CID_HillMissile, c, t); }
const char* cast_pit_spell(Player* c, const Vec4f& t) { return launch(CID_PitMissile, c, t); }
const char* cast_fault_spell(Player* c, const Vec4f& t) { return launch(CID_FaultMissile, c, t); }
const char* cast_volcano_spell(Player* c, const Vec4f& t) { return launch(CID_VolcanoMissile, c, t); }
const char* cast_water_source_spell(Player* c, const Vec4f& t) { return launch(CID_WaterSourceMissile, c, t); }
const char* cast_water_sink_spell(Player* c, const Vec4f& t) { return launch(CID_WaterSinkMissile, c, t); }
const char* cast_waterball_spell(Player* c, const Vec4f& t) { return launch(CID_Waterball, c, t); }

void HillMissile::arrive()
{
  create_hill(target_of(this), HILL_RADIUS, HILL_HEIGHT);
  land_hit(target_of(this), 1.0f);
}

void PitMissile::arrive()
{
  create_hill(target_of(this), HILL_RADIUS, -HILL_HEIGHT);
  land_hit(target_of(this), 1.0f);
}

// The crack runs through the target along the direction the missile flew.
void FaultMissile::arrive()
{
  Vec4f at = target_of(this);
  float dx = vel[0], dz = vel[2];
  float len = sqrtf(dx * dx + dz * dz);
  if (len > 1e-4f) {
    dx /= len;
    dz /= len;
  } else {
    dx = 1; // cast straight down: any direction will do
    dz = 0;
  }
  Vec4f from{at.x - dx * FAULT_HALF_LENGTH, at.y, at.z - dz * FAULT_HALF_LENGTH, 1};
  Vec4f to{at.x + dx * FAULT_HALF_LENGTH, at.y, at.z + dz * FAULT_HALF_LENGTH, 1};
  carve_crack(from, to, FAULT_WIDTH, FAULT_DEPTH);
  land_hit(at, 1.5f);
}

void VolcanoMissile::arrive()
{
  Vec4f at = target_of(this);
  add_magic_volcano(at, VOLCANO_RADIUS, VOLCANO_HEIGHT);
  play_sound_at("volcano_eruption", at);
  play_fx("spawn_volcano_smoke_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 2.0f);
  land_hit(at, 2.0f);
}

void WaterSourceMissile::arrive()
{
  Vec4f at = target_of(this);
  add_water_source(at, SOURCE_RADIUS, SOURCE_RATE, SOURCE_SECONDS);
  play_fx("spawn_water_source_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 1.0f);
}

// A sink is a water source pouring a negative amount: it drains the water
// around it and never makes lava (FluidSource drains its own fluid).
void WaterSinkMissile::arrive()
{
  Vec4f at = target_of(this);
  add_water_source(at, SINK_RADIUS, -SINK_RATE, SINK_SECONDS);
  play_fx("spawn_water_sink_fx", at, Vec4f{0, 0, 0, 0}, Vec4f{0, 1, 0, 0}, 1.0f);
}

void Waterball::arrive()
{
  Vec4f at = target_of(this);
  add_water_globe(at, GLOBE_RADIUS);
  water_hit(at, 1.0f);
}
