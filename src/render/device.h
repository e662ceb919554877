// The graphics device layer: the only code besides the shader module that
// calls OpenGL (3.3 core, through libepoxy, on the SDL2 window's context).
// It owns the context, fixed pools of textures and vertex/index buffers, a
// 64-slot vertex-declaration cache, two frame fences and the scene depth
// buffer, and offers small operations that set render state by meaning.
//
// Conventions kept from Direct3D 9, so that everything above this layer reads
// as written for it:
// - texture coordinate (0, 0) is the top-left texel; CPU images are rows top
//   first, 32-bit pixels in memory order B, G, R, A;
// - clip-space y points up and depth runs 0..1 (glClipControl);
// - triangles are clockwise-front (D3D's default CULLMODE CCW culls the
//   counter-clockwise ones);
// - whatever is drawn into a texture target is drawn upside down (the
//   prologue multiplies clip y by `rh_state.x`, -1 for textures, +1 for the
//   back buffer) so that row 0 of a target is the top of the picture, exactly
//   as Direct3D lays out render targets. Cull direction and viewport follow.
//
// Pools are static arrays: a `Texture*`, `VertexBuffer*` or `IndexBuffer*`
// points into them and stays valid until released, across window resizes,
// which recreate the default-pool objects at the same slots.
//
// GLSL interface shared with the shader module (every program must use it):
//   layout(std140) uniform VsConsts { vec4 vc[256]; };   // binding 0
//   layout(std140) uniform PsConsts { vec4 pc[224]; };   // binding 1
//   layout(std140) uniform DeviceState { vec4 rh_state; }; // binding 2
//     rh_state.x: clip-y factor (gl_Position.y *= rh_state.x)
//     rh_state.y: alpha-test reference 0..1, negative when the test is off
//                 (the pixel prologue discards when alpha < rh_state.y)
//   uniform sampler2D s0 .. s15;  stage s = texture unit s
//   vertex inputs named by usage and index: POSITION0.., NORMAL0..,
//   COLOR0.., TEXCOORD0.., TANGENT0 (see vertex_decl.cpp).
// `device_glsl_header` holds these declarations ready to paste.
#pragma once
#include <cstdint>

#include "core/dynArray.h"

struct SDL_Window;

typedef uint32_t D3dColor; // alpha in bits 24-31, then red, green, blue

// 4 x 4 floats, row-vector convention: a point is transformed as p * M, the
// global matrix is view * projection; m[3] holds the translation.
struct Matrix44 {
  float m[4][4];
  static Matrix44 identity();
  Matrix44 operator*(const Matrix44& b) const;
};
bool matrix_inverse(const Matrix44& a, Matrix44& out); // false when singular

// {===== Direct3D constants the rest of the program passes through

enum : int {
  D3DUSAGE_RENDERTARGET = 0x1,
  D3DUSAGE_WRITEONLY = 0x8,
  D3DUSAGE_DYNAMIC = 0x200,

  D3DPOOL_DEFAULT = 0,
  D3DPOOL_MANAGED = 1,

  D3DFMT_UNKNOWN = 0,
  D3DFMT_A8R8G8B8 = 21,
  D3DFMT_X8R8G8B8 = 22,
  D3DFMT_R5G6B5 = 23,
  D3DFMT_A1R5G5B5 = 25,
  D3DFMT_A4R4G4B4 = 26,
  D3DFMT_A8 = 28,
  D3DFMT_G16R16 = 34,
  D3DFMT_L8 = 50,
  D3DFMT_A8L8 = 51,
  D3DFMT_R16F = 111,
  D3DFMT_G16R16F = 112,
  D3DFMT_A16B16G16R16F = 113,
  D3DFMT_R32F = 114,
  D3DFMT_G32R32F = 115,
  D3DFMT_A32B32G32R32F = 116,
  D3DFMT_DXT1 = 0x31545844, // 'DXT1'
  D3DFMT_DXT3 = 0x33545844,
  D3DFMT_DXT5 = 0x35545844,

  // Primitive types of draw_prim / draw_indexed.
  D3DPT_POINTLIST = 1,
  D3DPT_LINELIST = 2,
  D3DPT_LINESTRIP = 3,
  D3DPT_TRIANGLELIST = 4,
  D3DPT_TRIANGLESTRIP = 5,
  D3DPT_TRIANGLEFAN = 6,

  // Comparison codes of set_stencil_test.
  D3DCMP_NEVER = 1,
  D3DCMP_LESS,
  D3DCMP_EQUAL,
  D3DCMP_LESSEQUAL,
  D3DCMP_GREATER,
  D3DCMP_NOTEQUAL,
  D3DCMP_GREATEREQUAL,
  D3DCMP_ALWAYS,
};

