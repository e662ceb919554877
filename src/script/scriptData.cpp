// Script data persistence: the three writers (plain, script data, reference)
// and the two readers (plain, and the one reader of script data and
// references), the object list and the finishing step of a load.
//
// The writers and readers work on the VM's stack: a writer writes the value
// at the top and leaves the stack as it found it; a reader pushes exactly one
// value. Every error path restores the stack before the exception leaves, so
// the stack-height check after a read only ever fires for a programming error.
#include "script/scriptData.h"

#include <cstdio>
#include <cstring>

#include "app/log.h"
#include "script/baseObject.h"

BaseObject* (*get_gameobj_by_ser_id_hook)(int serial_id) = nullptr;

// Deeper nesting is refused: it would exhaust the native stack (a cyclic
// value in the reference format, or corrupt input).
static const int max_nesting = 2000;

// {===== Object list

namespace {

struct ListEntry {
  HSQOBJECT o;
  HSQUIRRELVM vm;
};

DynArray<ListEntry> object_list;

void list_append(HSQUIRRELVM v, SQInteger idx) {
  ListEntry e;
  sq_getstackobj(v, idx, &e.o);
  e.vm = v;
  sq_addref(v, &e.o);
  object_list.push(e);
}

int list_find(const HSQOBJECT& o) {
  for (int i = 0; i < object_list.num; i++) {
    const HSQOBJECT& e = object_list[i].o;
    if (e._type == o._type && e._unVal.raw == o._unVal.raw) return i;
  }
  return -1;
}

void list_clear() {
  // Released from the back: a later object may be held only through an earlier one.
  for (int i = object_list.num - 1; i >= 0; i--) sq_release(object_list[i].vm, &object_list[i].o);
  object_list.clear();
}

} // namespace

int script_data_object_count() { return object_list.num; }

// {===== Custom instances

static DynArray<CustomScriptInstanceType> custom_types;

void register_custom_script_instance(const CustomScriptInstanceType& type) {
  for (CustomScriptInstanceType& t : custom_types)
    if (t.subtype == type.subtype) {
      t = type;
      return;
    }
  custom_types.push(type);
}

void unregister_custom_script_instance(unsigned char subtype) {
  for (int i = 0; i < custom_types.num; i++)
    if (custom_types[i].subtype == subtype) {
      custom_types.remove(i, 1);
      return;
    }
}

bool save_custom_script_instance(SqObject& obj, OutputStream& s) {
  for (const CustomScriptInstanceType& t : custom_types)
    if (t.save && t.save(obj, s)) return true;
  return false;
}

bool load_custom_script_instance(unsigned char subtype, InputStream& s, HSQUIRRELVM vm) {
  for (const CustomScriptInstanceType& t : custom_types)
    if (t.subtype == subtype && t.load) return t.load(s, vm);
  return false;
}

// {===== Writing

namespace {

enum class Format { plain, script, ref };

[[noreturn]] void write_error(const char* text) { throw OutputStream::Exception(text, -1); }

[[noreturn]] void write_type_error(Format f, SQObjectType t) {
  char text[64];
  snprintf(text, sizeof text, f == Format::ref ? "unsupported Squirrel ref/data type %X" : "unsupported Squirrel data type %X",
           (unsigned)t);
  write_error(text);
}

bool raw_equal(HSQUIRRELVM v, SQInteger a, SQInteger b) {
  HSQOBJECT x, y;
  sq_getstackobj(v, a, &x);
  sq_getstackobj(v, b, &y);
  return x._type == y._type && x._unVal.raw == y._unVal.raw;
}

// Whether the closures at two stack indexes come from the same function definition.
bool same_function(HSQUIRRELVM v, SQInteger a, SQInteger b) {
  if (sq_gettype(v, a) != OT_CLOSURE || sq_gettype(v, b) != OT_CLOSURE) return false;
  if (raw_equal(v, a, b)) return true;
  SQUserPointer pa = nullptr, pb = nullptr;
  if (SQ_FAILED(sq_getclosureproto(v, a, &pa)) || SQ_FAILED(sq_getclosureproto(v, b, &pb))) {
    sq_reseterror(v);
    return false;
  }
  return pa == pb;
}

struct Writer {
  HSQUIRRELVM v;
  OutputStream& s;
  Format format;
  int depth = 0;

  void writeTop(); // the value at the top of the stack

  // Writes the value at absolute index `idx` in `f` (names are plain values).
  void writeAt(SQInteger idx, Format f) {
    sq_push(v, idx);
    Format old = format;
    format = f;
    writeTop();
    format = old;
    sq_poptop(v);
  }

