// Reloadable script VMs: file list, include, change polling and reload.
#include "script/sqVMReload.h"

#include <sqstdmath.h>
#include <sqstdstring.h>
#include <strings.h>

#include "core/log.h"
#include "core/platform.h"
#include "script/sqbind.h"

static const char* const registry_key = "SqReloadableVM";

SqReloadableVM::~SqReloadableVM() {
  close();
  files.clear();
}

bool SqReloadableVM::init(SQInteger stack_size) {
  close();
  vm = sqbind::open_vm(stack_size);
  if (!vm) return false;
  sq_pushregistrytable(vm);
  sq_pushstring(vm, registry_key, -1);
  sq_pushuserpointer(vm, this);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);
  return registerFunctions();
}

void SqReloadableVM::close() {
  if (!vm) return;
  sqbind::close_vm(vm);
  vm = nullptr;
}

// The script function include("name"): runs the file through the VM's owner.
static SQInteger script_include(HSQUIRRELVM v) {
  const SQChar* name = nullptr;
  if (SQ_FAILED(sq_getstring(v, 2, &name))) return sq_throwerror(v, "include: file name expected");
  SqReloadableVM* rvm = nullptr;
  try {
    rvm = (SqReloadableVM*)sqbind::getReg(v, registry_key);
  } catch (const SquirrelError&) {
    rvm = nullptr;
  }
  ASSERT(rvm);
  sq_pushbool(v, rvm->include(name) ? SQTrue : SQFalse);
  return 1;
}

bool SqReloadableVM::registerFunctions() {
  sqbind::register_raw(vm, sqbind::root_table(vm), "include", script_include);
  sq_pushroottable(vm);
  sqstd_register_mathlib(vm);
  sqstd_register_stringlib(vm);
  sq_poptop(vm);
  return true;
}

bool SqReloadableVM::include(const char* name) {
  PathString path = make_full_path(name);
  for (const FileRecord& r : files)
    if (strcasecmp(r.path, path) == 0) return true;
  FileRecord rec;
  rec.path = path;
  rec.fileTime = get_file_time(path);
  files.push(rec);
  return vm && sqbind::load_script(vm, path);
}

bool SqReloadableVM::needsReload() {
  for (const FileRecord& r : files)
    if (get_file_time(r.path) != r.fileTime) return true;
  return false;
}

bool SqReloadableVM::reloadScripts(bool all) { return reload(all); }

bool SqReloadableVM::reload(bool all) {
  // Indexes, not pointers: a file that runs may include new ones and grow the
  // list. Files appended during this reload were run by include() already;
  // only those listed at the start are visited, or `all` would run them twice.
  const int listed = files.num;
  for (int i = 0; i < listed; i++) {
    int64_t t = get_file_time(files[i].path);
    if (!all && t == files[i].fileTime) continue;
    files[i].fileTime = t;
    PathString path = files[i].path;
    if (!vm || !sqbind::load_script(vm, path)) return false;
  }
  return true;
}
