// What the castle's files share: the castle's spell and life (castle.cpp),
// the gatherers (castle_gatherers.cpp) and the drawing (castle_render.cpp).
#pragma once
#include "castle_rules.h"
#include "game.h"

// The gatherers' numbers.
constexpr float GATHERER_SPEED = 8.0f;     // units a second
constexpr float GATHERER_ALTITUDE = 5.0f;  // over land or fluid while flying
constexpr float GATHERER_DRAW_TIME = 3.0f; // seconds at an orb
constexpr float GATHERER_LOAD = 5.0f;      // mana brought home per trip
constexpr float GATHERER_CORPSE_TIME = 6.0f;
constexpr float SUMMON_EVERY = 8.0f;       // seconds between summonings
constexpr float REPLACE_DELAY = 30.0f;     // after a gatherer was killed
// The castle's healing.
constexpr float CASTLE_HEAL_PER_SECOND = 1.0f;
constexpr float CASTLE_HEAL_AFTER = 5.0f;

// ===== castle.cpp
// The castle when exactly one stands, else null.
CastleObject* single_castle_object();
// The player the castle's mana goes to: its owner, else the local player.
Player* castle_owner(CastleObject* castle);

// ===== castle_gatherers.cpp
int claimed_orb_count();
// Living (not dead) gatherers of a castle.
int castle_gatherer_count(const CastleObject* castle);
// The castle's summoning, once per step.
void castle_summon(CastleObject* castle, float dt);
// A gatherer of this castle was killed: the next one comes later.
void castle_gatherer_lost(CastleObject* castle);

// ===== castle_render.cpp
void draw_castle(const CastleObject* castle);
void draw_gatherer(const ManaGatherer* g);
