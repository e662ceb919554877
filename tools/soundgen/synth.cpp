// The synthesis kit: oscillators, noise, filters, envelopes, reverbs, loops
// and the WAV / Ogg Vorbis writers (libsndfile).
#include "synth.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace synth {

Buf silence(float seconds) { return Buf(size_t(frames(seconds)), 0.0f); }

Buf white(float seconds, Rng& rng) {
    Buf b(size_t(frames(seconds)));
    for (float& x : b)
        x = rng.sym();
    return b;
}

Buf brown(float seconds, Rng& rng) {
    Buf b(size_t(frames(seconds)));
    float y = 0;
    for (float& x : b) {
        y = y * 0.998f + rng.sym() * 0.06f; // leaky, so it never drifts away
        x = y;
    }
    // Below the leak's corner (~15 Hz) the noise is still strong, which shows
    // as a DC offset of whatever is made from it: take it out.
    highpass(b, 20.0f);
    double mean = 0;
    for (float x : b)
        mean += x;
    mean /= double(std::max<size_t>(1, b.size()));
    for (float& x : b)
        x -= float(mean);
    normalize(b, 1.0f);
    return b;
}

static float shape(Wave w, float ph) { // ph in [0, 1)
    switch (w) {
    case Wave::Sine: return std::sin(TAU * ph);
    case Wave::Triangle: return 4.0f * std::fabs(ph - 0.5f) - 1.0f;
    case Wave::Saw: return 2.0f * ph - 1.0f;
    case Wave::Square: return ph < 0.5f ? 1.0f : -1.0f;
    }
    return 0;
}

// Band-limits the saw and square steps (polyBLEP), so high notes stay clean.
static float blep(float t, float dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

Buf osc(float seconds, Wave wave, const std::function<float(float)>& hz,
        const std::function<float(float)>& amp, float phase) {
    // Frequency and amplitude are read every CONTROL samples (the amplitude
    // interpolated in between): the functions cost more than the waveform.
    constexpr size_t CONTROL = 8;
    Buf b(size_t(frames(seconds)));
    float ph = phase, dt = 0, a0 = amp(0.0f), a1 = a0;
    for (size_t i = 0; i < b.size(); ++i) {
        size_t k = i % CONTROL;
        if (k == 0) {
            float t = t_of(int(i));
            dt = std::clamp(hz(t) / RATE, 0.0f, 0.49f);
            a0 = a1;
            a1 = amp(t_of(int(i + CONTROL)));
        }
        float v = shape(wave, ph);
        if (wave == Wave::Saw)
            v -= blep(ph, dt);
        else if (wave == Wave::Square)
            v += blep(ph, dt) - blep(std::fmod(ph + 0.5f, 1.0f), dt);
        b[i] = v * (a0 + (a1 - a0) * float(k) / float(CONTROL));
        ph += dt;
        if (ph >= 1.0f)
            ph -= 1.0f;
    }
    return b;
}

Buf bell(float seconds, float hz, float decay, float brightness) {
    // Partial ratios of a struck bar / small bell, each decaying faster the
    // higher it is.
    static const float ratio[] = {1.0f, 2.0f, 2.76f, 4.07f, 5.4f};
    static const float level[] = {1.0f, 0.35f, 0.45f, 0.18f, 0.12f};
    Buf b(size_t(frames(seconds)), 0.0f);
    const size_t attack = size_t(frames(0.002f));
    for (int p = 0; p < 5; ++p) {
        double f = double(hz) * ratio[p];
        if (f > 16000.0)
            continue;
        double lv = level[p] * (p == 0 ? 1.0f : brightness);
        double d = double(decay) / (1.0 + 0.8 * p);
        // A rotating phasor and a per-sample decay factor instead of sin and
        // exp per sample; double keeps the recurrence from drifting.
        double c = std::cos(2.0 * M_PI * f / RATE), sn = std::sin(2.0 * M_PI * f / RATE);
        double re = 1.0, im = 0.0, g = lv, fall = std::exp(-1.0 / (d * RATE));
        for (size_t i = 0; i < b.size(); ++i) {
            double ramp = i < attack ? double(i) / double(attack) : 1.0;
            b[i] += float(g * ramp * im);
            double nre = re * c - im * sn;
            im = re * sn + im * c;
            re = nre;
            if (i >= attack)
                g *= fall;
            if (g < 1e-5)
                break;
        }
    }
    return b;
}

Buf pluck(float seconds, float hz, float damping, Rng& rng) {
    int period = std::max(2, int(float(RATE) / hz));
    std::vector<float> line(static_cast<size_t>(period));
    for (float& x : line)
        x = rng.sym();
    // Soften the excitation: a plucked felt rather than a pick.
    for (int k = 0; k < 3; ++k)
        for (int i = 1; i < period; ++i)
            line[size_t(i)] = 0.5f * (line[size_t(i)] + line[size_t(i - 1)]);
    Buf b(size_t(frames(seconds)));
    size_t pos = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        size_t nxt = (pos + 1) % size_t(period);
        float v = line[pos];
        line[pos] = damping * 0.5f * (line[pos] + line[nxt]);
        b[i] = v;
        pos = nxt;
    }
    fade(b, 0.003f, 0.05f);
    return b;
}

