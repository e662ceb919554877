// Private parts of the shader module shared by shader.cpp (the record table,
// sharing, reloading) and shader_compile.cpp (preprocessing, GL compilation,
// the cache file).
#pragma once
#include <string>

#include "render/shader.h"

struct ShaderCompilerState {
  bool loaded;    // load_shader_compiler ran since the last close_shaders
  bool available; // the GL driver compiles sources
  bool reloading; // set while reload_shaders runs: messages go on screen too
};
extern ShaderCompilerState shader_compiler;

// The include handler: reads a requested file (relative to the data folder)
// and appends it to the dependency list of the shader being compiled.
struct MyShaderInclude {
  Shader* shader;
  // False when the file can't be opened or read (data null, size 0).
  bool open(const char* name, char*& data, int& size);
  void close(char* data);
};

// The GL objects of one compiled or loaded record.
struct ShaderObjects {
  unsigned vs, ps, program;
};
void shader_objects_release(ShaderObjects& o);

// Compiles both stages from the sources, links them and rewrites the cache
// file. The record's dependency list is rebuilt. On failure `out` holds
// whatever was created (the caller releases it).
bool shader_compile(Shader* s, ShaderObjects& out);
// Loads the record from its cache file (dependency list included); false
// when the cache is missing, malformed, stale or does not build.
bool shader_load_cache(Shader* s, ShaderObjects& out);
// Builds the GL objects from the preprocessed text of both stages.
bool shader_build(const Shader* s, const std::string& vs_text, const std::string& ps_text,
                  ShaderObjects& out, bool report);
