// Spell and resource pickups.
#include "game.h"
#include "objects.h"

// stub: owner mana. A bare resource object at the place, so drops can be seen
// until the pickups exist.
GameObj* spawn_res_pickup(const char* kind, const Vec4f& pos)
{
  GameObj* obj = new_gameobj_by_id(CID_GlobResObject);
  if (obj) {
    obj->pos[0] = pos.x;
    obj->pos[1] = pos.y;
    obj->pos[2] = pos.z;
  }
  return obj;
}
