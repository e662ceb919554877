/* sqstdstring.h: the standard string library (format, strip, split, regexp, ...) and the
 * regular-expression engine behind the regexp class. */
#ifndef RH_SQSTDSTRING_H
#define RH_SQSTDSTRING_H

#include "squirrel.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int SQRexBool;
typedef struct SQRex SQRex;

/* A capture: its first character and length (begin is NULL when the group did not match). */
typedef struct {
  const SQChar *begin;
  SQInteger len;
} SQRexMatch;

/* Compiles a pattern; returns NULL and points *error at a static message on failure. */
SQUIRREL_API SQRex *sqstd_rex_compile(const SQChar *pattern, const SQChar **error);
SQUIRREL_API void sqstd_rex_free(SQRex *exp);
/* True when the whole zero-terminated text matches. */
SQUIRREL_API SQBool sqstd_rex_match(SQRex *exp, const SQChar *text);
/* Leftmost match in a zero-terminated text; out_begin/out_end may be NULL. */
SQUIRREL_API SQBool sqstd_rex_search(SQRex *exp, const SQChar *text, const SQChar **out_begin,
                                     const SQChar **out_end);
/* Leftmost match in [text_begin, text_end); '^' anchors at text_begin. */
SQUIRREL_API SQBool sqstd_rex_searchrange(SQRex *exp, const SQChar *text_begin, const SQChar *text_end,
                                          const SQChar **out_begin, const SQChar **out_end);
/* Number of captures including the whole match. */
SQUIRREL_API SQInteger sqstd_rex_getsubexpcount(SQRex *exp);
/* Capture n of the last successful match or search. */
SQUIRREL_API SQBool sqstd_rex_getsubexp(SQRex *exp, SQInteger n, SQRexMatch *subexp);

/* Formats like the script function format(): the format string is at nformatstringidx and
 * its arguments follow it. *output points into the VM's scratch pad (valid until its next
 * use). On error the VM's error is set and SQ_ERROR returned. */
SQUIRREL_API SQRESULT sqstd_format(HSQUIRRELVM v, SQInteger nformatstringidx, SQInteger *outlen,
                                   SQChar **output);

/* Registers the string functions and the regexp class into the table on top of the stack. */
SQUIRREL_API SQRESULT sqstd_register_stringlib(HSQUIRRELVM v);

#ifdef __cplusplus
}
#endif

#endif
