// The module's part in start-up, the update step and shutdown.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/log.h"
#include "core/stats_tracker.h"
#include "host/gameobj_api.h"
#include "host/gameobj_host.h"
#include "host/gameobj_rebuild.h"

UpdateStatsTracker gameobjTiming("game objs");

namespace {

void call(void* entry)
{
  if (entry) gameobj_fn<void (*)()>(entry)();
}

} // namespace

void run_gameobj_update(float dt)
{
  if (!gameobj_funcs.update_gameobj) return;
  ScopedStatsTiming timing(gameobjTiming);
  gameobj_fn<void (*)(float)>(gameobj_funcs.update_gameobj)(dt);
}

void start_gameobj_module(const char* source_folder)
{
  char folder[260];
  const char* env = getenv("RUNEHOLM_MODULE_SRC");
  snprintf(folder, sizeof(folder), "%s", env && *env ? env : source_folder);
  size_t len = strlen(folder);
  if (len && folder[len - 1] != '/' && len + 1 < sizeof(folder)) strcat(folder, "/");
  debug("gameobj sources: '%s'", folder);
  load_gameobj_module(folder, "main.ls");
  // The rebuild script compiles the module against these host headers.
  setenv("RUNEHOLM_HOST_SRC", RUNEHOLM_MODULE_SRC_DIR "/../src", 0);
}

void release_gameobjs()
{
  call(gameobj_funcs.close_game_menu);
  call(gameobj_funcs.remove_all_gameobj);
}

void close_gameobj_module()
{
  call(gameobj_funcs.close_spells_ui);
  call(gameobj_funcs.close_gameobj);
  call(gameobj_funcs.close_inst_render);
  // A build still running would otherwise be left behind.
  wait_gameobj_rebuild();
  unload_gameobj_module();
}
