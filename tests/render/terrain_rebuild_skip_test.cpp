// The terrain rebuild skips the aperture and sun passes while what they read
// (the uploaded heights, the sun pass parameters) stays the same, and runs
// them again after a land edit, a fluid change, a sun move, a new world or
// lost targets. The maps it shows after a skip are those a forced full
// rebuild draws, at every blend fraction.
#include <epoxy/gl.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_globals.h"
#include "core/platform.h"
#include "core/temp_dir.h"
#include "render/gl_test_util.h"
#include "render/hmRender.h"
#include "render/shader.h"
#include "render/sky.h"
#include "render/texture.h"
#include "world/heightmap.h"

namespace {

namespace fs = std::filesystem;
using namespace HeightmapRenderer;

std::string make_content_dir() {
  std::string dir = make_temp_dir("rh-skip");
  fs::path bin = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "bin";
  for (const auto& e : fs::directory_iterator(bin)) {
    std::string ext = e.path().extension().string();
    if (ext == ".sh" || ext == ".dds" || e.path().filename() == "sky.nut")
      fs::copy_file(e.path(), dir + e.path().filename().string());
  }
  return dir;
}

// Hills with a pond, so both passes have shadows and open sky to show.
void build_world() {
  using namespace HeightmapData;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      int i = hmap_index(x, z);
      float h = 6.0f * std::sin(x * 0.07f) * std::cos(z * 0.05f) + 2.0f * std::sin((x + 3 * z) * 0.13f);
      float d = std::hypot(float(x - 100), float(z - 140));
      float depth = d < 8 ? 1.0f : 0.0f;
      hmap[i] = target_hmap[i] = h;
      water[z][x] = Water{depth, 0, 0, 0};
      tmpw[z][x] = water[z][x];
      surface[i].color = 0xFF6E8A3C;
      surface[i].top_color = 0;
    }
}

// All texels of a render texture as floats (RGBA), read without disturbing
// the device's idea of what is bound.
std::vector<float> texels(Texture* t) {
  std::vector<float> out(size_t(t->cur_wd) * t->cur_ht * 4);
  GLint unit = 0, bound = 0;
  glGetIntegerv(GL_ACTIVE_TEXTURE, &unit);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, t->texture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, out.data());
  glBindTexture(GL_TEXTURE_2D, bound);
  return out;
}

class RebuildSkipTest : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    gfx_quality = 1;
    std::string content = make_content_dir();
    snprintf(app_path, sizeof app_path, "%s", content.c_str());
    if (!HeightmapData::hmap) allocate_heightmap_grids();
    load_shader_compiler();
    init_sky();
    init_terrain_renderer();
    build_world();
    reset_fluid_levels();
    set_sun_dir(false, Vec4f{0.55f, 0.42f, 0.56f, 0});
    rebuild(0);
  }
  void TearDown() override {
    close_terrain_renderer();
    close_sky();
    free_all_textures();
    close_shaders();
  }
  // One simulation step's rebuild, then the blend at time t after it.
  void rebuild(float t) {
    mark_terrain_changed();
    update_terrain(t);
    set_back_buffer_target();
  }
  // The maps the scene reads, at blend time t after the last rebuild.
  struct Maps {
    std::vector<float> aper, sun;
  };
  Maps maps(float t) {
    update_terrain(t); // no rebuild: only the blend
    set_back_buffer_target();
    return {texels(aperTex), texels(sunMap)};
  }
  // What a full rebuild (every pass) draws from the same inputs.
  Maps forced(float t) {
    terrain_targets_lost();
    update_terrain(t);
    set_back_buffer_target();
    return {texels(aperTex), texels(sunMap)};
  }
  void expect_runs(PassCounts before, int aper, int sun) {
    EXPECT_EQ(pass_counts().aper - before.aper, aper) << "aperture passes";
    EXPECT_EQ(pass_counts().sun - before.sun, sun) << "sun passes";
  }
};

TEST_F(RebuildSkipTest, StillWorldSkipsAndEveryInputChangeRunsAgain) {
  PassCounts c = pass_counts();
  rebuild(0);
  rebuild(0);
  expect_runs(c, 0, 0);
  Maps still = maps(0);

  // A land edit: both passes run; a step later (no change) they are skipped
  // and both blend ends show the edited land, as a full rebuild does.
  for (int z = 60; z < 66; z++)
    for (int x = 60; x < 66; x++) HeightmapData::hmap[hmap_index(x, z)] += 9;
  c = pass_counts();
  rebuild(0);
  expect_runs(c, 1, 1);
  c = pass_counts();
  rebuild(0);
  expect_runs(c, 0, 0);
  Maps at0 = maps(0), at1 = maps(0.05f);
  EXPECT_NE(at0.aper, still.aper) << "the edit does not show";
  EXPECT_NE(at0.sun, still.sun) << "the edit does not show";
  EXPECT_EQ(at0.aper, at1.aper);
  EXPECT_EQ(at0.sun, at1.sun);
  Maps full = forced(0);
  EXPECT_EQ(at0.aper, full.aper);
  EXPECT_EQ(at0.sun, full.sun);

  // Water alone raises the surface both passes read.
  HeightmapData::water[140][100].depth += 3;
  c = pass_counts();
  rebuild(0);
  expect_runs(c, 1, 1);
  HeightmapData::water[140][100].depth -= 3;
  rebuild(0);

  // The sun moves: only the sun pass runs, and shows what a full pass does.
  set_sun_dir(false, Vec4f{-0.6f, 0.35f, 0.2f, 0});
  c = pass_counts();
  rebuild(0);
  expect_runs(c, 0, 1);
  rebuild(0);
  Maps moved = maps(0);
  full = forced(0);
  EXPECT_EQ(moved.sun, full.sun);
  EXPECT_EQ(moved.aper, full.aper);

  // Lost targets and a new world run both again.
  c = pass_counts();
  terrain_targets_lost();
  update_terrain(0);
  expect_runs(c, 1, 1);
  c = pass_counts();
  reset_fluid_levels();
  rebuild(0);
  expect_runs(c, 1, 1);
}

} // namespace
