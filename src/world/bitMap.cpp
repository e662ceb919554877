// BitMap and IntMap: row-word combination, statistics, region filling and
// the TGA dump. Point and circle placement and the distance maps live in
// bitMap_place.cpp.
#include "world/bitMap.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/game_rnd.h"
#include "world/world_math.h"

namespace {

constexpr int W = BitMap::WORDS_PER_ROW;

// out bit x = in bit (x + s) & 255, for a row of eight words.
void rotate_row(const uint32_t* in, int s, uint32_t* out) {
  s &= HMAP_SIZE - 1;
  int word = s >> 5, bit = s & 31;
  for (int w = 0; w < W; w++) {
    uint32_t lo = in[(w + word) & (W - 1)];
    uint32_t hi = in[(w + word + 1) & (W - 1)];
    out[w] = bit ? (lo >> bit) | (hi << (32 - bit)) : lo;
  }
}

inline uint32_t combine(uint32_t a, uint32_t b, int op) {
  uint32_t r = 0;
  if (op & 1) r |= ~a & ~b;
  if (op & 2) r |= a & ~b;
  if (op & 4) r |= ~a & b;
  if (op & 8) r |= a & b;
  return r;
}

// Scratch of the region walks; the walks never nest.
int scratch_cells[HMAP_CELLS];
uint8_t scratch_flags[HMAP_CELLS];

} // namespace

// {===== Wrapped extents

void map_wrapped_extent(const bool used[HMAP_SIZE], int& start, int& length) {
  int first_used = -1;
  for (int i = 0; i < HMAP_SIZE; i++)
    if (used[i]) {
      first_used = i;
      break;
    }
  if (first_used < 0) {
    start = length = 0;
    return;
  }
  // Longest run of unused entries, walking once round from a used one (so
  // no run straddles the walk's start); the extent is everything else,
  // starting right after that run.
  int best_len = 0, best_end = first_used, run = 0;
  for (int k = 1; k <= HMAP_SIZE; k++) {
    int i = (first_used + k) & (HMAP_SIZE - 1);
    if (!used[i]) {
      if (++run > best_len) {
        best_len = run;
        best_end = i;
      }
    } else {
      run = 0;
    }
  }
  start = best_len ? (best_end + 1) & (HMAP_SIZE - 1) : 0;
  length = HMAP_SIZE - best_len;
}

bool map_intervals_overlap(int a, int al, int b, int bl) {
  if (al <= 0 || bl <= 0) return false;
  if (al >= HMAP_SIZE || bl >= HMAP_SIZE) return true;
  return ((b - a) & (HMAP_SIZE - 1)) < al || ((a - b) & (HMAP_SIZE - 1)) < bl;
}

// Offsets wrap with the map. Scripts pass any int, so they are reduced to 0..255 before any
// arithmetic that could overflow (negating INT_MIN, adding to a coordinate).
static int wrap_offset(int d) { return d & (HMAP_SIZE - 1); }

static bool bounds_overlap(const MapBounds& a, const MapBounds& b, int dx, int dz) {
  return map_intervals_overlap(a.x0, a.width, b.x0 + wrap_offset(dx), b.width) &&
         map_intervals_overlap(a.z0, a.height, b.z0 + wrap_offset(dz), b.height);
}

// {===== BitMap

void BitMap::clear() {
  memset(bits, 0, sizeof bits);
  statsValid = false;
}

