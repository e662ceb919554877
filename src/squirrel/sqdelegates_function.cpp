// sqdelegates_function.cpp: default delegates of the callable and resumable types:
// closures and native closures (call, pcall, acall, pacall, bindenv, setroot, getroot,
// getinfos), generators (getstatus) and threads (call, wakeup, wakeupthrow, getstatus,
// getstackinfos).
//
// A thread created by newthread() keeps its function at slot 1 of its own stack. Each run
// pushes a copy of it with the root table as 'this' and the arguments; when the run ends
// (idle again) the thread's stack is cut back to that one slot.
#include "sqdelegates_local.h"

// {===== Closures

static SQInteger closure_call_impl(HSQUIRRELVM v, SQBool raise) {
    // Stack: function, this, arguments: call the function at 1 with everything above it.
    if (SQ_FAILED(sq_call(v, sq_gettop(v) - 1, SQTrue, raise))) return SQ_ERROR;
    return 1;
}

static SQInteger closure_call(HSQUIRRELVM v) { return closure_call_impl(v, SQTrue); }
static SQInteger closure_pcall(HSQUIRRELVM v) { return closure_call_impl(v, SQFalse); }

static SQInteger closure_acall_impl(HSQUIRRELVM v, SQBool raise) {
    SQInteger n = sq_getsize(v, 2);
    if (n <= 0) return sq_throwerror(v, "wrong number of parameters");
    if (SQ_FAILED(sq_reservestack(v, n + 2))) return SQ_ERROR;
    sq_push(v, 1);
    for (SQInteger i = 0; i < n; ++i) {
        sq_pushinteger(v, i);
        if (SQ_FAILED(sq_get(v, 2))) return SQ_ERROR;
    }
    if (SQ_FAILED(sq_call(v, n, SQTrue, raise))) return SQ_ERROR;
    return 1;
}

static SQInteger closure_acall(HSQUIRRELVM v) { return closure_acall_impl(v, SQTrue); }
static SQInteger closure_pacall(HSQUIRRELVM v) { return closure_acall_impl(v, SQFalse); }

static SQInteger closure_bindenv(HSQUIRRELVM v) {
    SQInteger top = sq_gettop(v);
    sq_push(v, 2);
    if (SQ_FAILED(sq_bindenv(v, 1))) return SQ_ERROR;
    // The bound copy replaces the function at 1 (or is pushed, depending on the core).
    if (sq_gettop(v) <= top) sq_push(v, 1);
    return 1;
}

static SQInteger closure_setroot(HSQUIRRELVM v) {
    sq_push(v, 2);
    if (SQ_FAILED(sq_setclosureroot(v, 1))) return SQ_ERROR;
    sq_push(v, 1);
    return 1;
}

static SQInteger closure_getroot(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_getclosureroot(v, 1))) return SQ_ERROR;
    return 1;
}

static SQInteger closure_getinfos(HSQUIRRELVM v) {
    if (SQ_FAILED(sqi_closure_infos(v, 1))) return SQ_ERROR;
    return 1;
}

static const SQRegFunction closure_funcs[] = {
    {"call", closure_call, -2, "c"},
    {"pcall", closure_pcall, -2, "c"},
    {"acall", closure_acall, 2, "ca"},
    {"pacall", closure_pacall, 2, "ca"},
    {"weakref", sqb_weakref, 1, nullptr},
    {"tostring", sqb_tostring, 1, nullptr},
    {"bindenv", closure_bindenv, 2, "c x|y|t"},
    {"setroot", closure_setroot, 2, "ct"},
    {"getroot", closure_getroot, 1, "c"},
    {"getinfos", closure_getinfos, 1, "c"},
    {nullptr, nullptr, 0, nullptr}};

// }=====

// {===== Generators

static SQInteger generator_getstatus(HSQUIRRELVM v) {
    const SQChar *status = sqi_generator_status(v, 1);
    if (!status) return sq_throwerror(v, "the object is not a generator");
    sq_pushstring(v, status, -1);
    return 1;
}

static const SQRegFunction generator_funcs[] = {
    {"getstatus", generator_getstatus, 1, "g"},
    {"weakref", sqb_weakref, 1, nullptr},
    {"tostring", sqb_tostring, 1, nullptr},
    {nullptr, nullptr, 0, nullptr}};

// }=====

// {===== Threads

static HSQUIRRELVM thread_arg(HSQUIRRELVM v) {
    HSQUIRRELVM t = nullptr;
    if (SQ_FAILED(sq_getthread(v, 1, &t))) return nullptr;
    return t;
}

// Moves the outcome of a run of t to v: the value on top of t on success, the thread's
// error (rethrown in v) on failure. Cuts t back to its function once it is idle.
static SQInteger thread_finish(HSQUIRRELVM v, HSQUIRRELVM t, SQRESULT r) {
    if (SQ_FAILED(r)) {
        sq_getlasterror(t);
        sq_move(v, t, -1);
        sq_pop(t, 1);
        if (sq_getvmstate(t) == SQ_VMSTATE_IDLE && sq_gettop(t) > 1) sq_settop(t, 1);
        return sq_throwobject(v);
    }
    sq_move(v, t, -1);
    sq_pop(t, 1);
    if (sq_getvmstate(t) == SQ_VMSTATE_IDLE && sq_gettop(t) > 1) sq_settop(t, 1);
    return 1;
}

