// The ".r3d" reader refuses damaged files with a message naming the file and
// the problem: every cut of a valid file, a wrong version, names too long,
// vertex elements outside the stride, indices past the vertex count. A
// refused file is fatal only when the caller requires the mesh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "core/log.h"
#include "core/stream.h"
#include "render/content_test_util.h"
#include "render/gl_test_util.h"
#include "render/mesh.h"
#include "render/mesh_test_util.h"

namespace {

using ::testing::HasSubstr;
using meshtest::R3d;

// The message parse_mesh_file refuses `file` with, or "" when it is accepted.
std::string refusal(const std::vector<uint8_t>& file) {
  MeshFileData d{};
  try {
    parse_mesh_file(file.data(), (int)file.size(), d);
  } catch (const StreamIOException& e) {
    return e.message;
  }
  return "";
}

TEST(MeshFile, ValidFileParsesWithEverythingItCarries) {
  R3d r;
  r.textures = {"quad.dds", "second.dds"};
  r.records = 2;
  std::vector<uint8_t> file = meshtest::bytes(r);
  MeshFileData d{};
  parse_mesh_file(file.data(), (int)file.size(), d);
  EXPECT_STREQ(d.shader, "mesh.sh");
  EXPECT_STREQ(d.className, "Simple");
  ASSERT_EQ(d.textures.num, 2);
  EXPECT_STREQ(d.textures[1], "second.dds");
  ASSERT_EQ(d.records.num, 2);
  EXPECT_EQ(d.records[1].bytes[0], 16);
  EXPECT_FLOAT_EQ(d.params[3], 0.71f);
  EXPECT_EQ(d.vsd.num, 3);
  EXPECT_EQ(d.stride, 32);
  EXPECT_EQ(d.numVerts, 4);
  EXPECT_EQ(d.numFaces, 2);
  uint16_t last;
  memcpy(&last, d.indices + 10, 2);
  EXPECT_EQ(last, 3);
}

TEST(MeshFile, EveryCutOfAValidFileIsRefused) {
  std::vector<uint8_t> file = meshtest::bytes(R3d{});
  for (size_t n = 0; n < file.size(); n++) {
    std::vector<uint8_t> cut(file.begin(), file.begin() + n);
    EXPECT_NE(refusal(cut), "") << "cut at " << n;
  }
}

TEST(MeshFile, MalformedFilesAreRefusedWithTheirReason) {
  R3d r;
  r.version = 0x14030201;
  EXPECT_EQ(refusal(meshtest::bytes(r)), "Invalid mesh file version");
  r = R3d{};
  r.textures = {std::string(64, 'x')};
  EXPECT_THAT(refusal(meshtest::bytes(r)), HasSubstr("longer than 63"));
  r.textures = {std::string(63, 'x')};
  EXPECT_EQ(refusal(meshtest::bytes(r)), "");
  r = R3d{};
  r.indices[4] = 4; // one past the last vertex
  EXPECT_THAT(refusal(meshtest::bytes(r)), HasSubstr("index"));
  r = R3d{};
  r.elems[18 - 6] = 28; // the FLOAT2 uv at offset 28 of a 32-byte vertex ends past it
  EXPECT_THAT(refusal(meshtest::bytes(r)), HasSubstr("outside the stride"));
  r = R3d{};
  r.elems[2] = 1; // stream 1 belongs to the instances
  EXPECT_THAT(refusal(meshtest::bytes(r)), HasSubstr("stream or type"));
  r = R3d{};
  r.faces = 70000;
  EXPECT_THAT(refusal(meshtest::bytes(r)), HasSubstr("triangle count"));
  r = R3d{};
  r.verts = 0;
  EXPECT_THAT(refusal(meshtest::bytes(r)), HasSubstr("vertex count"));
  r = R3d{};
  r.stride = -32;
  EXPECT_THAT(refusal(meshtest::bytes(r)), HasSubstr("stride"));
  r = R3d{};
  r.elems.clear();
  for (int i = 0; i < 17; i++) r.elems.insert(r.elems.end(), {0, 0, 0, 3, 0, (uint8_t)i});
  EXPECT_THAT(refusal(meshtest::bytes(r)), HasSubstr("more than 16"));
}

class MeshCache : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    content::use_as_app_path();
  }
  void TearDown() override {
    if (gltest::GlEnv::ok) close_all_meshes();
  }
};

TEST_F(MeshCache, SharedByPathIgnoringCaseAndFreedWithTheLastReference) {
  content::write("quad.r3d", meshtest::bytes(R3d{}));
  Mesh* a = get_mesh("quad.r3d");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(get_mesh("QUAD.r3d"), a);
  EXPECT_EQ(a->refcount, 2);
  EXPECT_EQ(a->numFaces, 2);
  EXPECT_NE(a->vb, nullptr);
  EXPECT_NE(a->ib, nullptr);
  release_mesh(a);
  EXPECT_EQ(loaded_mesh_count(), 1);
  release_mesh(a);
  EXPECT_EQ(loaded_mesh_count(), 0);
}

TEST_F(MeshCache, BadFileIsLoggedAndSkippedUnlessRequired) {
  std::vector<uint8_t> file = meshtest::bytes(R3d{});
  file.resize(file.size() - 3); // the last index cut
  content::write("cut.r3d", file);
  testing::internal::CaptureStdout();
  EXPECT_EQ(get_mesh("cut.r3d", false), nullptr);
  std::string log = testing::internal::GetCapturedStdout();
  EXPECT_THAT(log, HasSubstr("Error reading mesh file '" + content::path("cut.r3d") + "':\nmesh file is truncated"));
  EXPECT_EQ(loaded_mesh_count(), 0);
  EXPECT_EXIT(get_mesh("cut.r3d", true), ::testing::ExitedWithCode(100), "Error reading mesh file '.*cut.r3d'");
  EXPECT_EXIT(get_mesh("absent.r3d", true), ::testing::ExitedWithCode(100),
              "Error reading mesh file '.*absent.r3d':\nCan't open file");
}

} // namespace