void BitMap::updateStats() {
  if (statsValid) return;
  statsValid = true;
  uint32_t cols[W] = {};
  bool rows[HMAP_SIZE];
  int n = 0;
  for (int z = 0; z < HMAP_SIZE; z++) {
    uint32_t any = 0;
    for (int w = 0; w < W; w++) {
      uint32_t v = bits[z * W + w];
      cols[w] |= v;
      any |= v;
      n += __builtin_popcount(v);
    }
    rows[z] = any != 0;
  }
  cachedArea = n;
  bool colUsed[HMAP_SIZE];
  for (int x = 0; x < HMAP_SIZE; x++) colUsed[x] = (cols[x >> 5] >> (x & 31)) & 1;
  MapBounds b{};
  map_wrapped_extent(colUsed, b.x0, b.width);
  map_wrapped_extent(rows, b.z0, b.height);
  cachedBounds = b;
  cachedCircle = 0;
  if (!n) return;
  float cx = b.x0 + b.width * 0.5f, cz = b.z0 + b.height * 0.5f;
  float best = 0;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int w = 0; w < W; w++) {
      uint32_t v = bits[z * W + w];
      while (v) {
        int x = w * 32 + __builtin_ctz(v);
        v &= v - 1;
        float dx = x - cx, dz = z - cz;
        dx -= HMAP_SIZE * std::nearbyint(dx / HMAP_SIZE);
        dz -= HMAP_SIZE * std::nearbyint(dz / HMAP_SIZE);
        float d2 = dx * dx + dz * dz;
        if (d2 > best) best = d2;
      }
    }
  cachedCircle = std::sqrt(best);
}

MapBounds BitMap::bounds() {
  updateStats();
  return cachedBounds;
}

float BitMap::boundingCircle() {
  updateStats();
  return cachedCircle;
}

int BitMap::area() {
  updateStats();
  return cachedArea;
}

bool BitMap::testOverlap(BitMap& other, int dx, int dz) {
  return bounds_overlap(bounds(), other.bounds(), dx, dz);
}

void BitMap::shiftedCopy(int dx, int dz, BitMap& out) const {
  dx = wrap_offset(dx);
  dz = wrap_offset(dz);
  for (int z = 0; z < HMAP_SIZE; z++)
    rotate_row(&bits[((z - dz) & (HMAP_SIZE - 1)) * W], -dx, &out.bits[z * W]);
  out.changed();
}

int BitMap::testMask(const BitMap* other, int op, int dx, int dz) const {
  if (!other) return 0;
  dx = wrap_offset(dx);
  dz = wrap_offset(dz);
  int n = 0;
  uint32_t row[W];
  for (int z = 0; z < HMAP_SIZE; z++) {
    rotate_row(&other->bits[((z - dz) & (HMAP_SIZE - 1)) * W], -dx, row);
    for (int w = 0; w < W; w++) n += __builtin_popcount(combine(bits[z * W + w], row[w], op));
  }
  return n;
}

void BitMap::bitwise(const BitMap* other, int op, int dx, int dz, BitMap& out) const {
  if (!other) {
    if (&out != this) memcpy(out.bits, bits, sizeof bits);
    out.changed();
    return;
  }
  // Row by row, so `out` may be this map, but not the other one (shifted rows
  // of it are read after earlier rows were written): copy that case first.
  const BitMap* src = other;
  static BitMap alias_copy;
  if (other == &out) {
    memcpy(alias_copy.bits, other->bits, sizeof bits);
    src = &alias_copy;
  }
  dx = wrap_offset(dx);
  dz = wrap_offset(dz);
  uint32_t row[W];
  for (int z = 0; z < HMAP_SIZE; z++) {
    rotate_row(&src->bits[((z - dz) & (HMAP_SIZE - 1)) * W], -dx, row);
    for (int w = 0; w < W; w++) out.bits[z * W + w] = combine(bits[z * W + w], row[w], op);
  }
  out.changed();
}

void BitMap::inverse(BitMap& out) const {
  for (int i = 0; i < NUM_WORDS; i++) out.bits[i] = ~bits[i];
  out.changed();
}

