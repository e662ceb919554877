// The ".r3d" reader (no device needed, so the fuzz target links it alone).
//
// parse_mesh_file checks everything a later draw relies on, so that a damaged
// file is refused with a message instead of letting the GPU read outside a
// buffer: vertex elements inside the stride, every index below the vertex
// count, and counts that fit the draw's packing ((vertices << 16) +
// triangles in one int).
#include <cstring>

#include "core/stream.h"
#include "render/mesh.h"

// Bytes of the element types 1 FLOAT1 .. 4 FLOAT4, 5 D3DCOLOR, 6 SHORT2, 7 SHORT4.
static int element_bytes(int type) {
  static const int bytes[8] = {0, 4, 8, 12, 16, 4, 4, 8};
  return type >= 1 && type <= 7 ? bytes[type] : 0;
}

[[noreturn]] static void refuse(const char* message, int offset) { throw InputStream::Exception(message, offset); }

static void read_name(MemoryInputStream& in, MeshName& out) {
  int at = in.tell();
  int l = in.readByte();
  if (l >= MESH_NAME_SIZE) refuse("mesh name is longer than 63 characters", at);
  char buf[MESH_NAME_SIZE];
  in.read(buf, l);
  buf[l] = 0;
  in.readByte(); // the zero byte after the characters
  if (memchr(buf, 0, (size_t)l)) refuse("mesh name holds a zero byte", at);
  out = buf;
}

void parse_mesh_file(const uint8_t* data, int size, MeshFileData& out) {
  MemoryInputStream in(data, size);
  if (in.readUInt() != MESH_FILE_VERSION) refuse("Invalid mesh file version", 0);
  read_name(in, out.shader);
  read_name(in, out.className);
  int n = in.readByte();
  out.textures.resize(n);
  for (int i = 0; i < n; i++) read_name(in, out.textures[i]);
  int m = in.readByte();
  out.records.resize(m);
  in.read(out.records.data, m * (int)sizeof(MeshRecord));
  in.read(out.params, sizeof out.params);
  int at = in.tell();
  int e = in.readByte();
  if (e > MESH_MAX_ELEMENTS) refuse("mesh has more than 16 vertex elements", at);
  out.vsd.resize(e);
  in.read(out.vsd.data, e * (int)sizeof(VertexElement));
  at = in.tell();
  out.stride = in.readInt();
  out.numVerts = in.readInt();
  out.numFaces = in.readInt();
  if (out.stride < 1 || out.stride > 512) refuse("mesh vertex stride is not in 1..512", at);
  if (out.numVerts < 1 || out.numVerts > 32767) refuse("mesh vertex count is not in 1..32767", at + 4);
  if (out.numFaces < 1 || out.numFaces > 65535) refuse("mesh triangle count is not in 1..65535", at + 8);
  for (int i = 0; i < e; i++) {
    const VertexElement& v = out.vsd[i];
    int bytes = element_bytes(v.type);
    int where = at - e * 6 + i * 6;
    if (v.stream != 0 || bytes == 0) refuse("mesh vertex element has a bad stream or type", where);
    if (v.offset + bytes > out.stride) refuse("mesh vertex element lies outside the stride", where);
  }
  int vbytes = out.stride * out.numVerts; // at most 512 x 32767: no overflow
  int ibytes = out.numFaces * 6;
  if (size - in.tell() < vbytes + ibytes) refuse("mesh file is truncated", size);
  out.vertices = data + in.tell();
  out.indices = data + in.tell() + vbytes;
  int first_index = in.tell() + vbytes;
  for (int i = 0; i < out.numFaces * 3; i++) {
    uint16_t ix;
    memcpy(&ix, data + first_index + i * 2, 2); // the file's indices need not be aligned
    if (ix >= out.numVerts) refuse("mesh index is not below the vertex count", first_index + i * 2);
  }
}

