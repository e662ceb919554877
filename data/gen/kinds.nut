// The kinds of world. Each builds the terrain, colours it, erodes it, adds
// water or lava, top layers, houses and reserved places, and sets the sun,
// the sky and the player's start. Every number comes from the game random
// generator, so a world is the same for the same seed.

WORLD_KINDS <- ["islands", "volcanic", "desert", "snowy"];

// Erosion shared by all kinds: at least 200,000 droplets; deposits weather
// through the kind's reactions.
EROSION_DROPLETS <- 220000;

// A height ramp from palette colours: `keys` is an array of [t, colour]
// with t rising from 0 to 1.
function height_ramp(keys) {
  return ColorRamp(function(t) {
    local n = keys.len();
    if (t <= keys[0][0]) return as_vec(keys[0][1]);
    for (local i = 1; i < n; i++)
      if (t <= keys[i][0]) {
        local a = keys[i - 1], b = keys[i];
        return lerpcolor(a[1], b[1], (t - a[0]) / (b[0] - a[0]));
      }
    return as_vec(keys[n - 1][1]);
  });
}

// Position of height h in the range [lo, hi] as 0..1.
function height_t(h, r) { return (h - r[0]) / (r[1] - r[0]); }

function sun_from_angles(azimuth, elevation) {
  local a = azimuth * PI / 180.0, e = elevation * PI / 180.0;
  return vec4f(cos(a) * cos(e), sin(e), sin(a) * cos(e), 0.0);
}

// {===== Temperate islands

function gen_islands(pal) {
  reseed_noise();
  add_simplex_noise(0.0, 40.0, pick([2, 4, 4]), 5, 0.5);
  add_voronoi_hills(8, 0.0, 10.0, 0.95);
  add_fast_noise(0.0, 5.0, null, GT_NONE, 255, 0.55);
  recenter_hmap();
  local sea_share = rndf(0.45, 0.6);
  local sea = height_quantile(sea_share);
  local r = height_range();
  local ts = height_t(sea, r);
  recolor_by_height(height_ramp([
    [0.0, pal.soil_dark], [ts - 0.04, pal.sand], [ts + 0.025, pal.sand], [ts + 0.06, pal.soil],
    [ts + 0.3, pal.soil_dark], [ts + 0.42, pal.rock], [0.92, pal.rock_dark], [1.0, pal.snow]]), null);
  show_splash("Calculating erosion", 0.3);
  gen_droplet_erosion(EROSION_DROPLETS, {
    Kq = 2.5, Kr = 0.4, Kd = 0.5, Kw = 0.15, Ki = 0.5, minSlope = 0.01, depositBlend = 1.5, reactionTime = 10.0,
    // Washed-down soil settles darker: the rate falls as the colour darkens.
    reactions = [[vec4f(1, 1, 1, 0), vec4f(0.9, 0.88, 0.9, 0), 0.01]]
  });
  show_splash("Seas and cover", 0.8);
  // Sediment filled the basins: the sea keeps its share of the world.
  sea = height_quantile(sea_share);
  flood_to_level(sea);
  mark_water(0.0, MARK_WATER, 0);
  local fields = make_fields(find_flat_land(sea + 0.8, sea + 10.0, 0.9, 1), rndi(2, 6), 120, 400);
  paint_cover(pal, sea + 0.3, sea + 20.0, r[1] - 3.0, 0.6, fields, 0.85);
  local flat = find_building_land(sea + 1.0, sea + 12.0, 0.9);
  local houses = place_village(flat, rndi(4, 8));
  reserve_places(flat, 12, 2.0);
  set_start(flat, 128, 128);
  set_sun_dir(sun_from_angles(rndf(0, 360), rndf(35, 60)));
  set_sky_name("normal");
}

// {===== Volcanic land with lava lakes

