// Droplet erosion kernel (see erosion.h). Invariants: one call touches only
// hmap and the surface colour/cover words; every grid access is masked, so
// droplets wander freely over the wrapping world; nothing is allocated per
// droplet or per step. Heights are updated at once; the surface side of
// each update (colours, covers) is queued and done one step later, in order
// (see Kernel). The carried colour is four floats on the 0..1 scale in the
// memory order of the packed word (blue, green, red, alpha lanes).
//
// Every float operation follows the designed formulas in their written order
// and grouping, float throughout (e^x is expf): the same seed gives the same
// world bit for bit as a literal transcription (the erosion test has one).
// SIMD is used only where each lane does exactly the scalar operations.
#include "world/erosion.h"

#include <emmintrin.h>

#include <chrono>
#include <cmath>
#include <cstring>

#include "core/log.h"
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
// Colour words as floats
// =========================================================================

// The four bytes of a packed colour as floats in 0..1 (byte / 255), in
// memory order: blue, green, red, alpha.
inline __m128 unpack_color(uint32_t word) {
  __m128i z = _mm_setzero_si128();
  __m128i b = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)word), z), z);
  return _mm_div_ps(_mm_cvtepi32_ps(b), _mm_set1_ps(255.0f));
}

// Clamped to 0..1 (NaN to 0), scaled by 255, rounded to nearest, packed.
inline uint32_t pack_color(__m128 c) {
  c = _mm_min_ps(_mm_max_ps(c, _mm_setzero_ps()), _mm_set1_ps(1.0f));
  __m128i q = _mm_cvtps_epi32(_mm_mul_ps(c, _mm_set1_ps(255.0f)));
  q = _mm_packs_epi32(q, q);
  return (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(q, q));
}

// =========================================================================
// Deposit chemistry
// =========================================================================

// A reaction with its exponents and rates permuted into the colour lanes.
struct LaneReaction {
  int exponent[4];
  float rates[4];
};

// Channel order of the reaction product (red, green, blue, alpha) as lane
// indices of the blue, green, red, alpha memory order.
constexpr int PRODUCT_ORDER[4] = {2, 1, 0, 3};

struct Chemistry {
  const LaneReaction* reactions = nullptr;
  int count = 0;
  float time = 0.0f; // reactionTime; <= 0 disables the reactions

