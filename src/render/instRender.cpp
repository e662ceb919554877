// Instance renderers: initialisation, the shared queue blocks, drawing
// through the common writer, and the managed renderers of get_inst_renderer.
//
// Invariant: a block is either in exactly one renderer's queue or in the
// free list; blocks are freed only by close_inst_render_internals.
#include "render/instRender.h"

#include <time.h>

#include <cstdlib>
#include <cstring>

#include "core/app_globals.h"
#include "core/log.h"
#include "render/dynVBWriter.h"
#include "render/texture.h"

bool InstRender::renderShadow = false;
InstRenderStats inst_render_stats;

static DynArray<InstRender*> managed_renderers;
static InstBlock* free_blocks = nullptr;
constexpr int INST_BLOCK_BYTES = 16384;

// Bindings shared by consecutive renderers of one pass.
static VertexDecl* bound_decl = nullptr;
static Shader* bound_shader = nullptr;
static Texture* bound_texture = nullptr;

// {===== Instance layouts

// Element fields: offset, stream, type (3 FLOAT3, 4 FLOAT4, 5 D3DCOLOR,
// 6 SHORT2), usage (0 POSITION, 1 NORMAL, 2 COLOR), usage index.
static const VertexElement simple_elems[] = {
    {0, 1, 3, 0, 11}, {12, 1, 3, 0, 12}, {24, 1, 3, 0, 13}, {36, 1, 3, 0, 10}, {48, 1, 5, 2, 10}};
static const VertexElement morph_elems[] = {{0, 1, 3, 0, 11},  {12, 1, 3, 0, 12}, {24, 1, 3, 0, 13},
                                            {36, 1, 3, 0, 10}, {48, 1, 5, 2, 10}, {52, 1, 5, 0, 15}};
static const VertexElement spline_elems[] = {{0, 1, 3, 0, 10},  {12, 1, 3, 0, 11}, {24, 1, 4, 0, 12},
                                             {40, 1, 4, 0, 13}, {56, 1, 5, 1, 10}, {60, 1, 5, 1, 11},
                                             {64, 1, 5, 2, 10}, {68, 1, 5, 2, 11}};
static const VertexElement building_elems[] = {{0, 1, 6, 0, 10}, {4, 1, 4, 0, 11}, {20, 1, 5, 0, 12}};

template <int N>
static const VertexElement* elems(const VertexElement (&a)[N], int& count) {
  count = N;
  return a;
}
const VertexElement* SimpleInstRender::instElements(int& count) const { return elems(simple_elems, count); }
const VertexElement* MorphInstRender::instElements(int& count) const { return elems(morph_elems, count); }
const VertexElement* SplineInstRender::instElements(int& count) const { return elems(spline_elems, count); }
const VertexElement* BuildingInstRender::instElements(int& count) const {
  return elems(building_elems, count);
}

// {===== Life

InstRender::~InstRender() {
  // Exported renderers are globals: by the time they are destroyed the
  // device is gone, so only the queue goes back (no GPU calls).
  clearQueue();
}

void InstRender::init(const char* mesh_file) {
  Mesh* m = get_mesh(mesh_file, true);
  ASSERT(m);
  init(m);
}

void InstRender::init(Mesh* m) {
  close();
  mesh = m;
  int inum = 0;
  const VertexElement* ie = instElements(inum);
  ASSERT(mesh->vsd.size()+inum<MAX_VDECL_LEN);
  VertexElement decl[MAX_VDECL_LEN];
  int n = 0;
  for (const VertexElement& e : mesh->vsd) decl[n++] = e;
  for (int i = 0; i < inum; i++) decl[n++] = ie[i];
  decl[n] = VertexElement{0, 255, 0, 0, 0};
  vdecl = get_vdecl(decl);
  PathString name;
  name.format("%s%s", gfx_quality == 1 ? "dr_" : "", mesh->shaderName.c_str());
  shader = create_shader(name, nullptr);
  shadowShader = create_shader(name, "SHADOW\0 1\0");
  if (mesh->textureNames.num > 0) texture = get_texture(mesh->textureNames[0], true);
}

void InstRender::close() {
  clearQueue();
  free_texture(texture);
  destroy_shader(shader);
  destroy_shader(shadowShader);
  release_mesh(mesh);
  texture = nullptr;
  shader = shadowShader = nullptr;
  mesh = nullptr;
  vdecl = nullptr;
}

// {===== The queue

static InstBlock* take_block(int bytes) {
  for (InstBlock** p = &free_blocks; *p; p = &(*p)->next)
    if ((*p)->capacity >= bytes) {
      InstBlock* b = *p;
      *p = b->next;
      return b;
    }
  int cap = bytes > INST_BLOCK_BYTES ? bytes : INST_BLOCK_BYTES;
  InstBlock* b = (InstBlock*)malloc(sizeof(InstBlock) + (size_t)cap);
  if (!b) fatal("out of memory for %d bytes of instance data", cap);
  b->data = (uint8_t*)(b + 1);
  b->capacity = cap;
  return b;
}

