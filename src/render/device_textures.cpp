// The texture pool, Direct3D formats on GL, locking, render targets with the
// per-attachment-set framebuffer cache, copies and read-back.
//
// Invariant: GL level 0 row 0 of every texture is the top row of the picture,
// as in Direct3D. CPU images are uploaded rows top first unchanged, and
// texture targets are drawn upside down (see device.h), so images, targets
// and copies between textures all share that layout; only the back buffer
// (GL's bottom-up default framebuffer) is flipped when read.
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "render/device_local.h"

Texture texture_pool[MAX_TEXTURES];

// {===== Formats

int texture_format_from_code(int code) {
  static const int formats[12] = {D3DFMT_UNKNOWN,  D3DFMT_A8R8G8B8, D3DFMT_A4R4G4B4,
                                  D3DFMT_A1R5G5B5, D3DFMT_R5G6B5,   D3DFMT_G16R16,
                                  D3DFMT_R16F,     D3DFMT_G16R16F,  D3DFMT_A16B16G16R16F,
                                  D3DFMT_R32F,     D3DFMT_G32R32F,  D3DFMT_A32B32G32R32F};
  return code >= 1 && code <= 11 ? formats[code] : D3DFMT_UNKNOWN;
}

// Channels Direct3D fills in for formats without them: (r, 1, 1, 1) for
// one-channel, (r, g, 1, 1) for two-channel formats.
bool gl_format_of(int f, GlFormat& o) {
  o = GlFormat{};
  switch (f) {
  case D3DFMT_A8R8G8B8: o = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, 0, {}}; break;
  case D3DFMT_X8R8G8B8:
    o = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, 0, {GL_RED, GL_GREEN, GL_BLUE, GL_ONE}};
    break;
  case D3DFMT_R5G6B5: o = {GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, 0, {}}; break;
  case D3DFMT_A1R5G5B5: o = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 0, {}}; break;
  case D3DFMT_A4R4G4B4: o = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, 0, {}}; break;
  case D3DFMT_A8:
    o = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, 0, {GL_ZERO, GL_ZERO, GL_ZERO, GL_RED}};
    break;
  case D3DFMT_L8:
    o = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, 0, {GL_RED, GL_RED, GL_RED, GL_ONE}};
    break;
  case D3DFMT_A8L8:
    o = {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, 2, 0, {GL_RED, GL_RED, GL_RED, GL_GREEN}};
    break;
  case D3DFMT_G16R16:
    o = {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, 4, 0, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
    break;
  case D3DFMT_R16F:
    o = {GL_R16F, GL_RED, GL_HALF_FLOAT, 2, 0, {GL_RED, GL_ONE, GL_ONE, GL_ONE}};
    break;
  case D3DFMT_G16R16F:
    o = {GL_RG16F, GL_RG, GL_HALF_FLOAT, 4, 0, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
    break;
  case D3DFMT_A16B16G16R16F: o = {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, 8, 0, {}}; break;
  case D3DFMT_R32F:
    o = {GL_R32F, GL_RED, GL_FLOAT, 4, 0, {GL_RED, GL_ONE, GL_ONE, GL_ONE}};
    break;
  case D3DFMT_G32R32F:
    o = {GL_RG32F, GL_RG, GL_FLOAT, 8, 0, {GL_RED, GL_GREEN, GL_ONE, GL_ONE}};
    break;
  case D3DFMT_A32B32G32R32F: o = {GL_RGBA32F, GL_RGBA, GL_FLOAT, 16, 0, {}}; break;
  case D3DFMT_DXT1: o = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 0, 8, {}}; break;
  case D3DFMT_DXT3: o = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 0, 16, {}}; break;
  case D3DFMT_DXT5: o = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 0, 16, {}}; break;
  default: return false;
  }
  return true;
}

static int level_dim(int size, int level) {
  int s = size >> level;
  return s < 1 ? 1 : s;
}