static SQInteger thread_call(HSQUIRRELVM v) {
    HSQUIRRELVM t = thread_arg(v);
    if (!t) return sq_throwerror(v, "wrong parameter");
    if (sq_getvmstate(t) != SQ_VMSTATE_IDLE) return sq_throwerror(v, "wrong status");
    if (sq_gettop(t) < 1) return sq_throwerror(v, "the thread has no function");
    SQInteger top = sq_gettop(v);
    sq_settop(t, 1);
    if (SQ_FAILED(sq_reservestack(t, top + 2))) {
        sq_getlasterror(t);
        sq_move(v, t, -1);
        sq_pop(t, 1);
        return sq_throwobject(v);
    }
    sq_push(t, 1);
    sq_pushroottable(t);
    for (SQInteger i = 2; i <= top; ++i) sq_move(t, v, i);
    return thread_finish(v, t, sq_call(t, top, SQTrue, SQTrue));
}

static SQInteger thread_wakeup_impl(HSQUIRRELVM v, bool throwing) {
    HSQUIRRELVM t = thread_arg(v);
    if (!t) return sq_throwerror(v, "wrong parameter");
    switch (sq_getvmstate(t)) {
    case SQ_VMSTATE_IDLE:
        return sq_throwerror(v, "cannot wakeup a idle thread");
    case SQ_VMSTATE_RUNNING:
        return sq_throwerror(v, "cannot wakeup a running thread");
    default:
        break;
    }
    if (sq_gettop(v) > 1) {
        sq_move(t, v, 2);
    } else {
        sq_pushnull(t);
    }
    if (!throwing) return thread_finish(v, t, sq_wakeupvm(t, SQTrue, SQTrue, SQTrue, SQFalse));
    // The value becomes the thread's error, raised where it suspended.
    sq_throwobject(t);
    SQBool propagate = SQTrue;
    if (sq_gettop(v) > 2) sq_tobool(v, 3, &propagate);
    SQRESULT r = sq_wakeupvm(t, SQFalse, SQTrue, SQTrue, SQTrue);
    if (SQ_FAILED(r) && !propagate) {
        if (sq_getvmstate(t) == SQ_VMSTATE_IDLE && sq_gettop(t) > 1) sq_settop(t, 1);
        return 0;
    }
    return thread_finish(v, t, r);
}

static SQInteger thread_wakeup(HSQUIRRELVM v) { return thread_wakeup_impl(v, false); }
static SQInteger thread_wakeupthrow(HSQUIRRELVM v) { return thread_wakeup_impl(v, true); }

static SQInteger thread_getstatus(HSQUIRRELVM v) {
    HSQUIRRELVM t = thread_arg(v);
    if (!t) return sq_throwerror(v, "wrong parameter");
    switch (sq_getvmstate(t)) {
    case SQ_VMSTATE_IDLE:
        sq_pushstring(v, "idle", -1);
        break;
    case SQ_VMSTATE_RUNNING:
        sq_pushstring(v, "running", -1);
        break;
    case SQ_VMSTATE_SUSPENDED:
        sq_pushstring(v, "suspended", -1);
        break;
    default:
        return sq_throwerror(v, "internal VM error");
    }
    return 1;
}

static SQInteger thread_getstackinfos(HSQUIRRELVM v) {
    HSQUIRRELVM t = thread_arg(v);
    if (!t) return sq_throwerror(v, "wrong parameter");
    sqb_push_stackinfos(v, t, sqb_getint(v, 2));
    return 1;
}

static const SQRegFunction thread_funcs[] = {
    {"call", thread_call, -1, "v"},
    {"wakeup", thread_wakeup, -1, "v"},
    {"wakeupthrow", thread_wakeupthrow, -2, "v.b"},
    {"getstatus", thread_getstatus, 1, "v"},
    {"weakref", sqb_weakref, 1, nullptr},
    {"tostring", sqb_tostring, 1, nullptr},
    {"getstackinfos", thread_getstackinfos, 2, "vn"},
    {nullptr, nullptr, 0, nullptr}};

// }=====

void sqb_fill_function_delegates(HSQUIRRELVM v) {
    sqi_push_default_delegate(v, OT_CLOSURE);
    sqb_register_functions(v, closure_funcs);
    sq_pop(v, 1);
    sqi_push_default_delegate(v, OT_GENERATOR);
    sqb_register_functions(v, generator_funcs);
    sq_pop(v, 1);
    sqi_push_default_delegate(v, OT_THREAD);
    sqb_register_functions(v, thread_funcs);
    sq_pop(v, 1);
}
