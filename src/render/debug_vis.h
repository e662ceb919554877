// Immediate-mode debug drawing of coloured lines and triangles in world
// space through the common writer and "debug_vis.sh". Primitives go between
// start_draw_debug_vis and end_draw_debug_vis; a line after a triangle (or
// the reverse) flushes what was written and restarts the writer with the
// other primitive type, so drawing order is kept.
#pragma once
#include "render/device.h"
#include "core/math_types.h"

void init_debug_vis();
void close_debug_vis();
// Also loads the global matrix (view x projection) into vertex registers 0..3.
void start_draw_debug_vis();
void end_draw_debug_vis();

void draw_debug_vis_tri(const Vec4f& p0, const Vec4f& p1, const Vec4f& p2, D3dColor c0, D3dColor c1,
                        D3dColor c2);
void draw_debug_vis_line(const Vec4f& p0, const Vec4f& p1, D3dColor c0, D3dColor c1);
void draw_debug_vis_solid_box(const Vec4f& a, const Vec4f& b, D3dColor colour, float grow);
void draw_debug_vis_cube(const Vec4f& centre, float half_size, D3dColor colour);
void draw_debug_vis_wire_box(const Vec4f& a, const Vec4f& b, D3dColor colour);
void draw_debug_vis_cross_point(const Vec4f& p, float size, D3dColor colour);
void draw_debug_vis_sphere(const Vec4f& centre, float radius, D3dColor colour, int n);
// The sphere (x, y, z, r) of `pos_r` in the space of `m`: centre
// (x, y, z, 1) x m, radius r x the length of m's first row.
void draw_debug_vis_sphere(const Matrix44& m, const Vec4f& pos_r, D3dColor colour, int n);

// Primitive type the writer draws now (D3DPT_LINELIST or D3DPT_TRIANGLELIST).
int debug_vis_mode();
