// Headless world simulation (see world_simulate.h).
#include "world/world_simulate.h"

#include "world/hm_update.h"
#include "world/water_sim.h"

int simulate_world_headless(float seconds) {
  const float dt = 0.05f;
  int steps = 0;
  // Counting in double keeps 1,200 steps for 60 s, as the game's simulate_world does.
  for (double remaining = seconds; remaining > 0; remaining -= double(dt)) {
    HeightmapData::updateHmap(dt);
    HeightmapData::simWater(dt);
    steps++;
  }
  return steps;
}
