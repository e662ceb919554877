// Script data persistence: the object list, the custom instance types and
// the three writers (plain, script data, reference); the readers are in
// scriptDataRead.cpp.
//
// The writer does not recurse: nesting is walked with an explicit stack of
// tasks on the heap, so valid data of any depth is written and the VM's
// stack use stays constant. A writer leaves the VM's stack as it found it,
// also when it fails.
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "core/log.h"
#include "script/baseObject.h"
#include "script/scriptData_local.h"

BaseObject* (*get_gameobj_by_ser_id_hook)(int serial_id) = nullptr;

// {===== Object list

DynArray<ScriptDataObject> script_data_objects;
// Shared objects by identity -> their first index in the list: the writer's
// back-reference lookup in constant time.
static std::unordered_map<const void*, int> object_index;

static bool is_shared_type(SQObjectType t) { return t == OT_ARRAY || t == OT_TABLE || t == OT_INSTANCE; }

void script_data_list_append(HSQUIRRELVM v, SQInteger idx) {
  ScriptDataObject e;
  sq_getstackobj(v, idx, &e.o);
  e.vm = v;
  sq_addref(v, &e.o);
  script_data_objects.push(e);
  if (is_shared_type(e.o._type)) object_index.emplace((const void*)e.o._unVal.pRefCounted, script_data_objects.num - 1);
}

int script_data_list_find(const HSQOBJECT& o) {
  if (!is_shared_type(o._type)) return -1;
  auto it = object_index.find((const void*)o._unVal.pRefCounted);
  return it == object_index.end() ? -1 : it->second;
}

void script_data_list_clear() {
  object_index.clear();
  // Released from the back: a later object may be held only through an earlier one.
  for (int i = script_data_objects.num - 1; i >= 0; i--) sq_release(script_data_objects[i].vm, &script_data_objects[i].o);
  script_data_objects.clear();
}

int script_data_object_count() { return script_data_objects.num; }

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

enum class Format : unsigned char { plain, script, ref };

[[noreturn]] void write_error(const char* text) { throw OutputStream::Exception(text, -1); }

[[noreturn]] void write_type_error(Format f, SQObjectType t) {
  char text[64];
  snprintf(text, sizeof text, f == Format::ref ? "unsupported Squirrel ref/data type %X" : "unsupported Squirrel data type %X",
           (unsigned)t);
  write_error(text);
}

// Whether the closures at two stack indexes come from the same function definition.
bool same_function(HSQUIRRELVM v, SQInteger a, SQInteger b) {
  if (sq_gettype(v, a) != OT_CLOSURE || sq_gettype(v, b) != OT_CLOSURE) return false;
  if (same_handle(stack_handle(v, a), stack_handle(v, b))) return true;
  SQUserPointer pa = nullptr, pb = nullptr;
  if (SQ_FAILED(sq_getclosureproto(v, a, &pa)) || SQ_FAILED(sq_getclosureproto(v, b, &pb))) {
    sq_reseterror(v);
    return false;
  }
  return pa == pb;
}

// One pending step of a write. A container is written as its header, then a
// task that emits one child per step; children go on top of it, so they are
// written, depth first, before the container's next child.
struct WriteTask {
  enum Kind : unsigned char { value, array_items, table_pairs, instance_members } kind;
  Format format;
  bool inlined;   // an inline container (plain and reference formats): on the cycle watch
  HSQOBJECT obj;  // the value, or the container being walked
  HSQOBJECT cls;  // instance_members: the instance's class
  SQInteger iter; // array: next index; table and class: the VM's iterator (-1 before the first)
  SQInteger n;    // array length
  int countPos;   // table, instance: where the count was written as 0 (-1: not yet written)
  int count;
};

// Where a closure's function was found in the root table.
struct FunctionName {
  bool method;
  HSQOBJECT classKey; // method: the class's key in the root table
  HSQOBJECT key;      // the global's key, or the method's name
};

// Every handle the writer keeps without a reference of its own is reachable
// from the value being written: no script runs during a write, so nothing
// it walks changes or dies before the write ends.
struct Writer {
  HSQUIRRELVM v;
  OutputStream& s;
  DynArray<WriteTask> tasks;
  // Inline containers being written: meeting one again inside itself is a
  // cycle, which has no end in a format without back-references.
  std::unordered_set<const void*> open;
  // The root table can't change during a write, so lookups in it are kept.
  std::unordered_map<const void*, FunctionName> functionNames; // by function prototype
  std::unordered_map<const void*, HSQOBJECT> classNames;       // by class

