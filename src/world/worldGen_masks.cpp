// The raster classes of the world-generation VM (HmapMask, BitMap, IntMap),
// the distance-map and index helpers, and the functions that write masks
// and colours back into the world grids.
#include <cmath>
#include <cstring>

#include "core/platform.h"
#include "core/ramp.h"
#include "script/scriptData.h"
#include "script/sqMath.h"
#include "world/bitMap.h"
#include "world/hmGen.h"
#include "world/hmGen_local.h"
#include "world/noise.h"
#include "world/worldGenVM.h"
#include "world/worldGen_local.h"

using namespace HeightmapData;
using namespace wgbind;

// A float grid laid out like hmap; zeros when created.
struct HmapMask {
  float* v;
  HmapMask() : v(new float[HMAP_CELLS]()) {}
  ~HmapMask() { delete[] v; }
  HmapMask(const HmapMask&) = delete;
  HmapMask& operator=(const HmapMask&) = delete;
};

namespace wgbind {

D3dColor arg_color(HSQUIRRELVM v, int n) {
  SQInteger idx = n + 2;
  if (sq_gettype(v, idx) == OT_INTEGER) return (D3dColor)sqbind::Value<int>::get(v, idx);
  return vec4f_to_d3d_color(script_get_vec4f(v, idx, true));
}

HSQOBJECT arg_func(HSQUIRRELVM v, int n) {
  SQObjectType t = sq_gettype(v, n + 2);
  if (t != OT_CLOSURE && t != OT_NATIVECLOSURE) throw SquirrelError("function expected");
  HSQOBJECT o;
  sq_getstackobj(v, n + 2, &o);
  return o;
}

float result_float(HSQUIRRELVM v, SQInteger top) {
  SQFloat f = 0;
  bool ok = SQ_SUCCEEDED(sq_getfloat(v, -1, &f));
  sq_settop(v, top);
  if (!ok) throw SquirrelError("callback must return a number");
  return f;
}

void reg(HSQUIRRELVM v, const SqObject& target, const char* name, SQFUNCTION fn) {
  sqbind::register_raw(v, target, name, fn);
}

SQInteger bitmap_release(SQUserPointer p, SQInteger) {
  delete (BitMap*)p;
  return 1;
}

void push_bitmap(HSQUIRRELVM v, BitMap* bm) {
  try {
    sqbind::push_instance(v, bm, sqbind::class_tag<BitMap>(), "BitMap", bitmap_release);
  } catch (...) {
    delete bm;
    throw;
  }
}

} // namespace wgbind

