// Streams: a memory copy of a file range, decoded progressively into a ring
// of OpenAL buffers queued on the stream's source and refilled once per
// update step. The loop point, whole-stream looping and the chain flag are
// applied here on the main thread.
//
// Each queued buffer remembers the frame it starts at and whether it holds
// the end of the data. When playback has passed such a buffer, a chained
// stream sets sound_stream_to_chain; the decoder has meanwhile jumped to the
// loop point (which never ends) or stopped (the stream ends after it).
#include "audio/sound_local.h"

#include "core/log.h"

#include <algorithm>
#include <cmath>

namespace sound {

static std::vector<float> g_decode, g_scratch; // reused: refills allocate nothing

static int chunk_frames(const Stream& s) {
    return std::max(1024, int(float(s.rate) * STREAM_BUFFER_SECONDS));
}

static void decoder_seek(Stream& s, int64_t frame) {
    frame = std::clamp<int64_t>(frame, 0, s.frames);
    if (sf_seek(s.sf, frame, SEEK_SET) < 0)
        frame = 0, sf_seek(s.sf, 0, SEEK_SET);
    s.decode_pos = frame;
    s.decode_done = false;
}

// Decodes the next buffer's worth into g_decode; returns its frame count and
// sets *end when the end of the data falls inside it.
static int64_t decode_chunk(Stream& s, bool* end) {
    const int64_t want = chunk_frames(s);
    g_decode.resize(size_t(want) * s.out_channels);
    int64_t got = 0;
    bool read_since_wrap = s.decode_pos > 0;
    *end = false;
    while (got < want && !s.decode_done) {
        int64_t n = read_frames_mixed(s.sf, s.channels, s.out_channels,
                                      g_decode.data() + got * s.out_channels, want - got, g_scratch);
        got += n;
        s.decode_pos += n;
        if (n > 0)
            read_since_wrap = true;
        if (n > 0 && s.decode_pos < s.frames)
            continue;
        // The end of the data.
        *end = true;
        int64_t target = s.loop_frame >= 0 ? s.loop_frame : s.loop_all ? 0 : -1;
        if (target < 0 || target >= s.frames || !read_since_wrap) {
            s.decode_done = true; // also when a loop would produce nothing
            break;
        }
        decoder_seek(s, target);
        read_since_wrap = false;
    }
    return got;
}

static void queue_remove_front(Stream& s) {
    s.buffer_queued[s.queue_order[0]] = false;
    for (int i = 1; i < s.queue_count; ++i)
        s.queue_order[i - 1] = s.queue_order[i];
    --s.queue_count;
}

// Queues decoded buffers until the ring is full or the data is done.
static void fill_queue(Stream& s) {
    while (s.queue_count < STREAM_BUFFERS && !s.decode_done) {
        int idx = 0;
        while (s.buffer_queued[idx])
            ++idx;
        int64_t start = s.decode_pos;
        bool end = false;
        int64_t n = decode_chunk(s, &end);
        if (n == 0) {
            if (end && s.queue_count > 0)
                s.buffer_end[s.queue_order[s.queue_count - 1]] = true;
            break;
        }
        if (!upload_buffer(s.buffers[idx], g_decode.data(), n, s.out_channels, s.rate)) {
            debug("SOUND: can't queue stream data (%s)", al_error_text(alGetError()));
            s.decode_done = true;
            break;
        }
        alSourceQueueBuffers(s.voice.source, 1, &s.buffers[idx]);
        s.buffer_start[idx] = start;
        s.buffer_end[idx] = end;
        s.buffer_queued[idx] = true;
        s.queue_order[s.queue_count++] = idx;
    }
}

// Takes played buffers off the source; a chained stream whose playback has
// passed the end of its data is reported.
static void unqueue_processed(uint32_t handle, Stream& s) {
    ALint processed = 0;
    alGetSourcei(s.voice.source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0 && s.queue_count > 0) {
        int idx = s.queue_order[0];
        alSourceUnqueueBuffers(s.voice.source, 1, &s.buffers[idx]);
        if (s.buffer_end[idx] && s.chain)
            sound_stream_to_chain = handle;
        queue_remove_front(s);
    }
}

// Drops everything queued (the source must be stopped or about to be).
static void flush_queue(Stream& s) {
    if (s.voice.source) {
        alSourceStop(s.voice.source);
        alSourcei(s.voice.source, AL_BUFFER, 0);
    }
    for (int i = 0; i < STREAM_BUFFERS; ++i)
        s.buffer_queued[i] = false;
    s.queue_count = 0;
}

// The frame being heard now, from the oldest queued buffer and the source's
// offset into its queue.
static int64_t play_position(const Stream& s) {
    if (!s.voice.source || s.queue_count == 0)
        return s.decode_pos;
    ALint offset = 0;
    alGetSourcei(s.voice.source, AL_SAMPLE_OFFSET, &offset);
    int64_t pos = s.buffer_start[s.queue_order[0]] + offset;
    if (pos >= s.frames)
        pos = s.loop_frame >= 0 ? s.loop_frame + (pos - s.frames) : pos - s.frames;
    return std::clamp<int64_t>(pos, 0, s.frames);
}

static void free_stream_slot(uint32_t handle, Stream& s) {
    flush_queue(s);
    release_source(s.voice);
    alDeleteBuffers(STREAM_BUFFERS, s.buffers);
    if (s.sf)
        sf_close(s.sf);
    delete s.mem; // the memory copy lives exactly as long as the stream
    g.streams.release(handle);
}

void free_all_streams() {
    for (int i = 0; i < g.streams.size(); ++i)
        if (g.streams.used[i])
            free_stream_slot(g.streams.handle_at(i), g.streams.items[i]);
}

void stream_update(uint32_t handle, Stream& s, float dt) {
    if (advance_slide(s.voice, dt)) {
        stream_stop(s);
        return;
    }
    if (!s.voice.source)
        return;
    unqueue_processed(handle, s);
    fill_queue(s);
    if (s.voice.state != VoiceState::Playing)
        return;
    ALint st = AL_STOPPED;
    alGetSourcei(s.voice.source, AL_SOURCE_STATE, &st);
    if (st == AL_PLAYING)
        return;
    if (s.queue_count > 0) {
        alSourcePlay(s.voice.source); // ran dry during a long frame: carry on
        return;
    }
    s.voice.state = VoiceState::Ended;
    release_source(s.voice);
    decoder_seek(s, 0);
}

void feed_streams() {
    for (int i = 0; i < g.streams.size(); ++i) {
        if (!g.streams.used[i])
            continue;
        Stream& s = g.streams.items[i];
        if (!s.voice.source || s.voice.state != VoiceState::Playing)
            continue;
        unqueue_processed(g.streams.handle_at(i), s);
        fill_queue(s);
        ALint st = AL_STOPPED;
        alGetSourcei(s.voice.source, AL_SOURCE_STATE, &st);
        if (st != AL_PLAYING && s.queue_count > 0)
            alSourcePlay(s.voice.source);
    }
}

bool stream_play(uint32_t handle, Stream& s, bool restart) {
    Voice& v = s.voice;
    if (restart || v.state == VoiceState::Ended) {
        flush_queue(s);
        decoder_seek(s, 0);
        if (v.state == VoiceState::Ended)
            v.state = VoiceState::Idle;
    }
    if (v.state == VoiceState::Paused && s.queue_count > 0) {
        alSourcePlay(v.source);
        v.state = VoiceState::Playing;
        return true;
    }
    if (v.state == VoiceState::Playing && s.queue_count > 0)
        return true;
    if (!v.source) {
        v.source = acquire_source();
        if (!v.source)
            return false;
        apply_all(v);
    }
    fill_queue(s);
    if (s.queue_count == 0) {
        release_source(v);
        v.state = VoiceState::Ended;
        return false;
    }
    alSourcePlay(v.source);
    v.state = VoiceState::Playing;
    v.start_seq = ++g.start_counter;
    return true;
}

bool stream_pause(Stream& s) {
    if (s.voice.state != VoiceState::Playing)
        return false;
    alSourcePause(s.voice.source);
    s.voice.state = VoiceState::Paused;
    return true;
}

bool stream_stop(Stream& s) {
    Voice& v = s.voice;
    if (v.source) {
        int64_t pos = play_position(s);
        flush_queue(s);
        release_source(v);
        decoder_seek(s, pos);
    }
    if (v.state != VoiceState::Ended)
        v.state = VoiceState::Idle;
    v.sliding = false;
    v.fade_stop = false;
    return true;
}

bool stream_set_pos(Stream& s, int64_t frame) {
    Voice& v = s.voice;
    if (!v.source) {
        decoder_seek(s, frame);
        if (v.state == VoiceState::Ended)
            v.state = VoiceState::Idle;
        return true;
    }
    flush_queue(s);
    decoder_seek(s, frame);
    fill_queue(s);
    if (v.state == VoiceState::Playing && s.queue_count > 0)
        alSourcePlay(v.source);
    return true;
}

} // namespace sound

