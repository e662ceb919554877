// sqgc.cpp: the cycle collector. Reference counting frees everything that is not part of
// a cycle; this pass finds cycles by trial deletion:
//   1. copy every collectable object's reference count into _gcrefs;
//   2. subtract the references collectable objects hold to each other;
//   3. objects left with _gcrefs > 0 are referenced from outside (host handles, C stack,
//      the main VM, prototypes): they and everything they reach are alive;
//   4. the rest is garbage: each object drops its children (Clear), which lets reference
//      counting free the whole group. Release hooks run exactly once, from Release.
#include "sqstate.h"

namespace {
void dec_visit(SQRefCounted *child, void *) {
  if (child->_collectable && child->_gcrefs > 0) child->_gcrefs--;
}

struct MarkCtx {
  std::vector<SQCollectable *> stack;
};

void mark_visit(SQRefCounted *child, void *ud) {
  if (!child->_collectable || child->_gcmark) return;
  child->_gcmark = 1;
  static_cast<MarkCtx *>(ud)->stack.push_back(static_cast<SQCollectable *>(child));
}
}  // namespace

SQInteger gc_collect(SQSharedState *ss, SQVM *v, std::vector<Val> *resurrect) {
  (void)v;
  if (ss->_collecting) return 0;
  ss->_collecting = true;
  SQCollectable *head = ss->_gchead;
  for (SQCollectable *o = head->_gcnext; o != head; o = o->_gcnext) {
    o->_gcrefs = o->_refs;
    o->_gcmark = 0;
  }
  for (SQCollectable *o = head->_gcnext; o != head; o = o->_gcnext) o->Traverse(dec_visit, nullptr);
  MarkCtx ctx;
  for (SQCollectable *o = head->_gcnext; o != head; o = o->_gcnext) {
    if (o->_gcrefs > 0 && !o->_gcmark) {
      o->_gcmark = 1;
      ctx.stack.push_back(o);
    }
  }
  while (!ctx.stack.empty()) {
    SQCollectable *o = ctx.stack.back();
    ctx.stack.pop_back();
    o->Traverse(mark_visit, &ctx);
  }
  std::vector<SQCollectable *> garbage;
  // Objects with no references left are already being freed (deferred release).
  for (SQCollectable *o = head->_gcnext; o != head; o = o->_gcnext)
    if (!o->_gcmark && o->_refs > 0) garbage.push_back(o);
  SQInteger n = (SQInteger)garbage.size();
  if (resurrect) {
    for (SQCollectable *o : garbage) {
      Val ov(o->_otype, o);
      resurrect->push_back(ov);
    }
    ss->_collecting = false;
    return n;
  }
  for (SQCollectable *o : garbage) o->_refs++;
  for (SQCollectable *o : garbage) o->Clear();
  for (SQCollectable *o : garbage) {
    SQObject ob;
    ob._type = o->_otype;
    ob._unVal.raw = 0;
    ob._unVal.pRefCounted = o;
    val_release(ob);
  }
  ss->_collecting = false;
  return n;
}
