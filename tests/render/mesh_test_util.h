// Builds ".r3d" files for the mesh and instance-renderer tests: a unit quad
// (two triangles) with position, normal and uv, of any class and shader.
#pragma once
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace meshtest {

struct R3d {
  uint32_t version = 0x14030200;
  std::string shader = "mesh.sh", cls = "Simple";
  std::vector<std::string> textures;
  int records = 0;
  int stride = 32, verts = 4, faces = 2;
  std::vector<uint8_t> elems = {0, 0, 0, 3, 0, 0, 12, 0, 0, 3, 1, 0, 24, 0, 0, 2, 3, 0};
  std::vector<uint16_t> indices = {0, 1, 2, 0, 2, 3};
  float morph1[3] = {0, 0, 0}; // the first morph target's offset of every vertex (Morph meshes)
};

inline void put(std::vector<uint8_t>& o, const void* p, size_t n) {
  o.insert(o.end(), (const uint8_t*)p, (const uint8_t*)p + n);
}
inline void put_name(std::vector<uint8_t>& o, const std::string& s) {
  o.push_back((uint8_t)s.size());
  put(o, s.data(), s.size());
  o.push_back(0);
}

inline std::vector<uint8_t> bytes(const R3d& r) {
  std::vector<uint8_t> o;
  put(o, &r.version, 4);
  put_name(o, r.shader);
  put_name(o, r.cls);
  o.push_back((uint8_t)r.textures.size());
  for (const std::string& t : r.textures) put_name(o, t);
  o.push_back((uint8_t)r.records);
  for (int i = 0; i < r.records * 16; i++) o.push_back((uint8_t)i);
  float sphere[4] = {0.5f, 0, 0.5f, 0.71f};
  put(o, sphere, 16);
  o.push_back((uint8_t)(r.elems.size() / 6));
  put(o, r.elems.data(), r.elems.size());
  put(o, &r.stride, 4);
  put(o, &r.verts, 4);
  put(o, &r.faces, 4);
  for (int v = 0; v < r.verts; v++) {
    float f[11] = {float(v == 1 || v == 2), 0, float(v >= 2), 0, 1, 0, float(v == 1 || v == 2), float(v >= 2),
                   r.morph1[0], r.morph1[1], r.morph1[2]};
    std::vector<uint8_t> vert(r.stride > 0 ? r.stride : 0, 0);
    if (!vert.empty()) memcpy(vert.data(), f, std::min<size_t>(sizeof f, vert.size()));
    put(o, vert.data(), vert.size());
  }
  put(o, r.indices.data(), r.indices.size() * 2);
  return o;
}

} // namespace meshtest
