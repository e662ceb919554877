# The module's sources, as the game watches them while it runs: "import <list>"
# lines name further lists ("a.b" is a/b.ls), other lines name watched files.
import classes
src/funcs.cpp
src/objects.cpp
src/objects.h
CMakeLists.txt
src/save.cpp
src/game_world.h
src/world_queries.cpp
src/terrain_spells.cpp
src/ui_menus.cpp
src/ui_menus.h
src/ui_style.cpp
src/game.h
src/table_entries.h
src/player.cpp
src/spell_bar.cpp
src/fx.cpp
src/mana.cpp
src/ui_hud.cpp
src/ui_universe.cpp
src/monsters.cpp
src/living.cpp
src/living.h
src/living_rules.h
src/living_render.cpp
src/living_trees.cpp
src/living_stones.cpp
src/living_triggers.cpp
src/living_houses.cpp
src/gameobj_loader.h
