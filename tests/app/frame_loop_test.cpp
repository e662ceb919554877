// The frame loop driven by a fake clock: time passes only in the hooks
// (update and render costs, sleeps), so every schedule is exact and repeatable.
#include "core/app_globals.h"
#include "app/frame_loop.h"
#include "core/stats_tracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr int64_t TPS = 1000000000; // nanosecond ticks, as the real time base
constexpr int64_t MS = TPS / 1000;
constexpr int64_t STEP = 50 * MS;

struct Event {
    char kind; // U update, R render, P present, C periodic checks, S sleep
    int64_t time;
};

struct FakeGame {
    int64_t now = 0;
    int64_t update_cost = 1 * MS;
    int64_t render_cost = 4 * MS;
    bool device_lost = false;
    int gpu_load = -1;
    std::vector<Event> events;
    std::function<void(FakeGame&)> on_update;
    std::function<bool(const FakeGame&)> quit;
    float min_render_ik = 2, max_render_ik = -1;
    bool update_saw_step_values = true;

    FakeGame() { events.reserve(1 << 16); }

    int count(char kind) const
    {
        return int(std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.kind == kind; }));
    }
    int count(char kind, int64_t from, int64_t to) const
    {
        return int(std::count_if(events.begin(), events.end(),
                                 [&](const Event& e) { return e.kind == kind && e.time >= from && e.time < to; }));
    }
    // Longest run of update steps with no rendered frame between them.
    int longest_update_run() const
    {
        int run = 0, best = 0;
        for (const Event& e : events) {
            if (e.kind == 'U')
                best = std::max(best, ++run);
            else if (e.kind == 'R')
                run = 0;
        }
        return best;
    }

    FrameLoopHooks hooks()
    {
        FrameLoopHooks h;
        h.clock = [this] { return now; };
        h.ticks_per_sec = TPS;
        h.update_step = [this](float dt) {
            if (dt != 0.05f || time_dt != 0.05f || time_ik != 1.0f)
                update_saw_step_values = false;
            events.push_back({'U', now});
            now += update_cost;
            if (on_update)
                on_update(*this);
        };
        h.render = [this](float dt) {
            if (device_lost)
                return false;
            min_render_ik = std::min(min_render_ik, time_ik);
            max_render_ik = std::max(max_render_ik, time_ik);
            events.push_back({'R', now});
            now += render_cost;
            return true;
        };
        h.present = [this] { events.push_back({'P', now}); };
        // Asking the device takes a moment; without it a lost device whose
        // next step is scheduled just ahead would spin on a frozen clock.
        h.check_device = [this] {
            now += MS / 100;
            return !device_lost;
        };
        h.periodic_checks = [this] { events.push_back({'C', now}); };
        h.gpu_load = [this] { return gpu_load; };
        // A sleep of 0 ms still yields for a moment.
        h.sleep_ms = [this](int ms) {
            events.push_back({'S', now});
            now += std::max<int64_t>(ms * MS, MS / 10);
        };
        h.quit_requested = [this] { return quit(*this); };
        return h;
    }

    void run_until(int64_t end)
    {
        if (!quit)
            quit = [end](const FakeGame& g) { return g.now >= end; };
        FrameLoopHooks h = hooks();
        run_frame_loop(h);
    }
};

class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        set_update_rate(20, 5);
        quit_requested = false;
    }
};

TEST_F(FrameLoopTest, SixtySecondsRunTwelveHundredStepsWithStepValues)
{
    FakeGame g;
    // Stop between two scheduled steps so the count does not depend on the
    // few milliseconds a step may run ahead of its frame.
    g.run_until(60 * TPS - 20 * MS);
    EXPECT_EQ(g.count('U'), 1200);
    EXPECT_TRUE(g.update_saw_step_values);
    EXPECT_GE(g.min_render_ik, 0.0f);
    EXPECT_LE(g.max_render_ik, 1.0f);
    // Frames interleave: every step is followed by at least one frame.
    EXPECT_EQ(g.longest_update_run(), 1);
    EXPECT_GT(g.count('R'), 1200 * 5);
}

TEST_F(FrameLoopTest, StallInsideOneStepLeadsToExactlyOneImmediateStep)
{
    FakeGame g;
    int64_t stall_end = 0;
    g.on_update = [&](FakeGame& game) {
        if (game.count('U') == 20) {
            game.now += 2 * TPS;
            stall_end = game.now;
        }
    };
    g.run_until(5 * TPS);
    ASSERT_GT(stall_end, 0);

    auto first_after = std::find_if(g.events.begin(), g.events.end(),
                                    [&](const Event& e) { return e.time >= stall_end; });
    ASSERT_NE(first_after, g.events.end());
    // The step due after the stall runs before any frame is rendered...
    auto first_render = std::find_if(first_after, g.events.end(), [](const Event& e) { return e.kind == 'R'; });
    EXPECT_EQ(std::count_if(first_after, first_render, [](const Event& e) { return e.kind == 'U'; }), 1);
    // ...and then the schedule goes on at 20 steps per second, with no burst.
    EXPECT_EQ(g.count('U', stall_end, stall_end + 30 * MS), 1);
    EXPECT_NEAR(g.count('U', stall_end, stall_end + 2 * TPS), 40, 1);
}

