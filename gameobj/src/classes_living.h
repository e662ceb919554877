// The world's life: trees, stones, triggers, volcanoes (living*.cpp).
// Included by classes.h before the plain classes are declared.
#pragma once

// The standing stones: each draws its own mesh.
#define LIVING_STONE(name, mesh) \
  class name : public HumanoidStaticObject { \
  public: \
    GAMEOBJ_CLASS_COMMON(name) \
    const char* meshName() override { return mesh; } \
  };
LIVING_STONE(Stone1StaticObject, "stone1")
LIVING_STONE(Menhir1StaticObject, "menhir1")
LIVING_STONE(Menhir2StaticObject, "menhir2")
LIVING_STONE(StoneCup1Object, "stone_cup1")
#undef LIVING_STONE
#define GAMEOBJ_WRITTEN_Stone1StaticObject ~, 1
#define GAMEOBJ_WRITTEN_Menhir1StaticObject ~, 1
#define GAMEOBJ_WRITTEN_Menhir2StaticObject ~, 1
#define GAMEOBJ_WRITTEN_StoneCup1Object ~, 1

// Fires when the local player comes within `radius` (across the land).
class Sensor : public TriggerObject {
public:
  GAMEOBJ_CLASS_COMMON(Sensor)
  float radius = 5;
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_Sensor ~, 1

// Fires when the world clock reaches `fire_tick`.
class TimeTrigger : public TriggerObject {
public:
  GAMEOBJ_CLASS_COMMON(TimeTrigger)
  int fire_tick = 0;
  int query(int what) override;
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_TimeTrigger ~, 1

// A volcano of the world: quiet for about `period` seconds, then erupting
// for `eruption_seconds`, pouring lava from its crater with smoke and sound.
class NaturalVolcano : public StaticObject {
public:
  GAMEOBJ_CLASS_COMMON(NaturalVolcano)
  float period = 90;
  float radius = 2;        // of the crater the lava comes from
  float lava_rate = 0.6f;  // depth per second at the crater's centre
  float eruption_seconds = 5;
  float timer = 60;        // quiet: seconds until the next eruption; erupting: seconds left
  bool erupting = false;
  float smoke_timer = 0;   // not saved: when the next puff of smoke rises
  int eruptions = 0;
  int query(int what) override;
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_NaturalVolcano ~, 1

// Flames and smoke over something burning: a tree (`target`, gone when the
// tree stops burning) or, without a target, a house burning for `life` seconds.
class BurnEffect : public EffectObject {
public:
  GAMEOBJ_CLASS_COMMON(BurnEffect)
  GameObjRef target;
  float life = 0;
  float fx_timer = 0;     // not saved
  unsigned sound_ch = 0;  // the fire's "burn_loop" (not saved: started again after loading)
  float sound_retry = 0;  // not saved
  ~BurnEffect() override;
  int referredId() override { return target ? target->serialId : 0; }
  void update(float dt) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
};
#define GAMEOBJ_WRITTEN_BurnEffect ~, 1
