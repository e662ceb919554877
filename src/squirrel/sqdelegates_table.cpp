// sqdelegates_table.cpp: the default delegate of tables (len, rawget, rawset, rawdelete,
// rawin, weakref, tostring, clear, setdelegate, getdelegate, filter, keys, values).
#include "sqdelegates_local.h"

static SQInteger table_len(HSQUIRRELVM v) {
    sq_pushinteger(v, sq_getsize(v, 1));
    return 1;
}

static SQInteger table_rawdelete(HSQUIRRELVM v) {
    // A missing slot is not an error: the result is null.
    sq_push(v, 2);
    if (SQ_FAILED(sq_rawget(v, 1))) {
        sq_reseterror(v);
        return 0;
    }
    sq_pop(v, 1);
    sq_push(v, 2);
    if (SQ_FAILED(sq_rawdeleteslot(v, 1, SQTrue))) return SQ_ERROR;
    return 1;
}

static SQInteger table_clear(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_clear(v, 1))) return SQ_ERROR;
    return 0;
}

static bool same_object(HSQUIRRELVM v, SQInteger a, SQInteger b) {
    HSQOBJECT oa, ob;
    sq_getstackobj(v, a, &oa);
    sq_getstackobj(v, b, &ob);
    return oa._type == ob._type && oa._unVal.raw == ob._unVal.raw;
}

static SQInteger table_setdelegate(HSQUIRRELVM v) {
    // Refuse a delegate whose chain leads back to this table: lookups would never end.
    SQInteger top = sq_gettop(v);
    sq_push(v, 2);
    while (sq_gettype(v, -1) == OT_TABLE) {
        if (same_object(v, -1, 1)) {
            sq_settop(v, top);
            return sq_throwerror(v, "delagate cycle");
        }
        if (SQ_FAILED(sq_getdelegate(v, -1))) break;
        sq_remove(v, -2);
    }
    sq_settop(v, top);
    sq_push(v, 2);
    if (SQ_FAILED(sq_setdelegate(v, 1))) return SQ_ERROR;
    sq_push(v, 1);
    return 1;
}

static SQInteger table_getdelegate(HSQUIRRELVM v) {
    if (SQ_FAILED(sq_getdelegate(v, 1))) return SQ_ERROR;
    return 1;
}

static SQInteger table_filter(HSQUIRRELVM v) {
    sq_newtable(v);
    SQInteger result = sq_gettop(v);
    sq_pushnull(v);
    SQInteger iter = sq_gettop(v);
    while (SQ_SUCCEEDED(sq_next(v, 1))) {
        // stack: ... iterator key value
        sq_push(v, 2);
        sq_push(v, 1);
        sq_push(v, iter + 1);
        sqb_push_deref(v, iter + 2);
        if (SQ_FAILED(sq_call(v, 3, SQTrue, SQFalse))) return SQ_ERROR;
        SQBool keep = SQFalse;
        sq_tobool(v, -1, &keep);
        if (keep) {
            sq_push(v, iter + 1);
            sqb_push_deref(v, iter + 2);
            sq_newslot(v, result, SQFalse);
        }
        sq_settop(v, iter);
    }
    sq_settop(v, result);
    return 1;
}

static SQInteger table_collect(HSQUIRRELVM v, bool keys) {
    sq_newarray(v, 0);
    SQInteger result = sq_gettop(v);
    sq_pushnull(v);
    SQInteger iter = sq_gettop(v);
    while (SQ_SUCCEEDED(sq_next(v, 1))) {
        if (keys) {
            sq_push(v, iter + 1);
        } else {
            sqb_push_deref(v, iter + 2);
        }
        sq_arrayappend(v, result);
        sq_settop(v, iter);
    }
    sq_settop(v, result);
    return 1;
}

static SQInteger table_keys(HSQUIRRELVM v) { return table_collect(v, true); }
static SQInteger table_values(HSQUIRRELVM v) { return table_collect(v, false); }

static const SQRegFunction table_funcs[] = {
    {"len", table_len, 1, "t"},
    {"rawget", sqb_rawget, 2, "t"},
    {"rawset", sqb_rawset, 3, "t"},
    {"rawdelete", table_rawdelete, 2, "t"},
    {"rawin", sqb_rawin, 2, "t"},
    {"weakref", sqb_weakref, 1, nullptr},
    {"tostring", sqb_tostring, 1, nullptr},
    {"clear", table_clear, 1, "t"},
    {"setdelegate", table_setdelegate, 2, ".t|o"},
    {"getdelegate", table_getdelegate, 1, "."},
    {"filter", table_filter, 2, "tc"},
    {"keys", table_keys, 1, "t"},
    {"values", table_values, 1, "t"},
    {nullptr, nullptr, 0, nullptr}};

void sqb_fill_table_delegate(HSQUIRRELVM v) {
    sqi_push_default_delegate(v, OT_TABLE);
    sqb_register_functions(v, table_funcs);
    sq_pop(v, 1);
}
