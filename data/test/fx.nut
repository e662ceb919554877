// The effects script. Game code runs an effect by name with
// call_fx_script(name, a, b, c, f): every effect function takes
// (pos, vel, dir, scale): the position, a velocity (what the effect moves
// with), a direction (an impact normal, or a direction of travel) and a
// strength, 1 for the usual size. They spawn particles only:
//   add_blend_particle(pos, vel, props) - smoke, dust, drops, debris
//   add_glow_particle(pos, vel, props)  - fire, sparks, light
// props: accel (vec4f), life, delay, size, mapU, mapV, mapSize, startRoll,
// rollScale, colorAnim (ColorRamp), sizeAnim, rollAnim (FloatRamp), color
// (ARGB integer or colour vec4f). The atlas cells below are those that
// tools/fxgen draws.

// {===== Atlas cells: [u, v, size] in texels

// blendfx.dds
SMOKE <- [[0, 0, 64], [64, 0, 64], [128, 0, 64]];
DUST <- [192, 0, 64];
SMOKE_BIG <- [256, 0, 128];
STEAM <- [384, 0, 128];
DROP <- [0, 64, 64];
SPLASH <- [64, 64, 64];
ROCK <- [128, 64, 64];
ASH <- [192, 64, 64];
FLAME <- [0, 128, 128];
FIRECLOUD <- [128, 128, 128];
DARK_SMOKE <- [256, 128, 128];
DISC <- [384, 128, 128];
// glowfx.dds
SPARK <- [64, 64, 64];
STAR <- [128, 64, 64];
RING <- [192, 64, 64];
GLOW <- [256, 64, 64];
SPARKLE <- [320, 64, 64];
BIG_GLOW <- [384, 64, 128];
FLAME_GLOW <- [0, 128, 128];
FLASH <- [128, 128, 128];
SWIRL <- [256, 128, 128];
GLINT <- [384, 192, 64];
MOTE <- [448, 192, 64];

// {===== Ramps shared by the effects

local function rgba(r, g, b, a) { return vec4f(r, g, b, a); }

// Colour over life: quick fade in, hold, fade out.
fade_ramp <- ColorRamp.fadeInOut(rgba(1, 1, 1, 0), rgba(1, 1, 1, 1), rgba(1, 1, 1, 0), 0.1, 0.5);
smoke_ramp <- ColorRamp.fadeInOut(rgba(1, 1, 1, 0), rgba(1, 1, 1, 0.7), rgba(1, 1, 1, 0), 0.15, 0.7);
// Fire: white-yellow, orange, dark red, gone.
fire_ramp <- ColorRamp(function(t) {
  local a = t < 0.1 ? t / 0.1 : 1.0 - (t - 0.1) / 0.9;
  local b = 0.7 - 1.4 * t;
  if (b < 0) b = 0.0;
  return vec4f(1.0, 0.95 - 0.6 * t, b, a);
});
spark_ramp <- ColorRamp.fadeInOut(rgba(1, 1, 1, 1), rgba(1, 1, 1, 1), rgba(1, 0.3, 0.1, 0), 0.01, 0.6);
grow_ramp <- FloatRamp.linear(0.5, 2.0);
burst_ramp <- FloatRamp.fadeInOut(0.2, 1.0, 1.4, 0.2, 0.5);
shrink_ramp <- FloatRamp.linear(1.0, 0.2);
spin_ramp <- FloatRamp.linear(0.0, 1.0);
// Flashes light the scene without washing it out.
flash_ramp <- ColorRamp.fadeInOut(rgba(1, 1, 1, 0), rgba(1, 1, 1, 0.5), rgba(1, 1, 1, 0), 0.05, 0.8);

// {===== Helpers

function cell_props(c, p) {
  p.mapU <- c[0];
  p.mapV <- c[1];
  p.mapSize <- c[2];
  return p;
}

function rnd_dir() {
  local d = norm3(vec4f(srnd(), srnd(), srnd(), 0));
  return getx(len3(d)) > 0.5 ? d : vec4f(0, 1, 0, 0);
}

function rnd_up_dir(spread) { return norm3(vec4f(srnd() * spread, 1.0, srnd() * spread, 0)); }

function jitter(pos, r) { return pos + vec4f(srnd() * r, srnd() * r, srnd() * r, 0); }

GRAVITY <- vec4f(0, -9.8, 0, 0);

