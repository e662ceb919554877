// The world script: generates worlds and the universe, answers the host's
// questions about worlds (tooltips, context menus, palette colours) and
// reacts to game events. Included files hold the pieces.

include("gen/util.nut");
include("gen/palette.nut");
include("gen/kinds.nut");
include("gen/universe.nut");
include("gen/objects.nut");
include("gen/life.nut");
include("gen/monsters.nut");

// Saved with the game (get_savegame_globals).
if (!("visited_worlds" in getroottable())) visited_worlds <- 0;
if (!("world_events" in getroottable())) world_events <- {};

KIND_TITLES <- {
  islands = "Temperate islands", volcanic = "Volcanic land", desert = "Desert canyons",
  snowy = "Snowy mountains", main_menu = "Meadow"
};

// The world being generated: the universe's entered world when there is
// one (its seed and kind), else a kind drawn from the current seed. A kind
// name given directly (previews) forces that kind.
function generate_world(kind) {
  local w = null;
  if (("universe" in getroottable()) && ::universe != null && ::universe.enteredWorld >= 0)
    w = ::universe.worlds[::universe.enteredWorld];
  if (w != null) {
    set_rnd_seed(w.seed);
    kind = w.kind;
  } else if (kind == "game") {
    kind = WORLD_KINDS[hash_int(irnd()) % WORLD_KINDS.len()];
  }
  if (!(kind in KIND_GENERATORS)) throw "unknown world kind '" + kind + "'";
  local g = KIND_GENERATORS[kind];
  select_palette(pick(g.palettes));
  show_splash("Shaping " + KIND_TITLES[kind], 0.05);
  g.gen(cur_palette);
  // The game's objects, once the land exists (w: the universe's entry, or
  // null for previews and the main menu's world).
  place_world_objects(kind, w);
  place_life(kind, w);
  place_monsters(kind, w);
  show_splash("Done", 1.0);
}

function get_world_tooltip(world) {
  if (typeof world != "table") return null;
  local text = world.name + "\n" + KIND_TITLES[world.kind];
  if ("resource" in world) text += "\nResource: " + world.resource;
  text += world.visited ? "\nVisited" : "\nUnexplored";
  return text;
}

function get_world_ctx_menu(world) {
  if (typeof world != "table") return null;
  local menu = [{ text = "Enter " + world.name, action = "enter", world = world.index }];
  if (world.links.len() > 0) menu.append({ text = "Show links", action = "show_links", world = world.index });
  return menu;
}

function process_event(event) {
  local name = typeof event == "table" && ("name" in event) ? event.name : event;
  if (typeof name != "string") return;
  world_events[name] <- (name in world_events ? world_events[name] : 0) + 1;
  if (name == "enter_world") {
    visited_worlds++;
    if (("cur_world" in getroottable()) && ::cur_world != null) ::cur_world.visited = true;
  }
}

function activate_current_world() {
  if (("cur_world" in getroottable()) && ::cur_world != null && (::cur_world.kind in KIND_GENERATORS))
    select_palette(KIND_GENERATORS[::cur_world.kind].palettes[0]);
}

function get_savegame_globals() {
  return { visited_worlds = visited_worlds, world_events = world_events, cur_palette_name = cur_palette_name };
}
