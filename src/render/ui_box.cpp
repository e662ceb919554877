// GUI rounded boxes and lines: shader "roundedBox.sh" and the 44-byte box
// vertex; the 2D states of the GUI batch states.
#include <algorithm>
#include <cmath>

#include "core/log.h"
#include "render/ui_draw.h"

static UiBatchState rounded_box_state;

static const VertexElement ui_box_elements[] = {
    {0, 0, 2, 0, 0},  // FLOAT2 POSITION0: corner
    {8, 0, 2, 3, 0},  // FLOAT2 TEXCOORD0: centre
    {16, 0, 2, 3, 1}, // FLOAT2 TEXCOORD1: width, height
    {24, 0, 5, 2, 0}, // D3DCOLOR COLOR0: second
    {28, 0, 5, 2, 1}, // D3DCOLOR COLOR1: fill
    {32, 0, 5, 2, 2}, // D3DCOLOR COLOR2: colour2
    {36, 0, 5, 2, 3}, // D3DCOLOR COLOR3: dx, dy, size, radius
    {40, 0, 1, 3, 2}, // FLOAT1 TEXCOORD2: extra
    {0, 255, 0, 0, 0},
};

// {===== 2D states

void set_ui_render_states() {
  float c16[4] = {2.f / d3d_wd, 2.f / d3d_ht, 0.f, 0.f};
  set_vs_consts(16, c16, 1);
  set_cull_mode(0);
  set_zenable(false);
  set_zwrite(false);
  set_blend_alpha();
  set_atest(0);
}

void UiBatchState::begin(BaseRenderBatchState* prev) {
  set_ui_render_states();
  StdRenderBatchState::begin(prev);
}

void UiBatchState::end() {
  StdRenderBatchState::end();
  // Leave what the 3D passes expect (as the bitmap font does).
  set_cull_mode(1);
  set_zenable(true);
  set_zwrite(true);
  set_blend_none();
}

// {===== Boxes

void init_rounded_box_render() {
  if (!rounded_box_state.shader) rounded_box_state.shader = create_shader("roundedBox.sh", nullptr);
  rounded_box_state.vdecl = get_vdecl(ui_box_elements);
  rounded_box_state.stride = (int)sizeof(UiBoxVertex);
  rounded_box_state.texture = nullptr;
}

void close_rounded_box_render() {
  if (rounded_box_state.shader) destroy_shader(rounded_box_state.shader);
  rounded_box_state.shader = nullptr;
  rounded_box_state.vdecl = nullptr;
}

StdRenderBatchState* get_rounded_box_state() { return &rounded_box_state; }

static unsigned unit_byte(float f) {
  f = f < 0 ? 0 : f > 1 ? 1 : f; // NaN falls through as 0 below
  return f == f ? (unsigned)(f * 255.f + 0.5f) : 0;
}

D3dColor pack_unit_color(float r, float g, float b, float a) {
  return unit_byte(a) << 24 | unit_byte(r) << 16 | unit_byte(g) << 8 | unit_byte(b);
}

static void put_quad(UiBoxVertex* v, float x0, float y0, float x1, float y1, const UiBoxVertex& t) {
  UiBoxVertex a = t, b = t, c = t, d = t;
  a.x = x0, a.y = y0;
  b.x = x1, b.y = y0;
  c.x = x1, c.y = y1;
  d.x = x0, d.y = y1;
  v[0] = a, v[1] = b, v[2] = c, v[3] = a, v[4] = c, v[5] = d;
}

void render_rounded_box(RenderBatch& batch, __m128 rect, __m128 second, D3dColor fill, float radius,
                        float dx, float dy, float size, D3dColor colour2, float extra) {
  alignas(16) float r[4], s[4];
  _mm_store_ps(r, rect);
  _mm_store_ps(s, second);
  if (!(radius >= 0.5f)) radius = 0.5f;
  float x0 = r[0] - radius, y0 = r[1] - radius, x1 = r[2] + radius, y1 = r[3] + radius;
  if (extra >= 0) {
    float g = size + extra;
    x0 = std::min(x0, r[0] + dx - g);
    y0 = std::min(y0, r[1] + dy - g);
    x1 = std::max(x1, r[2] + dx + g);
    y1 = std::max(y1, r[3] + dy + g);
  }
  UiBoxVertex t{};
  t.cx = (r[0] + r[2]) * 0.5f;
  t.cy = (r[1] + r[3]) * 0.5f;
  t.w = r[2] - r[0];
  t.h = r[3] - r[1];
  t.second = pack_unit_color(s[0] / 255.f, s[1] / 255.f, s[2] / 255.f, s[3] / 255.f);
  t.fill = fill;
  t.colour2 = colour2;
  t.params = pack_unit_color(dx / 255.f + 0.5f, dy / 255.f + 0.5f, size / 255.f + 0.5f, radius / 255.f);
  // A radius byte of 0 marks lines for the shader; a box never packs to it.
  if (!(t.params >> 24)) t.params |= 1u << 24;
  t.extra = extra;
  auto* v = (UiBoxVertex*)batch.add(&rounded_box_state, BatchRect{x0, y0, x1, y1},
                                    6 * (int)sizeof(UiBoxVertex), 2);
  put_quad(v, x0, y0, x1, y1, t);
}

// A quad `width` wide along the segment; the shader's shape fields are set
// wider than the quad so that it fills plainly.
void render_ui_line(RenderBatch& batch, __m128 segment, float width, D3dColor colour) {
  alignas(16) float s[4];
  _mm_store_ps(s, segment);
  float ex = s[2] - s[0], ey = s[3] - s[1];
  float len = std::sqrt(ex * ex + ey * ey);
  float nx = 0, ny = -0.5f * width; // a zero-length segment is a dot `width` tall
  if (len > 0) {
    nx = -ey / len * 0.5f * width;
    ny = ex / len * 0.5f * width;
  }
  // Corners: start - n, end - n, end + n, start + n.
  float px[4] = {s[0] - nx, s[2] - nx, s[2] + nx, s[0] + nx};
  float py[4] = {s[1] - ny, s[3] - ny, s[3] + ny, s[1] + ny};
  float bx0 = px[0], by0 = py[0], bx1 = px[0], by1 = py[0];
  for (int i = 1; i < 4; i++) {
    bx0 = std::min(bx0, px[i]), bx1 = std::max(bx1, px[i]);
    by0 = std::min(by0, py[i]), by1 = std::max(by1, py[i]);
  }
  UiBoxVertex t{};
  t.cx = (s[0] + s[2]) * 0.5f;
  t.cy = (s[1] + s[3]) * 0.5f;
  t.w = 3.f * (bx1 - bx0) * 0.5f;
  t.h = 3.f * (by1 - by0) * 0.5f;
  t.second = 0x00808080;
  t.fill = colour;
  auto* v = (UiBoxVertex*)batch.add(&rounded_box_state, BatchRect{bx0, by0, bx1, by1},
                                    6 * (int)sizeof(UiBoxVertex), 2);
  const int order[6] = {0, 1, 2, 0, 2, 3};
  for (int i = 0; i < 6; i++) {
    v[i] = t;
    v[i].x = px[order[i]];
    v[i].y = py[order[i]];
  }
}
