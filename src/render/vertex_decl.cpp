// Vertex declarations (a 64-slot cache of converted element lists), program
// binding for the shader module, instancing and the draws.
//
// Vertex inputs are matched by name: an element with usage U and index i
// feeds the shader input named U##i (POSITION0, NORMAL0, COLOR1, TEXCOORD3,
// TANGENT0). Each program's input locations are read once, on its first
// use; the attribute pointers are applied at draw time from the bound
// declaration, streams and program, only when one of them changed.
#include <cstdio>
#include <cstring>

#include "core/log.h"
#include "render/device_local.h"

static VertexDecl vdecl_cache[MAX_VDECLS];

// Direct3D declaration codes.
enum {
  DT_FLOAT1 = 0, DT_FLOAT2, DT_FLOAT3, DT_FLOAT4, DT_D3DCOLOR, DT_UBYTE4, DT_SHORT2, DT_SHORT4,
  DT_UNUSED = 17,
  DU_POSITION = 0, DU_NORMAL = 3, DU_TEXCOORD = 5, DU_TANGENT = 6, DU_COLOR = 10,
};

static uint8_t decl_type(uint8_t code) {
  static const uint8_t types[8] = {DT_UNUSED, DT_FLOAT1,   DT_FLOAT2, DT_FLOAT3,
                                   DT_FLOAT4, DT_D3DCOLOR, DT_SHORT2, DT_SHORT4};
  return code < 8 ? types[code] : (uint8_t)DT_UNUSED;
}

static uint8_t decl_usage(uint8_t code) {
  static const uint8_t usages[4] = {DU_POSITION, DU_NORMAL, DU_COLOR, DU_TEXCOORD};
  return code < 4 ? usages[code] : (uint8_t)DU_TANGENT;
}

// Attribute slot of a converted element: kind * 16 + index, kinds in the
// order POSITION, NORMAL, COLOR, TEXCOORD, TANGENT.
static int attr_slot(const D3dVertexElement& e) {
  int kind = e.usage == DU_POSITION ? 0 : e.usage == DU_NORMAL ? 1 : e.usage == DU_COLOR ? 2
           : e.usage == DU_TEXCOORD ? 3 : 4;
  return kind * 16 + (e.usage_index & 15);
}

// {===== Declarations

VertexDecl* get_vdecl(const VertexElement* elements) {
  VertexDecl d{};
  int i = 0;
  for (;; i++) {
    ASSERT(i<MAX_VDECL_LEN);
    const VertexElement& s = elements[i];
    if (s.stream == 255) break;
    d.elems[i] = D3dVertexElement{s.stream, s.offset, decl_type(s.type), 0, decl_usage(s.usage),
                                  s.usage_index};
  }
  d.elems[i] = D3dVertexElement{0xFF, 0, DT_UNUSED, 0, 0, 0};
  d.count = i + 1;

  VertexDecl* empty = nullptr;
  for (VertexDecl& c : vdecl_cache) {
    if (c.count == 0) {
      if (!empty) empty = &c;
      continue;
    }
    if (c.count == d.count && memcmp(c.elems, d.elems, sizeof(D3dVertexElement) * d.count) == 0)
      return &c;
  }
  if (!empty) fatal("reached maximum vertex declaration count");

  // Direct3D refuses UNUSED elements before the end element.
  for (int k = 0; k < i; k++)
    if (d.elems[k].type == DT_UNUSED) {
      debug("VSD:");
      for (int j = 0; j < i; j++)
        debug("  %4u %2u %2u %2u %2u", elements[j].offset, elements[j].stream, elements[j].type,
              elements[j].usage, elements[j].usage_index);
      fatal("failed to create vertex declaration (code 0x%08X)", (unsigned)GL_INVALID_VALUE);
    }
  *empty = d;
  return empty;
}

void set_vdecl(VertexDecl* decl) {
  dev.decl = decl;
  dev.attribs_dirty = true;
}

void vdecl_release_all() {
  for (VertexDecl& c : vdecl_cache) c = VertexDecl{};
}

// {===== Programs

const char* const device_glsl_header =
    "layout(std140) uniform VsConsts { vec4 vc[256]; };\n"
    "layout(std140) uniform PsConsts { vec4 pc[224]; };\n"
    "layout(std140) uniform DeviceState { vec4 rh_state; };\n";

