// Script data persistence: byte layouts of the formats, round trips of
// shared and cyclic values, instances, closures, custom instances and game
// objects, the designed error texts, and corrupt input that must end in an
// error message with the VM still usable.
#include "script/scriptData.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "script/baseObject.h"
#include "script/script_test_util.h"

namespace {

// {===== Test stand-ins: a bit map and game objects

struct TestBitMap {
  unsigned char bits[8192];
};
int bitmaps_alive;
SQInteger bitmap_release(SQUserPointer p, SQInteger) {
  delete (TestBitMap*)p;
  bitmaps_alive--;
  return 1;
}
void push_bitmap(HSQUIRRELVM v, TestBitMap* b) {
  bitmaps_alive++;
  sqbind::push_instance(v, b, sqbind::class_tag<TestBitMap>(), "BitMap", bitmap_release);
}
bool save_bitmap(SqObject& inst, OutputStream& s) {
  HSQUIRRELVM v = inst.vm;
  inst.push(v);
  SQUserPointer p = nullptr;
  bool mine = SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, sqbind::class_tag<TestBitMap>())) && p;
  sq_reseterror(v);
  sq_poptop(v);
  if (!mine) return false;
  s.writeByte(SDT_BITMAP);
  s.write(((TestBitMap*)p)->bits, 8192);
  return true;
}
bool load_bitmap(InputStream& s, HSQUIRRELVM v) {
  TestBitMap* b = new TestBitMap;
  try {
    s.read(b->bits, 8192);
  } catch (...) {
    delete b;
    throw;
  }
  push_bitmap(v, b);
  return true;
}

struct TestGameObj : BaseObject {
  void push(HSQUIRRELVM v) override {
    sqbind::push_instance(v, static_cast<BaseObject*>(this), sqbind::class_tag<BaseObject>(), "GameObj", nullptr);
  }
};
std::map<int, TestGameObj*> game_objects;
BaseObject* find_game_object(int id) {
  auto it = game_objects.find(id);
  return it == game_objects.end() ? nullptr : it->second;
}

// {===== Fixture

const char* definitions =
    "class GameObjScript {}\n"
    "class Base { function hello() { return \"base \" + name; } name = \"b\"; }\n"
    "class Unit extends Base {\n"
    "  </ persistent = true /> hp = 10;\n"
    "  </ persistent = 0 /> tags = null;\n"
    "  speed = 1;\n"
    "  loaded = false;\n"
    "  function onLoaded() { loaded = true; ::loaded_count <- (\"loaded_count\" in getroottable()) ? ::loaded_count + 1 : 1; }\n"
    "  function shout() { return \"unit \" + hp; }\n"
    "}\n"
    "function helper(x) { return x * 2; }\n"
    "function whoami() { return this.id; }\n";

class ScriptDataTest : public ScriptTest {
protected:
  HSQUIRRELVM loadvm = nullptr;

  void SetUp() override {
    ScriptTest::SetUp();
    loadvm = sqbind::open_vm(1024);
    for (HSQUIRRELVM v : {vm, loadvm}) {
      sqbind::create_class(v, "BitMap", nullptr, sqbind::class_tag<TestBitMap>());
      sqbind::create_class(v, "GameObj", nullptr, sqbind::class_tag<BaseObject>());
      ASSERT_TRUE(runIn(v, definitions));
    }
    register_custom_script_instance({SDT_BITMAP, save_bitmap, load_bitmap});
    get_gameobj_by_ser_id_hook = find_game_object;
    bitmaps_alive = 0;
  }
  void TearDown() override {
    unregister_custom_script_instance(SDT_BITMAP);
    get_gameobj_by_ser_id_hook = nullptr;
    game_objects.clear();
    MemoryOutputStream discard;
    save_script_refs(discard); // never leave entries for the next test
    sqbind::close_vm(loadvm);
    ScriptTest::TearDown();
  }

