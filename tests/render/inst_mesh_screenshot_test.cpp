// Every one of the 38 generated meshes through its exported renderer, lit
// and textured on the real device (Mesa llvmpipe, headless): castle pieces in
// the two front rows, trees, stones, the humanoid and the creatures behind.
// The picture is kept as <build>/tests/artifacts/inst_meshes.png; the test
// checks that every model covers its place and that a few show their
// materials' colours. The same meshes then go through the high-quality
// shaders into the G-buffer and through the shadow variant into a map.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_globals.h"
#include "core/platform.h"
#include "core/window.h"
#include "core/temp_dir.h"
#include "render/dynVBWriter.h"
#include "render/gl_test_util.h"
#include "render/instRender.h"
#include "render/scene.h"
#include "render/shader.h"
#include "render/texture.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

namespace fs = std::filesystem;

constexpr int W = 960, H = 600;
constexpr uint32_t BACKGROUND = 0xFF6080A0;

fs::path exe_dir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

struct Placed {
  const char* name;
  float x, y, z; // where the model stands
};

class InstMeshPicture : public ::testing::Test {
protected:
  std::string content;
  Texture* target = nullptr;
  std::vector<Placed> placed;
  std::vector<uint8_t> bgra;

  void SetUp() override {
    ASSERT_TRUE(gltest::GlEnv::ok);
    content = make_temp_dir("rh-meshes");
    for (const auto& e : fs::directory_iterator(exe_dir().parent_path() / "bin")) {
      std::string ext = e.path().extension().string();
      if (ext == ".sh" || ext == ".dds" || ext == ".r3d") fs::copy_file(e.path(), content + e.path().filename().string());
    }
    snprintf(app_path, sizeof app_path, "%s", content.c_str());
    // The writer's buffers belong to the device about to be replaced.
    if (!common_vb_writer.vbufs.empty()) close_common_vb_writer();
    gltest::remake_device(W, H);
    load_shader_compiler();
    init_common_vb_writer();
    init_inst_render_internals();
    target = create_screen_render_texture();
    ASSERT_NE(target, nullptr);
  }
  void TearDown() override {
    close_inst_render_internals();
    close_common_vb_writer();
    if (target) release_texture(target);
    free_all_textures();
    close_shaders();
    gltest::remake_device(gltest::kWd, gltest::kHt);
    gltest::GlEnv::program = gltest::make_program();
    gltest::GlEnv::vb = create_vb(64 * sizeof(gltest::Vertex), 0);
  }

  void init_all() {
    for (const NamedInstRender& e : exported_inst_renderers) {
      PathString file;
      file.format("%s.r3d", e.mesh);
      e.renderer->init(file);
      ASSERT_NE(e.renderer->texture, nullptr) << e.mesh;
    }
  }

  // Camera above and in front of the rows, looking at them along +z.
  void set_camera(const float eye[3] = nullptr, const float look[3] = nullptr) {
    static const float def_eye[3] = {0, 10.5f, -14}, def_look[3] = {0, 0.0f, 5};
    if (!eye) eye = def_eye;
    if (!look) look = def_look;
    float f[3] = {look[0] - eye[0], look[1] - eye[1], look[2] - eye[2]};
    float l = std::sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (float& v : f) v /= l;
    float r[3] = {f[2], 0, -f[0]}; // up x forward with up = y
    float rl = std::sqrt(r[0] * r[0] + r[2] * r[2]);
    r[0] /= rl;
    r[2] /= rl;
    float u[3] = {f[1] * r[2] - f[2] * r[1], f[2] * r[0] - f[0] * r[2], f[0] * r[1] - f[1] * r[0]};
    Matrix44 cam = {{{r[0], r[1], r[2], 0}, {u[0], u[1], u[2], 0}, {f[0], f[1], f[2], 0}, {eye[0], eye[1], eye[2], 1}}};
    Matrix44 view, proj;
    ASSERT_TRUE(matrix_inverse(cam, view));
    set_proj_tm(0.85f, float(W) / H, 0.1f, 512.0f);
    proj = get_proj_tm();
    scene_set_view_consts(view, proj, eye);
    // Sun from the front left, white-yellow light, blue-grey sky light, no haze.
    float pc[16][4] = {};
    const float sun[3] = {-0.45f, 0.75f, -0.5f};
    float sl = std::sqrt(sun[0] * sun[0] + sun[1] * sun[1] + sun[2] * sun[2]);
    for (int k = 0; k < 3; k++) pc[0][k] = pc[13][k] = sun[k] / sl;
    pc[1][0] = 1.0f, pc[1][1] = 0.95f, pc[1][2] = 0.85f;
    pc[2][0] = 0.35f, pc[2][1] = 0.38f, pc[2][2] = 0.45f;
    pc[5][2] = pc[6][2] = 1.0f;
    set_ps_consts(0, &pc[0][0], 14);
  }

