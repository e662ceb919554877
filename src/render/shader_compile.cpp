// Turning ".sh" sources into GL programs, and the shader cache file.
//
// A stage's text is built as the HLSL toolchain would see it after
// preprocessing the includes: "#version 330 core", one "#define" line per
// entry of the define table (the shader's defines, then VSH or PSH " 1"),
// the source with every `#include "name"` replaced by the file's text
// (through the include handler, which records the dependency), and a `main`
// calling the stage's entry point ("vsh" or "psh"). Conditional sections and
// macros are left to the GL compiler: the text is self-contained, which is
// what the cache needs. `#line` directives keep compiler messages pointing at
// the right file (source-string number = dependency index) and line.
//
// Cache file (little-endian): magic 0x20100715, N, V, P, then N bytes of
// zero-terminated dependency names closed by one more zero, then the V bytes
// of vertex text and the P bytes of fragment text. A cache file that breaks
// any of this is stale, never an error: the shader is compiled again.
#include <epoxy/gl.h>

#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/platform.h"
#include "core/stream.h"
#include "render/shader_local.h"

// Cache blocks beyond this are treated as a damaged file, not allocated.
static constexpr uint32_t MAX_CACHE_BLOCK = 16u << 20;
static constexpr int MAX_INCLUDE_DEPTH = 16;

// {===== Include handler

static void dependency_add(Shader* s, const char* name) {
  for (const ShaderDependency& d : s->dependencies)
    if (strcmp(d.file, name) == 0) return; // each file once, in first-read order
  ShaderDependency d{};
  size_t l = strlen(name);
  const size_t BS = sizeof d.file;
  ASSERT(l<BS);
  memcpy(d.file, name, l + 1);
  d.time = shader_compiler.available ? get_file_time(make_full_path(name)) : 0;
  s->dependencies.push(d);
}

static int dependency_index(const Shader* s, const char* name) {
  for (int i = 0; i < s->dependencies.num; i++)
    if (strcmp(s->dependencies[i].file, name) == 0) return i;
  return 0;
}

bool MyShaderInclude::open(const char* name, char*& data, int& size) {
  data = nullptr;
  size = 0;
  FILE* f = fopen(make_full_path(name), "rb");
  if (!f) return false;
  bool ok = fseek(f, 0, SEEK_END) == 0;
  long len = ok ? ftell(f) : -1;
  ok = len >= 0 && len < 0x7fffffff && fseek(f, 0, SEEK_SET) == 0;
  char* buf = ok ? (char*)malloc((size_t)len + 1) : nullptr;
  if (!buf || fread(buf, 1, (size_t)len, f) != (size_t)len) {
    free(buf);
    fclose(f);
    return false;
  }
  fclose(f);
  buf[len] = 0;
  dependency_add(shader, name);
  data = buf;
  size = (int)len;
  return true;
}

void MyShaderInclude::close(char* data) { free(data); }

// {===== Preprocessing

// The quoted or bracketed name of an `#include` line, or false.
static bool include_name(const char* p, const char* end, std::string& name) {
  while (p < end && (*p == ' ' || *p == '\t')) p++;
  if (p >= end || *p != '#') return false;
  p++;
  while (p < end && (*p == ' ' || *p == '\t')) p++;
  if (end - p < 7 || strncmp(p, "include", 7) != 0) return false;
  p += 7;
  while (p < end && (*p == ' ' || *p == '\t')) p++;
  if (p >= end || (*p != '"' && *p != '<')) return false;
  char close = *p == '"' ? '"' : '>';
  const char* q = ++p;
  while (q < end && *q != close) q++;
  if (q >= end) return false;
  name.assign(p, q);
  return !name.empty();
}