namespace {

// {===== HmapMask

SQInteger mask_release(SQUserPointer p, SQInteger) {
  delete (HmapMask*)p;
  return 1;
}

HmapMask* self_mask(HSQUIRRELVM v) { return sqbind::getInst<HmapMask>(v, 1); }

void push_mask(HSQUIRRELVM v, HmapMask* m) {
  try {
    sqbind::push_instance(v, m, sqbind::class_tag<HmapMask>(), "HmapMask", mask_release);
  } catch (...) {
    delete m;
    throw;
  }
}

SQInteger mask_ctor(HSQUIRRELVM v) {
  sqbind::adopt_instance(new HmapMask, v, mask_release);
  return 0;
}

SQInteger mask_getraw(HSQUIRRELVM v) {
  need_args(v, 2);
  sq_pushfloat(v, self_mask(v)->v[hmap_index(arg_int(v, 0), arg_int(v, 1))]);
  return 1;
}

SQInteger mask_get(HSQUIRRELVM v) {
  need_args(v, 2);
  sq_pushfloat(v, sample_grid_bilinear(self_mask(v)->v, arg_float(v, 0), arg_float(v, 1)));
  return 1;
}

SQInteger mask_set(HSQUIRRELVM v) {
  need_args(v, 3);
  self_mask(v)->v[hmap_index(arg_int(v, 0), arg_int(v, 1))] = arg_float(v, 2);
  return 0;
}

void push_min_max(HSQUIRRELVM v, const float* g) {
  float lo = g[0], hi = g[0];
  for (int i = 1; i < HMAP_CELLS; i++) {
    lo = g[i] < lo ? g[i] : lo;
    hi = g[i] > hi ? g[i] : hi;
  }
  sq_newarray(v, 0);
  sq_pushfloat(v, lo);
  sq_arrayappend(v, -2);
  sq_pushfloat(v, hi);
  sq_arrayappend(v, -2);
}

SQInteger mask_calc_min_max(HSQUIRRELVM v) {
  push_min_max(v, self_mask(v)->v);
  return 1;
}

// The inclusive rectangle, rows z0 .. z1, columns x0 .. x1. As with the
// marks, at most 256 columns and rows are visited (each cell of the world
// once, from x0 and z0 on): a wider rectangle would call func again on
// cells it has already changed, and one up to INT_MAX would run for ever.
// The coordinates passed on wrap like 32-bit integers, on the same cells.
void process_rect(HSQUIRRELVM v, float* g, int x0, int z0, int x1, int z1, const HSQOBJECT& fn) {
  int64_t nx = (int64_t)x1 - x0 + 1, nz = (int64_t)z1 - z0 + 1;
  if (nx > HMAP_SIZE) nx = HMAP_SIZE;
  if (nz > HMAP_SIZE) nz = HMAP_SIZE;
  for (int64_t j = 0; j < nz; j++)
    for (int64_t i = 0; i < nx; i++) {
      int x = (int)((uint32_t)x0 + (uint32_t)i), z = (int)((uint32_t)z0 + (uint32_t)j);
      float& c = g[hmap_index(x, z)];
      SQInteger top = call_begin(v, fn);
      sq_pushinteger(v, x);
      sq_pushinteger(v, z);
      sq_pushfloat(v, c);
      call_end(v, top, 3, true);
      c = result_float(v, top);
    }
}

SQInteger mask_process_rect(HSQUIRRELVM v) {
  need_args(v, 5);
  process_rect(v, self_mask(v)->v, arg_int(v, 0), arg_int(v, 1), arg_int(v, 2), arg_int(v, 3),
               arg_func(v, 4));
  return 0;
}

SQInteger mask_process_all(HSQUIRRELVM v) {
  need_args(v, 1);
  process_rect(v, self_mask(v)->v, 0, 0, HMAP_SIZE - 1, HMAP_SIZE - 1, arg_func(v, 0));
  return 0;
}

SQInteger mask_fast_noise(HSQUIRRELVM v) {
  need_args(v, 2);
  float amp = arg_float(v, 0), pers = arg_float(v, 1);
  HmapMask* m = new HmapMask;
  makeFastNoise(m->v, amp, pers);
  push_mask(v, m);
  return 1;
}

SQInteger mask_from_height(HSQUIRRELVM v) {
  HmapMask* m = new HmapMask;
  memcpy(m->v, hmap, sizeof(float) * HMAP_CELLS);
  push_mask(v, m);
  return 1;
}

SQInteger mask_from_slope(HSQUIRRELVM v) {
  HmapMask* m = new HmapMask;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      auto h = [&](int dx, int dz) { return hmap[hmap_index(x + dx, z + dz)]; };
      float sx = (h(1, -1) + 2 * h(1, 0) + h(1, 1)) - (h(-1, -1) + 2 * h(-1, 0) + h(-1, 1));
      float sz = (h(-1, 1) + 2 * h(0, 1) + h(1, 1)) - (h(-1, -1) + 2 * h(0, -1) + h(1, -1));
      m->v[hmap_index(x, z)] = 8.0f / std::sqrt(sx * sx + 64.0f + sz * sz);
    }
  push_mask(v, m);
  return 1;
}

SQInteger mask_from_water(HSQUIRRELVM v) {
  HmapMask* m = new HmapMask;
  const Water* w = waterCells();
  for (int i = 0; i < HMAP_CELLS; i++) m->v[i] = w[i].depth;
  push_mask(v, m);
  return 1;
}

bool power_of_two(int t) { return t > 0 && (t & (t - 1)) == 0; }

