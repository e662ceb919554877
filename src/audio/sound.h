// The sound layer: output device, streamed music, samples with a playback
// limit, channel control, volumes and 3D positioning. Exported for the
// game-object module and used by the sound events and the world's land sounds.
//
// Everything is addressed by handles: unsigned 32-bit, 0 meaning none or
// failure. A stream handle doubles as its channel handle; a sample handle only
// hands out channels (get_sound_sample_channel). A stale or foreign handle is
// rejected (false / 0), never dereferenced.
//
// Without a usable audio device init_sound returns false and every other call
// is a harmless no-op that answers false, 0 or a stored value.
//
// All calls belong to the main thread. Stream refills, loop points, the chain
// flag, volume slides and fades advance in update_sound, once per update step.
#pragma once
#include <cstdint>

// A 16-byte vector (x, y, z, w) in the game's space: x right, y up, z forward
// (left-handed, as the camera). The sound layer ignores w.
struct SoundVec {
    float x, y, z, w;
};

// Program stream flags (load_sound_stream).
enum : int {
    SOUND_STREAM_3D = 1,
    SOUND_STREAM_LOOP = 2,  // loops the whole stream when no loop point is given
    SOUND_STREAM_CHAIN = 4, // reaching the end sets sound_stream_to_chain
};
// Program sample flags (load_sound_sample); the sound script sees them as
// SNDF_3D and SNDF_LOOP.
enum : int {
    SOUND_SAMPLE_3D = 1,
    SOUND_SAMPLE_LOOP = 2,
};
// Override kinds (load_sound_sample): which playing channel a new one
// replaces when the sample's maximum playback count is reached. Channels
// that have ended are always taken first. Any other value: no override, a
// new channel fails.
enum : int {
    SOUND_OVERRIDE_AUTO = 1, // by position for 2D samples, by distance for 3D samples
    SOUND_OVERRIDE_VOLUME = 2,   // the quietest channel
    SOUND_OVERRIDE_POSITION = 3, // the channel that has been playing longest
    SOUND_OVERRIDE_DISTANCE = 4, // the channel furthest from the listener
};

// Handle of a chained stream whose playback has just passed its end, 0 when
// none. Set by update_sound; read and cleared by the music chaining step.
extern unsigned int sound_stream_to_chain;

// --- Lifetime ----------------------------------------------------------------
// Opens the default output device at 44,100 Hz. Logs "BASS init OK, %s mode"
// ("3d" or "2d") on success; without a device logs why and returns false. In
// 2d mode the 3D flags are ignored (everything plays as 2D).
bool init_sound(bool use_3d);
// Logs "closing BASS", frees every sample, stream and channel and closes the
// device. A second call does nothing.
void close_sound();
// True between a successful init_sound and close_sound.
bool is_sound_ready();
// The per-step work, called by the frame loop once per update step with the
// step length in seconds: refills streams, applies loop points and the chain
// flag, advances volume slides and fades, and retires channels that ended.
void update_sound(float dt);
// Only the refill of update_sound: takes the played buffers off every playing
// stream, queues fresh data (passing loop points and reporting chained ends)
// and restarts a stream that ran dry. For long operations that keep the
// update steps from running (the splash screen); slides and fades wait.
void feed_sound_streams();

// --- Volumes -----------------------------------------------------------------
// Master output volume 0..1; -1 without a device.
float get_master_volume();
void set_master_volume(float volume);
// Global volumes 0..10000 (clamped) scale every sample channel / every stream.
// Kept (and answered) even without a device.
void set_global_sample_volume(int volume);
void set_global_stream_volume(int volume);
int get_global_sample_volume();
int get_global_stream_volume();

// --- Streams and samples -----------------------------------------------------
// Loads `size` bytes of `file` from `offset` (size < 1: to the end) into
// memory and decodes it progressively while it plays. loop_seconds >= 0: on
// reaching the end the stream jumps back there and never ends. Failures log
// "failed to open stream file '%s'", "invalid offset %d for '%s'", "not enough
// memory for '%s'", "error reading stream file '%s'" or "error creating
// stream from '%s'" and return 0.
unsigned int load_sound_stream(const char* file, double loop_seconds, int flags, int offset,
                               int size);
// Stops and frees the stream with its memory copy; false for a bad handle.
bool free_sound_stream(unsigned int stream);
// Decodes `length` bytes of `file` from `offset` (0 = to the end) once.
// max_playbacks (1..65535) channels may exist at a time; override picks the
// channel a new one replaces when all exist (see SOUND_OVERRIDE_*). Failure
// logs "error loading sample from '%s'" and returns 0.
unsigned int load_sound_sample(const char* file, int max_playbacks, int flags, int override_kind,
                               int offset, int length);
// Stops and frees every channel of the sample, then the sample.
bool free_sound_sample(unsigned int sample);
// Default volume / 3D distances of channels created afterwards.
bool set_sound_sample_volume(unsigned int sample, float volume);
bool set_sound_sample_dist(unsigned int sample, float min_dist, float max_dist);
// A channel of the sample with the sample's defaults, or 0. only_new: fail
// rather than replace one of the sample's existing channels. A replaced
// channel's handle becomes invalid.
unsigned int get_sound_sample_channel(unsigned int sample, bool only_new);

// --- Channels (a sample channel or a stream; true on success) -----------------
// Starts or resumes; restart plays from the beginning. A channel that has
// ended plays again from its start (or from a position set since).
bool play_sound(unsigned int ch, bool restart);
// Pauses a playing channel (false when it is not playing).
bool pause_sound(unsigned int ch);
// Stops. A sample channel is freed by it (its handle becomes invalid); a
// stream keeps its position and resumes there on play_sound(ch, false).
bool stop_sound(unsigned int ch);
bool is_sound_playing(unsigned int ch);
// Channel volume (0 silent, 1 full) and 2D pan (-1 left .. 1 right, mono
// sounds only). Setting the volume ends a slide in progress.
bool set_sound_volume(unsigned int ch, float volume);
bool set_sound_pan(unsigned int ch, float pan);
// Slides the volume over `ms` milliseconds (ms <= 0: at once).
bool slide_sound_volume(unsigned int ch, float volume, int ms);
// Fades to silence over `ms` and stops the channel then (ms <= 0: at once).
bool fade_out_and_stop_sound(unsigned int ch, int ms);
// Moves the play position to `fraction` (0..1) of the channel's length.
bool set_relative_sound_pos(unsigned int ch, float fraction);

// --- 3D ------------------------------------------------------------------------
// Distance factor: metres in one game unit, which sets the speed of sound for
// the doppler effect (<= 0 keeps the current one); rolloff factor of the 3D
// distance attenuation (< 0 keeps); doppler factor (< 0 keeps). 1, 1, 1 is
// the real world in metres.
void set_listener_3d_factors(float distance, float rolloff, float doppler);
// Distances of one channel; a value <= 0 keeps the current one. Within min
// the volume is full, beyond max it stops decreasing.
bool set_sound_3d_params(unsigned int ch, float min_dist, float max_dist);
// Listener and channel positions take effect at the next apply_3d_sound (a
// channel that starts playing takes its current position at once).
void set_listener_pos(const SoundVec& pos, const SoundVec& vel, const SoundVec& front,
                      const SoundVec& top);
bool set_sound_3d_pos(unsigned int ch, const SoundVec& pos, const SoundVec& vel);
bool set_sound_3d_pos(unsigned int ch, const SoundVec& pos);
// The channel's position as (x, y, z, 1).
bool get_sound_3d_pos(unsigned int ch, SoundVec& out);
void apply_3d_sound();
