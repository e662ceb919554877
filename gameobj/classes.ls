# The game-object classes and the class table.
src/classes.h
src/classes.cpp
src/code_version.h
src/classes_player.h
src/classes_mana.h
src/classes_monsters.h
src/classes_living.h
src/classes_tentacle.h
