// Set-up of the world-generation VM tests: a VM with the generation API
// registered as the world VM has it, helpers to run and evaluate source
// text, and a private folder for script files.
#pragma once
#include <gtest/gtest.h>
#include <squirrel.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/log.h"
#include "core/platform.h"
#include "script/sqMath.h"
#include "script/sqbind.h"
#include "world/worldGenVM.h"
#include "world_test_util.h"

// Runs source text with the root table as `this`; false on any error.
inline bool wg_run(HSQUIRRELVM vm, const std::string& code) {
  SQInteger top = sq_gettop(vm);
  bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), "test.nut", SQTrue));
  if (ok) {
    sq_pushroottable(vm);
    ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
  }
  sq_settop(vm, top);
  return ok;
}

inline SqObject wg_eval(HSQUIRRELVM vm, const std::string& expr) {
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

inline int wg_eval_int(HSQUIRRELVM vm, const std::string& expr) {
  SqObject o = wg_eval(vm, expr);
  return sq_objtointeger(&o.o);
}
inline bool wg_eval_bool(HSQUIRRELVM vm, const std::string& expr) {
  SqObject o = wg_eval(vm, expr);
  return sq_objtobool(&o.o) != 0;
}

inline std::string wg_last_error(HSQUIRRELVM vm) { return SquirrelError(vm).what(); }

// A fresh folder under /tmp for script and palette files, removed when the test process exits.
inline std::string wg_temp_dir() { return make_temp_dir("rh_worldgen"); }

inline void wg_write_file(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f) << path;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

class WorldGenApiTest : public ::testing::Test {
protected:
  HSQUIRRELVM vm = nullptr;
  void SetUp() override {
    world_test_fresh();
    init_time_base();
    set_error_message(nullptr);
    vm = sqbind::open_vm(1024);
    ASSERT_NE(vm, nullptr);
    register_script_math(vm);
    register_world_gen_masks(vm);
    register_world_gen_api(vm);
  }
  void TearDown() override {
    sqbind::close_vm(vm);
    vm = nullptr;
  }
  bool run(const std::string& code) { return wg_run(vm, code); }
  SqObject eval(const std::string& e) { return wg_eval(vm, e); }
  int evalInt(const std::string& e) {
    SqObject o = eval(e);
    return sq_objtointeger(&o.o);
  }
  float evalFloat(const std::string& e) {
    SqObject o = eval(e);
    return sq_objtofloat(&o.o);
  }
  bool evalBool(const std::string& e) {
    SqObject o = eval(e);
    return sq_objtobool(&o.o) != 0;
  }
  std::string lastError() { return wg_last_error(vm); }
};
