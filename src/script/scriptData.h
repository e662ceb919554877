// Persistence of script values: the byte format of saved script data and
// the protocol that writes and reads it.
//
// Save: save_script_data(globals table) -> save_ref for the script values
// that native objects hold -> save_script_refs. Load: load_script_data ->
// load_ref for each native object's values -> finish_loading_script_data.
// One process-wide object list links the steps: shared arrays, tables and
// instances are numbered in order of first occurrence, later occurrences
// are back-references. Functions are stored by name, never as code.
//
// Errors: writing throws OutputStream::Exception (position -1), reading
// throws InputStream::Exception with the input position. A failed write or
// read empties the object list and leaves the VM's stack as it was, so the
// next save or load starts clean.
#pragma once
#include <squirrel.h>

#include "core/stream.h"
#include "script/sqbind.h"

class BaseObject;

// Value tags of the encoding.
enum ScriptDataTag : unsigned char {
  SDT_NULL = 0,
  SDT_BOOL = 1,
  SDT_STRING = 2,
  SDT_INTEGER = 3,
  SDT_FLOAT = 4,
  SDT_ARRAY = 5,
  SDT_TABLE = 6,
  SDT_GLOBAL_FUNCTION = 7,
  SDT_CLASS_METHOD = 8,
  SDT_INSTANCE = 9,
  SDT_SHARED = 10,   // first occurrence: subtype byte, then its payload
  SDT_BACKREF = 11,  // index into the object list
  SDT_GAME_OBJECT = 12,
  SDT_BITMAP = 100,  // only as a subtype of SDT_SHARED
};

// Plain format: tags 0-6, containers inline every time.
void save_data(SqObject obj, OutputStream& s);
SqObject load_data(InputStream& s, HSQUIRRELVM vm);

// Script-data format (all tags), filling the object list.
void save_script_data(SqObject& obj, OutputStream& s);
// Reference format: tags 0-8, 11 and 12; instances must be saved already or be game objects.
void save_ref(SqObject& obj, OutputStream& s);
// Ends a save: logs the count and empties the object list (writes nothing).
void save_script_refs(OutputStream& s);

// The one reader of the script-data and reference formats.
SqObject load_script_data(InputStream& s, HSQUIRRELVM vm);
SqObject load_ref(InputStream& s, HSQUIRRELVM vm);
// Ends a load: copies object 0's slots into the root table, calls each loaded
// object's "onLoaded" and empties the list.
void finish_loading_script_data(HSQUIRRELVM vm);

// Native instances that are not game objects (the bit map), through the
// registered custom instance types below. Saving writes the subtype and the
// payload after tag 10; loading pushes the new instance.
bool save_custom_script_instance(SqObject& obj, OutputStream& s);
bool load_custom_script_instance(unsigned char subtype, InputStream& s, HSQUIRRELVM vm);

// The extension point behind the two calls above. `save` writes the subtype
// byte and the payload and returns true when the instance is its kind;
// `load` reads the payload of its subtype and pushes a new instance.
struct CustomScriptInstanceType {
  unsigned char subtype;
  bool (*save)(SqObject& instance, OutputStream& s);
  bool (*load)(InputStream& s, HSQUIRRELVM vm);
};
// Adds or replaces (same subtype) a custom instance type.
void register_custom_script_instance(const CustomScriptInstanceType& type);
void unregister_custom_script_instance(unsigned char subtype);

// The game-object module's lookup by serial id; null (the default) finds nothing.
extern BaseObject* (*get_gameobj_by_ser_id_hook)(int serial_id);

// Number of entries in the object list (for tests and diagnostics).
int script_data_object_count();
