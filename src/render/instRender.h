// Instance renderers: one mesh with its shaders and texture, drawing every
// instance queued for it in a frame with hardware instancing (the mesh on
// stream 0, per-instance data on stream 1 streamed through the common vertex
// writer, one draw call per writer buffer).
//
// Four kinds differ in their instance data (layouts below; docs/meshes.md
// says what the shaders make of each field). The game-object module fills a
// renderer's queue with `addInstances` during its render callbacks; the
// frame renderer draws them with `managed_inst_render` (or `render` for one
// renderer), in the shadow passes with `InstRender::renderShadow` set.
//
// Queue storage is a chain of blocks taken from one free list shared by all
// renderers and returned to it after drawing, so a steady frame allocates
// nothing.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "render/device.h"
#include "render/mesh.h"
#include "render/shader.h"

// {===== Instance data (stream 1)

// Rows of the object's 3 x 3 transform (x, y and z axes with their scale),
// its position and a tint (rgb multiplies the texture; a unused).
struct SimpleInstance {
  float axisX[3], axisY[3], axisZ[3]; // POSITION11, 12, 13
  float pos[3];                       // POSITION10
  D3dColor color;                     // COLOR10
};
// A Simple instance plus the weights of the mesh's two morph targets in r
// and g (0..255 = 0..1).
struct MorphInstance {
  SimpleInstance base;
  D3dColor morph; // POSITION15
};
// A cubic Hermite segment from p0 to p1 with tangents t0, t1 (w: the
// cross-section scale at each end), the up direction at each end (rgb =
// direction x 0.5 + 0.5) and a tint at each end.
struct SplineInstance {
  float p0[3], p1[3];     // POSITION10, 11
  float t0[4], t1[4];     // POSITION12, 13
  D3dColor up0, up1;      // NORMAL10, 11
  D3dColor color0, color1; // COLOR10, 11
};
// A building piece in world cell (x, z): y = base height, turns = quarter
// turns about the cell centre (0..3), height scale, and a tint.
struct BuildingInstance {
  int16_t x, z;       // POSITION10
  float y, turns, heightScale, reserved; // POSITION11
  D3dColor color;     // POSITION12
};
static_assert(sizeof(SimpleInstance) == 52 && sizeof(MorphInstance) == 56);
static_assert(sizeof(SplineInstance) == 72 && sizeof(BuildingInstance) == 24);

// {===== Renderers

// One block of queued instance bytes.
struct InstBlock {
  uint8_t* data;
  int bytes;    // filled
  InstBlock* next;
  int capacity; // bytes of storage after the header
};

class InstRender {
public:
  InstBlock* first = nullptr; // the queue, oldest block first
  InstBlock* last = nullptr;
  Mesh* mesh = nullptr;
  Shader* shader = nullptr;
  Shader* shadowShader = nullptr;
  VertexDecl* vdecl = nullptr; // mesh elements + instance elements + end
  Texture* texture = nullptr;

  // Selects the shadow shaders (set by the shadow passes).
  static bool renderShadow;

  virtual ~InstRender();
  virtual const VertexElement* instElements(int& count) const = 0;
  virtual int instStride() const = 0;

  // The mesh of `mesh_file` (a path relative to the data folder, with its
  // extension; fatal when it can't be read), or a mesh whose reference the
  // renderer takes over. Shader "dr_<shader>" at high quality, else
  // "<shader>"; the shadow shader is the same file with SHADOW defined.
  void init(const char* mesh_file);
  void init(Mesh* m);
  // Releases texture, shaders and mesh and drops the queue; a second call
  // does nothing.
  void close();

  // Room for `n` instances (instStride() bytes each) at the end of the
  // queue, to be filled before the next draw. Null for n < 1.
  void* addInstances(int n);
  int queuedInstances() const;
  void clearQueue();
  // Draws the queued instances and empties the queue.
  void render();
};

struct SimpleInstRender : InstRender {
  const VertexElement* instElements(int& count) const override;
  int instStride() const override { return 52; }
};
struct MorphInstRender : InstRender {
  const VertexElement* instElements(int& count) const override;
  int instStride() const override { return 56; }
};
struct SplineInstRender : InstRender {
  const VertexElement* instElements(int& count) const override;
  int instStride() const override { return 72; }
};
struct BuildingInstRender : InstRender {
  const VertexElement* instElements(int& count) const override;
  int instStride() const override { return 24; }
};

// The renderer of mesh "<mesh>.r3d", created on first use and shared (the
// mesh keeps one reference). Null for a null or empty name. Fatal: a mesh
// that can't be read, "Expected class '%s' for '%s', got '%s'" when the
// file's class is not `cls`, "Unknown instance renderer class '%s' in '%s'".
InstRender* get_inst_renderer(const char* mesh, const char* cls);
// Forgets the bindings cached across renderers (call once per pass).
void start_inst_render();
void end_inst_render(); // instancing off
// render() for every renderer made by get_inst_renderer, in creation order.
void managed_inst_render();
void init_inst_render_internals();
// Closes every managed renderer and the exported ones, frees the meshes and
// the queue blocks. Call after the module's own close, before the device closes.
void close_inst_render_internals();
int managed_inst_renderer_count();

// Counts since the last start_inst_render (tests and the statistics).
struct InstRenderStats {
  int draws, instances, binds;
  int drawSizes[16]; // instances of the first 16 draws
  double drawCpuMs;  // this thread's CPU time inside the draw calls (the driver's share)
};
extern InstRenderStats inst_render_stats;

// {===== The exported renderers, initialised by the game-object module

extern SimpleInstRender tree1_inst, tree1f_inst, tree1flod_inst, stone1_inst, stone_cup1_inst, menhir1_inst,
    menhir2_inst, humanoid_inst, gatherer_eye_inst, ctrplr_head_inst, ctrplr_tail_inst, wyvern_head_inst,
    wyvern_tail_inst;
extern MorphInstRender gatherer_body_inst;
extern SplineInstRender ctrplr_body01_inst, ctrplr_body02_inst, ctrplr_body03_inst, ctrplr_body04_inst,
    wyvern_body_inst;
extern BuildingInstRender castle_wall1_inst, castle_wall2_inst, castle_wall3_inst, castle_wall4_inst,
    castle_corner1_inst, castle_corner2_inst, castle_slant1_inst, castle_slant2_inst, castle_slant3_inst,
    castle_slant4_inst, castle_walk_inst, merlon_wall1_inst, merlon_wall2_inst, merlon_corner_inst,
    merlon_top_inst, roof_corner_inst, tower_corner_inst, tower_wall1_inst, tower_wall2_inst;

// Every exported renderer with its mesh name, in the order above (38).
struct NamedInstRender {
  const char* mesh;
  InstRender* renderer;
};
extern const NamedInstRender exported_inst_renderers[38];

// {===== Walking the world grid

struct IWalkMapGrid {
  virtual void on_map_grid_walk(float x, float z, float size) = 0;
};

// Visits the 256 x 256 world in squares of side 2^level cells, rows of z
// outside, x inside: levels above 8 count as 8; a negative level visits
// squares of 1 / 2^-level cells.
void walk_map_grid(int level, IWalkMapGrid& walker);

// Receives the points GenMapCellPoints scatters.
struct IMapPointSink {
  virtual void on_map_point(float x, float z) = 0;
};

// Scatters `count` points, uniform in each visited square, from the game's
// random generator (two draws per point, both before the call).
struct GenMapCellPoints : IWalkMapGrid {
  IMapPointSink* target = nullptr;
  int count = 0;
  void on_map_grid_walk(float x, float z, float size) override;
};
