// Stand-ins for the fuzz target: the commands look their parameters up in
// the same order and with the same types as the real ones (dev_commands.cpp,
// dev_tool_commands.cpp) but change nothing; the few services the server
// calls when it starts do nothing.
#include <cmath>

#include "core/platform.h"
#include "core/shutdown.h"
#include "devtools/dev_commands_local.h"
#include "devtools/dev_server.h"
#include "host/gameobj_host.h"

void (*gameobj_unlink_dev_commands)() = nullptr;
void shutdown_register(ShutdownStage, ShutdownFn) {}
bool make_folders(const char*) { return true; }
PathString get_appdata_folder_path(const char* name) { return PathString(name); }

void dev_input_begin_step() {}
void dev_input_release_all() {}

namespace {

double finite(const DevMessage& m, const char* name)
{
  double v = m.getDouble(name);
  if (!std::isfinite(v)) throw DevMessageError("param '%s' is not a finite number", name);
  return v;
}

} // namespace

void register_design_dev_commands()
{
  register_builtin_dev_command("setWorldPalColor", [](const DevMessage& m, DevReply&) {
    m.getString("name");
    m.getInt("color");
  });
  register_builtin_dev_command("showWorldPal", [](const DevMessage& m, DevReply&) { m.getInt("seed"); });
  register_builtin_dev_command("startShowWorldPal", [](const DevMessage&, DevReply&) {});
  register_builtin_dev_command("setCamera", [](const DevMessage& m, DevReply&) {
    for (const char* n : {"x", "y", "z", "ha", "va"}) finite(m, n);
  });
  register_builtin_dev_command("setSunDir", [](const DevMessage& m, DevReply&) {
    for (const char* n : {"x", "y", "z"}) finite(m, n);
  });
  register_builtin_dev_command("forceDevMap", [](const DevMessage& m, DevReply&) { m.getInt("show"); });
  register_builtin_dev_command("checkServer", [](const DevMessage&, DevReply& r) { r.add("0.26 DEMO"); });
  register_builtin_dev_command("setWindowPos", [](const DevMessage& m, DevReply&) {
    for (const char* n : {"left", "top", "width", "height"}) m.getInt(n);
  });
}

void register_tool_dev_commands()
{
  register_builtin_dev_command("key", [](const DevMessage& m, DevReply& r) {
    const std::string& name = m.getString("name");
    m.getInt("down", 0);
    if (name.empty()) r.fail("Unknown key '%s'", name.c_str());
  });
  register_builtin_dev_command("mouse", [](const DevMessage& m, DevReply& r) {
    m.getInt("x");
    m.getInt("y");
    int b = m.getInt("button", 0);
    if (b < 0 || b > 3) r.fail("Unknown mouse button %d (1 left, 2 right, 3 middle)", b);
    else if (b) m.getInt("down", 0);
  });
  register_builtin_dev_command("wheel", [](const DevMessage& m, DevReply&) { m.getInt("steps"); });
  register_builtin_dev_command("screenshot", [](const DevMessage&, DevReply& r) { r.add("/tmp/shot.png"); });
  register_builtin_dev_command("getState", [](const DevMessage&, DevReply& r) {
    r.add("mode=FuzzMode cam=0,0,0");
    append_dev_state(r);
  });
  register_builtin_dev_command("count", [](const DevMessage& m, DevReply& r) {
    r.fail("Unknown class '%s'", m.getString("class").c_str());
  });
  register_builtin_dev_command("speed", [](const DevMessage& m, DevReply& r) {
    double f = m.getDouble("factor");
    if (!(f >= 0.25 && f <= 16)) r.fail("Speed factor %g is outside 0.25 to 16", f);
  });
}
