// The world's life on the real module: the fire rule on its own, then trees,
// stones, triggers and volcanoes placed through the world script's functions
// (a real world-script VM with the module's bindings) and stepped on the
// host's grids, and every living class through saving and loading.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <sys/stat.h>

#include <string>

#include "../../gameobj/src/living_rules.h"
#include "host/gameobj_api.h"
#include "world/hmGen.h" // circle_brush, which real_module.h uses
#include "real_module.h"
#include "script/sqbind.h"
#include "world/worldGenVM.h"
#include "world/world_hooks.h"

using namespace living;

namespace {

TEST(FireRule, SpreadFallsWithDistanceEndsAtTheRadiusAndIgnoresTheStepLength)
{
  EXPECT_GT(spread_chance(0.5f, 1.0f), spread_chance(2.0f, 1.0f));
  EXPECT_GT(spread_chance(2.0f, 1.0f), spread_chance(4.5f, 1.0f));
  EXPECT_EQ(spread_chance(FIRE.spread_radius, 1.0f), 0.0f);
  EXPECT_EQ(spread_chance(40.0f, 100.0f), 0.0f);
  EXPECT_EQ(spread_chance(NAN, 1.0f), 0.0f);
  EXPECT_EQ(spread_chance(1.0f, 0.0f), 0.0f);
  // Two half steps give the same chance as one whole step.
  float half = spread_chance(1.0f, 0.5f);
  EXPECT_NEAR(1.0f - (1.0f - half) * (1.0f - half), spread_chance(1.0f, 1.0f), 1e-6f);

  // The seeded draws: the same seed burns the same way, and the share of
  // fires that spread matches the chance.
  Rng a(fire_seed(77, 5)), b(fire_seed(77, 5)), c(fire_seed(78, 5));
  int same = 0, spread = 0;
  for (int i = 0; i < 20000; ++i) {
    bool x = fire_spreads(1.0f, 0.05f, a);
    same += x == fire_spreads(1.0f, 0.05f, b);
    spread += fire_spreads(1.0f, 0.05f, c);
  }
  EXPECT_EQ(same, 20000);
  EXPECT_NEAR(spread / 20000.0, spread_chance(1.0f, 0.05f), 0.004);
}

// The real module with a world script whose process_event keeps the events.
class Living : public RealModule {
protected:
  void SetUp() override
  {
    RealModule::SetUp();
    if (HasFatalFailure()) return;
    std::string gen = dir.path() + "/gen";
    mkdir(gen.c_str(), 0755);
    write(gen + "/main.nut", "events <- [];\nfunction process_event(e) { events.append(e); }\n");
    write(gen + "/palettes.csv", "name,water\ntest,0xFF0000FF\n");
    world_hooks.register_module_bindings = [](HSQUIRRELVM vm) {
      gameobj_fn<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(vm);
    };
    ASSERT_TRUE(init_world_gen_vm());
  }
  void TearDown() override
  {
    if (gameobj_api.remove_all_gameobj) gameobj_api.remove_all_gameobj();
    close_world_gen_vm();
    world_hooks = WorldHooks{};
    RealModule::TearDown();
  }
  static void write(const std::string& path, const char* text)
  {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fputs(text, f);
    fclose(f);
  }
  // Runs `return <expr>;` in the world script; its integer value, or the error text in `error`.
  int eval(const std::string& expr, std::string* error = nullptr)
  {
    HSQUIRRELVM v = world_gen_vm.vm;
    SQInteger top = sq_gettop(v);
    std::string code = "return (" + expr + ");";
    SQInteger result = -1;
    bool ok = SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), (SQInteger)code.size(), "living_test", SQTrue));
    if (ok) {
      sq_pushroottable(v);
      ok = SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQFalse));
      if (ok && sq_gettype(v, -1) == OT_BOOL) {
        SQBool b;
        sq_getbool(v, -1, &b);
        result = b;
      } else if (ok) {
        sq_getinteger(v, -1, &result);
      }
    }
    if (!ok) {
      const SQChar* text = "?";
      sq_getlasterror(v);
      sq_getstring(v, -1, &text);
      if (error) *error = text;
      else ADD_FAILURE() << expr << ": " << text;
    }
    sq_settop(v, top);
    return (int)result;
  }
  int state(int id) { return by_id(id) ? by_id(id)->query(QUERY_STATE) : -1; }
  int timer_ms(int id) { return by_id(id)->query(QUERY_TIMER_MS); }
  void set_fluid(int x, int z, float depth) { water[z][x].depth = depth; }
};