function smoke_puffs(pos, n, size, life, rise, color) {
  for (local i = 0; i < n; i++) {
    add_blend_particle(jitter(pos, size * 0.3), vec4f(srnd() * 0.5, rise * rndf(0.6, 1.2), srnd() * 0.5, 0.8),
      cell_props(SMOKE[rndi(0, 2)], { life = life * rndf(0.7, 1.3), delay = rndf(0, 0.3), size = size * rndf(0.7, 1.2),
        color = color, colorAnim = smoke_ramp, sizeAnim = grow_ramp, startRoll = frnd() * 6.28,
        rollScale = srnd() * 1.5, accel = vec4f(0, 0.3, 0, 0) }));
  }
}

function sparks(pos, n, speed, color, life) {
  for (local i = 0; i < n; i++) {
    add_glow_particle(pos, rnd_dir() * (speed * rndf(0.4, 1.0)) + vec4f(0, speed * 0.3, 0, 1.5),
      cell_props(SPARK, { life = life * rndf(0.5, 1.0), size = rndf(0.15, 0.3), color = color,
        colorAnim = spark_ramp, sizeAnim = shrink_ramp, accel = GRAVITY }));
  }
}

function flash(pos, size, color, life) {
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(BIG_GLOW, { life = life, size = size, color = color,
    colorAnim = flash_ramp, sizeAnim = burst_ramp }));
}

// {===== Missiles (spawned every step while they fly)

// Fireball in flight: a flame core with embers and smoke behind.
function spawn_fireball_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vel * 0.3, cell_props(FLAME_GLOW, { life = 0.35, size = 1.4 * scale, color = 0xFFFFB040,
    colorAnim = fire_ramp, sizeAnim = shrink_ramp, startRoll = frnd() * 6.28 }));
  add_glow_particle(pos, vel * 0.5, cell_props(GLOW, { life = 0.2, size = 2.2 * scale, color = 0xFFFF7020,
    colorAnim = fade_ramp }));
  add_blend_particle(jitter(pos, 0.2) - vel * 0.05, vec4f(0, 0.8, 0, 0.5), cell_props(SMOKE[rndi(0, 2)],
    { life = 1.2, size = 0.8 * scale, color = 0xFF404040, colorAnim = smoke_ramp, sizeAnim = grow_ramp,
      startRoll = frnd() * 6.28, rollScale = 1.0 }));
  if (frnd() < 0.5) sparks(pos, 1, 2.0, 0xFFFFA030, 0.6);
}

// Fireball hitting: a burst of fire, sparks, a shock ring and rising smoke.
function fireball_explode_fx(pos, vel, dir, scale) {
  flash(pos, 8 * scale, 0xFFFFA040, 0.4);
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(RING, { life = 0.5, size = 6 * scale, color = 0xFFFF8030,
    colorAnim = fade_ramp, sizeAnim = grow_ramp }));
  for (local i = 0; i < 8; i++) {
    add_glow_particle(jitter(pos, 0.5 * scale), rnd_dir() * (3.0 * scale) + vec4f(0, 2, 0, 2.0),
      cell_props(FLAME_GLOW, { life = rndf(0.4, 0.8), size = rndf(1.2, 2.0) * scale, color = 0xA0FFB050,
        colorAnim = fire_ramp, sizeAnim = grow_ramp, startRoll = frnd() * 6.28, rollScale = srnd() }));
  }
  for (local i = 0; i < 6; i++)
    add_blend_particle(jitter(pos, 0.5 * scale), rnd_up_dir(0.8) * 1.5, cell_props(FIRECLOUD,
      { life = rndf(0.6, 1.0), size = rndf(2, 3) * scale, color = 0xFFFFFFFF, colorAnim = fade_ramp,
        sizeAnim = grow_ramp, startRoll = frnd() * 6.28 }));
  sparks(pos, 24, 7.0 * scale, 0xFFFFC040, 1.0);
  smoke_puffs(pos + vec4f(0, 1, 0, 0), 8, 2.5 * scale, 2.5, 1.5, 0xFF383838);
}

