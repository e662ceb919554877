// Private state of the device layer, shared by device*.cpp and vertex_decl.cpp.
// One instance (`dev`); everything GL-side is 0 while no context exists.
#pragma once
#include <epoxy/gl.h>

#include "render/device.h"

constexpr int MAX_STAGES = 16;
constexpr int MAX_STREAMS = 16;
constexpr int NUM_VS_CONSTS = 256;
constexpr int NUM_PS_CONSTS = 224;
constexpr int MAX_FBOS = 32;
constexpr int MAX_PROGRAMS = 512;
// Attribute slots by (usage, index): usage * 16 + index; TANGENT is usage 4.
constexpr int NUM_ATTR_SLOTS = 5 * 16;

// One framebuffer object per attachment set (colour textures and depth).
struct FboEntry {
  GLuint fbo;
  GLuint color[4]; // GL texture names, 0 = none
  bool depth;
  unsigned last_use;
};

// Per program: uniform setup done, and the location of each vertex input.
struct ProgramInfo {
  GLuint program;
  signed char attr_loc[NUM_ATTR_SLOTS]; // -1: not used by the program
};

struct StreamBinding {
  VertexBuffer* vb;
  int offset, stride;
};

struct DeviceState {
  SDL_Window* window;
  void* context; // SDL_GLContext
  bool in_scene;

  GLuint vao;
  GLuint samplers[MAX_STAGES];
  GLuint scene_depth; // DEPTH24_STENCIL8 renderbuffer, d3d_wd x d3d_ht
  GLsync frame_fence[2];
  int frame_index;

  // Shader constant blocks and the device block (flip y, alpha reference).
  GLuint ubo_vs, ubo_ps, ubo_state;
  float vs_consts[NUM_VS_CONSTS][4];
  float ps_consts[NUM_PS_CONSTS][4];
  int vs_dirty_lo, vs_dirty_hi; // register range to upload, lo > hi = clean
  int ps_dirty_lo, ps_dirty_hi;
  float state_block[4];
  bool state_dirty;

  // Current target: texture targets draw upside down (flip), see device.h.
  Texture* targets[4];
  bool target_depth;
  bool flip; // true while a texture is bound as target 0
  int target_wd, target_ht;
  FboEntry fbos[MAX_FBOS];
  GLuint copy_fbo[2]; // read and draw framebuffers of copy_texture
  int can_render[12]; // can_render_to_format by code: 0 unknown, 1 yes, 2 no
  unsigned fbo_clock;

  // Tracked so clears can open every mask and restore it, and so the cull
  // direction can follow the target.
  int cull_mode;
  int color_mask;
  bool zwrite;
  int stencil_write_mask;
  int vp_x, vp_y, vp_w, vp_h; // viewport in Direct3D coordinates

  Matrix44 view_tm, proj_tm;

  // Vertex input state applied at draw time.
  VertexDecl* decl;
  StreamBinding streams[MAX_STREAMS];
  IndexBuffer* ib;
  int instances; // < 1: no instancing
  ProgramInfo* program;
  bool attribs_dirty;
  unsigned enabled_attribs; // bit per location
  ProgramInfo programs[MAX_PROGRAMS];

  GLuint postfx_vb;
  GLuint front_copy_fbo, front_copy_rb; // copy of the last presented frame
  int front_copy_wd, front_copy_ht;
  bool front_copy_valid;  // holds the last presented frame
  bool capture_requested; // the next present keeps a copy
  void (*capture_callback)();
  uint8_t* capture_mem;
};

extern DeviceState dev;

// GL calls whose failure the caller reads with glGetError and reports itself
// (creation that may fail, format probes) run inside this scope; the debug
// output (RUNEHOLM_GL_DEBUG) does not count their errors.
extern int gl_errors_checked;
struct GlErrorsChecked {
  GlErrorsChecked() { gl_errors_checked++; }
  ~GlErrorsChecked() { gl_errors_checked--; }
  GlErrorsChecked(const GlErrorsChecked&) = delete;
  GlErrorsChecked& operator=(const GlErrorsChecked&) = delete;
};

// {===== Internal operations between the device sources

struct GlFormat {
  GLenum internal, format, type;
  int bytes_per_pixel; // 0 for block-compressed formats
  int block_bytes;     // bytes per 4x4 block, 0 when not compressed
  GLint swizzle[4];    // 0 = keep the default
};
bool gl_format_of(int d3d_format, GlFormat& out);
unsigned texture_gl_create(Texture* t);    // makes t->texture from its fields; GL error or 0
void textures_release_default_pool();      // before a resize
void textures_recreate_default_pool();     // after a resize
void textures_release_all();
void fbo_forget_texture(GLuint tex);       // drop cached FBOs using it
void fbo_release_all();
void target_apply_flip();                  // pushes flip into the state block and cull
void target_bind_current();                // rebinds the current targets' framebuffer

void buffers_release_dynamic();
void buffers_recreate_dynamic();
void buffers_release_all();

void state_apply_defaults();   // render and sampler defaults after creation/resize
void samplers_create();
void samplers_release();
void consts_create();
void consts_release();
void consts_upload();          // dirty ranges and the device block, before a draw

void vdecl_release_all();
void programs_release_all();
void draw_prepare();           // program constants and vertex inputs
GLenum gl_cmp_func(int d3d_cmp);