  bool runIn(HSQUIRRELVM v, const std::string& code) {
    SQInteger top = sq_gettop(v);
    bool ok = SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), (SQInteger)code.size(), "defs", SQTrue));
    if (ok) {
      sq_pushroottable(v);
      ok = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue));
    }
    sq_settop(v, top);
    return ok;
  }

  // The root-table slot `name` of `v`.
  SqObject global(HSQUIRRELVM v, const char* name) { return sqbind::getGlobal<SqObject>(v, name); }

  bool evalIn(HSQUIRRELVM v, const std::string& expr) {
    return runIn(v, "::eval_result <- (" + expr + ");") && sqbind::getGlobal<bool>(v, "eval_result");
  }

  // Saves `expr` of the saving VM as the globals table of a save.
  std::vector<uint8_t> saveGlobals(const std::string& expr) {
    SqObject g = eval(expr);
    MemoryOutputStream out;
    save_script_data(g, out);
    save_script_refs(out);
    return std::vector<uint8_t>(out.data(), out.data() + out.size());
  }

  // Loads a whole save into the loading VM and finishes it.
  void loadGlobals(const std::vector<uint8_t>& bytes) {
    MemoryInputStream in(bytes.data(), (int)bytes.size());
    SqObject g = load_script_data(in, loadvm);
    EXPECT_EQ(in.tell(), (int)bytes.size());
    finish_loading_script_data(loadvm);
  }

  std::string loadError(const std::vector<uint8_t>& bytes, bool plain = false) {
    MemoryInputStream in(bytes.data(), (int)bytes.size());
    SQInteger top = sq_gettop(loadvm);
    try {
      if (plain)
        load_data(in, loadvm);
      else
        load_script_data(in, loadvm);
    } catch (const StreamIOException& e) {
      EXPECT_EQ(sq_gettop(loadvm), top);
      EXPECT_EQ(script_data_object_count(), 0);
      return e.message;
    }
    return "<no error>";
  }

  std::string saveError(const std::string& expr, void (*saver)(SqObject&, OutputStream&)) {
    SqObject obj = eval(expr);
    MemoryOutputStream out;
    SQInteger top = sq_gettop(vm);
    try {
      saver(obj, out);
    } catch (const StreamIOException& e) {
      EXPECT_EQ(e.position, -1);
      EXPECT_EQ(sq_gettop(vm), top);
      return e.message;
    }
    return "<no error>";
  }
};

std::vector<uint8_t> bytes_of(std::initializer_list<int> b) { return std::vector<uint8_t>(b.begin(), b.end()); }

std::vector<uint8_t> plain_bytes(SqObject obj) {
  MemoryOutputStream out;
  save_data(obj, out);
  return std::vector<uint8_t>(out.data(), out.data() + out.size());
}

// {===== Formats

