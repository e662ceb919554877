// The update step, the world step and the world simulation, with recording
// calls standing in for the subsystems in step_calls.
#include "core/app_globals.h"
#include "core/game_mode.h"
#include "core/stats_tracker.h"
#include "core/temp_data_home.h"
#include "app/update_step.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;
std::vector<float> progress;
float camera[4];
float listener_vel[4];
bool module_reloads = false;

// Records its update; the render passes are not part of an update step.
class RecordingMode : public GameMode {
public:
    void update(float) override { calls.push_back("mode"); }
    void render3d(float) override { calls.push_back("render3d"); }
    void render2d(float) override { calls.push_back("render2d"); }
};

class UpdateStepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        step_calls = {};
        calls.clear();
        progress.clear();
        force_gameobj_reload = false;
        module_reloads = false;
    }
    void TearDown() override
    {
        step_calls = program_step_calls();
        set_game_mode(nullptr);
    }
    TempDataHome home; // the periodic checks flush the settings here
};

void fill_world_hooks()
{
    step_calls.update_terrain_renderer = [](float) { calls.push_back("renderer"); };
    step_calls.update_hmap = [](float dt) { calls.push_back(dt == 0.05f ? "hmap" : "hmap bad dt"); };
    step_calls.sim_water = [](float) { calls.push_back("water"); };
    step_calls.update_common_fx = [](float) { calls.push_back("fx"); };
    step_calls.update_gameobj = [](float) { calls.push_back("gameobj"); };
}

int find_tracker(const char* name)
{
    for (int i = 0; i < update_stats_tracker_count(); ++i)
        if (strcmp(get_update_stats_tracker(i)->name, name) == 0)
            return i;
    return -1;
}

TEST_F(UpdateStepTest, WorldStepRunsInOrder)
{
    fill_world_hooks();
    update_world_step(0.05f);
    EXPECT_EQ(calls, (std::vector<std::string>{"renderer", "hmap", "water", "fx", "gameobj"}));
    EXPECT_GE(find_tracker("hm renderer"), 0);
    EXPECT_GE(find_tracker("fx"), 0);
}

TEST_F(UpdateStepTest, EmptyHooksDoNothing)
{
    update_world_step(0.05f);
    run_update_step(0.05f);
    simulate_world(1.0f);
    force_gameobj_reload = true;
    run_update_step(0.05f);
    EXPECT_FALSE(force_gameobj_reload);
}

TEST_F(UpdateStepTest, SimulateWorldSixtySecondsRunsTwelveHundredSteps)
{
    fill_world_hooks();
    step_calls.show_splash = [](const char* text, float p) {
        EXPECT_STREQ(text, "Simulating the world");
        progress.push_back(p);
    };
    simulate_world(60.0f);
    ASSERT_EQ(progress.size(), 1200u);
    EXPECT_EQ(progress.front(), 0.0f);
    for (size_t i = 1; i < progress.size(); ++i)
        ASSERT_GT(progress[i], progress[i - 1]) << i;
    EXPECT_LT(progress.back(), 1.0f);
    EXPECT_GT(progress.back(), 0.999f);
    // The terrain renderer does not run while simulating.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "renderer"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "hmap"), 1200);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "gameobj"), 1200);

    progress.clear();
    simulate_world(0.0f);
    simulate_world(-1.0f);
    EXPECT_TRUE(progress.empty());
}

