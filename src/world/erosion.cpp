// Droplet erosion kernel (see erosion.h). Invariants: one call touches only
// hmap and the surface colour/cover words; every grid access is masked, so
// droplets wander freely over the wrapping world; nothing is allocated per
// droplet or per step. Heights are updated at once; the surface side of
// each update (colours, covers) is queued and done one step later, in order
// (see Kernel). The carried colour is four floats on the 0..255 scale in the
// memory order of the packed word (blue, green, red, alpha lanes).
//
// Rounding-level differences from a literal scalar transcription: e^x is a
// polynomial (relative error < 3e-7), the erosion colour mixing is evaluated
// in closed form, two deposits of one step on the same cells blend colour
// once with their summed amount (mathematically the same result), and a few
// products and sums on the step-to-step chain are grouped so that fewer
// operations wait for the freshly loaded heights.
#include "world/erosion.h"

#include <emmintrin.h>

#include <chrono>
#include <cmath>

#include "app/log.h"
#include "core/game_rnd.h"
#include "world/heightmap.h"
#include "world/world_math.h"

using namespace HeightmapData;

void (*world_gen_progress_hook)(const char* text, float progress) = nullptr;

namespace HeightmapData {

ErosionStats last_erosion_stats;

ErosionParams::~ErosionParams() = default;

void ErosionParams::onPeriod() {}

void ErosionParams::addReaction(const Vec4f& from, const Vec4f& to, float rate) {
  ErosionReaction r;
  for (int c = 0; c < 4; c++) {
    r.exponent[c] = round_to_int(from[c]);
    r.rate[c] = rate * (to[c] - from[c]);
  }
  reactions.push(r);
}

} // namespace HeightmapData

namespace {

constexpr int MAX_PATH_STEPS = 1024;
constexpr unsigned PROGRESS_INTERVAL = 16384;
constexpr float MIN_GRADIENT = 1.1920929e-7f;
constexpr float ROUND_MAGIC = 12582912.0f; // 1.5 * 2^23: adding and subtracting it rounds to an integer
constexpr uint32_t COVER_BITS = 0xF0; // the cover field of the type word
constexpr float DISC_WEIGHT = 0.15915494f; // 1 / (2 pi): the radius-2 cone weights sum to about 1

// =========================================================================
// SIMD colour helpers
// =========================================================================

// e^x for four lanes, x <= 88: x = n ln 2 + r with n rounded to nearest
// (|r| <= ln 2 / 2), e^r by its degree-5 Taylor polynomial (relative error
// below 3e-7, far under a colour byte), and 2^n put into the exponent.
inline __m128 exp_ps(__m128 x) {
  x = _mm_max_ps(_mm_min_ps(x, _mm_set1_ps(88.0f)), _mm_set1_ps(-87.0f));
  __m128i n = _mm_cvtps_epi32(_mm_mul_ps(x, _mm_set1_ps(1.44269504088896341f)));
  __m128 nf = _mm_cvtepi32_ps(n);
  __m128 r = _mm_sub_ps(x, _mm_mul_ps(nf, _mm_set1_ps(0.693359375f)));
  r = _mm_add_ps(r, _mm_mul_ps(nf, _mm_set1_ps(2.12194440e-4f)));
  __m128 p = _mm_set1_ps(1.0f / 120.0f);
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f / 24.0f));
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f / 6.0f));
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(0.5f));
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f));
  p = _mm_add_ps(_mm_mul_ps(p, r), _mm_set1_ps(1.0f));
  __m128i pow2 = _mm_slli_epi32(_mm_add_epi32(n, _mm_set1_epi32(127)), 23);
  return _mm_mul_ps(p, _mm_castsi128_ps(pow2));
}

// The deposit blend factor 1 - e^(-x) for four lanes.
inline __m128 blend_factor_of(__m128 x) {
  return _mm_sub_ps(_mm_set1_ps(1.0f), exp_ps(_mm_sub_ps(_mm_setzero_ps(), x)));
}

// =========================================================================
// Deposit chemistry
// =========================================================================

// A reaction with its exponents and rates permuted into the colour lanes.
struct LaneReaction {
  int exponent[4];
  float rates[4];
};

