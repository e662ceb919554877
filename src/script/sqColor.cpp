// Colour conversions (HSV, LCh), the script colour functions and the ramp
// classes ColorRamp and FloatRamp.
#include <cmath>

#include "core/log.h"
#include "script/sqMath.h"
#include "script/sqbind.h"

// {===== Conversions

Vec4f hsv2rgba(float h, float s, float v, float a) {
  if (s == 0) return Vec4f{v, v, v, a};
  float hh = h / 360.0f;
  hh = (hh - floorf(hh)) * 6.0f;
  // frac() of a value just below a whole turn can round up to 1: that is 0
  // degrees, as is a hue that is not a finite number.
  if (!(hh >= 0.0f && hh < 6.0f)) hh = 0.0f;
  int i = (int)hh;
  float f = hh - (float)i;
  float p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  switch (i) {
  case 0: return Vec4f{v, t, p, a};
  case 1: return Vec4f{q, v, p, a};
  case 2: return Vec4f{p, v, t, a};
  case 3: return Vec4f{p, q, v, a};
  case 4: return Vec4f{t, p, v, a};
  default: return Vec4f{v, p, q, a};
  }
}

Vec4f rgb2hsv(Vec4f c) {
  float mx = fmaxf(c.x, fmaxf(c.y, c.z));
  float mn = fminf(c.x, fminf(c.y, c.z));
  if (mx <= 0) return Vec4f{0, 0, 0, 0};
  if (mx == mn) return Vec4f{0, 0, mx, 0};
  float d = mx - mn, h;
  if (c.x == mx) {
    h = 60.0f * (c.y - c.z) / d;
    if (h < 0) h += 360.0f;
  } else if (c.y == mx) {
    h = 60.0f * (c.z - c.x) / d + 120.0f;
  } else {
    h = 60.0f * (c.x - c.y) / d + 240.0f;
  }
  return Vec4f{h, d / mx, mx, 0};
}

static float lab_f_inv(float f) {
  float f3 = f * f * f;
  return f3 > 0.008856f ? f3 : (f - 16.0f / 116.0f) / 7.787f;
}

static float srgb_gamma(float c) { return c > 0.0031308f ? 1.055f * powf(c, 1.0f / 2.4f) - 0.055f : 12.92f * c; }

Vec4f lch2rgba(float L, float C, float h, float alpha) {
  float hr = h * (3.14159265358979323846f / 180.0f);
  float a = C * cosf(hr), b = C * sinf(hr);
  float fy = (L + 16.0f) / 116.0f;
  float fx = fy + a / 500.0f, fz = fy - b / 200.0f;
  float X = lab_f_inv(fx) * 95.047f * 0.01f;
  float Y = lab_f_inv(fy) * 100.0f * 0.01f;
  float Z = lab_f_inv(fz) * 108.883f * 0.01f;
  float R = 3.2406f * X - 1.5372f * Y - 0.4986f * Z;
  float G = -0.9689f * X + 1.8758f * Y + 0.0415f * Z;
  float B = 0.0557f * X - 0.2040f * Y + 1.0570f * Z;
  return Vec4f{srgb_gamma(R), srgb_gamma(G), srgb_gamma(B), alpha};
}

// {===== Script colour functions

template <class F>
static SQInteger guarded(HSQUIRRELVM v, F&& body) {
  try {
    return body();
  } catch (const SquirrelError& e) {
    return sq_throwerror(v, e.what());
  }
}

static float farg(HSQUIRRELVM v, int n) { return sqbind::Value<float>::get(v, n + 1); }
static Vec4f carg(HSQUIRRELVM v, int n) { return script_get_vec4f(v, n + 1, true); }

static SQInteger push_vec(HSQUIRRELVM v, const Vec4f& r) {
  script_push_vec4f(v, r);
  return 1;
}

static SQInteger fn_hsv2rgba(HSQUIRRELVM v) {
  return guarded(v, [v] { return push_vec(v, hsv2rgba(farg(v, 1), farg(v, 2), farg(v, 3), farg(v, 4))); });
}

static SQInteger fn_lch2rgba(HSQUIRRELVM v) {
  return guarded(v, [v] { return push_vec(v, lch2rgba(farg(v, 1), farg(v, 2), farg(v, 3), farg(v, 4))); });
}

static Vec4f madd(Vec4f acc, const Vec4f& c, float w) {
  for (int i = 0; i < 4; i++) acc[i] += c[i] * w;
  return acc;
}

static SQInteger fn_lerpcolor(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f a = carg(v, 1), b = carg(v, 2);
    float t = farg(v, 3);
    Vec4f r;
    for (int i = 0; i < 4; i++) r[i] = a[i] + (b[i] - a[i]) * t;
    return push_vec(v, r);
  });
}

