// Base library and default delegates: behaviour the conformance scripts do not pin down
// (robustness of array.sort against hostile comparators, thread life cycle, conversion
// edge cases, table helpers), exercised through scripts run on a fresh VM.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "squirrel.h"
#include "squirrel/sqlib_internal.h"

namespace {

std::string g_out;

void capture(HSQUIRRELVM, const SQChar *fmt, ...) {
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    g_out += buf;
}

// Runs src on a new VM with only the base library; returns what it printed, followed by
// "ERROR: message" when the script raised an uncaught error.
std::string run(const char *src) {
    g_out.clear();
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, capture, nullptr);
    if (SQ_FAILED(sq_compilebuffer(v, src, (SQInteger)std::strlen(src), "test", SQFalse))) {
        g_out += "COMPILE ERROR";
    } else {
        sq_pushroottable(v);
        if (SQ_FAILED(sq_call(v, 1, SQFalse, SQFalse))) {
            sq_getlasterror(v);
            const SQChar *msg = nullptr;
            if (SQ_SUCCEEDED(sq_tostring(v, -1)) && SQ_SUCCEEDED(sq_getstring(v, -1, &msg)))
                g_out += std::string("ERROR: ") + msg;
        }
    }
    sq_close(v);
    return g_out;
}

}  // namespace

TEST(BaseLibSort, DefaultOrderHandlesSignedExtremesAndLargeIntegers) {
    EXPECT_EQ(run("local a = [5, -1, 2147483647, -2147483647 - 1, 0, 16777217, 16777216];"
                  "a.sort(); foreach (x in a) print(x + \" \");"),
              "-2147483648 -1 0 5 16777216 16777217 2147483647 ");
    EXPECT_EQ(run("local a = [2.5, 1, -3.5, 16777217, 16777216, 0.0];"
                  "a.sort(); foreach (x in a) print(x + \" \");"),
              "-3.5 0 1 2.5 16777216 16777217 ");
    EXPECT_EQ(run("local a = [\"b\", \"a\", \"ab\", \"\"]; a.sort();"
                  "foreach (x in a) print(\"[\" + x + \"]\");"),
              "[][a][ab][b]");
}

TEST(BaseLibSort, IntegerFastPathAgreesWithComparatorOrder) {
    // Full 32-bit range with duplicates: every radix pass and the sign handling are used.
    EXPECT_EQ(run("local a = [], seed = 1;"
                  "for (local i = 0; i < 5000; i++) { seed = seed * 1103515245 + 12345; a.append(i % 7 ? seed : 42); }"
                  "local b = clone a; a.sort(); b.sort(@(x, y) x <=> y);"
                  "local same = true; foreach (i, x in a) if (x != b[i]) same = false;"
                  "print(same + \" \" + (a[0] <= a[1]) + \" \" + a.len());"),
              "true true 5000");
}

TEST(BaseLibSort, UsesCmpMetamethodOfInstances) {
    EXPECT_EQ(run("class P { v = 0; constructor(x) { v = x; } function _cmp(o) { return o.v <=> v; } }"
                  "local a = [P(1), P(3), P(2)]; a.sort(); foreach (p in a) print(p.v);"),
              "321");
}

TEST(BaseLibSort, SelfContradictingComparatorKeepsEveryElement) {
    EXPECT_EQ(run("local a = [], n = 0;"
                  "for (local i = 0; i < 500; i++) a.append(i);"
                  "a.sort(function(x, y) { n++; return (n % 3) - 1; });"
                  "local s = 0; foreach (x in a) s += x;"
                  "print(a.len() + \" \" + s);"),
              "500 124750");
}

TEST(BaseLibSort, ComparatorThatResizesTheArrayFailsCleanly) {
    EXPECT_EQ(run("local a = [3, 1, 2];"
                  "try { a.sort(function(x, y) { a.append(0); return x <=> y; }); }"
                  "catch (e) print(e);"),
              "array resized during sort");
    EXPECT_EQ(run("local a = [3, 1, 2];"
                  "try { a.sort(function(x, y) { a.clear(); return x <=> y; }); }"
                  "catch (e) print(e + \" \" + a.len());"),
              "array resized during sort 0");
}

TEST(BaseLibSort, ComparatorErrorsLeaveTheArrayUntouched) {
    EXPECT_EQ(run("local a = [3, 1, 2]; local n = 0;"
                  "try { a.sort(function(x, y) { if (++n == 2) throw \"stop\"; return x <=> y; }); }"
                  "catch (e) print(e + \":\");"
                  "foreach (x in a) print(x);"),
              "stop:312");
    EXPECT_EQ(run("try { [1, 2].sort(@(a, b) null); } catch (e) print(e);"),
              "numeric value expected as return value of the compare function");
}

