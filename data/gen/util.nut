// Small helpers shared by the world kinds.

function clamp(v, a, b) { return v < a ? a : (v > b ? b : v); }
function lerp(a, b, t) { return a + (b - a) * t; }
function smoothstep(a, b, v) {
  local t = clamp((v - a) / (b - a), 0.0, 1.0);
  return t * t * (3.0 - 2.0 * t);
}

// A pure 32-bit hash of an integer (no draw from the game random generator).
function hash_int(n) {
  n = n ^ (n >>> 16);
  n = n * 0x45D9F3B;
  n = n ^ (n >>> 16);
  n = n * 0x45D9F3B;
  n = n ^ (n >>> 16);
  return n & 0x7FFFFFFF;
}

// A colour (packed integer or vec4f) as a new vec4f.
function as_vec(c) { return lerpcolor(c, c, 0.0); }

function pick(arr) { return arr[rndi(0, arr.len() - 1)]; }

// Height range of the land as [min, max].
function height_range() { return HmapMask.fromHeight().calcMinMax(); }

// Height below which `fraction` of the cells lie, from a coarse histogram
// of every fourth cell in each direction.
function height_quantile(fraction) {
  local r = height_range();
  local lo = r[0], hi = r[1];
  if (hi <= lo) return lo;
  local bins = array(64, 0);
  local k = 63.999 / (hi - lo);
  local hm = HmapMask.fromHeight();
  for (local z = 0; z < HMAP_SIZE; z += 4)
    for (local x = 0; x < HMAP_SIZE; x += 4)
      bins[((hm.getraw(x, z) - lo) * k).tointeger()]++;
  local want = fraction * 4096, acc = 0;
  for (local i = 0; i < 64; i++) {
    acc += bins[i];
    if (acc >= want) return lo + (i + 1) / k;
  }
  return hi;
}

// Water up to `level` over all land below it; lava stays.
function flood_to_level(level) {
  apply_water_mask(HmapMask.fromHeight(), function(w, h) { return w < 0.0 ? w : (h < level ? level - h : 0.0); });
}

// Cells that are dry land between two heights and not steeper than
// `min_up` (the up component of the normal), sampled every `step` cells.
function find_flat_land(lo, hi, min_up, step) {
  local bm = BitMap();
  local hm = HmapMask.fromHeight();
  local slope = HmapMask.fromSlope();
  local wm = HmapMask.fromWater();
  for (local z = 0; z < HMAP_SIZE; z += step)
    for (local x = 0; x < HMAP_SIZE; x += step) {
      local h = hm.getraw(x, z);
      if (h > lo && h < hi && slope.getraw(x, z) > min_up && wm.getraw(x, z) == 0.0)
        bm.set(x, z, true);
    }
  return bm;
}

// Flat dry land between two heights, relaxing the slope limit and then the
// height band until some is found.
function find_building_land(lo, hi, min_up) {
  local flat = find_flat_land(lo, hi, min_up, 2);
  if (flat.area() < 12) flat = find_flat_land(lo, hi, min_up - 0.1, 2);
  if (flat.area() < 12) flat = find_flat_land(lo, 1e9, min_up - 0.2, 2);
  return flat;
}

// Houses spread over the flat land, each with a reserved place for an
// object next to it; returns the house positions.
function place_village(flat, count) {
  local houses = [];
  if (flat.area() == 0) return houses;
  flat.placePoints(count, function(x, z) {
    if (!test_circle_mark(x, z, 4.0, MARK_PLACEMENT, 0)) return;
    place_house(x, z, rndi(0, 4));
    mark_circle(x + 5, z + 3, 2.0, MARK_PLACE, 0);
    houses.append([x, z]);
  });
  return houses;
}

// Object places (trees, resources, portals) reserved on flat land.
function reserve_places(flat, count, radius) {
  if (flat.area() == 0) return;
  flat.placePoints(count, function(x, z) {
    if (test_circle_mark(x, z, radius, MARK_PLACEMENT, 0)) mark_circle(x, z, radius, MARK_OBJ, 0);
  });
}

// The player's start: the flattest dry cell near the middle of the flat land.
function set_start(flat, fallback_x, fallback_z) {
  local x = fallback_x, z = fallback_z;
  local i = flat.randomPixel();
  if (i >= 0) {
    x = map_index_x(i);
    z = map_index_z(i);
  }
  flatten_circle(x, z, 3.0, get_average_circle_height(x, z, 3.0), 0.8, 1.0);
  local h = get_average_circle_height(x, z, 1.0);
  set_player_pos(vec4f(x + 0.5, h + 1.0, z + 0.5, 1.0));
  mark_circle(x, z, 3.0, MARK_OBJ, 0);
}

// Top layers by height and slope: grass on gentle land between the shore
// and the tree line (its tint varies with a noise), snow above the snow
// line on all but the steepest rock.
// Farm fields: patches grown at random from points spread over the land.
function make_fields(land, count, min_size, max_size) {
  local fields = BitMap();
  if (land.area() == 0) return fields;
  land.placePoints(count, function(x, z) {
    fields.bitwiseInplace(land.randomFill(x, z, rndi(min_size, max_size)), 14, 0, 0);
  });
  return fields;
}

// `bare_lift` (0..1) draws steep bare ground below the snow line towards
// a light washed soil colour, so erosion gullies read as washed earth instead of
// dark cuts.
function paint_cover(pal, shore, tree_line, snow_line, grass_slope, fields = null, bare_lift = 0.0) {
  local hm = HmapMask.fromHeight();
  local slope = HmapMask.fromSlope();
  local wm = HmapMask.fromWater();
  local tint = HmapMask.fromSimplexNoise(0.5, 8, 3, null, 0.5);
  local grass = pal.grass, dry = pal.grass_dry, snow = pal.snow, bare = lerpcolor(pal.soil, pal.sand, 0.3);
  repaint_land(function(x, z, color, top) {
    local h = hm.getraw(x, z), s = slope.getraw(x, z);
    if (wm.getraw(x, z) != 0.0) return [color, GT_SOIL];
    if (bare_lift > 0.0 && h < snow_line)
      color = lerpcolor(color, bare, bare_lift * (1.0 - smoothstep(grass_slope - 0.1, grass_slope + 0.25, s)));
    if (h > snow_line) {
      local a = smoothstep(snow_line, snow_line + 3.0, h) * smoothstep(0.45, 0.7, s);
      if (a > 0.05) {
        local c = as_vec(snow);
        c[3] = a;
        return [color, GT_ROCK, c, ST_SNOW];
      }
      return [color, GT_ROCK];
    }
    if (fields != null && fields.get(x, z)) {
      // Rows of crops across the field, alternating ripe and green.
      local c = ((x + z) & 3) < 2 ? as_vec(dry) : lerpcolor(grass, dry, 0.3);
      c[3] = 0.9;
      return [lerpcolor(color, pal.soil, 0.7), GT_SOIL, c, ST_GRASS];
    }
    if (h > shore && h < tree_line) {
      local a = smoothstep(grass_slope, grass_slope + 0.12, s) * smoothstep(shore, shore + 0.6, h)
              * (1.0 - smoothstep(tree_line - 3.0, tree_line, h));
      if (a > 0.05) {
        local c = lerpcolor(grass, dry, clamp(0.25 + 0.7 * tint.getraw(x, z) + 0.3 * (h - shore) / (tree_line - shore), 0.0, 1.0));
        c[3] = a;
        return [color, GT_SOIL, c, ST_GRASS];
      }
    }
    return [color, s > 0.7 ? GT_SOIL : GT_ROCK];
  });
}
