// The lake tentacle's numbers (tentacle.cpp, tentacle_render.cpp), in world
// units (cells), seconds and health points.
#pragma once

namespace tentacle {

constexpr float RISE_DEPTH = 2.0f;      // it rises only from water deeper than this
constexpr float LAKE_GONE_DEPTH = 0.3f; // shallower: its lake is gone ...
constexpr float DRY_SECONDS = 2.0f;     // ... and after this long it dies
constexpr float LAVA_DEPTH = 0.05f;     // lava deeper than this kills it at once
constexpr float SIGHT = 24;             // on the ground: it rises at what flies this near
constexpr float LOW = 14;               // ... no higher than this over the surface
constexpr float REACH = 9;              // on the ground: it lashes at what is this near
constexpr float LASH_DAMAGE = 12;
constexpr float LASH_INTERVAL = 2.0f;   // between lashes
constexpr float LASH_SECONDS = 0.6f;    // the lash's swing
constexpr float RISE_SPEED = 0.6f;      // of the whole height a second
constexpr float SINK_SPEED = 1.2f;
constexpr float HIDE_SECONDS = 5;       // under water after a blow
constexpr float LENGTH = 9;             // risen, from the surface to the tip
constexpr int SPAWN_SEARCH = 6;         // cells round a spawn point searched for the deepest water
constexpr float SHORE_SEARCH = 14;      // how far its drop may wash ashore
constexpr const char* DROP = "vortex";  // the resource it leaves

// Tentacle::query
enum { Q_STATE = 2, Q_RISE_PERMILLE = 3, Q_HEALTH = 4 };

} // namespace tentacle