// Meteor falling: a large burning rock trail with thick smoke.
function spawn_meteor_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vel * 0.2, cell_props(FLAME_GLOW, { life = 0.4, size = 3 * scale, color = 0xFFFFA040,
    colorAnim = fire_ramp, sizeAnim = shrink_ramp, startRoll = frnd() * 6.28 }));
  add_blend_particle(pos, vel * 0.5, cell_props(ROCK, { life = 0.1, size = 1.6 * scale, color = 0xFFFFFFFF,
    startRoll = frnd() * 6.28 }));
  smoke_puffs(pos - vel * 0.05, 2, 2.0 * scale, 2.0, 0.5, 0xFF303030);
  sparks(pos, 2, 3.0, 0xFFFF9020, 0.7);
}

// Meteor impact: a big blast, flying rocks, dust and a smoke column.
function meteor_explode_fx(pos, vel, dir, scale) {
  flash(pos, 12 * scale, 0xFFFFB060, 0.6);
  for (local i = 0; i < 10; i++)
    add_blend_particle(jitter(pos, 1.0), rnd_up_dir(1.0) * rndf(6, 12) + vec4f(0, 0, 0, 0.2), cell_props(ROCK,
      { life = rndf(1.0, 1.8), size = rndf(0.4, 0.9) * scale, color = 0xFFFFFFFF, accel = GRAVITY,
        startRoll = frnd() * 6.28, rollScale = srnd() * 10 }));
  for (local i = 0; i < 10; i++)
    add_glow_particle(jitter(pos, 1.5 * scale), rnd_dir() * (4 * scale) + vec4f(0, 3, 0, 1.5), cell_props(FLAME_GLOW,
      { life = rndf(0.5, 1.0), size = rndf(2, 3) * scale, color = 0xA0FFB050, colorAnim = fire_ramp,
        sizeAnim = grow_ramp, startRoll = frnd() * 6.28 }));
  for (local i = 0; i < 8; i++)
    add_blend_particle(jitter(pos, 2 * scale), vec4f(srnd() * 4, rndf(0.2, 1), srnd() * 4, 1.0), cell_props(DUST,
      { life = rndf(1.5, 2.5), size = rndf(3, 5) * scale, color = 0xFFB09070, colorAnim = smoke_ramp,
        sizeAnim = grow_ramp }));
  smoke_puffs(pos + vec4f(0, 2, 0, 0), 12, 4 * scale, 4.0, 2.5, 0xFF2A2A2A);
  sparks(pos, 30, 10 * scale, 0xFFFFB040, 1.2);
}

// Water ball in flight: drops shed behind a bluish glow.
function spawn_waterball_missile_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vel * 0.4, cell_props(GLOW, { life = 0.25, size = 1.6 * scale, color = 0xFF4090FF,
    colorAnim = fade_ramp }));
  for (local i = 0; i < 2; i++)
    add_blend_particle(jitter(pos, 0.3 * scale), vel * 0.3 + rnd_dir() * 0.8, cell_props(DROP,
      { life = rndf(0.4, 0.7), size = rndf(0.2, 0.35) * scale, color = 0xFFFFFFFF, accel = GRAVITY,
        colorAnim = fade_ramp }));
}

// Magic missile in flight: a violet core with sparkles and a swirl.
function spawn_magic_missile_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vel * 0.5, cell_props(SWIRL, { life = 0.3, size = 1.2 * scale, color = 0xFFB060FF,
    colorAnim = fade_ramp, startRoll = frnd() * 6.28, rollScale = 8 }));
  add_glow_particle(jitter(pos, 0.3), rnd_dir() * 0.6, cell_props(SPARKLE, { life = rndf(0.4, 0.8),
    size = rndf(0.3, 0.6) * scale, color = 0xFFE0B0FF, colorAnim = spark_ramp, sizeAnim = shrink_ramp,
    startRoll = frnd() * 6.28, rollScale = 3 }));
}

// {===== World effects

// A water source rising: spray and mist going up.
function spawn_water_source_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 8; i++)
    add_blend_particle(jitter(pos, 0.4 * scale), rnd_up_dir(0.35) * rndf(3, 6) * scale + vec4f(0, 0, 0, 0.3),
      cell_props(DROP, { life = rndf(0.7, 1.1), size = rndf(0.25, 0.45) * scale, color = 0xFFFFFFFF,
        accel = GRAVITY, colorAnim = fade_ramp }));
  add_blend_particle(pos, vec4f(0, 0.8, 0, 0.5), cell_props(SPLASH, { life = 0.6, size = 2.5 * scale,
    color = 0xFFFFFFFF, colorAnim = fade_ramp, sizeAnim = grow_ramp }));
  add_blend_particle(pos + vec4f(0, 0.5, 0, 0), vec4f(0, 1, 0, 0.5), cell_props(STEAM, { life = 1.5,
    size = 3 * scale, color = 0xFFE0F0FF, colorAnim = smoke_ramp, sizeAnim = grow_ramp, startRoll = frnd() * 6.28 }));
}

