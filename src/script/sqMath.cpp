// The script class vec4f, the global vector functions and the random
// functions on the game random generator.
#include "script/sqMath.h"

#include <cmath>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "core/platform.h"
#include "core/game_rnd.h"
#include "script/sqbind.h"

// {===== Conversions

static SQInteger vec4f_release(SQUserPointer p, SQInteger) {
  delete (SqVec4f*)p;
  return 1;
}

void script_push_vec4f(HSQUIRRELVM vm, const Vec4f& v) {
  SqVec4f* obj = new SqVec4f{v};
  try {
    sqbind::push_instance(vm, obj, sqbind::class_tag<SqVec4f>(), "vec4f", vec4f_release);
  } catch (...) {
    delete obj;
    throw;
  }
}

Vec4f script_get_vec4f(HSQUIRRELVM vm, SQInteger idx, bool color) {
  switch (sq_gettype(vm, idx)) {
  case OT_INTEGER:
    if (color) {
      SQInteger c = 0;
      sq_getinteger(vm, idx, &c);
      return d3d_color_to_vec4f((D3dColor)c);
    }
    [[fallthrough]];
  case OT_FLOAT: {
    float f = sqbind::Value<float>::get(vm, idx);
    return Vec4f{f, f, f, f};
  }
  case OT_ARRAY: {
    if (sq_getsize(vm, idx) < 4) throw SquirrelError("vec4f: the array has fewer than 4 elements");
    Vec4f r;
    for (int i = 0; i < 4; i++) {
      sq_pushinteger(vm, i);
      sq_rawget(vm, idx < 0 ? idx - 1 : idx);
      SQFloat f = 0;
      bool ok = SQ_SUCCEEDED(sq_getfloat(vm, -1, &f));
      sq_poptop(vm);
      if (!ok) sqbind::throw_type_error();
      r[i] = f;
    }
    return r;
  }
  default: return sqbind::getInst<SqVec4f>(vm, idx)->v;
  }
}

// Runs a raw native body and turns a SquirrelError into a script error.
template <class F>
static SQInteger guarded(HSQUIRRELVM v, F&& body) {
  try {
    return body();
  } catch (const SquirrelError& e) {
    return sq_throwerror(v, e.what());
  }
}

static SQInteger push_vec(HSQUIRRELVM v, const Vec4f& r) {
  script_push_vec4f(v, r);
  return 1;
}

// The constructor rule: four arguments, or the first one in all four components.
static Vec4f vec_from_args(HSQUIRRELVM v) {
  SQInteger n = sq_gettop(v) - 1;
  if (n == 4)
    return Vec4f{sqbind::Value<float>::get(v, 2), sqbind::Value<float>::get(v, 3), sqbind::Value<float>::get(v, 4),
                 sqbind::Value<float>::get(v, 5)};
  if (n <= 0) return Vec4f{0, 0, 0, 0};
  float f = sqbind::Value<float>::get(v, 2);
  return Vec4f{f, f, f, f};
}

// {===== Class vec4f

static SQInteger vec4f_ctor(HSQUIRRELVM v) {
  return guarded(v, [v] {
    sqbind::adopt_instance(new SqVec4f{vec_from_args(v)}, v, vec4f_release);
    return SQInteger(0);
  });
}

static SqVec4f* self_vec(HSQUIRRELVM v) {
  SQUserPointer p = nullptr;
  if (SQ_FAILED(sq_getinstanceup(v, 1, &p, sqbind::class_tag<SqVec4f>())) || !p)
    throw SquirrelError("invalid 'this' in C++ method call");
  return (SqVec4f*)p;
}

static int vec_index(HSQUIRRELVM v) {
  SQInteger i = -1;
  if (sq_gettype(v, 2) != OT_INTEGER || SQ_FAILED(sq_getinteger(v, 2, &i)) || i < 0 || i > 3)
    throw SquirrelError("vec4f index out of range");
  return i;
}

static SQInteger vec4f_get(HSQUIRRELVM v) {
  return guarded(v, [v] {
    SqVec4f* self = self_vec(v);
    sq_pushfloat(v, self->v[vec_index(v)]);
    return SQInteger(1);
  });
}

static SQInteger vec4f_set(HSQUIRRELVM v) {
  return guarded(v, [v] {
    SqVec4f* self = self_vec(v);
    int i = vec_index(v);
    self->v[i] = sqbind::Value<float>::get(v, 3);
    return SQInteger(0);
  });
}

