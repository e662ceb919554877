// The module's game-object classes. Each is a real class with its own
// virtual table; the class table (classes.cpp) lists them in this order
// after the never-matched entry 0. The behaviour of most classes arrives
// with the game; today they differ in their names and their bases.
#pragma once
#include "host/gameobj_lists.h"

// X(Class, Base) in class-table order after GameObj (entry 1); a base
// precedes its derived classes.
#define GAMEOBJ_CLASSES(X) \
  X(MissileObject, GameObj) X(MonsterObject, GameObj) \
  X(StaticObject, GameObj) X(EffectObject, GameObj) X(ResObject, GameObj) \
  X(BuildingObject, GameObj) X(TriggerObject, GameObj) X(SpellObject, GameObj) \
  X(Player, GameObj) X(MapArrow, GameObj) X(Tentacle, MonsterObject) \
  X(GlobResObject, ResObject) X(LightPillarEffect, EffectObject) \
  X(GuardTower, BuildingObject) X(GuardTowerMissile, MissileObject) \
  X(GuardTowerSpell, SpellObject) X(TimeTrigger, TriggerObject) X(Sensor, TriggerObject) \
  X(LandMonster, MonsterObject) X(BirdMonster, MonsterObject) X(WorldPortal, BuildingObject) \
  X(UsePortalSpell, SpellObject) X(ManaBall, ResObject) X(ClaimManaMissile, MissileObject) \
  X(ClaimManaSpell, SpellObject) X(CastleObject, BuildingObject) \
  X(CastleMissile, MissileObject) X(CastleSpell, SpellObject) X(ManaGatherer, MonsterObject) \
  X(HumanoidStaticObject, StaticObject) X(BurnEffect, EffectObject) X(TreeObject, StaticObject) \
  X(WyvernMonster, MonsterObject) X(ThunderstormObject, EffectObject) \
  X(Fireball, MissileObject) X(Waterball, MissileObject) X(FaultMissile, MissileObject) \
  X(HouseMissile, MissileObject) X(MeteorMissile, MissileObject) \
  X(ThunderstormMissile, MissileObject) X(HillMissile, MissileObject) \
  X(PitMissile, MissileObject) X(VolcanoMissile, MissileObject) \
  X(WaterSourceMissile, MissileObject) X(WaterSinkMissile, MissileObject) \
  X(FireballSpell, SpellObject) X(WaterballSpell, SpellObject) X(FaultSpell, SpellObject) \
  X(HouseSpell, SpellObject) X(MeteorSpell, SpellObject) X(HillSpell, SpellObject) \
  X(PitSpell, SpellObject) X(VolcanoSpell, SpellObject) X(WaterSourceSpell, SpellObject) \
  X(WaterSinkSpell, SpellObject) X(ThunderstormSpell, SpellObject) \
  X(HealingSpell, SpellObject) X(LightningSpell, SpellObject) X(LavaSource, StaticObject) \
  X(NaturalVolcano, StaticObject) X(WaterSource, StaticObject) \
  X(Stone1StaticObject, HumanoidStaticObject) X(Menhir1StaticObject, HumanoidStaticObject) \
  X(Menhir2StaticObject, HumanoidStaticObject) X(StoneCup1Object, HumanoidStaticObject) \
  X(LightningMissile, MissileObject) X(HealingMissile, MissileObject) \
  X(MagicMissile, MissileObject) X(HealingEffect, EffectObject) \
  X(LightningEffect, EffectObject) X(MeteorEffect, EffectObject) X(SplashEffect, EffectObject) \
  X(SmokeEffect, EffectObject) X(WaterVaporEffect, EffectObject) X(DustEffect, EffectObject) \
  X(ExplosionEffect, EffectObject) X(GathererCorpse, StaticObject) \
  X(MonsterSpawner, TriggerObject) X(ManaCrystal, ResObject) X(ManaShrine, BuildingObject) \
  X(RuneStone, StaticObject) X(Stone2StaticObject, HumanoidStaticObject) \
  X(Menhir3StaticObject, HumanoidStaticObject) X(StoneCup2Object, HumanoidStaticObject) \
  X(PineTree, TreeObject) X(BushObject, StaticObject) X(RockObject, StaticObject) \
  X(BridgeObject, BuildingObject) X(VolcanoSmokeEffect, EffectObject)

// What every class answers; the live-reload test reads it to see which code runs.
#include "code_version.h"
#include "core/weakRef.h"
#include "sound_loop.h"

class InputStream;
class OutputStream;
class GameObjLoader;

