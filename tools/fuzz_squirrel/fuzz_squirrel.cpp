// libFuzzer target: compiles and runs arbitrary Squirrel source with the base, math and string
// libraries and the error handlers installed. Step and memory limits end endless loops and
// runaway growth as script errors, so only real faults remain: crashes, sanitizer reports,
// leaks, and hangs inside a single native call.
// Built with clang by scripts/fuzz-squirrel.sh, never by the main (GCC) build.
#include "sqlib_internal.h"
#include "sqstdaux.h"
#include "sqstdmath.h"
#include "sqstdstring.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace {

constexpr size_t kMaxSource = 16 * 1024;
constexpr SQUnsignedInteger kStepLimit = 300000;
constexpr size_t kMemoryLimit = 256u << 20;

// Formats every message (so bad format arguments still surface) and throws the text away.
void fuzz_print(HSQUIRRELVM, const SQChar* fmt, ...)
{
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > kMaxSource)
        return 0;
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, fuzz_print, fuzz_print);
    sqi_set_step_limit(v, kStepLimit);
    sqi_set_memory_limit(v, kMemoryLimit);
    sq_pushroottable(v);
    sqstd_register_mathlib(v);
    sqstd_register_stringlib(v);
    sq_pop(v, 1);
    sqstd_seterrorhandlers(v);

    const SQInteger top = sq_gettop(v);
    if (SQ_SUCCEEDED(sq_compilebuffer(v, reinterpret_cast<const SQChar*>(data), SQInteger(size), "fuzz", SQTrue))) {
        sq_pushroottable(v);
        sq_call(v, 1, SQFalse, SQTrue);
    }
    sq_settop(v, top);
    sq_collectgarbage(v);
    sq_close(v);
    return 0;
}