Buf crackle(float seconds, float rate, float click_len, Rng& rng,
            const std::function<float(float)>& density) {
    Buf b(size_t(frames(seconds)), 0.0f);
    int len = std::max(8, frames(click_len));
    float p = rate / RATE;
    for (size_t i = 0; i < b.size(); ++i) {
        float d = density ? density(t_of(int(i))) : 1.0f;
        if (rng.uni() >= p * d)
            continue;
        float a = rng.range(0.3f, 1.0f);
        for (int k = 0; k < len && i + size_t(k) < b.size(); ++k)
            b[i + size_t(k)] += a * rng.sym() * std::exp(-6.0f * float(k) / float(len));
    }
    return b;
}

// --- Filters -----------------------------------------------------------------

namespace {
enum class Kind { Low, High, Band };

void biquad(Buf& b, Kind kind, const std::function<float(float)>& hz, float q) {
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        if (i % 16 == 0) { // recompute while the cutoff moves
            float f = std::clamp(hz(t_of(int(i))), 10.0f, 0.45f * RATE);
            float w = TAU * f / RATE, cw = std::cos(w), alpha = std::sin(w) / (2.0f * q);
            float a0 = 1.0f + alpha;
            if (kind == Kind::Low) {
                b0 = (1 - cw) / 2, b1 = 1 - cw, b2 = (1 - cw) / 2;
            } else if (kind == Kind::High) {
                b0 = (1 + cw) / 2, b1 = -(1 + cw), b2 = (1 + cw) / 2;
            } else {
                b0 = alpha, b1 = 0, b2 = -alpha;
            }
            b0 /= a0, b1 /= a0, b2 /= a0;
            a1 = -2 * cw / a0, a2 = (1 - alpha) / a0;
        }
        float x = b[i];
        float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = y;
        b[i] = y;
    }
}
} // namespace

void lowpass(Buf& b, const std::function<float(float)>& hz, float q) { biquad(b, Kind::Low, hz, q); }
void highpass(Buf& b, const std::function<float(float)>& hz, float q) { biquad(b, Kind::High, hz, q); }
void bandpass(Buf& b, const std::function<float(float)>& hz, float q) { biquad(b, Kind::Band, hz, q); }

// --- Shaping -------------------------------------------------------------------

float env_ad(float t, float attack, float decay) {
    if (t < 0)
        return 0;
    if (t < attack)
        return t / attack;
    return std::exp(-(t - attack) / decay);
}

float env_ahr(float t, float attack, float len, float release) {
    if (t < 0 || t > len)
        return 0;
    float g = 1.0f;
    if (t < attack)
        g = t / attack;
    if (t > len - release)
        g = std::min(g, (len - t) / release);
    return g;
}

void envelope(Buf& b, const std::function<float(float)>& gain) {
    for (size_t i = 0; i < b.size(); ++i)
        b[i] *= gain(t_of(int(i)));
}

