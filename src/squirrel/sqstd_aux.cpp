// Error reporting for hosts: the runtime error handler (error text, call stack, locals) and
// the compiler error handler (source, line, column). Everything goes through the VM's error
// function, so a host that redirects it (sq_setprintfunc) captures the whole report.
#include "sqstdaux.h"

namespace {

// Deep recursion ("stack overflow") would otherwise print thousands of identical frames.
constexpr SQInteger kMaxReportedFrames = 40;
constexpr SQInteger kMaxLocalsFrames = 10;

void aux_print_local(HSQUIRRELVM v, SQPRINTFUNCTION pf, const SQChar* name)
{
    switch (sq_gettype(v, -1)) {
    case OT_NULL: pf(v, "[%s] NULL\n", name); break;
    case OT_INTEGER: {
        SQInteger i = 0;
        sq_getinteger(v, -1, &i);
        pf(v, "[%s] %d\n", name, i);
        break;
    }
    case OT_FLOAT: {
        SQFloat f = 0;
        sq_getfloat(v, -1, &f);
        pf(v, "[%s] %.14g\n", name, double(f));
        break;
    }
    case OT_BOOL: {
        SQBool b = SQFalse;
        sq_getbool(v, -1, &b);
        pf(v, "[%s] %s\n", name, b ? "true" : "false");
        break;
    }
    case OT_STRING: {
        const SQChar* s = nullptr;
        sq_getstring(v, -1, &s);
        pf(v, "[%s] \"%s\"\n", name, s);
        break;
    }
    case OT_USERPOINTER: pf(v, "[%s] USERPOINTER\n", name); break;
    case OT_TABLE: pf(v, "[%s] TABLE\n", name); break;
    case OT_ARRAY: pf(v, "[%s] ARRAY\n", name); break;
    case OT_CLOSURE: pf(v, "[%s] CLOSURE\n", name); break;
    case OT_NATIVECLOSURE: pf(v, "[%s] NATIVECLOSURE\n", name); break;
    case OT_GENERATOR: pf(v, "[%s] GENERATOR\n", name); break;
    case OT_USERDATA: pf(v, "[%s] USERDATA\n", name); break;
    case OT_THREAD: pf(v, "[%s] THREAD\n", name); break;
    case OT_CLASS: pf(v, "[%s] CLASS\n", name); break;
    case OT_INSTANCE: pf(v, "[%s] INSTANCE\n", name); break;
    case OT_WEAKREF: pf(v, "[%s] WEAKREF\n", name); break;
    default: pf(v, "[%s] ?\n", name); break;
    }
}

SQInteger aux_runtime_error(HSQUIRRELVM v)
{
    SQPRINTFUNCTION pf = sq_geterrorfunc(v);
    if (!pf)
        return 0;
    if (sq_gettop(v) >= 2 && sq_gettype(v, 2) == OT_STRING) {
        const SQChar* err = nullptr;
        sq_getstring(v, 2, &err);
        pf(v, "\nAN ERROR HAS OCCURRED [%s]\n", err);
    } else if (sq_gettop(v) >= 2 && SQ_SUCCEEDED(sq_tostring(v, 2))) {
        const SQChar* err = nullptr;
        sq_getstring(v, -1, &err);
        pf(v, "\nAN ERROR HAS OCCURRED [%s]\n", err ? err : "unknown");
        sq_poptop(v);
    } else {
        pf(v, "\nAN ERROR HAS OCCURRED [unknown]\n");
    }
    sqstd_printcallstack(v);
    return 0;
}

void aux_compiler_error(HSQUIRRELVM v, const SQChar* desc, const SQChar* source, SQInteger line, SQInteger column)
{
    SQPRINTFUNCTION pf = sq_geterrorfunc(v);
    if (pf)
        pf(v, "%s line = (%d) column = (%d) : error %s\n", source ? source : "unknown", line, column,
           desc ? desc : "");
}

}  // namespace

// Level 0 is the function calling this (normally the error handler), so frames start at 1.
void sqstd_printcallstack(HSQUIRRELVM v)
{
    SQPRINTFUNCTION pf = sq_geterrorfunc(v);
    if (!pf)
        return;
    pf(v, "\nCALLSTACK\n");
    SQStackInfos si;
    SQInteger level = 1;
    for (; SQ_SUCCEEDED(sq_stackinfos(v, level, &si)); ++level) {
        if (level > kMaxReportedFrames)
            continue;  // keep counting the frames
        pf(v, "*FUNCTION [%s()] %s line [%d]\n", si.funcname ? si.funcname : "unknown",
           si.source ? si.source : "unknown", si.line);
    }
    if (level - 1 > kMaxReportedFrames)
        pf(v, "*... %d more frames\n", level - 1 - kMaxReportedFrames);

    pf(v, "\nLOCALS\n");
    for (SQInteger lv = 1; lv < level && lv <= kMaxLocalsFrames; ++lv) {
        for (SQUnsignedInteger seq = 0;; ++seq) {
            const SQChar* name = sq_getlocal(v, SQUnsignedInteger(lv), seq);
            if (!name)
                break;
            aux_print_local(v, pf, name);
            sq_poptop(v);
        }
    }
}

void sqstd_seterrorhandlers(HSQUIRRELVM v)
{
    sq_setcompilererrorhandler(v, aux_compiler_error);
    sq_newclosure(v, aux_runtime_error, 0);
    sq_seterrorhandler(v);
}