// A water sink draining: a swirl of drops pulled in and down.
function spawn_water_sink_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 8; i++) {
    local a = i * 0.785 + frnd() * 0.5, r = 1.5 * scale;
    local p = pos + vec4f(cos(a) * r, 0.3, sin(a) * r, 0);
    add_blend_particle(p, vec4f(-sin(a) * 2 - cos(a), -0.5, cos(a) * 2 - sin(a), 0.5), cell_props(DROP,
      { life = 0.8, size = 0.3 * scale, color = 0xFFFFFFFF, colorAnim = fade_ramp, sizeAnim = shrink_ramp }));
  }
  add_glow_particle(pos + vec4f(0, 0.2, 0, 0), vec4f(0, 0, 0, 0), cell_props(SWIRL, { life = 0.8, size = 3 * scale,
    color = 0xFF3070C0, colorAnim = fade_ramp, startRoll = frnd() * 6.28, rollScale = -6 }));
}

// Smoke from a volcano's crater: dark billows with a few embers.
function spawn_volcano_smoke_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 3; i++)
    add_blend_particle(jitter(pos, 1.0 * scale), vec4f(srnd() * 0.5, rndf(2, 3.5), srnd() * 0.5, 0.3) + vel,
      cell_props(DARK_SMOKE, { life = rndf(3, 5), delay = rndf(0, 0.5), size = rndf(3, 5) * scale,
        color = 0xFF303030, colorAnim = smoke_ramp, sizeAnim = grow_ramp, startRoll = frnd() * 6.28,
        rollScale = srnd() * 0.8, accel = vec4f(0.3, 0.2, 0, 0) }));
  if (frnd() < 0.7)
    add_glow_particle(jitter(pos, 0.8), vec4f(srnd() * 2, rndf(4, 8), srnd() * 2, 0.2), cell_props(SPARK,
      { life = rndf(1, 2), size = 0.3, color = 0xFFFF8020, colorAnim = spark_ramp, accel = GRAVITY }));
}

// Water turning to vapour over lava: pale steam rising.
function spawn_water_vapor_fx(pos, vel, dir, scale) {
  add_blend_particle(jitter(pos, 0.4), vec4f(srnd() * 0.3, rndf(1.0, 2.0), srnd() * 0.3, 0.5), cell_props(STEAM,
    { life = rndf(1.5, 2.5), size = rndf(1.5, 2.5) * scale, color = 0xFFF0F0F0, colorAnim = smoke_ramp,
      sizeAnim = grow_ramp, startRoll = frnd() * 6.28, rollScale = srnd() }));
}

// Lightning striking the ground (the bolt itself is drawn by the host):
// a blue-white flash, sparks and a little smoke.
function lightning_hit_fx(pos, vel, dir, scale) {
  flash(pos, 8 * scale, 0xFFB0C8FF, 0.3);
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(FLASH, { life = 0.25, size = 5 * scale, color = 0xFFC0D0FF,
    colorAnim = fade_ramp, startRoll = frnd() * 6.28 }));
  sparks(pos, 20, 6 * scale, 0xFFC0E0FF, 0.8);
  smoke_puffs(pos, 4, 1.5 * scale, 1.5, 1.0, 0xFF505050);
}

// {===== Creatures

// Gatherer dying: its glow bursts into motes that drift up.
function gatherer_death_fx(pos, vel, dir, scale) {
  flash(pos, 5 * scale, 0xFF80FFB0, 0.5);
  for (local i = 0; i < 20; i++)
    add_glow_particle(jitter(pos, 0.8 * scale), rnd_dir() * 1.5 + vec4f(0, 1.5, 0, 0.8), cell_props(MOTE,
      { life = rndf(1.0, 2.0), size = rndf(0.3, 0.6), color = 0xFF90FFC0, colorAnim = fade_ramp }));
  smoke_puffs(pos, 4, 1.5 * scale, 1.5, 0.8, 0xFF607060);
}

