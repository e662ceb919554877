// Private state of the sound layer, shared by its source files.
//
// Invariants:
// - A handle is kind (top 2 bits) | slot index (12 bits) | generation (18
//   bits). A slot's generation changes whenever it is freed, so an old handle
//   no longer resolves; kind 0 never occurs, so no handle is 0.
// - A voice (sample channel or stream) owns an OpenAL source only while it is
//   playing or paused; the source goes back to the pool when it stops or ends.
//   Everything the caller sets is kept in the voice and applied to whichever
//   source it gets.
// - Game space is left-handed (z forward); OpenAL's is right-handed, so z is
//   negated on the way in (positions, velocities, orientation).
#pragma once
#include "audio/sound.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <sndfile.h>

#include <cstdint>
#include <vector>

namespace sound {

enum class HandleKind : uint32_t { Sample = 1, Stream = 2, Channel = 3 };

constexpr int HANDLE_INDEX_BITS = 12;
constexpr int HANDLE_GEN_BITS = 18;
constexpr uint32_t HANDLE_INDEX_MASK = (1u << HANDLE_INDEX_BITS) - 1;
constexpr uint32_t HANDLE_GEN_MASK = (1u << HANDLE_GEN_BITS) - 1;

constexpr int MAX_SAMPLES = 1024;
constexpr int MAX_STREAMS = 256;
constexpr int MAX_CHANNELS = 4096;

constexpr int OUTPUT_RATE = 44100;
constexpr int STREAM_BUFFERS = 8;          // queued per playing stream
constexpr float STREAM_BUFFER_SECONDS = 0.25f; // 2 s queued: survives slow frames

inline uint32_t make_handle(HandleKind kind, uint32_t index, uint32_t gen) {
    return (uint32_t(kind) << 30) | ((gen & HANDLE_GEN_MASK) << HANDLE_INDEX_BITS) |
           (index & HANDLE_INDEX_MASK);
}
inline HandleKind handle_kind(uint32_t h) { return HandleKind(h >> 30); }
inline uint32_t handle_index(uint32_t h) { return h & HANDLE_INDEX_MASK; }
inline uint32_t handle_gen(uint32_t h) { return (h >> HANDLE_INDEX_BITS) & HANDLE_GEN_MASK; }

// Fixed table of records behind handles: free-index stack plus a generation
// per slot.
template <typename T>
struct HandlePool {
    HandleKind kind{};
    std::vector<T> items;
    std::vector<uint32_t> gens;
    std::vector<bool> used;
    std::vector<uint32_t> free_list;

    void init(HandleKind k, int capacity) {
        kind = k;
        items.assign(capacity, T{});
        gens.assign(capacity, 1);
        used.assign(capacity, false);
        free_list.clear();
        for (int i = capacity - 1; i >= 0; --i)
            free_list.push_back(uint32_t(i));
    }
    void clear() {
        items.clear();
        gens.clear();
        used.clear();
        free_list.clear();
    }
    // 0 when full.
    uint32_t alloc() {
        if (free_list.empty())
            return 0;
        uint32_t i = free_list.back();
        free_list.pop_back();
        used[i] = true;
        items[i] = T{};
        return make_handle(kind, i, gens[i]);
    }
    T* get(uint32_t h) {
        if (h == 0 || handle_kind(h) != kind)
            return nullptr;
        uint32_t i = handle_index(h);
        if (i >= items.size() || !used[i] || (gens[i] & HANDLE_GEN_MASK) != handle_gen(h))
            return nullptr;
        return &items[i];
    }
    void release(uint32_t h) {
        uint32_t i = handle_index(h);
        items[i] = T{};
        used[i] = false;
        gens[i] = (gens[i] + 1) & HANDLE_GEN_MASK;
        if (gens[i] == 0)
            gens[i] = 1;
        free_list.push_back(i);
    }
    uint32_t handle_at(uint32_t i) const { return make_handle(kind, i, gens[i]); }
    int size() const { return int(items.size()); }
};

enum class VoiceState : uint8_t {
    Idle,    // never played, or stopped (streams)
    Playing,
    Paused,
    Ended,   // played through to its end
};

// What a sample channel and a stream have in common: the state the caller
// controls, kept whether or not an OpenAL source is attached.
struct Voice {
    ALuint source = 0;
    VoiceState state = VoiceState::Idle;
    bool is_3d = false;
    bool is_stream = false;
    bool mono = true;     // pan and 3D only work on single-channel data
    float volume = 1.0f;
    float pan = 0.0f;
    // Volume slide: `volume` moves from slide_from to slide_to over slide_len
    // seconds; fade_stop stops the channel when it arrives.
    bool sliding = false;
    bool fade_stop = false;
    float slide_from = 0, slide_to = 0, slide_time = 0, slide_len = 0;
    float pos[3] = {0, 0, 0};
    float vel[3] = {0, 0, 0};
    float min_dist = 1.0f;
    float max_dist = 1e9f;
    bool pending_3d = false; // position changed since it was last applied
    uint64_t start_seq = 0;  // order of starts (override by position)
};

struct Sample {
    ALuint buffer = 0;
    int max_playbacks = 1;
    int override_kind = 0;
    bool is_3d = false;
    bool loop = false;
    bool mono = true;
    int64_t frames = 0;
    int rate = OUTPUT_RATE;
    float volume = 1.0f;
    float min_dist = 1.0f;
    float max_dist = 1e9f;
    std::vector<uint32_t> channels; // live channel handles, oldest first
};

struct Channel {
    Voice voice;
    uint32_t sample = 0;
    bool loop = false;
    int64_t start_frame = 0; // where the next start (without restart) begins
};

// A memory file that libsndfile reads through sf_open_virtual.
struct MemFile {
    std::vector<unsigned char> data;
    sf_count_t pos = 0;
};

struct Stream {
    Voice voice;
    MemFile* mem = nullptr;   // owned; lives exactly as long as the stream
    SNDFILE* sf = nullptr;
    int channels = 1;         // of the file
    int out_channels = 1;     // of the queued data (mono for 3D)
    int rate = OUTPUT_RATE;
    int64_t frames = 0;
    int64_t loop_frame = -1;  // loop point, -1 none
    bool loop_all = false;
    bool chain = false;
    int64_t decode_pos = 0;   // next frame the decoder reads
    bool decode_done = false; // no more data to queue
    ALuint buffers[STREAM_BUFFERS] = {};
    int64_t buffer_start[STREAM_BUFFERS] = {}; // first frame of each buffer
    bool buffer_end[STREAM_BUFFERS] = {};      // buffer holds the end of the data
    bool buffer_queued[STREAM_BUFFERS] = {};
    int queue_order[STREAM_BUFFERS] = {}; // indices of queued buffers, oldest first
    int queue_count = 0;
};

struct Listener {
    float pos[3] = {0, 0, 0};
    float vel[3] = {0, 0, 0};
    float front[3] = {0, 0, 1};
    float top[3] = {0, 1, 0};
    bool pending = true;
};

struct State {
    bool ready = false;
    bool use_3d = true;
    bool loopback = false;
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    bool has_float = false;
    LPALDEFERUPDATESSOFT defer_updates = nullptr;
    LPALPROCESSUPDATESSOFT process_updates = nullptr;
    LPALCRENDERSAMPLESSOFT render_samples = nullptr;

