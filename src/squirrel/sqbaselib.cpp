// sqbaselib.cpp: the base library — the global functions every VM gets (print, type,
// array, compilestring, newthread...) and the helpers the default delegates share.
// Works through the public API and sqlib_internal.h only; sq_open calls
// sqi_fill_default_delegates and then sqi_base_register, both leave the stack balanced.
#include <cmath>
#include <cstring>

#include "sqdelegates_local.h"

// {===== Shared helpers

void sqb_register_functions(HSQUIRRELVM v, const SQRegFunction *fns) {
    for (const SQRegFunction *f = fns; f->name; ++f) {
        sq_pushstring(v, f->name, -1);
        sq_newclosure(v, f->f, 0);
        if (f->nparamscheck != 0 || f->typemask) sq_setparamscheck(v, f->nparamscheck, f->typemask);
        sq_setnativeclosurename(v, -1, f->name);
        sq_newslot(v, -3, SQFalse);
    }
}

SQInteger sqb_float_to_int(SQFloat f) {
    // Out-of-range conversion is undefined in C++; a 32-bit build truncates on the
    // hardware, which yields the "integer indefinite" value for these cases.
    if (!(f >= -2147483648.0f && f < 2147483648.0f)) return (SQInteger)0x80000000u;
    return (SQInteger)f;
}

SQInteger sqb_getint(HSQUIRRELVM v, SQInteger idx) {
    switch (sq_gettype(v, idx)) {
    case OT_INTEGER: {
        SQInteger i = 0;
        sq_getinteger(v, idx, &i);
        return i;
    }
    case OT_FLOAT: {
        SQFloat f = 0;
        sq_getfloat(v, idx, &f);
        return sqb_float_to_int(f);
    }
    case OT_BOOL: {
        SQBool b = SQFalse;
        sq_getbool(v, idx, &b);
        return b ? 1 : 0;
    }
    default:
        return 0;
    }
}

bool sqb_slice_range(HSQUIRRELVM v, SQInteger sidx, SQInteger eidx, SQInteger len,
                     SQInteger *start, SQInteger *end) {
    SQInteger top = sq_gettop(v);
    SQInteger s = top >= sidx ? sqb_getint(v, sidx) : 0;
    SQInteger e = (top >= eidx && sq_gettype(v, eidx) != OT_NULL) ? sqb_getint(v, eidx) : len;
    if (s < 0) s += len;
    if (e < 0) e += len;
    if (s > e) {
        sq_throwerror(v, "wrong indexes");
        return false;
    }
    if (s < 0 || e > len) {
        sq_throwerror(v, "slice out of range");
        return false;
    }
    *start = s;
    *end = e;
    return true;
}

SQInteger sqb_tostring(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_tostring(v, 1))) return SQ_ERROR;
    return 1;
}

SQInteger sqb_weakref(HSQUIRRELVM v) {
    sq_weakref(v, 1);
    return 1;
}

void sqb_push_deref(HSQUIRRELVM v, SQInteger idx) {
    if (sq_gettype(v, idx) == OT_WEAKREF) {
        sq_getweakrefval(v, idx);
    } else {
        sq_push(v, idx);
    }
}

SQInteger sqb_rawget(HSQUIRRELVM v) {
    sq_push(v, 2);
    if (SQ_FAILED(sq_rawget(v, 1))) return sq_throwerror(v, "the index doesn't exist");
    if (sq_gettype(v, -1) == OT_WEAKREF) sq_getweakrefval(v, -1);
    return 1;
}

SQInteger sqb_rawset(HSQUIRRELVM v) {
    sq_push(v, 2);
    sq_push(v, 3);
    if (SQ_FAILED(sq_rawset(v, 1))) return SQ_ERROR;
    return 0;
}

SQInteger sqb_rawin(HSQUIRRELVM v) {
    sq_push(v, 2);
    if (SQ_SUCCEEDED(sq_rawget(v, 1))) {
        sq_pop(v, 1);
        sq_pushbool(v, SQTrue);
    } else {
        sq_reseterror(v);
        sq_pushbool(v, SQFalse);
    }
    return 1;
}

// Adds key = value (top of stack) to the table at -2.
static void set_field(HSQUIRRELVM v, const char *key) {
    sq_pushstring(v, key, -1);
    sq_push(v, -2);
    sq_remove(v, -3);
    sq_newslot(v, -3, SQFalse);
}