TEST_F(FrameLoopTest, AtMostSixStepsBetweenTwoFrames)
{
    FakeGame g;
    g.update_cost = 60 * MS; // slower than real time: the backlog grows
    g.render_cost = 5 * MS;
    g.run_until(10 * TPS);
    EXPECT_EQ(g.longest_update_run(), 6);
    EXPECT_GT(g.count('R'), 10);

    FakeGame h;
    h.update_cost = 45 * MS; // a step plus a frame take longer than a step
    h.render_cost = 10 * MS;
    h.run_until(20 * TPS);
    EXPECT_LE(h.longest_update_run(), 6);
    EXPECT_GT(h.longest_update_run(), 1);
}

TEST_F(FrameLoopTest, ShortStallCatchesUpWithSixStepsBeforeTheNextFrame)
{
    FakeGame g;
    g.on_update = [](FakeGame& game) {
        if (game.count('U') == 20)
            game.now += 400 * MS; // eight steps behind, below the 500 ms limit
    };
    g.run_until(3 * TPS);
    EXPECT_EQ(g.longest_update_run(), 6);
}

TEST_F(FrameLoopTest, StepsRunJustBeforeTheFrameThatWouldShowThemLate)
{
    FakeGame g;
    g.update_cost = 0;
    g.render_cost = 10 * MS;
    g.run_until(3 * TPS);
    int k = 0;
    for (const Event& e : g.events) {
        if (e.kind != 'U')
            continue;
        // Scheduled at k * 50 ms; the frames take 10 ms, so once five frame
        // times are known it runs within the 10 ms before that, never after.
        if (k >= 2) {
            EXPECT_LE(e.time, k * STEP) << k;
            EXPECT_GE(e.time, k * STEP - 10 * MS) << k;
        }
        ++k;
    }
    EXPECT_EQ(k, 61); // the step due at 3 s runs before the frame at 3 s
}

TEST_F(FrameLoopTest, BackwardClockJumpResynchronises)
{
    FakeGame g;
    int64_t jump_at = 0;
    g.on_update = [&](FakeGame& game) {
        if (game.count('U') == 40) {
            game.now -= 10 * TPS;
            jump_at = game.now;
        }
    };
    g.quit = [&](const FakeGame& game) { return jump_at != 0 && game.now >= jump_at + 3 * TPS; };
    g.run_until(0);
    ASSERT_NE(jump_at, 0);
    // Without the resynchronisation no step would run for ten seconds.
    EXPECT_EQ(g.count('U', jump_at, jump_at + 60 * MS), 1);
    EXPECT_NEAR(g.count('U', jump_at, jump_at + 3 * TPS), 60, 1);
}

TEST_F(FrameLoopTest, LostDeviceStopsRenderingButNotUpdates)
{
    FakeGame g;
    g.on_update = [](FakeGame& game) {
        game.device_lost = game.now >= 1 * TPS && game.now < 4 * TPS;
    };
    g.run_until(6 * TPS);
    // While lost: no frames, updates at 20 per second, and the loop sleeps.
    EXPECT_EQ(g.count('R', 1 * TPS + 60 * MS, 4 * TPS), 0);
    EXPECT_EQ(g.count('P', 1 * TPS + 60 * MS, 4 * TPS), 0);
    EXPECT_NEAR(g.count('U', 1 * TPS, 4 * TPS), 60, 1);
    EXPECT_GT(g.count('S', 1 * TPS, 4 * TPS), 0);
    // After the reset rendering resumes.
    EXPECT_GT(g.count('R', 4 * TPS + 60 * MS, 6 * TPS), 100);
}

TEST_F(FrameLoopTest, PeriodicChecksOncePerSecondAfterPresent)
{
    FakeGame g;
    g.run_until(10 * TPS + 500 * MS);
    EXPECT_EQ(g.count('C'), 10);
    for (size_t i = 0; i < g.events.size(); ++i) {
        if (g.events[i].kind == 'C') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(g.events[i - 1].kind, 'P');
        }
    }
    // A frame every 4 ms: about 250 frames counted per second.
    EXPECT_NEAR(fps, 250, 15);
}

// Trackers stay registered for the life of the process, like the game's.
UpdateStatsTracker tracker("loop test");