// Bytes of one row (of pixels, or of 4x4 blocks) and the number of rows.
static void level_layout(const GlFormat& g, int w, int h, int& pitch, int& rows) {
  if (g.block_bytes) {
    pitch = ((w + 3) / 4) * g.block_bytes;
    rows = (h + 3) / 4;
  } else {
    pitch = w * g.bytes_per_pixel;
    rows = h;
  }
}

static void level_upload(const GlFormat& g, int level, int w, int h, const void* data, bool sub) {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (g.block_bytes) {
    int pitch, rows;
    level_layout(g, w, h, pitch, rows);
    if (sub)
      glCompressedTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, g.internal, pitch * rows, data);
    else
      glCompressedTexImage2D(GL_TEXTURE_2D, level, g.internal, w, h, 0, pitch * rows, data);
  } else if (sub) {
    glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, g.format, g.type, data);
  } else {
    glTexImage2D(GL_TEXTURE_2D, level, g.internal, w, h, 0, g.format, g.type, data);
  }
}

// {===== Pool

unsigned texture_gl_create(Texture* t) {
  GlFormat g;
  if (!gl_format_of(t->format, g)) return GL_INVALID_ENUM;
  t->cur_wd = t->width == 0 && t->height == 0 ? d3d_wd : t->width;
  t->cur_ht = t->width == 0 && t->height == 0 ? d3d_ht : t->height;
  int levels = t->levels < 1 ? 1 : t->levels;
  GlErrorsChecked checked;
  while (glGetError() != GL_NO_ERROR) {
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glActiveTexture(GL_TEXTURE0 + MAX_STAGES); // a unit no stage uses
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, levels - 1);
  if (g.swizzle[0]) glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, g.swizzle);
  // Compressed levels need data of their size; zeros are as good as any.
  void* zeros = nullptr;
  if (g.block_bytes) {
    int pitch, rows;
    level_layout(g, t->cur_wd, t->cur_ht, pitch, rows);
    zeros = calloc(1, (size_t)pitch * rows);
  }
  for (int l = 0; l < levels; l++)
    level_upload(g, l, level_dim(t->cur_wd, l), level_dim(t->cur_ht, l), zeros, false);
  free(zeros);
  glBindTexture(GL_TEXTURE_2D, 0);
  glActiveTexture(GL_TEXTURE0);
  GLenum err = glGetError();
  if (err != GL_NO_ERROR) {
    glDeleteTextures(1, &name);
    t->texture = 0;
    return err;
  }
  t->texture = name;
  return GL_NO_ERROR;
}

static Texture* texture_alloc() {
  for (Texture& t : texture_pool)
    if (!t.used) return &t;
  debug("reached MAX_TEXTURES");
  return nullptr;
}

Texture* create_texture(int width, int height, int levels, int usage, int format, int pool) {
  ASSERT(dev.context);
  Texture* t = texture_alloc();
  if (!t) return nullptr;
  *t = Texture{};
  t->width = width;
  t->height = height;
  t->levels = levels;
  t->usage = usage;
  t->format = format;
  t->pool = pool;
  if (unsigned err = texture_gl_create(t)) {
    debug("error creating texture (code 0x%08X)", err);
    *t = Texture{};
    return nullptr;
  }
  t->used = true;
  return t;
}

Texture* create_dynamic_texture(int width, int height, int format_code) {
  return create_texture(width, height, 1, D3DUSAGE_DYNAMIC, texture_format_from_code(format_code),
                        D3DPOOL_DEFAULT);
}

Texture* create_managed_texture(int width, int height) {
  return create_texture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
}

Texture* create_render_texture(int width, int height, int format_code) {
  return create_texture(width, height, 1, D3DUSAGE_RENDERTARGET,
                        texture_format_from_code(format_code), D3DPOOL_DEFAULT);
}

Texture* create_screen_render_texture() { return create_render_texture(0, 0, 1); }