TEST(BaseLibSort, FloatComparatorResultsAndWeakrefElements) {
    EXPECT_EQ(run("local a = [1, 3, 2]; a.sort(@(x, y) (y - x) * 0.5);"
                  "foreach (x in a) print(x);"),
              "321");
    EXPECT_EQ(run("local t1 = { k = 2 }, t2 = { k = 1 };"
                  "local a = [t1.weakref(), t2.weakref()];"
                  "a.sort(@(x, y) x.k <=> y.k); print(a[0].k + \"\" + a[1].k + typeof a.top());"),
              "12table");
}

TEST(BaseLibThreads, WakeupThrowAndRestartAfterAnError) {
    EXPECT_EQ(run("local t = newthread(function() {"
                  "  try { suspend(1); } catch (e) { print(\"caught \" + e + \" \"); }"
                  "  return \"done\"; });"
                  "print(t.call() + \" \");"
                  "print(t.wakeupthrow(\"boom\") + \" \" + t.getstatus());"),
              "1 caught boom done idle");
    EXPECT_EQ(run("local t = newthread(function(x) { suspend(x); throw \"bad\"; });"
                  "t.call(1);"
                  "try { t.wakeup(); } catch (e) print(e + \" \" + t.getstatus() + \" \");"
                  "print(t.call(7));"),
              "bad idle 7");
}

TEST(BaseLibThreads, SuspendReachedThroughATailCall) {
    EXPECT_EQ(run("local t = newthread(@(x) suspend(x + 1));"
                  "print(t.call(1) + \" \" + t.getstatus() + \" \" + t.wakeup(5) + \" \" + t.getstatus());"),
              "2 suspended 5 idle");
}

TEST(BaseLibThreads, StackInfosOfASuspendedThread) {
    EXPECT_EQ(run("function worker(a) { local b = a * 2; suspend(b); }"
                  "local t = newthread(worker); t.call(21);"
                  "local si = t.getstackinfos(0);"
                  "print(si.func + \" \" + si.locals.a + \" \" + si.locals.b + \" \" + t.getstackinfos(1));"),
              "worker 21 42 null");
}

TEST(BaseLibConversions, NumbersAtTheEdges) {
    EXPECT_EQ(run("print((1e20).tointeger() + \" \" + (-1e20).tointeger());"),
              "-2147483648 -2147483648");
    // integer text beyond 32 bits saturates (as strtol with a 32-bit long)
    EXPECT_EQ(run("print(\"4294967297\".tointeger() + \" \" + \"0x1f\".tointeger(16) + \" \" +"
                  "\"2.9\".tointeger() + \" \" + \"1e2\".tointeger());"),
              "2147483647 31 2 100");
    EXPECT_EQ(run("try { \"12\".tointeger(99); } catch (e) print(e);"), "cannot convert the string");
    EXPECT_EQ(run("print(\"1e39\".tofloat() > 1e38);"), "true");
    EXPECT_EQ(run("print((-1).tochar().len() + \" \" + (-1).tochar()[0]);"), "1 -1");
}

TEST(BaseLibStrings, CaseRangesAndZeroBytes) {
    EXPECT_EQ(run("print(\"abcdef\".toupper(-2) + \" \" + \"ABCDEF\".tolower(1, -1));"), "abcdEF AbcdeF");
    EXPECT_EQ(run("local s = \"a\\x00b\"; print(s.len() + \" \" + s.find(\"b\") + \" \" + s.slice(2));"),
              "3 2 b");
    EXPECT_EQ(run("print((\"\".find(\"\") == null) + \" \" + \"abc\".find(\"\", 2));"), "true 2");
}

TEST(BaseLibTables, FilterKeysValuesAndRawdelete) {
    EXPECT_EQ(run("local t = { a = 1, b = 2, c = 3 };"
                  "local f = t.filter(@(k, v) v != 2);"
                  "local ks = f.keys(); ks.sort(); local vs = t.values(); vs.sort();"
                  "foreach (k in ks) print(k); foreach (v in vs) print(v);"
                  "print(\" \" + (t.rawdelete(\"zz\") == null) + \" \" + t.rawdelete(\"a\") + \" \" + t.len());"),
              "ac123 true 1 2");
}

TEST(BaseLibArrays, CallbacksMayShrinkTheArray) {
    EXPECT_EQ(run("local a = [1, 2, 3, 4];"
                  "local m = a.map(function(x) { a.pop(); return x * 10; });"
                  "print(m.len() + \" \" + m[0] + \" \" + m[1] + \" \" + a.len());"),
              "2 10 20 2");
    EXPECT_EQ(run("print([1, 2, 3].reduce(@(acc, x) acc + x, 10) + \" \" + [].reduce(@(a, b) a, 5));"),
              "16 5");
    EXPECT_EQ(run("local a = [1, 2]; a.extend(a); foreach (x in a) print(x);"), "1212");
}

