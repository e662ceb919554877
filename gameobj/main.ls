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
src/mana_rules.h
src/pickups.cpp
src/gameobj_loader.h
src/ui_hud.cpp
src/ui_universe.cpp
src/monsters.cpp
src/living.cpp
src/spells_local.h
src/spells_host.cpp
src/spells_terrain.cpp
src/spells_dev.cpp
src/missiles.cpp
src/ui_common.cpp
src/ui_common.h
src/ui_layout.h
src/ui_screens.h
