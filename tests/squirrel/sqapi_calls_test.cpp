// The C API around calls: native closures with free variables and argument checks, sq_call
// errors and sq_getlasterror, debug information (sq_stackinfos, sq_getlocal), compile errors,
// and the recursion limits (deep recursion is an error, deep tail recursion works).
#include "squirrel/sqtest_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sqtest::Vm;

void set_global_closure(HSQUIRRELVM v, const char* name, SQFUNCTION f)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_newclosure(v, f, 0);
    sq_setnativeclosurename(v, -1, name);
    sq_newslot(v, -3, SQFalse);
    sq_poptop(v);
}

// Returns its first argument plus both free variables: free variables follow the arguments.
SQInteger native_add_free(HSQUIRRELVM v)
{
    SQInteger x = 0, a = 0, b = 0;
    sq_getinteger(v, 2, &x);
    sq_getinteger(v, 3, &a);
    const SQChar* s = nullptr;
    sq_getstring(v, 4, &s);
    b = s ? SQInteger(strlen(s)) : -1;
    sq_pushinteger(v, x + a + b);
    return 1;
}

TEST(SqApiNative, FreeVariablesFollowTheArguments)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_pushroottable(v);
    sq_pushstring(v, "addfree", -1);
    sq_pushinteger(v, 100);
    sq_pushstring(v, "abcd", -1);
    sq_newclosure(v, native_add_free, 2);
    SQUnsignedInteger nparams = 0, nfree = 0;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &nparams, &nfree)));
    EXPECT_EQ(nfree, 2u);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setparamscheck(v, 2, ".i")));
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, 0);
    ASSERT_TRUE(vm.run("print(addfree(1));"));
    EXPECT_EQ(vm.cap.out, "105");
}

SQInteger native_sum(HSQUIRRELVM v)
{
    SQInteger n = sq_gettop(v);
    SQFloat total = 0;
    for (SQInteger i = 2; i <= n; ++i) {
        SQFloat f = 0;
        sq_getfloat(v, i, &f);
        total += f;
    }
    sq_pushfloat(v, total);
    return 1;
}

TEST(SqApiNative, ParameterChecksReportCountAndTypes)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_pushroottable(v);
    sq_pushstring(v, "exact", -1);
    sq_newclosure(v, native_sum, 0);
    sq_setparamscheck(v, 3, ".nn");
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "atleast", -1);
    sq_newclosure(v, native_sum, 0);
    sq_setparamscheck(v, -2, ".n|s");
    sq_newslot(v, -3, SQFalse);
    sq_settop(v, 0);

    std::string err;
    ASSERT_TRUE(vm.run("print(exact(1, 2.5));", &err)) << err;
    EXPECT_EQ(vm.cap.out, "3.5");
    EXPECT_FALSE(vm.run("exact(1);", &err));
    EXPECT_EQ(err, "wrong number of parameters");
    EXPECT_FALSE(vm.run("exact(1, 2, 3);", &err));
    EXPECT_EQ(err, "wrong number of parameters");
    EXPECT_FALSE(vm.run("exact(1, \"x\");", &err));
    EXPECT_EQ(err, "parameter 2 has an invalid type 'string' ; expected: 'integer|float'");
    EXPECT_FALSE(vm.run("atleast();", &err));
    EXPECT_EQ(err, "wrong number of parameters");
    EXPECT_TRUE(vm.run("atleast(1, 2, 3, 4);", &err)) << err;
    EXPECT_FALSE(vm.run("atleast([]);", &err));
    EXPECT_EQ(err, "parameter 1 has an invalid type 'array' ; expected: 'integer|float|string'");
}

SQInteger native_throw(HSQUIRRELVM v) { return sq_throwerror(v, "native failure"); }

SQInteger native_throw_table(HSQUIRRELVM v)
{
    sq_newtable(v);
    sq_pushstring(v, "code", -1);
    sq_pushinteger(v, 42);
    sq_newslot(v, -3, SQFalse);
    return sq_throwobject(v);
}

TEST(SqApiCalls, ErrorsReachTheCallerAndScripts)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    set_global_closure(v, "nthrow", native_throw);
    set_global_closure(v, "nthrowt", native_throw_table);
    std::string err;
    EXPECT_FALSE(vm.run("throw \"boom\";", &err));
    EXPECT_EQ(err, "boom");
    EXPECT_FALSE(vm.run("nthrow();", &err));
    EXPECT_EQ(err, "native failure");
    ASSERT_TRUE(vm.run("try { nthrow(); } catch (e) print(e);", &err)) << err;
    EXPECT_EQ(vm.cap.out, "native failure");
    vm.cap.out.clear();
    ASSERT_TRUE(vm.run("try { nthrowt(); } catch (e) print(e.code);", &err)) << err;
    EXPECT_EQ(vm.cap.out, "42");

    // a thrown non-string value is what sq_getlasterror pushes
    EXPECT_FALSE(vm.run("throw 7;"));
    sq_getlasterror(v);
    SQInteger code = 0;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &code)));
    EXPECT_EQ(code, 7);
    sq_poptop(v);

    // sq_call of a script function: arguments, return value, error flag
    ASSERT_TRUE(vm.run("function div(a, b) { if (b == 0) throw \"division by zero\"; return a / b; }"));
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    sq_pushstring(v, "div", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushroottable(v);
    sq_pushinteger(v, 17);
    sq_pushinteger(v, 5);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQFalse)));
    SQInteger r = 0;
    sq_getinteger(v, -1, &r);
    EXPECT_EQ(r, 3);
    sq_poptop(v);
    sq_pushroottable(v);
    sq_pushinteger(v, 1);
    sq_pushinteger(v, 0);
    EXPECT_TRUE(SQ_FAILED(sq_call(v, 3, SQTrue, SQFalse)));
    EXPECT_EQ(vm.last_error(), "division by zero");
    sq_settop(v, top);
}