template <class Op>
static SQInteger vec4f_binary(HSQUIRRELVM v, Op op) {
  return guarded(v, [v, op] {
    Vec4f a = self_vec(v)->v;
    Vec4f b = script_get_vec4f(v, 2, false);
    return push_vec(v, Vec4f{op(a.x, b.x), op(a.y, b.y), op(a.z, b.z), op(a.w, b.w)});
  });
}

static SQInteger vec4f_add(HSQUIRRELVM v) { return vec4f_binary(v, [](float a, float b) { return a + b; }); }
static SQInteger vec4f_sub(HSQUIRRELVM v) { return vec4f_binary(v, [](float a, float b) { return a - b; }); }
static SQInteger vec4f_mul(HSQUIRRELVM v) { return vec4f_binary(v, [](float a, float b) { return a * b; }); }
static SQInteger vec4f_div(HSQUIRRELVM v) { return vec4f_binary(v, [](float a, float b) { return a / b; }); }

static SQInteger vec4f_unm(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f a = self_vec(v)->v;
    return push_vec(v, Vec4f{-a.x, -a.y, -a.z, -a.w});
  });
}

static SQInteger vec4f_cmp(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f a = self_vec(v)->v;
    Vec4f b = script_get_vec4f(v, 2, false);
    int r = -1;
    if (a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w)
      r = 0;
    else if (a.x > b.x && a.y > b.y && a.z > b.z && a.w > b.w)
      r = 1;
    sq_pushinteger(v, r);
    return SQInteger(1);
  });
}

// {===== Global vector functions

static Vec4f arg_vec(HSQUIRRELVM v, int n) { return script_get_vec4f(v, n + 1, false); }

static SQInteger fn_make4f(HSQUIRRELVM v) {
  return guarded(v, [v] { return push_vec(v, vec_from_args(v)); });
}

static SQInteger fn_cross(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f a = arg_vec(v, 1), b = arg_vec(v, 2);
    return push_vec(v, Vec4f{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0});
  });
}

static SQInteger fn_dot3(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f a = arg_vec(v, 1), b = arg_vec(v, 2);
    float d = a.x * b.x + a.y * b.y + a.z * b.z;
    return push_vec(v, Vec4f{d, d, d, d});
  });
}

static float len_sq3(const Vec4f& a) { return a.x * a.x + a.y * a.y + a.z * a.z; }

static SQInteger fn_len3(HSQUIRRELVM v) {
  return guarded(v, [v] {
    float l = sqrtf(len_sq3(arg_vec(v, 1)));
    return push_vec(v, Vec4f{l, l, l, l});
  });
}

static SQInteger fn_len3sq(HSQUIRRELVM v) {
  return guarded(v, [v] {
    float l = len_sq3(arg_vec(v, 1));
    return push_vec(v, Vec4f{l, l, l, l});
  });
}

static SQInteger fn_norm3(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f a = arg_vec(v, 1);
    float l = sqrtf(len_sq3(a));
    if (l == 0) return push_vec(v, Vec4f{0, 0, 0, 0});
    return push_vec(v, Vec4f{a.x / l, a.y / l, a.z / l, a.w / l});
  });
}

// The fast approximate reciprocal square root (about 12 bits).
static float rsqrt_estimate(float x) {
#if defined(__SSE__)
  return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
#else
  return 1.0f / sqrtf(x);
#endif
}

static SQInteger fn_norm3a(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f a = arg_vec(v, 1);
    float k = rsqrt_estimate(len_sq3(a));
    return push_vec(v, Vec4f{a.x * k, a.y * k, a.z * k, a.w * k});
  });
}

template <int C>
static SQInteger fn_get_component(HSQUIRRELVM v) {
  return guarded(v, [v] {
    sq_pushfloat(v, arg_vec(v, 1)[C]);
    return SQInteger(1);
  });
}

static const float two_pi = 6.28318530717958647692f;

static SQInteger fn_make_dir_xz(HSQUIRRELVM v) {
  return guarded(v, [v] {
    float t = sqbind::Value<float>::get(v, 2) * two_pi;
    return push_vec(v, Vec4f{cosf(t), 0, sinf(t), 0});
  });
}

static SQInteger fn_make_dir_2d(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f a = sqbind::getInst<SqVec4f>(v, 2)->v;
    Vec4f b = sqbind::getInst<SqVec4f>(v, 3)->v;
    float t = sqbind::Value<float>::get(v, 4) * two_pi;
    float c = cosf(t), s = sinf(t);
    return push_vec(v, Vec4f{a.x * c + b.x * s, a.y * c + b.y * s, a.z * c + b.z * s, a.w * c + b.w * s});
  });
}

static SQInteger fn_round(HSQUIRRELVM v) {
  return guarded(v, [v] {
    // The default rounding mode rounds halves to even.
    sq_pushinteger(v, (SQInteger)lrintf(sqbind::Value<float>::get(v, 2)));
    return SQInteger(1);
  });
}

