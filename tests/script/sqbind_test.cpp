// The binding layer: handle reference rules, thunks and their error texts,
// classes and instances, SqFunc with a weak environment, and the error
// handlers' reports in the log.
#include "script/sqbind.h"

#include <gtest/gtest.h>

#include <string>

#include "script/script_test_util.h"

namespace {

using SqbindTest = ScriptTest;

TEST_F(SqbindTest, CopyingHandlesTakesOneReferenceEachAndNullTakesNone) {
  SqObject null_handle;
  SqObject copy_of_null = null_handle;
  EXPECT_EQ(copy_of_null.vm, nullptr);
  EXPECT_TRUE(copy_of_null.isNull());

  sq_newtable(vm);
  SqObject a = SqObject::fromStack(vm, -1);
  sq_poptop(vm);
  EXPECT_EQ(sq_getrefcount(vm, &a.o), 1u);
  {
    SqObject b = a;
    EXPECT_EQ(sq_getrefcount(vm, &a.o), 2u);
    SqObject c;
    c = b;
    EXPECT_EQ(sq_getrefcount(vm, &a.o), 3u);
    c = null_handle; // assignment releases the old value first
    EXPECT_EQ(sq_getrefcount(vm, &a.o), 2u);
    EXPECT_EQ(c.vm, nullptr);
  }
  EXPECT_EQ(sq_getrefcount(vm, &a.o), 1u);
  a.reset();
  EXPECT_TRUE(a.isNull());
  EXPECT_EQ(a.vm, nullptr);
}

int add_ints(int a, int b) { return a + b; }
const char* greet(const char* who) { return who[0] == 'w' ? "hello world" : "hello"; }
float half(float x) { return x / 2; }
bool negate(bool b) { return !b; }
int last_void_arg;
void store(int x) { last_void_arg = x; }

TEST_F(SqbindTest, FreeFunctionThunksConvertArgumentsAndResults) {
  SqObject root = sqbind::root_table(vm);
  sqbind::register_function(vm, root, "add_ints", add_ints);
  sqbind::register_function(vm, root, "greet", greet);
  sqbind::register_function(vm, root, "half", half);
  sqbind::register_function(vm, root, "negate", negate);
  sqbind::register_function(vm, root, "store", store);
  EXPECT_EQ(evalInt("add_ints(2, 40)"), 42);
  EXPECT_EQ(evalString("greet(\"world\")"), "hello world");
  EXPECT_FLOAT_EQ(evalFloat("half(3)"), 1.5f);
  EXPECT_FALSE(evalBool("negate(true)"));
  EXPECT_TRUE(run("store(7)"));
  EXPECT_EQ(last_void_arg, 7);

  EXPECT_FALSE(run("add_ints(\"x\", 1)"));
  EXPECT_EQ(lastError(), "sq_get*() failed (type error)");
  EXPECT_FALSE(run("add_ints(1)"));
  EXPECT_FALSE(run("negate(1)"));
  EXPECT_EQ(lastError(), "sq_get*() failed (type error)");
}

TEST_F(SqbindTest, ThunksWithoutTheirStoredPointerFail) {
  SqObject root = sqbind::root_table(vm);
  sqbind::register_raw(vm, root, "no_fn", &sqbind::free_thunk<int, int>);
  EXPECT_FALSE(run("no_fn(1)"));
  EXPECT_EQ(lastError(), "no function stored for C++ call");
}

struct Counter {
  int value = 0;
  int add(int n) {
    value += n;
    return value;
  }
  void reset() { value = 0; }
};
int counters_alive;
SQInteger counter_release(SQUserPointer p, SQInteger) {
  delete (Counter*)p;
  counters_alive--;
  return 1;
}
void counter_ctor(HSQUIRRELVM v, int start) {
  Counter* c = new Counter;
  c->value = start;
  counters_alive++;
  sqbind::init_instance(c, v, counter_release);
}

TEST_F(SqbindTest, MethodAndConstructorThunksWorkOnBoundClasses) {
  counters_alive = 0;
  SqObject cls = sqbind::create_class(vm, "Counter", nullptr, sqbind::class_tag<Counter>());
  sqbind::register_ctor<Counter>(vm, cls, counter_ctor);
  sqbind::register_method(vm, cls, "add", &Counter::add);
  sqbind::register_method(vm, cls, "reset", &Counter::reset);
  EXPECT_TRUE(run("c <- Counter(10); c.add(5);"));
  EXPECT_EQ(evalInt("c.add(1)"), 16);
  EXPECT_TRUE(run("c.reset()"));
  EXPECT_EQ(evalInt("c.add(0)"), 0);
  EXPECT_EQ(counters_alive, 1);

  // An instance made without the constructor has no native object.
  EXPECT_FALSE(run("local raw = Counter.instance(); raw.add(1);"));
  EXPECT_EQ(lastError(), "invalid 'this' in C++ method call");
  // A method called on something of another class.
  EXPECT_FALSE(run("class Other {} Counter.add.call(Other(), 1);"));
  EXPECT_EQ(lastError(), "invalid 'this' in C++ method call");

  EXPECT_TRUE(run("c = null"));
  sq_collectgarbage(vm);
  EXPECT_EQ(counters_alive, 0);
}

TEST_F(SqbindTest, CreateClassReusesAnExistingClassAndRegistersItUnderTheTag) {
  SqObject first = sqbind::create_class(vm, "Thing", nullptr, sqbind::class_tag<Counter>());
  EXPECT_TRUE(run("Thing.extra <- 5;"));
  SqObject again = sqbind::create_class(vm, "Thing", nullptr, sqbind::class_tag<int>());
  EXPECT_TRUE(first.sameAs(again));
  EXPECT_EQ(evalInt("Thing.extra"), 5);
  // The new tag finds the class in the registry.
  int x = 3;
  SQInteger top = sq_gettop(vm);
  EXPECT_TRUE(sqbind::push_instance(vm, &x, sqbind::class_tag<int>(), "Thing", nullptr));
  EXPECT_EQ(sq_gettype(vm, -1), OT_INSTANCE);
  sq_settop(vm, top);
}

TEST_F(SqbindTest, CreateClassWithABaseInheritsItsMembers) {
  EXPECT_TRUE(run("class Base { function kind() { return \"base\"; } }"));
  sqbind::create_class(vm, "Derived", "Base", sqbind::class_tag<Counter>());
  EXPECT_EQ(evalString("Derived().kind()"), "base");
}

TEST_F(SqbindTest, PushInstanceOfNullPushesNullAndAnUnknownTagThrowsWithTheStackRestored) {
  SQInteger top = sq_gettop(vm);
  EXPECT_TRUE(sqbind::push_instance(vm, nullptr, sqbind::class_tag<Counter>(), "Counter", nullptr));
  EXPECT_EQ(sq_gettype(vm, -1), OT_NULL);
  sq_settop(vm, top);
  Counter c;
  try {
    sqbind::push_instance(vm, &c, sqbind::class_tag<Counter>(), "Counter", nullptr);
    FAIL() << "expected SquirrelError";
  } catch (const SquirrelError& e) {
    EXPECT_STREQ(e.what(), "can't get script class");
  }
  EXPECT_EQ(sq_gettop(vm), top);
  EXPECT_NE(logText().find("failed to create Counter"), std::string::npos);
}

TEST_F(SqbindTest, SlotAccessReadsTypedValuesAndReportsFailures) {
  EXPECT_TRUE(run("t <- { n = 3, f = 2.5, b = true, s = \"txt\", [7] = \"seven\" };"));
  SqObject t = sqbind::getGlobal<SqObject>(vm, "t");
  EXPECT_EQ(sqbind::getSlot<int>(t, "n"), 3);
  EXPECT_FLOAT_EQ(sqbind::getSlot<float>(t, "f"), 2.5f);
  EXPECT_TRUE(sqbind::getSlot<bool>(t, "b"));
  EXPECT_EQ(sqbind::getSlot<const char*>(t, "s"), "txt");
  EXPECT_EQ(sqbind::getSlot<const char*>(t, 7), "seven");
  SQInteger top = sq_gettop(vm);
  EXPECT_THROW(sqbind::getSlot<int>(t, "s"), SquirrelError);
  EXPECT_THROW(sqbind::getSlot<int>(t, "missing"), SquirrelError);
  EXPECT_THROW(sqbind::getGlobal<int>(vm, "no_such_global"), SquirrelError);
  EXPECT_EQ(sq_gettop(vm), top);

  // Through a weak reference: its target's slots.
  t.push(vm);
  sq_weakref(vm, -1);
  SqObject weak = SqObject::fromStack(vm, -1);
  sq_settop(vm, top);
  EXPECT_EQ(sqbind::getSlot<int>(weak, "n"), 3);

  int marker = 0;
  sq_pushregistrytable(vm);
  sq_pushstring(vm, "marker", -1);
  sq_pushuserpointer(vm, &marker);
  sq_newslot(vm, -3, SQFalse);
  sq_settop(vm, top);
  EXPECT_EQ(sqbind::getReg(vm, "marker"), &marker);
  EXPECT_THROW(sqbind::getReg(vm, "nothing"), SquirrelError);
  std::string log = logText();
  EXPECT_NE(log.find("getSlot 'missing' failed"), std::string::npos);
  EXPECT_NE(log.find("getGlobal 'no_such_global' failed"), std::string::npos);
  EXPECT_NE(log.find("getReg 'nothing' failed"), std::string::npos);
}

// Text that exists only on the stack (a call's result, a `_get` result) is
// freed when the stack is restored; the result must own a copy.
TEST_F(SqbindTest, TextResultsBuiltByTheScriptOutliveTheStackRestore) {
  EXPECT_TRUE(run("function label(n) { local s = \"\"; for (local i = 0; i < n; i++) s += \"ab\"; return s + \"\\0end\"; }\n"
                  "class Lazy { function _get(k) { return k + \"-\" + ::label(40); } }\n"
                  "lazy <- Lazy();\n"
                  "getroottable().setdelegate({ _get = function(k) { return \"global \" + k + ::label(30); } });\n"));
  std::string ab40, ab30;
  for (int i = 0; i < 40; i++) ab40 += "ab";
  for (int i = 0; i < 30; i++) ab30 += "ab";
  const std::string end("\0end", 4);

  SqFunc<const char*> label(sqbind::root_table(vm), sqbind::getGlobal<SqObject>(vm, "label"));
  SQInteger top = sq_gettop(vm);
  std::string text = label(40);
  EXPECT_EQ(text, ab40 + end); // embedded zeros kept
  EXPECT_EQ(sq_gettop(vm), top);

  SqObject lazy = sqbind::getGlobal<SqObject>(vm, "lazy");
  EXPECT_EQ(sqbind::getSlot<const char*>(lazy, "name"), "name-" + ab40 + end);
  EXPECT_EQ(sqbind::getSlot<std::string>(lazy, "x"), "x-" + ab40 + end);
  EXPECT_EQ(sqbind::getGlobal<const char*>(vm, "unset"), "global unset" + ab30 + end);
  EXPECT_EQ(sq_gettop(vm), top);

  // A native function may take and return std::string too.
  sqbind::register_function(vm, sqbind::root_table(vm), "twice",
                            +[](std::string s) { return s + s; });
  EXPECT_EQ(evalString("twice(\"ha\")"), "haha");
}

TEST_F(SqbindTest, GetInstRejectsOtherClassesAndEmptyInstances) {
  sqbind::create_class(vm, "Counter", nullptr, sqbind::class_tag<Counter>());
  EXPECT_TRUE(run("class Other {} o <- Other(); e <- Counter.instance();"));
  SQInteger top = sq_gettop(vm);
  sqbind::push_global(vm, "o");
  try {
    sqbind::getInst<Counter>(vm, -1);
    FAIL();
  } catch (const SquirrelError& e) {
    EXPECT_STREQ(e.what(), "getInst: invalid argument type");
  }
  sqbind::push_global(vm, "e");
  EXPECT_THROW(sqbind::getInst<Counter>(vm, -1), SquirrelError);
  sq_settop(vm, top);
}

TEST_F(SqbindTest, SqFuncCallsWithItsEnvironmentAsThis) {
  EXPECT_TRUE(run("obj <- { k = 4, function times(x) { return k * x; }, function ok() { return k > 3; } };"));
  SqObject obj = sqbind::getGlobal<SqObject>(vm, "obj");
  SqFunc<int> times(obj, sqbind::getSlot<SqObject>(obj, "times"));
  EXPECT_FALSE(times.isNull());
  EXPECT_EQ(times.env.type(), OT_WEAKREF);
  EXPECT_EQ(times(5), 20);
  SqFunc<bool> ok;
  ok.bindMember(obj, "ok");
  EXPECT_TRUE(call_bool_func(ok, false));
  SqFunc<bool> missing;
  missing.bindMember(obj, "nope");
  EXPECT_TRUE(missing.isNull());
  EXPECT_TRUE(call_bool_func(missing, true));
}

TEST_F(SqbindTest, SqFuncWithACollectedEnvironmentIsNullAndCannotBeCalled) {
  EXPECT_TRUE(run("function check() { return true; } env <- {};"));
  SqFunc<bool> f(sqbind::getGlobal<SqObject>(vm, "env"), sqbind::getGlobal<SqObject>(vm, "check"));
  EXPECT_FALSE(f.isNull());
  EXPECT_TRUE(run("env = null;"));
  sq_collectgarbage(vm);
  EXPECT_TRUE(f.isNull());
  SQInteger top = sq_gettop(vm);
  try {
    f();
    FAIL() << "expected SquirrelError";
  } catch (const SquirrelError& e) {
    EXPECT_STREQ(e.what(), "SqFunc: can't deref weakptr to object");
  }
  EXPECT_EQ(sq_gettop(vm), top);
  EXPECT_FALSE(call_bool_func(f, false));
  EXPECT_TRUE(call_bool_func(f, true));
  EXPECT_FALSE(has_error_message()); // not called, so nothing failed
}

TEST_F(SqbindTest, CallBoolFuncShowsScriptErrorsAndReturnsTheDefault) {
  EXPECT_TRUE(run("function broken() { return undefined_thing; }"));
  SqFunc<bool> f(sqbind::root_table(vm), sqbind::getGlobal<SqObject>(vm, "broken"));
  EXPECT_TRUE(call_bool_func(f, true));
  EXPECT_STREQ(get_error_message(), "Error in world script:\nSqFunc<> call failed");
  // A result of another type is a conversion failure, also shown.
  set_error_message(nullptr);
  EXPECT_TRUE(run("function not_bool() { return 1; }"));
  SqFunc<bool> g(sqbind::root_table(vm), sqbind::getGlobal<SqObject>(vm, "not_bool"));
  EXPECT_FALSE(call_bool_func(g, false));
  EXPECT_STREQ(get_error_message(), "Error in world script:\nsq_get*() failed (type error)");
}

TEST_F(SqbindTest, SquirrelErrorFromAVmTakesTheLastErrorText) {
  EXPECT_FALSE(run("throw \"custom failure\";"));
  EXPECT_STREQ(SquirrelError(vm).what(), "custom failure");
  sq_reseterror(vm);
  EXPECT_STREQ(SquirrelError(vm).what(), "unknown error");
}

TEST_F(SqbindTest, RuntimeErrorsDumpTheCallStackAndEveryKindOfLocal) {
  const char* code =
      "class K {}\n"
      "function inner(p) {\n"
      "  local n = null, i = 42, f = 1.5, s = \"say \\\"hi\\\"\", t = {}, a = [], c = function() {};\n"
      "  local nc = print, k = K, inst = K(), w = t.weakref(), b = true, g = (function() { yield 1; })();\n"
      "  local th = newthread(inner), u = false;\n"
      "  throw \"boom\";\n"
      "}\n"
      "function outer() { local depth = 1; inner(7); }\n"
      "outer();\n";
  EXPECT_FALSE(run(code, "dump.nut"));
  std::string log = logText();
  EXPECT_NE(log.find("\nCALLSTACK\nbin/dump.nut(6): ERROR: boom (in inner())\n"
                     "bin/dump.nut(8): function outer() (CALLSTACK)\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("\nLOCALS\n"), std::string::npos);
  for (const char* line : {"[p] 7\n", "[n] NULL\n", "[i] 42\n", "[f] 1.5\n", "[s] \"say \"hi\"\"\n", "[t] TABLE\n",
                           "[a] ARRAY\n", "[c] CLOSURE\n", "[nc] NATIVECLOSURE\n", "[k] CLASS\n", "[inst] INSTANCE\n",
                           "[w] WEAKREF\n", "[b] true\n", "[g] GENERATOR\n", "[th] THREAD\n", "[u] false\n",
                           "[depth] 1\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line;
}

TEST_F(SqbindTest, TheLocalsDumpStopsAtLevelNineteen) {
  const char* code =
      "function deep(n) { local lvl = n; if (n == 0) throw \"deep\"; deep(n - 1); }\n"
      "deep(30);\n";
  EXPECT_FALSE(run(code, "deep.nut"));
  std::string log = logText();
  size_t locals = log.find("\nLOCALS\n");
  ASSERT_NE(locals, std::string::npos);
  // Level 0 is the error handler itself; levels 1..19 are deep(0)..deep(18).
  int dumped = 0;
  for (size_t at = log.find("[lvl] ", locals); at != std::string::npos; at = log.find("[lvl] ", at + 1)) dumped++;
  EXPECT_EQ(dumped, 19);
  EXPECT_NE(log.find("[lvl] 18\n", locals), std::string::npos);
  EXPECT_EQ(log.find("[lvl] 19\n", locals), std::string::npos);
  // The call stack itself is complete.
  size_t frames = 0;
  for (size_t at = log.find("function deep() (CALLSTACK)"); at != std::string::npos;
       at = log.find("function deep() (CALLSTACK)", at + 1))
    frames++;
  EXPECT_EQ(frames, 30u);
}

TEST_F(SqbindTest, CompileErrorsAreReportedWithSourceLineAndColumn) {
  EXPECT_FALSE(run("local x = 1;\nlocal = ;\n", "bad.nut"));
  std::string log = logText();
  EXPECT_NE(log.find("bin/bad.nut(2,"), std::string::npos) << log;
  EXPECT_NE(log.find("): error: "), std::string::npos);
}

TEST_F(SqbindTest, LoadScriptRunsAFileAndFailsForMissingOrBrokenOnes) {
  std::string dir = make_temp_dir("rh-script");
  write_text_file(dir + "ok.nut", "loaded_value <- 99;");
  write_text_file(dir + "broken.nut", "loaded_value = ;");
  write_text_file(dir + "throws.nut", "throw \"no\";");
  EXPECT_TRUE(sqbind::load_script(vm, (dir + "ok.nut").c_str()));
  EXPECT_EQ(evalInt("loaded_value"), 99);
  SQInteger top = sq_gettop(vm);
  EXPECT_FALSE(sqbind::load_script(vm, (dir + "missing.nut").c_str()));
  EXPECT_FALSE(sqbind::load_script(vm, (dir + "broken.nut").c_str()));
  EXPECT_FALSE(sqbind::load_script(vm, (dir + "throws.nut").c_str()));
  EXPECT_EQ(sq_gettop(vm), top);
}

} // namespace