function add_volcano(cx, cz, radius, height, pal) {
  local m = HmapMask();
  m.processRect(cx - radius, cz - radius, cx + radius, cz + radius, function(x, z, v) {
    local dx = x - cx, dz = z - cz;
    local d = sqrt(dx * dx + dz * dz) / radius;
    return d < 1.0 ? height * pow(1.0 - d, 1.4) : 0.0;
  });
  apply_height_mask(m, null);
  // Crater depth is relative to its radius.
  gen_crater(cx, cz, radius * 0.16, height * 0.3 / (radius * 0.16));
  // Side vents overlapping the main crater break up its round outline.
  side_vents(cx, cz, radius * 0.16, height * 0.3 / (radius * 0.16), rndi(2, 3));
}

// `count` smaller craters whose centres lie inside the rim of a crater of
// radius `radius` at (cx, cz), so the basin's outline is lobed.
function side_vents(cx, cz, radius, depth, count) {
  local a = frnd() * 2.0 * PI;
  for (local i = 0; i < count; i++) {
    a += rndf(1.4, 2.8);
    local d = radius * rndf(0.45, 0.8), r = radius * rndf(0.45, 0.7);
    gen_crater(cx + cos(a) * d, cz + sin(a) * d, r, depth * rndf(0.5, 0.8));
  }
}

// Lava over the cells around (cx, cz) that lie below `level`. A tiling
// noise (`warp`) bends both the reach and the level, so the shore follows
// neither a circle nor the crater's contour exactly.
function fill_lava(cx, cz, radius, level, warp) {
  local hm = HmapMask.fromHeight();
  local lava = HmapMask();
  local reach = radius * 1.3;
  lava.processRect(cx - reach, cz - reach, cx + reach, cz + reach, function(x, z, v) {
    local dx = x - cx, dz = z - cz;
    local n = warp.getraw(x, z);
    local lim = radius * (0.85 + 0.5 * n);
    if (dx * dx + dz * dz > lim * lim) return 0.0;
    local h = hm.getraw(x, z);
    local l = level + 0.6 * n;
    return h < l ? h - l : 0.0;
  });
  apply_water_mask(lava, null);
}

// A lava flow from (x, z) downhill: each step moves to the lowest of the
// eight neighbours not yet covered (small pits are crossed, ties broken by
// the game random generator) and leaves a shallow lava channel; it stops
// where every way climbs more than a unit, or after `steps`.
function lava_flow(lava, hm, x, z, steps) {
  x = x.tointeger();
  z = z.tointeger();
  local seen = {};
  for (local i = 0; i < steps; i++) {
    seen[make_map_index(x, z)] <- true;
    local here = hm.getraw(x, z);
    local bx = x, bz = z, best = here + 1.0;
    foreach (d in [[1, 0], [-1, 0], [0, 1], [0, -1], [1, 1], [-1, 1], [1, -1], [-1, -1]]) {
      if (make_map_index(x + d[0], z + d[1]) in seen) continue;
      local h = hm.getraw(x + d[0], z + d[1]) + frnd() * 0.05;
      if (h < best) { best = h; bx = x + d[0]; bz = z + d[1]; }
    }
    if (bx == x && bz == z) break;
    x = bx;
    z = bz;
    local depth = -0.6 * (1.0 - i.tofloat() / steps) - 0.15;
    lava.set(x, z, depth);
    lava.set(x + rndi(-1, 1), z + rndi(-1, 1), depth * 0.8);
    lava.set(x + rndi(-1, 1), z + rndi(-1, 1), depth * 0.6);
  }
}

