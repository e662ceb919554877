// Shared set-up of the world tests: the grids are allocated once per test
// process, every test starts from a reset world and a fixed seed, and the log
// goes to a private temporary folder.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/game_rnd.h"
#include "core/temp_folders.h"
#include "world/heightmap.h"
#include "world/noise.h"

inline void world_test_init_once() {
  static bool done = false;
  if (done) return;
  done = true;
  setenv("XDG_DATA_HOME", make_temp_dir("rh_world_test").c_str(), 1);
  setenv("RUNEHOLM_HEADLESS", "1", 0);
  allocate_heightmap_grids();
}

// A fresh world: reset grids, seed 12345, reseeded noise tables.
inline void world_test_fresh(uint64_t seed = 12345) {
  world_test_init_once();
  HeightmapData::reset();
  game_rnd_seed = seed;
  reseed_noise();
}

// FNV-1a over bytes: a cheap identity of a grid's exact contents.
inline uint64_t hash_bytes(const void* data, size_t n, uint64_t h = 1469598103934665603ull) {
  const unsigned char* p = (const unsigned char*)data;
  for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

inline uint64_t world_hash() {
  uint64_t h = hash_bytes(HeightmapData::hmap, HMAP_CELLS * sizeof(float));
  return hash_bytes(HeightmapData::surface, HMAP_CELLS * sizeof(HeightmapData::Surface), h);
}

class WorldTest : public ::testing::Test {
protected:
  void SetUp() override { world_test_fresh(); }
};
