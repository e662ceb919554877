// Sound events and the sound script. Game code never names sound files: it
// raises one of the 50 fixed events, by number or by name, and the script
// "sound/sound.nut" decides what each one sounds like. The script runs in its
// own reloadable VM; at load time it loads samples and music through a small
// native API and defines the table `events` with one function per event name
// that returns the channel to play. Its optional `do_music_chaining` decides
// how music goes on when a chained stream ends.
//
// All calls belong to the main thread. Script errors never stop the game:
// they are shown as "Error in sound script:\n%s" and the call answers 0.
#pragma once
#include <squirrel.h>

#include <cstdint>

#include "audio/sound.h"

constexpr int NUM_SOUND_EVENTS = 50;

// The event names in event order ("use_portal" ... "universe_map").
extern const char* const sound_event_name[NUM_SOUND_EVENTS];
// Index of an event by its name ("enter_world") or by its script constant's
// name ("SE_enter_world"); -1 when it is none of them (or null).
int find_sound_event(const char* name);
// The constants "SE_<name>" = index in the root table of `vm` (the
// world-generation VM registers them with its API).
void register_sound_event_constants(HSQUIRRELVM vm);

// The channel the script chose for the event: 0 for an index outside
// 0..49, an unknown name, an event without a function, or a script error.
unsigned int get_sound_event_channel(int event);
unsigned int get_sound_event_channel(const char* name);
// The same, and a non-zero channel is played from its start.
unsigned int play_sound_event(int event);
unsigned int play_sound_event(const char* name);
// Every raised event is shown in the visual log while set (Control+F3).
extern bool log_sound_events;
// play_sound_event by name without a result, for callers that take a
// void(const char*) function (the world-generation VM's "play_sound_event").
void raise_sound_event(const char* name);

// {===== 3D placement on the wrapping world

// The view's reference position (x, y, z, w), to which 3D sounds are moved on
// the 256-cell wrapping world. The camera code sets it; update_3d_sounds too.
void set_sound_reference_pos(const float pos[4]);
const float* get_sound_reference_pos();
// Moves `pos` to its copy nearest the reference position (x and z of the
// offset wrapped into [-128, 128), y unchanged) and sets the channel's 3D
// position. The channel is remembered, so that later steps move it again as
// the reference position moves, until it stops playing. Channel 0, a stale
// handle or a 2D channel: nothing.
void update_3d_sound(unsigned int ch, const SoundVec& pos, const SoundVec& vel);
// The per-step work of the sound events, called by the update step with the
// camera position before the sound layer's own step: takes `ref_pos` as the
// reference position (null, without a camera: keeps the current one), moves
// every remembered 3D sound to it, forgets those that no longer play, and
// starts queued music (start_queued_music).
void update_3d_sounds(const float ref_pos[4]);
// Number of remembered 3D sounds (for tests and the statistics).
int tracked_3d_sound_count();

// {===== Music chaining

// When a chained stream has ended (sound_stream_to_chain), takes its handle
// and calls the script's do_music_chaining with it. Safe to call any number
// of times per step: each ended stream is passed on once.
void start_queued_music();
void do_music_chaining();
// Music during long operations (the splash screen's hook): refills the
// streams (feed_sound_streams) and starts the next piece when one ended.
void keep_music_playing();

// {===== The sound script

// Starts the sound script system: copies game_rnd_seed into the sound
// random state, creates the VM (fatal "error creating sound script VM" when
// that fails), registers the native API, runs `script` and binds the events.
// Script errors and files that failed to load are shown on screen; the game
// goes on with whatever loaded. False when anything went wrong.
bool init_sound_script(const char* script = "sound/sound.nut");
// When a source of the script changed: clears the on-screen error, frees
// every sound the script loaded, runs it again and binds the events again.
// Polled once a second by the frame loop.
void reload_sound_script();
// Unbinds the events, frees every sample and stream the script loaded and
// closes the VM. Call before close_sound.
void close_sound_script();
// The sound VM (null when not started), for tests and the developer tools.
HSQUIRRELVM get_sound_script_vm();

// The sound random generator ("game_rnd" in the sound script): its own
// 64-bit state, so that sounds never disturb the game's random sequence.
extern uint64_t sound_rnd_state;
int sound_game_rnd(); // 0 .. 2^31 - 1
