// The game's sound effects, one per sound event, named after the event.
// Loops (names in `is_loop`) are seamless and meant for looping samples; the
// rest are one-shots. Everything is mono, since most events play in 3D.
#include "soundgen.h"

#include <algorithm>

using namespace synth;

namespace {

using F = std::function<float(float)>;

F constant(float v) {
    return [v](float) { return v; };
}
// Exponential glide from a to b over `len` seconds.
F glide(float a, float b, float len) {
    return [=](float t) { return a * std::pow(b / a, std::min(t / len, 1.0f)); };
}

// Band-passed noise sweeping from f0 to f1: air moving past.
Buf whoosh(float seconds, float f0, float f1, float q, float attack, Rng& rng) {
    Buf b = white(seconds, rng);
    bandpass(b, glide(f0, f1, seconds), q);
    envelope(b, [=](float t) { return env_ahr(t, attack, seconds, seconds - attack); });
    return b;
}

// A falling sine: the body of impacts and drums.
Buf thump(float seconds, float f0, float f1, float decay) {
    return osc(seconds, Wave::Sine, glide(f0, f1, decay * 2.0f),
               [=](float t) { return env_ad(t, 0.003f, decay); });
}

Buf explosion(float seconds, float size, Rng& rng) {
    Buf b = white(seconds, rng);
    lowpass(b, [=](float t) { return 150.0f + 3500.0f * std::exp(-t * 3.0f / size); });
    envelope(b, [=](float t) { return env_ad(t, 0.004f, 0.35f * size); });
    Buf rumble = brown(seconds, rng);
    lowpass(rumble, 120.0f);
    envelope(rumble, [=](float t) { return env_ad(t, 0.05f, 0.6f * size); });
    mix(b, rumble, 0.8f);
    mix(b, thump(seconds, 90.0f, 30.0f, 0.25f * size), 1.2f);
    Buf debris = crackle(seconds, 40.0f, 0.004f, rng, [=](float t) { return env_ad(t, 0.1f, 0.4f * size); });
    highpass(debris, 1500.0f);
    mix(b, debris, 0.25f);
    soft_clip(b, 1.5f);
    return b;
}

// Notes (midi) struck one after another. The last note rings for at least
// six decay times (about -52 dB), so no bell is cut off while still heard.
Buf chimes(const std::vector<float>& notes, float spacing, float decay, float tail, float brightness = 0.8f) {
    Buf b;
    float len = spacing * float(notes.size()) + std::max(tail, 6.0f * decay);
    for (size_t i = 0; i < notes.size(); ++i)
        mix(b, bell(len - spacing * float(i), midi_hz(notes[i]), decay, brightness), 0.5f,
            spacing * float(i));
    return b;
}

// Fire: a low roar, a flickering hiss and crackles.
Buf fire(float seconds, float roar, Rng& rng) {
    Buf b = brown(seconds, rng);
    lowpass(b, 500.0f);
    Buf hiss = white(seconds, rng);
    bandpass(hiss, 2500.0f, 0.7f);
    envelope(hiss, [](float t) { return 0.5f + 0.5f * std::sin(TAU * 1.5f * t) * std::sin(TAU * 0.5f * t); });
    Buf crack = crackle(seconds, 25.0f, 0.003f, rng);
    highpass(crack, 900.0f);
    Buf out;
    mix(out, b, roar);
    mix(out, hiss, 0.08f);
    mix(out, crack, 0.5f);
    lowpass(out, 7000.0f); // crackle, not sizzle
    lowpass(out, 7000.0f);
    return out;
}

// A voice-like growl: a saw through two formants.
Buf growl(float seconds, const F& hz, float f1, float f2, Rng& rng, float attack, float release) {
    Buf src = osc(seconds, Wave::Saw, [&](float t) { return hz(t) * (1.0f + 0.015f * std::sin(TAU * 7.0f * t)); },
                  constant(1.0f));
    Buf n = white(seconds, rng);
    mix(src, n, 0.25f);
    Buf a = src, b = src;
    bandpass(a, f1, 4.0f);
    bandpass(b, f2, 5.0f);
    Buf out;
    mix(out, a, 1.0f);
    mix(out, b, 0.7f);
    envelope(out, [=](float t) { return env_ahr(t, attack, seconds, release); });
    soft_clip(out, 2.0f);
    return out;
}

// Soft sine chirps: birdsong.
Buf chirp(float seconds, float f0, float f1, float rate) {
    return osc(seconds, Wave::Sine,
               [=](float t) { return f0 + (f1 - f0) * t / seconds + 250.0f * std::sin(TAU * rate * t); },
               [=](float t) { return env_ahr(t, 0.01f, seconds, seconds * 0.6f); });
}

// Pure tones held with a slow beat. Frequencies and the beat are rounded to
// whole cycles of `seconds`, so the result also loops without a seam.
Buf hum(float seconds, const std::vector<float>& hz, float beat) {
    Buf out(size_t(frames(seconds)), 0.0f);
    auto whole = [seconds](float f) { return std::max(1.0f, std::round(f * seconds)) / seconds; };
    for (size_t k = 0; k < hz.size(); ++k) {
        float f = whole(hz[k]), b = whole(beat * float(k + 1));
        float level = 1.0f / float(k + 1);
        mix(out, osc(seconds, Wave::Sine, constant(f), [=](float t) {
            return level * (0.75f + 0.25f * std::sin(TAU * b * t));
        }));
    }
    out.resize(size_t(frames(seconds)));
    return out;
}

// Adds src at `at` seconds, wrapping round the end of a loop.
void mix_wrap(Buf& loop, const Buf& src, float gain, float at) {
    size_t off = size_t(frames(at));
    for (size_t i = 0; i < src.size(); ++i)
        loop[(off + i) % loop.size()] += src[i] * gain;
}

// Every effect; `seconds` of a loop is its loop length.
Buf make(const std::string& name, Rng& rng) {
    if (name == "use_portal") {
        Buf b = whoosh(1.6f, 200.0f, 3500.0f, 1.2f, 1.1f, rng);
        mix(b, osc(1.6f, Wave::Sine, [](float t) { return 300.0f * std::pow(4.0f, t / 1.6f) * (1 + 0.02f * std::sin(TAU * 9 * t)); },
                   [](float t) { return 0.4f * env_ahr(t, 1.0f, 1.6f, 0.4f); }));
        reverb(b, 0.5f, 1.2f, 0.3f, 1.2f);
        return b;
    }
    if (name == "enter_world") {
        Buf b = chimes({72, 76, 79, 86, 84}, 0.12f, 0.9f, 2.0f);
        Buf pad = hum(2.6f, {midi_hz(60), midi_hz(67), midi_hz(64) * 2}, 0.5f);
        envelope(pad, [](float t) { return 0.25f * env_ahr(t, 0.4f, 2.6f, 1.6f); });
        mix(b, pad);
        reverb(b, 0.5f, 1.3f, 0.3f, 1.5f);
        return b;
    }
    if (name == "portal_appears") {
        Buf b = hum(2.2f, {midi_hz(67), midi_hz(74), midi_hz(79), midi_hz(86)}, 3.0f);
        envelope(b, [](float t) { return std::pow(env_ahr(t, 1.5f, 2.2f, 0.7f), 2.0f); });
        mix(b, whoosh(2.2f, 400.0f, 5000.0f, 2.0f, 1.6f, rng), 0.6f);
        reverb(b, 0.5f, 1.2f, 0.3f, 1.2f);
        return b;
    }
    if (name == "portal_loop") {
        Buf b = hum(4.0f, {110.0f, 165.0f, 220.0f}, 0.5f);
        Buf swirl = white(4.5f, rng);
        bandpass(swirl, [](float t) { return 900.0f + 500.0f * std::sin(TAU * 0.5f * t); }, 3.0f);
        make_loop(swirl, 0.5f);
        mix(b, swirl, 0.5f);
        return b;
    }
    if (name == "trigger_activated") {
        Buf b = crackle(0.05f, 200.0f, 0.006f, rng);
        highpass(b, 1200.0f);
        mix(b, thump(0.1f, 800.0f, 400.0f, 0.02f), 0.5f);
        mix(b, chimes({79, 84}, 0.09f, 0.5f, 0.8f), 0.8f, 0.03f);
        reverb(b, 0.3f, 0.8f, 0.4f, 0.6f);
        return b;
    }
    if (name == "player_hit") {
        Buf b = thump(0.45f, 110.0f, 45.0f, 0.09f);
        Buf n = white(0.45f, rng);
        lowpass(n, glide(2500.0f, 300.0f, 0.15f));
        envelope(n, [](float t) { return env_ad(t, 0.002f, 0.05f); });
        mix(b, n, 0.7f);
        soft_clip(b, 1.5f);
        return b;
    }
    if (name == "start_combat") {
        Buf b;
        for (float at : {0.0f, 0.28f}) {
            Buf drum = thump(0.8f, 120.0f, 50.0f, 0.18f);
            Buf skin = white(0.8f, rng);
            lowpass(skin, 900.0f);
            envelope(skin, [](float t) { return env_ad(t, 0.002f, 0.04f); });
            mix(drum, skin, 0.5f);
            mix(b, drum, at == 0.0f ? 0.8f : 1.0f, at);
        }
        Buf brass;
        for (float n : {45.0f, 52.0f, 57.0f, 60.0f}) // A minor with the fifth below
            mix(brass, osc(1.9f, Wave::Saw, constant(midi_hz(n)), [](float t) { return env_ahr(t, 0.5f, 1.9f, 0.8f); }), 0.2f);
        lowpass(brass, [](float t) { return 300.0f + 1500.0f * env_ahr(t, 0.7f, 1.9f, 1.0f); });
        mix(b, brass, 0.7f, 0.2f);
        reverb(b, 0.35f, 1.1f, 0.4f, 1.0f);
        return b;
    }
    if (name == "end_combat") {
        Buf b = chimes({79, 76, 72, 67}, 0.16f, 1.0f, 1.8f, 0.6f);
        Buf pad = hum(2.4f, {midi_hz(60), midi_hz(64), midi_hz(67)}, 0.5f);
        envelope(pad, [](float t) { return 0.2f * env_ahr(t, 0.3f, 2.4f, 1.5f); });
        mix(b, pad);
        reverb(b, 0.5f, 1.3f, 0.3f, 1.3f);
        return b;
    }
    if (name == "spell_appears") {
        Buf b;
        for (int i = 0; i < 14; ++i) {
            float at = 0.9f * std::sqrt(rng.uni());
            mix(b, bell(0.5f, rng.range(1800.0f, 4200.0f), 0.12f, 0.3f), 0.25f, at);
        }
        mix(b, whoosh(1.1f, 1500.0f, 6000.0f, 2.0f, 0.8f, rng), 0.4f);
        reverb(b, 0.45f, 1.0f, 0.3f, 1.0f);
        return b;
    }
    if (name == "spell_loop") {
        Buf b = hum(3.0f, {midi_hz(79), midi_hz(86), midi_hz(91)}, 2.0f / 3.0f);
        for (int i = 0; i < 10; ++i)
            mix_wrap(b, bell(0.4f, rng.range(2500.0f, 5000.0f), 0.08f, 0.2f), 0.12f, rng.range(0.0f, 3.0f));
        return b;
    }
    if (name == "spell_discharge") {
        Buf b = osc(0.8f, Wave::Triangle, glide(1400.0f, 180.0f, 0.6f), [](float t) { return 0.6f * env_ad(t, 0.005f, 0.2f); });
        Buf fizz = white(0.8f, rng);
        highpass(fizz, 3000.0f);
        envelope(fizz, [](float t) { return env_ad(t, 0.01f, 0.15f); });
        mix(b, fizz, 0.3f);
        reverb(b, 0.35f, 0.9f, 0.4f, 0.6f);
        return b;
    }
    if (name == "pick_up_spell") {
        Buf b = chimes({74, 78, 81, 86}, 0.07f, 0.35f, 0.6f);
        reverb(b, 0.35f, 0.9f, 0.3f, 0.6f);
        return b;
    }
    if (name == "res_appears") {
        Buf b = chimes({67, 74}, 0.11f, 0.25f, 0.6f, 0.4f); // marimba-soft
        reverb(b, 0.3f, 0.9f, 0.4f, 0.6f);
        return b;
    }
    if (name == "res_loop") {
        Buf b = hum(3.0f, {midi_hz(55), midi_hz(62), midi_hz(67)}, 1.0f / 3.0f);
        envelope(b, [](float t) { return 0.8f + 0.2f * std::sin(TAU * t); }); // one pulse a second
        return b;
    }
    if (name == "res_discharge") {
        Buf b = osc(0.6f, Wave::Sine, glide(900.0f, 300.0f, 0.4f), [](float t) { return env_ad(t, 0.005f, 0.15f); });
        Buf fizz = white(0.6f, rng);
        bandpass(fizz, 3000.0f, 1.0f);
        envelope(fizz, [](float t) { return env_ad(t, 0.02f, 0.12f); });
        mix(b, fizz, 0.2f);
        return b;
    }
    if (name == "pick_up_res")
        return chimes({88, 93}, 0.07f, 0.12f, 0.25f, 0.5f);
    if (name == "gatherer_summon") {
        Buf b = whoosh(1.5f, 150.0f, 2000.0f, 1.5f, 1.0f, rng);
        Buf pad = hum(1.6f, {midi_hz(57), midi_hz(64), midi_hz(69), midi_hz(73)}, 1.0f);
        envelope(pad, [](float t) { return 0.6f * env_ahr(t, 0.9f, 1.6f, 0.6f); });
        mix(b, pad, 0.5f);
        mix(b, chimes({81}, 0.1f, 0.5f, 0.7f), 0.6f, 0.9f);
        reverb(b, 0.45f, 1.1f, 0.3f, 1.0f);
        return b;
    }
    if (name == "gatherer_death") {
        Buf b = osc(1.0f, Wave::Triangle, glide(650.0f, 140.0f, 0.8f), [](float t) { return 0.7f * env_ad(t, 0.01f, 0.3f); });
        Buf puff = white(1.0f, rng);
        lowpass(puff, glide(3000.0f, 300.0f, 0.5f));
        envelope(puff, [](float t) { return env_ad(t, 0.02f, 0.15f); });
        mix(b, puff, 0.5f);
        reverb(b, 0.35f, 1.0f, 0.4f, 0.8f);
        return b;
    }
    if (name == "generic_cast") {
        Buf b = whoosh(0.7f, 300.0f, 2400.0f, 1.4f, 0.25f, rng);
        reverb(b, 0.3f, 0.9f, 0.4f, 0.5f);
        return b;
    }
    if (name == "generic_missile") {
        Buf b = white(2.5f, rng);
        bandpass(b, [](float t) { return 800.0f + 200.0f * std::sin(TAU * 2.0f * t); }, 2.0f);
        envelope(b, [](float t) { return 0.8f + 0.2f * std::sin(TAU * 4.0f * t); });
        make_loop(b, 0.5f);
        return b;
    }
    if (name == "fireball_cast") {
        Buf b = white(1.1f, rng);
        lowpass(b, glide(300.0f, 4000.0f, 0.6f));
        envelope(b, [](float t) { return env_ahr(t, 0.35f, 1.1f, 0.7f); });
        mix(b, fire(1.1f, 0.6f, rng), 0.6f);
        envelope(b, [](float t) { return env_ahr(t, 0.2f, 1.1f, 0.6f); });
        return b;
    }
    if (name == "fireball_missile") {
        Buf b = fire(2.5f, 1.0f, rng);
        make_loop(b, 0.5f);
        return b;
    }
    if (name == "fireball_hit")
        return explosion(1.8f, 1.0f, rng);
    if (name == "fireball_hit_water") {
        Buf b = white(1.6f, rng);
        highpass(b, glide(1500.0f, 4000.0f, 1.0f));
        lowpass(b, 6000.0f);
        envelope(b, [](float t) { return 0.6f * env_ad(t, 0.01f, 0.4f); });
        Buf splash = white(1.6f, rng);
        bandpass(splash, glide(600.0f, 250.0f, 0.5f), 1.0f);
        envelope(splash, [](float t) { return env_ad(t, 0.005f, 0.12f); });
        mix(b, splash, 1.0f);
        for (int i = 0; i < 12; ++i) { // bubbles: short rising sine chirps
            float f = rng.range(500.0f, 1400.0f), at = rng.range(0.1f, 1.1f);
            mix(b, osc(0.06f, Wave::Sine, glide(f, f * 1.8f, 0.06f), [](float t) { return env_ahr(t, 0.005f, 0.06f, 0.04f); }),
                0.15f, at);
        }
        reverb(b, 0.25f, 0.8f, 0.4f, 0.5f);
        return b;
    }
    if (name == "meteor_cast") {
        Buf b = brown(2.2f, rng);
        lowpass(b, glide(80.0f, 600.0f, 2.0f));
        envelope(b, [](float t) { return std::pow(env_ahr(t, 1.8f, 2.2f, 0.4f), 1.5f); });
        mix(b, whoosh(2.2f, 200.0f, 1500.0f, 2.0f, 1.8f, rng), 0.3f);
        soft_clip(b, 1.3f);
        return b;
    }
    if (name == "meteor_missile") {
        Buf b = brown(3.0f, rng);
        lowpass(b, 350.0f);
        Buf whistle = white(3.0f, rng);
        bandpass(whistle, [](float t) { return 1200.0f + 150.0f * std::sin(TAU * t * 2.0f / 3.0f); }, 8.0f);
        mix(b, whistle, 0.6f);
        mix(b, fire(3.0f, 0.5f, rng), 0.4f);
        make_loop(b, 0.6f);
        return b;
    }
    if (name == "meteor_hit") {
        Buf b = explosion(3.2f, 1.9f, rng);
        lowpass(b, 5000.0f);
        return b;
    }
    if (name == "lightning_cast") {
        Buf zap = osc(0.8f, Wave::Saw, [](float t) { return 140.0f + 60.0f * std::sin(TAU * 31.0f * t); },
                      [](float t) { return env_ad(t, 0.01f, 0.3f); });
        bandpass(zap, glide(3000.0f, 800.0f, 0.5f), 1.0f);
        Buf crack = crackle(0.8f, 300.0f, 0.002f, rng, [](float t) { return env_ad(t, 0.0f, 0.2f); });
        highpass(crack, 1500.0f);
        soft_clip(crack, 2.0f); // crackle, not single spikes
        Buf b;
        mix(b, zap, 1.0f);
        mix(b, crack, 0.5f);
        reverb(b, 0.3f, 0.9f, 0.4f, 0.6f);
        return b;
    }
    if (name == "thstorm_cast" || name == "thstorm_lightning") {
        bool clap = name == "thstorm_lightning";
        float len = clap ? 2.6f : 3.2f;
        Buf b = brown(len, rng);
        lowpass(b, clap ? 400.0f : 250.0f);
        // Rolling: a few slow random swells.
        std::vector<float> swell(8);
        for (float& s : swell)
            s = rng.range(0.3f, 1.0f);
        envelope(b, [&](float t) {
            float x = t / len * 7.0f;
            int i = std::min(6, int(x));
            float f = x - float(i);
            float s = swell[size_t(i)] * (1 - f) + swell[size_t(i + 1)] * f;
            return s * env_ahr(t, clap ? 0.01f : 0.5f, len, len * 0.6f);
        });
        if (clap) {
            Buf crack = white(0.12f, rng);
            highpass(crack, 800.0f);
            envelope(crack, [](float t) { return env_ad(t, 0.001f, 0.03f); });
            mix(b, crack, 1.2f);
        }
        reverb(b, 0.3f, 1.4f, 0.5f, 1.0f);
        soft_clip(b, 1.4f);
        return b;
    }
    if (name == "thstorm_missile") {
        Buf b = white(3.0f, rng);
        bandpass(b, [](float t) { return 500.0f + 300.0f * std::sin(TAU * t / 3.0f) + 100.0f * std::sin(TAU * t); }, 1.5f);
        Buf low = brown(3.0f, rng);
        lowpass(low, 150.0f);
        mix(b, low, 0.5f);
        make_loop(b, 0.6f);
        return b;
    }
    if (name == "burn_loop") {
        Buf b = fire(3.0f, 0.8f, rng);
        make_loop(b, 0.5f);
        return b;
    }
    if (name == "tree_regrows") {
        Buf b = white(1.6f, rng);
        bandpass(b, 4000.0f, 0.8f);
        envelope(b, [](float t) { return 0.25f * env_ahr(t, 0.5f, 1.6f, 0.8f) * (0.6f + 0.4f * std::sin(TAU * 11.0f * t)); });
        mix(b, chimes({62, 67, 71, 74}, 0.18f, 0.2f, 0.5f, 0.3f), 0.8f, 0.1f);
        reverb(b, 0.35f, 1.0f, 0.4f, 0.8f);
        return b;
    }
    if (name == "land_moving") {
        Buf b = brown(4.6f, rng);
        lowpass(b, 180.0f);
        Buf grind = white(4.6f, rng);
        bandpass(grind, [](float t) { return 700.0f + 200.0f * std::sin(TAU * 0.5f * t); }, 1.2f);
        envelope(grind, [](float t) { return 0.5f + 0.5f * std::sin(TAU * 1.5f * t) * std::sin(TAU * 0.5f * t); });
        Buf gravel = crackle(4.6f, 30.0f, 0.005f, rng);
        bandpass(gravel, 1500.0f, 1.0f);
        lowpass(gravel, 4000.0f);
        mix(b, grind, 0.15f);
        mix(b, gravel, 0.5f);
        make_loop(b, 0.6f);
        return b;
    }
    if (name == "mana_idle")
        return hum(4.0f, {220.0f, 330.0f, 440.0f, 554.37f}, 0.25f);
    if (name == "claim_mana") {
        Buf b = chimes({69, 73, 76, 81, 85}, 0.09f, 0.6f, 1.2f);
        mix(b, whoosh(1.2f, 800.0f, 6000.0f, 2.0f, 0.5f, rng), 0.3f);
        reverb(b, 0.5f, 1.2f, 0.3f, 1.0f);
        return b;
    }
    if (name == "wyvern_spawn") {
        Buf b = growl(1.6f, [](float t) { return 85.0f + 60.0f * std::sin(PI * t / 1.6f); }, 450.0f, 1100.0f, rng, 0.15f, 0.7f);
        mix(b, whoosh(1.6f, 200.0f, 600.0f, 1.0f, 0.6f, rng), 0.4f);
        reverb(b, 0.35f, 1.2f, 0.4f, 0.8f);
        return b;
    }
    if (name == "wyvern_idle") {
        Buf b;
        for (int i = 0; i < 3; ++i) { // wing beats
            Buf flap = white(0.25f, rng);
            lowpass(flap, 500.0f);
            envelope(flap, [](float t) { return env_ahr(t, 0.08f, 0.25f, 0.15f); });
            mix(b, flap, 0.9f, 0.32f * float(i));
        }
        mix(b, growl(1.2f, glide(70.0f, 60.0f, 1.2f), 350.0f, 800.0f, rng, 0.3f, 0.6f), 0.35f);
        return b;
    }
    if (name == "wyvern_attack") {
        Buf b = growl(0.8f, [](float t) { return 650.0f - 200.0f * t + 30.0f * std::sin(TAU * 12.0f * t); }, 1400.0f, 2600.0f, rng,
                      0.03f, 0.4f);
        reverb(b, 0.3f, 1.0f, 0.4f, 0.6f);
        return b;
    }
    if (name == "wyvern_hit")
        return growl(0.5f, glide(210.0f, 110.0f, 0.5f), 500.0f, 1200.0f, rng, 0.01f, 0.3f);
    if (name == "caterpillar_spawn") {
        Buf b = osc(0.5f, Wave::Sine, glide(250.0f, 700.0f, 0.12f), [](float t) { return env_ad(t, 0.005f, 0.08f); });
        Buf wet = white(0.5f, rng);
        bandpass(wet, glide(400.0f, 1500.0f, 0.2f), 3.0f);
        envelope(wet, [](float t) { return env_ad(t, 0.01f, 0.1f); });
        mix(b, wet, 0.6f);
        return b;
    }
    if (name == "caterpillar_idle") {
        Buf b = crackle(0.8f, 40.0f, 0.006f, rng, [](float t) { return 0.5f + 0.5f * std::sin(TAU * 3.0f * t); });
        bandpass(b, 2600.0f, 2.5f);
        envelope(b, [](float t) { return env_ahr(t, 0.1f, 0.8f, 0.3f); });
        return b;
    }
    if (name == "caterpillar_attack") {
        Buf b;
        for (float at : {0.0f, 0.12f}) {
            Buf crunch = white(0.08f, rng);
            bandpass(crunch, 1800.0f, 1.5f);
            envelope(crunch, [](float t) { return env_ad(t, 0.001f, 0.015f); });
            mix(b, crunch, 1.0f, at);
            mix(b, thump(0.1f, 300.0f, 150.0f, 0.03f), 0.6f, at);
        }
        return b;
    }
    if (name == "caterpillar_hit") {
        Buf b = white(0.5f, rng);
        lowpass(b, [](float t) { return 600.0f + 400.0f * std::sin(TAU * 15.0f * t); }, 3.0f);
        envelope(b, [](float t) { return env_ad(t, 0.005f, 0.12f); });
        mix(b, osc(0.5f, Wave::Sine, glide(500.0f, 180.0f, 0.25f), [](float t) { return env_ad(t, 0.005f, 0.1f); }), 0.6f);
        return b;
    }
    if (name == "bird_idle") {
        Buf b;
        mix(b, chirp(0.12f, 2600.0f, 3800.0f, 30.0f), 0.6f, 0.0f);
        mix(b, chirp(0.1f, 3000.0f, 4200.0f, 35.0f), 0.5f, 0.18f);
        mix(b, chirp(0.18f, 3600.0f, 2800.0f, 25.0f), 0.55f, 0.34f);
        reverb(b, 0.2f, 0.7f, 0.5f, 0.4f);
        return b;
    }
    if (name == "bird_hit") {
        Buf b = growl(0.4f, glide(950.0f, 600.0f, 0.4f), 1800.0f, 3200.0f, rng, 0.005f, 0.25f);
        Buf feathers = white(0.4f, rng);
        highpass(feathers, 3000.0f);
        envelope(feathers, [](float t) { return env_ad(t, 0.01f, 0.08f); });
        mix(b, feathers, 0.3f);
        return b;
    }
    if (name == "volcano_explosion") {
        Buf b = explosion(4.5f, 3.0f, rng);
        lowpass(b, 3000.0f);
        return b;
    }
    if (name == "volcano_eruption") {
        Buf b = brown(4.0f, rng);
        lowpass(b, 220.0f);
        mix(b, fire(4.0f, 0.6f, rng), 0.6f);
        Buf blasts = crackle(4.0f, 6.0f, 0.05f, rng);
        lowpass(blasts, 600.0f);
        mix(b, blasts, 0.8f);
        envelope(b, [](float t) { return env_ahr(t, 0.6f, 4.0f, 1.6f); });
        soft_clip(b, 1.3f);
        return b;
    }
    if (name == "main_menu") {
        Buf b = crackle(0.02f, 400.0f, 0.004f, rng);
        lowpass(b, 3000.0f);
        mix(b, osc(0.3f, Wave::Sine, constant(880.0f), [](float t) { return 0.5f * env_ad(t, 0.004f, 0.06f); }), 1.0f, 0.005f);
        mix(b, osc(0.3f, Wave::Sine, constant(1320.0f), [](float t) { return 0.2f * env_ad(t, 0.004f, 0.04f); }), 1.0f, 0.005f);
        reverb(b, 0.2f, 0.7f, 0.5f, 0.3f);
        return b;
    }
    if (name == "universe_map") {
        Buf b = whoosh(1.3f, 250.0f, 1800.0f, 1.5f, 0.6f, rng);
        Buf pad = hum(1.4f, {midi_hz(62), midi_hz(69), midi_hz(76)}, 1.0f);
        envelope(pad, [](float t) { return 0.5f * env_ahr(t, 0.5f, 1.4f, 0.7f); });
        mix(b, pad, 0.5f);
        reverb(b, 0.45f, 1.2f, 0.3f, 1.0f);
        return b;
    }
    return {};
}

} // namespace

