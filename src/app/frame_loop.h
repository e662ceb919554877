// The frame loop: fixed update steps of 1/20 s with rendering in between.
//
// Scheduling invariants:
// - `update_clock` is the scheduled time of the latest update step; a step is
//   due when the lag behind it, plus the expected time until the next frame
//   is shown (average of the last five frame intervals, at most half a step),
//   reaches one step.
// - At most max_skip + 1 (6) update steps run between two rendered frames;
//   when a seventh falls due a frame is rendered first and the schedule
//   restarts from the present time.
// - A backlog of more than 500 ms is dropped (exactly one step is due), and
//   a clock that goes back by a step or more resynchronises the schedule.
//
// The loop is parameterised by its clock and by every call it makes, so the
// game runs this code with the real time base and device, and tests drive it
// with a fake clock. Nothing is allocated while it runs.
#pragma once
#include "core/stats_tracker.h"

#include <cstdint>
#include <functional>

struct FrameLoopHooks {
    std::function<int64_t()> clock; // required: monotonic ticks
    int64_t ticks_per_sec = 0;      // required: > 0

    // All optional; a missing hook does nothing (check_device then reports a
    // working device, render renders nothing, gpu_load reports -1).
    std::function<void(float dt)> update_step; // one update step of dt seconds
    std::function<bool(float dt)> render;      // true: a frame waits to be presented
    std::function<void()> present;
    std::function<void()> process_messages;
    std::function<bool()> check_device;        // false: the device is lost
    std::function<void()> periodic_checks;     // once a second, after a present
    std::function<int()> gpu_load;             // percent, or -1 when unknown
    std::function<void()> discard_input;       // input is consumed by update steps only
    std::function<void(int ms)> sleep_ms;
    // Missing: the global `quit_requested` (app_globals.h) ends the loop.
    std::function<bool()> quit_requested;
    // True when the loop must show one more frame before it returns (a
    // screenshot asked for in the last steps is taken from a presented frame).
    std::function<bool()> frame_wanted_at_exit;
};

// Updates per second (below 1 counts as 1) and the number of extra steps
// allowed between two frames (negative counts as 0). The step length is
// ticks per second / rate, at least one tick.
void set_update_rate(int updates_per_sec, int max_skip);
// The step length in seconds (0.05 at 20 updates per second).
float update_step_seconds();
// Restarts the measurement of the current update step now, so that a long
// operation inside a step stays out of update_time_history. The schedule is
// not touched. Does nothing while no loop runs.
void reset_update_time();
// Runs the loop until the quit flag is seen; presents a pending frame and
// discards pending input before returning.
void run_frame_loop(const FrameLoopHooks& hooks);

// Tick conversions with the loop's time base (truncating, saturated to int).
int frame_loop_ticks_to_usec(int64_t ticks, int64_t ticks_per_sec);
