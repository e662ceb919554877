// The developer map's placement rules and icons, the module's object walk,
// and the lake tentacle of the real gameobj.so on the host's world grids:
// where it rises and lashes, what sends it under, what kills it, and saving.
#include <gtest/gtest.h>
#include <math.h>
#include <squirrel.h>

#include <map>
#include <string>
#include <vector>

#include "core/app_globals.h"
#include "devtools/dev_server.h"
#include "render/camera.h"
#include "script/sqbind.h"
#include "world/hmGen.h" // real_module.h calls circle_brush
#include "world/universe.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"

#include "../../gameobj/src/dev_map_layout.h"
#include "devtools/dev_test_client.h"
#include "real_module.h"

namespace {

std::vector<std::string> split(const std::string& s, char sep)
{
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(sep, start);
    if (end == std::string::npos) end = s.size();
    if (end > start) out.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

TEST(DevMapLayout, TheWholeWorldCentredOnTheCameraAcrossTheWrap)
{
  float u, v;
  // 8 east and 16 north of a camera near the world's corner, across both wraps.
  ASSERT_TRUE(devmap::world_to_map(250, 250, 2, 10, u, v));
  EXPECT_FLOAT_EQ(u, 0.5f + 8 / 256.0f);
  EXPECT_FLOAT_EQ(v, 0.5f - 16 / 256.0f);
  ASSERT_TRUE(devmap::world_to_map(3, 100, 251, 100 - 300, u, v)); // west across the wrap, south beyond a period
  EXPECT_FLOAT_EQ(u, 0.5f - 8 / 256.0f);
  EXPECT_NEAR(v, 0.5f + 44 / 256.0f, 1e-5f);
  EXPECT_FALSE(devmap::world_to_map(0, 0, NAN, 3, u, v));

  // The image pieces tile the square and show at each place the world point
  // that the icons' rule puts there.
  for (float c : {0.0f, 37.5f, 128.0f, 250.0f}) {
    devmap::ImagePiece p[4];
    int n = devmap::image_pieces(c, 256 - c, p);
    ASSERT_GE(n, 1);
    float area = 0;
    for (int i = 0; i < n; ++i) area += (p[i].x1 - p[i].x0) * (p[i].y1 - p[i].y0);
    EXPECT_NEAR(area, 1.0f, 1e-5f);
    for (float wx : {1.0f, 100.0f, 200.0f, 255.0f})
      for (float wz : {3.0f, 128.0f, 254.0f}) {
        ASSERT_TRUE(devmap::world_to_map(c, 256 - c, wx, wz, u, v));
        int hits = 0;
        for (int i = 0; i < n; ++i) {
          if (u < p[i].x0 || u > p[i].x1 || v < p[i].y0 || v > p[i].y1) continue;
          ++hits;
          float tu = p[i].u0 + (u - p[i].x0) / (p[i].x1 - p[i].x0) * (p[i].u1 - p[i].u0);
          float tv = p[i].v0 + (v - p[i].y0) / (p[i].y1 - p[i].y0) * (p[i].v1 - p[i].v0);
          EXPECT_NEAR(tu, wx / 256, 1e-4f) << c << " " << wx;
          EXPECT_NEAR(tv, wz / 256, 1e-4f) << c << " " << wz;
        }
        EXPECT_GE(hits, 1);
      }
  }
  devmap::Frame f = devmap::frame(1280, 720);
  EXPECT_GE(f.y0, 0);
  EXPECT_LE(f.y0 + f.size + 60, 720.0f); // room for the legend below
  EXPECT_FLOAT_EQ(f.x0 * 2 + f.size, 1280);
}

class DevMapModule : public RealModule {
protected:
  HSQUIRRELVM vm = nullptr;
  DevServer server;
  DevTestClient* client = nullptr;

  void SetUp() override
  {
    RealModule::SetUp();
    memset(water, 0, sizeof(Water) * HMAP_CELLS);
    vm = sq_open(1024);
    fn<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(vm);
    std::string path = dir.path() + "/dev.sock";
    ASSERT_TRUE(server.start(path.c_str()));
    client = new DevTestClient(path);
    camera.pos = Vec4f{128, 60, 128, 1};
  }
  void TearDown() override
  {
    delete client;
    server.stop();
    local_player = nullptr;
    memset(water, 0, sizeof(Water) * HMAP_CELLS);
    RealModule::TearDown();
    sq_close(vm);
  }
  std::string ask(const std::string& line)
  {
    client->sendText(line.c_str());
    server.poll();
    return client->reply();
  }
  GameObject* at(const char* cls, float x, float y, float z)
  {
    GameObject* o = make(cls);
    float* p = pos_of(o);
    p[0] = x, p[1] = y, p[2] = z;
    return o;
  }
  int for_each(int class_id, bool (*f)(GameObject*, void*), void* user)
  {
    return fn<int (*)(int, bool (*)(GameObject*, void*), void*)>(gameobj_funcs.for_each_game_object)(class_id, f, user);
  }
  int script_int(const std::string& expr)
  {
    std::string code = "return " + expr + ";";
    SQInteger top = sq_gettop(vm), out = -1;
    if (SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), "test", SQTrue))) {
      sq_pushroottable(vm);
      if (SQ_SUCCEEDED(sq_call(vm, 1, SQTrue, SQFalse))) sq_getinteger(vm, -1, &out);
    }
    sq_settop(vm, top);
    return (int)out;
  }
  int class_id(const char* name) { return fn<int (*)(const char*)>(gameobj_funcs.gameobj_id_by_name)(name); }
  float land(float x, float z) { return fn<float (*)(int, int)>(gameobj_funcs.get_land_height)(int(x), int(z)); }
  void lake(int x0, int z0, int x1, int z1, float depth)
  {
    for (int z = z0; z < z1; ++z)
      for (int x = x0; x < x1; ++x) water[z & 255][x & 255].depth = depth;
  }
  int alive() { return fn<int (*)()>(gameobj_funcs.count_alive_monsters)(); }
  float player_health() { return (float)atof(reply_pairs(ask("player"))["health"].c_str()); }
  GameObject* player_at(float x, float y, float z)
  {
    if (!local_player) local_player = gameobj_api.create_player(Vec4f{x, y, z, 1});
    float* p = pos_of(reinterpret_cast<GameObject*>(local_player));
    p[0] = x, p[1] = y, p[2] = z;
    return reinterpret_cast<GameObject*>(local_player);
  }
  int spawn_tentacle(float x, float z)
  {
    char line[96];
    snprintf(line, sizeof line, "spawnMonster kind=tentacle x:d=%g z:d=%g", x, z);
    std::string r = ask(line);
    return r[0] == 'k' ? atoi(reply_pairs(r)["serial"].c_str()) : 0;
  }
};

