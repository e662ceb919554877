// Definitions of the program-wide state declared in app_globals.h. The values
// here are the defaults of a fresh start; read_app_settings() sets the
// settings-backed ones again before reading settings.cfg.
#include "core/app_globals.h"

GameMode* cur_game_mode = nullptr;

float time_dt = 0.05f;
float time_ik = 1.0f;

bool isAppActive = true;
bool shouldHideMouse = false;
bool isFullscreen = true;

int app_screen_wd = 0;
int app_screen_ht = 0;

uint64_t game_rnd_seed = 0;

bool show_fps = false;
bool use_postfx = false;
bool force_gameobj_reload = false;

bool app_fullscreen = true;
bool use_ppaa = false;
bool app_use_vsync = false;
bool use_obj_shadows = true;
bool left_handed = false;
int land_shadow_quality = 2;
int shadow_resolution = 1;
bool blur_shadows = false;
bool invert_mouse_y = false;
int gfx_quality = 1;
const char* const gfx_quality_name[2] = {"low", "high"};
int process_priority = 0;

bool quit_requested = false;
