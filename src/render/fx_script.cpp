// The effects script VM: "test/fx.nut" in its own reloadable VM, the
// natives it sees ("add_blend_particle", "add_glow_particle" with a table of
// properties, besides vec4f, ColorRamp, FloatRamp and the random functions)
// and `call_fx_script`, through which game code runs a named effect.
//
// Script ramps given to particles are kept alive by the particles (one VM
// reference each until the particle dies): a ramp made inside an effect
// function is freed when the function returns otherwise.
#include <cstring>
#include <string>
#include <type_traits>

#include "core/log.h"
#include "render/effects_local.h"
#include "script/sqMath.h"
#include "script/sqVMReload.h"
#include "script/sqbind.h"

namespace {

constexpr const char* FX_SCRIPT = "test/fx.nut";

class FxVM : public SqReloadableVM {
public:
  bool registerFunctions() override;
};

struct FxScript {
  FxVM vm;
  SqFunc<void> update_fx; // bound for scripts that define it; the host never calls it
};
FxScript fx;

void show_fx_error(const char* text) {
  std::string msg = "Error in fx script:\n";
  msg += text;
  set_error_message(msg.c_str());
}

// {===== Reading the properties table

struct PropReader {
  HSQUIRRELVM v;
  SQInteger table; // absolute stack index
  const char* fn;

  // Pushes the slot `key`; false (nothing pushed) when the table lacks it or it is null.
  bool push(const char* key) const {
    sq_pushstring(v, key, -1);
    if (SQ_FAILED(sq_get(v, table))) {
      sq_reseterror(v);
      return false;
    }
    if (sq_gettype(v, -1) == OT_NULL) {
      sq_poptop(v);
      return false;
    }
    return true;
  }
  [[noreturn]] void bad(const char* key, const char* what) const {
    char text[200];
    snprintf(text, sizeof text, "%s: property '%s' must be %s", fn, key, what);
    throw SquirrelError(text);
  }
  float number(const char* key, float def) const {
    if (!push(key)) return def;
    SQFloat f = 0;
    SQObjectType t = sq_gettype(v, -1);
    bool ok = (t == OT_INTEGER || t == OT_FLOAT) && SQ_SUCCEEDED(sq_getfloat(v, -1, &f));
    sq_poptop(v);
    if (!ok) bad(key, "a number");
    return f;
  }
  Vec4f vector(const char* key) const {
    if (!push(key)) return Vec4f{0, 0, 0, 0};
    try {
      Vec4f r = script_get_vec4f(v, -1, false);
      sq_poptop(v);
      return r;
    } catch (const SquirrelError&) {
      sq_poptop(v);
      bad(key, "a vector");
    }
  }
  D3dColor color(const char* key) const {
    if (!push(key)) return 0xFFFFFFFF;
    if (sq_gettype(v, -1) == OT_INTEGER) {
      SQInteger i = 0;
      sq_getinteger(v, -1, &i);
      sq_poptop(v);
      return (D3dColor)(uint32_t)i;
    }
    try {
      Vec4f c = script_get_vec4f(v, -1, false);
      sq_poptop(v);
      return vec4f_to_d3d_color(c);
    } catch (const SquirrelError&) {
      sq_poptop(v);
      bad(key, "an integer ARGB or a colour vector");
    }
  }
  // The native ramp of a ColorRamp / FloatRamp instance and its script object.
  template <class R>
  const decltype(R::ramp)* ramp(const char* key, SQInstance*& inst) const {
    inst = nullptr;
    if (!push(key)) return nullptr;
    SQUserPointer p = nullptr;
    if (sq_gettype(v, -1) != OT_INSTANCE || SQ_FAILED(sq_getinstanceup(v, -1, &p, sqbind::class_tag<R>())) || !p) {
      sq_reseterror(v);
      sq_poptop(v);
      bad(key, std::is_same_v<R, SqColorRamp> ? "a ColorRamp" : "a FloatRamp");
    }
    HSQOBJECT h;
    sq_getstackobj(v, -1, &h);
    inst = h._unVal.pInstance;
    sq_poptop(v);
    return &((R*)p)->ramp;
  }
};

// add_blend_particle(pos, vel, properties) / add_glow_particle(...)
template <int KIND>
SQInteger script_add_particle(HSQUIRRELVM v) {
  const char* fn = KIND == FX_BLEND ? "add_blend_particle" : "add_glow_particle";
  try {
    if (sq_gettop(v) < 4) throw SquirrelError("wrong number of parameters");
    Vec4f pos = script_get_vec4f(v, 2, false), vel = script_get_vec4f(v, 3, false);
    if (sq_gettype(v, 4) != OT_TABLE) {
      char text[120];
      snprintf(text, sizeof text, "%s: the properties must be a table", fn);
      throw SquirrelError(text);
    }
    PropReader r{v, 4, fn};
    SQInstance* held[3];
    const ColorRamp* cr = r.ramp<SqColorRamp>("colorAnim", held[0]);
    const FloatRamp* sr = r.ramp<SqFloatRamp>("sizeAnim", held[1]);
    const FloatRamp* rr = r.ramp<SqFloatRamp>("rollAnim", held[2]);
    add_particle(KIND, pos, vel, r.vector("accel"), r.number("life", 1), r.number("delay", 0), r.number("size", 1),
                 r.color("color"), r.number("mapU", 0), r.number("mapV", 0), r.number("mapSize", 64),
                 r.number("startRoll", 0), r.number("rollScale", 0), cr, sr, rr, held);
    return 0;
  } catch (const SquirrelError& e) {
    return sq_throwerror(v, e.what());
  }
}

bool FxVM::registerFunctions() {
  if (!SqReloadableVM::registerFunctions()) return false;
  register_script_math(vm);
  SqObject root = sqbind::root_table(vm);
  sqbind::register_raw(vm, root, "add_blend_particle", script_add_particle<FX_BLEND>);
  sqbind::register_raw(vm, root, "add_glow_particle", script_add_particle<FX_GLOW>);
  return true;
}

bool run_fx_script(bool reload) {
  fx.update_fx.reset();
  sq_reseterror(fx.vm.vm);
  bool ok = reload ? fx.vm.reloadScripts(true) : fx.vm.include(FX_SCRIPT);
  fx.update_fx.bindMember(sqbind::root_table(fx.vm.vm), "update_fx");
  return ok;
}

} // namespace

