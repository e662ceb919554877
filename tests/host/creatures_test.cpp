// The creatures and the combat spells of the real gameobj.so on the host's
// world grids: lightning's targeting, damage, death and drops, spawning by
// the world script's values and its switch, caterpillars in water and lava,
// and saving every creature and combat object with its references. The
// module's developer commands are reached through a real developer socket.
#include <gtest/gtest.h>
#include <math.h>
#include <poll.h>
#include <squirrel.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <map>
#include <string>

#include "devtools/dev_message.h"
#include "devtools/dev_server.h"
#include "devtools/dev_test_client.h"
#include "world/hmGen.h"
#include "world/worldGenVM.h"

#include "real_module.h"

namespace {

class Creatures : public RealModule {
protected:
  std::string sock_path;
  int client = -1;
  HSQUIRRELVM script_vm = nullptr;

  void SetUp() override
  {
    RealModule::SetUp();
    memset(water, 0, sizeof(Water) * HMAP_CELLS);
    sock_path = dir.path() + "/dev.sock";
    ASSERT_TRUE(dev_server.start(sock_path.c_str()));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, sock_path.c_str(), sock_path.size());
    client = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    ASSERT_EQ(connect(client, (const sockaddr*)&addr, sizeof addr), 0);
  }
  void TearDown() override
  {
    if (client >= 0) close(client);
    dev_server.stop();
    local_player = nullptr;
    if (script_vm) {
      world_gen_vm.vm = nullptr;
      sq_close(script_vm);
    }
    memset(water, 0, sizeof(Water) * HMAP_CELLS);
    RealModule::TearDown();
  }
  // One developer command in its text form; the reply.
  std::string ask(const char* line)
  {
    std::string msg, error;
    EXPECT_TRUE(dev_encode_text_command(line, msg, error)) << error;
    EXPECT_EQ(send(client, msg.data(), msg.size(), MSG_NOSIGNAL), (ssize_t)msg.size());
    dev_server.poll();
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, 1000) <= 0) return "<none>";
    char buf[4096];
    ssize_t n = recv(client, buf, sizeof buf, 0);
    return n > 0 ? std::string(buf, (size_t)n) : "<closed>";
  }
  int spawn(const char* kind, float x, float z)
  {
    char line[128];
    snprintf(line, sizeof line, "spawnMonster kind=%s x:d=%g z:d=%g", kind, x, z);
    std::string r = ask(line);
    EXPECT_EQ(r.substr(0, 1), "k") << r;
    return atoi(reply_pairs(r)["serial"].c_str());
  }
  GameObject* player_at(float x, float y, float z)
  {
    GameObject* p = make("Player");
    float* pos = pos_of(p);
    pos[0] = x, pos[1] = y, pos[2] = z;
    local_player = reinterpret_cast<Player*>(p);
    return p;
  }
  // The world script the spawner asks, with these values.
  void world_script(const char* values)
  {
    script_vm = sq_open(1024);
    std::string src = std::string("function monster_spawn_values() { return ") + values + "; }";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_compilebuffer(script_vm, src.c_str(), (SQInteger)src.size(), "test", SQTrue)));
    sq_pushroottable(script_vm);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(script_vm, 1, SQFalse, SQTrue)));
    sq_pop(script_vm, 1);
    world_gen_vm.vm = script_vm;
  }
  int alive() { return fn<int (*)()>(gameobj_funcs.count_alive_monsters)(); }
  float land(float x, float z) { return fn<float (*)(int, int)>(gameobj_funcs.get_land_height)(int(x), int(z)); }
  GameObject* pick(Vec4f point, Vec4f* strike)
  {
    return fn<GameObject* (*)(const Vec4f&, Vec4f*)>(gameobj_funcs.pick_lightning_target)(point, strike);
  }
  int fireball(Vec4f pos, float radius, float damage)
  {
    return fn<int (*)(const Vec4f&, float, float)>(gameobj_funcs.apply_fireball)(pos, radius, damage);
  }
};

