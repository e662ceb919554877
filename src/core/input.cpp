// Input of one update step: the event queue (oldest first), per-key edge
// marks (bit 0 went down, bit 1 went up, bit 2 went down with Control, by
// virtual key up to 255), the last
// key and character, the wheel sum and the stored mouse position; and the
// control buttons on top. Everything runs on the main thread, fed from the
// window's message processing and cleared once per update step.
#include "core/input.h"

#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/app_globals.h"
#include "core/config.h"

namespace {

struct QueuedEvent {
  InputEvent ev;
  QueuedEvent* next;
};

struct InputState {
  SDL_Window* window;
  QueuedEvent* head;
  QueuedEvent* tail;
  unsigned char edges[256];
  int last_key, last_char;
  int wheel_sum;
  float mouse_x, mouse_y;
  bool captured;     // a mouse button is held
  bool mouse_over;
  int buttons_held;  // IEF_LBUTTON | IEF_RBUTTON | IEF_MBUTTON as the events say
  bool injected[256]; // keys and buttons held by injected events
  // The last mouse move was injected (the developer socket): there may be no
  // real pointer (the headless driver has none), so the injected one counts
  // as over the window and follows the game's own warps.
  bool injected_mouse;
  // The game's last warp of the cursor, until its own move event comes back:
  // the position is taken at the warp, so the echo (which may come after an
  // injected move) must not move it back.
  bool warp_pending;
  int warp_x, warp_y;
};

InputState in;

} // namespace

// {===== Key codes and names

// Scancodes of the keys whose virtual key does not follow the keycode.
static int vk_from_scancode(int sc) {
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + (sc - SDL_SCANCODE_A);
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return 112 + (sc - SDL_SCANCODE_F1);
  if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return 124 + (sc - SDL_SCANCODE_F13);
  if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return 97 + (sc - SDL_SCANCODE_KP_1);
  switch (sc) {
  case SDL_SCANCODE_0: return '0';
  case SDL_SCANCODE_KP_0: return 96;
  case SDL_SCANCODE_BACKSPACE: return 8;
  case SDL_SCANCODE_TAB: return 9;
  case SDL_SCANCODE_CLEAR: return 12;
  case SDL_SCANCODE_RETURN: case SDL_SCANCODE_KP_ENTER: return 13;
  case SDL_SCANCODE_LSHIFT: case SDL_SCANCODE_RSHIFT: return 16;
  case SDL_SCANCODE_LCTRL: case SDL_SCANCODE_RCTRL: return 17;
  case SDL_SCANCODE_LALT: case SDL_SCANCODE_RALT: return 18;
  case SDL_SCANCODE_PAUSE: return 19;
  case SDL_SCANCODE_CAPSLOCK: return 20;
  case SDL_SCANCODE_ESCAPE: return 27;
  case SDL_SCANCODE_SPACE: return 32;
  case SDL_SCANCODE_PAGEUP: return 33;
  case SDL_SCANCODE_PAGEDOWN: return 34;
  case SDL_SCANCODE_END: return 35;
  case SDL_SCANCODE_HOME: return 36;
  case SDL_SCANCODE_LEFT: return 37;
  case SDL_SCANCODE_UP: return 38;
  case SDL_SCANCODE_RIGHT: return 39;
  case SDL_SCANCODE_DOWN: return 40;
  case SDL_SCANCODE_SELECT: return 41;
  case SDL_SCANCODE_EXECUTE: return 43;
  case SDL_SCANCODE_PRINTSCREEN: return 44;
  case SDL_SCANCODE_INSERT: return 45;
  case SDL_SCANCODE_DELETE: return 46;
  case SDL_SCANCODE_HELP: return 47;
  case SDL_SCANCODE_LGUI: return 91;
  case SDL_SCANCODE_RGUI: return 92;
  case SDL_SCANCODE_APPLICATION: return 93;
  case SDL_SCANCODE_SLEEP: return 95;
  case SDL_SCANCODE_KP_MULTIPLY: return 106;
  case SDL_SCANCODE_KP_PLUS: return 107;
  case SDL_SCANCODE_KP_MINUS: return 109;
  case SDL_SCANCODE_KP_PERIOD: case SDL_SCANCODE_KP_DECIMAL: return 110;
  case SDL_SCANCODE_KP_DIVIDE: return 111;
  case SDL_SCANCODE_NUMLOCKCLEAR: return 144;
  case SDL_SCANCODE_SCROLLLOCK: return 145;
  case SDL_SCANCODE_SEMICOLON: return 186;
  case SDL_SCANCODE_EQUALS: return 187;
  case SDL_SCANCODE_COMMA: return 188;
  case SDL_SCANCODE_MINUS: return 189;
  case SDL_SCANCODE_PERIOD: return 190;
  case SDL_SCANCODE_SLASH: return 191;
  case SDL_SCANCODE_GRAVE: return 192;
  case SDL_SCANCODE_LEFTBRACKET: return 219;
  case SDL_SCANCODE_BACKSLASH: return 220;
  case SDL_SCANCODE_RIGHTBRACKET: return 221;
  case SDL_SCANCODE_APOSTROPHE: return 222;
  case SDL_SCANCODE_NONUSBACKSLASH: return 226;
  case SDL_SCANCODE_AUDIONEXT: return 176;
  case SDL_SCANCODE_AUDIOPREV: return 177;
  case SDL_SCANCODE_AUDIOSTOP: return 178;
  case SDL_SCANCODE_AUDIOPLAY: return 179;
  case SDL_SCANCODE_MUTE: return 173;
  case SDL_SCANCODE_VOLUMEDOWN: return 174;
  case SDL_SCANCODE_VOLUMEUP: return 175;
  default: return 0;
  }
}

