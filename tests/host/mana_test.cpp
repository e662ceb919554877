// Mana orbs, claiming, the portal, pickups and their saving, through the real
// module: objects are placed with the world script's functions (bound into a
// test VM), the player acts through the module's developer commands over a
// real socket, and the world script places everything on a generated world.
#include <gtest/gtest.h>
#include <poll.h>
#include <squirrel.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <map>
#include <string>

#include "app/game_modes.h"
#include "core/app_globals.h"
#include "core/game_mode.h"
#include "devtools/dev_server.h"
#include "script/sqbind.h"
#include "world/hmGen.h"
#include "world/universe.h"
#include "world/worldGenVM.h"
#include "world/worldScript.h"
#include "world/world_hooks.h"

#include "../../gameobj/src/mana_rules.h"
#include "devtools/dev_test_client.h"
#include "real_module.h"

namespace {

// A host list of the module's objects seen as the objects' common base.
template <class T>
DynArray<GameObject*>& objs(DynArray<T*>& list) { return reinterpret_cast<DynArray<GameObject*>&>(list); }

// Every object of this part that refers to another.
template <class F>
void for_each_ref(F&& f)
{
  for (GameObject* o : objs(MapArrow_list)) f(o);
  for (GameObject* o : objs(LightPillarEffect_list)) f(o);
  for (GameObject* o : objs(ClaimManaMissile_list)) f(o);
}

using Client = DevTestClient;

class ManaTest : public RealModule {
protected:
  HSQUIRRELVM vm = nullptr;
  DevServer server;
  std::string socket_path;
  Client* client = nullptr;

  void SetUp() override
  {
    RealModule::SetUp();
    vm = sq_open(1024);
    fn<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(vm);
    socket_path = dir.path() + "/dev.sock";
    ASSERT_TRUE(server.start(socket_path.c_str()));
    client = new Client(socket_path);
    local_player = gameobj_api.create_player(Vec4f{60, 10, 50, 1});
  }
  void TearDown() override
  {
    delete client;
    server.stop();
    set_game_mode(nullptr);
    worlds.reset();
    universe.reset();
    RealModule::TearDown();
    sq_close(vm);
  }
  // Runs script text in the test VM; false on a script error.
  bool run(const std::string& code)
  {
    SQInteger top = sq_gettop(vm);
    bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), "test", SQTrue));
    if (ok) {
      sq_pushroottable(vm);
      ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQFalse));
    }
    sq_settop(vm, top);
    return ok;
  }
  int spawn(const std::string& call)
  {
    EXPECT_TRUE(run("last_id <- " + call + ";")) << call;
    return sqbind::getSlot<int>(sqbind::root_table(vm), "last_id");
  }
  std::string ask(const std::string& line)
  {
    client->sendText(line.c_str());
    server.poll();
    return client->reply();
  }
  void move_player(float x, float y, float z)
  {
    float* p = pos_of(reinterpret_cast<GameObject*>(local_player));
    p[0] = x, p[1] = y, p[2] = z;
  }
  // A universe table in the test VM, made the host's active one.
  void make_universe(const std::string& table)
  {
    ASSERT_TRUE(run("universe <- " + table + ";"));
    universe = sqbind::getSlot<SqObject>(sqbind::root_table(vm), "universe");
    worlds = sqbind::getSlot<SqObject>(universe, "worlds");
  }
  bool script_bool(const std::string& expr)
  {
    EXPECT_TRUE(run("last_bool <- (" + expr + ") == true;")) << expr;
    return sqbind::getSlot<bool>(sqbind::root_table(vm), "last_bool");
  }
  int script_int(const std::string& expr)
  {
    EXPECT_TRUE(run("last_int <- " + expr + ";")) << expr;
    return sqbind::getSlot<int>(sqbind::root_table(vm), "last_int");
  }
};

TEST(ManaRules, ThePortalOpensAtTwoThirdsOfTheWorldsMana)
{
  EXPECT_FALSE(portal_should_open(66, 100));
  EXPECT_TRUE(portal_should_open(67, 100));
  EXPECT_TRUE(portal_should_open(2, 3)); // exactly two thirds
  EXPECT_FALSE(portal_should_open(1, 3));
  EXPECT_FALSE(portal_should_open(0, 0)); // no mana, no portal
  EXPECT_TRUE(portal_should_open(2000000000, 2000000000)); // no overflow
  EXPECT_FLOAT_EQ(wrap_delta(250, 4), 10);
  EXPECT_FLOAT_EQ(wrap_delta(4, 250), -10);
}

