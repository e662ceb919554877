// The real gameobj.so loaded into the test program on the host's world
// grids (a cleared world, the clock at 0), with helpers to call its table.
#pragma once
#include <gtest/gtest.h>
#include <string.h>

#include <filesystem>
#include <string>

#include "core/platform.h"
#include "core/stream.h"
#include "core/temp_folders.h"
#include "host/gameobj_api.h"
#include "host/gameobj_host.h"
#include "host/gameobj_lists.h"
#include "world/heightmap.h"
#include "world/hm_update.h"
#include "world/saved_games.h"
#include "world/water_sim.h"

using namespace HeightmapData;

// The module's objects start with GameObj's position right after the host's
// GameObject, where the compiler puts a derived class's first field (in the
// base's tail padding, so not at sizeof(GameObject)). Read through bytes: a
// mirror class would claim a dynamic type the module's objects do not have.
struct PosProbe : GameObject {
  float pos[4];
};
inline float* pos_of(GameObject* obj)
{
  static const ptrdiff_t offset = [] {
    PosProbe probe;
    return reinterpret_cast<char*>(probe.pos) - reinterpret_cast<char*>(&probe);
  }();
  return reinterpret_cast<float*>(reinterpret_cast<char*>(obj) + offset);
}

class RealModule : public ::testing::Test {
protected:
  TempDir dir{"rh_gameobj"};
  char saved_app_path[sizeof(app_path)];

  void SetUp() override
  {
    static bool grids = false;
    if (!grids) allocate_heightmap_grids();
    grids = true;
    HeightmapData::reset();
    memcpy(target_hmap, hmap, HMAP_CELLS * sizeof(float));
    saved_world_state.world_time = 0;
    // The module binds to these by name: calling them (they change nothing
    // here) links them into the test program.
    circle_brush(0, 0, 0, 0, 1, target_hmap);
    simWater(0.05f);
    memcpy(saved_app_path, app_path, sizeof(app_path));
    snprintf(app_path, sizeof(app_path), "%s/", dir.path().c_str());
    std::filesystem::copy_file(std::filesystem::path(RH_BIN_DIR) / "gameobj.so", std::filesystem::path(dir.path()) / "gameobj.so");
    load_gameobj_module((dir.path() + "/").c_str(), "main.ls");
    ASSERT_TRUE(gameobj_module_loaded());
  }
  void TearDown() override
  {
    if (gameobj_api.remove_all_gameobj) gameobj_api.remove_all_gameobj();
    unload_gameobj_module();
    memcpy(app_path, saved_app_path, sizeof(app_path));
  }
  template <class Fn>
  Fn fn(void* entry) { return gameobj_fn<Fn>(entry); }
  GameObject* make(const char* name)
  {
    int id = fn<int (*)(const char*)>(gameobj_funcs.gameobj_id_by_name)(name);
    return fn<GameObject* (*)(int)>(gameobj_funcs.new_gameobj_by_id)(id);
  }
  GameObject* by_id(int serial)
  {
    return static_cast<GameObject*>(fn<BaseObject* (*)(int)>(gameobj_funcs.get_gameobj_by_ser_id)(serial));
  }
  int live_count()
  {
    int n = 0;
    for (int i = 0; i < GAMEOBJ_WALKED_LIST_COUNT; ++i) n += gameobj_walked_list(i)->num;
    return n;
  }
  MemoryOutputStream saved()
  {
    MemoryOutputStream out;
    gameobj_api.save_gameobjs(out);
    return out;
  }
  void step(int n)
  {
    for (int i = 0; i < n; ++i) fn<void (*)(float)>(gameobj_funcs.update_gameobj)(0.05f);
  }
};

// A version-2 game-object block (before the classes had fields of their
// own) holding one object of `cls`: flags 0 and its position.
inline MemoryOutputStream version2_block_of_one(const char* cls, int serial, std::initializer_list<float> pos)
{
  MemoryOutputStream old;
  old.writeInt(2);
  old.writeInt(1);
  MemoryOutputStream fields;
  fields.writeUInt(0);
  for (float v : pos) fields.writeFloat(v);
  old.writeString(cls);
  old.writeInt(serial);
  old.writeInt(fields.size());
  old.write(fields.data(), fields.size());
  return old;
}
