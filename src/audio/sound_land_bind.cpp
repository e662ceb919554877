// The land sounds' function table filled with the sound events' functions.
// Only the table's type comes from the world headers; nothing of the world
// library is linked.
#include "audio/sound_land_bind.h"

#include "audio/sound_events.h"
#include "world/hm_update.h"

namespace {

unsigned land_event_channel(int event) { return get_sound_event_channel(event); }

bool land_set_3d_pos(unsigned ch, const Vec4f& pos, const Vec4f& vel) {
    if (!ch)
        return false;
    update_3d_sound(ch, SoundVec{pos.x, pos.y, pos.z, pos.w}, SoundVec{vel.x, vel.y, vel.z, vel.w});
    return true;
}

} // namespace

void fill_land_sound_hooks(LandSoundHooks& hooks) {
    hooks.get_event_channel = land_event_channel;
    hooks.is_playing = is_sound_playing;
    hooks.set_3d_params = set_sound_3d_params;
    hooks.set_3d_pos = land_set_3d_pos;
    hooks.set_relative_pos = set_relative_sound_pos;
    hooks.slide_volume = slide_sound_volume;
    hooks.play = play_sound;
    hooks.fade_out_and_stop = fade_out_and_stop_sound;
}

void clear_land_sound_hooks(LandSoundHooks& hooks) { hooks = LandSoundHooks{}; }
