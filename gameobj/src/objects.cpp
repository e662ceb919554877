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

int next_serial_id()
{
  int top = 0;
  for (DynArray<GameObject*>* list : all_lists)
    for (GameObject* obj : *list)
      if (obj->serialId > top) top = obj->serialId;
  return top + 1;
}

// Adds the object to its class's list and to the base-class list that the
// game walks for all objects of a kind (spells, standing stones).
template <class T>
GameObj* create()
{
  T* obj = new T();
  obj->serialId = next_serial_id();
  if (DynArray<T*>* list = own_list<T>()) list->push(obj);
  if constexpr (std::is_base_of_v<SpellObject, T> && !std::is_same_v<SpellObject, T>)
    SpellObject_list.push(obj);
  if constexpr (std::is_base_of_v<HumanoidStaticObject, T> && !std::is_same_v<HumanoidStaticObject, T>)
    HumanoidStaticObject_list.push(obj);
  return obj;
}

using Creator = GameObj* (*)();
const Creator creators[] = {
    nullptr,
    create<GameObj>,
#define GAMEOBJ_CREATOR(name, base) create<name>,
    GAMEOBJ_CLASSES(GAMEOBJ_CREATOR)
#undef GAMEOBJ_CREATOR
};
const char* const class_names[] = {
    "",
    "GameObj",
#define GAMEOBJ_CLASS_NAME(name, base) #name,
    GAMEOBJ_CLASSES(GAMEOBJ_CLASS_NAME)
#undef GAMEOBJ_CLASS_NAME
};
constexpr int class_count = int(sizeof(creators) / sizeof(creators[0]));

void unlist(GameObject* obj)
{
  for (DynArray<GameObject*>* list : all_lists)
    for (int i = list->num - 1; i >= 0; --i)
      if ((*list)[i] == obj) list->remove(i, 1);
}

} // namespace

GameObj* new_gameobj_by_id(int class_id)
{
  if (class_id <= 0 || class_id >= class_count) return nullptr;
  return creators[class_id]();
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

Player* create_player(const Vec4f& pos)
{
  auto* player = static_cast<Player*>(create<Player>());
  // Vec4f is four floats (x, y, z, w).
  memcpy(player->pos, &pos, sizeof(player->pos));
  return player;
}

int count_gameobjs()
{
  int n = 0;
  for (DynArray<GameObject*>* list : all_lists) n += list->num;
  return n;
}

// The object block of a world file: a format version and the object count.
// Objects are not saved yet (the game's classes bring their data); a block
// that names objects is refused rather than half read.
void save_gameobjs(OutputStream& out)
{
  out.writeInt(1);
  out.writeInt(0);
}

void load_gameobjs(InputStream& in)
{
  int version = in.readInt();
  int count = in.readInt();
  if (version != 1 || count != 0)
    debug("game-object block version %d with %d objects: not read by this module", version, count);
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
    GameObj* obj = creators[id]();
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
