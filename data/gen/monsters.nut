// The creatures of each world: how the game spawns them, and the first ones.
//
// The game asks monster_spawn_values() for the world being played whenever
// it spawns: hostile monsters alive at most, seconds between spawns, the
// weights of wyverns and caterpillars, and the bird flocks kept in the
// world. Harder worlds (further into the universe, rougher kinds) spawn more.

KIND_DANGER <- { islands = 0, desert = 1, snowy = 1, volcanic = 2, main_menu = 0 };

// 0 for the first world, growing with the world's index and kind.
function world_difficulty(world) {
  if (world == null) return 0;
  local d = (world.index + 2) / 3;
  if (world.kind in KIND_DANGER) d += KIND_DANGER[world.kind];
  return d > 6 ? 6 : d;
}

function monster_spawn_values() {
  local w = ("cur_world" in getroottable()) ? ::cur_world : null;
  // The main menu's world: only birds.
  if (w == null) return { max = 0, interval = 20.0, wyvern = 0, caterpillar = 0, flocks = 2 };
  local d = world_difficulty(w);
  return {
    max = 2 + d * 2,
    interval = 45.0 - d * 5.0,
    wyvern = d == 0 ? 0.25 : 0.4 + 0.1 * d,
    caterpillar = 1.0,
    flocks = w.kind == "volcanic" ? 1 : 3
  };
}

// A new world starts with a flock or two and, past the first worlds, a
// monster far from where the player enters.
// Without the game (the world tools) there is nothing to place.
function place_monsters(kind, world) {
  if (world == null || !("spawn_monster" in getroottable())) return;
  local flocks = kind == "volcanic" ? 1 : 2;
  for (local i = 0; i < flocks; i++) spawn_monster("bird", rndf(0.0, 256.0), rndf(0.0, 256.0));
  if (world_difficulty(world) > 0) spawn_monster(frnd() < 0.5 ? "wyvern" : "caterpillar", rndf(0.0, 256.0), rndf(0.0, 256.0));
  place_tentacles(world);
}

// {===== The lake tentacles (the game's tentacle.cpp)
// A world with a lake (enough water deeper than TENTACLE_DEPTH) gets a
// tentacle in it, two in harder worlds, at least TENTACLE_SPACING apart.
TENTACLE_DEPTH <- 3.0;
TENTACLE_SPACING <- 40.0;

function place_tentacles(world) {
  if (world == null || !("spawn_monster" in getroottable())) return;
  local wm = HmapMask.fromWater();
  local deep = [];
  for (local z = 0; z < HMAP_SIZE; z += 4)
    for (local x = 0; x < HMAP_SIZE; x += 4)
      if (wm.getraw(x, z) > TENTACLE_DEPTH) deep.append([x, z]);
  if (deep.len() < 6) return; // a pond is no lake
  local want = world_difficulty(world) >= 3 ? 2 : 1;
  local placed = [];
  for (local tries = 0; placed.len() < want && tries < 40; tries++) {
    local p = deep[rndi(0, deep.len() - 1)];
    local ok = true;
    foreach (q in placed) if (wrap_distance(p[0], p[1], q[0], q[1]) < TENTACLE_SPACING) ok = false;
    if (ok && spawn_monster("tentacle", p[0] + 0.5, p[1] + 0.5) != 0) placed.append(p);
  }
}
