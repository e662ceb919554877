// sqdelegates_class.cpp: default delegates of classes (getattributes, setattributes,
// instance, getbase, newmember, rawnewmember, rawget, rawset, rawin), instances
// (getclass, rawget, rawset, rawin) and weak references (ref).
#include "sqdelegates_local.h"

// {===== Classes

static SQInteger class_getattributes(HSQUIRRELVM v) {
    sq_push(v, 2);
    if (SQ_FAILED(sq_getattributes(v, 1))) return sq_throwerror(v, "wrong index");
    return 1;
}

static SQInteger class_setattributes(HSQUIRRELVM v) {
    // Read the previous attributes first: they are the result.
    sq_push(v, 2);
    if (SQ_FAILED(sq_getattributes(v, 1))) return sq_throwerror(v, "wrong index");
    SQInteger old = sq_gettop(v);
    sq_push(v, 2);
    sq_push(v, 3);
    if (SQ_FAILED(sq_setattributes(v, 1))) return SQ_ERROR;
    sq_settop(v, old);
    return 1;
}

static SQInteger class_instance(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_createinstance(v, 1))) return SQ_ERROR;
    return 1;
}

static SQInteger class_getbase(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_getbase(v, 1))) return SQ_ERROR;
    return 1;
}

// newmember(key, value, [attributes], [static]).
static SQInteger class_newmember_impl(HSQUIRRELVM v, bool raw) {
    SQInteger top = sq_gettop(v);
    SQBool bstatic = SQFalse;
    if (top > 4) sq_tobool(v, 5, &bstatic);
    sq_push(v, 2);
    sq_push(v, 3);
    if (top > 3) {
        sq_push(v, 4);
    } else {
        sq_pushnull(v);
    }
    SQRESULT r = raw ? sq_rawnewmember(v, 1, bstatic) : sq_newmember(v, 1, bstatic);
    if (SQ_FAILED(r)) return SQ_ERROR;
    return 0;
}

static SQInteger class_newmember(HSQUIRRELVM v) { return class_newmember_impl(v, false); }
static SQInteger class_rawnewmember(HSQUIRRELVM v) { return class_newmember_impl(v, true); }

static const SQRegFunction class_funcs[] = {
    {"getattributes", class_getattributes, 2, "y."},
    {"setattributes", class_setattributes, 3, "y.."},
    {"rawget", sqb_rawget, 2, "y"},
    {"rawset", sqb_rawset, 3, "y"},
    {"rawin", sqb_rawin, 2, "y"},
    {"weakref", sqb_weakref, 1, nullptr},
    {"tostring", sqb_tostring, 1, nullptr},
    {"instance", class_instance, 1, "y"},
    {"getbase", class_getbase, 1, "y"},
    {"newmember", class_newmember, -3, "y"},
    {"rawnewmember", class_rawnewmember, -3, "y"},
    {nullptr, nullptr, 0, nullptr}};

// }=====

// {===== Instances

static SQInteger instance_getclass(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_getclass(v, 1))) return SQ_ERROR;
    return 1;
}

static const SQRegFunction instance_funcs[] = {
    {"getclass", instance_getclass, 1, "x"},
    {"rawget", sqb_rawget, 2, "x"},
    {"rawset", sqb_rawset, 3, "x"},
    {"rawin", sqb_rawin, 2, "x"},
    {"weakref", sqb_weakref, 1, nullptr},
    {"tostring", sqb_tostring, 1, nullptr},
    {nullptr, nullptr, 0, nullptr}};

// }=====

// {===== Weak references

static SQInteger weakref_ref(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_getweakrefval(v, 1))) return SQ_ERROR;
    return 1;
}

static const SQRegFunction weakref_funcs[] = {
    {"ref", weakref_ref, 1, "r"},
    {"weakref", sqb_weakref, 1, nullptr},
    {"tostring", sqb_tostring, 1, nullptr},
    {nullptr, nullptr, 0, nullptr}};

// }=====

void sqb_fill_class_delegates(HSQUIRRELVM v) {
    sqi_push_default_delegate(v, OT_CLASS);
    sqb_register_functions(v, class_funcs);
    sq_pop(v, 1);
    sqi_push_default_delegate(v, OT_INSTANCE);
    sqb_register_functions(v, instance_funcs);
    sq_pop(v, 1);
    sqi_push_default_delegate(v, OT_WEAKREF);
    sqb_register_functions(v, weakref_funcs);
    sq_pop(v, 1);
}