TEST_F(ScriptDataTest, PlainValuesHaveTheirDesignedBytes) {
  EXPECT_EQ(plain_bytes(eval("null")), bytes_of({0}));
  EXPECT_EQ(plain_bytes(eval("true")), bytes_of({1, 1}));
  EXPECT_EQ(plain_bytes(eval("\"ab\"")), bytes_of({2, 2, 0, 0, 0, 'a', 'b'}));
  EXPECT_EQ(plain_bytes(eval("-2")), bytes_of({3, 0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(plain_bytes(eval("1.0")), bytes_of({4, 0, 0, 0x80, 0x3F}));
  EXPECT_EQ(plain_bytes(eval("[false]")), bytes_of({5, 1, 0, 0, 0, 1, 0}));
  EXPECT_EQ(plain_bytes(eval("{x = 7}")), bytes_of({6, 1, 0, 0, 0, 2, 1, 0, 0, 0, 'x', 3, 7, 0, 0, 0}));
  // A null handle is the null value.
  EXPECT_EQ(plain_bytes(SqObject()), bytes_of({0}));
}

// Saved games rely on the byte format: a value using every tag of the
// script-data and reference formats, pinned byte for byte (tables with one
// slot each, so the VM's iteration order can't matter).
TEST_F(ScriptDataTest, TheScriptDataAndReferenceFormatsKeepTheirBytes) {
  EXPECT_TRUE(run("class Solo { </ persistent = true /> v = null; function f() { return v; } }\n"
                  "local solo = Solo(); solo.v = [1, \"s\", 2.5, null, true, { k = [-1] }];\n"
                  "::g <- { all = [solo, solo, helper, Unit.hello, solo.f.bindenv(solo), solo.v[5]] };"));
  SqObject g = eval("g");
  SqObject ref = eval("[g.all[0], { r = g.all[5] }, Base.hello]");
  MemoryOutputStream out;
  save_script_data(g, out);
  save_ref(ref, out);
  save_script_refs(out);
  std::vector<uint8_t> bytes(out.data(), out.data() + out.size());
  // The instance is object 2 (after g and g.all), its array 3, the table 4.
  const std::vector<uint8_t> expected = {
      10, 6, 1, 0, 0, 0, 2, 3, 0, 0, 0, 97, 108, 108, 10, 5, 6, 0, 0, 0, 10, 9, 2, 4,
      0, 0, 0, 83, 111, 108, 111, 1, 0, 0, 0, 2, 1, 0, 0, 0, 118, 10, 5, 6, 0, 0, 0, 3,
      1, 0, 0, 0, 2, 1, 0, 0, 0, 115, 4, 0, 0, 32, 64, 0, 1, 1, 10, 6, 1, 0, 0, 0,
      2, 1, 0, 0, 0, 107, 10, 5, 1, 0, 0, 0, 3, 255, 255, 255, 255, 11, 2, 0, 0, 0, 7, 2,
      6, 0, 0, 0, 104, 101, 108, 112, 101, 114, 0, 8, 2, 4, 0, 0, 0, 66, 97, 115, 101, 2, 5, 0,
      0, 0, 104, 101, 108, 108, 111, 0, 8, 2, 4, 0, 0, 0, 83, 111, 108, 111, 2, 1, 0, 0, 0, 102,
      11, 2, 0, 0, 0, 11, 4, 0, 0, 0, 5, 3, 0, 0, 0, 11, 2, 0, 0, 0, 6, 1, 0, 0,
      0, 2, 1, 0, 0, 0, 114, 6, 1, 0, 0, 0, 2, 1, 0, 0, 0, 107, 5, 1, 0, 0, 0, 3,
      255, 255, 255, 255, 8, 2, 4, 0, 0, 0, 66, 97, 115, 101, 2, 5, 0, 0, 0, 104, 101, 108, 108, 111,
      0,
  };
  EXPECT_EQ(bytes, expected);

  EXPECT_TRUE(runIn(loadvm, "class Solo { </ persistent = true /> v = null; function f() { return v; } }"));
  MemoryInputStream in(bytes.data(), (int)bytes.size());
  load_script_data(in, loadvm);
  SqObject r = load_ref(in, loadvm);
  EXPECT_EQ(in.tell(), (int)bytes.size());
  finish_loading_script_data(loadvm);
  EXPECT_TRUE(evalIn(loadvm, "all[0] == all[1] && all[4]() == all[0].v && all[0].v[5] == all[5] && all[5].k[0] == -1"));
  sq_pushroottable(loadvm);
  sq_pushstring(loadvm, "r", -1);
  r.push(loadvm);
  sq_newslot(loadvm, -3, SQFalse);
  sq_poptop(loadvm);
  EXPECT_TRUE(evalIn(loadvm, "r[0] == all[0] && r[1].r.k[0] == -1 && r[1].r != all[5] && r[2] == Base.hello"));
}

TEST_F(ScriptDataTest, PlainRoundTripRepeatsSharedContainers) {
  EXPECT_TRUE(run("local a = [1, 2.5, \"s\\0t\", null, true]; ::v <- { one = a, two = a, n = { deep = [a] } };"));
  std::vector<uint8_t> bytes = plain_bytes(eval("v"));
  MemoryInputStream in(bytes.data(), (int)bytes.size());
  SqObject loaded = load_data(in, loadvm);
  EXPECT_EQ(script_data_object_count(), 0);
  sq_pushroottable(loadvm);
  sq_pushstring(loadvm, "v", -1);
  loaded.push(loadvm);
  sq_newslot(loadvm, -3, SQFalse);
  sq_poptop(loadvm);
  EXPECT_TRUE(evalIn(loadvm, "v.one != v.two && v.one.len() == 5 && v.one[2] == \"s\\0t\" && v.one[2].len() == 3"));
  EXPECT_TRUE(evalIn(loadvm, "v.one[1] == 2.5 && v.one[3] == null && v.one[4] && v.n.deep[0][0] == 1"));
}

TEST_F(ScriptDataTest, PlainFormatRejectsFunctionsAndInstances) {
  char expected[64];
  snprintf(expected, sizeof expected, "unsupported Squirrel data type %X", (unsigned)OT_CLOSURE);
  EXPECT_EQ(saveError("[helper]", [](SqObject& o, OutputStream& s) { save_data(o, s); }), expected);
  snprintf(expected, sizeof expected, "unsupported Squirrel data type %X", (unsigned)OT_INSTANCE);
  EXPECT_EQ(saveError("Unit()", [](SqObject& o, OutputStream& s) { save_data(o, s); }), expected);
  // Tags beyond 6 are not plain.
  EXPECT_EQ(loadError(bytes_of({10, 6, 0, 0, 0, 0}), true), "unknown Squirrel data type");
}

TEST_F(ScriptDataTest, ATableThatContainsItselfIsABackReferenceToItself) {
  EXPECT_TRUE(run("::g <- {}; g.me <- g;"));
  std::vector<uint8_t> bytes = saveGlobals("g");
  EXPECT_EQ(bytes, bytes_of({10, 6, 1, 0, 0, 0, 2, 2, 0, 0, 0, 'm', 'e', 11, 0, 0, 0, 0}));
  loadGlobals(bytes);
  EXPECT_TRUE(evalIn(loadvm, "me == me.me && me.me.me == me"));
  EXPECT_EQ(script_data_object_count(), 0);
}

TEST_F(ScriptDataTest, AnEmptyTableIsSharedWithCountZero) {
  EXPECT_EQ(saveGlobals("{}"), bytes_of({10, 6, 0, 0, 0, 0}));
}

TEST_F(ScriptDataTest, OneArrayUnderTwoGlobalsLoadsAsOneArray) {
  EXPECT_TRUE(run("local shared = [1, 2]; ::g <- { first = shared, second = shared, other = [1, 2] };"));
  loadGlobals(saveGlobals("g"));
  EXPECT_TRUE(evalIn(loadvm, "first == second && first != other"));
  EXPECT_TRUE(runIn(loadvm, "first.push(3);"));
  EXPECT_TRUE(evalIn(loadvm, "second.len() == 3"));
}

TEST_F(ScriptDataTest, FinishingALoadSetsGlobalsAndWakesLoadedObjects) {
  EXPECT_TRUE(run("::g <- { a = Unit(), b = Unit(), count = 5 };"));
  loadGlobals(saveGlobals("g"));
  EXPECT_TRUE(evalIn(loadvm, "count == 5 && a.loaded && b.loaded && loaded_count == 2"));
  std::string log = logText();
  EXPECT_NE(log.find("3 script objects saved"), std::string::npos);
  EXPECT_NE(log.find("3 script objects loaded"), std::string::npos);
  EXPECT_NE(log.find("setting script global count"), std::string::npos);
}

TEST_F(ScriptDataTest, OnlyPersistentMembersAreSavedWithInstances) {
  EXPECT_TRUE(run("local u = Unit(); u.hp = 3; u.tags = [\"x\"]; u.speed = 9; u.name = \"changed\"; ::g <- { u = u };"));
  loadGlobals(saveGlobals("g"));
  EXPECT_TRUE(evalIn(loadvm, "u instanceof Unit && u.hp == 3 && u.tags[0] == \"x\""));
  EXPECT_TRUE(evalIn(loadvm, "u.speed == 1 && u.name == \"b\" && u.shout() == \"unit 3\""));
}

TEST_F(ScriptDataTest, AnInstanceOfAClassWithoutAGlobalNameCannotBeSaved) {
  EXPECT_TRUE(run("local Hidden = class { </ persistent = true /> x = 1; }; ::h <- Hidden();"));
  EXPECT_EQ(saveError("{ h = h }", save_script_data), "Cannot find instance class name");
  EXPECT_EQ(script_data_object_count(), 0);
}

TEST_F(ScriptDataTest, ClosuresAreSavedByGlobalAndByClassMethodName) {
  EXPECT_TRUE(run("::g <- { f = helper, m = Unit.shout, inherited = Unit.hello };"));
  std::vector<uint8_t> bytes = saveGlobals("g");
  std::string text(bytes.begin(), bytes.end());
  // The inherited method is stored under the class that defines it.
  EXPECT_NE(text.find(std::string("\x08\x02\x04\0\0\0Base\x02\x05\0\0\0hello", 16)), std::string::npos);
  EXPECT_NE(text.find(std::string("\x08\x02\x04\0\0\0Unit\x02\x05\0\0\0shout", 16)), std::string::npos);
  EXPECT_NE(text.find(std::string("\x07\x02\x06\0\0\0helper", 12)), std::string::npos);
  // Loading binds the functions of the scripts as they are now.
  EXPECT_TRUE(runIn(loadvm, "function helper(x) { return x * 3; }"));
  loadGlobals(bytes);
  EXPECT_TRUE(evalIn(loadvm, "f(2) == 6 && m == Unit.shout && inherited == Base.hello"));
}

TEST_F(ScriptDataTest, ClosuresKeepTheirEnvironment) {
  EXPECT_TRUE(run("::obj <- { id = 7 }; ::g <- { bound = whoami.bindenv(obj), obj = obj, plain = helper };"));
  loadGlobals(saveGlobals("g"));
  EXPECT_TRUE(evalIn(loadvm, "bound() == 7 && plain(1) == 2"));
  EXPECT_TRUE(runIn(loadvm, "obj.id = 9;"));
  EXPECT_TRUE(evalIn(loadvm, "bound() == 9")); // bound to the loaded object itself, not a copy

  // A method bound to its instance, the usual stored callback (the environment is
  // held weakly, so the owner is saved too).
  EXPECT_TRUE(run("local u = Unit(); u.hp = 4; ::g2 <- { owner = u, cb = u.shout.bindenv(u) };"));
  loadGlobals(saveGlobals("g2"));
  EXPECT_TRUE(evalIn(loadvm, "cb() == \"unit 4\""));
}

TEST_F(ScriptDataTest, AFunctionWithoutAGlobalNameCannotBeSaved) {
  EXPECT_EQ(saveError("{ f = function() {} }", save_script_data), "Cannot find Squirrel function name");
}

TEST_F(ScriptDataTest, LoadingReportsMissingFunctionsClassesAndMethods) {
  EXPECT_TRUE(run("::g <- { f = helper };"));
  std::vector<uint8_t> fn_bytes = saveGlobals("g");
  EXPECT_TRUE(run("::g <- { m = Unit.shout };"));
  std::vector<uint8_t> method_bytes = saveGlobals("g");
  EXPECT_TRUE(run("::g <- { u = Unit() };"));
  std::vector<uint8_t> inst_bytes = saveGlobals("g");
  EXPECT_TRUE(runIn(loadvm, "delete helper; Unit.shout <- null;"));
  EXPECT_EQ(loadError(fn_bytes), "No 'helper' function in script");
  EXPECT_EQ(loadError(method_bytes), "No 'shout' method in script class Unit");
  EXPECT_TRUE(runIn(loadvm, "delete Unit;"));
  EXPECT_EQ(loadError(inst_bytes), "No 'Unit' class in script");
  EXPECT_EQ(loadError(method_bytes), "No 'Unit' class in script");
}

TEST_F(ScriptDataTest, CustomInstancesGoThroughTheExtensionPoint) {
  TestBitMap* b = new TestBitMap;
  for (int i = 0; i < 8192; i++) b->bits[i] = (unsigned char)(i * 7);
  push_bitmap(vm, b);
  SqObject inst = SqObject::fromStack(vm, -1);
  sq_poptop(vm);
  sq_pushroottable(vm);
  sq_pushstring(vm, "bm", -1);
  inst.push(vm);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);
  std::vector<uint8_t> bytes = saveGlobals("{ a = bm, b = bm }");
  EXPECT_EQ(bytes.size(), 6u + 2 * (1 + 4 + 1) + (2 + 8192) + (1 + 4)); // table, keys, bitmap, back-ref
  loadGlobals(bytes);
  EXPECT_TRUE(evalIn(loadvm, "a == b && a instanceof BitMap"));
  SqObject a = global(loadvm, "a");
  a.push(loadvm);
  TestBitMap* loaded = sqbind::getInst<TestBitMap>(loadvm, -1);
  sq_poptop(loadvm);
  EXPECT_EQ(memcmp(loaded->bits, b->bits, 8192), 0);

  // Without a handler the subtype is unknown; other native instances are refused.
  unregister_custom_script_instance(SDT_BITMAP);
  EXPECT_EQ(loadError(bytes), "unknown Squirrel data type");
  EXPECT_EQ(saveError("{ a = bm }", save_script_data), "Unsupported native instance");
}

TEST_F(ScriptDataTest, GameObjectsAreSavedBySerialIdAndMissingOnesLoadAsNull) {
  TestGameObj hero, ghost;
  hero.serialId = 17;
  ghost.serialId = 99;
  game_objects[17] = &hero;
  game_objects[99] = &ghost;
  for (auto [name, obj] : {std::pair{"hero", &hero}, std::pair{"ghost", &ghost}}) {
    sq_pushroottable(vm);
    sq_pushstring(vm, name, -1);
    obj->push(vm);
    sq_newslot(vm, -3, SQFalse);
    sq_poptop(vm);
  }
  std::vector<uint8_t> bytes = saveGlobals("{ h = hero, h2 = hero, g = ghost, list = [ghost, hero] }");
  std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find(std::string("\x0A\x0C\x11\0\0\0", 6)), std::string::npos);
  game_objects.erase(99); // the ghost is gone by the time of loading
  loadGlobals(bytes);
  EXPECT_TRUE(evalIn(loadvm, "h == h2 && h != null && g == null && list[0] == null && list[1] == h"));
  SqObject h = global(loadvm, "h");
  h.push(loadvm);
  EXPECT_EQ(sqbind::getInst<BaseObject>(loadvm, -1), &hero);
  sq_poptop(loadvm);

  // A game object whose native object is gone can't be saved.
  EXPECT_TRUE(run("::dead <- GameObj.instance();"));
  EXPECT_EQ(saveError("{ d = dead }", save_script_data), "Native instance pointer is null");
}

TEST_F(ScriptDataTest, ReferencesPointIntoTheSavedObjectsOrAtGameObjects) {
  TestGameObj hero;
  hero.serialId = 5;
  game_objects[5] = &hero;
  EXPECT_TRUE(run("::u <- Unit(); ::lone <- Unit();"));
  sq_pushroottable(vm);
  sq_pushstring(vm, "hero", -1);
  hero.push(vm);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);

  SqObject globals = eval("{ u = u }");
  SqObject ref = eval("{ unit = u, who = hero, fn = helper, list = [1, u] }");
  SqObject unsaved = eval("lone");
  MemoryOutputStream out;
  save_script_data(globals, out);
  save_ref(ref, out);
  try {
    save_ref(unsaved, out);
    FAIL() << "expected an error";
  } catch (const StreamIOException& e) {
    EXPECT_STREQ(e.message, "Reference to unsaved instance");
  }
  // The failed reference emptied the list; start again for the good path.
  MemoryOutputStream good;
  save_script_data(globals, good);
  save_ref(ref, good);
  save_script_refs(good);
  EXPECT_EQ(good.data()[0], 10);

  MemoryInputStream in(good.data(), good.size());
  load_script_data(in, loadvm);
  SqObject r = load_ref(in, loadvm);
  EXPECT_EQ(in.tell(), good.size());
  sq_pushroottable(loadvm);
  sq_pushstring(loadvm, "r", -1);
  r.push(loadvm);
  sq_newslot(loadvm, -3, SQFalse);
  sq_poptop(loadvm);
  finish_loading_script_data(loadvm);
  EXPECT_TRUE(evalIn(loadvm, "r.unit == u && r.list[1] == u && r.fn(4) == 8 && r.who != null"));
}