// Letters and digits follow the keyboard layout (as Windows virtual keys do);
// every other key goes by its position.
int input_vk_from_sdl(int keycode, int scancode) {
  if (keycode >= 'a' && keycode <= 'z') return keycode - 'a' + 'A';
  if (keycode >= '0' && keycode <= '9') return keycode;
  return vk_from_scancode(scancode);
}

// The US layout's shifted characters of the printable keys.
static int shifted(int c) {
  static const char from[] = "`1234567890-=[]\\;',./";
  static const char to[] = "~!@#$%^&*()_+{}|:\"<>?";
  const char* p = strchr(from, c);
  return p && c ? to[p - from] : c;
}

int input_char_for_key(int keycode, int mod) {
  if (mod & (KMOD_CTRL | KMOD_GUI)) return 0;
  bool shift = (mod & KMOD_SHIFT) != 0;
  if (keycode >= 'a' && keycode <= 'z') {
    bool upper = shift != ((mod & KMOD_CAPS) != 0);
    return upper ? keycode - 'a' + 'A' : keycode;
  }
  if (keycode >= 32 && keycode < 127) return shift ? shifted(keycode) : keycode;
  if (keycode >= SDLK_KP_1 && keycode <= SDLK_KP_9) return (mod & KMOD_NUM) ? '1' + (keycode - SDLK_KP_1) : 0;
  switch (keycode) {
  case SDLK_KP_0: return (mod & KMOD_NUM) ? '0' : 0;
  case SDLK_KP_PERIOD: return (mod & KMOD_NUM) ? '.' : 0;
  case SDLK_KP_MULTIPLY: return '*';
  case SDLK_KP_PLUS: return '+';
  case SDLK_KP_MINUS: return '-';
  case SDLK_KP_DIVIDE: return '/';
  default: return 0;
  }
}

