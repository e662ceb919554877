// The standard math library: the C math functions over SQFloat, abs (integer result), the C
// library's srand/rand (so seeded sequences match other programs on the same C library), and
// the constants PI and RAND_MAX.
#include "sqstdmath.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

// Argument checks (".n") guarantee a number; integers convert to float.
SQFloat math_arg(HSQUIRRELVM v, SQInteger idx)
{
    if (sq_gettype(v, idx) == OT_INTEGER) {
        SQInteger i = 0;
        sq_getinteger(v, idx, &i);
        return SQFloat(i);
    }
    SQFloat f = 0;
    sq_getfloat(v, idx, &f);
    return f;
}

// Results are computed in double and rounded once to the 32-bit SQFloat.
template <double (*F)(double)>
SQInteger math_unary(HSQUIRRELVM v)
{
    sq_pushfloat(v, SQFloat(F(double(math_arg(v, 2)))));
    return 1;
}

template <double (*F)(double, double)>
SQInteger math_binary(HSQUIRRELVM v)
{
    sq_pushfloat(v, SQFloat(F(double(math_arg(v, 2)), double(math_arg(v, 3)))));
    return 1;
}

double math_sqrt(double x) { return std::sqrt(x); }
double math_sin(double x) { return std::sin(x); }
double math_cos(double x) { return std::cos(x); }
double math_tan(double x) { return std::tan(x); }
double math_asin(double x) { return std::asin(x); }
double math_acos(double x) { return std::acos(x); }
double math_atan(double x) { return std::atan(x); }
double math_log(double x) { return std::log(x); }
double math_log10(double x) { return std::log10(x); }
double math_exp(double x) { return std::exp(x); }
double math_floor(double x) { return std::floor(x); }
double math_ceil(double x) { return std::ceil(x); }
double math_fabs(double x) { return std::fabs(x); }
double math_atan2(double y, double x) { return std::atan2(y, x); }
double math_pow(double x, double y) { return std::pow(x, y); }

// abs of a float truncates its magnitude toward zero (abs(-2.9) is 2), saturating at the
// integer range; abs(-2147483648) wraps to itself, as integer negation does.
SQInteger math_abs(HSQUIRRELVM v)
{
    SQInteger i = 0;
    if (sq_gettype(v, 2) == OT_INTEGER) {
        sq_getinteger(v, 2, &i);
        SQUnsignedInteger u = SQUnsignedInteger(i);
        sq_pushinteger(v, i < 0 ? SQInteger(0u - u) : i);
        return 1;
    }
    SQFloat f = std::fabs(math_arg(v, 2));
    if (f != f)
        i = 0;
    else if (f >= 2147483648.0f)
        i = INT32_MAX;
    else
        i = SQInteger(f);
    sq_pushinteger(v, i);
    return 1;
}

SQInteger math_srand(HSQUIRRELVM v)
{
    SQInteger seed = 0;
    if (sq_gettype(v, 2) == OT_INTEGER)
        sq_getinteger(v, 2, &seed);
    else
        seed = SQInteger(math_arg(v, 2));
    std::srand(unsigned(seed));
    return 0;
}

SQInteger math_rand(HSQUIRRELVM v)
{
    sq_pushinteger(v, SQInteger(std::rand()));
    return 1;
}

const SQRegFunction kMathFuncs[] = {
    {"sqrt", math_unary<math_sqrt>, 2, ".n"},
    {"sin", math_unary<math_sin>, 2, ".n"},
    {"cos", math_unary<math_cos>, 2, ".n"},
    {"asin", math_unary<math_asin>, 2, ".n"},
    {"acos", math_unary<math_acos>, 2, ".n"},
    {"log", math_unary<math_log>, 2, ".n"},
    {"log10", math_unary<math_log10>, 2, ".n"},
    {"tan", math_unary<math_tan>, 2, ".n"},
    {"atan", math_unary<math_atan>, 2, ".n"},
    {"atan2", math_binary<math_atan2>, 3, ".nn"},
    {"pow", math_binary<math_pow>, 3, ".nn"},
    {"floor", math_unary<math_floor>, 2, ".n"},
    {"ceil", math_unary<math_ceil>, 2, ".n"},
    {"exp", math_unary<math_exp>, 2, ".n"},
    {"fabs", math_unary<math_fabs>, 2, ".n"},
    {"abs", math_abs, 2, ".n"},
    {"srand", math_srand, 2, ".n"},
    {"rand", math_rand, 1, nullptr},
};

}  // namespace

SQRESULT sqstd_register_mathlib(HSQUIRRELVM v)
{
    for (const SQRegFunction& f : kMathFuncs) {
        sq_pushstring(v, f.name, -1);
        sq_newclosure(v, f.f, 0);
        sq_setparamscheck(v, f.nparamscheck, f.typemask);
        sq_setnativeclosurename(v, -1, f.name);
        sq_newslot(v, -3, SQFalse);
    }
    sq_pushstring(v, "RAND_MAX", -1);
    sq_pushinteger(v, RAND_MAX);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "PI", -1);
    sq_pushfloat(v, SQFloat(3.14159265358979323846));
    sq_newslot(v, -3, SQFalse);
    return SQ_OK;
}