TEST_F(ScriptDataTest, AValueThatContainsItselfCannotBeWrittenInline) {
  EXPECT_TRUE(run("::loop <- []; loop.push(loop); ::deep_loop <- { a = [1, { b = null }] }; deep_loop.a[1].b = deep_loop;"));
  EXPECT_EQ(saveError("loop", save_ref), "script data contains itself");
  EXPECT_EQ(saveError("deep_loop", save_ref), "script data contains itself");
  EXPECT_EQ(saveError("deep_loop", [](SqObject& o, OutputStream& s) { save_data(o, s); }), "script data contains itself");
  // Repeating a container that does not contain itself is no cycle.
  EXPECT_EQ(saveError("[deep_loop.a, deep_loop.a[1], [deep_loop.a]]", save_script_data), "<no error>");
  EXPECT_EQ(saveError("(function() { local x = [1]; return [x, x, [x]]; })()", save_ref), "<no error>");
  MemoryOutputStream discard;
  save_script_refs(discard);
}

// Valid data of any depth is written and read; nothing depends on the
// native stack's depth.
TEST_F(ScriptDataTest, AHundredThousandNodeLinkedListSavesAndLoads) {
  EXPECT_TRUE(run("local head = null; for (local i = 0; i < 100000; i++) head = { next = head, i = i };\n"
                  "::g <- { list = head, nested = null };\n"
                  "local a = []; for (local i = 0; i < 100000; i++) a = [a]; g.nested = a;"));
  std::vector<uint8_t> bytes = saveGlobals("g");
  loadGlobals(bytes);
  EXPECT_TRUE(evalIn(loadvm, "(function() { local n = 0, ok = true;"
                             "  for (local p = list; p; p = p.next) { ok = ok && p.i == 99999 - n; n++; }"
                             "  local d = 0; for (local a = nested; a.len(); a = a[0]) d++;"
                             "  return ok && n == 100000 && d == 100000; })()"));
  // The formats without shared objects too.
  std::vector<uint8_t> plain = plain_bytes(eval("g.nested"));
  MemoryInputStream in(plain.data(), (int)plain.size());
  SqObject nested = load_data(in, loadvm);
  EXPECT_EQ(in.tell(), (int)plain.size());
  MemoryOutputStream again;
  save_ref(nested, again);
  EXPECT_EQ(std::vector<uint8_t>(again.data(), again.data() + again.size()), plain);
}

