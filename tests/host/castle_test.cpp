// The castle and its gatherers in the real gameobj.so on the host's world
// grids: where a castle may stand (the rule on its own, then through the
// spell bar, where a refusal costs nothing), the pieces it is built from, the
// levelled land and the respawn point, gatherers bringing mana home, wyverns
// attacking it, and saving the castle and its gatherers with their
// references. Orbs are placed with the world script's functions in a test VM;
// the player acts through the module's developer commands over a socket.
#include <gtest/gtest.h>
#include <math.h>
#include <squirrel.h>

#include <map>
#include <tuple>
#include <vector>
#include <set>
#include <string>

#include "../../gameobj/src/castle_rules.h"
#include "devtools/dev_server.h"
#include "devtools/dev_test_client.h"
#include "script/sqbind.h"
#include "world/hmGen.h" // circle_brush, which real_module.h uses
#include "real_module.h"

namespace {

// The pieces standing in a cell (dx, dz) at base height y.
std::vector<CastlePiece> pieces_at(const std::vector<CastlePiece>& all, int dx, int dz, float y)
{
  std::vector<CastlePiece> out;
  for (const CastlePiece& p : all)
    if (p.dx == dx && p.dz == dz && fabsf(p.y - y) < 1e-3f) out.push_back(p);
  return out;
}

bool is_wall(int kind) { return kind == CP_WALL || kind == CP_WALL_SLIT || kind == CP_WALL_WINDOW || kind == CP_GATE; }

TEST(CastleRules, TheLayoutHasCornersAWallOnEverySideOneGateAndMerlonsOnEveryWallTop)
{
  for (int size : {6, 8, 11}) {
    std::vector<CastlePiece> all(CASTLE_MAX_PIECES);
    all.resize(castle_layout(size, all.data(), CASTLE_MAX_PIECES));
    const int last = size - 1;
    int gates = 0;
    for (const CastlePiece& p : all) {
      EXPECT_TRUE(p.turns >= 0 && p.turns < 4);
      EXPECT_TRUE(p.dx >= 0 && p.dx < size && p.dz >= 0 && p.dz < size) << size;
      gates += p.kind == CP_GATE;
    }
    EXPECT_EQ(gates, 1) << size;
    // Each corner is a corner piece turned so its outside faces both sides.
    const int corner[4][3] = {{0, 0, 0}, {0, last, 1}, {last, last, 2}, {last, 0, 3}};
    for (const auto& c : corner) {
      auto ground = pieces_at(all, c[0], c[1], 0);
      ASSERT_EQ(ground.size(), 1u);
      EXPECT_EQ(ground[0].kind, CP_CORNER);
      EXPECT_EQ(ground[0].turns, c[2]);
      auto top = pieces_at(all, c[0], c[1], CASTLE_WALL_HEIGHT);
      ASSERT_EQ(top.size(), 1u);
      EXPECT_EQ(top[0].kind, CP_MERLON_CORNER);
      EXPECT_EQ(top[0].turns, c[2]);
    }
    // Every other cell of the ring is one wall facing out, with merlons on
    // top along the same outside (the gate's above its gatehouse front).
    for (int side = 0; side < 4; ++side)
      for (int i = 1; i < last; ++i) {
        int dx = side == 0 || side == 2 ? i : side == 1 ? 0 : last;
        int dz = side == 1 || side == 3 ? i : side == 0 ? 0 : last;
        auto ground = pieces_at(all, dx, dz, 0);
        ASSERT_EQ(ground.size(), 1u) << dx << "," << dz;
        EXPECT_TRUE(is_wall(ground[0].kind));
        EXPECT_EQ(ground[0].turns, side);
        int merlons = 0;
        for (const CastlePiece& p : all)
          if (p.dx == dx && p.dz == dz && p.kind == CP_MERLONS && p.y >= CASTLE_WALL_HEIGHT) {
            ++merlons;
            EXPECT_EQ(p.turns, side);
          }
        EXPECT_EQ(merlons, 1) << dx << "," << dz;
      }
    // No two pieces fill the same place, and nothing stands outside the
    // ring but the yard's corners and the keep.
    std::set<std::tuple<int, int, int, int>> places;
    for (const CastlePiece& p : all) {
      EXPECT_TRUE(places.insert({p.dx, p.dz, int(p.y * 10), p.kind == CP_WALK}).second) << p.dx << "," << p.dz;
      bool ring = p.dx == 0 || p.dz == 0 || p.dx == last || p.dz == last;
      if (!ring) {
        EXPECT_TRUE(p.kind == CP_INNER_CORNER || p.kind == CP_TOWER || p.kind == CP_ROOF) << p.kind;
      }
    }
  }
}

TEST(CastleRules, GatherersFollowTheClaimedOrbs)
{
  const int wanted[][2] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {6, 3}, {7, 4}, {40, 4}, {-1, 0}};
  for (const auto& w : wanted) EXPECT_EQ(gatherers_wanted(w[0]), w[1]) << w[0];
}