SQInteger mask_from_simplex(HSQUIRRELVM v) {
  need_args(v, 5);
  float scale = arg_float(v, 0);
  int tile = arg_int(v, 1), octaves = arg_int(v, 2);
  SqFloatRamp* ramp = arg_inst_or_null<SqFloatRamp>(v, 3);
  float gain = arg_float(v, 4);
  // The torus noise tiles with any period; only the Voronoi lattices need
  // a power of two.
  if (tile <= 0) throw SquirrelError("tile must be positive in fromSimplexNoise()");
  HmapMask* m = new HmapMask;
  // Octave by octave with the generators' torus tables: each cell's sum
  // equals tiled_fractal_noise2 at (tile x / 256, tile z / 256).
  static TorusOctave oct;
  oct.start((float)tile / 256.0f);
  float period = (float)tile, weight = scale;
  int k = 0;
  do {
    oct.compute(period);
    for (int z = 0; z < HMAP_SIZE; z++) {
      float* row = m->v + (z << HMAP_SIZE_SHIFT);
      __m128 cz = _mm_set1_ps(oct.rc[z]), sz = _mm_set1_ps(oct.rs[z]);
      for (int x = 0; x < HMAP_SIZE; x += 4) {
        alignas(16) float n[4];
        noise4_x4(_mm_load_ps(oct.rc + x), cz, _mm_load_ps(oct.rs + x), sz, n);
        for (int j = 0; j < 4; j++) {
          float s = ramp ? ramp->ramp.get((n[j] + 1.0f) * 0.5f) : n[j];
          row[x + j] += weight * s;
        }
      }
    }
    oct.advance();
    period *= 2.0f;
    weight *= gain;
  } while (++k < noise_octaves(octaves));
  push_mask(v, m);
  return 1;
}

SQInteger mask_from_voronoi_hills(HSQUIRRELVM v) {
  need_args(v, 4);
  int tile = arg_int(v, 0);
  if (!power_of_two(tile)) throw SquirrelError("tile must be power of 2 in fromVoronoiHills()");
  float lo = arg_float(v, 1), hi = arg_float(v, 2), radius = arg_float(v, 3);
  HmapMask* m = new HmapMask;
  addVoronoiHillsTo(m->v, tile, lo, hi, radius);
  push_mask(v, m);
  return 1;
}

SQInteger mask_from_voronoi_faults(HSQUIRRELVM v) {
  need_args(v, 7);
  int tile = arg_int(v, 0);
  if (!power_of_two(tile)) throw SquirrelError("tile must be power of 2 in fromVoronoiFaults()");
  float lo = arg_float(v, 1), hi = arg_float(v, 2), warp = arg_float(v, 3);
  int warp_scale = arg_int(v, 4), octaves = arg_int(v, 5);
  float sharpness = arg_float(v, 6);
  HmapMask* m = new HmapMask;
  addVoronoiFaultsTo(m->v, tile, lo, hi, warp, warp_scale, octaves, sharpness);
  push_mask(v, m);
  return 1;
}

// {===== Applying masks to the world

void apply_mask(HSQUIRRELVM v, float* grid, size_t stride, const char* error) {
  HmapMask* mask = arg_inst_or_null<HmapMask>(v, 0);
  bool has_fn = !arg_null(v, 1);
  if (!has_fn) {
    if (!mask) throw SquirrelError(error);
    for (int i = 0; i < HMAP_CELLS; i++) grid[i * stride] += mask->v[i];
    return;
  }
  HSQOBJECT fn = arg_func(v, 1);
  for (int i = 0; i < HMAP_CELLS; i++) {
    float& h = grid[i * stride];
    SQInteger top = call_begin(v, fn);
    sq_pushfloat(v, h);
    if (mask) sq_pushfloat(v, mask->v[i]);
    call_end(v, top, mask ? 2 : 1, true);
    h = result_float(v, top);
  }
}

SQInteger fn_apply_height_mask(HSQUIRRELVM v) {
  apply_mask(v, hmap, 1, "no mask and no func in apply_height_mask()");
  return 0;
}

SQInteger fn_apply_water_mask(HSQUIRRELVM v) {
  apply_mask(v, &waterCells()->depth, sizeof(Water) / sizeof(float),
             "no mask and no func in apply_water_mask()");
  return 0;
}

