// The proximity grid's bins, bin choice and queries (see proximity.h).
// Invariant: an object whose proximity_bin is b (0..1280) is listed exactly
// once, in proximity[b]; an unregistered object has -1 and is in no bin.
#include "world/proximity.h"

#include "world/world_math.h"

ProximityBin proximity[PROXIMITY_BINS];

namespace {

constexpr float PROXIMITY_HALF_DOWN = 0.4999999f;
constexpr int FINE_CELLS = 32;
constexpr int COARSE_CELLS = 16;

inline int fine_cell(float v) { return round_to_int(v * 0.125f - PROXIMITY_HALF_DOWN); }
inline int coarse_cell(float v) { return round_to_int((v + 4.0f) * 0.0625f - PROXIMITY_HALF_DOWN); }
inline int fine_bin(int cx, int cz) { return ((cz & 31) << 5) | (cx & 31); }
inline int coarse_bin(int cx, int cz) { return PROXIMITY_FINE_BINS | ((cz & 15) << 4) | (cx & 15); }

// Number of cells from first to last (0 when last < first), limited to one
// world's width so that no bin is visited twice and huge spans stay bounded.
inline int span_count(int first, int last, int cells) {
  long long n = (long long)last - first + 1;
  return n < 0 ? 0 : n > cells ? cells : (int)n;
}

void unlink(GameObj* obj) {
  ProximityBin& bin = proximity[obj->proximity_bin];
  int at = bin.indexOf(obj);
  if (at >= 0) bin.remove(at, 1);
}

} // namespace

int proximity_bin_for_rect(const Vec4f& rect) {
  int fx0 = fine_cell(rect.x), fz0 = fine_cell(rect.y);
  int fx1 = fine_cell(rect.z), fz1 = fine_cell(rect.w);
  if (fx0 == fx1 && fz0 == fz1) return fine_bin(fx0, fz0);
  int cx0 = coarse_cell(rect.x), cz0 = coarse_cell(rect.y);
  int cx1 = coarse_cell(rect.z), cz1 = coarse_cell(rect.w);
  if (cx0 == cx1 && cz0 == cz1) return coarse_bin(cx0, cz0);
  return PROXIMITY_GLOBAL_BIN;
}

static bool is_registered(const GameObj* obj) {
  return obj->proximity_bin >= 0 && obj->proximity_bin < PROXIMITY_BINS;
}

void update_proximity(GameObj* obj, const Vec4f& rect) {
  if (!obj) return;
  int bin = proximity_bin_for_rect(rect);
  if (bin == obj->proximity_bin) return;
  if (is_registered(obj)) unlink(obj);
  proximity[bin].push(obj);
  obj->proximity_bin = bin;
}

void remove_proximity_object(GameObj* obj) {
  if (!obj || !is_registered(obj)) return;
  unlink(obj);
  obj->proximity_bin = -1;
}

// Appends the non-empty bins of the cell span of a rectangle on one grid.
// Cells count up as unsigned values so that spans near INT_MAX wrap
// harmlessly (only their low bits pick the bin).
template <class CellOf, class BinOf>
static void query_grid(DynArray<int>& out, const Vec4f& rect, int cells, CellOf cell_of, BinOf bin_of) {
  int x0 = cell_of(rect.x), z0 = cell_of(rect.y);
  int nx = span_count(x0, cell_of(rect.z), cells);
  int nz = span_count(z0, cell_of(rect.w), cells);
  for (int j = 0; j < nz; j++) {
    int cz = (int)((unsigned)z0 + (unsigned)j);
    for (int i = 0; i < nx; i++) {
      int b = bin_of((int)((unsigned)x0 + (unsigned)i), cz);
      if (proximity[b].num > 0) out.push(b);
    }
  }
}

void ProximityQuery::proximityQuery(const Vec4f& rect, bool skip_global) {
  bins.resize(0);
  query_grid(bins, rect, FINE_CELLS, fine_cell, fine_bin);
  query_grid(bins, rect, COARSE_CELLS, coarse_cell, coarse_bin);
  if (!skip_global && proximity[PROXIMITY_GLOBAL_BIN].num > 0) bins.push(PROXIMITY_GLOBAL_BIN);
  cur_bin = 0;
  cur_obj = -1;
}