// Neighbourhood pass: op 0 erode (AND of the plus), 1 expand (OR).
static void plus_pass(const uint32_t* in, uint32_t* out, bool expand) {
  for (int z = 0; z < HMAP_SIZE; z++) {
    const uint32_t* r = &in[z * W];
    const uint32_t* up = &in[((z - 1) & (HMAP_SIZE - 1)) * W];
    const uint32_t* dn = &in[((z + 1) & (HMAP_SIZE - 1)) * W];
    uint32_t left[W], right[W];
    rotate_row(r, -1, left);  // left[x] = r[x - 1]
    rotate_row(r, 1, right);  // right[x] = r[x + 1]
    for (int w = 0; w < W; w++)
      out[z * W + w] = expand ? (r[w] | up[w] | dn[w] | left[w] | right[w])
                              : (r[w] & up[w] & dn[w] & left[w] & right[w]);
  }
}

void BitMap::erode(BitMap& out) const {
  static uint32_t tmp[NUM_WORDS];
  memcpy(tmp, bits, sizeof bits);
  plus_pass(tmp, out.bits, false);
  out.changed();
}

void BitMap::expand(BitMap& out) const {
  static uint32_t tmp[NUM_WORDS];
  memcpy(tmp, bits, sizeof bits);
  plus_pass(tmp, out.bits, true);
  out.changed();
}

int BitMap::findPixel(bool value) const {
  for (int w = 0; w < NUM_WORDS; w++) {
    uint32_t v = value ? bits[w] : ~bits[w];
    if (v) return w * 32 + __builtin_ctz(v);
  }
  return -1;
}

int BitMap::randomPixel() {
  int n = area();
  if (!n) return -1;
  int k = game_rnd_index(n);
  for (int w = 0; w < NUM_WORDS; w++) {
    int c = __builtin_popcount(bits[w]);
    if (k >= c) {
      k -= c;
      continue;
    }
    uint32_t v = bits[w];
    while (k--) v &= v - 1;
    return w * 32 + __builtin_ctz(v);
  }
  return -1;
}

void BitMap::floodFillMask(int x, int z, BitMap& out) const {
  static BitMap result;
  result.clear();
  int start = hmap_index(x, z);
  bool value = getIndex(start);
  int n = 0;
  scratch_cells[n++] = start;
  result.bits[start >> 5] |= 1u << (start & 31);
  while (n) {
    int c = scratch_cells[--n];
    int cx = c & (HMAP_SIZE - 1), cz = c >> HMAP_SIZE_SHIFT;
    const int nb[4] = {hmap_index(cx, cz - 1), hmap_index(cx - 1, cz), hmap_index(cx + 1, cz),
                       hmap_index(cx, cz + 1)};
    for (int i : nb) {
      if (getIndex(i) != value || result.getIndex(i)) continue;
      result.bits[i >> 5] |= 1u << (i & 31);
      scratch_cells[n++] = i;
    }
  }
  memcpy(out.bits, result.bits, sizeof bits);
  out.changed();
}

bool BitMap::isContinuous() {
  int first = findPixel(true);
  if (first < 0) return false;
  static BitMap region;
  floodFillMask(first & (HMAP_SIZE - 1), first >> HMAP_SIZE_SHIFT, region);
  return region.area() == area();
}

void BitMap::randomFill(int x, int z, int count, BitMap& out) const {
  static BitMap result;
  result.clear();
  memset(scratch_flags, 0, sizeof scratch_flags);
  int n = 0, filled = 0;
  int start = hmap_index(x, z);
  if (getIndex(start)) {
    scratch_cells[n++] = start;
    scratch_flags[start] = 1;
  }
  while (n > 0 && filled < count) {
    int k = game_rnd_index(n);
    int c = scratch_cells[k];
    scratch_cells[k] = scratch_cells[--n];
    result.bits[c >> 5] |= 1u << (c & 31);
    filled++;
    int cx = c & (HMAP_SIZE - 1), cz = c >> HMAP_SIZE_SHIFT;
    const int nb[4] = {hmap_index(cx, cz - 1), hmap_index(cx - 1, cz), hmap_index(cx + 1, cz),
                       hmap_index(cx, cz + 1)};
    for (int i : nb) {
      // A flag marks cells ever queued: those in the frontier and those filled.
      if (!getIndex(i) || scratch_flags[i]) continue;
      scratch_flags[i] = 1;
      scratch_cells[n++] = i;
    }
  }
  memcpy(out.bits, result.bits, sizeof bits);
  out.changed();
}

