// The statistics overlay (see stats_overlay.h). Layout, in pixels from the
// top-left corner, with L the overlay's line height and G = height / 4 the
// graphs' height:
//   frame graph   top right, 100 columns of max(1, width / 200) pixels;
//                 2 steps fill G, a green band marks one step
//   update graph  top left, same columns, scaled to the largest update time
//   legend        below the update graph: trackers (first lowest), "other",
//                 "total" on top; maximum right-aligned at 7L, average at
//                 14L, name from 15L
//   text panel    bottom right, 12L wide and 14L high
#include "devtools/stats_overlay.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

#include "core/stats_tracker.h"
#include "render/device.h"
#include "render/font.h"
#include "script/sqMath.h"

namespace {

constexpr uint32_t PANEL_COLOR = 0x40000000;
constexpr uint32_t STEP_BAND_COLOR = 0x20008000;
constexpr uint32_t WHITE = 0xFFFFFFFF;

struct HistoryStats {
  int max, min, sum;
  int average() const { return (sum + 50) / 100; }
};

// Maximum, minimum and sum of 100 entries. Both extremes start from the
// first entry: a history that only rises would otherwise never set the
// minimum and show INT_MAX.
HistoryStats history_stats(const int* h)
{
  HistoryStats s{h[0], h[0], 0};
  for (int i = 0; i < STATS_HISTORY_SIZE; ++i) {
    s.sum += h[i];
    if (h[i] > s.max)
      s.max = h[i];
    else if (h[i] < s.min)
      s.min = h[i];
  }
  return s;
}

// Age fraction of slot `k` when `next` is the next slot to be written: the
// newest entry is nearly 1, the one to be overwritten next is 0.
float age_fraction(int k, int next)
{
  return float(((k - next) % STATS_HISTORY_SIZE + STATS_HISTORY_SIZE) % STATS_HISTORY_SIZE) / 100.0f;
}

uint32_t scale_rgb(uint32_t color, float f)
{
  auto ch = [&](int shift) { return uint32_t(float((color >> shift) & 255) * f + 0.5f) << shift; };
  return (color & 0xFF000000u) | ch(16) | ch(8) | ch(0);
}

uint32_t unit_rgb(float r, float g, float b)
{
  auto ch = [](float v) { return uint32_t(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
  return 0xFF000000u | ch(r) << 16 | ch(g) << 8 | ch(b);
}

void text(const StatsOverlayPainter& p, const char* s, int x, int y, int ha, int va, uint32_t color)
{
  p.text(p.self, s, x, y, ha, va, color);
}

void draw_frame_graph(const StatsOverlayInputs& in, const StatsOverlayPainter& p, int col_w, int graph_h)
{
  const int x0 = in.width - STATS_HISTORY_SIZE * col_w;
  const int two_steps = 2 * in.step_usec;
  p.rect(p.self, x0, 0, in.width, graph_h, PANEL_COLOR);
  p.rect(p.self, x0, 0, in.width, int(int64_t(in.step_usec) * graph_h / two_steps), STEP_BAND_COLOR);
  int largest = INT_MIN;
  for (int k = 0; k < STATS_HISTORY_SIZE; ++k)
    largest = std::max(largest, in.frame_times[k]);
  bool labelled = false;
  for (int k = 0; k < STATS_HISTORY_SIZE; ++k) {
    int v = in.frame_times[k];
    int h = int(std::clamp<int64_t>(int64_t(v) * graph_h / two_steps, 0, graph_h));
    float f = age_fraction(k, in.frame_index);
    uint32_t color = v < in.step_usec ? unit_rgb(0, 0.5f * f, 0) : unit_rgb(0.5f * f, 0, 0);
    int x = x0 + k * col_w;
    if (h > 0) p.rect(p.self, x, 0, x + col_w, h, color);
    if (!labelled && v >= largest) {
      labelled = true;
      char label[16];
      snprintf(label, sizeof label, "%d", v);
      // At the end of the bar, but kept in the upper half so it stays in the block.
      text(p, label, x, std::min(h, graph_h / 2), 1, -1, WHITE);
    }
  }
}

void draw_update_graph(const StatsOverlayInputs& in, const StatsOverlayPainter& p, int col_w, int graph_h)
{
  static UpdateStatsTracker other("other"); // never registered nor timed
  const int n = update_stats_tracker_count();
  for (int t = 0; t < n; ++t)
    get_update_stats_tracker(t)->color = stats_overlay_legend_color(t);
  other.color = stats_overlay_legend_color(n);

  HistoryStats total = history_stats(in.update_times);
  const int largest = std::max(total.max, 1);
  for (int i = 0; i < STATS_HISTORY_SIZE; ++i) {
    int rest = in.update_times[i];
    for (int t = 0; t < n; ++t)
      rest -= get_update_stats_tracker(t)->history[i];
    // Work timed outside the step (a long generation) can exceed the step.
    other.history[i] = std::max(rest, 0);
  }
  p.rect(p.self, 0, 0, STATS_HISTORY_SIZE * col_w, graph_h, PANEL_COLOR);
  for (int i = 0; i < STATS_HISTORY_SIZE; ++i) {
    float f = age_fraction(i, in.update_index);
    int x = i * col_w, y = 0;
    for (int t = n; t >= 0 && y < graph_h; --t) {
      UpdateStatsTracker* tr = t == n ? &other : get_update_stats_tracker(t);
      int h = int(std::min<int64_t>(int64_t(std::max(tr->history[i], 0)) * graph_h / largest, graph_h - y));
      if (h > 0) p.rect(p.self, x, y, x + col_w, y + h, scale_rgb(tr->color, f));
      y += h;
    }
  }

  const int L = in.line_height;
  char buf[32];
  auto legend_line = [&](int y, int max, int avg, const char* name, uint32_t color) {
    snprintf(buf, sizeof buf, "%d", max);
    text(p, buf, 7 * L, y, 1, 1, color);
    snprintf(buf, sizeof buf, "%d", avg);
    text(p, buf, 14 * L, y, 1, 1, color);
    text(p, name, 15 * L, y, -1, 1, color);
  };
  int y = graph_h + L * (n + 3);
  for (int t = 0; t <= n; ++t, y -= L) {
    UpdateStatsTracker* tr = t == n ? &other : get_update_stats_tracker(t);
    HistoryStats s = history_stats(tr->history);
    tr->sum = s.sum;
    tr->max = s.max;
    legend_line(y, s.max, s.average(), tr->name, tr->color);
  }
  legend_line(y, total.max, total.average(), "total", WHITE);
}

void draw_text_panel(const StatsOverlayInputs& in, const StatsOverlayPainter& p)
{
  const int L = in.line_height, W = in.width, H = in.height;
  p.rect(p.self, W - 12 * L, H - 14 * L, W, H, PANEL_COLOR);
  const int label_x = W - 11 * L;
  HistoryStats frame = history_stats(in.frame_times);
  HistoryStats update = history_stats(in.update_times);
  HistoryStats gpu = history_stats(in.gpu_loads);
  text(p, "FPS", label_x, H, -1, 1, WHITE);
  text(p, "frame\ntime", label_x, H - 3 * L, -1, 0, WHITE);
  text(p, "update\ntime", label_x, H - 13 * L / 2, -1, 0, WHITE);
  text(p, "tex\nmem", label_x, H - 9 * L, -1, 0, WHITE);
  char buf[32];
  auto value = [&](const char* format, int v, int y) {
    snprintf(buf, sizeof buf, format, v);
    text(p, buf, W, y, 1, 1, WHITE);
  };
  value("%d", in.fps, H);
  value("%02d", frame.max, H - 3 * L / 2);
  value("%02d", frame.average(), H - 5 * L / 2);
  value("%02d", frame.min, H - 7 * L / 2);
  value("%02d", update.max, H - 5 * L);
  value("%02d", update.average(), H - 6 * L);
  value("%02d", update.min, H - 7 * L);
  value("%3d MB", int(in.free_texmem >> 20), H - 17 * L / 2);
  if (gpu.max >= 0) {
    text(p, "GPU\nload", label_x, H - 23 * L / 2, -1, 0, WHITE);
    value("%3d%%", gpu.max, H - 10 * L);
    value("%3d%%", gpu.average(), H - 11 * L);
    value("%3d%%", gpu.min, H - 12 * L);
  }
}

void font_rect(void*, int x0, int y0, int x1, int y1, uint32_t color)
{
  draw_rect(x0, y0, x1, y1, color);
}

void font_text(void*, const char* s, int x, int y, int ha, int va, uint32_t color)
{
  draw_text(s, -1, x, y, ha, va, color);
}

} // namespace

uint32_t stats_overlay_legend_color(int n)
{
  // The hue is a fraction of the circle; hsv2rgba takes degrees.
  double h = 0.3;
  for (int i = 0; i < n; ++i)
    h = std::fmod(h + 0.618034, 1.0);
  Vec4f c = hsv2rgba(float(h * 360.0), 1, 1, 1);
  return unit_rgb(c.x, c.y, c.z);
}

void draw_stats_overlay_with(const StatsOverlayInputs& in, const StatsOverlayPainter& painter)
{
  const int col_w = std::max(1, in.width / 200);
  const int graph_h = in.height / 4;
  draw_frame_graph(in, painter, col_w, graph_h);
  draw_update_graph(in, painter, col_w, graph_h);
  draw_text_panel(in, painter);
}

void draw_stats_overlay()
{
  const FontState saved = get_font_state();
  const int cell_h = std::max(1, font_cell_height());
  FontState state = saved;
  state.scale = std::max(1, d3d_ht / (40 * cell_h));
  set_font_state(state);

  StatsOverlayInputs in;
  in.width = d3d_wd;
  in.height = d3d_ht;
  in.line_height = cell_h * state.scale;
  in.update_times = update_time_history;
  in.frame_times = frame_time_history;
  in.gpu_loads = gpu_load_history;
  in.update_index = update_history_index;
  in.frame_index = frame_history_index;
  in.fps = fps;
  in.free_texmem = get_free_texmem();
  in.step_usec = update_step_usec;
  draw_stats_overlay_with(in, StatsOverlayPainter{font_rect, font_text, nullptr});

  set_font_state(saved);
}
