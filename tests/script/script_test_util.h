// Test helpers for the scripting layer: a VM set up like the program's, with
// helpers to run source text, evaluate expressions and read what the VM
// printed into the log.
#pragma once
#include <gtest/gtest.h>
#include <squirrel.h>

#include <string>

#include "core/log.h"
#include "core/temp_dir.h"
#include "script/sqbind.h"

class ScriptTest : public testing::Test {
protected:
  HSQUIRRELVM vm = nullptr;
  std::string data_dir;

  void SetUp() override {
    close_debug_log();
    data_dir = use_fresh_data_home();
    vm = sqbind::open_vm(1024);
    ASSERT_NE(vm, nullptr);
    set_error_message(nullptr);
  }
  void TearDown() override {
    sqbind::close_vm(vm);
    vm = nullptr;
    close_debug_log();
  }

  // Runs source text with the root table as `this`; false on any error.
  bool run(const std::string& code, const char* name = "test.nut") {
    SQInteger top = sq_gettop(vm);
    bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), name, SQTrue));
    if (ok) {
      sq_pushroottable(vm);
      ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
    }
    sq_settop(vm, top);
    return ok;
  }

  // The value of an expression (null handle when it fails).
  SqObject eval(const std::string& expr) {
    std::string code = "return (" + expr + ");";
    SQInteger top = sq_gettop(vm);
    SqObject r;
    if (SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), "eval", SQTrue))) {
      sq_pushroottable(vm);
      if (SQ_SUCCEEDED(sq_call(vm, 1, SQTrue, SQTrue))) r = SqObject::fromStack(vm, -1);
    }
    sq_settop(vm, top);
    return r;
  }
  int evalInt(const std::string& expr) {
    SqObject o = eval(expr);
    return sq_objtointeger(&o.o);
  }
  float evalFloat(const std::string& expr) {
    SqObject o = eval(expr);
    return sq_objtofloat(&o.o);
  }
  bool evalBool(const std::string& expr) {
    SqObject o = eval(expr);
    return sq_objtobool(&o.o) != 0;
  }
  std::string evalString(const std::string& expr) {
    SqObject o = eval(expr);
    return o.type() == OT_STRING ? sq_objtostring(&o.o) : "<not a string>";
  }

  // The text of the VM's last error.
  std::string lastError() { return SquirrelError(vm).what(); }

  // Everything logged since the test began (closes the log; the next line starts a new one).
  std::string logText() {
    close_debug_log();
    return read_text_file(data_dir + "log.txt");
  }
};