namespace {

struct KeyNames {
  char hex[256][4];
  const char* names[256];
  KeyNames() {
    static const char* const digits[10] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    static const char* const letters[26] = {"A", "B", "C", "D", "E", "F", "G", "H", "I",
                                            "J", "K", "L", "M", "N", "O", "P", "Q", "R",
                                            "S", "T", "U", "V", "W", "X", "Y", "Z"};
    static const char* const numpad[10] = {"NumPad 0", "NumPad 1", "NumPad 2", "NumPad 3",
                                           "NumPad 4", "NumPad 5", "NumPad 6", "NumPad 7",
                                           "NumPad 8", "NumPad 9"};
    static const char* const fkeys[12] = {"F1", "F2", "F3", "F4",  "F5",  "F6",
                                          "F7", "F8", "F9", "F10", "F11", "F12"};
    static const struct {
      int vk;
      const char* name;
    } named[] = {{1, "Left Mouse Button"}, {2, "Right Mouse Button"}, {4, "Middle Mouse Button"},
                 {8, "Backspace"}, {9, "Tab"}, {13, "Enter"}, {16, "Shift"}, {17, "Ctrl"},
                 {18, "Alt"}, {19, "Pause"}, {20, "Caps Lock"}, {27, "Escape"}, {32, "Space"},
                 {33, "Page Up"}, {34, "Page Down"}, {35, "End"}, {36, "Home"},
                 {37, "Left Arrow"}, {38, "Up Arrow"}, {39, "Right Arrow"}, {40, "Down Arrow"},
                 {45, "Insert"}, {46, "Delete"}, {91, "Left Win"}, {92, "Right Win"},
                 {93, "Application"}, {106, "Multiply"}, {107, "Add"}, {109, "Subtract"},
                 {110, "Decimal"}, {111, "Divide"}, {144, "Num Lock"}, {145, "Scroll Lock"},
                 {186, "Semicolon"}, {187, "Equals"}, {188, "Comma"}, {189, "Minus"},
                 {190, "Period"}, {191, "Slash"}, {192, "Grave"}, {219, "Left bracket"},
                 {220, "Backslash"}, {221, "Right bracket"}, {222, "Apostrophe"}};
    for (int k = 0; k < 256; k++) {
      snprintf(hex[k], sizeof hex[k], "#%02X", k);
      names[k] = hex[k];
    }
    for (const auto& n : named) names[n.vk] = n.name;
    for (int i = 0; i < 10; i++) names[48 + i] = digits[i];
    for (int i = 0; i < 26; i++) names[65 + i] = letters[i];
    for (int i = 0; i < 10; i++) names[96 + i] = numpad[i];
    for (int i = 0; i < 12; i++) names[112 + i] = fkeys[i];
  }
};

const KeyNames key_names;

} // namespace

const char* getKeyName(int vk) {
  if (vk < 0 || vk > 255) return "?";
  return key_names.names[vk];
}

// {===== Queries

bool getEvent(InputEvent* out) {
  QueuedEvent* q = in.head;
  if (!q) return false;
  in.head = q->next;
  if (!in.head) in.tail = nullptr;
  if (out) *out = q->ev;
  free(q);
  return true;
}

bool keyDown(int vk) { return vk >= 0 && vk < 256 && (in.edges[vk] & 1); }
bool keyUp(int vk) { return vk >= 0 && vk < 256 && (in.edges[vk] & 2); }
bool keyDownWithCtrl(int vk) { return vk >= 0 && vk < 256 && (in.edges[vk] & 4); }

bool getKeyState(int vk) {
  if (vk >= 0 && vk < 256 && in.injected[vk]) return true;
  Uint32 mouse = SDL_GetMouseState(nullptr, nullptr);
  switch (vk) {
  case VK_LBUTTON: return (mouse & SDL_BUTTON_LMASK) != 0;
  case VK_RBUTTON: return (mouse & SDL_BUTTON_RMASK) != 0;
  case VK_MBUTTON: return (mouse & SDL_BUTTON_MMASK) != 0;
  case 5: return (mouse & SDL_BUTTON_X1MASK) != 0;
  case 6: return (mouse & SDL_BUTTON_X2MASK) != 0;
  default: break;
  }
  if (vk < 1 || vk > 255) return false;
  int numkeys = 0;
  const Uint8* keys = SDL_GetKeyboardState(&numkeys);
  // A virtual key may sit on several scancodes (both Shift keys, Enter and
  // the keypad's Enter): held when any of them is.
  for (int sc = 0; sc < numkeys; sc++) {
    if (!keys[sc]) continue;
    SDL_Keycode kc = SDL_GetKeyFromScancode((SDL_Scancode)sc);
    if (input_vk_from_sdl(kc, sc) == vk) return true;
  }
  return false;
}