  void writeString(SQInteger idx) {
    const SQChar* text = "";
    sq_getstring(v, idx, &text);
    SQInteger len = sq_getsize(v, idx);
    s.writeByte(SDT_STRING);
    s.writeInt(len);
    s.write(text, len);
  }

  // Patches a count written as 0 at `pos`.
  void patchCount(int pos, int count) {
    int end = s.tell();
    s.seekTo(pos);
    s.writeInt(count);
    s.seekTo(end);
  }

  void writeArray(SQInteger idx) {
    SQInteger n = sq_getsize(v, idx);
    s.writeByte(SDT_ARRAY);
    s.writeInt(n);
    for (SQInteger i = 0; i < n; i++) {
      sq_pushinteger(v, i);
      if (SQ_FAILED(sq_rawget(v, idx))) {
        sq_reseterror(v);
        sq_pushnull(v);
      }
      writeTop();
      sq_poptop(v);
    }
  }

  void writeTable(SQInteger idx) {
    s.writeByte(SDT_TABLE);
    int pos = s.tell();
    s.writeInt(0);
    int count = 0;
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, idx))) {
      SQInteger top = sq_gettop(v);
      writeAt(top - 1, format);
      writeAt(top, format);
      sq_pop(v, 2);
      count++;
    }
    sq_poptop(v);
    patchCount(pos, count);
  }

  // The environment a closure is bound to, or null.
  void writeEnvironment(SQInteger idx) {
    if (SQ_SUCCEEDED(sq_getclosureenv(v, idx))) {
      writeTop();
      sq_poptop(v);
      return;
    }
    sq_reseterror(v);
    s.writeByte(SDT_NULL);
  }

  // Finds the closure's name in the root table: a global function, or a
  // method of a class (inherited methods belong to the base class).
  void writeClosure(SQInteger idx) {
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    SQInteger root = sq_gettop(v);
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, root))) {
      SQInteger key = sq_gettop(v) - 1, val = sq_gettop(v);
      if (sq_gettype(v, val) == OT_CLOSURE && same_function(v, val, idx)) {
        s.writeByte(SDT_GLOBAL_FUNCTION);
        writeAt(key, Format::plain);
        writeEnvironment(idx);
        sq_settop(v, top);
        return;
      }
      if (sq_gettype(v, val) == OT_CLASS && writeMethodOf(val, key, idx)) {
        sq_settop(v, top);
        return;
      }
      sq_pop(v, 2);
    }
    sq_settop(v, top);
    write_error("Cannot find Squirrel function name");
  }

  bool writeMethodOf(SQInteger cls, SQInteger cls_key, SQInteger fn) {
    SQInteger top = sq_gettop(v);
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, cls))) {
      SQInteger mkey = sq_gettop(v) - 1, mval = sq_gettop(v);
      if (same_function(v, mval, fn) && !inheritedFromBase(cls, mkey, fn)) {
        s.writeByte(SDT_CLASS_METHOD);
        writeAt(cls_key, Format::plain);
        writeAt(mkey, Format::plain);
        writeEnvironment(fn);
        sq_settop(v, top);
        return true;
      }
      sq_pop(v, 2);
    }
    sq_settop(v, top);
    return false;
  }

  bool inheritedFromBase(SQInteger cls, SQInteger mkey, SQInteger fn) {
    SQInteger top = sq_gettop(v);
    bool inherited = false;
    if (SQ_SUCCEEDED(sq_getbase(v, cls)) && sq_gettype(v, -1) == OT_CLASS) {
      sq_push(v, mkey);
      if (SQ_SUCCEEDED(sq_rawget(v, -2))) inherited = same_function(v, -1, fn);
    }
    sq_reseterror(v);
    sq_settop(v, top);
    return inherited;
  }

  // A pure script instance: its class's global name and its persistent members.
  void writeScriptInstance(SQInteger idx) {
    SQInteger top = sq_gettop(v);
    sq_getclass(v, idx);
    SQInteger cls = sq_gettop(v);
    sq_pushroottable(v);
    SQInteger root = sq_gettop(v);
    SQInteger name = 0;
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, root))) {
      if (raw_equal(v, -1, cls)) {
        name = sq_gettop(v) - 1;
        break;
      }
      sq_pop(v, 2);
    }
    if (!name) {
      sq_settop(v, top);
      write_error("Cannot find instance class name");
    }
    s.writeByte(SDT_INSTANCE);
    writeAt(name, Format::plain);
    int pos = s.tell();
    s.writeInt(0);
    int count = 0;
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, cls))) {
      SQInteger mkey = sq_gettop(v) - 1;
      if (isPersistent(cls, mkey)) {
        writeAt(mkey, format);
        sq_push(v, mkey);
        if (SQ_FAILED(sq_rawget(v, idx))) {
          sq_reseterror(v);
          sq_pushnull(v);
        }
        writeTop();
        sq_poptop(v);
        count++;
      }
      sq_pop(v, 2);
    }
    sq_settop(v, top);
    patchCount(pos, count);
  }

  bool isPersistent(SQInteger cls, SQInteger mkey) {
    SQInteger top = sq_gettop(v);
    bool persistent = false;
    sq_push(v, mkey);
    if (SQ_SUCCEEDED(sq_getattributes(v, cls)) && sq_gettype(v, -1) == OT_TABLE) {
      sq_pushstring(v, "persistent", -1);
      persistent = SQ_SUCCEEDED(sq_rawget(v, -2));
    }
    sq_reseterror(v);
    sq_settop(v, top);
    return persistent;
  }

  // A game object saved by serial id; false when the instance isn't one.
  bool writeGameObject(SQInteger idx) {
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, sqbind::class_tag<BaseObject>()))) {
      sq_reseterror(v);
      return false;
    }
    if (!p) write_error("Native instance pointer is null");
    s.writeByte(SDT_GAME_OBJECT);
    s.writeInt(((BaseObject*)p)->serialId);
    return true;
  }

  void writeInstance(SQInteger idx) {
    if (format == Format::ref) {
      HSQOBJECT o;
      sq_getstackobj(v, idx, &o);
      int i = list_find(o);
      if (i >= 0) {
        s.writeByte(SDT_BACKREF);
        s.writeInt(i);
        return;
      }
      if (writeGameObject(idx)) return;
      write_error("Reference to unsaved instance");
    }
    if (writeGameObject(idx)) return;
    SqObject inst = SqObject::fromStack(v, idx);
    if (save_custom_script_instance(inst, s)) return;
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, nullptr))) sq_reseterror(v);
    if (p) write_error("Unsupported native instance");
    writeScriptInstance(idx);
  }
};

