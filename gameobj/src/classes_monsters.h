// Creatures and the combat spells' missiles (monsters.cpp).
// Included by classes.h before the plain classes are declared.
#pragma once
