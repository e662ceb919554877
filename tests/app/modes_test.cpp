// The game modes driven step by step without rendering: the road between
// them (Escape, F9, the module closing its menus), the double-tap dash, the
// developer zoom, an inactive window, and the main menu's autopilot over
// whole generated worlds.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "core/app_globals.h"
#include "render/camera.h"
#include "app/dev_mode.h"
#include "app/game_modes.h"
#include "core/input.h"
#include "audio/sound_events.h"
#include "core/log.h"
#include "core/platform.h"
#include "host/gameobj_api.h"
#include "world/saved_games.h"
#include "world/universe.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"
#include "world/world_test_util.h"

namespace {

constexpr float DT = 0.05f;

// Calls of the module's menu functions.
struct MenuCalls {
    int open_main, open_game, open_cheat, close, update;
};
MenuCalls calls;

void key_event(int type, SDL_Keycode sym, SDL_Scancode sc, Uint16 mod)
{
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = sc;
    e.key.keysym.mod = mod;
    input_handle_sdl_event(e);
}

// A press and release within one step, as a quick tap is seen.
void tap(SDL_Keycode sym, SDL_Scancode sc, Uint16 mod = KMOD_NONE)
{
    key_event(SDL_KEYDOWN, sym, sc, mod);
    key_event(SDL_KEYUP, sym, sc, mod);
}

// One update step of the current mode; its input is consumed as the loop does.
void step()
{
    ASSERT_NE(cur_game_mode, nullptr);
    cur_game_mode->update(DT);
    discard_input_events();
}

class Modes : public ::testing::Test {
protected:
    void SetUp() override
    {
        world_test_fresh();
        init_time_base();
        discard_input_events();
        isAppActive = true;
        show_fps = false;
        should_close_game_menu = false;
        calls = MenuCalls{};
        gameobj_funcs = GameObjFuncTable{};
        gameobj_funcs.open_main_menu = reinterpret_cast<void*>(+[] { ++calls.open_main; });
        gameobj_funcs.open_game_menu = reinterpret_cast<void*>(+[] { ++calls.open_game; });
        gameobj_funcs.open_cheat_menu = reinterpret_cast<void*>(+[] { ++calls.open_cheat; });
        gameobj_funcs.close_game_menu = reinterpret_cast<void*>(+[] { ++calls.close; });
        gameobj_funcs.update_game_menu = reinterpret_cast<void*>(+[](float) { ++calls.update; });
    }
    void TearDown() override
    {
        set_game_mode(nullptr);
        gameobj_funcs = GameObjFuncTable{};
        discard_input_events();
        isAppActive = true;
        should_close_game_menu = false;
    }
};

TEST_F(Modes, EscapeOpensTheGameMenuOnceAndTheModuleClosesItBackToPlay)
{
    set_game_mode(play_mode);
    tap(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
    step();
    ASSERT_EQ(cur_game_mode, game_menu_mode);
    EXPECT_EQ(game_menu_mode->return_mode(), play_mode);
    EXPECT_EQ(calls.open_game, 1);

    // Escape in the game menu, and switching to the active mode, tell no one.
    tap(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
    step();
    set_game_mode(game_menu_mode);
    EXPECT_EQ(cur_game_mode, game_menu_mode);
    EXPECT_EQ(game_menu_mode->return_mode(), play_mode);
    EXPECT_EQ(calls.open_game, 1);
    EXPECT_EQ(calls.close, 0);
    EXPECT_EQ(calls.update, 1); // the menu's own step (the first was the play mode's)

    // The module closes its menu: back to the mode it was opened from, and
    // the request is used up (the universe screen would take it for a pick).
    should_close_game_menu = true;
    step();
    EXPECT_EQ(cur_game_mode, play_mode);
    EXPECT_EQ(calls.close, 1);
    EXPECT_FALSE(should_close_game_menu);
}

TEST_F(Modes, EscapeInTheMainMenuDoesNothingF9GoesToTheDeveloperMode)
{
    set_game_mode(main_menu_mode);
    EXPECT_EQ(calls.open_main, 1);
    tap(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
    step();
    EXPECT_EQ(cur_game_mode, main_menu_mode);
    EXPECT_EQ(calls.open_game, 0);
    EXPECT_EQ(calls.close, 0);

    tap(SDLK_F9, SDL_SCANCODE_F9);
    step();
    EXPECT_EQ(cur_game_mode, dev_mode);
    EXPECT_EQ(calls.close, 1); // the main menu's screens closed
    tap(SDLK_F9, SDL_SCANCODE_F9);
    step();
    EXPECT_EQ(cur_game_mode, play_mode);
    tap(SDLK_F9, SDL_SCANCODE_F9);
    step();
    EXPECT_EQ(cur_game_mode, dev_mode);
}

TEST_F(Modes, ControlF12OpensTheCheatMenuOverTheGameMenu)
{
    set_game_mode(play_mode);
    tap(SDLK_F12, SDL_SCANCODE_F12); // without Control: nothing
    step();
    EXPECT_EQ(cur_game_mode, play_mode);
    tap(SDLK_F12, SDL_SCANCODE_F12, KMOD_LCTRL);
    step();
    EXPECT_EQ(cur_game_mode, game_menu_mode);
    EXPECT_EQ(calls.open_game, 1);
    EXPECT_EQ(calls.open_cheat, 1);
}

// F5 and F6 flip the post effects and the antialiasing (F6 no longer opens
// the GUI demo); the debug key H works in the developer mode, elsewhere only
// with Control; Control+F3 logs sound events.
TEST_F(Modes, HotkeysAndDebugKeysActWhereTheyShould)
{
    const bool postfx = use_postfx, ppaa = use_ppaa;
    set_game_mode(play_mode);
    tap(SDLK_F5, SDL_SCANCODE_F5);
    tap(SDLK_F6, SDL_SCANCODE_F6);
    step();
    EXPECT_EQ(use_postfx, !postfx);
    EXPECT_EQ(use_ppaa, !ppaa);
    EXPECT_EQ(cur_game_mode, play_mode);
    tap(SDLK_F5, SDL_SCANCODE_F5);
    tap(SDLK_F6, SDL_SCANCODE_F6);
    step();
    EXPECT_EQ(use_postfx, postfx);
    EXPECT_EQ(use_ppaa, ppaa);

    auto water = [] { return HeightmapData::waterCells()[12345].depth; };
    tap(SDLK_h, SDL_SCANCODE_H);
    step();
    EXPECT_EQ(water(), 0.0f);
    tap(SDLK_h, SDL_SCANCODE_H, KMOD_LCTRL);
    step();
    EXPECT_FLOAT_EQ(water(), 1.0f);
    set_game_mode(dev_mode);
    tap(SDLK_h, SDL_SCANCODE_H);
    step();
    EXPECT_FLOAT_EQ(water(), 2.0f);

    clear_visual_log();
    tap(SDLK_F3, SDL_SCANCODE_F3, KMOD_LCTRL);
    step();
    EXPECT_TRUE(log_sound_events);
    ASSERT_EQ(visual_log_count(), 1);
    EXPECT_STREQ(visual_log_line(0), "logging sound events");
    tap(SDLK_F3, SDL_SCANCODE_F3, KMOD_RCTRL);
    step();
    EXPECT_FALSE(log_sound_events);
    EXPECT_EQ(visual_log_count(), 0);
}

TEST_F(Modes, TheMainMenuClosedByTheModuleOpensTheUniverse)
{
    set_game_mode(main_menu_mode);
    step();
    EXPECT_EQ(cur_game_mode, main_menu_mode);
    should_close_game_menu = true;
    step();
    EXPECT_EQ(cur_game_mode, universe_mode);
    // The request that left the main menu does not pick a world as well.
    EXPECT_FALSE(should_close_game_menu);
}

// Forward tapped twice within 0.2 s dashes at 16 units per second until the
// next tap decides again; a tap after more than 0.2 s stops the dash.
TEST_F(Modes, DoubleTapWithinAFifthOfASecondDashes)
{
    set_game_mode(play_mode);
    set_camera_pos(Vec4f{100, 50, 100, 1});
    camera.yaw = camera.pitch = camera.roll = 0; // forward is +z
    auto z_after_step = [] {
        step();
        return camera.pos.z;
    };

    tap(SDLK_w, SDL_SCANCODE_W);
    EXPECT_FLOAT_EQ(z_after_step(), 100.0f); // one tap: no dash, nothing held
    step();
    step();
    tap(SDLK_w, SDL_SCANCODE_W); // 0.15 s after the first
    EXPECT_NEAR(z_after_step(), 100.8f, 1e-4);
    EXPECT_NEAR(z_after_step(), 101.6f, 1e-4); // still dashing with no key held
    EXPECT_EQ(camera.dash, 1.0f);
    EXPECT_NEAR(camera.hspeed, 0.8f, 1e-5);

    for (int i = 0; i < 4; i++)
        step();
    float z = camera.pos.z;
    tap(SDLK_w, SDL_SCANCODE_W); // 0.25 s after the last: a new single tap
    EXPECT_FLOAT_EQ(z_after_step(), z);
    EXPECT_EQ(camera.dash, 0.0f);

    // Backward the same way, after 0.2 s exactly it is too late.
    for (int i = 0; i < 5; i++)
        step();
    tap(SDLK_s, SDL_SCANCODE_S);
    step();
    for (int i = 0; i < 3; i++)
        step();
    tap(SDLK_s, SDL_SCANCODE_S); // 0.2 s later
    EXPECT_FLOAT_EQ(z_after_step(), z);
    step();
    tap(SDLK_s, SDL_SCANCODE_S); // 0.1 s later
    EXPECT_NEAR(z_after_step(), z - 0.8f, 1e-4);
}

TEST_F(Modes, ZoomEightGivesNineAndAQuarterDegreesAndEightTimesSlowerLook)
{
    set_game_mode(dev_mode);
    for (int i = 0; i < 10; i++) {
        camera_begin_step(DT);
        dev_zoom_step(DT, true);
    }
    camera_begin_step(DT);
    EXPECT_FLOAT_EQ(camera.zoom, 8.0f);
    EXPECT_NEAR(camera_fov(0) * 180.0 / M_PI, 9.25, 1e-4);
    EXPECT_NEAR(camera_fov(1) * 180.0 / M_PI, 9.25, 1e-4);

    camera.yaw = camera.pitch = 0;
    camera_mouse_look(100, 50, 1);
    const float yaw1 = camera.yaw, pitch1 = camera.pitch;
    camera.yaw = camera.pitch = 0;
    camera_mouse_look(100, 50, camera.zoom);
    EXPECT_NEAR(camera.yaw * 8, yaw1, 1e-6);
    EXPECT_NEAR(camera.pitch * 8, pitch1, 1e-6);
    EXPECT_NEAR(yaw1, -0.2f, 1e-6);

    // Released, the zoom goes back to 1 within 0.35 s.
    for (int i = 0; i < 7; i++)
        dev_zoom_step(DT, false);
    EXPECT_FLOAT_EQ(camera.zoom, 1.0f);
}

TEST_F(Modes, AnInactiveWindowReadsNoInputAndReleasesTheMouse)
{
    for (GameMode* mode : {static_cast<GameMode*>(play_mode), static_cast<GameMode*>(dev_mode),
                           static_cast<GameMode*>(main_menu_mode), static_cast<GameMode*>(game_menu_mode)}) {
        SCOPED_TRACE(mode->name());
        isAppActive = true;
        set_game_mode(mode);
        set_camera_pos(Vec4f{10, 40, 10, 1});
        camera.yaw = camera.pitch = 0;
        camera.mouse_captured = true;
        shouldHideMouse = true;
        isAppActive = false;
        const Vec4f before = camera.pos;
        for (int i = 0; i < 3; i++) {
            tap(SDLK_w, SDL_SCANCODE_W);
            tap(SDLK_F1, SDL_SCANCODE_F1);
            tap(SDLK_F9, SDL_SCANCODE_F9);
            tap(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
            tap(SDLK_F12, SDL_SCANCODE_F12, KMOD_LCTRL);
            step();
        }
        EXPECT_EQ(cur_game_mode, mode);
        EXPECT_FALSE(show_fps);
        EXPECT_EQ(calls.open_cheat, 0);
        if (mode == play_mode || mode == dev_mode) {
            EXPECT_EQ(camera.pos.x, before.x);
            EXPECT_EQ(camera.pos.y, before.y);
            EXPECT_EQ(camera.pos.z, before.z);
        }
        if (mode == play_mode) {
            EXPECT_FALSE(camera.mouse_captured);
            EXPECT_FALSE(shouldHideMouse);
        }
    }
}

// One second after the warp began the world is left, once: should the
// switch to the next mode not happen, later steps do not leave again (each
// leave saves the game and simulates a minute).
TEST_F(Modes, TheWarpLeavesTheWorldAfterOneSecondOnce)
{
    static int leaves = 0;
    leaves = 0;
    const SavedGameHooks saved = saved_game_hooks;
    saved_game_hooks = SavedGameHooks{};
    saved_game_hooks.reset_fly_control = [] { ++leaves; }; // the first thing leaving without a game does
    set_game_mode(warp_mode);
    for (int i = 0; i < 19; i++)
        step();
    EXPECT_EQ(leaves, 0);
    step();
    EXPECT_EQ(leaves, 1);
    for (int i = 0; i < 20; i++)
        step();
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(cur_game_mode, warp_mode);

    // With the modes' hooks the world left leads to the next mode.
    game_modes_install_hooks();
    set_game_mode(nullptr);
    set_game_mode(warp_mode);
    for (int i = 0; i < 20; i++)
        step();
    EXPECT_EQ(cur_game_mode, play_mode);
    saved_game_hooks = saved;
    set_error_message(nullptr);
}

// {===== The autopilot over whole worlds

// The content next to the program (build/bin), which the build copies.
std::string bin_dir()
{
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return std::string();
    exe[n] = 0;
    std::string dir = exe;
    dir = dir.substr(0, dir.rfind('/')); // build/tests
    return dir.substr(0, dir.rfind('/')) + "/bin/";
}

float ground_at(float x, float z)
{
    int ix = int(std::floor(x)), iz = int(std::floor(z));
    float fx = x - float(ix), fz = z - float(iz);
    auto h = [](int cx, int cz) { return HeightmapData::hmap[((cz & 255) << 8) | (cx & 255)]; };
    float a = h(ix, iz) + (h(ix + 1, iz) - h(ix, iz)) * fx;
    float b = h(ix, iz + 1) + (h(ix + 1, iz + 1) - h(ix, iz + 1)) * fx;
    return a + (b - a) * fz;
}

// 600 s over each world: never below the ground, never NaN, always inside
// the world's period.
void fly_over_current_world(const char* what, float max_clearance = 60.0f)
{
    SCOPED_TRACE(what);
    Autopilot pilot;
    autopilot_reset(pilot);
    float lowest = 1e9f, highest = -1e9f;
    for (int i = 0; i < 12000; i++) {
        camera_begin_step(DT);
        autopilot_step(pilot, DT);
        const Vec4f& p = camera.pos;
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << "step " << i;
        ASSERT_TRUE(std::isfinite(pilot.yaw) && std::isfinite(pilot.pitch) && std::isfinite(camera.roll))
            << "step " << i;
        ASSERT_TRUE(p.x >= 0 && p.x < 256 && p.z >= 0 && p.z < 256) << "step " << i << ": " << p.x << ", " << p.z;
        float clearance = p.y - ground_at(p.x, p.z);
        ASSERT_GT(clearance, 0.0f) << "step " << i << " at (" << p.x << ", " << p.z << ")";
        lowest = std::fmin(lowest, clearance);
        highest = std::fmax(highest, clearance);
    }
    // It flies over the land, not off into the sky.
    EXPECT_LT(highest, max_clearance);
    EXPECT_GE(lowest, 0.49f);
}

TEST_F(Modes, TheAutopilotStaysAboveTheLandOverFiveWorldsFor600Seconds)
{
    const std::string bin = bin_dir();
    const std::string saved_app_path = app_path;
    snprintf(app_path, sizeof app_path, "%s", bin.c_str());
    world_hooks = WorldHooks{};
    ASSERT_TRUE(init_world_gen_vm()) << get_error_message() << " (content in " << bin << ")";
    const struct {
        uint64_t seed;
        const char* kind;
    } worlds[] = {{11, "main_menu"}, {2026, "main_menu"}, {5, "islands"}, {77, "volcanic"}, {4242, "game"}};
    for (const auto& w : worlds) {
        set_error_message(nullptr);
        game_rnd_seed = w.seed;
        generate_world(w.kind);
        ASSERT_FALSE(has_error_message()) << get_error_message();
        fly_over_current_world((std::string(w.kind) + " " + std::to_string(w.seed)).c_str());
    }
    close_world_gen_vm();
    snprintf(app_path, sizeof app_path, "%s", saved_app_path.c_str());
}

// A world of sheer walls 100 units high: the autopilot climbs over them.
TEST_F(Modes, TheAutopilotClimbsSheerWalls)
{
    for (int z = 0; z < 256; z++)
        for (int x = 0; x < 256; x++)
            HeightmapData::hmap[(z << 8) | x] = (x / 32 + z / 32) % 3 == 0 ? 100.0f : 0.0f;
    fly_over_current_world("walls", 160.0f);
}

} // namespace
