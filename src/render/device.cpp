// Device lifetime: the GL context on the main window, its resize (which
// recreates every default-pool object at the same pool slot), the frame with
// its two-fence latency limit, present and the front-buffer copy, and close.
//
// Invariant: while `dev.context` is set the global VAO is bound, the three
// uniform blocks are bound to bindings 0..2 and sampler objects to units
// 0..15; nothing else in the program changes that binding state.
#include <SDL2/SDL.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/app_globals.h"
#include "core/log.h"
#include "render/device_local.h"
#include "render/splash.h"

DeviceState dev;
int d3d_wd = 0, d3d_ht = 0;
bool d3d_limit_buffered_frames = true;
void (*d3d_scene_fn)(float dt) = nullptr;
void (*d3d_resize_hook)() = nullptr;
void (*d3d_release_shaders_fn)() = nullptr;

static bool need_z_remap = false; // no glClipControl: the prologue remaps z

// {===== GL debug output

int gl_errors_checked = 0;
void (*gl_error_hook)(const char* message) = nullptr;
static int gl_error_count = 0;

int gl_debug_error_count() { return gl_error_count; }

static bool gl_debug_wanted() {
  const char* v = getenv("RUNEHOLM_GL_DEBUG");
  return v && strcmp(v, "1") == 0;
}

static void GLAPIENTRY gl_debug_message(GLenum source, GLenum type, GLuint id, GLenum, GLsizei length,
                                        const GLchar* message, const void*) {
  if (type != GL_DEBUG_TYPE_ERROR && type != GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR) return;
  // Compile errors reach the shader module through the compile status and
  // its log, which it reports itself.
  if (source == GL_DEBUG_SOURCE_SHADER_COMPILER || gl_errors_checked > 0) return;
  gl_error_count++;
  if (length < 0) length = (GLsizei)strlen(message);
  debug("GL ERROR: %.*s (id %u)", (int)length, message, id);
  if (gl_error_hook) gl_error_hook(message);
}

// Synchronous output, so that the report comes from inside the failing call.
static void gl_debug_start() {
  if (!(epoxy_gl_version() >= 43 || epoxy_has_gl_extension("GL_KHR_debug"))) {
    debug("D3D: GL debug output requested but not available");
    return;
  }
  glEnable(GL_DEBUG_OUTPUT);
  glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
  glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_FALSE);
  glDebugMessageControl(GL_DONT_CARE, GL_DEBUG_TYPE_ERROR, GL_DONT_CARE, 0, nullptr, GL_TRUE);
  glDebugMessageControl(GL_DONT_CARE, GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR, GL_DONT_CARE, 0, nullptr, GL_TRUE);
  glDebugMessageCallback(gl_debug_message, nullptr);
  debug("D3D: GL debug output on");
}

// {===== Matrix44

Matrix44 Matrix44::identity() {
  Matrix44 r{};
  for (int i = 0; i < 4; i++) r.m[i][i] = 1.f;
  return r;
}

Matrix44 Matrix44::operator*(const Matrix44& b) const {
  Matrix44 r;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++)
      r.m[i][j] = m[i][0] * b.m[0][j] + m[i][1] * b.m[1][j] + m[i][2] * b.m[2][j] +
                  m[i][3] * b.m[3][j];
  return r;
}

// Gauss-Jordan with partial pivoting, in double for the ortho-plane use.
bool matrix_inverse(const Matrix44& a, Matrix44& out) {
  double w[4][8];
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      w[i][j] = a.m[i][j];
      w[i][j + 4] = i == j ? 1.0 : 0.0;
    }
  for (int c = 0; c < 4; c++) {
    int p = c;
    for (int r = c + 1; r < 4; r++)
      if (std::fabs(w[r][c]) > std::fabs(w[p][c])) p = r;
    if (std::fabs(w[p][c]) < 1e-30) return false;
    if (p != c)
      for (int j = 0; j < 8; j++) std::swap(w[p][j], w[c][j]);
    double inv = 1.0 / w[c][c];
    for (int j = 0; j < 8; j++) w[c][j] *= inv;
    for (int r = 0; r < 4; r++)
      if (r != c && w[r][c] != 0.0) {
        double f = w[r][c];
        for (int j = 0; j < 8; j++) w[r][j] -= f * w[c][j];
      }
  }
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) out.m[i][j] = (float)w[i][j + 4];
  return true;
}