// Element i of the array on top of the stack as a colour.
D3dColor array_color(HSQUIRRELVM v, int i) {
  sq_pushinteger(v, i);
  if (SQ_FAILED(sq_get(v, -2))) throw SquirrelError("repaint_land(): result array too short");
  D3dColor c;
  SQInteger idx = sq_gettop(v);
  if (sq_gettype(v, idx) == OT_INTEGER) {
    SQInteger n = 0;
    sq_getinteger(v, idx, &n);
    c = (D3dColor)n;
  } else {
    c = vec4f_to_d3d_color(script_get_vec4f(v, idx, true));
  }
  sq_poptop(v);
  return c;
}

int array_int(HSQUIRRELVM v, int i) {
  sq_pushinteger(v, i);
  if (SQ_FAILED(sq_get(v, -2))) throw SquirrelError("repaint_land(): result array too short");
  SQInteger n = 0;
  bool ok = SQ_SUCCEEDED(sq_getinteger(v, -1, &n));
  sq_poptop(v);
  if (!ok) throw SquirrelError("repaint_land(): ground and cover must be integers");
  return n;
}

SQInteger fn_repaint_land(HSQUIRRELVM v) {
  if (arg_null(v, 0)) throw SquirrelError("null function in repaint_land()");
  HSQOBJECT fn = arg_func(v, 0);
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      Surface& s = surface[hmap_index(x, z)];
      SQInteger top = call_begin(v, fn);
      sq_pushinteger(v, x);
      sq_pushinteger(v, z);
      script_push_vec4f(v, d3d_color_to_vec4f(s.color));
      script_push_vec4f(v, d3d_color_to_vec4f(s.top_color));
      call_end(v, top, 4, true);
      try {
        if (sq_gettype(v, -1) != OT_ARRAY) throw SquirrelError("repaint_land(): function must return an array");
        SQInteger n = sq_getsize(v, -1);
        if (n != 2 && n != 4) throw SquirrelError("repaint_land(): result must have 2 or 4 elements");
        D3dColor color = array_color(v, 0);
        int ground = array_int(v, 1);
        D3dColor top_color = 0;
        int cover = ST_NONE;
        if (n == 4) {
          top_color = array_color(v, 2);
          cover = array_int(v, 3);
        }
        s.color = color;
        s.ground = (uint32_t)ground;
        s.top_color = top_color;
        s.cover = (uint32_t)cover;
      } catch (...) {
        sq_settop(v, top);
        throw;
      }
      sq_settop(v, top);
    }
  return 0;
}

SQInteger fn_recolor_by_height(HSQUIRRELVM v) {
  need_args(v, 1);
  SqColorRamp* ramp = arg_inst<SqColorRamp>(v, 0);
  HmapMask* mask = arg_inst_or_null<HmapMask>(v, 1);
  const float* g = mask ? mask->v : hmap;
  float lo = g[0], hi = g[0];
  for (int i = 1; i < HMAP_CELLS; i++) {
    lo = g[i] < lo ? g[i] : lo;
    hi = g[i] > hi ? g[i] : hi;
  }
  // A flat source maps every cell to the ramp's start.
  float k = hi > lo ? 1.0f / (hi - lo) : 0.0f;
  for (int i = 0; i < HMAP_CELLS; i++) {
    Surface& s = surface[i];
    s.color = vec4f_to_d3d_color(ramp->ramp.get((g[i] - lo) * k));
    s.top_color = 0;
    s.ground = GT_SOIL;
    s.cover = ST_NONE;
  }
  return 0;
}

