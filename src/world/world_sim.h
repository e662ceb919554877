// The world simulation's part in start-up and shutdown: the world model's
// reset silences the land sounds through its hook. (The program's world step
// calls HeightmapData::updateHmap and simWater directly.)
#pragma once

// Installs stopSounds as the world model's reset hook. Run once at start-up,
// after the world grids are allocated.
void world_sim_init();
// Stops the land sounds and removes the hook world_sim_init installed (when
// it still points here). A second call does nothing.
void world_sim_close();
