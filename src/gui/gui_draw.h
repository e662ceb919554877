// Drawing of the provided element types through the GUI primitives, and the
// text seam: labels use the distance-field `default_font` once it exists and
// the bitmap font until then (gui_draw_text / gui_measure_text are the only
// places that choose).
#pragma once
#include "gui/gui.h"
#include "render/ui_draw.h"

// The shader, declaration and states of the GUI primitives (after the
// device and the bitmap font). close_gui_render undoes it.
void init_gui_render();
void close_gui_render();
// Draws `batch` (a frame's GUI) and clears it.
void flush_gui_batch(RenderBatch& batch);

bool gui_hidden(const BaseGuiElement* e); // GP_DISPLAY set to 1
// The element's box: shadow, fill with gradient, border, from its slots.
void gui_draw_box(RenderBatch& batch, const BaseGuiElement* e, const GuiRect& r);
// Text `size` pixels tall (the distance-field font; 0 = the default of 30
// thousandths of the screen height; the bitmap font keeps its own size).
// Alignments as the bitmap font's: -1 left/top of x/y, 0 centred, 1 right/bottom.
void gui_measure_text(const char* text, float& w, float& h, float size = 0);
void gui_draw_text(RenderBatch& batch, const char* text, float x, float y, int h_align, int v_align,
                   D3dColor colour, float size = 0);
// The element's rectangle moved by its offset slots.
GuiRect gui_draw_rect(const BaseGuiElement* e);
// `c` with its alpha times the element's opacity (percent).
D3dColor gui_fade(const BaseGuiElement* e, D3dColor c);
