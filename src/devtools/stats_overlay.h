// The statistics overlay (F1, with the readouts): frame rate, frame and
// update times, free texture memory and GPU load as text at the bottom
// right; the last 100 frame times as bars at the top right; the last 100
// update steps at the top left, each stacked by timing tracker (the
// registered UpdateStatsTrackers, then "other" for the untimed rest), with a
// legend of maximum, average and name below.
//
// Drawing goes through a painter, so tests can see exactly what is drawn;
// the program uses the bitmap font's immediate drawing. Nothing is allocated
// while drawing: the overlay reads the loop's and trackers' fixed arrays.
#pragma once
#include <cstdint>

struct StatsOverlayPainter {
  // Filled rectangle, x1 and y1 exclusive; colour 0xAARRGGBB.
  void (*rect)(void* self, int x0, int y0, int x1, int y1, uint32_t color);
  // Text with the font's alignments (-1 left/top, 0 centre, 1 right/bottom).
  void (*text)(void* self, const char* text, int x, int y, int h_align, int v_align, uint32_t color);
  void* self;
};

// What the overlay reads, so that tests can give it any histories. The
// program's values come from stats_overlay_inputs().
struct StatsOverlayInputs {
  int width, height;       // back buffer (d3d_wd, d3d_ht)
  int line_height;         // L: font cell height x the overlay's scale
  const int* update_times; // 100 entries each (microseconds, percent)
  const int* frame_times;
  const int* gpu_loads;
  int update_index;        // next slot to be written (the oldest entry)
  int frame_index;
  int fps;
  unsigned free_texmem;    // bytes
  int step_usec;           // one update step (50000)
};

// Draws the overlay with the given inputs. The trackers' `sum`, `max` and
// `color` are updated as the legend shows them.
void draw_stats_overlay_with(const StatsOverlayInputs& in, const StatsOverlayPainter& painter);

// The program's overlay: the loop's histories, the bitmap font at scale
// d3d_ht / (40 x cell height) (at least 1) for its duration, drawn between
// start_draw_text and end_draw_text.
void draw_stats_overlay();

// The legend colour of the n-th entry (0 = first registered tracker): hues
// a golden-ratio fraction of the circle apart, starting at 0.3 of it.
uint32_t stats_overlay_legend_color(int n);