template <int N>
static SQInteger fn_mix_colors(HSQUIRRELVM v) {
  return guarded(v, [v] {
    Vec4f r{0, 0, 0, 0};
    for (int i = 0; i < N; i++) r = madd(r, carg(v, 2 * i + 1), farg(v, 2 * i + 2));
    return push_vec(v, r);
  });
}

static SQInteger fn_tocolor(HSQUIRRELVM v) {
  return guarded(v, [v] {
    if (sq_gettype(v, 2) == OT_INTEGER) {
      sq_push(v, 2);
      return SQInteger(1);
    }
    sq_pushinteger(v, (SQInteger)vec4f_to_d3d_color(carg(v, 1)));
    return SQInteger(1);
  });
}

// {===== Ramps

static SQInteger color_ramp_release(SQUserPointer p, SQInteger) {
  delete (SqColorRamp*)p;
  return 1;
}
static SQInteger float_ramp_release(SQUserPointer p, SQInteger) {
  delete (SqFloatRamp*)p;
  return 1;
}

static void push_ramp(HSQUIRRELVM v, SqColorRamp* r) {
  try {
    sqbind::push_instance(v, r, sqbind::class_tag<SqColorRamp>(), "ColorRamp", color_ramp_release);
  } catch (...) {
    delete r;
    throw;
  }
}
static void push_ramp(HSQUIRRELVM v, SqFloatRamp* r) {
  try {
    sqbind::push_instance(v, r, sqbind::class_tag<SqFloatRamp>(), "FloatRamp", float_ramp_release);
  } catch (...) {
    delete r;
    throw;
  }
}

// Entry i of a ramp from the value at stack index `idx`.
static void set_entry(HSQUIRRELVM v, SqColorRamp* r, int i, SQInteger idx) {
  r->ramp.entry[i] = script_get_vec4f(v, idx, true);
}
static void set_entry(HSQUIRRELVM v, SqFloatRamp* r, int i, SQInteger idx) {
  r->ramp.entry[i] = sqbind::Value<float>::get(v, idx);
}

static float smoothstep_s(float s) { return s * s * (3 - 2 * s); }

// The "fadeInOut" blend factor towards the next key for entry t: which pair
// (0: a->b, 1: b->c, -1: just b) and how far.
static int fade_segment(float t, float fade_in, float fade_out, float& s) {
  if (t < fade_in) {
    s = smoothstep_s(t / fade_in);
    return 0;
  }
  if (t > 1 - fade_out) {
    s = smoothstep_s((t - (1 - fade_out)) / fade_out);
    return 1;
  }
  s = 0;
  return -1;
}

template <class R>
struct RampOps;

template <>
struct RampOps<SqColorRamp> {
  using Entry = Vec4f;
  static const char* name() { return "ColorRamp"; }
  static Entry arg(HSQUIRRELVM v, SQInteger idx) { return script_get_vec4f(v, idx, true); }
  static Entry lerp(const Entry& a, const Entry& b, float t) {
    Entry r;
    for (int i = 0; i < 4; i++) r[i] = a[i] + (b[i] - a[i]) * t;
    return r;
  }
  static void push(HSQUIRRELVM v, const Entry& e) { script_push_vec4f(v, e); }
};

template <>
struct RampOps<SqFloatRamp> {
  using Entry = float;
  static const char* name() { return "FloatRamp"; }
  static Entry arg(HSQUIRRELVM v, SQInteger idx) { return sqbind::Value<float>::get(v, idx); }
  static Entry lerp(Entry a, Entry b, float t) { return a + (b - a) * t; }
  static void push(HSQUIRRELVM v, Entry e) { sq_pushfloat(v, e); }
};

template <class R>
static R* self_ramp(HSQUIRRELVM v) {
  SQUserPointer p = nullptr;
  if (SQ_FAILED(sq_getinstanceup(v, 1, &p, sqbind::class_tag<R>())) || !p)
    throw SquirrelError("invalid 'this' in C++ method call");
  return (R*)p;
}

// constructor(f): entry i = f(i / 256), called with the root table as `this`.
template <class R>
static SQInteger ramp_ctor(HSQUIRRELVM v) {
  return guarded(v, [v] {
    if (sq_gettop(v) < 2) throw SquirrelError("wrong number of parameters");
    R* r = new R();
    try {
      for (int i = 0; i < 257; i++) {
        SQInteger top = sq_gettop(v);
        sq_push(v, 2);
        sq_pushroottable(v);
        sq_pushfloat(v, (float)i / 256.0f);
        if (SQ_FAILED(sq_call(v, 2, SQTrue, SQTrue))) {
          sq_settop(v, top);
          throw SquirrelError("SqFunc<> call failed");
        }
        try {
          set_entry(v, r, i, -1);
        } catch (...) {
          sq_settop(v, top);
          throw;
        }
        sq_settop(v, top);
      }
      sqbind::init_instance(r, v, std::is_same_v<R, SqColorRamp> ? color_ramp_release : float_ramp_release);
    } catch (...) {
      delete r;
      throw;
    }
    return SQInteger(0);
  });
}

