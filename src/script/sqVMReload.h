// A script VM that remembers the files loaded into it and runs them again
// when they change on disk, inside the same VM, so that edited functions
// replace the old ones while the data the scripts hold survives.
//
// Invariant: `files` lists every file ever included, in first-include order,
// each with the time it had when it last ran; the list survives close() and
// is emptied only by the destructor.
#pragma once
#include <squirrel.h>

#include <cstdint>

#include "core/dynArray.h"
#include "core/tempData.h"

class SqReloadableVM {
public:
  struct FileRecord {
    PathString path;
    int64_t fileTime;
  };

  HSQUIRRELVM vm = nullptr;
  DynArray<FileRecord> files;

  SqReloadableVM() = default;
  SqReloadableVM(const SqReloadableVM&) = delete;
  SqReloadableVM& operator=(const SqReloadableVM&) = delete;
  virtual ~SqReloadableVM();

  // Opens a fresh VM (closing any previous one) and registers the functions.
  virtual bool init(SQInteger stack_size);
  virtual void close();
  // Runs a file once per load, however often it is included (case-insensitive).
  virtual bool include(const char* name);
  // True when any tracked file's time differs from the recorded one.
  virtual bool needsReload();
  virtual bool reloadScripts(bool all);
  // "include" plus the standard math and string libraries.
  virtual bool registerFunctions();
  // Runs the changed files (or all) again in list order; stops at the first failure.
  virtual bool reload(bool all);
};