function gen_volcanic(pal) {
  reseed_noise();
  gen_voronoi_faults(4, 0.0, 16.0, 0.7, 2, 3, 5.0);
  add_simplex_noise(0.0, 16.0, 4, 4, 0.5);
  add_fast_noise(0.0, 3.0, null, GT_NONE, 255, 0.6);
  local cones = [];
  local n = rndi(2, 4);
  for (local i = 0; i < n; i++) {
    local c = [hmfrnd(), hmfrnd(), rndf(30.0, 50.0), rndf(30.0, 48.0)];
    cones.append(c);
    add_volcano(c[0], c[1], c[2], c[3], pal);
  }
  recenter_hmap();
  local r = height_range();
  local sea = height_quantile(0.12);
  local ts = height_t(sea, r);
  recolor_by_height(height_ramp([
    [0.0, pal.rock_dark], [ts, pal.sand], [ts + 0.05, pal.soil], [0.45, pal.rock],
    [0.75, pal.rock_dark], [1.0, pal.ash]]), null);
  show_splash("Calculating erosion", 0.3);
  gen_droplet_erosion(EROSION_DROPLETS, {
    Kq = 5.0, Kr = 0.6, Kd = 0.5, Kw = 0.15, Ki = 0.5, minSlope = 0.01, depositBlend = 2.5, reactionTime = 10.0,
    // Fresh ash darkens as it settles.
    reactions = [[vec4f(1, 1, 1, 0), vec4f(0.85, 0.85, 0.86, 0), 0.015]]
  });
  show_splash("Lava and sea", 0.8);
  local warp = HmapMask.fromSimplexNoise(1.0, 32, 3, null, 0.5);
  foreach (c in cones) {
    local floor = get_average_circle_height(c[0], c[1], c[2] * 0.1);
    fill_lava(c[0], c[1], c[2] * 0.3, floor + 2.5, warp);
  }
  // Lava spilling over the rims of some craters.
  local hm0 = HmapMask.fromHeight();
  local flows = HmapMask();
  foreach (c in cones)
    for (local k = rndi(1, 3); k > 0; k--) {
      local a = frnd() * 2.0 * PI, rim = c[2] * 0.38;
      lava_flow(flows, hm0, c[0] + cos(a) * rim, c[1] + sin(a) * rim, rndi(25, 70));
    }
  apply_water_mask(flows, function(w, f) { return f < 0.0 && w <= 0.0 ? (w < f ? w : f) : w; });
  // A few lava pools in the lowlands.
  for (local i = rndi(1, 3); i > 0; i--) {
    local x = hmfrnd(), z = hmfrnd();
    local cr = rndf(5.0, 9.0), cd = rndf(0.25, 0.45);
    gen_crater(x, z, cr, cd);
    side_vents(x, z, cr, cd, rndi(1, 3));
    fill_lava(x, z, 12.0, get_average_circle_height(x, z, 2.0) + 1.5, warp);
  }
  flood_to_level(sea);
  mark_water(0.0, MARK_WATER, 0);
  local hm = HmapMask.fromHeight();
  local slope = HmapMask.fromSlope();
  local wm = HmapMask.fromWater();
  local ash = pal.ash, grass = pal.grass_dry;
  repaint_land(function(x, z, color, top) {
    local w = wm.getraw(x, z);
    if (w < 0.0) return [pal.lava, GT_ROCK];
    if (w > 0.0) return [color, GT_SOIL];
    local h = hm.getraw(x, z), s = slope.getraw(x, z);
    local t = height_t(h, r);
    if (t > 0.5 && s > 0.6) {
      local c = as_vec(ash);
      c[3] = smoothstep(0.5, 0.7, t) * 0.8;
      return [color, GT_ROCK, c, ST_ASH];
    }
    if (t < 0.45 && s > 0.8 && h > sea + 0.3) {
      local c = as_vec(grass);
      c[3] = 0.8 * smoothstep(0.8, 0.92, s) * (1.0 - smoothstep(0.3, 0.45, t));
      return [color, GT_SOIL, c, ST_GRASS];
    }
    return [color, GT_ROCK];
  });
  local flat = find_building_land(sea + 1.0, r[0] + (r[1] - r[0]) * 0.4, 0.9);
  place_village(flat, rndi(2, 4));
  reserve_places(flat, 8, 2.0);
  set_start(flat, 64, 64);
  set_sun_dir(sun_from_angles(rndf(0, 360), rndf(30, 50)));
  set_sky_name("volcanic");
}

// {===== Desert canyons