static bool parse_attr_name(const char* name, int& slot) {
  static const char* const kinds[5] = {"POSITION", "NORMAL", "COLOR", "TEXCOORD", "TANGENT"};
  for (int k = 0; k < 5; k++) {
    size_t l = strlen(kinds[k]);
    if (strncmp(name, kinds[k], l) != 0) continue;
    int idx = 0;
    const char* p = name + l;
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9') idx = idx * 10 + (*p++ - '0');
    if (*p || idx > 15) return false;
    slot = k * 16 + idx;
    return true;
  }
  return false;
}

static ProgramInfo* program_info(GLuint program) {
  ProgramInfo* empty = nullptr;
  for (ProgramInfo& p : dev.programs) {
    if (p.program == program) return &p;
    if (!p.program && !empty) empty = &p;
  }
  if (!empty) {
    debug("D3D: more than %d programs in use", MAX_PROGRAMS);
    return nullptr;
  }
  ProgramInfo& info = *empty;
  info.program = program;
  memset(info.attr_loc, -1, sizeof info.attr_loc);
  static const char* const blocks[3] = {"VsConsts", "PsConsts", "DeviceState"};
  for (GLuint b = 0; b < 3; b++) {
    GLuint idx = glGetUniformBlockIndex(program, blocks[b]);
    if (idx != GL_INVALID_INDEX) glUniformBlockBinding(program, idx, b);
  }
  glUseProgram(program);
  for (int s = 0; s < MAX_STAGES; s++) {
    char name[8];
    snprintf(name, sizeof name, "s%d", s);
    GLint loc = glGetUniformLocation(program, name);
    if (loc >= 0) glUniform1i(loc, s);
  }
  GLint count = 0;
  glGetProgramiv(program, GL_ACTIVE_ATTRIBUTES, &count);
  for (GLint a = 0; a < count; a++) {
    char name[64];
    GLint size;
    GLenum type;
    glGetActiveAttrib(program, a, sizeof name, nullptr, &size, &type, name);
    int slot;
    GLint loc = glGetAttribLocation(program, name);
    if (loc >= 0 && loc < 32 && parse_attr_name(name, slot)) info.attr_loc[slot] = (signed char)loc;
  }
  return &info;
}

void device_use_program(unsigned program) {
  ProgramInfo* info = program ? program_info(program) : nullptr;
  glUseProgram(info ? program : 0);
  if (info != dev.program) dev.attribs_dirty = true;
  dev.program = info;
}

void device_forget_program(unsigned program) {
  if (!program) return;
  for (ProgramInfo& p : dev.programs)
    if (p.program == program) {
      if (dev.program == &p) {
        glUseProgram(0);
        dev.program = nullptr;
      }
      p = ProgramInfo{};
    }
}

void programs_release_all() {
  for (ProgramInfo& p : dev.programs) p = ProgramInfo{};
  dev.program = nullptr;
}

// {===== Vertex inputs

static void attribs_set_enabled(unsigned want) {
  unsigned change = want ^ dev.enabled_attribs;
  for (int loc = 0; change; loc++, change >>= 1)
    if (change & 1) {
      if (want & (1u << loc))
        glEnableVertexAttribArray(loc);
      else
        glDisableVertexAttribArray(loc);
    }
  dev.enabled_attribs = want;
}