bool BitMap::randomExpand(int count, int samples, float distance) {
  int n = 0;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      if (!get(x, z)) continue;
      if (!get(x, z - 1) || !get(x - 1, z) || !get(x + 1, z) || !get(x, z + 1))
        scratch_cells[n++] = hmap_index(x, z);
    }
  if (!n) return false;
  for (int c = 0; c < count; c++) {
    int p = scratch_cells[game_rnd_index(n)];
    int px = p & (HMAP_SIZE - 1), pz = p >> HMAP_SIZE_SHIFT;
    bool kept = false;
    int best = 0, bdx = 0, bdz = 0;
    for (int s = 0; s < samples; s++) {
      int q = scratch_cells[game_rnd_index(n)];
      int dx = (int8_t)((q & (HMAP_SIZE - 1)) - px);
      int dz = (int8_t)((q >> HMAP_SIZE_SHIFT) - pz);
      int d2 = dx * dx + dz * dz;
      if (!kept || d2 < best) {
        kept = true;
        best = d2;
        bdx = dx;
        bdz = dz;
      }
    }
    if (!kept || (float)best <= 1e-6f) continue;
    float len = std::sqrt((float)best);
    int tx = px + round_to_int(bdx * distance / len);
    int tz = pz + round_to_int(bdz * distance / len);
    bool square = (game_rnd_next() >> 10) & 1;
    for (int dz = -1; dz <= 1; dz++)
      for (int dx = -1; dx <= 1; dx++)
        if (square || dx == 0 || dz == 0) set(tx + dx, tz + dz, true);
  }
  return true;
}

bool write_grey_tga(const char* path, const uint8_t* pixels) {
  FILE* f = fopen(path, "wb");
  if (!f) return false;
  uint8_t header[18] = {};
  header[2] = 3; // uncompressed greyscale
  header[12] = HMAP_SIZE & 255;
  header[13] = HMAP_SIZE >> 8;
  header[14] = HMAP_SIZE & 255;
  header[15] = HMAP_SIZE >> 8;
  header[16] = 8;
  header[17] = 0x20; // first row at the top
  bool ok = fwrite(header, 1, sizeof header, f) == sizeof header &&
            fwrite(pixels, 1, HMAP_CELLS, f) == (size_t)HMAP_CELLS;
  return fclose(f) == 0 && ok;
}

bool BitMap::dumpTga(const char* path) const {
  static uint8_t pixels[HMAP_CELLS];
  for (int i = 0; i < HMAP_CELLS; i++) pixels[i] = getIndex(i) ? 255 : 0;
  return write_grey_tga(path, pixels);
}

// {===== IntMap

void IntMap::clear() {
  memset(cells, 0, sizeof cells);
  statsValid = false;
}

MapBounds IntMap::bounds() {
  if (statsValid) return cachedBounds;
  bool cols[HMAP_SIZE] = {}, rows[HMAP_SIZE] = {};
  for (int i = 0; i < HMAP_CELLS; i++)
    if (cells[i]) {
      cols[i & (HMAP_SIZE - 1)] = true;
      rows[i >> HMAP_SIZE_SHIFT] = true;
    }
  MapBounds b{};
  map_wrapped_extent(cols, b.x0, b.width);
  map_wrapped_extent(rows, b.z0, b.height);
  cachedBounds = b;
  statsValid = true;
  return b;
}

bool IntMap::testOverlap(IntMap& other, int dx, int dz) {
  return bounds_overlap(bounds(), other.bounds(), dx, dz);
}
