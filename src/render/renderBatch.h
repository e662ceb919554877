// Render batches: screen-space geometry collected during a frame as groups
// of vertex blocks, each group with one render state, drawn in order through
// the common vertex writer.
//
// Grouping rule: a new block joins the nearest earlier group with the same
// state (compared by pointer) unless a block of a group drawn between them
// overlaps it; so state changes are few and painter's order holds wherever
// blocks overlap. Block storage comes from an arena that `clear` rewinds, so
// a frame that repeats the previous one allocates nothing.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "render/device.h"
#include "render/dynVBWriter.h"
#include "render/shader.h"

struct BatchRect {
  float x0, y0, x1, y1;
};

// {===== Arena

struct AccumChunk {
  AccumChunk* next;
  uint8_t* ptr; // fill pointer
  uint8_t* end;
  // storage follows the header
};

// Chunks newest first; first fit over all chunks; memory is freed only by
// freeAll (the destructor of the batch).
struct AccumAlloc {
  AccumChunk* head = nullptr;
  unsigned chunkSize;

  explicit AccumAlloc(unsigned chunk_size) : chunkSize(chunk_size) {}
  ~AccumAlloc() { freeAll(); }
  AccumAlloc(const AccumAlloc&) = delete;
  AccumAlloc& operator=(const AccumAlloc&) = delete;

  void* alloc(int size, int align_shift);
  void rewind();
  void freeAll();
  int chunkCount() const;
};

// {===== States

struct BaseRenderBatchState {
  Shader* shader = nullptr;
  VertexDecl* vdecl = nullptr;
  int stride = 0;
  Texture* texture = nullptr;

  BaseRenderBatchState() = default;
  BaseRenderBatchState(Shader* s, VertexDecl* d, int st, Texture* t)
      : shader(s), vdecl(d), stride(st), texture(t) {}
  virtual ~BaseRenderBatchState() = default;
  virtual void clear(); // shader, declaration and texture to null; stride kept
  // Binds shader, declaration and stage-0 texture, each only when `prev` is
  // null or differs in it.
  virtual void begin(BaseRenderBatchState* prev);
  virtual void end() {}
};

// Triangle lists through the common writer.
struct StdRenderBatchState : BaseRenderBatchState {
  StdRenderBatchState() = default;
  StdRenderBatchState(Shader* s, VertexDecl* d, int st, Texture* t)
      : BaseRenderBatchState(s, d, st, t) {}
  void begin(BaseRenderBatchState* prev) override;
  void end() override;
};

// {===== Batch

struct RenderBatchBlock {
  BatchRect rect;
  int size;  // bytes of vertex data
  int count; // primitives
  RenderBatchBlock* next;
  uint8_t* data() { return (uint8_t*)(this + 1); }
};
static_assert(sizeof(RenderBatchBlock) == 32, "the block header is 32 bytes");

struct RenderBatchGroup {
  BatchRect bounds; // union of the blocks' rectangles
  BaseRenderBatchState* state;
  RenderBatchBlock* first;
  RenderBatchBlock* last;
};

class RenderBatch {
public:
  AccumAlloc arena;
  DynArray<RenderBatchGroup> groups; // drawing order

  RenderBatch() : RenderBatch(0x8000) {}
  explicit RenderBatch(unsigned chunk_size) : arena(chunk_size) {}
  ~RenderBatch() = default;
  RenderBatch(const RenderBatch&) = delete;
  RenderBatch& operator=(const RenderBatch&) = delete;

  // Storage for `size` bytes of vertex data, to be filled at once.
  void* add(BaseRenderBatchState* state, const BatchRect& rect, int size, int prim_count);
  void render();
  void clear();
};

// Overlap as the grouping rule sees it: touching on the right/bottom edge of
// `r` does not count.
inline bool batch_rects_overlap(const BatchRect& r, const BatchRect& g) {
  return r.x0 <= g.x1 && r.y0 <= g.y1 && r.x1 > g.x0 && r.y1 > g.y0;
}

// {===== UI images

// The image shader "uiImage.sh" and its vertex (x, y floats, colour, u, v
// floats: 20 bytes).
void init_ui_image_render();
void close_ui_image_render();
// Fills `state` with `shader` (the image shader when null), the image
// declaration, stride 20 and `tex`.
void init_ui_image_state(StdRenderBatchState& state, Texture* tex, Shader* shader);
