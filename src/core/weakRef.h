// Intrusive weak references.
//
// A WeakRefTarget holds the head of a circular, doubly linked ring of the
// WeakRefNodes that point at it (a lone node links to itself both ways).
// Destroying the target (or clearWeakRefs) walks the ring once and nulls every
// node's target, prev and next: a node whose target is null is dead, and code
// that dereferences one must test for that. A detached node has all three null.
#pragma once
#include <cstddef>

#include "core/log.h"

class WeakRefTarget;

struct WeakRefNode {
  WeakRefTarget* target = nullptr;
  WeakRefNode* prev = nullptr;
  WeakRefNode* next = nullptr;
};

class WeakRefTarget {
public:
  WeakRefNode* weakRefHead = nullptr;

  WeakRefTarget() = default;
  // A copy is a different object: nothing points at it yet.
  WeakRefTarget(const WeakRefTarget&) {}
  WeakRefTarget& operator=(const WeakRefTarget&) { return *this; }
  ~WeakRefTarget() { clearWeakRefs(); }

  // Links `ref` (whose target is already this object) in as the new head.
  void attachWeakRef(WeakRefNode* ref) {
    ASSERT(ref->target==this);
    ASSERT(ref->prev==NULL);
    ASSERT(ref->next==NULL);
    if (!weakRefHead) {
      ref->prev = ref->next = ref;
    } else {
      WeakRefNode* tail = weakRefHead->prev;
      ref->next = weakRefHead;
      ref->prev = tail;
      tail->next = ref;
      weakRefHead->prev = ref;
    }
    weakRefHead = ref;
  }

  // Unlinks `ref` and clears it. A node that is already dead (its target was
  // destroyed or it was never attached) is left as it is.
  void detachWeakRef(WeakRefNode* ref) {
    if (!ref->target && !ref->next) return;
    ASSERT(ref->target==this);
    if (ref->next == ref) {
      weakRefHead = nullptr;
    } else {
      ref->prev->next = ref->next;
      ref->next->prev = ref->prev;
      if (weakRefHead == ref) weakRefHead = ref->next;
    }
    ref->target = nullptr;
    ref->prev = ref->next = nullptr;
  }

  // Makes every weak reference to this object dead.
  void clearWeakRefs() {
    WeakRefNode* ref = weakRefHead;
    if (!ref) return;
    do {
      WeakRefNode* next = ref->next;
      ref->target = nullptr;
      ref->prev = ref->next = nullptr;
      ref = next;
    } while (ref && ref != weakRefHead);
    weakRefHead = nullptr;
  }

  int countWeakRefs() const {
    int n = 0;
    if (WeakRefNode* ref = weakRefHead) {
      do {
        n++;
        ref = ref->next;
      } while (ref != weakRefHead);
    }
    return n;
  }
};

// A typed weak reference that links and unlinks itself.
template <class T>
class WeakRef : private WeakRefNode {
public:
  WeakRef() = default;
  explicit WeakRef(T* object) { set(object); }
  WeakRef(const WeakRef& other) { set(other.get()); }
  WeakRef& operator=(const WeakRef& other) {
    if (this != &other) set(other.get());
    return *this;
  }
  WeakRef& operator=(T* object) {
    set(object);
    return *this;
  }
  ~WeakRef() { set(nullptr); }

  void set(T* object) {
    WeakRefTarget* t = object;
    if (t == target) return;
    if (target) target->detachWeakRef(this);
    if (t) {
      target = t;
      t->attachWeakRef(this);
    }
  }
  // The object, or null when it was never set or has been destroyed.
  T* get() const { return static_cast<T*>(target); }
  T* operator->() const { return get(); }
  explicit operator bool() const { return target != nullptr; }
  const WeakRefNode* node() const { return this; }
};
