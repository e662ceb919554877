// meshgen writes the game's 39 instance meshes as ".r3d" files, each with
// its texture "<name>.dds" (A8R8G8B8, 128 x 128, full mip chain: 2 x 2
// swatches of one material each), into the folder given on the command line.
// Deterministic: fixed geometry and hash noise, no clock, no platform
// randomness.
//
//   meshgen OUT_DIR
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/dds_write.h"

#include "models.h"

using namespace meshgen;

namespace {

constexpr int TEX = 128;

void put(std::vector<uint8_t>& out, const void* p, size_t n) {
  size_t at = out.size();
  out.resize(at + n);
  memcpy(out.data() + at, p, n);
}
void put32(std::vector<uint8_t>& out, uint32_t v) { put(out, &v, 4); }
void put_name(std::vector<uint8_t>& out, const std::string& s) {
  out.push_back((uint8_t)s.size());
  put(out, s.data(), s.size());
  out.push_back(0);
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

const char* shader_of(const char* cls) {
  if (!strcmp(cls, "Morph")) return "mesh_morph.sh";
  if (!strcmp(cls, "Spline")) return "mesh_spline.sh";
  if (!strcmp(cls, "Building")) return "mesh_building.sh";
  return "mesh.sh";
}

std::vector<uint8_t> mesh_file(const Model& m, const Builder& b) {
  bool morph = !strcmp(m.cls, "Morph");
  std::vector<uint8_t> out;
  put32(out, 0x14030200);
  put_name(out, shader_of(m.cls));
  put_name(out, m.cls);
  out.push_back(1);
  put_name(out, std::string(m.name) + ".dds");
  out.push_back(0); // no records
  float sphere[4];
  b.bounds(sphere);
  put(out, sphere, sizeof sphere);
  // offset, stream, type (2 FLOAT2, 3 FLOAT3), usage (0 POSITION, 1 NORMAL, 3 TEXCOORD), index
  static const uint8_t elems[30] = {0, 0, 0, 3, 0, 0, 12, 0, 0, 3, 1, 0, 24, 0, 0,
                                    2, 3, 0, 32, 0, 0, 3, 0, 1, 44, 0, 0, 3, 0, 2};
  int n_elems = morph ? 5 : 3;
  out.push_back((uint8_t)n_elems);
  put(out, elems, (size_t)n_elems * 6);
  int stride = morph ? 56 : 32;
  put32(out, (uint32_t)stride);
  put32(out, (uint32_t)b.verts.size());
  put32(out, (uint32_t)(b.idx.size() / 3));
  for (const Vert& v : b.verts) {
    float f[14] = {v.p.x, v.p.y, v.p.z, v.n.x, v.n.y, v.n.z, v.u, v.v, v.m1.x, v.m1.y, v.m1.z, v.m2.x, v.m2.y, v.m2.z};
    put(out, f, (size_t)stride);
  }
  put(out, b.idx.data(), b.idx.size() * 2);
  return out;
}


// A8R8G8B8 with every mip level (box filtered); bytes B, G, R, A, rows top first.
std::vector<uint8_t> texture_file(const Model& m) {
  std::vector<float> img(size_t(TEX) * TEX * 4);
  const int half = TEX / 2;
  for (int y = 0; y < TEX; y++)
    for (int x = 0; x < TEX; x++) {
      Material mat = m.mats[(x >= half ? 1 : 0) + (y >= half ? 2 : 0)];
      material_texel(mat, ((x % half) + 0.5f) / half, ((y % half) + 0.5f) / half, &img[(size_t(y) * TEX + x) * 4]);
    }
  return dds_write::from_rgba(std::move(img), TEX, TEX, dds_write::full_chain(TEX, TEX));
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: meshgen OUT_DIR\n");
    return 2;
  }
  std::string dir = argv[1];
  if (!dir.empty() && dir.back() != '/') dir += '/';
  int written = 0;
  bool ok = true;
  auto emit = [&](const Model* list, int count) {
    for (int i = 0; i < count; i++) {
      const Model& m = list[i];
      Builder b;
      m.build(b);
      if (b.verts.size() > 32767 || b.idx.size() / 3 > 65535 || b.idx.empty()) {
        fprintf(stderr, "meshgen: %s has %zu vertices and %zu triangles\n", m.name, b.verts.size(), b.idx.size() / 3);
        ok = false;
        continue;
      }
      if (!write_file(dir + m.name + ".r3d", mesh_file(m, b)) ||
          !write_file(dir + m.name + ".dds", texture_file(m))) {
        fprintf(stderr, "meshgen: can't write %s%s\n", dir.c_str(), m.name);
        ok = false;
        continue;
      }
      written++;
    }
  };
  emit(nature_models, nature_model_count);
  emit(creature_models, creature_model_count);
  emit(castle_models, castle_model_count);
  printf("meshgen: wrote %d meshes with their textures to %s\n", written, dir.c_str());
  return ok && written == 39 ? 0 : 1;
}
