// Sample channels: the maximum playback count and the override kinds.
#include "sound_test_util.h"

using namespace soundtest;

namespace {

class SoundSample : public LoopbackTest {
protected:
    unsigned load(int max, int flags, int override_kind) {
        std::string path = write_wav("limit.wav", tone(1.0f, 0.3f));
        unsigned smp = load_sound_sample(path.c_str(), max, flags, override_kind, 0, 0);
        EXPECT_NE(smp, 0u);
        return smp;
    }
    unsigned start(unsigned smp) {
        unsigned ch = get_sound_sample_channel(smp, false);
        EXPECT_NE(ch, 0u);
        EXPECT_TRUE(play_sound(ch, true));
        render_steps(1); // a step apart, so start order is clear
        return ch;
    }
};

// A channel handle stays valid until it is replaced, stopped or its sample freed.
bool valid(unsigned ch) {
    SoundVec v;
    return is_sound_playing(ch) || get_sound_3d_pos(ch, v) || set_sound_pan(ch, 0.0f);
}

TEST_F(SoundSample, WithoutOverrideTheLimitRefusesNewChannels) {
    unsigned smp = load(2, 0, 0);
    unsigned a = start(smp), b = start(smp);
    EXPECT_EQ(get_sound_sample_channel(smp, false), 0u);
    EXPECT_EQ(get_sound_sample_channel(smp, true), 0u);
    EXPECT_TRUE(is_sound_playing(a));
    EXPECT_TRUE(is_sound_playing(b));
    // Once one has ended its place is free again, even without an override.
    render_steps(20);
    EXPECT_FALSE(is_sound_playing(a));
    unsigned c = get_sound_sample_channel(smp, false);
    EXPECT_NE(c, 0u);
    EXPECT_FALSE(valid(a));
    EXPECT_TRUE(valid(b));
}

TEST_F(SoundSample, OnlyNewNeverReplaces) {
    unsigned smp = load(1, 0, SOUND_OVERRIDE_POSITION);
    unsigned a = start(smp);
    EXPECT_EQ(get_sound_sample_channel(smp, true), 0u);
    EXPECT_TRUE(is_sound_playing(a));
    unsigned b = get_sound_sample_channel(smp, false);
    EXPECT_NE(b, 0u);
    EXPECT_FALSE(valid(a));
}

TEST_F(SoundSample, OverrideByPositionReplacesTheLongestPlaying) {
    for (int kind : {SOUND_OVERRIDE_POSITION, SOUND_OVERRIDE_AUTO}) {
        unsigned smp = load(2, 0, kind);
        unsigned a = start(smp), b = start(smp);
        play_sound(a, true); // restarting makes `a` the newest
        unsigned c = start(smp);
        EXPECT_NE(c, 0u);
        EXPECT_TRUE(is_sound_playing(a)) << "kind " << kind;
        EXPECT_FALSE(valid(b)) << "kind " << kind;
        EXPECT_TRUE(is_sound_playing(c));
        free_sound_sample(smp);
        EXPECT_FALSE(valid(a));
        EXPECT_FALSE(valid(c));
    }
}

TEST_F(SoundSample, OverrideByVolumeReplacesTheQuietest) {
    unsigned smp = load(3, 0, SOUND_OVERRIDE_VOLUME);
    unsigned a = start(smp), b = start(smp), c = start(smp);
    set_sound_volume(a, 0.9f);
    set_sound_volume(b, 0.2f);
    set_sound_volume(c, 0.5f);
    unsigned d = start(smp);
    EXPECT_NE(d, 0u);
    EXPECT_TRUE(valid(a));
    EXPECT_FALSE(valid(b));
    EXPECT_TRUE(valid(c));
}

TEST_F(SoundSample, OverrideByDistanceReplacesTheFurthest) {
    for (int kind : {SOUND_OVERRIDE_DISTANCE, SOUND_OVERRIDE_AUTO}) {
        unsigned smp = load(3, SOUND_SAMPLE_3D, kind);
        unsigned a = start(smp), b = start(smp), c = start(smp);
        set_sound_3d_pos(a, SoundVec{5, 0, 0, 0});
        set_sound_3d_pos(b, SoundVec{0, 0, -40, 0});
        set_sound_3d_pos(c, SoundVec{10, 10, 0, 0});
        unsigned d = start(smp);
        EXPECT_NE(d, 0u);
        EXPECT_TRUE(valid(a)) << "kind " << kind;
        EXPECT_FALSE(valid(b)) << "kind " << kind;
        EXPECT_TRUE(valid(c)) << "kind " << kind;
        free_sound_sample(smp);
    }
}

TEST_F(SoundSample, UnstartedChannelsAreReusedFirst) {
    unsigned smp = load(2, 0, SOUND_OVERRIDE_POSITION);
    unsigned a = start(smp);
    unsigned idle = get_sound_sample_channel(smp, false); // never played
    unsigned c = get_sound_sample_channel(smp, false);
    EXPECT_NE(c, 0u);
    EXPECT_TRUE(is_sound_playing(a));
    EXPECT_FALSE(valid(idle));
}

TEST_F(SoundSample, ManyShortSoundsDoNotRunOutOfSources) {
    // Ended channels give their sources back, so hundreds of samples with
    // live channels can coexist.
    std::string path = write_wav("blip.wav", tone(0.02f, 0.3f));
    std::vector<unsigned> chans;
    for (int i = 0; i < 300; ++i) {
        unsigned smp = load_sound_sample(path.c_str(), 1, 0, 1, 0, 0);
        ASSERT_NE(smp, 0u);
        unsigned ch = get_sound_sample_channel(smp, false);
        ASSERT_TRUE(play_sound(ch, true)) << i;
        chans.push_back(ch);
        if (i % 50 == 49)
            render_steps(2);
    }
    render_steps(2);
    for (unsigned ch : chans)
        EXPECT_TRUE(valid(ch));
}

} // namespace
