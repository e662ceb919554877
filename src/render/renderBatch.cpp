// Render batches, their arena and the standard batch state.
#include "render/renderBatch.h"

#include <cstdlib>
#include <cstring>

#include "core/log.h"

// {===== Arena

void* AccumAlloc::alloc(int size, int align_shift) {
  uintptr_t mask = ((uintptr_t)1 << align_shift) - 1;
  for (AccumChunk* c = head; c; c = c->next) {
    uint8_t* p = (uint8_t*)(((uintptr_t)c->ptr + mask) & ~mask);
    if (p + size <= c->end) {
      c->ptr = p + size;
      return p;
    }
  }
  size_t storage = (size_t)(mask + 1) + (size_t)size + 11;
  if (storage < chunkSize) storage = chunkSize;
  AccumChunk* c = (AccumChunk*)malloc(sizeof(AccumChunk) + storage);
  ASSERT(c);
  c->next = head;
  c->ptr = (uint8_t*)(c + 1);
  c->end = c->ptr + storage;
  head = c;
  uint8_t* ptr = (uint8_t*)(((uintptr_t)c->ptr + mask) & ~mask);
  ASSERT(ptr + size <= c->end);
  c->ptr = ptr + size;
  return ptr;
}

void AccumAlloc::rewind() {
  for (AccumChunk* c = head; c; c = c->next) c->ptr = (uint8_t*)(c + 1);
}

void AccumAlloc::freeAll() {
  while (head) {
    AccumChunk* n = head->next;
    free(head);
    head = n;
  }
}

int AccumAlloc::chunkCount() const {
  int n = 0;
  for (AccumChunk* c = head; c; c = c->next) n++;
  return n;
}

// {===== States

void BaseRenderBatchState::clear() {
  shader = nullptr;
  vdecl = nullptr;
  texture = nullptr;
}

void BaseRenderBatchState::begin(BaseRenderBatchState* prev) {
  if (!prev || prev->shader != shader) set_shader(shader);
  if (!prev || prev->vdecl != vdecl) set_vdecl(vdecl);
  if (!prev || prev->texture != texture) set_texture(0, texture);
}

void StdRenderBatchState::begin(BaseRenderBatchState* prev) {
  BaseRenderBatchState::begin(prev);
  common_vb_writer.begin(dynvb_draw_prim, D3DPT_TRIANGLELIST, 0, stride);
}

void StdRenderBatchState::end() { common_vb_writer.flush(true); }

// {===== Batch

void* RenderBatch::add(BaseRenderBatchState* state, const BatchRect& rect, int size, int prim_count) {
  RenderBatchBlock* ne = (RenderBatchBlock*)arena.alloc(size + (int)sizeof(RenderBatchBlock), 3);
  ASSERT(ne);
  ne->rect = rect;
  ne->size = size;
  ne->count = prim_count;
  ne->next = nullptr;
  for (int i = groups.num - 1; i >= 0; i--) {
    RenderBatchGroup& g = groups[i];
    if (g.state == state) {
      if (rect.x0 < g.bounds.x0) g.bounds.x0 = rect.x0;
      if (rect.y0 < g.bounds.y0) g.bounds.y0 = rect.y0;
      if (rect.x1 > g.bounds.x1) g.bounds.x1 = rect.x1;
      if (rect.y1 > g.bounds.y1) g.bounds.y1 = rect.y1;
      g.last->next = ne;
      g.last = ne;
      return ne->data();
    }
    if (batch_rects_overlap(rect, g.bounds)) {
      bool blocked = false;
      for (RenderBatchBlock* b = g.first; b && !blocked; b = b->next)
        blocked = batch_rects_overlap(rect, b->rect);
      if (blocked) break;
    }
  }
  groups.push(RenderBatchGroup{rect, state, ne, ne});
  return ne->data();
}

void RenderBatch::render() {
  DynVBWriter& w = common_vb_writer;
  BaseRenderBatchState* prev = nullptr;
  for (const RenderBatchGroup& g : groups) {
    g.state->begin(prev);
    for (RenderBatchBlock* b = g.first; b; b = b->next) {
      ASSERT(w.startPtr && "the batch state must begin the common writer");
      if (w.cur + b->size > w.startPtr + w.size) {
        w.flush(false);
        if (w.cur + b->size > w.startPtr + w.size) fatal("batch vertex buffer is not large enough");
      }
      memcpy(w.cur, b->data(), (size_t)b->size);
      w.cur += b->size;
      w.count += b->count;
    }
    g.state->end();
    prev = g.state;
  }
}

void RenderBatch::clear() {
  groups.resize(0);
  arena.rewind();
}
