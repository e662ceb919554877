// The current world palette: a row of "world_palettes" (gen/palettes.csv),
// chosen by the world kind. The host asks for its colours by name.

cur_palette_name <- "temperate";
cur_palette <- null;

function select_palette(name) {
  ::cur_palette_name = name;
  ::cur_palette = name in world_palettes ? world_palettes[name] : null;
  return ::cur_palette;
}

// The colour of a palette entry: a packed integer, or a vec4f for names the
// palette derives (shallow water, grass tips).
function get_cur_pal_color(name) {
  if (cur_palette == null) select_palette(cur_palette_name);
  if (cur_palette == null) throw "no palette '" + cur_palette_name + "'";
  if (name in cur_palette) return cur_palette[name];
  if (name == "water_shallow") return lerpcolor(cur_palette.water, cur_palette.sand, 0.35);
  if (name == "grass_tip") return lerpcolor(cur_palette.grass, cur_palette.grass_dry, 0.5);
  throw "no colour '" + name + "' in palette '" + cur_palette_name + "'";
}

// Developer palette edits: the colour changes in the current palette row.
function set_pal_color(name, color) {
  if (cur_palette == null) select_palette(cur_palette_name);
  if (cur_palette == null) throw "no palette '" + cur_palette_name + "'";
  cur_palette[name] <- color;
}