// {===== Corrupt input

TEST_F(ScriptDataTest, CorruptHeadersGiveErrorsNotStops) {
  EXPECT_NE(loadError(bytes_of({})), "<no error>");
  EXPECT_EQ(loadError(bytes_of({13})), "unknown Squirrel data type");
  EXPECT_EQ(loadError(bytes_of({9, 0})), "unknown Squirrel data type");
  EXPECT_EQ(loadError(bytes_of({11, 0, 0, 0, 0})), "script object ref index out of range");
  EXPECT_EQ(loadError(bytes_of({10, 5, 2, 0, 0, 0, 3, 1, 0, 0, 0, 11, 3, 0, 0, 0})), "script object ref index out of range");
  EXPECT_NE(loadError(bytes_of({2, 0xFF, 0xFF, 0xFF, 0x7F, 'a'})), "<no error>");
  EXPECT_EQ(loadError(bytes_of({2, 0xFF, 0xFF, 0xFF, 0xFF})), "invalid string length in script data");
  EXPECT_EQ(loadError(bytes_of({10, 6, 1, 0, 0, 0, 0, 0})), "can't add Squirrel table slot");
  EXPECT_EQ(loadError(bytes_of({7, 3, 1, 0, 0, 0, 0})), "No '?' function in script");
  EXPECT_NE(logText().find("loaded index 0, have 0 objects"), std::string::npos);
}