void* InstRender::addInstances(int n) {
  if (n < 1) return nullptr;
  int bytes = n * instStride();
  if (last && last->capacity - last->bytes >= bytes) {
    void* p = last->data + last->bytes;
    last->bytes += bytes;
    return p;
  }
  InstBlock* b = take_block(bytes);
  b->bytes = bytes;
  b->next = nullptr;
  if (last)
    last->next = b;
  else
    first = b;
  last = b;
  return b->data;
}

int InstRender::queuedInstances() const {
  int bytes = 0;
  for (InstBlock* b = first; b; b = b->next) bytes += b->bytes;
  return bytes / instStride();
}

void InstRender::clearQueue() {
  if (!first) return;
  last->next = free_blocks;
  free_blocks = first;
  first = last = nullptr;
}

// {===== Drawing

// The writer's instanced draw, counted.
static double thread_cpu_ms() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (double)t.tv_sec * 1e3 + (double)t.tv_nsec * 1e-6;
}

// The writer's instanced draw, counted (one per full writer buffer, so the
// two clock reads cost nothing next to the draw).
static void inst_draw(int count, int arg) {
  if (inst_render_stats.draws < 16) inst_render_stats.drawSizes[inst_render_stats.draws] = count;
  inst_render_stats.draws++;
  inst_render_stats.instances += count;
  double t0 = thread_cpu_ms();
  dynvb_draw_instanced(count, arg);
  inst_render_stats.drawCpuMs += thread_cpu_ms() - t0;
}

void InstRender::render() {
  if (!first) return;
  if (!mesh) { // never initialised: nothing to draw with
    clearQueue();
    return;
  }
  Shader* s = renderShadow ? shadowShader : shader;
  if (vdecl != bound_decl) {
    set_vdecl(vdecl);
    bound_decl = vdecl;
    inst_render_stats.binds++;
  }
  if (s != bound_shader) {
    set_shader(s);
    bound_shader = s;
    inst_render_stats.binds++;
  }
  if (texture && texture != bound_texture) {
    set_texture(0, texture);
    bound_texture = texture;
    inst_render_stats.binds++;
  }
  set_ib(mesh->ib);
  set_vb(0, mesh->vb, 0, mesh->stride);

  DynVBWriter& w = common_vb_writer;
  int stride = instStride();
  int per_buffer = w.size / stride;
  w.begin(inst_draw, (mesh->numVerts << 16) + mesh->numFaces, 1, stride);
  for (InstBlock* b = first; b; b = b->next) {
    const uint8_t* src = b->data;
    int left = b->bytes / stride;
    while (left > 0) {
      int k = per_buffer - w.count;
      if (k > left) k = left;
      memcpy(w.cur, src, (size_t)k * stride);
      w.cur += k * stride;
      w.count += k;
      src += k * stride;
      left -= k;
      if (w.count == per_buffer) w.flush(false);
    }
  }
  w.flush(true);
  clearQueue();
}

void start_inst_render() {
  bound_decl = nullptr;
  bound_shader = nullptr;
  bound_texture = nullptr;
  inst_render_stats = InstRenderStats{};
}

void end_inst_render() { set_instancing(0); }

void managed_inst_render() {
  for (InstRender* r : managed_renderers) r->render();
}

// {===== Managed renderers

static InstRender* new_renderer(const char* cls) {
  if (strcmp(cls, "Simple") == 0) return new SimpleInstRender;
  if (strcmp(cls, "Morph") == 0) return new MorphInstRender;
  if (strcmp(cls, "Spline") == 0) return new SplineInstRender;
  if (strcmp(cls, "Building") == 0) return new BuildingInstRender;
  return nullptr;
}

InstRender* get_inst_renderer(const char* mesh, const char* cls) {
  if (!mesh || !mesh[0]) return nullptr;
  PathString file;
  file.format("%s.r3d", mesh);
  Mesh* m = get_mesh(file, true);
  ASSERT(m);
  if (!cls || strcmp(m->className, cls) != 0)
    fatal("Expected class '%s' for '%s', got '%s'", cls ? cls : "", mesh, m->className.c_str());
  for (InstRender* r : managed_renderers)
    if (r->mesh == m) {
      release_mesh(m);
      return r;
    }
  InstRender* r = new_renderer(m->className);
  if (!r) fatal("Unknown instance renderer class '%s' in '%s'", m->className.c_str(), m->path.c_str());
  r->init(m);
  managed_renderers.push(r);
  return r;
}

int managed_inst_renderer_count() { return managed_renderers.num; }

void init_inst_render_internals() {}

void close_inst_render_internals() {
  for (InstRender* r : managed_renderers) {
    r->close();
    delete r;
  }
  managed_renderers.clear();
  for (const NamedInstRender& e : exported_inst_renderers) e.renderer->close();
  while (free_blocks) {
    InstBlock* b = free_blocks;
    free_blocks = b->next;
    free(b);
  }
  close_all_meshes();
  start_inst_render();
}
