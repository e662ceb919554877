// The developer server's commands for tools and tests: input as the input
// layer sees it ("key", "mouse", "wheel"), "screenshot", "getState",
// "count", "speed" and "quit". Injected keys and buttons go into our own
// input layer (SDL's live key state ignores pushed events); a press without
// "down" is released at the start of the next update step.
#include <cxxabi.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <typeinfo>
#include <unordered_set>

#include "core/app_globals.h"
#include "render/camera.h"
#include "core/game_mode.h"
#include "core/input.h"
#include "core/stats_tracker.h"
#include "devtools/dev_commands_local.h"
#include "devtools/dev_server.h"
#include "devtools/screenshot.h"
#include "host/gameobj_lists.h"
#include "world/saved_games.h"

namespace {

// {===== Input

// The control buttons by their settings names, in the bindings' order.
const char* const control_button_names[NUM_CONTROL_BUTTONS] = {
    "B_forward", "B_back", "B_left", "B_right", "B_up", "B_down",
    "B_turbo", "B_lspell", "B_rspell", "B_map", "B_spells"};

// A virtual key from a control button ("B_forward", its bound key) or a key
// name as getKeyName gives it ("F9", "Escape", "W", "#2C"), any case; 0 if none.
int key_from_name(const std::string& name)
{
  for (int i = 0; i < NUM_CONTROL_BUTTONS; ++i)
    if (strcasecmp(name.c_str(), control_button_names[i]) == 0) return get_button_key(i);
  for (int vk = 1; vk < 256; ++vk)
    if (strcasecmp(name.c_str(), getKeyName(vk)) == 0) return vk;
  return 0;
}

bool is_mouse_button(int vk) { return vk == VK_LBUTTON || vk == VK_RBUTTON || vk == VK_MBUTTON; }

// Keys and buttons to release at the start of the next step.
std::vector<int> release_next_step;

void press(int vk, bool down)
{
  bool button = is_mouse_button(vk);
  int type = button ? (down ? INPUT_BUTTON_DOWN : INPUT_BUTTON_UP) : (down ? INPUT_KEY_DOWN : INPUT_KEY_UP);
  input_inject_event(type, vk, 0, 0, 0);
}

// down = 1 press, 0 release, absent: press now and release at the next step.
void press_or_tap(const DevMessage& msg, int vk)
{
  if (msg.has("down")) {
    press(vk, msg.getInt("down") != 0);
    return;
  }
  press(vk, true);
  release_next_step.push_back(vk);
}

void key_cmd(const DevMessage& msg, DevReply& reply)
{
  const std::string& name = msg.getString("name");
  int vk = key_from_name(name);
  if (!vk) {
    reply.fail("Unknown key '%s'", name.c_str());
    return;
  }
  press_or_tap(msg, vk);
}

void mouse_cmd(const DevMessage& msg, DevReply& reply)
{
  int x = msg.getInt("x"), y = msg.getInt("y");
  int button = msg.getInt("button", 0);
  if (button < 0 || button > 3) {
    reply.fail("Unknown mouse button %d (1 left, 2 right, 3 middle)", button);
    return;
  }
  input_inject_event(INPUT_MOUSE_MOVE, 0, (float)x, (float)y, 0);
  static const int button_vk[4] = {0, VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
  if (button) press_or_tap(msg, button_vk[button]);
}

void wheel_cmd(const DevMessage& msg, DevReply&)
{
  int steps = msg.getInt("steps");
  if (steps) input_inject_event(INPUT_WHEEL, 0, 0, 0, steps);
}

// {===== Screenshot, state, counts, speed

void screenshot_cmd(const DevMessage&, DevReply& reply)
{
  reply.add("%s", make_screenshot().c_str());
}

// The class name of the current mode, read from its dynamic type so that
// every mode reports itself without help.
std::string mode_name()
{
  if (!cur_game_mode) return "none";
  const char* mangled = typeid(*cur_game_mode).name();
  int status = 0;
  char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && plain ? plain : mangled;
  free(plain);
  return name;
}

int latest(const int* history, int next_index)
{
  return history[(next_index + STATS_HISTORY_SIZE - 1) % STATS_HISTORY_SIZE];
}

// Live objects: each one once, although some lists share objects.
int live_gameobj_count()
{
  std::unordered_set<const void*> seen;
  for (int i = 0; i < GAMEOBJ_WALKED_LIST_COUNT; ++i)
    if (DynArray<GameObject*>* list = gameobj_walked_list(i))
      for (GameObject* obj : *list) seen.insert(obj);
  return (int)seen.size();
}

// The world clock as the world file would store it now.
int world_time_now()
{
  SavedWorldState state = saved_world_state;
  if (saved_game_hooks.get_world_state) saved_game_hooks.get_world_state(state);
  return state.world_time;
}

void get_state_cmd(const DevMessage&, DevReply& reply)
{
  constexpr double RAD_TO_DEG = 180.0 / 3.14159265358979323846;
  reply.add("mode=%s cam=%.3f,%.3f,%.3f yaw=%.2f pitch=%.2f world_time=%d frame_ms=%.2f update_ms=%.2f objects=%d",
            mode_name().c_str(), camera.pos.x, camera.pos.y, camera.pos.z, camera.yaw * RAD_TO_DEG,
            camera.pitch * RAD_TO_DEG, world_time_now(),
            latest(frame_time_history, frame_history_index) / 1000.0,
            latest(update_time_history, update_history_index) / 1000.0, live_gameobj_count());
  append_dev_state(reply);
}

struct NamedList {
  const char* name;
  DynArray<GameObject*>* list;
};

#define DEV_NAMED_LIST(name) {#name, reinterpret_cast<DynArray<GameObject*>*>(&name##_list)},
const NamedList class_lists[] = {GAMEOBJ_WALKED_LISTS(DEV_NAMED_LIST) GAMEOBJ_UNWALKED_LISTS(DEV_NAMED_LIST)};
#undef DEV_NAMED_LIST

void count_cmd(const DevMessage& msg, DevReply& reply)
{
  const std::string& name = msg.getString("class");
  for (const NamedList& c : class_lists)
    if (name == c.name) {
      reply.add("%d", c.list->size());
      return;
    }
  reply.fail("Unknown class '%s'", name.c_str());
}

void speed_cmd(const DevMessage& msg, DevReply& reply)
{
  double factor = msg.getDouble("factor");
  if (!(factor >= 0.25 && factor <= 16)) {
    reply.fail("Speed factor %g is outside 0.25 to 16", factor);
    return;
  }
  dev_speed_factor = factor;
}

// Ends the run as closing the window does (the whole ordered shutdown).
void quit_cmd(const DevMessage&, DevReply&)
{
  quit_requested = true;
}

} // namespace

void dev_input_begin_step()
{
  if (release_next_step.empty()) return;
  std::vector<int> keys;
  keys.swap(release_next_step);
  for (int vk : keys)
    if (input_injected_held(vk)) press(vk, false);
}

void dev_input_release_all()
{
  release_next_step.clear();
  for (int vk = 1; vk < 256; ++vk)
    if (input_injected_held(vk)) press(vk, false);
}

void register_tool_dev_commands()
{
  register_builtin_dev_command("key", key_cmd);
  register_builtin_dev_command("mouse", mouse_cmd);
  register_builtin_dev_command("wheel", wheel_cmd);
  register_builtin_dev_command("screenshot", screenshot_cmd);
  register_builtin_dev_command("getState", get_state_cmd);
  register_builtin_dev_command("count", count_cmd);
  register_builtin_dev_command("speed", speed_cmd);
  register_builtin_dev_command("quit", quit_cmd);
  register_grid_check_command();
}