TEST(SqApiCalls, ErrorHandlersReportStackAndCompileErrors)
{
    Vm vm(true);
    std::string err;
    EXPECT_FALSE(vm.run("function inner(x) { local y = x * 2; throw \"bad \" + y; }\n"
                        "function outer() { inner(21); }\nouter();",
                        &err));
    EXPECT_EQ(err, "bad 42");
    const std::string& report = vm.cap.err;
    EXPECT_NE(report.find("bad 42"), std::string::npos) << report;
    EXPECT_NE(report.find("CALLSTACK"), std::string::npos) << report;
    EXPECT_NE(report.find("inner"), std::string::npos) << report;
    EXPECT_NE(report.find("outer"), std::string::npos) << report;
    EXPECT_NE(report.find("[y] 42"), std::string::npos) << report;
    EXPECT_EQ(vm.cap.out, "");

    // a stack overflow is reported like any error, and the report stays short
    vm.cap.err.clear();
    EXPECT_FALSE(vm.run("function down(n) { return 1 + down(n + 1); } down(0);", &err));
    EXPECT_NE(vm.cap.err.find("stack overflow"), std::string::npos) << vm.cap.err.substr(0, 2000);
    EXPECT_NE(vm.cap.err.find("more frames"), std::string::npos) << vm.cap.err.substr(0, 2000);
    EXPECT_LT(vm.cap.err.size(), 20000u);

    vm.cap.err.clear();
    EXPECT_FALSE(vm.run("local a = 1;\nlocal b = ;\n", &err));
    EXPECT_NE(vm.cap.err.find("test"), std::string::npos) << vm.cap.err;
    EXPECT_NE(vm.cap.err.find("line = (2)"), std::string::npos) << vm.cap.err;
    EXPECT_NE(vm.cap.err.find("column"), std::string::npos) << vm.cap.err;
}

// Records what sq_stackinfos and sq_getlocal see from inside a native called by a script.
std::string g_debug_seen;

SQInteger native_inspect(HSQUIRRELVM v)
{
    SQStackInfos si;
    g_debug_seen.clear();
    if (SQ_SUCCEEDED(sq_stackinfos(v, 1, &si)))
        g_debug_seen += std::string(si.funcname ? si.funcname : "?") + "@" + std::to_string(si.line) + " ";
    for (SQUnsignedInteger i = 0;; ++i) {
        const SQChar* name = sq_getlocal(v, 1, i);
        if (!name)
            break;
        if (sq_gettype(v, -1) == OT_INTEGER) {
            SQInteger n = 0;
            sq_getinteger(v, -1, &n);
            g_debug_seen += std::string(name) + "=" + std::to_string(n) + " ";
        }
        sq_poptop(v);
    }
    if (SQ_SUCCEEDED(sq_stackinfos(v, 2, &si)))
        g_debug_seen += std::string("caller:") + (si.funcname ? si.funcname : "?");
    return 0;
}

TEST(SqApiDebug, StackInfosAndLocalsOfTheCallingFunction)
{
    Vm vm;
    set_global_closure(vm.v, "inspect", native_inspect);
    std::string err;
    ASSERT_TRUE(vm.run("function probe(p) {\n  local answer = 42;\n  inspect();\n}\n"
                       "function driver() { probe(7); }\ndriver();",
                       &err))
        << err;
    EXPECT_NE(g_debug_seen.find("probe@3"), std::string::npos) << g_debug_seen;
    EXPECT_NE(g_debug_seen.find("p=7"), std::string::npos) << g_debug_seen;
    EXPECT_NE(g_debug_seen.find("answer=42"), std::string::npos) << g_debug_seen;
    EXPECT_NE(g_debug_seen.find("caller:driver"), std::string::npos) << g_debug_seen;

    // levels past the outermost frame fail instead of reading garbage
    SQStackInfos si;
    EXPECT_TRUE(SQ_FAILED(sq_stackinfos(vm.v, 50, &si)));
    EXPECT_EQ(sq_getlocal(vm.v, 50, 0), nullptr);
}

TEST(SqApiRecursion, DeepRecursionIsAScriptErrorNotACrash)
{
    Vm vm;
    std::string err;
    EXPECT_FALSE(vm.run("function down(n) { return 1 + down(n + 1); } down(0);", &err));
    EXPECT_NE(err.find("stack overflow"), std::string::npos) << err;
    // the VM is still usable afterwards
    ASSERT_TRUE(vm.run("print(\"alive\");", &err)) << err;
    EXPECT_EQ(vm.cap.out, "alive");
    // mutual recursion through a native (sq_call) boundary ends the same way
    EXPECT_FALSE(vm.run("function ping(n) { return [n].map(@(x) ping(x + 1)); } ping(0);", &err));
    EXPECT_FALSE(err.empty());
}

TEST(SqApiRecursion, TailRecursionDoesNotGrowTheStack)
{
    Vm vm;
    std::string err;
    ASSERT_TRUE(vm.run("function count(n, acc) { if (n == 0) return acc; return count(n - 1, acc + 1); }\n"
                       "print(count(100000, 0));",
                       &err))
        << err;
    EXPECT_EQ(vm.cap.out, "100000");
}

TEST(SqApiVm, PrintGoesThroughThePrintFunction)
{
    Vm vm;
    ASSERT_TRUE(vm.run("print(\"a\" + 1); error(\"oops\");"));
    EXPECT_EQ(vm.cap.out, "a1");
    EXPECT_EQ(vm.cap.err, "oops");
}

}  // namespace
