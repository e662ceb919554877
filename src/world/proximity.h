// The proximity grid: a coarse spatial hash over the wrapping 256 x 256
// world through which game objects find their neighbours. Every registered
// object sits in exactly one bin, chosen from its bounding rectangle:
//
//   bins 0..1023     fine grid, 32 x 32 cells of 8 units:
//                    ((cz & 31) << 5) | (cx & 31), cx = floor(x / 8)
//   bins 1024..1279  coarse grid, 16 x 16 cells of 16 units shifted by 4:
//                    1024 | ((cz & 15) << 4) | (cx & 15), cx = floor((x + 4) / 16)
//   bin 1280         global, for objects that fit no single fine or coarse cell
//
// An object goes to the fine bin when both corners of its rectangle share a
// fine cell, else to the coarse bin when they share a coarse cell, else to
// the global bin. floor(v) is v * scale - 0.4999999 rounded to nearest.
// The host owns the bins; the game-object module registers, moves and removes
// its objects and walks the bins a query returns. Main thread only.
#pragma once
#include "core/dynArray.h"
#include "core/math_types.h"

constexpr int PROXIMITY_FINE_BINS = 1024;
constexpr int PROXIMITY_COARSE_BINS = 256;
constexpr int PROXIMITY_GLOBAL_BIN = 1280;
constexpr int PROXIMITY_BINS = 1281;

// The part of a game object the grid reads and writes. Stand-in until the
// game-object base exists: these fields will be folded into GameObj (built
// on the script-visible base object), which keeps its bin index there.
struct GameObj {
  int proximity_bin = -1; // current bin, -1 when not registered
};

// The objects of one bin, in insertion order.
using ProximityBin = DynArray<GameObj*>;

extern ProximityBin proximity[PROXIMITY_BINS];

// The bin for a rectangle (min x, min z, max x, max z).
int proximity_bin_for_rect(const Vec4f& rect);
// Moves the object to the bin of its rectangle; nothing when the bin is
// unchanged (one bin computation, no list work).
void update_proximity(GameObj* obj, const Vec4f& rect);
// Takes the object out of its bin; nothing for null or an unregistered object.
void remove_proximity_object(GameObj* obj);

struct ProximityQuery {
  DynArray<int> bins; // non-empty bins that can hold objects overlapping the rectangle
  int cur_bin = 0;    // iteration position in bins (the module's)
  int cur_obj = -1;   // iteration position in the current bin (the module's)

  // Lists the fine bins, then the coarse bins, then (unless skip_global) the
  // global bin that hold objects and can overlap rect; resets the positions.
  // Each axis visits at most one world's width of cells, so a rectangle
  // wider than the world lists every bin once.
  void proximityQuery(const Vec4f& rect, bool skip_global);
};
