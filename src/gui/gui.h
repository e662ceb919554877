// The GUI runtime: a tree of elements per screen, events delivered to the
// behaviours attached to elements, hit testing, hover and capture tracking,
// the tooltip query, the registry of named behaviours and the deferred
// destruction of screens and elements.
//
// Invariants:
// - An element owns its children (deleting an element deletes its subtree);
//   a screen owns its root. Nothing is deleted during event dispatch: code
//   that wants an element or screen gone calls queue_destruction, and the
//   frame's end empties the queues (destroy_queued_gui_elements).
// - Behaviours are shared, stateless handlers (one instance per name in the
//   registry); the state they change lives in the element (hover, pressed,
//   checked, value).
// - `eventMask` of an element is the union of its behaviours' masks; an
//   event whose kind is not in it skips the element's behaviours.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/input.h"
#include "core/dynArray.h"
#include "gui/gui_style.h"

class BaseGuiElement;
class BaseGuiScreen;
class RenderBatch;

// {===== Events

enum GuiEventKind : unsigned {
  GUI_EV_HITTEST = 2,
  GUI_EV_KEY = 4,
  GUI_EV_ENTER = 16,
  GUI_EV_LEAVE = 32,
  GUI_EV_BUTTON_UP = 64,
  GUI_EV_BUTTON_DOWN = 128,
  GUI_EV_MOUSE_MOVE = 256,
  GUI_EV_WHEEL = 512,
  GUI_EV_RESET = 1024,
  GUI_EV_TOOLTIP = 2048,
};

// Dispatch modes of send_event.
enum GuiSendMode {
  GUI_SEND_DOWN_ANCESTRY = 0, // ancestors first (outermost first), then the element
  GUI_SEND_UP_ANCESTRY = 1,   // the element, then its parents until handled or `stop`
  GUI_SEND_ELEMENT = 2,       // this element only
  GUI_SEND_BROADCAST = 3,     // the element, then its subtree in child order
};

// Handler results: 0 go on, 1 handled (stop), 2 handled here, do not descend.
enum { GUI_NOT_HANDLED = 0, GUI_HANDLED = 1, GUI_HANDLED_NO_DESCEND = 2 };

struct NewGuiEvent {
  unsigned kind;
  explicit NewGuiEvent(unsigned k) : kind(k) {}
  virtual ~NewGuiEvent() = default;
};

struct NewGuiHittestEvent : NewGuiEvent {
  float x, y;
  BaseGuiElement* found = nullptr;
  NewGuiHittestEvent(float px, float py) : NewGuiEvent(GUI_EV_HITTEST), x(px), y(py) {}
};

// Keys, enter/leave and the mouse: a copy of the input layer's event.
struct NewGuiInputEvent : NewGuiEvent {
  InputEvent input;
  NewGuiInputEvent(unsigned k, const InputEvent& e) : NewGuiEvent(k), input(e) {}
};

// The tooltip query: a handler that shows a tooltip answers 1.
struct NewGuiTooltipEvent : NewGuiEvent {
  float x, y;
  NewGuiTooltipEvent(float px, float py) : NewGuiEvent(GUI_EV_TOOLTIP), x(px), y(py) {}
};

// {===== Behaviours

class NewGuiEventHandler {
public:
  unsigned eventMask = 0; // the event kinds handled
  explicit NewGuiEventHandler(unsigned mask) : eventMask(mask) {}
  virtual ~NewGuiEventHandler() = default;
  virtual int handleEvent(NewGuiEvent& event, BaseGuiElement* element, int mode) = 0;
  // Called once when a style attaches the behaviour to an element.
  virtual void attach(BaseGuiElement* element) {}
};

// {===== Elements

struct GuiRect {
  float x0, y0, x1, y1;
  float width() const { return x1 - x0; }
  float height() const { return y1 - y0; }
};

// Element state bits (selectors can require them; changing one marks the
// element dirty so that the next restyle re-evaluates it).
enum : unsigned {
  GUI_STATE_HOVER = 1,
  GUI_STATE_PRESSED = 2,
  GUI_STATE_CHECKED = 4,
  GUI_STATE_DISABLED = 8,
  GUI_STATE_FOCUSED = 16, // the key box waits for a key
};

class BaseGuiElement {
public:
  // --- Fields of the runtime (order as designed) ---------------------------
  BaseGuiElement* parent = nullptr;
  DynArray<BaseGuiElement*> children;
  DynArray<NewGuiEventHandler*> behaviors;
  unsigned eventMask = 0;
  GuiRect rect{0, 0, 0, 0}; // screen pixels, set by layout

  // --- Identity for selectors ------------------------------------------------
  std::string name;    // unique-ish id ("#name" selectors)
  std::string classes; // space-separated class names

  // --- Interactive state -----------------------------------------------------
  unsigned state = 0; // GUI_STATE_* bits
  float value = 0;    // slider position 0..1
  std::string text;   // label text, key box key name, tooltip text
  std::string tooltip;
  bool hitTestExcluded = false;

