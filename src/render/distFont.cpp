// Drawing of distance-field text and icons: the two vertex formats, the
// shaders "distfont.sh" and "disticon.sh", the pass states, the packed
// parameters and the layout of renderText / renderIcon. The description
// files are read in distFont_file.cpp.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/log.h"
#include "render/distFont.h"

DistFont default_font;
DistIcons ui_icons;

namespace {

struct FontVertex {
  float x, y;
  D3dColor colour, colour2;
  float u, v;
  D3dColor params;
};
static_assert(sizeof(FontVertex) == 28);

struct IconVertex {
  float x, y;
  D3dColor c0, params;
  float u, v;
  D3dColor c1, c2, c3, c4;
};
static_assert(sizeof(IconVertex) == 40);

const VertexElement font_elements[] = {
    {0, 0, 2, 0, 0},  // FLOAT2 POSITION0
    {8, 0, 5, 2, 0},  // D3DCOLOR COLOR0: text colour
    {12, 0, 5, 2, 1}, // D3DCOLOR COLOR1: second colour
    {16, 0, 2, 3, 0}, // FLOAT2 TEXCOORD0
    {24, 0, 5, 3, 1}, // D3DCOLOR TEXCOORD1: packed parameters
    {0, 255, 0, 0, 0},
};

const VertexElement icon_elements[] = {
    {0, 0, 2, 0, 0},  // FLOAT2 POSITION0
    {8, 0, 5, 2, 0},  // D3DCOLOR COLOR0: silhouette colour
    {12, 0, 5, 2, 1}, // D3DCOLOR COLOR1: packed parameters
    {16, 0, 2, 3, 0}, // FLOAT2 TEXCOORD0
    {24, 0, 5, 3, 1}, // D3DCOLOR TEXCOORD1..4: layer colours and the second colour
    {28, 0, 5, 3, 2},
    {32, 0, 5, 3, 3},
    {36, 0, 5, 3, 4},
    {0, 255, 0, 0, 0},
};

struct Kind {
  Shader* shader = nullptr;
  VertexDecl* vdecl = nullptr;
};
Kind font_kind, icon_kind;

// A text of many glyphs goes into the batch in blocks of at most this many,
// so that no block outgrows one buffer of the common writer.
constexpr int GLYPHS_PER_BLOCK = 256;

unsigned unit_byte(float f) {
  if (!(f > 0)) return 0; // NaN too
  return f >= 1 ? 255u : (unsigned)std::lround(f * 255.f);
}

} // namespace

// {===== Kinds, states and the pass

void init_dist_fonts() {
  if (!font_kind.shader) font_kind.shader = create_shader("distfont.sh", nullptr);
  font_kind.vdecl = get_vdecl(font_elements);
}

void init_dist_icons() {
  if (!icon_kind.shader) icon_kind.shader = create_shader("disticon.sh", nullptr);
  icon_kind.vdecl = get_vdecl(icon_elements);
}

void close_dist_fonts() {
  default_font.clear();
  ui_icons.clear();
  for (Kind* k : {&font_kind, &icon_kind}) {
    if (k->shader) destroy_shader(k->shader);
    k->shader = nullptr;
    k->vdecl = nullptr;
  }
  // States outlive a close (batches may still point at them); they get the
  // shaders again from the next load.
  for (DistFontBatchState* s : {default_font.state, ui_icons.state})
    if (s) s->clear();
}

bool load_default_dist_fonts() {
  bool font = default_font.load("fonts/default_font.fnt");
  if (!font) debug("FONT: the distance-field font did not load; text falls back to the bitmap font");
  bool icons = ui_icons.load("fonts/ui_icons.txt");
  if (!icons) debug("FONT: the UI icons did not load; icons are not drawn");
  return font && icons;
}

DistFontBatchState* dist_font_state_for(bool icons, DistFontBatchState* state, Texture* atlas) {
  if (state) {
    state->texture = atlas;
    return state;
  }
  if (!atlas) return nullptr;
  const Kind& k = icons ? icon_kind : font_kind;
  return new DistFontBatchState(k.shader, k.vdecl, icons ? 40 : 28, atlas);
}

void dist_font_free_state(DistFontBatchState* state) { delete state; }

void start_dist_font_render() {
  float c16[4] = {2.f / d3d_wd, -2.f / d3d_ht, -1.f - 0.5f / d3d_wd, 1.f + 0.5f / d3d_ht};
  set_vs_consts(16, c16, 1);
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(false);
  set_blend_prealpha();
  set_atest(0);
  set_tex_address(0, 0);
}

void end_dist_font_render() {
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);
  set_blend_none();
}

void DistFontBatchState::begin(BaseRenderBatchState* prev) {
  // The shader and declaration of the kind may have been made after this
  // state (a load before init): take them now.
  if (!shader) {
    const Kind& k = stride == 40 ? icon_kind : font_kind;
    shader = k.shader;
    vdecl = k.vdecl;
  }
  start_dist_font_render();
  StdRenderBatchState::begin(prev);
}

void DistFontBatchState::end() {
  StdRenderBatchState::end();
  end_dist_font_render();
}

D3dColor dist_pack_params(float s, int spread, float q1, float p2, float p3, float q4) {
  float r = s * (float)spread;
  float p1 = r > 0 ? std::max(0.f, (1.f - (q1 + 1.f) * 0.5f / r) * 0.5f) : 0.f;
  float p4 = r > 0 ? std::max(0.f, (1.f - (q4 + 1.f) * 0.5f / r) * 0.5f) : 0.f;
  return unit_byte(p1) << 24 | unit_byte((1.f - 64.f * p2) * 0.5f) << 16 |
         unit_byte((1.f - 64.f * p3) * 0.5f) << 8 | unit_byte(p4);
}

