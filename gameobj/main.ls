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
src/pickups.cpp
src/monsters_local.h
src/monsters_wyvern.cpp
src/monsters_land.cpp
src/monsters_birds.cpp
src/monsters_render.cpp
src/combat_spells.cpp
