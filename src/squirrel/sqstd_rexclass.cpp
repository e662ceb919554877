// The script-visible `regexp` class and the sqstd_rex_* C functions, both thin layers over
// sqstd::Regexp. A regexp instance owns its compiled Regexp through the instance user pointer;
// the release hook frees it, and the class type tag keeps methods from reading the user
// pointer of some other instance.
#include "sqstd_regexp.h"
#include "sqstdstring.h"

#include <cstring>
#include <new>
#include <string_view>

void sqstd_register_regexp_class(HSQUIRRELVM v);

namespace {

using sqstd::Regexp;

// Allocation failure inside a method (a huge subject or pattern) becomes a script error
// instead of escaping through the VM.
template <SQFUNCTION F>
SQInteger rex_nothrow(HSQUIRRELVM v)
{
    try {
        return F(v);
    } catch (const std::bad_alloc&) {
        return sq_throwerror(v, "out of memory");
    }
}

const int kRexTagAnchor = 0;
SQUserPointer rex_tag() { return SQUserPointer(&kRexTagAnchor); }

SQInteger rex_release(SQUserPointer p, SQInteger)
{
    delete static_cast<Regexp*>(p);
    return 1;
}

Regexp* rex_self(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &p, rex_tag())) || !p)
        return nullptr;
    return static_cast<Regexp*>(p);
}

SQInteger rex_constructor(HSQUIRRELVM v)
{
    const SQChar* pattern = nullptr;
    sq_getstring(v, 2, &pattern);
    Regexp* re = new (std::nothrow) Regexp;
    if (!re)
        return sq_throwerror(v, "out of memory");
    if (!re->compile(std::string_view(pattern, size_t(sq_getsize(v, 2))))) {
        const char* err = re->error();  // a static string, outlives re
        delete re;
        return sq_throwerror(v, err);
    }
    if (SQ_FAILED(sq_setinstanceup(v, 1, re))) {
        delete re;
        return sq_throwerror(v, "regexp: cannot attach to the instance");
    }
    sq_setreleasehook(v, 1, rex_release);
    return 0;
}

void rex_push_span(HSQUIRRELVM v, Regexp::Span s)
{
    // A group that took no part in the match reports {begin = 0, end = 0}.
    if (s.begin < 0)
        s = {0, 0};
    sq_newtable(v);
    sq_pushstring(v, "begin", 5);
    sq_pushinteger(v, s.begin);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "end", 3);
    sq_pushinteger(v, s.end);
    sq_newslot(v, -3, SQFalse);
}

// Shared by search and capture: runs the search from the optional start offset (argument 3).
// Returns 1 on a match, 0 on none, SQ_ERROR with the error set.
SQInteger rex_run_search(HSQUIRRELVM v, Regexp** out)
{
    Regexp* re = rex_self(v);
    if (!re)
        return sq_throwerror(v, "regexp: not a regexp instance");
    const SQChar* s = nullptr;
    sq_getstring(v, 2, &s);
    SQInteger len = sq_getsize(v, 2);
    SQInteger start = 0;
    if (sq_gettop(v) >= 3) {
        if (sq_gettype(v, 3) == OT_FLOAT) {
            SQFloat f = 0;
            sq_getfloat(v, 3, &f);
            start = f < 0 ? -1 : (f <= SQFloat(len) ? SQInteger(f) : len + 1);
        } else {
            sq_getinteger(v, 3, &start);
        }
    }
    if (start < 0)
        return sq_throwerror(v, "invalid starting position");
    if (start > len)  // nothing left to search: no match
        return 0;
    Regexp::Result r = re->search(s, size_t(len), size_t(start));
    if (r == Regexp::Result::TooComplex)
        return sq_throwerror(v, "regexp: expression too complex for this subject");
    *out = re;
    return r == Regexp::Result::Match ? 1 : 0;
}

SQInteger rex_search(HSQUIRRELVM v)
{
    Regexp* re = nullptr;
    SQInteger r = rex_run_search(v, &re);
    if (r < 0)
        return r;
    if (r == 0)
        sq_pushnull(v);
    else
        rex_push_span(v, re->subexp(0));
    return 1;
}

SQInteger rex_capture(HSQUIRRELVM v)
{
    Regexp* re = nullptr;
    SQInteger r = rex_run_search(v, &re);
    if (r < 0)
        return r;
    if (r == 0) {
        sq_pushnull(v);
        return 1;
    }
    sq_newarray(v, 0);
    for (int i = 0; i < re->subexp_count(); ++i) {
        rex_push_span(v, re->subexp(i));
        sq_arrayappend(v, -2);
    }
    return 1;
}

SQInteger rex_match(HSQUIRRELVM v)
{
    Regexp* re = rex_self(v);
    if (!re)
        return sq_throwerror(v, "regexp: not a regexp instance");
    const SQChar* s = nullptr;
    sq_getstring(v, 2, &s);
    Regexp::Result r = re->match(s, size_t(sq_getsize(v, 2)));
    if (r == Regexp::Result::TooComplex)
        return sq_throwerror(v, "regexp: expression too complex for this subject");
    sq_pushbool(v, r == Regexp::Result::Match);
    return 1;
}