int getKey() { return in.last_key; }
int getChar() { return in.last_char; }
int getMouseWheel() { return in.wheel_sum; }

void getMousePos(float* x, float* y) {
  if (x) *x = in.mouse_x;
  if (y) *y = in.mouse_y;
}

void setMousePos(float x, float y) {
  if (!in.window) return;
  SDL_WarpMouseInWindow(in.window, (int)x, (int)y);
  in.mouse_x = x;
  in.mouse_y = y;
  in.warp_pending = true;
  in.warp_x = (int)x;
  in.warp_y = (int)y;
}

bool isMouseOver() { return in.mouse_over; }

// {===== Event creation

static int modifier_flags(int mod) {
  int f = 0;
  if (mod & KMOD_SHIFT) f |= IEF_SHIFT;
  if (mod & KMOD_CTRL) f |= IEF_CTRL;
  if (mod & KMOD_ALT) f |= IEF_ALT;
  if (mod & KMOD_CAPS) f |= IEF_CAPSLOCK;
  if (mod & KMOD_SCROLL) f |= IEF_SCROLLLOCK;
  if (mod & KMOD_NUM) f |= IEF_NUMLOCK;
  return f;
}

static void client_size(int& w, int& h) {
  w = h = 0;
  if (in.window) SDL_GetWindowSize(in.window, &w, &h);
}

