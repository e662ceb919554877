// Guard towers, their shots and the house spell's missile (towers*.cpp).
// Included by classes.h after the player's classes (the house's missile is a
// spell's missile).
#pragma once

// A guard tower: a round stone tower on levelled land that rises within a
// few seconds of its casting, then shoots a homing fireball every couple of
// seconds at the nearest hostile monster it can see. Monsters' fire harms
// it; at no health it falls to rubble.
class GuardTower : public BuildingObject {
public:
  GAMEOBJ_CLASS_COMMON(GuardTower)
  float health = 150;
  float max_health = 150;
  float build = 0;      // 0..1 while it rises; 1 standing
  float shot_time = 0;  // seconds until it may shoot again
  GameObjRef target;    // the monster it aims at
  int shots = 0, kills = 0;
  float retarget_time = 0; // not saved: when it looks round again
  float fx_time = 0;       // not saved
  int referredId() override { return target ? target->serialId : 0; }
  int query(int what) override;
  void update(float dt) override;
  void render(float dt) override;
  void takeDamage(float amount, const char* cause);
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_GuardTower ~, 1

// A tower's shot: a fireball homing in on its target (straight on once the
// target is gone), bursting on the land, water, a monster or in the end.
// `caster` is the tower.
class GuardTowerMissile : public MissileObject {
public:
  GAMEOBJ_CLASS_COMMON(GuardTowerMissile)
  GameObjRef target;
  float time_left = 4;
  float damage = 20;
  float radius = 3.5f;
  unsigned sound_ch = 0; // its "fireball_missile" loop (not saved: started again)
  ~GuardTowerMissile() override;
  int query(int what) override;
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_GuardTowerMissile ~, 1

// The house spell's missile: builds a villagers' house where it lands.
class HouseMissile : public SpellMissile {
public:
  GAMEOBJ_CLASS_COMMON(HouseMissile)
  void arrive() override;
};
#define GAMEOBJ_WRITTEN_HouseMissile ~, 1
