// The sound script: its VM with the native API, start-up, reload, event
// calls, music chaining and shutdown.
#include "audio/sound_events.h"

#include <string>
#include <vector>

#include "core/app_globals.h"
#include "core/log.h"
#include "core/platform.h"
#include "script/sqVMReload.h"
#include "script/sqbind.h"

uint64_t sound_rnd_state = 0;

int sound_game_rnd() {
    sound_rnd_state = sound_rnd_state * 6364136223846793005ull + 1442695040888963407ull;
    return int((sound_rnd_state >> 32) & 0x7FFFFFFFu);
}

namespace {

class SoundScriptVM : public SqReloadableVM {
public:
    bool registerFunctions() override;
};

SoundScriptVM sound_vm;
bool started = false;

// What the script loaded: freed at reload and shutdown.
std::vector<unsigned int> loaded_samples;
std::vector<unsigned int> loaded_streams;
// Files that failed to load, as the script named them.
std::vector<std::string> failed_files;

// The event bindings: the `events` table and each event's function.
SqObject events_table;
SqFunc<SqObject> event_funcs[NUM_SOUND_EVENTS];

void show_script_error(const char* text) {
    std::string msg = "Error in sound script:\n";
    msg += text;
    set_error_message(msg.c_str());
}

// {===== The native API (handles cross as script integers)

// Without an audio device every load fails; the missing device was logged
// when the sound layer started, and listing every file as broken would be
// wrong, so only failures with a working device are collected.
void note_failure(const char* file) {
    if (is_sound_ready())
        failed_files.push_back(file);
}

int api_load_sample(const char* file, int max_playbacks, int flags) {
    unsigned int h = load_sound_sample(make_full_path(file), max_playbacks, flags, SOUND_OVERRIDE_AUTO, 0, 0);
    if (h)
        loaded_samples.push_back(h);
    else
        note_failure(file);
    return int(h);
}

int api_get_channel(int sample) { return int(get_sound_sample_channel(unsigned(sample), false)); }
bool api_set_channel_volume(int ch, float volume) { return set_sound_volume(unsigned(ch), volume); }
bool api_set_channel_3d_params(int ch, float min_dist, float max_dist) {
    return set_sound_3d_params(unsigned(ch), min_dist, max_dist);
}
bool api_play_channel(int ch, bool restart) { return play_sound(unsigned(ch), restart); }
bool api_stop_channel(int ch) { return stop_sound(unsigned(ch)); }
bool api_fade_out_and_stop(int ch, int ms) { return fade_out_and_stop_sound(unsigned(ch), ms); }
bool api_set_sample_volume(int sample, float volume) { return set_sound_sample_volume(unsigned(sample), volume); }
bool api_set_sample_dist(int sample, float min_dist, float max_dist) {
    return set_sound_sample_dist(unsigned(sample), min_dist, max_dist);
}
int api_game_rnd() { return sound_game_rnd(); }

int add_stream(const char* file, unsigned int h) {
    if (h)
        loaded_streams.push_back(h);
    else
        note_failure(file);
    return int(h);
}
int api_load_music(const char* file, float loop_seconds) {
    return add_stream(file, load_sound_stream(make_full_path(file), loop_seconds, 0, 0, 0));
}
int api_load_chained_music(const char* file) {
    return add_stream(file, load_sound_stream(make_full_path(file), -1.0, SOUND_STREAM_CHAIN, 0, 0));
}

void set_int_const(HSQUIRRELVM v, const char* name, int value) {
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    sq_pushinteger(v, value);
    sq_newslot(v, -3, SQFalse);
    sq_poptop(v);
}

bool SoundScriptVM::registerFunctions() {
    if (!SqReloadableVM::registerFunctions())
        return false;
    SqObject root = sqbind::root_table(vm);
    sqbind::register_function(vm, root, "load_sample", api_load_sample);
    sqbind::register_function(vm, root, "get_channel", api_get_channel);
    sqbind::register_function(vm, root, "set_channel_volume", api_set_channel_volume);
    sqbind::register_function(vm, root, "set_channel_3d_params", api_set_channel_3d_params);
    sqbind::register_function(vm, root, "play_channel", api_play_channel);
    sqbind::register_function(vm, root, "stop_channel", api_stop_channel);
    sqbind::register_function(vm, root, "fade_out_and_stop", api_fade_out_and_stop);
    sqbind::register_function(vm, root, "set_sample_volume", api_set_sample_volume);
    sqbind::register_function(vm, root, "set_sample_dist", api_set_sample_dist);
    sqbind::register_function(vm, root, "game_rnd", api_game_rnd);
    sqbind::register_function(vm, root, "load_music", api_load_music);
    sqbind::register_function(vm, root, "load_chained_music", api_load_chained_music);
    set_int_const(vm, "SNDF_3D", SOUND_SAMPLE_3D);
    set_int_const(vm, "SNDF_LOOP", SOUND_SAMPLE_LOOP);
    return true;
}

// {===== Loading, binding, freeing

void unbind_events() {
    for (SqFunc<SqObject>& f : event_funcs)
        f.reset();
    events_table.reset();
}

void free_loaded_sounds() {
    for (unsigned int h : loaded_samples)
        free_sound_sample(h);
    for (unsigned int h : loaded_streams) {
        if (sound_stream_to_chain == h)
            sound_stream_to_chain = 0;
        free_sound_stream(h);
    }
    loaded_samples.clear();
    loaded_streams.clear();
}

// Looks up `events` (a missing entry throws "getGlobal 'events' failed") and
// binds each event's function, warning about those the script left out.
// Without an audio device no sample loads and scripts leave their events
// out; that is one fact, logged once, not a warning per event.
void bind_events() {
    unbind_events();
    events_table = sqbind::getGlobal<SqObject>(sound_vm.vm, "events");
    int silent = 0;
    for (int i = 0; i < NUM_SOUND_EVENTS; ++i) {
        event_funcs[i].bindMember(events_table, sound_event_name[i]);
        if (event_funcs[i].func.isNull()) {
            event_funcs[i].reset();
            if (is_sound_ready())
                debug("warning: no sound for event '%s'", sound_event_name[i]);
            else
                ++silent;
        }
    }
    if (silent > 0)
        debug("SOUND: no audio device, %d of %d sound events play nothing", silent, NUM_SOUND_EVENTS);
}

// Runs the script (all its files when reloading), binds the events and
// reports the files that failed. Errors are shown on screen; false then.
// `script` is the main file at start-up, null when reloading.
bool run_and_bind(const char* script) {
    failed_files.clear();
    try {
        sq_reseterror(sound_vm.vm); // a failure below must not show an older error
        bool ok = script ? sound_vm.include(script) : sound_vm.reloadScripts(true);
        if (!ok && script && get_file_time(make_full_path(script)) == 0) {
            std::string text = std::string("can't open '") + (const char*)make_full_path(script) + "'";
            throw SquirrelError(text.c_str());
        }
        if (!ok)
            throw SquirrelError(sound_vm.vm);
        bind_events();
    } catch (const SquirrelError& e) {
        show_script_error(e.what());
        return false;
    }
    if (!failed_files.empty()) {
        std::string text = "Can't load sound files:\n";
        for (const std::string& f : failed_files)
            text += f + "\n";
        show_script_error(text.c_str());
        return false;
    }
    return true;
}

} // namespace