TEST_F(DevMapModule, TheWalkVisitsEachLiveObjectOnceFilteredByClassAndStops)
{
  // Spells and standing stones are also held in their kind's list.
  std::map<int, int> made;
  for (const char* cls : {"FireballSpell", "MeteorSpell", "Stone1StaticObject", "HumanoidStaticObject", "ManaBall",
                          "WyvernMonster", "Tentacle", "MapArrow"})
    made[make(cls)->serialId] = 0;
  GameObject* gone = make("HillSpell");
  gone->destroy(); // pending deletion: no longer live
  std::map<int, int> seen;
  auto count = [](GameObject* o, void* user) {
    (*static_cast<std::map<int, int>*>(user))[o->serialId]++;
    return true;
  };
  EXPECT_EQ(for_each(0, count, &seen), (int)made.size());
  for (auto& [serial, n] : seen) EXPECT_EQ(n, 1) << serial;
  EXPECT_EQ(seen.size(), made.size());
  EXPECT_EQ(seen.count(gone->serialId), 0u);

  // A class filter takes the class and every class derived from it.
  seen.clear();
  EXPECT_EQ(for_each(class_id("SpellObject"), count, &seen), 2);
  EXPECT_EQ(for_each(class_id("HumanoidStaticObject"), count, &seen), 2);
  EXPECT_EQ(for_each(class_id("MonsterObject"), count, &seen), 2); // the wyvern and the tentacle
  EXPECT_EQ(for_each(class_id("MapArrow"), count, &seen), 1);
  EXPECT_EQ(for_each(class_id("GameObj"), count, &seen), (int)made.size());
  EXPECT_EQ(for_each(9999, count, &seen), 0); // no such class
  EXPECT_EQ(for_each(0, nullptr, nullptr), 0);

  // The callback stops the walk.
  int calls = 0;
  EXPECT_EQ(for_each(0, [](GameObject*, void* n) { return ++*static_cast<int*>(n) < 3; }, &calls), 3);
}