  // Listeners: click (with the button code) and value change.
  std::vector<std::function<void(BaseGuiElement*, int)>> clickListeners;
  std::vector<std::function<void(BaseGuiElement*)>> valueListeners;
  std::vector<std::function<void(BaseGuiElement*, int)>> keyListeners; // key box: the key code

  // --- Style (see gui_style.h) -----------------------------------------------
  GuiPropSet props{};                                  // tagged value pointers
  GuiRunningTransition* transitions[NUM_GUI_PROPS]{}; // owned, null when none
  bool dirty = true;

  BaseGuiElement() = default;
  BaseGuiElement(const BaseGuiElement&) = delete;
  BaseGuiElement& operator=(const BaseGuiElement&) = delete;
  virtual ~BaseGuiElement(); // deletes the children, own values and transitions

  virtual bool isHitTestExcluded() const { return hitTestExcluded; }
  virtual bool isActive() const { return !(state & GUI_STATE_DISABLED); }
  // Places the element (and its children) in `r`; `ref_ht` twice as the
  // screen passes it, `scale` = 0.001 x the back-buffer height.
  virtual void layout(const GuiRect& r, float ref_ht, float ref_ht2, float scale);
  // Size the element asks of its parent's layout (pixels).
  virtual void measure(float scale, float& w, float& h);
  // Appends the element and its subtree to `batch`.
  virtual void render(RenderBatch& batch);

  // Tree building: takes ownership of `child`; returns it.
  BaseGuiElement* add(BaseGuiElement* child);
  // Detaches `child` without deleting it (for queue_destruction of a subtree).
  void removeChild(BaseGuiElement* child);
  bool hasClass(const char* cls) const;

  void setState(unsigned bit, bool on);
  bool hasState(unsigned bit) const { return (state & bit) != 0; }
  void setValue(float v); // clamps to 0..1, notifies value listeners on change
  // A value set on the element itself: never replaced by a style rule.
  void setOwnProp(int slot, const GuiValue& v);
  void clearOwnProp(int slot);
  // The value the element shows now (transition applied), four floats.
  void getProp(int slot, float out[4]) const;
  float getPropNum(int slot) const;
  D3dColor getPropColor(int slot) const;
  const GuiValue* getPropValue(int slot) const; // the target value, or null
  void advanceTransitions(float dt); // this element and its subtree
  void notifyClick(int button);
  void notifyValue();
};

// {===== Screens

class BaseGuiScreen {
public:
  BaseGuiElement* root = nullptr; // owned
  BaseGuiElement* captured = nullptr;
  BaseGuiElement* hovered = nullptr;
  GuiStyle* style = nullptr; // not owned

  BaseGuiScreen();
  BaseGuiScreen(const BaseGuiScreen&) = delete;
  BaseGuiScreen& operator=(const BaseGuiScreen&) = delete;
  // Virtual operations in the designed slot order.
  virtual ~BaseGuiScreen();
  virtual void setGeometry();
  virtual void processInput();
  virtual void render(RenderBatch& batch); // draws the root's subtree
  virtual void processInputEvent(const InputEvent& event, BaseGuiElement* target);
  virtual void resetState();
  virtual void restyle();
  virtual void afterRestyle() {} // the eighth operation: after the style pass

  // One event of processInput (hover, capture, delivery), without the
  // tooltip query; exposed for the screens that feed events themselves.
  void processOneInput(const InputEvent& event);
  // The tooltip query from the root; "hide_tooltip" unless a handler answers 1.
  void queryTooltip(float x, float y);
};

// The module's current screen (exported).
extern BaseGuiScreen* cur_game_screen;

// {===== Runtime functions

int send_event(NewGuiEvent& event, BaseGuiElement* element, int mode, BaseGuiElement* stop = nullptr);
BaseGuiElement* hit_test(BaseGuiElement* root, float x, float y);

void register_behavior(NewGuiEventHandler* handler, const char* name);
NewGuiEventHandler* get_behavior(const char* name);
// Takes back the registration of `name` when it is `handler`'s: the module
// does so for its own behaviours before it is unloaded (their code goes with
// it, and a reloaded module registers them again). False when not registered.
bool unregister_behavior(NewGuiEventHandler* handler, const char* name);
void register_std_behaviors();
// The controls set-up registers "keybox" (the key box, binding control
// buttons through set_button_key): called right after init_controls.
void register_keybox_behavior();
// Empties the registry (tests and shutdown; the handlers are static).
void clear_behavior_registry();

void queue_destruction(BaseGuiElement* element);
void queue_destruction(BaseGuiScreen* screen);
void destroy_queued_gui_elements();
int queued_gui_destructions(); // screens + elements waiting (tests, logs)
// Called by the destructors: a deleted element or screen leaves the queues
// (so a subtree queued with its parent is deleted once) and no live screen
// keeps it as captured or hovered.
void gui_forget_destroyed(BaseGuiElement* element);
void gui_forget_destroyed(BaseGuiScreen* screen);

// The "solid_box" hit-test handler.
extern NewGuiEventHandler* const gui_hittest_box_handler;