// The program's texture format codes (create_dynamic_texture,
// create_render_texture, can_render_to_format): 1 A8R8G8B8, 2 A4R4G4B4,
// 3 A1R5G5B5, 4 R5G6B5, 5 G16R16, 6 R16F, 7 G16R16F, 8 A16B16G16R16F, 9 R32F,
// 10 G32R32F, 11 A32B32G32R32F; anything else is D3DFMT_UNKNOWN.
int texture_format_from_code(int code);

// {===== Pool entries

constexpr int MAX_TEXTURES = 1000;
constexpr int MAX_BUFFERS = 1000;
constexpr int MAX_VDECLS = 64;
constexpr int MAX_VDECL_LEN = 32;

struct Texture {
  unsigned texture; // GL texture name; 0 while free or not (re)created
  int width, height; // creation size; 0 x 0 follows the back buffer
  int levels;
  int usage;  // 0, D3DUSAGE_DYNAMIC or D3DUSAGE_RENDERTARGET
  int format; // Direct3D format
  int pool;   // D3DPOOL_DEFAULT or D3DPOOL_MANAGED
  bool used;
  // Current size of level 0 in pixels (the back-buffer size for 0 x 0).
  int cur_wd, cur_ht;
  // CPU copy while locked (freed at unlock).
  uint8_t* lock_mem;
  int lock_pitch;
};

struct VertexBuffer {
  unsigned buffer; // GL buffer name
  int size;        // bytes
  int flags;       // bit 0: static; clear: dynamic
  bool used;
};
struct IndexBuffer {
  unsigned buffer;
  int size; // bytes: 16-bit indices, count x 2
  int flags;
  bool used;
};

extern Texture texture_pool[MAX_TEXTURES];

// The program's own 6-byte vertex element; a list ends with stream 255.
struct VertexElement {
  uint16_t offset;
  uint8_t stream;
  uint8_t type;  // 1 FLOAT1 .. 4 FLOAT4, 5 D3DCOLOR, 6 SHORT2, 7 SHORT4
  uint8_t usage; // 0 POSITION, 1 NORMAL, 2 COLOR, 3 TEXCOORD, else TANGENT
  uint8_t usage_index;
};
static_assert(sizeof(VertexElement) == 6);

// A cached declaration: the converted elements (Direct3D's layout: stream,
// offset, type, method, usage, usage index; the last is the end element).
struct D3dVertexElement {
  uint16_t stream, offset;
  uint8_t type, method, usage, usage_index;
};
struct VertexDecl {
  D3dVertexElement elems[MAX_VDECL_LEN];
  int count; // including the end element; 0 = empty cache slot
};

struct D3dMode {
  int width, height;
};

// {===== Device state

extern int d3d_wd, d3d_ht; // back-buffer size in pixels
extern bool d3d_limit_buffered_frames; // keep the CPU at most two frames ahead
extern float cur_clip_planes[4][4]; // side planes (nx, ny, nz, w), w = -(n . camera)

// The application's per-frame scene function and resize hook (the frame loop
// installs them before the first frame; null does nothing).
extern void (*d3d_scene_fn)(float dt);
extern void (*d3d_resize_hook)();
// The shader module's release of all shaders, run by close_d3d while the
// context still exists (null does nothing).
extern void (*d3d_release_shaders_fn)();

// {===== Device lifetime

// Creates the GL 3.3 core context on `window` (made with SDL_WINDOW_OPENGL).
// A size below 1 takes the window's drawable size (desktop size full screen).
bool init_d3d(SDL_Window* window, int width, int height);
bool resize_d3d(int width, int height, bool fullscreen, bool force);
bool check_d3d_device(); // always true: GL has no lost device
bool render_d3d_frame(float dt);
void present_d3d();
bool begin_d3d_scene();
void end_d3d_scene();
void close_d3d();
bool d3d_ready();
void get_d3d_modes(DynArray<D3dMode>& modes);
unsigned get_free_texmem(); // bytes; 0 when the driver cannot tell
void flush_gpu();

// {===== Transforms, viewport, clears

void set_viewport(int x, int y, int w, int h); // y counts from the top
void set_view_tm(const Matrix44& tm);
void set_proj_tm(const Matrix44& tm);
void set_proj_tm(float fov, float aspect, float znear, float zfar);
void get_glob_tm(Matrix44& out);
const Matrix44& get_view_tm();
const Matrix44& get_proj_tm();
void clear_view(D3dColor color);
void clear_view_color(D3dColor color);
void clear_view_z();
void set_frustum_planes(const Matrix44& camera, const Matrix44& projection);
void set_ortho_planes(const Matrix44& global);

// {===== Render states (no caching; every call reaches GL)

