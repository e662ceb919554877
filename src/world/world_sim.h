// Wiring of the world simulation into the program: the frame loop's world
// step calls the height update and the fluid step through app_hooks, and the
// world model's reset silences the land sounds through its hook.
#pragma once

// Installs HeightmapData::updateHmap and simWater as the world step's
// entries and stopSounds as the world model's reset hook. Run once at
// start-up, after the world grids are allocated.
void world_sim_init();
// Stops the land sounds and removes the entries world_sim_init installed
// (those that still point here). A second call does nothing.
void world_sim_close();
