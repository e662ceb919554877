// The spells' missiles: a straight flight from the caster to the ground
// point, with the effects script's trail, ending in the spell's change.
#include <math.h>
#include <string.h>

#include "core/log.h"
#include "core/stream.h"
#include "game_world.h"
#include "objects.h"
#include "spells_local.h"

namespace {

// The land must move within a second of the cast: a missile flies at most
// this long, and never so briefly that its trail cannot be seen.
constexpr float MISSILE_SPEED = 80.0f;
constexpr float MIN_FLIGHT = 0.2f;
constexpr float MAX_FLIGHT = 0.6f;

} // namespace

GameObj* launch_spell_missile(int class_id, Player* caster, const Vec4f& target)
{
  GameObj* obj = new_gameobj_by_id(class_id);
  auto* m = dynamic_cast<SpellMissile*>(obj);
  if (!m) {
    if (obj) obj->destroy();
    debug("spells: %s is not a spell's missile", gameobj_class_name(class_id));
    return nullptr;
  }
  Vec4f from = caster ? Vec4f{caster->pos[0], caster->pos[1] - 0.5f, caster->pos[2], 1}
                      : Vec4f{target.x, target.y + 20.0f, target.z, 1};
  float d[3] = {target.x - from.x, target.y - from.y, target.z - from.z};
  float dist = sqrtf(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  float flight = fminf(fmaxf(dist / MISSILE_SPEED, MIN_FLIGHT), MAX_FLIGHT);
  m->caster.set(caster);
  m->pos[0] = from.x;
  m->pos[1] = from.y;
  m->pos[2] = from.z;
  for (int k = 0; k < 3; ++k) m->vel[k] = d[k] / flight;
  m->target[0] = target.x;
  m->target[1] = target.y;
  m->target[2] = target.z;
  m->time_left = flight;
  play_sound_at("generic_missile", from);
  return m;
}

void SpellMissile::update(float dt)
{
  if (destroyed) return;
  Vec4f at{pos[0], pos[1], pos[2], 1};
  Vec4f v{vel[0], vel[1], vel[2], 0};
  float speed = sqrtf(v.x * v.x + v.y * v.y + v.z * v.z);
  Vec4f dir = speed > 0 ? Vec4f{v.x / speed, v.y / speed, v.z / speed, 0} : Vec4f{0, -1, 0, 0};
  play_fx(trailFx(), at, v, dir, 1.0f);
  float t = fminf(dt, fmaxf(time_left, 0.0f));
  for (int k = 0; k < 3; ++k) pos[k] += vel[k] * t;
  time_left -= dt;
  if (time_left > 0.0f) return;
  memcpy(pos, target, 3 * sizeof(float));
  arrive();
  destroy();
}

void SpellMissile::saveFields(OutputStream& out)
{
  MissileObject::saveFields(out);
  for (float v : target) out.writeFloat(v);
  out.writeFloat(time_left);
}

// A missile of an older block has no target: it lands where it is.
void SpellMissile::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  MissileObject::loadFields(in, version, loader);
  if (version < SPELLS_FIELDS_VERSION) {
    memcpy(target, pos, sizeof(target));
    time_left = 0;
    return;
  }
  for (float& v : target) v = in.readFloat();
  time_left = in.readFloat();
  if (!isfinite(time_left) || time_left > 10.0f) time_left = 0;
}