class CastleTest : public RealModule {
protected:
  HSQUIRRELVM vm = nullptr;
  DevServer server;
  std::string socket_path;
  DevTestClient* client = nullptr;

  void SetUp() override
  {
    RealModule::SetUp();
    memset(water, 0, sizeof(Water) * HMAP_CELLS);
    vm = sq_open(1024);
    fn<void (*)(HSQUIRRELVM)>(gameobj_funcs.bind_gameobj)(vm);
    socket_path = dir.path() + "/dev.sock";
    ASSERT_TRUE(server.start(socket_path.c_str()));
    client = new DevTestClient(socket_path);
    local_player = gameobj_api.create_player(Vec4f{100, 10, 100, 1});
    ASSERT_NE(local_player, nullptr);
  }
  void TearDown() override
  {
    delete client;
    server.stop();
    local_player = nullptr;
    RealModule::TearDown();
    sq_close(vm);
    memset(water, 0, sizeof(Water) * HMAP_CELLS);
  }
  std::string ask(const std::string& line)
  {
    client->sendText(line.c_str());
    server.poll();
    return client->reply();
  }
  std::map<std::string, std::string> castle() { return reply_pairs(ask("castle")); }
  int orb(float x, float z, int amount)
  {
    std::string code = "last_id <- spawn_mana_orb(" + std::to_string(x) + ", " + std::to_string(z) + ", " +
                       std::to_string(amount) + ");";
    SQInteger top = sq_gettop(vm);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(vm, code.c_str(), (SQInteger)code.size(), "test", SQTrue)));
    sq_pushroottable(vm);
    EXPECT_TRUE(SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQFalse)));
    sq_settop(vm, top);
    return sqbind::getSlot<int>(sqbind::root_table(vm), "last_id");
  }
  float player_mana() { return std::stof(reply_pairs(ask("player"))["mana"]); }
  // Casts the castle spell at (x, z) and waits until it stands.
  void build_castle(float x, float z)
  {
    char cast[128];
    snprintf(cast, sizeof cast, "cast spell=CastleSpell x:d=%g z:d=%g", x, z);
    ASSERT_EQ(ask("give spell=CastleSpell"), "k");
    ASSERT_EQ(ask("setPlayer mana:d=100"), "k");
    ASSERT_EQ(ask(cast), "k");
    step(20);
    ASSERT_EQ(castle()["exists"], "1");
  }
  // Claims the orb at (x, z) from the player and waits for its missile.
  void claim(float x, float z)
  {
    char line[128];
    snprintf(line, sizeof line, "claimMana x:d=%g z:d=%g", x, z);
    ASSERT_EQ(ask(line), "k");
    step(60);
  }
};