  // Queues one instance of every model at its place in the rows.
  void queue_all() {
    placed.clear();
    int castle = 0, other = 0;
    for (const NamedInstRender& e : exported_inst_renderers) {
      InstRender* r = e.renderer;
      const Mesh* m = r->mesh;
      if (!strcmp(m->className, "Building")) {
        int row = castle / 10, col = castle % 10;
        castle++;
        int cx = -10 + col * 2 + row, cz = -3 + row * 3;
        auto* b = (BuildingInstance*)r->addInstances(1);
        *b = BuildingInstance{(int16_t)cx, (int16_t)cz, 0, 0, 1, 0, 0xFFFFFFFF};
        placed.push_back({e.mesh, cx + 0.5f, 1.0f, cz + 0.5f});
        continue;
      }
      int row = other / 7, col = other % 7;
      other++;
      float x = -10.5f + col * 3.5f + (row & 1) * 1.75f, z = 4.0f + row * 4.5f;
      if (!strcmp(m->className, "Spline")) {
        auto* s = (SplineInstance*)r->addInstances(1);
        float w = strstr(e.mesh, "wyvern") ? 0.55f : 0.7f;
        *s = SplineInstance{{x - 1.3f, 1.2f, z}, {x + 1.3f, 1.2f, z}, {2.6f, 0, -2.0f, w}, {2.6f, 0, 2.0f, w},
                            0xFF80FF80, 0xFF80FF80, 0xFFFFFFFF, 0xFFFFFFFF};
        placed.push_back({e.mesh, x, 1.2f, z});
        continue;
      }
      // Simple and Morph: the bounding sphere scaled to radius 1.5, turned
      // to show the model's front (+z) to the camera.
      float s = 1.6f / m->params[3], a = 3.14159265f - 0.55f;
      float ax[3] = {std::cos(a) * s, 0, -std::sin(a) * s}, az[3] = {std::sin(a) * s, 0, std::cos(a) * s};
      float cy = 1.5f - m->params[1] * s;
      float cxo = m->params[0] * ax[0] + m->params[2] * az[0], czo = m->params[0] * ax[2] + m->params[2] * az[2];
      SimpleInstance si{{ax[0], ax[1], ax[2]}, {0, s, 0}, {az[0], az[1], az[2]}, {x - cxo, cy, z - czo}, 0xFFFFFFFF};
      if (!strcmp(m->className, "Morph")) {
        auto* mi = (MorphInstance*)r->addInstances(1);
        *mi = MorphInstance{si, 0x00000000};
      } else {
        *(SimpleInstance*)r->addInstances(1) = si;
      }
      placed.push_back({e.mesh, x, 1.5f, z});
    }
  }

  void draw_all() {
    start_inst_render();
    for (const NamedInstRender& e : exported_inst_renderers) e.renderer->render();
    end_inst_render();
  }

  bool project(float x, float y, float z, int& sx, int& sy) {
    Matrix44 g;
    get_glob_tm(g);
    float p[4] = {x, y, z, 1}, c[4] = {};
    for (int k = 0; k < 4; k++)
      for (int r = 0; r < 4; r++) c[k] += p[r] * g.m[r][k];
    if (c[3] <= 0) return false;
    sx = int((c[0] / c[3] * 0.5f + 0.5f) * W);
    sy = int((0.5f - c[1] / c[3] * 0.5f) * H);
    return sx >= 0 && sx < W && sy >= 0 && sy < H;
  }
  const uint8_t* px(int x, int y) const { return &bgra[(size_t(y) * W + x) * 4]; }
  bool is_background(int x, int y) const {
    const uint8_t* p = px(x, y);
    return std::abs(p[2] - 0x80) < 3 && std::abs(p[1] - 0x80) < 3 && std::abs(p[0] - 0xA0) < 3;
  }
  // Pixels of the model (not background) in a box round its place, and their mean colour.
  int coverage(const Placed& p, int half, float mean[3]) {
    int sx, sy, n = 0;
    mean[0] = mean[1] = mean[2] = 0;
    if (!project(p.x, p.y, p.z, sx, sy)) return 0;
    for (int y = std::max(0, sy - half); y < std::min(H, sy + half); y++)
      for (int x = std::max(0, sx - half); x < std::min(W, sx + half); x++)
        if (!is_background(x, y)) {
          n++;
          for (int k = 0; k < 3; k++) mean[k] += px(x, y)[2 - k];
        }
    for (int k = 0; k < 3 && n; k++) mean[k] /= n;
    return n;
  }