TEST_F(Living, FireSpreadsWithinItsRadiusBurnsOutAndTheStumpGrowsAgainOnTime)
{
  int lone = eval("spawn_tree(100, 100, 0)");
  int centre = eval("spawn_tree(40, 40, 1)");
  int ring[6];
  for (int i = 0; i < 6; ++i)
    ring[i] = eval("spawn_tree(" + std::to_string(40 + cosf(i * 1.047f)) + ", " + std::to_string(40 + sinf(i * 1.047f)) + ", 2)");
  int far = eval("spawn_tree(40, 52, 0)"); // beyond the spread radius of every tree of the clump

  eval("ignite(100, 100, 0.5) == null");
  eval("ignite(40, 40, 0.2) == null");
  EXPECT_EQ(state(lone), TREE_BURNING);
  EXPECT_EQ(state(centre), TREE_BURNING);
  EXPECT_EQ(BurnEffect_list.num, 2);

  int burn_steps = int(lroundf(FIRE.burn_seconds * 20));
  step(burn_steps - 1);
  EXPECT_EQ(state(lone), TREE_BURNING);
  step(1);
  EXPECT_EQ(state(lone), TREE_STUMP);
  EXPECT_EQ(state(centre), TREE_STUMP);
  int caught = 0;
  for (int id : ring) caught += state(id) != TREE_ALIVE;
  EXPECT_GE(caught, 4) << "trees a cell away from a burning one almost always catch fire";
  EXPECT_EQ(state(far), TREE_ALIVE);

  int regrow_steps = int(lroundf(FIRE.regrow_seconds * 20));
  step(regrow_steps - 1);
  EXPECT_EQ(state(lone), TREE_STUMP);
  EXPECT_EQ(timer_ms(lone), 50);
  step(1);
  EXPECT_EQ(state(lone), TREE_ALIVE);
  // Fires of burnt-out trees are gone with them.
  step(int(FIRE.burn_seconds * 20) + 1);
  EXPECT_EQ(BurnEffect_list.num, 0);
}

TEST_F(Living, LavaSetsATreeAlightAndWaterPutsItOut)
{
  int early = eval("spawn_tree(150, 150, 0)");
  int late = eval("spawn_tree(170, 150, 1)");
  step(2);
  EXPECT_EQ(state(early), TREE_ALIVE);
  set_fluid(150, 150, -1.0f);
  set_fluid(170, 150, -1.0f);
  step(1);
  EXPECT_EQ(state(early), TREE_BURNING);
  EXPECT_EQ(state(late), TREE_BURNING);
  set_fluid(150, 150, 0.5f); // put out at once: it keeps standing
  step(1);
  EXPECT_EQ(state(early), TREE_ALIVE);
  step(int(FIRE.burn_seconds * 0.6f * 20));
  set_fluid(170, 150, 0.5f); // put out late: a stump, which waits while flooded
  step(1);
  EXPECT_EQ(state(late), TREE_STUMP);
  int waiting = timer_ms(late);
  step(20);
  EXPECT_EQ(timer_ms(late), waiting);
  EXPECT_EQ(BurnEffect_list.num, 0);
}

TEST_F(Living, FireReachesHousesWhichBurnForAWhile)
{
  HeightmapData::placeHouse(200, 60, -2, hmap, false); // a small house: cells 198..201 x 58..61
  eval("ignite(190, 60, 3) == null");
  EXPECT_EQ(BurnEffect_list.num, 0); // no house within reach
  eval("ignite(196, 60, 3) == null");
  ASSERT_EQ(BurnEffect_list.num, 1);
  eval("ignite(197, 61, 3) == null"); // the same house burns once
  EXPECT_EQ(BurnEffect_list.num, 1);
  step(30 * 20 - 1);
  EXPECT_EQ(BurnEffect_list.num, 1);
  step(1);
  EXPECT_EQ(BurnEffect_list.num, 0);
}

