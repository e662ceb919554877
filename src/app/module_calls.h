// Typed calls into the game-object module's function table from the modes.
// A null entry (no module linked, or a function the module lacks) does
// nothing and answers false.
#pragma once
#include "core/math_types.h"
#include "host/gameobj_api.h"

inline void gameobj_call(void* entry)
{
    if (entry)
        gameobj_fn<void (*)()>(entry)();
}

// The per-step and per-frame entries that take a time (dt or t).
inline void gameobj_call(void* entry, float t)
{
    if (entry)
        gameobj_fn<void (*)(float)>(entry)(t);
}

inline bool gameobj_call_bool(void* entry, float t)
{
    return entry && gameobj_fn<bool (*)(float)>(entry)(t);
}

// on_devmode_click: the camera position and the view direction.
inline void gameobj_call(void* entry, const Vec4f& a, const Vec4f& b)
{
    if (entry)
        gameobj_fn<void (*)(const Vec4f&, const Vec4f&)>(entry)(a, b);
}
