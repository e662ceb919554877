/* squirrel.h: public C API of the Runeholm Squirrel 3.1 runtime.
 *
 * Values cross the API on a per-VM stack addressed by index: positive indexes count from
 * the bottom of the current frame (1 is the first slot), negative ones from the top (-1 is
 * the top). Functions returning SQRESULT give SQ_OK (>= 0) on success and SQ_ERROR (< 0)
 * on failure, with the error object readable through sq_getlasterror.
 *
 * Sizes follow a 32-bit build: SQInteger is a 32-bit int, SQFloat a 32-bit float and
 * SQChar is char (8-bit strings).
 */
#ifndef RH_SQUIRREL_H
#define RH_SQUIRREL_H

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <ctype.h>
#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef SQUIRREL_API
#define SQUIRREL_API extern
#endif

/* ---- Basic types ------------------------------------------------------------------ */
typedef int SQInteger;
typedef unsigned int SQUnsignedInteger;
typedef unsigned int SQHash;
typedef int SQInt32;
typedef unsigned int SQUnsignedInteger32;
typedef float SQFloat;
typedef long long SQRawObjectVal; /* raw 64-bit payload of an object */
typedef void *SQUserPointer;
typedef SQUnsignedInteger SQBool;
typedef SQInteger SQRESULT;
typedef char SQChar;

#define SQ_ALIGNMENT 8
#define SQTrue (1)
#define SQFalse (0)
#define SQ_OK (0)
#define SQ_ERROR (-1)
#define SQ_FAILED(res) ((res) < 0)
#define SQ_SUCCEEDED(res) ((res) >= 0)

#define SQUIRREL_VERSION "Squirrel 3.1 stable"
#define SQUIRREL_COPYRIGHT "Runeholm Squirrel 3.1 runtime"
#define SQUIRREL_AUTHOR "Runeholm developers"
#define SQUIRREL_VERSION_NUMBER 310

#define SQUIRREL_EOB 0
#define SQ_BYTECODE_STREAM_TAG 0xFAFA

/* Thread (VM) states returned by sq_getvmstate. */
#define SQ_VMSTATE_IDLE 0
#define SQ_VMSTATE_RUNNING 1
#define SQ_VMSTATE_SUSPENDED 2

/* Passed as nparamscheck: the type mask must match exactly the number of parameters. */
#define SQ_MATCHTYPEMASKSTRING (-99999)

/* ---- Character helpers (SQChar is char) ----------------------------------------------- */
#define _SC(a) a
#define scstrcmp strcmp
#define scstrncmp strncmp
#define scsprintf snprintf
#define scvsprintf vsnprintf
#define scstrlen strlen
#define scstrtod strtod
#define scstrtol strtol
#define scstrtoul strtoul
#define scatoi atoi
#define scstrcpy strcpy
#define scstrcat strcat
#define scstrchr strchr
#define scstrstr strstr
#define scstrrchr strrchr
#define scprintf printf
#define scfprintf fprintf
#define scvprintf vprintf
#define scvfprintf vfprintf
#define scfopen fopen
#define scgetenv getenv
#define scremove remove
#define screname rename
#define scisspace isspace
#define scisdigit isdigit
#define scisprint isprint
#define scisxdigit isxdigit
#define scisalpha isalpha
#define sciscntrl iscntrl
#define scisalnum isalnum
#define sctolower tolower
#define sctoupper toupper
#define MAX_CHAR 0xFF
#define _PRINT_INT_PREC _SC("")
#define _PRINT_INT_FMT _SC("%d")
#define sq_rsl(l) (l)

/* ---- Object types ------------------------------------------------------------------ */
/* Low bits name the raw type (one bit each), high bits are properties shared by types. */
#define SQOBJECT_REF_COUNTED 0x08000000
#define SQOBJECT_NUMERIC 0x04000000
#define SQOBJECT_DELEGABLE 0x02000000
#define SQOBJECT_CANBEFALSE 0x01000000

#define _RT_MASK 0x00FFFFFF
#define _RAW_TYPE(type) ((type) & _RT_MASK)

