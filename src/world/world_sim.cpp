// The world simulation's start-up and close (see world_sim.h).
#include "world/world_sim.h"

#include "world/heightmap.h"
#include "world/hm_update.h"
#include "world/water_sim.h"

void world_sim_init() {
  HeightmapData::stop_sounds_hook = HeightmapData::stopSounds;
}

void world_sim_close() {
  if (HeightmapData::stop_sounds_hook == HeightmapData::stopSounds) {
    HeightmapData::stopSounds();
    HeightmapData::stop_sounds_hook = nullptr;
  }
}
