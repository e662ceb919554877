// The world's lighting palette. get_sky_colors(angle, palette) answers, for the
// sun's angle from the zenith in degrees and the world's palette name, ten
// colours as [r, g, b] (linear, may exceed 1):
//   0 direct sun light          5 sky colour at the horizon
//   1 ambient light from above  6 colour below the horizon / ground bounce
//   2 haze extinction per channel (per 100 units)
//   3 haze colour               7 deep water colour
//   4 sky colour at the zenith  8 lava glow colour
//                               9 sun disk colour
// Unknown palette names use "normal".

sky_palettes <- {
  normal = {
    sun = [1.25, 1.18, 1.05], low_sun = [1.3, 0.62, 0.3],
    ambient = [0.36, 0.42, 0.55], haze = [0.10, 0.13, 0.20], haze_color = [0.70, 0.78, 0.90],
    zenith = [0.18, 0.36, 0.78], horizon = [0.68, 0.80, 0.94], dusk = [0.95, 0.55, 0.35],
    ground = [0.32, 0.34, 0.30], water = [0.05, 0.20, 0.28], lava = [3.2, 1.1, 0.25]
  },
  volcanic = {
    sun = [1.2, 0.95, 0.75], low_sun = [1.3, 0.45, 0.2],
    ambient = [0.40, 0.30, 0.28], haze = [0.22, 0.24, 0.28], haze_color = [0.55, 0.42, 0.36],
    zenith = [0.28, 0.20, 0.22], horizon = [0.72, 0.48, 0.36], dusk = [0.95, 0.40, 0.20],
    ground = [0.25, 0.18, 0.15], water = [0.08, 0.14, 0.14], lava = [3.8, 1.2, 0.25]
  },
  desert = {
    sun = [1.4, 1.28, 1.05], low_sun = [1.35, 0.7, 0.3],
    ambient = [0.44, 0.42, 0.44], haze = [0.12, 0.14, 0.18], haze_color = [0.88, 0.80, 0.68],
    zenith = [0.25, 0.45, 0.82], horizon = [0.90, 0.85, 0.74], dusk = [0.98, 0.60, 0.30],
    ground = [0.45, 0.38, 0.28], water = [0.06, 0.24, 0.30], lava = [3.2, 1.1, 0.25]
  },
  snowy = {
    sun = [1.05, 1.05, 1.10], low_sun = [1.2, 0.7, 0.5],
    ambient = [0.42, 0.48, 0.62], haze = [0.14, 0.16, 0.20], haze_color = [0.82, 0.86, 0.94],
    zenith = [0.30, 0.45, 0.75], horizon = [0.82, 0.88, 0.96], dusk = [0.90, 0.62, 0.55],
    ground = [0.60, 0.62, 0.66], water = [0.04, 0.16, 0.24], lava = [3.0, 1.0, 0.25]
  }
};

function sky_smooth(a, b, x) {
  local t = (x - a) / (b - a);
  if (t < 0.0) t = 0.0;
  if (t > 1.0) t = 1.0;
  return t * t * (3.0 - 2.0 * t);
}

function sky_mix(a, b, t) {
  return [a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t];
}

function sky_scale(a, k) {
  return [a[0] * k, a[1] * k, a[2] * k];
}

function get_sky_colors(angle, palette) {
  local p = (palette in sky_palettes) ? sky_palettes[palette] : sky_palettes.normal;
  local elev = 90.0 - angle;
  local day = sky_smooth(-12.0, 12.0, elev);       // 0 at night, 1 by day
  local high = sky_smooth(2.0, 40.0, elev);        // the sun's colour whitens as it climbs
  local lit = sky_smooth(-8.0, 3.0, elev);         // direct light fades as the sun sets
  local night = [0.04, 0.05, 0.09];

  local sun = sky_scale(sky_mix(p.low_sun, p.sun, high), lit);
  local ambient = sky_mix(sky_scale(night, 2.0), p.ambient, day);
  local zenith = sky_mix(night, p.zenith, day);
  local horizon = sky_mix(sky_mix(night, p.dusk, sky_smooth(-12.0, 0.0, elev)), p.horizon, high);
  local haze_color = sky_mix(night, sky_mix(p.dusk, p.haze_color, high), day);
  local disk = sky_scale(sky_mix(p.low_sun, [1.0, 0.97, 0.9], high), 6.0 * lit);
  return [sun, ambient, p.haze, haze_color, zenith, horizon, sky_mix(night, p.ground, day),
          sky_mix(sky_scale(p.water, 0.3), p.water, day), p.lava, disk];
}