function gen_desert(pal) {
  reseed_noise();
  gen_voronoi_faults(4, 0.0, 20.0, 0.8, 2, 3, 7.0);
  add_fast_noise(0.0, 4.0, null, GT_NONE, 255, 0.5);
  // Canyons follow the zero lines of a noise: |n| small means deep.
  local ridge = FloatRamp(function(t) { return fabs(t * 2.0 - 1.0); });
  local canyon = HmapMask.fromSimplexNoise(1.0, 2, 3, ridge, 0.45);
  local depth = rndf(16.0, 24.0);
  apply_height_mask(canyon, function(h, c) {
    local k = 1.0 - smoothstep(0.0, 0.3, c);
    return h - k * depth;
  });
  recenter_hmap();
  local r = height_range();
  // Layered rock: alternating bands over the height range.
  local bands = [];
  local band_colors = [pal.sand, pal.rock, pal.soil, pal.rock_dark, pal.sand, pal.rock, pal.soil_dark];
  local t = 0.0, i = 0;
  bands.append([0.0, pal.sand]);
  while (t < 1.0) {
    t += rndf(0.05, 0.14);
    bands.append([t < 1.0 ? t : 1.0, band_colors[i % band_colors.len()]]);
    i++;
  }
  recolor_by_height(height_ramp(bands), null);
  show_splash("Calculating erosion", 0.3);
  gen_droplet_erosion(EROSION_DROPLETS, {
    Kq = 5.0, Kr = 0.6, Kd = 0.4, Kw = 0.1, Ki = 0.5, minSlope = 0.01, depositBlend = 3.0, reactionTime = 10.0,
    // Deposits bleach towards sand: red and green rise while blue lasts.
    reactions = [[vec4f(0, 0, 1, 0), vec4f(0.05, 0.04, 0.98, 0), 0.01]]
  });
  show_splash("Oases", 0.8);
  local oasis = height_quantile(0.04);
  flood_to_level(oasis);
  mark_water(0.0, MARK_WATER, 0);
  local hm = HmapMask.fromHeight();
  local slope = HmapMask.fromSlope();
  local wm = HmapMask.fromWater();
  local grass = pal.grass, sand = pal.sand;
  repaint_land(function(x, z, color, top) {
    if (wm.getraw(x, z) > 0.0) return [color, GT_SAND];
    local h = hm.getraw(x, z), s = slope.getraw(x, z);
    if (h < oasis + 2.5 && s > 0.8) {
      local c = as_vec(grass);
      c[3] = 0.85 * (1.0 - smoothstep(oasis + 0.5, oasis + 2.5, h));
      return [color, GT_SOIL, c, ST_GRASS];
    }
    if (s > 0.93) return [lerpcolor(color, sand, 0.4), GT_SAND];
    return [color, GT_ROCK];
  });
  local flat = find_building_land(oasis + 0.5, oasis + 8.0, 0.88);
  place_village(flat, rndi(2, 5));
  reserve_places(flat, 10, 2.0);
  set_start(flat, 128, 128);
  set_sun_dir(sun_from_angles(rndf(0, 360), rndf(50, 75)));
  set_sky_name("desert");
}

// {===== Snowy mountains