TEST_F(FrameLoopTest, UpdateHistoriesHoldTheStepBeforeEachSlot)
{
    register_update_stats_tracker(&tracker);

    FakeGame g;
    // Step k (from 0) lasts k + 1 ms, k * 100 us of it under the tracker.
    g.on_update = [&](FakeGame& game) {
        int k = game.count('U') - 1;
        game.now += k * MS;
        tracker.start(game.now);
        game.now += k * MS / 10;
        tracker.stop(game.now);
    };
    g.quit = [](const FakeGame& game) { return game.count('U') >= 150; };
    g.run_until(0);

    // Slot i holds the step before the i-th step; the index wrapped after 100.
    EXPECT_EQ(update_history_index, 150 % STATS_HISTORY_SIZE);
    for (int slot = 1; slot < 50; ++slot) {
        int prev_step = slot + 100 - 1;
        EXPECT_EQ(update_time_history[slot], (prev_step + 1) * 1000 + prev_step * 100) << slot;
        EXPECT_EQ(tracker.history[slot], prev_step * 100) << slot;
    }
    for (int slot = 50; slot < 100; ++slot) {
        int prev_step = slot - 1;
        EXPECT_EQ(update_time_history[slot], (prev_step + 1) * 1000 + prev_step * 100) << slot;
    }
}

TEST_F(FrameLoopTest, FrameHistoriesHoldPresentedFrames)
{
    FakeGame g;
    g.render_cost = 3 * MS;
    g.gpu_load = 42;
    g.run_until(1 * TPS);
    for (int i = 0; i < STATS_HISTORY_SIZE; ++i) {
        EXPECT_EQ(frame_time_history[i], 3000) << i;
        EXPECT_EQ(gpu_load_history[i], 42) << i;
    }

    FakeGame unknown;
    unknown.run_until(1 * TPS);
    for (int i = 0; i < STATS_HISTORY_SIZE; ++i)
        EXPECT_EQ(gpu_load_history[i], -1) << i;
}

TEST_F(FrameLoopTest, ResetUpdateTimeKeepsLongWorkOutOfTheHistory)
{
    FakeGame g;
    g.update_cost = 0;
    g.on_update = [](FakeGame& game) {
        game.now += 300 * MS; // say, generating a world
        reset_update_time();
        game.now += 2 * MS;
    };
    g.quit = [](const FakeGame& game) { return game.count('U') >= 5; };
    g.run_until(0);
    for (int slot = 1; slot < 5; ++slot)
        EXPECT_EQ(update_time_history[slot], 2000);
}

TEST_F(FrameLoopTest, QuitBeforeStartRunsNothingAndPresentsPendingFrameAtEnd)
{
    FakeGame g;
    g.quit = [](const FakeGame&) { return true; };
    g.run_until(0);
    EXPECT_TRUE(g.events.empty());

    FakeGame h;
    h.quit = [](const FakeGame& game) { return !game.events.empty() && game.events.back().kind == 'R'; };
    h.run_until(0);
    ASSERT_GE(h.events.size(), 2u);
    EXPECT_EQ(h.events.back().kind, 'P'); // the last rendered frame is shown
}

// A screenshot asked for during a catch-up run of steps that ends with the
// quit is still taken: the loop renders and presents one more frame for it.
TEST_F(FrameLoopTest, FrameAskedForInTheLastStepsIsShownBeforeTheLoopEnds)
{
    for (bool wanted : {false, true}) {
        FakeGame g;
        g.update_cost = 60 * MS; // steps run back to back, six between frames
        bool capture = false;
        int asked_at = -1;
        g.on_update = [&](FakeGame& game) {
            if (game.count('U') == 9) {
                capture = wanted;
                asked_at = int(game.events.size());
            }
        };
        g.quit = [](const FakeGame& game) { return game.count('U') >= 11; };
        FrameLoopHooks h = g.hooks();
        h.frame_wanted_at_exit = [&] { return capture; };
        h.present = [&] {
            g.events.push_back({'P', g.now});
            capture = false;
        };
        run_frame_loop(h);
        ASSERT_GT(asked_at, 0);
        bool rendered_after = false, presented_after = false;
        for (size_t i = asked_at; i < g.events.size(); ++i) {
            rendered_after |= g.events[i].kind == 'R';
            presented_after |= rendered_after && g.events[i].kind == 'P';
        }
        EXPECT_EQ(presented_after, wanted);
        EXPECT_FALSE(capture);
    }
}

TEST_F(FrameLoopTest, UpdateRateIsConfigurableAndClamped)
{
    set_update_rate(10, 0);
    FakeGame g;
    g.update_cost = 0;
    g.run_until(10 * TPS - 50 * MS);
    EXPECT_EQ(g.count('U'), 100);
    EXPECT_FLOAT_EQ(update_step_seconds(), 0.1f);

    set_update_rate(0, -3); // one step per second, no extra steps
    EXPECT_FLOAT_EQ(update_step_seconds(), 1.0f);
    FakeGame h;
    h.update_cost = 1500 * MS; // each step overruns the next one
    h.run_until(30 * TPS);
    EXPECT_EQ(h.longest_update_run(), 1);
}

} // namespace
