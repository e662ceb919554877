// The image batch state of the GUI: shader "uiImage.sh" and the 20-byte
// image vertex (x, y, colour, u, v).
#include "core/log.h"
#include "render/renderBatch.h"
#include "render/ui_draw.h"

static Shader* ui_image_shader;
static VertexDecl* ui_image_vdecl;

static const VertexElement ui_image_elements[] = {
    {0, 0, 2, 0, 0},  // FLOAT2 POSITION0
    {8, 0, 5, 2, 0},  // D3DCOLOR COLOR0
    {12, 0, 2, 3, 0}, // FLOAT2 TEXCOORD0
    {0, 255, 0, 0, 0},
};

void init_ui_image_render() {
  if (!ui_image_shader) ui_image_shader = create_shader("uiImage.sh", nullptr);
  ui_image_vdecl = get_vdecl(ui_image_elements);
}

void close_ui_image_render() {
  destroy_shader(ui_image_shader);
  ui_image_shader = nullptr;
  ui_image_vdecl = nullptr;
}

void init_ui_image_state(StdRenderBatchState& state, Texture* tex, Shader* shader) {
  state.shader = shader ? shader : ui_image_shader;
  state.vdecl = ui_image_vdecl;
  state.stride = 20;
  state.texture = tex;
}

// {===== Images

void render_ui_image(RenderBatch& batch, StdRenderBatchState& state, __m128 rect, D3dColor colour,
                     __m128 uv) {
  alignas(16) float r[4], t[4];
  _mm_store_ps(r, rect);
  _mm_store_ps(t, uv);
  BatchRect br{r[0], r[1], r[2], r[3]};
  auto* v = (UiImageVertex*)batch.add(&state, br, 6 * (int)sizeof(UiImageVertex), 2);
  const UiImageVertex a{r[0], r[1], colour, t[0], t[1]}, b{r[2], r[1], colour, t[2], t[1]},
      c{r[2], r[3], colour, t[2], t[3]}, d{r[0], r[3], colour, t[0], t[3]};
  v[0] = a, v[1] = b, v[2] = c, v[3] = a, v[4] = c, v[5] = d;
}
