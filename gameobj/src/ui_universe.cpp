// The universe screen: the worlds as a map, entering a world.
// (Not built yet: these do nothing.)
#include "game.h"
#include "table_entries.h"

void open_universe_gui() { }
void set_world_icon_params() { }
void set_radio() { }
void get_radio() { }
void set_slider() { }
void place_popup() { }

void register_screen_dev_commands() {}