// {===== Internals

static void fences_create() {
  // Issued at creation so that the first frames find them complete.
  for (GLsync& f : dev.frame_fence) f = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  dev.frame_index = 0;
}

static void fences_release() {
  for (GLsync& f : dev.frame_fence) {
    if (f) glDeleteSync(f);
    f = nullptr;
  }
}

static GLenum scene_depth_create() {
  GlErrorsChecked checked;
  while (glGetError() != GL_NO_ERROR) {
  }
  glGenRenderbuffers(1, &dev.scene_depth);
  glBindRenderbuffer(GL_RENDERBUFFER, dev.scene_depth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, d3d_wd, d3d_ht);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  return glGetError();
}

static void scene_depth_release() {
  if (dev.scene_depth) glDeleteRenderbuffers(1, &dev.scene_depth);
  dev.scene_depth = 0;
}

static void front_copy_release() {
  if (dev.front_copy_fbo) glDeleteFramebuffers(1, &dev.front_copy_fbo);
  if (dev.front_copy_rb) glDeleteRenderbuffers(1, &dev.front_copy_rb);
  dev.front_copy_fbo = dev.front_copy_rb = 0;
  dev.front_copy_valid = false;
}

// Made when a capture is first asked for, at the back buffer's size.
static void front_copy_create() {
  glGenRenderbuffers(1, &dev.front_copy_rb);
  glBindRenderbuffer(GL_RENDERBUFFER, dev.front_copy_rb);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, d3d_wd, d3d_ht);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glGenFramebuffers(1, &dev.front_copy_fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, dev.front_copy_fbo);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, dev.front_copy_rb);
  dev.front_copy_wd = d3d_wd;
  dev.front_copy_ht = d3d_ht;
  dev.front_copy_valid = false;
}

