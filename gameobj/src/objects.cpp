// Creating, listing, deleting and saving game objects. The objects' lists are
// the host's, so everything here keeps working across a module reload; the
// module keeps no object state of its own.
#include "objects.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <type_traits>

#include "core/log.h"
#include "core/stream.h"
#include "game_world.h"
#include "world/heightmap.h"
#include "host/gameobj_api.h"

namespace {

template <class T>
DynArray<T*>* own_list() { return nullptr; }
#define GAMEOBJ_OWN_LIST(name) \
  template <> DynArray<name*>* own_list<name>() { return &name##_list; }
GAMEOBJ_WALKED_LISTS(GAMEOBJ_OWN_LIST)
GAMEOBJ_UNWALKED_LISTS(GAMEOBJ_OWN_LIST)
#undef GAMEOBJ_OWN_LIST

DynArray<GameObject*>* const all_lists[] = {
#define GAMEOBJ_LIST_PTR(name) reinterpret_cast<DynArray<GameObject*>*>(&name##_list),
    GAMEOBJ_WALKED_LISTS(GAMEOBJ_LIST_PTR) GAMEOBJ_UNWALKED_LISTS(GAMEOBJ_LIST_PTR)
#undef GAMEOBJ_LIST_PTR
};
constexpr int all_list_count = int(sizeof(all_lists) / sizeof(all_lists[0]));

int next_serial_id()
{
  int top = 0;
  for (DynArray<GameObject*>* list : all_lists)
    for (GameObject* obj : *list)
      if (obj->serialId > top) top = obj->serialId;
  return top + 1;
}

template <class T>
GameObj* make() { return new T(); }

// An object's lists: its class's own (its home, where the walks find it) and,
// for spells and standing stones, the base-class list the game walks for all
// objects of that kind.
struct ClassLists {
  DynArray<GameObject*>* home;
  DynArray<GameObject*>* extra;
};
template <class T>
ClassLists lists_of()
{
  ClassLists lists{reinterpret_cast<DynArray<GameObject*>*>(own_list<T>()), nullptr};
  if constexpr (std::is_base_of_v<SpellObject, T> && !std::is_same_v<SpellObject, T>)
    lists.extra = reinterpret_cast<DynArray<GameObject*>*>(&SpellObject_list);
  if constexpr (std::is_base_of_v<HumanoidStaticObject, T> && !std::is_same_v<HumanoidStaticObject, T>)
    lists.extra = reinterpret_cast<DynArray<GameObject*>*>(&HumanoidStaticObject_list);
  return lists;
}

using Maker = GameObj* (*)();
const Maker makers[] = {
    nullptr,
    make<GameObj>,
#define GAMEOBJ_MAKER(name, base) make<name>,
    GAMEOBJ_CLASSES(GAMEOBJ_MAKER)
#undef GAMEOBJ_MAKER
};
const ClassLists class_lists[] = {
    {nullptr, nullptr},
    lists_of<GameObj>(),
#define GAMEOBJ_LISTS(name, base) lists_of<name>(),
    GAMEOBJ_CLASSES(GAMEOBJ_LISTS)
#undef GAMEOBJ_LISTS
};
const char* const class_names[] = {
    "",
    "GameObj",
#define GAMEOBJ_CLASS_NAME(name, base) #name,
    GAMEOBJ_CLASSES(GAMEOBJ_CLASS_NAME)
#undef GAMEOBJ_CLASS_NAME
};
constexpr int class_count = int(sizeof(makers) / sizeof(makers[0]));
static_assert(class_count == CID_COUNT);

void unlist(GameObject* obj)
{
  for (DynArray<GameObject*>* list : all_lists)
    for (int i = list->num - 1; i >= 0; --i)
      if ((*list)[i] == obj) list->remove(i, 1);
}

} // namespace

DynArray<GameObject*>* const* gameobj_all_lists(int* count)
{
  *count = all_list_count;
  return all_lists;
}

DynArray<GameObject*>* gameobj_home_list(int class_id)
{
  return class_id > 0 && class_id < class_count ? class_lists[class_id].home : nullptr;
}

GameObj* gameobj_make(int class_id)
{
  return class_id > 0 && class_id < class_count ? makers[class_id]() : nullptr;
}

void gameobj_enlist(GameObj* obj)
{
  const ClassLists& lists = class_lists[obj->classId()];
  if (lists.home) lists.home->push(obj);
  if (lists.extra) lists.extra->push(obj);
}

// Only classes with a list of their own are made: an object in no list
// could never be found, updated, saved or deleted.
GameObj* new_gameobj_by_id(int class_id)
{
  if (!gameobj_home_list(class_id)) {
    if (class_id > 0 && class_id < class_count)
      debug("gameobj: %s has no object list of its own; no object made", class_names[class_id]);
    return nullptr;
  }
  GameObj* obj = gameobj_make(class_id);
  obj->serialId = next_serial_id();
  gameobj_enlist(obj);
  return obj;
}

const char* gameobj_class_name(int class_id)
{
  return class_id > 0 && class_id < class_count ? class_names[class_id] : "";
}

int gameobj_id_by_name(const char* name)
{
  for (int i = 1; i < class_count; ++i)
    if (strcmp(class_names[i], name) == 0) return i;
  return 0;
}

BaseObject* get_gameobj_by_ser_id(int serial_id)
{
  for (DynArray<GameObject*>* list : all_lists)
    for (GameObject* obj : *list)
      if (obj->serialId == serial_id && !obj->destroyed) return obj;
  return nullptr;
}

void delete_gameobj(BaseObject* obj)
{
  if (obj) obj->destroy();
  // Deleting may destroy further objects; take the queue until it stays empty.
  while (deleted_gameobjs.num) {
    BaseObject* dead = deleted_gameobjs[deleted_gameobjs.num - 1];
    deleted_gameobjs.remove(deleted_gameobjs.num - 1, 1);
    unlist(static_cast<GameObject*>(dead));
    if (dead == reinterpret_cast<BaseObject*>(local_player)) local_player = nullptr;
    delete dead;
  }
}

void remove_all_gameobj()
{
  for (DynArray<GameObject*>* list : all_lists)
    for (GameObject* obj : *list) obj->destroy();
  delete_gameobj(nullptr);
  local_player = nullptr;
}

// How far over the ground a new player starts.
constexpr float PLAYER_START_HEIGHT = 12.0f;

Player* create_player(const Vec4f& pos)
{
  auto* player = static_cast<Player*>(new_gameobj_by_id(CID_Player));
  // Vec4f is four floats (x, y, z, w).
  memcpy(player->pos, &pos, sizeof(player->pos));
  // The player floats over the world it enters, high enough to see round it
  // (the host places it on the ground, or at the origin). Without world
  // grids (tools, tests) there is no ground to keep above.
  if (HeightmapData::hmap) {
    float water = get_water_at(pos);
    float ground = get_land_height_at(pos) + (water > 0 ? water : -water);
    if (player->pos[1] < ground + PLAYER_START_HEIGHT) player->pos[1] = ground + PLAYER_START_HEIGHT;
  }
  return player;
}

// Developer aid: RUNEHOLM_SPAWN_GAMEOBJS="Player,FireballSpell,..." creates
// those objects in the first world step and logs every live object after each link, so
// that a reload can be watched taking over live objects.
void spawn_requested_gameobjs()
{
  const char* names = getenv("RUNEHOLM_SPAWN_GAMEOBJS");
  if (!names) return;
  char buf[1024];
  snprintf(buf, sizeof(buf), "%s", names);
  for (char* name = strtok(buf, ", "); name; name = strtok(nullptr, ", ")) {
    int id = gameobj_id_by_name(name);
    if (!id) {
      debug("gameobj: no class '%s' to spawn", name);
      continue;
    }
    GameObj* obj = new_gameobj_by_id(id);
    if (!obj) continue;
    obj->pos[0] = float(id);
    obj->pos[1] = float(2 * id);
    obj->pos[2] = float(3 * id);
  }
}

void report_live_gameobjs()
{
  if (!getenv("RUNEHOLM_SPAWN_GAMEOBJS")) return;
  int index = 0;
  for (DynArray<GameObject*>* list : all_lists) {
    for (GameObject* base : *list) {
      auto* obj = static_cast<GameObj*>(base);
      debug("gameobj live: list %d #%d %s code %d flags %u pos %g %g %g", index, obj->serialId,
            obj->getClassName(), obj->codeVersion(), obj->flags, obj->pos[0], obj->pos[1], obj->pos[2]);
    }
    ++index;
  }
}
