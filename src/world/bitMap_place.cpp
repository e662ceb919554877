// Spreading points and circles over the set pixels of a BitMap, and the two
// distance maps (ring search and jittered chamfer transform). All draws come
// from the game random generator in a fixed order.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "core/game_rnd.h"
#include "world/bitMap.h"

namespace {

int candidates[HMAP_CELLS];

int collect_candidates(const BitMap& bm) {
  int n = 0;
  for (int i = 0; i < HMAP_CELLS; i++)
    if (bm.getIndex(i)) candidates[n++] = i;
  return n;
}

// Offsets between cells as signed 8-bit differences of the wrapped coordinates.
inline int wrapped_d2(int a, int b) {
  int dx = (int8_t)((a & 255) - (b & 255));
  int dz = (int8_t)((a >> 8) - (b >> 8));
  return dx * dx + dz * dz;
}

// Chebyshev distance of every cell to the nearest cell with bit value
// `target` (8-connected multi-source walk on the torus); 255 where none.
void chessboard_distance(const BitMap& bm, bool target, uint8_t* dist) {
  static int queue[HMAP_CELLS];
  int head = 0, tail = 0;
  for (int i = 0; i < HMAP_CELLS; i++) {
    if (bm.getIndex(i) == target) {
      dist[i] = 0;
      queue[tail++] = i;
    } else {
      dist[i] = 255;
    }
  }
  while (head < tail) {
    int c = queue[head++];
    int cx = c & 255, cz = c >> 8;
    uint8_t d = dist[c] + 1;
    for (int dz = -1; dz <= 1; dz++)
      for (int dx = -1; dx <= 1; dx++) {
        int n = hmap_index(cx + dx, cz + dz);
        if (dist[n] > d) {
          dist[n] = d;
          queue[tail++] = n;
        }
      }
  }
}

// Smallest squared offset to a pixel of value `target` on the square ring of
// radius r round (x, z).
int ring_min_d2(const BitMap& bm, int x, int z, int r, bool target) {
  int best = INT32_MAX;
  for (int d = -r; d <= r; d++) {
    int d2 = d * d + r * r;
    if (d2 >= best) continue;
    if (bm.get(x + d, z - r) == target || bm.get(x + d, z + r) == target ||
        bm.get(x - r, z + d) == target || bm.get(x + r, z + d) == target)
      best = d2;
  }
  return best;
}

// Ring-search squared distance of each cell to the opposite value, 0 when
// there is none within radius 128.
void ring_distance_sq(const BitMap& bm, int* d2_out) {
  static uint8_t to_unset[HMAP_CELLS], to_set[HMAP_CELLS];
  chessboard_distance(bm, false, to_unset);
  chessboard_distance(bm, true, to_set);
  for (int i = 0; i < HMAP_CELLS; i++) {
    bool v = bm.getIndex(i);
    int r = v ? to_unset[i] : to_set[i];
    d2_out[i] = r > 128 ? 0 : ring_min_d2(bm, i & 255, i >> 8, r, !v);
  }
}

} // namespace

// {===== Point and circle placement

void BitMap::placePoints(int n, DynArray<int>& cells) const {
  cells.clear();
  int nc = collect_candidates(*this);
  if (!nc || n <= 0) return;
  for (int i = 0; i < n; i++) cells.push(candidates[game_rnd_next() % (uint32_t)nc]);
  if (n < 2) return;
  for (int budget = 10 * n; budget > 0; budget--) {
    int D = INT32_MAX, a = 0, b = 1;
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++) {
        int d = wrapped_d2(cells[i], cells[j]);
        if (d < D) {
          D = d;
          a = i;
          b = j;
        }
      }
    uint32_t r = game_rnd_next();
    int mover = (r >> 20) & 1 ? b : a;
    int cand = candidates[r % (uint32_t)nc];
    bool ok = true;
    for (int k = 0; k < n && ok; k++)
      if (k != mover && wrapped_d2(cand, cells[k]) < D) ok = false;
    if (ok) cells[mover] = cand;
  }
}

