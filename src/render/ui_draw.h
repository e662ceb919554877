// Drawing primitives of the GUI: images, rounded boxes (with border,
// gradient and shadow) and lines, appended to a RenderBatch as two
// triangles per rectangle, corners (x0, y0), (x1, y0), (x1, y1), (x0, y0),
// (x1, y1), (x0, y1). Positions are pixels from the top-left corner.
#pragma once
#include <xmmintrin.h>

#include "render/renderBatch.h"

// A batch state that also sets the 2D render states (pixel scale in vertex
// register 16, alpha blending, no depth, no culling) when its group begins,
// so GUI groups draw correctly whatever group ran before them.
struct UiBatchState : StdRenderBatchState {
  void begin(BaseRenderBatchState* prev) override;
  void end() override;
};
void set_ui_render_states();

// Image vertex (20 bytes): x, y, colour, u, v. `rect` (x0, y0, x1, y1) is
// mapped onto the texture rectangle `uv` (u0, v0, u1, v1).
struct UiImageVertex {
  float x, y;
  D3dColor color;
  float u, v;
};
static_assert(sizeof(UiImageVertex) == 20);
void render_ui_image(RenderBatch& batch, StdRenderBatchState& state, __m128 rect, D3dColor colour,
                     __m128 uv);

// Box vertex (44 bytes, eleven 32-bit words). How "roundedBox.sh" reads them:
// - second (packed r, g, b, a = second.x..w / 255): r and g are the fill's
//   brightness at the top and bottom (x 2, so 0.5 is unchanged), a x 255 the
//   border width in pixels (drawn in colour2);
// - params (packed dx/255 + 0.5, dy/255 + 0.5, size/255 + 0.5, radius/255):
//   the shape is the rectangle moved by (dx, dy), grown by size, with corner
//   radius; a radius byte of 0 (only lines) fills the quad plainly;
// - extra: the width of the soft edge in pixels (shadows; < 1 is the
//   one-pixel antialiased edge).
struct UiBoxVertex {
  float x, y;
  float cx, cy;
  float w, h;
  D3dColor second, fill, colour2, params;
  float extra;
};
static_assert(sizeof(UiBoxVertex) == 44);

void init_rounded_box_render();
void close_rounded_box_render();
void render_rounded_box(RenderBatch& batch, __m128 rect, __m128 second, D3dColor fill, float radius,
                        float dx, float dy, float size, D3dColor colour2, float extra);
void render_ui_line(RenderBatch& batch, __m128 segment, float width, D3dColor colour);
StdRenderBatchState* get_rounded_box_state();

// Packs four floats of 0..1 (clamped) as a colour: x red, y green, z blue, w alpha.
D3dColor pack_unit_color(float r, float g, float b, float a);