void fx_hold_ramp(SQInstance* inst) {
  if (!fx.vm.vm) return;
  HSQOBJECT o;
  o._type = OT_INSTANCE;
  o._unVal.pInstance = inst;
  sq_addref(fx.vm.vm, &o);
}

void fx_release_ramp(SQInstance* inst) {
  if (!fx.vm.vm) return;
  HSQOBJECT o;
  o._type = OT_INSTANCE;
  o._unVal.pInstance = inst;
  sq_release(fx.vm.vm, &o);
}

bool fx_script_init() {
  if (!fx.vm.init(1024)) return false;
  if (!run_fx_script(false)) {
    SquirrelError e(fx.vm.vm);
    show_fx_error(e.what());
  }
  return true;
}

void fx_script_close() {
  fx.update_fx.reset();
  fx.vm.close();
  fx.vm.files.clear();
}

void reload_fx_script() {
  if (!common_fx_ready() || !fx.vm.vm || !fx.vm.needsReload()) return;
  set_error_message(nullptr);
  reset_common_fx();
  if (!run_fx_script(true)) {
    SquirrelError e(fx.vm.vm);
    show_fx_error(e.what());
  }
}

void call_fx_script(const char* name, const Vec4f& a, const Vec4f& b, const Vec4f& c, float f) {
  HSQUIRRELVM v = fx.vm.vm;
  if (!common_fx_ready() || !v || !name) return;
  const SQInteger top = sq_gettop(v);
  sq_pushroottable(v);
  sq_pushstring(v, name, -1);
  SQObjectType t = OT_NULL;
  if (SQ_SUCCEEDED(sq_rawget(v, -2))) t = sq_gettype(v, -1);
  if (t != OT_CLOSURE && t != OT_NATIVECLOSURE) {
    sq_reseterror(v);
    sq_settop(v, top);
    char text[300];
    snprintf(text, sizeof text, "No '%.200s' function in script", name);
    show_fx_error(text);
    return;
  }
  sq_pushroottable(v);
  try {
    script_push_vec4f(v, a);
    script_push_vec4f(v, b);
    script_push_vec4f(v, c);
  } catch (const SquirrelError& e) {
    sq_settop(v, top);
    show_fx_error(e.what());
    return;
  }
  sq_pushfloat(v, f);
  if (SQ_FAILED(sq_call(v, 5, SQFalse, SQTrue))) {
    SquirrelError e(v);
    sq_settop(v, top);
    show_fx_error(e.what());
    return;
  }
  sq_settop(v, top);
}