    int global_sample_volume = 10000;
    int global_stream_volume = 10000;
    float master_volume = 1.0f;
    float distance_factor = 1.0f;
    float rolloff = 1.0f;
    float doppler = 1.0f;
    Listener listener;
    uint64_t start_counter = 0;

    HandlePool<Sample> samples;
    HandlePool<Stream> streams;
    HandlePool<Channel> channels;
    std::vector<ALuint> free_sources;
    std::vector<ALuint> all_sources;
};

extern State g;

// --- sound_device.cpp ---
bool open_context(ALCdevice* device, bool loopback);
const char* al_error_text(ALenum err);

// --- sound_voice.cpp: sources and the properties of a voice ---
ALuint acquire_source();
void release_source(Voice& v);
float voice_gain(const Voice& v);
void apply_gain(Voice& v);
void apply_placement(Voice& v); // pan (2D) or position, velocity, distances (3D)
void apply_all(Voice& v);       // everything above on a freshly attached source
void set_voice_volume(Voice& v, float volume);
void start_slide(Voice& v, float to, float seconds, bool stop_at_end);
// Advances the slide by dt; true when a fade-out has just finished.
bool advance_slide(Voice& v, float dt);
// The voice behind a channel or stream handle, or null.
Voice* find_voice(uint32_t handle);
float voice_listener_distance(const Voice& v);

// --- sound_decode.cpp: libsndfile over memory ---
// Reads `length` bytes (0 or less: to the end) of `file` from `offset` into
// `out`. The error is one of the FileError codes.
enum class FileError { None, Open, Offset, Memory, Read };
FileError read_file_range(const char* file, int64_t offset, int64_t length,
                          std::vector<unsigned char>& out);
SNDFILE* open_mem_sndfile(MemFile* mem, SF_INFO* info);
// Reads up to `frames` frames as float and mixes them to `out_channels`
// (1: average of all, 2: first two, or mono copied to both). Returns frames read.
int64_t read_frames_mixed(SNDFILE* sf, int in_channels, int out_channels, float* out,
                          int64_t frames, std::vector<float>& scratch);
// Uploads float frames into an OpenAL buffer (16-bit when float is missing).
bool upload_buffer(ALuint buffer, const float* data, int64_t frames, int channels, int rate);

// --- sound_sample.cpp ---
void free_all_samples();
void sample_channel_update(uint32_t handle, Channel& c, float dt);
void free_channel(uint32_t handle);

// --- sound_stream.cpp ---
void free_all_streams();
void stream_update(uint32_t handle, Stream& s, float dt);
void feed_streams(); // refills only (feed_sound_streams)
bool stream_play(uint32_t handle, Stream& s, bool restart);
bool stream_pause(Stream& s);
bool stream_stop(Stream& s);
bool stream_set_pos(Stream& s, int64_t frame);

} // namespace sound

// Test entry points: a loopback device (ALC_SOFT_loopback) instead of the
// real output, so that tests render exactly what is played. init_sound_loopback
// behaves as init_sound; sound_render_loopback mixes `frames` stereo float
// frames at 44,100 Hz into `out`.
bool init_sound_loopback(bool use_3d);
bool sound_render_loopback(float* out, int frames);