TEST_F(CastleTest, ACastleStandsOnlyOnDryFlatLandWithoutHousesAndOnlyOnce)
{
  // The rule itself, on a flat dry footprint at cells (96..104, 96..104).
  const int x0 = castle_origin(100), z0 = castle_origin(100);
  ASSERT_EQ(x0, 96);
  EXPECT_EQ(castle_site_problem(x0, z0, false), nullptr);
  EXPECT_STREQ(castle_site_problem(x0, z0, true), "You already have a castle");
  // Steepness: the height range over the footprint's corners, up to the limit.
  hmap[hmap_index(x0 + CASTLE_SIZE, z0 + CASTLE_SIZE)] = CASTLE_MAX_STEEP;
  EXPECT_EQ(castle_site_problem(x0, z0, false), nullptr);
  hmap[hmap_index(x0 + CASTLE_SIZE, z0 + CASTLE_SIZE)] = CASTLE_MAX_STEEP + 0.2f;
  EXPECT_STREQ(castle_site_problem(x0, z0, false), "The land is too steep here");
  hmap[hmap_index(x0 + CASTLE_SIZE + 1, z0)] = 50; // just outside: no matter
  hmap[hmap_index(x0 + CASTLE_SIZE, z0 + CASTLE_SIZE)] = 0;
  EXPECT_EQ(castle_site_problem(x0, z0, false), nullptr);
  // Water and lava at any corner; a damp trace is dry land.
  for (float depth : {0.5f, -0.5f, 0.01f}) {
    waterCells()[hmap_index(x0 + 3, z0 + CASTLE_SIZE)].depth = depth;
    if (depth == 0.01f) EXPECT_EQ(castle_site_problem(x0, z0, false), nullptr);
    else EXPECT_STREQ(castle_site_problem(x0, z0, false), "Not on water or lava") << depth;
  }
  waterCells()[hmap_index(x0 + 3, z0 + CASTLE_SIZE)].depth = 0;
  // Across the world's edge: a castle at x 2 covers cells 254..255 too.
  waterCells()[hmap_index(254, 100)].depth = 1;
  EXPECT_STREQ(castle_site_problem(castle_origin(2), z0, false), "Not on water or lava");
  waterCells()[hmap_index(254, 100)].depth = 0;
  // A house tile inside the footprint.
  surface[hmap_index(x0 + 7, z0 + 2)].ground = GT_HOUSE;
  EXPECT_STREQ(castle_site_problem(x0, z0, false), "Not on a house");
  surface[hmap_index(x0 + 7, z0 + 2)].ground = GT_ROCK;

  // Through the spell bar: a refusal costs no mana and starts no cooldown.
  ASSERT_EQ(ask("give spell=CastleSpell"), "k");
  ASSERT_EQ(ask("setPlayer mana:d=100"), "k");
  waterCells()[hmap_index(100, 100)].depth = 2;
  EXPECT_EQ(ask("castleSite x:d=100 z:d=100"), "eNot on water or lava");
  EXPECT_EQ(ask("cast spell=CastleSpell x:d=100 z:d=100"), "eNot on water or lava");
  EXPECT_FLOAT_EQ(player_mana(), 100);
  waterCells()[hmap_index(100, 100)].depth = 0;
  // Uneven land within the limit is levelled under the castle.
  for (int dz = 0; dz <= CASTLE_SIZE; ++dz)
    for (int dx = 0; dx <= CASTLE_SIZE; ++dx)
      hmap[hmap_index(x0 + dx, z0 + dz)] = target_hmap[hmap_index(x0 + dx, z0 + dz)] = 0.3f * float(dx);
  EXPECT_EQ(ask("castleSite x:d=100 z:d=100"), "k");
  EXPECT_EQ(ask("cast spell=CastleSpell x:d=100 z:d=100"), "k");
  EXPECT_FLOAT_EQ(player_mana(), 20);
  // The missile on its way already counts: no second castle.
  EXPECT_EQ(ask("castleSite x:d=180 z:d=180"), "eYou already have a castle");
  EXPECT_EQ(castle()["exists"], "0");
  step(20);
  auto c = castle();
  EXPECT_EQ(c["exists"], "1");
  EXPECT_EQ(c["pos"], "100.00,1.20,100.00"); // the mean of 0 .. 2.4
  for (int dz = 0; dz <= CASTLE_SIZE; ++dz)
    for (int dx = 0; dx <= CASTLE_SIZE; ++dx) ASSERT_FLOAT_EQ(target_hmap[hmap_index(x0 + dx, z0 + dz)], 1.2f);
  // The apron leans toward the level: a third of the way two cells out.
  EXPECT_NEAR(target_hmap[hmap_index(x0 - 2, z0 + 4)], 0 + (1.2f - 0) / 3, 1e-4);
  EXPECT_EQ(target_hmap[hmap_index(x0 - 3, z0 + 4)], 0);
  EXPECT_EQ(ask("castleSite x:d=180 z:d=180"), "eYou already have a castle");

  // The castle is the respawn point: the host's question and a death.
  Vec4f at{0, 0, 0, 0};
  ASSERT_NE(gameobj_api.single_castle, nullptr);
  GameObject* the_castle = static_cast<GameObject*>(gameobj_api.single_castle(&at));
  ASSERT_NE(the_castle, nullptr);
  EXPECT_EQ(the_castle->query(1), reinterpret_cast<GameObject*>(local_player)->serialId); // cast by the player
  EXPECT_FLOAT_EQ(at.x, 100);
  EXPECT_FLOAT_EQ(at.y, 1.2f + CASTLE_KEEP_TOP); // over the keep's roof
  EXPECT_FLOAT_EQ(at.z, 100);
  float* p = pos_of(reinterpret_cast<GameObject*>(local_player));
  p[0] = 30, p[2] = 200;
  ASSERT_EQ(ask("setPlayer health:d=0"), "k");
  EXPECT_FLOAT_EQ(p[0], 100);
  EXPECT_FLOAT_EQ(p[2], 100);
  EXPECT_GE(p[1], 1.2f + CASTLE_KEEP_TOP + 6);
}

