// The frame loop (see frame_loop.h for the scheduling invariants). All times
// are ticks of the clock handed to run_frame_loop().
#include "app/frame_loop.h"

#include "core/app_globals.h"
#include "core/log.h"

#include <algorithm>
#include <climits>
#include <cmath>


namespace {

constexpr int FRAME_RING = 5; // frame intervals averaged to anticipate the next frame

struct LoopState {
    int updates_per_sec = 20;
    int max_skip = 5;
    int64_t ticks_per_sec = 0; // of the running loop; 0 before the first run
    int64_t step_ticks = 1;

    int64_t update_clock = 0; // scheduled time of the latest update step
    int skip_count = 0;       // update steps since the last rendered frame
    bool frame_pending = false;
    int64_t frame_start_time = 0;
    int64_t frame_ring[FRAME_RING] = {};
    int frame_ring_pos = 0;
    int64_t frame_ring_sum = 0;

    int64_t update_start_time = 0;
    int64_t last_update_ticks = 0;
    int64_t second_start = 0;
    int frames_counted = 0;

    const FrameLoopHooks* hooks = nullptr; // set while a loop runs
};

LoopState loop;

void compute_step_ticks()
{
    if (loop.ticks_per_sec > 0)
        loop.step_ticks = std::max<int64_t>(1, loop.ticks_per_sec / loop.updates_per_sec);
    update_step_usec = int(std::lround(update_step_seconds() * 1e6));
}

float ticks_to_sec(int64_t ticks)
{
    return float(double(ticks) * (1.0 / double(loop.ticks_per_sec)));
}

int ticks_to_msec(int64_t ticks)
{
    return int(std::clamp<int64_t>(ticks * 1000 / loop.ticks_per_sec, INT_MIN, INT_MAX));
}

int ticks_to_usec(int64_t ticks)
{
    return frame_loop_ticks_to_usec(ticks, loop.ticks_per_sec);
}

bool quit_seen(const FrameLoopHooks& h)
{
    return h.quit_requested ? h.quit_requested() : quit_requested;
}

void process_messages(const FrameLoopHooks& h)
{
    if (h.process_messages)
        h.process_messages();
}

// Statistics of the previous step, then one update step.
void run_one_update(const FrameLoopHooks& h)
{
    int idx = update_history_index;
    update_time_history[idx] = ticks_to_usec(loop.last_update_ticks);
    int n = update_stats_tracker_count();
    for (int i = 0; i < n; ++i) {
        UpdateStatsTracker* t = get_update_stats_tracker(i);
        t->history[idx] = ticks_to_usec(t->accumulated);
    }
    update_history_index = (idx + 1) % STATS_HISTORY_SIZE;

    process_messages(h);

    loop.update_start_time = h.clock();
    for (int i = 0; i < n; ++i)
        get_update_stats_tracker(i)->accumulated = 0;

    time_dt = update_step_seconds();
    time_ik = 1.0f;
    if (h.update_step)
        h.update_step(time_dt);
    // reset_update_time() may have moved the start during the step.
    loop.last_update_ticks = std::max<int64_t>(0, h.clock() - loop.update_start_time);

    if (h.discard_input)
        h.discard_input();
}

void present_frame(const FrameLoopHooks& h)
{
    if (h.present)
        h.present();
    loop.frame_pending = false;

    int64_t now = h.clock();
    // A clock that went backwards must not leave a negative interval in the
    // average: it would hold back update steps until five more frames arrive.
    int64_t interval = std::max<int64_t>(0, now - loop.frame_start_time);
    int idx = frame_history_index;
    frame_time_history[idx] = ticks_to_usec(interval);
    loop.frame_ring_sum += interval - loop.frame_ring[loop.frame_ring_pos];
    loop.frame_ring[loop.frame_ring_pos] = interval;
    loop.frame_ring_pos = (loop.frame_ring_pos + 1) % FRAME_RING;
    int load = h.gpu_load ? h.gpu_load() : -1;
    gpu_load_history[idx] = load < 0 ? -1 : load;
    frame_history_index = (idx + 1) % STATS_HISTORY_SIZE;
    ++loop.frames_counted;

    if (now - loop.second_start >= loop.ticks_per_sec) {
        fps = loop.frames_counted;
        loop.frames_counted = 0;
        loop.second_start = now;
        if (h.periodic_checks)
            h.periodic_checks();
    }
}

void start_loop(const FrameLoopHooks& h)
{
    loop.hooks = &h;
    loop.ticks_per_sec = h.ticks_per_sec;
    compute_step_ticks();

    int64_t now = h.clock();
    loop.update_clock = now;
    loop.second_start = now;
    loop.frames_counted = 0;
    loop.last_update_ticks = 0;
    loop.skip_count = 0;
    loop.frame_pending = false;
    loop.frame_start_time = now;
    std::fill(std::begin(loop.frame_ring), std::end(loop.frame_ring), 0);
    loop.frame_ring_pos = 0;
    loop.frame_ring_sum = 0;
    update_history_index = 0;
    frame_history_index = 0;
    std::fill(std::begin(update_time_history), std::end(update_time_history), 0);
    std::fill(std::begin(frame_time_history), std::end(frame_time_history), 0);
    std::fill(std::begin(gpu_load_history), std::end(gpu_load_history), 0);
}

} // namespace