  // Advances four colours (one register per channel, one cell per lane,
  // 0..1) through the reactions for `time`, at most 10 rounds; each round
  // runs until the first falling channel of that cell reaches 0. Every lane
  // follows its own rounds: a finished lane is carried unchanged.
  void react(__m128 ch[4]) const {
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f);
    __m128 T = _mm_set1_ps(time);
    __m128 active = _mm_cmpgt_ps(T, zero);
    for (int round = 0; round < 10 && _mm_movemask_ps(active); round++) {
      __m128 L[4] = {zero, zero, zero, zero};
      for (int r = 0; r < count; r++) {
        const LaneReaction& re = reactions[r];
        // c_R^eR x c_G^eG x c_B^eB x c_A^eA, each power by repeated products.
        __m128 p = one;
        for (int k : PRODUCT_ORDER) {
          if (re.exponent[k] <= 0) continue; // a factor 1
          __m128 pw = ch[k];
          for (int e = re.exponent[k]; e > 1; e--) pw = _mm_mul_ps(pw, ch[k]);
          p = _mm_mul_ps(p, pw);
        }
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
      // A falling channel already at 0, or rounded just below it, would give
      // t <= 0 (a step backwards in time): that cell's chemistry is done.
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

// The surface work of one height update, queued until the droplet's next
// step has started (see Kernel).
struct SurfaceOp {
  enum Kind { DEPOSIT, ERODE } kind;
  int mask;      // DEPOSIT: bit n = cell n received height; ERODE: bit 4r + n = cell inside the cone
  int cell[4];   // DEPOSIT: the four cell indices; ERODE: the four column indices
  int row[4];    // ERODE: the four row offsets (z << 8)
  alignas(16) float a[4][4]; // DEPOSIT: a[0][n] = height added to cell n; ERODE: a[r][n] taken from row r
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

  __m128 C; // sediment colour, lanes b, g, r, a on the 0..1 scale
  SurfaceOp queue[3]; // at most two deposits or one erosion per step, plus the final deposit
  int queued = 0;

  // The type word, read and written in place (no call per cell).
  static uint32_t type_word(const Surface& s) {
    uint32_t w;
    memcpy(&w, (const char*)&s + 8, 4);
    return w;
  }
  static void set_type_word(Surface& s, uint32_t w) { memcpy((char*)&s + 8, &w, 4); }

  // Deposits bury the top layer, except grass, which grows through. Most
  // cells have nothing to clear, so they are not written.
  static void clear_cover_unless_grass(Surface& s) {
    uint32_t word = type_word(s);
    uint32_t cover = word & COVER_BITS;
    if (cover != (uint32_t)ST_GRASS << 4 && (cover | s.top_color) != 0) {
      set_type_word(s, word & ~COVER_BITS);
      s.top_color = 0;
    }
  }

  // Erosion bares the ground: cover and top layer go.
  static void clear_cover(Surface& s) {
    uint32_t word = type_word(s);
    if ((s.top_color | (word & COVER_BITS)) != 0) { // mostly bare already
      s.top_color = 0;
      set_type_word(s, word & ~COVER_BITS);
    }
  }

  // ---- height side --------------------------------------------------------

  // Spreads `a` bilinearly at cell (cx, cz) with fractions (fx, fz): corner
  // (cx, cz) gets (1 - fx)(1 - fz) a, (cx + 1, cz) fx (1 - fz) a, (cx, cz + 1)
  // (1 - fx) fz a, (cx + 1, cz + 1) fx fz a. A corner that gets exactly 0 is
  // left alone, surface included.
  void spread(int cx, int cz, float fx, float fz, float a) {
    int x0 = cx & 255, x1 = (cx + 1) & 255;
    int z0 = (cz & 255) << 8, z1 = ((cz + 1) & 255) << 8;
    float gx = 1.0f - fx, gz = 1.0f - fz;
    SurfaceOp& op = queue[queued++];
    op.kind = SurfaceOp::DEPOSIT;
    op.cell[0] = z0 | x0, op.cell[1] = z0 | x1, op.cell[2] = z1 | x0, op.cell[3] = z1 | x1;
    __m128 amount = _mm_mul_ps(_mm_setr_ps(gx * gz, fx * gz, gx * fz, fx * fz), _mm_set1_ps(a));
    _mm_store_ps(op.a[0], amount);
    int mask = _mm_movemask_ps(_mm_cmpneq_ps(amount, _mm_setzero_ps()));
    op.mask = mask;
    for (int n = 0; n < 4; n++)
      if (mask & (1 << n)) h[op.cell[n]] += op.a[0][n];
  }

  // Takes m, spread over the radius-2 cone round (px, pz), from the 4 x 4
  // cells round cell (cx, cz): a = (1 - q / 4) x 0.15915494 x m for the cells
  // with q / 4 < 1 (q the squared distance). s is the sediment before this step.
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
      __m128 q4 = _mm_mul_ps(_mm_add_ps(dx2, _mm_set1_ps(dz * dz)), _mm_set1_ps(0.25f)); // q / 4, exact
      __m128 in = _mm_cmplt_ps(q4, one);
      __m128 a = _mm_and_ps(in, _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(one, q4), _mm_set1_ps(DISC_WEIGHT)), mv));
      _mm_store_ps(op.a[r], a);
      int in_mask = _mm_movemask_ps(in);
      mask |= in_mask << (4 * r);
      int row = (zi & 255) << 8;
      op.row[r] = row;
      for (int n = 0; n < 4; n++)
        if (in_mask & (1 << n)) h[row | op.cell[n]] -= op.a[r][n];
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

  // The blend factor 1 - e^(-depositBlend a) of each cell that got height.
  void blend_factors(const SurfaceOp& op, float t[4]) const {
    for (int n = 0; n < 4; n++)
      t[n] = (op.mask & (1 << n)) ? 1.0f - expf(-(blend * op.a[0][n])) : 0.0f;
  }

  // c <- c + (C - c) t for each cell that got height.
  void deposit_surface(const SurfaceOp& op) {
    float t[4];
    blend_factors(op, t);
    for (int n = 0; n < 4; n++) {
      if (!(op.mask & (1 << n))) continue;
      Surface& sc = surf[op.cell[n]];
      clear_cover_unless_grass(sc);
      __m128 c = unpack_color(sc.color);
      c = _mm_add_ps(c, _mm_mul_ps(_mm_sub_ps(C, c), _mm_set1_ps(t[n])));
      sc.color = pack_color(c);
    }
  }

  // The same followed by the reactions: the four cells in the lanes of one
  // register per channel, cells that got nothing left alone.
  void deposit_surface_reacting(const SurfaceOp& op) {
    alignas(16) float t[4];
    blend_factors(op, t);
    alignas(16) float chan[4][4]; // [channel][cell]
    for (int n = 0; n < 4; n++) {
      if (op.mask & (1 << n)) clear_cover_unless_grass(surf[op.cell[n]]);
      alignas(16) float c[4];
      _mm_store_ps(c, unpack_color(surf[op.cell[n]].color));
      for (int k = 0; k < 4; k++) chan[k][n] = c[k];
    }
    alignas(16) float Cs[4];
    _mm_store_ps(Cs, C);
    __m128 tv = _mm_load_ps(t), ch[4];
    for (int k = 0; k < 4; k++) {
      __m128 c = _mm_load_ps(chan[k]);
      ch[k] = _mm_add_ps(c, _mm_mul_ps(_mm_sub_ps(_mm_set1_ps(Cs[k]), c), tv));
    }
    chem.react(ch);
    for (int k = 0; k < 4; k++) _mm_store_ps(chan[k], ch[k]);
    for (int n = 0; n < 4; n++)
      if (op.mask & (1 << n))
        surf[op.cell[n]].color = pack_color(_mm_setr_ps(chan[0][n], chan[1][n], chan[2][n], chan[3][n]));
  }

  // Eroded cells, rows in order and each row from its first column, lose
  // cover and top layer, and their colours mix into the sediment:
  //   C <- C s / (a + s) + c (1 - s / (a + s))
  // with s the sediment before the step. With nothing carried and nothing
  // taken (a + s = 0) the weights are 0/0 and C is kept.
  void erode_surface(const SurfaceOp& op) {
    const __m128 sv = _mm_set1_ps(op.s);
    // Which cells lie inside varies from step to step: visit the set bits
    // (row-major order) rather than branch on each of the 16.
    for (int bits = op.mask; bits; bits &= bits - 1) {
      int b = __builtin_ctz(bits), r = b >> 2, n = b & 3;
      Surface& sc = surf[op.row[r] | op.cell[n]];
      clear_cover(sc);
      float total = op.a[r][n] + op.s;
      if (__builtin_expect(!(total > 0.0f), 0)) continue;
      float keep = op.s / total;
      __m128 c = unpack_color(sc.color);
      C = _mm_add_ps(_mm_div_ps(_mm_mul_ps(C, sv), _mm_set1_ps(total)), _mm_mul_ps(c, _mm_set1_ps(1.0f - keep)));
    }
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
      float gx = h00 + h01 - h10 - h11;
      float gz = h00 + h10 - h01 - h11;
      gx = gx + (dx - gx) * Ki;
      gz = gz + (dz - gz) * Ki;
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
      // The world's bilinear sample (sample_grid_bilinear): along x, then z.
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
      float delta = H - Hn;
      float K = (minSlope < delta ? delta : minSlope) * v * w * Kq; // max(minSlope, delta) v w Kq
      float e = s - K;
      if (e >= 0.0f) {
        spread(cx, cz, fx, fz, e * Kd);
        s -= e * Kd;
        delta += e * Kd;
      } else {
        float m = -e * Kr;
        float cap = 0.99f * delta;
        if (cap < m) m = cap;
        erode(cx, cz, px, pz, m, s);
        s += m;
        delta -= m;
      }
      // The radicand is not negative for any reachable state; a NaN or
      // negative one (absurd parameters) stops the droplet's speed at 0.
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
