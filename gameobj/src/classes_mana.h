// Mana orbs, the portal, pickups and map arrows (mana.cpp, pickups.cpp).
// Included by classes.h before the plain classes are declared.
#pragma once