// Gatherer summoned: a ring and motes gathering at its place.
function gatherer_summon_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(RING, { life = 0.8, size = 4 * scale, color = 0xFF80FFB0,
    colorAnim = fade_ramp, sizeAnim = shrink_ramp }));
  for (local i = 0; i < 16; i++) {
    local d = rnd_dir();
    add_glow_particle(pos + d * (2 * scale), d * (-2.5 * scale), cell_props(SPARKLE, { life = 0.8,
      delay = rndf(0, 0.3), size = 0.5, color = 0xFFB0FFD0, colorAnim = fade_ramp, startRoll = frnd() * 6.28,
      rollScale = 4 }));
  }
}

// Wyvern dying: a fiery burst, falling ash and smoke.
function wyvern_death_fx(pos, vel, dir, scale) {
  flash(pos, 10 * scale, 0xFFFF9050, 0.5);
  for (local i = 0; i < 8; i++)
    add_glow_particle(jitter(pos, 1.5 * scale), rnd_dir() * 3 + vel * 0.3, cell_props(FLAME_GLOW,
      { life = rndf(0.5, 1.0), size = rndf(1.5, 2.5) * scale, color = 0xA0FFA050, colorAnim = fire_ramp,
        sizeAnim = grow_ramp, startRoll = frnd() * 6.28 }));
  for (local i = 0; i < 16; i++)
    add_blend_particle(jitter(pos, 2 * scale), rnd_dir() * 2 + vel * 0.3, cell_props(ASH,
      { life = rndf(1.5, 3), size = rndf(0.3, 0.6), color = 0xFFFFFFFF, accel = vec4f(0, -2, 0, 0),
        startRoll = frnd() * 6.28, rollScale = srnd() * 6, colorAnim = fade_ramp }));
  smoke_puffs(pos, 8, 3 * scale, 3.0, 1.0, 0xFF303030);
  sparks(pos, 16, 6, 0xFFFFB040, 1.0);
}

// {===== Objects

// A resource appearing: a golden glint and rising motes.
function spawn_resobj_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(STAR, { life = 0.6, size = 2.5 * scale, color = 0xFFFFE080,
    colorAnim = fade_ramp, startRoll = frnd() * 6.28, rollScale = 2 }));
  for (local i = 0; i < 8; i++)
    add_glow_particle(jitter(pos, 0.5 * scale), vec4f(srnd() * 0.3, rndf(0.8, 1.6), srnd() * 0.3, 0.5),
      cell_props(GLINT, { life = rndf(0.6, 1.2), size = rndf(0.3, 0.5), color = 0xFFFFD060, colorAnim = fade_ramp }));
}

// A spell object appearing: a violet swirl with sparkles.
function spawn_spellobj_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(SWIRL, { life = 0.9, size = 3 * scale, color = 0xFFC080FF,
    colorAnim = fade_ramp, sizeAnim = burst_ramp, startRoll = frnd() * 6.28, rollScale = 5 }));
  for (local i = 0; i < 10; i++)
    add_glow_particle(jitter(pos, 0.8 * scale), rnd_dir() * 1.2, cell_props(SPARKLE, { life = rndf(0.5, 1.0),
      size = rndf(0.3, 0.6), color = 0xFFE0C0FF, colorAnim = spark_ramp, startRoll = frnd() * 6.28, rollScale = 3 }));
}

// {===== The land and water spells' hits

// A land spell landing: a ring of dust thrown out and violet sparkles.
function land_spell_hit_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 10; i++) {
    local a = i * 0.628 + frnd() * 0.3;
    add_blend_particle(jitter(pos, 0.5), vec4f(cos(a) * 4 * scale, rndf(1, 3), sin(a) * 4 * scale, 1.0),
      cell_props(DUST, { life = rndf(1.0, 1.8), size = rndf(2, 3.5) * scale, color = 0xFFA08060,
        colorAnim = smoke_ramp, sizeAnim = grow_ramp, startRoll = frnd() * 6.28 }));
  }
  for (local i = 0; i < 12; i++)
    add_glow_particle(jitter(pos, 1.0 * scale), rnd_up_dir(0.8) * rndf(2, 5), cell_props(SPARKLE,
      { life = rndf(0.5, 0.9), size = rndf(0.3, 0.6) * scale, color = 0xFFD0A0FF, colorAnim = spark_ramp,
        sizeAnim = shrink_ramp, startRoll = frnd() * 6.28, rollScale = 3 }));
}

