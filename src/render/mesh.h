// Meshes: the ".r3d" file format and the shared, reference-counted cache of
// loaded meshes (static vertex and index buffers plus what the file says
// about drawing them). Meshes are shared by full path, compared ignoring
// case; `release_mesh` drops one reference and frees the GPU buffers with
// the last one.
//
// ".r3d" layout (little-endian): uint32 version 0x14030200; the shader name,
// the class name (uint8 length, characters, a zero byte each); uint8 count
// of texture names, each as above; uint8 count of 16-byte records; four
// floats; uint8 count of 6-byte vertex elements (stream 0, no end element);
// int32 stride, vertex count, triangle count; the vertices; 3 x triangle
// count uint16 indices.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "core/tempData.h"
#include "render/device.h"

constexpr uint32_t MESH_FILE_VERSION = 0x14030200;
// Names in a mesh file hold at most 63 characters.
constexpr int MESH_NAME_SIZE = 64;
// Vertex elements a mesh may declare: with the largest instance list (8)
// and the end element the declaration stays below MAX_VDECL_LEN.
constexpr int MESH_MAX_ELEMENTS = 16;

typedef TempString<MESH_NAME_SIZE> MeshName;

struct MeshRecord {
  uint8_t bytes[16];
};

// A parsed file before the GPU has it; `vertices` and `indices` point into
// the caller's buffer.
struct MeshFileData {
  MeshName shader, className;
  DynArray<MeshName> textures;
  DynArray<MeshRecord> records;
  float params[4];
  DynArray<VertexElement> vsd;
  int stride, numVerts, numFaces;
  const uint8_t* vertices;
  const uint8_t* indices; // 3 x numFaces uint16, not necessarily aligned
};

// Parses and validates a whole ".r3d" file image. Failures throw
// InputStream::Exception with the offset of the bad item: "Invalid mesh file
// version", a read past the end, "mesh name is longer than 63 characters",
// and the checks that keep a file from making the GPU read outside its
// buffers (elements inside the stride, indices below the vertex count).
void parse_mesh_file(const uint8_t* data, int size, MeshFileData& out);

struct Mesh {
  VertexBuffer* vb;
  IndexBuffer* ib;
  int stride;
  int numVerts;
  int numFaces; // the index buffer holds 3 x numFaces indices
  DynArray<VertexElement> vsd; // stream 0, without the end element
  MeshName shaderName;
  MeshName className; // "Simple", "Morph", "Spline" or "Building"
  DynArray<MeshName> textureNames; // the first is the mesh's texture
  DynArray<MeshRecord> records;    // carried, not used by the renderers
  float params[4];                 // our meshes: bounding sphere centre and radius
  PathString path;
  int refcount;
};

// The mesh of file `name` (relative to the data folder), loaded on first
// use, another reference otherwise. A file that can't be read is reported as
// "Error reading mesh file '%s':\n%s (offset %d)": fatal when `must_exist`,
// else logged and null.
Mesh* get_mesh(const char* name, bool must_exist = true);
void release_mesh(Mesh* m); // null is ignored
// Frees every cached mesh whatever its references (shutdown).
void close_all_meshes();
int loaded_mesh_count();
