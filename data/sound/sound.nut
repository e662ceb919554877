// The game's sounds: which sound every event plays, and the music.
//
// Every event has its own file in sound/, named after the event. Sounds of
// things in the world are 3D (the game places their channels); sounds of the
// player's own actions and of the menus are 2D. Loops keep playing until the
// game fades them out.

local DIR = "sound/";

// name: [max playbacks, flags, volume, min distance, max distance]
// (the distances only matter for 3D sounds)
local sounds = {
  // portals and triggers
  use_portal         = [2, 0,                  0.9,  0,   0],
  enter_world        = [1, 0,                  0.9,  0,   0],
  portal_appears     = [2, SNDF_3D,            1.0, 12, 256],
  portal_loop        = [4, SNDF_3D | SNDF_LOOP, 0.7,  6, 160],
  trigger_activated  = [4, SNDF_3D,            0.9, 10, 200],
  // the player and combat
  player_hit         = [2, 0,                  0.9,  0,   0],
  start_combat       = [1, 0,                  0.8,  0,   0],
  end_combat         = [1, 0,                  0.8,  0,   0],
  // spells and resources lying in the world
  spell_appears      = [4, SNDF_3D,            0.8,  8, 160],
  spell_loop         = [8, SNDF_3D | SNDF_LOOP, 0.5,  4, 100],
  spell_discharge    = [4, SNDF_3D,            0.9,  8, 200],
  pick_up_spell      = [2, 0,                  0.8,  0,   0],
  res_appears        = [4, SNDF_3D,            0.8,  8, 160],
  res_loop           = [8, SNDF_3D | SNDF_LOOP, 0.5,  4, 100],
  res_discharge      = [4, SNDF_3D,            0.9,  8, 200],
  pick_up_res        = [2, 0,                  0.8,  0,   0],
  gatherer_summon    = [4, SNDF_3D,            0.9,  8, 200],
  gatherer_death     = [4, SNDF_3D,            0.9,  8, 200],
  // casting (the player's own hands: 2D) and missiles in flight (3D)
  generic_cast       = [3, 0,                  0.8,  0,   0],
  generic_missile    = [8, SNDF_3D | SNDF_LOOP, 0.7,  6, 160],
  fireball_cast      = [3, 0,                  0.9,  0,   0],
  fireball_missile   = [8, SNDF_3D | SNDF_LOOP, 0.8,  8, 200],
  fireball_hit       = [6, SNDF_3D,            1.0, 15, 256],
  fireball_hit_water = [6, SNDF_3D,            1.0, 15, 256],
  meteor_cast        = [2, 0,                  0.9,  0,   0],
  meteor_missile     = [6, SNDF_3D | SNDF_LOOP, 0.9, 15, 256],
  meteor_hit         = [6, SNDF_3D,            1.0, 30, 256],
  lightning_cast     = [3, 0,                  0.9,  0,   0],
  thstorm_cast       = [2, 0,                  0.9,  0,   0],
  thstorm_missile    = [4, SNDF_3D | SNDF_LOOP, 0.8, 15, 256],
  thstorm_lightning  = [6, SNDF_3D,            1.0, 30, 256],
  // the land
  burn_loop          = [8, SNDF_3D | SNDF_LOOP, 0.6,  6, 160],
  tree_regrows       = [4, SNDF_3D,            0.7,  6, 120],
  land_moving        = [8, SNDF_3D | SNDF_LOOP, 0.8, 10, 256],
  mana_idle          = [6, SNDF_3D | SNDF_LOOP, 0.5,  4, 100],
  claim_mana         = [2, 0,                  0.9,  0,   0],
  // creatures
  wyvern_spawn       = [3, SNDF_3D,            1.0, 12, 256],
  wyvern_idle        = [4, SNDF_3D,            0.7,  8, 200],
  wyvern_attack      = [4, SNDF_3D,            1.0, 10, 256],
  wyvern_hit         = [4, SNDF_3D,            1.0, 10, 256],
  caterpillar_spawn  = [3, SNDF_3D,            0.9,  8, 200],
  caterpillar_idle   = [4, SNDF_3D,            0.6,  6, 140],
  caterpillar_attack = [4, SNDF_3D,            0.9,  8, 200],
  caterpillar_hit    = [4, SNDF_3D,            0.9,  8, 200],
  bird_idle          = [6, SNDF_3D,            0.6,  6, 140],
  bird_hit           = [4, SNDF_3D,            0.9,  6, 160],
  // volcanoes: heard from far away
  volcano_explosion  = [3, SNDF_3D,            1.0, 40, 256],
  volcano_eruption   = [3, SNDF_3D,            1.0, 40, 256],
  // screens
  main_menu          = [1, 0,                  0.8,  0,   0],
  universe_map       = [1, 0,                  0.8,  0,   0],
};

// One-shots vary a little in loudness each time, so repeated hits and calls
// do not sound machine-made.
local VARIED = {
  player_hit = 1, fireball_hit = 1, fireball_hit_water = 1, meteor_hit = 1,
  thstorm_lightning = 1, wyvern_idle = 1, wyvern_hit = 1, caterpillar_idle = 1,
  caterpillar_hit = 1, bird_idle = 1, bird_hit = 1, tree_regrows = 1,
};

local function make_event(sample, volume, varied) {
  if (!varied)
    return function() { return get_channel(sample); };
  return function() {
    local ch = get_channel(sample);
    if (ch != 0)
      set_channel_volume(ch, volume * (0.8 + (game_rnd() % 21) / 100.0));
    return ch;
  };
}

events <- {};
foreach (name, s in sounds) {
  local sample = load_sample(DIR + name + ".wav", s[0], s[1]);
  if (sample == 0)
    continue;
  set_sample_volume(sample, s[2]);
  if (s[1] & SNDF_3D)
    set_sample_dist(sample, s[3], s[4]);
  events[name] <- make_event(sample, s[2], name in VARIED);
}

// Music: three calm pieces, one after the other, round and round.
music <- [];
foreach (name in ["music_dawn", "music_drift", "music_embers"]) {
  local stream = load_chained_music(DIR + name + ".ogg");
  if (stream != 0) {
    set_channel_volume(stream, 0.6);
    music.append(stream);
  }
}

// Called with the stream that has just ended: the next piece starts.
function do_music_chaining(stream) {
  local n = music.len();
  for (local i = 0; i < n; i++)
    if (music[i] == stream) {
      play_channel(music[(i + 1) % n], true);
      return;
    }
}

if (music.len() > 0)
  play_channel(music[game_rnd() % music.len()], true);
