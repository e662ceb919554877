// The real gameobj.so on the host's world grids: saving and loading every
// listed class, the world queries and the terrain and fluid changes.
#include <gtest/gtest.h>
#include <math.h>

#include <filesystem>
#include <string>

#include "core/platform.h"
#include "core/stream.h"
#include "core/temp_folders.h"
#include "host/gameobj_api.h"
#include "host/gameobj_host.h"
#include "host/gameobj_lists.h"
#include "world/heightmap.h"
#include "world/hmGen.h"
#include "world/hm_update.h"
#include "world/saved_games.h"
#include "world/water_sim.h"

#include "real_module.h"

namespace fs = std::filesystem;

namespace {

const char* const listed_classes[] = {
#define NAME(name) #name,
    GAMEOBJ_WALKED_LISTS(NAME) GAMEOBJ_UNWALKED_LISTS(NAME)
#undef NAME
};

// A version-2 block written by hand: objects of (class, serial id, reference).
struct HandObj {
  const char* name;
  int serial;
  int ref; // -1: the class has no reference field
  bool missile;
};
MemoryOutputStream hand_block(std::initializer_list<HandObj> objs, int version = 2)
{
  MemoryOutputStream out;
  out.writeInt(version);
  out.writeInt((int)objs.size());
  for (const HandObj& o : objs) {
    MemoryOutputStream fields;
    fields.writeUInt(0);
    for (int i = 0; i < 4; ++i) fields.writeFloat(float(o.serial + i));
    if (o.ref >= 0) fields.writeInt(o.ref);
    if (o.missile)
      for (int i = 0; i < 4; ++i) fields.writeFloat(1.0f);
    out.writeString(o.name);
    out.writeInt(o.serial);
    out.writeInt(fields.size());
    out.write(fields.data(), fields.size());
  }
  return out;
}

TEST_F(RealModule, EveryListedClassRoundTripsToTheSameObjectsAndBytes)
{
  int serials[sizeof(listed_classes) / sizeof(listed_classes[0])];
  int n = 0;
  for (const char* name : listed_classes) {
    GameObject* obj = make(name);
    ASSERT_NE(obj, nullptr) << name;
    pos_of(obj)[0] = float(n);
    pos_of(obj)[2] = 0.5f * n;
    serials[n++] = obj->serialId;
  }
  EXPECT_EQ(make("MissileObject"), nullptr); // no list: it could never be found again
  MemoryOutputStream before = saved();
  int listed = live_count();

  gameobj_api.remove_all_gameobj();
  ASSERT_EQ(live_count(), 0);
  MemoryInputStream in(before.data(), before.size());
  gameobj_api.load_gameobjs(in);
  EXPECT_EQ(in.tell(), before.size());
  EXPECT_EQ(live_count(), listed); // spells and stones are back in their kind's lists too
  for (int i = 0; i < n; ++i) {
    GameObject* obj = by_id(serials[i]);
    ASSERT_NE(obj, nullptr) << listed_classes[i];
    EXPECT_STREQ(obj->getClassName(), listed_classes[i]);
    EXPECT_EQ(pos_of(obj)[0], float(i));
    EXPECT_EQ(pos_of(obj)[2], 0.5f * i);
  }
  MemoryOutputStream after = saved();
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(memcmp(after.data(), before.data(), before.size()), 0);
}

TEST_F(RealModule, ReferencesResolveAfterTheWholeBlockAndStayWeak)
{
  // The arrow refers forward to the missile, the missile back to the player.
  MemoryOutputStream block = hand_block({{"MapArrow", 4, 7, false},
                                         {"Player", 5, -1, false},
                                         {"FaultMissile", 7, 5, true},
                                         {"MapArrow", 12, 99, false}});
  MemoryInputStream in(block.data(), block.size());
  gameobj_api.load_gameobjs(in);
  EXPECT_EQ(by_id(4)->query(1), 7);
  EXPECT_EQ(by_id(7)->query(1), 5);
  EXPECT_EQ(by_id(12)->query(1), 0); // not in the block: cleared
  // Saved and loaded again, the references still name the same ids.
  MemoryOutputStream again = saved();
  gameobj_api.remove_all_gameobj();
  MemoryInputStream in2(again.data(), again.size());
  gameobj_api.load_gameobjs(in2);
  EXPECT_EQ(by_id(4)->query(1), 7);
  EXPECT_EQ(by_id(7)->query(1), 5);
  // A deleted object's referrers let go of it.
  gameobj_api.delete_gameobj(by_id(5));
  EXPECT_EQ(by_id(7)->query(1), 0);
}

TEST_F(RealModule, AnOlderVersionBlockLoadsAndABadBlockChangesNothing)
{
  MemoryOutputStream old_block;
  old_block.writeInt(1);
  old_block.writeInt(0);
  old_block.writeInt(0x5eed);
  MemoryInputStream old_in(old_block.data(), old_block.size());
  gameobj_api.load_gameobjs(old_in);
  EXPECT_EQ(old_in.readInt(), 0x5eed);

  MemoryOutputStream good = hand_block({{"Player", 5, -1, false}, {"FaultMissile", 7, 5, true}, {"HillSpell", 8, -1, false}});
  make("WaterSource"); // the live world a refused block must leave alone: serial id 1
  auto refused = [&](const void* bytes, int size) {
    MemoryInputStream in(bytes, size);
    EXPECT_THROW(gameobj_api.load_gameobjs(in), StreamIOException) << size;
    EXPECT_EQ(live_count(), 1);
    EXPECT_EQ(WaterSource_list.num, 1);
  };
  // Cut anywhere, including inside an object's fields.
  for (int cut = 0; cut < good.size(); ++cut) refused(good.data(), cut);
  MemoryOutputStream unknown = hand_block({{"Player", 5, -1, false}, {"Dragon", 6, -1, false}});
  refused(unknown.data(), unknown.size());
  MemoryOutputStream twice = hand_block({{"Player", 5, -1, false}, {"HillSpell", 5, -1, false}});
  refused(twice.data(), twice.size());
  MemoryOutputStream taken = hand_block({{"Player", 1, -1, false}}); // the live source's id
  refused(taken.data(), taken.size());
  MemoryOutputStream wrong_size = hand_block({{"FaultMissile", 7, 5, false}, {"Player", 5, -1, false}}); // fields too short
  refused(wrong_size.data(), wrong_size.size());
  MemoryOutputStream newer = hand_block({}, 99);
  refused(newer.data(), newer.size());

  MemoryInputStream in(good.data(), good.size());
  gameobj_api.load_gameobjs(in);
  EXPECT_EQ(live_count(), 1 + 1 + 1 + 2); // the hill spell is in two lists
}

// ===== World queries and terrain and fluid changes ==========================

using QueryAt = float (*)(const Vec4f&);
using QueryCell = float (*)(int, int);
using NormCell = Vec4f (*)(int, int);
using NormAt = Vec4f (*)(const Vec4f&);

float water_volume()
{
  double sum = 0;
  for (int i = 0; i < HMAP_CELLS; ++i) sum += waterCells()[i].depth;
  return (float)sum;
}

TEST_F(RealModule, QueriesReadTheHostsGrids)
{
  // A plane rising 0.5 per cell along x and 0.25 along z round (100, 100).
  for (int z = 90; z < 110; ++z)
    for (int x = 90; x < 110; ++x) hmap[hmap_index(x, z)] = 0.5f * (x - 100) + 0.25f * (z - 100);
  target_hmap[hmap_index(100, 100)] = 3;
  water[100][101].depth = 2;
  water[101][100].depth = -4;
  Vec4f at{100.5f, 7, 100.5f, 1};
  EXPECT_FLOAT_EQ(fn<QueryAt>(gameobj_funcs.get_land_height_at)(at), 0.375f);
  Vec4f on = fn<Vec4f (*)(const Vec4f&)>(gameobj_funcs.get_land_pos_at)(at);
  EXPECT_FLOAT_EQ(on.y, 0.375f);
  EXPECT_FLOAT_EQ(on.x, 100.5f);
  EXPECT_FLOAT_EQ(fn<QueryCell>(gameobj_funcs.get_land_height)(101, 100), 0.5f);
  EXPECT_FLOAT_EQ(fn<QueryCell>(gameobj_funcs.get_land_change)(100, 100), 3);
  EXPECT_FLOAT_EQ(fn<QueryAt>(gameobj_funcs.get_land_change_at)(Vec4f{100.5f, 0, 100, 1}), 0.5f * 3 + 0.5f * -0.5f);
  EXPECT_FLOAT_EQ(fn<QueryCell>(gameobj_funcs.get_water)(101, 100), 2);
  EXPECT_FLOAT_EQ(fn<QueryCell>(gameobj_funcs.get_water)(100 + 256, 101 - 256), -4); // wraps
  EXPECT_FLOAT_EQ(fn<QueryAt>(gameobj_funcs.get_water_at)(at), 0.25f * 2 + 0.25f * -4);
  // The plane's normal is (-0.5, 1, -0.25) made unit length, at cells and between them.
  float len = sqrtf(0.25f + 1 + 0.0625f);
  for (Vec4f n : {fn<NormCell>(gameobj_funcs.calc_land_norm)(100, 100), fn<NormAt>(gameobj_funcs.calc_land_norm_at)(at)}) {
    EXPECT_NEAR(n.x, -0.5f / len, 1e-5f);
    EXPECT_NEAR(n.y, 1 / len, 1e-5f);
    EXPECT_NEAR(n.z, -0.25f / len, 1e-5f);
  }
  // A tick per world step, kept where the world file saves it.
  step(40);
  EXPECT_EQ(fn<int (*)()>(gameobj_funcs.get_world_time)(), 40);
  EXPECT_EQ(saved_world_state.world_time, 40);
}

TEST_F(RealModule, HillsCracksAndConesMoveTheTargetAndTheLandFollows)
{
  fn<void (*)(const Vec4f&, float, float)>(gameobj_funcs.create_hill)(Vec4f{50, 0, 50, 1}, 8, 6);
  EXPECT_FLOAT_EQ(target_hmap[hmap_index(50, 50)], 6);
  EXPECT_GT(target_hmap[hmap_index(54, 50)], 0);
  EXPECT_LT(target_hmap[hmap_index(54, 50)], 6);
  EXPECT_EQ(target_hmap[hmap_index(50, 59)], 0); // beyond the radius
  EXPECT_EQ(hmap[hmap_index(50, 50)], 0);        // the land has not moved yet
  for (int i = 0; i < 100; ++i) updateHmapAround(0.05f, 0, 0);
  EXPECT_GT(hmap[hmap_index(50, 50)], 3);

  // A crack across the world's edge: the full depth along the line, once.
  fn<void (*)(const Vec4f&, const Vec4f&, float, float)>(gameobj_funcs.carve_crack)(Vec4f{250, 0, 20, 1}, Vec4f{262, 0, 20, 1}, 2, 3);
  for (int x : {250, 254, 255, 0, 6})
    EXPECT_FLOAT_EQ(target_hmap[hmap_index(x, 20)], -3) << x;
  EXPECT_FLOAT_EQ(target_hmap[hmap_index(0, 21)], -3 * 0.75f);
  EXPECT_EQ(target_hmap[hmap_index(0, 23)], 0);
  EXPECT_EQ(target_hmap[hmap_index(10, 20)], 0); // past the end

  fn<void (*)(const Vec4f&, float, float, float)>(gameobj_funcs.volcano_cone)(Vec4f{150, 0, 150, 1}, 20, 10, 4);
  float rim = target_hmap[hmap_index(154, 150)], centre = target_hmap[hmap_index(150, 150)];
  EXPECT_FLOAT_EQ(rim, 8);
  EXPECT_FLOAT_EQ(centre, 4); // a crater half-way down
  EXPECT_LT(target_hmap[hmap_index(165, 150)], rim);
  EXPECT_EQ(target_hmap[hmap_index(171, 150)], 0);
}

TEST_F(RealModule, FluidSourcesPourOverStepsAndWaterMeetingLavaTurnsToRock)
{
  using Pour = void (*)(const Vec4f&, float, float);
  fn<void (*)(const Vec4f&, float)>(gameobj_funcs.add_water_globe)(Vec4f{30, 0, 30, 1}, 5);
  EXPECT_NEAR(water_volume(), 4.0f / 3 * M_PI * 125, 0.05f * 4.0f / 3 * M_PI * 125);
  EXPECT_EQ(water[30][36].depth, 0);
  // The fluid solver spreads it.
  fn<void (*)(float)>(gameobj_funcs.simulate_water)(1);
  EXPECT_GT(water[30][36].depth, 0);
  EXPECT_LT(water[30][30].depth, 9);
  memset((void*)waterCells(), 0, HMAP_CELLS * sizeof(Water));

  // Two seconds at 1 depth unit a second: the source pours over 40 steps, then goes.
  auto add_source = fn<GameObject* (*)(const Vec4f&, float, float, float)>(gameobj_funcs.add_water_source);
  ASSERT_NE(add_source(Vec4f{80, 0, 80, 1}, 0.5f, 1, 2), nullptr);
  step(20);
  EXPECT_NEAR(water[80][80].depth, 1, 1e-4f);
  step(30);
  EXPECT_NEAR(water[80][80].depth, 2, 1e-4f);
  EXPECT_EQ(WaterSource_list.num, 0);


  fn<Pour>(gameobj_funcs.add_source_lava)(Vec4f{200, 0, 200, 1}, 0, 3);
  EXPECT_FLOAT_EQ(water[200][200].depth, -3);
  fn<Pour>(gameobj_funcs.add_source_water)(Vec4f{200, 0, 200, 1}, 0, 1);
  EXPECT_FLOAT_EQ(water[200][200].depth, -2);
  EXPECT_FLOAT_EQ(hmap[hmap_index(200, 200)], 1); // hardened, land and target alike
  EXPECT_FLOAT_EQ(target_hmap[hmap_index(200, 200)], 1);

  // A magic volcano raises a cone and pours lava from its crater.
  auto volcano = fn<GameObject* (*)(const Vec4f&, float, float)>(gameobj_funcs.add_magic_volcano);
  ASSERT_NE(volcano(Vec4f{120, 0, 40, 1}, 20, 10), nullptr);
  EXPECT_GT(target_hmap[hmap_index(124, 40)], 5);
  step(10);
  EXPECT_LT(water[40][120].depth, 0);
  EXPECT_EQ(LavaSource_list.num, 1);
}

} // namespace

// The module is built with hidden visibility; the host's shared globals must
// still be the same variables on both sides.
TEST_F(RealModule, TheModuleSeesTheHostsLocalPlayerAndTables)
{
  Player* p = gameobj_api.create_player(Vec4f{10, 20, 30, 1});
  local_player = p;
  EXPECT_EQ(fn<Player* (*)()>(gameobj_funcs.get_local_player)(), p);
  local_player = nullptr;
  EXPECT_EQ(fn<Player* (*)()>(gameobj_funcs.get_local_player)(), nullptr);
}
