// The output device and the sound layer's global state: init and close, the
// master and global volumes, the listener, the 3D factors, apply_3d_sound and
// the per-step update. Also the loopback device that tests render through.
#include "audio/sound_local.h"

#include "core/log.h"

#include <algorithm>
#include <cstring>

unsigned int sound_stream_to_chain = 0;

namespace sound {

State g;

const char* al_error_text(ALenum err) {
    switch (err) {
    case AL_NO_ERROR: return "no error";
    case AL_INVALID_NAME: return "invalid name";
    case AL_INVALID_ENUM: return "invalid enum";
    case AL_INVALID_VALUE: return "invalid value";
    case AL_INVALID_OPERATION: return "invalid operation";
    case AL_OUT_OF_MEMORY: return "out of memory";
    default: return "unknown error";
    }
}

// Creates the context on an opened device and fills the state. On failure
// the device is closed and the reason logged.
bool open_context(ALCdevice* device, bool loopback) {
    ALCint major = 0, minor = 0;
    alcGetIntegerv(device, ALC_MAJOR_VERSION, 1, &major);
    alcGetIntegerv(device, ALC_MINOR_VERSION, 1, &minor);
    if (major < 1 || (major == 1 && minor < 1)) {
        debug("Incorrect BASS version");
        debug("SOUND: the OpenAL device offers ALC %d.%d, 1.1 is needed", major, minor);
        alcCloseDevice(device);
        return false;
    }
    // Room for many short effects at once plus a few stereo streams.
    std::vector<ALCint> attrs = {ALC_FREQUENCY, OUTPUT_RATE, ALC_MONO_SOURCES, 240,
                                 ALC_STEREO_SOURCES, 16};
    if (loopback) {
        attrs.insert(attrs.end(), {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                   ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT});
    }
    attrs.push_back(0);
    ALCcontext* ctx = alcCreateContext(device, attrs.data());
    if (!ctx || !alcMakeContextCurrent(ctx)) {
        debug("SOUND: can't create the audio context (ALC error 0x%X)",
              unsigned(alcGetError(device)));
        if (ctx)
            alcDestroyContext(ctx);
        alcCloseDevice(device);
        return false;
    }
    g.device = device;
    g.context = ctx;
    g.loopback = loopback;
    g.has_float = alIsExtensionPresent("AL_EXT_FLOAT32");
    if (alIsExtensionPresent("AL_SOFT_deferred_updates")) {
        g.defer_updates = (LPALDEFERUPDATESSOFT)alGetProcAddress("alDeferUpdatesSOFT");
        g.process_updates = (LPALPROCESSUPDATESSOFT)alGetProcAddress("alProcessUpdatesSOFT");
    }
    // Direct-sound-style distances: full volume within min, inverse rolloff,
    // no further attenuation beyond max.
    alDistanceModel(AL_INVERSE_DISTANCE_CLAMPED);
    return true;
}

static void init_tables(bool use_3d) {
    g.use_3d = use_3d;
    g.samples.init(HandleKind::Sample, MAX_SAMPLES);
    g.streams.init(HandleKind::Stream, MAX_STREAMS);
    g.channels.init(HandleKind::Channel, MAX_CHANNELS);
    g.listener = Listener{};
    g.start_counter = 0;
    g.master_volume = 1.0f; // a fresh device starts at full output
    // A new device starts from the default 3D factors, as a freshly
    // initialised library would; only the global volumes outlive close_sound.
    g.distance_factor = g.rolloff = g.doppler = 1.0f;
    g.ready = true;
    alListenerf(AL_GAIN, g.master_volume);
    set_listener_3d_factors(g.distance_factor, g.rolloff, g.doppler);
    apply_3d_sound();
    debug("BASS init OK, %s mode", use_3d ? "3d" : "2d");
}

} // namespace sound

using namespace sound;

bool init_sound(bool use_3d) {
    if (g.ready)
        return true;
    ALCdevice* device = alcOpenDevice(nullptr);
    if (!device) {
        debug("SOUND: no audio device, the game runs without sound (ALC error 0x%X)",
              unsigned(alcGetError(nullptr)));
        return false;
    }
    if (!open_context(device, false))
        return false;
    init_tables(use_3d);
    return true;
}

bool init_sound_loopback(bool use_3d) {
    if (g.ready)
        return true;
    if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) {
        debug("SOUND: ALC_SOFT_loopback is not available");
        return false;
    }
    auto open_loopback =
        (LPALCLOOPBACKOPENDEVICESOFT)alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT");
    g.render_samples = (LPALCRENDERSAMPLESSOFT)alcGetProcAddress(nullptr, "alcRenderSamplesSOFT");
    ALCdevice* device = open_loopback ? open_loopback(nullptr) : nullptr;
    if (!device || !g.render_samples) {
        debug("SOUND: can't open a loopback device");
        return false;
    }
    if (!open_context(device, true))
        return false;
    init_tables(use_3d);
    return true;
}

bool sound_render_loopback(float* out, int frames) {
    if (!g.ready || !g.loopback || frames <= 0)
        return false;
    g.render_samples(g.device, out, frames);
    return true;
}

