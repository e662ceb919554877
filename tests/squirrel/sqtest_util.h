// Shared helpers of the Squirrel C API tests: a VM with captured print and error output, and
// running a source string as a script.
#pragma once

#include "squirrel.h"
#include "sqstdaux.h"
#include "sqstdmath.h"
#include "sqstdstring.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace sqtest {

// Output captured from print() (out) and from the error function (err).
struct Capture {
    std::string out;
    std::string err;
};

inline void capture_append(std::string& dst, const SQChar* fmt, va_list ap)
{
    char buf[1024];
    va_list copy;
    va_copy(copy, ap);
    int n = vsnprintf(buf, sizeof buf, fmt, copy);
    va_end(copy);
    if (n < 0)
        return;
    if (size_t(n) < sizeof buf) {
        dst.append(buf, size_t(n));
        return;
    }
    std::string big(size_t(n) + 1, '\0');
    vsnprintf(big.data(), big.size(), fmt, ap);
    dst.append(big.data(), size_t(n));
}

inline void capture_print(HSQUIRRELVM v, const SQChar* fmt, ...)
{
    auto* c = static_cast<Capture*>(sq_getsharedforeignptr(v));
    va_list ap;
    va_start(ap, fmt);
    if (c)
        capture_append(c->out, fmt, ap);
    va_end(ap);
}

inline void capture_error(HSQUIRRELVM v, const SQChar* fmt, ...)
{
    auto* c = static_cast<Capture*>(sq_getsharedforeignptr(v));
    va_list ap;
    va_start(ap, fmt);
    if (c)
        capture_append(c->err, fmt, ap);
    va_end(ap);
}

// A VM with the math and string libraries, output captured; closed on destruction.
class Vm {
public:
    explicit Vm(bool error_handlers = false)
    {
        v = sq_open(1024);
        sq_setsharedforeignptr(v, &cap);
        sq_setprintfunc(v, capture_print, capture_error);
        sq_pushroottable(v);
        sqstd_register_mathlib(v);
        sqstd_register_stringlib(v);
        sq_pop(v, 1);
        if (error_handlers)
            sqstd_seterrorhandlers(v);
    }
    ~Vm()
    {
        if (v)
            sq_close(v);
    }
    Vm(const Vm&) = delete;
    Vm& operator=(const Vm&) = delete;

    // Compiles and runs src with the root table as 'this'. On failure returns false and
    // leaves the error (compile or runtime) as text in `error`; the stack is left as found.
    bool run(const std::string& src, std::string* error = nullptr)
    {
        SQInteger top = sq_gettop(v);
        bool ok = false;
        if (SQ_SUCCEEDED(sq_compilebuffer(v, src.data(), SQInteger(src.size()), "test", SQTrue))) {
            sq_pushroottable(v);
            ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue));
        }
        if (!ok && error)
            *error = last_error();
        sq_settop(v, top);
        return ok;
    }

    // The VM's last error as text ("" when it is not a string).
    std::string last_error()
    {
        sq_getlasterror(v);
        const SQChar* s = nullptr;
        std::string r;
        if (SQ_SUCCEEDED(sq_getstring(v, -1, &s)))
            r = s;
        sq_poptop(v);
        return r;
    }

    HSQUIRRELVM v = nullptr;
    Capture cap;
};

// Runs `src`, expecting success, and returns what it printed.
inline std::string run_out(Vm &vm, const std::string &src) {
  std::string err;
  vm.cap.out.clear();
  EXPECT_TRUE(vm.run(src, &err)) << err;
  return vm.cap.out;
}

}  // namespace sqtest
