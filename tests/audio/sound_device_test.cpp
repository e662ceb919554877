// The device's lifetime: opening the real device (OpenAL Soft's null back
// end here), running without any device, and the volumes.
#include "sound_test_util.h"

#include <cstdio>
#include <cstdlib>

using namespace soundtest;

namespace {

// Log files go to a fresh folder; the real device path opens the null back
// end, which plays nothing but behaves like hardware.
class SoundEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::string home = temp_dir() + "/xdg";
        std::filesystem::create_directories(home);
        setenv("XDG_DATA_HOME", home.c_str(), 0);
        setenv("RUNEHOLM_HEADLESS", "1", 0);
        setenv("ALSOFT_DRIVERS", "null", 0);
    }
};
::testing::Environment* const sound_env =
    ::testing::AddGlobalTestEnvironment(new SoundEnvironment);

TEST(SoundDevice, OpensTheDefaultDeviceAndClosesOnce) {
    LogCapture log;
    ASSERT_TRUE(init_sound(true));
    EXPECT_TRUE(is_sound_ready());
    close_sound();
    close_sound(); // a second close does nothing
    EXPECT_FALSE(is_sound_ready());
    std::string text = log.text();
    EXPECT_NE(text.find("BASS init OK, 3d mode"), std::string::npos) << text;
    size_t closing = text.find("closing BASS");
    EXPECT_NE(closing, std::string::npos);
    EXPECT_EQ(text.find("closing BASS", closing + 1), std::string::npos);
}

TEST(SoundDevice, TwoDimensionalModePlaysThreeDimensionalSoundsFlat) {
    LogCapture log;
    ASSERT_TRUE(init_sound(false));
    std::string path = write_wav("flat.wav", tone(0.2f, 0.5f));
    unsigned smp = load_sound_sample(path.c_str(), 1, SOUND_SAMPLE_3D, 1, 0, 0);
    unsigned ch = get_sound_sample_channel(smp, false);
    EXPECT_NE(ch, 0u);
    EXPECT_FALSE(set_sound_3d_pos(ch, SoundVec{1, 2, 3, 0})); // not a 3D channel
    EXPECT_TRUE(play_sound(ch, true));
    close_sound();
    EXPECT_NE(log.text().find("BASS init OK, 2d mode"), std::string::npos);
}

// A process whose OpenAL has no back end at all: init fails, says why, and
// the game carries on silently. Runs in a fresh process because OpenAL reads
// its back-end list once.
TEST(SoundDeviceDeathTest, WithoutAnyDeviceInitFailsAndSaysWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("ALSOFT_DRIVERS", "no-such-backend", 1);
            LogCapture log;
            bool ok = init_sound(true);
            std::string text = log.text();
            fprintf(stderr, "%s|%s", ok ? "opened" : "failed", text.c_str());
            exit(ok ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "failed\\|SOUND: no audio device");
}

TEST(SoundDevice, EveryCallIsHarmlessWithoutADevice) {
    ASSERT_FALSE(is_sound_ready());
    std::string path = write_wav("nodev.wav", tone(0.1f, 0.5f));
    LogCapture log;
    EXPECT_EQ(load_sound_stream(path.c_str(), -1, 0, 0, 0), 0u);
    EXPECT_EQ(load_sound_sample(path.c_str(), 1, 0, 1, 0, 0), 0u);
    EXPECT_FALSE(free_sound_stream(0x80001000u));
    EXPECT_FALSE(free_sound_sample(0x40001000u));
    EXPECT_EQ(get_sound_sample_channel(0x40001000u, false), 0u);
    EXPECT_FALSE(set_sound_sample_volume(0x40001000u, 1));
    EXPECT_FALSE(set_sound_sample_dist(0x40001000u, 1, 2));
    EXPECT_FALSE(play_sound(0xC0001000u, true));
    EXPECT_FALSE(pause_sound(0xC0001000u));
    EXPECT_FALSE(stop_sound(0xC0001000u));
    EXPECT_FALSE(is_sound_playing(0xC0001000u));
    EXPECT_FALSE(set_sound_volume(0xC0001000u, 1));
    EXPECT_FALSE(set_sound_pan(0xC0001000u, 1));
    EXPECT_FALSE(slide_sound_volume(0xC0001000u, 1, 100));
    EXPECT_FALSE(fade_out_and_stop_sound(0xC0001000u, 0));
    EXPECT_FALSE(set_relative_sound_pos(0xC0001000u, 0.5f));
    SoundVec v{1, 2, 3, 4};
    EXPECT_FALSE(set_sound_3d_params(0xC0001000u, 1, 2));
    EXPECT_FALSE(set_sound_3d_pos(0xC0001000u, v, v));
    EXPECT_FALSE(set_sound_3d_pos(0xC0001000u, v));
    EXPECT_FALSE(get_sound_3d_pos(0xC0001000u, v));
    set_listener_pos(v, v, v, v);
    set_listener_3d_factors(1, 1, 1);
    apply_3d_sound();
    update_sound(0.05f);
    set_master_volume(0.5f);
    EXPECT_EQ(get_master_volume(), -1.0f);
    close_sound();
    EXPECT_EQ(log.text(), ""); // no device, nothing to report per call
}

TEST(SoundDevice, GlobalVolumesAreKeptAndClamped) {
    set_global_sample_volume(12000);
    set_global_stream_volume(-5);
    EXPECT_EQ(get_global_sample_volume(), 10000);
    EXPECT_EQ(get_global_stream_volume(), 0);
    set_global_sample_volume(2500);
    set_global_stream_volume(7000);
    EXPECT_EQ(get_global_sample_volume(), 2500);
    EXPECT_EQ(get_global_stream_volume(), 7000);
    ASSERT_TRUE(init_sound(true)); // survive init and are applied there
    EXPECT_EQ(get_global_sample_volume(), 2500);
    set_master_volume(2.0f);
    EXPECT_FLOAT_EQ(get_master_volume(), 1.0f);
    set_master_volume(0.25f);
    EXPECT_FLOAT_EQ(get_master_volume(), 0.25f);
    close_sound();
    set_global_sample_volume(10000);
    set_global_stream_volume(10000);
}

} // namespace
