// Mana orbs, the portal, pickups and map arrows (mana.cpp, pickups.cpp).
// Included by classes.h before the plain classes are declared.
#pragma once

// A glowing orb floating over the land, holding `amount` mana. Claimed
// (owned) orbs are the player's: their mana counts towards the portal.
class ManaBall : public ResObject {
public:
  GAMEOBJ_CLASS_COMMON(ManaBall)
  int owned = 0; // 1 once claimed
  // Not saved: the glow's own clock and the flash of a fresh claim.
  float fx_clock = 0;
  float claim_flash = 0;
  LoopSound hum; // "mana_idle" while the camera is near
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_ManaBall ~, 1

// Flies from the caster to its orb and claims it on arrival.
class ClaimManaMissile : public MissileObject {
public:
  GAMEOBJ_CLASS_COMMON(ClaimManaMissile)
  GameObjRef target;   // the orb
  float time_left = 8; // seconds before it gives up
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_ClaimManaMissile ~, 1

// The way out of the world. It stands at its site from the start, closed and
// unseen, and opens once the player owns enough of the world's mana.
class WorldPortal : public BuildingObject {
public:
  GAMEOBJ_CLASS_COMMON(WorldPortal)
  int open = 0;
  // Not saved: the looping sound's channel (0: none) and the effect's clock.
  unsigned loop_channel = 0;
  float fx_clock = 0;
  ~WorldPortal() override;
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_WorldPortal ~, 1

// A pickup of one of the universe's resources (`kind`: shard, vortex,
// firebloom, star, seed); `amount` units go to universe.resources.
class GlobResObject : public ResObject {
public:
  GAMEOBJ_CLASS_COMMON(GlobResObject)
  char kind[16] = "shard";
  float fx_clock = 0; // not saved
  LoopSound hum;      // "res_loop" while the camera is near
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_GlobResObject ~, 1

// A beam of light rising from a pickup so it is seen from afar; goes with
// its owner.
class LightPillarEffect : public EffectObject {
public:
  GAMEOBJ_CLASS_COMMON(LightPillarEffect)
  GameObjRef owner;
  float fx_clock = 0; // not saved
  int referredId() override { return owner ? owner->serialId : 0; }
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_LightPillarEffect ~, 1
