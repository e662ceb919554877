// Keyboard and mouse input of one update step, and the eleven control
// buttons with rebindable keys.
//
// The key space is the Windows virtual-key codes (settings store "#87", key
// names are indexed by them, scripts see them); SDL keycodes, scancodes and
// mouse buttons are translated on arrival. Events, key edges, the last key and
// character and the wheel sum accumulate across rendered frames and are
// cleared by discard_input_events() after each update step, so every event is
// seen by exactly one step.
#pragma once
#include "core/tempData.h"

struct SDL_Window;
union SDL_Event;

// One input event as handed to callers (28 bytes).
struct InputEvent {
  int type;  // INPUT_* below
  int key;   // virtual key (key events), button 1/2/4 (button events), else 0
  int flags; // IEF_* bits, the keyboard and button state at the event
  int ch;    // printable ASCII the key produces with Shift/Caps Lock, else 0
  int wheel; // wheel steps away from the user (INPUT_WHEEL), else 0
  float x, y; // mouse position in client pixels
};
static_assert(sizeof(InputEvent) == 28);

enum {
  INPUT_KEY_DOWN = 1,
  INPUT_KEY_UP = 2,
  INPUT_BUTTON_DOWN = 3,
  INPUT_BUTTON_UP = 4,
  INPUT_MOUSE_MOVE = 5,
  INPUT_WHEEL = 6,
};

enum {
  IEF_SHIFT = 0x1,
  IEF_CTRL = 0x2,
  IEF_ALT = 0x4,
  IEF_CAPSLOCK = 0x8,
  IEF_SCROLLLOCK = 0x10,
  IEF_NUMLOCK = 0x20,
  IEF_REPEAT = 0x40, // auto-repeat (key down) or double click (button down)
  IEF_LBUTTON = 0x80,
  IEF_RBUTTON = 0x100,
  IEF_MBUTTON = 0x200,
};

// Virtual-key codes the program names.
enum {
  VK_LBUTTON = 1, VK_RBUTTON = 2, VK_MBUTTON = 4,
  VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
  VK_PAUSE = 19, VK_CAPITAL = 20, VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34,
  VK_END = 35, VK_HOME = 36, VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40,
  VK_SNAPSHOT = 44, VK_INSERT = 45, VK_DELETE = 46, VK_F1 = 112, VK_F4 = 115,
};

// {===== Queries of the current update step

bool getEvent(InputEvent* out); // removes the oldest event; false when none
bool keyDown(int vk);           // went down this step (auto-repeat excluded)
bool keyUp(int vk);             // went up this step
// Went down this step with Control held at the event (the key's modifiers):
// the Control combinations also work with injected events.
bool keyDownWithCtrl(int vk);
bool getKeyState(int vk);       // held right now (live state)
int getKey();                   // key of the last key/button-down event, or 0
int getChar();                  // its character, or 0
int getMouseWheel();            // sum of this step's wheel steps
void getMousePos(float* x, float* y);
void setMousePos(float x, float y); // moves the cursor and the stored position (its echo event is dropped)
bool isMouseOver();
const char* getKeyName(int vk); // "Up Arrow", "#0A", "?" above 255

// {===== Control buttons

constexpr int NUM_CONTROL_BUTTONS = 11;
void init_controls(); // loads the bindings from the settings
bool button_down(int i);
bool button_up(int i);
bool button_state(int i);
const char* get_button_ui_name(int i); // null outside 0..10
TempString<260> get_button_key_name(int i);
void set_button_key(int i, int vk); // binds and stores "#%d"
int get_button_key(int i);          // bound virtual key, 0 outside 0..10

// {===== Feeding (main window and frame loop)

void input_start(SDL_Window* window);
// Turns an SDL keyboard, mouse or wheel event into an input event; true when
// it was one. Alt+F4 and Alt+Enter are the window's and do not get here.
bool input_handle_sdl_event(const SDL_Event& e);
// After each round of message processing: whether the mouse is over the
// window (`fullscreen` counts as over).
void input_update_mouse_over(bool fullscreen);
void discard_input_events(); // the per-step clearing

// Translations, exposed for the window and for tests.
int input_vk_from_sdl(int sdl_keycode, int sdl_scancode); // 0 when unknown
int input_char_for_key(int sdl_keycode, int sdl_mod);      // printable ASCII or 0

// {===== Injected input (the developer server)
// SDL's key and mouse state does not follow pushed events, so injected keys
// and buttons are held here: an event goes into the step's queue and edges
// exactly like a real one, and getKeyState reports the key held until an
// injected release. `type` is INPUT_KEY_DOWN/UP (key = virtual key),
// INPUT_BUTTON_DOWN/UP (key = 1, 2 or 4), INPUT_MOUSE_MOVE (x, y) or
// INPUT_WHEEL (wheel steps).
void input_inject_event(int type, int key, float x, float y, int wheel);
bool input_injected_held(int vk);