TEST_F(Living, StonesFollowTheLandToppleWhenItHeavesAndSinkInLava)
{
  int stone = eval("spawn_stone(\"menhir\", 60, 60)");
  int cup = eval("spawn_stone(\"cup\", 90, 90)");
  auto raise = [](int cx, int cz, float by) {
    for (int z = cz - 2; z <= cz + 2; ++z)
      for (int x = cx - 2; x <= cx + 2; ++x) {
        hmap[hmap_index(x, z)] += by;
        target_hmap[hmap_index(x, z)] += by;
      }
  };
  step(1);
  raise(60, 60, 1.0f);
  step(1);
  EXPECT_EQ(by_id(stone)->query(QUERY_HEIGHT_MM), 1000);
  EXPECT_EQ(state(stone), 0);
  raise(60, 60, 1.0f); // small changes one after another: it follows each
  step(1);
  EXPECT_EQ(by_id(stone)->query(QUERY_HEIGHT_MM), 2000);
  EXPECT_EQ(state(stone), 0);
  raise(60, 60, 3.0f);
  step(1);
  EXPECT_EQ(state(stone), 1);
  EXPECT_LT(by_id(stone)->query(QUERY_HEIGHT_MM), 5000); // bedded in
  EXPECT_GT(by_id(stone)->query(QUERY_HEIGHT_MM), 4000);

  set_fluid(90, 90, -2.0f);
  step(20);
  int sunk = by_id(cup)->query(QUERY_HEIGHT_MM);
  EXPECT_LT(sunk, -200);
  step(20 * 20);
  EXPECT_EQ(by_id(cup), nullptr); // swallowed
  EXPECT_EQ(HumanoidStaticObject_list.num, 1);
  EXPECT_EQ(StoneCup1Object_list.num, 0);
}

TEST_F(Living, TriggersFireOnceAtTheRightMomentWithTheirEvent)
{
  local_player = fn<Player* (*)(const Vec4f&)>(gameobj_funcs.create_player)(Vec4f{200, 10, 200, 1});
  GameObject* player = reinterpret_cast<GameObject*>(local_player);
  ASSERT_NE(player, nullptr);
  int sensor = eval("add_sensor(80, 80, 5, \"gate\")");
  int timer = eval("add_timer(2.0, \"dawn\")");
  step(39);
  EXPECT_EQ(eval("events.len()"), 0);
  EXPECT_EQ(timer_ms(timer), 50);
  step(1);
  ASSERT_EQ(eval("events.len()"), 1);
  EXPECT_EQ(eval("events[0].name == \"dawn\""), 1);
  EXPECT_EQ(eval("events[0].id"), timer);
  EXPECT_EQ(by_id(timer), nullptr);

  pos_of(player)[0] = 85.5f; // outside the radius
  pos_of(player)[2] = 80.0f;
  step(5);
  EXPECT_EQ(eval("events.len()"), 1);
  pos_of(player)[0] = 84.0f;
  step(1);
  ASSERT_EQ(eval("events.len()"), 2);
  EXPECT_EQ(eval("events[1].name == \"gate\" && events[1].x == 80 && events[1].z == 80"), 1);
  EXPECT_EQ(eval("events[1].id"), sensor);
  step(20);
  EXPECT_EQ(eval("events.len()"), 2);

  // Bad arguments are refused with the function's name, and nothing is made.
  std::string error;
  eval("add_timer(1.0, \"\")", &error);
  EXPECT_NE(error.find("add_timer: the event name"), std::string::npos) << error;
  eval("spawn_tree(1, 1, 7)", &error);
  EXPECT_NE(error.find("spawn_tree: kind 7"), std::string::npos) << error;
  eval("spawn_stone(\"dragon\", 1, 1)", &error);
  EXPECT_NE(error.find("unknown kind 'dragon'"), std::string::npos) << error;
  EXPECT_EQ(TimeTrigger_list.num + TreeObject_list.num + HumanoidStaticObject_list.num, 0);
}