TEST_F(ScriptDataTest, TruncatedAndBitFlippedSavesFailCleanlyAndTheVmStaysUsable) {
  EXPECT_TRUE(run("local u = Unit(); u.tags = { list = [1, 2.5, \"three\", helper, Unit.shout] };"
                  "::g <- { u = u, again = u, self = null, s = \"text\" }; g.self = g;"));
  std::vector<uint8_t> bytes = saveGlobals("g");
  SQInteger top = sq_gettop(loadvm);
  int errors = 0;
  for (size_t n = 0; n < bytes.size(); n++) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + n);
    EXPECT_NE(loadError(cut), "<no error>") << "cut at " << n;
    errors++;
  }
  for (size_t i = 0; i < bytes.size(); i++)
    for (int bit = 0; bit < 8; bit++) {
      std::vector<uint8_t> flipped = bytes;
      flipped[i] ^= (uint8_t)(1 << bit);
      MemoryInputStream in(flipped.data(), (int)flipped.size());
      try {
        load_script_data(in, loadvm);
      } catch (const StreamIOException&) {
        EXPECT_EQ(script_data_object_count(), 0);
      }
      EXPECT_EQ(sq_gettop(loadvm), top);
      MemoryOutputStream discard;
      save_script_refs(discard);
    }
  EXPECT_GT(errors, 0);
  // The VM still runs scripts and loads the intact save.
  EXPECT_TRUE(evalIn(loadvm, "helper(21) == 42"));
  loadGlobals(bytes);
  EXPECT_TRUE(evalIn(loadvm, "u == again && self == self.self && u.tags.list[3](1) == 2"));
}