void mix(Buf& dst, const Buf& src, float gain, float at) {
    size_t off = size_t(std::max(0, frames(at)));
    if (dst.size() < off + src.size())
        dst.resize(off + src.size(), 0.0f);
    for (size_t i = 0; i < src.size(); ++i)
        dst[off + i] += src[i] * gain;
}

void normalize(Buf& b, float peak) {
    float m = 0;
    for (float x : b)
        m = std::max(m, std::fabs(x));
    if (m > 0)
        for (float& x : b)
            x *= peak / m;
}

void fade(Buf& b, float in_seconds, float out_seconds) {
    size_t n = b.size();
    size_t fi = std::min(n, size_t(frames(in_seconds))), fo = std::min(n, size_t(frames(out_seconds)));
    for (size_t i = 0; i < fi; ++i)
        b[i] *= float(i) / float(fi);
    for (size_t i = 0; i < fo; ++i)
        b[n - 1 - i] *= float(i) / float(fo);
}

void soft_clip(Buf& b, float drive) {
    for (float& x : b)
        x = std::tanh(x * drive) / std::tanh(drive);
}

namespace {
struct Comb {
    std::vector<float> line;
    size_t pos = 0;
    float store = 0;
    float process(float x, float feedback, float damp) {
        float y = line[pos];
        store = y * (1 - damp) + store * damp;
        line[pos] = x + store * feedback;
        if (++pos == line.size())
            pos = 0;
        return y;
    }
};
struct Allpass {
    std::vector<float> line;
    size_t pos = 0;
    float process(float x) {
        float buf = line[pos];
        float y = -x + buf;
        line[pos] = x + buf * 0.5f;
        if (++pos == line.size())
            pos = 0;
        return y;
    }
};
const int COMB_LEN[] = {1116, 1188, 1277, 1356, 1422, 1491};
const int ALLPASS_LEN[] = {556, 441, 341};

// One reverb side; `spread` offsets the delays for the right channel.
Buf reverb_side(const Buf& in, float size, float damp, int spread, float feedback) {
    std::vector<Comb> combs;
    for (int len : COMB_LEN)
        combs.push_back(Comb{std::vector<float>(size_t(float(len + spread) * size), 0.0f)});
    std::vector<Allpass> aps;
    for (int len : ALLPASS_LEN)
        aps.push_back(Allpass{std::vector<float>(size_t(len + spread), 0.0f)});
    Buf out(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
        float x = in[i] * 0.015f, y = 0;
        for (Comb& c : combs)
            y += c.process(x, feedback, damp);
        for (Allpass& a : aps)
            y = a.process(y);
        out[i] = y;
    }
    return out;
}
} // namespace

void reverb(Buf& b, float wet, float size, float damp, float tail) {
    b.resize(b.size() + size_t(frames(tail)), 0.0f);
    Buf w = reverb_side(b, size, damp, 0, 0.84f);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = b[i] * (1.0f - wet * 0.5f) + w[i] * wet;
    fade(b, 0.0f, std::min(tail, 0.3f));
}

void make_loop(Buf& b, float xfade) {
    size_t f = size_t(frames(xfade));
    if (b.size() <= 2 * f)
        return;
    size_t n = b.size() - f;
    for (size_t i = 0; i < f; ++i) {
        float w = float(i) / float(f) * PI * 0.5f;
        b[i] = b[i] * std::sin(w) + b[n + i] * std::cos(w);
    }
    b.resize(n);
}

void reverb(Stereo& s, float wet, float size, float damp) {
    Buf mono(s.l.size());
    for (size_t i = 0; i < mono.size(); ++i)
        mono[i] = 0.5f * (s.l[i] + s.r[i]);
    Buf wl = reverb_side(mono, size, damp, 0, 0.86f);
    Buf wr = reverb_side(mono, size, damp, 23, 0.86f);
    for (size_t i = 0; i < mono.size(); ++i) {
        s.l[i] = s.l[i] * (1.0f - wet * 0.5f) + wl[i] * wet;
        s.r[i] = s.r[i] * (1.0f - wet * 0.5f) + wr[i] * wet;
    }
}