static float clampf(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

// The common path of every event: edges, capture, position, queue, and the
// step's summary values. `mod` is the keyboard modifier state at the event.
static void create_event(int type, int key, int ch, int flags, int mod, float x, float y, int wheel) {
  QueuedEvent* q = (QueuedEvent*)malloc(sizeof(QueuedEvent));
  if (!q) return;
  InputEvent& e = q->ev;
  e = InputEvent{};
  e.type = type;
  if (type == INPUT_KEY_DOWN || type == INPUT_KEY_UP) {
    if (key >= 0 && key < 256) {
      if (type == INPUT_KEY_UP)
        in.edges[key] |= 2;
      else if (!(flags & IEF_REPEAT))
        in.edges[key] |= (mod & KMOD_CTRL) ? 5 : 1;
    }
    e.ch = ch;
    e.key = key;
  } else if (type == INPUT_BUTTON_DOWN) {
    e.key = key;
    in.edges[key & 255] |= 1;
    SDL_CaptureMouse(SDL_TRUE);
    in.captured = true;
    in.buttons_held |= key == 1 ? IEF_LBUTTON : key == 2 ? IEF_RBUTTON : IEF_MBUTTON;
  } else if (type == INPUT_BUTTON_UP) {
    e.key = key;
    in.edges[key & 255] |= 2;
    SDL_CaptureMouse(SDL_FALSE);
    // The button-up reports where the game believes the cursor is, and puts
    // the system cursor back there.
    if (in.window) SDL_WarpMouseInWindow(in.window, (int)in.mouse_x, (int)in.mouse_y);
    x = in.mouse_x;
    y = in.mouse_y;
    in.captured = false;
    in.buttons_held &= ~(key == 1 ? IEF_LBUTTON : key == 2 ? IEF_RBUTTON : IEF_MBUTTON);
  } else if (type == INPUT_WHEEL) {
    e.wheel = wheel;
  }
  e.flags = flags | modifier_flags(mod) | in.buttons_held;
  if (type == INPUT_KEY_DOWN || type == INPUT_KEY_UP) {
    e.x = in.mouse_x;
    e.y = in.mouse_y;
  } else {
    int w, h;
    client_size(w, h);
    e.x = clampf(x, 0.f, (float)(w - 1 > 0 ? w - 1 : 0));
    e.y = clampf(y, 0.f, (float)(h - 1 > 0 ? h - 1 : 0));
  }
  q->next = nullptr;
  if (in.tail)
    in.tail->next = q;
  else
    in.head = q;
  in.tail = q;
  if (type == INPUT_KEY_DOWN || type == INPUT_BUTTON_DOWN) {
    in.last_key = e.key;
    in.last_char = e.ch;
  } else if (type == INPUT_MOUSE_MOVE) {
    in.mouse_x = e.x;
    in.mouse_y = e.y;
  } else if (type == INPUT_WHEEL) {
    in.wheel_sum += wheel;
  }
}

static int button_code(int sdl_button) {
  switch (sdl_button) {
  case SDL_BUTTON_LEFT: return 1;
  case SDL_BUTTON_RIGHT: return 2;
  case SDL_BUTTON_MIDDLE: return 4;
  default: return 0;
  }
}

bool input_handle_sdl_event(const SDL_Event& ev) {
  switch (ev.type) {
  case SDL_KEYDOWN:
  case SDL_KEYUP: {
    const SDL_Keysym& k = ev.key.keysym;
    int vk = input_vk_from_sdl(k.sym, k.scancode);
    if (!vk) return false;
    bool down = ev.type == SDL_KEYDOWN;
    int ch = input_char_for_key(k.sym, k.mod);
    create_event(down ? INPUT_KEY_DOWN : INPUT_KEY_UP, vk, ch, down && ev.key.repeat ? IEF_REPEAT : 0,
                 k.mod, 0, 0, 0);
    return true;
  }
  case SDL_MOUSEMOTION:
    if (in.warp_pending && ev.motion.x == in.warp_x && ev.motion.y == in.warp_y) {
      in.warp_pending = false; // the echo of our own warp, already applied
      return false;
    }
    in.injected_mouse = false; // a real pointer moves
    create_event(INPUT_MOUSE_MOVE, 0, 0, 0, SDL_GetModState(), (float)ev.motion.x, (float)ev.motion.y, 0);
    return true;
  case SDL_MOUSEBUTTONDOWN:
  case SDL_MOUSEBUTTONUP: {
    int b = button_code(ev.button.button);
    if (!b) return false;
    bool down = ev.type == SDL_MOUSEBUTTONDOWN;
    if (down && in.window) SDL_RaiseWindow(in.window); // a click also takes the keyboard focus
    create_event(down ? INPUT_BUTTON_DOWN : INPUT_BUTTON_UP, b, 0,
                 down && ev.button.clicks >= 2 ? IEF_REPEAT : 0, SDL_GetModState(),
                 (float)ev.button.x, (float)ev.button.y, 0);
    return true;
  }
  case SDL_MOUSEWHEEL: {
    int steps = ev.wheel.y;
    if (ev.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
    if (!steps) return false;
    create_event(INPUT_WHEEL, 0, 0, 0, SDL_GetModState(), (float)ev.wheel.mouseX,
                 (float)ev.wheel.mouseY, steps);
    return true;
  }
  default: return false;
  }
}

// {===== Injected input

// The character of an injected key: letters (lower case unless Shift is
// held), digits and the space bar.
static int injected_char(int vk, bool shift) {
  if (vk >= 'A' && vk <= 'Z') return shift ? vk : vk - 'A' + 'a';
  if ((vk >= '0' && vk <= '9') || vk == VK_SPACE) return vk;
  return 0;
}

void input_inject_event(int type, int key, float x, float y, int wheel) {
  bool down = type == INPUT_KEY_DOWN || type == INPUT_BUTTON_DOWN;
  bool up = type == INPUT_KEY_UP || type == INPUT_BUTTON_UP;
  if ((down || up) && (key < 1 || key > 255)) return;
  int mod = SDL_GetModState();
  if (in.injected[VK_SHIFT]) mod |= KMOD_LSHIFT;
  if (in.injected[VK_CONTROL]) mod |= KMOD_LCTRL;
  if (in.injected[VK_MENU]) mod |= KMOD_LALT;
  int ch = type == INPUT_KEY_DOWN ? injected_char(key, (mod & KMOD_SHIFT) != 0) : 0;
  if (down) in.injected[key] = true;
  if (up) in.injected[key] = false;
  if (type == INPUT_BUTTON_DOWN || type == INPUT_BUTTON_UP || type == INPUT_WHEEL) {
    x = in.mouse_x;
    y = in.mouse_y;
  }
  if (type == INPUT_MOUSE_MOVE) in.injected_mouse = true;
  create_event(type, key, ch, 0, mod, x, y, wheel);
}

bool input_injected_held(int vk) { return vk >= 0 && vk < 256 && in.injected[vk]; }

void input_start(SDL_Window* window) {
  in.window = window;
  int x = 0, y = 0, wx = 0, wy = 0;
  SDL_GetGlobalMouseState(&x, &y);
  if (window) SDL_GetWindowPosition(window, &wx, &wy);
  in.mouse_x = (float)(x - wx);
  in.mouse_y = (float)(y - wy);
  memset(in.edges, 0, sizeof in.edges);
}

void input_update_mouse_over(bool fullscreen) {
  if (in.captured || fullscreen || in.injected_mouse) {
    in.mouse_over = true;
    return;
  }
  in.mouse_over = in.window && SDL_GetMouseFocus() == in.window;
}

void discard_input_events() {
  memset(in.edges, 0, sizeof in.edges);
  while (getEvent(nullptr)) {
  }
  in.last_key = in.last_char = in.wheel_sum = 0;
}

// {===== Control buttons

namespace {

struct ControlButton {
  const char* setting;
  const char* ui_name;
  int default_key;
};

const ControlButton control_buttons[NUM_CONTROL_BUTTONS] = {
    {"B_forward", "Forward", 'W'},          {"B_back", "Backward", 'S'},
    {"B_left", "Left", 'A'},                {"B_right", "Right", 'D'},
    {"B_up", "Up", VK_SPACE},               {"B_down", "Down", 'C'},
    {"B_turbo", "Go faster", VK_SHIFT},     {"B_lspell", "Left spell", VK_LBUTTON},
    {"B_rspell", "Right spell", VK_RBUTTON}, {"B_map", "Show map", VK_TAB},
    {"B_spells", "Select spells", VK_CONTROL}};

// Bound keys; the defaults hold until init_controls reads the settings.
int button_keys[NUM_CONTROL_BUTTONS] = {'W', 'S', 'A', 'D', VK_SPACE, 'C', VK_SHIFT, VK_LBUTTON, VK_RBUTTON, VK_TAB, VK_CONTROL};

bool valid_button(int i) { return i >= 0 && i < NUM_CONTROL_BUTTONS; }

} // namespace

void init_controls() {
  for (int i = 0; i < NUM_CONTROL_BUTTONS; i++) {
    button_keys[i] = control_buttons[i].default_key;
    char value[64];
    if (get_config_str(control_buttons[i].setting, value, sizeof value) && value[0] == '#')
      button_keys[i] = atoi(value + 1);
  }
}

bool button_down(int i) { return valid_button(i) && keyDown(button_keys[i]); }
bool button_up(int i) { return valid_button(i) && keyUp(button_keys[i]); }
bool button_state(int i) { return valid_button(i) && getKeyState(button_keys[i]); }

const char* get_button_ui_name(int i) { return valid_button(i) ? control_buttons[i].ui_name : nullptr; }

TempString<260> get_button_key_name(int i) {
  if (!valid_button(i)) return TempString<260>();
  return TempString<260>(getKeyName(button_keys[i]));
}

void set_button_key(int i, int vk) {
  if (!valid_button(i)) return;
  button_keys[i] = vk;
  char value[16];
  snprintf(value, sizeof value, "#%d", vk);
  set_config_str(control_buttons[i].setting, value);
}

int get_button_key(int i) { return valid_button(i) ? button_keys[i] : 0; }
