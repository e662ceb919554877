// Where the developer map and its icons sit on the screen: pure rules, no
// drawing (the host tests include this header directly).
#pragma once
#include <math.h>

#include "ui_layout.h"

namespace devmap {

// The map shows the whole wrapping world, centred on the camera and north
// (+z) up, in a square of `size` pixels at (x0, y0).
struct Frame {
  float x0, y0, size;
};

// The square on a w x h screen: most of the shorter side, centred
// across, a little above the middle to leave a row for the legend.
inline Frame frame(float w, float h)
{
  float size = fminf(w, h) * 0.78f;
  return Frame{(w - size) * 0.5f, (h - size) * 0.42f, size};
}

// Map coordinates (0..1 from the map's left and top edge) of world point
// (wx, wz) on the map centred on (cx, cz). A point half a world away lies on
// the left or bottom edge; false for a point that is not a number.
inline bool world_to_map(float cx, float cz, float wx, float wz, float& u, float& v)
{
  if (!isfinite(cx) || !isfinite(cz) || !isfinite(wx) || !isfinite(wz)) return false;
  u = 0.5f + ui::wrap_delta(wx - cx) / ui::WORLD_SIZE;
  v = 0.5f - ui::wrap_delta(wz - cz) / ui::WORLD_SIZE;
  return true;
}

// The texture pieces that show the whole world centred on (cx, cz): up to
// two along each axis (the texture's v grows with z, the screen's y
// southwards); answers how many of `out` were filled (at most 4).
struct ImagePiece {
  float x0, y0, x1, y1; // 0..1 of the map square
  float u0, v0, u1, v1; // texture coordinates
};
inline int image_pieces(float cx, float cz, ImagePiece out[4])
{
  ui::SpanPiece us[2], vs[2];
  const int nu = ui::wrapped_pieces(cx / ui::WORLD_SIZE, 0.5f, us);
  const int nv = ui::wrapped_pieces(cz / ui::WORLD_SIZE, 0.5f, vs);
  int n = 0;
  for (int i = 0; i < nu; i++)
    for (int j = 0; j < nv; j++)
      out[n++] = ImagePiece{us[i].s0, 1 - vs[j].s1, us[i].s1, 1 - vs[j].s0, us[i].t0, vs[j].t1, us[i].t1, vs[j].t0};
  return n;
}

} // namespace devmap
