// libFuzzer target for the readers of saved script data (load_data,
// load_script_data / load_ref, finish_loading_script_data). Corrupt input
// must end in a stream exception with the VM's stack as it was, never in a
// crash, a leak or the fatal stack-mismatch stop. A value that loads is saved
// again and loaded into a fresh VM; in the plain format that must succeed (in
// the script-data format the finished load may have renamed globals, so only
// a clean failure is required).
// Built with clang by scripts/fuzz-script.sh, never by the main (GCC) build.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/stream.h"
#include "script/baseObject.h"
#include "script/scriptData.h"
#include "script/sqbind.h"

namespace {

// Scripts as a saved game finds them: classes with persistent members, an
// inherited method, global functions.
const char* definitions =
    "class Base { function hello() { return 1; } name = \"b\"; }\n"
    "class Unit extends Base {\n"
    "  </ persistent = true /> hp = 10;\n"
    "  </ persistent = true /> tags = null;\n"
    "  speed = 1;\n"
    "  function onLoaded() { speed = 2; }\n"
    "}\n"
    "function helper(...) { return vargv.len(); }\n";

// A stand-in for the world-generation bit map (custom subtype 100).
struct FuzzBitMap {
  unsigned char bits[8192];
};
SQInteger bitmap_release(SQUserPointer p, SQInteger) {
  delete (FuzzBitMap*)p;
  return 1;
}
bool save_bitmap(SqObject& inst, OutputStream& s) {
  HSQUIRRELVM v = inst.vm;
  inst.push(v);
  SQUserPointer p = nullptr;
  bool mine = SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, sqbind::class_tag<FuzzBitMap>())) && p;
  sq_reseterror(v);
  sq_poptop(v);
  if (!mine) return false;
  s.writeByte(SDT_BITMAP);
  s.write(((FuzzBitMap*)p)->bits, 8192);
  return true;
}
bool load_bitmap(InputStream& s, HSQUIRRELVM v) {
  FuzzBitMap* b = new FuzzBitMap;
  try {
    s.read(b->bits, 8192);
    sqbind::push_instance(v, b, sqbind::class_tag<FuzzBitMap>(), "BitMap", bitmap_release);
  } catch (...) {
    delete b;
    throw;
  }
  return true;
}

// Game objects 1..3 exist.
struct FuzzGameObj : BaseObject {
  void push(HSQUIRRELVM v) override {
    sqbind::push_instance(v, static_cast<BaseObject*>(this), sqbind::class_tag<BaseObject>(), "GameObj", nullptr);
  }
};
FuzzGameObj game_objects[3];
BaseObject* find_game_object(int id) {
  if (id < 1 || id > 3) return nullptr;
  game_objects[id - 1].serialId = id;
  return &game_objects[id - 1];
}

HSQUIRRELVM open_fuzz_vm() {
  HSQUIRRELVM v = sqbind::open_vm(1024);
  sqbind::create_class(v, "BitMap", nullptr, sqbind::class_tag<FuzzBitMap>());
  sqbind::create_class(v, "GameObj", nullptr, sqbind::class_tag<BaseObject>());
  SQInteger top = sq_gettop(v);
  if (SQ_SUCCEEDED(sq_compilebuffer(v, definitions, (SQInteger)strlen(definitions), "defs", SQTrue))) {
    sq_pushroottable(v);
    sq_call(v, 1, SQFalse, SQTrue);
  }
  sq_settop(v, top);
  return v;
}

// Reads a whole load (script data, then references until the input ends);
// false when the input is rejected.
bool load_all(HSQUIRRELVM v, InputStream& in, int size, bool plain, SqObject& first) {
  SQInteger top = sq_gettop(v);
  try {
    if (plain) {
      first = load_data(in, v);
    } else {
      first = load_script_data(in, v);
      while (in.tell() < size) load_ref(in, v);
      finish_loading_script_data(v);
    }
  } catch (const StreamIOException&) {
    if (sq_gettop(v) != top) abort();
    if (!plain && script_data_object_count() != 0) abort();
    return false;
  } catch (const SquirrelError&) {
    // onLoaded failed: the list must be empty all the same.
    if (script_data_object_count() != 0) abort();
    return false;
  }
  if (sq_gettop(v) != top) abort();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 64 * 1024) return 0;
  static bool registered = false;
  if (!registered) {
    register_custom_script_instance({SDT_BITMAP, save_bitmap, load_bitmap});
    get_gameobj_by_ser_id_hook = find_game_object;
    registered = true;
  }
  bool plain = (data[0] & 1) != 0;
  HSQUIRRELVM v = open_fuzz_vm();
  MemoryInputStream in(data + 1, (int)size - 1);
  SqObject first;
  if (load_all(v, in, (int)size - 1, plain, first)) {
    // Whatever loaded saves again, and what saves loads.
    MemoryOutputStream out;
    bool saved = true;
    try {
      if (plain)
        save_data(first, out);
      else {
        save_script_data(first, out);
        save_script_refs(out);
      }
    } catch (const StreamIOException&) {
      saved = false;
    }
    if (script_data_object_count() != 0) abort();
    first.reset();
    if (saved) {
      HSQUIRRELVM v2 = open_fuzz_vm();
      MemoryInputStream again(out.data(), out.size());
      SqObject second;
      if (!load_all(v2, again, out.size(), plain, second) && plain) abort();
      second.reset();
      sqbind::close_vm(v2);
    }
  }
  first.reset();
  sqbind::close_vm(v);
  return 0;
}