using namespace sound;

unsigned int load_sound_stream(const char* file, double loop_seconds, int flags, int offset,
                               int size) {
    if (!g.ready)
        return 0;
    const char* name = file ? file : "(null)";
    MemFile* mem = new MemFile;
    FileError err = read_file_range(file, offset, size < 1 ? 0 : size, mem->data);
    if (err != FileError::None) {
        delete mem;
        switch (err) {
        case FileError::Open: debug("failed to open stream file '%s'", name); break;
        case FileError::Offset: debug("invalid offset %d for '%s'", offset, name); break;
        case FileError::Memory: debug("not enough memory for '%s'", name); break;
        default: debug("error reading stream file '%s'", name); break;
        }
        return 0;
    }
    SF_INFO info;
    SNDFILE* sf = open_mem_sndfile(mem, &info);
    uint32_t handle = sf ? g.streams.alloc() : 0;
    if (!handle) {
        debug("error creating stream from '%s'", name);
        if (sf)
            debug("SOUND: reached MAX_STREAMS (%d)", MAX_STREAMS);
        else
            debug("SOUND: '%s' is not a readable sound file (%s)", name, sf_strerror(nullptr));
        if (sf)
            sf_close(sf);
        delete mem;
        return 0;
    }
    Stream& s = *g.streams.get(handle);
    alGetError();
    alGenBuffers(STREAM_BUFFERS, s.buffers);
    if (alGetError() != AL_NO_ERROR) {
        debug("error creating stream from '%s'", name);
        sf_close(sf);
        delete mem;
        g.streams.release(handle);
        return 0;
    }
    s.mem = mem;
    s.sf = sf;
    s.channels = info.channels;
    s.rate = info.samplerate;
    s.frames = info.frames;
    s.voice.is_stream = true;
    s.voice.is_3d = g.use_3d && (flags & SOUND_STREAM_3D);
    s.out_channels = (s.voice.is_3d || info.channels == 1) ? 1 : 2;
    s.voice.mono = s.out_channels == 1;
    s.loop_all = (flags & SOUND_STREAM_LOOP) != 0;
    s.chain = (flags & SOUND_STREAM_CHAIN) != 0;
    if (loop_seconds >= 0) {
        s.loop_frame = int64_t(std::llround(loop_seconds * double(info.samplerate)));
        if (s.loop_frame >= s.frames) {
            debug("SOUND: loop point %.3f s is past the end of '%s'", loop_seconds, name);
            s.loop_frame = -1;
        }
    }
    return handle;
}

bool free_sound_stream(unsigned int stream) {
    Stream* s = g.ready ? g.streams.get(stream) : nullptr;
    if (!s)
        return false;
    free_stream_slot(stream, *s);
    return true;
}