const char* const sound_event_files[SOUND_EVENT_COUNT] = {
    "use_portal", "enter_world", "portal_appears", "portal_loop", "trigger_activated",
    "player_hit", "start_combat", "end_combat", "spell_appears", "spell_loop",
    "spell_discharge", "pick_up_spell", "res_appears", "res_loop", "res_discharge",
    "pick_up_res", "gatherer_summon", "gatherer_death", "generic_cast", "generic_missile",
    "fireball_cast", "fireball_missile", "fireball_hit", "fireball_hit_water", "meteor_cast",
    "meteor_missile", "meteor_hit", "lightning_cast", "thstorm_cast", "thstorm_missile",
    "thstorm_lightning", "burn_loop", "tree_regrows", "land_moving", "mana_idle",
    "claim_mana", "wyvern_spawn", "wyvern_idle", "wyvern_attack", "wyvern_hit",
    "caterpillar_spawn", "caterpillar_idle", "caterpillar_attack", "caterpillar_hit", "bird_idle",
    "bird_hit", "volcano_explosion", "volcano_eruption", "main_menu", "universe_map",
};

bool is_loop(const std::string& name) {
    static const char* const loops[] = {"portal_loop", "spell_loop", "res_loop", "generic_missile",
                                        "fireball_missile", "meteor_missile", "thstorm_missile",
                                        "burn_loop", "land_moving", "mana_idle"};
    for (const char* l : loops)
        if (name == l)
            return true;
    return false;
}

Buf make_effect(int index) {
    std::string name = sound_event_files[index];
    Rng rng(1000 + uint64_t(index));
    Buf b = make(name, rng);
    bool loop = is_loop(name);
    if (!loop) {
        lowpass(b, 10000.0f); // nothing shrill (a filter would break a loop's seam)
        lowpass(b, 10000.0f);
        highpass(b, 20.0f); // no DC offset (clipped or asymmetric shapes leave one)
        // No click at either end, and tails die away rather than stop.
        fade(b, 0.003f, std::min(0.5f, 0.3f * float(b.size()) / RATE));
    }
    // Even loudness: an RMS target, limited by the peak. Loops sit quieter:
    // they play for a long time and often several at once.
    float peak = 0, sum = 0;
    for (float x : b) {
        peak = std::max(peak, std::fabs(x));
        sum += x * x;
    }
    float rms = std::sqrt(sum / float(std::max<size_t>(1, b.size())));
    float target = loop ? 0.12f : 0.16f, limit = loop ? 0.6f : 0.9f;
    float scale = std::min(target / std::max(rms, 1e-6f), limit / std::max(peak, 1e-6f));
    for (float& x : b)
        x *= scale;
    return b;
}