struct Chemistry {
  const LaneReaction* reactions = nullptr;
  int count = 0;
  float time = 0.0f; // reactionTime; <= 0 disables the reactions

  // Advances four colours (channel registers, one cell per lane, 0..1)
  // through the reactions for `time`, at most 10 rounds; each round runs
  // until the first falling channel of that cell reaches 0. Every lane
  // follows its own rounds: a finished lane is carried unchanged.
  void react(__m128 ch[4]) const {
    const __m128 zero = _mm_setzero_ps();
    __m128 T = _mm_set1_ps(time);
    __m128 active = _mm_cmpgt_ps(T, zero);
    for (int round = 0; round < 10 && _mm_movemask_ps(active); round++) {
      __m128 L[4] = {zero, zero, zero, zero};
      for (int r = 0; r < count; r++) {
        const LaneReaction& re = reactions[r];
        __m128 p = _mm_set1_ps(1.0f);
        for (int k = 0; k < 4; k++)
          for (int e = re.exponent[k]; e > 0; e--) p = _mm_mul_ps(p, ch[k]);
        for (int k = 0; k < 4; k++) L[k] = _mm_add_ps(L[k], _mm_mul_ps(p, _mm_set1_ps(re.rates[k])));
      }
      // t = the smallest of T and -c_k / L_k over the falling channels (a NaN
      // candidate is skipped, as a failed comparison would skip it).
      const __m128 inf = _mm_set1_ps(INFINITY);
      __m128 cand[4];
      for (int k = 0; k < 4; k++) {
        __m128 tk = _mm_div_ps(_mm_sub_ps(zero, ch[k]), L[k]);
        __m128 falling = _mm_and_ps(_mm_cmplt_ps(L[k], zero), _mm_cmpord_ps(tk, tk));
        cand[k] = _mm_or_ps(_mm_and_ps(falling, tk), _mm_andnot_ps(falling, inf));
      }
      __m128 t = _mm_min_ps(_mm_min_ps(cand[0], cand[1]), _mm_min_ps(cand[2], cand[3]));
      t = _mm_min_ps(t, T);
      // A channel already at (or rounded just below) 0 and still falling
      // stops that cell's chemistry: further rounds could not move it.
      active = _mm_and_ps(active, _mm_cmpgt_ps(t, zero));
      for (int k = 0; k < 4; k++) {
        __m128 moved = _mm_add_ps(ch[k], _mm_mul_ps(t, L[k]));
        ch[k] = _mm_or_ps(_mm_and_ps(active, moved), _mm_andnot_ps(active, ch[k]));
      }
      __m128 left = _mm_sub_ps(T, t);
      T = _mm_or_ps(_mm_and_ps(active, left), _mm_andnot_ps(active, T));
      active = _mm_and_ps(active, _mm_cmpgt_ps(T, zero));
    }
  }
};

// =========================================================================
// The droplet kernel
// =========================================================================

// Colour channels of four packed words as floats 0..255, one register per
// channel with the four cells in its lanes.
struct ColorSoA {
  __m128 b, g, r, a;

  static ColorSoA load(__m128i words) {
    __m128i lo = _mm_set1_epi32(255);
    return ColorSoA{_mm_cvtepi32_ps(_mm_and_si128(words, lo)),
                    _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(words, 8), lo)),
                    _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(words, 16), lo)),
                    _mm_cvtepi32_ps(_mm_srli_epi32(words, 24))};
  }
  // Clamped to 0..255 (NaN to 0), rounded to nearest, packed.
  __m128i pack() const {
    __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f);
    auto q = [&](__m128 v) { return _mm_cvtps_epi32(_mm_min_ps(_mm_max_ps(v, zero), top)); };
    return _mm_or_si128(_mm_or_si128(q(b), _mm_slli_epi32(q(g), 8)),
                        _mm_or_si128(_mm_slli_epi32(q(r), 16), _mm_slli_epi32(q(a), 24)));
  }
};

