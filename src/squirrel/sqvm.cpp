// sqvm.cpp: the interpreter loop.
//
// Script-to-script calls run inside one vm_execute activation (no C recursion); calls
// from C (API, metamethods, natives calling back) start a nested activation whose entry
// frame is marked `root`. Errors are C++ exceptions (SQError) carrying nothing: the value
// is in v->_lasterror. The catch handler of an activation looks for a try block owned by
// one of its frames; otherwise it unwinds its frames and rethrows to the C caller.
#include <sys/resource.h>

#include <cmath>

#include "sqopcodes.h"
#include "sqstate.h"

namespace {
constexpr SQInteger kMaxNested = 5000;

// C stack budget for nested activations (metamethods, natives calling back into scripts):
// a quarter of the stack limit, at most 2 MB, measured from the first activation.
bool cstack_exhausted(SQSharedState *ss) {
  char probe;
  uintptr_t here = (uintptr_t)&probe;
  if (ss->_cstackbase == 0) {
    struct rlimit rl;
    size_t limit = 8u << 20;
    if (getrlimit(RLIMIT_STACK, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < limit)
      limit = (size_t)rl.rlim_cur;
    ss->_cstackbase = here;
    ss->_cstackbudget = limit / 4 < (2u << 20) ? limit / 4 : (2u << 20);
    return false;
  }
  return ss->_cstackbase > here && ss->_cstackbase - here > ss->_cstackbudget;
}

// Slot encoding of member `key` of class k through an instruction's inline cache; -1
// when the class has no such member.
inline SQInteger member_lookup(SQInlineCache &ic, SQClass *k, const SQString *key) {
  if (ic.classid == k->_id) return ic.enc;
  Val *m = k->_members->GetStr(key);
  if (!m) return -1;
  ic.classid = k->_id;
  ic.enc = m->_unVal.nInteger;
  return ic.enc;
}

inline const Val &frame_root(SQVM *v, const SQClosure *cl) {
  return cl->_root._type == OT_TABLE ? cl->_root : v->_roottable;
}
}  // namespace

// ============================================================================
// The interpreter loop
// ============================================================================
static bool foreach_step(SQVM *v, Val *r);

void vm_execute(SQVM *v, SQInteger entry) {
  struct Nest {
    SQVM *v;
    explicit Nest(SQVM *vm) : v(vm) { v->_nestedcalls++; }
    ~Nest() { v->_nestedcalls--; }
  } nest(v);
  if (v->_nestedcalls > kMaxNested || cstack_exhausted(v->_shared)) {
    // Unwind the entry frame we were asked to run before reporting.
    while ((SQInteger)v->_calls.size() > entry) {
      SQCallInfo c = v->_calls.back();
      v->_calls.pop_back();
      vm_close_outers(v, c.base);
      vm_frame_cleanup(v, c);
    }
    vm_raise(v, "stack overflow");
  }
  SQSharedState *ss = v->_shared;
  const SQInstr *ip = nullptr;
  Val *base = nullptr;
  const Val *K = nullptr;
  SQClosure *cl = nullptr;
  const SQInstr *code0 = nullptr;
  SQInlineCache *IC = nullptr;

#define LOADFRAME()                                  \
  do {                                               \
    SQCallInfo &ci_ = v->_calls.back();              \
    cl = ci_.closure;                                \
    ip = ci_.ip;                                     \
    base = v->_stack + ci_.base;                     \
    K = cl->_proto->_literals.data();                \
    code0 = cl->_proto->_code.data();                \
    IC = cl->_proto->_ic.data();                     \
  } while (0)
#define SAVEIP() (v->_calls.back().ip = ip)
  // Dispatch: a computed goto per opcode body (GCC/Clang); `break` in a body also works
  // and goes through the switch.
#define SQ_OP_LABEL(name) &&L_##name,
  static void *const kDispatch[] = {SQ_OPCODES(SQ_OP_LABEL)};
#undef SQ_OP_LABEL
#define DISPATCH()              \
  do {                          \
    i = *ip++;                  \
    goto *kDispatch[i.op];      \
  } while (0)
#define R(n) base[n]

  for (;;) {
    try {
     try {
      LOADFRAME();
      if (v->_pendingthrow) {
        v->_pendingthrow = false;
        throw SQError{};
      }
      for (;;) {
        SQInstr i = *ip++;
        switch (i.op) {
          case OP_LOAD: L_LOAD: R(i.a) = K[i.x]; DISPATCH();
          case OP_LOADINT: L_LOADINT: R(i.a).SetInt(i.x); DISPATCH();
          case OP_LOADFLOAT: L_LOADFLOAT: {
            SQFloat f;
            memcpy(&f, &i.x, 4);
            R(i.a).SetFloat(f);
            DISPATCH();
          }
          case OP_LOADBOOL: L_LOADBOOL: R(i.a).SetBool(i.x != 0); DISPATCH();
          case OP_LOADNULLS: L_LOADNULLS:
            for (int k = 0; k < i.x; k++) R(i.a + k).Null();
            DISPATCH();
          case OP_MOVE: L_MOVE: R(i.a) = R(i.b); DISPATCH();
          case OP_LOADROOT: L_LOADROOT: R(i.a) = frame_root(v, cl); DISPATCH();
          case OP_GETOUTER: L_GETOUTER: R(i.a) = *cl->_outers[i.x]._unVal.pOuter->_valptr; DISPATCH();
          case OP_SETOUTER: L_SETOUTER: *cl->_outers[i.x]._unVal.pOuter->_valptr = R(i.a); DISPATCH();
          case OP_GETK: L_GETK: {
            const Val &obj = R(i.b);
            const Val &key = K[i.x];
            if (obj._type == OT_TABLE) {
              Val *r = obj._unVal.pTable->GetStr(key._unVal.pString);
              if (r) {
                set_real(R(i.a), *r);
                DISPATCH();
              }
            } else if (obj._type == OT_INSTANCE) {
              SQInstance *in = obj._unVal.pInstance;
              SQInteger enc = member_lookup(IC[ip - 1 - code0], in->_class, key._unVal.pString);
              if (enc >= 0) {
                if (enc & MEMBER_FIELD)
                  set_real(R(i.a), in->_values[enc & MEMBER_INDEX_MASK]);
                else
                  set_real(R(i.a), in->_class->_methods[enc & MEMBER_INDEX_MASK].val);
                DISPATCH();
              }
            }
            SAVEIP();
            Val tmp;
            vm_get_or_raise(v, obj, key, tmp, i.c & 1);
            R(i.a) = std::move(tmp);
            break;
          }
          case OP_GET: L_GET: {
            const Val &obj = R(i.b);
            const Val &key = R(i.c);
            if (obj._type == OT_ARRAY && key._type == OT_INTEGER) {
              SQArray *a = obj._unVal.pArray;
              SQInteger idx = key._unVal.nInteger;
              if (idx >= 0 && idx < a->Size()) {
                set_real(R(i.a), a->_vals[idx]);
                DISPATCH();
              }
            } else if (obj._type == OT_TABLE) {
              Val *r = obj._unVal.pTable->Get(key);
              if (r) {
                set_real(R(i.a), *r);
                DISPATCH();
              }
            }
            SAVEIP();
            Val tmp;
            vm_get_or_raise(v, obj, key, tmp, i.x & 1);
            R(i.a) = std::move(tmp);
            break;
          }
          case OP_SETK: L_SETK: {
            const Val &obj = R(i.a);
            const Val &key = K[i.x];
            if (obj._type == OT_TABLE) {
              Val *r = obj._unVal.pTable->GetStr(key._unVal.pString);
              if (r) {
                *r = R(i.c);
                break;
              }
            } else if (obj._type == OT_INSTANCE) {
              SQInstance *in = obj._unVal.pInstance;
              SQInteger enc = member_lookup(IC[ip - 1 - code0], in->_class, key._unVal.pString);
              if (enc >= 0 && (enc & MEMBER_FIELD)) {
                in->_values[enc & MEMBER_INDEX_MASK] = R(i.c);
                break;
              }
            }
            SAVEIP();
            vm_set(v, obj, key, R(i.c), i.b & 1);
            DISPATCH();
          }
          case OP_SET: L_SET: {
            const Val &obj = R(i.a);
            const Val &key = R(i.b);
            if (obj._type == OT_ARRAY && key._type == OT_INTEGER) {
              SQArray *a = obj._unVal.pArray;
              SQInteger idx = key._unVal.nInteger;
              if (idx >= 0 && idx < a->Size()) {
                a->_vals[idx] = R(i.c);
                break;
              }
            } else if (obj._type == OT_TABLE) {
              Val *r = obj._unVal.pTable->Get(key);
              if (r) {
                *r = R(i.c);
                break;
              }
            }
            SAVEIP();
            vm_set(v, obj, key, R(i.c), i.x & 1);
            DISPATCH();
          }
          case OP_NEWSLOT: L_NEWSLOT: {
            const Val &obj = R(i.a);
            if (ss->_memlimit) {
              SAVEIP();
              vm_check_memory(v);
            }
            if (obj._type == OT_TABLE && obj._unVal.pTable->_delegate == nullptr && R(i.b)._type != OT_NULL) {
              obj._unVal.pTable->NewSlot(R(i.b), R(i.c));
              break;
            }
            SAVEIP();
            vm_newslot(v, obj, R(i.b), R(i.c), false);
            DISPATCH();
          }
          case OP_NEWMEMBER: L_NEWMEMBER: {
            SAVEIP();
            int areg = i.x & 0xFF;
            Val attrs;
            if (areg != 0xFF) attrs = R(areg);
            if (R(i.a)._type != OT_CLASS) vm_raise(v, "new member on a non-class");
            vm_newmember(v, R(i.a)._unVal.pClass, R(i.b), R(i.c), attrs, (i.x >> 8) & 1, false);
            break;
          }
          case OP_DELETE: L_DELETE: {
            SAVEIP();
            Val tmp;
            vm_delete(v, R(i.b), R(i.c), tmp);
            R(i.a) = std::move(tmp);
            break;
          }
          case OP_NEWTABLE: L_NEWTABLE: R(i.a) = Val(OT_TABLE, table_new(ss, i.x)); DISPATCH();
          case OP_NEWARRAY: L_NEWARRAY: {
            SQArray *a = array_new(ss, 0);
            a->_vals.reserve((size_t)i.x);
            R(i.a) = Val(OT_ARRAY, a);
            DISPATCH();
          }
          case OP_APPEND: L_APPEND:
            if (ss->_memlimit) {
              SAVEIP();
              vm_check_memory(v);
            }
            R(i.a)._unVal.pArray->_vals.push_back(R(i.b));
            break;

#define ARITH_OP(NAME, IDX, INTEXPR, FLTEXPR)                                     \
  case OP_##NAME: L_##NAME: {                                                    \
    const Val &a = R(i.b), &b = R(i.c);                                          \
    if (a._type == OT_INTEGER && b._type == OT_INTEGER) {                        \
      uint32_t x = (uint32_t)a._unVal.nInteger, y = (uint32_t)b._unVal.nInteger; \
      R(i.a).SetInt((SQInteger)(INTEXPR));                                       \
    } else if (a._type == OT_FLOAT && b._type == OT_FLOAT) {                     \
      SQFloat x = a._unVal.fFloat, y = b._unVal.fFloat;                          \
      R(i.a).SetFloat(FLTEXPR);                                                  \
    } else {                                                                     \
      SAVEIP();                                                                  \
      Val tmp;                                                                   \
      vm_arith(v, IDX, tmp, a, b);                                               \
      R(i.a) = std::move(tmp);                                                   \
    }                                                                            \
    break;                                                                  \
  }
          ARITH_OP(ADD, 0, x + y, x + y)
          ARITH_OP(SUB, 1, x - y, x - y)
          ARITH_OP(MUL, 2, x * y, x * y)
#undef ARITH_OP
          case OP_DIV: L_DIV:
          case OP_MOD: L_MOD: {
            SAVEIP();
            Val tmp;
            vm_arith(v, i.op == OP_DIV ? 3 : 4, tmp, R(i.b), R(i.c));
            R(i.a) = std::move(tmp);
            break;
          }
          case OP_ADDI: L_ADDI: {
            const Val &a = R(i.b);
            if (a._type == OT_INTEGER) {
              R(i.a).SetInt((SQInteger)((uint32_t)a._unVal.nInteger + (uint32_t)i.x));
            } else if (a._type == OT_FLOAT) {
              R(i.a).SetFloat(a._unVal.fFloat + (SQFloat)i.x);
            } else {
              SAVEIP();
              Val tmp;
              Val imm((SQInteger)i.x);
              vm_arith(v, 0, tmp, a, imm);
              R(i.a) = std::move(tmp);
            }
            break;
          }
          case OP_BAND: L_BAND:
          case OP_BOR: L_BOR:
          case OP_BXOR: L_BXOR:
          case OP_SHL: L_SHL:
          case OP_SHR: L_SHR:
          case OP_USHR: L_USHR: {
            const Val &a = R(i.b), &b = R(i.c);
            if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
              uint32_t x = (uint32_t)a._unVal.nInteger, y = (uint32_t)b._unVal.nInteger;
              SQInteger r;
              switch (i.op) {
                case OP_BAND: r = (SQInteger)(x & y); break;
                case OP_BOR: r = (SQInteger)(x | y); break;
                case OP_BXOR: r = (SQInteger)(x ^ y); break;
                case OP_SHL: r = (SQInteger)(x << (y & 31)); break;
                case OP_SHR: r = a._unVal.nInteger >> (y & 31); break;
                default: r = (SQInteger)(x >> (y & 31)); break;
              }
              R(i.a).SetInt(r);
            } else {
              SAVEIP();
              Val tmp;
              vm_bitwise(v, i.op - OP_BAND, tmp, a, b);
              R(i.a) = std::move(tmp);
            }
            break;
          }
          case OP_UNM: L_UNM: {
            SAVEIP();
            Val tmp;
            vm_unm(v, tmp, R(i.b));
            R(i.a) = std::move(tmp);
            break;
          }
          case OP_NOT: L_NOT: R(i.a).SetBool(is_false(R(i.b))); DISPATCH();
          case OP_BNOT: L_BNOT: {
            const Val &a = R(i.b);
            if (a._type != OT_INTEGER) {
              SAVEIP();
              vm_raise(v, "attempt to perform a bitwise op on a %s", type_name(a._type));
            }
            R(i.a).SetInt(~a._unVal.nInteger);
            DISPATCH();
          }
          case OP_EQ: L_EQ:
          case OP_NE: L_NE: {
            const Val &a = R(i.b), &b = R(i.c);
            bool eq = (a._type == b._type && a._type != OT_FLOAT) ? a._unVal.raw == b._unVal.raw : vm_equal(v, a, b);
            R(i.a).SetBool(i.op == OP_EQ ? eq : !eq);
            DISPATCH();
          }
          case OP_LT: L_LT:
          case OP_LE: L_LE:
          case OP_GT: L_GT:
          case OP_GE: L_GE: {
            const Val &a = R(i.b), &b = R(i.c);
            SQInteger c;
            if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
              c = a._unVal.nInteger < b._unVal.nInteger ? -1 : (a._unVal.nInteger > b._unVal.nInteger ? 1 : 0);
            } else {
              SAVEIP();
              c = vm_compare(v, a, b);
            }
            bool r;
            switch (i.op) {
              case OP_LT: r = c < 0; break;
              case OP_LE: r = c <= 0; break;
              case OP_GT: r = c > 0; break;
              default: r = c >= 0; break;
            }
            R(i.a).SetBool(r);
            DISPATCH();
          }
          case OP_CMP3: L_CMP3: {
            SAVEIP();
            SQInteger c = vm_compare(v, R(i.b), R(i.c));
            R(i.a).SetInt(c);
            DISPATCH();
          }
          case OP_JMP: L_JMP:
            if (i.x < 0 && --ss->_stepsleft <= 0) {
              SAVEIP();
              vm_raise_limit(v, "step limit exceeded");
            }
            ip += i.x;
            DISPATCH();
          case OP_JZ: L_JZ:
            if (is_false(R(i.a))) ip += i.x;
            DISPATCH();
          case OP_JNZ: L_JNZ:
            if (i.x < 0 && --ss->_stepsleft <= 0) {
              SAVEIP();
              vm_raise_limit(v, "step limit exceeded");
            }
            if (!is_false(R(i.a))) ip += i.x;
            DISPATCH();
          case OP_JLTF: L_JLTF: {
            const Val &a = R(i.a), &b = R(i.b);
            bool lt;
            if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
              lt = a._unVal.nInteger < b._unVal.nInteger;
            } else {
              SAVEIP();
              lt = vm_compare(v, a, b) < 0;
            }
            if (!lt) ip += i.x;
            DISPATCH();
          }
          case OP_JLT: L_JLT:
          case OP_JLTK: L_JLTK:
          case OP_JLTFK: L_JLTFK: {
            const Val &a = R(i.a);
            const Val &b = i.op == OP_JLT ? R(i.b) : K[i.b];
            bool lt;
            if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
              lt = a._unVal.nInteger < b._unVal.nInteger;
            } else {
              SAVEIP();
              lt = vm_compare(v, a, b) < 0;
            }
            if (lt == (i.op != OP_JLTFK)) {
              if (i.x < 0 && --ss->_stepsleft <= 0) {
                SAVEIP();
                vm_raise_limit(v, "step limit exceeded");
              }
              ip += i.x;
            }
            DISPATCH();
          }
          case OP_PREPCALLK: L_PREPCALLK:
          case OP_PREPCALL: L_PREPCALL: {
            Val obj = R(i.b);
            const Val &key = i.op == OP_PREPCALLK ? K[i.x] : R(i.c);
            bool fallback = i.op == OP_PREPCALLK ? (i.c & 1) : (i.x & 1);
            Val fn;
            bool found = false;
            if (obj._type == OT_INSTANCE && key._type == OT_STRING) {
              SQInstance *in = obj._unVal.pInstance;
              SQInteger enc = i.op == OP_PREPCALLK ? member_lookup(IC[ip - 1 - code0], in->_class, key._unVal.pString)
                                                   : -1;
              if (enc < 0) {
                Val *m = in->_class->_members->GetStr(key._unVal.pString);
                if (m) enc = m->_unVal.nInteger;
              }
              if (enc >= 0) {
                set_real(fn, (enc & MEMBER_FIELD) ? in->_values[enc & MEMBER_INDEX_MASK]
                                                  : in->_class->_methods[enc & MEMBER_INDEX_MASK].val);
                found = true;
              }
            } else if (obj._type == OT_TABLE) {
              Val *r = obj._unVal.pTable->Get(key);
              if (r) {
                set_real(fn, *r);
                found = true;
              }
            }
            if (!found) {
              SAVEIP();
              vm_get_or_raise(v, obj, key, fn, fallback);
            }
            R(i.a + 1) = std::move(obj);
            R(i.a) = std::move(fn);
            break;
          }
          case OP_TAILCALL: L_TAILCALL: {
            if (--ss->_stepsleft <= 0) {
              SAVEIP();
              vm_raise_limit(v, "step limit exceeded");
            }
            const Val &f = R(i.b);
            if (f._type != OT_CLOSURE) {
              // Not a script function: an ordinary call into R[b]; the RETURN the compiler
              // emits after every tail call returns it (and a native may suspend here).
              i.a = i.b;
              goto plain_call;
            }
            SQCallInfo ci = v->_calls.back();
            Val fv = f;
            SQInteger nargs = i.c;
            if (v->_openouters && v->_openouters->_idx >= ci.base) vm_close_outers(v, ci.base);
            vm_pop_traps_of_frame(v, (SQInteger)v->_calls.size() - 1);
            // move function and arguments down over the current frame
            base[-1] = fv;
            for (SQInteger k = 0; k < nargs; k++) base[k] = std::move(base[i.b + 1 + k]);
            for (SQInteger k = v->_top - 1; k >= ci.base + nargs; k--) v->_stack[k].Null();
            v->_top = ci.base + nargs;
            v->_calls.pop_back();
            SQInteger savedtop = ci.top;
            if (vm_start_call(v, fv._unVal.pClosure, ci.base, nargs, ci.target, ci.root)) {
              v->_calls.back().top = savedtop;
              LOADFRAME();
            } else {
              // generator created: behave like a return of it
              for (SQInteger k = v->_top - 1; k >= ci.base; k--) v->_stack[k].Null();
              v->_top = savedtop;
              if (ci.root) return;
              LOADFRAME();
            }
            break;
          }
          case OP_CALL: L_CALL:
          plain_call: {
            if (--ss->_stepsleft <= 0) {
              SAVEIP();
              vm_raise_limit(v, "step limit exceeded");
            }
            const Val &f = R(i.b);
            SQInteger fbase = base - v->_stack;
            SQInteger argbase = fbase + i.b + 1;
            SQInteger target = fbase + i.a;
            SAVEIP();
            switch (f._type) {
              case OT_CLOSURE:
                if (vm_start_call(v, f._unVal.pClosure, argbase, i.c, target, false)) LOADFRAME();
                break;
              case OT_NATIVECLOSURE:
                if (vm_call_native_raw(v, f._unVal.pNativeClosure, argbase, i.c, target)) {
                  if (v == ss->_mainvm || v->_nestedcalls > 1 || v->_state != SQ_VMSTATE_RUNNING)
                    vm_raise(v, (v == ss->_mainvm) ? "cannot suspend the main vm" : "cannot suspend through native calls");
                  v->_state = SQ_VMSTATE_SUSPENDED;
                  v->_suspended_target = target;
                  return;
                }
                break;
              default: {
                Val fv = f;
                Val res;
                std::vector<Val> args((size_t)i.c);
                for (SQInteger k = 0; k < i.c; k++) args[k] = v->_stack[argbase + k];
                if (fv._type == OT_CLASS) {
                  v->Push(fv);
                  for (Val &a : args) v->Push(a);
                  vm_call(v, fv, i.c, res);
                } else {
                  vm_callv(v, fv, args.data(), i.c, res);
                }
                v->_stack[target] = std::move(res);
                break;
              }
            }
            break;
          }
          case OP_RETURN: L_RETURN: {
            SQCallInfo ci = v->_calls.back();
            if (v->_openouters && v->_openouters->_idx >= ci.base) vm_close_outers(v, ci.base);
            Val rv;
            if (i.b) rv = std::move(R(i.a));
            SQInteger frameidx = (SQInteger)v->_calls.size() - 1;
            if (!v->_traps.empty()) vm_pop_traps_of_frame(v, frameidx);
            if (ci.generator) ci.generator->Kill();
            v->_calls.pop_back();
            vm_frame_cleanup(v, ci);
            if (ci.target >= 0) v->_stack[ci.target] = std::move(rv);
            if (ci.root) return;
            LOADFRAME();
            break;
          }
          case OP_CLOSURE: L_CLOSURE: {
            SQFunctionProto *p = cl->_proto->_functions[i.x]._unVal.pFunctionProto;
            SQClosure *nc = new SQClosure(ss, p);
            Val cv(OT_CLOSURE, nc);
            SQInteger fbase = base - v->_stack;
            nc->_outers.resize(p->_outers.size());
            for (size_t k = 0; k < p->_outers.size(); k++) {
              const SQOuterInfo &oi = p->_outers[k];
              if (oi.fromlocal)
                nc->_outers[k] = Val(OT_OUTER, vm_find_outer(v, fbase + oi.index));
              else
                nc->_outers[k] = cl->_outers[oi.index];
            }
            nc->_defaults.resize((size_t)p->_ndefaults);
            for (SQInteger k = 0; k < p->_ndefaults; k++) nc->_defaults[k] = R(i.b + k);
            nc->_root = v->_roottable;
            R(i.a) = std::move(cv);
            break;
          }
          case OP_CLASS: L_CLASS: {
            SAVEIP();
            SQClass *bc = nullptr;
            if (i.b != NOREG) {
              if (R(i.b)._type != OT_CLASS) vm_raise(v, "trying to inherit from a %s", type_name(R(i.b)._type));
              bc = R(i.b)._unVal.pClass;
            }
            SQClass *c = new SQClass(ss, bc);
            Val cv(OT_CLASS, c);
            if (i.c != NOREG) c->_attributes = R(i.c);
            if (bc && bc->_metamethods[MT_INHERITED]._type != OT_NULL) {
              Val res;
              Val fn = bc->_metamethods[MT_INHERITED];
              vm_callargs(v, fn, res, {cv, c->_attributes});
            }
            R(i.a) = std::move(cv);
            break;
          }
          case OP_FOREACH: L_FOREACH: {
            SAVEIP();
            if (!foreach_step(v, &R(i.a))) ip += i.x;
            DISPATCH();
          }
          case OP_TYPEOF: L_TYPEOF: {
            SAVEIP();
            Val tmp;
            vm_typeof(v, R(i.b), tmp);
            R(i.a) = std::move(tmp);
            break;
          }
          case OP_INSTANCEOF: L_INSTANCEOF: {
            SAVEIP();
            bool r = vm_instanceof(v, R(i.b), R(i.c));
            R(i.a).SetBool(r);
            DISPATCH();
          }
          case OP_IN: L_IN: {
            SAVEIP();
            bool r = vm_in(v, R(i.b), R(i.c));
            R(i.a).SetBool(r);
            DISPATCH();
          }
          case OP_CLONE: L_CLONE: {
            SAVEIP();
            Val tmp;
            vm_clone(v, R(i.b), tmp);
            R(i.a) = std::move(tmp);
            break;
          }
          case OP_THROW: L_THROW:
            SAVEIP();
            v->_errorreported = false;
            vm_throw(v, R(i.a));
          case OP_PUSHTRAP: L_PUSHTRAP: {
            SQExceptionTrap t;
            t.stackbase = base - v->_stack;
            t.catchreg = t.stackbase + i.a;
            t.handler = ip + i.x;
            t.ncalls = (SQInteger)v->_calls.size() - 1;
            v->_traps.push_back(t);
            DISPATCH();
          }
          case OP_POPTRAP: L_POPTRAP:
            for (int k = 0; k < i.x; k++) v->_traps.pop_back();
            DISPATCH();
          case OP_CLOSE: L_CLOSE: vm_close_outers(v, (base - v->_stack) + i.a); DISPATCH();
          case OP_YIELD: L_YIELD: {
            SQCallInfo ci = v->_calls.back();
            SQGenerator *g = ci.generator;
            if (!g) {
              SAVEIP();
              vm_raise(v, "yield outside a generator");
            }
            Val rv;
            if (i.b) rv = R(i.a);
            if (i.c != NOREG) R(i.c).Null();
            SQInteger n = cl->_proto->_stacksize;
            g->_stack.resize((size_t)n);
            for (SQInteger k = 0; k < n; k++) g->_stack[k] = std::move(base[k]);
            // Park the frame's open outers in the generator (they keep pointing at the
            // saved registers).
            while (v->_openouters && v->_openouters->_idx >= ci.base) {
              SQOuter *o = v->_openouters;
              v->_openouters = o->_nextopen;
              o->_nextopen = nullptr;
              o->_idx -= ci.base;
              o->_valptr = &g->_stack[o->_idx];
              o->_vm = nullptr;
              g->_outers.push_back(o);
            }
            g->_ip = ip;
            SQInteger frameidx = (SQInteger)v->_calls.size() - 1;
            size_t firsttrap = v->_traps.size();
            while (firsttrap > 0 && v->_traps[firsttrap - 1].ncalls >= frameidx) firsttrap--;
            for (size_t k = firsttrap; k < v->_traps.size(); k++) {
              SQExceptionTrap t = v->_traps[k];
              t.stackbase -= ci.base;
              t.catchreg -= ci.base;
              g->_traps.push_back(t);
            }
            v->_traps.resize(firsttrap);
            g->_state = GEN_SUSPENDED;
            v->_calls.pop_back();
            vm_frame_cleanup(v, ci);
            if (ci.target >= 0) v->_stack[ci.target] = std::move(rv);
            return;
          }
          case OP_RESUME: L_RESUME: {
            SAVEIP();
            const Val &g = R(i.b);
            if (g._type != OT_GENERATOR)
              vm_raise(v, "trying to resume a '%s',only genenerator can be resumed", type_name(g._type));
            Val gv = g;
            Val tmp;
            vm_resume_generator(v, gv._unVal.pGenerator, tmp);
            R(i.a) = std::move(tmp);
            break;
          }
          case OP_GETBASE: L_GETBASE:
            if (cl->_base)
              R(i.a) = Val(OT_CLASS, cl->_base);
            else
              R(i.a).Null();
            DISPATCH();
          default:
            SAVEIP();
            vm_raise(v, "invalid instruction");
        }
        // Bodies that own objects end with `break` (a computed goto would skip their
        // destructors) and dispatch here.
        DISPATCH();
      }
     } catch (std::bad_alloc &) {
      // A failed allocation (huge array, table or string) is a script error.
      vm_raise(v, "out of memory");
     }
    } catch (SQError &) {
      // Find a try block owned by a frame of this activation.
      if (!v->_limithit && !v->_traps.empty() && v->_traps.back().ncalls >= entry) {
        SQExceptionTrap t = v->_traps.back();
        v->_traps.pop_back();
        while ((SQInteger)v->_calls.size() - 1 > t.ncalls) {
          SQCallInfo c = v->_calls.back();
          v->_calls.pop_back();
          vm_close_outers(v, c.base);
          if (c.generator) c.generator->Kill();
          vm_frame_cleanup(v, c);
        }
        SQCallInfo &owner = v->_calls.back();
        SQInteger top = owner.base + owner.closure->_proto->_stacksize;
        for (SQInteger k = v->_top - 1; k >= top; k--) v->_stack[k].Null();
        v->_top = top;
        v->_stack[t.catchreg] = v->_lasterror;
        owner.ip = t.handler;
        continue;
      }
      if (v->_raiseerror && vm_error_to_report(v)) vm_report_error(v);
      while ((SQInteger)v->_calls.size() > entry) {
        SQCallInfo c = v->_calls.back();
        v->_calls.pop_back();
        vm_close_outers(v, c.base);
        if (c.generator) c.generator->Kill();
        vm_frame_cleanup(v, c);
      }
      throw;
    }
  }
