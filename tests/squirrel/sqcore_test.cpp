// Core runtime behaviour: compiler edge cases, the interpreter loop, generators, threads,
// the cycle collector and the resource limits used for untrusted scripts.
#include <gtest/gtest.h>

#include <climits>

#include "sqtest_util.h"
#include "squirrel/sqlib_internal.h"

using sqtest::Vm;
using sqtest::run_out;

namespace {

TEST(SqCore, ClosuresFollowTheLoopVariableRules) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "local a = [], b = [];\n"
                    "for (local i = 0; i < 3; i++) { local j = i; a.append(@() i); b.append(@() j); }\n"
                    "foreach (f in a) print(f()); print(\"|\"); foreach (f in b) print(f());"),
            "333|012");
  EXPECT_EQ(run_out(vm,
                    "function mk() { local n = 0; return [@() ++n, @() n]; }\n"
                    "local p = mk(); p[0](); p[0](); print(p[1]());"),
            "2");
}

TEST(SqCore, IntegerArithmeticWrapsAtThirtyTwoBits) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "local m = -2147483647 - 1, z = -1;\n"
                    "print((m / z) + \" \" + (m % z) + \" \" + (2147483647 + 1) + \" \" + (m * z) + \" \" + (-m));"),
            "-2147483648 0 -2147483648 -2147483648 -2147483648");
  EXPECT_EQ(run_out(vm, "print((1 << 33) + \" \" + (-8 >> 1) + \" \" + (-1 >>> 28) + \" \" + (7 % -3));"),
            "2 -4 15 1");
}

TEST(SqCore, GeneratorsKeepTryBlocksAcrossYields) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "function g() { try { yield 1; throw \"x\"; } catch (e) { yield \"caught \" + e; } }\n"
                    "local it = g(); print(resume it); print(\",\"); print(resume it);\n"
                    "foreach (v in g()) print(\"[\" + v + \"]\");"),
            "1,caught x[1][caught x]");
}

TEST(SqCore, ThreadsSuspendAndResumeWithValues) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "local t = newthread(function(a) { local b = suspend(a * 2); return a + b; });\n"
                    "print(t.call(5)); print(\" \" + t.getstatus() + \" \");\n"
                    "print(t.wakeup(100)); print(\" \" + t.getstatus());"),
            "10 suspended 105 idle");
}

TEST(SqCore, TailCallsAndDeepRecursion) {
  Vm vm;
  EXPECT_EQ(run_out(vm, "function c(n) { if (n == 0) return \"done\"; return c(n - 1); } print(c(200000));"),
            "done");
  std::string err;
  EXPECT_FALSE(vm.run("function r(n) { return 1 + r(n + 1); } r(0);", &err));
  EXPECT_EQ(err, "stack overflow");
  EXPECT_FALSE(vm.run("local t = {}.setdelegate({ _get = function(k) { return this[k + \"!\"]; } }); t.x;", &err));
  EXPECT_EQ(err, "stack overflow");
}

TEST(SqCore, CycleCollectorFreesOnlyUnreachableCycles) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "collectgarbage();\n"
                    "local keep = {}; keep.me <- keep;\n"
                    "local a = {}, b = []; a.b <- b; b.append(a); a = null; b = null;\n"
                    "print(collectgarbage()); print(\" \" + (keep.me == keep));"),
            "2 true");
  EXPECT_EQ(sq_collectgarbage(vm.v), 1);  // `keep` died with the script's frame
}

TEST(SqCore, WeakReferencesInContainersYieldTheirTarget) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "local o = {}, t = { w = o.weakref() };\n"
                    "print(typeof t.w); o = null; print(\" \" + (t.w == null));"),
            "table true");
}

TEST(SqCore, StepLimitEndsLoopsThatCatchEverything) {
  Vm vm;
  sqi_set_step_limit(vm.v, 100000);
  std::string err;
  EXPECT_FALSE(vm.run("while (true) { try { throw 1; } catch (e) {} }", &err));
  EXPECT_EQ(err, "step limit exceeded");
  sqi_set_step_limit(vm.v, 0);
  EXPECT_TRUE(vm.run("local n = 0; for (local i = 0; i < 300000; i++) n++;", &err)) << err;
}

