// The mesh cache: files read whole, parsed (mesh_file.cpp) and uploaded into
// static vertex and index buffers.
#include "render/mesh.h"

#include <strings.h>

#include <cstring>

#include "core/log.h"
#include "core/platform.h"
#include "core/stream.h"

static DynArray<Mesh*> mesh_cache;

[[noreturn]] static void refuse(const char* message, int offset) { throw InputStream::Exception(message, offset); }

// {===== The cache

static Mesh* find_mesh(const char* path) {
  for (Mesh* m : mesh_cache)
    if (strcasecmp(m->path, path) == 0) return m;
  return nullptr;
}

static void free_mesh(Mesh* m) {
  if (m->vb) release_vb(m->vb);
  if (m->ib) release_ib(m->ib);
  m->vsd.clear();
  m->textureNames.clear();
  m->records.clear();
  delete m;
}

static void read_file(const char* path, DynArray<uint8_t>& bytes) {
  FileInputStream f;
  if (!f.open(path, "rb")) refuse("Can't open file", 0);
  f.seekToEnd(0);
  int size = f.tell();
  if (size < 0 || size > (64 << 20)) refuse("mesh file is larger than 64 MB", 0);
  f.seekTo(0);
  bytes.resize(size);
  f.read(bytes.data, size);
}

// The GPU side; the file is valid. Failures throw as the reader does.
static void upload_mesh(Mesh* m, const MeshFileData& d) {
  int vbytes = d.stride * d.numVerts;
  m->vb = create_vb(vbytes, 1);
  if (!m->vb) refuse("Can't create vertex buffer", 0);
  void* p = lock_vb(m->vb, 0, 0);
  if (!p) refuse("Can't lock vertex buffer", 0);
  memcpy(p, d.vertices, (size_t)vbytes);
  unlock_vb(m->vb);
  m->ib = create_ib(d.numFaces * 3, 1);
  if (!m->ib) refuse("Can't create index buffer", 0);
  p = lock_ib(m->ib, 0, 0);
  if (!p) refuse("Can't lock index buffer", 0);
  memcpy(p, d.indices, (size_t)d.numFaces * 6);
  unlock_ib(m->ib);
}

Mesh* get_mesh(const char* name, bool must_exist) {
  PathString path = make_full_path(name);
  if (Mesh* m = find_mesh(path)) {
    m->refcount++;
    return m;
  }
  Mesh* m = new Mesh{};
  try {
    DynArray<uint8_t> bytes;
    read_file(path, bytes);
    MeshFileData d{};
    parse_mesh_file(bytes.data, bytes.num, d);
    m->shaderName = d.shader;
    m->className = d.className;
    m->textureNames = d.textures;
    m->records = d.records;
    memcpy(m->params, d.params, sizeof m->params);
    m->vsd = d.vsd;
    m->stride = d.stride;
    m->numVerts = d.numVerts;
    m->numFaces = d.numFaces;
    upload_mesh(m, d);
  } catch (const StreamIOException& e) {
    free_mesh(m);
    if (must_exist) fatal("Error reading mesh file '%s':\n%s (offset %d)", path.c_str(), e.message, e.position);
    debug("Error reading mesh file '%s':\n%s (offset %d)", path.c_str(), e.message, e.position);
    return nullptr;
  }
  m->path = path;
  m->refcount = 1;
  mesh_cache.push(m);
  return m;
}

void release_mesh(Mesh* m) {
  if (!m) return;
  for (int i = 0; i < mesh_cache.num; i++)
    if (mesh_cache[i] == m) {
      if (--m->refcount <= 0) {
        mesh_cache.remove(i, 1);
        free_mesh(m);
      }
      return;
    }
}

void close_all_meshes() {
  for (Mesh* m : mesh_cache) free_mesh(m);
  mesh_cache.clear();
}

int loaded_mesh_count() { return mesh_cache.num; }
