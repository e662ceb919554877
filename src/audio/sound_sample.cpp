// Samples: sounds decoded once into an OpenAL buffer, played through up to
// `max_playbacks` channels at a time. When all channels exist, a new one
// takes the place of an ended (or never started) channel, else of the one the
// override kind picks; the replaced channel's handle becomes invalid.
#include "audio/sound_local.h"

#include "core/log.h"

#include <algorithm>

namespace sound {

static void sample_fail(const char* file, const char* why) {
    debug("error loading sample from '%s'", file ? file : "(null)");
    debug("SOUND: %s", why);
}

void free_channel(uint32_t handle) {
    Channel* c = g.channels.get(handle);
    if (!c)
        return;
    release_source(c->voice);
    if (Sample* s = g.samples.get(c->sample)) {
        auto& list = s->channels;
        list.erase(std::remove(list.begin(), list.end(), handle), list.end());
    }
    g.channels.release(handle);
}

static void free_sample_slot(uint32_t handle, Sample& s) {
    std::vector<uint32_t> chans = s.channels;
    for (uint32_t ch : chans)
        free_channel(ch);
    if (s.buffer)
        alDeleteBuffers(1, &s.buffer);
    g.samples.release(handle);
}

void free_all_samples() {
    for (int i = 0; i < g.samples.size(); ++i)
        if (g.samples.used[i])
            free_sample_slot(g.samples.handle_at(i), g.samples.items[i]);
}

void sample_channel_update(uint32_t handle, Channel& c, float dt) {
    if (advance_slide(c.voice, dt)) {
        free_channel(handle); // a finished fade-out stops, and stopping frees
        return;
    }
    if (c.voice.state == VoiceState::Playing && c.voice.source) {
        ALint st = AL_STOPPED;
        alGetSourcei(c.voice.source, AL_SOURCE_STATE, &st);
        if (st == AL_STOPPED) {
            c.voice.state = VoiceState::Ended;
            c.start_frame = 0;
            release_source(c.voice);
        }
    }
}

// Which existing channel a new one replaces, or 0 for none.
static uint32_t pick_victim(const Sample& s) {
    uint32_t best = 0;
    // Ended or never started channels go first, oldest first.
    for (uint32_t h : s.channels) {
        const Channel* c = g.channels.get(h);
        if (c && (c->voice.state == VoiceState::Ended || c->voice.state == VoiceState::Idle))
            return h;
    }
    int kind = s.override_kind;
    if (kind == SOUND_OVERRIDE_AUTO)
        kind = s.is_3d ? SOUND_OVERRIDE_DISTANCE : SOUND_OVERRIDE_POSITION;
    if (kind != SOUND_OVERRIDE_VOLUME && kind != SOUND_OVERRIDE_POSITION &&
        kind != SOUND_OVERRIDE_DISTANCE)
        return 0;
    float best_score = 0;
    for (uint32_t h : s.channels) {
        const Channel* c = g.channels.get(h);
        if (!c)
            continue;
        float score = 0; // the highest score loses its place; ties keep the oldest
        if (kind == SOUND_OVERRIDE_VOLUME)
            score = -c->voice.volume;
        else if (kind == SOUND_OVERRIDE_POSITION)
            score = -float(c->voice.start_seq);
        else
            score = voice_listener_distance(c->voice);
        if (!best || score > best_score) {
            best = h;
            best_score = score;
        }
    }
    return best;
}

} // namespace sound

using namespace sound;

unsigned int load_sound_sample(const char* file, int max_playbacks, int flags, int override_kind,
                               int offset, int length) {
    if (!g.ready)
        return 0;
    if (max_playbacks < 1 || max_playbacks > 65535) {
        sample_fail(file, "the maximum playback count must be 1..65535");
        return 0;
    }
    MemFile mem;
    FileError err = read_file_range(file, offset, length, mem.data);
    if (err != FileError::None) {
        sample_fail(file, err == FileError::Open     ? "can't open the file"
                          : err == FileError::Offset ? "offset past the end of the file"
                          : err == FileError::Memory ? "not enough memory"
                                                     : "can't read the file");
        return 0;
    }
    SF_INFO info;
    SNDFILE* sf = open_mem_sndfile(&mem, &info);
    if (!sf) {
        sample_fail(file, "not a readable sound file");
        return 0;
    }
    bool is_3d = g.use_3d && (flags & SOUND_SAMPLE_3D);
    int out_ch = (is_3d || info.channels == 1) ? 1 : 2;
    std::vector<float> pcm, scratch;
    const int64_t chunk = 16384;
    int64_t frames = 0;
    for (;;) {
        pcm.resize(size_t(frames + chunk) * out_ch);
        int64_t n = read_frames_mixed(sf, info.channels, out_ch, pcm.data() + frames * out_ch,
                                      chunk, scratch);
        frames += n;
        if (n < chunk)
            break;
    }
    sf_close(sf);
    if (frames == 0) {
        sample_fail(file, "no sound data");
        return 0;
    }
    uint32_t handle = g.samples.alloc();
    if (!handle) {
        sample_fail(file, "too many samples");
        return 0;
    }
    Sample& s = *g.samples.get(handle);
    alGetError();
    alGenBuffers(1, &s.buffer);
    if (alGetError() != AL_NO_ERROR || !upload_buffer(s.buffer, pcm.data(), frames, out_ch, info.samplerate)) {
        if (s.buffer)
            alDeleteBuffers(1, &s.buffer);
        g.samples.release(handle);
        sample_fail(file, "the audio device refused the data");
        return 0;
    }
    s.max_playbacks = max_playbacks;
    s.override_kind = override_kind;
    s.is_3d = is_3d;
    s.loop = (flags & SOUND_SAMPLE_LOOP) != 0;
    s.mono = out_ch == 1;
    s.frames = frames;
    s.rate = info.samplerate;
    return handle;
}

bool free_sound_sample(unsigned int sample) {
    if (!g.ready)
        return false;
    Sample* s = g.samples.get(sample);
    if (!s)
        return false;
    free_sample_slot(sample, *s);
    return true;
}

bool set_sound_sample_volume(unsigned int sample, float volume) {
    Sample* s = g.ready ? g.samples.get(sample) : nullptr;
    if (!s)
        return false;
    s->volume = std::max(0.0f, volume);
    return true;
}

bool set_sound_sample_dist(unsigned int sample, float min_dist, float max_dist) {
    Sample* s = g.ready ? g.samples.get(sample) : nullptr;
    if (!s)
        return false;
    s->min_dist = min_dist;
    s->max_dist = max_dist;
    return true;
}

unsigned int get_sound_sample_channel(unsigned int sample, bool only_new) {
    Sample* s = g.ready ? g.samples.get(sample) : nullptr;
    if (!s)
        return 0;
    if (int(s->channels.size()) >= s->max_playbacks) {
        uint32_t victim = only_new ? 0 : pick_victim(*s);
        if (!victim)
            return 0;
        free_channel(victim);
    }
    uint32_t handle = g.channels.alloc();
    if (!handle) {
        debug("SOUND: reached MAX_CHANNELS (%d)", MAX_CHANNELS);
        return 0;
    }
    Channel& c = *g.channels.get(handle);
    c.sample = sample;
    c.loop = s->loop;
    c.voice.is_3d = s->is_3d;
    c.voice.mono = s->mono;
    c.voice.volume = s->volume;
    c.voice.min_dist = s->min_dist;
    c.voice.max_dist = s->max_dist;
    s->channels.push_back(handle);
    return handle;
}
