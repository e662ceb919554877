// The common base of every native object that scripts can see and that
// other objects refer to weakly (all game objects of the game-object module).
// It ties together the weak-reference ring, the object's script instance and
// the serial id by which saved script data refers to it.
//
// Life: constructed -> active -> destroy() (queued in deleted_gameobjs,
// onDestroy called) -> deleted by the module (the destructor detaches the
// script instance and kills the weak references).
#pragma once
#include <squirrel.h>

#include "core/dynArray.h"
#include "core/weakRef.h"
#include "script/sqbind.h"

class BaseObject : public WeakRefTarget {
public:
  // The script instance, held as the instance or as a weak reference to it.
  SqObject scriptObject;
  int destroyed = 0;
  // Assigned by the game-object module; saved script data stores it.
  int serialId = 0;

  BaseObject() = default;
  virtual ~BaseObject();

  // Ends the active life once: queues the object and calls onDestroy.
  virtual void destroy();
  virtual void onDestroy() {}
  virtual void onLoaded() {}
  // Queries whose meaning belongs to the game-object module.
  virtual int query(int what) { return 0; }
  virtual const char* getClassName() { return "BaseObject"; }
  virtual int queryFlags() { return 0; }
  // Pushes the object's script instance; scriptable classes override it.
  virtual void push(HSQUIRRELVM vm);
};

// Destroyed objects awaiting deletion by the game-object module.
extern DynArray<BaseObject*> deleted_gameobjs;
