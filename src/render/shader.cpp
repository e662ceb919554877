// The shader table: sharing by (file, defines) with reference counts,
// creation from the cache or the sources, binding, and the reload of changed
// shaders while running.
//
// Invariant: a record is free exactly when its `vs` is 0; a used record has
// refcount >= 1 and a linked program.
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/platform.h"
#include "render/shader_local.h"

Shader shader_table[MAX_SHADERS];
ShaderCompilerState shader_compiler;

// {===== Define lists

static int defines_length(const char* d) { // bytes including the closing empty string
  if (!d) return 1;
  const char* p = d;
  while (*p) p += strlen(p) + 1;
  return (int)(p - d) + 1;
}

static bool defines_equal(const char* a, const char* b) {
  static const char empty[1] = {0};
  if (!a) a = empty;
  if (!b) b = empty;
  int la = defines_length(a), lb = defines_length(b);
  return la == lb && memcmp(a, b, (size_t)la) == 0;
}

PathString shader_cache_name(const char* file, const char* defines) {
  PathString name("cache/");
  name.append(file);
  for (const char* d = defines; d && *d; d += strlen(d) + 1) {
    char part[260];
    int l = 0;
    part[l++] = '@';
    for (const char* c = d; *c && l < (int)sizeof part - 1; c++) {
      bool alnum = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
      part[l++] = alnum ? *c : '_';
    }
    part[l] = 0;
    name.append(part);
  }
  name.append(".cache");
  return name;
}

// {===== Compiler

bool shader_compiler_available() { return shader_compiler.available; }

void load_shader_compiler() {
  const char* off = getenv("RUNEHOLM_NO_SHADER_COMPILER");
  shader_compiler.loaded = true;
  shader_compiler.available = d3d_ready() && !(off && strcmp(off, "1") == 0);
  debug(shader_compiler.available ? "shader compiler available" : "no shader compiler");
}

static void record_free(Shader* s) {
  ShaderObjects o{s->vs, s->ps, s->program};
  shader_objects_release(o);
  s->dependencies.clear();
  s->vs = s->ps = s->program = 0;
  s->refcount = 0;
  s->file[0] = 0;
}

void close_shaders() {
  for (Shader& s : shader_table)
    if (s.vs) record_free(&s);
  shader_compiler = ShaderCompilerState{};
}

// {===== Records

Shader* create_shader(const char* file, const char* defines) {
  // The device start-up normally decides this; a shader asked for earlier
  // must not be refused for want of that call.
  if (!shader_compiler.loaded) load_shader_compiler();
  for (Shader& s : shader_table)
    if (s.vs && strcmp(s.file, file) == 0 && defines_equal(s.defines, defines)) {
      s.refcount++;
      return &s;
    }
  Shader* s = nullptr;
  for (Shader& r : shader_table)
    if (!r.vs) {
      s = &r;
      break;
    }
  if (!s) fatal("reached maximum shader count!");

  size_t l = strlen(file);
  const size_t BS = sizeof s->file;
  ASSERT(l<BS);
  memcpy(s->file, file, l + 1);
  int dl = defines_length(defines);
  ASSERT(dl <= (int)sizeof s->defines);
  if (defines)
    memcpy(s->defines, defines, (size_t)dl);
  else
    s->defines[0] = 0;

  ShaderObjects o;
  bool ok = shader_load_cache(s, o);
  if (!ok && shader_compiler.available) {
    shader_objects_release(o);
    ok = shader_compile(s, o);
  }
  if (!ok) {
    shader_objects_release(o);
    char name[260];
    memcpy(name, s->file, sizeof name);
    record_free(s);
    fatal("can't create shader from %s'%s'", shader_compiler.available ? "" : "cache for ", name);
  }
  s->vs = o.vs;
  s->ps = o.ps;
  s->program = o.program;
  s->refcount++;
  return s;
}

void destroy_shader(Shader* s) {
  if (!s) return;
  ASSERT(s->refcount>0);
  if (--s->refcount == 0) record_free(s);
}

void set_shader(Shader* s) { device_use_program(s ? s->program : 0); }

// {===== Reload

bool shader_is_stale(const Shader* s) {
  if (!shader_compiler.available) return false;
  if (s->dependencies.empty()) return true;
  for (const ShaderDependency& d : s->dependencies)
    if (get_file_time(make_full_path(d.file)) != d.time) return true;
  return false;
}

void reload_shaders(bool force) {
  if (!shader_compiler.available) return;
  bool first = true;
  for (Shader& s : shader_table) {
    if (!s.vs || !(force || shader_is_stale(&s))) continue;
    if (first) {
      first = false;
      shader_compiler.reloading = true;
      set_error_message(nullptr);
    }
    ShaderObjects old{s.vs, s.ps, s.program}, fresh;
    if (shader_compile(&s, fresh)) {
      debug("reloaded shader '%s'", s.file);
      shader_objects_release(old);
      s.vs = fresh.vs;
      s.ps = fresh.ps;
      s.program = fresh.program;
    } else {
      char text[300];
      snprintf(text, sizeof text, "FAILED to reload shader '%s'", s.file);
      append_error_message(text, -1);
      shader_objects_release(fresh);
    }
  }
  shader_compiler.reloading = false;
}