// A ball of water bursting: drops flung up and out and a splash.
function water_spell_hit_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 16; i++)
    add_blend_particle(jitter(pos, 0.8 * scale), rnd_up_dir(0.9) * rndf(3, 7) * scale + vec4f(0, 0, 0, 0.3),
      cell_props(DROP, { life = rndf(0.6, 1.0), size = rndf(0.25, 0.45) * scale, color = 0xFFFFFFFF,
        accel = GRAVITY, colorAnim = fade_ramp }));
  add_blend_particle(pos, vec4f(0, 0.5, 0, 0.5), cell_props(SPLASH, { life = 0.7, size = 5 * scale,
    color = 0xFFFFFFFF, colorAnim = fade_ramp, sizeAnim = grow_ramp }));
}

// {===== The world's life (living*.cpp)

// Something burning (a tree or a house), spawned a few times a second while
// it burns: tongues of flame licking up, embers and a column of smoke.
function living_burn_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 3; i++)
    add_glow_particle(jitter(pos, 0.6 * scale), vec4f(srnd() * 0.4, rndf(1.5, 2.5) * scale, srnd() * 0.4, 0.6),
      cell_props(FLAME_GLOW, { life = rndf(0.4, 0.7), size = rndf(1.0, 1.6) * scale, color = 0xC0FFA040,
        colorAnim = fire_ramp, sizeAnim = shrink_ramp, startRoll = frnd() * 6.28, rollScale = srnd() }));
  if (frnd() < 0.4) sparks(pos, 1, 2.0, 0xFFFF9030, 0.8);
  smoke_puffs(pos + vec4f(0, 1.2 * scale, 0, 0), 1, 2.0 * scale, 3.0, 2.0, 0xFF303030);
}

// {===== Creatures and combat spells (the game's monsters and combat part)

// A wyvern's fire breath, spawned every other step while it breathes:
// flames streaming along vel with embers.
function wyvern_breath_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 3; i++)
    add_glow_particle(jitter(pos, 0.3), vel * rndf(0.7, 1.1) + rnd_dir() * 1.5, cell_props(FLAME_GLOW,
      { life = rndf(0.4, 0.7), size = rndf(0.8, 1.4) * scale, color = 0xC0FFB050, colorAnim = fire_ramp,
        sizeAnim = grow_ramp, startRoll = frnd() * 6.28, rollScale = srnd() }));
  if (frnd() < 0.5) sparks(pos, 2, 4.0, 0xFFFFA030, 0.6);
}

// A caterpillar dying: a green splash and a puff of dust.
function caterpillar_death_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 14; i++)
    add_blend_particle(jitter(pos, 0.6 * scale), rnd_up_dir(1.0) * rndf(2, 4), cell_props(SMOKE[rndi(0, 2)],
      { life = rndf(0.5, 1.0), size = rndf(0.3, 0.6) * scale, color = 0xFF70B040, colorAnim = fade_ramp,
        accel = GRAVITY }));
  smoke_puffs(pos, 5, 1.5 * scale, 1.5, 0.6, 0xFF806A50);
}

// A bird falling: a few feathers drifting down.
function bird_death_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 8; i++)
    add_blend_particle(jitter(pos, 0.4), rnd_dir() * 1.2, cell_props(ASH, { life = rndf(1.5, 2.5),
      size = rndf(0.2, 0.35), color = 0xFFE8E0D0, accel = vec4f(0, -1, 0, 0), startRoll = frnd() * 6.28,
      rollScale = srnd() * 4, colorAnim = fade_ramp }));
}

// The thunderstorm's cloud, renewed every half second: dark billows.
function thunderstorm_cloud_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 4; i++)
    add_blend_particle(pos + vec4f(srnd() * 14 * scale, srnd() * 2, srnd() * 14 * scale, 0),
      vec4f(srnd() * 0.5, 0, srnd() * 0.5, 0), cell_props(SMOKE[rndi(0, 2)], { life = rndf(2.5, 3.5),
        size = rndf(6, 9) * scale, color = 0xFF30343C, colorAnim = smoke_ramp, sizeAnim = grow_ramp,
        startRoll = frnd() * 6.28, rollScale = srnd() * 0.3 }));
}

