// libFuzzer target for the ".r3d" reader (parse_mesh_file). Any input must
// end either in a refusal (InputStream::Exception with a message) or in a
// file whose every promise holds: names terminated and short, elements on
// stream 0 inside the stride, vertex and index data inside the input, every
// index below the vertex count. Never a crash, a read outside the input or
// a fatal stop. Built with clang by scripts/fuzz-mesh.sh, never by the main
// (GCC) build.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/stream.h"
#include "render/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  // A private copy, so that ASan catches any read past the input's end.
  uint8_t* copy = (uint8_t*)malloc(size ? size : 1);
  memcpy(copy, data, size);
  MeshFileData d{};
  bool ok = true;
  try {
    parse_mesh_file(copy, (int)size, d);
  } catch (const StreamIOException& e) {
    ok = false;
    if (!e.message[0]) abort(); // every refusal says why
  }
  if (ok) {
    if (strlen(d.shader) >= MESH_NAME_SIZE || strlen(d.className) >= MESH_NAME_SIZE) abort();
    if (d.vsd.num > MESH_MAX_ELEMENTS) abort();
    for (const VertexElement& e : d.vsd)
      if (e.stream != 0 || e.offset >= d.stride) abort();
    size_t end = (size_t)(d.indices - copy) + (size_t)d.numFaces * 6;
    if (d.vertices < copy || d.indices != d.vertices + (size_t)d.stride * d.numVerts || end > size) abort();
    for (int i = 0; i < d.numFaces * 3; i++) {
      uint16_t ix;
      memcpy(&ix, d.indices + i * 2, 2);
      if (ix >= d.numVerts) abort();
    }
  }
  free(copy);
  return 0;
}