TEST_F(DevMapModule, TheMapShowsOneIconPerObjectOfInterestWhereItIs)
{
  player_at(130, 30, 130);
  camera.pos = Vec4f{250, 50, 250, 1};
  GameObject* orb = at("ManaBall", 2, 10, 10);           // 8 east, 16 north across the wraps
  GameObject* spell = at("FireballSpell", 250, 10, 122); // 128 south: the bottom edge
  GameObject* wyvern = at("WyvernMonster", 186, 30, 250);
  GameObject* tree = at("TreeObject", 240, 5, 240);
  at("TreeObject", 60, 5, 60);                           // not burning: left out
  at("LightPillarEffect", 2, 10, 10);                    // effects and arrows are left out
  at("MapArrow", 2, 10, 10);
  EXPECT_EQ(ask("ignite x:d=240 z:d=240 radius:d=1"), "k1");

  std::string r = ask("devMap");
  auto kv = reply_pairs(r);
  EXPECT_EQ(kv["shown"], "0"); // hidden until asked
  std::map<int, std::vector<std::string>> icons;
  for (const std::string& item : split(kv["list"], ';')) {
    std::vector<std::string> f = split(item, ',');
    ASSERT_EQ(f.size(), 4u) << item;
    icons[atoi(f[1].c_str())] = f;
  }
  ASSERT_EQ(icons.size(), 4u) << r;
  EXPECT_EQ(kv["icons"], "4");
  auto where = [&](GameObject* o, const char* kind, float u, float v) {
    const auto& f = icons[o->serialId];
    ASSERT_EQ(f.size(), 4u) << kind;
    EXPECT_EQ(f[0], kind);
    EXPECT_NEAR(atof(f[2].c_str()), u, 1e-3) << kind;
    EXPECT_NEAR(atof(f[3].c_str()), v, 1e-3) << kind;
  };
  where(orb, "orb", 0.5f + 8 / 256.0f, 0.5f - 16 / 256.0f);
  where(spell, "spell", 0.5f, 1.0f);
  where(wyvern, "wyvern", 0.25f, 0.5f);
  where(tree, "fire", 0.5f - 10 / 256.0f, 0.5f + 10 / 256.0f);

  // Shown and hidden by the command; the icons' looks are clamped, and a
  // value that is not a number keeps the old one.
  EXPECT_EQ(reply_pairs(ask("devMap show=1"))["shown"], "1");
  kv = reply_pairs(ask("devMap scale:d=10 opacity:d=-1"));
  EXPECT_EQ(kv["scale"], "4.00");
  EXPECT_EQ(kv["opacity"], "0.00");
  fn<void (*)(float, float)>(gameobj_funcs.set_world_icon_params)(NAN, 0.5f);
  kv = reply_pairs(ask("devMap show=0"));
  EXPECT_EQ(kv["shown"], "0");
  EXPECT_EQ(kv["scale"], "4.00");
  EXPECT_EQ(kv["opacity"], "0.50");
}