void Writer::writeTop() {
  if (++depth > max_nesting) write_error("script data nested too deeply");
  SQInteger idx = sq_gettop(v);
  SQObjectType t = sq_gettype(v, idx);
  if (format == Format::script && (t == OT_ARRAY || t == OT_TABLE || t == OT_INSTANCE)) {
    HSQOBJECT o;
    sq_getstackobj(v, idx, &o);
    int i = list_find(o);
    if (i >= 0) {
      s.writeByte(SDT_BACKREF);
      s.writeInt(i);
      depth--;
      return;
    }
    list_append(v, idx);
    s.writeByte(SDT_SHARED);
  }
  switch (t) {
  case OT_NULL: s.writeByte(SDT_NULL); break;
  case OT_BOOL: {
    SQBool b = 0;
    sq_getbool(v, idx, &b);
    s.writeByte(SDT_BOOL);
    s.writeByte(b ? 1 : 0);
    break;
  }
  case OT_INTEGER: {
    SQInteger i = 0;
    sq_getinteger(v, idx, &i);
    s.writeByte(SDT_INTEGER);
    s.writeInt(i);
    break;
  }
  case OT_FLOAT: {
    SQFloat f = 0;
    sq_getfloat(v, idx, &f);
    s.writeByte(SDT_FLOAT);
    s.writeFloat(f);
    break;
  }
  case OT_STRING: writeString(idx); break;
  case OT_ARRAY: writeArray(idx); break;
  case OT_TABLE: writeTable(idx); break;
  case OT_CLOSURE:
    if (format == Format::plain) write_type_error(format, t);
    writeClosure(idx);
    break;
  case OT_INSTANCE:
    if (format == Format::plain) write_type_error(format, t);
    writeInstance(idx);
    break;
  default: write_type_error(format, t);
  }
  depth--;
}

void write_value(SqObject& obj, OutputStream& s, Format f) {
  if (!obj.vm) {
    s.writeByte(SDT_NULL);
    return;
  }
  HSQUIRRELVM v = obj.vm;
  SQInteger top = sq_gettop(v);
  obj.push(v);
  Writer w{v, s, f};
  try {
    w.writeTop();
  } catch (...) {
    sq_settop(v, top);
    if (f != Format::plain) list_clear();
    throw;
  }
  sq_settop(v, top);
}

} // namespace

