// Pools, resize, vertex declarations, instancing and the culling planes.
#include <cmath>
#include <string>
#include <vector>

#include "gl_test_util.h"

using namespace gltest;

namespace {

class DevicePool : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_GL();
    set_back_buffer_target();
    begin_draw();
  }
};

static bool contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

TEST_F(DevicePool, ResizeKeepsPoolSlotsAndScreenTargetsFollow) {
  int old_wd = d3d_wd, old_ht = d3d_ht;
  Texture* screen = create_screen_render_texture();
  Texture* fixed = create_render_texture(16, 8, 1);
  Texture* dyn = create_dynamic_texture(4, 4, 1);
  Texture* managed = create_managed_texture(4, 4);
  VertexBuffer* dvb = create_vb(256, 0);
  VertexBuffer* svb = create_vb(256, 1);
  IndexBuffer* dib = create_ib(30, 0);
  ASSERT_TRUE(screen && fixed && dyn && managed && dvb && svb && dib);
  unsigned managed_name = managed->texture, static_name = svb->buffer;

  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(resize_d3d(old_wd, old_ht, false, false)); // unchanged: nothing happens
  EXPECT_FALSE(contains(::testing::internal::GetCapturedStdout(), "=== resizing"));

  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(resize_d3d(96, 80, false, false));
  std::string log = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(contains(log, "=== resizing d3d to 96x80 windowed"));
  EXPECT_TRUE(contains(log, "resized d3d to 96x80 windowed"));
  EXPECT_EQ(d3d_wd, 96);
  EXPECT_EQ(d3d_ht, 80);
  for (Texture* t : {screen, fixed, dyn, managed}) {
    EXPECT_TRUE(t->used);
    EXPECT_NE(t->texture, 0u);
  }
  EXPECT_EQ(screen->cur_wd, 96);
  EXPECT_EQ(screen->cur_ht, 80);
  EXPECT_EQ(screen->width, 0);
  EXPECT_EQ(fixed->cur_wd, 16);
  EXPECT_EQ(managed->texture, managed_name); // managed objects are untouched
  EXPECT_EQ(svb->buffer, static_name);
  EXPECT_TRUE(dvb->used && dvb->buffer && dvb->size == 256);
  EXPECT_TRUE(dib->used && dib->buffer && dib->size == 60);

  // The new size is really drawn: the last row and column exist. (SDL's
  // offscreen driver keeps its first surface size, so only with a window system.)
  set_back_buffer_target();
  if (strcmp(SDL_GetCurrentVideoDriver(), "offscreen") != 0) {
    SDL_Delay(100); // the window system resizes the surface asynchronously
    process_window_messages();
    present_d3d();
    set_back_buffer_target();
    clear_view_color(0xFF00FF00);
    EXPECT_TRUE(near_color(pixel(95, 79), 0xFF00FF00));
  }

  // A screen target still renders at the new size.
  set_render_target(screen, 0, true);
  clear_view(0xFFFF0000);
  EXPECT_TRUE(near_color(pixel(95, 79), 0xFFFF0000));
  set_back_buffer_target();

  // A zero width in windowed mode keeps the size; force resets anyway.
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(resize_d3d(0, 50, false, true));
  EXPECT_TRUE(contains(::testing::internal::GetCapturedStdout(), "=== resizing d3d to 96x80"));

  EXPECT_TRUE(resize_d3d(old_wd, old_ht, false, false));
  EXPECT_EQ(screen->cur_wd, old_wd);
  for (Texture* t : {screen, fixed, dyn, managed}) release_texture(t);
  release_vb(dvb);
  release_vb(svb);
  release_ib(dib);
  EXPECT_FALSE(screen->used);
}

TEST_F(DevicePool, FullScreenToggleTakesTheDesktopSizeAndComesBack) {
  int old_wd = d3d_wd, old_ht = d3d_ht;
  int saved_wd = app_screen_wd, saved_ht = app_screen_ht;
  app_screen_wd = app_screen_ht = 0; // full screen at the desktop size
  SDL_DisplayMode desk;
  ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desk), 0);
  Texture* screen = create_screen_render_texture();
  ASSERT_NE(screen, nullptr);

  set_fullscreen(true);
  EXPECT_TRUE(isFullscreen);
  EXPECT_EQ(d3d_wd, desk.w);
  EXPECT_EQ(d3d_ht, desk.h);
  EXPECT_EQ(screen->cur_wd, desk.w);

  set_fullscreen(false); // back to the remembered client size
  EXPECT_FALSE(isFullscreen);
  EXPECT_EQ(d3d_wd, old_wd);
  EXPECT_EQ(d3d_ht, old_ht);
  EXPECT_EQ(screen->cur_ht, old_ht);
  release_texture(screen);
  app_screen_wd = saved_wd;
  app_screen_ht = saved_ht;
}

