// Shaders and the shader cache.
//
// A shader is a ".sh" GLSL 330 source holding `vsh()` and `psh()` in
// `#ifdef VSH` / `#ifdef PSH` sections. `create_shader` turns a file name and
// a define list into a `Shader` record (a linked program of both stages),
// shared by reference count among every caller asking for the same file and
// defines. Each (file, defines) pair has a cache file holding the fully
// preprocessed GLSL of both stages, so creation does not depend on reading
// the sources; with the compiler present the cache is checked against the
// modification times of the source and of every file it includes, and
// `reload_shaders` recompiles changed shaders while the program runs.
//
// The "compiler" is the GL driver, present whenever a device exists; setting
// RUNEHOLM_NO_SHADER_COMPILER=1 before `load_shader_compiler` runs the
// program as if it were absent (cached shaders only), as the design allows.
//
// Define lists: zero-terminated strings, name then value, repeated, closed by
// an empty string; a value carries its leading space ("INST\0 1\0\0").
// Null means no defines.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "core/tempData.h"
#include "render/device.h" // set_vs_consts / set_ps_consts live in the device layer

constexpr int MAX_SHADERS = 256;
constexpr uint32_t SHADER_CACHE_MAGIC = 0x20100715;

// A file read while compiling: the shader file first, then its includes.
struct ShaderDependency {
  char file[PATH_MAX]; // as requested, relative to the data folder
  int64_t time;        // get_file_time at compile/load; 0 without compiler
};

struct Shader {
  unsigned vs;      // GL vertex shader object; 0 = the record is free
  unsigned ps;      // GL fragment shader object
  unsigned program; // linked program used by set_shader
  char file[260];
  char defines[512]; // the define list with its closing empty string
  DynArray<ShaderDependency> dependencies;
  int refcount;
};

extern Shader shader_table[MAX_SHADERS];

// Called by the device start-up: decides whether sources can be compiled
// ("shader compiler available" / "no shader compiler") and installs the
// once-a-second reload check.
void load_shader_compiler();
bool shader_compiler_available();
// Releases every record and forgets the compiler (part of the device close;
// must run while the GL context exists).
void close_shaders();

// Never returns null: a shader that can be neither loaded from its cache nor
// compiled is fatal ("can't create shader from %s'%s'").
Shader* create_shader(const char* file, const char* defines);
void destroy_shader(Shader* s); // null is ignored
void set_shader(Shader* s);     // null unbinds
void reload_shaders(bool force);

// Staleness of a loaded record (see reload_shaders).
bool shader_is_stale(const Shader* s);
// "cache/<file><suffix>.cache", relative (resolve with make_full_path).
PathString shader_cache_name(const char* file, const char* defines);
