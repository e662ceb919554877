reseed_noise();
add_fast_noise(0, 40, null, GT_SOIL, 0.5, 0.5);
add_simplex_noise(0, 30, 4, 3, 0.5);
gen_fault(128, 128, 1, 0.5, 10, 0.5, 0.2, null, GT_ROCK);
gen_crater(60, 70, 12, 8);
add_voronoi_hills(8, 0, 20, 0.6);
gen_voronoi_faults(4, 0, 20, 2, 0.5, 2, 0.5);
gen_droplet_erosion(200, { Kq = 10, Kw = 0.001, Kr = 0.9, Kd = 0.02, Ki = 0.1, minSlope = 0.05, g = 20 });
local half = recenter_hmap();
flatten_circle(100, 100, 10, 5, 0.5, 2);
local avg = get_average_circle_height(100, 100, 10);
place_house(30, 30, 0);
set_sun_dir(vec4f(0.3, 1, 0.2, 0)); set_sky_name("normal"); set_player_pos(vec4f(128, 0, 128, 0));
local n = [noise1(0.3), fractal_noise1(4, null, 0.7, 0.5), tiled_noise2(0.2, 0.4, 4), tiled_fractal_noise2(3, FloatRamp.linear(-1, 1), 0.1, 0.9, 4, 0.5),
           get_noise_hash1(5), get_noise_hash2(3, 4)];
recolor_by_height(ColorRamp.linear(0xFF000000, 0xFFFFFFFF), null);
recolor_land4(0xFFFF0000, vec4f(0, 1, 0, 1), 0xFF0000FF);
