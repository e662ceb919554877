// Channel control: the calls that take either a sample channel or a stream
// handle (play, pause, stop, volume, pan, slides, position, 3D placement).
#include "audio/sound_local.h"

#include <algorithm>
#include <cmath>

using namespace sound;

namespace {

bool channel_play(Channel& c, bool restart) {
    Voice& v = c.voice;
    if (restart)
        c.start_frame = 0;
    if (v.source && (v.state == VoiceState::Playing || v.state == VoiceState::Paused)) {
        if (restart) {
            alSourceStop(v.source);
            alSourcei(v.source, AL_SAMPLE_OFFSET, 0);
        }
        if (restart || v.state == VoiceState::Paused) {
            alSourcePlay(v.source);
            v.start_seq = ++g.start_counter;
        }
        v.state = VoiceState::Playing;
        return true;
    }
    Sample* s = g.samples.get(c.sample);
    if (!s)
        return false;
    v.source = acquire_source();
    if (!v.source)
        return false;
    alSourcei(v.source, AL_BUFFER, ALint(s->buffer));
    alSourcei(v.source, AL_LOOPING, c.loop ? AL_TRUE : AL_FALSE);
    apply_all(v);
    alSourcei(v.source, AL_SAMPLE_OFFSET, ALint(c.start_frame));
    alSourcePlay(v.source);
    c.start_frame = 0;
    v.state = VoiceState::Playing;
    v.start_seq = ++g.start_counter;
    return true;
}

Voice* voice_3d(unsigned int ch) {
    Voice* v = find_voice(ch);
    return v && v->is_3d ? v : nullptr;
}

} // namespace

bool play_sound(unsigned int ch, bool restart) {
    if (!g.ready)
        return false;
    if (Channel* c = g.channels.get(ch))
        return channel_play(*c, restart);
    if (Stream* s = g.streams.get(ch))
        return stream_play(ch, *s, restart);
    return false;
}

bool pause_sound(unsigned int ch) {
    if (!g.ready)
        return false;
    if (Stream* s = g.streams.get(ch))
        return stream_pause(*s);
    Channel* c = g.channels.get(ch);
    if (!c || c->voice.state != VoiceState::Playing || !c->voice.source)
        return false;
    alSourcePause(c->voice.source);
    c->voice.state = VoiceState::Paused;
    return true;
}

bool stop_sound(unsigned int ch) {
    if (!g.ready)
        return false;
    if (Stream* s = g.streams.get(ch))
        return stream_stop(*s);
    if (!g.channels.get(ch))
        return false;
    free_channel(ch);
    return true;
}

bool is_sound_playing(unsigned int ch) {
    if (!g.ready)
        return false;
    if (Stream* s = g.streams.get(ch))
        return s->voice.state == VoiceState::Playing; // a stream that ran dry still plays
    Channel* c = g.channels.get(ch);
    if (!c || c->voice.state != VoiceState::Playing || !c->voice.source)
        return false;
    // The source knows before the next update step that a sample has ended.
    ALint st = AL_STOPPED;
    alGetSourcei(c->voice.source, AL_SOURCE_STATE, &st);
    return st == AL_PLAYING;
}

bool set_sound_volume(unsigned int ch, float volume) {
    Voice* v = find_voice(ch);
    if (!v)
        return false;
    set_voice_volume(*v, volume);
    return true;
}

bool set_sound_pan(unsigned int ch, float pan) {
    Voice* v = find_voice(ch);
    if (!v)
        return false;
    v->pan = std::fmax(-1.0f, std::fmin(1.0f, pan));
    if (!v->is_3d)
        apply_placement(*v);
    return true;
}

bool slide_sound_volume(unsigned int ch, float volume, int ms) {
    Voice* v = find_voice(ch);
    if (!v)
        return false;
    if (ms > 0)
        start_slide(*v, volume, float(ms) / 1000.0f, false);
    else
        set_voice_volume(*v, volume);
    return true;
}

bool fade_out_and_stop_sound(unsigned int ch, int ms) {
    Voice* v = find_voice(ch);
    if (!v)
        return false;
    if (ms > 0) {
        start_slide(*v, 0.0f, float(ms) / 1000.0f, true);
        return true;
    }
    set_voice_volume(*v, 0.0f);
    return stop_sound(ch);
}

bool set_relative_sound_pos(unsigned int ch, float fraction) {
    if (!g.ready || !(fraction >= 0.0f && fraction <= 1.0f))
        return false;
    if (Stream* s = g.streams.get(ch)) {
        int64_t frame = int64_t(double(fraction) * double(s->frames));
        return stream_set_pos(*s, std::min(frame, std::max<int64_t>(0, s->frames - 1)));
    }
    Channel* c = g.channels.get(ch);
    Sample* smp = c ? g.samples.get(c->sample) : nullptr;
    if (!smp)
        return false;
    int64_t frame = std::min(int64_t(double(fraction) * double(smp->frames)), smp->frames - 1);
    if (c->voice.source)
        alSourcei(c->voice.source, AL_SAMPLE_OFFSET, ALint(frame));
    else
        c->start_frame = frame;
    return true;
}

bool set_sound_3d_params(unsigned int ch, float min_dist, float max_dist) {
    Voice* v = voice_3d(ch);
    if (!v)
        return false;
    if (min_dist > 0)
        v->min_dist = min_dist;
    if (max_dist > 0)
        v->max_dist = max_dist;
    v->pending_3d = true;
    return true;
}

bool set_sound_3d_pos(unsigned int ch, const SoundVec& pos, const SoundVec& vel) {
    Voice* v = voice_3d(ch);
    if (!v)
        return false;
    v->pos[0] = pos.x, v->pos[1] = pos.y, v->pos[2] = pos.z;
    v->vel[0] = vel.x, v->vel[1] = vel.y, v->vel[2] = vel.z;
    v->pending_3d = true;
    return true;
}

bool set_sound_3d_pos(unsigned int ch, const SoundVec& pos) {
    Voice* v = voice_3d(ch);
    if (!v)
        return false;
    v->pos[0] = pos.x, v->pos[1] = pos.y, v->pos[2] = pos.z;
    v->pending_3d = true;
    return true;
}

bool get_sound_3d_pos(unsigned int ch, SoundVec& out) {
    Voice* v = voice_3d(ch);
    if (!v)
        return false;
    out = SoundVec{v->pos[0], v->pos[1], v->pos[2], 1.0f};
    return true;
}
