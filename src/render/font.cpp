// The bitmap font from "font.tga": glyph boxes found from the alpha channel,
// text layout, immediate drawing through the common writer and batched
// drawing through the font's batch state.
//
// The TGA is stored bottom row first and uploaded row by row as stored, so
// in the texture the cell of grid row r spans texture rows (15 - r) x ch to
// (16 - r) x ch and is upside down: a glyph's screen top samples the cell's
// higher texture row.
//
// Rectangles sample a 2 x 2 block of opaque texels (the generator fills the
// cell of code 0, which text never draws, with one); the shared corner of
// the block is the texture coordinate, so point sampling hits an opaque
// texel from any side.
#include "render/font.h"

#include <cstring>

#include "core/log.h"
#include "core/stream.h"
#include "render/texture.h"

namespace {

struct Glyph {
  int left, top, end, bottom; // texels; top/bottom are texture rows
};

struct FontVertex {
  int16_t x, y;
  D3dColor color;
  int16_t u, v;
};
static_assert(sizeof(FontVertex) == 12);
constexpr int GLYPH_BYTES = 6 * (int)sizeof(FontVertex);

const VertexElement font_elements[] = {
    {0, 0, 6, 0, 0}, // SHORT2 POSITION0
    {4, 0, 5, 2, 0}, // D3DCOLOR COLOR0
    {8, 0, 6, 3, 0}, // SHORT2 TEXCOORD0
    {0, 255, 0, 0, 0},
};

struct BitmapFont {
  bool ready;
  int img_wd, img_ht, cw, ch;
  Glyph glyphs[256];
  FontState st;
  int solid_u, solid_v;
  Texture* tex;
  VertexDecl* vdecl;
  Shader* shader;
};
BitmapFont font;

// Render states of text: shared by start_draw_text and the batch state.
void font_states_begin() {
  set_tex_filter(0, false);
  float c16[4] = {2.f / d3d_wd, 2.f / d3d_ht, -1.f - 0.5f / d3d_wd, 0.5f / d3d_ht - 1.f};
  float c17[4] = {1.f / font.img_wd, 1.f / font.img_ht, 0.f, 0.f};
  set_vs_consts(16, c16, 1);
  set_vs_consts(17, c17, 1);
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(false);
  set_blend_alpha();
  set_atest(1);
}

void font_states_end() {
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);
  set_blend_none();
  set_atest(0);
  set_tex_filter(0, true);
}

struct FontBatchState : StdRenderBatchState {
  void begin(BaseRenderBatchState* prev) override {
    StdRenderBatchState::begin(prev);
    font_states_begin();
  }
  void end() override {
    StdRenderBatchState::end();
    font_states_end();
  }
};
FontBatchState font_batch_state;

int glyph_advance(uint8_t c) {
  const Glyph& g = font.glyphs[c];
  return font.st.scale * (g.end - g.left + 1) + font.st.char_spacing;
}

int text_length(const char* text, int n) { return n < 0 ? (int)strlen(text) : n; }

bool draws_glyph(uint8_t c) { return c != 0 && c != ' ' && c != '\n'; }

void put_quad(FontVertex* v, int x0, int y0, int x1, int y1, int u0, int v0, int u1, int v1,
              D3dColor color) {
  const FontVertex a{(int16_t)x0, (int16_t)y0, color, (int16_t)u0, (int16_t)v0};
  const FontVertex b{(int16_t)x1, (int16_t)y0, color, (int16_t)u1, (int16_t)v0};
  const FontVertex c{(int16_t)x1, (int16_t)y1, color, (int16_t)u1, (int16_t)v1};
  const FontVertex d{(int16_t)x0, (int16_t)y1, color, (int16_t)u0, (int16_t)v1};
  v[0] = a;
  v[1] = b;
  v[2] = c;
  v[3] = a;
  v[4] = c;
  v[5] = d;
}

