// The dynamic vertex-buffer ring and the common writer.
#include "render/dynVBWriter.h"

#include "core/log.h"

DynVBWriter common_vb_writer;

void DynVBWriter::init(int bytes, int n) {
  close();
  for (int i = 0; i < n; i++) {
    VertexBuffer* vb = create_vb(bytes, 0);
    if (!vb) fatal("can't create dynamic VB of size %d", bytes);
    vbufs.push(vb);
  }
  size = bytes;
  index = 0;
  cur = startPtr = nullptr;
  count = 0;
  renderFunc = nullptr;
}

void DynVBWriter::close() {
  ASSERT(!startPtr);
  for (VertexBuffer* vb : vbufs) release_vb(vb);
  vbufs.clear();
  size = 0;
  index = 0;
}

void DynVBWriter::begin(DynVBRenderFunc func, int a, int s, int st) {
  ASSERT(!startPtr);
  ASSERT(!vbufs.empty());
  startPtr = (uint8_t*)lock_vb(vbufs[index], 0, 0);
  ASSERT(startPtr);
  cur = startPtr;
  count = 0;
  renderFunc = func;
  arg = a;
  stream = s;
  stride = st;
}

void DynVBWriter::flush(bool final) {
  if (!((count > 0 && !final) || (final && startPtr))) return;
  ASSERT(startPtr && renderFunc);
  unlock_vb(vbufs[index]);
  cur = startPtr = nullptr;
  if (count > 0) {
    set_vb(stream, vbufs[index], 0, stride);
    renderFunc(count, arg);
    index = index + 1 < vbufs.num ? index + 1 : 0;
  }
  count = 0;
  if (final) {
    renderFunc = nullptr;
  } else {
    startPtr = (uint8_t*)lock_vb(vbufs[index], 0, 0);
    ASSERT(startPtr);
    cur = startPtr;
  }
}

void init_common_vb_writer() { common_vb_writer.init(COMMON_VB_SIZE, COMMON_VB_COUNT); }

void close_common_vb_writer() {
  if (common_vb_writer.startPtr) common_vb_writer.flush(true);
  common_vb_writer.close();
}

void dynvb_draw_prim(int count, int arg) { draw_prim(arg, 0, count); }

// `count` is the number of instances written; `arg` packs the mesh as
// (vertex count << 16) + triangle count.
void dynvb_draw_instanced(int count, int arg) {
  set_instancing(count);
  draw_indexed(D3DPT_TRIANGLELIST, 0, 0, arg >> 16, 0, arg & 0xFFFF);
}
