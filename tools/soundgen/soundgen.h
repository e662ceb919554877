// The sound generator's parts: the effects (one per sound event) and the
// music pieces.
#pragma once
#include "synth.h"

#include <string>

constexpr int SOUND_EVENT_COUNT = 50;
// File names (without extension) of the effects, in sound event order.
extern const char* const sound_event_files[SOUND_EVENT_COUNT];
// True for the effects made to loop seamlessly.
bool is_loop(const std::string& name);
synth::Buf make_effect(int index);

constexpr int MUSIC_PIECE_COUNT = 3;
extern const char* const music_files[MUSIC_PIECE_COUNT];
synth::Stereo make_music(int index);
