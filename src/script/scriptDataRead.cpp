// Script data persistence, reading: the plain reader, the one reader of the
// script-data and reference formats, and the finishing step of a load.
//
// The reader does not recurse: a value that waits for the values inside it
// is a frame on the heap, so valid data of any depth is read and the VM's
// stack use stays constant. It pushes exactly one value; every error path
// restores the stack before the exception leaves, so the stack-height check
// after a read value only ever fires for a programming error.
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "script/baseObject.h"
#include "script/scriptData_local.h"

// {===== Reading

namespace {

// A value being read that waits for the values inside it. The object it
// builds (and a key waiting for its value) is held by one reference until
// the frame ends.
struct ReadFrame {
  enum Kind : unsigned char {
    array,          // elements
    table,          // key, value pairs
    instance_class, // the class name (plain)
    instance,       // member name, value pairs
    function_name,  // the global function's name (plain)
    method_class,   // the class's name (plain)
    method_name,    // the method's name (plain)
    environment,    // the closure's environment
  } kind;
  bool plain;      // read in the plain format (so are the values inside)
  bool haveKey;
  unsigned char tag, subtype; // for the stack-height report
  int remaining;
  HSQOBJECT obj;
  HSQOBJECT key;
};

// A table's capacity hint from its count stays small: a corrupt count must
// not reserve memory that the input never fills (tables grow as slots arrive).
const int max_table_hint = 16;

// Input is never trusted: counts and lengths allocate nothing up front, and
// every frame and every value consumes at least one byte, so the work and
// memory of a read are bounded by the input's size, not by its nesting.
struct Reader {
  HSQUIRRELVM v;
  InputStream& s;
  SQInteger base; // the stack height at entry; a completed value sits at base + 1
  DynArray<ReadFrame> frames;
  unsigned char lastTag = 0, lastSubtype = 0;

  Reader(HSQUIRRELVM vm, InputStream& stream) : v(vm), s(stream), base(sq_gettop(vm)) {}
  ~Reader() {
    for (ReadFrame& f : frames) {
      sq_release(v, &f.obj);
      if (f.haveKey) sq_release(v, &f.key);
    }
  }

  [[noreturn]] void fail(const char* text) { throw InputStream::Exception(text, s.tell()); }
  [[noreturn]] void failf(const char* format, const char* a, const char* b) {
    char text[512];
    snprintf(text, sizeof text, format, a, b);
    fail(text);
  }

  // Reads one whole value and leaves it at base + 1.
  void run(bool plain) {
    bool complete = startValue(plain);
    for (;;) {
      if (complete) {
        if (sq_gettop(v) != base + 1)
          fatal("Squirrel stack mismatch (%d/%d) in loadScriptData, dataType: %d %d", (int)sq_gettop(v), (int)base + 1,
                lastTag, lastSubtype);
        if (frames.num == 0) return;
        complete = deliver();
      } else {
        complete = startValue(childrenPlain(frames.last()));
      }
    }
  }

  static bool childrenPlain(const ReadFrame& f) {
    switch (f.kind) {
    case ReadFrame::instance_class:
    case ReadFrame::function_name:
    case ReadFrame::method_class:
    case ReadFrame::method_name: return true;
    default: return f.plain;
    }
  }

  int readCount() {
    int n = s.readInt();
    if (n < 0) fail("invalid count in script data");
    return n;
  }

  void readString() {
    int len = s.readInt();
    if (len < 0) fail("invalid string length in script data");
    // Large strings grow as their bytes arrive, so a corrupt length can't
    // allocate more than the input holds.
    const int chunk = 1 << 16;
    if (len <= chunk) {
      SQChar* buf = sq_getscratchpad(v, len);
      s.read(buf, len);
      sq_pushstring(v, buf, len);
      return;
    }
    DynArray<char> text;
    while (text.num < len) {
      int n = len - text.num < chunk ? len - text.num : chunk;
      int at = text.num;
      text.resize(at + n);
      s.read(text.data + at, n);
    }
    sq_pushstring(v, text.data, len);
  }

  // The value at `idx` read as a name: a string, or "?" for anything else.
  const char* nameAt(SQInteger idx) {
    const SQChar* n = nullptr;
    return SQ_SUCCEEDED(sq_getstring(v, idx, &n)) ? n : "?";
  }

