// The per-class object lists the host owns and exports, so that the module's
// objects survive a reload of the module. Objects are the module's; the host
// only re-points their virtual-table pointers (gameobj_host.cpp).
#pragma once
#include "core/dynArray.h"
#include "script/baseObject.h"

// The common base of the module's game objects: BaseObject plus the flags
// word. Bit 1 (GAMEOBJ_RELINK_MARK) belongs to the host's re-pointing pass
// and is clear at every other time.
class GameObject : public BaseObject {
public:
  unsigned flags = 0;
};
constexpr unsigned GAMEOBJ_RELINK_MARK = 2;

// The lists the re-pointing pass walks, in the order it walks them.
#define GAMEOBJ_WALKED_LISTS(X) \
  X(MapArrow) X(Tentacle) X(GlobResObject) X(LightPillarEffect) X(GuardTower) \
  X(GuardTowerMissile) X(GuardTowerSpell) X(TimeTrigger) X(Sensor) X(LandMonster) \
  X(BirdMonster) X(WorldPortal) X(UsePortalSpell) X(ManaBall) X(ClaimManaMissile) \
  X(ClaimManaSpell) X(CastleObject) X(CastleMissile) X(CastleSpell) X(ManaGatherer) \
  X(HumanoidStaticObject) X(BurnEffect) X(TreeObject) X(WyvernMonster) \
  X(ThunderstormObject) X(Fireball) X(Waterball) X(FaultMissile) X(HouseMissile) \
  X(MeteorMissile) X(ThunderstormMissile) X(HillMissile) X(PitMissile) \
  X(VolcanoMissile) X(WaterSourceMissile) X(WaterSinkMissile) X(FireballSpell) \
  X(WaterballSpell) X(FaultSpell) X(HouseSpell) X(MeteorSpell) X(HillSpell) \
  X(PitSpell) X(VolcanoSpell) X(WaterSourceSpell) X(WaterSinkSpell) \
  X(ThunderstormSpell) X(HealingSpell) X(LightningSpell) X(SpellObject) \
  X(LavaSource) X(NaturalVolcano) X(WaterSource) X(Player)

// Exported lists the re-pointing pass does not walk: their objects are also
// held in a walked list (HumanoidStaticObject_list) by the module.
#define GAMEOBJ_UNWALKED_LISTS(X) \
  X(Stone1StaticObject) X(Menhir1StaticObject) X(Menhir2StaticObject) X(StoneCup1Object)

#define GAMEOBJ_DECLARE_LIST(name) class name; extern DynArray<name*> name##_list;
GAMEOBJ_WALKED_LISTS(GAMEOBJ_DECLARE_LIST)
GAMEOBJ_UNWALKED_LISTS(GAMEOBJ_DECLARE_LIST)
#undef GAMEOBJ_DECLARE_LIST

constexpr int GAMEOBJ_WALKED_LIST_COUNT = 54;
// Every list viewed as a list of GameObject (all DynArray<T*> share one layout).
DynArray<GameObject*>* gameobj_walked_list(int index);
