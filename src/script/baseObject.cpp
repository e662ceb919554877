// BaseObject: two-step end of life and detaching from scripts.
#include "script/baseObject.h"

DynArray<BaseObject*> deleted_gameobjs;

BaseObject::~BaseObject() {
  if (!scriptObject.isNull() && scriptObject.vm) {
    // The script may outlive the object: its instance must not point here any more.
    HSQUIRRELVM v = scriptObject.vm;
    SQInteger top = sq_gettop(v);
    scriptObject.push(v);
    if (sq_gettype(v, -1) == OT_WEAKREF) {
      sq_getweakrefval(v, -1);
      sq_remove(v, -2);
    }
    if (sq_gettype(v, -1) == OT_INSTANCE) sq_setinstanceup(v, -1, nullptr);
    sq_settop(v, top);
  }
  scriptObject.reset();
  clearWeakRefs();
}

void BaseObject::destroy() {
  if (destroyed) return;
  destroyed = 1;
  deleted_gameobjs.push(this);
  onDestroy();
}

void BaseObject::push(HSQUIRRELVM) { throw SquirrelError("Can't push BaseObject to script"); }