void BitMap::placeCircles(const float* radii, int n, DynArray<int>& cells) const {
  cells.clear();
  int nc = collect_candidates(*this);
  if (!nc || n <= 0) return;
  // Clearance of a candidate: distance to the nearest unset pixel, computed
  // on first use (negative = not yet known).
  static float clearance[HMAP_CELLS];
  for (int i = 0; i < HMAP_CELLS; i++) clearance[i] = -1.0f;
  auto clear_of = [&](int cell) {
    float& c = clearance[cell];
    if (c < 0) {
      int x = cell & 255, z = cell >> 8;
      c = 1e9f;
      for (int r = 1; r <= 128; r++) {
        int d2 = ring_min_d2(*this, x, z, r, false);
        if (d2 != INT32_MAX) {
          c = std::sqrt((float)d2);
          break;
        }
      }
    }
    return c;
  };
  auto gap = [&](int ca, float ra, int cb, float rb) {
    return std::sqrt((float)wrapped_d2(ca, cb)) - ra - rb;
  };
  for (int i = 0; i < n; i++) cells.push(candidates[game_rnd_next() % (uint32_t)nc]);
  if (n < 2) {
    // A single circle still looks for room: the first candidate that fits.
    for (int budget = 140; budget > 0 && clear_of(cells[0]) < radii[0]; budget--) {
      int cand = candidates[game_rnd_next() % (uint32_t)nc];
      if (clear_of(cand) >= radii[0]) cells[0] = cand;
    }
    return;
  }
  for (int budget = 40 * n + 100; budget > 0; budget--) {
    float G = FLT_MAX;
    int a = 0, b = 1;
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++) {
        float g = gap(cells[i], radii[i], cells[j], radii[j]);
        if (g < G) {
          G = g;
          a = i;
          b = j;
        }
      }
    uint32_t r = game_rnd_next();
    int mover = (r >> 20) & 1 ? b : a;
    int cand = candidates[r % (uint32_t)nc];
    if (clear_of(cand) < radii[mover]) continue;
    bool ok = true;
    for (int k = 0; k < n && ok; k++)
      if (k != mover && gap(cand, radii[mover], cells[k], radii[k]) < G) ok = false;
    if (ok) cells[mover] = cand;
  }
}

// {===== Distance maps

void fast_skeleton_map(const BitMap& bm, float* out) {
  static int d2[HMAP_CELLS];
  ring_distance_sq(bm, d2);
  const float none = std::sqrt(2147483647.0f) - 0.5f;
  for (int i = 0; i < HMAP_CELLS; i++) {
    float v = d2[i] ? std::sqrt((float)d2[i]) - 0.5f : none;
    out[i] = bm.getIndex(i) ? v : -v;
  }
}

void make_skeleton_map(const BitMap& bm, float jitter, float* out) {
  static float buf_a[HMAP_CELLS], buf_b[HMAP_CELLS];
  const float unreached = FLT_MAX;
  int seeded = 0;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      bool v = bm.get(x, z);
      bool ortho = bm.get(x, z - 1) != v || bm.get(x - 1, z) != v || bm.get(x + 1, z) != v ||
                   bm.get(x, z + 1) != v;
      bool diag = bm.get(x - 1, z - 1) != v || bm.get(x + 1, z - 1) != v ||
                  bm.get(x - 1, z + 1) != v || bm.get(x + 1, z + 1) != v;
      float& c = buf_a[hmap_index(x, z)];
      if (ortho) {
        c = 0.5f * game_rnd_frnd();
        seeded++;
      } else if (diag) {
        c = 0.70710677f * game_rnd_frnd();
        seeded++;
      } else {
        c = unreached;
      }
    }
  if (!seeded) {
    float v = bm.bits[0] ? 1.0f : -1.0f;
    for (int i = 0; i < HMAP_CELLS; i++) out[i] = v;
    return;
  }
  static const int ndx[8] = {0, -1, 1, 0, -1, 1, -1, 1};
  static const int ndz[8] = {-1, 0, 0, 1, -1, -1, 1, 1};
  float* prev = buf_a;
  float* next = buf_b;
  bool progress = true;
  while (progress) {
    progress = false;
    for (int z = 0; z < HMAP_SIZE; z++)
      for (int x = 0; x < HMAP_SIZE; x++) {
        int i = hmap_index(x, z);
        float best = prev[i];
        for (int k = 0; k < 8; k++) {
          float step = k < 4 ? 1.0f : 1.4142135f;
          float v = game_rnd_frnd();
          float cand = prev[hmap_index(x + ndx[k], z + ndz[k])] + (1.0f + jitter * (2.0f * v - 1.0f)) * step;
          if (cand < best) best = cand;
        }
        next[i] = best;
        if (prev[i] == unreached && best != unreached) progress = true;
      }
    float* t = prev;
    prev = next;
    next = t;
  }
  for (int i = 0; i < HMAP_CELLS; i++) {
    float v = std::fabs(prev[i]);
    out[i] = bm.getIndex(i) ? v : -v;
  }
}
