// What channels really sound like, rendered through the loopback device:
// audible playback, volumes, slides and fades, pan, 3D balance and distance,
// play positions.
#include "sound_test_util.h"

using namespace soundtest;

namespace {

class SoundChannel : public LoopbackTest {};

unsigned load_tone_sample(const char* name, float seconds, int flags = 0, int max = 4,
                          int override_kind = 1) {
    std::string path = write_wav(name, tone(seconds, 0.5f));
    unsigned smp = load_sound_sample(path.c_str(), max, flags, override_kind, 0, 0);
    EXPECT_NE(smp, 0u);
    return smp;
}

TEST_F(SoundChannel, PlayedSampleIsHeardThenEnds) {
    unsigned smp = load_tone_sample("short.wav", 0.3f);
    unsigned ch = get_sound_sample_channel(smp, false);
    ASSERT_NE(ch, 0u);
    EXPECT_FALSE(is_sound_playing(ch));
    EXPECT_TRUE(play_sound(ch, true));
    EXPECT_TRUE(is_sound_playing(ch));
    std::vector<Level> lv;
    render_steps(12, &lv);
    EXPECT_GT(lv[1].left, 0.1f);
    EXPECT_GT(lv[1].right, 0.1f);
    EXPECT_NEAR(lv[1].left, lv[1].right, 0.02f); // centred
    EXPECT_LT(lv[10].both(), 1e-4f);
    EXPECT_FALSE(is_sound_playing(ch));
    // An ended channel stays valid and plays again from its start.
    EXPECT_TRUE(play_sound(ch, false));
    lv.clear();
    render_steps(2, &lv);
    EXPECT_GT(lv[0].both(), 0.1f);
}

TEST_F(SoundChannel, VolumesScaleTheLevel) {
    unsigned smp = load_tone_sample("vol.wav", 2.0f, SOUND_SAMPLE_LOOP);
    unsigned ch = get_sound_sample_channel(smp, false);
    play_sound(ch, true);
    std::vector<Level> lv;
    render_steps(2, &lv);
    float full = lv[1].both();
    ASSERT_GT(full, 0.1f);
    set_sound_volume(ch, 0.5f);
    set_global_sample_volume(5000);
    lv.clear();
    render_steps(3, &lv);
    EXPECT_NEAR(lv[2].both() / full, 0.25f, 0.02f);
    set_global_sample_volume(10000);
    set_global_stream_volume(0); // streams only
    set_master_volume(0.5f);
    lv.clear();
    render_steps(3, &lv);
    EXPECT_NEAR(lv[2].both() / full, 0.25f, 0.02f);
    // A sample's default volume applies to channels created afterwards.
    set_sound_sample_volume(smp, 0.1f);
    unsigned quiet = get_sound_sample_channel(smp, false);
    stop_sound(ch);
    play_sound(quiet, true);
    lv.clear();
    render_steps(3, &lv);
    EXPECT_NEAR(lv[2].both() / full, 0.05f, 0.01f);
}

TEST_F(SoundChannel, SlideMovesTheLevelStepByStep) {
    unsigned smp = load_tone_sample("slide.wav", 1.0f, SOUND_SAMPLE_LOOP);
    unsigned ch = get_sound_sample_channel(smp, false);
    set_sound_volume(ch, 0.0f);
    play_sound(ch, true);
    slide_sound_volume(ch, 1.0f, 500);
    std::vector<Level> lv;
    render_steps(14, &lv);
    EXPECT_LT(lv[0].both(), lv[4].both());
    EXPECT_LT(lv[4].both(), lv[8].both());
    float top = lv[13].both();
    EXPECT_GT(top, 0.1f);
    EXPECT_NEAR(lv[12].both(), top, 0.01f); // arrived and stays
    EXPECT_NEAR(lv[4].both() / top, 0.5f, 0.15f);
    // Setting the volume ends a slide at once.
    slide_sound_volume(ch, 0.0f, 1000);
    set_sound_volume(ch, 1.0f);
    lv.clear();
    render_steps(6, &lv);
    EXPECT_NEAR(lv[5].both(), top, 0.01f);
    // ms <= 0 sets the volume at once.
    slide_sound_volume(ch, 0.5f, 0);
    lv.clear();
    render_steps(2, &lv);
    EXPECT_NEAR(lv[1].both() / top, 0.5f, 0.03f);
    EXPECT_TRUE(is_sound_playing(ch));
}

TEST_F(SoundChannel, FadeOutStopsAtTheEndOfTheFade) {
    unsigned smp = load_tone_sample("fade.wav", 1.0f, SOUND_SAMPLE_LOOP);
    unsigned ch = get_sound_sample_channel(smp, false);
    play_sound(ch, true);
    render_steps(1);
    EXPECT_TRUE(fade_out_and_stop_sound(ch, 200));
    std::vector<Level> lv;
    render_steps(2, &lv);
    EXPECT_TRUE(is_sound_playing(ch));
    EXPECT_GT(lv[0].both(), lv[1].both());
    render_steps(4, &lv);
    EXPECT_FALSE(is_sound_playing(ch));
    EXPECT_FALSE(set_sound_volume(ch, 1.0f)); // stopping freed the channel
    EXPECT_LT(lv.back().both(), 1e-4f);
}

TEST_F(SoundChannel, FadeOutWithZeroTimeStopsAtOnce) {
    std::string path = write_wav("fade0.wav", tone(3.0f, 0.5f));
    unsigned stream = load_sound_stream(path.c_str(), -1, 0, 0, 0);
    unsigned smp = load_tone_sample("fade0s.wav", 1.0f, SOUND_SAMPLE_LOOP);
    unsigned ch = get_sound_sample_channel(smp, false);
    play_sound(stream, true);
    play_sound(ch, true);
    render_steps(2);
    EXPECT_TRUE(fade_out_and_stop_sound(ch, 0));
    EXPECT_TRUE(fade_out_and_stop_sound(stream, 0));
    EXPECT_FALSE(is_sound_playing(ch));
    EXPECT_FALSE(is_sound_playing(stream));
    std::vector<Level> lv;
    render_steps(1, &lv);
    EXPECT_LT(lv[0].both(), 1e-4f);
    // The stream stays loaded, at volume 0: playing it again is silent until
    // its volume is raised.
    EXPECT_TRUE(play_sound(stream, false));
    lv.clear();
    render_steps(2, &lv);
    EXPECT_LT(lv[1].both(), 1e-4f);
    set_sound_volume(stream, 1.0f);
    lv.clear();
    render_steps(2, &lv);
    EXPECT_GT(lv[1].both(), 0.1f);
}

TEST_F(SoundChannel, PanSteersTwoDimensionalSound) {
    unsigned smp = load_tone_sample("pan.wav", 1.0f, SOUND_SAMPLE_LOOP);
    unsigned ch = get_sound_sample_channel(smp, false);
    set_sound_pan(ch, -1.0f);
    play_sound(ch, true);
    std::vector<Level> lv;
    render_steps(2, &lv);
    EXPECT_GT(lv[1].left, 4 * lv[1].right);
    set_sound_pan(ch, 1.0f);
    lv.clear();
    render_steps(2, &lv);
    EXPECT_GT(lv[1].right, 4 * lv[1].left);
}

TEST_F(SoundChannel, BalanceFollowsThreeDimensionalPosition) {
    unsigned smp = load_tone_sample("pos3d.wav", 1.0f, SOUND_SAMPLE_3D | SOUND_SAMPLE_LOOP);
    unsigned ch = get_sound_sample_channel(smp, false);
    set_sound_3d_params(ch, 1.0f, 1000.0f);
    SoundVec zero{0, 0, 0, 0};
    // Game space: x right, z forward.
    set_sound_3d_pos(ch, SoundVec{5, 0, 0, 0}, zero);
    play_sound(ch, true); // a starting channel takes its position at once
    std::vector<Level> lv;
    render_steps(2, &lv);
    EXPECT_GT(lv[1].right, 2 * lv[1].left);
    set_sound_3d_pos(ch, SoundVec{-5, 0, 0, 0});
    lv.clear();
    render_steps(2, &lv);
    EXPECT_GT(lv[1].right, 2 * lv[1].left); // not applied yet
    apply_3d_sound();
    lv.clear();
    render_steps(2, &lv);
    EXPECT_GT(lv[1].left, 2 * lv[1].right);
    // Turning the listener round swaps the sides.
    SoundVec back{0, 0, -1, 0}, up{0, 1, 0, 0};
    set_listener_pos(zero, zero, back, up);
    apply_3d_sound();
    lv.clear();
    render_steps(2, &lv);
    EXPECT_GT(lv[1].right, 2 * lv[1].left);
    SoundVec out{};
    ASSERT_TRUE(get_sound_3d_pos(ch, out));
    EXPECT_EQ(out.x, -5.0f);
    EXPECT_EQ(out.w, 1.0f);
}

TEST_F(SoundChannel, DistanceAttenuatesBetweenMinAndMax) {
    unsigned smp = load_tone_sample("dist.wav", 1.0f, SOUND_SAMPLE_3D | SOUND_SAMPLE_LOOP);
    set_sound_sample_dist(smp, 2.0f, 16.0f);
    unsigned ch = get_sound_sample_channel(smp, false);
    auto level_at = [&](float z) {
        set_sound_3d_pos(ch, SoundVec{0, 0, z, 0});
        apply_3d_sound();
        std::vector<Level> lv;
        render_steps(3, &lv);
        return lv[2].both();
    };
    play_sound(ch, true);
    float at1 = level_at(1.0f), at2 = level_at(2.0f), at8 = level_at(8.0f);
    float at16 = level_at(16.0f), at64 = level_at(64.0f);
    EXPECT_NEAR(at1, at2, 0.01f);       // full within min
    EXPECT_NEAR(at8 / at2, 0.25f, 0.03f); // min / distance
    EXPECT_NEAR(at64, at16, 0.005f);    // no further drop beyond max
    // set_sound_3d_params changes the distances of this channel only.
    set_sound_3d_params(ch, 8.0f, -1.0f);
    EXPECT_NEAR(level_at(8.0f), at2, 0.01f);
    // Twice the rolloff: min / (min + 2 (distance - min)).
    set_sound_3d_params(ch, 2.0f, -1.0f);
    set_listener_3d_factors(-1.0f, 2.0f, -1.0f);
    EXPECT_NEAR(level_at(8.0f) / at2, 2.0f / 14.0f, 0.02f);
}

// A restarted sound layer starts from the default 3D factors: a rolloff set
// before close_sound does not carry over to the next device.
TEST_F(SoundChannel, RestartResetsTheThreeDFactors) {
    set_listener_3d_factors(4.0f, 2.0f, 3.0f);
    close_sound();
    ASSERT_TRUE(init_sound_loopback(true));
    EXPECT_EQ(sound::g.distance_factor, 1.0f);
    EXPECT_EQ(sound::g.doppler, 1.0f);
    SoundVec zero{0, 0, 0, 0}, front{0, 0, 1, 0}, up{0, 1, 0, 0};
    set_listener_pos(zero, zero, front, up);
    unsigned smp = load_tone_sample("reset.wav", 1.0f, SOUND_SAMPLE_3D | SOUND_SAMPLE_LOOP);
    set_sound_sample_dist(smp, 2.0f, 16.0f);
    unsigned ch = get_sound_sample_channel(smp, false);
    auto level_at = [&](float z) {
        set_sound_3d_pos(ch, SoundVec{0, 0, z, 0});
        apply_3d_sound();
        std::vector<Level> lv;
        render_steps(3, &lv);
        return lv[2].both();
    };
    play_sound(ch, true);
    float at2 = level_at(2.0f), at8 = level_at(8.0f);
    EXPECT_NEAR(at8 / at2, 0.25f, 0.03f); // rolloff 1 again, not 2
}

// Rising pitch for a sound coming closer, falling for one moving away.
TEST_F(SoundChannel, VelocityGivesTheDopplerShift) {
    unsigned smp = load_tone_sample("doppler.wav", 1.0f, SOUND_SAMPLE_3D | SOUND_SAMPLE_LOOP);
    unsigned ch = get_sound_sample_channel(smp, false);
    set_sound_3d_params(ch, 100.0f, 1000.0f);
    play_sound(ch, true);
    auto pitch_with = [&](float vz) {
        set_sound_3d_pos(ch, SoundVec{0, 0, 50, 0}, SoundVec{0, 0, vz, 0});
        apply_3d_sound();
        render_steps(2);
        std::vector<float> out = render_steps(10);
        int crossings = 0;
        for (size_t i = 1; i < out.size() / 2; ++i)
            crossings += (out[i * 2] >= 0) != (out[i * 2 - 2] >= 0);
        return float(crossings) / 2.0f / 0.5f; // Hz over the half second
    };
    float still = pitch_with(0.0f);
    EXPECT_NEAR(still, 330.0f, 3.0f);
    EXPECT_NEAR(pitch_with(-100.0f) / still, 343.3f / 243.3f, 0.02f); // approaching
    EXPECT_NEAR(pitch_with(100.0f) / still, 343.3f / 443.3f, 0.02f);  // receding
}

TEST_F(SoundChannel, RelativePositionLandsInTheMiddle) {
    // First half quiet, second half loud: the level tells where playback is.
    std::vector<float> data;
    add_tone(data, 0.5f, 0.1f);
    add_tone(data, 0.5f, 0.6f);
    std::string path = write_wav("halves.wav", data);
    unsigned stream = load_sound_stream(path.c_str(), -1, 0, 0, 0);
    unsigned smp = load_sound_sample(path.c_str(), 1, 0, 1, 0, 0);
    ASSERT_NE(stream, 0u);
    for (unsigned ch : {stream, get_sound_sample_channel(smp, false)}) {
        EXPECT_TRUE(set_relative_sound_pos(ch, 0.5f));
        EXPECT_TRUE(play_sound(ch, false));
        std::vector<Level> lv;
        render_steps(13, &lv);
        // (OpenAL fades in a sound started past its beginning over ~40 ms.)
        EXPECT_GT(lv[0].both(), 0.1f) << "handle " << ch;
        EXPECT_GT(lv[1].both(), 0.25f) << "handle " << ch;
        EXPECT_LT(lv[12].both(), 1e-4f) << "ended after the second half";
        // While playing: from the quiet start straight to the loud half.
        play_sound(ch, true);
        lv.clear();
        render_steps(2, &lv);
        EXPECT_LT(lv[1].both(), 0.1f);
        set_relative_sound_pos(ch, 0.5f);
        render_steps(2, &lv);
        EXPECT_GT(lv[3].both(), 0.25f);
        stop_sound(ch);
    }
    EXPECT_FALSE(set_relative_sound_pos(stream, 1.5f));
    EXPECT_FALSE(set_relative_sound_pos(stream, -0.1f));
}

TEST_F(SoundChannel, PauseHoldsThePositionAndStopFreesSampleChannels) {
    std::vector<float> data;
    add_tone(data, 0.5f, 0.1f);
    add_tone(data, 0.5f, 0.6f);
    std::string path = write_wav("pause.wav", data);
    unsigned stream = load_sound_stream(path.c_str(), -1, 0, 0, 0);
    play_sound(stream, true);
    render_steps(8); // 0.4 s into the quiet half
    EXPECT_TRUE(pause_sound(stream));
    EXPECT_FALSE(pause_sound(stream));
    EXPECT_FALSE(is_sound_playing(stream));
    std::vector<Level> lv;
    render_steps(10, &lv);
    EXPECT_LT(lv[9].both(), 1e-4f);
    play_sound(stream, false);
    lv.clear();
    render_steps(4, &lv);
    EXPECT_LT(lv[0].both(), 0.1f); // resumed in the quiet half...
    EXPECT_GT(lv[3].both(), 0.25f); // ...and went on into the loud one
    // Stopping a stream keeps its place too.
    EXPECT_TRUE(stop_sound(stream));
    play_sound(stream, false);
    lv.clear();
    render_steps(2, &lv);
    EXPECT_GT(lv[1].both(), 0.25f);

    unsigned smp = load_sound_sample(path.c_str(), 2, 0, 1, 0, 0);
    unsigned ch = get_sound_sample_channel(smp, false);
    play_sound(ch, true);
    EXPECT_TRUE(stop_sound(ch));
    EXPECT_FALSE(is_sound_playing(ch));
    EXPECT_FALSE(play_sound(ch, true)); // the handle died with the stop
}

} // namespace