// Calls emit(vertices of one glyph) for every drawn glyph of the laid-out text.
template <class Emit>
void layout_text(const char* text, int n, int x, int y, int h_align, int v_align, D3dColor color,
                 Emit&& emit) {
  n = text_length(text, n);
  int width, height;
  calc_text_size(text, n, width, height);
  int x0 = x - (h_align + 1) * width / 2;
  int px = x0;
  int py = y - height * (v_align + 1) / 2;
  int cell_h = font.st.scale * font.ch;
  for (int i = 0; i < n; i++) {
    uint8_t c = (uint8_t)text[i];
    if (c == '\n') {
      px = x0;
      py += cell_h + font.st.line_spacing;
      continue;
    }
    const Glyph& g = font.glyphs[c];
    if (draws_glyph(c)) {
      FontVertex v[6];
      put_quad(v, px, py, px + font.st.scale * (g.end - g.left), py + cell_h, g.left, g.bottom,
               g.end, g.top, color);
      emit(v);
    }
    px += glyph_advance(c);
  }
}

// Finds the glyph box of every cell and the opaque block for rectangles.
void font_scan(const DynArray<uint32_t>& px) {
  auto alpha = [&](int x, int y) { return px[y * font.img_wd + x] >> 24; };
  for (int code = 0; code < 256; code++) {
    int row = code / 16, col = code % 16;
    int cx = col * font.cw, top = (15 - row) * font.ch;
    int left = -1, last = -1;
    for (int x = cx; x < cx + font.cw; x++)
      for (int y = top; y < top + font.ch; y++)
        if (alpha(x, y)) {
          if (left < 0) left = x;
          last = x;
          break;
        }
    Glyph& g = font.glyphs[code];
    if (left < 0) {
      g.left = cx;
      g.end = cx + font.cw / 2 + 1;
    } else {
      g.left = left;
      g.end = last + 1;
    }
    g.top = top;
    g.bottom = top + font.ch;
  }
  font.solid_u = font.solid_v = 0;
  for (int y = 0; y + 1 < font.img_ht; y++)
    for (int x = 0; x + 1 < font.img_wd; x++)
      if (alpha(x, y) == 255 && alpha(x + 1, y) == 255 && alpha(x, y + 1) == 255 &&
          alpha(x + 1, y + 1) == 255) {
        font.solid_u = x + 1;
        font.solid_v = y + 1;
        return;
      }
  debug("FONT: font.tga has no opaque 2x2 block; rectangles will not show");
}

} // namespace

// {===== Start-up and state

void init_font() {
  close_font();
  int w = 0, h = 0;
  DynArray<uint32_t> px;
  bool ok = false;
  try {
    ok = load_tga("font.tga", w, h, px);
  } catch (const StreamIOException& e) {
    debug("FONT: font.tga: %s", e.message);
  }
  if (!ok) fatal("can't load font.tga");
  if (w % 16 || h % 16) fatal("expected 16x16 font grid in font.tga, got %dx%d image", w, h);
  font.img_wd = w;
  font.img_ht = h;
  font.cw = w / 16;
  font.ch = h / 16;
  font.st = FontState{1, 0, 0};
  recompute_font_scale();
  font_scan(px);

  font.tex = create_texture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
  if (!font.tex) fatal("can't create font texture");
  int pitch = 0;
  uint8_t* ptr = lock_texture(font.tex, pitch, true);
  ASSERT(ptr);
  for (int y = 0; y < h; y++) memcpy(ptr + y * pitch, px.data + y * w, (size_t)w * 4);
  unlock_texture(font.tex);
  font.vdecl = get_vdecl(font_elements);
  font.shader = create_shader("font.sh", nullptr);
  font_batch_state.shader = font.shader;
  font_batch_state.vdecl = font.vdecl;
  font_batch_state.stride = (int)sizeof(FontVertex);
  font_batch_state.texture = font.tex;
  font.ready = true;
}

void close_font() {
  if (font.shader) destroy_shader(font.shader);
  if (font.tex) release_texture(font.tex);
  font = BitmapFont{};
  font_batch_state.clear();
}