// Class ids: the index of each class in the class table.
enum GameObjClassId {
  CID_NONE = 0,
  CID_GameObj = 1,
#define GAMEOBJ_CLASS_ID(name, base) CID_##name,
  GAMEOBJ_CLASSES(GAMEOBJ_CLASS_ID)
#undef GAMEOBJ_CLASS_ID
  CID_COUNT
};
static_assert(CID_COUNT == 91, "the host expects 91 class-table entries");

// The base of every module object. The host calls update once per world step
// and render once per frame through the table; saving writes the fields of
// saveFields under the class name and serial id (save.cpp).
class GameObj : public GameObject {
public:
  float pos[4] = {0, 0, 0, 1};
  const char* getClassName() override { return "GameObj"; }
  virtual int classId() { return CID_GameObj; }
  // The version of the module's code the object runs (code_version.h).
  virtual int codeVersion() { return GAMEOBJ_CODE_VERSION; }
  // Query 0: the code version; 1: the serial id of the object this one refers
  // to (0 for none), which tests and the developer tools read.
  int query(int what) override { return what == 0 ? codeVersion() : what == 1 ? referredId() : 0; }
  virtual int referredId() { return 0; }
  virtual void update(float dt) {}
  virtual void render(float dt) {}
  // A class's own fields after its base's; `version` is the block's version,
  // so a class reads what older blocks hold and defaults the rest.
  virtual void saveFields(OutputStream& out);
  virtual void loadFields(InputStream& in, int version, GameObjLoader& loader);
};

// References to other objects are weak (null once the object is deleted) and
// are saved as serial ids.
using GameObjRef = WeakRef<GameObj>;

#define GAMEOBJ_CLASS_COMMON(name) \
  const char* getClassName() override { return #name; } \
  int classId() override { return CID_##name; }

// Classes with fields of their own are written out here; every class still
// keeps its place and base in GAMEOBJ_CLASSES.
class MissileObject : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(MissileObject)
  GameObjRef caster; // who cast it: the player, a tower, a castle
  float vel[4] = {0, 0, 0, 0};
  int referredId() override { return caster ? caster->serialId : 0; }
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};

class MapArrow : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(MapArrow)
  GameObjRef target; // what the arrow on the map points at
  int referredId() override { return target ? target->serialId : 0; }
  // Follows its target and goes with it; an arrow that never had one points
  // at its own position (pickups.cpp).
  bool followed = false; // not saved: it had a live target
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};

class StaticObject : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(StaticObject)
};

// A lasting source of fluid: every world step it pours `rate` depth units per
// second over its circle (water for WaterSource, lava for LavaSource) until
// `time_left` runs out (a negative time_left never runs out).
class FluidSource : public StaticObject {
public:
  float radius = 2;
  float rate = 1;
  float time_left = -1;
  virtual bool isLava() { return false; }
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};

class LavaSource : public FluidSource {
public:
  GAMEOBJ_CLASS_COMMON(LavaSource)
  bool isLava() override { return true; }
};

class WaterSource : public FluidSource {
public:
  GAMEOBJ_CLASS_COMMON(WaterSource)
};

// ===== The kinds' bases, written out so that each part of the game can give
// its kinds fields (the owning file in each comment) and derive its own
// classes from them in its header below.

// monsters.cpp
class MonsterObject : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(MonsterObject)
  float health = 10;
  float max_health = 10;
  GameObjRef target;     // what it hunts (the player); a bird's flock leader
  int state = 0;         // the class's own states
  float state_time = 0;  // seconds in the state
  float attack_time = 0; // seconds until it may attack again
  float vel[4] = {0, 0, 0, 0};
  float yaw = 0;         // heading about y in radians; 0 faces +z
  int referredId() override { return target ? target->serialId : 0; }
  // Hostile monsters are counted as alive monsters and hunted by spells.
  virtual bool hostile() { return true; }
  // Harm from spells, fire, water or lava; dies (once) at zero health.
  virtual void takeDamage(float amount, const char* cause);
  // Death effects, sounds and drops; the object is destroyed after it.
  virtual void onDeath(const char* cause) {}
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
  void onLoaded() override;
  int loaded_target = 0; // serial id read by loadFields, resolved by onLoaded
  // Where it was at the start of the last step (not saved): frames between
  // steps draw it on the way from there to `pos`.
  float prev_pos[3] = {0, 0, 0};
};

// fx.cpp and whoever makes effects
class EffectObject : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(EffectObject)
};

// pickups.cpp / mana.cpp: something the player gains, holding an amount
// (a mana orb's mana, a resource pickup's units).
class ResObject : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(ResObject)
  int amount = 0;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};

// mana.cpp (portal), living.cpp
class BuildingObject : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(BuildingObject)
};

