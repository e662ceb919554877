// Shared set-up of the graphics tests: one headless window and device per
// test process (SDL's offscreen driver on Mesa), a tiny GLSL program using
// the device's interface, and helpers to draw coloured or textured quads in
// clip space and read pixels back in Direct3D layout.
#pragma once
#include <SDL2/SDL.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/app_globals.h"
#include "core/window.h"
#include "render/device.h"

namespace gltest {

constexpr int kWd = 64, kHt = 48;

struct Vertex {
  float x, y, z;
  uint32_t color; // D3dColor
  float u, v;
};

inline const VertexElement kDecl[] = {
    {0, 0, 3, 0, 0}, {12, 0, 5, 2, 0}, {16, 0, 2, 3, 0}, {0, 255, 0, 0, 0}};

inline GLuint compile(GLenum type, const std::string& src) {
  GLuint s = glCreateShader(type);
  const char* p = src.c_str();
  glShaderSource(s, 1, &p, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2048];
    glGetShaderInfoLog(s, sizeof log, nullptr, log);
    ADD_FAILURE() << log;
  }
  return s;
}

// pc[0].x = 1 multiplies the colour by texture stage 0.
inline GLuint make_program() {
  std::string head = std::string("#version 330 core\n") + device_glsl_header;
  std::string vs = head +
                   "in vec3 POSITION0; in vec4 COLOR0; in vec2 TEXCOORD0;\n"
                   "out vec4 v_col; out vec2 v_uv;\n"
                   "void main() { v_col = COLOR0; v_uv = TEXCOORD0;\n"
                   "  gl_Position = vec4(POSITION0, 1.0); gl_Position.y *= rh_state.x;\n"
                   "  if (rh_state.z > 0.5) gl_Position.z = 2.0 * gl_Position.z - gl_Position.w; }\n";
  std::string ps = head +
                   "in vec4 v_col; in vec2 v_uv; out vec4 o; uniform sampler2D s0;\n"
                   "void main() { vec4 c = mix(v_col, v_col * texture(s0, v_uv), pc[0].x);\n"
                   "  if (c.a < rh_state.y) discard; o = c; }\n";
  GLuint p = glCreateProgram();
  GLuint a = compile(GL_VERTEX_SHADER, vs), b = compile(GL_FRAGMENT_SHADER, ps);
  glAttachShader(p, a);
  glAttachShader(p, b);
  glLinkProgram(p);
  glDeleteShader(a);
  glDeleteShader(b);
  GLint ok = 0;
  glGetProgramiv(p, GL_LINK_STATUS, &ok);
  EXPECT_TRUE(ok);
  return p;
}

// Every GL error the device does not check itself fails the test that
// caused it (the debug context reports synchronously, inside the call).
inline void fail_on_gl_error(const char* message) { ADD_FAILURE() << "GL error: " << message; }

// One window, device, program and vertex buffer for the whole process.
class GlEnv : public ::testing::Environment {
public:
  static inline GLuint program = 0;
  static inline VertexBuffer* vb = nullptr;
  static inline bool ok = false;

  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 0); // SDL_VIDEODRIVER=x11 under Xvfb also works
    setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
    setenv("RUNEHOLM_HEADLESS", "1", 1);
    setenv("RUNEHOLM_GL_DEBUG", "1", 1);
    gl_error_hook = fail_on_gl_error;
    isFullscreen = false;
    app_screen_wd = kWd;
    app_screen_ht = kHt;
    ASSERT_TRUE(register_main_window_class());
    int w = 0, h = 0;
    ASSERT_NE(create_main_window(w, h), nullptr);
    ASSERT_TRUE(init_d3d(get_main_window(), w, h));
    program = make_program();
    vb = create_vb(64 * sizeof(Vertex), 0);
    ok = program && vb;
  }
  void TearDown() override {
    close_d3d();
    destroy_main_window();
  }
};

// Resets the states the tests touch and binds the program and declaration.
inline void begin_draw() {
  set_blend_none();
  set_atest(0);
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(true);
  set_color_write_mask(15);
  set_wireframe(false);
  set_stencil_test(0, 0, D3DCMP_ALWAYS);
  set_stencil_replace_bits(0);
  set_instancing(0);
  device_use_program(GlEnv::program);
  set_vdecl(get_vdecl(kDecl));
  float zero[4] = {0, 0, 0, 0};
  set_ps_consts(0, zero, 1);
}

inline void use_texture(bool on) {
  float c[4] = {on ? 1.f : 0.f, 0, 0, 0};
  set_ps_consts(0, c, 1);
}

inline void draw_tris(const Vertex* v, int n_vertices) {
  void* p = lock_vb(GlEnv::vb, 0, 0);
  ASSERT_NE(p, nullptr);
  memcpy(p, v, sizeof(Vertex) * n_vertices);
  unlock_vb(GlEnv::vb);
  set_vb(0, GlEnv::vb, 0, sizeof(Vertex));
  draw_prim(D3DPT_TRIANGLELIST, 0, n_vertices / 3);
}

// A clockwise quad in clip space; (u, v) = (0, 0) at its top-left corner.
inline void draw_quad(float x0, float y0, float x1, float y1, float z, uint32_t color) {
  Vertex v[6] = {{x0, y1, z, color, 0, 0}, {x1, y1, z, color, 1, 0}, {x0, y0, z, color, 0, 1},
                 {x1, y1, z, color, 1, 0}, {x1, y0, z, color, 1, 1}, {x0, y0, z, color, 0, 1}};
  draw_tris(v, 6);
}

inline void draw_full(uint32_t color, float z = 0.5f) { draw_quad(-1, -1, 1, 1, z, color); }

// The pixel at (x, y) of the current target, y from the top, as a D3dColor.
inline uint32_t pixel(int x, int y) {
  uint8_t b[4];
  EXPECT_TRUE(read_render_target(x, y, 1, 1, b));
  return (uint32_t)b[3] << 24 | (uint32_t)b[2] << 16 | (uint32_t)b[1] << 8 | b[0];
}

inline int channel(uint32_t c, int shift) { return (int)((c >> shift) & 255); }

// Colour equality within `tol` per channel (alpha ignored unless asked).
inline ::testing::AssertionResult near_color(uint32_t got, uint32_t want, int tol = 2,
                                             bool alpha = false) {
  for (int s = alpha ? 24 : 16; s >= 0; s -= 8)
    if (std::abs(channel(got, s) - channel(want, s)) > tol)
      return ::testing::AssertionFailure() << std::hex << "got 0x" << got << " want 0x" << want;
  return ::testing::AssertionSuccess();
}

// The offscreen window can't change its surface size, so the picture tests
// make a device of their own size and give the shared one back afterwards
// (remake_device(kWd, kHt)).
inline void remake_device(int w, int h) {
  close_d3d();
  destroy_main_window();
  app_screen_wd = w;
  app_screen_ht = h;
  int cw = 0, ch = 0;
  ASSERT_NE(create_main_window(cw, ch), nullptr);
  ASSERT_TRUE(init_d3d(get_main_window(), cw, ch));
  ASSERT_EQ(d3d_wd, w);
  ASSERT_EQ(d3d_ht, h);
}

} // namespace gltest

#define REQUIRE_GL() \
  if (!gltest::GlEnv::ok) GTEST_SKIP() << "no GL device"