Texture* register_texture(unsigned gl_texture) {
  if (!gl_texture) return nullptr;
  Texture* t = texture_alloc();
  if (!t) return nullptr;
  *t = Texture{};
  t->texture = gl_texture;
  t->pool = D3DPOOL_MANAGED;
  t->used = true;
  GLint w = 0, h = 0;
  glActiveTexture(GL_TEXTURE0 + MAX_STAGES);
  glBindTexture(GL_TEXTURE_2D, gl_texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
  glBindTexture(GL_TEXTURE_2D, 0);
  glActiveTexture(GL_TEXTURE0);
  t->cur_wd = w;
  t->cur_ht = h;
  return t;
}

static void texture_gl_release(Texture* t) {
  if (!t->texture) return;
  for (int i = 0; i < 4; i++)
    if (dev.targets[i] == t) {
      if (i == 0)
        set_back_buffer_target();
      else
        set_render_target(nullptr, i, false);
    }
  fbo_forget_texture(t->texture);
  glDeleteTextures(1, &t->texture);
  t->texture = 0;
}

void release_texture(Texture* t) {
  if (!t) return;
  texture_gl_release(t);
  free(t->lock_mem);
  *t = Texture{};
}

void textures_release_default_pool() {
  for (Texture& t : texture_pool)
    if (t.used && t.pool == D3DPOOL_DEFAULT) {
      free(t.lock_mem);
      t.lock_mem = nullptr;
      texture_gl_release(&t);
    }
}

void textures_recreate_default_pool() {
  for (Texture& t : texture_pool)
    if (t.used && t.pool == D3DPOOL_DEFAULT)
      if (unsigned err = texture_gl_create(&t)) debug("error recreating texture (code 0x%08X)", err);
}

void textures_release_all() {
  for (Texture& t : texture_pool)
    if (t.used) release_texture(&t);
}

// {===== Locking and uploads

uint8_t* lock_texture(Texture* t, int& pitch, bool discard) {
  GlFormat g;
  if (!t || !t->texture || !gl_format_of(t->format, g)) {
    debug("error locking texture (code 0x%08X)", (unsigned)GL_INVALID_OPERATION);
    return nullptr;
  }
  int rows;
  level_layout(g, t->cur_wd, t->cur_ht, pitch, rows);
  if (!t->lock_mem) t->lock_mem = (uint8_t*)malloc((size_t)pitch * rows);
  if (!t->lock_mem) {
    debug("error locking texture (code 0x%08X)", (unsigned)GL_OUT_OF_MEMORY);
    return nullptr;
  }
  t->lock_pitch = pitch;
  // Without DISCARD the lock sees the current contents.
  if (!(discard && (t->usage & D3DUSAGE_DYNAMIC))) {
    glActiveTexture(GL_TEXTURE0 + MAX_STAGES);
    glBindTexture(GL_TEXTURE_2D, t->texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (g.block_bytes)
      glGetCompressedTexImage(GL_TEXTURE_2D, 0, t->lock_mem);
    else
      glGetTexImage(GL_TEXTURE_2D, 0, g.format, g.type, t->lock_mem);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
  }
  return t->lock_mem;
}

void unlock_texture(Texture* t) {
  if (!t || !t->lock_mem) return;
  if (t->texture) upload_texture_level(t, 0, t->lock_mem);
  free(t->lock_mem);
  t->lock_mem = nullptr;
  t->lock_pitch = 0;
}

bool upload_texture_level(Texture* t, int level, const void* data) {
  GlFormat g;
  if (!t || !t->texture || !data || !gl_format_of(t->format, g)) return false;
  glActiveTexture(GL_TEXTURE0 + MAX_STAGES);
  glBindTexture(GL_TEXTURE_2D, t->texture);
  level_upload(g, level, level_dim(t->cur_wd, level), level_dim(t->cur_ht, level), data, true);
  glBindTexture(GL_TEXTURE_2D, 0);
  glActiveTexture(GL_TEXTURE0);
  return true;
}

void set_texture(int stage, Texture* t) {
  if (stage < 0 || stage >= MAX_STAGES) return;
  glActiveTexture(GL_TEXTURE0 + stage);
  glBindTexture(GL_TEXTURE_2D, t ? t->texture : 0);
  glActiveTexture(GL_TEXTURE0);
}

// {===== Render targets

static GLuint fbo_get(const GLuint color[4], bool depth) {
  FboEntry* victim = &dev.fbos[0];
  for (FboEntry& e : dev.fbos) {
    if (e.fbo && e.depth == depth && memcmp(e.color, color, sizeof e.color) == 0) {
      e.last_use = ++dev.fbo_clock;
      return e.fbo;
    }
    if (!e.fbo || (victim->fbo && e.last_use < victim->last_use)) victim = &e;
  }
  if (victim->fbo) glDeleteFramebuffers(1, &victim->fbo);
  FboEntry& e = *victim;
  glGenFramebuffers(1, &e.fbo);
  memcpy(e.color, color, sizeof e.color);
  e.depth = depth;
  e.last_use = ++dev.fbo_clock;
  glBindFramebuffer(GL_FRAMEBUFFER, e.fbo);
  GLenum bufs[4];
  int n = 0;
  for (int i = 0; i < 4; i++) {
    if (color[i]) glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, color[i], 0);
    bufs[i] = color[i] ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
    if (color[i]) n = i + 1;
  }
  if (depth)
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              dev.scene_depth);
  glDrawBuffers(n, bufs);
  glReadBuffer(n ? GL_COLOR_ATTACHMENT0 : GL_NONE);
  GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (status != GL_FRAMEBUFFER_COMPLETE) debug("D3D: render target set incomplete (code 0x%08X)", status);
  return e.fbo;
}