void save_data(SqObject obj, OutputStream& s) { write_value(obj, s, Format::plain); }
void save_script_data(SqObject& obj, OutputStream& s) { write_value(obj, s, Format::script); }
void save_ref(SqObject& obj, OutputStream& s) { write_value(obj, s, Format::ref); }

void save_script_refs(OutputStream&) {
  debug("%d script objects saved", object_list.num);
  list_clear();
}

// {===== Reading

namespace {

struct Reader {
  HSQUIRRELVM v;
  InputStream& s;
  bool plain;
  int depth = 0;

  [[noreturn]] void fail(const char* text) { throw InputStream::Exception(text, s.tell()); }
  [[noreturn]] void failf(const char* format, const char* a, const char* b) {
    char text[512];
    snprintf(text, sizeof text, format, a, b);
    fail(text);
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

  // The value read as a name: a string, or "?" for anything else.
  const char* nameAt(SQInteger idx) {
    const SQChar* n = nullptr;
    return SQ_SUCCEEDED(sq_getstring(v, idx, &n)) ? n : "?";
  }

  // Reads a plain name and pushes the root table's slot under it.
  void pushRootSlot(const char* what, SQObjectType expected) {
    readPlain();
    SQInteger key = sq_gettop(v);
    sq_pushroottable(v);
    sq_push(v, key);
    if (SQ_FAILED(sq_rawget(v, -2)) || sq_gettype(v, -1) != expected) {
      sq_reseterror(v);
      failf("No '%s' %s in script", nameAt(key), what);
    }
    sq_remove(v, -2); // root
    sq_remove(v, -2); // name
  }

  void readPlain() {
    bool old = plain;
    plain = true;
    readValue();
    plain = old;
  }

  // Binds the closure at the top to the environment read next.
  void readEnvironment() {
    readValue();
    if (sq_gettype(v, -1) == OT_NULL) {
      sq_poptop(v);
      return;
    }
    if (SQ_FAILED(sq_bindenv(v, -2))) {
      sq_reseterror(v);
      fail("Can't bind environment to closure");
    }
    sq_remove(v, -2); // the unbound closure
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

  void readArrayBody(bool shared) {
    int n = readCount();
    sq_newarray(v, 0);
    if (shared) list_append(v, -1);
    for (int i = 0; i < n; i++) {
      readValue();
      sq_arrayappend(v, -2);
    }
  }

  void readTableBody(bool shared) {
    int n = readCount();
    sq_newtableex(v, n < 1024 ? n : 1024);
    if (shared) list_append(v, -1);
    for (int i = 0; i < n; i++) {
      readValue();
      readValue();
      if (SQ_FAILED(sq_newslot(v, -3, SQFalse))) {
        sq_reseterror(v);
        fail("can't add Squirrel table slot");
      }
    }
  }

  void readInstanceBody() {
    readPlain();
    SQInteger name = sq_gettop(v);
    sq_pushroottable(v);
    sq_push(v, name);
    if (SQ_FAILED(sq_rawget(v, -2)) || sq_gettype(v, -1) != OT_CLASS) {
      sq_reseterror(v);
      failf("No '%s' %s in script", nameAt(name), "class");
    }
    if (SQ_FAILED(sq_createinstance(v, -1))) {
      sq_reseterror(v);
      failf("Can't create instance of %s", nameAt(name), "");
    }
    // Keep only the instance.
    sq_remove(v, -2);
    sq_remove(v, -2);
    sq_remove(v, -2);
    list_append(v, -1);
    int n = readCount();
    for (int i = 0; i < n; i++) {
      readValue();
      readValue();
      if (SQ_FAILED(sq_rawset(v, -3))) {
        sq_reseterror(v);
        fail("error setting Squirrel instance member value");
      }
    }
  }

  // Returns the subtype.
  int readShared() {
    unsigned char subtype = s.readByte();
    switch (subtype) {
    case SDT_ARRAY: readArrayBody(true); break;
    case SDT_TABLE: readTableBody(true); break;
    case SDT_INSTANCE: readInstanceBody(); break;
    case SDT_GAME_OBJECT:
      pushGameObject(s.readInt());
      list_append(v, -1);
      break;
    default: {
      SQInteger top = sq_gettop(v);
      bool ok;
      try {
        ok = load_custom_script_instance(subtype, s, v);
      } catch (const SquirrelError& e) {
        sq_settop(v, top);
        fail(e.what());
      }
      if (!ok || sq_gettop(v) != top + 1) {
        sq_settop(v, top);
        fail("unknown Squirrel data type");
      }
      list_append(v, -1);
    }
    }
    return subtype;
  }

  void readValue();
};

void Reader::readValue() {
  if (++depth > max_nesting) fail("script data nested too deeply");
  SQInteger top = sq_gettop(v);
  unsigned char tag = s.readByte();
  int subtype = 0;
  switch (tag) {
  case SDT_NULL: sq_pushnull(v); break;
  case SDT_BOOL: sq_pushbool(v, s.readByte() ? SQTrue : SQFalse); break;
  case SDT_STRING: readString(); break;
  case SDT_INTEGER: sq_pushinteger(v, s.readInt()); break;
  case SDT_FLOAT: sq_pushfloat(v, s.readFloat()); break;
  // Inline containers: the plain format, and arrays and tables of the
  // reference format; not entered into the object list.
  case SDT_ARRAY: readArrayBody(false); break;
  case SDT_TABLE: readTableBody(false); break;
  case SDT_GLOBAL_FUNCTION:
    if (plain) fail("unknown Squirrel data type");
    pushRootSlot("function", OT_CLOSURE);
    readEnvironment();
    break;
  case SDT_CLASS_METHOD: {
    if (plain) fail("unknown Squirrel data type");
    pushRootSlot("class", OT_CLASS);
    SQInteger cls = sq_gettop(v);
    readPlain();
    SQInteger method = sq_gettop(v);
    sq_push(v, method);
    if (SQ_FAILED(sq_get(v, cls)) || sq_gettype(v, -1) != OT_CLOSURE) {
      sq_reseterror(v);
      // The class's name is not at hand here; read it back from the root.
      const char* cls_name = "?";
      sq_pushroottable(v);
      sq_pushnull(v);
      while (SQ_SUCCEEDED(sq_next(v, -2))) {
        HSQOBJECT a, b;
        sq_getstackobj(v, -1, &a);
        sq_getstackobj(v, cls, &b);
        if (a._unVal.raw == b._unVal.raw && a._type == b._type) {
          cls_name = nameAt(-2);
          break;
        }
        sq_pop(v, 2);
      }
      char text[512];
      snprintf(text, sizeof text, "No '%s' method in script class %s", nameAt(method), cls_name);
      fail(text);
    }
    sq_remove(v, -2); // method name
    sq_remove(v, -2); // class
    readEnvironment();
    break;
  }
  case SDT_SHARED:
    if (plain) fail("unknown Squirrel data type");
    subtype = readShared();
    break;
  case SDT_BACKREF: {
    if (plain) fail("unknown Squirrel data type");
    int i = s.readInt();
    if (i < 0 || i >= object_list.num) {
      debug("loaded index %d, have %d objects", i, object_list.num);
      fail("script object ref index out of range");
    }
    sq_pushobject(v, object_list[i].o);
    break;
  }
  case SDT_GAME_OBJECT:
    if (plain) fail("unknown Squirrel data type");
    pushGameObject(s.readInt());
    break;
  default: fail("unknown Squirrel data type");
  }
  if (sq_gettop(v) != top + 1)
    fatal("Squirrel stack mismatch (%d/%d) in loadScriptData, dataType: %d %d", (int)sq_gettop(v), (int)top + 1, tag,
          subtype);
  depth--;
}

SqObject read_value(InputStream& s, HSQUIRRELVM vm, bool plain) {
  SQInteger top = sq_gettop(vm);
  Reader r{vm, s, plain};
  try {
    r.readValue();
  } catch (...) {
    sq_settop(vm, top);
    if (!plain) list_clear();
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

void finish_loading_script_data(HSQUIRRELVM vm) {
  debug("%d script objects loaded", object_list.num);
  if (object_list.num == 0) return;
  try {
    SQInteger top = sq_gettop(vm);
    sq_pushroottable(vm);
    SQInteger root = sq_gettop(vm);
    sq_pushobject(vm, object_list[0].o);
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
    for (int i = 0; i < object_list.num; i++) {
      SqObject obj(object_list[i].vm, object_list[i].o);
      if (obj.isNull()) continue;
      SqFunc<void> on_loaded;
      on_loaded.bindMember(obj, "onLoaded");
      if (!on_loaded.isNull()) on_loaded();
    }
  } catch (...) {
    list_clear();
    throw;
  }
  list_clear();
}
