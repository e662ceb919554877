// Shared by the writers (scriptData.cpp) and the readers (scriptDataRead.cpp)
// of script data: the process-wide object list and helpers on raw handles.
//
// Invariant: every entry of the object list holds one reference in its VM
// (DynArray needs trivially copyable elements, so not an SqObject), released
// when the list is emptied; the index finds each shared object's first entry.
#pragma once
#include <squirrel.h>

#include "core/dynArray.h"
#include "script/scriptData.h"

struct ScriptDataObject {
  HSQOBJECT o;
  HSQUIRRELVM vm;
};
extern DynArray<ScriptDataObject> script_data_objects;

// Appends the value at a stack index (one reference taken).
void script_data_list_append(HSQUIRRELVM v, SQInteger idx);
// The first index of a shared object (array, table, instance) in constant time, or -1.
int script_data_list_find(const HSQOBJECT& o);
// Releases every entry and empties the list.
void script_data_list_clear();

inline HSQOBJECT stack_handle(HSQUIRRELVM v, SQInteger idx) {
  HSQOBJECT o;
  sq_getstackobj(v, idx, &o);
  return o;
}
inline bool same_handle(const HSQOBJECT& x, const HSQOBJECT& y) {
  return x._type == y._type && x._unVal.raw == y._unVal.raw;
}