void fbo_forget_texture(GLuint tex) {
  for (FboEntry& e : dev.fbos) {
    if (!e.fbo) continue;
    bool uses = false;
    for (GLuint c : e.color) uses |= c == tex;
    if (uses) {
      glDeleteFramebuffers(1, &e.fbo);
      e = FboEntry{};
    }
  }
}

void fbo_release_all() {
  for (FboEntry& e : dev.fbos) {
    if (e.fbo) glDeleteFramebuffers(1, &e.fbo);
    e = FboEntry{};
  }
  for (GLuint& f : dev.copy_fbo) {
    if (f) glDeleteFramebuffers(1, &f);
    f = 0;
  }
}

void target_bind_current() {
  if (!dev.flip) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    return;
  }
  GLuint color[4];
  for (int i = 0; i < 4; i++) color[i] = dev.targets[i] ? dev.targets[i]->texture : 0;
  glBindFramebuffer(GL_FRAMEBUFFER, fbo_get(color, dev.target_depth && dev.scene_depth));
}

void target_apply_flip() {
  dev.state_block[0] = dev.flip ? -1.f : 1.f;
  dev.state_dirty = true;
  set_cull_mode(dev.cull_mode);
}

// Direct3D resets the viewport to the whole target when target 0 changes.
static void target_changed() {
  target_bind_current();
  target_apply_flip();
  set_viewport(0, 0, dev.target_wd, dev.target_ht);
}

void set_render_target(Texture* t, int index, bool with_scene_depth) {
  if (index < 0 || index >= 4) return;
  if (t && !t->texture) t = nullptr;
  dev.targets[index] = t;
  if (index != 0) {
    if (dev.flip) target_bind_current();
    return;
  }
  if (!t) {
    set_back_buffer_target();
    return;
  }
  dev.target_depth = with_scene_depth;
  dev.flip = true;
  dev.target_wd = t->cur_wd;
  dev.target_ht = t->cur_ht;
  target_changed();
}

