// Update-step timing trackers: named accumulators that subsystems wrap around
// their work in an update step. The frame loop copies each registered
// tracker's accumulated time into its history at the start of every step and
// then clears it; the statistics overlay draws the histories.
//
// Trackers are static objects that register themselves on first use and are
// never removed, so the registry is a fixed array of pointers.
#pragma once
#include <cstdint>

constexpr int STATS_HISTORY_SIZE = 100;
constexpr int MAX_UPDATE_STATS_TRACKERS = 64;

// Loop statistics, written by the frame loop and read by the overlay and the
// developer server: microseconds per update step, microseconds per presented
// frame, GPU load in percent (-1 unknown). The update index and the frame
// index (shared by the two frame histories) are the next slots to be written,
// so they also mark the oldest entries.
extern int update_time_history[STATS_HISTORY_SIZE];
extern int frame_time_history[STATS_HISTORY_SIZE];
extern int gpu_load_history[STATS_HISTORY_SIZE];
extern int update_history_index;
extern int frame_history_index;
extern int fps;              // frames presented in the last whole second
extern int update_step_usec; // length of one update step

class UpdateStatsTracker {
public:
    explicit UpdateStatsTracker(const char* name);

    // Registers on first use; start time = now.
    void start();
    void start(int64_t now);
    // accumulated += now - start time.
    void stop();
    void stop(int64_t now);

    int index = -1;              // position in the registry, -1 until registered
    int64_t startTime = 0;       // ticks at the start of the current measurement
    int64_t accumulated = 0;     // ticks measured during the current update step
    int history[STATS_HISTORY_SIZE] = {}; // microseconds per update step
    char name[256] = {};
    int sum = 0, max = 0;        // per-draw statistics of the history (overlay)
    uint32_t color = 0xFFFFFFFF; // bars and legend line (set by the overlay)
};

// Appends a tracker not yet registered and stores its index; null and
// already registered trackers are ignored. Registering more than
// MAX_UPDATE_STATS_TRACKERS trackers fails through fatal().
void register_update_stats_tracker(UpdateStatsTracker* tracker);

int update_stats_tracker_count();
UpdateStatsTracker* get_update_stats_tracker(int index);

// Times the enclosing scope under a tracker.
class ScopedStatsTiming {
public:
    explicit ScopedStatsTiming(UpdateStatsTracker& t) : tracker(t) { tracker.start(); }
    ~ScopedStatsTiming() { tracker.stop(); }
    ScopedStatsTiming(const ScopedStatsTiming&) = delete;
    ScopedStatsTiming& operator=(const ScopedStatsTiming&) = delete;

private:
    UpdateStatsTracker& tracker;
};
