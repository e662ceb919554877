// sqdelegates_number.cpp: default delegates of integers, floats and bools (tointeger,
// tofloat, tostring, tochar, weakref). Each type has its own table; the functions accept
// any of the three types so one implementation serves all of them.
#include "sqdelegates_local.h"

static SQInteger number_tofloat(HSQUIRRELVM v) {
    switch (sq_gettype(v, 1)) {
    case OT_FLOAT:
        sq_push(v, 1);
        break;
    case OT_INTEGER: {
        SQInteger i = 0;
        sq_getinteger(v, 1, &i);
        sq_pushfloat(v, (SQFloat)i);
        break;
    }
    default: {
        SQBool b = SQFalse;
        sq_getbool(v, 1, &b);
        sq_pushfloat(v, b ? 1.0f : 0.0f);
        break;
    }
    }
    return 1;
}

static SQInteger number_tointeger(HSQUIRRELVM v) {
    if (sq_gettype(v, 1) == OT_INTEGER) {
        sq_push(v, 1);
    } else {
        sq_pushinteger(v, sqb_getint(v, 1));
    }
    return 1;
}

static SQInteger number_tochar(HSQUIRRELVM v) {
    SQChar c = (SQChar)(unsigned char)(sqb_getint(v, 1) & 0xFF);
    sq_pushstring(v, &c, 1);
    return 1;
}

static const SQRegFunction number_funcs[] = {
    {"tofloat", number_tofloat, 1, "n|b"},
    {"tointeger", number_tointeger, 1, "n|b"},
    {"tostring", sqb_tostring, 1, "n|b"},
    {"tochar", number_tochar, 1, "n|b"},
    {"weakref", sqb_weakref, 1, nullptr},
    {nullptr, nullptr, 0, nullptr}};

void sqb_fill_number_delegates(HSQUIRRELVM v) {
    const SQObjectType types[] = {OT_INTEGER, OT_FLOAT, OT_BOOL};
    for (SQObjectType t : types) {
        sqi_push_default_delegate(v, t);
        sqb_register_functions(v, number_funcs);
        sq_pop(v, 1);
    }
}
