// The fluid step (see water_sim.h): pass 1 recomputes every face velocity
// and the foam from the previous buffer only; pass 2 evaporates water,
// hardens lava and moves fluid out of each wet cell in place, in row order.
// Whole-grid passes allocate nothing; records are handled as 4-float vectors.
#include "world/water_sim.h"

#include <xmmintrin.h>
#include <emmintrin.h>

#include <cmath>
#include <cstring>
#include <utility>

#include "core/app_globals.h"
#include "core/stats_tracker.h"
#include "world/heightmap.h"
#include "world/noise.h"
#include "world/water_sim_local.h"
#include "world/world_math.h"

using namespace HeightmapData;
using namespace fluid;

void (*water_vapor_fx_hook)(int x, int z, float height, float amount) = nullptr;

static UpdateStatsTracker fluid_sim_stats("fluid sim");

void HeightmapData::water_vapor_fx(int x, int z, float height, float amount) {
  if (gfx_quality == 1 && water_vapor_fx_hook) water_vapor_fx_hook(x, z, height, amount);
}

// fminf/fmaxf keep their NaN rules through a library call; these compile to
// one minss/maxss.
static inline float min_f(float a, float b) { return a < b ? a : b; }
static inline float max_f(float a, float b) { return a > b ? a : b; }

// =========================================================================
// Colours
// =========================================================================

// Packed ARGB <-> lanes (b, g, r, a) in 0..1, the colour's memory byte order.
static inline __m128 color_unpack(uint32_t c) {
  __m128i v = _mm_cvtsi32_si128((int)c);
  v = _mm_unpacklo_epi8(v, _mm_setzero_si128());
  v = _mm_unpacklo_epi16(v, _mm_setzero_si128());
  return _mm_mul_ps(_mm_cvtepi32_ps(v), _mm_set1_ps(1.0f / 255.0f));
}

// Clamped to 0..1 (NaN to 0), scaled by 255 and rounded to nearest.
static inline uint32_t color_pack(__m128 v) {
  v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(1.0f));
  __m128i i = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
  i = _mm_packs_epi32(i, i);
  i = _mm_packus_epi16(i, i);
  return (uint32_t)_mm_cvtsi128_si32(i);
}

static inline __m128 lerp4(__m128 a, __m128 b, float t) {
  return _mm_add_ps(a, _mm_mul_ps(_mm_sub_ps(b, a), _mm_set1_ps(t)));
}

// The hardened colours in lane order (b, g, r, a).
static inline __m128 hardened_top() {
  return _mm_setr_ps(HARDENED_TOP[2], HARDENED_TOP[1], HARDENED_TOP[0], HARDENED_TOP[3]);
}
static inline __m128 hardened_ground() {
  return _mm_setr_ps(HARDENED_GROUND[2], HARDENED_GROUND[1], HARDENED_GROUND[0], HARDENED_GROUND[3]);
}

// =========================================================================
// Cell rules
// =========================================================================

// The rules live in internal functions so that the passes inline them even
// in position-independent builds (the exported fluid:: names below can be
// interposed, which keeps the compiler from inlining them).
static inline float stiffness_at(int x, int z) {
  int r = noise_perm[noise_perm[x & 255] + (z & 255)];
  return 0.15f + 0.85f * (float)r / 255.0f;
}

static inline void raise_land_at(int x, int z, float a) {
  int i = hmap_index(x, z);
  hmap[i] += a;
  target_hmap[i] += a;
  float k = min_f(100.0f * a, 1.0f);
  Surface& s = surface[i];
  s.top_color = color_pack(lerp4(color_unpack(s.top_color), hardened_top(), k));
  s.color = color_pack(lerp4(color_unpack(s.color), hardened_ground(), k));
  if (k >= ASH_AT) s.cover = ST_ASH;
}