  Writer(HSQUIRRELVM vm, OutputStream& stream) : v(vm), s(stream) {}

  void run(const HSQOBJECT& root, Format f) {
    pushValue(root, f);
    while (tasks.num > 0) {
      WriteTask t = tasks.pop();
      switch (t.kind) {
      case WriteTask::value: writeValue(t.obj, t.format); break;
      case WriteTask::array_items: stepArray(t); break;
      case WriteTask::table_pairs: stepTable(t); break;
      case WriteTask::instance_members: stepInstance(t); break;
      }
    }
  }

  void pushValue(const HSQOBJECT& o, Format f) {
    WriteTask t{};
    t.kind = WriteTask::value;
    t.format = f;
    t.obj = o;
    tasks.push(t);
  }

  void pushContainer(WriteTask::Kind kind, const HSQOBJECT& o, Format f) {
    WriteTask t{};
    t.kind = kind;
    t.format = f;
    t.obj = o;
    t.iter = -1;
    t.countPos = -1;
    if (f != Format::script) {
      if (!open.insert((const void*)o._unVal.pRefCounted).second) write_error("script data contains itself");
      t.inlined = true;
    }
    tasks.push(t);
  }

  void closeContainer(const WriteTask& t) {
    if (t.inlined) open.erase((const void*)t.obj._unVal.pRefCounted);
  }

  // Patches a count written as 0 at `pos`.
  void patchCount(int pos, int count) {
    int end = s.tell();
    s.seekTo(pos);
    s.writeInt(count);
    s.seekTo(end);
  }

  void writeValue(const HSQOBJECT& o, Format f) {
    SQObjectType t = o._type;
    if (f == Format::script && is_shared_type(t)) {
      int i = script_data_list_find(o);
      if (i >= 0) {
        s.writeByte(SDT_BACKREF);
        s.writeInt(i);
        return;
      }
      sq_pushobject(v, o);
      script_data_list_append(v, -1);
      sq_poptop(v);
      s.writeByte(SDT_SHARED);
    }
    switch (t) {
    case OT_NULL: s.writeByte(SDT_NULL); break;
    case OT_BOOL:
      s.writeByte(SDT_BOOL);
      s.writeByte(sq_objtobool(&o) ? 1 : 0);
      break;
    case OT_INTEGER:
      s.writeByte(SDT_INTEGER);
      s.writeInt(sq_objtointeger(&o));
      break;
    case OT_FLOAT:
      s.writeByte(SDT_FLOAT);
      s.writeFloat(sq_objtofloat(&o));
      break;
    case OT_STRING: {
      sq_pushobject(v, o);
      const SQChar* text = "";
      sq_getstring(v, -1, &text);
      SQInteger len = sq_getsize(v, -1);
      s.writeByte(SDT_STRING);
      s.writeInt(len);
      s.write(text, len);
      sq_poptop(v);
      break;
    }
    case OT_ARRAY: {
      sq_pushobject(v, o);
      SQInteger n = sq_getsize(v, -1);
      sq_poptop(v);
      s.writeByte(SDT_ARRAY);
      s.writeInt(n);
      pushContainer(WriteTask::array_items, o, f);
      tasks.last().n = n;
      break;
    }
    case OT_TABLE:
      s.writeByte(SDT_TABLE);
      pushContainer(WriteTask::table_pairs, o, f);
      tasks.last().countPos = s.tell();
      s.writeInt(0);
      break;
    case OT_CLOSURE:
      if (f == Format::plain) write_type_error(f, t);
      writeClosure(o, f);
      break;
    case OT_INSTANCE:
      if (f == Format::plain) write_type_error(f, t);
      writeInstance(o, f);
      break;
    default: write_type_error(f, t);
    }
  }

