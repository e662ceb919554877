// The universe: 12 to 20 worlds on a map, linked into one network, each
// with its own seed and kind, and the global resources.

RESOURCE_NAMES <- ["shard", "vortex", "firebloom", "star", "seed"];

// The kind of a world follows from its seed alone (no draw), so the
// universe can show it before the world exists.
function kind_for_seed(seed, index) {
  if (index == 0) return "islands"; // the first world is always gentle
  return WORLD_KINDS[hash_int(seed) % WORLD_KINDS.len()];
}

NAME_PARTS <- [
  ["Ash", "Bel", "Cor", "Dun", "El", "Fen", "Gal", "Hal", "Ir", "Kel", "Lor", "Mor", "Nor", "Os", "Ral", "Sel", "Tor", "Ul", "Vey", "Wyr"],
  ["a", "e", "i", "o", "an", "en", "ar", "or", "ir", "ul"],
  ["dale", "holm", "mere", "fell", "reach", "moor", "stead", "wick", "garth", "crag", "fold", "haven"]
];

function make_world_name() {
  local name = pick(NAME_PARTS[0]);
  if (frnd() < 0.5) name += pick(NAME_PARTS[1]);
  return name + pick(NAME_PARTS[2]);
}

function world_distance(a, b) {
  local dx = a.pos[0] - b.pos[0], dy = a.pos[1] - b.pos[1];
  return sqrt(dx * dx + dy * dy);
}

function link_worlds(a, b) {
  if (a.links.find(b.index) == null) a.links.append(b.index);
  if (b.links.find(a.index) == null) b.links.append(a.index);
}

function generate_universe() {
  local count = rndi(12, 20);
  local worlds = [];
  local names = {};
  for (local i = 0; i < count; i++) {
    // Positions on the universe map (0..1000 by 0..600), kept apart.
    local pos = null;
    for (local tries = 0; tries < 40; tries++) {
      local p = [rndf(60.0, 940.0), rndf(60.0, 540.0)];
      local ok = true;
      foreach (w in worlds)
        if (world_distance(w, { pos = p }) < 110.0) { ok = false; break; }
      pos = p;
      if (ok) break;
    }
    local name = make_world_name();
    while (name in names) name = make_world_name();
    names[name] <- true;
    local seed = irnd();
    worlds.append({
      index = i, name = name, seed = seed, kind = kind_for_seed(seed, i), pos = pos, links = [],
      resource = RESOURCE_NAMES[i % RESOURCE_NAMES.len()], visited = false
    });
  }
  // A spanning tree of the nearest links from world 0, then a few shortcuts.
  local inside = [worlds[0]];
  local outside = worlds.slice(1);
  while (outside.len() > 0) {
    local best = null, bi = -1, bo = -1;
    foreach (i, a in inside)
      foreach (o, b in outside) {
        local d = world_distance(a, b);
        if (best == null || d < best) { best = d; bi = i; bo = o; }
      }
    link_worlds(inside[bi], outside[bo]);
    inside.append(outside[bo]);
    outside.remove(bo);
  }
  for (local k = count / 4; k > 0; k--) {
    local a = worlds[rndi(0, count - 1)], b = worlds[rndi(0, count - 1)];
    if (a != b && world_distance(a, b) < 320.0) link_worlds(a, b);
  }
  local resources = {};
  foreach (r in RESOURCE_NAMES) resources[r] <- 0;
  return { worlds = worlds, resources = resources, enteredWorld = -1 };
}