static inline void add_water_at(int x, int z, float a) {
  Water& w = water[z & 255][x & 255];
  if (w.depth < 0.0f) {
    float s = min_f(a, -w.depth);
    raise_land_at(x, z, s);
    water_vapor_fx(x & 255, z & 255, hmap[hmap_index(x, z)] + fabsf(w.depth + a), s);
  }
  w.depth += a;
}

static inline void add_lava_at(int x, int z, float a) {
  Water& w = water[z & 255][x & 255];
  if (w.depth > 0.0f) {
    float s = min_f(a, w.depth);
    raise_land_at(x, z, s);
    if (a > w.depth) w.flow_x = w.flow_z = 0.0f;
    water_vapor_fx(x & 255, z & 255, hmap[hmap_index(x, z)] + fabsf(w.depth - a), s);
  }
  w.depth -= a;
}

static inline void smooth_colors_at(int x, int z) {
  int c = hmap_index(x, z);
  int nb[4] = {hmap_index(x - 1, z), hmap_index(x + 1, z), hmap_index(x, z - 1), hmap_index(x, z + 1)};
  for (int field = 0; field < 2; field++) {
    auto col = [field](int i) -> uint32_t& { return field ? surface[i].top_color : surface[i].color; };
    __m128 own = color_unpack(col(c));
    __m128 n[4];
    __m128 sum = _mm_mul_ps(own, _mm_set1_ps(4.0f));
    for (int j = 0; j < 4; j++) {
      n[j] = color_unpack(col(nb[j]));
      sum = _mm_add_ps(sum, n[j]);
    }
    __m128 mean = _mm_mul_ps(sum, _mm_set1_ps(0.125f));
    col(c) = color_pack(lerp4(own, mean, 0.1f));
    for (int j = 0; j < 4; j++) col(nb[j]) = color_pack(lerp4(n[j], mean, 0.03f));
  }
}

float fluid::lava_stiffness(int x, int z) { return stiffness_at(x, z); }
void fluid::raise_land(int x, int z, float a) { raise_land_at(x, z, a); }
void fluid::add_water(int x, int z, float a) { add_water_at(x, z, a); }
void fluid::add_lava(int x, int z, float a) { add_lava_at(x, z, a); }
void fluid::smooth_lava_colors(int x, int z) { smooth_colors_at(x, z); }

// =========================================================================
// Pass 1: velocities and foam
// =========================================================================

