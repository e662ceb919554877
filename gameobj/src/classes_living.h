// The world's life: trees, stones, triggers, volcanoes (living.cpp).
// Included by classes.h before the plain classes are declared.
#pragma once