function gen_snowy(pal) {
  reseed_noise();
  add_voronoi_hills(4, 8.0, 42.0, 1.25);
  add_simplex_noise(0.0, 22.0, 4, 6, 0.55);
  gen_voronoi_faults(8, 0.0, 6.0, 0.5, 2, 2, 4.0);
  for (local i = rndi(1, 3); i > 0; i--)
    gen_fault(hmfrnd(), hmfrnd(), srnd(), srnd(), rndf(6.0, 12.0), 0.75, 0.5, null, GT_ROCK);
  recenter_hmap();
  local r = height_range();
  local lake_share = rndf(0.06, 0.14);
  local lake = height_quantile(lake_share);
  local snow = height_quantile(rndf(0.35, 0.5));
  local tl = height_t(lake, r), tsn = height_t(snow, r);
  recolor_by_height(height_ramp([
    [0.0, pal.soil_dark], [tl + 0.02, pal.sand], [tl + 0.06, pal.soil], [tsn - 0.1, pal.rock],
    [tsn + 0.1, pal.rock_dark], [1.0, pal.rock]]), null);
  show_splash("Calculating erosion", 0.3);
  gen_droplet_erosion(EROSION_DROPLETS, {
    Kq = 5.0, Kr = 0.7, Kd = 0.4, Kw = 0.15, Ki = 0.5, minSlope = 0.01, depositBlend = 2.0, reactionTime = 10.0,
    // Scree greys: colour drifts towards the mean of its channels.
    reactions = [[vec4f(1, 0, 0, 0), vec4f(0.98, 0.01, 0.01, 0), 0.01]]
  });
  show_splash("Lakes and snow", 0.8);
  // The valleys filled with sediment: the lakes take the same share of the land.
  lake = height_quantile(lake_share);
  flood_to_level(lake);
  mark_water(0.0, MARK_WATER, 0);
  paint_cover(pal, lake + 0.5, snow - 2.0, snow, 0.8);
  local flat = find_building_land(lake + 1.0, snow - 4.0, 0.9);
  place_village(flat, rndi(2, 5));
  reserve_places(flat, 10, 2.0);
  set_start(flat, 128, 128);
  set_sun_dir(sun_from_angles(rndf(0, 360), rndf(18, 35)));
  set_sky_name("snowy");
}

// {===== The main menu's meadow

function gen_meadow(pal) {
  reseed_noise();
  add_simplex_noise(0.0, 18.0, 2, 4, 0.45);
  add_voronoi_hills(8, 0.0, 5.0, 0.9);
  add_fast_noise(0.0, 2.5, null, GT_NONE, 255, 0.5);
  // A lake in front of the camera's start.
  gen_crater(150.0, 128.0, 16.0, 0.3);
  recenter_hmap();
  local r = height_range();
  local lake = get_average_circle_height(150.0, 128.0, 3.0) + 3.0;
  local tl = height_t(lake, r);
  recolor_by_height(height_ramp([
    [0.0, pal.soil_dark], [tl, pal.sand], [tl + 0.05, pal.soil], [0.8, pal.soil_dark], [1.0, pal.rock]]), null);
  show_splash("Calculating erosion", 0.3);
  gen_droplet_erosion(EROSION_DROPLETS, {
    Kq = 3.0, Kr = 0.4, Kd = 0.5, Kw = 0.15, Ki = 0.5, minSlope = 0.01, depositBlend = 1.5, reactionTime = 10.0,
    reactions = [[vec4f(1, 1, 1, 0), vec4f(0.9, 0.88, 0.9, 0), 0.01]]
  });
  show_splash("Lake and grass", 0.8);
  // Sediment may have filled the crater: never flood more than a fifth of the land.
  lake = get_average_circle_height(150.0, 128.0, 3.0) + 1.5;
  local most = height_quantile(0.2);
  if (lake > most) lake = most;
  flood_to_level(lake);
  mark_water(0.0, MARK_WATER, 0);
  local fields = make_fields(find_flat_land(lake + 0.8, r[1], 0.93, 1), rndi(4, 7), 200, 500);
  paint_cover(pal, lake + 0.1, r[1] + 10.0, r[1] + 10.0, 0.55, fields);
  local flat = find_building_land(lake + 1.0, r[1], 0.93);
  place_village(flat, rndi(5, 8));
  reserve_places(flat, 16, 2.0);
  set_start(flat, 110, 128);
  set_sun_dir(sun_from_angles(210.0, 28.0));
  set_sky_name("normal");
}

KIND_GENERATORS <- {
  islands = { gen = gen_islands, palettes = ["temperate", "temperate", "autumn"] },
  volcanic = { gen = gen_volcanic, palettes = ["volcanic"] },
  desert = { gen = gen_desert, palettes = ["desert", "red_desert"] },
  snowy = { gen = gen_snowy, palettes = ["snowy"] },
  main_menu = { gen = gen_meadow, palettes = ["meadow"] }
};
