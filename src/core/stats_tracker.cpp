// The registry of update-step timing trackers (see stats_tracker.h).
#include "core/stats_tracker.h"

#include "core/log.h"
#include "core/platform.h"

#include <cstdio>

int update_time_history[STATS_HISTORY_SIZE];
int frame_time_history[STATS_HISTORY_SIZE];
int gpu_load_history[STATS_HISTORY_SIZE];
int update_history_index = 0;
int frame_history_index = 0;
int fps = 0;
int update_step_usec = 50000;

namespace {
UpdateStatsTracker* trackers[MAX_UPDATE_STATS_TRACKERS];
int tracker_count = 0;
} // namespace

UpdateStatsTracker::UpdateStatsTracker(const char* tracker_name)
{
    snprintf(name, sizeof(name), "%s", tracker_name ? tracker_name : "");
}

void UpdateStatsTracker::start()
{
    start(get_ref_time());
}

void UpdateStatsTracker::start(int64_t now)
{
    if (index < 0)
        register_update_stats_tracker(this);
    startTime = now;
}

void UpdateStatsTracker::stop()
{
    stop(get_ref_time());
}

void UpdateStatsTracker::stop(int64_t now)
{
    accumulated += now - startTime;
}

void register_update_stats_tracker(UpdateStatsTracker* tracker)
{
    if (!tracker)
        return;
    for (int i = 0; i < tracker_count; ++i)
        if (trackers[i] == tracker)
            return;
    if (tracker_count >= MAX_UPDATE_STATS_TRACKERS)
        fatal("too many update statistics trackers (%d), cannot add '%s'", tracker_count, tracker->name);
    tracker->index = tracker_count;
    trackers[tracker_count++] = tracker;
}

int update_stats_tracker_count()
{
    return tracker_count;
}

UpdateStatsTracker* get_update_stats_tracker(int index)
{
    return index >= 0 && index < tracker_count ? trackers[index] : nullptr;
}
