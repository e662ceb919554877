// The world's life: trees, stones, springs, natural volcanoes, triggers.
// Runs after the land, the water, the houses and the reserved places exist
// (place_world_objects has placed its objects). Every number comes from the
// game random generator, so a world is the same for the same seed.

// What grows and stands in each kind of world: trees per candidate spot in a
// forest (`forest`) and outside one (`open`), the share of forest, the tree
// kinds as weights [broad-leaved, fir, bush], the height band (as a share of
// the land's range) where trees grow, and how many stones of each kind.
LIFE_KINDS <- {
  islands   = { forest = 0.75, open = 0.05, cover = 0.45, kinds = [6, 3, 1], band = [0.0, 0.72],
                stones = 10, menhirs = 4, runestones = 1, cups = 1, springs = 1, volcanoes = 0 },
  volcanic  = { forest = 0.35, open = 0.02, cover = 0.3,  kinds = [1, 5, 2], band = [0.0, 0.55],
                stones = 16, menhirs = 2, runestones = 1, cups = 0, springs = 0, volcanoes = 2 },
  desert    = { forest = 0.2,  open = 0.03, cover = 0.2,  kinds = [0, 0, 1], band = [0.0, 0.6],
                stones = 14, menhirs = 3, runestones = 1, cups = 2, springs = 2, volcanoes = 0 },
  snowy     = { forest = 0.7,  open = 0.04, cover = 0.45, kinds = [0, 9, 1], band = [0.0, 0.6],
                stones = 8, menhirs = 5, runestones = 1, cups = 1, springs = 0, volcanoes = 0 },
  main_menu = { forest = 0.6,  open = 0.04, cover = 0.45,  kinds = [7, 2, 1], band = [0.0, 0.9],
                stones = 8, menhirs = 6, runestones = 1, cups = 2, springs = 1, volcanoes = 0 }
};
// Palettes that grow less (dry) or more (lush) than their kind.
LIFE_PALETTE_DENSITY <- { desert = 0.6, red_desert = 0.5, autumn = 1.1, meadow = 1.15 };

// Steepest land (the up component of its normal) a tree or stone stands on.
LIFE_MIN_UP <- 0.8;
// Candidate spots for trees: one per LIFE_STEP x LIFE_STEP cells, jittered.
LIFE_STEP <- 3;

function life_weighted(weights) {
  local total = 0;
  foreach (w in weights) total += w;
  local r = frnd() * total;
  foreach (i, w in weights) {
    if (r < w) return i;
    r -= w;
  }
  return weights.len() - 1;
}

// Dry, gentle land away from houses, reserved places and the player's start.
function life_spot_free(x, z, hm, slope, wm, lo, hi, radius) {
  local h = hm.getraw(x, z);
  return h >= lo && h <= hi && slope.getraw(x, z) > LIFE_MIN_UP && wm.getraw(x, z) == 0.0 &&
         test_circle_mark(x, z, radius, MARK_PLACEMENT, 0);
}

function place_trees(cfg, density, hm, slope, wm, r) {
  local lo = r[0] + (r[1] - r[0]) * cfg.band[0], hi = r[0] + (r[1] - r[0]) * cfg.band[1];
  // Forests are the high parts of a noise; `cover` of the land lies above the threshold.
  local forest = HmapMask.fromSimplexNoise(1.0, 6, 3, null, 0.5);
  local threshold = 0.6 - 1.2 * cfg.cover;
  local count = 0;
  for (local z = 0; z < HMAP_SIZE; z += LIFE_STEP)
    for (local x = 0; x < HMAP_SIZE; x += LIFE_STEP) {
      local tx = x + frnd() * LIFE_STEP, tz = z + frnd() * LIFE_STEP;
      local ix = tx.tointeger(), iz = tz.tointeger();
      local chance = (forest.getraw(ix, iz) > threshold ? cfg.forest : cfg.open) * density;
      if (frnd() >= chance) continue;
      if (!life_spot_free(ix, iz, hm, slope, wm, lo, hi, 1.0)) continue;
      spawn_tree(tx, tz, life_weighted(cfg.kinds));
      count++;
    }
  return count;
}