  void save_png(const std::string& name) {
    fs::path dir = exe_dir() / "artifacts";
    fs::create_directories(dir);
    std::vector<uint8_t> rgb(size_t(W) * H * 3);
    for (int i = 0; i < W * H; i++)
      for (int k = 0; k < 3; k++) rgb[i * 3 + k] = bgra[i * 4 + 2 - k];
    stbi_write_png((dir / name).c_str(), W, H, 3, rgb.data(), W * 3);
  }
};

TEST_F(InstMeshPicture, AllThirtyEightModelsDrawLitAndTextured) {
  gfx_quality = 0;
  init_all();
  begin_d3d_scene();
  set_render_target(target, 0, true);
  clear_view(BACKGROUND);
  set_blend_none();
  set_atest(0);
  set_zenable(true);
  set_zwrite(true);
  set_cull_mode(1); // back faces culled as in the game: proves the winding
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  set_tex_filter(0, true);
  set_tex_address(0, 0);
  set_camera();
  queue_all();
  draw_all();
  bgra.assign(size_t(W) * H * 4, 0);
  ASSERT_TRUE(read_render_target(0, 0, W, H, bgra.data()));
  end_d3d_scene();
  save_png("inst_meshes.png");
  EXPECT_EQ(inst_render_stats.draws, 38);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  ASSERT_EQ(placed.size(), 38u);
  for (const Placed& p : placed) {
    float mean[3];
    int n = coverage(p, 18, mean);
    EXPECT_GT(n, 150) << p.name << " does not show where it stands";
    EXPECT_GT(mean[0] + mean[1] + mean[2], 60) << p.name << " is nearly black: no light or texture";
  }
  auto colour_of = [&](const char* name, float mean[3]) {
    for (const Placed& p : placed)
      if (!strcmp(p.name, name)) return coverage(p, 18, mean);
    return 0;
  };
  float c[3];
  ASSERT_GT(colour_of("tree1", c), 0);
  EXPECT_GT(c[1], c[2] + 15) << "the broad-leaved tree's crown is green";
  ASSERT_GT(colour_of("roof_corner", c), 0);
  EXPECT_GT(c[0], c[2] + 40) << "the roof's tiles are red";
  ASSERT_GT(colour_of("gatherer_body", c), 0);
  EXPECT_GT(c[2], c[1] + 15) << "the gatherer is purple";
  ASSERT_GT(colour_of("stone1", c), 0);
  EXPECT_LT(std::fabs(c[0] - c[2]), 30) << "the stone is grey";
}

