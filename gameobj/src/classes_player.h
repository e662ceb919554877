// The player and the spells' missiles (player.cpp, missiles.cpp).
// Included by classes.h before the plain classes are declared.
#pragma once

// The game-object block version from which the player and the spells'
// missiles save fields of their own; older blocks hold none and load with
// the defaults below.
constexpr int SPELLS_FIELDS_VERSION = 3;

class Player : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(Player)
  float health = 100, max_health = 100;
  float mana = 100, max_mana = 100;
  // Where the player came into the world: the respawn point without a castle.
  float entry_pos[4] = {0, 0, 0, 1};
  bool entry_set = false;
  // Seconds since the last harm; slow healing waits for a quiet while.
  float since_hurt = 0;
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_Player ~, 1

// A spell's missile: flies in a straight line from the caster to `target`
// and makes its change there (arrive). Not a class of the table itself; the
// spells' missile classes derive from it.
class SpellMissile : public MissileObject {
public:
  float target[4] = {0, 0, 0, 1};
  float time_left = 0; // seconds until it arrives
  void update(float dt) override;
  virtual void arrive() {}
  // The effects script's function drawn along the flight, and its size.
  virtual const char* trailFx() { return "spawn_magic_missile_fx"; }
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};

#define SPELL_MISSILE_CLASS(name)    \
  class name : public SpellMissile { \
  public:                            \
    GAMEOBJ_CLASS_COMMON(name)       \
    void arrive() override;          \
  };
SPELL_MISSILE_CLASS(HillMissile)
SPELL_MISSILE_CLASS(PitMissile)
SPELL_MISSILE_CLASS(FaultMissile)
SPELL_MISSILE_CLASS(VolcanoMissile)
SPELL_MISSILE_CLASS(WaterSourceMissile)
SPELL_MISSILE_CLASS(WaterSinkMissile)
#undef SPELL_MISSILE_CLASS

class Waterball : public SpellMissile {
public:
  GAMEOBJ_CLASS_COMMON(Waterball)
  void arrive() override;
  const char* trailFx() override { return "spawn_waterball_missile_fx"; }
};

#define GAMEOBJ_WRITTEN_HillMissile ~, 1
#define GAMEOBJ_WRITTEN_PitMissile ~, 1
#define GAMEOBJ_WRITTEN_FaultMissile ~, 1
#define GAMEOBJ_WRITTEN_VolcanoMissile ~, 1
#define GAMEOBJ_WRITTEN_WaterSourceMissile ~, 1
#define GAMEOBJ_WRITTEN_WaterSinkMissile ~, 1
#define GAMEOBJ_WRITTEN_Waterball ~, 1
