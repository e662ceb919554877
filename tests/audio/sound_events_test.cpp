// Sound events and the sound script on the loopback device: event lookup,
// missing events, script and file errors, the wrap of 3D sounds to the
// reference position, the script's random generator, reload, music chaining,
// the land sounds' binding and the shipped script against the generated files.
#include "sound_test_util.h"

#include "core/app_globals.h"
#include "core/window.h"
#include "core/log.h"
#include "core/platform.h"
#include "core/window.h"
#include "audio/sound_events.h"
#include "audio/sound_land_bind.h"
#include "script/sqbind.h"
#include "world/hm_update.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <unistd.h>

using namespace soundtest;

namespace {

std::string write_text(const std::string& name, const std::string& text) {
    std::string path = temp_dir() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The script text of an `events` table giving every event except those in
// `skip` a channel of the sample `sample_var`.
std::string all_events(const char* sample_var, const std::vector<std::string>& skip = {}) {
    std::string s = "events <- {};\n";
    for (const char* name : sound_event_name) {
        if (std::find(skip.begin(), skip.end(), name) != skip.end())
            continue;
        s += std::string("events.") + name + " <- function() { return get_channel(" + sample_var +
             "); };\n";
    }
    return s;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::string q(const std::string& s) { return "\"" + s + "\""; }

int script_int(const char* global) {
    return sqbind::getGlobal<int>(get_sound_script_vm(), global);
}

int script_array_len(const char* global) {
    SqObject a = sqbind::getGlobal<SqObject>(get_sound_script_vm(), global);
    HSQUIRRELVM v = get_sound_script_vm();
    a.push(v);
    int n = int(sq_getsize(v, -1));
    sq_poptop(v);
    return n;
}

int script_array_at(const char* global, int i) {
    return sqbind::getSlot<int>(sqbind::getGlobal<SqObject>(get_sound_script_vm(), global), i);
}

class SoundScriptTest : public LoopbackTest {
protected:
    void SetUp() override {
        LoopbackTest::SetUp();
        set_error_message(nullptr);
        tone_wav = write_wav("tone.wav", tone(0.5f, 0.5f));
        float ref[4] = {0, 0, 0, 1};
        set_sound_reference_pos(ref);
    }
    void TearDown() override {
        close_sound_script();
        set_error_message(nullptr);
        LoopbackTest::TearDown();
    }
    // A script with one 3D sample `smp` (the tone) and the given body.
    bool start(const std::string& body, const char* name = "script.nut") {
        std::string text = "smp <- load_sample(" + q(tone_wav) + ", 4, SNDF_3D);\n" + body;
        script = write_text(name, text);
        return init_sound_script(script.c_str());
    }
    std::string tone_wav, script;
};

TEST(SoundEventTable, NamesIndicesAndScriptConstants) {
    EXPECT_STREQ(sound_event_name[0], "use_portal");
    EXPECT_STREQ(sound_event_name[33], "land_moving");
    EXPECT_STREQ(sound_event_name[49], "universe_map");
    for (int i = 0; i < NUM_SOUND_EVENTS; ++i)
        EXPECT_EQ(find_sound_event(sound_event_name[i]), i);
    EXPECT_EQ(find_sound_event("no_such_event"), -1);
    // Game code names events by their script constants.
    EXPECT_EQ(find_sound_event("SE_enter_world"), 1);
    EXPECT_EQ(find_sound_event("SE_universe_map"), 49);
    EXPECT_EQ(find_sound_event("SE_"), -1);
    EXPECT_EQ(find_sound_event("SE_SE_enter_world"), -1);
    EXPECT_EQ(find_sound_event(nullptr), -1);
    EXPECT_EQ(LAND_SOUND_EVENT, find_sound_event("land_moving"));

    HSQUIRRELVM vm = sqbind::open_vm(1024);
    ASSERT_NE(vm, nullptr);
    register_sound_event_constants(vm);
    EXPECT_EQ(sq_gettop(vm), 0);
    EXPECT_EQ(sqbind::getGlobal<int>(vm, "SE_use_portal"), 0);
    EXPECT_EQ(sqbind::getGlobal<int>(vm, "SE_land_moving"), 33);
    EXPECT_EQ(sqbind::getGlobal<int>(vm, "SE_universe_map"), 49);
    sqbind::close_vm(vm);
}

TEST_F(SoundScriptTest, EventsPlayTheirChannelAndBadEventsGiveZero) {
    ASSERT_TRUE(start(all_events("smp")));
    EXPECT_FALSE(has_error_message());

    unsigned ch = play_sound_event("bird_hit");
    ASSERT_NE(ch, 0u);
    EXPECT_TRUE(is_sound_playing(ch));
    EXPECT_GT(rms(render_steps(2)).both(), 0.05f);
    EXPECT_NE(play_sound_event(NUM_SOUND_EVENTS - 1), 0u);

    stop_sound(ch);
    EXPECT_EQ(play_sound_event(50), 0u);
    EXPECT_EQ(play_sound_event(-1), 0u);
    EXPECT_EQ(play_sound_event("bird_hits"), 0u);
    EXPECT_EQ(play_sound_event((const char*)nullptr), 0u);
    EXPECT_EQ(get_sound_event_channel(50), 0u);
    EXPECT_EQ(get_sound_event_channel("unknown"), 0u);
    // Nothing is heard from the bad events.
    render_steps(12);
    EXPECT_LT(rms(render_steps(2)).both(), 1e-4f);
    EXPECT_FALSE(has_error_message());
}

TEST_F(SoundScriptTest, MissingEventIsWarnedAboutAndTheRestPlays) {
    LogCapture log;
    ASSERT_TRUE(start(all_events("smp", {"bird_hit"}) + "events.bird_idle <- null;\n"));
    std::string text = log.text();
    EXPECT_NE(text.find("warning: no sound for event 'bird_hit'"), std::string::npos) << text;
    EXPECT_NE(text.find("warning: no sound for event 'bird_idle'"), std::string::npos) << text;
    EXPECT_EQ(count(text, "warning: no sound for event"), 2) << text;
    EXPECT_FALSE(has_error_message());
    EXPECT_EQ(play_sound_event("bird_hit"), 0u);
    EXPECT_EQ(play_sound_event("bird_idle"), 0u);
    EXPECT_NE(play_sound_event("wyvern_hit"), 0u);
}

TEST_F(SoundScriptTest, ScriptWithoutEventsTableShowsTheErrorAndPlaysNothing) {
    LogCapture log;
    EXPECT_FALSE(start("x <- 1;\n"));
    EXPECT_NE(log.text().find("getGlobal 'events' failed"), std::string::npos);
    std::string msg = get_error_message();
    EXPECT_EQ(msg.rfind("Error in sound script:\n", 0), 0u) << msg;
    EXPECT_NE(msg.find("'events'"), std::string::npos) << msg;
    EXPECT_EQ(play_sound_event(0), 0u);
}

TEST_F(SoundScriptTest, MissingScriptIsShownAndRunsOnceItAppears) {
    std::string path = temp_dir() + "/later.nut";
    std::filesystem::remove(path);
    EXPECT_FALSE(init_sound_script(path.c_str()));
    EXPECT_EQ(std::string(get_error_message()), "Error in sound script:\ncan't open '" + path + "'");
    EXPECT_EQ(play_sound_event(0), 0u);

    write_text("later.nut", "smp <- load_sample(" + q(tone_wav) + ", 1, 0);\n" + all_events("smp"));
    reload_sound_script();
    EXPECT_FALSE(has_error_message()) << get_error_message();
    EXPECT_NE(play_sound_event(0), 0u);
}

TEST_F(SoundScriptTest, ScriptErrorsAreShownAndTheGameGoesOn) {
    EXPECT_FALSE(start("local a = null; a.b = 1;\n"));
    EXPECT_EQ(std::string(get_error_message()).rfind("Error in sound script:\n", 0), 0u)
        << get_error_message();
    EXPECT_EQ(play_sound_event(1), 0u);
    close_sound_script();
    set_error_message(nullptr);

    // An event function that fails, and one that returns no integer.
    ASSERT_TRUE(start(all_events("smp") +
                      "events.bird_hit <- function() { throw \"boom\"; };\n"
                      "events.bird_idle <- function() { return \"loud\"; };\n"));
    EXPECT_EQ(play_sound_event("bird_hit"), 0u);
    EXPECT_STREQ(get_error_message(), "Error in sound script:\nSqFunc<> call failed");
    EXPECT_EQ(play_sound_event("bird_idle"), 0u);
    EXPECT_STREQ(get_error_message(), "Error in sound script:\nsq_get*() failed (type error)");
    EXPECT_NE(play_sound_event("wyvern_hit"), 0u);
}

TEST_F(SoundScriptTest, MissingAndCorruptFilesAreListedAndTheRestLoads) {
    std::string missing = temp_dir() + "/no_such_sound.wav";
    std::string corrupt = write_bytes("corrupt.wav", "RIFF\x10\0\0\0WAVEjunkjunkjunk");
    std::string corrupt_music = write_bytes("corrupt.ogg", "OggS but not really");
    ASSERT_FALSE(start("bad1 <- load_sample(" + q(missing) + ", 1, 0);\n" +
                       "bad2 <- load_sample(" + q(corrupt) + ", 1, 0);\n" +
                       "bad3 <- load_chained_music(" + q(corrupt_music) + ");\n" +
                       all_events("smp")));
    EXPECT_EQ(std::string(get_error_message()),
              "Error in sound script:\nCan't load sound files:\n" + missing + "\n" + corrupt + "\n" +
                  corrupt_music + "\n");
    EXPECT_EQ(script_int("bad1"), 0);
    EXPECT_EQ(script_int("bad3"), 0);
    // The events are bound all the same.
    EXPECT_NE(play_sound_event("meteor_hit"), 0u);
}

TEST_F(SoundScriptTest, WithoutADeviceNothingPlaysAndNoFileIsBlamed) {
    close_sound();
    LogCapture log;
    EXPECT_TRUE(start(all_events("smp") + "m <- load_chained_music(" + q(tone_wav) + ");\n"));
    EXPECT_FALSE(has_error_message()) << get_error_message();
    EXPECT_EQ(log.text().find("warning"), std::string::npos);
    EXPECT_EQ(play_sound_event("bird_hit"), 0u);
    do_music_chaining();
    float ref[4] = {0, 0, 0, 1};
    update_3d_sounds(ref);
    close_sound_script();
}

TEST_F(SoundScriptTest, ThreeDSoundsFollowTheReferencePositionAcrossTheWrap) {
    ASSERT_TRUE(start(all_events("smp") + "flat <- load_sample(" + q(tone_wav) + ", 1, 0);\n"));
    float ref[4] = {250, 0, 5, 1};
    set_sound_reference_pos(ref);
    unsigned ch = play_sound_event("meteor_hit");
    ASSERT_NE(ch, 0u);
    update_3d_sound(ch, SoundVec{3, 7, 250, 0}, SoundVec{0, 0, 0, 0});
    SoundVec p{};
    ASSERT_TRUE(get_sound_3d_pos(ch, p));
    EXPECT_FLOAT_EQ(p.x, 259.0f);
    EXPECT_FLOAT_EQ(p.y, 7.0f);
    EXPECT_FLOAT_EQ(p.z, -6.0f);
    EXPECT_EQ(tracked_3d_sound_count(), 1);

    // The camera walks over the wrap: the sound is moved to its near copy.
    float ref2[4] = {20, 0, 250, 1};
    update_3d_sounds(ref2);
    ASSERT_TRUE(get_sound_3d_pos(ch, p));
    EXPECT_FLOAT_EQ(p.x, 3.0f);
    EXPECT_FLOAT_EQ(p.z, 250.0f);

    // Channel 0, a stale handle and a 2D channel are not remembered; a
    // stopped sound is forgotten at the next step.
    update_3d_sound(0, SoundVec{1, 1, 1, 0}, SoundVec{});
    update_3d_sound(ch ^ 0x1000u, SoundVec{1, 1, 1, 0}, SoundVec{});
    unsigned flat = get_sound_sample_channel(unsigned(script_int("flat")), false);
    ASSERT_NE(flat, 0u);
    update_3d_sound(flat, SoundVec{1, 1, 1, 0}, SoundVec{});
    EXPECT_EQ(tracked_3d_sound_count(), 1);
    stop_sound(ch);
    update_3d_sounds(ref2);
    EXPECT_EQ(tracked_3d_sound_count(), 0);
}

TEST_F(SoundScriptTest, PlacementIsHeardOnTheNearSide) {
    ASSERT_TRUE(start(all_events("smp")));
    float ref[4] = {250, 0, 100, 1};
    set_sound_reference_pos(ref);
    SoundVec pos{250, 0, 100, 0}, vel{}, front{0, 0, 1, 0}, up{0, 1, 0, 0};
    set_listener_pos(pos, vel, front, up);
    // x = 6 lies 12 cells to the listener's right across the wrap, not 244 to its left.
    unsigned ch = get_sound_event_channel("wyvern_hit");
    update_3d_sound(ch, SoundVec{6, 0, 100, 0}, vel);
    play_sound(ch, true);
    apply_3d_sound();
    Level l = rms(render_steps(4));
    EXPECT_GT(l.right, l.left * 1.5f);
}

TEST_F(SoundScriptTest, GameRndRepeatsFromTheSameSeed) {
    const std::string body = all_events("smp") +
                             "seq <- [];\n"
                             "for (local i = 0; i < 8; i++) seq.append(game_rnd());\n";
    auto run = [&] {
        game_rnd_seed = 0x123456789abcdefull;
        EXPECT_TRUE(start(body));
        std::vector<int> v;
        for (int i = 0; i < script_array_len("seq"); ++i)
            v.push_back(script_array_at("seq", i));
        // The sound generator has its own state.
        EXPECT_EQ(game_rnd_seed, 0x123456789abcdefull);
        close_sound_script();
        return v;
    };
    std::vector<int> a = run(), b = run();
    ASSERT_EQ(a.size(), 8u);
    EXPECT_EQ(a, b);
    uint64_t s = 0x123456789abcdefull;
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    EXPECT_EQ(a[0], int((s >> 32) & 0x7fffffff));
    for (int x : a)
        EXPECT_GE(x, 0);
    EXPECT_NE(a[0], a[1]);
}

TEST_F(SoundScriptTest, ReloadRunsTheChangedScriptWithFreshSounds) {
    ASSERT_TRUE(start(all_events("smp") + "version <- 1;\n", "reload.nut"));
    int old_sample = script_int("smp");
    unsigned ch = play_sound_event("bird_hit");
    ASSERT_NE(ch, 0u);

    reload_sound_script(); // nothing changed: nothing happens
    EXPECT_EQ(script_int("smp"), old_sample);
    EXPECT_TRUE(is_sound_playing(ch));

    std::string text = "smp <- load_sample(" + q(tone_wav) + ", 2, 0);\n" +
                       all_events("smp", {"bird_hit"}) + "version <- 2;\n";
    write_text("reload.nut", text);
    std::filesystem::last_write_time(script, std::filesystem::last_write_time(script) +
                                                 std::chrono::seconds(2));
    set_error_message("stale");
    reload_sound_script();
    EXPECT_FALSE(has_error_message());
    EXPECT_EQ(script_int("version"), 2);
    EXPECT_NE(script_int("smp"), old_sample);
    // The old sample and its channel were freed; the new bindings hold.
    EXPECT_FALSE(free_sound_sample(unsigned(old_sample)));
    EXPECT_FALSE(is_sound_playing(ch));
    EXPECT_EQ(play_sound_event("bird_hit"), 0u);
    EXPECT_NE(play_sound_event("bird_idle"), 0u);

    // A reload that fails shows the error.
    write_text("reload.nut", "this is not squirrel");
    std::filesystem::last_write_time(script, std::filesystem::last_write_time(script) +
                                                 std::chrono::seconds(2));
    reload_sound_script();
    EXPECT_EQ(std::string(get_error_message()).rfind("Error in sound script:\n", 0), 0u);
    EXPECT_EQ(play_sound_event("bird_idle"), 0u);
}

TEST_F(SoundScriptTest, ChainedMusicStartsTheNextPieceExactlyOnce) {
    std::string a = write_wav("piece_a.wav", tone(0.6f, 0.4f, 220));
    std::string b = write_wav("piece_b.wav", tone(0.6f, 0.4f, 440));
    ASSERT_TRUE(start(all_events("smp") +
                      "music <- [load_chained_music(" + q(a) + "), load_chained_music(" +
                      q(b) + ")];\n"
                      "chained <- [];\n"
                      "function do_music_chaining(s) {\n"
                      "  chained.append(s);\n"
                      "  if (s == music[0]) play_channel(music[1], true);\n"
                      "}\n"
                      "play_channel(music[0], true);\n"));
    unsigned first = unsigned(script_array_at("music", 0));
    unsigned second = unsigned(script_array_at("music", 1));
    float ref[4] = {0, 0, 0, 1};
    int steps_until_second = -1;
    for (int s = 0; s < 60; ++s) {
        update_3d_sounds(ref);
        start_queued_music(); // a second call in the same step changes nothing
        update_sound(0.05f);
        std::vector<float> out(STEP_FRAMES * 2);
        sound_render_loopback(out.data(), STEP_FRAMES);
        if (steps_until_second < 0 && is_sound_playing(second))
            steps_until_second = s;
    }
    // The first piece (0.6 s) ended, the second started after it and ended too.
    EXPECT_GE(steps_until_second, 11);
    EXPECT_LE(steps_until_second, 16);
    ASSERT_EQ(script_array_len("chained"), 2);
    EXPECT_EQ(unsigned(script_array_at("chained", 0)), first);
    EXPECT_EQ(unsigned(script_array_at("chained", 1)), second);
    EXPECT_FALSE(is_sound_playing(first));
    EXPECT_FALSE(is_sound_playing(second));
    EXPECT_EQ(sound_stream_to_chain, 0u);
}

TEST_F(SoundScriptTest, FailingMusicChainingIsShown) {
    std::string a = write_wav("piece_c.wav", tone(0.2f, 0.4f));
    ASSERT_TRUE(start(all_events("smp") + "m <- load_chained_music(" + q(a) + ");\n" +
                      "function do_music_chaining(s) { throw \"no next piece\"; }\n"
                      "play_channel(m, true);\n"));
    for (int s = 0; s < 10; ++s) {
        update_sound(0.05f);
        std::vector<float> out(STEP_FRAMES * 2);
        sound_render_loopback(out.data(), STEP_FRAMES);
    }
    EXPECT_NE(sound_stream_to_chain, 0u);
    do_music_chaining();
    EXPECT_EQ(sound_stream_to_chain, 0u);
    EXPECT_STREQ(get_error_message(), "Error in sound script:\nSqFunc<> call failed");
}

// A long operation (leaving a world simulates 60 s) runs no update step but
// shows the splash over and over: the splash keeps the music fed, and a piece
// that ends there hands over to the next one.
TEST_F(SoundScriptTest, MusicGoesOnWhileTheSplashIsShown) {
    std::string a = write_wav("splash_a.wav", tone(1.5f, 0.4f, 220));
    std::string b = write_wav("splash_b.wav", tone(4.0f, 0.4f, 440));
    ASSERT_TRUE(start(all_events("smp") +
                      "music <- [load_chained_music(" + q(a) + "), load_chained_music(" + q(b) + ")];\n"
                      "function do_music_chaining(s) { if (s == music[0]) play_channel(music[1], true); }\n"
                      "play_channel(music[0], true);\n"));
    splash_feed_sound_fn = keep_music_playing; // as start-up wires it
    std::vector<float> out(STEP_FRAMES * 2);
    float quietest = 1.0f;
    for (int s = 0; s < 80; ++s) { // 4 s without update_sound
        show_splash("Simulating the world", float(s) / 80.0f);
        sound_render_loopback(out.data(), STEP_FRAMES);
        quietest = std::min(quietest, rms(out).both());
    }
    splash_feed_sound_fn = nullptr;
    EXPECT_GT(quietest, 0.05f);
    EXPECT_TRUE(is_sound_playing(unsigned(script_array_at("music", 1))));
}

// The update step re-places the 3D sounds and forgets the stopped ones in
// every step, also on screens without a camera (update_3d_sounds(null), as
// the step calls it then).
TEST_F(SoundScriptTest, ThreeDSoundsAreKeptUpWithoutACamera) {
    ASSERT_TRUE(start(all_events("smp")));
    float ref[4] = {250, 0, 0, 1};
    set_sound_reference_pos(ref);
    unsigned ch = play_sound_event("meteor_hit");
    ASSERT_NE(ch, 0u);
    update_3d_sound(ch, SoundVec{3, 0, 0, 0}, SoundVec{});
    update_3d_sounds(nullptr); // no camera: the reference position stays
    SoundVec p{};
    ASSERT_TRUE(get_sound_3d_pos(ch, p));
    EXPECT_FLOAT_EQ(p.x, 259.0f);
    EXPECT_EQ(tracked_3d_sound_count(), 1);
    stop_sound(ch);
    update_3d_sounds(nullptr);
    EXPECT_EQ(tracked_3d_sound_count(), 0);
}

TEST_F(SoundScriptTest, LandSoundsPlayThroughTheLandMovingEvent) {
    ASSERT_TRUE(start(all_events("smp")));
    LandSoundHooks hooks{};
    fill_land_sound_hooks(hooks);
    ASSERT_TRUE(hooks.get_event_channel && hooks.is_playing && hooks.set_3d_params &&
                hooks.set_3d_pos && hooks.set_relative_pos && hooks.slide_volume && hooks.play &&
                hooks.fade_out_and_stop);
    float ref[4] = {250, 0, 0, 1};
    set_sound_reference_pos(ref);
    unsigned ch = hooks.get_event_channel(LAND_SOUND_EVENT);
    ASSERT_NE(ch, 0u);
    EXPECT_TRUE(hooks.set_3d_params(ch, 10, 256));
    EXPECT_TRUE(hooks.set_3d_pos(ch, Vec4f{3, 0, 0, 0}, Vec4f{}));
    SoundVec p{};
    ASSERT_TRUE(get_sound_3d_pos(ch, p));
    EXPECT_FLOAT_EQ(p.x, 259.0f);
    EXPECT_TRUE(hooks.play(ch, false));
    EXPECT_TRUE(hooks.is_playing(ch));
    EXPECT_TRUE(hooks.fade_out_and_stop(ch, 0));
    EXPECT_FALSE(hooks.is_playing(ch));
    clear_land_sound_hooks(hooks);
    EXPECT_EQ(hooks.play, nullptr);
}

// The shipped script against the generated sound files in <build>/bin.
class ShippedSoundScript : public SoundScriptTest {
protected:
    void SetUp() override {
        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        ASSERT_GT(n, 0);
        exe[n] = 0;
        bin = (std::filesystem::path(exe).parent_path().parent_path() / "bin").string() + "/";
        if (!std::filesystem::exists(bin + "sound/land_moving.wav"))
            GTEST_SKIP() << "no generated sounds in " << bin;
        SoundScriptTest::SetUp();
        strcpy(saved_app_path, app_path);
        strcpy(app_path, bin.c_str());
    }
    void TearDown() override {
        if (!bin.empty() && std::filesystem::exists(bin + "sound/land_moving.wav"))
            strcpy(app_path, saved_app_path);
        SoundScriptTest::TearDown();
    }
    std::string bin;
    char saved_app_path[sizeof app_path] = {};
};

// The world code raises "SE_enter_world" through its hook (raise_sound_event):
// the sound of entering a world is heard.
TEST_F(ShippedSoundScript, EnteringAWorldIsHeard) {
    ASSERT_TRUE(init_sound_script(RUNEHOLM_SOURCE_DIR "/data/sound/sound.nut"))
        << get_error_message();
    set_global_stream_volume(0); // the music would be heard as well
    render_steps(2);
    EXPECT_LT(rms(render_steps(2)).both(), 1e-4f);
    raise_sound_event("SE_enter_world");
    EXPECT_GT(rms(render_steps(10)).both(), 0.01f);
}

// Without an audio device the shipped script loads no sample and defines no
// event: one line says so, not a warning for each of the 50 events.
TEST_F(ShippedSoundScript, WithoutADeviceOneLineIsLogged) {
    close_sound();
    LogCapture log;
    init_sound_script(RUNEHOLM_SOURCE_DIR "/data/sound/sound.nut");
    std::string text = log.text();
    EXPECT_EQ(count(text, "warning"), 0) << text;
    EXPECT_EQ(count(text, "SOUND: no audio device, 50 of 50 sound events play nothing"), 1) << text;
    EXPECT_FALSE(has_error_message()) << get_error_message();
}

TEST_F(ShippedSoundScript, LoadsWithoutWarningsAndEveryEventSounds) {
    LogCapture log;
    ASSERT_TRUE(init_sound_script(RUNEHOLM_SOURCE_DIR "/data/sound/sound.nut"))
        << get_error_message();
    std::string text = log.text();
    EXPECT_EQ(text.find("warning"), std::string::npos) << text;
    EXPECT_EQ(text.find("error"), std::string::npos) << text;
    EXPECT_FALSE(has_error_message()) << get_error_message();

    for (int i = 0; i < NUM_SOUND_EVENTS; ++i) {
        unsigned ch = get_sound_event_channel(i);
        EXPECT_NE(ch, 0u) << sound_event_name[i];
    }
    // The music has started, and the land-moving sound is a 3D loop.
    EXPECT_EQ(script_array_len("music"), 3);
    int playing = 0;
    for (int i = 0; i < 3; ++i)
        playing += is_sound_playing(unsigned(script_array_at("music", i)));
    EXPECT_EQ(playing, 1);
    unsigned land = play_sound_event(LAND_SOUND_EVENT);
    ASSERT_NE(land, 0u);
    EXPECT_TRUE(set_sound_3d_pos(land, SoundVec{0, 0, 5, 0}));
    render_steps(100);
    EXPECT_TRUE(is_sound_playing(land));
    EXPECT_FALSE(has_error_message()) << get_error_message();
}

} // namespace