// living.cpp: something the world script waits for. When it fires it plays
// "trigger_activated" and sends the world script a table event { name =
// `event`, id = its serial id, x, z }, once; then it is removed.
class TriggerObject : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(TriggerObject)
  char event[64] = "";
  void fire();
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};

// pickups.cpp: a spell lying in the world, its class the spell's (a
// VolcanoSpell object is the Volcano spell to be found); the player flying
// within reach picks it up. The spell bar holds class ids, not objects.
class SpellObject : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(SpellObject)
  LoopSound hum; // "spell_loop" while the camera is near
  void update(float dt) override;
};

// living.cpp: standing stones (and, as itself, a standing villager). They
// stand on the land and follow it; a large change of the land under them
// topples them, lava swallows them.
class HumanoidStaticObject : public StaticObject {
public:
  GAMEOBJ_CLASS_COMMON(HumanoidStaticObject)
  float yaw = 0, scale = 1;
  float rest_height = 0;  // the land height they last settled on
  float tilt = 0;         // radians from upright (toppled: about 1.3)
  float tilt_yaw = 0;     // the direction they fell towards
  float sink = 0;         // how deep they stand in the land
  bool settled = false;   // rest_height is known
  virtual const char* meshName() { return "humanoid"; }
  int query(int what) override;
  void update(float dt) override;
  void render(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};

// living.cpp: trees burn, spread fire, become stumps and grow again.
class TreeObject : public StaticObject {
public:
  GAMEOBJ_CLASS_COMMON(TreeObject)
  int kind = 0;    // TREE_BROADLEAF, TREE_FIR, TREE_BUSH (living_rules.h)
  int state = 0;   // TREE_ALIVE, TREE_BURNING, TREE_STUMP
  float yaw = 0, scale = 1;
  // Burning: the world tick it burns out; stump: the tick it grows again.
  // Ticks, not seconds counted down, so the moment does not drift.
  int state_tick = 0;
  float growth = 1; // 0..1 while growing again
  void ignite();
  void putOut();
  int query(int what) override;
  void update(float dt) override;
  void render(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};

// The parts' own classes, each in its header, after the bases they derive
// from; a header marks what it writes out with GAMEOBJ_WRITTEN_<name>.
#include "classes_player.h"
#include "classes_mana.h"
#include "classes_monsters.h"
#include "classes_living.h"
#include "classes_towers.h"
#include "classes_tentacle.h"
#include "classes_castle.h"

// The plain classes. A class written out above is marked with
// GAMEOBJ_WRITTEN_<name> so that the list skips it.
#define GAMEOBJ_WRITTEN_MissileObject ~, 1
#define GAMEOBJ_WRITTEN_MapArrow ~, 1
#define GAMEOBJ_WRITTEN_StaticObject ~, 1
#define GAMEOBJ_WRITTEN_LavaSource ~, 1
#define GAMEOBJ_WRITTEN_WaterSource ~, 1
#define GAMEOBJ_WRITTEN_MonsterObject ~, 1
#define GAMEOBJ_WRITTEN_EffectObject ~, 1
#define GAMEOBJ_WRITTEN_ResObject ~, 1
#define GAMEOBJ_WRITTEN_BuildingObject ~, 1
#define GAMEOBJ_WRITTEN_TriggerObject ~, 1
#define GAMEOBJ_WRITTEN_SpellObject ~, 1
#define GAMEOBJ_WRITTEN_HumanoidStaticObject ~, 1
#define GAMEOBJ_WRITTEN_TreeObject ~, 1
#define GAMEOBJ_SECOND_(a, b, ...) b
#define GAMEOBJ_SECOND(...) GAMEOBJ_SECOND_(__VA_ARGS__)
#define GAMEOBJ_IS_WRITTEN(name) GAMEOBJ_SECOND(GAMEOBJ_WRITTEN_##name, 0, ~)
#define GAMEOBJ_CAT_(a, b) a##b
#define GAMEOBJ_CAT(a, b) GAMEOBJ_CAT_(a, b)
#define GAMEOBJ_DECLARE_0(name, base) \
  class name : public base { \
  public: \
    GAMEOBJ_CLASS_COMMON(name) \
  };
#define GAMEOBJ_DECLARE_1(name, base)
#define GAMEOBJ_DECLARE_CLASS(name, base) GAMEOBJ_CAT(GAMEOBJ_DECLARE_, GAMEOBJ_IS_WRITTEN(name))(name, base)
GAMEOBJ_CLASSES(GAMEOBJ_DECLARE_CLASS)
#undef GAMEOBJ_DECLARE_CLASS