void set_blend_none();
void set_blend_additive();
void set_blend_smooth_add();
void set_blend_alpha();
void set_blend_prealpha();
void set_blend_multiply();
void set_blend_min();
void set_blend_max();
void set_atest(int ref);
void set_cull_mode(int m); // 0 none, > 0 cull counter-clockwise, < 0 clockwise
void set_zenable(bool on);
void set_zwrite(bool on);
void set_color_write_mask(int mask); // bit 0 red, 1 green, 2 blue, 3 alpha
void set_wireframe(bool on);
void set_stencil_test(int mask, int ref, int func);
void set_stencil_replace_bits(int bits);
void set_tex_filter(int stage, bool linear);
// Linear filtering that blends two mip levels, or with `blend_levels` false
// is bilinear in the nearest level: half the reads, for fine grain far away.
// (An overload, so that modules built against the two-argument form still bind.)
void set_tex_filter(int stage, bool linear, bool blend_levels);
void set_tex_address(int stage, int u, int v = -1, int w = -1); // 0 wrap, 2 border, else clamp

// Shader constants (the shader module's interface, kept here because the
// register files are device state): CPU copies uploaded before the next draw.
void set_vs_consts(int first, const float* data, int count4);
void set_ps_consts(int first, const float* data, int count4);

// {===== Textures

Texture* create_texture(int width, int height, int levels, int usage, int format, int pool);
Texture* create_dynamic_texture(int width, int height, int format_code);
Texture* create_managed_texture(int width, int height);
Texture* create_render_texture(int width, int height, int format_code);
Texture* create_screen_render_texture();
// A GL texture made elsewhere (the texture loader) in a managed slot; the
// slot owns it from now on.
Texture* register_texture(unsigned gl_texture);
void release_texture(Texture* tex);
uint8_t* lock_texture(Texture* tex, int& pitch, bool discard);
void unlock_texture(Texture* tex);
// Fills one mip level from a CPU image in Direct3D layout (rows top first;
// DXT blocks in rows of 4x4 pixels), tightly packed.
bool upload_texture_level(Texture* tex, int level, const void* data);
void set_texture(int stage, Texture* tex);
void set_render_target(Texture* tex, int index, bool with_scene_depth);
void set_back_buffer_target();
void copy_texture(Texture* from, Texture* to);
bool copy_back_buffer(Texture* tex);
bool can_render_to_format(int format_code);
// Asks the next present_d3d to keep a copy of the frame it shows and then to
// call `on_captured` (may be null). Presents without a request copy nothing.
void request_front_buffer_capture(void (*on_captured)());
bool front_buffer_capture_requested();
// The last presented frame's pixels (B, G, R, A, rows top first); null when
// that present had no capture request, or on failure. The memory stays until
// the next capture or release.
uint8_t* capture_front_buffer(int& width, int& height, int& pitch);
void release_front_buffer_capture();
// Reads the current render target back in Direct3D layout (rows top first,
// B, G, R, A) into `out` (w x h x 4 bytes): screenshots and tests.
bool read_render_target(int x, int y, int w, int h, uint8_t* out);

// {===== GL error checks
// With RUNEHOLM_GL_DEBUG=1 in the environment (the graphics tests set it) the
// context is a debug context: every GL error that the device does not check
// and report itself is logged as "GL ERROR: ...", counted, and passed to
// `gl_error_hook` when set (the tests turn it into a failure).

int gl_debug_error_count();
extern void (*gl_error_hook)(const char* message);

// {===== Buffers

VertexBuffer* create_vb(int size_bytes, int flags);
IndexBuffer* create_ib(int index_count, int flags);
void* lock_vb(VertexBuffer* vb, int offset, int size); // size 0: to the end
void unlock_vb(VertexBuffer* vb);
void* lock_ib(IndexBuffer* ib, int offset, int size);
void unlock_ib(IndexBuffer* ib);
void release_vb(VertexBuffer* vb);
void release_ib(IndexBuffer* ib);
void set_vb(int stream, VertexBuffer* vb, int offset, int stride);
void set_ib(IndexBuffer* ib);

// {===== Vertex declarations, programs, draws

VertexDecl* get_vdecl(const VertexElement* elements);
void set_vdecl(VertexDecl* decl);
void set_instancing(int n);
void draw_indexed(int type, int base_vertex, int min_index, int num_vertices, int start_index,
                  int prim_count);
void draw_prim(int type, int start_vertex, int prim_count);
void draw_postfx();

// Program binding for the shader module: `program` (a linked GL program using
// the interface above, or 0) is used by the following draws. The first use
// of a program binds its uniform blocks and samplers and reads its vertex
// inputs. Call device_forget_program before deleting a program.
void device_use_program(unsigned program);
void device_forget_program(unsigned program);
extern const char* const device_glsl_header;
