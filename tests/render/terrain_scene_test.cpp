// The scene on a real device (Mesa llvmpipe, headless): a small hand-made
// world with hills, a lake and a lava pool, rendered from the same camera at
// both quality levels through the whole path (terrain textures, sky, shadow
// maps, deferred lighting or the simple path, post effects). The pictures
// are checked for what they must show and kept as PNG files in
// <build>/tests/artifacts/. Also the sky's sun interpolation, the shadow-map
// sizes and a flight with the world simulated under it.
#include <epoxy/gl.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_globals.h"
#include "render/camera.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/temp_dir.h"
#include "render/gl_test_util.h"
#include "render/hmRender.h"
#include "render/postfx.h"
#include "render/scene.h"
#include "render/shader.h"
#include "render/shadow_maps.h"
#include "render/sky.h"
#include "render/splash.h"
#include "render/texture.h"
#include "world/heightmap.h"
#include "world/hm_update.h"
#include "world/water_sim.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

namespace fs = std::filesystem;
using namespace HeightmapRenderer;

constexpr int W = 320, H = 180;
// The lake's and the lava pool's centres.
constexpr int LAKE_X = 128, LAKE_Z = 118;
constexpr int LAVA_X = 150, LAVA_Z = 104;

fs::path exe_dir() { return fs::read_symlink("/proc/self/exe").parent_path(); }

// A content folder with the shipped shaders, sky script and textures of
// bin/, so the shader cache is written there and removed with it.
std::string make_content_dir() {
  std::string dir = make_temp_dir("rh-scene");
  fs::path bin = exe_dir().parent_path() / "bin";
  for (const auto& e : fs::directory_iterator(bin)) {
    std::string ext = e.path().extension().string();
    if (ext == ".sh" || ext == ".dds" || e.path().filename() == "sky.nut")
      fs::copy_file(e.path(), dir + e.path().filename().string());
  }
  return dir;
}

// Hills, a lake of depth up to 2 and a lava pool of depth 1.5; grassy
// colours with sand round the lake.
void build_world() {
  using namespace HeightmapData;
  for (int z = 0; z < HMAP_SIZE; z++)
    for (int x = 0; x < HMAP_SIZE; x++) {
      int i = hmap_index(x, z);
      float h = 4.0f * std::sin(x * 0.049f) * std::cos(z * 0.061f) + 2.5f * std::sin((x + 2 * z) * 0.11f);
      float dl = std::hypot(float(x - LAKE_X), float(z - LAKE_Z)), dv = std::hypot(float(x - LAVA_X), float(z - LAVA_Z));
      float depth = 0;
      if (dl < 12) {
        h = -1.5f - 2.0f * (1 - dl / 12);
        depth = 0.5f - h; // a level surface at 0.5
      }
      if (dv < 6) {
        h = 2.0f;
        depth = -1.5f;
      }
      hmap[i] = target_hmap[i] = h;
      water[z][x] = Water{depth, 0, 0, depth > 0 && dl > 10 ? 0.6f : 0.0f};
      tmpw[z][x] = water[z][x];
      Surface& s = surface[i];
      s.color = dl < 16 ? 0xFFC8B482 : (h > 4 ? 0xFF8C7A66 : 0xFF6E8A3C);
      s.top_color = dl < 16 || h > 4 ? 0 : 0xA0589C32;
      s.setTypeWord(GT_SOIL);
    }
}

void place_camera() {
  camera = CameraState{};
  camera.zoom = camera.prev_zoom = 1;
  set_camera_pos(Vec4f{138, 16, 70, 1});
  camera.yaw = 0.05f;
  camera.pitch = -0.28f;
}

struct Shot {
  std::vector<uint8_t> bgra; // rows top first
  const uint8_t* at(int x, int y) const { return &bgra[(size_t(y) * W + x) * 4]; }
  int r(int x, int y) const { return at(x, y)[2]; }
  int g(int x, int y) const { return at(x, y)[1]; }
  int b(int x, int y) const { return at(x, y)[0]; }
};

// Where a world point lands on the screen of the last frame.
bool project(float x, float y, float z, int& sx, int& sy) {
  Matrix44 glob = get_view_tm() * get_proj_tm();
  float p[4] = {x, y, z, 1}, c[4] = {0, 0, 0, 0};
  for (int k = 0; k < 4; k++)
    for (int r = 0; r < 4; r++) c[k] += p[r] * glob.m[r][k];
  if (c[3] <= 0) return false;
  sx = int((c[0] / c[3] * 0.5f + 0.5f) * W);
  sy = int((0.5f - c[1] / c[3] * 0.5f) * H);
  return sx >= 0 && sx < W && sy >= 0 && sy < H;
}

