// The castle, its missile and its mana gatherers (castle*.cpp). Included by
// classes.h before the plain classes are declared.
#pragma once

struct Vec4f;

// The castle spell's missile: flies to the site and raises the castle there.
class CastleMissile : public SpellMissile {
public:
  GAMEOBJ_CLASS_COMMON(CastleMissile)
  void arrive() override;
  const char* trailFx() override { return "spawn_spellobj_fx"; }
};
#define GAMEOBJ_WRITTEN_CastleMissile ~, 1

// The player's castle: walls, corner buttresses, a gate and a round keep on
// levelled land (pieces from castle_rules.h). The respawn point; it heals
// slowly, summons mana gatherers as orbs are claimed and keeps the total of
// mana they brought home.
class CastleObject : public BuildingObject {
public:
  GAMEOBJ_CLASS_COMMON(CastleObject)
  int x0 = 0, z0 = 0;      // the footprint's first cell
  float level = 0;         // the levelled ground's height
  float health = 500, max_health = 500;
  float since_hurt = 0;    // seconds since the last harm
  float summon_time = 2;   // seconds until it may summon a gatherer
  int delivered = 0;       // mana its gatherers brought home
  GameObjRef owner;        // the player it belongs to (null: the local player)
  int referredId() override { return owner ? owner->serialId : 0; }
  void update(float dt) override;
  void render(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
  // Harm from breath and spells; at zero the castle falls.
  void takeDamage(float amount, const char* cause);
  // Where gatherers come home to: over the middle of the yard.
  Vec4f homePoint() const;
};
#define GAMEOBJ_WRITTEN_CastleObject ~, 1

// A gatherer: summoned by its castle, it flies to a claimed orb, draws mana,
// flies home and delivers it. Killed, it stays a while as its own fading
// corpse (the host keeps no list for a separate corpse object).
class ManaGatherer : public MonsterObject {
public:
  GAMEOBJ_CLASS_COMMON(ManaGatherer)
  enum { RISE, TO_ORB, DRAW, HOME, IDLE, DEAD };
  ManaGatherer() { health = max_health = 30; }
  GameObjRef home; // its castle
  GameObjRef orb;  // the orb it flies to or draws from
  float carried = 0;
  // MonsterObject::target is unused: a gatherer hunts nothing.
  int referredId() override { return home ? home->serialId : 0; }
  bool hostile() override { return false; }
  bool dead() const { return state == DEAD; }
  void takeDamage(float amount, const char* cause) override;
  void update(float dt) override;
  void render(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
  void onLoaded() override;
};
#define GAMEOBJ_WRITTEN_ManaGatherer ~, 1
