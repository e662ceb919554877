// DynVBWriter: a ring of dynamic vertex buffers that callers fill through a
// write pointer and that is drawn and refilled whenever it runs full.
// Every buffer is locked with discard, so a refill gets fresh storage while
// earlier draws may still read the previous contents.
//
// Life: idle (nothing locked) -> begin() locks -> flush(false) draws and
// relocks the next buffer -> flush(true) draws and goes idle.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "render/device.h"

// Draws `count` primitives written since the last draw; `arg` is the value
// given to begin (a primitive type, or an instancing count).
typedef void (*DynVBRenderFunc)(int count, int arg);

struct DynVBWriter {
  uint8_t* cur = nullptr;      // write pointer into the locked buffer
  int count = 0;               // primitives written since the last draw
  uint8_t* startPtr = nullptr; // start of the locked buffer, null when idle
  DynArray<VertexBuffer*> vbufs;
  int size = 0; // bytes per buffer
  DynVBRenderFunc renderFunc = nullptr;
  int arg = 0;
  int stream = 0, stride = 0;
  int index = 0; // current buffer of the ring

  // Closes, then creates n dynamic buffers of `size` bytes (failure fatal:
  // "can't create dynamic VB of size %d").
  void init(int size, int n);
  void close();
  void begin(DynVBRenderFunc func, int arg, int stream, int stride);
  void flush(bool final);

  int bytesLeft() const { return startPtr ? (int)(startPtr + size - cur) : 0; }
  // Room for `bytes` more: flushes (draws and relocks) when they don't fit.
  void reserve(int bytes) {
    if (cur + bytes > startPtr + size) flush(false);
  }
};

// The writer shared by every batch and the bitmap font: 4 x 65,536 bytes.
extern DynVBWriter common_vb_writer;
constexpr int COMMON_VB_SIZE = 65536;
constexpr int COMMON_VB_COUNT = 4;
void init_common_vb_writer();
void close_common_vb_writer();

// Render functions: triangle lists (draw_prim(arg, 0, count)), and instanced
// meshes (set_instancing(count instances), then arg >> 16 vertices and
// arg & 0xFFFF triangles from the bound index buffer).
void dynvb_draw_prim(int count, int arg);
void dynvb_draw_instanced(int count, int arg);
