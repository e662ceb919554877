// Installs the world simulation's entry points (see world_sim.h).
#include "world/world_sim.h"

#include "app/app_hooks.h"
#include "world/heightmap.h"
#include "world/hm_update.h"
#include "world/water_sim.h"

void world_sim_init() {
  app_hooks.update_hmap = HeightmapData::updateHmap;
  app_hooks.sim_water = HeightmapData::simWater;
  HeightmapData::stop_sounds_hook = HeightmapData::stopSounds;
}

void world_sim_close() {
  if (HeightmapData::stop_sounds_hook == HeightmapData::stopSounds) {
    HeightmapData::stopSounds();
    HeightmapData::stop_sounds_hook = nullptr;
  }
  if (app_hooks.update_hmap == HeightmapData::updateHmap) app_hooks.update_hmap = nullptr;
  if (app_hooks.sim_water == HeightmapData::simWater) app_hooks.sim_water = nullptr;
}
