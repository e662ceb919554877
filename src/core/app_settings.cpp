// Reading the start-up settings. Keys and arguments are matched exactly
// (case-sensitive); only the value of gfx_quality is compared ignoring case.
#include "core/app_settings.h"

#include "core/app_globals.h"
#include "core/config.h"
#include "core/priority.h"

#include <cstring>
#include <strings.h>

namespace {

// The settings of a fresh installation, so that a missing key means the same
// thing on every call, not whatever a previous call left behind.
void set_setting_defaults()
{
    app_fullscreen = true;
    app_screen_wd = 0;
    app_screen_ht = 0;
    app_use_vsync = false;
    use_ppaa = false;
    use_obj_shadows = true;
    left_handed = false;
    land_shadow_quality = 2;
    shadow_resolution = 1;
    blur_shadows = false;
    invert_mouse_y = false;
    gfx_quality = 1;
    process_priority = 0;
}

void read_gfx_quality()
{
    char name[32];
    if (!get_config_str("gfx_quality", name, sizeof(name)))
        return;
    for (int q = 0; q < 2; ++q) {
        if (strcasecmp(name, gfx_quality_name[q]) == 0) {
            gfx_quality = q;
            return;
        }
    }
}

struct ScreenArg {
    const char* arg;
    int wd, ht;
};
constexpr ScreenArg screen_args[] = {
    {"-720", 1280, 720},
    {"-360", 640, 360},
    {"-1024", 1280, 1024},
};

struct FlagArg {
    const char* arg;
    bool* flag;
    bool value;
};
const FlagArg flag_args[] = {
    {"-aa", &use_ppaa, true},
    {"-noaa", &use_ppaa, false},
    {"-vs", &app_use_vsync, true},
    {"-novs", &app_use_vsync, false},
    {"-fullscr", &app_fullscreen, true},
    {"-win", &app_fullscreen, false},
};

} // namespace

bool apply_app_argument(const char* arg)
{
    for (const ScreenArg& s : screen_args) {
        if (strcmp(arg, s.arg) == 0) {
            app_screen_wd = s.wd;
            app_screen_ht = s.ht;
            return true;
        }
    }
    for (const FlagArg& f : flag_args) {
        if (strcmp(arg, f.arg) == 0) {
            *f.flag = f.value;
            return true;
        }
    }
    if (strcmp(arg, "-gfx-high") == 0) {
        gfx_quality = 1;
        return true;
    }
    if (strcmp(arg, "-gfx-low") == 0) {
        gfx_quality = 0;
        return true;
    }
    return false;
}

void read_app_settings(int argc, char** argv)
{
    set_setting_defaults();

    get_config_int("screen_wd", app_screen_wd);
    get_config_int("screen_ht", app_screen_ht);
    get_config_bool("fullscreen", app_fullscreen);
    get_config_bool("antialias", use_ppaa);
    get_config_bool("vsync", app_use_vsync);
    get_config_bool("obj_shadows", use_obj_shadows);
    get_config_bool("left_handed", left_handed);
    get_config_int("land_shadows", land_shadow_quality);
    get_config_int("shadow_resolution", shadow_resolution);
    get_config_bool("blur_shadows", blur_shadows);
    get_config_bool("invert_mouse_y", invert_mouse_y);
    read_gfx_quality();
    int priority = 0;
    get_config_int("process_priority", priority);
    set_process_priority(priority);

    for (int i = 1; i < argc; ++i) {
        if (argv[i])
            apply_app_argument(argv[i]);
    }
}
