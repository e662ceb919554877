// The world left to itself without a renderer, a player or game objects:
// the land moving toward its targets and the water and lava flowing, in the
// program's fixed steps. For tools (the world generator's --simulate) and
// tests; the game itself runs simulate_world, which adds the effects and
// the game objects.
#pragma once

// Runs world steps of 0.05 s (height update, then fluid simulation) until
// `seconds` of world time passed: 1,200 steps for 60 s. Returns the number
// of steps run (0 for seconds <= 0).
int simulate_world_headless(float seconds);
