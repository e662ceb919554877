// Reading and writing references between objects in the saved fields: a
// reference is the serial id of the object (0: none), resolved once the
// whole block is read (save.cpp). Shared by every class whose fields hold
// references.
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

inline void write_gameobj_ref(OutputStream& out, const GameObjRef& ref) { out.writeInt(ref ? ref->serialId : 0); }