SQInteger fn_recolor_land4(HSQUIRRELVM v) {
  need_args(v, 1);
  Vec4f c[4] = {};
  int given = sq_gettop(v) - 1;
  for (int i = 0; i < 4; i++)
    c[i] = i < given && !arg_null(v, i) ? d3d_color_to_vec4f(arg_color(v, i)) : c[i > 0 ? i - 1 : 0];
  for (int i = 0; i < HMAP_CELLS; i++) {
    Surface& s = surface[i];
    Vec4f w = d3d_color_to_vec4f(s.color);
    float sum = w.x + w.y + w.z + w.w;
    Vec4f out;
    if (sum > 0.0f) {
      for (int ch = 0; ch < 4; ch++)
        out[ch] = (w.x * c[0][ch] + w.y * c[1][ch] + w.z * c[2][ch] + w.w * c[3][ch]) / sum;
    } else {
      out = Vec4f{1, 1, 1, 1}; // the undefined quotient clamps to white
    }
    s.color = vec4f_to_d3d_color(out);
    s.top_color = 0;
    s.ground = GT_SOIL;
    s.cover = ST_NONE;
  }
  return 0;
}

// {===== BitMap

BitMap* self_bm(HSQUIRRELVM v) { return sqbind::getInst<BitMap>(v, 1); }

SQInteger bm_ctor(HSQUIRRELVM v) {
  sqbind::adopt_instance(new BitMap, v, wgbind::bitmap_release);
  return 0;
}

SQInteger bm_get(HSQUIRRELVM v) {
  need_args(v, 2);
  sq_pushbool(v, self_bm(v)->get(arg_int(v, 0), arg_int(v, 1)));
  return 1;
}

SQInteger bm_set(HSQUIRRELVM v) {
  need_args(v, 3);
  self_bm(v)->set(arg_int(v, 0), arg_int(v, 1), arg_bool(v, 2));
  return 0;
}

SQInteger bm_make_copy(HSQUIRRELVM v) {
  BitMap* out = new BitMap(*self_bm(v));
  out->changed();
  push_bitmap(v, out);
  return 1;
}

SQInteger bm_shifted_copy(HSQUIRRELVM v) {
  need_args(v, 2);
  BitMap* out = new BitMap;
  self_bm(v)->shiftedCopy(arg_int(v, 0), arg_int(v, 1), *out);
  push_bitmap(v, out);
  return 1;
}

void push_bounds(HSQUIRRELVM v, const MapBounds& b) {
  sq_newarray(v, 0);
  for (int x : {b.x0, b.z0, b.width, b.height}) {
    sq_pushinteger(v, x);
    sq_arrayappend(v, -2);
  }
}

SQInteger bm_bounds(HSQUIRRELVM v) {
  push_bounds(v, self_bm(v)->bounds());
  return 1;
}

SQInteger bm_bounding_circle(HSQUIRRELVM v) {
  sq_pushfloat(v, self_bm(v)->boundingCircle());
  return 1;
}

SQInteger bm_area(HSQUIRRELVM v) {
  sq_pushinteger(v, self_bm(v)->area());
  return 1;
}

SQInteger bm_test_overlap(HSQUIRRELVM v) {
  need_args(v, 3);
  sq_pushbool(v, self_bm(v)->testOverlap(*arg_inst<BitMap>(v, 0), arg_int(v, 1), arg_int(v, 2)));
  return 1;
}

SQInteger bm_flood_fill(HSQUIRRELVM v) {
  need_args(v, 2);
  BitMap* out = new BitMap;
  self_bm(v)->floodFillMask(arg_int(v, 0), arg_int(v, 1), *out);
  push_bitmap(v, out);
  return 1;
}

SQInteger bm_is_continuous(HSQUIRRELVM v) {
  sq_pushbool(v, self_bm(v)->isContinuous());
  return 1;
}

SQInteger bm_dump_tga(HSQUIRRELVM v) {
  need_args(v, 1);
  PathString path = make_full_path(arg_str(v, 0));
  if (!self_bm(v)->dumpTga(path)) debug("WORLDGEN: can't write %s", path.str);
  return 0;
}

SQInteger bm_find_pixel(HSQUIRRELVM v) {
  need_args(v, 1);
  sq_pushinteger(v, self_bm(v)->findPixel(arg_bool(v, 0)));
  return 1;
}

SQInteger bm_test_mask(HSQUIRRELVM v) {
  need_args(v, 4);
  sq_pushinteger(v, self_bm(v)->testMask(arg_inst_or_null<BitMap>(v, 0), arg_int(v, 1), arg_int(v, 2),
                                         arg_int(v, 3)));
  return 1;
}

