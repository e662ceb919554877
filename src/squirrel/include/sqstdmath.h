/* sqstdmath.h: the standard math library (sqrt, sin, ..., rand, PI, RAND_MAX). */
#ifndef RH_SQSTDMATH_H
#define RH_SQSTDMATH_H

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the math functions and constants into the table on top of the stack. */
SQUIRREL_API SQRESULT sqstd_register_mathlib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif

#endif
