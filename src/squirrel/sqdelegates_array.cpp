// sqdelegates_array.cpp: the default delegate of arrays (len, append, push, extend, pop,
// top, insert, remove, resize, reverse, slice, clear, map, apply, reduce, filter, find,
// weakref, tostring; sort lives in sqdelegates_sort.cpp).
//
// Callbacks may change the array they iterate over, so every loop re-reads the current
// size and never keeps element pointers across a call. Elements read for scripts (pop,
// top, callbacks) resolve weak references like indexing does; copies (slice, extend) keep
// the stored values as they are.
#include <cstring>

#include "sqdelegates_local.h"

// Pushes element i of the array at arr exactly as stored. The caller checked the range.
static void push_raw(HSQUIRRELVM v, SQInteger arr, SQInteger i) {
    SQObject o;
    if (SQ_SUCCEEDED(sqi_array_get(v, arr, i, &o)))
        sq_pushobject(v, o);
    else
        sq_pushnull(v);
}

// Pushes element i as script code reads it (weak references give their target).
static void push_elem(HSQUIRRELVM v, SQInteger arr, SQInteger i) {
    push_raw(v, arr, i);
    if (sq_gettype(v, -1) == OT_WEAKREF) {
        sq_getweakrefval(v, -1);
        sq_remove(v, -2);
    }
}

static SQInteger array_len(HSQUIRRELVM v) {
    sq_pushinteger(v, sq_getsize(v, 1));
    return 1;
}

static SQInteger array_append(HSQUIRRELVM v) {
    // The value is the top slot already (exactly two arguments): append pops it.
    if (sq_gettop(v) != 2) sq_push(v, 2);
    if (SQ_FAILED(sq_arrayappend(v, 1))) return SQ_ERROR;
    return 0;
}

static SQInteger array_extend(HSQUIRRELVM v) {
    SQInteger n = sq_getsize(v, 2);
    for (SQInteger i = 0; i < n && i < sq_getsize(v, 2); ++i) {
        push_raw(v, 2, i);
        if (SQ_FAILED(sq_arrayappend(v, 1))) return SQ_ERROR;
    }
    return 0;
}

static SQInteger array_pop(HSQUIRRELVM v) {
    if (sq_getsize(v, 1) <= 0) return sq_throwerror(v, "empty array");
    push_elem(v, 1, sq_getsize(v, 1) - 1);
    if (SQ_FAILED(sq_arraypop(v, 1, SQFalse))) return SQ_ERROR;
    return 1;
}

static SQInteger array_top(HSQUIRRELVM v) {
    SQInteger n = sq_getsize(v, 1);
    if (n <= 0) return sq_throwerror(v, "top() on a empty array");
    push_elem(v, 1, n - 1);
    return 1;
}

static SQInteger array_insert(HSQUIRRELVM v) {
    SQInteger idx = sqb_getint(v, 2);
    if (idx < 0 || idx > sq_getsize(v, 1)) return sq_throwerror(v, "index out of range");
    sq_push(v, 3);
    if (SQ_FAILED(sq_arrayinsert(v, 1, idx))) return SQ_ERROR;
    return 0;
}

static SQInteger array_remove(HSQUIRRELVM v) {
    SQInteger idx = sqb_getint(v, 2);
    if (idx < 0 || idx >= sq_getsize(v, 1)) return sq_throwerror(v, "idx out of range");
    push_elem(v, 1, idx);
    if (SQ_FAILED(sq_arrayremove(v, 1, idx))) return SQ_ERROR;
    return 1;
}

static SQInteger array_resize(HSQUIRRELVM v) {
    SQInteger size = sqb_getint(v, 2);
    if (size < 0) return sq_throwerror(v, "negative size");
    SQInteger old = sq_getsize(v, 1);
    // The size comes from the script: respect the VM's memory limit before growing.
    if (size > old && SQ_FAILED(sqi_check_memory(v, (size_t)(size - old) * sizeof(SQObject))))
        return SQ_ERROR;
    if (SQ_FAILED(sq_arrayresize(v, 1, size))) return SQ_ERROR;
    if (sq_gettop(v) > 2 && sq_gettype(v, 3) != OT_NULL) {
        for (SQInteger i = old; i < size; ++i) {
            sq_pushinteger(v, i);
            sq_push(v, 3);
            if (SQ_FAILED(sq_rawset(v, 1))) return SQ_ERROR;
        }
    }
    return 0;
}

static SQInteger array_reverse(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_arrayreverse(v, 1))) return SQ_ERROR;
    return 0;
}

static SQInteger array_slice(HSQUIRRELVM v) {
    SQInteger start = 0, end = 0;
    if (!sqb_slice_range(v, 2, 3, sq_getsize(v, 1), &start, &end)) return SQ_ERROR;
    sq_newarray(v, 0);
    SQInteger result = sq_gettop(v);
    for (SQInteger i = start; i < end; ++i) {
        push_raw(v, 1, i);
        sq_arrayappend(v, result);
    }
    return 1;
}

static SQInteger array_clear(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_arrayresize(v, 1, 0))) return SQ_ERROR;
    return 0;
}

// Calls a callback the caller pushed as: function, 'this' (the array), nargs arguments.
// The function stays on the stack with the result above it.
static bool call_back(HSQUIRRELVM v, SQInteger nargs) {
    return SQ_SUCCEEDED(sq_call(v, nargs + 1, SQTrue, SQFalse));
}

