// What the cache reader reaches beyond its file, for the fuzz target only (GL itself is set up
// by the harness, the log is tools/fuzz_common): the compiler state, the cache's name, and a
// device that is always ready.
#include "render/shader_local.h"

ShaderCompilerState shader_compiler;

PathString shader_cache_name(const char* file, const char*) {
  PathString name("cache/");
  name.append(file);
  name.append(".cache");
  return name;
}

bool d3d_ready() { return true; }
void device_forget_program(unsigned) {}
