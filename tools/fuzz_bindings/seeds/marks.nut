mark_rect(10, 10, 20, 20, MARK_OBJ, 0);
mark_circle(100, 100, 8, MARK_HOUSE, 0);
mark_water(1, MARK_WATER, 0);
local t = [test_rect_mark(5, 5, 15, 15, MARK_OBJ, MARK_OBJ), test_circle_mark(100, 100, 3, MARK_PLACEMENT, 0)];
debug_object({ a = [1, 2.5, "x", null, true], b = vec4f(1), c = function() {} });
play_sound_event("use_portal");
local s = [get_spell_icon_name("Fireball"), get_spell_title("Fireball"), get_glob_res_amount("mana"),
           get_assigned_button_name(B_map)];
show_splash("Generating", 0.5);
