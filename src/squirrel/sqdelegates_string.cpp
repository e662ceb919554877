// sqdelegates_string.cpp: the default delegate of strings (len, tointeger, tofloat,
// tostring, slice, find, tolower, toupper, weakref). Strings are 8-bit and may hold zero
// bytes, so every operation works on the length from sq_getsize, not on strlen.
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "sqdelegates_local.h"

static std::string_view string_arg(HSQUIRRELVM v, SQInteger idx) {
    const SQChar *s = nullptr;
    if (SQ_FAILED(sq_getstring(v, idx, &s)) || !s) return {};
    return std::string_view(s, (size_t)sq_getsize(v, idx));
}

// Parses a number the way the language's string conversions do: in base 10 a '.', 'e'
// or 'E' makes it a float; otherwise strtol rules (leading blanks and sign, trailing
// characters ignored). Fails when no digit was consumed.
static bool string_to_number(const SQChar *s, int base, bool *isfloat, SQInteger *i, SQFloat *f) {
    char *end = nullptr;
    if (base == 10 && std::strpbrk(s, ".eE")) {
        double d = std::strtod(s, &end);
        if (end == s) return false;
        *isfloat = true;
        // Narrowing an out-of-range double is undefined; saturate to infinity instead.
        if (d > FLT_MAX) d = HUGE_VAL;
        if (d < -FLT_MAX) d = -HUGE_VAL;
        *f = (SQFloat)d;
        return true;
    }
    if (base != 0 && (base < 2 || base > 36)) return false;
    long long n = std::strtoll(s, &end, base);
    if (end == s) return false;
    *isfloat = false;
    // Out-of-range text saturates, as strtol does for a 32-bit long.
    if (n > INT32_MAX) n = INT32_MAX;
    if (n < INT32_MIN) n = INT32_MIN;
    *i = (SQInteger)n;
    return true;
}

static SQInteger string_len(HSQUIRRELVM v) {
    sq_pushinteger(v, sq_getsize(v, 1));
    return 1;
}

static SQInteger string_tointeger(HSQUIRRELVM v) {
    const SQChar *s = nullptr;
    sq_getstring(v, 1, &s);
    int base = sq_gettop(v) > 1 ? (int)sqb_getint(v, 2) : 10;
    bool isfloat = false;
    SQInteger i = 0;
    SQFloat f = 0;
    if (!s || !string_to_number(s, base, &isfloat, &i, &f))
        return sq_throwerror(v, "cannot convert the string");
    sq_pushinteger(v, isfloat ? sqb_float_to_int(f) : i);
    return 1;
}

static SQInteger string_tofloat(HSQUIRRELVM v) {
    const SQChar *s = nullptr;
    sq_getstring(v, 1, &s);
    bool isfloat = false;
    SQInteger i = 0;
    SQFloat f = 0;
    if (!s || !string_to_number(s, 10, &isfloat, &i, &f))
        return sq_throwerror(v, "cannot convert the string");
    sq_pushfloat(v, isfloat ? f : (SQFloat)i);
    return 1;
}

static SQInteger string_tostring(HSQUIRRELVM v) {
    sq_push(v, 1);
    return 1;
}

static SQInteger string_slice(HSQUIRRELVM v) {
    std::string_view s = string_arg(v, 1);
    SQInteger start = 0, end = 0;
    if (!sqb_slice_range(v, 2, 3, (SQInteger)s.size(), &start, &end)) return SQ_ERROR;
    sq_pushstring(v, s.data() + start, end - start);
    return 1;
}

static SQInteger string_find(HSQUIRRELVM v) {
    std::string_view s = string_arg(v, 1);
    std::string_view sub = string_arg(v, 2);
    SQInteger start = sq_gettop(v) > 2 ? sqb_getint(v, 3) : 0;
    if (start < 0 || start >= (SQInteger)s.size()) return 0;
    size_t pos = s.find(sub, (size_t)start);
    if (pos == std::string_view::npos) return 0;
    sq_pushinteger(v, (SQInteger)pos);
    return 1;
}

static SQInteger string_changecase(HSQUIRRELVM v, bool upper) {
    std::string_view s = string_arg(v, 1);
    SQInteger start = 0, end = 0;
    if (!sqb_slice_range(v, 2, 3, (SQInteger)s.size(), &start, &end)) return SQ_ERROR;
    SQChar *buf = sq_getscratchpad(v, (SQInteger)s.size() + 1);
    std::memcpy(buf, s.data(), s.size());
    for (SQInteger i = start; i < end; ++i) {
        unsigned char c = (unsigned char)buf[i];
        buf[i] = (SQChar)(upper ? std::toupper(c) : std::tolower(c));
    }
    sq_pushstring(v, buf, (SQInteger)s.size());
    return 1;
}

static SQInteger string_tolower(HSQUIRRELVM v) { return string_changecase(v, false); }
static SQInteger string_toupper(HSQUIRRELVM v) { return string_changecase(v, true); }

static const SQRegFunction string_funcs[] = {
    {"len", string_len, 1, "s"},
    {"tointeger", string_tointeger, -1, "sn"},
    {"tofloat", string_tofloat, 1, "s"},
    {"tostring", string_tostring, 1, "s"},
    {"slice", string_slice, -1, "s n n|o"},
    {"find", string_find, -2, "s s n"},
    {"tolower", string_tolower, -1, "s n n|o"},
    {"toupper", string_toupper, -1, "s n n|o"},
    {"weakref", sqb_weakref, 1, nullptr},
    {nullptr, nullptr, 0, nullptr}};

void sqb_fill_string_delegate(HSQUIRRELVM v) {
    sqi_push_default_delegate(v, OT_STRING);
    sqb_register_functions(v, string_funcs);
    sq_pop(v, 1);
}