inline __m128 lane(__m128 v, int n) {
  switch (n) {
  case 0: return _mm_shuffle_ps(v, v, 0x00);
  case 1: return _mm_shuffle_ps(v, v, 0x55);
  case 2: return _mm_shuffle_ps(v, v, 0xAA);
  default: return _mm_shuffle_ps(v, v, 0xFF);
  }
}

// Lanes shifted down by N, the vacated top lanes set to 1.
template <int N>
inline __m128 shift_down_fill_one(__m128 v) {
  __m128 shifted = _mm_castsi128_ps(_mm_srli_si128(_mm_castps_si128(v), 4 * N));
  __m128 ones = N == 1   ? _mm_setr_ps(0, 0, 0, 1)
                : N == 2 ? _mm_setr_ps(0, 0, 1, 1)
                         : _mm_setr_ps(0, 1, 1, 1);
  return _mm_or_ps(shifted, ones);
}

// The surface work of one height update, queued until the droplet's next
// step has started (see Kernel).
struct SurfaceOp {
  enum Kind { DEPOSIT, ERODE } kind;
  int mask;      // DEPOSIT: bit n = cell n received height; ERODE: bit 4r + n = cell inside the cone
  int cell[4];   // DEPOSIT: the four cell indices; ERODE: the four column indices
  int row[4];    // ERODE: the four row offsets (z << 8)
  __m128 a[4];   // DEPOSIT: a[0] = height added per cell; ERODE: a[r] = height taken per cell of row r
  float s;       // ERODE: the sediment before the step
};

// One droplet at a time. Heights form a long dependency chain from step to
// step (gradient, move, bilinear height, capacity, height update, next
// gradient); the surface colours and covers never feed back into it. So the
// surface side of each update is queued and carried out in the next step,
// right after that step's chain has been issued: the colour work then runs
// in the shadow of the chain's latency instead of in front of it. The queue
// is drained in order, so the colours see exactly the sequence of deposits
// and erosions of the plain loop. The carried colour C belongs to that
// surface side.
struct Kernel {
  float* h;
  Surface* surf;
  float Kq, Kw, Kr, Kd, Ki, minSlope, g, blend;
  Chemistry chem;
  bool reacting;

  uint64_t random_dirs = 0;

  __m128 C; // sediment colour, lanes b, g, r, a on the 0..255 scale
  SurfaceOp queue[4];
  int queued = 0;

  // Deposits bury the top layer, except grass, which grows through. Most
  // cells have nothing to clear, so they are not written.
  static void clear_cover_unless_grass(Surface& s) {
    uint32_t word = s.typeWord();
    uint32_t cover = word & COVER_BITS;
    if (cover != (uint32_t)ST_GRASS << 4 && (cover | s.top_color) != 0) {
      s.setTypeWord(word & ~COVER_BITS);
      s.top_color = 0;
    }
  }

  // ---- height side --------------------------------------------------------

  // Spreads `a` bilinearly at cell (cx, cz) with fractions (fx, fz): corner
  // (cx, cz) gets (1 - fx)(1 - fz) a, (cx + 1, cz) fx (1 - fz) a, (cx, cz + 1)
  // (1 - fx) fz a, (cx + 1, cz + 1) fx fz a.
  //
  // Two deposits in a row on the same cells (an uphill step fills the pit,
  // then drops part of the rest) blend colour as one deposit of their sum:
  // lerp(lerp(c, C, k1), C, k2) = lerp(c, C, 1 - (1 - k1)(1 - k2)) and
  // (1 - k1)(1 - k2) = e^(-blend (a1 + a2)). Not with reactions, which run
  // after every deposit.
  void spread(int cx, int cz, float fx, float fz, float a) {
    int x0 = cx & 255, x1 = (cx + 1) & 255;
    int z0 = (cz & 255) << 8, z1 = ((cz + 1) & 255) << 8;
    int c0 = z0 | x0, c1 = z0 | x1, c2 = z1 | x0, c3 = z1 | x1;
    float gx = 1.0f - fx, gz = 1.0f - fz;
    __m128 amount = _mm_mul_ps(_mm_setr_ps(gx * gz, fx * gz, gx * fz, fx * fz), _mm_set1_ps(a));
    alignas(16) float am[4];
    _mm_store_ps(am, amount);
    // Cells where nothing lands keep their surface (and their height bits).
    int mask = _mm_movemask_ps(_mm_cmpneq_ps(amount, _mm_setzero_ps()));
    int cells[4] = {c0, c1, c2, c3};
    for (int n = 0; n < 4; n++)
      if (mask & (1 << n)) h[cells[n]] += am[n];

    if (queued && !reacting) {
      SurfaceOp& prev = queue[queued - 1];
      if (prev.kind == SurfaceOp::DEPOSIT && prev.cell[0] == c0 && prev.cell[3] == c3 &&
          prev.cell[1] == c1) {
        prev.mask |= mask;
        prev.a[0] = _mm_add_ps(prev.a[0], amount);
        return;
      }
    }
    SurfaceOp& op = queue[queued++];
    op.kind = SurfaceOp::DEPOSIT;
    op.cell[0] = c0, op.cell[1] = c1, op.cell[2] = c2, op.cell[3] = c3;
    op.mask = mask;
    op.a[0] = amount;
  }

