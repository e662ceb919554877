// Looping sounds held by game objects (fx.cpp). Included by classes.h, so
// that any class can hold one.
#pragma once
#include "core/math_types.h"

// A looping sound event an object keeps while it exists and the camera is
// within `reach` of it: started when first kept (retried now and then while
// the event has no free channel), placed at every keep, faded out beyond
// reach and when its owner goes. Never saved: a loaded object starts it again.
struct LoopSound {
  unsigned ch = 0;
  float retry = 0;
  void keep(const char* event, const Vec4f& pos, float dt, float reach = 100.0f);
  void stop(int fade_ms = 300);
  LoopSound() = default;
  LoopSound(const LoopSound&) = delete;
  LoopSound& operator=(const LoopSound&) = delete;
  ~LoopSound() { stop(); }
};