SQInteger bm_bitwise(HSQUIRRELVM v) {
  need_args(v, 4);
  BitMap* out = new BitMap;
  self_bm(v)->bitwise(arg_inst_or_null<BitMap>(v, 0), arg_int(v, 1), arg_int(v, 2), arg_int(v, 3), *out);
  push_bitmap(v, out);
  return 1;
}

SQInteger bm_bitwise_inplace(HSQUIRRELVM v) {
  need_args(v, 4);
  BitMap* self = self_bm(v);
  self->bitwise(arg_inst_or_null<BitMap>(v, 0), arg_int(v, 1), arg_int(v, 2), arg_int(v, 3), *self);
  return 0;
}

template <void (BitMap::*OP)(BitMap&) const>
SQInteger bm_unary(HSQUIRRELVM v) {
  BitMap* out = new BitMap;
  (self_bm(v)->*OP)(*out);
  push_bitmap(v, out);
  return 1;
}

SQInteger bm_random_pixel(HSQUIRRELVM v) {
  sq_pushinteger(v, self_bm(v)->randomPixel());
  return 1;
}

SQInteger bm_random_fill(HSQUIRRELVM v) {
  need_args(v, 3);
  BitMap* out = new BitMap;
  self_bm(v)->randomFill(arg_int(v, 0), arg_int(v, 1), arg_int(v, 2), *out);
  push_bitmap(v, out);
  return 1;
}

SQInteger bm_random_expand(HSQUIRRELVM v) {
  need_args(v, 3);
  sq_pushbool(v, self_bm(v)->randomExpand(arg_int(v, 0), arg_int(v, 1), arg_float(v, 2)));
  return 1;
}

void call_for_cells(HSQUIRRELVM v, const HSQOBJECT& fn, DynArray<int>& cells) {
  for (int c : cells) {
    SQInteger top = call_begin(v, fn);
    sq_pushinteger(v, c & (HMAP_SIZE - 1));
    sq_pushinteger(v, c >> HMAP_SIZE_SHIFT);
    call_end(v, top, 2, false);
    sq_settop(v, top);
  }
}

SQInteger bm_place_points(HSQUIRRELVM v) {
  need_args(v, 2);
  int n = arg_int(v, 0);
  HSQOBJECT fn = arg_func(v, 1);
  // More points than the world has cells cannot be spread apart, and the
  // point list alone would take gigabytes for the largest counts.
  if (n > HMAP_CELLS) throw SquirrelError("placePoints(): at most 65536 points");
  DynArray<int> cells;
  self_bm(v)->placePoints(n, cells);
  call_for_cells(v, fn, cells);
  return 0;
}

SQInteger bm_place_circles(HSQUIRRELVM v) {
  need_args(v, 2);
  if (sq_gettype(v, 2) != OT_ARRAY) throw SquirrelError("placeCircles(): radii must be an array");
  HSQOBJECT fn = arg_func(v, 1);
  DynArray<float> radii;
  SQInteger n = sq_getsize(v, 2);
  for (SQInteger i = 0; i < n; i++) {
    sq_pushinteger(v, i);
    sq_get(v, 2);
    SQFloat r = 0;
    bool ok = SQ_SUCCEEDED(sq_getfloat(v, -1, &r));
    sq_poptop(v);
    if (!ok) throw SquirrelError("placeCircles(): radii must be numbers");
    radii.push(r);
  }
  DynArray<int> cells;
  self_bm(v)->placeCircles(radii.data, radii.num, cells);
  call_for_cells(v, fn, cells);
  return 0;
}

// {===== IntMap

SQInteger intmap_release(SQUserPointer p, SQInteger) {
  delete (IntMap*)p;
  return 1;
}

IntMap* self_im(HSQUIRRELVM v) { return sqbind::getInst<IntMap>(v, 1); }

SQInteger im_ctor(HSQUIRRELVM v) {
  sqbind::adopt_instance(new IntMap, v, intmap_release);
  return 0;
}

SQInteger im_get(HSQUIRRELVM v) {
  need_args(v, 2);
  sq_pushinteger(v, self_im(v)->get(arg_int(v, 0), arg_int(v, 1)));
  return 1;
}