  void stepArray(WriteTask t) {
    if (t.iter < 0) t.iter = 0;
    if (t.iter >= t.n) {
      closeContainer(t);
      return;
    }
    SQInteger top = sq_gettop(v);
    sq_pushobject(v, t.obj);
    sq_pushinteger(v, t.iter);
    HSQOBJECT item;
    sq_resetobject(&item);
    if (SQ_SUCCEEDED(sq_rawget(v, -2)))
      item = stack_handle(v, -1);
    else
      sq_reseterror(v);
    sq_settop(v, top);
    t.iter++;
    tasks.push(t);
    pushValue(item, t.format);
  }

  // Pushes the next key and value of the table or class `o` after `iter`;
  // false at the end (nothing pushed).
  bool next(const HSQOBJECT& o, SQInteger& iter, HSQOBJECT& key, HSQOBJECT& value) {
    SQInteger top = sq_gettop(v);
    sq_pushobject(v, o);
    if (iter < 0)
      sq_pushnull(v);
    else
      sq_pushinteger(v, iter);
    bool found = SQ_SUCCEEDED(sq_next(v, top + 1));
    if (found) {
      key = stack_handle(v, -2);
      value = stack_handle(v, -1);
      SQInteger i = -1;
      sq_getinteger(v, top + 2, &i);
      iter = i;
    }
    sq_settop(v, top);
    return found;
  }

  void stepTable(WriteTask t) {
    HSQOBJECT key, value;
    if (!next(t.obj, t.iter, key, value)) {
      patchCount(t.countPos, t.count);
      closeContainer(t);
      return;
    }
    t.count++;
    tasks.push(t);
    pushValue(value, t.format);
    pushValue(key, t.format);
  }

  // A pure script instance, after its class's name: the count, then the
  // persistent members one per step.
  void stepInstance(WriteTask t) {
    if (t.countPos < 0) {
      t.countPos = s.tell();
      s.writeInt(0);
    }
    HSQOBJECT key, unused;
    while (next(t.cls, t.iter, key, unused)) {
      if (!isPersistent(t.cls, key)) continue;
      SQInteger top = sq_gettop(v);
      sq_pushobject(v, t.obj);
      sq_pushobject(v, key);
      HSQOBJECT value;
      sq_resetobject(&value);
      if (SQ_SUCCEEDED(sq_rawget(v, -2)))
        value = stack_handle(v, -1);
      else
        sq_reseterror(v);
      sq_settop(v, top);
      t.count++;
      tasks.push(t);
      pushValue(value, t.format);
      pushValue(key, t.format);
      return;
    }
    patchCount(t.countPos, t.count);
  }

  bool isPersistent(const HSQOBJECT& cls, const HSQOBJECT& key) {
    SQInteger top = sq_gettop(v);
    bool persistent = false;
    sq_pushobject(v, cls);
    sq_pushobject(v, key);
    if (SQ_SUCCEEDED(sq_getattributes(v, top + 1)) && sq_gettype(v, -1) == OT_TABLE) {
      sq_pushstring(v, "persistent", -1);
      persistent = SQ_SUCCEEDED(sq_rawget(v, -2));
    }
    sq_reseterror(v);
    sq_settop(v, top);
    return persistent;
  }

  // The environment a closure is bound to, or null (written as the single byte 0).
  HSQOBJECT environmentOf(SQInteger idx) {
    HSQOBJECT env;
    sq_resetobject(&env);
    if (SQ_SUCCEEDED(sq_getclosureenv(v, idx))) {
      env = stack_handle(v, -1);
      sq_poptop(v);
    } else {
      sq_reseterror(v);
    }
    return env;
  }

  void writeClosure(const HSQOBJECT& o, Format f) {
    SQInteger top = sq_gettop(v);
    sq_pushobject(v, o);
    SQInteger idx = sq_gettop(v);
    SQUserPointer proto = nullptr;
    if (SQ_FAILED(sq_getclosureproto(v, idx, &proto))) sq_reseterror(v);
    auto cached = functionNames.find(proto);
    FunctionName name;
    if (cached != functionNames.end()) {
      name = cached->second;
    } else {
      if (!findFunction(idx, name)) {
        sq_settop(v, top);
        write_error("Cannot find Squirrel function name");
      }
      if (proto) functionNames.emplace(proto, name);
    }
    HSQOBJECT env = environmentOf(idx);
    sq_settop(v, top);
    s.writeByte(name.method ? SDT_CLASS_METHOD : SDT_GLOBAL_FUNCTION);
    // Written in this order: class key, name, environment.
    pushValue(env, f);
    pushValue(name.key, Format::plain);
    if (name.method) pushValue(name.classKey, Format::plain);
  }