TEST_F(ManaTest, ClaimingOwnsOrbsAndOpensThePortalOnceAtTwoThirds)
{
  int site = spawn("spawn_portal_site(60, 70)");
  spawn("spawn_mana_orb(50, 50, 40)");
  spawn("spawn_mana_orb(70, 50, 20)");
  spawn("spawn_mana_orb(90, 50, 30)");
  spawn("spawn_mana_orb(200, 200, 10)"); // beyond the caster's reach
  EXPECT_EQ(ask("portal"), "kopen=0 pos=60.00,0.00,70.00 owned=0 total=100");
  EXPECT_EQ(ask("claimMana x=20 z=20"), "eNo mana orb there");
  EXPECT_EQ(ask("claimMana x=198 z=203"), "eThat orb is too far away");

  EXPECT_EQ(ask("claimMana x=52 z=48"), "k");
  EXPECT_EQ(ask("claimMana x=50 z=50"), "eThat orb is being claimed"); // no second missile, no second cost
  EXPECT_EQ(ClaimManaMissile_list.num, 1);
  step(40);
  EXPECT_EQ(ClaimManaMissile_list.num, 0);
  EXPECT_EQ(ask("claimMana x=50 z=50"), "eThat mana is already yours");
  EXPECT_EQ(ask("claimMana x=70 z=50"), "k");
  step(40);
  // 60 of 100: not yet.
  EXPECT_EQ(ask("portal"), "kopen=0 pos=60.00,0.00,70.00 owned=60 total=100");
  EXPECT_EQ(MapArrow_list.num, 2); // to the orbs not yet claimed
  EXPECT_EQ(ask("claimMana x=90 z=50"), "k");
  step(40);
  EXPECT_EQ(ask("portal"), "kopen=1 pos=60.00,0.00,70.00 owned=90 total=100");
  EXPECT_EQ(script_int("get_owned_mana()"), 90);
  EXPECT_TRUE(script_bool("is_portal_open()"));
  ASSERT_EQ(MapArrow_list.num, 2); // to the far orb and to the portal
  EXPECT_EQ(objs(MapArrow_list)[1]->query(1), site);
  // Once: a recalculation (entering the play mode) adds no second arrow or portal.
  need_mana_recalc = true;
  step(2);
  EXPECT_FALSE(need_mana_recalc);
  EXPECT_EQ(MapArrow_list.num, 2);
  EXPECT_EQ(WorldPortal_list.num, 1);
  std::string orbs = ask("orbs");
  EXPECT_EQ(orbs.rfind("kcount=4 orbs=", 0), 0u) << orbs;
  EXPECT_NE(orbs.find(",40,1;"), std::string::npos) << orbs;
  EXPECT_NE(orbs.find(",10,0"), std::string::npos) << orbs;
}

TEST_F(ManaTest, UsingThePortalNeedsReachUnlocksTheNeighboursAndWarps)
{
  make_universe("{ worlds = [{ index = 0, links = [1, 2] }, { index = 1, links = [0] }, { index = 2, links = [0] },"
                " { index = 3, links = [] }], resources = {}, enteredWorld = 0 }");
  EXPECT_EQ(ask("usePortal x=100 z=100"), "eThe portal is not open");
  spawn("spawn_portal_site(100, 100)");
  spawn("spawn_mana_orb(100, 130, 10)");
  move_player(100, 10, 110);
  EXPECT_EQ(ask("usePortal x=100 z=100"), "eThe portal is not open");
  EXPECT_EQ(ask("claimMana x=100 z=130"), "k");
  step(20);
  ASSERT_TRUE(script_bool("is_portal_open()"));

  move_player(100, 10, 160);
  EXPECT_EQ(ask("usePortal x=100 z=100"), "eToo far from the portal");
  move_player(100, 10, 110);
  EXPECT_EQ(ask("usePortal x=130 z=100"), "eAim at the portal");
  EXPECT_FALSE(script_bool("\"unlocked\" in universe.worlds[1]"));
  EXPECT_EQ(ask("usePortal x=101 z=99"), "k");
  EXPECT_EQ(cur_game_mode, warp_mode);
  EXPECT_TRUE(script_bool("universe.worlds[0].done"));
  EXPECT_TRUE(script_bool("universe.worlds[1].unlocked && universe.worlds[2].unlocked"));
  EXPECT_FALSE(script_bool("\"unlocked\" in universe.worlds[3]"));
}

