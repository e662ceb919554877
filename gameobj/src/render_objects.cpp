// Object shadows and the developer mode's world map.
#include "table_entries.h"

// stub: owner render
void render_dev_world_map(float) {}