TEST_F(DevicePool, TheThousandAndFirstTextureAndBufferAreRefused) {
  std::vector<Texture*> textures;
  ::testing::internal::CaptureStdout();
  for (;;) {
    Texture* t = create_managed_texture(1, 1);
    if (!t) break;
    textures.push_back(t);
    ASSERT_LE(textures.size(), (size_t)MAX_TEXTURES);
  }
  EXPECT_TRUE(contains(::testing::internal::GetCapturedStdout(), "reached MAX_TEXTURES"));
  // The pool's lowest free slot is reused.
  Texture* hole = textures[textures.size() / 2];
  release_texture(hole);
  EXPECT_EQ(create_managed_texture(1, 1), hole);
  for (Texture* t : textures) release_texture(t);

  std::vector<VertexBuffer*> vbs;
  ::testing::internal::CaptureStdout();
  for (;;) {
    VertexBuffer* vb = create_vb(16, 1);
    if (!vb) break;
    vbs.push_back(vb);
    ASSERT_LE(vbs.size(), (size_t)MAX_BUFFERS);
  }
  EXPECT_TRUE(contains(::testing::internal::GetCapturedStdout(), "reached MAX_BUFFERS for VB"));
  for (VertexBuffer* vb : vbs) release_vb(vb);

  std::vector<IndexBuffer*> ibs;
  ::testing::internal::CaptureStdout();
  for (int i = 0; i <= MAX_BUFFERS; i++)
    if (IndexBuffer* ib = create_ib(3, 1)) ibs.push_back(ib);
  EXPECT_TRUE(contains(::testing::internal::GetCapturedStdout(), "reached MAX_BUFFERS for IB"));
  EXPECT_EQ(ibs.size(), (size_t)MAX_BUFFERS);
  for (IndexBuffer* ib : ibs) release_ib(ib);
}