// Healing: a soft green-gold light rising round the player.
function healing_fx(pos, vel, dir, scale) {
  flash(pos, 4 * scale, 0xFF90FFA0, 0.6);
  for (local i = 0; i < 20; i++)
    add_glow_particle(jitter(pos, 1.5 * scale) - vec4f(0, 1, 0, 0), vec4f(srnd() * 0.3, rndf(1.0, 2.0), srnd() * 0.3, 0.5),
      cell_props(SPARKLE, { life = rndf(0.8, 1.4), delay = rndf(0, 0.4), size = rndf(0.3, 0.5), color = 0xFFC0FFB0,
        colorAnim = fade_ramp, startRoll = frnd() * 6.28, rollScale = 3 }));
}

// Optional per-step hook; the host binds it but does not call it.
function update_fx(dt) {}

// {===== Mana, the portal and pickups (steady looks are run every few steps
// while the object exists; dir.x picks a variant)

ORB_COLORS <- [0xFF70B8FF, 0xFFFFD050]; // unclaimed, claimed
PILLAR_COLORS <- [0xFFC890FF, 0xFFFFD870]; // spell, resource

// A mana orb's glow: a bright core with motes drifting round it.
function mana_orb_fx(pos, vel, dir, scale) {
  local c = ORB_COLORS[dir[0] > 0.5 ? 1 : 0];
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(BIG_GLOW, { life = 0.3, size = 7.0 * scale, color = c,
    colorAnim = fade_ramp }));
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(GLOW, { life = 0.3, size = 2.6 * scale, color = 0xFFFFFFFF,
    colorAnim = fade_ramp }));
  if (frnd() < 0.5)
    add_glow_particle(jitter(pos, 1.2 * scale), vec4f(srnd() * 0.4, rndf(0.2, 0.8), srnd() * 0.4, 0),
      cell_props(MOTE, { life = rndf(0.6, 1.0), size = rndf(0.3, 0.5), color = c, colorAnim = fade_ramp }));
}

// An orb claimed: a golden burst and a ring.
function mana_claimed_fx(pos, vel, dir, scale) {
  flash(pos, 8.0 * scale, 0xFFFFE080, 0.6);
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(RING, { life = 0.7, size = 6 * scale, color = 0xFFFFD050,
    colorAnim = fade_ramp, sizeAnim = grow_ramp }));
  sparks(pos, 20, 5, 0xFFFFD050, 1.2);
}

// The portal opening: a tall flash and a widening ring.
function portal_open_fx(pos, vel, dir, scale) {
  local c = pos + vec4f(0, 4, 0, 0);
  flash(c, 16.0 * scale, 0xFFB0E0FF, 1.0);
  add_glow_particle(c, vec4f(0, 0, 0, 0), cell_props(RING, { life = 1.2, size = 12 * scale, color = 0xFF90D0FF,
    colorAnim = fade_ramp, sizeAnim = grow_ramp }));
  sparks(c, 30, 8, 0xFFB0E0FF, 1.5);
}

// The open portal: a turning swirl standing over its site in a blue glow,
// with motes rising through a column of light.
function world_portal_fx(pos, vel, dir, scale) {
  local c = pos + vec4f(0, 5, 0, 0);
  add_glow_particle(c, vec4f(0, 0, 0, 0), cell_props(SWIRL, { life = 0.5, size = 12 * scale, color = 0xFF60B0FF,
    colorAnim = fade_ramp, startRoll = frnd() * 6.28, rollScale = 3 }));
  add_glow_particle(c, vec4f(0, 0, 0, 0), cell_props(BIG_GLOW, { life = 0.3, size = 10 * scale, color = 0xFF3070FF,
    colorAnim = fade_ramp }));
  add_glow_particle(c, vec4f(0, 0, 0, 0), cell_props(GLOW, { life = 0.3, size = 3 * scale, color = 0xFFE0F0FF,
    colorAnim = fade_ramp }));
  for (local i = 0; i < 3; i++)
    add_glow_particle(jitter(pos, 2.0) + vec4f(0, rndf(0, 12), 0, 0), vec4f(0, rndf(3, 5), 0, 0),
      cell_props(MOTE, { life = rndf(1.0, 2.0), size = rndf(0.5, 0.9), color = 0xFFB0E0FF, colorAnim = fade_ramp }));
}