unsigned int get_sound_event_channel(int event) {
    if (event < 0 || event >= NUM_SOUND_EVENTS || event_funcs[event].isNull())
        return 0;
    try {
        SqObject r = event_funcs[event]();
        if (r.type() != OT_INTEGER)
            sqbind::throw_type_error();
        SQInteger ch = 0;
        r.push(sound_vm.vm);
        sq_getinteger(sound_vm.vm, -1, &ch);
        sq_poptop(sound_vm.vm);
        return unsigned(ch);
    } catch (const SquirrelError& e) {
        show_script_error(e.what());
        return 0;
    }
}

void start_queued_music() { do_music_chaining(); }

void keep_music_playing() {
    feed_sound_streams();
    start_queued_music();
}

void do_music_chaining() {
    unsigned int stream = sound_stream_to_chain;
    if (!stream)
        return;
    sound_stream_to_chain = 0;
    if (!sound_vm.vm)
        return;
    SqFunc<void> chain;
    chain.bindMember(sqbind::root_table(sound_vm.vm), "do_music_chaining");
    if (chain.func.isNull())
        return;
    try {
        chain(int(stream));
    } catch (const SquirrelError& e) {
        show_script_error(e.what());
    }
}

bool init_sound_script(const char* script) {
    if (started)
        close_sound_script();
    sound_rnd_state = game_rnd_seed;
    if (!sound_vm.init(1024))
        fatal("error creating sound script VM");
    started = true;
    return run_and_bind(script);
}

void reload_sound_script() {
    if (!started || !sound_vm.vm || !sound_vm.needsReload())
        return;
    set_error_message(nullptr);
    unbind_events();
    free_loaded_sounds();
    run_and_bind(nullptr);
}

void close_sound_script() {
    unbind_events();
    free_loaded_sounds();
    failed_files.clear();
    sound_vm.close();
    // A later start runs the script afresh (include skips files it knows).
    sound_vm.files.clear();
    started = false;
}

HSQUIRRELVM get_sound_script_vm() { return sound_vm.vm; }
