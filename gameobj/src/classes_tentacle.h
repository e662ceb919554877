// The lake tentacle (tentacle*.cpp). Included by classes.h before the plain
// classes are declared.
#pragma once

// A creature of deep water: it lies on the bottom of its lake, rises when a
// player or a gatherer flies low within its sight, lashes at what comes
// within reach, and sinks back when hurt or when the water above it gets
// shallow. Lava kills it, and so does the loss of its lake (drained or
// filled). It stays where it was spawned.
class Tentacle : public MonsterObject {
public:
  GAMEOBJ_CLASS_COMMON(Tentacle)
  enum { DOWN, UP, LASH };
  Tentacle() { health = max_health = 50; }
  float rise = 0;      // 0 under water .. 1 fully risen
  float hide_time = 0; // seconds it stays under after a blow
  float dry_time = 0;  // seconds its lake has been gone
  float sway = 0;      // phase of its idle swaying
  void update(float dt) override;
  void render(float dt) override;
  void takeDamage(float amount, const char* cause) override;
  void onDeath(const char* cause) override;
  int query(int what) override;
  void saveFields(OutputStream& out) override;
  void loadFields(InputStream& in, int version, GameObjLoader& loader) override;
  void onLoaded() override;
};
#define GAMEOBJ_WRITTEN_Tentacle ~, 1