  // Takes m, spread over the radius-2 cone round (px, pz), from the 4 x 4
  // cells round cell (cx, cz), a = (1 - q / 4) / (2 pi) m for the cells with
  // q / 4 < 1 (q the squared distance). s is the sediment before this step.
  void erode(int cx, int cz, float px, float pz, float m, float s) {
    SurfaceOp& op = queue[queued++];
    op.kind = SurfaceOp::ERODE;
    const __m128 one = _mm_set1_ps(1.0f);
    __m128 dxs = _mm_sub_ps(_mm_setr_ps((float)(cx - 1), (float)cx, (float)(cx + 1), (float)(cx + 2)),
                            _mm_set1_ps(px));
    __m128 dx2 = _mm_mul_ps(dxs, dxs);
    __m128 mv = _mm_set1_ps(m);
    op.s = s;
    op.cell[0] = (cx - 1) & 255, op.cell[1] = cx & 255;
    op.cell[2] = (cx + 1) & 255, op.cell[3] = (cx + 2) & 255;
    int mask = 0;
    for (int r = 0; r < 4; r++) {
      int zi = cz - 1 + r;
      float dz = (float)zi - pz;
      __m128 q4 = _mm_mul_ps(_mm_add_ps(dx2, _mm_set1_ps(dz * dz)), _mm_set1_ps(0.25f));
      __m128 in = _mm_cmplt_ps(q4, one);
      // (1 - q / 4) / (2 pi) does not depend on m: only the last multiply waits for it.
      __m128 a = _mm_and_ps(in, _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(one, q4), _mm_set1_ps(DISC_WEIGHT)), mv));
      op.a[r] = a;
      mask |= _mm_movemask_ps(in) << (4 * r);
      int row = (zi & 255) << 8;
      op.row[r] = row;
      alignas(16) float av[4];
      _mm_store_ps(av, a);
      for (int n = 0; n < 4; n++) h[row | op.cell[n]] -= av[n];
    }
    op.mask = mask;
  }

  // ---- surface side -------------------------------------------------------

  void drain() {
    for (int i = 0; i < queued; i++) {
      const SurfaceOp& op = queue[i];
      if (op.kind == SurfaceOp::ERODE)
        erode_surface(op);
      else if (__builtin_expect(reacting, 0))
        deposit_surface_reacting(op);
      else
        deposit_surface(op);
    }
    queued = 0;
  }

  // Blends C into the four cells by their factors k (0 for cells that got
  // nothing, whose colour then round-trips exactly). One register per cell;
  // the saturating packs clamp to 0..255 (NaN converts to the lowest value).
  void deposit_surface(const SurfaceOp& op) {
    __m128i v;
    bool covered = true;
    if (op.cell[1] == op.cell[0] + 1) { // the corner pairs do not wrap in x
      // Each pair of records is 24 consecutive bytes: colour, top colour and
      // type word of both cells in one 16- and one 8-byte load.
      const char* p0 = (const char*)&surf[op.cell[0]];
      const char* p1 = (const char*)&surf[op.cell[2]];
      __m128i a0 = _mm_loadu_si128((const __m128i*)p0), b0 = _mm_loadl_epi64((const __m128i*)(p0 + 16));
      __m128i a1 = _mm_loadu_si128((const __m128i*)p1), b1 = _mm_loadl_epi64((const __m128i*)(p1 + 16));
      __m128i ma = _mm_setr_epi32(0, -1, (int)COVER_BITS, 0), mb = _mm_setr_epi32(-1, (int)COVER_BITS, 0, 0);
      __m128i any = _mm_or_si128(_mm_or_si128(_mm_and_si128(a0, ma), _mm_and_si128(b0, mb)),
                                 _mm_or_si128(_mm_and_si128(a1, ma), _mm_and_si128(b1, mb)));
      covered = _mm_movemask_epi8(_mm_cmpeq_epi32(any, _mm_setzero_si128())) != 0xFFFF;
      v = _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a0), _mm_castsi128_ps(a1), _MM_SHUFFLE(3, 0, 3, 0)));
    } else {
      v = _mm_setr_epi32((int)surf[op.cell[0]].color, (int)surf[op.cell[1]].color,
                         (int)surf[op.cell[2]].color, (int)surf[op.cell[3]].color);
    }
    if (covered)
      for (int n = 0; n < 4; n++)
        if (op.mask & (1 << n)) clear_cover_unless_grass(surf[op.cell[n]]);
    __m128i z = _mm_setzero_si128();
    __m128i lo = _mm_unpacklo_epi8(v, z), hi = _mm_unpackhi_epi8(v, z);
    __m128 c0 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, z));
    __m128 c1 = _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, z));
    __m128 c2 = _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, z));
    __m128 c3 = _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, z));
    __m128 k = blend_factor_of(_mm_mul_ps(_mm_set1_ps(blend), op.a[0]));
    c0 = _mm_add_ps(c0, _mm_mul_ps(_mm_sub_ps(C, c0), lane(k, 0)));
    c1 = _mm_add_ps(c1, _mm_mul_ps(_mm_sub_ps(C, c1), lane(k, 1)));
    c2 = _mm_add_ps(c2, _mm_mul_ps(_mm_sub_ps(C, c2), lane(k, 2)));
    c3 = _mm_add_ps(c3, _mm_mul_ps(_mm_sub_ps(C, c3), lane(k, 3)));
    __m128i p01 = _mm_packs_epi32(_mm_cvtps_epi32(c0), _mm_cvtps_epi32(c1));
    __m128i p23 = _mm_packs_epi32(_mm_cvtps_epi32(c2), _mm_cvtps_epi32(c3));
    alignas(16) uint32_t col[4];
    _mm_store_si128((__m128i*)col, _mm_packus_epi16(p01, p23));
    for (int n = 0; n < 4; n++) surf[op.cell[n]].color = col[n];
  }

  // The same with the reactions, on the 0..1 scale: the four cells in the
  // lanes of one register per channel, cells that got nothing left alone.
  void deposit_surface_reacting(const SurfaceOp& op) {
    for (int n = 0; n < 4; n++)
      if (op.mask & (1 << n)) clear_cover_unless_grass(surf[op.cell[n]]);
    __m128i words = _mm_setr_epi32((int)surf[op.cell[0]].color, (int)surf[op.cell[1]].color,
                                   (int)surf[op.cell[2]].color, (int)surf[op.cell[3]].color);
    ColorSoA c = ColorSoA::load(words);
    __m128 k = blend_factor_of(_mm_mul_ps(_mm_set1_ps(blend), op.a[0]));
    __m128 inv = _mm_set1_ps(1.0f / 255.0f);
    __m128 C1 = _mm_mul_ps(C, inv);
    __m128 ch[4] = {_mm_mul_ps(c.b, inv), _mm_mul_ps(c.g, inv), _mm_mul_ps(c.r, inv), _mm_mul_ps(c.a, inv)};
    for (int q = 0; q < 4; q++) ch[q] = _mm_add_ps(ch[q], _mm_mul_ps(_mm_sub_ps(lane(C1, q), ch[q]), k));
    chem.react(ch);
    __m128 top = _mm_set1_ps(255.0f);
    ColorSoA out{_mm_mul_ps(ch[0], top), _mm_mul_ps(ch[1], top), _mm_mul_ps(ch[2], top),
                 _mm_mul_ps(ch[3], top)};
    alignas(16) uint32_t col[4];
    _mm_store_si128((__m128i*)col, out.pack());
    for (int n = 0; n < 4; n++)
      if (op.mask & (1 << n)) surf[op.cell[n]].color = col[n];
  }

  // Eroded cells lose cover and top layer, and their colours mix into the
  // sediment cell by cell, rows in order:
  //   C <- C k_j + c_j (1 - k_j)
  // evaluated in closed form, C prod(k) + sum c_j (1 - k_j) prod(k_l, l > j),
  // so the cells need not wait for each other.
  void erode_surface(const SurfaceOp& op) {
    const __m128 one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
    // Mixing weights k = s / (a + s) of the sediment against each cell; with
    // nothing carried and nothing taken the weight is undefined and C is kept.
    __m128 sv = _mm_set1_ps(op.s), k[4];
    for (int r = 0; r < 4; r++) {
      __m128 total = _mm_add_ps(op.a[r], sv);
      __m128 has = _mm_cmpgt_ps(total, zero);
      k[r] = _mm_or_ps(_mm_and_ps(has, _mm_div_ps(sv, total)), _mm_andnot_ps(has, one));
    }
    __m128i words[4];
    bool contiguous = op.cell[0] <= HMAP_SIZE - 4; // the block's columns do not wrap
    for (int r = 0; r < 4; r++) {
      int row = op.row[r];
      if (contiguous) {
        // The row's four records are 48 consecutive bytes: three loads hold
        // colours, top colours and type words; nothing to clear is the rule.
        const __m128i* p = (const __m128i*)&surf[row | op.cell[0]];
        __m128i l0 = _mm_loadu_si128(p), l1 = _mm_loadu_si128(p + 1), l2 = _mm_loadu_si128(p + 2);
        __m128i covered = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(l0, _mm_setr_epi32(0, -1, (int)COVER_BITS, 0)),
                         _mm_and_si128(l1, _mm_setr_epi32(-1, (int)COVER_BITS, 0, -1))),
            _mm_and_si128(l2, _mm_setr_epi32((int)COVER_BITS, 0, -1, (int)COVER_BITS)));
        __m128 f0 = _mm_castsi128_ps(l0), f1 = _mm_castsi128_ps(l1), f2 = _mm_castsi128_ps(l2);
        __m128 u = _mm_shuffle_ps(f1, f2, _MM_SHUFFLE(1, 1, 2, 2));      // c2 c2 c3 c3
        words[r] = _mm_castps_si128(_mm_shuffle_ps(f0, u, _MM_SHUFFLE(2, 0, 3, 0))); // c0 c1 c2 c3
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(covered, _mm_setzero_si128())) == 0xFFFF) continue;
      }
      for (int n = 0; n < 4; n++) {
        Surface& sc = surf[row | op.cell[n]];
        uint32_t word = sc.typeWord();
        if ((sc.top_color | (word & COVER_BITS)) != 0) { // mostly bare already
          // Which corner cells lie inside varies from step to step: masks, not branches.
          uint32_t hit = 0u - (uint32_t)((op.mask >> (4 * r + n)) & 1);
          sc.top_color &= ~hit;
          sc.setTypeWord(word & ~(hit & COVER_BITS));
        }
      }
      if (!contiguous)
        words[r] = _mm_setr_epi32((int)surf[row | op.cell[0]].color, (int)surf[row | op.cell[1]].color,
                                  (int)surf[row | op.cell[2]].color, (int)surf[row | op.cell[3]].color);
    }
    // Exclusive suffix products within each row and across the later rows.
    __m128 e[4], rowprod[4];
    for (int r = 0; r < 4; r++) {
      e[r] = _mm_mul_ps(_mm_mul_ps(shift_down_fill_one<1>(k[r]), shift_down_fill_one<2>(k[r])),
                        shift_down_fill_one<3>(k[r]));
      rowprod[r] = lane(_mm_mul_ps(k[r], e[r]), 0);
    }
    __m128 later = one; // product of the k of all rows after r
    ColorSoA acc{zero, zero, zero, zero};
    for (int r = 3; r >= 0; r--) {
      __m128 w = _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(one, k[r]), e[r]), later);
      ColorSoA c = ColorSoA::load(words[r]);
      acc.b = _mm_add_ps(acc.b, _mm_mul_ps(c.b, w));
      acc.g = _mm_add_ps(acc.g, _mm_mul_ps(c.g, w));
      acc.r = _mm_add_ps(acc.r, _mm_mul_ps(c.r, w));
      acc.a = _mm_add_ps(acc.a, _mm_mul_ps(c.a, w));
      later = _mm_mul_ps(later, rowprod[r]);
    }
    _MM_TRANSPOSE4_PS(acc.b, acc.g, acc.r, acc.a);
    __m128 mixed = _mm_add_ps(_mm_add_ps(acc.b, acc.g), _mm_add_ps(acc.r, acc.a));
    C = _mm_add_ps(_mm_mul_ps(C, later), mixed);
  }

  // ---- one droplet ---------------------------------------------------------

  // Runs one droplet from lattice point (cx, cz); returns its step count and
  // sets `cut` when it was stopped after MAX_PATH_STEPS.
  int run(int cx, int cz, bool& cut) {
    // Locals: the height stores below could otherwise alias the parameters.
    const float* const hh = h;
    const float Ki = this->Ki, Kq = this->Kq, Kd = this->Kd, Kr = this->Kr, Kw = this->Kw;
    const float minSlope = this->minSlope, g = this->g;
    float px = (float)cx, pz = (float)cz, fx = 0.0f, fz = 0.0f;
    float H = hh[hmap_index(cx, cz)];
    float dx = 0.0f, dz = 0.0f, v = 0.0f, w = 1.0f, s = 0.0f;
    C = _mm_setzero_ps();
    int steps = 0;
    cut = false;
    for (;;) {
      int x0 = cx & 255, x1 = (cx + 1) & 255;
      int z0 = (cz & 255) << 8, z1 = ((cz + 1) & 255) << 8;
      float h00 = hh[z0 | x0], h10 = hh[z0 | x1], h01 = hh[z1 | x0], h11 = hh[z1 | x1];
      float gx = (h00 + h01) - (h10 + h11);
      float gz = (h00 + h10) - (h01 + h11);
      // gx + (dx - gx) Ki, grouped so that only one multiply and one add
      // wait for the loaded heights.
      gx = gx * (1.0f - Ki) + dx * Ki;
      gz = gz * (1.0f - Ki) + dz * Ki;
      float len = sqrtf(gx * gx + gz * gz);
      if (__builtin_expect(len <= MIN_GRADIENT, 0)) {
        float angle = game_rnd_unit(game_rnd_next()) * 6.2831855f;
        dx = cosf(angle);
        dz = sinf(angle);
        random_dirs++;
      } else {
        dx = gx / len;
        dz = gz / len;
      }
      float nx = px + dx, nz = pz + dz;
      // Floor by the world's rule; the float copy of the cell comes from the
      // 1.5 * 2^23 rounding trick (same rounding as the conversion, exact for
      // |v| < 2^22), which keeps an int-to-float conversion off the chain.
      float rx = nx - WORLD_HALF_DOWN, rz = nz - WORLD_HALF_DOWN;
      int ncx = round_to_int(rx), ncz = round_to_int(rz);
      float nfx = nx - ((rx + ROUND_MAGIC) - ROUND_MAGIC);
      float nfz = nz - ((rz + ROUND_MAGIC) - ROUND_MAGIC);
      int nx0 = ncx & 255, nx1 = (ncx + 1) & 255;
      int nz0 = (ncz & 255) << 8, nz1 = ((ncz + 1) & 255) << 8;
      float ha = hh[nz0 | nx0] + (hh[nz0 | nx1] - hh[nz0 | nx0]) * nfx;
      float hb = hh[nz1 | nx0] + (hh[nz1 | nx1] - hh[nz1 | nx0]) * nfx;
      float Hn = ha + (hb - ha) * nfz;

      // The chain of this step is issued: now the previous step's surface work.
      drain();

      if (H <= Hn) { // uphill: fill the pit behind or stop in it
        float f = Hn - H + 0.001f;
        if (s <= f) break;
        spread(cx, cz, fx, fz, f);
        s -= f;
        v = 0.0f;
        H += f;
      }
      // v w Kq is known from the previous step; only the slope factor waits
      // for this step's heights.
      float delta = H - Hn;
      float K = (delta > minSlope ? delta : minSlope) * (v * w * Kq);
      float e = s - K;
      if (e >= 0.0f) {
        float dep = e * Kd;
        spread(cx, cz, fx, fz, dep);
        s -= dep;
        delta += dep;
      } else {
        float m = -e * Kr;
        float cap = 0.99f * delta;
        if (cap < m) m = cap;
        erode(cx, cz, px, pz, m, s);
        s += m;
        delta -= m;
      }
      float v2 = v * v + 2.0f * g * delta;
      v = v2 > 0.0f ? sqrtf(v2) : 0.0f;
      w *= 1.0f - Kw;
      px = nx, pz = nz, cx = ncx, cz = ncz, fx = nfx, fz = nfz;
      H = Hn;
      if (__builtin_expect(++steps >= MAX_PATH_STEPS, 0)) {
        cut = true; // the sediment is dropped without deposit
        drain();
        return steps;
      }
    }
    spread(cx, cz, fx, fz, s); // ended in a pit
    drain();
    return steps;
  }
};

} // namespace

