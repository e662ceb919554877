// What the guard towers' and the house spell's files share.
#pragma once
#include "game.h"
#include "towers_rules.h"

// The game-object block version from which the towers and their shots save
// fields of their own.
constexpr int TOWERS_FIELDS_VERSION = 3;
// Lava under a tower burns it away (health a second).
constexpr float TOWER_LAVA_HARM = 15.0f;
// How often a tower looks round for the nearest monster it can see.
constexpr float TOWER_RETARGET_SECONDS = 0.5f;

// The (x, z) centres of the standing towers (at most `max`); how many.
int tower_centres(float (*out)[2], int max);
// Removes the trees and stones standing on the cells x0..x1, z0..z1
// (inclusive, across the wrap), where a building now stands; how many.
int clear_building_ground(int x0, int z0, int x1, int z1);