// The window's share of a mode change: full screen at the given size (the
// desktop mode when it matches), or a window of the given client size.
static void window_apply_mode(int width, int height, bool fullscreen) {
  if (fullscreen) {
    SDL_DisplayMode desk;
    int display = SDL_GetWindowDisplayIndex(dev.window);
    if (display < 0) display = 0;
    if (SDL_GetDesktopDisplayMode(display, &desk) == 0 && (desk.w != width || desk.h != height)) {
      SDL_DisplayMode want = desk, got;
      want.w = width;
      want.h = height;
      if (SDL_GetClosestDisplayMode(display, &want, &got)) SDL_SetWindowDisplayMode(dev.window, &got);
      SDL_SetWindowFullscreen(dev.window, SDL_WINDOW_FULLSCREEN);
    } else {
      SDL_SetWindowFullscreen(dev.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
  } else {
    if (SDL_GetWindowFlags(dev.window) & SDL_WINDOW_FULLSCREEN) SDL_SetWindowFullscreen(dev.window, 0);
    int w = 0, h = 0;
    SDL_GetWindowSize(dev.window, &w, &h);
    if (w != width || h != height) SDL_SetWindowSize(dev.window, width, height);
  }
}

static void desktop_size(int& w, int& h) {
  SDL_DisplayMode desk;
  int display = dev.window ? SDL_GetWindowDisplayIndex(dev.window) : 0;
  if (display < 0) display = 0;
  if (SDL_GetDesktopDisplayMode(display, &desk) == 0) {
    w = desk.w;
    h = desk.h;
  } else {
    SDL_GL_GetDrawableSize(dev.window, &w, &h);
  }
}

// {===== Device lifetime

bool d3d_ready() { return dev.context != nullptr; }

bool init_d3d(SDL_Window* window, int width, int height) {
  close_d3d();
  if (!window) return false;
  dev.window = window;
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  bool gl_debug = gl_debug_wanted();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, gl_debug ? SDL_GL_CONTEXT_DEBUG_FLAG : 0);
  SDL_GLContext ctx = SDL_GL_CreateContext(window);
  if (!ctx) {
    debug("D3D: can't create an OpenGL 3.3 core context: %s", SDL_GetError());
    dev.window = nullptr;
    return false;
  }
  dev.context = ctx;
  SDL_GL_MakeCurrent(window, ctx);
  if (gl_debug) gl_debug_start();
  SDL_GL_SetSwapInterval(app_use_vsync ? 1 : 0);

  // Full screen: a size below 1 becomes the desktop size; windowed: the
  // client area's size.
  if (isFullscreen) {
    if (width < 1 || height < 1) desktop_size(width, height);
  } else if (width < 1 || height < 1) {
    SDL_GL_GetDrawableSize(window, &width, &height);
  }
  d3d_wd = width;
  d3d_ht = height;
  debug("starting d3d in %dx%d", d3d_wd, d3d_ht);

  need_z_remap = !(epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control"));
  if (!need_z_remap) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);

  glGenVertexArrays(1, &dev.vao);
  glBindVertexArray(dev.vao);
  GLenum err = scene_depth_create();
  if (err != GL_NO_ERROR) {
    debug("FAILED to create scene z-buffer surface (code 0x%08X)", err);
    close_d3d();
    return false;
  }
  fences_create();
  consts_create();
  samplers_create();
  dev.state_block[0] = 1.f;
  dev.state_block[1] = -1.f;
  dev.state_block[2] = need_z_remap ? 1.f : 0.f;
  dev.state_dirty = true;
  set_back_buffer_target();
  state_apply_defaults();

  splash_install_window_ops();
  debug("init d3d ok (%dx%d)", d3d_wd, d3d_ht);
  return true;
}

bool resize_d3d(int width, int height, bool fullscreen, bool force) {
  if (!dev.context) return false;
  if ((width == 0 || height == 0) && !fullscreen) {
    width = d3d_wd;
    height = d3d_ht;
  }
  if (fullscreen && (width < 1 || height < 1)) desktop_size(width, height);
  if (!force && width == d3d_wd && height == d3d_ht && fullscreen == isFullscreen) return true;
  debug("=== resizing d3d to %dx%d %s", width, height, fullscreen ? "fullscreen" : "windowed");

  // Release what depends on the back-buffer size; pool entries stay used.
  set_back_buffer_target();
  set_ib(nullptr);
  for (int s = 0; s < MAX_STREAMS; s++) set_vb(s, nullptr, 0, 0);
  for (int s = 0; s < MAX_STAGES; s++) set_texture(s, nullptr);
  buffers_release_dynamic();
  textures_release_default_pool();
  fbo_release_all();
  fences_release();
  scene_depth_release();
  front_copy_release();

  isFullscreen = fullscreen;
  window_apply_mode(width, height, fullscreen);
  SDL_GL_SetSwapInterval(app_use_vsync ? 1 : 0);
  d3d_wd = width;
  d3d_ht = height;

  textures_recreate_default_pool();
  buffers_recreate_dynamic();
  GLenum err = scene_depth_create();
  if (err != GL_NO_ERROR) {
    debug("failed to recreate scene RT");
    return false;
  }
  fences_create();
  set_back_buffer_target();
  state_apply_defaults();
  debug("resized d3d to %dx%d %s", d3d_wd, d3d_ht, fullscreen ? "fullscreen" : "windowed");
  if (d3d_resize_hook) d3d_resize_hook();
  return true;
}

bool check_d3d_device() { return dev.context != nullptr; }

bool begin_d3d_scene() {
  if (!dev.context) return false;
  dev.in_scene = true;
  set_cull_mode(1);
  return true;
}

void end_d3d_scene() { dev.in_scene = false; }

bool render_d3d_frame(float dt) {
  if (!dev.context) return false;
  GLsync& fence = dev.frame_fence[dev.frame_index];
  if (d3d_limit_buffered_frames && fence) {
    GLenum r = glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, 0);
    if (r == GL_TIMEOUT_EXPIRED) return false;
  }
  if (!begin_d3d_scene()) return false;
  if (d3d_scene_fn) d3d_scene_fn(dt);
  end_d3d_scene();
  if (fence) glDeleteSync(fence);
  fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  dev.frame_index ^= 1;
  return true;
}

void request_front_buffer_capture(void (*on_captured)()) {
  dev.capture_requested = true;
  dev.capture_callback = on_captured;
}

bool front_buffer_capture_requested() { return dev.capture_requested; }