void save_png(const Shot& s, const std::string& name) {
  fs::path dir = exe_dir() / "artifacts";
  fs::create_directories(dir);
  std::vector<uint8_t> rgb(size_t(W) * H * 3);
  for (int i = 0; i < W * H; i++) {
    rgb[i * 3] = s.bgra[i * 4 + 2];
    rgb[i * 3 + 1] = s.bgra[i * 4 + 1];
    rgb[i * 3 + 2] = s.bgra[i * 4];
  }
  stbi_write_png((dir / name).c_str(), W, H, 3, rgb.data(), W * 3);
}

class SceneTest : public ::testing::Test {
protected:
  std::string content;

  void start(int quality) {
    ASSERT_TRUE(gltest::GlEnv::ok);
    gfx_quality = quality;
    content = make_content_dir();
    snprintf(app_path, sizeof app_path, "%s", content.c_str());
    if (!HeightmapData::hmap) {
      int q = gfx_quality;
      gfx_quality = 1; // the block with the high-quality renderer grids serves both
      allocate_heightmap_grids();
      gfx_quality = q;
    }
    gltest::remake_device(W, H);
    load_shader_compiler();
    scene_image = create_screen_render_texture();
    ASSERT_NE(scene_image, nullptr);
    use_postfx = quality == 1;
    use_ppaa = false;
    blur_shadows = true;
    init_scene_targets();
    if (quality == 1) {
      set_shadow_map_quality(0);
      init_shadow_maps();
    }
    init_sky();
    init_terrain_renderer();
    init_postfx();
    build_world();
    reset_fluid_levels();
    set_sky_palette("normal");
    set_sun_dir(false, Vec4f{0.55f, 0.62f, 0.56f, 0});
    place_camera();
  }

  void TearDown() override {
    close_postfx();
    close_terrain_renderer();
    close_sky();
    close_shadow_maps();
    close_scene_targets();
    if (scene_image) release_texture(scene_image);
    scene_image = nullptr;
    free_all_textures();
    close_shaders();
    gltest::remake_device(gltest::kWd, gltest::kHt);
    gltest::GlEnv::program = gltest::make_program();
    gltest::GlEnv::vb = create_vb(64 * sizeof(gltest::Vertex), 0);
  }

  // One world step's renderer work and a frame at render time t.
  void step(float dt) {
    sky_step();
    update_fluid_levels(dt);
  }
  Shot frame(float t) {
    begin_d3d_scene();
    render_scene(t);
    finish_frame_postfx();
    Shot s;
    s.bgra.resize(size_t(W) * H * 4);
    set_back_buffer_target();
    EXPECT_TRUE(read_render_target(0, 0, W, H, s.bgra.data()));
    end_d3d_scene();
    return s;
  }
};

// What every picture of this world from this camera must show.
void check_landscape(const Shot& s, const char* label) {
  SCOPED_TRACE(label);
  // No NaN-black holes and no flat picture.
  int black = 0;
  double sum = 0, sum2 = 0;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      int l = (s.r(x, y) * 3 + s.g(x, y) * 6 + s.b(x, y)) / 10;
      black += s.r(x, y) < 4 && s.g(x, y) < 4 && s.b(x, y) < 4;
      sum += l;
      sum2 += double(l) * l;
    }
  double n = double(W) * H, mean = sum / n, sd = std::sqrt(sum2 / n - mean * mean);
  EXPECT_LT(black, W * H / 200) << "black pixels";
  EXPECT_GT(sd, 12.0) << "the picture is nearly uniform";
  // Sky above the horizon: bright and blue along the top rows (the effects'
  // vignette dims the corners a little).
  int sky = 0;
  for (int x = 0; x < W; x += 4) {
    bool blue = s.b(x, 2) > s.r(x, 2) + 10 && s.b(x, 2) > 100;
    bool cloud = std::min({s.r(x, 2), s.g(x, 2), s.b(x, 2)}) > 150 && s.b(x, 2) >= s.r(x, 2) - 10;
    sky += blue || cloud;
  }
  EXPECT_GT(sky, W / 4 * 8 / 10) << "top rows are not sky";
  // Land below: the bottom rows are neither sky blue nor black.
  int land = 0;
  for (int x = 0; x < W; x += 4) {
    int y = H - 3;
    land += s.g(x, y) >= s.b(x, y) && s.g(x, y) > 30;
  }
  EXPECT_GT(land, W / 4 * 8 / 10) << "bottom rows are not land";
  // Water where the grid has water: bluer than the land round the lake.
  int sx, sy;
  ASSERT_TRUE(project(LAKE_X, 0.5f, LAKE_Z, sx, sy));
  EXPECT_GT(s.b(sx, sy), s.r(sx, sy) + 8) << "lake pixel at " << sx << "," << sy;
  EXPECT_GT(s.b(sx, sy), s.g(sx, sy) - 10) << "lake pixel at " << sx << "," << sy;
  // Lava glowing: bright, red over blue, in the pool's middle.
  ASSERT_TRUE(project(LAVA_X, 3.5f, LAVA_Z, sx, sy));
  int hot = 0;
  for (int dy = -1; dy <= 1; dy++)
    for (int dx = -2; dx <= 2; dx++)
      hot += s.r(sx + dx, sy + dy) > 150 && s.r(sx + dx, sy + dy) > s.b(sx + dx, sy + dy) + 80;
  EXPECT_GE(hot, 8) << "lava pixel at " << sx << "," << sy;
}