TEST_F(DevMapModule, TheTentacleRisesOnlyFromDeepWaterAtLowFliersAndLashesWithinReach)
{
  lake(100, 100, 140, 140, 3.0f); // a lake
  lake(20, 20, 40, 40, 1.0f);     // a pond: too shallow
  EXPECT_EQ(spawn_tentacle(30, 30), 0);
  EXPECT_EQ(ask("spawnMonster kind=tentacle x:d=30 z:d=30").substr(0, 1), "e");
  int id = spawn_tentacle(117, 121); // moves to the lake's deep water nearby
  ASSERT_GT(id, 0);
  GameObject* t = by_id(id);
  float* tp = pos_of(t);
  const float surface = land(tp[0], tp[2]) + 3;
  EXPECT_NEAR(tp[1], surface, 0.01f);
  EXPECT_EQ(alive(), 1); // a hostile monster
  // The world script's spawn_monster makes them too (0 where the water is shallow).
  EXPECT_EQ(script_int("spawn_monster(\"tentacle\", 30, 30)"), 0);
  int second = script_int("spawn_monster(\"tentacle\", 137, 104)");
  EXPECT_GT(second, id);
  EXPECT_EQ(alive(), 2);
  fn<GameObject* (*)(int)>(gameobj_funcs.get_gameobj_by_ser_id)(second)->destroy();

  // Nobody near: it stays under.
  player_at(200, surface + 5, 200);
  step(60);
  EXPECT_EQ(t->query(2), 0);
  EXPECT_EQ(t->query(3), 0);
  // A player flying high over the lake is not seen; one flying low within
  // sight but out of reach makes it rise, without harm.
  player_at(tp[0] + 15, surface + 20, tp[2]);
  step(40);
  EXPECT_EQ(t->query(3), 0);
  player_at(tp[0] + 15, surface + 6, tp[2]);
  step(40);
  EXPECT_EQ(t->query(3), 1000);
  EXPECT_EQ(t->query(1), reinterpret_cast<GameObject*>(local_player)->serialId);
  EXPECT_FLOAT_EQ(player_health(), 100);

  // Within reach: a lash at once, another after its interval.
  player_at(tp[0] + 5, surface + 4, tp[2] + 3);
  step(1);
  EXPECT_FLOAT_EQ(player_health(), 88);
  step(30);
  EXPECT_FLOAT_EQ(player_health(), 88);
  step(12);
  EXPECT_FLOAT_EQ(player_health(), 76);

  // A blow sends it under for a while, even with the player in reach.
  EXPECT_EQ(fn<int (*)(const Vec4f&, float, float)>(gameobj_funcs.apply_fireball)(Vec4f{tp[0], tp[1], tp[2], 0}, 3, 10), 1);
  step(20 * 2);
  EXPECT_EQ(t->query(2), 0);
  EXPECT_EQ(t->query(3), 0);
  EXPECT_EQ(t->query(4), 40);
  step(20 * 4);
  EXPECT_GT(t->query(3), 0); // up again

  // Water that gets shallow sends it under; it does not die of it.
  lake(100, 100, 140, 140, 1.0f);
  step(20 * 3);
  EXPECT_EQ(t->query(3), 0);
  EXPECT_NE(by_id(id), nullptr);
  EXPECT_GE(player_health(), 76); // no lash meanwhile (health comes back after a while)
}

TEST_F(DevMapModule, TheTentacleDiesWhenItsLakeIsGoneOrInLavaAndLeavesAVortexAshore)
{
  lake(100, 100, 120, 120, 3.0f);
  lake(180, 180, 200, 200, 3.0f);
  int drained = spawn_tentacle(110, 110);
  int burnt = spawn_tentacle(190, 190);
  ASSERT_GT(drained, 0);
  ASSERT_GT(burnt, 0);
  // Lightning finds it like any hostile monster.
  Vec4f strike;
  GameObject* picked =
      fn<GameObject* (*)(const Vec4f&, Vec4f*)>(gameobj_funcs.pick_lightning_target)(Vec4f{111, 0, 111, 0}, &strike);
  ASSERT_NE(picked, nullptr);
  EXPECT_EQ(picked->serialId, drained);

  lake(180, 180, 200, 200, -1.0f); // lava
  step(1);
  EXPECT_EQ(by_id(burnt), nullptr);
  lake(100, 100, 120, 120, 0.0f); // drained (a filled lake leaves no water either)
  step(20);
  EXPECT_NE(by_id(drained), nullptr); // the fluid may come back for a moment
  step(25);
  EXPECT_EQ(by_id(drained), nullptr);
  EXPECT_EQ(alive(), 0);

  // Each left a vortex; the one of the lava pool on its dry shore.
  std::string r = ask("pickups");
  EXPECT_EQ(reply_pairs(r)["count"], "2") << r;
  int vortices = 0;
  for (const std::string& item : split(reply_pairs(r)["pickups"], ';')) {
    std::vector<std::string> f = split(item, ',');
    ASSERT_GE(f.size(), 3u) << r;
    vortices += f[1] == "vortex";
    float x = (float)atof(f[2].c_str()), z = (float)atof(f[4].c_str());
    if (x > 170) {
      EXPECT_TRUE(x < 180 || x >= 200 || z < 180 || z >= 200) << item;
    }
  }
  EXPECT_EQ(vortices, 2) << r;
}