  // Searches the root table in its iteration order for the closure at `fn`:
  // a global function, or a method of a class (an inherited method belongs
  // to the base class). The first match decides.
  bool findFunction(SQInteger fn, FunctionName& name) {
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    SQInteger root = sq_gettop(v);
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, root))) {
      SQInteger key = sq_gettop(v) - 1, val = sq_gettop(v);
      if (sq_gettype(v, val) == OT_CLOSURE && same_function(v, val, fn)) {
        name = {false, {}, stack_handle(v, key)};
        sq_settop(v, top);
        return true;
      }
      if (sq_gettype(v, val) == OT_CLASS && findMethod(val, fn, name)) {
        name.classKey = stack_handle(v, key);
        sq_settop(v, top);
        return true;
      }
      sq_pop(v, 2);
    }
    sq_settop(v, top);
    return false;
  }

  bool findMethod(SQInteger cls, SQInteger fn, FunctionName& name) {
    SQInteger top = sq_gettop(v);
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, cls))) {
      SQInteger mkey = sq_gettop(v) - 1, mval = sq_gettop(v);
      if (same_function(v, mval, fn) && !inheritedFromBase(cls, mkey, fn)) {
        name.method = true;
        name.key = stack_handle(v, mkey);
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

  // The key under which the class at `cls` is a value of the root table.
  bool findClassName(SQInteger cls, HSQOBJECT& name) {
    HSQOBJECT c = stack_handle(v, cls);
    auto cached = classNames.find((const void*)c._unVal.pRefCounted);
    if (cached != classNames.end()) {
      name = cached->second;
      return true;
    }
    SQInteger top = sq_gettop(v);
    sq_pushroottable(v);
    SQInteger root = sq_gettop(v);
    sq_pushnull(v);
    bool found = false;
    while (SQ_SUCCEEDED(sq_next(v, root))) {
      if (same_handle(stack_handle(v, -1), c)) {
        name = stack_handle(v, -2);
        found = true;
        break;
      }
      sq_pop(v, 2);
    }
    sq_settop(v, top);
    if (found) classNames.emplace((const void*)c._unVal.pRefCounted, name);
    return found;
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

  // (A failure leaves the stack to write_value, which restores it.)
  void writeInstance(const HSQOBJECT& o, Format f) {
    SQInteger top = sq_gettop(v);
    sq_pushobject(v, o);
    writeInstanceAt(sq_gettop(v), o, f);
    sq_settop(v, top);
  }

  void writeInstanceAt(SQInteger idx, const HSQOBJECT& o, Format f) {
    if (f == Format::ref) {
      int i = script_data_list_find(o);
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
    // A pure script instance: its class's global name, then its persistent members.
    sq_getclass(v, idx);
    HSQOBJECT name;
    if (!findClassName(sq_gettop(v), name)) write_error("Cannot find instance class name");
    s.writeByte(SDT_INSTANCE);
    WriteTask t{};
    t.kind = WriteTask::instance_members;
    t.format = f;
    t.obj = o;
    t.cls = stack_handle(v, -1);
    t.iter = -1;
    t.countPos = -1;
    tasks.push(t);
    pushValue(name, Format::plain);
  }
};

void write_value(SqObject& obj, OutputStream& s, Format f) {
  if (!obj.vm) {
    s.writeByte(SDT_NULL);
    return;
  }
  HSQUIRRELVM v = obj.vm;
  SQInteger top = sq_gettop(v);
  Writer w(v, s);
  try {
    w.run(obj.o, f);
  } catch (...) {
    sq_settop(v, top);
    if (f != Format::plain) script_data_list_clear();
    throw;
  }
  sq_settop(v, top);
}

} // namespace

void save_data(SqObject obj, OutputStream& s) { write_value(obj, s, Format::plain); }
void save_script_data(SqObject& obj, OutputStream& s) { write_value(obj, s, Format::script); }
void save_ref(SqObject& obj, OutputStream& s) { write_value(obj, s, Format::ref); }

void save_script_refs(OutputStream&) {
  debug("%d script objects saved", script_data_objects.num);
  script_data_list_clear();
}