// Buildings keep off each other's ground: a tower where the castle would
// stand, then towers and houses on or right beside the castle's walls.
TEST_F(CastleTest, TowersAndHousesKeepOffTheCastlesGroundAndTheCastleOffTowers)
{
  for (const char* spell : {"GuardTowerSpell", "HouseSpell", "CastleSpell"}) ASSERT_EQ(ask(std::string("give spell=") + spell), "k");
  ASSERT_EQ(ask("setPlayer mana:d=100"), "k");
  ASSERT_EQ(ask("cast spell=GuardTowerSpell x:d=60 z:d=60"), "k");
  EXPECT_EQ(ask("castleSite x:d=64 z:d=64"), "eA guard tower stands there");
  ASSERT_EQ(ask("setPlayer mana:d=100"), "k");
  EXPECT_EQ(ask("cast spell=CastleSpell x:d=64 z:d=64"), "eA guard tower stands there");
  build_castle(100, 100); // cells 96..103
  step(80);               // the cooldowns
  ASSERT_EQ(ask("setPlayer mana:d=100"), "k");
  EXPECT_EQ(ask("cast spell=GuardTowerSpell x:d=105 z:d=100"), "eToo close to the castle");
  EXPECT_EQ(ask("cast spell=HouseSpell x:d=100 z:d=106"), "eToo close to the castle");
  EXPECT_EQ(ask("cast spell=GuardTowerSpell x:d=110 z:d=100"), "k"); // cells 109..110, clear of the ring
}

TEST_F(CastleTest, GatherersBringManaHomeFromClaimedOrbs)
{
  build_castle(100, 100);
  // No orb claimed: no gatherer.
  step(20 * 4);
  EXPECT_EQ(castle()["gatherers"], "0");
  orb(112, 100, 20);
  orb(100, 125, 20);
  orb(85, 95, 20);
  claim(112, 100);
  EXPECT_EQ(castle()["gatherers"], "1");
  EXPECT_EQ(ManaGatherer_list.num, 1);
  // The first trip: out to the orb, three seconds there, home again; the
  // mana goes into the player's pool.
  ASSERT_EQ(ask("setPlayer mana:d=10"), "k");
  int steps = 0;
  float before = player_mana();
  while (castle()["delivered"] == "0" && steps < 20 * 30) {
    before = player_mana();
    step(1);
    ++steps;
  }
  ASSERT_EQ(castle()["delivered"], "5") << steps;
  EXPECT_NEAR(player_mana() - before, 5, 0.1f);

  // Three claimed orbs want two gatherers, and they keep coming home.
  claim(100, 125);
  claim(85, 95);
  step(20 * 10);
  EXPECT_EQ(castle()["gatherers"], "2");
  step(20 * 40);
  EXPECT_EQ(castle()["gatherers"], "2");
  EXPECT_GE(std::stoi(castle()["delivered"]), 30);
  // Each gatherer belongs to the castle.
  int castle_id = static_cast<GameObject*>(gameobj_api.single_castle(nullptr))->serialId;
  for (ManaGatherer* g : ManaGatherer_list) EXPECT_EQ(reinterpret_cast<GameObject*>(g)->query(1), castle_id);

  // A killed gatherer falls and fades as its corpse; the next comes only
  // after a while.
  float gx = 0, gy = 0, gz = 0;
  std::string g = ask("gatherers");
  ASSERT_EQ(sscanf(g.c_str(), "k count=2 at=%*d,%f,%f,%f", &gx, &gy, &gz), 3) << g;
  char hurt[160];
  snprintf(hurt, sizeof hurt, "hurtBuildings x:d=%g y:d=%g z:d=%g radius:d=0.1 amount:d=100", gx, gy, gz);
  EXPECT_NE(ask(hurt).find("hit="), std::string::npos);
  EXPECT_EQ(castle()["gatherers"], "1");
  EXPECT_NE(ask("gatherers").find(",dead"), std::string::npos);
  step(20 * 7);
  EXPECT_EQ(ManaGatherer_list.num, 1); // the corpse is gone
  step(20 * 20);
  EXPECT_EQ(castle()["gatherers"], "1");
  step(20 * 12);
  EXPECT_EQ(castle()["gatherers"], "2");
  // The castle falls at no health, and its gatherers with it.
  EXPECT_EQ(ask("hurtBuildings x:d=100 y:d=0 z:d=100 radius:d=1 amount:d=1000").substr(0, 6), "k hit=");
  EXPECT_EQ(castle()["exists"], "0");
  EXPECT_EQ(gameobj_api.single_castle(nullptr), nullptr);
  step(1);
  EXPECT_EQ(ask("gatherers").find("to_orb"), std::string::npos);
  step(20 * 7);
  EXPECT_EQ(ManaGatherer_list.num, 0);
  EXPECT_EQ(ask("castleSite x:d=100 z:d=100"), "k"); // room for a new one
}