  void pushGameObject(int id) {
    BaseObject* obj = get_gameobj_by_ser_id_hook ? get_gameobj_by_ser_id_hook(id) : nullptr;
    if (!obj) {
      sq_pushnull(v);
      return;
    }
    SQInteger top = sq_gettop(v);
    try {
      obj->push(v);
    } catch (const SquirrelError& e) {
      sq_settop(v, top);
      fail(e.what());
    }
    if (sq_gettop(v) != top + 1) {
      sq_settop(v, top);
      sq_pushnull(v);
    }
  }

  // Opens a frame for the object on top of the stack (taken off the stack)
  // or, when it waits for no values, leaves it there as complete.
  bool open(ReadFrame::Kind kind, bool plain, int remaining, unsigned char tag, unsigned char subtype) {
    if (remaining == 0 && (kind == ReadFrame::array || kind == ReadFrame::table)) {
      lastTag = tag;
      lastSubtype = subtype;
      return true;
    }
    ReadFrame f{};
    f.kind = kind;
    f.plain = plain;
    f.tag = tag;
    f.subtype = subtype;
    f.remaining = remaining;
    sq_resetobject(&f.obj);
    sq_resetobject(&f.key);
    if (sq_gettop(v) > base) {
      f.obj = stack_handle(v, -1);
      sq_addref(v, &f.obj);
    }
    frames.push(f);
    sq_settop(v, base);
    return false;
  }

  // Pushes the frame's object as its completed value and ends the frame.
  bool close() {
    ReadFrame f = frames.pop();
    sq_settop(v, base);
    sq_pushobject(v, f.obj);
    sq_release(v, &f.obj);
    lastTag = f.tag;
    lastSubtype = f.subtype;
    return true;
  }

  // Reads a tag and either pushes a complete value (true) or opens a frame
  // that waits for the values inside it (false).
  bool startValue(bool plain) {
    unsigned char tag = s.readByte();
    lastTag = tag;
    lastSubtype = 0;
    switch (tag) {
    case SDT_NULL: sq_pushnull(v); return true;
    case SDT_BOOL: sq_pushbool(v, s.readByte() ? SQTrue : SQFalse); return true;
    case SDT_STRING: readString(); return true;
    case SDT_INTEGER: sq_pushinteger(v, s.readInt()); return true;
    case SDT_FLOAT: sq_pushfloat(v, s.readFloat()); return true;
    // Inline containers: the plain format, and arrays and tables of the
    // reference format; not entered into the object list.
    case SDT_ARRAY: {
      int n = readCount();
      sq_newarray(v, 0);
      return open(ReadFrame::array, plain, n, tag, 0);
    }
    case SDT_TABLE: {
      int n = readCount();
      sq_newtableex(v, n < max_table_hint ? n : max_table_hint);
      return open(ReadFrame::table, plain, n, tag, 0);
    }
    case SDT_GLOBAL_FUNCTION:
      if (plain) break;
      return open(ReadFrame::function_name, plain, 1, tag, 0);
    case SDT_CLASS_METHOD:
      if (plain) break;
      return open(ReadFrame::method_class, plain, 1, tag, 0);
    case SDT_SHARED:
      if (plain) break;
      return startShared();
    case SDT_BACKREF: {
      if (plain) break;
      int i = s.readInt();
      if (i < 0 || i >= script_data_objects.num) {
        debug("loaded index %d, have %d objects", i, script_data_objects.num);
        fail("script object ref index out of range");
      }
      sq_pushobject(v, script_data_objects[i].o);
      return true;
    }
    case SDT_GAME_OBJECT:
      if (plain) break;
      pushGameObject(s.readInt());
      return true;
    default: break;
    }
    fail("unknown Squirrel data type");
  }

  // A shared object; it enters the object list before anything inside it is
  // read, in the order in which the writer appended it, so indices agree.
  bool startShared() {
    unsigned char subtype = s.readByte();
    lastSubtype = subtype;
    switch (subtype) {
    case SDT_ARRAY: {
      int n = readCount();
      sq_newarray(v, 0);
      script_data_list_append(v, -1);
      return open(ReadFrame::array, false, n, SDT_SHARED, subtype);
    }
    case SDT_TABLE: {
      int n = readCount();
      sq_newtableex(v, n < max_table_hint ? n : max_table_hint);
      script_data_list_append(v, -1);
      return open(ReadFrame::table, false, n, SDT_SHARED, subtype);
    }
    case SDT_INSTANCE: return open(ReadFrame::instance_class, false, 1, SDT_SHARED, subtype);
    case SDT_GAME_OBJECT:
      pushGameObject(s.readInt());
      script_data_list_append(v, -1);
      return true;
    default: {
      bool ok;
      try {
        ok = load_custom_script_instance(subtype, s, v);
      } catch (const SquirrelError& e) {
        sq_settop(v, base);
        fail(e.what());
      }
      if (!ok || sq_gettop(v) != base + 1) {
        sq_settop(v, base);
        fail("unknown Squirrel data type");
      }
      script_data_list_append(v, -1);
      return true;
    }
    }
  }