int frame_loop_ticks_to_usec(int64_t ticks, int64_t ticks_per_sec)
{
    if (ticks_per_sec <= 0)
        return 0;
    // Split to keep ticks * 10^6 from overflowing for long intervals.
    int64_t usec = (ticks / ticks_per_sec) * 1000000 + (ticks % ticks_per_sec) * 1000000 / ticks_per_sec;
    return int(std::clamp<int64_t>(usec, INT_MIN, INT_MAX));
}

void set_update_rate(int updates_per_sec, int max_skip)
{
    loop.updates_per_sec = std::max(1, updates_per_sec);
    loop.max_skip = std::max(0, max_skip);
    compute_step_ticks();
}

float update_step_seconds()
{
    if (loop.ticks_per_sec <= 0)
        return 1.0f / float(loop.updates_per_sec);
    return ticks_to_sec(loop.step_ticks);
}

void reset_update_time()
{
    if (loop.hooks)
        loop.update_start_time = loop.hooks->clock();
}

void run_frame_loop(const FrameLoopHooks& h)
{
    ASSERT(h.clock && h.ticks_per_sec > 0);
    start_loop(h);
    const int64_t backlog_limit = 500 * h.ticks_per_sec / 1000;

    bool update_due = !quit_seen(h);
    bool running = update_due;
    while (running) {
        if (update_due) {
            run_one_update(h);
            if (quit_seen(h))
                break;
        }

        // Wait and render: present the last frame, or wait for a lost device.
        if (loop.frame_pending) {
            present_frame(h);
        } else if (h.check_device && !h.check_device()) {
            int64_t lag = h.clock() - loop.update_clock;
            if (lag > 0 && h.sleep_ms)
                h.sleep_ms(ticks_to_msec(lag) / 2);
        }
        process_messages(h);

        const int64_t step = loop.step_ticks;
        int64_t now = h.clock();
        int64_t lag = now - loop.update_clock;
        if (lag <= -step) { // the clock went backwards
            lag = 0;
            loop.update_clock = now;
        }
        if (lag > backlog_limit) { // drop the backlog: exactly one step is due
            loop.update_clock = now - step;
            lag = step;
        }
        int64_t avg = std::min(loop.frame_ring_sum / FRAME_RING, step / 2);

        // A step falls due before the next frame would be shown.
        if (lag + avg >= step && ++loop.skip_count <= loop.max_skip) {
            loop.update_clock += step;
            update_due = true;
            running = !quit_seen(h);
            continue;
        }

        int64_t x = std::clamp<int64_t>(lag + avg / 2, 0, step);
        time_dt = ticks_to_sec(x);
        time_ik = time_dt / update_step_seconds();
        if (h.render && h.render(time_dt)) {
            loop.frame_pending = true;
            loop.frame_start_time = now;
        }

        if (loop.skip_count > loop.max_skip) {
            // Forced frame after too many steps: restart the schedule now,
            // with one step at once.
            loop.skip_count = 0;
            loop.update_clock = h.clock();
            update_due = true;
        } else {
            loop.skip_count = -1;
            update_due = false;
        }
        running = !quit_seen(h);
    }

    if (!loop.frame_pending && h.frame_wanted_at_exit && h.frame_wanted_at_exit() && h.render) {
        time_dt = 0.0f;
        time_ik = 0.0f;
        loop.frame_pending = h.render(0.0f);
    }
    if (loop.frame_pending) {
        if (h.present)
            h.present();
        loop.frame_pending = false;
    }
    if (h.discard_input)
        h.discard_input();
    loop.hooks = nullptr;
}