void mix(Stereo& dst, const Buf& src, float gain, float pan, float at) {
    float a = (std::clamp(pan, -1.0f, 1.0f) + 1.0f) * PI * 0.25f; // equal-power pan
    mix(dst.l, src, gain * std::cos(a), at);
    mix(dst.r, src, gain * std::sin(a), at);
    size_t n = std::max(dst.l.size(), dst.r.size());
    dst.l.resize(n, 0.0f);
    dst.r.resize(n, 0.0f);
}

void normalize(Stereo& s, float peak) {
    float m = 0;
    for (float x : s.l)
        m = std::max(m, std::fabs(x));
    for (float x : s.r)
        m = std::max(m, std::fabs(x));
    if (m > 0) {
        for (float& x : s.l)
            x *= peak / m;
        for (float& x : s.r)
            x *= peak / m;
    }
}

// --- Files -----------------------------------------------------------------------

static bool finite(const Buf& b, const std::string& path) {
    for (float x : b)
        if (!std::isfinite(x)) {
            std::fprintf(stderr, "soundgen: '%s' has samples that are not numbers\n", path.c_str());
            return false;
        }
    return true;
}

bool write_wav(const std::string& path, const Buf& b) {
    if (!finite(b, path))
        return false;
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = RATE;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!sf) {
        std::fprintf(stderr, "soundgen: can't write '%s': %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_writef_float(sf, b.data(), sf_count_t(b.size()));
    sf_close(sf);
    return true;
}

// libsndfile gives each Ogg stream a time-seeded serial number; rewriting it
// (and each page's checksum) makes the file repeatable byte for byte.
static bool fix_ogg_serial(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f)
        return false;
    std::vector<unsigned char> d;
    unsigned char tmp[65536];
    size_t n;
    while ((n = std::fread(tmp, 1, sizeof tmp, f)) > 0)
        d.insert(d.end(), tmp, tmp + n);
    static uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int k = 0; k < 8; ++k)
            r = (r & 0x80000000u) ? (r << 1) ^ 0x04c11db7u : r << 1;
        table[i] = r;
    }
    size_t p = 0;
    while (p + 27 <= d.size() && std::memcmp(&d[p], "OggS", 4) == 0) {
        size_t nseg = d[p + 26], len = 27 + nseg;
        if (p + len > d.size())
            break;
        for (size_t s = 0; s < nseg; ++s)
            len += d[p + 27 + s];
        if (p + len > d.size())
            break;
        const unsigned char serial[4] = {0x52, 0x48, 0x53, 0x44};
        std::memcpy(&d[p + 14], serial, 4);
        std::memset(&d[p + 22], 0, 4);
        uint32_t crc = 0;
        for (size_t i = 0; i < len; ++i)
            crc = (crc << 8) ^ table[((crc >> 24) & 0xff) ^ d[p + i]];
        for (int k = 0; k < 4; ++k)
            d[p + 22 + size_t(k)] = (unsigned char)(crc >> (8 * k));
        p += len;
    }
    std::rewind(f);
    bool ok = std::fwrite(d.data(), 1, d.size(), f) == d.size();
    std::fclose(f);
    return ok && p == d.size();
}

bool write_ogg(const std::string& path, const Stereo& s, double quality) {
    if (!finite(s.l, path) || !finite(s.r, path))
        return false; // the Vorbis encoder crashes on them
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = RATE;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!sf) {
        std::fprintf(stderr, "soundgen: can't write '%s': %s\n", path.c_str(), sf_strerror(nullptr));
        return false;
    }
    sf_command(sf, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    std::vector<float> inter(s.l.size() * 2);
    for (size_t i = 0; i < s.l.size(); ++i) {
        inter[i * 2] = s.l[i];
        inter[i * 2 + 1] = s.r[i];
    }
    // In pieces: the encoder's analysis puts each write on the stack.
    const size_t chunk = 4096;
    for (size_t i = 0; i < s.l.size(); i += chunk)
        sf_writef_float(sf, inter.data() + i * 2, sf_count_t(std::min(chunk, s.l.size() - i)));
    sf_close(sf);
    if (!fix_ogg_serial(path)) {
        std::fprintf(stderr, "soundgen: '%s' is not a well-formed Ogg file\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace synth