void sqb_push_stackinfos(HSQUIRRELVM v, HSQUIRRELVM t, SQInteger level) {
    SQStackInfos si;
    if (level < 0 || SQ_FAILED(sq_stackinfos(t, level, &si))) {
        sq_pushnull(v);
        return;
    }
    sq_newtable(v);
    sq_pushstring(v, si.funcname ? si.funcname : "unknown", -1);
    set_field(v, "func");
    sq_pushstring(v, si.source ? si.source : "unknown", -1);
    set_field(v, "src");
    sq_pushinteger(v, si.line);
    set_field(v, "line");
    sq_newtable(v);
    for (SQUnsignedInteger seq = 0;; ++seq) {
        const SQChar *name = sq_getlocal(t, (SQUnsignedInteger)level, seq);
        if (!name) break;
        if (t != v) {
            sq_move(v, t, -1);
            sq_pop(t, 1);
        }
        sq_pushstring(v, name, -1);
        sq_push(v, -2);
        sq_remove(v, -3);
        sq_newslot(v, -3, SQFalse);
    }
    set_field(v, "locals");
}

// }=====

// {===== Base globals

static SQInteger base_dummy(HSQUIRRELVM) { return 0; }

static SQInteger base_print(HSQUIRRELVM v) {
    const SQChar *s = nullptr;
    if (SQ_FAILED(sq_tostring(v, 2))) return SQ_ERROR;
    sq_getstring(v, -1, &s);
    if (SQPRINTFUNCTION pf = sq_getprintfunc(v)) pf(v, "%s", s ? s : "");
    return 0;
}

static SQInteger base_error(HSQUIRRELVM v) {
    const SQChar *s = nullptr;
    if (SQ_FAILED(sq_tostring(v, 2))) return SQ_ERROR;
    sq_getstring(v, -1, &s);
    if (SQPRINTFUNCTION ef = sq_geterrorfunc(v)) ef(v, "%s", s ? s : "");
    return 0;
}

static SQInteger base_type(HSQUIRRELVM v) {
    sqi_push_typename(v, 2);
    return 1;
}

static SQInteger base_assert(HSQUIRRELVM v) {
    SQBool ok = SQFalse;
    sq_tobool(v, 2, &ok);
    if (ok) return 0;
    if (sq_gettop(v) > 2) {
        sq_push(v, 3);
        return sq_throwobject(v);
    }
    return sq_throwerror(v, "assertion failed");
}

static SQInteger base_array(HSQUIRRELVM v) {
    SQInteger size = sqb_getint(v, 2);
    if (size < 0) return sq_throwerror(v, "negative size");
    bool fill = sq_gettop(v) > 2 && sq_gettype(v, 3) != OT_NULL;
    // The size comes from the script: respect the VM's memory limit before allocating.
    if (SQ_FAILED(sqi_check_memory(v, (size_t)size * sizeof(SQObject)))) return SQ_ERROR;
    sq_newarray(v, size);
    if (fill) {
        for (SQInteger i = 0; i < size; ++i) {
            sq_pushinteger(v, i);
            sq_push(v, 3);
            sq_rawset(v, -3);
        }
    }
    return 1;
}

static SQInteger base_getroottable(HSQUIRRELVM v) {
    sq_pushroottable(v);
    return 1;
}

static SQInteger base_setroottable(HSQUIRRELVM v) {
    sq_pushroottable(v);
    sq_push(v, 2);
    if (SQ_FAILED(sq_setroottable(v))) return SQ_ERROR;
    return 1;
}

static SQInteger base_getconsttable(HSQUIRRELVM v) {
    sq_pushconsttable(v);
    return 1;
}

static SQInteger base_setconsttable(HSQUIRRELVM v) {
    sq_pushconsttable(v);
    sq_push(v, 2);
    if (SQ_FAILED(sq_setconsttable(v))) return SQ_ERROR;
    return 1;
}

static SQInteger base_compilestring(HSQUIRRELVM v) {
    const SQChar *src = nullptr;
    const SQChar *name = "unnamedbuffer";
    sq_getstring(v, 2, &src);
    SQInteger size = sq_getsize(v, 2);
    if (sq_gettop(v) > 2) sq_getstring(v, 3, &name);
    if (SQ_FAILED(sq_compilebuffer(v, src, size, name, SQFalse))) return SQ_ERROR;
    return 1;
}