bool font_ready() { return font.ready; }
FontState get_font_state() { return font.st; }
void set_font_state(const FontState& s) { font.st = s; }
int font_cell_width() { return font.cw; }
int font_cell_height() { return font.ch; }
int font_line_height() { return font.st.scale * font.ch + font.st.line_spacing; }

void recompute_font_scale() {
  if (font.ch < 1) return;
  int s = d3d_ht / (font.ch * 30);
  font.st.scale = s < 1 ? 1 : s;
  debug("font scale: %d", font.st.scale);
}

StdRenderBatchState* get_font_batch_state() { return &font_batch_state; }

// {===== Layout

void calc_text_size(const char* text, int n, int& width, int& height) {
  n = text_length(text, n);
  int lines = 1, line_w = 0;
  width = 0;
  for (int i = 0; i < n; i++) {
    uint8_t c = (uint8_t)text[i];
    if (c == '\n') {
      lines++;
      line_w = 0;
      continue;
    }
    line_w += glyph_advance(c);
    if (line_w > width) width = line_w;
  }
  height = lines * font_line_height();
}

// {===== Immediate drawing

void start_draw_text() {
  ASSERT(font.ready && "init_font() must run first");
  set_shader(font.shader);
  set_vdecl(font.vdecl);
  set_texture(0, font.tex);
  font_states_begin();
  common_vb_writer.begin(dynvb_draw_prim, D3DPT_TRIANGLELIST, 0, (int)sizeof(FontVertex));
}

void end_draw_text() {
  common_vb_writer.flush(true);
  font_states_end();
}

static void write_glyph(const FontVertex* v) {
  DynVBWriter& w = common_vb_writer;
  w.reserve(GLYPH_BYTES);
  memcpy(w.cur, v, GLYPH_BYTES);
  w.cur += GLYPH_BYTES;
  w.count += 2;
}

void draw_text(const char* text, int n, int x, int y, int h_align, int v_align, D3dColor color) {
  if (!text) return;
  layout_text(text, n, x, y, h_align, v_align, color, write_glyph);
}

void draw_rect(int x0, int y0, int x1, int y1, D3dColor color) {
  FontVertex v[6];
  put_quad(v, x0, y0, x1, y1, font.solid_u, font.solid_v, font.solid_u, font.solid_v, color);
  write_glyph(v);
}

void draw_box(int x0, int y0, int x1, int y1, D3dColor color) {
  draw_rect(x0, y0, x1, y0 + 1, color);
  draw_rect(x0, y1 - 1, x1, y1, color);
  draw_rect(x0, y0 + 1, x0 + 1, y1 - 1, color);
  draw_rect(x1 - 1, y0 + 1, x1, y1 - 1, color);
}

// {===== Batched drawing

void batch_rect(RenderBatch& batch, int x0, int y0, int x1, int y1, D3dColor color) {
  BatchRect r{(float)x0, (float)y0, (float)x1, (float)y1};
  FontVertex* v = (FontVertex*)batch.add(&font_batch_state, r, GLYPH_BYTES, 2);
  put_quad(v, x0, y0, x1, y1, font.solid_u, font.solid_v, font.solid_u, font.solid_v, color);
}

void batch_text(RenderBatch& batch, const char* text, int n, int x, int y, int h_align,
                int v_align, D3dColor color) {
  if (!text) return;
  n = text_length(text, n);
  int count = 0;
  BatchRect r{1e30f, 1e30f, -1e30f, -1e30f};
  layout_text(text, n, x, y, h_align, v_align, color, [&](const FontVertex* v) {
    count++;
    if (v[0].x < r.x0) r.x0 = v[0].x;
    if (v[0].y < r.y0) r.y0 = v[0].y;
    if (v[2].x > r.x1) r.x1 = v[2].x;
    if (v[2].y > r.y1) r.y1 = v[2].y;
  });
  if (count == 0) return;
  FontVertex* out = (FontVertex*)batch.add(&font_batch_state, r, count * GLYPH_BYTES, count * 2);
  layout_text(text, n, x, y, h_align, v_align, color, [&](const FontVertex* v) {
    memcpy(out, v, GLYPH_BYTES);
    out += 6;
  });
}
