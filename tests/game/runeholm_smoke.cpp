// The whole program, started as a user would but headless: start-up, frames,
// the F1 readouts, a Print Screen screenshot that reads the right way up, and
// the ordered shutdown when the window is closed or the quit message arrives.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "core/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The readout test looks straight down from far below the land: back faces
// are culled, so the whole picture is the sky's colour below the horizon, a
// plain background for the white text.
// The program opens on the main menu, whose autopilot flies the camera: F9
// first, so the developer mode keeps the placed camera.
constexpr const char* CAMERA_BELOW_LAND = "F9@0.05,CAM:128:-400:128:0:-1.5@0.2";

struct GameRun {
    int exit_code = -1;
    std::string data_dir; // XDG_DATA_HOME/Runeholm/
    std::string log;      // log.txt of the run
    std::string output;   // the program's standard output and error
};

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// What a run finds on the machine besides the defaults.
struct GameSetup {
    std::string data_subfolders; // below the temporary XDG_DATA_HOME (deep user folders)
    std::string settings;        // settings.cfg written before the start
    const char* audio_driver = "null";
};

// Starts the program with the test environment and waits for it (at most 120 s).
// GL runs with its debug output, so GL errors show in the log as "GL ERROR".
GameRun run_game(const char* keys, const char* run_seconds, std::vector<std::string> args = {"-win", "-360"},
                 const GameSetup& setup = {})
{
    GameRun r;
    std::string home = make_temp_dir("rh-game") + setup.data_subfolders;
    r.data_dir = home + "Runeholm/";
    if (!setup.settings.empty()) {
        fs::create_directories(r.data_dir);
        std::ofstream(r.data_dir + "settings.cfg", std::ios::binary) << setup.settings;
    }
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("RUNEHOLM_HEADLESS", "1", 1);
    setenv("ALSOFT_DRIVERS", setup.audio_driver, 1);
    setenv("MESA_GL_VERSION_OVERRIDE", "3.3", 1);
    setenv("RUNEHOLM_GL_DEBUG", "1", 1);
    if (keys)
        setenv("RUNEHOLM_TEST_KEYS", keys, 1);
    else
        unsetenv("RUNEHOLM_TEST_KEYS");
    if (run_seconds)
        setenv("RUNEHOLM_RUN_SECONDS", run_seconds, 1);
    else
        unsetenv("RUNEHOLM_RUN_SECONDS");

    std::string out_path = home + "output.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv{const_cast<char*>(RUNEHOLM_EXE)};
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    int err = posix_spawn(&pid, RUNEHOLM_EXE, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        ADD_FAILURE() << "can't start " << RUNEHOLM_EXE << ": " << strerror(err);
        return r;
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the program did not end within 120 s";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.log = read_file(r.data_dir + "log.txt");
    r.output = read_file(out_path);
    return r;
}

// Every line of `wanted` appears in `log` as a whole line, in this order.
::testing::AssertionResult has_lines_in_order(const std::string& log, const std::vector<std::string>& wanted)
{
    size_t pos = 0;
    for (const std::string& w : wanted) {
        size_t at = log.find("\n" + w + "\n", pos == 0 ? 0 : pos - 1);
        if (at == std::string::npos)
            return ::testing::AssertionFailure() << "missing or out of order: \"" << w << "\"\n--- log ---\n" << log;
        pos = at + w.size() + 2;
    }
    return ::testing::AssertionSuccess();
}

const std::vector<std::string> shutdown_lines = {
    "closing...",         "closed scene",       "closed misc stuff", "freed all meshes",
    "freed all textures", "closed d3d",         "closed all systems",
};

// "APP: %d update steps, %d frames rendered"
bool read_loop_counts(const std::string& log, int& steps, int& frames)
{
    size_t at = log.find("APP: ");
    while (at != std::string::npos) {
        if (sscanf(log.c_str() + at, "APP: %d update steps, %d frames rendered", &steps, &frames) == 2)
            return true;
        at = log.find("APP: ", at + 1);
    }
    return false;
}

std::vector<fs::path> screenshots(const std::string& data_dir)
{
    std::vector<fs::path> shots;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(data_dir + "shots", ec))
        if (e.path().extension() == ".png")
            shots.push_back(e.path());
    return shots;
}