void set_back_buffer_target() {
  for (Texture*& t : dev.targets) t = nullptr;
  dev.target_depth = false;
  dev.flip = false;
  dev.target_wd = d3d_wd;
  dev.target_ht = d3d_ht;
  target_changed();
}

// {===== Copies and read-back

static bool blit(GLuint read_fb, GLuint draw_fb, int sw, int sh, int dx0, int dy0, int dx1, int dy1) {
  while (glGetError() != GL_NO_ERROR) {
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, read_fb);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, draw_fb);
  glBlitFramebuffer(0, 0, sw, sh, dx0, dy0, dx1, dy1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  bool ok = glGetError() == GL_NO_ERROR;
  target_bind_current();
  return ok;
}

static GLuint copy_fbo(int i, GLuint tex) {
  if (!dev.copy_fbo[i]) glGenFramebuffers(1, &dev.copy_fbo[i]);
  glBindFramebuffer(GL_FRAMEBUFFER, dev.copy_fbo[i]);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  GLenum buf = GL_COLOR_ATTACHMENT0;
  glDrawBuffers(1, &buf);
  return dev.copy_fbo[i];
}

void copy_texture(Texture* fromTex, Texture* toTex) {
  ASSERT(fromTex);
  ASSERT(toTex);
  if (!fromTex->texture || !toTex->texture) return;
  GLuint rf = copy_fbo(0, fromTex->texture), df = copy_fbo(1, toTex->texture);
  blit(rf, df, fromTex->cur_wd, fromTex->cur_ht, 0, 0, toTex->cur_wd, toTex->cur_ht);
}

bool copy_back_buffer(Texture* t) {
  if (!dev.context || !t || !t->texture) return false;
  GLuint df = copy_fbo(1, t->texture);
  // The back buffer is bottom-up: flip into the top-down texture layout.
  return blit(0, df, d3d_wd, d3d_ht, 0, t->cur_ht, t->cur_wd, 0);
}

bool can_render_to_format(int code) {
  int f = texture_format_from_code(code);
  GlFormat g;
  if (!dev.context || f == D3DFMT_UNKNOWN || !gl_format_of(f, g)) return false;
  if (dev.can_render[code]) return dev.can_render[code] == 1;
  GlErrorsChecked checked; // an unsupported format may fail here: that is the answer
  GLuint tex = 0, fb = 0;
  glGenTextures(1, &tex);
  glActiveTexture(GL_TEXTURE0 + MAX_STAGES);
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexImage2D(GL_TEXTURE_2D, 0, g.internal, 4, 4, 0, g.format, g.type, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  glActiveTexture(GL_TEXTURE0);
  glGenFramebuffers(1, &fb);
  glBindFramebuffer(GL_FRAMEBUFFER, fb);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
  bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glDeleteFramebuffers(1, &fb);
  glDeleteTextures(1, &tex);
  target_bind_current();
  dev.can_render[code] = ok ? 1 : 2;
  return ok;
}

bool read_render_target(int x, int y, int w, int h, uint8_t* out) {
  if (!dev.context || !out || w < 1 || h < 1) return false;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  if (dev.flip) {
    glReadPixels(x, y, w, h, GL_BGRA, GL_UNSIGNED_BYTE, out);
    return glGetError() == GL_NO_ERROR;
  }
  glReadPixels(x, dev.target_ht - y - h, w, h, GL_BGRA, GL_UNSIGNED_BYTE, out);
  size_t row = (size_t)w * 4;
  uint8_t* tmp = (uint8_t*)malloc(row);
  if (!tmp) return false;
  for (int r = 0; r < h / 2; r++) {
    memcpy(tmp, out + r * row, row);
    memcpy(out + r * row, out + (h - 1 - r) * row, row);
    memcpy(out + (h - 1 - r) * row, tmp, row);
  }
  free(tmp);
  return glGetError() == GL_NO_ERROR;
}
