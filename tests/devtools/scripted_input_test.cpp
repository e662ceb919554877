// Scripted test input: the entry grammar, time ordering, and events that take
// the real path through SDL's queue, the window's messages and the input
// edges into the temporary mode's hotkeys.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>

#include "core/app_globals.h"
#include "core/input.h"
#include "core/window.h"
#include "devtools/scripted_input.h"
#include "app/temp_mode.h"

namespace {

ScriptedInput parse_ok(const char* text)
{
    ScriptedInput in{};
    EXPECT_TRUE(scripted_input_parse_entry(text, int(strlen(text)), in)) << text;
    return in;
}

TEST(ScriptedInputParse, SeedAndCameraEntriesCarryTheirValues)
{
    ScriptedInput seed = parse_ok("SEED:18446744073709551615@0.5");
    EXPECT_EQ(seed.kind, SCRIPTED_SEED);
    EXPECT_EQ(seed.seed, 18446744073709551615ull);
    EXPECT_FALSE(seed.game_world);
    EXPECT_TRUE(parse_ok("SEED:7:game@0").game_world);

    ScriptedInput cam = parse_ok("CAM:3.5:-20:250:1.25:-0.5@1");
    EXPECT_EQ(cam.kind, SCRIPTED_CAMERA);
    const float want[5] = {3.5f, -20.0f, 250.0f, 1.25f, -0.5f};
    for (int i = 0; i < 5; i++)
        EXPECT_FLOAT_EQ(cam.camera[i], want[i]) << i;

    ScriptedInput bad{};
    for (const char* text : {"SEED:@1", "SEED:12x@1", "SEED:5:menu@1", "CAM:1:2:3:4@1", "CAM:1:2:3:4:5:6@1",
                             "CAM:1:2:nan:4:5@1", "CAM:1::3:4:5@1"})
        EXPECT_FALSE(scripted_input_parse_entry(text, int(strlen(text)), bad)) << text;
}

TEST(ScriptedInputParse, KeysModifiersAndSpecialEvents)
{
    ScriptedInput f1 = parse_ok("F1@1.5");
    EXPECT_EQ(f1.kind, SCRIPTED_KEY);
    EXPECT_EQ(f1.keycode, SDLK_F1);
    EXPECT_EQ(f1.scancode, SDL_SCANCODE_F1);
    EXPECT_DOUBLE_EQ(f1.time, 1.5);
    EXPECT_EQ(f1.mod, 0);

    ScriptedInput alt = parse_ok("ALT+F4@0");
    EXPECT_EQ(alt.keycode, SDLK_F4);
    EXPECT_NE(alt.mod & KMOD_ALT, 0);

    EXPECT_EQ(parse_ok("PRINT@2").scancode, SDL_SCANCODE_PRINTSCREEN);
    EXPECT_EQ(parse_ok("F12@2").scancode, SDL_SCANCODE_F12);
    EXPECT_EQ(parse_ok("Q@2").keycode, SDLK_q);
    EXPECT_EQ(parse_ok("0@2").scancode, SDL_SCANCODE_0);
    EXPECT_EQ(parse_ok("1@2").scancode, SDL_SCANCODE_1);
    EXPECT_EQ(parse_ok("QUIT@3").kind, SCRIPTED_QUIT);
    EXPECT_EQ(parse_ok("CLOSE@3").kind, SCRIPTED_CLOSE);
}

TEST(ScriptedInputParse, RejectsMalformedEntries)
{
    for (const char* bad : {"F1", "F1@", "@1", "F13@1", "F0@1", "f1@1", "F1@x", "F1@1s", "F1@-1", "ALT+@1",
                            "NOPE@1", "F1@nan"}) {
        ScriptedInput in{};
        EXPECT_FALSE(scripted_input_parse_entry(bad, int(strlen(bad)), in)) << bad;
    }
}

TEST(ScriptedInputParse, ListIsOrderedByTimeAndCountsRejects)
{
    DynArray<ScriptedInput> list;
    EXPECT_EQ(scripted_input_parse("QUIT@2,F1@1,,BAD,PRINT@1,F2@0.5", list), 1);
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[0].keycode, SDLK_F2);
    EXPECT_EQ(list[1].keycode, SDLK_F1); // same time: listed order kept
    EXPECT_EQ(list[2].keycode, SDLK_PRINTSCREEN);
    EXPECT_EQ(list[3].kind, SCRIPTED_QUIT);
}

// Drains the queue as the frame loop does and returns whether quit came.
bool run_messages()
{
    quit_requested = false;
    process_window_messages();
    return quit_requested;
}

TEST(ScriptedInputEvents, ReachTheHotkeysAtTheirTimeAndOnlyOnce)
{
    ASSERT_NE(get_main_window(), nullptr);
    setenv("RUNEHOLM_TEST_KEYS", "F1@0.10,F1@0.20,QUIT@0.30", 1);
    scripted_input_start();
    unsetenv("RUNEHOLM_TEST_KEYS");
    discard_input_events();
    isAppActive = true;
    show_fps = false;

    scripted_input_advance(0.05); // nothing due yet
    EXPECT_FALSE(run_messages());
    EXPECT_FALSE(keyDown(VK_F1));
    EXPECT_EQ(scripted_input_pending(), 3);

    scripted_input_advance(0.10);
    EXPECT_FALSE(run_messages());
    EXPECT_TRUE(keyDown(VK_F1));
    EXPECT_TRUE(keyUp(VK_F1));
    temp_mode->update(0.05f);
    EXPECT_TRUE(show_fps);
    discard_input_events();

    // Pushed once: advancing again at the same time adds nothing.
    scripted_input_advance(0.10);
    run_messages();
    EXPECT_FALSE(keyDown(VK_F1));
    discard_input_events();

    // An inactive window ignores the hotkey.
    scripted_input_advance(0.25);
    run_messages();
    isAppActive = false;
    temp_mode->update(0.05f);
    EXPECT_TRUE(show_fps);
    isAppActive = true;
    temp_mode->update(0.05f);
    EXPECT_FALSE(show_fps);
    discard_input_events();

    scripted_input_advance(1.0);
    EXPECT_TRUE(run_messages());
    EXPECT_EQ(scripted_input_pending(), 0);
    quit_requested = false;
}

// A busy machine runs several steps before the next frame handles the keys:
// a world due after a key waits until that key was handled.
TEST(ScriptedInputEvents, AWorldDueAfterAKeyWaitsUntilTheKeyWasHandled)
{
    ASSERT_NE(get_main_window(), nullptr);
    static uint64_t generated = 0;
    auto keep = scripted_generate_fn;
    scripted_generate_fn = [](uint64_t seed, bool) { generated = seed; };
    setenv("RUNEHOLM_TEST_KEYS", "F9@0.05,SEED:77@0.1", 1);
    scripted_input_start();
    unsetenv("RUNEHOLM_TEST_KEYS");
    discard_input_events();
    generated = 0;

    scripted_input_advance(0.05);
    scripted_input_advance(0.10); // the same frame: F9 is still queued
    EXPECT_EQ(generated, 0u);
    EXPECT_EQ(scripted_input_pending(), 1);
    run_messages();
    EXPECT_TRUE(keyDown(VK_F1 + 8)); // F9
    scripted_input_advance(0.15);
    EXPECT_EQ(generated, 77u);
    EXPECT_EQ(scripted_input_pending(), 0);
    discard_input_events();
    scripted_generate_fn = keep;
}

} // namespace