// Into (-128, 128] modulo 256; integers stay integers.
static SQInteger fn_wrap(HSQUIRRELVM v) {
  return guarded(v, [v] {
    if (sq_gettype(v, 2) == OT_INTEGER) {
      SQInteger x = sqbind::Value<int>::get(v, 2);
      long long r = ((long long)x + 127) % 256;
      if (r < 0) r += 256;
      sq_pushinteger(v, (SQInteger)(r - 127));
    } else {
      float x = sqbind::Value<float>::get(v, 2);
      sq_pushfloat(v, x - 256.0f * ceilf((x - 128.0f) / 256.0f));
    }
    return SQInteger(1);
  });
}

void register_script_vec4f(HSQUIRRELVM vm) {
  SqObject cls = sqbind::create_class(vm, "vec4f", nullptr, sqbind::class_tag<SqVec4f>());
  sqbind::register_raw(vm, cls, "constructor", vec4f_ctor);
  sqbind::register_raw(vm, cls, "_get", vec4f_get);
  sqbind::register_raw(vm, cls, "_set", vec4f_set);
  sqbind::register_raw(vm, cls, "_add", vec4f_add);
  sqbind::register_raw(vm, cls, "_sub", vec4f_sub);
  sqbind::register_raw(vm, cls, "_mul", vec4f_mul);
  sqbind::register_raw(vm, cls, "_div", vec4f_div);
  sqbind::register_raw(vm, cls, "_unm", vec4f_unm);
  sqbind::register_raw(vm, cls, "_cmp", vec4f_cmp);

  SqObject root = sqbind::root_table(vm);
  sqbind::register_raw(vm, root, "make4f", fn_make4f);
  sqbind::register_raw(vm, root, "cross", fn_cross);
  sqbind::register_raw(vm, root, "dot3", fn_dot3);
  sqbind::register_raw(vm, root, "len3", fn_len3);
  sqbind::register_raw(vm, root, "len3Sq", fn_len3sq);
  sqbind::register_raw(vm, root, "norm3", fn_norm3);
  sqbind::register_raw(vm, root, "norm3a", fn_norm3a);
  sqbind::register_raw(vm, root, "getx", fn_get_component<0>);
  sqbind::register_raw(vm, root, "gety", fn_get_component<1>);
  sqbind::register_raw(vm, root, "getz", fn_get_component<2>);
  sqbind::register_raw(vm, root, "make_dir_xz", fn_make_dir_xz);
  sqbind::register_raw(vm, root, "make_dir_2d", fn_make_dir_2d);
  sqbind::register_raw(vm, root, "round", fn_round);
  sqbind::register_raw(vm, root, "wrap", fn_wrap);
}

// {===== Random functions

static int rnd_hmrnd() { return game_rnd_hmrnd(); }
static float rnd_hmfrnd() { return game_rnd_hmfrnd(); }
static float rnd_hmsrnd() { return game_rnd_hmsrnd(); }
static int rnd_irnd() { return game_rnd_irnd(); }
static float rnd_frnd() { return game_rnd_frnd(); }
static float rnd_srnd() { return game_rnd_srnd(); }
static float rnd_rndf(float a, float b) { return game_rnd_rndf(a, b); }
static int rnd_rndi(int a, int b) { return game_rnd_rndi(a, b); }
static void rnd_set_seed(int n) { game_rnd_set_seed(n); }
static void rnd_randomize() { game_rnd_seed = (uint64_t)get_ref_time(); }

void register_script_random(HSQUIRRELVM vm) {
  SqObject root = sqbind::root_table(vm);
  sqbind::register_function(vm, root, "hmrnd", rnd_hmrnd);
  sqbind::register_function(vm, root, "hmfrnd", rnd_hmfrnd);
  sqbind::register_function(vm, root, "hmsrnd", rnd_hmsrnd);
  sqbind::register_function(vm, root, "irnd", rnd_irnd);
  sqbind::register_function(vm, root, "frnd", rnd_frnd);
  sqbind::register_function(vm, root, "srnd", rnd_srnd);
  sqbind::register_function(vm, root, "rndf", rnd_rndf);
  sqbind::register_function(vm, root, "rndi", rnd_rndi);
  sqbind::register_function(vm, root, "set_rnd_seed", rnd_set_seed);
  sqbind::register_function(vm, root, "randomize_rnd_seed", rnd_randomize);
}

void register_script_math(HSQUIRRELVM vm) {
  register_script_vec4f(vm);
  register_script_colors(vm);
  register_script_random(vm);
}