struct Image {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    uint8_t bg[3] = {0, 0, 0}; // the background, read from the top-right corner
    const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * w + x) * 3]; }
    // Clearly brighter than the background: glyph pixels of the white text.
    bool is_text(int x, int y) const
    {
        const uint8_t* p = at(x, y);
        return p[0] > bg[0] + 60 && p[1] > bg[1] + 60 && p[2] > bg[2] + 60;
    }
};

Image load_image(const fs::path& path)
{
    Image img;
    int n = 0;
    uint8_t* data = stbi_load(path.c_str(), &img.w, &img.h, &n, 3);
    if (data) {
        img.rgb.assign(data, data + size_t(img.w) * img.h * 3);
        stbi_image_free(data);
    }
    return img;
}

// A horizontal band of rows holding text, with its rightmost text pixel.
struct TextBand {
    int top, bottom; // rows, inclusive
    int left, right;
};

// Only pixels left of x_end and from row y_begin down are looked at.
std::vector<TextBand> text_bands(const Image& img, int x_end = -1, int y_begin = 0)
{
    std::vector<TextBand> bands;
    bool open = false;
    if (x_end < 0)
        x_end = img.w;
    for (int y = y_begin; y < img.h; ++y) {
        int left = img.w, right = -1;
        for (int x = 0; x < x_end; ++x)
            if (img.is_text(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        // Rows without text close a band; a gap of a row or two inside a
        // line (between ':' dots, say) belongs to the same band.
        if (right < 0) {
            if (open && y - bands.back().bottom > 3)
                open = false;
            continue;
        }
        if (!open) {
            bands.push_back({y, y, left, right});
            open = true;
        } else {
            TextBand& b = bands.back();
            b.bottom = y;
            b.left = std::min(b.left, left);
            b.right = std::max(b.right, right);
        }
    }
    return bands;
}

TEST(RuneholmSmoke, StartsHeadlessRendersAndTakesAnUprightScreenshot)
{
    GameRun r = run_game((std::string(CAMERA_BELOW_LAND) + ",F1@0.5,PRINT@1.0,QUIT@1.5").c_str(), "30");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_TRUE(has_lines_in_order(r.log, {"init d3d ok (640x360)", "BASS init OK, 3d mode", "Graphics quality: high"}));
    EXPECT_NE(r.log.find("\ngame_rnd_seed="), std::string::npos);
    EXPECT_NE(r.log.find("\ntotal start-up time: "), std::string::npos);
    EXPECT_NE(r.log.find("\nfree video memory: "), std::string::npos);
    EXPECT_NE(r.log.find("screenshot captured to '" + r.data_dir + "shots/shot"), std::string::npos) << r.log;
    EXPECT_NE(r.log.find("GL debug output on"), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find("GL ERROR:"), std::string::npos) << r.log;

    // The quit message at 1.5 s ended the run, long before the 30 s limit.
    int steps = 0, frames = 0;
    ASSERT_TRUE(read_loop_counts(r.log, steps, frames)) << r.log;
    EXPECT_GE(steps, 30);
    EXPECT_LE(steps, 40);
    EXPECT_GT(frames, 0);
    EXPECT_TRUE(has_lines_in_order(r.log, shutdown_lines));

    auto shots = screenshots(r.data_dir);
    ASSERT_EQ(shots.size(), 1u);
    Image img = load_image(shots[0]);
    ASSERT_EQ(img.w, 640);
    ASSERT_EQ(img.h, 360);
    // F1 also shows the statistics overlay (graphs at the top, legend at the
    // left, a panel at the bottom right): the background is read where none
    // of it is, and the readouts are looked for in the bottom-left quarter.
    const uint8_t* corner = img.at(img.w * 5 / 8, img.h - 1);
    for (int c = 0; c < 3; c++)
        img.bg[c] = corner[c];
    // A plain background: the opposite corner has the same colour.
    const uint8_t* other = img.at(0, img.h / 2);
    for (int c = 0; c < 3; c++)
        EXPECT_NEAR(other[c], corner[c], 6);

    // Two readout lines near the bottom-left corner: the world time above the
    // longer camera position. Upside down, the long line would be on top and
    // both would sit near the top of the picture.
    std::vector<TextBand> bands = text_bands(img, img.w / 2, img.h * 3 / 4);
    ASSERT_EQ(bands.size(), 2u);
    const TextBand& time_line = bands[0];
    const TextBand& camera_line = bands[1];
    EXPECT_GT(time_line.top, img.h * 3 / 4);
    EXPECT_LT(camera_line.bottom, img.h * 945 / 1000);
    EXPECT_GT(camera_line.right - camera_line.left, 3 * (time_line.right - time_line.left));
    EXPECT_LT(camera_line.left, 32);
}

TEST(RuneholmSmoke, AltF4RunsTheWholeShutdown)
{
    GameRun r = run_game("ALT+F4@0.5", "30");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    int steps = 0, frames = 0;
    ASSERT_TRUE(read_loop_counts(r.log, steps, frames)) << r.log;
    EXPECT_LE(steps, 20);
    EXPECT_TRUE(has_lines_in_order(r.log, shutdown_lines));
    EXPECT_NE(r.log.find("\nclosing BASS\n"), std::string::npos);
}

TEST(RuneholmSmoke, ClosingTheWindowEndsTheRun)
{
    GameRun r = run_game("CLOSE@0.25", "30");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    int steps = 0, frames = 0;
    ASSERT_TRUE(read_loop_counts(r.log, steps, frames)) << r.log;
    EXPECT_LE(steps, 15);
    EXPECT_TRUE(has_lines_in_order(r.log, shutdown_lines));
}

// F1 twice hides the readouts again; the run limit alone ends the run.
TEST(RuneholmSmoke, SecondF1HidesTheReadoutsAndTheRunLimitEndsTheRun)
{
    GameRun r = run_game((std::string(CAMERA_BELOW_LAND) + ",F1@0.3,F1@0.6,PRINT@1.0").c_str(), "1.5");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    int steps = 0, frames = 0;
    ASSERT_TRUE(read_loop_counts(r.log, steps, frames)) << r.log;
    EXPECT_EQ(steps, 30);
    EXPECT_TRUE(has_lines_in_order(r.log, shutdown_lines));
    auto shots = screenshots(r.data_dir);
    ASSERT_EQ(shots.size(), 1u);
    Image img = load_image(shots[0]);
    ASSERT_GT(img.w, 0);
    const uint8_t* corner = img.at(img.w - 1, 0);
    for (int c = 0; c < 3; c++)
        img.bg[c] = corner[c];
    EXPECT_TRUE(text_bands(img).empty());
}

// A user folder deeper than 260 characters, a screen size no display offers
// and no audio device: the game starts all the same, says what it did, takes
// a screenshot and ends cleanly; the settings keep what the user wrote.
TEST(RuneholmSmoke, DeepDataFolderImpossibleSizeAndNoSoundStillRun)
{
    GameSetup setup;
    setup.data_subfolders = std::string(120, 'd') + "/" + std::string(120, 'e') + "/";
    setup.settings = "screen_wd=100000\nscreen_ht=300\n";
    setup.audio_driver = "no-such-driver";
    GameRun r = run_game("PRINT@0.3", "0.6", {"-win"}, setup);
    EXPECT_GT(r.data_dir.size(), 260u);
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.log.find("WINDOW: the screen size 100000x300 is more than the display offers"), std::string::npos)
        << r.log;
    EXPECT_NE(r.log.find("SOUND: no audio device, 50 of 50 sound events play nothing"), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find("warning"), std::string::npos) << r.log;
    EXPECT_EQ(r.log.find("GL ERROR:"), std::string::npos) << r.log;
    EXPECT_EQ(screenshots(r.data_dir).size(), 1u) << r.log;
    EXPECT_TRUE(has_lines_in_order(r.log, shutdown_lines));
    EXPECT_NE(read_file(r.data_dir + "settings.cfg").find("screen_wd=100000"), std::string::npos);
}

// The same generated world from the same place at both quality levels: a
// landscape under a sky, kept as build/tests/artifacts/game_quality*.png.
TEST(RuneholmSmoke, GeneratedWorldLooksLikeALandscapeAtBothQualities)
{
    for (int quality = 0; quality < 2; ++quality) {
        SCOPED_TRACE(quality ? "gfx_quality 1" : "gfx_quality 0");
        GameRun r = run_game("F9@0.05,SEED:20261207@0.1,PRINT@1.0,QUIT@1.2", "10",
                             {"-win", "-360", quality ? "-gfx-high" : "-gfx-low"});
        EXPECT_EQ(r.exit_code, 0) << r.output;
        EXPECT_NE(r.log.find("TEST: new world from seed 20261207"), std::string::npos) << r.log;
        auto shots = screenshots(r.data_dir);
        ASSERT_EQ(shots.size(), 1u) << r.log;
        fs::path keep = fs::read_symlink("/proc/self/exe").parent_path() / "artifacts";
        fs::create_directories(keep);
        fs::copy_file(shots[0], keep / ("game_quality" + std::to_string(quality) + ".png"),
                      fs::copy_options::overwrite_existing);

        Image img = load_image(shots[0]);
        ASSERT_EQ(img.w, 640);
        int sky = 0, land = 0, black = 0;
        double sum = 0, sum2 = 0;
        for (int x = 0; x < img.w; x += 4) {
            const uint8_t* top = img.at(x, 3);
            bool cloud = std::min({top[0], top[1], top[2]}) > 150 && top[2] + 10 >= top[0];
            sky += (top[2] > top[0] + 10 && top[2] > 120) || cloud;
            const uint8_t* bottom = img.at(x, img.h - 4);
            land += !(bottom[2] > bottom[0] + 10 && bottom[2] > 120) && bottom[1] > 30;
        }
        for (int y = 0; y < img.h; ++y)
            for (int x = 0; x < img.w; ++x) {
                const uint8_t* p = img.at(x, y);
                black += p[0] < 4 && p[1] < 4 && p[2] < 4;
                double l = 0.3 * p[0] + 0.6 * p[1] + 0.1 * p[2];
                sum += l;
                sum2 += l * l;
            }
        double n = double(img.w) * img.h, sd = std::sqrt(sum2 / n - (sum / n) * (sum / n));
        EXPECT_GT(sky, img.w / 4 * 8 / 10) << "the top rows are not sky";
        EXPECT_GT(land, img.w / 4 * 8 / 10) << "the bottom rows are not land";
        EXPECT_LT(black, img.w * img.h / 200);
        EXPECT_GT(sd, 10.0);
    }
}

// Luminance spread and the share of black pixels: a rendered landscape, not
// an empty or cleared screen.
void expect_rendered_world(const Image& img)
{
    ASSERT_GT(img.w, 0);
    int black = 0;
    double sum = 0, sum2 = 0;
    for (int y = 0; y < img.h; ++y)
        for (int x = 0; x < img.w; ++x) {
            const uint8_t* p = img.at(x, y);
            black += p[0] < 4 && p[1] < 4 && p[2] < 4;
            double l = 0.3 * p[0] + 0.6 * p[1] + 0.1 * p[2];
            sum += l;
            sum2 += l * l;
        }
    double n = double(img.w) * img.h;
    EXPECT_LT(black, img.w * img.h / 200);
    EXPECT_GT(std::sqrt(sum2 / n - (sum / n) * (sum / n)), 10.0);
}

// The program opens on the main menu with its fly-over (two pictures 1.5 s
// apart differ: the camera flies), F9 enters the developer mode, and the log
// shows every start-up stage and the whole shutdown in order. The pictures
// are kept as build/tests/artifacts/main_menu_*.png and dev_mode.png.
TEST(RuneholmSmoke, OpensOnTheMainMenuFlyOverAndF9EntersTheDeveloperMode)
{
    GameRun r = run_game("PRINT@1.0,PRINT@2.5,F9@3.0,PRINT@4.0,QUIT@4.5", "20");
    EXPECT_EQ(r.exit_code, 0) << r.output;
    std::vector<std::string> order = {"APP: world grids", "APP: sound", "Graphics quality: high",
                                      "APP: scene, sky, terrain, post effects", "APP: game-object module",
                                      "APP: world-generation script", "APP: main menu",
                                      "MODE: none -> MainMenuMode", "MODE: MainMenuMode -> DevGameMode"};
    order.insert(order.end(), shutdown_lines.begin(), shutdown_lines.end());
    EXPECT_TRUE(has_lines_in_order(r.log, order));
    EXPECT_EQ(r.log.find("GL ERROR:"), std::string::npos) << r.log;

    auto shots = screenshots(r.data_dir);
    ASSERT_EQ(shots.size(), 3u) << r.log;
    std::sort(shots.begin(), shots.end());
    fs::path keep = fs::read_symlink("/proc/self/exe").parent_path() / "artifacts";
    fs::create_directories(keep);
    const char* names[3] = {"main_menu_1.png", "main_menu_2.png", "dev_mode.png"};
    std::vector<Image> images;
    for (int i = 0; i < 3; ++i) {
        fs::copy_file(shots[i], keep / names[i], fs::copy_options::overwrite_existing);
        images.push_back(load_image(shots[i]));
        SCOPED_TRACE(names[i]);
        expect_rendered_world(images.back());
    }
    // The land in the lower third moves on (the sky above changes little);
    // the middle third of the width holds the menu's panel, which stays.
    ASSERT_EQ(images[0].rgb.size(), images[1].rgb.size());
    const Image &a = images[0], &b = images[1];
    size_t changed = 0, total = 0;
    for (int y = a.h * 2 / 3; y < a.h; ++y)
        for (int x = 0; x < a.w; ++x) {
            if (x >= a.w / 3 && x < a.w * 2 / 3)
                continue;
            ++total;
            for (int c = 0; c < 3; ++c)
                if (std::abs(int(a.at(x, y)[c]) - int(b.at(x, y)[c])) > 24) {
                    ++changed;
                    break;
                }
        }
    EXPECT_GT(changed, total / 5) << "the main menu's camera does not fly";
}

// Without settings and arguments the window is full screen at the desktop
// size, and unknown test keys are reported instead of silently dropped.
TEST(RuneholmSmoke, DefaultsToFullScreenAtTheDesktopSize)
{
    GameRun r = run_game("NOSUCHKEY@0.1", "0.5", {});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    EXPECT_NE(r.log.find("TEST: 1 entries of RUNEHOLM_TEST_KEYS='NOSUCHKEY@0.1' not understood"), std::string::npos)
        << r.log;
    int w = 0, h = 0;
    size_t at = r.log.find("init d3d ok (");
    ASSERT_NE(at, std::string::npos) << r.log;
    ASSERT_EQ(sscanf(r.log.c_str() + at, "init d3d ok (%dx%d)", &w, &h), 2);
    EXPECT_GT(w, 0);
    EXPECT_GT(h, 0);
    EXPECT_TRUE(has_lines_in_order(r.log, shutdown_lines));
}

} // namespace
