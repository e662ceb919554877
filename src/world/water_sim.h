// The fluid simulation: water and lava share the `water` grid (positive depth
// water, negative lava) and advance together, one step per update, as a
// shallow-fluid solver on a staggered grid. Face velocities are advected
// semi-Lagrangian-style and accelerated by the difference of fluid surfaces;
// fluid then moves between neighbouring cells along the faces. Lava is
// viscous, has a yield threshold and a per-cell stiffness, and hardens into
// land; where water and lava meet they turn into rock one for one.
//
// Invariant: a step reads the previous state from `tmpw` (after the swap) in
// its first pass only, so velocities and foam do not depend on the visiting
// order; the second pass moves fluid in place in `water`, cell by cell, rows
// z = 0..255 and x = 0..255 within a row. Sources and sinks are game objects
// that change `depth` directly; the solver keeps no other state.
#pragma once

namespace HeightmapData {

// One step of dt seconds (0.05 in play); timed under "fluid sim".
void simWater(float dt);
// Adds amount to the signed depth of every cell (lava gets shallower).
void addWaterEverywhere(float amount);
// Steam where water meets lava: at high graphics quality hands the cell,
// the height of the fluid surface and the amount that hardened to the
// game-object module's effect; otherwise nothing.
void water_vapor_fx(int x, int z, float height, float amount);

} // namespace HeightmapData

// The module's `spawn_water_vapor_fx`; null until the module is linked (the
// steam is then skipped).
extern void (*water_vapor_fx_hook)(int x, int z, float height, float amount);
