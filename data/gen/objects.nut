// Mana orbs, spell and resource pickups and the portal of each world.
//
// The functions spawn_mana_orb(x, z, amount), spawn_spell_pickup(class, x, z),
// spawn_res_pickup(kind, x, z) and spawn_portal_site(x, z) come from the
// game-object module and answer the object's serial id. Tools that generate
// worlds without the module have none of them; nothing is placed then.

// The spells found in the worlds, two per world in the order of the
// universe's worlds; later worlds give one spell of their kind's list.
SPELL_PICKUP_ORDER <- [
  ["WaterSourceSpell", "VolcanoSpell"],
  ["FaultSpell", "WaterSinkSpell"],
  ["WaterballSpell", "HealingSpell"],
  ["CastleSpell", "LightningSpell"],
  ["MeteorSpell", "GuardTowerSpell"],
  ["ThunderstormSpell"]
];
KIND_SPELLS <- {
  islands = ["WaterSourceSpell", "WaterballSpell", "HealingSpell", "WaterSinkSpell"],
  volcanic = ["VolcanoSpell", "MeteorSpell", "FaultSpell", "LightningSpell"],
  desert = ["WaterSourceSpell", "FaultSpell", "GuardTowerSpell", "MeteorSpell"],
  snowy = ["ThunderstormSpell", "LightningSpell", "CastleSpell", "VolcanoSpell"]
};

// Orbs keep at least this far apart (cells, across the wrap).
ORB_SPACING <- 36.0;

function wrap_distance(ax, az, bx, bz) {
  local dx = fabs(ax - bx) % HMAP_SIZE, dz = fabs(az - bz) % HMAP_SIZE;
  if (dx > HMAP_SIZE / 2) dx = HMAP_SIZE - dx;
  if (dz > HMAP_SIZE / 2) dz = HMAP_SIZE - dz;
  return sqrt(dx * dx + dz * dz);
}

// Dry land cells (no water or lava), sampled every other cell.
function dry_land() {
  local bm = BitMap();
  local wm = HmapMask.fromWater();
  for (local z = 0; z < HMAP_SIZE; z += 2)
    for (local x = 0; x < HMAP_SIZE; x += 2)
      if (wm.getraw(x, z) == 0.0) bm.set(x, z, true);
  return bm;
}

// Up to `count` random cells of `land` at least `spacing` apart and from
// `taken` (an array of [x, z]); the spacing relaxes when land is scarce.
function spread_places(land, count, spacing, taken) {
  local places = [];
  if (land.area() == 0) return places;
  for (local tries = 0; places.len() < count && tries < 400; tries++) {
    local i = land.randomPixel();
    if (i < 0) break;
    local x = map_index_x(i), z = map_index_z(i);
    local d = spacing * (tries < 200 ? 1.0 : 0.5);
    local ok = true;
    foreach (p in places) if (wrap_distance(x, z, p[0], p[1]) < d) { ok = false; break; }
    foreach (p in taken) if (ok && wrap_distance(x, z, p[0], p[1]) < d * 0.5) { ok = false; break; }
    if (ok) places.append([x, z]);
  }
  return places;
}

// A free place (not reserved by anything yet) on the given land, or null.
function free_place(land, taken) {
  for (local tries = 0; tries < 200; tries++) {
    local i = land.randomPixel();
    if (i < 0) return null;
    local x = map_index_x(i), z = map_index_z(i);
    if (!test_circle_mark(x, z, 3.0, MARK_PLACEMENT, 0)) continue;
    local ok = true;
    foreach (p in taken) if (wrap_distance(x, z, p[0], p[1]) < 12.0) { ok = false; break; }
    if (ok) return [x, z];
  }
  return null;
}

function spells_for_world(kind, world) {
  if (world.index < SPELL_PICKUP_ORDER.len()) return SPELL_PICKUP_ORDER[world.index];
  local list = kind in KIND_SPELLS ? KIND_SPELLS[kind] : KIND_SPELLS.islands;
  return [list[hash_int(world.seed) % list.len()]];
}

function place_world_objects(kind, world) {
  if (!("spawn_mana_orb" in getroottable())) return;
  local land = dry_land();
  // Orbs for every world, the main menu's too (they make its fly-over glow).
  local orbs = spread_places(land, rndi(5, 8), ORB_SPACING, []);
  foreach (p in orbs) spawn_mana_orb(p[0] + 0.5, p[1] + 0.5, 10 * rndi(3, 8));
  if (world == null) return;
  local taken = clone orbs;
  local flat = find_building_land(-1e9, 1e9, 0.85);
  if (flat.area() == 0) flat = land;
  local site = free_place(flat, taken);
  if (site != null) {
    spawn_portal_site(site[0] + 0.5, site[1] + 0.5);
    mark_circle(site[0], site[1], 3.0, MARK_OBJ, 0);
    taken.append(site);
  }
  foreach (spell in spells_for_world(kind, world)) {
    local p = free_place(land, taken);
    if (p == null) break;
    spawn_spell_pickup(spell, p[0] + 0.5, p[1] + 0.5);
    mark_circle(p[0], p[1], 2.0, MARK_OBJ, 0);
    taken.append(p);
  }
  if ("resource" in world) {
    local p = free_place(land, taken);
    if (p != null) {
      spawn_res_pickup(world.resource, p[0] + 0.5, p[1] + 0.5);
      mark_circle(p[0], p[1], 2.0, MARK_OBJ, 0);
    }
  }
}