SQInteger im_set(HSQUIRRELVM v) {
  need_args(v, 3);
  self_im(v)->set(arg_int(v, 0), arg_int(v, 1), arg_int(v, 2));
  return 0;
}

SQInteger im_meta_get(HSQUIRRELVM v) {
  need_args(v, 1);
  if (sq_gettype(v, 2) != OT_INTEGER) throw SquirrelError("IntMap index must be an integer");
  sq_pushinteger(v, self_im(v)->getIndex(arg_int(v, 0)));
  return 1;
}

SQInteger im_meta_set(HSQUIRRELVM v) {
  need_args(v, 2);
  if (sq_gettype(v, 2) != OT_INTEGER) throw SquirrelError("IntMap index must be an integer");
  self_im(v)->setIndex(arg_int(v, 0), arg_int(v, 1));
  return 0;
}

SQInteger im_bounds(HSQUIRRELVM v) {
  push_bounds(v, self_im(v)->bounds());
  return 1;
}

SQInteger im_test_overlap(HSQUIRRELVM v) {
  need_args(v, 3);
  sq_pushbool(v, self_im(v)->testOverlap(*arg_inst<IntMap>(v, 0), arg_int(v, 1), arg_int(v, 2)));
  return 1;
}

// {===== Global helpers

SQInteger fn_fast_skeleton_map(HSQUIRRELVM v) {
  need_args(v, 1);
  BitMap* bm = arg_inst<BitMap>(v, 0);
  HmapMask* m = new HmapMask;
  fast_skeleton_map(*bm, m->v);
  push_mask(v, m);
  return 1;
}

SQInteger fn_make_skeleton_map(HSQUIRRELVM v) {
  need_args(v, 2);
  BitMap* bm = arg_inst<BitMap>(v, 0);
  float jitter = arg_float(v, 1);
  HmapMask* m = new HmapMask;
  make_skeleton_map(*bm, jitter, m->v);
  push_mask(v, m);
  return 1;
}

int make_map_index(int x, int z) { return ((z & 255) << 8) | (x & 255); }
int map_index_x(int i) { return i & 255; }
int map_index_z(int i) { return (i >> 8) & 255; }

// {===== Persistence of bit maps (script-data subtype 100)

bool bitmap_save(SqObject& obj, OutputStream& s) {
  if (!obj.vm || obj.type() != OT_INSTANCE) return false;
  obj.push(obj.vm);
  SQUserPointer p = nullptr;
  bool is_bitmap = SQ_SUCCEEDED(sq_getinstanceup(obj.vm, -1, &p, sqbind::class_tag<BitMap>())) && p;
  sq_poptop(obj.vm);
  if (!is_bitmap) {
    sq_reseterror(obj.vm);
    return false;
  }
  s.writeByte(SDT_BITMAP);
  s.write(((BitMap*)p)->bits, sizeof(BitMap::bits));
  return true;
}

bool bitmap_load(InputStream& s, HSQUIRRELVM vm) {
  BitMap* bm = new BitMap;
  try {
    s.read(bm->bits, sizeof(BitMap::bits));
  } catch (...) {
    delete bm;
    throw;
  }
  bm->changed();
  push_bitmap(vm, bm);
  return true;
}

} // namespace

void register_bitmap_persistence() {
  register_custom_script_instance(CustomScriptInstanceType{SDT_BITMAP, bitmap_save, bitmap_load});
}

