// The ordered shutdown: stage log lines, step order, single run, re-entry,
// and the way fatal() goes through it.
#include "core/input.h"
#include "core/log.h"
#include "core/shutdown.h"
#include "core/temp_data_home.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> run_shutdown()
{
    testing::internal::CaptureStdout();
    shutdown_systems();
    return lines_of(testing::internal::GetCapturedStdout());
}

class ShutdownTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("RUNEHOLM_HEADLESS", "1", 0);
        shutdown_reset_for_tests();
    }
    void TearDown() override { shutdown_reset_for_tests(); }
    TempDataHome home; // the log lines go to a log file there
};

TEST_F(ShutdownTest, SevenLinesInOrderWithNothingRegistered)
{
    EXPECT_FALSE(shutdown_started());
    EXPECT_EQ(run_shutdown(), (std::vector<std::string>{"closing...", "closed scene", "closed misc stuff",
                                                        "freed all meshes", "freed all textures", "closed d3d",
                                                        "closed all systems"}));
    EXPECT_TRUE(shutdown_started());
}

TEST_F(ShutdownTest, StepsRunInTheirStageInReverseRegistrationOrderOnce)
{
    shutdown_register(ShutdownStage::Scene, [] { debug("sound layer"); });
    shutdown_register(ShutdownStage::Device, [] { debug("device"); });
    shutdown_register(ShutdownStage::Scene, [] { debug("sky"); });
    shutdown_register(ShutdownStage::Misc, [] { debug("font"); });
    shutdown_register(ShutdownStage::Scene, [] { debug("module"); });
    // An event still queued when the last stage's steps have run is dropped.
    shutdown_register(ShutdownStage::Input, [] {
        debug("input");
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = 1;
        EXPECT_TRUE(input_handle_sdl_event(e));
    });
    EXPECT_EQ(run_shutdown(),
              (std::vector<std::string>{"closing...", "module", "sky", "sound layer", "closed scene", "font",
                                        "closed misc stuff", "freed all meshes", "freed all textures", "device",
                                        "closed d3d", "input", "closed all systems"}));
    EXPECT_FALSE(getEvent(nullptr));
    EXPECT_EQ(getMouseWheel(), 0);
    EXPECT_TRUE(run_shutdown().empty());
}

int reentry_runs = 0;

TEST_F(ShutdownTest, ReentryFromAStepFinishesTheSequenceWithoutRepeating)
{
    reentry_runs = 0;
    shutdown_register(ShutdownStage::Textures, [] { debug("after"); });
    shutdown_register(ShutdownStage::Scene, [] { debug("scene tail"); });
    shutdown_register(ShutdownStage::Scene, [] {
        ++reentry_runs;
        debug("reentering");
        shutdown_systems();
    });
    EXPECT_EQ(run_shutdown(),
              (std::vector<std::string>{"closing...", "reentering", "scene tail", "closed scene", "closed misc stuff",
                                        "freed all meshes", "after", "freed all textures", "closed d3d",
                                        "closed all systems"}));
    EXPECT_EQ(reentry_runs, 1);
}

TEST_F(ShutdownTest, FatalShutsDownInOrderAndExitsWith100)
{
    EXPECT_EXIT(
        {
            shutdown_reset_for_tests();
            shutdown_register(ShutdownStage::Device, [] { fprintf(stderr, "device closed\n"); });
            fatal("broken %s", "invariant");
        },
        testing::ExitedWithCode(100), "broken invariant(.|\n)*device closed");
}

TEST_F(ShutdownTest, FatalInsideAStepStillEnds)
{
    EXPECT_EXIT(
        {
            shutdown_reset_for_tests();
            shutdown_register(ShutdownStage::Scene, [] { fatal("close failed"); });
            quit_game(3);
        },
        testing::ExitedWithCode(100), "close failed");
}

TEST_F(ShutdownTest, QuitGameRunsTheSequenceAndExitsWithItsCode)
{
    EXPECT_EXIT(
        {
            shutdown_reset_for_tests();
            shutdown_register(ShutdownStage::Misc, [] { fprintf(stderr, "misc closed\n"); });
            quit_game(7);
        },
        testing::ExitedWithCode(7), "misc closed");
}

} // namespace
