// The developer server: message handling, the command registry and the
// program's hooks (start, poll, stop). The commands themselves live in
// dev_commands.cpp (the server's original table) and dev_tool_commands.cpp
// (input, screenshots and state for tools and tests).
#include "devtools/dev_server.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "core/log.h"
#include "core/platform.h"
#include "core/shutdown.h"
#include "core/stream.h"
#include "devtools/dev_commands_local.h"
#include "host/gameobj_host.h"

DevServer dev_server;
GameMode* dev_server_dev_mode = nullptr;
double dev_speed_factor = 1.0;

// {===== Registry

namespace {

struct DevCommand {
  std::string name;
  DevCommandFn fn;
  bool builtin;
};

struct Registry {
  std::vector<DevCommand> commands;
  std::vector<DevStateFn> state_fns; // all the module's
  bool builtins_added = false;
};

Registry registry;

void add_command(const char* name, DevCommandFn fn, bool builtin)
{
  for (DevCommand& c : registry.commands)
    if (c.name == name) {
      c.fn = fn;
      c.builtin = builtin;
      return;
    }
  registry.commands.push_back({name, fn, builtin});
}

// The built-in commands exist before anything asks for them, so the module
// may replace one by name at its first link.
void ensure_builtins()
{
  if (registry.builtins_added) return;
  registry.builtins_added = true;
  register_design_dev_commands();
  register_tool_dev_commands();
}

DevCommandFn find_command(const std::string& name)
{
  ensure_builtins();
  for (const DevCommand& c : registry.commands)
    if (c.name == name) return c.fn;
  return nullptr;
}

double speed_total = 0;

} // namespace

bool register_dev_command(const char* name, DevCommandFn fn)
{
  if (!name || !*name || !fn) return false;
  ensure_builtins();
  add_command(name, fn, false);
  return true;
}

void register_builtin_dev_command(const char* name, DevCommandFn fn)
{
  add_command(name, fn, true);
}

void register_dev_state(DevStateFn fn)
{
  if (!fn) return;
  for (DevStateFn f : registry.state_fns)
    if (f == fn) return;
  registry.state_fns.push_back(fn);
}

void drop_module_dev_commands()
{
  auto& list = registry.commands;
  list.erase(std::remove_if(list.begin(), list.end(), [](const DevCommand& c) { return !c.builtin; }), list.end());
  registry.state_fns.clear();
}

void append_dev_state(DevReply& reply)
{
  for (DevStateFn f : registry.state_fns) f(reply);
}

// {===== Messages

void DevServer::handleMessage(const char* data, int length)
{
  DevReply reply;
  try {
    DevMessage msg;
    msg.decode(data, length);
    debug("DevServer: command <%s>", msg.command().c_str());
    for (const DevParam& p : msg.params()) {
      debug_("  %s = ", p.name.c_str());
      if (p.type == 'i')
        debug("int %d", p.i);
      else if (p.type == 'd')
        debug("double %g", p.d);
      else
        debug("str \"%s\"", p.s.c_str());
    }
    DevCommandFn fn = find_command(msg.command());
    if (!fn)
      reply.fail("Unknown command");
    else
      fn(msg, reply);
  } catch (const DevMessageError& e) {
    debug("DevServer: %s", e.text);
    reply.fail("Bad message format");
  } catch (const StreamIOException& e) {
    debug("DevServer: %s", e.message);
    reply.fail("Bad message format");
  } catch (const std::exception& e) {
    debug("DevServer: %s", e.what());
    reply.fail("Bad message format");
  }
  send(reply.text().data(), (int)reply.text().size());
}

void DevServer::handleOversizedMessage(int length)
{
  debug("DevServer: a message of %d bytes is longer than %d; dropped", length, MAX_MESSAGE_SIZE);
  static const char reply[] = "eBad message format";
  send(reply, (int)sizeof reply - 1);
}

void DevServer::clientDisconnected()
{
  // Keys a tool held down must not stay down once it is gone.
  dev_input_release_all();
}

// {===== Hooks

std::string dev_socket_path()
{
  const char* env = getenv("RUNEHOLM_DEV_SOCKET");
  if (env && *env) return env;
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) {
    std::string p = runtime;
    if (p.back() != '/') p += '/';
    return p + "runeholm-dev.sock";
  }
  make_folders(get_appdata_folder_path(""));
  return get_appdata_folder_path("runeholm-dev.sock").c_str();
}

bool dev_server_wanted(int argc, char** argv)
{
  for (int i = 1; i < argc; ++i)
    if (argv[i] && strcmp(argv[i], "-devserver") == 0) return true;
  return false;
}

void dev_server_start(bool wanted, GameMode* dev_mode)
{
  dev_server_dev_mode = dev_mode;
  ensure_builtins();
  gameobj_unlink_dev_commands = drop_module_dev_commands;
  if (!wanted) return;
  std::string path = dev_socket_path();
  if (!dev_server.start(path.c_str())) return;
  debug("DevServer: listening on '%s'", path.c_str());
  // The last step registered in the scene stage runs first: the server stops
  // before anything it drives is closed.
  shutdown_register(ShutdownStage::Scene, dev_server_stop);
}

void dev_server_poll()
{
  dev_input_begin_step();
  dev_server.poll();
}

void dev_server_stop()
{
  dev_server.stop();
  dev_speed_factor = 1.0;
}

int dev_server_steps_due()
{
  if (dev_speed_factor == 1.0) return 1;
  speed_total += dev_speed_factor;
  int n = (int)speed_total;
  speed_total -= n;
  return n;
}