SQInteger rex_subexpcount(HSQUIRRELVM v)
{
    Regexp* re = rex_self(v);
    if (!re)
        return sq_throwerror(v, "regexp: not a regexp instance");
    sq_pushinteger(v, re->subexp_count());
    return 1;
}

// `clone` copies an instance without its user pointer; the copy gets its own program.
SQInteger rex_cloned(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 2, &p, rex_tag())) || !p)
        return 0;
    Regexp* copy = new (std::nothrow) Regexp(*static_cast<Regexp*>(p));
    if (!copy)
        return sq_throwerror(v, "out of memory");
    if (SQ_FAILED(sq_setinstanceup(v, 1, copy))) {
        delete copy;
        return sq_throwerror(v, "regexp: cannot attach to the instance");
    }
    sq_setreleasehook(v, 1, rex_release);
    return 0;
}

SQInteger rex_typeof(HSQUIRRELVM v)
{
    sq_pushstring(v, "regexp", -1);
    return 1;
}

const SQRegFunction kRexMethods[] = {
    {"constructor", rex_nothrow<rex_constructor>, 2, "xs"},
    {"search", rex_nothrow<rex_search>, -2, "xsn"},
    {"match", rex_nothrow<rex_match>, 2, "xs"},
    {"capture", rex_nothrow<rex_capture>, -2, "xsn"},
    {"subexpcount", rex_nothrow<rex_subexpcount>, 1, "x"},
    {"_typeof", rex_typeof, 1, "x"},
    {"_cloned", rex_nothrow<rex_cloned>, 2, "xx"},
};

}  // namespace

void sqstd_register_regexp_class(HSQUIRRELVM v)
{
    sq_pushstring(v, "regexp", -1);
    sq_newclass(v, SQFalse);
    sq_settypetag(v, -1, rex_tag());
    for (const SQRegFunction& f : kRexMethods) {
        sq_pushstring(v, f.name, -1);
        sq_newclosure(v, f.f, 0);
        sq_setparamscheck(v, f.nparamscheck, f.typemask);
        sq_setnativeclosurename(v, -1, f.name);
        sq_newslot(v, -3, SQFalse);
    }
    sq_newslot(v, -3, SQFalse);
}

// {=============================== C API

struct SQRex {
    Regexp re;
    const SQChar* base = nullptr;  // subject of the last successful search or match
};

SQRex* sqstd_rex_compile(const SQChar* pattern, const SQChar** error)
{
    SQRex* exp = new (std::nothrow) SQRex;
    if (!exp) {
        if (error)
            *error = "out of memory";
        return nullptr;
    }
    bool ok = false;
    try {
        ok = exp->re.compile(pattern ? pattern : "");
    } catch (const std::bad_alloc&) {
        if (error)
            *error = "out of memory";
        delete exp;
        return nullptr;
    }
    if (!ok) {
        if (error)
            *error = exp->re.error();
        delete exp;
        return nullptr;
    }
    return exp;
}

void sqstd_rex_free(SQRex* exp) { delete exp; }

SQBool sqstd_rex_match(SQRex* exp, const SQChar* text)
{
    if (!exp || !text)
        return SQFalse;
    size_t len = strlen(text);
    try {
        if (exp->re.match(text, len) != Regexp::Result::Match)
            return SQFalse;
    } catch (const std::bad_alloc&) {
        return SQFalse;
    }
    exp->base = text;
    return SQTrue;
}

SQBool sqstd_rex_searchrange(SQRex* exp, const SQChar* text_begin, const SQChar* text_end,
                             const SQChar** out_begin, const SQChar** out_end)
{
    if (!exp || !text_begin || text_end < text_begin)
        return SQFalse;
    try {
        if (exp->re.search(text_begin, size_t(text_end - text_begin), 0) != Regexp::Result::Match)
            return SQFalse;
    } catch (const std::bad_alloc&) {
        return SQFalse;
    }
    exp->base = text_begin;
    Regexp::Span s = exp->re.subexp(0);
    if (out_begin)
        *out_begin = text_begin + s.begin;
    if (out_end)
        *out_end = text_begin + s.end;
    return SQTrue;
}

SQBool sqstd_rex_search(SQRex* exp, const SQChar* text, const SQChar** out_begin, const SQChar** out_end)
{
    if (!text)
        return SQFalse;
    return sqstd_rex_searchrange(exp, text, text + strlen(text), out_begin, out_end);
}

SQInteger sqstd_rex_getsubexpcount(SQRex* exp) { return exp ? exp->re.subexp_count() : 0; }

SQBool sqstd_rex_getsubexp(SQRex* exp, SQInteger n, SQRexMatch* subexp)
{
    if (!exp || !subexp || n < 0 || n >= exp->re.subexp_count() || !exp->base)
        return SQFalse;
    Regexp::Span s = exp->re.subexp(n);
    if (s.begin < 0) {
        subexp->begin = nullptr;
        subexp->len = 0;
    } else {
        subexp->begin = exp->base + s.begin;
        subexp->len = s.end - s.begin;
    }
    return SQTrue;
}