  // Hands the completed value at the top of the stack to the innermost frame.
  // True when that completes the frame (its value is then on the stack).
  bool deliver() {
    ReadFrame& f = frames.last();
    switch (f.kind) {
    case ReadFrame::array:
      sq_pushobject(v, f.obj);
      sq_push(v, -2);
      sq_arrayappend(v, -2);
      sq_settop(v, base);
      return --f.remaining == 0 ? close() : false;
    case ReadFrame::table:
    case ReadFrame::instance: return deliverPair(f);
    case ReadFrame::instance_class: return deliverClassName(f);
    case ReadFrame::function_name: {
      pushRootSlot("function", OT_CLOSURE);
      replaceObject(f, -1);
      f.kind = ReadFrame::environment;
      sq_settop(v, base);
      return false;
    }
    case ReadFrame::method_class:
      pushRootSlot("class", OT_CLASS);
      replaceObject(f, -1);
      f.kind = ReadFrame::method_name;
      sq_settop(v, base);
      return false;
    case ReadFrame::method_name: return deliverMethodName(f);
    case ReadFrame::environment: return deliverEnvironment(f);
    }
    return false;
  }

  void replaceObject(ReadFrame& f, SQInteger idx) {
    HSQOBJECT o = stack_handle(v, idx);
    sq_addref(v, &o);
    sq_release(v, &f.obj);
    f.obj = o;
  }

  // The name at base + 1 looked up in the root table; pushes the slot.
  void pushRootSlot(const char* what, SQObjectType expected) {
    sq_pushroottable(v);
    sq_push(v, base + 1);
    if (SQ_FAILED(sq_rawget(v, -2)) || sq_gettype(v, -1) != expected) {
      sq_reseterror(v);
      failf("No '%s' %s in script", nameAt(base + 1), what);
    }
  }

  bool deliverPair(ReadFrame& f) {
    if (!f.haveKey) {
      f.key = stack_handle(v, -1);
      sq_addref(v, &f.key);
      f.haveKey = true;
      sq_settop(v, base);
      return false;
    }
    // Stack: value; then object, key, value.
    sq_pushobject(v, f.obj);
    sq_pushobject(v, f.key);
    sq_push(v, base + 1);
    if (f.kind == ReadFrame::table) {
      if (SQ_FAILED(sq_newslot(v, -3, SQFalse))) {
        sq_reseterror(v);
        fail("can't add Squirrel table slot");
      }
    } else if (SQ_FAILED(sq_rawset(v, -3))) {
      sq_reseterror(v);
      fail("error setting Squirrel instance member value");
    }
    sq_settop(v, base);
    sq_release(v, &f.key);
    sq_resetobject(&f.key);
    f.haveKey = false;
    return --f.remaining == 0 ? close() : false;
  }

  // The class name of a script instance: create the instance (without its
  // constructor), enter it into the object list, then read its members.
  bool deliverClassName(ReadFrame& f) {
    pushRootSlot("class", OT_CLASS);
    if (SQ_FAILED(sq_createinstance(v, -1))) {
      sq_reseterror(v);
      failf("Can't create instance of %s", nameAt(base + 1), "");
    }
    script_data_list_append(v, -1);
    replaceObject(f, -1);
    sq_settop(v, base);
    f.kind = ReadFrame::instance;
    f.remaining = readCount();
    return f.remaining == 0 ? close() : false;
  }

  bool deliverMethodName(ReadFrame& f) {
    sq_pushobject(v, f.obj);
    sq_push(v, base + 1);
    if (SQ_FAILED(sq_get(v, -2)) || sq_gettype(v, -1) != OT_CLOSURE) {
      sq_reseterror(v);
      // The class's name is not at hand here; read it back from the root.
      const char* cls_name = "?";
      sq_pushroottable(v);
      sq_pushnull(v);
      while (SQ_SUCCEEDED(sq_next(v, -2))) {
        if (same_handle(stack_handle(v, -1), f.obj)) {
          cls_name = nameAt(-2);
          break;
        }
        sq_pop(v, 2);
      }
      char text[512];
      snprintf(text, sizeof text, "No '%s' method in script class %s", nameAt(base + 1), cls_name);
      fail(text);
    }
    replaceObject(f, -1);
    f.kind = ReadFrame::environment;
    sq_settop(v, base);
    return false;
  }

