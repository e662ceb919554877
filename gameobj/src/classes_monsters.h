// Creatures and the combat spells' missiles and effects (monsters*.cpp,
// combat_*.cpp). Included by classes.h before the plain classes are declared.
#pragma once

// Flies in circles high over its home, dives at the player to breathe fire,
// and now and then sets things below it burning.
class WyvernMonster : public MonsterObject {
public:
  GAMEOBJ_CLASS_COMMON(WyvernMonster)
  enum { CIRCLE, DIVE, BREATHE, CLIMB };
  WyvernMonster() { health = max_health = 60; }
  float home[3] = {0, 0, 0}; // centre of its circle on the ground
  float aim[3] = {0, 0, 0};  // where it breathes when it has no target
  float phase = 0;           // angle on its circle
  int attacks = 0;           // attacks made; varies what it does next
  void update(float dt) override;
  void render(float dt) override;
  void onDeath(const char* cause) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_WyvernMonster ~, 1

// The caterpillar: a head crawling on the land with a body of segments that
// follow it; crawls toward the player when near and bites. Deep water drowns
// it, lava burns it.
class LandMonster : public MonsterObject {
public:
  GAMEOBJ_CLASS_COMMON(LandMonster)
  enum { WANDER, CHASE };
  static constexpr int SEGMENTS = 6;
  LandMonster() { health = max_health = 40; }
  float seg[SEGMENTS][3] = {}; // body points behind the head, nearest first
  void update(float dt) override;
  void render(float dt) override;
  void onDeath(const char* cause) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
  // Lays the body out straight behind the head.
  void straighten();
};
#define GAMEOBJ_WRITTEN_LandMonster ~, 1

// A harmless bird of a flock: the leader (no target) wanders over its home,
// the others (target: the leader) keep near it. Spells and deaths nearby
// scare the flock away for a while.
class BirdMonster : public MonsterObject {
public:
  GAMEOBJ_CLASS_COMMON(BirdMonster)
  enum { FLY, FLEE };
  BirdMonster() { health = max_health = 4; }
  float home[3] = {0, 0, 0};
  float phase = 0;
  bool hostile() override { return false; }
  void update(float dt) override;
  void render(float dt) override;
  void onDeath(const char* cause) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_BirdMonster ~, 1

// The world's monster spawning. The host keeps no list for this class, so
// the module holds one spawner (not saved): what it spawns comes from the
// world script each time, only its timer and switch are its own.
class MonsterSpawner : public TriggerObject {
public:
  GAMEOBJ_CLASS_COMMON(MonsterSpawner)
  bool enabled = true;
  float timer = 0;
  int spawned = 0;
  void update(float dt) override;
};
#define GAMEOBJ_WRITTEN_MonsterSpawner ~, 1

// Fireball: flies straight from the caster, bursts on land, water or a
// monster in its way: damage in a radius and fire.
class Fireball : public MissileObject {
public:
  GAMEOBJ_CLASS_COMMON(Fireball)
  float time_left = 4;
  float damage = 30;
  float radius = 5;
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_Fireball ~, 1

// A burning rock falling from the sky: a crater, fire and a shock wave.
class MeteorMissile : public MissileObject {
public:
  GAMEOBJ_CLASS_COMMON(MeteorMissile)
  float time_left = 8;
  float damage = 80;
  float radius = 14;
  LoopSound roar; // "meteor_missile" while it falls
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_MeteorMissile ~, 1

// The thunderstorm's seed rising to the sky over the target point, where it
// becomes the storm cloud.
class ThunderstormMissile : public MissileObject {
public:
  GAMEOBJ_CLASS_COMMON(ThunderstormMissile)
  float goal[3] = {0, 0, 0};
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_ThunderstormMissile ~, 1

// The storm cloud: strikes the monsters below it for a while.
class ThunderstormObject : public EffectObject {
public:
  GAMEOBJ_CLASS_COMMON(ThunderstormObject)
  GameObjRef caster;
  float time_left = 20;
  float strike_time = 1;
  float radius = 20;
  float damage = 25;
  int strikes = 0;
  int loaded_caster = 0;
  int referredId() override { return caster ? caster->serialId : 0; }
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
  void onLoaded() override;
};
#define GAMEOBJ_WRITTEN_ThunderstormObject ~, 1