TEST_F(CastleTest, AWyvernNearTheCastleAttacksIt)
{
  build_castle(100, 100);
  float* p = pos_of(reinterpret_cast<GameObject*>(local_player));
  p[0] = 228, p[2] = 228; // far beyond the wyvern's sight
  ASSERT_EQ(ask("spawnMonster kind=wyvern x:d=110 z:d=100").substr(0, 1), "k");
  int steps = 0;
  while (castle()["health"] == "500" && steps < 20 * 40) {
    step(1);
    ++steps;
  }
  EXPECT_LT(std::stoi(castle()["health"]), 500) << "after " << steps << " steps";
  // It heals slowly once left alone.
  ASSERT_EQ(ask("monsters remove=1").substr(0, 1), "k");
  int hurt = std::stoi(castle()["health"]);
  step(20 * 10);
  EXPECT_GT(std::stoi(castle()["health"]), hurt);
}

TEST_F(CastleTest, TheCastleAndItsGatherersSaveAndLoadWithTheirReferences)
{
  build_castle(60, 60);
  orb(70, 60, 10);
  orb(60, 75, 10);
  orb(50, 55, 10);
  claim(70, 60);
  claim(60, 75);
  claim(50, 55);
  step(20 * 14); // two gatherers out, one of them maybe carrying
  ASSERT_EQ(castle()["gatherers"], "2");
  int delivered = std::stoi(castle()["delivered"]);
  std::map<int, int> refs;
  for (int l = 0; l < GAMEOBJ_WALKED_LIST_COUNT; ++l)
    for (GameObject* o : *gameobj_walked_list(l)) refs[o->serialId] = o->query(1);
  const int player_id = reinterpret_cast<GameObject*>(local_player)->serialId;

  MemoryOutputStream before = saved();
  gameobj_api.remove_all_gameobj();
  local_player = nullptr;
  EXPECT_EQ(castle()["exists"], "0");
  MemoryInputStream in(before.data(), before.size());
  gameobj_api.load_gameobjs(in);
  std::map<int, int> again;
  for (int l = 0; l < GAMEOBJ_WALKED_LIST_COUNT; ++l)
    for (GameObject* o : *gameobj_walked_list(l)) again[o->serialId] = o->query(1);
  EXPECT_EQ(again, refs);
  MemoryOutputStream after = saved(); // every field, the orbs they fly to included
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(memcmp(after.data(), before.data(), before.size()), 0);
  EXPECT_EQ(castle()["delivered"], std::to_string(delivered));

  // The loaded gatherers go on working for the loaded player.
  local_player = reinterpret_cast<Player*>(by_id(player_id));
  step(20 * 20);
  EXPECT_GT(std::stoi(castle()["delivered"]), delivered);
  EXPECT_EQ(castle()["gatherers"], "2");
}

} // namespace