TEST(SqCore, MemoryLimitEndsRunawayConcatenation) {
  Vm vm;
  sqi_set_memory_limit(vm.v, 8u << 20);
  std::string err;
  EXPECT_FALSE(vm.run("local s = \"x\"; while (true) { try { s += s; } catch (e) {} }", &err));
  EXPECT_EQ(err, "out of memory");
  sqi_set_memory_limit(vm.v, 0);
  EXPECT_TRUE(vm.run("local s = \"abc\" + 1;", &err)) << err;
}

struct CompileReport {
  std::string desc, source;
  SQInteger line = 0, column = 0;
};
CompileReport g_report;

void record_compile_error(HSQUIRRELVM, const SQChar *desc, const SQChar *source, SQInteger line, SQInteger column) {
  g_report = {desc, source, line, column};
}

TEST(SqCore, CompileErrorsNameLineAndColumn) {
  Vm vm;
  sq_setcompilererrorhandler(vm.v, record_compile_error);
  const char *src = "local a = 1;\nlocal b = (a + );\n";
  ASSERT_TRUE(SQ_FAILED(sq_compilebuffer(vm.v, src, (SQInteger)strlen(src), "bad.nut", SQTrue)));
  EXPECT_EQ(g_report.desc, "expression expected");
  EXPECT_EQ(g_report.source, "bad.nut");
  EXPECT_EQ(g_report.line, 2);
  EXPECT_EQ(g_report.column, 16);
  std::string err;
  EXPECT_FALSE(vm.run("for (;;) { local x = ; }", &err));
  EXPECT_FALSE(vm.run("return 0x100000000;", &err));
  EXPECT_EQ(err, "too many digits for an Hex number");
}

TEST(SqCore, StackInfosReportTheRunningLine) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "function where() {\n"
                    "  local s = getstackinfos(1);\n"
                    "  return s.func + \":\" + s.line;\n"
                    "}\n"
                    "print(where());"),
            "where:2");
}

TEST(SqCore, MetamethodsAndDelegatesDispatch) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "class V { x = 0; constructor(a) { x = a; }\n"
                    "  function _add(o) { return V(x + o.x); } function _cmp(o) { return x <=> o.x; }\n"
                    "  function _tostring() { return \"V\" + x; } }\n"
                    "print((V(1) + V(2)) + \" \" + (V(3) > V(2)) + \" \");\n"
                    "local d = { _get = function(k) { return k + \"?\"; } };\n"
                    "print({}.setdelegate(d).foo);"),
            "V3 true foo?");
}

// "throw null" from _get or _set means "not found": the host's error handler (the one the
// game installs) must stay silent, while a real error thrown there is still reported.
TEST(SqCore, NotFoundFromGetIsNotReported) {
  Vm vm(true);
  EXPECT_EQ(run_out(vm,
                    "class P { function _get(k) { throw null } function _set(k, v) { throw null }\n"
                    "  function f() { local s = 0; for (local i = 0; i < 3; i++) s += abs(-i); return s } }\n"
                    "local p = P(); print(p.f());\n"
                    "try { p.nope } catch (e) { print(\" \" + e) }\n"
                    "try { p.nope = 1 } catch (e) { print(\" \" + e) }\n"
                    "local t = {}.setdelegate({ _get = function(k) { throw null } });\n"
                    "print(\" \" + typeof t.len);"),
            "3 the index 'nope' does not exist the index 'nope' does not exist function");
  EXPECT_EQ(vm.cap.err, "");
  std::string err;
  EXPECT_FALSE(vm.run("class Q { function _get(k) { throw \"bad \" + k } } Q().x;", &err));
  EXPECT_EQ(err, "bad x");
  EXPECT_NE(vm.cap.err.find("bad x"), std::string::npos) << vm.cap.err;
}

}  // namespace
