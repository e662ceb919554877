// Switching between game modes; the modes themselves live with the
// subsystems they drive.
#include "core/game_mode.h"

#include "core/app_globals.h"
#include "core/log.h"

void set_game_mode(GameMode* mode)
{
    if (mode == cur_game_mode)
        return;
    GameMode* old = cur_game_mode;
    debug("MODE: %s -> %s", old ? old->name() : "none", mode ? mode->name() : "none");
    if (old)
        old->leave(mode);
    cur_game_mode = mode;
    if (mode)
        mode->enter(old);
}
