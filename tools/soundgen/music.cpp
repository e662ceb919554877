// Calm procedural music: each piece is a chord progression played by a soft
// pad and bass, with a melody drawn from the key's pentatonic notes. The
// melody is written as a phrase per pass through the progression; later
// passes vary the first phrase, so the piece has a recognisable theme.
#include "soundgen.h"

#include <algorithm>

using namespace synth;

namespace {

enum class Lead { MusicBox, Flute, Pluck };

struct Piece {
    uint64_t seed;
    float bpm;
    int beats_per_chord;
    std::vector<std::vector<int>> chords; // midi notes, low to high
    std::vector<int> scale;               // pitch classes the melody uses
    int lead_octave;                      // midi of the melody's lowest C
    Lead lead;
    float seconds;                        // length to aim for
};

const Piece PIECES[MUSIC_PIECE_COUNT] = {
    // Dawn: D major, unhurried and bright.
    {11, 66, 8, {{50, 54, 57, 61}, {47, 50, 54, 57}, {43, 47, 50, 54}, {45, 50, 52, 57}},
     {2, 4, 6, 9, 11}, 72, Lead::MusicBox, 60},
    // Drift: A minor, slow and airy.
    {22, 58, 8, {{45, 48, 52, 59}, {41, 45, 48, 52}, {48, 52, 55, 59}, {43, 47, 50, 52}},
     {9, 0, 2, 4, 7}, 72, Lead::Flute, 66},
    // Embers: E dorian, a little warmer and quicker.
    {33, 72, 8, {{40, 43, 47, 54}, {45, 49, 52, 59}, {48, 52, 55, 59}, {50, 54, 57, 59}},
     {4, 6, 7, 9, 11, 2}, 60, Lead::Pluck, 55},
};

struct Note {
    float beat;  // from the start of the phrase
    int degree;  // index into the melody's scale notes
    float beats; // length
};

// The melody's notes as midi numbers, two octaves of the scale.
std::vector<int> scale_notes(const Piece& p) {
    std::vector<int> out;
    for (int oct = 0; oct < 2; ++oct)
        for (int pc = 0; pc < 12; ++pc)
            if (std::find(p.scale.begin(), p.scale.end(), pc) != p.scale.end())
                out.push_back(p.lead_octave + oct * 12 + pc);
    return out;
}

std::vector<Note> write_phrase(const Piece& p, int beats, int notes_count, Rng& rng) {
    std::vector<Note> phrase;
    int degree = notes_count / 3 + rng.pick(3);
    float beat = 0;
    while (beat < float(beats) - 1.0f) {
        bool rest = rng.uni() < 0.22f;
        float len = rng.uni() < 0.6f ? 1.0f : rng.uni() < 0.7f ? 2.0f : 0.5f;
        if (std::fmod(beat, float(p.beats_per_chord)) + len > float(p.beats_per_chord) - 0.01f && len > 1.0f)
            len = 1.0f;
        if (!rest) {
            int step = rng.pick(5) - 2;
            if (step == 0 && rng.uni() < 0.5f)
                step = rng.uni() < 0.5f ? -1 : 1;
            degree = std::clamp(degree + step, 2, notes_count - 3);
            phrase.push_back({beat, degree, len});
        }
        beat += len;
    }
    return phrase;
}

std::vector<Note> vary(const std::vector<Note>& phrase, int notes_count, Rng& rng) {
    std::vector<Note> out;
    for (Note n : phrase) {
        if (rng.uni() < 0.12f)
            continue; // breathe
        if (rng.uni() < 0.3f)
            n.degree = std::clamp(n.degree + rng.pick(3) - 1, 2, notes_count - 3);
        out.push_back(n);
    }
    return out;
}

// The melody note moved to the nearest tone of the chord when it falls on the
// chord's first beat, so phrases land on consonances.
int fit_to_chord(int midi, const std::vector<int>& chord, bool strong) {
    if (!strong)
        return midi;
    int best = midi, best_d = 99;
    for (int c : chord)
        for (int oct = -2; oct <= 4; ++oct) {
            int cand = c + oct * 12;
            int d = std::abs(cand - midi);
            if (d < best_d)
                best = cand, best_d = d;
        }
    return best;
}

Buf lead_note(Lead lead, float hz, float seconds, Rng& rng) {
    switch (lead) {
    case Lead::MusicBox: {
        Buf b = bell(std::min(2.5f, seconds + 1.5f), hz, 0.7f, 0.35f);
        return b;
    }
    case Lead::Flute: {
        float len = seconds + 0.3f;
        Buf b = osc(len, Wave::Sine, [hz](float t) { return hz * (1.0f + 0.004f * std::sin(TAU * 5.0f * t) * std::min(1.0f, t * 2.0f)); },
                    [len](float t) { return env_ahr(t, 0.12f, len, 0.25f); });
        Buf breath = white(len, rng);
        bandpass(breath, hz * 2.0f, 6.0f);
        envelope(breath, [len](float t) { return 0.25f * env_ahr(t, 0.05f, len, 0.2f); });
        mix(b, breath);
        mix(b, osc(len, Wave::Sine, [hz](float) { return hz * 2.0f; }, [len](float t) { return 0.12f * env_ahr(t, 0.12f, len, 0.25f); }));
        return b;
    }
    case Lead::Pluck: {
        Buf b = pluck(std::min(3.0f, seconds + 1.5f), hz, 0.996f, rng);
        lowpass(b, hz * 6.0f);
        return b;
    }
    }
    return {};
}

} // namespace