TEST_F(UpdateStepTest, UpdateStepOrderAndMiscTracker)
{
    static RecordingMode mode; // outlives TearDown, which leaves the mode
    set_game_mode(&mode);
    step_calls.step_camera = [](float pos[4], float front[4], float up[4]) {
        calls.push_back("camera");
        for (int i = 0; i < 4; ++i) {
            pos[i] = camera[i];
            front[i] = up[i] = 0;
        }
        return true;
    };
    step_calls.set_listener_pos = [](const float*, const float* vel, const float*, const float*) {
        calls.push_back("listener");
        memcpy(listener_vel, vel, sizeof(listener_vel));
    };
    step_calls.update_3d_sounds = [](const float*) { calls.push_back("sounds"); };
    step_calls.update_sound = [](float dt) { calls.push_back(dt == 0.05f ? "sound layer" : "sound layer bad dt"); };
    step_calls.apply_3d_sound = [] { calls.push_back("apply 3d"); };
    step_calls.destroy_queued_gui_elements = [] { calls.push_back("gui"); };
    step_calls.reload_gameobj = [](bool force) {
        calls.push_back(force ? "reload forced" : "reload");
        return module_reloads;
    };
    step_calls.bind_world_script = [] { calls.push_back("bind"); };

    run_update_step(0.05f);
    EXPECT_EQ(calls, (std::vector<std::string>{"mode", "camera", "listener", "sounds", "sound layer", "apply 3d", "gui"}));
    EXPECT_GE(find_tracker("misc"), 0);

    // A requested reload comes last and rebinds the world script even when
    // the module did not change.
    calls.clear();
    force_gameobj_reload = true;
    run_update_step(0.05f);
    EXPECT_EQ(calls, (std::vector<std::string>{"mode", "camera", "listener", "sounds", "sound layer", "apply 3d", "gui", "reload forced", "bind"}));
    EXPECT_FALSE(force_gameobj_reload);

    // The periodic check rebinds only after a real reload.
    calls.clear();
    run_periodic_checks();
    EXPECT_EQ(calls, (std::vector<std::string>{"reload"}));
    calls.clear();
    module_reloads = true;
    run_periodic_checks();
    EXPECT_EQ(calls, (std::vector<std::string>{"reload", "bind"}));
}

// Without a camera there is no listener to move, but the 3D sounds are still
// kept up (with the last reference position: null) and the layer advances.
TEST_F(UpdateStepTest, SoundsAreKeptUpWithoutACamera)
{
    step_calls.set_listener_pos = [](const float*, const float*, const float*, const float*) {
        calls.push_back("listener");
    };
    step_calls.update_3d_sounds = [](const float* ref) { calls.push_back(ref ? "sounds at camera" : "sounds"); };
    step_calls.update_sound = [](float) { calls.push_back("sound layer"); };
    step_calls.apply_3d_sound = [] { calls.push_back("apply 3d"); };
    run_update_step(0.05f);
    EXPECT_EQ(calls, (std::vector<std::string>{"sounds", "sound layer", "apply 3d"}));
}

TEST_F(UpdateStepTest, ListenerVelocityTakesTheShortWayAcrossTheWrap)
{
    step_calls.step_camera = [](float pos[4], float front[4], float up[4]) {
        for (int i = 0; i < 4; ++i) {
            pos[i] = camera[i];
            front[i] = up[i] = 0;
        }
        return true;
    };
    step_calls.set_listener_pos = [](const float*, const float* vel, const float*, const float*) {
        memcpy(listener_vel, vel, sizeof(listener_vel));
    };
    float start[4] = {255.0f, 10.0f, 0.5f, 1.0f};
    memcpy(camera, start, sizeof(camera));
    run_update_step(0.05f);
    float next[4] = {1.0f, 11.0f, 255.5f, 1.0f}; // +2 on x, -1 on z across the edge
    memcpy(camera, next, sizeof(camera));
    run_update_step(0.05f);
    EXPECT_NEAR(listener_vel[0], 40.0f, 1e-3);
    EXPECT_NEAR(listener_vel[1], 20.0f, 1e-3);
    EXPECT_NEAR(listener_vel[2], -20.0f, 1e-3);
    EXPECT_NEAR(listener_vel[3], 0.0f, 1e-6);
}

TEST(WrapListenerDelta, WrapsIntoHalfOpenRange)
{
    EXPECT_FLOAT_EQ(wrap_listener_delta(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(wrap_listener_delta(3.5f), 3.5f);
    EXPECT_FLOAT_EQ(wrap_listener_delta(200.0f), -56.0f);
    EXPECT_FLOAT_EQ(wrap_listener_delta(-200.0f), 56.0f);
    EXPECT_FLOAT_EQ(wrap_listener_delta(300.0f), 44.0f);
    EXPECT_FLOAT_EQ(wrap_listener_delta(128.0f), 128.0f);
    EXPECT_FLOAT_EQ(wrap_listener_delta(-128.0f), 128.0f);
    EXPECT_FLOAT_EQ(wrap_listener_delta(-512.0f), 0.0f);
}

} // namespace

// A step entry left empty would silently skip its subsystem in the program.
TEST(ProgramStepCalls, EveryEntryIsFilled)
{
    StepCalls c = program_step_calls();
    void* entries[sizeof(StepCalls) / sizeof(void*)];
    static_assert(sizeof(entries) == sizeof(StepCalls));
    memcpy(entries, &c, sizeof c);
    for (size_t i = 0; i < std::size(entries); ++i)
        EXPECT_NE(entries[i], nullptr) << "entry " << i;
}