// The graphics tests run on a debug context: an unchecked GL error is logged
// with its tag and reaches the hook, while a creation that fails and is
// reported by the device (a texture too large for GL) is not counted.
TEST_F(DevicePool, UncheckedGlErrorsAreReportedAndCounted) {
  static int hooked = 0;
  hooked = 0;
  gl_error_hook = [](const char*) { hooked++; };
  int before = gl_debug_error_count();
  ::testing::internal::CaptureStdout();
  glBindBuffer(0x1234, 0); // not a buffer target
  std::string log = ::testing::internal::GetCapturedStdout();
  while (glGetError() != GL_NO_ERROR) { // leave no error flag to later reads
  }
  EXPECT_EQ(gl_debug_error_count(), before + 1);
  EXPECT_EQ(hooked, 1);
  EXPECT_TRUE(contains(log, "GL ERROR: ")) << log;

  ::testing::internal::CaptureStdout();
  Texture* huge = create_texture(1 << 20, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(huge, nullptr);
  EXPECT_EQ(gl_debug_error_count(), before + 1);
  gl_error_hook = fail_on_gl_error;
}

TEST_F(DevicePool, EqualElementListsShareOneDeclaration) {
  const VertexElement a[] = {{0, 0, 3, 0, 0}, {12, 0, 3, 3, 0}, {0, 255, 0, 0, 0}};
  const VertexElement b[] = {{0, 0, 3, 0, 0}, {12, 0, 3, 3, 0}, {0, 255, 9, 9, 9}};
  const VertexElement other_index[] = {{0, 0, 3, 0, 0}, {12, 0, 3, 3, 1}, {0, 255, 0, 0, 0}};
  const VertexElement shorter[] = {{0, 0, 3, 0, 0}, {0, 255, 0, 0, 0}};
  VertexDecl* da = get_vdecl(a);
  ASSERT_NE(da, nullptr);
  EXPECT_EQ(get_vdecl(b), da); // the terminator's other bytes do not matter
  VertexDecl* dc = get_vdecl(other_index);
  EXPECT_NE(dc, da);
  EXPECT_NE(get_vdecl(shorter), da);
  EXPECT_EQ(get_vdecl(other_index), dc);
  EXPECT_EQ(da->count, 3);
  EXPECT_EQ(da->elems[2].stream, 0xFF);
  // Usage codes above 3 become TANGENT, type codes outside 1..7 UNUSED.
  const VertexElement tangent[] = {{0, 0, 4, 7, 0}, {0, 255, 0, 0, 0}};
  EXPECT_EQ(get_vdecl(tangent)->elems[0].usage, 6);
}

TEST_F(DevicePool, InstancingRepeatsStreamZeroPerStreamOneEntry) {
  // Stream 0: a small quad at the left; stream 1: per-instance x offsets.
  const VertexElement decl[] = {{0, 0, 3, 0, 0}, {12, 0, 5, 2, 0}, {0, 1, 2, 3, 0}, {0, 255, 0, 0, 0}};
  std::string head = std::string("#version 330 core\n") + device_glsl_header;
  GLuint prog = glCreateProgram();
  GLuint vs = compile(GL_VERTEX_SHADER, head +
                                            "in vec3 POSITION0; in vec4 COLOR0; in vec2 TEXCOORD0; out vec4 c;\n"
                                            "void main() { c = COLOR0; gl_Position = vec4(POSITION0.x + TEXCOORD0.x,"
                                            " POSITION0.y * rh_state.x, POSITION0.z, 1.0); }\n");
  GLuint ps = compile(GL_FRAGMENT_SHADER, head + "in vec4 c; out vec4 o; void main() { o = c; }\n");
  glAttachShader(prog, vs);
  glAttachShader(prog, ps);
  glLinkProgram(prog);
  glDeleteShader(vs);
  glDeleteShader(ps);
  device_use_program(prog);
  set_vdecl(get_vdecl(decl));

  VertexBuffer* quad = create_vb(4 * 16, 1);
  VertexBuffer* inst = create_vb(3 * 8, 1);
  IndexBuffer* ib = create_ib(6, 1);
  ASSERT_TRUE(quad && inst && ib);
  struct V { float x, y, z; uint32_t c; } qv[4] = {
      {-1, 1, 0.5f, 0xFFFFFFFF}, {-0.5f, 1, 0.5f, 0xFFFFFFFF}, {-1, -1, 0.5f, 0xFFFFFFFF}, {-0.5f, -1, 0.5f, 0xFFFFFFFF}};
  float offsets[3][2] = {{0, 0}, {1.0f, 0}, {1.5f, 0}};
  uint16_t idx[6] = {0, 1, 2, 1, 3, 2};
  memcpy(lock_vb(quad, 0, 0), qv, sizeof qv);
  unlock_vb(quad);
  memcpy(lock_vb(inst, 0, 0), offsets, sizeof offsets);
  unlock_vb(inst);
  memcpy(lock_ib(ib, 0, 0), idx, sizeof idx);
  unlock_ib(ib);

  clear_view_color(0xFF000000);
  set_vb(0, quad, 0, 16);
  set_vb(1, inst, 0, 8);
  set_ib(ib);
  set_instancing(3);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
  set_instancing(0);
  // Quads at x in [-1,-0.5], [0,0.5], [0.5,1]; the gap [-0.5, 0] stays black.
  EXPECT_TRUE(near_color(pixel(4, 10), 0xFFFFFFFF));
  EXPECT_TRUE(near_color(pixel(kWd / 2 - 8, 10), 0xFF000000));
  EXPECT_TRUE(near_color(pixel(kWd / 2 + 4, 10), 0xFFFFFFFF));
  EXPECT_TRUE(near_color(pixel(kWd - 4, 10), 0xFFFFFFFF));

  // Without instancing and without stream 1: one quad, offset 0.
  clear_view_color(0xFF000000);
  set_vb(1, nullptr, 0, 0);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
  EXPECT_TRUE(near_color(pixel(4, 10), 0xFFFFFFFF));
  EXPECT_TRUE(near_color(pixel(kWd / 2 + 4, 10), 0xFF000000));
  device_use_program(0);
  device_forget_program(prog);
  glDeleteProgram(prog);
  set_vb(1, nullptr, 0, 0);
  set_ib(nullptr);
  release_vb(quad);
  release_vb(inst);
  release_ib(ib);
}

TEST_F(DevicePool, PostFxQuadCoversTheTarget) {
  clear_view_color(0xFFFFFFFF);
  draw_postfx(); // COLOR0 has no stream: GL's default (0, 0, 0, 1) colour
  EXPECT_TRUE(near_color(pixel(0, 0), 0xFF000000));
  EXPECT_TRUE(near_color(pixel(kWd - 1, kHt - 1), 0xFF000000));
  // The declaration's inputs come back for the next draw.
  draw_full(0xFF00FF00);
  EXPECT_TRUE(near_color(pixel(1, 1), 0xFF00FF00));
}

TEST(DevicePlanes, FrustumPlanesContainWhatTheCameraSeesAndNothingBeside) {
  Matrix44 cam = Matrix44::identity(); // right x, up y, forward z, at the origin
  cam.m[3][0] = 10;
  cam.m[3][1] = 2;
  Matrix44 proj{};
  proj.m[0][0] = 1;
  proj.m[1][1] = 1;
  set_frustum_planes(cam, proj);
  auto dist = [](int i, float x, float y, float z) {
    return cur_clip_planes[i][0] * x + cur_clip_planes[i][1] * y + cur_clip_planes[i][2] * z + cur_clip_planes[i][3];
  };
  for (int i = 0; i < 4; i++) {
    EXPECT_GT(dist(i, 10, 2, 50), 0) << i; // straight ahead
    float n = std::sqrt(cur_clip_planes[i][0] * cur_clip_planes[i][0] + cur_clip_planes[i][1] * cur_clip_planes[i][1] +
                        cur_clip_planes[i][2] * cur_clip_planes[i][2]);
    EXPECT_NEAR(n, 1.f, 1e-5f);
    EXPECT_NEAR(dist(i, 10, 2, 0), 0, 1e-4f); // through the camera
  }
  int outside = 0;
  for (int i = 0; i < 4; i++) outside += dist(i, 10 + 80, 2, 50) < 0; // far to the right
  EXPECT_EQ(outside, 1);

  // Orthographic: x and y in [-1, 1] after scaling by 1/100.
  Matrix44 ortho = Matrix44::identity();
  ortho.m[0][0] = ortho.m[1][1] = 0.01f;
  set_ortho_planes(ortho);
  for (int i = 0; i < 4; i++) {
    EXPECT_GT(dist(i, 0, 0, 5), 0) << i;
    EXPECT_NEAR(dist(i, 0, 0, 0), 100, 1e-3f); // the sides are 100 units away
  }
}

TEST(DeviceMath, PerspectiveMatrixAndGlobalTransform) {
  set_proj_tm(1.5707964f, 2.f, 1.f, 101.f);
  const Matrix44& p = get_proj_tm();
  EXPECT_NEAR(p.m[0][0], 0.5f, 1e-6f);
  EXPECT_NEAR(p.m[1][1], 1.f, 1e-6f);
  EXPECT_NEAR(p.m[2][2], 1.01f, 1e-6f);
  EXPECT_EQ(p.m[2][3], 1.f);
  EXPECT_NEAR(p.m[3][2], -1.01f, 1e-6f);
  Matrix44 view = Matrix44::identity();
  view.m[3][2] = 5;
  set_view_tm(view);
  Matrix44 g;
  get_glob_tm(g);
  EXPECT_NEAR(g.m[3][2], 5 * 1.01f - 1.01f, 1e-5f);
  EXPECT_NEAR(g.m[3][3], 5.f, 1e-6f);
  Matrix44 inv;
  ASSERT_TRUE(matrix_inverse(g, inv));
  Matrix44 one = g * inv;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_NEAR(one.m[i][j], i == j ? 1.f : 0.f, 1e-5f);
}

TEST(DeviceFormats, CodesMapToDirect3DFormats) {
  EXPECT_EQ(texture_format_from_code(1), D3DFMT_A8R8G8B8);
  EXPECT_EQ(texture_format_from_code(4), D3DFMT_R5G6B5);
  EXPECT_EQ(texture_format_from_code(11), D3DFMT_A32B32G32R32F);
  EXPECT_EQ(texture_format_from_code(0), D3DFMT_UNKNOWN);
  EXPECT_EQ(texture_format_from_code(12), D3DFMT_UNKNOWN);
}

} // namespace