function place_stones(kind_name, n, hm, slope, wm, r) {
  for (local i = 0; i < n; i++)
    for (local tries = 0; tries < 20; tries++) {
      local x = frnd() * HMAP_SIZE, z = frnd() * HMAP_SIZE;
      if (!life_spot_free(x.tointeger(), z.tointeger(), hm, slope, wm, r[0], r[1], 1.5)) continue;
      spawn_stone(kind_name, x, z);
      mark_circle(x, z, 1.5, MARK_OBJ, 0);
      break;
    }
}

// A ring of menhirs on a flat, free place: the old stones of the world.
function place_stone_ring(hm, slope, wm, r) {
  for (local tries = 0; tries < 40; tries++) {
    local cx = frnd() * HMAP_SIZE, cz = frnd() * HMAP_SIZE;
    if (!life_spot_free(cx.tointeger(), cz.tointeger(), hm, slope, wm, r[0], r[1], 6.0)) continue;
    local n = rndi(5, 7);
    for (local i = 0; i < n; i++) {
      local a = 2.0 * PI * i / n;
      spawn_stone(i == 0 ? "runestone" : "menhir", cx + 4.5 * cos(a), cz + 4.5 * sin(a));
    }
    spawn_stone("cup", cx, cz);
    mark_circle(cx, cz, 6.0, MARK_OBJ, 0);
    return;
  }
}

// Springs on dry land high enough for their water to run somewhere.
function place_springs(n, hm, slope, wm, r) {
  for (local i = 0; i < n; i++)
    for (local tries = 0; tries < 40; tries++) {
      local x = frnd() * HMAP_SIZE, z = frnd() * HMAP_SIZE;
      local h = hm.getraw(x.tointeger(), z.tointeger());
      if (h < r[0] + (r[1] - r[0]) * 0.45 || !life_spot_free(x.tointeger(), z.tointeger(), hm, slope, wm, r[0], r[1], 2.0))
        continue;
      spawn_spring(x, z, rndf(0.05, 0.12));
      mark_circle(x, z, 2.0, MARK_OBJ, 0);
      break;
    }
}

// Natural volcanoes on the highest land (a volcanic world's cones).
function place_volcanoes(n, hm) {
  local peaks = [];
  for (local i = 0; i < n; i++) {
    local best = -1e9, bx = 0, bz = 0;
    for (local z = 0; z < HMAP_SIZE; z += 4)
      for (local x = 0; x < HMAP_SIZE; x += 4) {
        local h = hm.getraw(x, z);
        if (h <= best) continue;
        local near = false;
        foreach (p in peaks)
          if (fabs(p[0] - x) < 48 && fabs(p[1] - z) < 48) near = true;
        if (near) continue;
        best = h;
        bx = x;
        bz = z;
      }
    peaks.append([bx, bz]);
    spawn_volcano(bx + 0.5, bz + 0.5, rndf(70.0, 140.0));
  }
}

function place_life(kind, world) {
  // Tools that generate land without the game's module have no life to place.
  if (!(kind in LIFE_KINDS) || !("spawn_tree" in getroottable())) return;
  local cfg = LIFE_KINDS[kind];
  local density = 1.0;
  if (("cur_palette_name" in getroottable()) && (::cur_palette_name in LIFE_PALETTE_DENSITY))
    density = LIFE_PALETTE_DENSITY[::cur_palette_name];
  local hm = HmapMask.fromHeight();
  local slope = HmapMask.fromSlope();
  local wm = HmapMask.fromWater();
  local r = height_range();
  place_volcanoes(cfg.volcanoes, hm);
  place_stone_ring(hm, slope, wm, r);
  place_stones("stone", cfg.stones, hm, slope, wm, r);
  place_stones("menhir", cfg.menhirs, hm, slope, wm, r);
  place_stones("runestone", cfg.runestones, hm, slope, wm, r);
  place_stones("cup", cfg.cups, hm, slope, wm, r);
  place_springs(cfg.springs, hm, slope, wm, r);
  local trees = place_trees(cfg, density, hm, slope, wm, r);
  print("life: " + trees + " trees in a " + kind + " world\n");
}