// A small castle from the pieces, turned by quarter turns: a wall with a gate,
// merlons and a corner buttress, and a round tower of four corners under a
// roof of four corners. Kept as inst_castle.png.
TEST_F(InstMeshPicture, CastlePiecesFitTogetherOnTheCellGrid) {
  gfx_quality = 0;
  init_all();
  struct Piece {
    BuildingInstRender& r;
    int x, z;
    float y, turns;
  };
  const Piece pieces[] = {
      // the wall along z = 0, outside towards -z; the gate in its middle
      {castle_wall1_inst, 0, 0, 0, 0}, {castle_wall2_inst, 1, 0, 0, 0}, {castle_wall4_inst, 2, 0, 0, 0},
      {castle_wall3_inst, 3, 0, 0, 0}, {castle_corner1_inst, 4, 0, 0, 3},
      {merlon_wall1_inst, 0, 0, 2, 0}, {merlon_wall1_inst, 1, 0, 2, 0}, {merlon_wall1_inst, 2, 0, 2, 0},
      {merlon_wall1_inst, 3, 0, 2, 0}, {merlon_corner_inst, 4, 0, 2, 3},
      // the wall going back from the corner, outside towards +x
      {castle_wall1_inst, 4, 1, 0, 3}, {castle_wall2_inst, 4, 2, 0, 3},
      {merlon_wall1_inst, 4, 1, 2, 3}, {merlon_wall1_inst, 4, 2, 2, 3},
      // the round tower on cells (-2..-1, 0..1), centre (-1, 1)
      {tower_corner_inst, -2, 0, 0, 0}, {tower_corner_inst, -2, 1, 0, 1}, {tower_corner_inst, -1, 1, 0, 2},
      {tower_corner_inst, -1, 0, 0, 3}, {roof_corner_inst, -2, 0, 2, 0}, {roof_corner_inst, -2, 1, 2, 1},
      {roof_corner_inst, -1, 1, 2, 2}, {roof_corner_inst, -1, 0, 2, 3}};
  begin_d3d_scene();
  set_render_target(target, 0, true);
  clear_view(BACKGROUND);
  set_blend_none();
  set_zenable(true);
  set_zwrite(true);
  set_cull_mode(1);
  set_tex_filter(0, true);
  const float eye[3] = {-3.5f, 6.5f, -7.5f}, look[3] = {1.0f, 1.0f, 1.0f};
  set_camera(eye, look);
  for (const Piece& p : pieces) {
    auto* b = (BuildingInstance*)p.r.addInstances(1);
    *b = BuildingInstance{(int16_t)p.x, (int16_t)p.z, p.y, p.turns, 1, 0, 0xFFFFFFFF};
  }
  draw_all();
  bgra.assign(size_t(W) * H * 4, 0);
  ASSERT_TRUE(read_render_target(0, 0, W, H, bgra.data()));
  end_d3d_scene();
  save_png("inst_castle.png");
  // The roof's apex stands over the tower's centre and is red; the tower's
  // wall is there below it; the gate's wooden door in the middle of the wall.
  float c[3];
  Placed apex{"roof", -1, 3.4f, 1}, tower{"tower", -1.5f, 1.0f, -0.05f}, door{"door", 2.5f, 0.5f, 0.1f};
  ASSERT_GT(coverage(apex, 5, c), 20);
  EXPECT_GT(c[0], c[2] + 40) << "roof apex";
  ASSERT_GT(coverage(tower, 5, c), 80);
  EXPECT_LT(std::fabs(c[0] - c[2]), 50) << "stone tower wall";
  ASSERT_GT(coverage(door, 4, c), 50);
  EXPECT_GT(c[0], c[2] + 20) << "wooden door";
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(InstMeshPicture, HighQualityAndShadowShadersDrawEveryModel) {
  gfx_quality = 1;
  init_all();
  for (const NamedInstRender& e : exported_inst_renderers)
    EXPECT_STREQ(e.renderer->shader->file, (std::string("dr_") + e.renderer->mesh->shaderName.c_str()).c_str());
  Texture* normals = create_screen_render_texture();
  Texture* dist = create_screen_render_texture();
  begin_d3d_scene();
  set_render_target(target, 0, true);
  set_render_target(normals, 1, false);
  set_render_target(dist, 2, false);
  clear_view(0x00FFFFFF);
  set_blend_none();
  set_zenable(true);
  set_zwrite(true);
  set_cull_mode(1);
  set_camera();
  queue_all();
  draw_all();
  set_render_target(nullptr, 1, false);
  set_render_target(nullptr, 2, false);
  bgra.assign(size_t(W) * H * 4, 0);
  ASSERT_TRUE(read_render_target(0, 0, W, H, bgra.data()));
  int albedo = 0;
  for (int i = 0; i < W * H; i++) albedo += bgra[i * 4 + 3] != 0 || bgra[i * 4] != 0xFF;
  EXPECT_GT(albedo, W * H / 20) << "the G-buffer's albedo target stays empty";

  // The shadow variant writes light depth (here world y / 10) with MAX.
  set_render_target(target, 0, false);
  clear_view_color(0x00000000);
  set_zenable(false);
  set_blend_max();
  set_cull_mode(0);
  float depth_row[4] = {0, 0.1f, 0, 0};
  set_vs_consts(9, depth_row, 1);
  InstRender::renderShadow = true;
  queue_all();
  draw_all();
  InstRender::renderShadow = false;
  set_blend_none();
  ASSERT_TRUE(read_render_target(0, 0, W, H, bgra.data()));
  end_d3d_scene();
  int sx, sy;
  ASSERT_TRUE(project(placed[0].x, 2.0f, placed[0].z, sx, sy)); // tree1's crown
  int best = 0;
  for (int dy = -6; dy <= 6; dy++)
    for (int dx = -6; dx <= 6; dx++) best = std::max<int>(best, px(sx + dx, sy + dy)[2]);
  EXPECT_GT(best, int(0.1f * 255)) << "no light depth written where the tree stands";
  release_texture(normals);
  release_texture(dist);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

} // namespace