TEST_F(DevMapModule, ATentacleSavesAndLoadsMidLashWithItsTarget)
{
  lake(100, 100, 140, 140, 3.0f);
  int id = spawn_tentacle(120, 120);
  ASSERT_GT(id, 0);
  float* tp = pos_of(by_id(id));
  GameObject* p = player_at(tp[0] + 4, tp[1] + 3, tp[2]);
  step(20 * 2 + 1); // risen, then the first lash
  GameObject* t = by_id(id);
  ASSERT_EQ(t->query(2), 2); // lashing
  EXPECT_EQ(t->query(1), p->serialId);
  const int rise = t->query(3);

  MemoryOutputStream before = saved();
  const int player_id = p->serialId;
  local_player = nullptr;
  gameobj_api.remove_all_gameobj();
  MemoryInputStream in(before.data(), before.size());
  gameobj_api.load_gameobjs(in);
  local_player = reinterpret_cast<Player*>(by_id(player_id));
  t = by_id(id);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->query(1), player_id);
  EXPECT_EQ(t->query(2), 2);
  EXPECT_EQ(t->query(3), rise);
  MemoryOutputStream after = saved();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(memcmp(after.data(), before.data(), before.size()), 0);
  // It goes on lashing after its interval.
  float h = player_health();
  step(41);
  EXPECT_FLOAT_EQ(player_health(), h - 12);
}

// The program's world script generating a universe world with the module
// bound, as the program does: a world of islands has deep sea.
TEST_F(DevMapModule, TheWorldScriptPutsATentacleInTheDeepWaterOfAWorldWithLakes)
{
  WorldHooks saved_hooks = world_hooks;
  world_hooks = WorldHooks{};
  world_hooks.register_module_bindings = [](HSQUIRRELVM v) {
    gameobj_fn<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(v);
  };
  world_hooks.remove_all_gameobj = [] { gameobj_api.remove_all_gameobj(); };
  snprintf(app_path, sizeof(app_path), "%s/", RH_BIN_DIR);
  set_error_message(nullptr);
  ASSERT_TRUE(init_world_gen_vm("gen/main.nut")) << get_error_message();
  HSQUIRRELVM v = world_gen_vm.vm;
  std::string code = "universe <- { worlds = [{ index = 0, name = \"Ashdale\", seed = 4242, kind = \"islands\","
                     " resource = \"vortex\", links = [], visited = false }], resources = {}, enteredWorld = 0 };";
  EXPECT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), (SQInteger)code.size(), "test", SQTrue)));
  sq_pushroottable(v);
  EXPECT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue)));
  sq_pop(v, 1);
  universe = sqbind::getSlot<SqObject>(sqbind::root_table(v), "universe");
  worlds = sqbind::getSlot<SqObject>(universe, "worlds");

  generate_world("game");
  EXPECT_FALSE(has_error_message()) << get_error_message();
  EXPECT_EQ(Tentacle_list.num, 1); // the first world: one
  for (Tentacle* t : Tentacle_list) {
    float* p = pos_of(reinterpret_cast<GameObject*>(t));
    EXPECT_GT(water[int(p[2]) & 255][int(p[0]) & 255].depth, 2.0f) << p[0] << "," << p[2];
  }
  worlds.reset();
  universe.reset();
  close_world_gen_vm();
  world_hooks = saved_hooks;
}

} // namespace