// Hostile input can't make the reader work or allocate beyond what the
// input holds: counts allocate nothing up front and depth costs input bytes.
TEST_F(ScriptDataTest, HostileCountsAndNestingFailCleanly) {
  std::vector<uint8_t> deep;
  for (int i = 0; i < 50000; i++)
    for (int b : {10, 6, 0xFF, 0xFF, 0xFF, 0x7F, 2, 1, 0, 0, 0, (int)'k'}) deep.push_back((uint8_t)b); // shared table, huge count
  for (int i = 0; i < 50000; i++)
    for (int b : {5, 0xFF, 0xFF, 0xFF, 0x7F}) deep.push_back((uint8_t)b); // inline array, huge count
  EXPECT_EQ(loadError(deep), "read() outside of input memory region");
  // The same nesting, complete, is valid and loads.
  std::vector<uint8_t> complete;
  for (int i = 0; i < 50000; i++)
    for (int b : {5, 1, 0, 0, 0}) complete.push_back((uint8_t)b);
  complete.push_back(0);
  EXPECT_EQ(loadError(complete, true), "<no error>");
  // Closures whose names are containers, and unknown names, deep inside.
  std::vector<uint8_t> names = bytes_of({5, 1, 0, 0, 0, 7, 5, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0});
  EXPECT_EQ(loadError(names), "No '?' function in script");
  EXPECT_TRUE(evalIn(loadvm, "helper(2) == 4"));
}

} // namespace