// Appends `name` with its includes inlined; errors are collected in `err`.
static bool preprocess(MyShaderInclude& inc, const char* name, std::string& out, int depth,
                       std::string& err) {
  if (depth > MAX_INCLUDE_DEPTH) {
    err.append("'").append(name).append("': includes nested too deeply\n");
    return false;
  }
  char* data;
  int size;
  if (!inc.open(name, data, size)) {
    err.append("can't open file '").append(name).append("'\n");
    return false;
  }
  std::string src = std::to_string(dependency_index(inc.shader, name));
  out.append("#line 1 ").append(src).append("\n");
  bool ok = true;
  const char* p = data;
  const char* end = data + size;
  for (int line = 1; ok && p < end; line++) {
    const char* eol = (const char*)memchr(p, '\n', (size_t)(end - p));
    const char* next = eol ? eol + 1 : end;
    std::string child;
    if (include_name(p, eol ? eol : end, child)) {
      ok = preprocess(inc, child.c_str(), out, depth + 1, err);
      out.append("#line ").append(std::to_string(line + 1)).append(" ").append(src).append("\n");
    } else {
      out.append(p, next);
      if (!eol) out += "\n";
    }
    p = next;
  }
  inc.close(data);
  return ok;
}

// The complete text of one stage, or false when a file can't be read.
static bool stage_text(Shader* s, const char* entry, std::string& text, std::string& err) {
  text = "#version 330 core\n";
  for (const char* d = s->defines; *d;) {
    const char* value = d + strlen(d) + 1;
    text += "#define ";
    text += d;
    text += value;
    text += "\n";
    d = value + strlen(value) + 1;
  }
  text += strcmp(entry, "psh") == 0 ? "#define PSH 1\n" : "#define VSH 1\n";
  MyShaderInclude inc{s};
  if (!preprocess(inc, s->file, text, 0, err)) return false;
  text += "#line 100000 0\nvoid main() { ";
  text += entry;
  text += "(); }\n";
  return true;
}

// {===== GL objects

static void report(const char* file, const char* what, const char* log) {
  int n = (int)strlen(log);
  while (n > 0 && (log[n - 1] == '\n' || log[n - 1] == '\r' || log[n - 1] == ' ')) n--;
  if (n == 0) return;
  debug("HLSL '%s', func '%s':", file, what);
  debug("%.*s", n, log);
  if (shader_compiler.reloading) {
    char head[600];
    snprintf(head, sizeof head, "HLSL '%s', func '%s':", file, what);
    append_error_message(head, -1);
    append_error_message(log, n);
  }
}

static GLuint compile_stage(GLenum type, const std::string& text, const char* file,
                            const char* entry, bool messages) {
  GLuint sh = glCreateShader(type);
  if (!sh) return 0;
  const char* p = text.c_str();
  GLint len = (GLint)text.size();
  glShaderSource(sh, 1, &p, &len);
  glCompileShader(sh);
  GLint ok = 0, log_len = 0;
  glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
  glGetShaderiv(sh, GL_INFO_LOG_LENGTH, &log_len);
  if (messages && log_len > 1) {
    std::string log((size_t)log_len, '\0');
    glGetShaderInfoLog(sh, log_len, nullptr, log.data());
    report(file, entry, log.c_str());
  }
  if (!ok) {
    if (messages) debug("FAILED to compile HLSL shader '%s', func '%s'", file, entry);
    glDeleteShader(sh);
    return 0;
  }
  return sh;
}

void shader_objects_release(ShaderObjects& o) {
  // After the device closed, the context took its objects with it.
  if (!d3d_ready()) {
    o = ShaderObjects{};
    return;
  }
  if (o.program) {
    device_forget_program(o.program);
    glDeleteProgram(o.program);
  }
  if (o.vs) glDeleteShader(o.vs);
  if (o.ps) glDeleteShader(o.ps);
  o = ShaderObjects{};
}

bool shader_build(const Shader* s, const std::string& vs_text, const std::string& ps_text,
                  ShaderObjects& out, bool messages) {
  out = ShaderObjects{};
  out.vs = compile_stage(GL_VERTEX_SHADER, vs_text, s->file, "vsh", messages);
  if (!out.vs) return false;
  out.ps = compile_stage(GL_FRAGMENT_SHADER, ps_text, s->file, "psh", messages);
  if (!out.ps) return false;
  out.program = glCreateProgram();
  if (!out.program) return false;
  glAttachShader(out.program, out.vs);
  glAttachShader(out.program, out.ps);
  glLinkProgram(out.program);
  GLint ok = 0, log_len = 0;
  glGetProgramiv(out.program, GL_LINK_STATUS, &ok);
  glGetProgramiv(out.program, GL_INFO_LOG_LENGTH, &log_len);
  if (messages && log_len > 1) {
    std::string log((size_t)log_len, '\0');
    glGetProgramInfoLog(out.program, log_len, nullptr, log.data());
    report(s->file, "link", log.c_str());
  }
  if (!ok) {
    if (messages) debug("can't create pixel shader from '%s'", s->file);
    return false;
  }
  return true;
}

