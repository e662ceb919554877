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
  for (int64_t budget = 10 * (int64_t)n; budget > 0; budget--) { // 10 n overflows int for huge n
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
  for (int64_t budget = 40 * (int64_t)n + 100; budget > 0; budget--) {
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

namespace {

// Advancing the game random generator n draws is an affine map of its state,
// s -> mul * s + add (mod 2^64), so any draw of a pass can be computed from
// the state at the start of the pass without making the draws in between.
struct RndJump {
  uint64_t mul, add;
  uint64_t apply(uint64_t s) const { return mul * s + add; }
  // This jump followed by `b`.
  RndJump then(const RndJump& b) const { return {b.mul * mul, b.mul * add + b.add}; }
};

constexpr RndJump RND_ONE = {6364136223846793005ull, 1442695040888963407ull};
constexpr int NEIGHBOURS = 8;

// For the skeleton passes, which draw once per neighbour of every pixel in
// row order: the jump from the start of a row to draw k of pixel x (entry
// x * 8 + k), from the start of the pass to each row and over a whole pass;
// and for each 8-bit set of neighbours, its size and its members in
// increasing order.
struct SkeletonTables {
  RndJump draw[HMAP_SIZE * NEIGHBOURS];
  RndJump row[HMAP_SIZE];
  RndJump pass;
  uint16_t members[256][NEIGHBOURS];
  uint8_t size[256];

  SkeletonTables() {
    RndJump j = RND_ONE;
    for (int i = 0; i < HMAP_SIZE * NEIGHBOURS; i++) {
      draw[i] = j;
      j = j.then(RND_ONE);
    }
    RndJump line = draw[HMAP_SIZE * NEIGHBOURS - 1];
    row[0] = {1, 0};
    for (int z = 1; z < HMAP_SIZE; z++) row[z] = row[z - 1].then(line);
    pass = row[HMAP_SIZE - 1].then(line);
    for (int m = 0; m < 256; m++) {
      int n = 0;
      for (int k = 0; k < NEIGHBOURS; k++)
        if (m >> k & 1) members[m][n++] = (uint16_t)k;
      size[m] = (uint8_t)n;
      while (n < NEIGHBOURS) members[m][n++] = 0;
    }
  }
};

const SkeletonTables& skeleton_tables() {
  static const SkeletonTables t;
  return t;
}

inline float skeleton_step(float jitter, float v, float step) {
  return (1.0f + jitter * (2.0f * v - 1.0f)) * step;
}

inline float min2(float a, float b) { return b < a ? b : a; }

// Row z of `src` with the wrapped neighbours at both ends: out[x + 1] = src(x, z).
inline void padded_row(const float* src, int z, float* out) {
  const float* r = src + (z & (HMAP_SIZE - 1)) * HMAP_SIZE;
  std::memcpy(out + 1, r, HMAP_SIZE * sizeof(float));
  out[0] = r[HMAP_SIZE - 1];
  out[HMAP_SIZE + 1] = r[0];
}

} // namespace

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
  // Every pass draws once per neighbour of every pixel, but a neighbour can
  // only lower a pixel when its value plus the smallest possible step is
  // below the pixel's value. A step is a monotone function of its draw and
  // float rounding keeps that order, so the smallest step is the one at an
  // end of the draw's range. Only the draws of such neighbours are made, each
  // computed directly from the state at the start of the pass; the state then
  // jumps over the whole pass. A huge jitter could overflow the sums, so then
  // every draw is made.
  const float maxUnit = 0.99999994f;
  const float minOrtho = min2(skeleton_step(jitter, 0.0f, 1.0f), skeleton_step(jitter, maxUnit, 1.0f));
  const float minDiag =
      min2(skeleton_step(jitter, 0.0f, 1.4142135f), skeleton_step(jitter, maxUnit, 1.4142135f));
  const bool maySkip = std::fabs(jitter) <= 1e6f;
  const SkeletonTables& T = skeleton_tables();
  // Neighbour k of pixel x is in padded row nbRow[k] (above, same, below) at x + nbOff[k].
  static const int nbRow[NEIGHBOURS] = {0, 1, 1, 2, 0, 0, 2, 2};
  static const int nbOff[NEIGHBOURS] = {1, 0, 2, 1, 0, 2, 0, 2};
  static const float nbStep[NEIGHBOURS] = {1.0f, 1.0f, 1.0f, 1.0f, 1.4142135f, 1.4142135f, 1.4142135f, 1.4142135f};
  constexpr int PADDED = HMAP_SIZE + 2;
  float rows[3 * PADDED];
  uint8_t need[HMAP_SIZE];
  // Pending draws of a row as x * 8 + k, with room for a full last group.
  uint16_t work[HMAP_SIZE * NEIGHBOURS + NEIGHBOURS];
  float* prev = buf_a;
  float* next = buf_b;
  // A value never grows, so a pass reached new pixels exactly when it left
  // fewer unreached ones.
  int unreachedBefore = HMAP_CELLS - seeded;
  bool progress = true;
  while (progress) {
    int unreachedNow = 0;
    const uint64_t s0 = game_rnd_seed;
    for (int z = 0; z < HMAP_SIZE; z++) {
      // The padded rows rotate down one row at a time.
      const int rowAt[3] = {z % 3 * PADDED, (z + 1) % 3 * PADDED, (z + 2) % 3 * PADDED};
      float* U = rows + rowAt[0];
      float* M = rows + rowAt[1];
      float* D = rows + rowAt[2];
      if (z == 0) {
        padded_row(prev, -1, U);
        padded_row(prev, 0, M);
      }
      padded_row(prev, z + 1, D);
      float* dst = next + z * HMAP_SIZE;
      for (int x = 0; x < HMAP_SIZE; x++) {
        const float own = M[x + 1];
        need[x] = (uint8_t)((U[x + 1] + minOrtho < own) | (M[x] + minOrtho < own) << 1 |
                            (M[x + 2] + minOrtho < own) << 2 | (D[x + 1] + minOrtho < own) << 3 |
                            (U[x] + minDiag < own) << 4 | (U[x + 2] + minDiag < own) << 5 |
                            (D[x] + minDiag < own) << 6 | (D[x + 2] + minDiag < own) << 7);
        dst[x] = own;
      }
      if (!maySkip) std::memset(need, 0xFF, sizeof(need));
      int count = 0;
      for (int x = 0; x < HMAP_SIZE; x++) {
        uint16_t* w = work + count;
        const uint16_t* m = T.members[need[x]];
        const uint16_t base = (uint16_t)(x * NEIGHBOURS);
        for (int j = 0; j < NEIGHBOURS; j++) w[j] = (uint16_t)(m[j] + base);
        count += T.size[need[x]];
      }
      int nbAt[NEIGHBOURS];
      for (int k = 0; k < NEIGHBOURS; k++) nbAt[k] = rowAt[nbRow[k]] + nbOff[k];
      const uint64_t sRow = T.row[z].apply(s0);
      for (int i = 0; i < count; i++) {
        const int e = work[i], x = e >> 3, k = e & 7;
        const float v = game_rnd_unit((uint32_t)(T.draw[e].apply(sRow) >> 32));
        const float cand = rows[nbAt[k] + x] + skeleton_step(jitter, v, nbStep[k]);
        dst[x] = min2(dst[x], cand);
      }
      for (int x = 0; x < HMAP_SIZE; x++) unreachedNow += dst[x] == unreached;
    }
    game_rnd_seed = T.pass.apply(s0);
    progress = unreachedNow < unreachedBefore;
    unreachedBefore = unreachedNow;
    float* t = prev;
    prev = next;
    next = t;
  }
  for (int i = 0; i < HMAP_CELLS; i++) {
    float v = std::fabs(prev[i]);
    out[i] = bm.getIndex(i) ? v : -v;
  }
}
