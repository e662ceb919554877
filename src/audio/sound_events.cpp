// The event table, playing events, and 3D sounds on the wrapping world.
#include "audio/sound_events.h"

#include "core/log.h"

#include <cmath>
#include <cstdio>
#include <cstring>

const char* const sound_event_name[NUM_SOUND_EVENTS] = {
    "use_portal",        "enter_world",        "portal_appears",   "portal_loop",
    "trigger_activated", "player_hit",         "start_combat",     "end_combat",
    "spell_appears",     "spell_loop",         "spell_discharge",  "pick_up_spell",
    "res_appears",       "res_loop",           "res_discharge",    "pick_up_res",
    "gatherer_summon",   "gatherer_death",     "generic_cast",     "generic_missile",
    "fireball_cast",     "fireball_missile",   "fireball_hit",     "fireball_hit_water",
    "meteor_cast",       "meteor_missile",     "meteor_hit",       "lightning_cast",
    "thstorm_cast",      "thstorm_missile",    "thstorm_lightning", "burn_loop",
    "tree_regrows",      "land_moving",        "mana_idle",        "claim_mana",
    "wyvern_spawn",      "wyvern_idle",        "wyvern_attack",    "wyvern_hit",
    "caterpillar_spawn", "caterpillar_idle",   "caterpillar_attack", "caterpillar_hit",
    "bird_idle",         "bird_hit",           "volcano_explosion", "volcano_eruption",
    "main_menu",         "universe_map",
};

int find_sound_event(const char* name) {
    if (!name)
        return -1;
    // Game code names events by their script constant ("SE_enter_world"),
    // the event table by the bare name: both mean the same event.
    if (strncmp(name, "SE_", 3) == 0)
        name += 3;
    for (int i = 0; i < NUM_SOUND_EVENTS; ++i)
        if (strcmp(sound_event_name[i], name) == 0)
            return i;
    return -1;
}

void register_sound_event_constants(HSQUIRRELVM vm) {
    SQInteger top = sq_gettop(vm);
    sq_pushroottable(vm);
    for (int i = 0; i < NUM_SOUND_EVENTS; ++i) {
        char name[64];
        snprintf(name, sizeof name, "SE_%s", sound_event_name[i]);
        sq_pushstring(vm, name, -1);
        sq_pushinteger(vm, i);
        sq_newslot(vm, -3, SQFalse);
    }
    sq_settop(vm, top);
}

unsigned int get_sound_event_channel(const char* name) {
    int event = find_sound_event(name);
    return event < 0 ? 0 : get_sound_event_channel(event);
}

bool log_sound_events = false;

unsigned int play_sound_event(int event) {
    if (log_sound_events && event >= 0 && event < NUM_SOUND_EVENTS)
        visual_log("sound event %s", sound_event_name[event]);
    unsigned int ch = get_sound_event_channel(event);
    if (ch)
        play_sound(ch, true);
    return ch;
}

unsigned int play_sound_event(const char* name) {
    int event = find_sound_event(name);
    return event < 0 ? 0 : play_sound_event(event);
}

void raise_sound_event(const char* name) { play_sound_event(name); }

// {===== 3D sounds

namespace {

// Positional sounds placed through update_3d_sound. A fixed table: the
// per-step pass allocates nothing. More than this many at once only lose
// the re-placing as the camera moves, never the sound itself.
constexpr int MAX_TRACKED_3D = 256;

struct Tracked3d {
    unsigned int ch;
    SoundVec pos; // as given, before wrapping
    SoundVec vel;
};

Tracked3d tracked[MAX_TRACKED_3D];
int num_tracked = 0;
float ref_pos[4] = {0, 0, 0, 1};

float wrap_near(float v, float ref) {
    float d = v - ref;
    d -= 256.0f * std::floor((d + 128.0f) / 256.0f);
    return ref + d;
}

bool place(unsigned int ch, const SoundVec& pos, const SoundVec& vel) {
    SoundVec p = pos;
    p.x = wrap_near(pos.x, ref_pos[0]);
    p.z = wrap_near(pos.z, ref_pos[2]);
    return set_sound_3d_pos(ch, p, vel);
}

} // namespace

void set_sound_reference_pos(const float pos[4]) {
    for (int i = 0; i < 4; ++i)
        ref_pos[i] = pos[i];
}

const float* get_sound_reference_pos() { return ref_pos; }

void update_3d_sound(unsigned int ch, const SoundVec& pos, const SoundVec& vel) {
    // A stale handle or a 2D channel has no position to keep.
    if (!ch || !place(ch, pos, vel))
        return;
    for (int i = 0; i < num_tracked; ++i)
        if (tracked[i].ch == ch) {
            tracked[i].pos = pos;
            tracked[i].vel = vel;
            return;
        }
    if (num_tracked < MAX_TRACKED_3D)
        tracked[num_tracked++] = Tracked3d{ch, pos, vel};
}

void update_3d_sounds(const float ref[4]) {
    if (ref)
        set_sound_reference_pos(ref);
    for (int i = 0; i < num_tracked;) {
        if (!is_sound_playing(tracked[i].ch)) {
            tracked[i] = tracked[--num_tracked];
            continue;
        }
        place(tracked[i].ch, tracked[i].pos, tracked[i].vel);
        ++i;
    }
    start_queued_music();
}

int tracked_3d_sound_count() { return num_tracked; }