bool is_sound_ready() { return g.ready; }

void close_sound() {
    if (!g.ready)
        return;
    debug("closing BASS");
    free_all_streams();
    free_all_samples();
    for (ALuint s : g.all_sources)
        alSourceStop(s);
    if (!g.all_sources.empty())
        alDeleteSources(ALsizei(g.all_sources.size()), g.all_sources.data());
    g.all_sources.clear();
    g.free_sources.clear();
    g.samples.clear();
    g.streams.clear();
    g.channels.clear();
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(g.context);
    alcCloseDevice(g.device);
    g.context = nullptr;
    g.device = nullptr;
    g.loopback = false;
    g.defer_updates = nullptr;
    g.process_updates = nullptr;
    g.render_samples = nullptr;
    g.ready = false;
    sound_stream_to_chain = 0;
}

void update_sound(float dt) {
    if (!g.ready)
        return;
    for (int i = 0; i < g.streams.size(); ++i)
        if (g.streams.used[i])
            stream_update(g.streams.handle_at(i), g.streams.items[i], dt);
    for (int i = 0; i < g.channels.size(); ++i)
        if (g.channels.used[i])
            sample_channel_update(g.channels.handle_at(i), g.channels.items[i], dt);
}

void feed_sound_streams() {
    if (g.ready)
        feed_streams();
}

// --- Volumes ---------------------------------------------------------------

float get_master_volume() { return g.ready ? g.master_volume : -1.0f; }

void set_master_volume(float volume) {
    if (!g.ready)
        return;
    g.master_volume = std::clamp(volume, 0.0f, 1.0f);
    alListenerf(AL_GAIN, g.master_volume);
}

static void reapply_gains(bool streams) {
    if (!g.ready)
        return;
    if (streams) {
        for (int i = 0; i < g.streams.size(); ++i)
            if (g.streams.used[i])
                apply_gain(g.streams.items[i].voice);
    } else {
        for (int i = 0; i < g.channels.size(); ++i)
            if (g.channels.used[i])
                apply_gain(g.channels.items[i].voice);
    }
}

void set_global_sample_volume(int volume) {
    g.global_sample_volume = std::clamp(volume, 0, 10000);
    reapply_gains(false);
}

void set_global_stream_volume(int volume) {
    g.global_stream_volume = std::clamp(volume, 0, 10000);
    reapply_gains(true);
}

int get_global_sample_volume() { return g.global_sample_volume; }
int get_global_stream_volume() { return g.global_stream_volume; }

// --- 3D ----------------------------------------------------------------------

void set_listener_3d_factors(float distance, float rolloff, float doppler) {
    if (!g.ready)
        return;
    if (distance > 0)
        g.distance_factor = distance;
    if (rolloff >= 0)
        g.rolloff = rolloff;
    if (doppler >= 0)
        g.doppler = doppler;
    // One unit is `distance_factor` metres, so sound travels 343.3 / factor
    // units per second.
    alSpeedOfSound(343.3f / g.distance_factor);
    alDopplerFactor(g.doppler);
    // The rolloff belongs to each 3D source in OpenAL.
    for (int i = 0; i < g.channels.size(); ++i)
        if (g.channels.used[i])
            g.channels.items[i].voice.pending_3d = true;
    for (int i = 0; i < g.streams.size(); ++i)
        if (g.streams.used[i])
            g.streams.items[i].voice.pending_3d = true;
}

static void copy3(float* dst, const SoundVec& v) {
    dst[0] = v.x;
    dst[1] = v.y;
    dst[2] = v.z;
}

void set_listener_pos(const SoundVec& pos, const SoundVec& vel, const SoundVec& front,
                      const SoundVec& top) {
    if (!g.ready)
        return;
    copy3(g.listener.pos, pos);
    copy3(g.listener.vel, vel);
    copy3(g.listener.front, front);
    copy3(g.listener.top, top);
    g.listener.pending = true;
}

void apply_3d_sound() {
    if (!g.ready)
        return;
    if (g.defer_updates)
        g.defer_updates();
    if (g.listener.pending) {
        const Listener& l = g.listener;
        alListener3f(AL_POSITION, l.pos[0], l.pos[1], -l.pos[2]);
        alListener3f(AL_VELOCITY, l.vel[0], l.vel[1], -l.vel[2]);
        float orient[6] = {l.front[0], l.front[1], -l.front[2], l.top[0], l.top[1], -l.top[2]};
        alListenerfv(AL_ORIENTATION, orient);
        g.listener.pending = false;
    }
    auto flush = [](Voice& v) {
        // A voice without a source gets everything when it is attached.
        if (v.pending_3d && v.source)
            apply_placement(v);
        v.pending_3d = false;
    };
    for (int i = 0; i < g.channels.size(); ++i)
        if (g.channels.used[i])
            flush(g.channels.items[i].voice);
    for (int i = 0; i < g.streams.size(); ++i)
        if (g.streams.used[i])
            flush(g.streams.items[i].voice);
    if (g.process_updates)
        g.process_updates();
}
