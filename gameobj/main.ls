# The module's sources, as the host watches them: "import <list>" lines name
# further lists ("a.b" is a/b.ls); every other line is for people.
import classes
src/funcs.cpp
src/objects.cpp
src/objects.h
CMakeLists.txt