TEST_F(ManaTest, PickupsArePickedUpWithinReachOnlyAndTakeTheirPillarAndArrow)
{
  make_universe("{ worlds = [{ index = 0, links = [] }], resources = { shard = 2 }, enteredWorld = 0 }");
  EXPECT_FALSE(run("spawn_spell_pickup(\"Dragon\", 1, 1);"));
  EXPECT_FALSE(run("spawn_spell_pickup(\"ManaBall\", 1, 1);"));
  EXPECT_FALSE(run("spawn_res_pickup(\"gold\", 1, 1);"));
  EXPECT_FALSE(run("spawn_mana_orb(1, 1, 0);"));
  EXPECT_EQ(live_count(), 1); // the player

  int shard = spawn("spawn_res_pickup(\"shard\", 30, 30)");
  int volcano = spawn("spawn_spell_pickup(\"VolcanoSpell\", 60, 30)");
  ASSERT_EQ(LightPillarEffect_list.num, 2);
  ASSERT_EQ(MapArrow_list.num, 2);
  EXPECT_EQ(objs(LightPillarEffect_list)[0]->query(1), shard);
  EXPECT_EQ(objs(MapArrow_list)[1]->query(1), volcano);

  move_player(30, 8, 30); // above it, out of reach
  step(2);
  EXPECT_NE(by_id(shard), nullptr);
  move_player(31, 3, 31);
  step(1);
  EXPECT_EQ(by_id(shard), nullptr);
  EXPECT_EQ(script_int("universe.resources.shard"), 3);
  step(1);
  EXPECT_EQ(LightPillarEffect_list.num, 1);
  EXPECT_EQ(MapArrow_list.num, 1);

  move_player(60, 2, 33);
  step(2);
  EXPECT_EQ(by_id(volcano), nullptr);
  EXPECT_EQ(SpellObject_list.num, 0);
  EXPECT_EQ(live_count(), 1);

  // Without a universe a resource has nowhere to go: it stays.
  worlds.reset();
  universe.reset();
  int star = spawn("spawn_res_pickup(\"star\", 61, 33)");
  step(3);
  EXPECT_NE(by_id(star), nullptr);
}

TEST_F(ManaTest, EveryClassOfThisPartSavesAndLoadsWithItsReferences)
{
  spawn("spawn_portal_site(20, 20)");
  int owned = spawn("spawn_mana_orb(60, 60, 30)");
  int flying_to = spawn("spawn_mana_orb(60, 90, 5)");
  spawn("spawn_mana_orb(200, 60, 5)");
  int res = spawn("spawn_res_pickup(\"firebloom\", 40, 40)");
  int spell = spawn("spawn_spell_pickup(\"WaterSourceSpell\", 45, 40)");
  ASSERT_EQ(ask("claimMana x=60 z=60"), "k");
  step(40); // 30 of 40: the portal opens, with its arrow
  ASSERT_EQ(ask("claimMana x=60 z=90"), "k");
  step(1); // the missile is on its way
  ASSERT_EQ(ClaimManaMissile_list.num, 1);
  int missile = objs(ClaimManaMissile_list)[0]->serialId;

  std::string orbs = ask("orbs"), portal = ask("portal"), pickups = ask("pickups");
  std::map<int, int> refs; // serial id -> the id it refers to
  for_each_ref([&](GameObject* o) { refs[o->serialId] = o->query(1); });
  MemoryOutputStream before = saved();
  gameobj_api.remove_all_gameobj();
  ASSERT_EQ(live_count(), 0);
  MemoryInputStream in(before.data(), before.size());
  gameobj_api.load_gameobjs(in);
  EXPECT_EQ(ask("orbs"), orbs);
  EXPECT_EQ(ask("portal"), portal);
  EXPECT_EQ(ask("pickups"), pickups);
  for_each_ref([&](GameObject* o) { EXPECT_EQ(o->query(1), refs[o->serialId]) << o->getClassName(); });
  EXPECT_EQ(refs.size(), 8u); // arrows to the portal, two pickups and two unclaimed orbs, two pillars, the missile
  MemoryOutputStream after = saved();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(memcmp(after.data(), before.data(), before.size()), 0);

  // The missile still knows its orb after the load, and claims it.
  local_player = gameobj_api.create_player(Vec4f{60, 10, 60, 1});
  step(40);
  EXPECT_EQ(by_id(missile), nullptr);
  EXPECT_NE(ask("orbs").find(std::to_string(flying_to) + ",60.00"), std::string::npos);
  EXPECT_EQ(ask("portal").substr(0, 7), "kopen=1");
  std::string now = ask("portal");
  EXPECT_NE(now.find("owned=35 total=40"), std::string::npos) << now;
  (void)owned, (void)res, (void)spell;
}

} // namespace