// A spell or resource lying on the ground: a small glint where it is.
function spell_pickup_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(STAR, { life = 0.4, size = 1.8 * scale, color = 0xFFD0A0FF,
    colorAnim = fade_ramp, startRoll = frnd() * 6.28, rollScale = 2 }));
}
function res_pickup_fx(pos, vel, dir, scale) {
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(GLINT, { life = 0.4, size = 1.6 * scale, color = 0xFFFFE090,
    colorAnim = fade_ramp, startRoll = frnd() * 6.28, rollScale = 2 }));
}

// A pickup's pillar of light: glows climbing a 40-unit beam, seen from afar.
function light_pillar_fx(pos, vel, dir, scale) {
  local c = PILLAR_COLORS[dir[0] > 0.5 ? 1 : 0];
  for (local i = 0; i < 8; i++)
    add_glow_particle(pos + vec4f(srnd() * 0.2, rndf(0.0, 36.0), srnd() * 0.2, 0), vec4f(0, 4, 0, 0),
      cell_props(GLOW, { life = 1.2, size = 3.0 * scale, color = c, colorAnim = fade_ramp }));
  add_glow_particle(pos, vec4f(0, 0, 0, 0), cell_props(BIG_GLOW, { life = 0.3, size = 4.0 * scale, color = c,
    colorAnim = fade_ramp }));
}

// {===== Guard towers (towers*.cpp)

// A guard tower standing complete: a golden flash at its top and motes
// settling round it.
function guard_tower_built_fx(pos, vel, dir, scale) {
  flash(pos, 5 * scale, 0xFFFFE0A0, 0.5);
  for (local i = 0; i < 16; i++)
    add_glow_particle(jitter(pos, 1.5 * scale), vec4f(srnd() * 1.5, rndf(-1.5, 0.5), srnd() * 1.5, 0.5),
      cell_props(SPARKLE, { life = rndf(0.6, 1.2), size = rndf(0.3, 0.5) * scale, color = 0xFFFFE8B0,
        colorAnim = fade_ramp, startRoll = frnd() * 6.28, rollScale = 3 }));
}

// A guard tower falling: stones flung out, a billow of dust and smoke.
function guard_tower_collapse_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 14; i++)
    add_blend_particle(jitter(pos, 2.0 * scale), rnd_up_dir(1.2) * rndf(2, 6) * scale, cell_props(ROCK,
      { life = rndf(0.8, 1.4), size = rndf(0.4, 0.8) * scale, color = 0xFFB0A898, accel = GRAVITY,
        startRoll = frnd() * 6.28, rollScale = srnd() * 4, colorAnim = fade_ramp }));
  for (local i = 0; i < 10; i++)
    add_blend_particle(pos + vec4f(srnd() * 2, rndf(-3, 3), srnd() * 2, 0), vec4f(srnd() * 2, rndf(0.5, 1.5), srnd() * 2, 1.0),
      cell_props(DUST, { life = rndf(1.5, 2.5), size = rndf(3, 5) * scale, color = 0xFFA09080,
        colorAnim = smoke_ramp, sizeAnim = grow_ramp, startRoll = frnd() * 6.28 }));
  smoke_puffs(pos, 6, 3.0 * scale, 3.0, 1.5, 0xFF404040);
}

// {===== The lake tentacle (tentacle.cpp)

// A tentacle dying: a tall spout of water and violet spray as it sinks for good.
function tentacle_death_fx(pos, vel, dir, scale) {
  for (local i = 0; i < 24; i++)
    add_blend_particle(jitter(pos, 1.0 * scale), rnd_up_dir(0.5) * rndf(5, 10) * scale,
      cell_props(DROP, { life = rndf(0.8, 1.4), size = rndf(0.3, 0.6) * scale, color = 0xFFFFFFFF,
        accel = GRAVITY, colorAnim = fade_ramp }));
  for (local i = 0; i < 10; i++)
    add_blend_particle(jitter(pos, 0.8 * scale), rnd_up_dir(1.0) * rndf(2, 4), cell_props(SMOKE[rndi(0, 2)],
      { life = rndf(0.6, 1.0), size = rndf(0.4, 0.8) * scale, color = 0xFF8A6AC8, colorAnim = fade_ramp,
        accel = GRAVITY }));
  add_blend_particle(pos, vec4f(0, 0.5, 0, 0.5), cell_props(SPLASH, { life = 0.9, size = 7 * scale,
    color = 0xFFFFFFFF, colorAnim = fade_ramp, sizeAnim = grow_ramp }));
}
