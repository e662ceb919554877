// Streams rendered through the loopback device: loop points, whole-stream
// loops, chaining, file ranges and load failures with their log texts.
#include "sound_test_util.h"

using namespace soundtest;

namespace {

class SoundStream : public LoopbackTest {};

// One second: a quiet first half and a loud second half.
std::string halves_file(const char* name) {
    std::vector<float> data;
    add_tone(data, 0.5f, 0.1f);
    add_tone(data, 0.5f, 0.6f);
    return write_wav(name, data);
}

TEST_F(SoundStream, LoopPointJumpsBackAndNeverEnds) {
    std::string path = halves_file("loop.wav");
    unsigned s = load_sound_stream(path.c_str(), 0.5, 0, 0, 0);
    ASSERT_NE(s, 0u);
    EXPECT_TRUE(play_sound(s, true));
    std::vector<Level> lv;
    render_steps(100, &lv); // five seconds
    EXPECT_TRUE(is_sound_playing(s));
    EXPECT_LT(lv[3].both(), 0.1f); // the intro plays once
    for (int i = 11; i < 100; ++i)
        ASSERT_GT(lv[i].both(), 0.25f) << "step " << i << " left the loop";
    EXPECT_EQ(sound_stream_to_chain, 0u);
}

TEST_F(SoundStream, LoopFlagLoopsTheWholeStream) {
    std::string path = halves_file("loopall.wav");
    unsigned s = load_sound_stream(path.c_str(), -1, SOUND_STREAM_LOOP, 0, 0);
    play_sound(s, true);
    std::vector<Level> lv;
    render_steps(60, &lv);
    EXPECT_TRUE(is_sound_playing(s));
    int quiet = 0, loud = 0;
    for (int i = 20; i < 60; ++i)
        (lv[i].both() < 0.1f && lv[i].both() > 0.01f ? quiet : loud)++;
    EXPECT_GT(quiet, 10); // the quiet start comes round again
    EXPECT_GT(loud, 10);
}

TEST_F(SoundStream, PlainStreamEndsOnceWithoutChaining) {
    std::string path = halves_file("once.wav");
    unsigned s = load_sound_stream(path.c_str(), -1, 0, 0, 0);
    play_sound(s, true);
    std::vector<Level> lv;
    render_steps(40, &lv);
    EXPECT_FALSE(is_sound_playing(s));
    EXPECT_LT(lv[39].both(), 1e-4f);
    EXPECT_EQ(sound_stream_to_chain, 0u);
}

TEST_F(SoundStream, ChainedStreamReportsItsEndExactlyOnce) {
    std::string path = halves_file("chain.wav");
    unsigned s = load_sound_stream(path.c_str(), -1, SOUND_STREAM_CHAIN, 0, 0);
    ASSERT_NE(s, 0u);
    play_sound(s, true);
    int reports = 0, first_step = -1;
    std::vector<Level> lv;
    for (int i = 0; i < 60; ++i) {
        render_steps(1, &lv);
        if (sound_stream_to_chain) {
            EXPECT_EQ(sound_stream_to_chain, s);
            sound_stream_to_chain = 0; // as the music chaining step does
            if (reports++ == 0)
                first_step = i;
        }
    }
    EXPECT_EQ(reports, 1);
    // Reported once the end has been heard, not when it was decoded.
    EXPECT_GE(first_step, 19);
    EXPECT_LE(first_step, 22);
    EXPECT_FALSE(is_sound_playing(s));
}

TEST_F(SoundStream, ChainedLoopReportsEveryPassOfTheEnd) {
    std::string path = halves_file("chainloop.wav");
    unsigned s = load_sound_stream(path.c_str(), 0.5, SOUND_STREAM_CHAIN, 0, 0);
    play_sound(s, true);
    int reports = 0;
    for (int i = 0; i < 50; ++i) { // 2.5 s: the end passes at 1.0, 1.5 and 2.0 s
        render_steps(1);
        if (sound_stream_to_chain == s)
            ++reports, sound_stream_to_chain = 0;
    }
    EXPECT_EQ(reports, 3);
    EXPECT_TRUE(is_sound_playing(s));
}

TEST_F(SoundStream, StreamThatRanDryDuringALongFrameCarriesOn) {
    std::string path = write_wav("long.wav", tone(6.0f, 0.5f));
    unsigned s = load_sound_stream(path.c_str(), -1, 0, 0, 0);
    play_sound(s, true);
    render_steps(2);
    // Three seconds without an update step: more than is queued.
    std::vector<float> stall(size_t(3 * RATE) * 2);
    sound_render_loopback(stall.data(), 3 * RATE);
    EXPECT_LT(rms(stall, size_t(2.5 * RATE)).both(), 1e-4f); // it did run dry
    EXPECT_TRUE(is_sound_playing(s));
    std::vector<Level> lv;
    render_steps(4, &lv);
    EXPECT_GT(lv[1].both(), 0.2f);
    EXPECT_TRUE(is_sound_playing(s));
}

TEST_F(SoundStream, StereoStreamPlaysBothSidesAndThreeDimensionalStreamIsPlaced) {
    std::vector<float> stereo;
    for (int i = 0; i < RATE; ++i) {
        float v = 0.5f * std::sin(2.0f * float(M_PI) * 330.0f * float(i) / RATE);
        stereo.push_back(v);
        stereo.push_back(0.25f * v);
    }
    std::string path = write_wav("stereo.wav", stereo, 2);
    unsigned flat = load_sound_stream(path.c_str(), -1, 0, 0, 0);
    play_sound(flat, true);
    std::vector<Level> lv;
    render_steps(3, &lv);
    EXPECT_NEAR(lv[2].right / lv[2].left, 0.25f, 0.03f);
    stop_sound(flat);

    unsigned placed = load_sound_stream(path.c_str(), -1, SOUND_STREAM_3D, 0, 0);
    set_sound_3d_pos(placed, SoundVec{-3, 0, 1, 0});
    play_sound(placed, true);
    lv.clear();
    render_steps(3, &lv);
    EXPECT_GT(lv[2].left, 2 * lv[2].right);
}

TEST_F(SoundStream, FileRangesAreHonoured) {
    // Two sound files packed into one, each loaded by offset and size.
    std::string a = read_bytes(write_wav("part_a.wav", tone(0.5f, 0.1f)));
    std::string b = read_bytes(write_wav("part_b.wav", tone(0.5f, 0.6f)));
    std::string pack = write_bytes("pack.bin", std::string(100, 'x') + a + b);
    int off_b = int(100 + a.size());
    unsigned sa = load_sound_stream(pack.c_str(), -1, 0, 100, int(a.size()));
    unsigned sb = load_sound_stream(pack.c_str(), -1, 0, off_b, 0); // to the end
    unsigned smp = load_sound_sample(pack.c_str(), 1, 0, 1, off_b, int(b.size()));
    ASSERT_NE(sa, 0u);
    ASSERT_NE(sb, 0u);
    ASSERT_NE(smp, 0u);
    std::vector<Level> lv;
    play_sound(sa, true);
    render_steps(2, &lv);
    stop_sound(sa);
    play_sound(sb, true);
    render_steps(2, &lv);
    stop_sound(sb);
    play_sound(get_sound_sample_channel(smp, false), true);
    render_steps(2, &lv);
    EXPECT_LT(lv[1].both(), 0.1f);
    EXPECT_GT(lv[3].both(), 0.25f);
    EXPECT_GT(lv[5].both(), 0.25f);
}

TEST_F(SoundStream, OffsetPastTheEndIsRejected) {
    std::string path = halves_file("short_offset.wav");
    LogCapture log;
    EXPECT_EQ(load_sound_stream(path.c_str(), -1, 0, 1000000, 0), 0u);
    std::string expect = "invalid offset 1000000 for '" + path + "'";
    EXPECT_NE(log.text().find(expect), std::string::npos) << log.text();
}

TEST_F(SoundStream, MissingShortAndCorruptFilesFailCleanly) {
    std::string missing = temp_dir() + "/no_such_file.ogg";
    std::string junk = write_bytes("junk.ogg", std::string(5000, '\x5a'));
    std::string good = halves_file("good.wav");
    LogCapture log;
    EXPECT_EQ(load_sound_stream(missing.c_str(), -1, 0, 0, 0), 0u);
    EXPECT_EQ(load_sound_stream(junk.c_str(), -1, 0, 0, 0), 0u);
    EXPECT_EQ(load_sound_stream(good.c_str(), -1, 0, 0, 100000000), 0u); // past the end
    EXPECT_EQ(load_sound_stream(nullptr, -1, 0, 0, 0), 0u);
    EXPECT_EQ(load_sound_sample(missing.c_str(), 1, 0, 1, 0, 0), 0u);
    EXPECT_EQ(load_sound_sample(junk.c_str(), 1, 0, 1, 0, 0), 0u);
    EXPECT_EQ(load_sound_sample(good.c_str(), 1, 0, 1, 1000000, 0), 0u);
    EXPECT_EQ(load_sound_sample(good.c_str(), 0, 0, 1, 0, 0), 0u);
    std::string text = log.text();
    EXPECT_NE(text.find("failed to open stream file '" + missing + "'"), std::string::npos) << text;
    EXPECT_NE(text.find("error creating stream from '" + junk + "'"), std::string::npos);
    EXPECT_NE(text.find("error reading stream file '" + good + "'"), std::string::npos);
    EXPECT_NE(text.find("error loading sample from '" + missing + "'"), std::string::npos);
    EXPECT_NE(text.find("error loading sample from '" + junk + "'"), std::string::npos);
    EXPECT_NE(text.find("error loading sample from '" + good + "'"), std::string::npos);
    // A corrupt file leaves the layer working.
    unsigned s = load_sound_stream(good.c_str(), -1, 0, 0, 0);
    EXPECT_TRUE(play_sound(s, true));
}

TEST_F(SoundStream, FreedStreamsAndStaleHandlesAreRejected) {
    std::string path = halves_file("free.wav");
    unsigned s = load_sound_stream(path.c_str(), -1, 0, 0, 0);
    play_sound(s, true);
    render_steps(2);
    EXPECT_TRUE(free_sound_stream(s));
    EXPECT_FALSE(free_sound_stream(s));
    EXPECT_FALSE(play_sound(s, true));
    EXPECT_FALSE(is_sound_playing(s));
    std::vector<Level> lv;
    render_steps(1, &lv);
    EXPECT_LT(lv[0].both(), 1e-4f);
    unsigned again = load_sound_stream(path.c_str(), -1, 0, 0, 0);
    EXPECT_NE(again, s); // the slot comes back under a new handle
    EXPECT_FALSE(free_sound_sample(again)); // a stream is not a sample
    EXPECT_EQ(get_sound_sample_channel(again, false), 0u);
}

} // namespace
