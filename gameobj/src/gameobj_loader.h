// The loader of the game-object block as the classes' loadFields see it
// (save.cpp reads the block): references are read as serial ids and
// resolved once the whole block is read.
#pragma once
#include "core/log.h"
#include "core/stream.h"
#include "classes.h"

// Collects the references read with the objects' fields and resolves them
// against the staged objects.
class GameObjLoader {
public:
  struct PendingRef {
    GameObjRef* ref;
    int serial_id;
  };
  DynArray<PendingRef> refs;

  void readRef(InputStream& in, GameObjRef& ref)
  {
    int id = in.readInt();
    if (id) refs.push({&ref, id});
  }
  void resolve(DynArray<GameObj*>& staged)
  {
    for (PendingRef& p : refs) {
      GameObj* found = nullptr;
      for (GameObj* obj : staged)
        if (obj->serialId == p.serial_id) found = obj;
      if (!found) debug("SAVE: game object #%d is referred to but not in the block; the reference is cleared", p.serial_id);
      p.ref->set(found);
    }
  }
};