namespace {

struct StepConsts {
  float dt;
  float g_dt; // gravity * dt: pressure per unit of surface difference
  float wd;   // water damping factor of the step
  float ld;   // lava damping factor of the step
};

inline __m128 load_rec(const Water& w) { return _mm_load_ps(&w.depth); }

// Bilinear sample of whole records (depth, flow_x, flow_z, foam) of a grid
// at a float position, wrapping; floor by the world's rounding rule.
inline __m128 sample_rec(const Water* g, float px, float pz) {
  int ix = floor_to_int(px), iz = floor_to_int(pz);
  float fx = px - (float)ix, fz = pz - (float)iz;
  int x0 = ix & 255, x1 = (ix + 1) & 255;
  int r0 = (iz & 255) << 8, r1 = ((iz + 1) & 255) << 8;
  __m128 top = lerp4(load_rec(g[r0 | x0]), load_rec(g[r0 | x1]), fx);
  __m128 bot = lerp4(load_rec(g[r1 | x0]), load_rec(g[r1 | x1]), fx);
  return lerp4(top, bot, fz);
}

// One row of the previous buffer split into fields, with one wrapped cell
// on each side: index ROW_PAD + x holds cell x, ROW_PAD - 1 holds x = 255
// and ROW_PAD + 256 holds x = 0, so neighbours at x - 1 and x + 1 are plain
// (unaligned) loads for every group of four.
constexpr int ROW_PAD = 4;
constexpr int ROW_LEN = HMAP_SIZE + 2 * ROW_PAD;
struct alignas(16) FieldRow {
  float depth[ROW_LEN], flow_x[ROW_LEN], flow_z[ROW_LEN], foam[ROW_LEN];
};

void pad_row(float* f) {
  f[ROW_PAD - 1] = f[ROW_PAD + HMAP_SIZE - 1];
  f[ROW_PAD + HMAP_SIZE] = f[ROW_PAD];
}

void split_row(const Water* row, FieldRow& out) {
  for (int x = 0; x < HMAP_SIZE; x += 4) {
    __m128 a = load_rec(row[x]), b = load_rec(row[x + 1]);
    __m128 c = load_rec(row[x + 2]), d = load_rec(row[x + 3]);
    _MM_TRANSPOSE4_PS(a, b, c, d);
    _mm_store_ps(out.depth + ROW_PAD + x, a);
    _mm_store_ps(out.flow_x + ROW_PAD + x, b);
    _mm_store_ps(out.flow_z + ROW_PAD + x, c);
    _mm_store_ps(out.foam + ROW_PAD + x, d);
  }
  pad_row(out.depth);
  pad_row(out.flow_x);
  pad_row(out.flow_z);
  pad_row(out.foam);
}

inline __m128 abs4(__m128 v) { return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff))); }
inline __m128 select4(__m128 mask, __m128 a, __m128 b) {
  return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// The advected record of four cells, back-traced to (bx, bz); returns the
// velocity field `lane` (1 flow_x, 2 flow_z) and the foam. A cell whose
// fluid stands still traces back onto itself, where the bilinear sample is
// exactly its own record, so a group of still cells (all dry land among
// them) needs no sampling.
inline void advect4(const Water* old, __m128 bx, __m128 bz, __m128 px, __m128 pz, int lane, __m128 own_v,
                    __m128 own_foam, __m128& v, __m128& foam) {
  __m128 still = _mm_and_ps(_mm_cmpeq_ps(bx, px), _mm_cmpeq_ps(bz, pz));
  if (_mm_movemask_ps(still) == 15) {
    v = own_v;
    foam = own_foam;
    return;
  }
  // Floor by the world's rule (v - 0.49999988 rounded), all four lanes at once.
  const __m128 half_down = _mm_set1_ps(WORLD_HALF_DOWN);
  __m128i ix = _mm_cvtps_epi32(_mm_sub_ps(bx, half_down));
  __m128i iz = _mm_cvtps_epi32(_mm_sub_ps(bz, half_down));
  __m128 fx = _mm_sub_ps(bx, _mm_cvtepi32_ps(ix));
  __m128 fz = _mm_sub_ps(bz, _mm_cvtepi32_ps(iz));
  const __m128i mask = _mm_set1_epi32(255), one = _mm_set1_epi32(1);
  __m128i x0 = _mm_and_si128(ix, mask), x1 = _mm_and_si128(_mm_add_epi32(ix, one), mask);
  __m128i z0 = _mm_slli_epi32(_mm_and_si128(iz, mask), 8);
  __m128i z1 = _mm_slli_epi32(_mm_and_si128(_mm_add_epi32(iz, one), mask), 8);
  alignas(16) int c00[4], c10[4], c01[4], c11[4];
  _mm_store_si128((__m128i*)c00, _mm_or_si128(z0, x0));
  _mm_store_si128((__m128i*)c10, _mm_or_si128(z0, x1));
  _mm_store_si128((__m128i*)c01, _mm_or_si128(z1, x0));
  _mm_store_si128((__m128i*)c11, _mm_or_si128(z1, x1));
  auto sample = [&](int l, __m128 wx, __m128 wz) {
    __m128 top = _mm_add_ps(load_rec(old[c00[l]]), _mm_mul_ps(_mm_sub_ps(load_rec(old[c10[l]]), load_rec(old[c00[l]])), wx));
    __m128 bot = _mm_add_ps(load_rec(old[c01[l]]), _mm_mul_ps(_mm_sub_ps(load_rec(old[c11[l]]), load_rec(old[c01[l]])), wx));
    return _mm_add_ps(top, _mm_mul_ps(_mm_sub_ps(bot, top), wz));
  };
  __m128 r0 = sample(0, _mm_shuffle_ps(fx, fx, 0x00), _mm_shuffle_ps(fz, fz, 0x00));
  __m128 r1 = sample(1, _mm_shuffle_ps(fx, fx, 0x55), _mm_shuffle_ps(fz, fz, 0x55));
  __m128 r2 = sample(2, _mm_shuffle_ps(fx, fx, 0xAA), _mm_shuffle_ps(fz, fz, 0xAA));
  __m128 r3 = sample(3, _mm_shuffle_ps(fx, fx, 0xFF), _mm_shuffle_ps(fz, fz, 0xFF));
  _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
  v = lane == 1 ? r1 : r2;
  foam = r3;
}

// New velocities of four faces between cells 0 and their + neighbours 1
// (see the step's rules): m the advected velocities, h the pressure terms
// (replaced by the lava yield's result on lava faces), d0, d1 signed depths,
// h0, h1 land heights; cells 0 are (x .. x + 3, z). Adds 1 per blocked face
// to `blocked`.
inline __m128 face_flow4(const StepConsts& k, __m128 m, __m128& h, __m128 d0, __m128 d1, __m128 h0, __m128 h1,
                         int x, int z, __m128& blocked) {
  const __m128 zero = _mm_setzero_ps();
  __m128 a = _mm_add_ps(_mm_mul_ps(m, _mm_set1_ps(k.wd)), h);
  __m128 lava = _mm_cmplt_ps(_mm_add_ps(d0, d1), zero);
  if (_mm_movemask_ps(lava)) {
    __m128 dt = _mm_set1_ps(k.dt);
    __m128 hl = select4(_mm_cmplt_ps(h, _mm_sub_ps(zero, dt)), _mm_add_ps(h, dt),
                        _mm_and_ps(_mm_cmpgt_ps(h, dt), _mm_sub_ps(h, dt)));
    __m128 stiff = _mm_setr_ps(stiffness_at(x, z), stiffness_at(x + 1, z), stiffness_at(x + 2, z),
                               stiffness_at(x + 3, z));
    __m128 t = _mm_mul_ps(stiff, _mm_sub_ps(zero, _mm_add_ps(_mm_min_ps(d1, zero), _mm_min_ps(d0, zero))));
    __m128 al = _mm_add_ps(_mm_mul_ps(m, _mm_set1_ps(k.ld)), _mm_mul_ps(_mm_set1_ps(LAVA_PRESSURE), hl));
    __m128 ramp = _mm_mul_ps(_mm_sub_ps(t, _mm_set1_ps(LAVA_MIN_FLOW)), _mm_set1_ps(LAVA_FLOW_RAMP));
    al = _mm_mul_ps(al, select4(_mm_cmplt_ps(t, _mm_set1_ps(LAVA_FULL_FLOW)), ramp, _mm_set1_ps(1.0f)));
    al = _mm_andnot_ps(_mm_cmplt_ps(t, _mm_set1_ps(LAVA_MIN_FLOW)), al);
    a = select4(lava, al, a);
    h = select4(lava, hl, h);
  }
  __m128 D0 = abs4(d0), D1 = abs4(d1);
  // Fluid leaves cell 0 only above neighbour 1's land, and the reverse.
  __m128 out_head = _mm_min_ps(D0, _mm_sub_ps(_mm_add_ps(h0, D0), h1));
  __m128 in_head = _mm_min_ps(D1, _mm_sub_ps(_mm_add_ps(D1, h1), h0));
  __m128 stop = _mm_or_ps(_mm_and_ps(_mm_cmpge_ps(a, zero), _mm_cmple_ps(out_head, zero)),
                          _mm_and_ps(_mm_cmplt_ps(a, zero), _mm_cmple_ps(in_head, zero)));
  blocked = _mm_add_ps(blocked, _mm_and_ps(stop, _mm_set1_ps(1.0f)));
  return _mm_andnot_ps(stop, a);
}

// Cells whose previous depth is not 0, one bit per cell (bit x & 63 of word
// (z << 2) | (x >> 6)): written by pass 1, walked by pass 2.
uint64_t wet_cells[HMAP_SIZE * 4];

// Pass 1 over groups of four cells of a row, on the rows z - 1, z, z + 1
// split into fields (a ring of three, one new row split per row).
void pass_velocities(const Water* old, Water* nw, const StepConsts& k) {
  static FieldRow ring[3];
  alignas(16) static float land_row[ROW_LEN]; // hmap row z, padded like the fields
  const __m128 keep = _mm_set1_ps(max_f(0.0f, 1.0f - FOAM_DECAY * k.dt) * 0.125f);
  const __m128 dt = _mm_set1_ps(k.dt), g_dt = _mm_set1_ps(k.g_dt);
  split_row(old + (255 << 8), ring[0]);
  split_row(old, ring[1]);
  for (int z = 0; z < HMAP_SIZE; z++) {
    const FieldRow& M = ring[z % 3];       // z - 1
    const FieldRow& R = ring[(z + 1) % 3]; // z
    FieldRow& P = ring[(z + 2) % 3];       // z + 1
    split_row(old + (((z + 1) & 255) << 8), P);
    memcpy(land_row + ROW_PAD, hmap + (z << 8), HMAP_SIZE * sizeof(float));
    pad_row(land_row);
    const float* Hp = hmap + (((z + 1) & 255) << 8);
    Water* N = nw + (z << 8);
    const __m128 pz = _mm_set1_ps((float)z);
    uint64_t* wet_row = wet_cells + (z << 2);
    wet_row[0] = wet_row[1] = wet_row[2] = wet_row[3] = 0;
    for (int x = 0; x < HMAP_SIZE; x += 4) {
      const int i = ROW_PAD + x;
      const __m128 px = _mm_add_ps(_mm_set1_ps((float)x), _mm_setr_ps(0, 1, 2, 3));
      __m128 d0 = _mm_load_ps(R.depth + i), d1 = _mm_loadu_ps(R.depth + i + 1);
      __m128 du = _mm_load_ps(P.depth + i);
      __m128 fx0 = _mm_load_ps(R.flow_x + i), fz0 = _mm_load_ps(R.flow_z + i);
      __m128 foam0 = _mm_load_ps(R.foam + i);
      __m128 h0 = _mm_load_ps(land_row + i), h1 = _mm_loadu_ps(land_row + i + 1);
      __m128 hu = _mm_load_ps(Hp + x);
      __m128 S0 = _mm_add_ps(h0, abs4(d0));
      __m128 blocked = _mm_setzero_ps();
      wet_row[x >> 6] |= (uint64_t)_mm_movemask_ps(_mm_cmpneq_ps(d0, _mm_setzero_ps())) << (x & 63);

      // x face
      __m128 vz = _mm_mul_ps(_mm_set1_ps(0.25f),
                             _mm_add_ps(_mm_add_ps(_mm_add_ps(fz0, _mm_loadu_ps(R.flow_z + i + 1)),
                                                   _mm_load_ps(M.flow_z + i)),
                                        _mm_loadu_ps(M.flow_z + i + 1)));
      __m128 m, fo;
      advect4(old, _mm_sub_ps(px, _mm_mul_ps(fx0, dt)), _mm_sub_ps(pz, _mm_mul_ps(vz, dt)), px, pz, 1, fx0,
              foam0, m, fo);
      __m128 h = _mm_mul_ps(_mm_sub_ps(_mm_sub_ps(S0, h1), abs4(d1)), g_dt);
      __m128 a = face_flow4(k, m, h, d0, d1, h0, h1, x, z, blocked);

      // z face
      __m128 ux = _mm_mul_ps(_mm_set1_ps(0.25f),
                             _mm_add_ps(_mm_add_ps(_mm_add_ps(fx0, _mm_loadu_ps(R.flow_x + i - 1)),
                                                   _mm_load_ps(P.flow_x + i)),
                                        _mm_loadu_ps(P.flow_x + i - 1)));
      __m128 mz, fz;
      advect4(old, _mm_sub_ps(px, _mm_mul_ps(ux, dt)), _mm_sub_ps(pz, _mm_mul_ps(fz0, dt)), px, pz, 2, fz0,
              foam0, mz, fz);
      __m128 C = _mm_mul_ps(_mm_sub_ps(_mm_sub_ps(S0, hu), abs4(du)), g_dt);
      __m128 b = face_flow4(k, mz, C, d0, du, h0, hu, x, z, blocked);

      __m128 spread = _mm_mul_ps(_mm_set1_ps(2.0f), _mm_add_ps(fo, fz));
      spread = _mm_add_ps(spread, _mm_load_ps(P.foam + i));
      spread = _mm_add_ps(spread, _mm_loadu_ps(R.foam + i - 1));
      spread = _mm_add_ps(spread, _mm_loadu_ps(R.foam + i + 1));
      spread = _mm_add_ps(spread, _mm_load_ps(M.foam + i));
      __m128 foam = _mm_mul_ps(_mm_set1_ps(FOAM_GAIN), _mm_add_ps(_mm_mul_ps(h, h), _mm_mul_ps(C, C)));
      foam = _mm_add_ps(foam, _mm_mul_ps(_mm_set1_ps(FOAM_BLOCKED), blocked));
      foam = _mm_add_ps(foam, _mm_mul_ps(spread, keep));
      foam = _mm_min_ps(_mm_set1_ps(1.0f), foam);

      __m128 r0 = d0, r1 = a, r2 = b, r3 = foam;
      _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
      _mm_store_ps(&N[x].depth, r0);
      _mm_store_ps(&N[x + 1].depth, r1);
      _mm_store_ps(&N[x + 2].depth, r2);
      _mm_store_ps(&N[x + 3].depth, r3);
    }
  }
}

} // namespace