TEST_F(SceneTest, LowQualityShowsSkyLandWaterAndGlowingLava) {
  start(0);
  step(0.05f);
  Shot s = frame(0.02f);
  save_png(s, "scene_quality0.png");
  check_landscape(s, "gfx_quality 0");
  EXPECT_GT(frame_counts().water_quads, 200);
  EXPECT_GT(frame_counts().lava_quads, 50);
  // The world map (two texels per cell) shows the lake blue and the lava hot.
  set_render_target(mapTex, 0, false);
  uint8_t lake[4], lava[4], land[4];
  ASSERT_TRUE(read_render_target(2 * LAKE_X, 2 * LAKE_Z, 1, 1, lake));
  ASSERT_TRUE(read_render_target(2 * LAVA_X, 2 * LAVA_Z, 1, 1, lava));
  ASSERT_TRUE(read_render_target(2 * 40, 2 * 200, 1, 1, land));
  set_back_buffer_target();
  EXPECT_GT(lake[0], lake[2] + 20) << "map lake: blue over red";
  EXPECT_GT(lava[2], lava[0] + 60) << "map lava: red over blue";
  EXPECT_GT(land[1], land[0]) << "map land: green over blue";
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneTest, HighQualityShowsSkyLandWaterAndGlowingLava) {
  start(1);
  step(0.05f);
  Shot s = frame(0.02f);
  s = frame(0.04f); // the second frame sees the blended sun maps of both steps
  save_png(s, "scene_quality1.png");
  check_landscape(s, "gfx_quality 1");
  EXPECT_GT(frame_counts().horizon_quads, 10000);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  // With the temporal pass (jittered projection, reprojected history) and
  // the effects resolve, a few frames later the picture still holds.
  use_ppaa = true;
  use_postfx = true;
  for (int i = 0; i < 4; i++) s = frame(0.01f * i);
  save_png(s, "scene_quality1_taa.png");
  check_landscape(s, "gfx_quality 1 with temporal anti-aliasing");
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneTest, SunReachesItsTargetExactlyAtTheNextStep) {
  start(0);
  const Vec4f a{0, 1, 3, 0}, b{1, 1, 0, 0};
  set_sun_dir(false, a);
  set_sun_dir(true, b);
  update_sky(0.0f);
  EXPECT_NEAR(get_sun_dir().z, 3 / std::sqrt(10.0f), 1e-6f);
  update_sky(0.5f);
  EXPECT_GT(get_sun_dir().x, 0.1f);
  update_sky(1.0f);
  EXPECT_NEAR(get_sun_dir().x, 1 / std::sqrt(2.0f), 1e-6f);
  EXPECT_NEAR(get_sun_dir().y, 1 / std::sqrt(2.0f), 1e-6f);
  EXPECT_NEAR(get_sun_dir().z, 0.0f, 1e-6f);
  // The palette of every world kind gives script colours, not the defaults
  // (whose zenith colour is pure red).
  for (const char* name : {"normal", "volcanic", "desert", "snowy", "meadow"}) {
    Vec4f v[SKY_VECTORS];
    ASSERT_TRUE(sky_script_colors(60.0f, name, v)) << name;
    EXPECT_GT(v[4].y, 0.1f) << name << ": the defaults' zenith is pure red";
  }
  EXPECT_FALSE(has_error_message());

  // An edited "sky.nut" is run again by the periodic check, without a blend.
  std::string edited = "function get_sky_colors(angle, palette) {\n"
                       "  local c = [0.25, 0.5, 0.75];\n"
                       "  return [c, c, c, c, c, c, c, c, c, c];\n"
                       "}\n";
  FILE* f = fopen((content + "sky.nut").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(edited.data(), 1, edited.size(), f);
  fclose(f);
  struct utimbuf later{time(nullptr) + 100, time(nullptr) + 100};
  ASSERT_EQ(utime((content + "sky.nut").c_str(), &later), 0);
  reload_sky();
  EXPECT_FLOAT_EQ(get_sky_light_block()[4].z, 0.75f);
  // A script that returns the wrong shape shows the error and falls back to the defaults.
  f = fopen((content + "sky.nut").c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("function get_sky_colors(angle, palette) { return [1, 2, 3]; }\n", f);
  fclose(f);
  struct utimbuf latest{time(nullptr) + 200, time(nullptr) + 200};
  ASSERT_EQ(utime((content + "sky.nut").c_str(), &latest), 0);
  reload_sky();
  EXPECT_TRUE(has_error_message());
  EXPECT_NE(std::string(get_error_message()).find("Error in sky script:"), std::string::npos);
  EXPECT_FLOAT_EQ(get_sky_light_block()[4].x, 1.0f); // the defaults' red zenith
  set_error_message(nullptr);
}

// The normal map follows a change of the ground, and keeps showing it while
// the ground rests (the normal pass is then skipped, not the picture).
TEST_F(SceneTest, NormalMapFollowsTheGroundAndKeepsItWhileTheGroundRests) {
  start(0);
  auto normal_at = [](int x, int z) {
    uint8_t px[4];
    set_render_target(normTex, 0, false);
    EXPECT_TRUE(read_render_target(4 * x, 4 * z, 1, 1, px));
    set_back_buffer_target();
    return std::vector<int>{px[2], px[1], px[0]};
  };
  step(0.05f);
  frame(0.05f);
  std::vector<int> before = normal_at(60, 200);
  // A steep ramp rising along +x round cell (60, 200).
  for (int z = 190; z <= 210; z++)
    for (int x = 50; x <= 70; x++) HeightmapData::hmap[hmap_index(x, z)] += 1.5f * (x - 50);
  step(0.05f);
  frame(0.05f); // f = 1: the new map only
  std::vector<int> after = normal_at(60, 200);
  EXPECT_LT(after[0], before[0] - 40) << "the normal should lean toward -x";
  // Two quiet steps: at f = 0 the blend must still show the ramp.
  step(0.05f);
  frame(0.0f);
  step(0.05f);
  frame(0.0f);
  std::vector<int> rest = normal_at(60, 200);
  for (int c = 0; c < 3; c++) EXPECT_NEAR(rest[c], after[c], 2) << c;
}

// The land reads one colour texture: each cell's 5:6:5 ground colour under
// its top layer, mixed by the top's coverage (as the land shader mixed the
// two layers before), with no other cell's colour bleeding in.
TEST_F(SceneTest, LandColourTextureHoldsTheGroundUnderTheTopLayer) {
  start(1);
  step(0.05f);
  frame(0.05f);
  std::vector<uint32_t> texels(size_t(HMAP_SIZE) * HMAP_SIZE);
  glBindTexture(GL_TEXTURE_2D, landColorTex->texture);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  int covered = 0, bad = 0;
  for (int i = 0; i < HMAP_SIZE * HMAP_SIZE; i++) {
    const HeightmapData::Surface& c = HeightmapData::surface[i];
    float a = float(c.top_color >> 24) / 255;
    covered += a > 0;
    for (int sh = 0, bits = 5; sh < 24; sh += 8, bits = sh == 8 ? 6 : 5) {
      int levels = (1 << bits) - 1;
      float ground = float(((c.color >> sh) & 255) >> (8 - bits)) / levels * 255;
      float want = ground + (float((c.top_color >> sh) & 255) - ground) * a;
      bad += std::fabs(float((texels[i] >> sh) & 255) - want) > 1.0f;
    }
  }
  EXPECT_GT(covered, 1000);
  EXPECT_EQ(bad, 0);
}

// Every shader of the world passes compiles and links, also those only the
// modes and effects use (a failure is fatal, which fails the test too).
TEST_F(SceneTest, EveryWorldShaderCompiles) {
  start(0);
  const char* files[] = {"land.sh", "dr_land.sh", "water.sh", "dr_water.sh", "lava.sh", "dr_lava.sh", "horizon.sh",
                         "sky.sh", "calc_norm.sh", "calc_norm_low.sh", "calc_sun_shadow_map.sh",
                         "blur_sun_shadow_map.sh", "interp_tex.sh", "map_surf.sh", "map_water.sh", "map_light.sh",
                         "map_light_low.sh", "dr_final.sh", "dr_calc_light.sh", "dr_shadow_blur.sh",
                         "dr_shadow_map.sh", "clearShadow.sh", "postfx_main.sh", "postfx_none.sh", "postfx_taa.sh",
                         "postBlend.sh", "warpEffect.sh"};
  for (const char* f : files) {
    Shader* sh = create_shader(f, nullptr);
    EXPECT_NE(sh->program, 0u) << f;
    destroy_shader(sh);
  }
  for (const char* defs : {"INST\0 1\0", "QUALITY\0 0\0", "QUALITY\0 1\0", "QUALITY\0 2\0"}) {
    Shader* sh = create_shader(defs[0] == 'I' ? "dr_land.sh" : "calc_aper.sh", defs);
    EXPECT_NE(sh->program, 0u) << defs;
    destroy_shader(sh);
  }
}

TEST_F(SceneTest, ShadowMapQualitySizesAndNoNeedlessRecreation) {
  start(1);
  set_shadow_map_quality(-3);
  EXPECT_EQ(shadow_cascade_size(), 1024);
  EXPECT_EQ(shadow_topdown_size(), 256);
  Texture* before = shadow_cascade_map();
  unsigned gl_name = before->texture;
  set_shadow_map_quality(0);
  EXPECT_EQ(shadow_cascade_map()->texture, gl_name);
  set_shadow_map_quality(2);
  EXPECT_EQ(shadow_cascade_size(), 4096);
  EXPECT_EQ(shadow_topdown_size(), 512);
  EXPECT_EQ(shadow_cascade_map()->cur_wd, 4096);
  EXPECT_EQ(shadow_topdown_map()->cur_wd, 512);
  set_shadow_map_quality(0);
}

// While nothing draws casters the object shadow maps are left alone and the
// shadow term skips them; with a caster drawer (here one that draws nothing)
// they are cleared and read every frame, and the picture is the same.
int caster_calls = 0;
void count_casters(int) { caster_calls++; }

TEST_F(SceneTest, EmptyObjectShadowMapsShadeLikeClearedOnes) {
  start(1);
  step(0.05f);
  frame(0.02f);
  Shot alone = frame(0.02f);
  EXPECT_TRUE(shadow_maps_empty());
  struct Restore {
    ~Restore() { shadow_casters_fn = nullptr; }
  } restore;
  caster_calls = 0;
  shadow_casters_fn = count_casters;
  Shot drawn = frame(0.02f);
  EXPECT_EQ(caster_calls, 5) << "four cascades and the top-down map";
  EXPECT_FALSE(shadow_maps_empty());
  int differ = 0;
  for (size_t i = 0; i < alone.bgra.size(); i++) differ += std::abs(alone.bgra[i] - drawn.bgra[i]) > 2;
  EXPECT_EQ(differ, 0);
  check_landscape(drawn, "object shadow maps read");
}

// A flight over the simulated world: 60 s of game time (1,200 steps) with a
// frame every 20th step while the camera circles; the world's water and lava
// keep moving, GL reports no error and later frames cost no more than early
// ones.
TEST_F(SceneTest, SixtySecondFlightKeepsFrameTimeFlatWithoutGlErrors) {
  start(0);
  std::vector<double> ms;
  for (int i = 0; i < 1200; i++) {
    HeightmapData::simWater(0.05f);
    step(0.05f);
    if (i % 20) continue;
    float a = i * 0.004f; // a quarter circle of radius 60 over the minute
    camera_begin_step(0.05f);
    camera.pos = Vec4f{128 + 60 * std::cos(a), 18, 128 + 60 * std::sin(a), 1};
    camera.yaw = a + 1.6f;
    auto t0 = std::chrono::steady_clock::now();
    frame(0.025f);
    glFinish();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << "after frame " << ms.size();
  }
  ASSERT_EQ(ms.size(), 60u);
  auto median = [](std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
  };
  double early = median(std::vector<double>(ms.begin() + 3, ms.begin() + 23));
  double late = median(std::vector<double>(ms.end() - 20, ms.end()));
  EXPECT_LT(late, early * 2.0 + 5.0) << "early " << early << " ms, late " << late << " ms";
}

} // namespace
