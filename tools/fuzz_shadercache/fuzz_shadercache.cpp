// libFuzzer target for the shader cache file reader (shader_load_cache): the input is written as
// a shader's cache file and loaded, with and without the compiler (byte 0, bit 0), so the
// dependency times are read too. A damaged cache must count as stale (false), never crash, read
// past the file or allocate what its sizes claim without the bytes; whatever loads hands the GL
// compiler exactly the stored texts, and no GL object outlives a failed load.
//
// GL is a stand-in: libepoxy's entry points are function pointers, set here to functions that
// keep count of the objects, read each source text whole and fail a stage whose text holds
// "#error" (so the failure paths run). Built with clang by scripts/fuzz-shadercache.sh; the
// regression suite replays the saved inputs with the normal build.
#include <epoxy/gl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "core/platform.h"
#include "render/shader.h"
#include "render/shader_local.h"

namespace {

std::string folder;
std::set<GLuint> shaders, programs;
GLuint next_name = 1;
std::string last_text[2]; // vertex, fragment as handed to the compiler
bool compiled_ok = true;

GLuint create_shader(GLenum type) {
  if (type != GL_VERTEX_SHADER && type != GL_FRAGMENT_SHADER) abort();
  shaders.insert(next_name);
  return next_name++;
}
void shader_source(GLuint sh, GLsizei count, const GLchar* const* text, const GLint* length) {
  if (!shaders.count(sh) || count != 1 || !length || *length < 0) abort();
  std::string t(text[0], (size_t)*length); // reads the whole text
  compiled_ok = t.find("#error") == std::string::npos;
  last_text[sh & 1] = t;
}
void compile_shader(GLuint) {}
void get_shader_iv(GLuint, GLenum what, GLint* v) { *v = what == GL_COMPILE_STATUS ? compiled_ok : 0; }
void get_program_iv(GLuint, GLenum what, GLint* v) { *v = what == GL_LINK_STATUS ? 1 : 0; }
void delete_shader(GLuint sh) {
  if (sh && !shaders.erase(sh)) abort();
}
GLuint create_program() {
  programs.insert(next_name);
  return next_name++;
}
void delete_program(GLuint p) {
  if (p && !programs.erase(p)) abort();
}
void attach_shader(GLuint p, GLuint sh) {
  if (!programs.count(p) || !shaders.count(sh)) abort();
}
void link_program(GLuint) {}

void write_input(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char templ[] = "/tmp/rh-fuzz-shadercache-XXXXXX";
  if (!mkdtemp(templ)) abort();
  folder = std::string(templ) + "/";
  snprintf(app_path, sizeof app_path, "%s", folder.c_str());
  std::filesystem::create_directories(folder + "cache");
  // Sources the dependency list can name: the shader itself and an include.
  write_input(folder + "fuzz.sh", (const uint8_t*)"x", 1);
  write_input(folder + "common.sh", (const uint8_t*)"y", 1);
  atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  });
  epoxy_glCreateShader = create_shader;
  epoxy_glShaderSource = shader_source;
  epoxy_glCompileShader = compile_shader;
  epoxy_glGetShaderiv = get_shader_iv;
  epoxy_glGetProgramiv = get_program_iv;
  epoxy_glDeleteShader = delete_shader;
  epoxy_glCreateProgram = create_program;
  epoxy_glDeleteProgram = delete_program;
  epoxy_glAttachShader = attach_shader;
  epoxy_glLinkProgram = link_program;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 256 * 1024) return 0;
  static Shader s;
  snprintf(s.file, sizeof s.file, "fuzz.sh");
  memset(s.defines, 0, sizeof s.defines);
  shader_compiler.available = (data[0] & 1) != 0;
  PathString cache = make_full_path(shader_cache_name(s.file, s.defines));
  write_input(cache.c_str(), data + 1, size - 1);
  ShaderObjects out;
  if (shader_load_cache(&s, out)) {
    if (!out.vs || !out.ps || !out.program) abort();
    // The stored texts, exactly: 16 bytes of header, the names, then both texts.
    uint32_t v, p;
    memcpy(&v, data + 1 + 8, 4);
    memcpy(&p, data + 1 + 12, 4);
    if (last_text[out.vs & 1].size() != v || last_text[out.ps & 1].size() != p) abort();
    for (const ShaderDependency& d : s.dependencies)
      if (!d.file[0] || strlen(d.file) >= sizeof d.file) abort();
    shader_objects_release(out);
  } else if (out.vs || out.ps || out.program) {
    abort(); // a failed load keeps nothing
  }
  if (!shaders.empty() || !programs.empty()) abort(); // a GL object outlived its load
  s.dependencies.clear();
  return 0;
}