  // Binds the closure to the environment just read (null: left unbound). The
  // result is the closure of the current script, so edited code takes effect.
  bool deliverEnvironment(ReadFrame& f) {
    if (sq_gettype(v, -1) == OT_NULL) return close();
    sq_pushobject(v, f.obj);
    sq_push(v, base + 1);
    if (SQ_FAILED(sq_bindenv(v, -2))) {
      sq_reseterror(v);
      fail("Can't bind environment to closure");
    }
    replaceObject(f, -1);
    return close();
  }
};

SqObject read_value(InputStream& s, HSQUIRRELVM vm, bool plain) {
  SQInteger top = sq_gettop(vm);
  try {
    Reader r(vm, s);
    r.run(plain);
  } catch (...) {
    sq_settop(vm, top);
    if (!plain) script_data_list_clear();
    throw;
  }
  SqObject result = SqObject::fromStack(vm, -1);
  sq_settop(vm, top);
  return result;
}

} // namespace

SqObject load_data(InputStream& s, HSQUIRRELVM vm) { return read_value(s, vm, true); }
SqObject load_script_data(InputStream& s, HSQUIRRELVM vm) { return read_value(s, vm, false); }
SqObject load_ref(InputStream& s, HSQUIRRELVM vm) { return read_value(s, vm, false); }

// {===== Finishing a load

// The object's member "onLoaded" as `obj.onLoaded` finds it in a script, or
// null. Lookups that can't find it are skipped or made raw: a lookup that
// fails through the VM raises and unwinds an error, which would dominate the
// loading of many objects.
static SqObject on_loaded_member(HSQUIRRELVM vm, const SqObject& obj) {
  SqObject found;
  if (obj.type() != OT_TABLE && obj.type() != OT_INSTANCE) return found; // arrays have no such member
  SQInteger top = sq_gettop(vm);
  obj.push(vm);
  bool delegated; // a delegate table or a `_get` may still supply it
  if (obj.type() == OT_TABLE) {
    sq_getdelegate(vm, top + 1);
    delegated = sq_gettype(vm, -1) != OT_NULL;
  } else {
    sq_getclass(vm, top + 1);
    sq_pushstring(vm, "_get", -1);
    delegated = SQ_SUCCEEDED(sq_rawget(vm, -2));
  }
  sq_settop(vm, top + 1);
  sq_pushstring(vm, "onLoaded", -1);
  if (SQ_SUCCEEDED(sq_rawget(vm, top + 1))) {
    found = SqObject::fromStack(vm, -1);
  } else if (delegated) {
    sq_settop(vm, top + 1);
    sq_pushstring(vm, "onLoaded", -1);
    if (SQ_SUCCEEDED(sq_get(vm, top + 1))) found = SqObject::fromStack(vm, -1);
  }
  sq_reseterror(vm);
  sq_settop(vm, top);
  return found;
}

void finish_loading_script_data(HSQUIRRELVM vm) {
  debug("%d script objects loaded", script_data_objects.num);
  if (script_data_objects.num == 0) return;
  try {
    SQInteger top = sq_gettop(vm);
    sq_pushroottable(vm);
    SQInteger root = sq_gettop(vm);
    sq_pushobject(vm, script_data_objects[0].o);
    SQInteger globals = sq_gettop(vm);
    if (sq_gettype(vm, globals) == OT_TABLE) {
      sq_pushnull(vm);
      while (SQ_SUCCEEDED(sq_next(vm, globals))) {
        const SQChar* name = nullptr;
        if (SQ_FAILED(sq_getstring(vm, -2, &name))) name = "?";
        debug("setting script global %s", name);
        sq_push(vm, -2);
        sq_push(vm, -2);
        if (SQ_FAILED(sq_newslot(vm, root, SQFalse))) sq_reseterror(vm);
        sq_pop(vm, 2);
      }
    }
    sq_settop(vm, top);
    // The list may grow no further here, but onLoaded may run any script.
    for (int i = 0; i < script_data_objects.num; i++) {
      SqObject obj(script_data_objects[i].vm, script_data_objects[i].o);
      if (obj.isNull()) continue;
      SqObject member = on_loaded_member(vm, obj);
      if (member.isNull()) continue;
      SqFunc<void> on_loaded(obj, member);
      if (!on_loaded.isNull()) on_loaded();
    }
  } catch (...) {
    script_data_list_clear();
    throw;
  }
  script_data_list_clear();
}
