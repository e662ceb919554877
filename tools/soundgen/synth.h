// Small synthesis kit for the sound generator: a seeded random generator,
// oscillators, filters, envelopes, a reverb, seamless loops and the file
// writers. Everything is deterministic: the same program writes the same
// bytes on every run.
#pragma once
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace synth {

constexpr int RATE = 44100;
constexpr float PI = 3.14159265358979f;
constexpr float TAU = 2.0f * PI;

using Buf = std::vector<float>; // mono samples at RATE

// 64-bit linear congruential generator (fixed across platforms, unlike
// std:: distributions).
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed * 2862933555777941757ull + 3037000493ull) {}
    uint32_t next() {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(s >> 32);
    }
    float uni() { return float(next() >> 8) * (1.0f / 16777216.0f); } // [0, 1)
    float sym() { return uni() * 2.0f - 1.0f; }                      // [-1, 1)
    float range(float a, float b) { return a + (b - a) * uni(); }
    int pick(int n) { return int(next() % uint32_t(n)); }
};

inline int frames(float seconds) { return int(seconds * RATE); }
inline float t_of(int i) { return float(i) / RATE; }
inline float midi_hz(float note) { return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f); }

// --- Sources ---------------------------------------------------------------
Buf silence(float seconds);
Buf white(float seconds, Rng& rng);
// Brown (integrated) noise without DC (high-passed at 20 Hz, zero mean),
// normalised to about unit level: rumbles.
Buf brown(float seconds, Rng& rng);
enum class Wave { Sine, Triangle, Saw, Square };
// An oscillator whose frequency and amplitude follow functions of time.
Buf osc(float seconds, Wave wave, const std::function<float(float)>& hz,
        const std::function<float(float)>& amp, float phase = 0.0f);
// Inharmonic partials with their own decays: bells, chimes, marimbas.
Buf bell(float seconds, float hz, float decay, float brightness = 1.0f);
// A plucked string (Karplus-Strong) with a soft attack.
Buf pluck(float seconds, float hz, float damping, Rng& rng);
// Short random clicks at `rate` per second: crackles, chittering.
Buf crackle(float seconds, float rate, float click_len, Rng& rng,
            const std::function<float(float)>& density = nullptr);

// --- Filters (in place; cutoff and centre may move with time) ---------------
void lowpass(Buf& b, const std::function<float(float)>& hz, float q = 0.707f);
void highpass(Buf& b, const std::function<float(float)>& hz, float q = 0.707f);
void bandpass(Buf& b, const std::function<float(float)>& hz, float q);
inline void lowpass(Buf& b, float hz, float q = 0.707f) { lowpass(b, [hz](float) { return hz; }, q); }
inline void highpass(Buf& b, float hz, float q = 0.707f) { highpass(b, [hz](float) { return hz; }, q); }
inline void bandpass(Buf& b, float hz, float q) { bandpass(b, [hz](float) { return hz; }, q); }

// --- Shaping ---------------------------------------------------------------
// Attack then exponential decay (time constant `decay` seconds).
float env_ad(float t, float attack, float decay);
// Linear attack, hold, linear release over a note of `len` seconds.
float env_ahr(float t, float attack, float len, float release);
void envelope(Buf& b, const std::function<float(float)>& gain);
// Adds src * gain into dst starting at `at` seconds (dst grows as needed).
void mix(Buf& dst, const Buf& src, float gain = 1.0f, float at = 0.0f);
void normalize(Buf& b, float peak);
void fade(Buf& b, float in_seconds, float out_seconds);
void soft_clip(Buf& b, float drive);
// Mono reverb (parallel combs into allpasses); `size` scales the delays.
void reverb(Buf& b, float wet, float size, float damp = 0.4f, float tail = 1.5f);
// Makes `b` loop without a seam: the last `xfade` seconds are blended into the
// start (equal power, for noise-like material) and cut off.
void make_loop(Buf& b, float xfade);

// --- Stereo --------------------------------------------------------------------
struct Stereo {
    Buf l, r;
};
// Stereo reverb: the two sides use different delays for width.
void reverb(Stereo& s, float wet, float size, float damp = 0.4f);
void mix(Stereo& dst, const Buf& src, float gain, float pan, float at);
void normalize(Stereo& s, float peak);

// --- Files -------------------------------------------------------------------
// 16-bit mono WAV.
bool write_wav(const std::string& path, const Buf& b);
// Ogg Vorbis stereo; the stream's serial number is fixed so the bytes repeat.
bool write_ogg(const std::string& path, const Stereo& s, double quality);

} // namespace synth
