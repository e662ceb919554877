# The game-object classes and the class table.
src/classes.h
src/classes.cpp
src/code_version.h