const char* const music_files[MUSIC_PIECE_COUNT] = {"music_dawn", "music_drift", "music_embers"};

Stereo make_music(int index) {
    const Piece& p = PIECES[index];
    Rng rng(p.seed);
    const float beat = 60.0f / p.bpm;
    const float chord_len = beat * float(p.beats_per_chord);
    const int cycle = int(p.chords.size());
    int passes = std::max(1, int(std::round(p.seconds / (chord_len * float(cycle)))));
    int chord_count = passes * cycle + 1; // closes on the first chord
    float total = chord_len * float(chord_count) + 4.0f;

    Stereo out{Buf(size_t(frames(total)), 0.0f), Buf(size_t(frames(total)), 0.0f)};
    Buf pad(size_t(frames(total)), 0.0f);
    for (int c = 0; c < chord_count; ++c) {
        const std::vector<int>& chord = p.chords[size_t(c % cycle)];
        bool last = c == chord_count - 1;
        float at = chord_len * float(c);
        float len = last ? chord_len + 3.0f : chord_len + 1.2f; // overlap into the next chord
        for (size_t k = 0; k < chord.size(); ++k) {
            float hz = midi_hz(float(chord[k]));
            for (float detune : {-0.004f, 0.004f}) {
                Buf v = osc(len, Wave::Saw, [=](float) { return hz * (1.0f + detune); },
                            [=](float t) { return env_ahr(t, 1.4f, len, last ? 3.0f : 1.6f); }, rng.uni());
                mix(out, v, 0.05f, k % 2 ? 0.35f : -0.35f, at);
            }
        }
        // Bass: the chord's root an octave down, soft sine with a little body.
        float root = midi_hz(float(chord[0] - 12));
        Buf bass = osc(len, Wave::Sine, [=](float) { return root; }, [=](float t) { return env_ahr(t, 0.4f, len, 1.2f); });
        mix(bass, osc(len, Wave::Triangle, [=](float) { return root * 2.0f; }, [=](float t) { return 0.15f * env_ahr(t, 0.4f, len, 1.2f); }));
        mix(pad, bass, 0.22f, at);
    }
    // The pad is dark and breathes slowly.
    lowpass(out.l, [](float t) { return 900.0f + 500.0f * std::sin(TAU * t / 23.0f); });
    lowpass(out.r, [](float t) { return 900.0f + 500.0f * std::sin(TAU * t / 19.0f); });
    mix(out, pad, 1.0f, 0.0f, 0.0f);

    // Melody: a theme, its variations, and a quiet close.
    std::vector<int> notes = scale_notes(p);
    int phrase_beats = p.beats_per_chord * cycle;
    std::vector<Note> theme = write_phrase(p, phrase_beats, int(notes.size()), rng);
    for (int pass = 0; pass < passes; ++pass) {
        std::vector<Note> phrase = pass == 0 ? theme : vary(theme, int(notes.size()), rng);
        float start = chord_len * float(cycle * pass);
        for (const Note& n : phrase) {
            if (pass == 0 && n.beat < float(p.beats_per_chord))
                continue; // the first chord lets the harmony settle
            int chord_i = int(n.beat) / p.beats_per_chord;
            bool strong = std::fmod(n.beat, float(p.beats_per_chord)) < 0.01f;
            int midi = fit_to_chord(notes[size_t(n.degree)], p.chords[size_t(chord_i % cycle)], strong);
            while (midi < p.lead_octave)
                midi += 12;
            float gain = 0.16f * rng.range(0.8f, 1.0f);
            Buf note = lead_note(p.lead, midi_hz(float(midi)), n.beats * beat, rng);
            float at = start + n.beat * beat + rng.range(0.0f, 0.015f); // played, not quantised
            mix(out, note, gain, rng.range(-0.3f, 0.3f), at);
        }
    }
    // High, sparse sparkles an octave above the melody.
    for (float t = chord_len; t < total - chord_len; t += beat * 2.0f) {
        if (rng.uni() > 0.18f)
            continue;
        int midi = notes[size_t(rng.pick(int(notes.size()) / 2) + int(notes.size()) / 2)] + 12;
        mix(out, bell(1.5f, midi_hz(float(midi)), 0.5f, 0.2f), 0.04f, rng.sym() * 0.8f, t);
    }
    out.l.resize(size_t(frames(total)));
    out.r.resize(size_t(frames(total)));
    reverb(out, 0.45f, 1.25f, 0.35f);
    fade(out.l, 2.5f, 4.0f);
    fade(out.r, 2.5f, 4.0f);
    normalize(out, 0.6f);
    return out;
}
