// Loading, linking, reloading and re-pointing with small stand-in modules
// and the real gameobj.so.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/platform.h"
#include "core/stream.h"
#include "host/gameobj_api.h"
#include "host/gameobj_host.h"
#include "host/gameobj_lists.h"
#include "host/gameobj_rebuild.h"

namespace fs = std::filesystem;

namespace {

std::string maps()
{
  std::ifstream in("/proc/self/maps");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder that stands in for the executable's folder.
class ModuleFolder : public ::testing::Test {
protected:
  fs::path dir;
  char saved_app_path[sizeof(app_path)];

  void SetUp() override
  {
    char tmpl[] = "/tmp/rh_host_XXXXXX";
    ASSERT_TRUE(mkdtemp(tmpl));
    dir = tmpl;
    memcpy(saved_app_path, app_path, sizeof(app_path));
    snprintf(app_path, sizeof(app_path), "%s/", tmpl);
  }
  void TearDown() override
  {
    for (int i = 0; i < GAMEOBJ_WALKED_LIST_COUNT; ++i) {
      DynArray<GameObject*>& list = *gameobj_walked_list(i);
      // Objects held in two lists are deleted once, from their last list.
      for (GameObject* obj : list) {
        bool later = false;
        for (int j = i + 1; j < GAMEOBJ_WALKED_LIST_COUNT; ++j)
          for (GameObject* other : *gameobj_walked_list(j)) later |= other == obj;
        if (!later) delete obj;
      }
      list.clear();
    }
    unload_gameobj_module();
    memcpy(app_path, saved_app_path, sizeof(app_path));
    fs::remove_all(dir);
  }
  void install(const char* module, const char* as = "gameobj.so")
  {
    fs::copy_file(fs::path(RH_TEST_MODULE_DIR) / module, dir / as, fs::copy_options::overwrite_existing);
  }
  void load() { load_gameobj_module((dir.string() + "/").c_str(), "main.ls"); }
  GameObject* create(int class_id)
  {
    return gameobj_fn<GameObject* (*)(int)>(gameobj_funcs.new_gameobj_by_id)(class_id);
  }
};

TEST_F(ModuleFolder, BrokenModulesStopTheStartUpWithTheirReason)
{
  EXPECT_EXIT(load(), ::testing::ExitedWithCode(100), "can't load gameobj.so");
  install("module_no_mana_cheat.so");
  EXPECT_EXIT(load(), ::testing::ExitedWithCode(100), "no \"toggle_mana_cheat\" function in gameobj.so");
  install("module_no_link_gui.so");
  EXPECT_EXIT(load(), ::testing::ExitedWithCode(100), "no \"link_gui\" function in gameobj.so");
  install("module_92_classes.so");
  EXPECT_EXIT(load(), ::testing::ExitedWithCode(100), "gameobj classes changed, need restart");
  install("module_no_vtables.so");
  EXPECT_EXIT(load(), ::testing::ExitedWithCode(100), "invalid gameobj.so");
}

TEST_F(ModuleFolder, LinkingFillsTheWholeTableAndUnloadingClearsIt)
{
  install("module_v1.so");
  load();
  ASSERT_TRUE(gameobj_module_loaded());
  void** entries = reinterpret_cast<void**>(&gameobj_funcs);
  for (int i = 0; i < GAMEOBJ_FUNC_COUNT; ++i) EXPECT_NE(entries[i], nullptr) << i;
  EXPECT_NE(gameobj_api.remove_all_gameobj, nullptr);
  EXPECT_NE(maps().find(dir.string() + "/gameobj.so"), std::string::npos);
  unload_gameobj_module();
  for (int i = 0; i < GAMEOBJ_FUNC_COUNT; ++i) EXPECT_EQ(entries[i], nullptr) << i;
  EXPECT_EQ(gameobj_api.remove_all_gameobj, nullptr);
  // dlclose really unloaded it.
  EXPECT_EQ(maps().find(dir.string() + "/gameobj.so"), std::string::npos);
}

TEST_F(ModuleFolder, ReloadSwapsInTheNewLibraryAndRepointsLiveObjectsOnce)
{
  install("module_v1.so");
  load();
  GameObject* player = create(90);
  GameObject* spell = create(37);
  GameObject* arrow = create(5);
  player->flags = 1; // a flag of the object's own that must survive
  Player_list.push(reinterpret_cast<Player*>(player));
  // Held in its class list and in the spell list: must move exactly once.
  FireballSpell_list.push(reinterpret_cast<FireballSpell*>(spell));
  SpellObject_list.push(reinterpret_cast<SpellObject*>(spell));
  MapArrow_list.push(reinterpret_cast<MapArrow*>(arrow));
  spell->serialId = 77;
  EXPECT_EQ(spell->query(0), 1037);

  // Nothing waiting: a plain reload does nothing, a forced one reloads as is.
  EXPECT_FALSE(reload_gameobj(false));
  EXPECT_EQ(spell->query(0), 1037);
  EXPECT_TRUE(reload_gameobj(true));
  EXPECT_EQ(spell->query(0), 1037);

  install("module_v2.so", "gameobj_new.so");
  EXPECT_TRUE(reload_gameobj(false));
  EXPECT_FALSE(fs::exists(dir / "gameobj_new.so"));
  EXPECT_EQ(player->query(0), 2090);
  EXPECT_EQ(spell->query(0), 2037); // moved twice it would still be v1's or unknown
  EXPECT_EQ(arrow->query(0), 2005);
  EXPECT_EQ(spell->serialId, 77);
  EXPECT_EQ(player->flags, 1u); // the mark bit is clear again
  EXPECT_EQ(spell->flags, 0u);
  // The replaced file is no longer mapped anywhere.
  EXPECT_EQ(maps().find("gameobj.so (deleted)"), std::string::npos);
}

TEST_F(ModuleFolder, AnObjectOfAnUnknownClassIsFatal)
{
  install("module_v1.so");
  load();
  struct Stranger : GameObject {};
  Stranger* stranger = new Stranger();
  Tentacle_list.push(reinterpret_cast<Tentacle*>(stranger));
  EXPECT_EXIT(reload_gameobj(true), ::testing::ExitedWithCode(100), "cannot find object vtable");
  Tentacle_list.clear();
  delete stranger;
}

// The real module: start-up entry points, player creation, an empty object
// block that round-trips, shutdown.
TEST_F(ModuleFolder, TheRealModuleLinksCreatesAPlayerAndRoundTripsAnEmptyBlock)
{
  fs::copy_file(fs::path(RH_BIN_DIR) / "gameobj.so", dir / "gameobj.so");
  load();
  float pos[4] = {3, 4, 5, 1};
  Player* player = gameobj_api.create_player(*reinterpret_cast<const Vec4f*>(pos));
  ASSERT_NE(player, nullptr);
  ASSERT_EQ(Player_list.num, 1);
  GameObject* obj = reinterpret_cast<GameObject*>(player);
  EXPECT_STREQ(obj->getClassName(), "Player");
  EXPECT_EQ(gameobj_fn<BaseObject* (*)(int)>(gameobj_funcs.get_gameobj_by_ser_id)(obj->serialId), obj);
  EXPECT_EQ(gameobj_api.first_player(), player);
  // Written, then read back to exactly its end.
  MemoryOutputStream out;
  gameobj_api.save_gameobjs(out);
  out.writeInt(0x5eed);
  gameobj_api.remove_all_gameobj();
  EXPECT_EQ(Player_list.num, 0);
  MemoryInputStream in(out.data(), out.size());
  gameobj_api.load_gameobjs(in);
  EXPECT_EQ(in.readInt(), 0x5eed);
  EXPECT_EQ(deleted_gameobjs.num, 0);
}

} // namespace