// {===== Cache file

static void cache_write(const Shader* s, const std::string& vs_text, const std::string& ps_text) {
  PathString path = make_full_path(shader_cache_name(s->file, s->defines));
  char folder[PATH_MAX];
  snprintf(folder, sizeof folder, "%s", path.c_str());
  if (char* slash = strrchr(folder, '/')) {
    *slash = 0;
    make_folders(folder);
  }
  uint32_t n = 1;
  for (const ShaderDependency& d : s->dependencies) n += (uint32_t)strlen(d.file) + 1;
  // An unwritable cache costs start-up time only: report it and go on.
  try {
    FileOutputStream out;
    if (!out.open(path)) throw OutputStream::Exception("can't open file", -1);
    out.writeUInt(SHADER_CACHE_MAGIC);
    out.writeUInt(n);
    out.writeUInt((uint32_t)vs_text.size());
    out.writeUInt((uint32_t)ps_text.size());
    for (const ShaderDependency& d : s->dependencies) out.write(d.file, (int)strlen(d.file) + 1);
    out.writeByte(0);
    out.write(vs_text.data(), (int)vs_text.size());
    out.write(ps_text.data(), (int)ps_text.size());
    if (!out.close()) throw OutputStream::Exception("error writing file", -1);
  } catch (const StreamIOException& e) {
    debug("SHADER: can't write cache file '%s': %s", path.c_str(), e.message);
  }
}

bool shader_load_cache(Shader* s, ShaderObjects& out) {
  out = ShaderObjects{};
  PathString path = make_full_path(shader_cache_name(s->file, s->defines));
  s->dependencies.resize(0);
  std::string vs_text, ps_text;
  try {
    FileInputStream in;
    if (!in.open(path)) return false;
    if (in.readUInt() != SHADER_CACHE_MAGIC) return false;
    uint32_t n = in.readUInt(), v = in.readUInt(), p = in.readUInt();
    if (n < 1 || n > MAX_CACHE_BLOCK || v > MAX_CACHE_BLOCK || p > MAX_CACHE_BLOCK) return false;
    // A cut file is stale before its blocks are allocated.
    in.seekToEnd(0);
    if (in.tell() < 16 + (int64_t)n + v + p) return false;
    in.seekTo(16);
    std::string names(n, '\0');
    in.read(names.data(), (int)n);
    if (names.back() != 0) return false;
    for (size_t at = 0; at < names.size();) {
      const char* name = names.c_str() + at;
      size_t l = strlen(name);
      if (l == 0) break;
      ShaderDependency d{};
      if (l >= sizeof d.file) return false; // no such file: a damaged cache, rebuilt
      memcpy(d.file, name, l + 1);
      d.time = shader_compiler.available ? get_file_time(make_full_path(name)) : 0;
      s->dependencies.push(d);
      at += l + 1;
    }
    vs_text.resize(v);
    ps_text.resize(p);
    in.read(vs_text.data(), (int)v);
    in.read(ps_text.data(), (int)p);
  } catch (const StreamIOException&) {
    return false;
  }
  if (shader_compiler.available) {
    int64_t cache_time = get_file_time(path);
    for (const ShaderDependency& d : s->dependencies)
      if (d.time > cache_time) return false;
  }
  if (!shader_build(s, vs_text, ps_text, out, false)) {
    shader_objects_release(out);
    return false;
  }
  debug("loaded shader '%s' from cache", s->file);
  return true;
}

bool shader_compile(Shader* s, ShaderObjects& out) {
  out = ShaderObjects{};
  s->dependencies.resize(0);
  std::string vs_text, ps_text, err;
  bool ok = stage_text(s, "vsh", vs_text, err) && stage_text(s, "psh", ps_text, err);
  if (!ok) {
    report(s->file, "vsh", err.c_str());
    debug("FAILED to compile HLSL shader '%s', func '%s'", s->file, "vsh");
    return false;
  }
  if (!shader_build(s, vs_text, ps_text, out, true)) return false;
  cache_write(s, vs_text, ps_text);
  return true;
}