TEST_F(Living, NaturalVolcanoesEruptLavaNowAndThen)
{
  int volcano = eval("spawn_volcano(30, 200, 10)");
  int quiet = timer_ms(volcano);
  EXPECT_GE(quiet, 3000);
  EXPECT_LE(quiet, 10000);
  step(quiet / 50 - 1);
  EXPECT_EQ(state(volcano), 0);
  EXPECT_EQ(water[200][30].depth, 0.0f);
  step(1);
  EXPECT_EQ(state(volcano), 1);
  step(99);
  EXPECT_EQ(state(volcano), 1);
  step(1);
  EXPECT_EQ(state(volcano), 0);
  EXPECT_LT(water[200][30].depth, -0.5f); // lava poured at the crater
  EXPECT_GE(timer_ms(volcano), 7500);
  EXPECT_LE(timer_ms(volcano), 12500);
}

TEST_F(Living, EveryLivingClassKeepsItsStateAndTimersThroughSaving)
{
  local_player = fn<Player* (*)(const Vec4f&)>(gameobj_funcs.create_player)(Vec4f{0, 10, 0, 1});
  int burning = eval("spawn_tree(10, 10, 1)");
  int stump = eval("spawn_tree(30, 10, 2)");
  int stone = eval("spawn_stone(\"runestone\", 50, 10)");
  int villager = eval("spawn_stone(\"villager\", 60, 10)");
  int sensor = eval("add_sensor(120, 120, 3, \"near\")");
  int timer = eval("add_timer(30, \"later\")");
  int volcano = eval("spawn_volcano(200, 30, 60)");
  eval("ignite(30, 10, 0.5) == null");
  step(int(FIRE.burn_seconds * 20)); // burnt to a stump
  eval("ignite(10, 10, 0.5) == null");
  step(37);
  set_fluid(50, 10, -1.0f); // the runestone starts to sink
  step(3);
  set_fluid(50, 10, 0.0f);

  const int ids[] = {burning, stump, stone, villager, sensor, timer, volcano};
  int before[7][4];
  auto read = [&](int (&out)[7][4]) {
    for (int i = 0; i < 7; ++i) {
      GameObject* obj = by_id(ids[i]);
      ASSERT_NE(obj, nullptr) << i;
      for (int q = 2; q <= 5; ++q) out[i][q - 2] = obj->query(q);
    }
  };
  read(before);
  EXPECT_EQ(before[0][0], TREE_BURNING);
  EXPECT_EQ(before[1][0], TREE_STUMP);
  MemoryOutputStream first = saved();

  gameobj_api.remove_all_gameobj();
  MemoryInputStream in(first.data(), first.size());
  gameobj_api.load_gameobjs(in);
  int after[7][4];
  read(after);
  for (int i = 0; i < 7; ++i)
    for (int q = 0; q < 4; ++q) EXPECT_EQ(after[i][q], before[i][q]) << "object " << i << " query " << q + 2;
  ASSERT_EQ(BurnEffect_list.num, 1);
  EXPECT_EQ(reinterpret_cast<GameObject*>(BurnEffect_list[0])->query(1), burning);
  MemoryOutputStream again = saved();
  ASSERT_EQ(again.size(), first.size());
  EXPECT_EQ(memcmp(again.data(), first.data(), first.size()), 0);

  // The loaded timer fires when the saved one would have.
  int left = timer_ms(timer) / 50;
  step(left - 1);
  EXPECT_NE(by_id(timer), nullptr);
  step(1);
  EXPECT_EQ(by_id(timer), nullptr);
  EXPECT_EQ(eval("events.len()"), 1);

  // A tree from a block written before trees had fields loads as a plain live tree.
  gameobj_api.remove_all_gameobj();
  MemoryOutputStream old = version2_block_of_one("TreeObject", 3, {5.0f, 0.0f, 6.0f, 1.0f});
  MemoryInputStream old_in(old.data(), old.size());
  gameobj_api.load_gameobjs(old_in);
  EXPECT_EQ(state(3), TREE_ALIVE);
  EXPECT_EQ(by_id(3)->query(QUERY_KIND), TREE_BROADLEAF);
}

} // namespace
