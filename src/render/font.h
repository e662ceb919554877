// The bitmap font: "font.tga", a 16 x 16 grid of character cells (codes
// 0..255, row 0 at the top of the picture), drawn for debug text, the
// visual log, the error message and the statistics overlay.
//
// Coordinates are pixels from the top-left corner of the back buffer.
// Alignments: horizontal -1 left, 0 centred, 1 right of x; vertical -1 the
// text's top at y, 0 centred on y, 1 the text's bottom at y.
//
// Immediate drawing (draw_text, draw_rect, draw_box) writes straight into
// the common vertex writer and must sit between start_draw_text and
// end_draw_text; batch_text and batch_rect add blocks to a RenderBatch with
// the font's batch state instead.
#pragma once
#include "render/renderBatch.h"

// Layout parameters that callers change for a while and restore.
struct FontState {
  int scale;        // integer magnification of the cells
  int line_spacing; // extra pixels between lines
  int char_spacing; // extra pixels between characters
};

// Loads "font.tga" (fatal when missing or not a 16 x 16 grid), computes
// the glyph boxes and the scale, creates the texture, declaration and
// "font.sh". close_font undoes it.
void init_font();
void close_font();
bool font_ready();

FontState get_font_state();
void set_font_state(const FontState& s);
// d3d_ht / (cell height x 30), at least 1 (after a resize).
void recompute_font_scale();
int font_cell_width();
int font_cell_height();
int font_line_height(); // scale x cell height + line spacing

void calc_text_size(const char* text, int n, int& width, int& height); // n < 0: whole string
void start_draw_text();
void draw_text(const char* text, int n, int x, int y, int h_align, int v_align, D3dColor color);
void end_draw_text();
void draw_rect(int x0, int y0, int x1, int y1, D3dColor color); // filled, x1/y1 exclusive
void draw_box(int x0, int y0, int x1, int y1, D3dColor color);  // one-pixel frame
void batch_rect(RenderBatch& batch, int x0, int y0, int x1, int y1, D3dColor color);
void batch_text(RenderBatch& batch, const char* text, int n, int x, int y, int h_align,
                int v_align, D3dColor color);
StdRenderBatchState* get_font_batch_state();