void present_d3d() {
  if (!dev.context) return;
  // Copying the whole back buffer costs several milliseconds a frame on
  // software renderers, so the frame is kept only when a capture asked for
  // it (after the swap the back buffer's contents are undefined).
  dev.front_copy_valid = false;
  bool capture = dev.capture_requested;
  if (capture) {
    dev.capture_requested = false;
    if (dev.front_copy_fbo && (dev.front_copy_wd != d3d_wd || dev.front_copy_ht != d3d_ht))
      front_copy_release();
    if (!dev.front_copy_fbo) front_copy_create();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, dev.front_copy_fbo);
    glBlitFramebuffer(0, 0, d3d_wd, d3d_ht, 0, 0, d3d_wd, d3d_ht, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    dev.front_copy_valid = true;
    target_bind_current();
  }
  SDL_GL_SwapWindow(dev.window);
  if (capture && dev.capture_callback) {
    void (*done)() = dev.capture_callback;
    dev.capture_callback = nullptr;
    done();
  }
}

void close_d3d() {
  if (!dev.context) {
    dev = DeviceState{};
    return;
  }
  debug("close d3d");
  fences_release();
  release_front_buffer_capture();
  textures_release_all();
  buffers_release_all();
  vdecl_release_all();
  if (d3d_release_shaders_fn) d3d_release_shaders_fn();
  programs_release_all();
  fbo_release_all();
  front_copy_release();
  scene_depth_release();
  samplers_release();
  consts_release();
  if (dev.postfx_vb) glDeleteBuffers(1, &dev.postfx_vb);
  glBindVertexArray(0);
  glDeleteVertexArrays(1, &dev.vao);
  SDL_GL_MakeCurrent(dev.window, nullptr);
  SDL_GL_DeleteContext((SDL_GLContext)dev.context);
  splash_remove_window_ops();
  scene_image = splash_background = nullptr;
  dev = DeviceState{};
  d3d_wd = d3d_ht = 0;
}

void get_d3d_modes(DynArray<D3dMode>& modes) {
  int n = SDL_GetNumDisplayModes(0);
  for (int i = 0; i < n; i++) {
    SDL_DisplayMode m;
    if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
    bool known = false;
    for (const D3dMode& k : modes) known |= k.width == m.w && k.height == m.h;
    if (!known) modes.push(D3dMode{m.w, m.h});
  }
}

unsigned get_free_texmem() {
  bool d3d = dev.context != nullptr;
  ASSERT(d3d);
  GLint kb[4] = {0, 0, 0, 0};
  if (epoxy_has_gl_extension("GL_NVX_gpu_memory_info"))
    glGetIntegerv(0x9049, kb); // GPU_MEMORY_INFO_CURRENT_AVAILABLE_VIDMEM_NVX
  else if (epoxy_has_gl_extension("GL_ATI_meminfo"))
    glGetIntegerv(0x87FC, kb); // TEXTURE_FREE_MEMORY_ATI
  long long bytes = (long long)kb[0] * 1024;
  return bytes > 0xFFFFFFFFll ? 0xFFFFFFFFu : (unsigned)bytes;
}

void flush_gpu() {
  bool d3d = dev.context != nullptr;
  ASSERT(d3d);
  GLsync f = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  while (glClientWaitSync(f, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000) == GL_TIMEOUT_EXPIRED) {
  }
  glDeleteSync(f);
}

uint8_t* capture_front_buffer(int& width, int& height, int& pitch) {
  release_front_buffer_capture();
  if (!dev.context || !dev.front_copy_valid) return nullptr;
  int w = dev.front_copy_wd, h = dev.front_copy_ht;
  if (w < 1 || h < 1) return nullptr;
  dev.capture_mem = (uint8_t*)malloc((size_t)w * h * 4);
  if (!dev.capture_mem) return nullptr;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, dev.front_copy_fbo);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, dev.capture_mem);
  // GL rows run bottom first: turn them to rows top first.
  uint8_t* row = (uint8_t*)malloc((size_t)w * 4);
  for (int y = 0; row && y < h / 2; y++) {
    uint8_t* a = dev.capture_mem + (size_t)y * w * 4;
    uint8_t* b = dev.capture_mem + (size_t)(h - 1 - y) * w * 4;
    memcpy(row, a, (size_t)w * 4);
    memcpy(a, b, (size_t)w * 4);
    memcpy(b, row, (size_t)w * 4);
  }
  free(row);
  target_bind_current();
  width = w;
  height = h;
  pitch = w * 4;
  return dev.capture_mem;
}

void release_front_buffer_capture() {
  free(dev.capture_mem);
  dev.capture_mem = nullptr;
}
