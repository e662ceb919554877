// Distance-field text and icons: `DistFont`, a font described by a text
// file (glyph rectangles in an atlas holding a signed distance field), and
// `DistIcons`, an atlas of distance-field icons. Both draw through a
// RenderBatch with per-call outline, glow and shadow parameters;
// `default_font` and `ui_icons` are the program's shared instances.
//
// Units: font files give texels of the atlas; text is placed in screen
// pixels with s = height / size pixels per texel. Pen y is the baseline:
// a glyph's top is yoffset texels above it (y grows downwards).
//
// The packed parameters q1..q4 of renderText / renderIcon (the shaders'
// reading of them is in docs/fonts.md): q1 softens the edge of the fill by
// that many pixels (0 is the one-pixel antialiased edge); the second colour
// is drawn from the field moved by (q2, q3) (per cent of the font size for
// text, texels for icons) and reaches (q4 + 1) / 2 pixels beyond the edge:
// an outline or glow without a move, a shadow with one.
#pragma once
#include "core/dynArray.h"
#include "render/renderBatch.h"

// Draws in screen pixels with the states of the distance-field pass; its
// group sets them itself, so batches may mix it with other states.
struct DistFontBatchState : StdRenderBatchState {
  DistFontBatchState(Shader* s, VertexDecl* d, int st, Texture* t) : StdRenderBatchState(s, d, st, t) {}
  void begin(BaseRenderBatchState* prev) override;
  void end() override;
};

struct DistGlyph {
  float u, v;            // atlas position scaled by the inverse atlas size
  float width, height;   // texels
  float xoffset, yoffset; // texels from the pen to the left edge / up to the top
  float xadvance;
};

struct DistCharRange {
  int first, end; // codes first .. end - 1
  int glyph;      // glyph index of `first`
};

struct DistKernPair {
  int second;
  float amount;
};

struct DistKernGroup {
  int first;  // first code of the pairs
  int pair;   // index of its first pair
  int count;
};

struct DistTextBox {
  float x0, y0, x1, y1;
};

class DistFont {
public:
  int size = 0, spread = 0, lineHeight = 0;
  float invWidth = 0, invHeight = 0;
  Texture* texture = nullptr;
  DistFontBatchState* state = nullptr;
  DynArray<DistGlyph> glyphs;
  DynArray<DistCharRange> ranges;
  DynArray<DistKernPair> kernPairs;
  DynArray<DistKernGroup> kernGroups;

  DistFont() = default;
  ~DistFont();
  DistFont(const DistFont&) = delete;
  DistFont& operator=(const DistFont&) = delete;

  // Parses the description (path relative to the data folder); the atlas is
  // the page file next to it plus ".dds". False on a missing or malformed
  // line (what was read stays) or a missing atlas.
  bool load(const char* file);
  // Drops the glyphs and the atlas reference; the state object survives (it
  // is shared with batches). Destruction frees memory only.
  void clear();
  bool loaded() const { return texture != nullptr && !glyphs.empty(); }

  const DistGlyph* glyph(int code) const; // null when no range covers it
  float kerning(int prev, int code) const;
  // Box of the text in font texels (pen at 0, 0); `glyph_count` gets the
  // glyphs with a non-zero width. len < 0: the whole string.
  DistTextBox calcTextBox(const char* text, int len, int* glyph_count) const;
  void renderText(RenderBatch& batch, const BatchRect& rect, int align, D3dColor colour, float height,
                  const char* text, int len, float q1, float q2, float q3, float q4, D3dColor colour2,
                  BaseRenderBatchState* state) const;
};

struct DistIcon {
  char* name; // heap copy
  float u, v, width, height, xoffset, yoffset;
  float orgW, orgH; // nominal size
};

class DistIcons {
public:
  int spread = 0;
  float invWidth = 0, invHeight = 0;
  Texture* texture = nullptr;
  DistFontBatchState* state = nullptr;
  DynArray<DistIcon> icons;

  DistIcons() = default;
  ~DistIcons();
  DistIcons(const DistIcons&) = delete;
  DistIcons& operator=(const DistIcons&) = delete;

  bool load(const char* file);
  void clear();
  bool loaded() const { return texture != nullptr && !icons.empty(); }

  int getIconId(const char* name) const; // -1 when missing
  float getOrgW(int id) const;           // 0 for a bad id
  float getOrgH(int id) const;
  // One quad centred as the description places it around (x, y), turned by
  // the axis (ax, ay) ((1, 0) unrotated), `size` pixels per texel. Colours:
  // c0 silhouette, c1..c3 the red, green and blue layers, c4 the second
  // colour (outline, glow, shadow). An invalid id draws nothing.
  void renderIcon(RenderBatch& batch, float x, float y, float ax, float ay, float size, int id, float q1,
                  float q2, float q3, float q4, D3dColor c0, D3dColor c1, D3dColor c2, D3dColor c3,
                  D3dColor c4, BaseRenderBatchState* state) const;
};

extern DistFont default_font;
extern DistIcons ui_icons;

// The declarations and shaders of each kind (after the device);
// close_dist_fonts releases both kinds and clears the two shared objects.
void init_dist_fonts();
void init_dist_icons();
void close_dist_fonts();
// Loads `default_font` and `ui_icons` from "fonts/default_font.fnt" and
// "fonts/ui_icons.txt" (after init_dist_fonts / init_dist_icons); a file
// that does not load is logged and leaves its object empty.
bool load_default_dist_fonts();

// States of a distance-field pass: pixels to clip space in vertex register
// 16, no culling or depth, pre-multiplied alpha blending, wrap addressing.
void start_dist_font_render();
void end_dist_font_render();

// The packed parameter colour (outline, glow and shadow) for `s` pixels per
// texel, spread `spread` and the move already scaled into atlas units.
D3dColor dist_pack_params(float s, int spread, float q1, float p2, float p3, float q4);

// {===== For the loaders (distFont.cpp provides them; the fuzz targets stub them)

// The batch state of a loaded object: `state` with its texture set to
// `atlas`, or, when `state` is null and `atlas` is not, a new state with the
// kind's shader and declaration. Returns the state (null stays null for a
// null atlas).
DistFontBatchState* dist_font_state_for(bool icons, DistFontBatchState* state, Texture* atlas);
void dist_font_free_state(DistFontBatchState* state);