void register_world_gen_masks(HSQUIRRELVM vm) {
  SqObject root = sqbind::root_table(vm);

  SqObject mask = sqbind::create_class(vm, "HmapMask", nullptr, sqbind::class_tag<HmapMask>());
  reg(vm, mask, "constructor", guarded<mask_ctor>);
  reg(vm, mask, "getraw", guarded<mask_getraw>);
  reg(vm, mask, "get", guarded<mask_get>);
  reg(vm, mask, "set", guarded<mask_set>);
  reg(vm, mask, "calcMinMax", guarded<mask_calc_min_max>);
  reg(vm, mask, "processRect", guarded<mask_process_rect>);
  reg(vm, mask, "processAll", guarded<mask_process_all>);
  reg(vm, mask, "fastNoise", guarded<mask_fast_noise>);
  reg(vm, mask, "fromHeight", guarded<mask_from_height>);
  reg(vm, mask, "fromSlope", guarded<mask_from_slope>);
  reg(vm, mask, "fromWater", guarded<mask_from_water>);
  reg(vm, mask, "fromSimplexNoise", guarded<mask_from_simplex>);
  reg(vm, mask, "fromVoronoiHills", guarded<mask_from_voronoi_hills>);
  reg(vm, mask, "fromVoronoiFaults", guarded<mask_from_voronoi_faults>);

  SqObject bm = sqbind::create_class(vm, "BitMap", nullptr, sqbind::class_tag<BitMap>());
  reg(vm, bm, "constructor", guarded<bm_ctor>);
  reg(vm, bm, "get", guarded<bm_get>);
  reg(vm, bm, "set", guarded<bm_set>);
  reg(vm, bm, "makeCopy", guarded<bm_make_copy>);
  reg(vm, bm, "shiftedCopy", guarded<bm_shifted_copy>);
  reg(vm, bm, "bounds", guarded<bm_bounds>);
  reg(vm, bm, "boundingCircle", guarded<bm_bounding_circle>);
  reg(vm, bm, "area", guarded<bm_area>);
  reg(vm, bm, "testOverlap", guarded<bm_test_overlap>);
  reg(vm, bm, "floodFillMask", guarded<bm_flood_fill>);
  reg(vm, bm, "isContinuous", guarded<bm_is_continuous>);
  reg(vm, bm, "dumpTga", guarded<bm_dump_tga>);
  reg(vm, bm, "findPixel", guarded<bm_find_pixel>);
  reg(vm, bm, "testMask", guarded<bm_test_mask>);
  reg(vm, bm, "bitwise", guarded<bm_bitwise>);
  reg(vm, bm, "bitwiseInplace", guarded<bm_bitwise_inplace>);
  reg(vm, bm, "inverse", guarded<bm_unary<&BitMap::inverse>>);
  reg(vm, bm, "erode", guarded<bm_unary<&BitMap::erode>>);
  reg(vm, bm, "expand", guarded<bm_unary<&BitMap::expand>>);
  reg(vm, bm, "randomPixel", guarded<bm_random_pixel>);
  reg(vm, bm, "randomFill", guarded<bm_random_fill>);
  reg(vm, bm, "randomExpand", guarded<bm_random_expand>);
  reg(vm, bm, "placePoints", guarded<bm_place_points>);
  reg(vm, bm, "placeCircles", guarded<bm_place_circles>);

  SqObject im = sqbind::create_class(vm, "IntMap", nullptr, sqbind::class_tag<IntMap>());
  reg(vm, im, "constructor", guarded<im_ctor>);
  reg(vm, im, "get", guarded<im_get>);
  reg(vm, im, "set", guarded<im_set>);
  reg(vm, im, "_get", guarded<im_meta_get>);
  reg(vm, im, "_set", guarded<im_meta_set>);
  reg(vm, im, "bounds", guarded<im_bounds>);
  reg(vm, im, "testOverlap", guarded<im_test_overlap>);

  reg(vm, root, "fast_skeleton_map", guarded<fn_fast_skeleton_map>);
  reg(vm, root, "make_skeleton_map", guarded<fn_make_skeleton_map>);
  sqbind::register_function(vm, root, "make_map_index", make_map_index);
  sqbind::register_function(vm, root, "map_index_x", map_index_x);
  sqbind::register_function(vm, root, "map_index_z", map_index_z);

  reg(vm, root, "apply_height_mask", guarded<fn_apply_height_mask>);
  reg(vm, root, "apply_water_mask", guarded<fn_apply_water_mask>);
  reg(vm, root, "repaint_land", guarded<fn_repaint_land>);
  reg(vm, root, "recolor_by_height", guarded<fn_recolor_by_height>);
  reg(vm, root, "recolor_land4", guarded<fn_recolor_land4>);
}
