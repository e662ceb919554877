// The vertex and index buffer pools. Static buffers (flags bit 0) keep their
// contents for the device's life; dynamic ones are "default pool" objects:
// a resize recreates them empty at the same pool entry and owners refill
// them. Buffers are filled through GL_COPY_WRITE_BUFFER so that the vertex
// array's element-buffer binding is never disturbed.
#include "core/log.h"
#include "render/device_local.h"

static VertexBuffer vb_pool[MAX_BUFFERS];
static IndexBuffer ib_pool[MAX_BUFFERS];

static GLenum gl_buffer_create(unsigned& name, int size, int flags) {
  GlErrorsChecked checked;
  while (glGetError() != GL_NO_ERROR) {
  }
  glGenBuffers(1, &name);
  glBindBuffer(GL_COPY_WRITE_BUFFER, name);
  glBufferData(GL_COPY_WRITE_BUFFER, size, nullptr, (flags & 1) ? GL_STATIC_DRAW : GL_STREAM_DRAW);
  glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
  GLenum err = glGetError();
  if (err != GL_NO_ERROR) {
    glDeleteBuffers(1, &name);
    name = 0;
  }
  return err;
}

static void* gl_buffer_lock(unsigned name, int total, int flags, int offset, int size) {
  if (!name || offset < 0 || offset >= total) return nullptr;
  if (size <= 0 || offset + size > total) size = total - offset;
  GLbitfield access = GL_MAP_WRITE_BIT;
  access |= (flags & 1) ? GL_MAP_INVALIDATE_RANGE_BIT : GL_MAP_INVALIDATE_BUFFER_BIT;
  glBindBuffer(GL_COPY_WRITE_BUFFER, name);
  void* p = glMapBufferRange(GL_COPY_WRITE_BUFFER, offset, size, access);
  glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
  return p;
}

static void gl_buffer_unlock(unsigned name) {
  if (!name) return;
  glBindBuffer(GL_COPY_WRITE_BUFFER, name);
  glUnmapBuffer(GL_COPY_WRITE_BUFFER);
  glBindBuffer(GL_COPY_WRITE_BUFFER, 0);
}

// {===== Vertex buffers

VertexBuffer* create_vb(int size_bytes, int flags) {
  bool d3d = dev.context != nullptr;
  ASSERT(d3d);
  VertexBuffer* vb = nullptr;
  for (VertexBuffer& e : vb_pool)
    if (!e.used) {
      vb = &e;
      break;
    }
  if (!vb) {
    debug("reached MAX_BUFFERS for VB");
    return nullptr;
  }
  *vb = VertexBuffer{};
  GLenum err = gl_buffer_create(vb->buffer, size_bytes, flags);
  if (err != GL_NO_ERROR) {
    debug("error creating VB (code 0x%08X)", err);
    return nullptr;
  }
  vb->size = size_bytes;
  vb->flags = flags;
  vb->used = true;
  return vb;
}

void* lock_vb(VertexBuffer* vb, int offset, int size) {
  return vb ? gl_buffer_lock(vb->buffer, vb->size, vb->flags, offset, size) : nullptr;
}

void unlock_vb(VertexBuffer* vb) {
  if (vb) gl_buffer_unlock(vb->buffer);
}

void release_vb(VertexBuffer* vb) {
  if (!vb) return;
  for (StreamBinding& s : dev.streams)
    if (s.vb == vb) {
      s = StreamBinding{};
      dev.attribs_dirty = true;
    }
  if (vb->buffer) glDeleteBuffers(1, &vb->buffer);
  *vb = VertexBuffer{};
}

void set_vb(int stream, VertexBuffer* vb, int offset, int stride) {
  if (stream < 0 || stream >= MAX_STREAMS) return;
  dev.streams[stream] = StreamBinding{vb, offset, stride};
  dev.attribs_dirty = true;
}

// {===== Index buffers

IndexBuffer* create_ib(int index_count, int flags) {
  bool d3d = dev.context != nullptr;
  ASSERT(d3d);
  IndexBuffer* ib = nullptr;
  for (IndexBuffer& e : ib_pool)
    if (!e.used) {
      ib = &e;
      break;
    }
  if (!ib) {
    debug("reached MAX_BUFFERS for IB");
    return nullptr;
  }
  *ib = IndexBuffer{};
  GLenum err = gl_buffer_create(ib->buffer, index_count * 2, flags);
  if (err != GL_NO_ERROR) {
    debug("error creating IB (code 0x%08X)", err);
    return nullptr;
  }
  ib->size = index_count * 2;
  ib->flags = flags;
  ib->used = true;
  return ib;
}

void* lock_ib(IndexBuffer* ib, int offset, int size) {
  return ib ? gl_buffer_lock(ib->buffer, ib->size, ib->flags, offset, size) : nullptr;
}

void unlock_ib(IndexBuffer* ib) {
  if (ib) gl_buffer_unlock(ib->buffer);
}

void release_ib(IndexBuffer* ib) {
  if (!ib) return;
  if (dev.ib == ib) dev.ib = nullptr;
  if (ib->buffer) glDeleteBuffers(1, &ib->buffer);
  *ib = IndexBuffer{};
}

void set_ib(IndexBuffer* ib) { dev.ib = ib; }

// {===== Resize and close

void buffers_release_dynamic() {
  for (VertexBuffer& e : vb_pool)
    if (e.used && !(e.flags & 1) && e.buffer) glDeleteBuffers(1, &e.buffer), e.buffer = 0;
  for (IndexBuffer& e : ib_pool)
    if (e.used && !(e.flags & 1) && e.buffer) glDeleteBuffers(1, &e.buffer), e.buffer = 0;
}

void buffers_recreate_dynamic() {
  for (VertexBuffer& e : vb_pool)
    if (e.used && !(e.flags & 1)) {
      GLenum err = gl_buffer_create(e.buffer, e.size, e.flags);
      if (err != GL_NO_ERROR) debug("error creating VB (code 0x%08X)", err);
    }
  for (IndexBuffer& e : ib_pool)
    if (e.used && !(e.flags & 1)) {
      GLenum err = gl_buffer_create(e.buffer, e.size, e.flags);
      if (err != GL_NO_ERROR) debug("error creating IB (code 0x%08X)", err);
    }
}

void buffers_release_all() {
  for (VertexBuffer& e : vb_pool)
    if (e.used) release_vb(&e);
  for (IndexBuffer& e : ib_pool)
    if (e.used) release_ib(&e);
}
