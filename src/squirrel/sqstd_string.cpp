// The standard string library: format (printf-like, checked against the argument types),
// strip/lstrip/rstrip, split, escape, startswith/endswith; sqstd_register_stringlib also
// registers the regexp class (sqstd_rexclass.cpp). Strings are byte arrays that may hold
// zero bytes, so lengths always come from sq_getsize, never strlen.
#include "sqstdstring.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

void sqstd_register_regexp_class(HSQUIRRELVM v);  // sqstd_rexclass.cpp

namespace {

// Allocation failure inside a function (a huge result) becomes a script error instead of
// escaping through the VM.
template <SQFUNCTION F>
SQInteger str_nothrow(HSQUIRRELVM v)
{
    try {
        return F(v);
    } catch (const std::bad_alloc&) {
        return sq_throwerror(v, "out of memory");
    }
}

// {=============================== format

bool fmt_is_digit(char c) { return c >= '0' && c <= '9'; }

// Float to int conversion for integer conversions; saturates where a plain cast is undefined.
SQInteger fmt_float_to_int(SQFloat f)
{
    if (f != f)
        return 0;
    if (f <= -2147483648.0f)
        return INT32_MIN;
    if (f >= 2147483648.0f)
        return INT32_MAX;
    return SQInteger(f);
}

template <typename T>
void fmt_append(std::string& out, const std::string& directive, T value)
{
    char small[128];
    int n = std::snprintf(small, sizeof small, directive.c_str(), value);
    if (n < 0)
        return;
    if (size_t(n) < sizeof small) {
        out.append(small, size_t(n));
        return;
    }
    size_t at = out.size();
    out.resize(at + size_t(n) + 1);
    std::snprintf(&out[at], size_t(n) + 1, directive.c_str(), value);
    out.resize(at + size_t(n));
}

// %s by hand: the argument may contain zero bytes, which printf would stop at.
void fmt_append_string(std::string& out, const char* s, size_t len, bool left, int width, int precision)
{
    if (precision >= 0 && size_t(precision) < len)
        len = size_t(precision);
    size_t pad = width > 0 && size_t(width) > len ? size_t(width) - len : 0;
    if (!left)
        out.append(pad, ' ');
    out.append(s, len);
    if (left)
        out.append(pad, ' ');
}

SQRESULT fmt_run(HSQUIRRELVM v, SQInteger fmtidx, std::string& out)
{
    const SQChar* fmt = nullptr;
    if (SQ_FAILED(sq_getstring(v, fmtidx, &fmt)))
        return sq_throwerror(v, "format string expected");
    const size_t flen = size_t(sq_getsize(v, fmtidx));
    const SQInteger top = sq_gettop(v);
    SQInteger arg = fmtidx + 1;

    for (size_t i = 0; i < flen; ++i) {
        char c = fmt[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 < flen && fmt[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (arg > top)
            return sq_throwerror(v, "not enough paramters for the given format string");
        ++i;
        std::string directive = "%";
        bool left = false;
        while (i < flen && (fmt[i] == '-' || fmt[i] == '+' || fmt[i] == ' ' || fmt[i] == '#' || fmt[i] == '0')) {
            left |= fmt[i] == '-';
            directive += fmt[i++];
        }
        int width = 0, ndigits = 0;
        while (i < flen && fmt_is_digit(fmt[i])) {
            if (++ndigits > 2)
                return sq_throwerror(v, "width format too long");
            width = width * 10 + (fmt[i] - '0');
            directive += fmt[i++];
        }
        int precision = -1;
        if (i < flen && fmt[i] == '.') {
            directive += fmt[i++];
            precision = 0;
            ndigits = 0;
            while (i < flen && fmt_is_digit(fmt[i])) {
                if (++ndigits > 2)
                    return sq_throwerror(v, "precision format too long");
                precision = precision * 10 + (fmt[i] - '0');
                directive += fmt[i++];
            }
        }
        if (i >= flen)
            return sq_throwerror(v, "invalid format");
        const char conv = fmt[i];
        const SQObjectType t = sq_gettype(v, arg);
        switch (conv) {
        case 'd':
        case 'i':
        case 'x':
        case 'X':
        case 'o':
        case 'u':
        case 'c': {
            SQInteger n = 0;
            if (t == OT_INTEGER) {
                sq_getinteger(v, arg, &n);
            } else if (t == OT_FLOAT) {
                SQFloat f = 0;
                sq_getfloat(v, arg, &f);
                n = fmt_float_to_int(f);
            } else {
                return sq_throwerror(v, "integer expected for the specified format");
            }
            directive += conv;
            if (conv == 'd' || conv == 'i' || conv == 'c')
                fmt_append(out, directive, int(n));
            else
                fmt_append(out, directive, unsigned(n));
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G': {
            SQFloat f = 0;
            if (t == OT_FLOAT) {
                sq_getfloat(v, arg, &f);
            } else if (t == OT_INTEGER) {
                SQInteger n = 0;
                sq_getinteger(v, arg, &n);
                f = SQFloat(n);
            } else {
                return sq_throwerror(v, "float expected for the specified format");
            }
            directive += conv;
            fmt_append(out, directive, double(f));
            break;
        }
        case 's': {
            if (t != OT_STRING)
                return sq_throwerror(v, "string expected for the specified format");
            const SQChar* s = nullptr;
            sq_getstring(v, arg, &s);
            fmt_append_string(out, s, size_t(sq_getsize(v, arg)), left, width, precision);
            break;
        }
        default:
            return sq_throwerror(v, "invalid format");
        }
        ++arg;
    }
    return SQ_OK;
}

SQInteger str_format(HSQUIRRELVM v)
{
    SQChar* out = nullptr;
    SQInteger len = 0;
    if (SQ_FAILED(sqstd_format(v, 2, &len, &out)))
        return SQ_ERROR;
    sq_pushstring(v, out, len);
    return 1;
}

// {=============================== strip, split, escape, prefixes

bool str_is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

void str_arg(HSQUIRRELVM v, SQInteger idx, const SQChar** s, size_t* len)
{
    sq_getstring(v, idx, s);
    *len = size_t(sq_getsize(v, idx));
}

SQInteger str_strip_impl(HSQUIRRELVM v, bool front, bool back)
{
    const SQChar* s;
    size_t len;
    str_arg(v, 2, &s, &len);
    size_t b = 0, e = len;
    if (front)
        while (b < e && str_is_space(s[b]))
            ++b;
    if (back)
        while (e > b && str_is_space(s[e - 1]))
            --e;
    sq_pushstring(v, s + b, SQInteger(e - b));
    return 1;
}

SQInteger str_strip(HSQUIRRELVM v) { return str_strip_impl(v, true, true); }
SQInteger str_lstrip(HSQUIRRELVM v) { return str_strip_impl(v, true, false); }
SQInteger str_rstrip(HSQUIRRELVM v) { return str_strip_impl(v, false, true); }

// Splits at every separator character. Empty pieces between separators are kept, except the
// one after a final separator ("a," gives one piece); skipempty drops every empty piece.
SQInteger str_split(HSQUIRRELVM v)
{
    const SQChar *s, *seps;
    size_t len, nseps;
    str_arg(v, 2, &s, &len);
    str_arg(v, 3, &seps, &nseps);
    SQBool skipempty = SQFalse;
    if (sq_gettop(v) >= 4)
        sq_getbool(v, 4, &skipempty);
    if (nseps == 0)
        return sq_throwerror(v, "empty separators string");
    bool is_sep[256] = {};
    for (size_t k = 0; k < nseps; ++k)
        is_sep[uint8_t(seps[k])] = true;
    sq_newarray(v, 0);
    size_t start = 0;
    for (size_t k = 0; k < len; ++k) {
        if (!is_sep[uint8_t(s[k])])
            continue;
        if (!skipempty || k > start) {
            sq_pushstring(v, s + start, SQInteger(k - start));
            sq_arrayappend(v, -2);
        }
        start = k + 1;
    }
    if (start < len) {
        sq_pushstring(v, s + start, SQInteger(len - start));
        sq_arrayappend(v, -2);
    }
    return 1;
}

// Quotes a string so that it reads back as a string literal's contents: quotes and
// backslashes get a backslash, unprintable bytes become \xNN.
SQInteger str_escape(HSQUIRRELVM v)
{
    const SQChar* s;
    size_t len;
    str_arg(v, 2, &s, &len);
    std::string out;
    out.reserve(len);
    static const char kHex[] = "0123456789abcdef";
    for (size_t k = 0; k < len; ++k) {
        unsigned char c = uint8_t(s[k]);
        if (c == '"' || c == '\\' || c == '\'') {
            out += '\\';
            out += char(c);
        } else if (c >= 32 && c < 127) {
            out += char(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    sq_pushstring(v, out.data(), SQInteger(out.size()));
    return 1;
}

SQInteger str_startswith(HSQUIRRELVM v)
{
    const SQChar *s, *p;
    size_t len, plen;
    str_arg(v, 2, &s, &len);
    str_arg(v, 3, &p, &plen);
    sq_pushbool(v, plen <= len && std::string_view(s, plen) == std::string_view(p, plen));
    return 1;
}

SQInteger str_endswith(HSQUIRRELVM v)
{
    const SQChar *s, *p;
    size_t len, plen;
    str_arg(v, 2, &s, &len);
    str_arg(v, 3, &p, &plen);
    sq_pushbool(v, plen <= len && std::string_view(s + len - plen, plen) == std::string_view(p, plen));
    return 1;
}

const SQRegFunction kStringFuncs[] = {
    {"format", str_nothrow<str_format>, -2, ".s"},
    {"strip", str_nothrow<str_strip>, 2, ".s"},
    {"lstrip", str_nothrow<str_lstrip>, 2, ".s"},
    {"rstrip", str_nothrow<str_rstrip>, 2, ".s"},
    {"split", str_nothrow<str_split>, -3, ".ssb"},
    {"escape", str_nothrow<str_escape>, 2, ".s"},
    {"startswith", str_nothrow<str_startswith>, 3, ".ss"},
    {"endswith", str_nothrow<str_endswith>, 3, ".ss"},
};

}  // namespace

SQRESULT sqstd_format(HSQUIRRELVM v, SQInteger nformatstringidx, SQInteger* outlen, SQChar** output)
{
    std::string out;
    try {
        if (SQ_FAILED(fmt_run(v, nformatstringidx, out)))
            return SQ_ERROR;
    } catch (const std::bad_alloc&) {
        return sq_throwerror(v, "out of memory");
    }
    if (out.size() >= size_t(INT32_MAX))
        return sq_throwerror(v, "format: result too long");
    SQChar* buf = sq_getscratchpad(v, SQInteger(out.size() + 1));
    if (!out.empty())
        memcpy(buf, out.data(), out.size());
    buf[out.size()] = '\0';
    *outlen = SQInteger(out.size());
    *output = buf;
    return SQ_OK;
}

SQRESULT sqstd_register_stringlib(HSQUIRRELVM v)
{
    for (const SQRegFunction& f : kStringFuncs) {
        sq_pushstring(v, f.name, -1);
        sq_newclosure(v, f.f, 0);
        sq_setparamscheck(v, f.nparamscheck, f.typemask);
        sq_setnativeclosurename(v, -1, f.name);
        sq_newslot(v, -3, SQFalse);
    }
    sqstd_register_regexp_class(v);
    return SQ_OK;
}