static SQInteger base_callee(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_getcallee(v))) return sq_throwerror(v, "no closure in the calls stack");
    return 1;
}

static SQInteger base_collectgarbage(HSQUIRRELVM v) {
    sq_pushinteger(v, sq_collectgarbage(v));
    return 1;
}

static SQInteger base_resurrectunreachable(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_resurrectunreachable(v))) return SQ_ERROR;
    return 1;
}

static SQInteger base_getstackinfos(HSQUIRRELVM v) {
    sqb_push_stackinfos(v, v, sqb_getint(v, 2));
    return 1;
}

static SQInteger base_newthread(HSQUIRRELVM v) {
    HSQUIRRELVM t = sq_newthread(v, 1024);
    if (!t) return sq_throwerror(v, "cannot create the thread");
    sq_move(t, v, 2);
    return 1;
}

static SQInteger base_suspend(HSQUIRRELVM v) {
    // The value on top is what the waking call (call/wakeup) returns.
    if (sq_gettop(v) < 2) sq_pushnull(v);
    return sq_suspendvm(v);
}

static SQInteger base_seterrorhandler(HSQUIRRELVM v) {
    sq_push(v, 2);
    sq_seterrorhandler(v);
    return 0;
}

static SQInteger base_setdebughook(HSQUIRRELVM v) {
    sq_push(v, 2);
    sq_setdebughook(v);
    return 0;
}

static SQInteger base_enabledebuginfo(HSQUIRRELVM v) {
    sq_enabledebuginfo(v, sq_gettype(v, 2) != OT_NULL ? SQTrue : SQFalse);
    return 0;
}

static const SQRegFunction base_funcs[] = {
    {"seterrorhandler", base_seterrorhandler, 2, ".c|o"},
    {"setdebughook", base_setdebughook, 2, ".c|o"},
    {"enabledebuginfo", base_enabledebuginfo, 2, nullptr},
    {"getstackinfos", base_getstackinfos, 2, ".n"},
    {"getroottable", base_getroottable, 1, nullptr},
    {"setroottable", base_setroottable, 2, ".t"},
    {"getconsttable", base_getconsttable, 1, nullptr},
    {"setconsttable", base_setconsttable, 2, ".t"},
    {"assert", base_assert, -2, nullptr},
    {"print", base_print, 2, nullptr},
    {"error", base_error, 2, nullptr},
    {"compilestring", base_compilestring, -2, ".ss"},
    {"newthread", base_newthread, 2, ".c"},
    {"suspend", base_suspend, -1, nullptr},
    {"array", base_array, -2, ".n"},
    {"type", base_type, 2, nullptr},
    {"callee", base_callee, 1, nullptr},
    {"dummy", base_dummy, 0, nullptr},
    {"collectgarbage", base_collectgarbage, 1, nullptr},
    {"resurrectunreachable", base_resurrectunreachable, 1, nullptr},
    {nullptr, nullptr, 0, nullptr}};

void sqi_base_register(HSQUIRRELVM v) {
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sqb_register_functions(v, base_funcs);
    sq_pushstring(v, "_version_", -1);
    sq_pushstring(v, SQUIRREL_VERSION, -1);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "_versionnumber_", -1);
    sq_pushinteger(v, SQUIRREL_VERSION_NUMBER);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "_charsize_", -1);
    sq_pushinteger(v, (SQInteger)sizeof(SQChar));
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "_intsize_", -1);
    sq_pushinteger(v, (SQInteger)sizeof(SQInteger));
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "_floatsize_", -1);
    sq_pushinteger(v, (SQInteger)sizeof(SQFloat));
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, top);
}

void sqi_fill_default_delegates(HSQUIRRELVM v) {
    SQInteger top = sq_gettop(v);
    sqb_fill_number_delegates(v);
    sqb_fill_string_delegate(v);
    sqb_fill_table_delegate(v);
    sqb_fill_array_delegate(v);
    sqb_fill_function_delegates(v);
    sqb_fill_class_delegates(v);
    sq_settop(v, top);
}

// }=====
