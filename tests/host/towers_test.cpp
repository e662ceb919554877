// Guard towers and the house spell: the placement and targeting rules on the
// host's grids, then the real gameobj.so casting through the developer
// socket, a tower shooting a caterpillar dead, harm and collapse, a house
// raised into the land, and towers and their shots through saving.
#include <gtest/gtest.h>
#include <math.h>
#include <squirrel.h>

#include <set>
#include <string>

#include "../../gameobj/src/towers_rules.h"
#include "devtools/dev_server.h"
#include "devtools/dev_test_client.h"
#include "world/hmGen.h" // circle_brush, which real_module.h uses
#include "real_module.h"

using namespace towers;

namespace {

// The text after "key=" in a reply, up to the next blank.
std::string field(const std::string& reply, const std::string& key)
{
  size_t at = reply.find(" " + key + "=");
  if (at == std::string::npos) return "<none>";
  at += key.size() + 2;
  return reply.substr(at, reply.find(' ', at) - at);
}

class Towers : public RealModule {
protected:
  DevTestClient* client = nullptr;

  void SetUp() override
  {
    RealModule::SetUp();
    if (HasFatalFailure()) return;
    memset(water, 0, sizeof(Water) * HMAP_CELLS);
    std::string sock = dir.path() + "/dev.sock";
    ASSERT_TRUE(dev_server.start(sock.c_str()));
    client = new DevTestClient(sock);
    ASSERT_TRUE(client->connected());
  }
  void TearDown() override
  {
    delete client;
    dev_server.stop();
    local_player = nullptr;
    memset(water, 0, sizeof(Water) * HMAP_CELLS);
    RealModule::TearDown();
  }
  std::string ask(const std::string& line)
  {
    client->sendText(line.c_str());
    dev_server.poll();
    return client->reply();
  }
  std::string towers(const char* key) { return field(ask("towers"), key); }
  void player_at(float x, float y, float z)
  {
    local_player = gameobj_api.create_player(Vec4f{x, y, z, 1});
    ASSERT_TRUE(local_player);
  }
  // The local player casts a spell of the bar at (x, z): "k" or "e" and the reason.
  std::string cast(const char* spell, float x, float z)
  {
    ask(std::string("give spell=") + spell);
    ask("setPlayer mana:d=100");
    step(20 * 4); // past any cooldown
    char line[160];
    snprintf(line, sizeof line, "cast spell=%s x:d=%g z:d=%g", spell, x, z);
    return ask(line);
  }
  int spawn(const char* kind, float x, float z)
  {
    char line[128];
    snprintf(line, sizeof line, "spawnMonster kind=%s x:d=%g z:d=%g", kind, x, z);
    std::string r = ask(line);
    EXPECT_EQ(r.substr(0, 1), "k") << r;
    return atoi(field(r, "serial").c_str());
  }
  GameObject* placed(const char* cls, float x, float z)
  {
    GameObject* o = make(cls);
    float* p = pos_of(o);
    p[0] = x, p[2] = z;
    return o;
  }
  // A standing tower round vertex (x, z), made directly (no spell, no checks).
  GameObject* tower_at(float x, float z)
  {
    GameObject* t = make("GuardTower");
    float* p = pos_of(t);
    p[0] = x, p[1] = hmap[hmap_index(int(x), int(z))], p[2] = z;
    step(int(BUILD_SECONDS * 20) + 1);
    EXPECT_EQ(t->query(TOWER_QUERY_BUILD), 100);
    return t;
  }
};

TEST_F(Towers, TowersStandOnDryFlatLandAwayFromHousesAndEachOtherUpToTheWorldsLimit)
{
  EXPECT_EQ(tower_site_refusal(100, 100, nullptr, 0), nullptr);
  float six[6][2] = {{10, 10}, {30, 10}, {50, 10}, {70, 10}, {90, 10}, {110, 10}};
  EXPECT_STREQ(tower_site_refusal(100, 100, six, 6), "This world has all the guard towers it can hold");
  float near[1][2] = {{106, 104}}, far[1][2] = {{108.5f, 100}}, wrapped[1][2] = {{2, 100}};
  EXPECT_STREQ(tower_site_refusal(100, 100, near, 1), "Too close to another guard tower");
  EXPECT_EQ(tower_site_refusal(100, 100, far, 1), nullptr);
  EXPECT_STREQ(tower_site_refusal(254, 100, wrapped, 1), "Too close to another guard tower"); // across the edge

  // The footprint's ring counts: a house cell, water or lava next to it refuse.
  surface[hmap_index(101, 100)].ground = GT_HOUSE;
  EXPECT_STREQ(tower_site_refusal(100, 100, nullptr, 0), "A house stands there");
  EXPECT_EQ(tower_site_refusal(100, 104, nullptr, 0), nullptr);
  surface[hmap_index(101, 100)].ground = GT_SOIL;
  water[98][99].depth = 0.4f;
  EXPECT_STREQ(tower_site_refusal(100, 100, nullptr, 0), "A tower needs dry land");
  water[98][99].depth = -0.4f;
  EXPECT_STREQ(tower_site_refusal(100, 100, nullptr, 0), "Lava flows there");
  water[98][99].depth = 0.03f; // a film of water is dry enough
  EXPECT_EQ(tower_site_refusal(100, 100, nullptr, 0), nullptr);
  hmap[hmap_index(102, 102)] = 2.5f;
  EXPECT_STREQ(tower_site_refusal(100, 100, nullptr, 0), "The land there is too steep for a tower");
  hmap[hmap_index(102, 102)] = 1.5f;
  hmap[hmap_index(103, 103)] = 9.0f; // outside the ring
  EXPECT_EQ(tower_site_refusal(100, 100, nullptr, 0), nullptr);

  // The spell: a tower round the nearest vertex on levelled land, rising,
  // and the same rules with their reasons.
  hmap[hmap_index(102, 102)] = 0;
  hmap[hmap_index(101, 101)] = 1.8f;
  player_at(100, 20, 90);
  GameObject* stone = placed("Stone1StaticObject", 100.5f, 99.2f);
  GameObject* beside = placed("Stone1StaticObject", 101.5f, 100.5f);
  EXPECT_EQ(cast("GuardTowerSpell", 100.4f, 99.7f), "k");
  EXPECT_TRUE(stone->destroyed) << "a stone in the tower's way is cleared";
  EXPECT_FALSE(beside->destroyed);
  EXPECT_EQ(towers("towers"), "100.0,0.20,100.0,150") << "one tower, on the mean of its nine vertices";
  for (int z = 99; z <= 101; ++z)
    for (int x = 99; x <= 101; ++x) {
      EXPECT_NEAR(hmap[hmap_index(x, z)], 0.2f, 1e-5f) << "levelled";
      EXPECT_NEAR(target_hmap[hmap_index(x, z)], 0.2f, 1e-5f);
    }
  GameObject* tower = reinterpret_cast<GameObject*>(GuardTower_list[0]);
  EXPECT_LT(tower->query(TOWER_QUERY_BUILD), 10);
  step(int(BUILD_SECONDS * 20));
  EXPECT_EQ(tower->query(TOWER_QUERY_BUILD), 100);
  EXPECT_EQ(cast("GuardTowerSpell", 105, 101), "eToo close to another guard tower");
  water[150][150].depth = 1;
  EXPECT_EQ(cast("GuardTowerSpell", 150, 150), "eA tower needs dry land");
  for (int i = 1; i < MAX_TOWERS; ++i) EXPECT_EQ(cast("GuardTowerSpell", 20.0f + 20 * i, 200), "k") << i;
  EXPECT_EQ(cast("GuardTowerSpell", 200, 40), "eThis world has all the guard towers it can hold");
  EXPECT_EQ(towers("count"), "6");
}

TEST_F(Towers, TargetingTakesTheNearestHostileMonsterInRangeAndSightNeverBirds)
{
  const float eye[3] = {100, TOWER_EYE, 100};
  TargetCandidate c[] = {
      {{104, 20, 100}, false}, // a bird, nearest of all
      {{100, 0.6f, 130}, true},
      {{120, 0.6f, 100}, true},
      {{150, 0.6f, 100}, true}, // out of range
  };
  EXPECT_EQ(pick_tower_target(eye, c, 4, TOWER_RANGE), 2);
  EXPECT_EQ(pick_tower_target(eye, c, 1, TOWER_RANGE), -1) << "never a bird";
  EXPECT_EQ(pick_tower_target(eye, c + 3, 1, TOWER_RANGE), -1) << "out of range";
  // A ridge between the tower and the nearer monster hides it.
  for (int z = 90; z <= 110; ++z) hmap[hmap_index(110, z)] = 12;
  EXPECT_EQ(pick_tower_target(eye, c, 4, TOWER_RANGE), 1);
  EXPECT_EQ(pick_tower_target(eye, c + 2, 1, TOWER_RANGE), -1) << "behind the hill";
  // A monster on the far slope of a hill, seen over the top, and one on the
  // land beyond the wrap of the world.
  for (int z = 90; z <= 110; ++z) hmap[hmap_index(110, z)] = 0;
  for (int x = 100; x <= 140; ++x) hmap[hmap_index(x, 60)] = 0.1f * (x - 100);
  TargetCandidate slope[] = {{{125, 2.5f + 0.6f, 60}, true}};
  const float high_eye[3] = {100, 12, 60};
  EXPECT_EQ(pick_tower_target(high_eye, slope, 1, TOWER_RANGE), 0);
  const float edge_eye[3] = {2, TOWER_EYE, 100};
  TargetCandidate across[] = {{{240, 0.6f, 100}, true}};
  EXPECT_EQ(pick_tower_target(edge_eye, across, 1, TOWER_RANGE), 0);
}

TEST_F(Towers, ATowerShootsACaterpillarDeadAndLeavesTheBirdsAlone)
{
  GameObject* tower = tower_at(100, 100);
  int crawler = spawn("caterpillar", 118, 100);
  spawn("bird", 104, 104);
  std::set<int> birds;
  for (BirdMonster* b : BirdMonster_list) birds.insert(reinterpret_cast<GameObject*>(b)->serialId);
  ASSERT_EQ(birds.size(), 5u);
  int steps = 0, aimed_at_crawler = 0;
  while (LandMonster_list.num > 0 && steps < 20 * 30) {
    step(1);
    ++steps;
    int target = tower->query(1);
    EXPECT_FALSE(birds.count(target)) << "a tower aimed at a bird";
    aimed_at_crawler += target == crawler;
    for (GuardTowerMissile* m : GuardTowerMissile_list)
      EXPECT_EQ(reinterpret_cast<GameObject*>(m)->query(1), tower->serialId);
  }
  EXPECT_EQ(LandMonster_list.num, 0) << "the caterpillar still lives after " << steps << " steps";
  EXPECT_GT(aimed_at_crawler, 0);
  // 40 health, 20 a shot every 2 s: the second shot kills it.
  EXPECT_EQ(tower->query(TOWER_QUERY_SHOTS), 2);
  EXPECT_EQ(tower->query(TOWER_QUERY_KILLS), 1);
  EXPECT_LT(steps, 20 * 4);
  EXPECT_EQ(field(ask("towers"), "shots") + field(ask("towers"), "kills"), "21");
  // Nothing left to shoot: no more shots.
  step(20 * 6);
  EXPECT_EQ(tower->query(TOWER_QUERY_SHOTS), 2);
  EXPECT_EQ(BirdMonster_list.num, 5);
}

TEST_F(Towers, FireHarmsTowersInReachAndAFallenTowerLeavesRubble)
{
  tower_at(100, 100);
  tower_at(130, 100);
  int stones = Stone1StaticObject_list.num;
  EXPECT_EQ(ask("towers harm:d=50 x:d=101.5 z:d=100 radius:d=1"), "k count=2 shots=0 kills=0 towers=100.0,0.00,100.0,100;130.0,0.00,100.0,150");
  // Far above the top or too far aside: untouched.
  EXPECT_EQ(field(ask("towers harm:d=50 x:d=100 z:d=100 y:d=30 radius:d=2"), "towers"), "100.0,0.00,100.0,100;130.0,0.00,100.0,150");
  EXPECT_EQ(ask("towers harm:d=-5 x:d=100 z:d=100").substr(0, 1), "e");
  EXPECT_EQ(field(ask("towers harm:d=100 x:d=100 z:d=100 y:d=6"), "count"), "1");
  EXPECT_EQ(Stone1StaticObject_list.num, stones + 3);
  // Lava under the other one burns it down in time.
  for (int z = 99; z <= 100; ++z)
    for (int x = 129; x <= 130; ++x) water[z][x].depth = -1;
  step(20 * 9);
  EXPECT_EQ(towers("count"), "1");
  step(20 * 2);
  EXPECT_EQ(towers("count"), "0");
}

TEST_F(Towers, TheHouseSpellRaisesAHouseOfHouseCellsIntoTheLand)
{
  player_at(60, 20, 40);
  const HouseShape& shape = house_shape_at(60, 60);
  int x0 = house_x0(60, shape), z0 = house_z0(60, shape);
  GameObject* tree = placed("TreeObject", float(x0 + shape.nx - 1) + 0.5f, float(z0) + 0.5f);
  GameObject* outside = placed("TreeObject", float(x0 + shape.nx) + 0.5f, float(z0) + 0.5f);
  const int tree_id = tree->serialId; // the tree itself is gone once cleared
  EXPECT_EQ(cast("HouseSpell", 60.5f, 60.5f), "k");
  step(20); // the missile lands
  EXPECT_EQ(HouseMissile_list.num, 0);
  EXPECT_EQ(by_id(tree_id), nullptr) << "a tree in the house's way is cleared";
  EXPECT_FALSE(outside->destroyed);
  float top = 0;
  int house_cells = 0;
  for (int j = 0; j < shape.nz; ++j)
    for (int i = 0; i < shape.nx; ++i) house_cells += surface[hmap_index(x0 + i, z0 + j)].ground == GT_HOUSE;
  for (int j = 0; j <= shape.nz; ++j)
    for (int i = 0; i <= shape.nx; ++i) top = fmaxf(top, target_hmap[hmap_index(x0 + i, z0 + j)]);
  EXPECT_EQ(house_cells, shape.nx * shape.nz);
  EXPECT_GT(top, 4.0f) << "walls and roof are the target the land grows into";
  EXPECT_EQ(target_hmap[hmap_index(x0, z0)], 0.0f) << "the ground round it stays";
  EXPECT_EQ(surface[hmap_index(x0 - 1, z0)].ground, GT_ROCK);
  // The same place again, a tower's place, water: refused with the reason.
  EXPECT_EQ(cast("HouseSpell", 60.5f, 60.5f), "eA house stands there already");
  tower_at(150, 150);
  EXPECT_EQ(cast("HouseSpell", 151, 152), "eA guard tower stands there");
  EXPECT_EQ(cast("GuardTowerSpell", 60, 60), "eA house stands there");
  water[200][200].depth = 0.5f;
  EXPECT_EQ(cast("HouseSpell", 200.5f, 200.5f), "eA house needs dry land");
  for (int z = 20; z < 40; ++z)
    for (int x = 20; x < 40; ++x) hmap[hmap_index(x, z)] = float(x - 20);
  EXPECT_EQ(cast("HouseSpell", 30, 30), "eThe land there is too steep for a house");
}

TEST_F(Towers, TowersAndTheirShotsKeepTheirStateAndReferencesThroughSaving)
{
  GameObject* tower = tower_at(100, 100);
  int crawler = spawn("caterpillar", 130, 100);
  int steps = 0;
  while (GuardTowerMissile_list.num == 0 && steps++ < 40) step(1);
  ASSERT_EQ(GuardTowerMissile_list.num, 1);
  auto* shot = reinterpret_cast<GameObject*>(GuardTowerMissile_list[0]);
  ASSERT_EQ(tower->query(1), crawler);
  ASSERT_EQ(shot->query(1), tower->serialId);
  ASSERT_EQ(shot->query(TOWER_QUERY_TARGET), crawler);
  const int tower_id = tower->serialId, shot_id = shot->serialId;
  ask("towers harm:d=30 x:d=100 z:d=100");

  MemoryOutputStream before = saved();
  gameobj_api.remove_all_gameobj();
  ASSERT_EQ(GuardTower_list.num, 0);
  MemoryInputStream in(before.data(), before.size());
  gameobj_api.load_gameobjs(in);
  ASSERT_TRUE(by_id(tower_id) && by_id(shot_id) && by_id(crawler));
  EXPECT_EQ(by_id(tower_id)->query(1), crawler);
  EXPECT_EQ(by_id(tower_id)->query(TOWER_QUERY_HEALTH), 120);
  EXPECT_EQ(by_id(tower_id)->query(TOWER_QUERY_SHOTS), 1);
  EXPECT_EQ(by_id(shot_id)->query(1), tower_id);
  EXPECT_EQ(by_id(shot_id)->query(TOWER_QUERY_TARGET), crawler);
  MemoryOutputStream after = saved();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(memcmp(after.data(), before.data(), before.size()), 0);

  // The loaded tower goes on: its shots finish the caterpillar off.
  step(20 * 6);
  EXPECT_EQ(LandMonster_list.num, 0);
  EXPECT_EQ(by_id(tower_id)->query(TOWER_QUERY_KILLS), 1);
}

} // namespace
