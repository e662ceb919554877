// Start-up of the GUI runtime in the host: the standard behaviours, the
// deferred destruction in every update step, the drawing primitives.
#include "core/log.h"
#include "core/shutdown.h"
#include "gui/gui_draw.h"
#include "gui/gui_runtime.h"
#include "host/gameobj_host.h"

static void close_gui_runtime() {
  destroy_queued_gui_elements();
  gameobj_destroy_queued_gui = nullptr;
  close_gui_render();
}

void init_gui_runtime() {
  register_std_behaviors();
  register_keybox_behavior();
  gameobj_destroy_queued_gui = destroy_queued_gui_elements;
  init_gui_render();
  shutdown_register(ShutdownStage::Scene, close_gui_runtime);
  debug("GUI: runtime ready");
}