// =========================================================================
// Pass 2: evaporation, hardening and outflow, in place
// =========================================================================

namespace {

// A wet cell that held f of its kind at the start of the step and holds
// only `held` (< f, possibly nothing or the other kind) now: the cell rules
// of the pass applied to what is left. Returns the amount free to flow out.
[[gnu::noinline]] float left_after_meeting(int x, int z, Water& c, float f, float held, bool is_water, float wd,
                                           float harden) {
  held = max_f(held, 0.0f);
  if (is_water) {
    float a = f < SHALLOW ? (f < VANISH ? 0.0f : f * wd) : f;
    c.depth -= min_f(f - a, held); // evaporation
    return min_f(a, max_f(c.depth, 0.0f));
  }
  float hard = min_f(f > LAVA_HARDEN_AT_ONCE ? f * harden : f, held);
  c.depth += hard;
  if (hard > 0.0f) raise_land_at(x, z, hard);
  smooth_colors_at(x, z);
  return min_f(f - hard, held - hard);
}

void pass_outflow(const Water* old, const StepConsts& k) {
  float harden = min_f(LAVA_HARDEN_RATE * k.dt, 1.0f);
  float outflow = OUTFLOW * k.dt;
  Water* nw = waterCells();
  const float* land = hmap; // the grid never moves; a local keeps it in a register
  for (int w = 0; w < HMAP_SIZE * 4; w++) {
    int z = w >> 2;
    int row = z << 8;
    int row_m = ((z - 1) & 255) << 8;
    int row_p = ((z + 1) & 255) << 8;
    for (uint64_t bits = wet_cells[w]; bits; bits &= bits - 1) {
      int x = ((w & 3) << 6) | __builtin_ctzll(bits);
      int i = row | x;
      float e = old[i].depth;
      float f = fabsf(e);
      Water& c = nw[i];
      float a;
      bool is_water = e >= 0.0f;
      // Fluid of the other kind that earlier cells of this pass moved in
      // here may have turned some or all of what the cell held at the start
      // of the step into rock; then only what is left may evaporate, harden
      // or flow out, or fluid of the other kind would appear from nothing.
      float held = is_water ? c.depth : -c.depth;
      if (__builtin_expect(held < f, 0)) {
        a = left_after_meeting(x, z, c, f, held, is_water, k.wd, harden);
      } else if (is_water) {
        a = f;
        if (f < SHALLOW) {
          if (f < VANISH) {
            c.depth -= f;
            a = 0.0f;
          } else {
            a = f * k.wd;
            c.depth = c.depth - f + a;
          }
        }
      } else {
        float hard = f > LAVA_HARDEN_AT_ONCE ? f * harden : f;
        c.depth += hard;
        raise_land_at(x, z, hard);
        smooth_colors_at(x, z);
        a = f - hard;
      }
      if (!(a > 0.0f)) continue;

      // Candidate speeds out of the cell, lanes -x, -z, +x, +z: negative
      // ones and those toward land above the fluid level count 0.
      int xm = (x - 1) & 255, xp = (x + 1) & 255;
      const int nb[4] = {row | xm, row_m | x, row | xp, row_p | x};
      __m128 v = _mm_setr_ps(-nw[nb[0]].flow_x, -nw[nb[1]].flow_z, c.flow_x, c.flow_z);
      __m128 nb_land = _mm_setr_ps(land[nb[0]], land[nb[1]], land[nb[2]], land[nb[3]]);
      __m128 level = _mm_set1_ps(land[i] + a);
      v = _mm_and_ps(v, _mm_and_ps(_mm_cmpge_ps(v, _mm_setzero_ps()), _mm_cmpnlt_ps(level, nb_land)));
      alignas(16) float speed[4];
      _mm_store_ps(speed, v);
      float total = speed[0] + speed[1] + speed[2] + speed[3];
      float q = outflow * total;
      if (!(q > MIN_OUTFLOW)) continue;
      float moved = min_f(a, q);
      float per_speed = moved / total;
      static const int dx[4] = {-1, 0, 1, 0}, dz[4] = {0, -1, 0, 1};
      if (is_water) {
        c.depth -= moved;
        // Every lane gets its share (0 for the lanes that take none), so the
        // common case runs without data-dependent branches; only water
        // reaching lava takes the hardening path.
        for (int j = 0; j < 4; j++) {
          float share = speed[j] * per_speed;
          float& d = nw[nb[j]].depth;
          if (__builtin_expect(d < 0.0f && share > 0.0f, 0))
            add_water_at(x + dx[j], z + dz[j], share);
          else
            d += share;
        }
      } else {
        int out = _mm_movemask_ps(_mm_cmpgt_ps(v, _mm_setzero_ps()));
        c.depth += moved;
        for (int j = 0; j < 4; j++)
          if (out & (1 << j)) add_lava_at(x + dx[j], z + dz[j], speed[j] * per_speed);
      }
    }
  }
}

} // namespace

// =========================================================================
// The step
// =========================================================================

void HeightmapData::simWater(float dt) {
  ScopedStatsTiming timing(fluid_sim_stats);
  // Velocities of still water decay geometrically toward 0; flushing
  // subnormal results keeps the step from slowing down by orders of
  // magnitude once they get there. The caller's mode is restored.
  const unsigned csr = _mm_getcsr();
  _mm_setcsr(csr | 0x8040); // flush-to-zero and denormals-are-zero
  std::swap(water, tmpw);
  StepConsts k;
  k.dt = dt;
  k.g_dt = GRAVITY * dt;
  k.wd = max_f(0.0f, 1.0f - WATER_DAMPING * dt);
  k.ld = max_f(0.0f, 1.0f - LAVA_DAMPING * dt);
  const Water* old = tmpwCells();
  pass_velocities(old, waterCells(), k);
  pass_outflow(old, k);
  _mm_setcsr(csr);
}

void HeightmapData::addWaterEverywhere(float amount) {
  Water* w = waterCells();
  for (int i = 0; i < HMAP_CELLS; i++) w[i].depth += amount;
}