#define _RT_NULL 0x00000001
#define _RT_INTEGER 0x00000002
#define _RT_FLOAT 0x00000004
#define _RT_BOOL 0x00000008
#define _RT_STRING 0x00000010
#define _RT_TABLE 0x00000020
#define _RT_ARRAY 0x00000040
#define _RT_USERDATA 0x00000080
#define _RT_CLOSURE 0x00000100
#define _RT_NATIVECLOSURE 0x00000200
#define _RT_GENERATOR 0x00000400
#define _RT_USERPOINTER 0x00000800
#define _RT_THREAD 0x00001000
#define _RT_FUNCPROTO 0x00002000
#define _RT_CLASS 0x00004000
#define _RT_INSTANCE 0x00008000
#define _RT_WEAKREF 0x00010000
#define _RT_OUTER 0x00020000

typedef enum tagSQObjectType {
  OT_NULL = (_RT_NULL | SQOBJECT_CANBEFALSE),
  OT_INTEGER = (_RT_INTEGER | SQOBJECT_NUMERIC | SQOBJECT_CANBEFALSE),
  OT_FLOAT = (_RT_FLOAT | SQOBJECT_NUMERIC | SQOBJECT_CANBEFALSE),
  OT_BOOL = (_RT_BOOL | SQOBJECT_CANBEFALSE),
  OT_STRING = (_RT_STRING | SQOBJECT_REF_COUNTED),
  OT_TABLE = (_RT_TABLE | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
  OT_ARRAY = (_RT_ARRAY | SQOBJECT_REF_COUNTED),
  OT_USERDATA = (_RT_USERDATA | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
  OT_CLOSURE = (_RT_CLOSURE | SQOBJECT_REF_COUNTED),
  OT_NATIVECLOSURE = (_RT_NATIVECLOSURE | SQOBJECT_REF_COUNTED),
  OT_GENERATOR = (_RT_GENERATOR | SQOBJECT_REF_COUNTED),
  OT_USERPOINTER = _RT_USERPOINTER,
  OT_THREAD = (_RT_THREAD | SQOBJECT_REF_COUNTED),
  OT_FUNCPROTO = (_RT_FUNCPROTO | SQOBJECT_REF_COUNTED), /* internal use only */
  OT_CLASS = (_RT_CLASS | SQOBJECT_REF_COUNTED),
  OT_INSTANCE = (_RT_INSTANCE | SQOBJECT_REF_COUNTED | SQOBJECT_DELEGABLE),
  OT_WEAKREF = (_RT_WEAKREF | SQOBJECT_REF_COUNTED),
  OT_OUTER = (_RT_OUTER | SQOBJECT_REF_COUNTED) /* internal use only */
} SQObjectType;

#define ISREFCOUNTED(t) ((t) & SQOBJECT_REF_COUNTED)

/* Opaque runtime structures (defined inside the runtime). */
struct SQVM;
struct SQTable;
struct SQArray;
struct SQString;
struct SQClosure;
struct SQGenerator;
struct SQNativeClosure;
struct SQUserData;
struct SQFunctionProto;
struct SQRefCounted;
struct SQClass;
struct SQInstance;
struct SQDelegable;
struct SQOuter;
struct SQWeakRef;

typedef union tagSQObjectValue {
  struct SQTable *pTable;
  struct SQArray *pArray;
  struct SQClosure *pClosure;
  struct SQOuter *pOuter;
  struct SQGenerator *pGenerator;
  struct SQNativeClosure *pNativeClosure;
  struct SQString *pString;
  struct SQUserData *pUserData;
  SQInteger nInteger;
  SQFloat fFloat;
  SQUserPointer pUserPointer;
  struct SQFunctionProto *pFunctionProto;
  struct SQRefCounted *pRefCounted;
  struct SQDelegable *pDelegable;
  struct SQVM *pThread;
  struct SQClass *pClass;
  struct SQInstance *pInstance;
  struct SQWeakRef *pWeakRef;
  SQRawObjectVal raw;
} SQObjectValue;

/* A value: type tag plus payload. HSQOBJECT handles keep an object alive only while a
 * reference is held through sq_addref (released by sq_release). */
typedef struct tagSQObject {
  SQObjectType _type;
  SQObjectValue _unVal;
} SQObject;

/* Direct access to a member of a class or instance by index (sq_getmemberhandle). */
typedef struct tagSQMemberHandle {
  SQBool _static;
  SQInteger _index;
} SQMemberHandle;

typedef struct SQVM *HSQUIRRELVM;
typedef SQObject HSQOBJECT;
typedef SQMemberHandle HSQMEMBERHANDLE;

/* Native function: arguments are on the stack (1 is 'this'); returns 1 when it pushed a
 * return value, 0 for none, or a negative value (SQ_ERROR) to raise the current error. */
typedef SQInteger (*SQFUNCTION)(HSQUIRRELVM);
/* Called once when a user data or instance is released; size is the user data size. */
typedef SQInteger (*SQRELEASEHOOK)(SQUserPointer, SQInteger size);
/* Compile error report: description, source name, line and column. */
typedef void (*SQCOMPILERERROR)(HSQUIRRELVM, const SQChar * /*desc*/, const SQChar * /*source*/,
                                SQInteger /*line*/, SQInteger /*column*/);
typedef void (*SQPRINTFUNCTION)(HSQUIRRELVM, const SQChar *, ...);
/* Native debug hook: type is 'c' (call), 'r' (return) or 'l' (line). */
typedef void (*SQDEBUGHOOK)(HSQUIRRELVM /*v*/, SQInteger /*type*/, const SQChar * /*sourcename*/,
                            SQInteger /*line*/, const SQChar * /*funcname*/);
typedef SQInteger (*SQWRITEFUNC)(SQUserPointer, SQUserPointer, SQInteger);
typedef SQInteger (*SQREADFUNC)(SQUserPointer, SQUserPointer, SQInteger);
/* Source reader for sq_compile: returns the next character, or 0 at the end. */
typedef SQInteger (*SQLEXREADFUNC)(SQUserPointer);

typedef struct tagSQRegFunction {
  const SQChar *name;
  SQFUNCTION f;
  SQInteger nparamscheck;
  const SQChar *typemask;
} SQRegFunction;

typedef struct tagSQFunctionInfo {
  SQUserPointer funcid;
  const SQChar *name;
  const SQChar *source;
  SQInteger line;
} SQFunctionInfo;

typedef struct tagSQStackInfos {
  const SQChar *funcname;
  const SQChar *source;
  SQInteger line;
} SQStackInfos;

/* ---- VM life cycle -------------------------------------------------------------------- */
SQUIRREL_API HSQUIRRELVM sq_open(SQInteger initialstacksize);
SQUIRREL_API HSQUIRRELVM sq_newthread(HSQUIRRELVM friendvm, SQInteger initialstacksize);
SQUIRREL_API void sq_seterrorhandler(HSQUIRRELVM v);
SQUIRREL_API void sq_close(HSQUIRRELVM v);
SQUIRREL_API void sq_setforeignptr(HSQUIRRELVM v, SQUserPointer p);
SQUIRREL_API SQUserPointer sq_getforeignptr(HSQUIRRELVM v);
SQUIRREL_API void sq_setsharedforeignptr(HSQUIRRELVM v, SQUserPointer p);
SQUIRREL_API SQUserPointer sq_getsharedforeignptr(HSQUIRRELVM v);
SQUIRREL_API void sq_setvmreleasehook(HSQUIRRELVM v, SQRELEASEHOOK hook);
SQUIRREL_API SQRELEASEHOOK sq_getvmreleasehook(HSQUIRRELVM v);
SQUIRREL_API void sq_setsharedreleasehook(HSQUIRRELVM v, SQRELEASEHOOK hook);
SQUIRREL_API SQRELEASEHOOK sq_getsharedreleasehook(HSQUIRRELVM v);
SQUIRREL_API void sq_setprintfunc(HSQUIRRELVM v, SQPRINTFUNCTION printfunc, SQPRINTFUNCTION errfunc);
SQUIRREL_API SQPRINTFUNCTION sq_getprintfunc(HSQUIRRELVM v);
SQUIRREL_API SQPRINTFUNCTION sq_geterrorfunc(HSQUIRRELVM v);
/* Suspends the running thread; use as 'return sq_suspendvm(v);' in a native function. */
SQUIRREL_API SQRESULT sq_suspendvm(HSQUIRRELVM v);
SQUIRREL_API SQRESULT sq_wakeupvm(HSQUIRRELVM v, SQBool resumedret, SQBool retval, SQBool raiseerror,
                                  SQBool throwerror);
SQUIRREL_API SQInteger sq_getvmstate(HSQUIRRELVM v);
SQUIRREL_API SQInteger sq_getversion(void);

/* ---- Compiler ----------------------------------------------------------------------- */
/* Compile a script; on success pushes the main function as a closure. */
SQUIRREL_API SQRESULT sq_compile(HSQUIRRELVM v, SQLEXREADFUNC read, SQUserPointer p,
                                 const SQChar *sourcename, SQBool raiseerror);
SQUIRREL_API SQRESULT sq_compilebuffer(HSQUIRRELVM v, const SQChar *s, SQInteger size,
                                       const SQChar *sourcename, SQBool raiseerror);
SQUIRREL_API void sq_enabledebuginfo(HSQUIRRELVM v, SQBool enable);
SQUIRREL_API void sq_notifyallexceptions(HSQUIRRELVM v, SQBool enable);
SQUIRREL_API void sq_setcompilererrorhandler(HSQUIRRELVM v, SQCOMPILERERROR f);

/* ---- Stack operations --------------------------------------------------------------- */
SQUIRREL_API void sq_push(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API void sq_pop(HSQUIRRELVM v, SQInteger nelemstopop);
SQUIRREL_API void sq_poptop(HSQUIRRELVM v);
SQUIRREL_API void sq_remove(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQInteger sq_gettop(HSQUIRRELVM v);
SQUIRREL_API void sq_settop(HSQUIRRELVM v, SQInteger newtop);
SQUIRREL_API SQRESULT sq_reservestack(HSQUIRRELVM v, SQInteger nsize);
/* Compares the two top values: >0 when -2 > -1, 0 when equal, <0 otherwise. */
SQUIRREL_API SQInteger sq_cmp(HSQUIRRELVM v);
/* Pushes the value at idx of src onto dest. */
SQUIRREL_API void sq_move(HSQUIRRELVM dest, HSQUIRRELVM src, SQInteger idx);

/* ---- Object creation and access ------------------------------------------------------- */
SQUIRREL_API SQUserPointer sq_newuserdata(HSQUIRRELVM v, SQUnsignedInteger size);
SQUIRREL_API void sq_newtable(HSQUIRRELVM v);
SQUIRREL_API void sq_newtableex(HSQUIRRELVM v, SQInteger initialcapacity);
SQUIRREL_API void sq_newarray(HSQUIRRELVM v, SQInteger size);
/* Pops nfreevars values as the free variables of the new native closure. */
SQUIRREL_API void sq_newclosure(HSQUIRRELVM v, SQFUNCTION func, SQUnsignedInteger nfreevars);
/* Argument checks of the native closure on top: nparamscheck > 0 exact count, < 0 at least
 * -nparamscheck, 0 none; typemask chars: o null, i integer, f float, n number, s string,
 * t table, a array, u userdata, c closure, b bool, g generator, p userpointer, v thread,
 * x instance, y class, r weakref, . any, | alternatives, space ignored. */
SQUIRREL_API SQRESULT sq_setparamscheck(HSQUIRRELVM v, SQInteger nparamscheck, const SQChar *typemask);
/* Pops an object and replaces the closure at idx by a copy bound to it as 'this'. */
SQUIRREL_API SQRESULT sq_bindenv(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_setclosureroot(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_getclosureroot(HSQUIRRELVM v, SQInteger idx);
/* len < 0: the string is zero-terminated. */
SQUIRREL_API void sq_pushstring(HSQUIRRELVM v, const SQChar *s, SQInteger len);
SQUIRREL_API void sq_pushfloat(HSQUIRRELVM v, SQFloat f);
SQUIRREL_API void sq_pushinteger(HSQUIRRELVM v, SQInteger n);
SQUIRREL_API void sq_pushbool(HSQUIRRELVM v, SQBool b);
SQUIRREL_API void sq_pushuserpointer(HSQUIRRELVM v, SQUserPointer p);
SQUIRREL_API void sq_pushnull(HSQUIRRELVM v);
SQUIRREL_API void sq_pushthread(HSQUIRRELVM v, HSQUIRRELVM thread);
SQUIRREL_API SQObjectType sq_gettype(HSQUIRRELVM v, SQInteger idx);
/* Pushes the type name of the value, honouring the _typeof metamethod. */
SQUIRREL_API SQRESULT sq_typeof(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQInteger sq_getsize(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQHash sq_gethash(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_getbase(HSQUIRRELVM v, SQInteger idx);
/* True when the value at -2 is an instance of the class at -1 (nothing is popped). */
SQUIRREL_API SQBool sq_instanceof(HSQUIRRELVM v);
/* Pushes the value converted to a string (calls _tostring). */
SQUIRREL_API SQRESULT sq_tostring(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API void sq_tobool(HSQUIRRELVM v, SQInteger idx, SQBool *b);
SQUIRREL_API SQRESULT sq_getstring(HSQUIRRELVM v, SQInteger idx, const SQChar **c);
SQUIRREL_API SQRESULT sq_getinteger(HSQUIRRELVM v, SQInteger idx, SQInteger *i);
SQUIRREL_API SQRESULT sq_getfloat(HSQUIRRELVM v, SQInteger idx, SQFloat *f);
SQUIRREL_API SQRESULT sq_getbool(HSQUIRRELVM v, SQInteger idx, SQBool *b);
SQUIRREL_API SQRESULT sq_getthread(HSQUIRRELVM v, SQInteger idx, HSQUIRRELVM *thread);
SQUIRREL_API SQRESULT sq_getuserpointer(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p);
SQUIRREL_API SQRESULT sq_getuserdata(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer *typetag);
SQUIRREL_API SQRESULT sq_settypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer typetag);
SQUIRREL_API SQRESULT sq_gettypetag(HSQUIRRELVM v, SQInteger idx, SQUserPointer *typetag);
SQUIRREL_API void sq_setreleasehook(HSQUIRRELVM v, SQInteger idx, SQRELEASEHOOK hook);
SQUIRREL_API SQRELEASEHOOK sq_getreleasehook(HSQUIRRELVM v, SQInteger idx);
/* A per-VM buffer of at least minsize characters, valid until the next call. */
SQUIRREL_API SQChar *sq_getscratchpad(HSQUIRRELVM v, SQInteger minsize);
SQUIRREL_API SQRESULT sq_getfunctioninfo(HSQUIRRELVM v, SQInteger level, SQFunctionInfo *fi);
SQUIRREL_API SQRESULT sq_getclosureinfo(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger *nparams,
                                        SQUnsignedInteger *nfreevars);
SQUIRREL_API SQRESULT sq_getclosurename(HSQUIRRELVM v, SQInteger idx);
/* Identity of the function definition of the script closure at idx (the same value as
 * SQFunctionInfo::funcid): every closure made from one definition, bound copies included,
 * gives the same pointer. Fails for other types, native closures included. */
SQUIRREL_API SQRESULT sq_getclosureproto(HSQUIRRELVM v, SQInteger idx, SQUserPointer *funcid);
/* Pushes the environment the closure at idx was bound to with bindenv: the bound object,
 * or null when the closure is unbound or the object has died. Fails for non-closures. */
SQUIRREL_API SQRESULT sq_getclosureenv(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_setnativeclosurename(HSQUIRRELVM v, SQInteger idx, const SQChar *name);
SQUIRREL_API SQRESULT sq_setinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer p);
/* typetag != 0: fails unless the instance's class (or a base) carries that type tag. */
SQUIRREL_API SQRESULT sq_getinstanceup(HSQUIRRELVM v, SQInteger idx, SQUserPointer *p, SQUserPointer typetag);
SQUIRREL_API SQRESULT sq_setclassudsize(HSQUIRRELVM v, SQInteger idx, SQInteger udsize);
/* Pushes a new class; with hasbase the base class is popped first. */
SQUIRREL_API SQRESULT sq_newclass(HSQUIRRELVM v, SQBool hasbase);
/* Pushes an instance of the class at idx without calling its constructor. */
SQUIRREL_API SQRESULT sq_createinstance(HSQUIRRELVM v, SQInteger idx);
/* Pops a member key (null: the class itself) and a value, sets the attributes and pushes
 * the previous ones. */
SQUIRREL_API SQRESULT sq_setattributes(HSQUIRRELVM v, SQInteger idx);
/* Pops a member key (null: the class itself) and pushes its attributes. */
SQUIRREL_API SQRESULT sq_getattributes(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_getclass(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API void sq_weakref(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_getdefaultdelegate(HSQUIRRELVM v, SQObjectType t);
SQUIRREL_API SQRESULT sq_getmemberhandle(HSQUIRRELVM v, SQInteger idx, HSQMEMBERHANDLE *handle);
SQUIRREL_API SQRESULT sq_getbyhandle(HSQUIRRELVM v, SQInteger idx, const HSQMEMBERHANDLE *handle);
SQUIRREL_API SQRESULT sq_setbyhandle(HSQUIRRELVM v, SQInteger idx, const HSQMEMBERHANDLE *handle);

/* ---- Object manipulation ----------------------------------------------------------------- */
SQUIRREL_API void sq_pushroottable(HSQUIRRELVM v);
SQUIRREL_API void sq_pushregistrytable(HSQUIRRELVM v);
SQUIRREL_API void sq_pushconsttable(HSQUIRRELVM v);
SQUIRREL_API SQRESULT sq_setroottable(HSQUIRRELVM v);
SQUIRREL_API SQRESULT sq_setconsttable(HSQUIRRELVM v);
/* Pops key and value and creates the slot in the table/class at idx. */
SQUIRREL_API SQRESULT sq_newslot(HSQUIRRELVM v, SQInteger idx, SQBool bstatic);
/* Pops a key and deletes the slot; pushes the old value when pushval. */
SQUIRREL_API SQRESULT sq_deleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
/* Pops key and value and assigns (delegates and metamethods apply). */
SQUIRREL_API SQRESULT sq_set(HSQUIRRELVM v, SQInteger idx);
/* Pops a key and pushes the value (delegates and metamethods apply). */
SQUIRREL_API SQRESULT sq_get(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_rawget(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_rawset(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_rawdeleteslot(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
/* Pops key, value and attributes (the top three) and adds a class member. */
SQUIRREL_API SQRESULT sq_newmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic);
SQUIRREL_API SQRESULT sq_rawnewmember(HSQUIRRELVM v, SQInteger idx, SQBool bstatic);
SQUIRREL_API SQRESULT sq_arrayappend(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_arraypop(HSQUIRRELVM v, SQInteger idx, SQBool pushval);
SQUIRREL_API SQRESULT sq_arrayresize(HSQUIRRELVM v, SQInteger idx, SQInteger newsize);
SQUIRREL_API SQRESULT sq_arrayreverse(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_arrayremove(HSQUIRRELVM v, SQInteger idx, SQInteger itemidx);
/* Pops a value and inserts it at destpos. */
SQUIRREL_API SQRESULT sq_arrayinsert(HSQUIRRELVM v, SQInteger idx, SQInteger destpos);
/* Pops a table (or null) and makes it the delegate of the object at idx. */
SQUIRREL_API SQRESULT sq_setdelegate(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_getdelegate(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_clone(HSQUIRRELVM v, SQInteger idx);
/* Pops a value and stores it as free variable nval of the closure at idx. */
SQUIRREL_API SQRESULT sq_setfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval);
/* Iteration: push null as the iterator, then each call pops it and pushes iterator, key,
 * value; fails (returns SQ_ERROR without an error) at the end. */
SQUIRREL_API SQRESULT sq_next(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_getweakrefval(HSQUIRRELVM v, SQInteger idx);
SQUIRREL_API SQRESULT sq_clear(HSQUIRRELVM v, SQInteger idx);

/* ---- Calls ------------------------------------------------------------------------------- */
/* Calls the function below the params arguments (the first is 'this'); pops the arguments
 * and, with retval, pushes the return value. The function stays on the stack. */
SQUIRREL_API SQRESULT sq_call(HSQUIRRELVM v, SQInteger params, SQBool retval, SQBool raiseerror);
SQUIRREL_API SQRESULT sq_resume(HSQUIRRELVM v, SQBool retval, SQBool raiseerror);
/* Pushes local idx of the frame level (0 is the current function) and returns its name. */
SQUIRREL_API const SQChar *sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx);
SQUIRREL_API SQRESULT sq_getcallee(HSQUIRRELVM v);
SQUIRREL_API const SQChar *sq_getfreevariable(HSQUIRRELVM v, SQInteger idx, SQUnsignedInteger nval);
/* Sets the current error to a string; use as 'return sq_throwerror(v, "...");'. */
SQUIRREL_API SQRESULT sq_throwerror(HSQUIRRELVM v, const SQChar *err);
/* Pops a value and makes it the current error. */
SQUIRREL_API SQRESULT sq_throwobject(HSQUIRRELVM v);
SQUIRREL_API void sq_reseterror(HSQUIRRELVM v);
SQUIRREL_API void sq_getlasterror(HSQUIRRELVM v);

/* ---- Raw object handling --------------------------------------------------------------- */
SQUIRREL_API SQRESULT sq_getstackobj(HSQUIRRELVM v, SQInteger idx, HSQOBJECT *po);
SQUIRREL_API void sq_pushobject(HSQUIRRELVM v, HSQOBJECT obj);
SQUIRREL_API void sq_addref(HSQUIRRELVM v, HSQOBJECT *po);
/* Returns SQTrue when the object lost its last API reference. */
SQUIRREL_API SQBool sq_release(HSQUIRRELVM v, HSQOBJECT *po);
SQUIRREL_API SQUnsignedInteger sq_getrefcount(HSQUIRRELVM v, HSQOBJECT *po);
SQUIRREL_API SQUnsignedInteger sq_getvmrefcount(HSQUIRRELVM v, const HSQOBJECT *po);
SQUIRREL_API void sq_resetobject(HSQOBJECT *po);
SQUIRREL_API const SQChar *sq_objtostring(const HSQOBJECT *o);
SQUIRREL_API SQBool sq_objtobool(const HSQOBJECT *o);
SQUIRREL_API SQInteger sq_objtointeger(const HSQOBJECT *o);
SQUIRREL_API SQFloat sq_objtofloat(const HSQOBJECT *o);
SQUIRREL_API SQUserPointer sq_objtouserpointer(const HSQOBJECT *o);
SQUIRREL_API SQRESULT sq_getobjtypetag(const HSQOBJECT *o, SQUserPointer *typetag);

/* ---- Garbage collection -------------------------------------------------------------- */
/* Frees unreachable reference cycles; returns how many objects were freed. */
SQUIRREL_API SQInteger sq_collectgarbage(HSQUIRRELVM v);
/* Pushes an array of the unreachable objects (null when none) instead of freeing them. */
SQUIRREL_API SQRESULT sq_resurrectunreachable(HSQUIRRELVM v);

/* ---- Serialization (compiled closures) -------------------------------------------------- */
SQUIRREL_API SQRESULT sq_writeclosure(HSQUIRRELVM vm, SQWRITEFUNC writef, SQUserPointer up);
SQUIRREL_API SQRESULT sq_readclosure(HSQUIRRELVM vm, SQREADFUNC readf, SQUserPointer up);

/* ---- Memory ---------------------------------------------------------------------------- */
SQUIRREL_API void *sq_malloc(SQUnsignedInteger size);
SQUIRREL_API void *sq_realloc(void *p, SQUnsignedInteger oldsize, SQUnsignedInteger newsize);
SQUIRREL_API void sq_free(void *p, SQUnsignedInteger size);

/* ---- Debugging ------------------------------------------------------------------------- */
SQUIRREL_API SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos *si);
/* Pops a closure (or null) used as the debug hook of the VM. */
SQUIRREL_API void sq_setdebughook(HSQUIRRELVM v);
SQUIRREL_API void sq_setnativedebughook(HSQUIRRELVM v, SQDEBUGHOOK hook);

/* ---- Convenience macros ------------------------------------------------------------------ */
#define sq_isnumeric(o) ((o)._type & SQOBJECT_NUMERIC)
#define sq_istable(o) ((o)._type == OT_TABLE)
#define sq_isarray(o) ((o)._type == OT_ARRAY)
#define sq_isfunction(o) ((o)._type == OT_FUNCPROTO)
#define sq_isclosure(o) ((o)._type == OT_CLOSURE)
#define sq_isgenerator(o) ((o)._type == OT_GENERATOR)
#define sq_isnativeclosure(o) ((o)._type == OT_NATIVECLOSURE)
#define sq_isstring(o) ((o)._type == OT_STRING)
#define sq_isinteger(o) ((o)._type == OT_INTEGER)
#define sq_isfloat(o) ((o)._type == OT_FLOAT)
#define sq_isuserpointer(o) ((o)._type == OT_USERPOINTER)
#define sq_isuserdata(o) ((o)._type == OT_USERDATA)
#define sq_isthread(o) ((o)._type == OT_THREAD)
#define sq_isnull(o) ((o)._type == OT_NULL)
#define sq_isclass(o) ((o)._type == OT_CLASS)
#define sq_isinstance(o) ((o)._type == OT_INSTANCE)
#define sq_isbool(o) ((o)._type == OT_BOOL)
#define sq_isweakref(o) ((o)._type == OT_WEAKREF)
#define sq_type(o) ((o)._type)

#ifdef __cplusplus
}
#endif

#endif
