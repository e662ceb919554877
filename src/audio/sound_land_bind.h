// The land-moving sounds of the terrain update play through the sound events.
// The world subsystem declares the table of functions it needs
// (LandSoundHooks, world/hm_update.h); whoever wires the subsystems together
// passes that table here: the audio library only fills in its own functions
// and never refers to the world library's globals, so neither library links
// the other.
#pragma once

struct LandSoundHooks;

// Fills every entry: the event channel (event 33 is the land-moving sound),
// the playing test, 3D distances, the 3D position (moved next to the sound
// reference position as update_3d_sound does), the relative play position,
// the volume slide, play and fade-out.
void fill_land_sound_hooks(LandSoundHooks& hooks);
// Empties the table again (the land falls silent), e.g. before the sound
// layer closes.
void clear_land_sound_hooks(LandSoundHooks& hooks);