template <class R>
static SQInteger ramp_get(HSQUIRRELVM v) {
  return guarded(v, [v] {
    R* r = self_ramp<R>(v);
    RampOps<R>::push(v, r->ramp.get(sqbind::Value<float>::get(v, 2)));
    return SQInteger(1);
  });
}

static void dump_ramp(const SqColorRamp* r, const char* name) {
  debug_("\nstatic ColorRamp %s=\n{\n ", name);
  for (int i = 0; i < 257; i++) {
    const Vec4f& e = r->ramp.entry[i];
    debug_(" make4f(%g, %g, %g, %g),", e.x, e.y, e.z, e.w);
    if (i % 4 == 3) debug_("\n ");
  }
  debug_("\n};\n");
  fflush(stdout);
}

static void dump_ramp(const SqFloatRamp* r, const char* name) {
  debug_("\nstatic FloatRamp %s=\n{\n ", name);
  for (int i = 0; i < 257; i++) {
    debug_(" %g,", r->ramp.entry[i]);
    if (i % 8 == 7) debug_("\n ");
  }
  debug_("\n};\n");
  fflush(stdout);
}

template <class R>
static SQInteger ramp_dump(HSQUIRRELVM v) {
  return guarded(v, [v] {
    dump_ramp(self_ramp<R>(v), sqbind::Value<const char*>::get(v, 2));
    return SQInteger(0);
  });
}

template <class R>
static SQInteger ramp_const(HSQUIRRELVM v) {
  return guarded(v, [v] {
    auto c = RampOps<R>::arg(v, 2);
    R* r = new R();
    for (auto& e : r->ramp.entry) e = c;
    push_ramp(v, r);
    return SQInteger(1);
  });
}

template <class R>
static SQInteger ramp_linear(HSQUIRRELVM v) {
  return guarded(v, [v] {
    auto a = RampOps<R>::arg(v, 2), b = RampOps<R>::arg(v, 3);
    R* r = new R();
    for (int i = 0; i < 257; i++) r->ramp.entry[i] = RampOps<R>::lerp(a, b, (float)i / 256.0f);
    push_ramp(v, r);
    return SQInteger(1);
  });
}

template <class R>
static SQInteger ramp_fade_in_out(HSQUIRRELVM v) {
  return guarded(v, [v] {
    auto a = RampOps<R>::arg(v, 2), b = RampOps<R>::arg(v, 3), c = RampOps<R>::arg(v, 4);
    float fade_in = sqbind::Value<float>::get(v, 5), fade_out = sqbind::Value<float>::get(v, 6);
    R* r = new R();
    for (int i = 0; i < 257; i++) {
      float s;
      int seg = fade_segment((float)i / 256.0f, fade_in, fade_out, s);
      r->ramp.entry[i] = seg == 0 ? RampOps<R>::lerp(a, b, s) : seg == 1 ? RampOps<R>::lerp(b, c, s) : b;
    }
    push_ramp(v, r);
    return SQInteger(1);
  });
}

template <class R>
static void register_ramp_class(HSQUIRRELVM vm) {
  SqObject cls = sqbind::create_class(vm, RampOps<R>::name(), nullptr, sqbind::class_tag<R>());
  sqbind::register_raw(vm, cls, "constructor", ramp_ctor<R>);
  sqbind::register_raw(vm, cls, "get", ramp_get<R>);
  sqbind::register_raw(vm, cls, "dump", ramp_dump<R>);
  sqbind::register_raw(vm, cls, "constRamp", ramp_const<R>);
  sqbind::register_raw(vm, cls, "linear", ramp_linear<R>);
  sqbind::register_raw(vm, cls, "fadeInOut", ramp_fade_in_out<R>);
}

void register_script_colors(HSQUIRRELVM vm) {
  SqObject root = sqbind::root_table(vm);
  sqbind::register_raw(vm, root, "hsv2rgba", fn_hsv2rgba);
  sqbind::register_raw(vm, root, "lch2rgba", fn_lch2rgba);
  sqbind::register_raw(vm, root, "lerpcolor", fn_lerpcolor);
  sqbind::register_raw(vm, root, "mix3colors", fn_mix_colors<3>);
  sqbind::register_raw(vm, root, "mix4colors", fn_mix_colors<4>);
  sqbind::register_raw(vm, root, "tocolor", fn_tocolor);
  register_ramp_class<SqColorRamp>(vm);
  register_ramp_class<SqFloatRamp>(vm);
}
