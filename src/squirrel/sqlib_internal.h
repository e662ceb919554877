// sqlib_internal.h: the contract between the core runtime and the base library.
// The core creates one mutable default-delegate table per type; the base library fills
// them and registers the base globals, using the public API plus the services below.
#pragma once
#include "squirrel.h"

// Pushes the default delegate table of a type: OT_TABLE OT_ARRAY OT_STRING OT_INTEGER
// OT_FLOAT OT_BOOL OT_CLOSURE (shared with OT_NATIVECLOSURE) OT_GENERATOR OT_THREAD OT_CLASS
// OT_INSTANCE OT_WEAKREF (OT_USERDATA gets an empty table).
void sqi_push_default_delegate(HSQUIRRELVM v, SQObjectType t);

// Implemented by the base library: base globals into the root table (stack balanced).
void sqi_base_register(HSQUIRRELVM v);
// Implemented by the base library: fills the default delegate tables (stack balanced).
void sqi_fill_default_delegates(HSQUIRRELVM v);

// ---- Services of the core for the base library --------------------------------------
// Pushes the raw type name of the value at idx ("integer", "table", "function" for both
// closure kinds...), ignoring _typeof.
void sqi_push_typename(HSQUIRRELVM v, SQInteger idx);
// Status of the generator at idx: "running", "suspended" or "dead" (null if no generator).
const SQChar *sqi_generator_status(HSQUIRRELVM v, SQInteger idx);
// Pushes the getinfos() table of the closure at idx (native or script):
// { native, name, src, parameters, defparams, varargs } for scripts, { native, name,
// paramscheck, typecheck } for natives.
SQRESULT sqi_closure_infos(HSQUIRRELVM v, SQInteger idx);
// Compares two values like the <=> operator (calls _cmp); on success stores -1/0/1.
SQRESULT sqi_compare(HSQUIRRELVM v, SQInteger idx1, SQInteger idx2, SQInteger *result);
// Number of objects freed by the cycle collector.
SQInteger sqi_collect(HSQUIRRELVM v);
// Resource limits for untrusted scripts (fuzzing, sandboxes). After `steps` more backward
// jumps and calls the running script fails with "step limit exceeded"; 0 disables. When
// strings and tables hold more than `bytes`, string concatenation, table slot creation and
// array literals fail with "out of memory"; 0 disables. Both errors skip try/catch.
// Shared by all threads of the VM.
void sqi_set_step_limit(HSQUIRRELVM v, SQUnsignedInteger steps);
void sqi_set_memory_limit(HSQUIRRELVM v, size_t bytes);
// For natives about to allocate `extra` bytes: SQ_ERROR with the (try/catch-skipping)
// error "out of memory" when the accounted memory plus extra is above the limit; SQ_OK
// otherwise or without a limit. Use: if (SQ_FAILED(sqi_check_memory(v, n))) return SQ_ERROR;
SQRESULT sqi_check_memory(HSQUIRRELVM v, size_t extra);

// Direct element access for hot array paths (sort): returns the element storage and size
// of the array at idx, or null when it is not an array. Valid until the array is resized.
// Elements may be read or permuted (swapping keeps reference counts right), never
// overwritten.
SQObject *sqi_array_data(HSQUIRRELVM v, SQInteger idx, SQInteger *size);
// Element i of the array at idx as stored (without turning an array of scalars into full
// values as sqi_array_data does); SQ_ERROR when there is none.
SQRESULT sqi_array_get(HSQUIRRELVM v, SQInteger idx, SQInteger i, SQObject *out);
// Sorts the array at idx by value in place when every element is an integer; SQ_ERROR
// (array untouched) otherwise.
SQRESULT sqi_array_sort_integers(HSQUIRRELVM v, SQInteger idx);