TEST_F(Creatures, LightningStrikesTheNearestHostileMonsterInReachElseThePoint)
{
  int wyvern = spawn("wyvern", 100, 100);   // 18 over the land
  int crawler = spawn("caterpillar", 104, 100);
  spawn("bird", 101.5f, 100);               // harmless birds are never the target
  int near_wrap = spawn("caterpillar", 1, 40);
  Vec4f strike;

  GameObject* got = pick(Vec4f{101.5f, 0, 100, 0}, &strike);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->serialId, wyvern); // 1.5 away on the ground, though high up
  EXPECT_FLOAT_EQ(strike.y, pos_of(got)[1]);
  EXPECT_EQ(pick(Vec4f{103.5f, 0, 100, 0}, nullptr)->serialId, crawler);
  EXPECT_EQ(pick(Vec4f{255, 0, 40, 0}, nullptr)->serialId, near_wrap); // 2 away across the wrap
  EXPECT_EQ(pick(Vec4f{200, 0, 200, 0}, &strike), nullptr);
  EXPECT_FLOAT_EQ(strike.x, 200);
  EXPECT_FLOAT_EQ(strike.y, land(200, 200));

  // A strong bolt kills the wyvern, which drops a resource under itself.
  EXPECT_EQ(fn<int (*)(const Vec4f&, float)>(gameobj_funcs.cast_lightning)(Vec4f{101.5f, 0, 100, 0}, 100), wyvern);
  step(1);
  EXPECT_EQ(by_id(wyvern), nullptr);
  ASSERT_EQ(GlobResObject_list.num, 1);
  EXPECT_NEAR(pos_of((GameObject*)(void*)GlobResObject_list[0])[0], 100, 15);
  EXPECT_EQ(reply_pairs(ask("monsters"))["wyvern"], "0");
  EXPECT_EQ(alive(), 2);
}

TEST_F(Creatures, FireballsHarmWithinTheirRadiusAndKillWithDrops)
{
  int hit = spawn("caterpillar", 50, 50);
  int spared = spawn("caterpillar", 58, 50);
  // 40 health: one burst of 25 leaves it alive, the second kills it.
  EXPECT_EQ(fireball(Vec4f{50, land(50, 50), 50, 0}, 5, 25), 1);
  step(1);
  EXPECT_NE(by_id(hit), nullptr);
  EXPECT_EQ(GlobResObject_list.num, 0);
  EXPECT_EQ(fireball(Vec4f{50, land(50, 50), 50, 0}, 5, 25), 1);
  step(1);
  EXPECT_EQ(by_id(hit), nullptr);
  EXPECT_NE(by_id(spared), nullptr);
  EXPECT_EQ(GlobResObject_list.num, 1);

  // Fireball missiles cast from high above burst where they meet the land,
  // by the other one (which crawls about under the player meanwhile).
  GameObject* p = player_at(58, 0, 50);
  for (int cast = 0; cast < 2; ++cast) {
    float* at = pos_of(by_id(spared));
    float* pp = pos_of(p);
    pp[0] = at[0], pp[1] = land(at[0], at[2]) + 45, pp[2] = at[2];
    char line[128];
    snprintf(line, sizeof line, "castCombat spell=FireballSpell x:d=%g z:d=%g", at[0], at[2]);
    EXPECT_EQ(ask(line), "k");
    ASSERT_EQ(Fireball_list.num, 1);
    step(40);
    EXPECT_EQ(Fireball_list.num, 0);
  }
  EXPECT_EQ(by_id(spared), nullptr); // 30 + 30 > 40
  EXPECT_EQ(GlobResObject_list.num, 2);
  EXPECT_EQ(ask("castCombat spell=HillSpell x:d=58 z:d=50").substr(0, 1), "e");
}

TEST_F(Creatures, SpawningKeepsToTheWorldsLimitOutOfSightAndStopsWhenSwitchedOff)
{
  world_script("{ max = 3, interval = 1.0, wyvern = 1, caterpillar = 1, flocks = 1 }");
  GameObject* p = player_at(128, land(128, 128) + 10, 128);
  int seen = 0, hostile_births = 0;
  for (int i = 0; i < 20 * 40; ++i) {
    step(1);
    // Every new hostile monster appears beyond the player's sight (80).
    for (auto* list : {(DynArray<GameObject*>*)&WyvernMonster_list, (DynArray<GameObject*>*)&LandMonster_list})
      for (GameObject* m : *list)
        if (m->serialId > seen) {
          float dx = pos_of(m)[0] - pos_of(p)[0], dz = pos_of(m)[2] - pos_of(p)[2];
          EXPECT_GE(sqrtf(dx * dx + dz * dz), 80.0f);
          ++hostile_births;
        }
    for (int l = 0; l < GAMEOBJ_WALKED_LIST_COUNT; ++l)
      for (GameObject* o : *gameobj_walked_list(l)) seen = std::max(seen, o->serialId);
    ASSERT_LE(alive(), 3);
  }
  EXPECT_EQ(alive(), 3);
  EXPECT_EQ(hostile_births, 3); // nothing died, so nothing was replaced
  EXPECT_EQ(BirdMonster_list.num, 5); // one flock of five
  EXPECT_EQ(reply_pairs(ask("monsters"))["spawning"], "on");

  // Killing them lets the spawner replace them, unless it is switched off.
  EXPECT_FALSE(fn<bool (*)()>(gameobj_funcs.toggle_monster_spawn)());
  fn<void (*)()>(gameobj_funcs.remove_all_monsters)();
  step(20 * 10);
  EXPECT_EQ(alive(), 0);
  EXPECT_EQ(BirdMonster_list.num, 0);
  EXPECT_EQ(reply_pairs(ask("monsters"))["spawning"], "off");
  EXPECT_TRUE(fn<bool (*)()>(gameobj_funcs.toggle_monster_spawn)());
  step(20 * 10);
  EXPECT_EQ(alive(), 3);
}

