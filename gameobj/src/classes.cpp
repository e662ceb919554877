// The class table: one virtual-table pointer per class, entry 0 never matched.
#include <new>

#include "classes.h"

namespace {

void* vtables[1 + 1 + 89];
int vtable_count = 0;

// The virtual-table pointer a class's objects start with, read from a
// temporary object built in place.
template <class T>
void* vtable_of()
{
  alignas(T) unsigned char buffer[sizeof(T)];
  T* obj = new (buffer) T();
  void* vptr = *reinterpret_cast<void**>(obj);
  obj->~T();
  return vptr;
}

void fill_table()
{
  int n = 0;
  vtables[n++] = nullptr;
  vtables[n++] = vtable_of<GameObj>();
#define GAMEOBJ_TABLE_ENTRY(name, base) vtables[n++] = vtable_of<name>();
  GAMEOBJ_CLASSES(GAMEOBJ_TABLE_ENTRY)
#undef GAMEOBJ_TABLE_ENTRY
  vtable_count = n;
}

} // namespace

extern "C" __attribute__((visibility("default"))) void** get_gameobj_vtables(int* count)
{
  if (!vtable_count) fill_table();
  *count = vtable_count;
  return vtables;
}