#undef LOADFRAME
#undef SAVEIP
#undef DISPATCH
#undef R
}

// ============================================================================
// foreach
// ============================================================================
// r[0] container, r[1] iterator, r[2] key, r[3] value. Returns false at the end.
static bool foreach_step(SQVM *v, Val *r) {
  Val &c = r[0];
  Val &it = r[1];
  switch (c._type) {
    case OT_TABLE: {
      SQTable *t = c._unVal.pTable;
      SQInteger idx = it._type == OT_INTEGER ? it._unVal.nInteger : -1;
      SQInteger n = t->Next(idx);
      if (n < 0) return false;
      it.SetInt(n);
      r[2] = t->_nodes[n].Key();
      set_real(r[3], t->_nodes[n].val);
      return true;
    }
    case OT_ARRAY: {
      SQInteger idx = it._type == OT_INTEGER ? it._unVal.nInteger + 1 : 0;
      SQArray *a = c._unVal.pArray;
      if (idx >= a->Size()) return false;
      it.SetInt(idx);
      r[2].SetInt(idx);
      set_real(r[3], a->_vals[idx]);
      return true;
    }
    case OT_STRING: {
      SQInteger idx = it._type == OT_INTEGER ? it._unVal.nInteger + 1 : 0;
      SQString *s = c._unVal.pString;
      if (idx >= s->_len) return false;
      it.SetInt(idx);
      r[2].SetInt(idx);
      r[3].SetInt((SQInteger)(signed char)s->_val[idx]);
      return true;
    }
    case OT_CLASS: {
      SQClass *k = c._unVal.pClass;
      SQTable *t = k->_members;
      SQInteger idx = it._type == OT_INTEGER ? it._unVal.nInteger : -1;
      SQInteger n = t->Next(idx);
      if (n < 0) return false;
      it.SetInt(n);
      r[2] = t->_nodes[n].Key();
      Val out;
      k->Get(t->_nodes[n].Key(), out);
      r[3] = out;
      return true;
    }
    case OT_INSTANCE:
    case OT_USERDATA: {
      // Instances and user data iterate only through _nexti; the value of each key is read
      // as "obj[key]" would (members, then _get).
      Val fn;
      if (!vm_meta(v, c, MT_NEXTI, fn)) vm_raise(v, "_nexti failed");
      Val key;
      Val prev = it;
      vm_callargs(v, fn, key, {c, prev});
      if (key._type == OT_NULL) return false;
      it = key;
      Val val;
      if (!vm_get(v, c, key, val, false)) vm_raise(v, "_nexti returned an invalid idx");
      r[2] = key;
      r[3] = val;
      return true;
    }
    case OT_GENERATOR: {
      SQGenerator *g = c._unVal.pGenerator;
      if (g->_state == GEN_DEAD) return false;
      Val out;
      vm_resume_generator(v, g, out);
      if (g->_state == GEN_DEAD) return false;
      SQInteger idx = it._type == OT_INTEGER ? it._unVal.nInteger + 1 : 0;
      it.SetInt(idx);
      r[2].SetInt(idx);
      r[3] = out;
      return true;
    }
    default:
      vm_raise(v, "cannot iterate %s", type_name(c._type));
  }
}

