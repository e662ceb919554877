// The developer server's original commands: palette editing, camera and sun
// placement, the developer map, the window position and the server check.
// Parameters are looked up while a command runs, so a command can fail after
// part of it took effect ("setCamera" has placed the camera before it looks
// up "ha"); external tools rely on that order.
#include <cmath>

#include "core/app_globals.h"
#include "render/camera.h"
#include "core/game_mode.h"
#include "core/window.h"
#include "devtools/dev_commands_local.h"
#include "devtools/dev_server.h"
#include "render/sky.h"
#include "world/worldScript.h"

// Read by the world map and the scene once they use them; the server is
// their only writer today.
bool use_fog = true;
bool force_dev_map = false;

namespace {

// The palette preview's two variables; nothing else in the program reads them.
int show_pal_seed = 0;
const char* show_pal_name = nullptr;

constexpr double DEG_TO_RAD = 3.14159265358979323846 / 180.0;

// A NaN or infinite camera or sun would poison every later frame and step
// (grid indices from NaN are undefined), so such values are refused.
double finite_number(const DevMessage& msg, const char* name)
{
  double v = msg.getDouble(name);
  if (!std::isfinite(v)) throw DevMessageError("param '%s' is not a finite number", name);
  return v;
}

void set_world_pal_color_cmd(const DevMessage& msg, DevReply&)
{
  const std::string& name = msg.getString("name");
  set_world_pal_color(name.c_str(), (unsigned)msg.getInt("color"));
}

void show_world_pal(const DevMessage& msg, DevReply&)
{
  show_pal_seed = msg.getInt("seed");
  show_pal_name = "test_pal";
}

void start_show_world_pal(const DevMessage&, DevReply&)
{
  if (dev_server_dev_mode) set_game_mode(dev_server_dev_mode);
  use_fog = false;
}

void set_camera(const DevMessage& msg, DevReply&)
{
  double x = finite_number(msg, "x"), y = finite_number(msg, "y"), z = finite_number(msg, "z");
  set_camera_pos(Vec4f{(float)x, (float)y, (float)z, 1});
  camera.yaw = (float)(finite_number(msg, "ha") * DEG_TO_RAD);
  camera.pitch = (float)(finite_number(msg, "va") * DEG_TO_RAD);
}

void set_sun_dir_cmd(const DevMessage& msg, DevReply&)
{
  double x = finite_number(msg, "x"), y = finite_number(msg, "y"), z = finite_number(msg, "z");
  double len = std::sqrt(x * x + y * y + z * z);
  if (!(len > 1e-6) || !std::isfinite(len)) throw DevMessageError("the sun direction has no length");
  set_sun_dir(true, Vec4f{(float)(x / len), (float)(y / len), (float)(z / len), 0});
}

void force_dev_map_cmd(const DevMessage& msg, DevReply&)
{
  force_dev_map = msg.getInt("show") != 0;
}

void check_server(const DevMessage&, DevReply& reply)
{
  reply.add("0.26 DEMO");
}

void set_window_pos_cmd(const DevMessage& msg, DevReply&)
{
  set_fullscreen(false);
  int left = msg.getInt("left"), top = msg.getInt("top");
  int width = msg.getInt("width"), height = msg.getInt("height");
  if (width < 1 || height < 1) throw DevMessageError("window size %dx%d is not positive", width, height);
  set_window_pos(left, top, width, height);
}

} // namespace

void register_design_dev_commands()
{
  register_builtin_dev_command("setWorldPalColor", set_world_pal_color_cmd);
  register_builtin_dev_command("showWorldPal", show_world_pal);
  register_builtin_dev_command("startShowWorldPal", start_show_world_pal);
  register_builtin_dev_command("setCamera", set_camera);
  register_builtin_dev_command("setSunDir", set_sun_dir_cmd);
  register_builtin_dev_command("forceDevMap", force_dev_map_cmd);
  register_builtin_dev_command("checkServer", check_server);
  register_builtin_dev_command("setWindowPos", set_window_pos_cmd);
}