TEST(BaseLibArrays, CopiesKeepWeakReferencesWeak) {
    EXPECT_EQ(run("local t = {}; local a = [t.weakref()];"
                  "local s = a.slice(0); local e = []; e.extend(a);"
                  "t = null; print((s[0] == null) + \" \" + (e[0] == null));"),
              "true true");
    EXPECT_EQ(run("local t = { v = 7 }; local a = [t.weakref(), t.weakref()];"
                  "print(typeof a.pop() + \" \" + typeof a.remove(0) + \" \" + a.len());"),
              "table table 0");
}

TEST(BaseLibClasses, MembersAttributesAndRawAccess) {
    EXPECT_EQ(run("class C { x = 1; }"
                  "C.newmember(\"s\", 5, { doc = \"d\" }, true);"
                  "local old = C.setattributes(\"x\", { n = 1 });"
                  "print(C.s + \" \" + C.getattributes(\"s\").doc + \" \" + (old == null) + \" \""
                  "  + C.setattributes(\"x\", null).n + \" \" + (C.getattributes(\"x\") == null));"),
              "5 d true 1 true");
    EXPECT_EQ(run("class C { x = 1; } local i = C(); i.rawset(\"x\", 2);"
                  "print(i.rawget(\"x\") + \" \" + i.rawin(\"x\") + \" \" + i.rawin(\"y\") + \" \""
                  "  + (i.getclass() == C) + \" \" + (C.instance().x));"
                  "try { C.getattributes(\"nope\"); } catch (e) print(\" \" + e);"),
              "2 true false true 1 wrong index");
}

TEST(BaseLibGlobals, ArrayFillAndAssertMessage) {
    EXPECT_EQ(run("try { array(-1); } catch (e) print(e);"), "negative size");
    EXPECT_EQ(run("try { assert(false, \"custom\"); } catch (e) print(e);"), "custom");
    EXPECT_EQ(run("local a = array(3, 1.5); print(a[0] + a[2]);"), "3");
}

TEST(BaseLibGlobals, RegistrationLeavesTheStackBalanced) {
    HSQUIRRELVM v = sq_open(1024);
    EXPECT_EQ(sq_gettop(v), 0);
    sq_pushroottable(v);
    sq_pushstring(v, "_intsize_", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQInteger size = 0;
    sq_getinteger(v, -1, &size);
    EXPECT_EQ(size, 4);
    sq_close(v);
}

TEST(BaseLibGlobals, StackInfosOutsideTheStackAndRootTableChecks) {
    EXPECT_EQ(run("print((getstackinfos(-1) == null) + \" \" + (getstackinfos(1000) == null));"), "true true");
    EXPECT_EQ(run("try { setroottable(5); } catch (e) print(e);"),
              "parameter 1 has an invalid type 'integer' ; expected: 'table'");
    EXPECT_EQ(run("local old = setconsttable({ K = 1 }); print(getconsttable().K + \" \" + (old != getconsttable()));"),
              "1 true");
}

TEST(BaseLibTables, DelegateCyclesAreRefusedAtAnyDepth) {
    EXPECT_EQ(run("local a = {}, b = {}, c = {}; a.setdelegate(b); b.setdelegate(c);"
                  "try { c.setdelegate(a); } catch (e) print(e + \" \");"
                  "try { a.setdelegate(a); } catch (e) print(e + \" \");"
                  "print(c.getdelegate() == null);"),
              "delagate cycle delagate cycle true");
}

TEST(BaseLibArrays, ResizeFillsOnlyNewSlotsAndApplyToleratesShrinking) {
    EXPECT_EQ(run("local a = [1, 2, 3]; a.resize(1); a.resize(3, 0); foreach (x in a) print(x);"), "100");
    EXPECT_EQ(run("local a = [1, 2, 3, 4]; a.apply(function(x) { a.pop(); return x * 2; });"
                  "foreach (x in a) print(x + \" \");"),
              "2 4 ");
    EXPECT_EQ(run("try { [1, 2].reduce(function(a, b) { throw \"r\" + b; }); } catch (e) print(e);"), "r2");
}

TEST(BaseLibGlobals, ScriptSizedArraysRespectTheMemoryLimit) {
    const char *scripts[] = {"try { array(10000000); } catch (e) {}",
                             "try { [1].resize(10000000, 0); } catch (e) {}"};
    for (const char *src : scripts) {
        HSQUIRRELVM v = sq_open(1024);
        sqi_set_memory_limit(v, 1 << 20);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, src, (SQInteger)std::strlen(src), "limit", SQFalse)));
        sq_pushroottable(v);
        EXPECT_TRUE(SQ_FAILED(sq_call(v, 1, SQFalse, SQFalse))) << src;
        sq_getlasterror(v);
        const SQChar *msg = nullptr;
        sq_getstring(v, -1, &msg);
        EXPECT_STREQ(msg ? msg : "", "out of memory") << src;
        sq_close(v);
    }
}
