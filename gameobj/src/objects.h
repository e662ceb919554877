// The module's object management (objects.cpp) and saving (save.cpp).
#pragma once
#include "classes.h"

class InputStream;
class OutputStream;
struct Vec4f;

GameObj* new_gameobj_by_id(int class_id);
int gameobj_id_by_name(const char* name);
const char* gameobj_class_name(int class_id);
BaseObject* get_gameobj_by_ser_id(int serial_id);
void delete_gameobj(BaseObject* obj);
void remove_all_gameobj();
Player* create_player(const Vec4f& pos);
void save_gameobjs(OutputStream& out);
void load_gameobjs(InputStream& in);
void spawn_requested_gameobjs();
void report_live_gameobjs();

// A new object of a class, in no list and with no serial id (loading
// builds objects this way and lists them only when the whole block is read).
GameObj* gameobj_make(int class_id);
// Puts an object into its class's list and its kind's base-class list.
void gameobj_enlist(GameObj* obj);
DynArray<GameObject*>* const* gameobj_all_lists(int* count);
// The list a class's objects are walked from (null for classes without one).
DynArray<GameObject*>* gameobj_home_list(int class_id);

// Calls f(GameObj*) once for every listed object that is not destroyed, in
// list order. Objects made by f are visited when their list comes later;
// indices are re-read, so a list that grows meanwhile is safe.
template <class F>
void for_each_gameobj(F&& f)
{
  int count = 0;
  DynArray<GameObject*>* const* lists = gameobj_all_lists(&count);
  for (int l = 0; l < count; ++l) {
    DynArray<GameObject*>& list = *lists[l];
    for (int i = 0; i < list.num; ++i) {
      auto* obj = static_cast<GameObj*>(list[i]);
      if (obj->destroyed || gameobj_home_list(obj->classId()) != &list) continue;
      f(obj);
    }
  }
}