TEST_F(Creatures, CaterpillarsDrownInDeepWaterAndBurnInLava)
{
  for (int z = 20; z < 40; ++z)
    for (int x = 20; x < 40; ++x) {
      water[z][x].depth = 3;        // a lake
      water[z][x + 100].depth = -1; // a lava pool
    }
  int swimmer = spawn("caterpillar", 30, 30);
  int burner = spawn("caterpillar", 130, 30);
  int dry = spawn("caterpillar", 200, 200);
  step(20 * 2);
  EXPECT_EQ(by_id(burner), nullptr); // lava kills within a second
  EXPECT_NE(by_id(swimmer), nullptr); // drowning takes longer
  step(20 * 5);
  EXPECT_EQ(by_id(swimmer), nullptr);
  EXPECT_NE(by_id(dry), nullptr);
  EXPECT_EQ(alive(), 1);
}

TEST_F(Creatures, EveryCreatureAndCombatObjectSavesAndLoadsWithItsReferences)
{
  GameObject* p = player_at(60, land(60, 60) + 12, 60);
  int wyvern = spawn("wyvern", 70, 60);
  int crawler = spawn("caterpillar", 64, 60);
  int leader = spawn("bird", 150, 150);
  ASSERT_EQ(ask("castCombat spell=FireballSpell x:d=200 z:d=30"), "k");
  ASSERT_EQ(ask("castCombat spell=MeteorSpell x:d=20 z:d=200"), "k");
  ASSERT_EQ(ask("castCombat spell=ThunderstormSpell x:d=62 z:d=62"), "k");
  step(4); // the wyvern and the caterpillar take the player as their target
  ASSERT_EQ(by_id(wyvern)->query(1), p->serialId);
  ASSERT_EQ(by_id(crawler)->query(1), p->serialId);
  int missile = ((GameObject*)(void*)ThunderstormMissile_list[0])->serialId;
  EXPECT_EQ(by_id(missile)->query(1), p->serialId);
  step(40); // the storm's missile becomes the cloud, which keeps its caster
  ASSERT_EQ(ThunderstormObject_list.num, 1);
  int storm = ((GameObject*)(void*)ThunderstormObject_list[0])->serialId;
  EXPECT_EQ(by_id(storm)->query(1), p->serialId);
  ASSERT_EQ(ask("castCombat spell=ThunderstormSpell x:d=62 z:d=62"), "k");
  ASSERT_EQ(ask("castCombat spell=FireballSpell x:d=200 z:d=30"), "k");
  ASSERT_EQ(ask("castCombat spell=MeteorSpell x:d=20 z:d=200"), "k");
  std::map<int, int> refs;
  int followers = 0;
  for (int l = 0; l < GAMEOBJ_WALKED_LIST_COUNT; ++l)
    for (GameObject* o : *gameobj_walked_list(l)) refs[o->serialId] = o->query(1);
  for (BirdMonster* b : BirdMonster_list) followers += ((GameObject*)(void*)b)->query(1) == leader;
  EXPECT_EQ(followers, 4);
  EXPECT_GE(Fireball_list.num, 1);
  EXPECT_GE(MeteorMissile_list.num, 1);
  EXPECT_GE(ThunderstormMissile_list.num, 1);
  EXPECT_GE(ThunderstormObject_list.num, 1);
  EXPECT_GE(WyvernMonster_list.num + LandMonster_list.num, 2);

  MemoryOutputStream before = saved();
  const int player_id = p->serialId; // p goes with the objects
  gameobj_api.remove_all_gameobj();
  MemoryInputStream in(before.data(), before.size());
  gameobj_api.load_gameobjs(in);
  std::map<int, int> again;
  for (int l = 0; l < GAMEOBJ_WALKED_LIST_COUNT; ++l)
    for (GameObject* o : *gameobj_walked_list(l)) again[o->serialId] = o->query(1);
  EXPECT_EQ(again, refs);
  MemoryOutputStream after = saved();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(memcmp(after.data(), before.data(), before.size()), 0);

  // The loaded objects go on: the storm still strikes, missiles still fly.
  local_player = reinterpret_cast<Player*>(by_id(player_id));
  step(20 * 5);
  EXPECT_EQ(Fireball_list.num + MeteorMissile_list.num + ThunderstormMissile_list.num, 0);
}

} // namespace
