// Voices: the playable side shared by sample channels and streams. Owns the
// pool of OpenAL sources, the translation of a voice's volume, pan and 3D
// settings to source properties, and volume slides.
#include "audio/sound_local.h"

#include "core/log.h"

#include <algorithm>
#include <cmath>

namespace sound {

ALuint acquire_source() {
    if (!g.free_sources.empty()) {
        ALuint s = g.free_sources.back();
        g.free_sources.pop_back();
        return s;
    }
    alGetError();
    ALuint s = 0;
    alGenSources(1, &s);
    ALenum err = alGetError();
    if (err != AL_NO_ERROR) {
        debug("SOUND: no free audio source (%s)", al_error_text(err));
        return 0;
    }
    g.all_sources.push_back(s);
    return s;
}

void release_source(Voice& v) {
    if (!v.source)
        return;
    alSourceStop(v.source);
    alSourcei(v.source, AL_BUFFER, 0); // also empties a stream's queue
    alSourcei(v.source, AL_LOOPING, AL_FALSE);
    g.free_sources.push_back(v.source);
    v.source = 0;
}

float voice_gain(const Voice& v) {
    int global = v.is_stream ? g.global_stream_volume : g.global_sample_volume;
    return std::max(0.0f, v.volume) * float(global) / 10000.0f;
}

void apply_gain(Voice& v) {
    if (v.source)
        alSourcef(v.source, AL_GAIN, voice_gain(v));
}

void apply_placement(Voice& v) {
    if (!v.source)
        return;
    ALuint s = v.source;
    if (!v.is_3d) {
        // 2D: at unit distance round the listener's head with no rolloff, so
        // the pan only steers left and right.
        float angle = std::clamp(v.pan, -1.0f, 1.0f) * float(M_PI) * 0.5f;
        alSourcei(s, AL_SOURCE_RELATIVE, AL_TRUE);
        alSourcef(s, AL_ROLLOFF_FACTOR, 0.0f);
        if (v.mono)
            alSource3f(s, AL_POSITION, std::sin(angle), 0.0f, -std::cos(angle));
        else
            alSource3f(s, AL_POSITION, 0.0f, 0.0f, 0.0f);
        alSource3f(s, AL_VELOCITY, 0.0f, 0.0f, 0.0f);
        return;
    }
    alSourcei(s, AL_SOURCE_RELATIVE, AL_FALSE);
    alSource3f(s, AL_POSITION, v.pos[0], v.pos[1], -v.pos[2]);
    alSource3f(s, AL_VELOCITY, v.vel[0], v.vel[1], -v.vel[2]);
    alSourcef(s, AL_REFERENCE_DISTANCE, std::max(v.min_dist, 0.0f));
    alSourcef(s, AL_MAX_DISTANCE, std::max(v.max_dist, v.min_dist));
    alSourcef(s, AL_ROLLOFF_FACTOR, g.rolloff);
}

void apply_all(Voice& v) {
    if (!v.source)
        return;
    alSourcef(v.source, AL_MAX_GAIN, 4.0f); // volumes above 1 amplify
    apply_gain(v);
    apply_placement(v);
    v.pending_3d = false;
}

void set_voice_volume(Voice& v, float volume) {
    v.sliding = false;
    v.fade_stop = false;
    v.volume = std::max(0.0f, volume);
    apply_gain(v);
}

void start_slide(Voice& v, float to, float seconds, bool stop_at_end) {
    v.sliding = true;
    v.fade_stop = stop_at_end;
    v.slide_from = v.volume;
    v.slide_to = std::max(0.0f, to);
    v.slide_time = 0.0f;
    v.slide_len = seconds;
}

bool advance_slide(Voice& v, float dt) {
    if (!v.sliding)
        return false;
    v.slide_time += dt;
    float t = v.slide_len > 0 ? std::min(1.0f, v.slide_time / v.slide_len) : 1.0f;
    v.volume = v.slide_from + (v.slide_to - v.slide_from) * t;
    apply_gain(v);
    if (t < 1.0f)
        return false;
    v.sliding = false;
    bool fade = v.fade_stop;
    v.fade_stop = false;
    return fade;
}

Voice* find_voice(uint32_t handle) {
    if (!g.ready)
        return nullptr;
    if (Channel* c = g.channels.get(handle))
        return &c->voice;
    if (Stream* s = g.streams.get(handle))
        return &s->voice;
    return nullptr;
}

float voice_listener_distance(const Voice& v) {
    if (!v.is_3d)
        return 0.0f;
    float dx = v.pos[0] - g.listener.pos[0];
    float dy = v.pos[1] - g.listener.pos[1];
    float dz = v.pos[2] - g.listener.pos[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

} // namespace sound
