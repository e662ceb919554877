local s = load_sample("s.wav", 2, SNDF_3D);
local l = load_sample("s.wav", 1, SNDF_LOOP);
set_sample_volume(s, 0.8);
set_sample_dist(s, 5, 200);
local ch = get_channel(s);
set_channel_volume(ch, 0.5);
set_channel_3d_params(ch, 2, 100);
play_channel(ch, true);
fade_out_and_stop(ch, 100);
stop_channel(get_channel(l));
local m = load_music("s.wav", 0.5), n = load_chained_music("s.wav");
local missing = load_sample("absent.wav", 1, 0);
function do_music_chaining(stream) { load_chained_music("s.wav"); }
events <- {
  use_portal = function() { return get_channel(s); },
  enter_world = function() { local c = get_channel(l); play_channel(c, false); return c; },
  player_hit = function() { return game_rnd() % 2 ? get_channel(s) : 0; },
  start_combat = function() { return "x"; },
};