namespace {

// The world script of the program (build/bin/gen/main.nut) generating worlds
// with the module bound to its VM, as the program does.
class ManaPlacementTest : public ManaTest {
protected:
  WorldHooks saved_hooks;
  void SetUp() override
  {
    ManaTest::SetUp();
    saved_hooks = world_hooks;
    world_hooks = WorldHooks{};
    world_hooks.register_module_bindings = [](HSQUIRRELVM v) {
      gameobj_fn<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(v);
    };
    world_hooks.remove_all_gameobj = [] { gameobj_api.remove_all_gameobj(); };
    snprintf(app_path, sizeof(app_path), "%s/", RH_BIN_DIR);
    set_error_message(nullptr);
    ASSERT_TRUE(init_world_gen_vm("gen/main.nut")) << get_error_message();
  }
  void TearDown() override
  {
    worlds.reset();
    universe.reset();
    close_world_gen_vm();
    world_hooks = saved_hooks;
    ManaTest::TearDown();
  }
};

TEST_F(ManaPlacementTest, TheWorldScriptPlacesOrbsOverLandPickupsAndThePortalsSite)
{
  HSQUIRRELVM v = world_gen_vm.vm;
  std::string code = "universe <- { worlds = [{ index = 0, name = \"Ashdale\", seed = 4242, kind = \"islands\","
                     " resource = \"vortex\", links = [], visited = false }], resources = {}, enteredWorld = 0 };";
  ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), (SQInteger)code.size(), "test", SQTrue)));
  sq_pushroottable(v);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue)));
  sq_pop(v, 1);
  universe = sqbind::getSlot<SqObject>(sqbind::root_table(v), "universe");
  worlds = sqbind::getSlot<SqObject>(universe, "worlds");

  generate_world("game");
  ASSERT_FALSE(has_error_message()) << get_error_message();
  EXPECT_GE(ManaBall_list.num, 5);
  EXPECT_LE(ManaBall_list.num, 8);
  for (GameObject* orb : objs(ManaBall_list)) {
    float* p = pos_of(orb);
    int x = int(p[0]), z = int(p[2]);
    EXPECT_EQ(water[z & 255][x & 255].depth, 0) << x << "," << z; // over dry land
    EXPECT_GT(p[1], hmap[hmap_index(x, z)] + 5) << x << "," << z; // floating
  }
  EXPECT_EQ(WorldPortal_list.num, 1);
  EXPECT_EQ(ask("portal").substr(0, 7), "kopen=0");
  // The first world gives Water source and Volcano, and its own resource.
  EXPECT_EQ(WaterSourceSpell_list.num, 1);
  EXPECT_EQ(VolcanoSpell_list.num, 1);
  EXPECT_EQ(SpellObject_list.num, 2);
  ASSERT_EQ(GlobResObject_list.num, 1);
  EXPECT_NE(ask("pickups").find(",vortex,"), std::string::npos);
  EXPECT_EQ(LightPillarEffect_list.num, 3);

  // The main menu's world: orbs for the look, nothing to pick up, no portal.
  worlds.reset();
  universe.reset();
  ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(v, "universe <- null;", 17, "test", SQTrue)));
  sq_pushroottable(v);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQTrue)));
  sq_pop(v, 1);
  generate_world("main_menu");
  ASSERT_FALSE(has_error_message()) << get_error_message();
  EXPECT_GE(ManaBall_list.num, 5);
  EXPECT_EQ(WorldPortal_list.num + SpellObject_list.num + GlobResObject_list.num, 0);
}

} // namespace
