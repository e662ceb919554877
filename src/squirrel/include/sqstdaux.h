/* sqstdaux.h: error reporting helpers for hosts (the runtime and compiler error handlers). */
#ifndef RH_SQSTDAUX_H
#define RH_SQSTDAUX_H

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Installs a runtime error handler that prints the error and the call stack with locals,
 * and a compiler error handler that prints source, line and column, both through the VM's
 * error function (sq_setprintfunc). */
SQUIRREL_API void sqstd_seterrorhandlers(HSQUIRRELVM v);
/* Prints the call stack of v with the locals of each frame through the error function. */
SQUIRREL_API void sqstd_printcallstack(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif

#endif
