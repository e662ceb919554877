// The rules of mana and the portal as plain functions, so that tests check
// them without a world (mana.cpp and pickups.cpp use them).
#pragma once
#include <math.h>

// The portal opens once the player owns two thirds of the world's mana (a
// world without mana has no portal to earn).
inline bool portal_should_open(int owned, int total) { return total > 0 && 3LL * owned >= 2LL * total; }

// The offset from a to b along one axis of the 256-cell wrapping world, in
// [-128, 128): the way to the nearest copy of b.
inline float wrap_delta(float a, float b)
{
  float d = b - a;
  return d - 256.0f * floorf((d + 128.0f) / 256.0f);
}

// Squared distances to the nearest copy: across the land, and in space.
inline float wrap_dist2_xz(const float a[4], const float b[4])
{
  float dx = wrap_delta(a[0], b[0]), dz = wrap_delta(a[2], b[2]);
  return dx * dx + dz * dz;
}
inline float wrap_dist2(const float a[4], const float b[4])
{
  float dy = b[1] - a[1];
  return wrap_dist2_xz(a, b) + dy * dy;
}

// Reaches, in world units (cells).
constexpr float ORB_HOVER = 7.0f;         // an orb floats this high over land or fluid
constexpr float CLAIM_AIM_RADIUS = 10.0f; // an orb this near the aimed point is meant
constexpr float CLAIM_REACH = 90.0f;      // the caster reaches orbs this far away
constexpr float CLAIM_MISSILE_SPEED = 35.0f;
constexpr float PORTAL_REACH = 40.0f;     // the caster must be this near the portal
constexpr float PORTAL_AIM_RADIUS = 15.0f; // and aim this near it
constexpr float PICKUP_REACH = 5.0f;      // the player flying this near picks a pickup up
constexpr float PICKUP_HOVER = 1.5f;      // a pickup floats this high over the ground