static void attribs_apply() {
  unsigned want = 0;
  VertexDecl* d = dev.decl;
  ProgramInfo* p = dev.program;
  for (int i = 0; d && p && i < d->count - 1; i++) {
    const D3dVertexElement& e = d->elems[i];
    int loc = p->attr_loc[attr_slot(e)];
    if (loc < 0 || e.stream >= MAX_STREAMS) continue;
    const StreamBinding& s = dev.streams[e.stream];
    if (!s.vb || !s.vb->buffer) continue;
    glBindBuffer(GL_ARRAY_BUFFER, s.vb->buffer);
    const void* ptr = (const void*)(intptr_t)(s.offset + e.offset);
    switch (e.type) {
    case DT_FLOAT1: case DT_FLOAT2: case DT_FLOAT3: case DT_FLOAT4:
      glVertexAttribPointer(loc, e.type - DT_FLOAT1 + 1, GL_FLOAT, GL_FALSE, s.stride, ptr);
      break;
    case DT_D3DCOLOR: // bytes B, G, R, A: GL_BGRA size gives (r, g, b, a)
      glVertexAttribPointer(loc, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, s.stride, ptr);
      break;
    case DT_SHORT2: glVertexAttribPointer(loc, 2, GL_SHORT, GL_FALSE, s.stride, ptr); break;
    case DT_SHORT4: glVertexAttribPointer(loc, 4, GL_SHORT, GL_FALSE, s.stride, ptr); break;
    default: continue;
    }
    glVertexAttribDivisor(loc, dev.instances >= 1 && e.stream == 1 ? 1 : 0);
    want |= 1u << loc;
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  attribs_set_enabled(want);
  dev.attribs_dirty = false;
}

void draw_prepare() {
  consts_upload();
  if (dev.attribs_dirty) attribs_apply();
}

void set_instancing(int n) {
  int v = n < 1 ? 0 : n;
  if (v != dev.instances) dev.attribs_dirty = true;
  dev.instances = v;
}

// {===== Draws

static GLenum gl_prim(int type, int prims, int& count) {
  switch (type) {
  case D3DPT_POINTLIST: count = prims; return GL_POINTS;
  case D3DPT_LINELIST: count = prims * 2; return GL_LINES;
  case D3DPT_LINESTRIP: count = prims + 1; return GL_LINE_STRIP;
  case D3DPT_TRIANGLESTRIP: count = prims + 2; return GL_TRIANGLE_STRIP;
  case D3DPT_TRIANGLEFAN: count = prims + 2; return GL_TRIANGLE_FAN;
  default: count = prims * 3; return GL_TRIANGLES;
  }
}

static void draw_check(const char* what) {
#ifndef NDEBUG
  GLenum err = glGetError();
  if (err != GL_NO_ERROR) fatal("%s failed (code 0x%08X)", what, err);
#else
  (void)what;
#endif
}

void draw_indexed(int type, int base_vertex, int min_index, int num_vertices, int start_index,
                  int prim_count) {
  if (prim_count < 1) return;
  draw_prepare();
  int count;
  GLenum mode = gl_prim(type, prim_count, count);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, dev.ib ? dev.ib->buffer : 0);
  const void* first = (const void*)(intptr_t)(start_index * 2);
  if (dev.instances >= 1)
    glDrawElementsInstancedBaseVertex(mode, count, GL_UNSIGNED_SHORT, first, dev.instances, base_vertex);
  else
    glDrawRangeElementsBaseVertex(mode, (GLuint)min_index, (GLuint)(min_index + num_vertices - 1),
                                  count, GL_UNSIGNED_SHORT, first, base_vertex);
  draw_check("draw_indexed");
}

void draw_prim(int type, int start_vertex, int prim_count) {
  if (prim_count < 1) return;
  draw_prepare();
  int count;
  GLenum mode = gl_prim(type, prim_count, count);
  if (dev.instances >= 1)
    glDrawArraysInstanced(mode, start_vertex, count, dev.instances);
  else
    glDrawArrays(mode, start_vertex, count);
  draw_check("draw_prim");
}

// A full-screen quad in clip space fed to POSITION0 of the current program.
void draw_postfx() {
  static const float quad[12] = {-1, -1, 0, -1, 1, 0, 1, -1, 0, 1, 1, 0};
  if (!dev.postfx_vb) {
    glGenBuffers(1, &dev.postfx_vb);
    glBindBuffer(GL_ARRAY_BUFFER, dev.postfx_vb);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
  }
  consts_upload();
  unsigned want = 0;
  int loc = dev.program ? dev.program->attr_loc[0] : -1;
  if (loc >= 0) {
    glBindBuffer(GL_ARRAY_BUFFER, dev.postfx_vb);
    glVertexAttribPointer(loc, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    glVertexAttribDivisor(loc, 0);
    want = 1u << loc;
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  attribs_set_enabled(want);
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  dev.attribs_dirty = true;
  draw_check("draw_postfx");
}