// {===== Text

void DistFont::renderText(RenderBatch& batch, const BatchRect& rect, int align, D3dColor colour, float height,
                          const char* text, int len, float q1, float q2, float q3, float q4, D3dColor colour2,
                          BaseRenderBatchState* st) const {
  if (!loaded() || !text || !(height > 0)) return;
  if (len < 0) len = (int)strlen(text);
  if (!st) st = state;
  if (!st) return;
  const float s = height / (float)size;
  const D3dColor params = dist_pack_params(s, spread, q1, (float)size * q2 * invWidth * 0.01f,
                                           (float)size * invHeight * q3 * 0.01f, q4);
  int count = 0;
  const DistTextBox box = calcTextBox(text, len, &count);
  if (!count) return;

  const int h_align = align & 3, v_align = (align >> 2) & 3;
  float pen_y0 = v_align == 1   ? rect.y0 - s * box.y0
                 : v_align == 2 ? rect.y1 - s * box.y1
                                : (rect.y0 + rect.y1) * 0.5f - s * (box.y0 + box.y1) * 0.5f;
  // The pen x of a line: aligned as a whole, or each line centred by itself.
  auto line_x = [&](int from) {
    if (h_align == 1) return rect.x0 - s * box.x0;
    if (h_align == 2) return rect.x1 - s * box.x1;
    int end = from;
    while (end < len && text[end] != '\n') end++;
    int n = 0;
    DistTextBox lb = calcTextBox(text + from, end - from, &n);
    return (rect.x0 + rect.x1) * 0.5f - s * (lb.x0 + lb.x1) * 0.5f;
  };
  const float grow = s * (float)spread;
  // The block rectangle: the placed box (centred lines lie inside the widest
  // line's extent) widened by the spread.
  float bx0 = h_align == 1 ? rect.x0 : h_align == 2 ? rect.x1 - s * (box.x1 - box.x0)
                                                    : (rect.x0 + rect.x1) * 0.5f - s * (box.x1 - box.x0) * 0.5f;
  BatchRect block{bx0 - grow, pen_y0 + s * box.y0 - grow, bx0 + s * (box.x1 - box.x0) + grow,
                  pen_y0 + s * box.y1 + grow};

  float px = line_x(0), py = pen_y0;
  int prev = -1;
  int left = count;
  FontVertex* v = nullptr;
  int room = 0;
  for (int i = 0; i < len; i++) {
    int code = (uint8_t)text[i];
    if (code == '\n') {
      py += s * (float)lineHeight;
      px = line_x(i + 1);
      prev = -1;
      continue;
    }
    const DistGlyph* g = glyph(code);
    if (!g) continue;
    float k = kerning(prev, code);
    prev = code;
    if (g->width != 0) {
      if (!room) {
        room = std::min(left, GLYPHS_PER_BLOCK);
        left -= room;
        v = (FontVertex*)batch.add(st, block, room * 6 * (int)sizeof(FontVertex), room * 2);
      }
      float x0 = px + s * (k + g->xoffset), y0 = py - s * g->yoffset;
      float x1 = x0 + s * g->width, y1 = y0 + s * g->height;
      float u0 = g->u, v0 = g->v, u1 = g->u + g->width * invWidth, v1 = g->v + g->height * invHeight;
      const FontVertex a{x0, y0, colour, colour2, u0, v0, params}, b{x1, y0, colour, colour2, u1, v0, params},
          c{x1, y1, colour, colour2, u1, v1, params}, d{x0, y1, colour, colour2, u0, v1, params};
      v[0] = a, v[1] = b, v[2] = c, v[3] = a, v[4] = c, v[5] = d;
      v += 6;
      room--;
    }
    px += s * (k + g->xadvance);
  }
}

// {===== Icons

void DistIcons::renderIcon(RenderBatch& batch, float x, float y, float ax, float ay, float size, int id, float q1,
                           float q2, float q3, float q4, D3dColor c0, D3dColor c1, D3dColor c2, D3dColor c3,
                           D3dColor c4, BaseRenderBatchState* st) const {
  if (id < 0 || id >= icons.size() || !texture) return;
  if (!st) st = state;
  if (!st) return;
  const DistIcon& e = icons[id];
  const D3dColor params = dist_pack_params(size, spread, q1, q2 * invWidth, q3 * invHeight, q4);
  float lx[2] = {size * e.xoffset, size * (e.xoffset + e.width)};
  float ly[2] = {-size * e.yoffset, size * (e.height - e.yoffset)};
  float u[2] = {e.u, e.u + e.width * invWidth}, w[2] = {e.v, e.v + e.height * invHeight};
  IconVertex corner[4];
  const int cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
  float bx0 = HUGE_VALF, by0 = HUGE_VALF, bx1 = -HUGE_VALF, by1 = -HUGE_VALF;
  for (int i = 0; i < 4; i++) {
    float px = x + ax * lx[cx[i]] - ay * ly[cy[i]];
    float py = y + ay * lx[cx[i]] + ax * ly[cy[i]];
    corner[i] = IconVertex{px, py, c0, params, u[cx[i]], w[cy[i]], c1, c2, c3, c4};
    bx0 = std::fmin(bx0, px), by0 = std::fmin(by0, py);
    bx1 = std::fmax(bx1, px), by1 = std::fmax(by1, py);
  }
  const float grow = (float)spread;
  auto* v = (IconVertex*)batch.add(st, BatchRect{bx0 - grow, by0 - grow, bx1 + grow, by1 + grow},
                                   6 * (int)sizeof(IconVertex), 2);
  v[0] = corner[0], v[1] = corner[1], v[2] = corner[2], v[3] = corner[0], v[4] = corner[2], v[5] = corner[3];
}