void HeightmapData::genDropletErosion(unsigned count, ErosionParams& params) {
  auto start = std::chrono::steady_clock::now();

  // Reactions in colour-lane order (blue, green, red, alpha).
  static const int LANE_CHANNEL[4] = {2, 1, 0, 3};
  DynArray<LaneReaction> lanes;
  lanes.resize(params.reactions.num);
  for (int r = 0; r < params.reactions.num; r++) {
    for (int k = 0; k < 4; k++) {
      lanes[r].exponent[k] = params.reactions[r].exponent[LANE_CHANNEL[k]];
      lanes[r].rates[k] = params.reactions[r].rate[LANE_CHANNEL[k]];
    }
  }

  Kernel k;
  k.h = hmap;
  k.surf = surface;
  k.Kq = params.Kq, k.Kw = params.Kw, k.Kr = params.Kr, k.Kd = params.Kd, k.Ki = params.Ki;
  k.minSlope = params.minSlope, k.g = params.g, k.blend = params.depositBlend;
  k.chem.reactions = lanes.data;
  k.chem.count = lanes.num;
  k.chem.time = params.reactionTime;
  k.reacting = params.reactionTime > 0.0f && lanes.num > 0;

  uint64_t total_steps = 0, long_paths = 0;
  int period = params.periodStep;
  for (unsigned d = 0; d < count; d++) {
    if (d && d % PROGRESS_INTERVAL == 0 && world_gen_progress_hook)
      world_gen_progress_hook("Calculating erosion", ((float)d + 0.5f) / (float)count);
    int cx = (int)(game_rnd_next() & 255);
    int cz = (int)(game_rnd_next() & 255);
    bool cut;
    total_steps += (uint64_t)k.run(cx, cz, cut);
    if (cut) {
      debug("droplet #%d path is too long!", (int)d);
      long_paths++;
    }
    if (--period == 0) {
      period = params.periodStep;
      params.onPeriod();
    }
  }

  auto elapsed = std::chrono::steady_clock::now() - start;
  double seconds = std::chrono::duration<double>(elapsed).count();
  unsigned ms = (unsigned)std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
  last_erosion_stats = ErosionStats{count, ms, total_steps, long_paths, k.random_dirs};
  debug("computed %7d erosion droplets in %6u ms, %.0f droplets/s", (int)count, ms,
        seconds > 0.0 ? count / seconds : 0.0);
  // No droplets: the mean path length is reported as 0 rather than 0/0.
  debug("  %.2f average path length, %llu long paths cut, %llu random directions picked",
        count ? (double)total_steps / count : 0.0, (unsigned long long)long_paths,
        (unsigned long long)k.random_dirs);
}
