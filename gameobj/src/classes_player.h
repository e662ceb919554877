// The player and the spells' missiles (player.cpp, spell_bar.cpp).
// Included by classes.h before the plain classes are declared.
#pragma once

class Player : public GameObj {
public:
  GAMEOBJ_CLASS_COMMON(Player)
};
#define GAMEOBJ_WRITTEN_Player ~, 1
