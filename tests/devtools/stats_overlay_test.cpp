// The statistics overlay as drawn: a painter records every rectangle and
// text, so the legend, the graphs' colours and the text panel can be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/stats_tracker.h"
#include "devtools/stats_overlay.h"

namespace {

struct Rect {
  int x0, y0, x1, y1;
  uint32_t color;
};
struct Text {
  std::string s;
  int x, y, ha, va;
  uint32_t color;
};

struct Recorder {
  std::vector<Rect> rects;
  std::vector<Text> texts;
  StatsOverlayPainter painter()
  {
    return {[](void* self, int x0, int y0, int x1, int y1, uint32_t c) {
              static_cast<Recorder*>(self)->rects.push_back({x0, y0, x1, y1, c});
            },
            [](void* self, const char* s, int x, int y, int ha, int va, uint32_t c) {
              static_cast<Recorder*>(self)->texts.push_back({s, x, y, ha, va, c});
            },
            this};
  }
  int count(const std::string& s) const
  {
    return (int)std::count_if(texts.begin(), texts.end(), [&](const Text& t) { return t.s == s; });
  }
  const Text* find(const std::string& s) const
  {
    for (const Text& t : texts)
      if (t.s == s) return &t;
    return nullptr;
  }
  // The bar drawn in column `x` that starts at the top (frame graph).
  const Rect* bar_at(int x) const
  {
    for (const Rect& r : rects)
      if (r.x0 == x && r.y0 == 0 && r.x1 == x + (r.x1 - r.x0) && r.color != 0x40000000 && r.color != 0x20008000)
        return &r;
    return nullptr;
  }
};

struct Histories {
  int update[100], frame[100], gpu[100];
  Histories(int u, int f, int g)
  {
    std::fill_n(update, 100, u);
    std::fill_n(frame, 100, f);
    std::fill_n(gpu, 100, g);
  }
  StatsOverlayInputs inputs(int update_index = 0, int frame_index = 0) const
  {
    return {800, 600, 10, update, frame, gpu, update_index, frame_index, 60, 256u << 20, 50000};
  }
};

UpdateStatsTracker first_tracker("first test tracker");
UpdateStatsTracker second_tracker("second test tracker");

TEST(StatsOverlay, LegendListsEachTrackerOnceWithOtherAndTotalAboveInDistinctColours)
{
  register_update_stats_tracker(&first_tracker);
  register_update_stats_tracker(&second_tracker);
  register_update_stats_tracker(&first_tracker); // a second registration changes nothing
  const int n = update_stats_tracker_count();
  std::fill_n(first_tracker.history, 100, 0);
  std::fill_n(second_tracker.history, 100, 0);
  first_tracker.history[7] = 30000;
  second_tracker.history[7] = 5000;

  Histories h(1000, 16000, -1);
  h.update[7] = 40000;
  Recorder rec;
  draw_stats_overlay_with(h.inputs(), rec.painter());
  EXPECT_EQ(rec.count("first test tracker"), 1);
  EXPECT_EQ(rec.count("second test tracker"), 1);
  EXPECT_EQ(rec.count("other"), 1);
  EXPECT_EQ(rec.count("total"), 1);

  // Lines from the bottom: the first tracker lowest, then upwards, "total" on top.
  const int graph_h = 600 / 4, L = 10;
  const Text* first = rec.find("first test tracker");
  const Text* other = rec.find("other");
  const Text* total = rec.find("total");
  EXPECT_EQ(first->y, graph_h + L * (n + 3) - L * first_tracker.index);
  EXPECT_EQ(other->y, graph_h + 3 * L);
  EXPECT_EQ(total->y, graph_h + 2 * L);
  EXPECT_EQ(first->x, 15 * L);
  EXPECT_EQ(total->color, 0xFFFFFFFFu);
  EXPECT_EQ(first_tracker.max, 30000);
  EXPECT_EQ(first_tracker.sum, 30000);
  EXPECT_NE(rec.find("30000"), nullptr);
  EXPECT_NE(rec.find("300"), nullptr); // (30000 + 50) / 100

  // Neighbouring hues are far apart (the hue is a fraction of the whole circle).
  for (int i = 0; i < 6; ++i) {
    uint32_t a = stats_overlay_legend_color(i), b = stats_overlay_legend_color(i + 1);
    int diff = 0;
    for (int shift = 0; shift < 24; shift += 8)
      diff += std::abs(int((a >> shift) & 255) - int((b >> shift) & 255));
    EXPECT_GT(diff, 150) << i;
  }
  EXPECT_EQ(first_tracker.color, stats_overlay_legend_color(first_tracker.index));

  // Slot 7 stacks from the top: "other" (40000 - 35000) first, then the later tracker.
  const int largest = 40000;
  std::vector<Rect> slot;
  for (const Rect& r : rec.rects)
    if (r.x0 == 7 * 4 && r.x1 == 8 * 4 && r.color != 0x40000000) slot.push_back(r);
  ASSERT_GE(slot.size(), 3u);
  EXPECT_EQ(slot[0].y0, 0);
  EXPECT_EQ(slot[0].y1, 5000 * graph_h / largest);
  EXPECT_EQ(slot[1].y0, slot[0].y1);
  EXPECT_EQ(slot[1].y1 - slot[1].y0, 5000 * graph_h / largest);
  EXPECT_NEAR(slot.back().y1, graph_h, 3); // the whole update time fills the block (rounded per part)
}

TEST(StatsOverlay, GpuLoadIsShownOnlyWithAReading)
{
  Histories none(20000, 16000, -1);
  Recorder rec;
  draw_stats_overlay_with(none.inputs(), rec.painter());
  EXPECT_EQ(rec.find("GPU\nload"), nullptr);
  EXPECT_NE(rec.find("frame\ntime"), nullptr);
  EXPECT_NE(rec.find("256 MB"), nullptr);
  EXPECT_NE(rec.find("60"), nullptr);

  Histories some(20000, 16000, -1);
  some.gpu[3] = 40;
  Recorder rec2;
  draw_stats_overlay_with(some.inputs(), rec2.painter());
  EXPECT_NE(rec2.find("GPU\nload"), nullptr);
  EXPECT_NE(rec2.find(" 40%"), nullptr);
}

TEST(StatsOverlay, FrameBarsFadeWithAgeTurnRedAboveAStepAndRisingTimesKeepTheirMinimum)
{
  Histories h(20000, 0, -1);
  for (int k = 0; k < 100; ++k)
    h.frame[k] = 10000 + k * 500; // only rises: the first entry is the minimum
  h.frame[50] = 90000;
  Recorder rec;
  draw_stats_overlay_with(h.inputs(0, 40), rec.painter());
  const int col_w = 4, x0 = 800 - 100 * col_w, graph_h = 150;

  const Rect* newest = rec.bar_at(x0 + 39 * col_w);
  const Rect* oldest = rec.bar_at(x0 + 40 * col_w);
  const Rect* slow = rec.bar_at(x0 + 50 * col_w);
  ASSERT_TRUE(newest && oldest && slow);
  EXPECT_EQ(newest->color, 0xFF007E00u); // green: 0.5 x 0.99 of full
  EXPECT_EQ(oldest->color, 0xFF000000u); // next to be overwritten: black
  EXPECT_EQ(slow->color & 0x0000FF00u, 0u);
  EXPECT_GT(slow->color & 0x00FF0000u, 0u); // over one step: red
  EXPECT_EQ(slow->y1, 90000 * graph_h / 100000);

  // The largest value is labelled at its column, kept in the upper half.
  const Text* label = rec.find("90000");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->x, x0 + 50 * col_w);
  EXPECT_EQ(label->y, graph_h / 2);
  EXPECT_NE(rec.find("10000"), nullptr); // the minimum, not 2147483647
  EXPECT_EQ(rec.find("2147483647"), nullptr);
}

} // namespace