static SQInteger array_map(HSQUIRRELVM v) {
    sq_newarray(v, 0);
    SQInteger result = sq_gettop(v);
    for (SQInteger i = 0; i < sq_getsize(v, 1); ++i) {
        sq_push(v, 2);
        sq_push(v, 1);
        push_elem(v, 1, i);
        if (!call_back(v, 1)) return SQ_ERROR;
        sq_arrayappend(v, result);
        sq_settop(v, result);
    }
    return 1;
}

static SQInteger array_apply(HSQUIRRELVM v) {
    SQInteger top = sq_gettop(v);
    for (SQInteger i = 0; i < sq_getsize(v, 1); ++i) {
        sq_push(v, 2);
        sq_push(v, 1);
        push_elem(v, 1, i);
        if (!call_back(v, 1)) return SQ_ERROR;
        if (i < sq_getsize(v, 1)) {
            sq_pushinteger(v, i);
            sq_push(v, -2);
            if (SQ_FAILED(sq_rawset(v, 1))) return SQ_ERROR;
        }
        sq_settop(v, top);
    }
    return 0;
}

static SQInteger array_reduce(HSQUIRRELVM v) {
    SQInteger n = sq_getsize(v, 1);
    SQInteger i = 0;
    if (sq_gettop(v) > 2) {
        sq_push(v, 3);
    } else {
        if (n == 0) return 0;
        push_elem(v, 1, 0);
        i = 1;
    }
    SQInteger acc = sq_gettop(v);
    for (; i < sq_getsize(v, 1); ++i) {
        sq_push(v, 2);
        sq_push(v, 1);
        sq_push(v, acc);
        push_elem(v, 1, i);
        if (!call_back(v, 2)) return SQ_ERROR;
        sq_remove(v, -2);
        sq_remove(v, acc);
    }
    return 1;
}

static SQInteger array_filter(HSQUIRRELVM v) {
    sq_newarray(v, 0);
    SQInteger result = sq_gettop(v);
    for (SQInteger i = 0; i < sq_getsize(v, 1); ++i) {
        push_elem(v, 1, i);
        sq_push(v, 2);
        sq_push(v, 1);
        sq_pushinteger(v, i);
        sq_push(v, result + 1);
        if (!call_back(v, 2)) return SQ_ERROR;
        SQBool keep = SQFalse;
        sq_tobool(v, -1, &keep);
        if (keep) {
            sq_push(v, result + 1);
            sq_arrayappend(v, result);
        }
        sq_settop(v, result);
    }
    return 1;
}

// Equality as the == operator sees it: numbers by value across int/float, strings by
// content, everything else by identity.
static bool values_equal(HSQUIRRELVM v, SQInteger a, SQInteger b) {
    HSQOBJECT oa, ob;
    sq_getstackobj(v, a, &oa);
    sq_getstackobj(v, b, &ob);
    if (sq_isnumeric(oa) && sq_isnumeric(ob)) {
        if (sq_isinteger(oa) && sq_isinteger(ob)) return oa._unVal.nInteger == ob._unVal.nInteger;
        return sq_objtofloat(&oa) == sq_objtofloat(&ob);
    }
    if (oa._type != ob._type) return false;
    switch (oa._type) {
    case OT_NULL:
        return true;
    case OT_BOOL:
        return sq_objtobool(&oa) == sq_objtobool(&ob);
    case OT_STRING: {
        if (oa._unVal.pString == ob._unVal.pString) return true;
        SQInteger la = sq_getsize(v, a), lb = sq_getsize(v, b);
        return la == lb && std::memcmp(sq_objtostring(&oa), sq_objtostring(&ob), (size_t)la) == 0;
    }
    case OT_USERPOINTER:
        return oa._unVal.pUserPointer == ob._unVal.pUserPointer;
    default:
        return oa._unVal.pRefCounted == ob._unVal.pRefCounted;
    }
}

static SQInteger array_find(HSQUIRRELVM v) {
    SQInteger top = sq_gettop(v);
    for (SQInteger i = 0; i < sq_getsize(v, 1); ++i) {
        push_elem(v, 1, i);
        bool eq = values_equal(v, -1, 2);
        sq_settop(v, top);
        if (eq) {
            sq_pushinteger(v, i);
            return 1;
        }
    }
    return 0;
}

static const SQRegFunction array_funcs[] = {
    {"len", array_len, 1, "a"},
    {"append", array_append, 2, "a"},
    {"push", array_append, 2, "a"},
    {"extend", array_extend, 2, "aa"},
    {"pop", array_pop, 1, "a"},
    {"top", array_top, 1, "a"},
    {"insert", array_insert, 3, "an"},
    {"remove", array_remove, 2, "an"},
    {"resize", array_resize, -2, "an"},
    {"reverse", array_reverse, 1, "a"},
    {"sort", sqb_array_sort, -1, "a c|o"},
    {"slice", array_slice, -1, "a n n|o"},
    {"weakref", sqb_weakref, 1, nullptr},
    {"tostring", sqb_tostring, 1, nullptr},
    {"clear", array_clear, 1, "a"},
    {"map", array_map, 2, "ac"},
    {"apply", array_apply, 2, "ac"},
    {"reduce", array_reduce, -2, "ac"},
    {"filter", array_filter, 2, "ac"},
    {"find", array_find, 2, "a."},
    {nullptr, nullptr, 0, nullptr}};

void sqb_fill_array_delegate(HSQUIRRELVM v) {
    sqi_push_default_delegate(v, OT_ARRAY);
    sqb_register_functions(v, array_funcs);
    sq_pop(v, 1);
}