namespace {

int scene_calls = 0;
float scene_dt = 0;

TEST_F(DevicePool, FrameRunsTheSceneFunctionAndInstallsTheWindowOps) {
  d3d_scene_fn = [](float dt) {
    scene_calls++;
    scene_dt = dt;
  };
  bool saved = d3d_limit_buffered_frames;
  d3d_limit_buffered_frames = true;
  int rendered = 0;
  for (int i = 0; i < 4; i++) {
    if (render_d3d_frame(0.025f)) {
      rendered++;
      present_d3d();
    }
    flush_gpu(); // both fences complete: no frame may be skipped
  }
  EXPECT_EQ(rendered, 4);
  EXPECT_EQ(scene_calls, 4);
  EXPECT_FLOAT_EQ(scene_dt, 0.025f);
  EXPECT_TRUE(check_d3d_device());
  EXPECT_EQ(window_device_ops.resize, &resize_d3d);
  d3d_scene_fn = nullptr;
  d3d_limit_buffered_frames = saved;
  EXPECT_TRUE(render_d3d_frame(0.f)); // without a scene function: an empty frame
}

} // namespace

namespace {

TEST_F(DevicePool, DisplayModesAreListedOnceEach) {
  DynArray<D3dMode> modes;
  modes.push(D3dMode{1, 1}); // what is already there stays
  get_d3d_modes(modes);
  get_d3d_modes(modes); // a second call adds nothing new
  ASSERT_GE(modes.size(), 2);
  EXPECT_EQ(modes[0].width, 1);
  for (int i = 0; i < modes.size(); i++)
    for (int j = i + 1; j < modes.size(); j++)
      EXPECT_FALSE(modes[i].width == modes[j].width && modes[i].height == modes[j].height);
}

TEST_F(DevicePool, PartialLocksWriteWhereAsked) {
  // A static buffer keeps what is outside the locked range.
  VertexBuffer* vb = create_vb(4 * sizeof(Vertex), 1);
  ASSERT_NE(vb, nullptr);
  Vertex quad[4] = {{-1, 1, 0.5f, 0xFFFF0000, 0, 0}, {1, 1, 0.5f, 0xFFFF0000, 0, 0},
                    {-1, -1, 0.5f, 0xFFFF0000, 0, 0}, {1, -1, 0.5f, 0xFFFF0000, 0, 0}};
  memcpy(lock_vb(vb, 0, 0), quad, sizeof quad);
  unlock_vb(vb);
  Vertex* last = (Vertex*)lock_vb(vb, 3 * sizeof(Vertex), sizeof(Vertex));
  ASSERT_NE(last, nullptr);
  *last = Vertex{1, -1, 0.5f, 0xFF0000FF, 0, 0};
  unlock_vb(vb);
  EXPECT_EQ(lock_vb(vb, 4 * sizeof(Vertex), 4), nullptr); // past the end

  IndexBuffer* ib = create_ib(6, 0);
  ASSERT_NE(ib, nullptr);
  uint16_t idx[6] = {0, 1, 2, 1, 3, 2};
  memcpy(lock_ib(ib, 0, 0), idx, sizeof idx);
  unlock_ib(ib);
  set_vb(0, vb, 0, sizeof(Vertex));
  set_ib(ib);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2);
  EXPECT_EQ(channel(pixel(1, 1), 16), 255);            // top-left: red vertices only
  EXPECT_GT(channel(pixel(kWd - 2, kHt - 2), 0), 200); // next to the blue corner
  // A start index: the second triangle alone.
  clear_view_color(0xFF000000);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 1);
  EXPECT_EQ(channel(pixel(1, 1), 16), 0); // the first triangle is not drawn
  EXPECT_GT(channel(pixel(kWd - 2, kHt / 2), 0) + channel(pixel(kWd - 2, kHt / 2), 16), 200);
  set_ib(nullptr);
  release_ib(ib);
  release_vb(vb);
}

} // namespace
