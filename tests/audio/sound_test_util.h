// Helpers shared by the sound tests: WAV files written with libsndfile into
// a fresh temporary folder, a loopback device that renders what is played in
// update-step sized pieces, level measurements and log capture.
#pragma once
#include "audio/sound.h"
#include "audio/sound_local.h"
#include "core/temp_folders.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace soundtest {

constexpr int RATE = 44100;
constexpr int STEP_FRAMES = RATE / 20; // one 50 ms update step

// One folder per test process (no trailing "/"), removed when the process exits.
inline std::string temp_dir() {
    static std::string dir = [] {
        std::string d = make_temp_dir("rh_audio_test");
        d.pop_back();
        return d;
    }();
    return dir;
}

// Writes interleaved float frames as 16-bit PCM WAV; returns the path.
inline std::string write_wav(const std::string& name, const std::vector<float>& data,
                             int channels = 1, int rate = RATE) {
    std::string path = temp_dir() + "/" + name;
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(sf, nullptr) << sf_strerror(nullptr);
    if (sf) {
        sf_writef_float(sf, data.data(), sf_count_t(data.size() / channels));
        sf_close(sf);
    }
    return path;
}

inline std::string write_bytes(const std::string& name, const std::string& bytes) {
    std::string path = temp_dir() + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    return path;
}

inline std::string read_bytes(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

// A mono sine of `seconds` at `amp`, appended to `out`.
inline void add_tone(std::vector<float>& out, float seconds, float amp, float freq = 330.0f) {
    int n = int(seconds * RATE);
    size_t base = out.size();
    for (int i = 0; i < n; ++i)
        out.push_back(amp * std::sin(2.0f * float(M_PI) * freq * float(base + i) / RATE));
}

inline std::vector<float> tone(float seconds, float amp, float freq = 330.0f) {
    std::vector<float> v;
    add_tone(v, seconds, amp, freq);
    return v;
}

struct Level {
    float left = 0, right = 0;
    float both() const { return std::sqrt(0.5f * (left * left + right * right)); }
};

inline Level rms(const std::vector<float>& stereo, size_t first_frame = 0, size_t frames = ~size_t(0)) {
    size_t total = stereo.size() / 2;
    size_t end = frames == ~size_t(0) ? total : std::min(total, first_frame + frames);
    double l = 0, r = 0;
    size_t n = 0;
    for (size_t i = first_frame; i < end; ++i, ++n) {
        l += double(stereo[i * 2]) * stereo[i * 2];
        r += double(stereo[i * 2 + 1]) * stereo[i * 2 + 1];
    }
    if (n == 0)
        return {};
    return {float(std::sqrt(l / n)), float(std::sqrt(r / n))};
}

// Renders `steps` update steps: update_sound, then one step of output.
// Returns the levels of each step when `levels` is given.
inline std::vector<float> render_steps(int steps, std::vector<Level>* levels = nullptr) {
    std::vector<float> out(size_t(steps) * STEP_FRAMES * 2);
    for (int s = 0; s < steps; ++s) {
        update_sound(0.05f);
        float* chunk = out.data() + size_t(s) * STEP_FRAMES * 2;
        sound_render_loopback(chunk, STEP_FRAMES);
        if (levels)
            levels->push_back(rms(out, size_t(s) * STEP_FRAMES, STEP_FRAMES));
    }
    return out;
}

// Runs the loopback device around each test.
class LoopbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(init_sound_loopback(true));
        sound_stream_to_chain = 0;
        SoundVec zero{0, 0, 0, 0}, front{0, 0, 1, 0}, up{0, 1, 0, 0};
        set_listener_pos(zero, zero, front, up);
        apply_3d_sound();
    }
    void TearDown() override {
        close_sound();
        set_global_sample_volume(10000);
        set_global_stream_volume(10000);
    }
};

// Collects what the log prints (the log writes every line to stdout).
struct LogCapture {
    LogCapture() { ::testing::internal::CaptureStdout(); }
    std::string text() {
        if (!done) {
            captured = ::testing::internal::GetCapturedStdout();
            done = true;
        }
        return captured;
    }
    ~LogCapture() { text(); }
    std::string captured;
    bool done = false;
};

} // namespace soundtest
