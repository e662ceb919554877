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

class GameObj : public GameObject {
public:
  float pos[4] = {0, 0, 0, 1};
  const char* getClassName() override { return "GameObj"; }
  // The version of the module's code the object runs (code_version.h).
  virtual int codeVersion() { return GAMEOBJ_CODE_VERSION; }
  int query(int what) override { return what == 0 ? codeVersion() : 0; }
};

#define GAMEOBJ_DECLARE_CLASS(name, base) \
  class name : public base { \
  public: \
    const char* getClassName() override { return #name; } \
  };
GAMEOBJ_CLASSES(GAMEOBJ_DECLARE_CLASS)
#undef GAMEOBJ_DECLARE_CLASS
