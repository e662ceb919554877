// The image batch state of the GUI: shader "uiImage.sh" and the 20-byte
// image vertex (x, y, colour, u, v).
#include "app/log.h"
#include "render/renderBatch.h"

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
