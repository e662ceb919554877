// GUI style sheets: rules (selector + chain of property records) applied
// with a cascade. Restyling an element collects the matching rules, orders
// them by specificity (stable: equal specificities keep the order added),
// lets later rules override earlier ones except where the element holds a
// value of its own, attaches the behaviours rules name, and starts
// transitions for the slots whose values changed.
//
// A property set is 33 tagged pointers, one per slot: null = not set; bit 0
// set = the element's own value (it owns it); otherwise a value owned by the
// style's property record.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "render/device.h"

class BaseGuiElement;
using GuiElement = BaseGuiElement;

constexpr int NUM_GUI_PROPS = 33;

// The property slots. Numbers resolve to four equal floats, colours to
// r, g, b, a in 0..1; the slots marked "not animated" always resolve to 0.
enum GuiProp {
  GP_DISPLAY = 0,        // not animated: 1 hides the element
  GP_OPACITY = 1,        // percent, default 100
  GP_H_ALIGN = 2,        // not animated: -1 left, 0 centre, 1 right (stacks, labels)
  GP_V_ALIGN = 3,        // not animated: -1 top, 0 centre, 1 bottom
  GP_SHADOW_COLOR = 4,   // default 0x44000000
  GP_BG_COLOR = 5,       // box fill (0 = no box)
  GP_BORDER_COLOR = 6,
  GP_BORDER_WIDTH = 7,   // pixels at scale 1
  GP_RADIUS = 8,         // corner radius
  GP_SHADOW_DX = 9,
  GP_SHADOW_DY = 10,
  GP_SHADOW_SIZE = 11,   // blur of the shadow (0 = no shadow)
  GP_FONT_SIZE = 12,     // default 30 (thousandths of the screen height)
  GP_TEXT_COLOR = 13,    // default opaque white
  GP_FONT = 14,          // not animated: font choice (reserved)
  GP_WIDTH = 15,         // preferred size; 0 = from the content
  GP_HEIGHT = 16,
  GP_PAD_X = 17,         // padding inside a box or stack
  GP_PAD_Y = 18,
  GP_OFFSET_X = 19,      // drawn displacement (animated nudges)
  GP_OFFSET_Y = 20,
  GP_SPACING = 21,       // gap between stacked children, default 10
  GP_IMAGE_COLOR = 22,   // image tint
  GP_BRIGHTNESS = 23,    // box gradient: 0 flat, > 0 lighter top, darker bottom
  GP_IMAGE = 24,         // not animated: texture
  GP_TEXT = 25,          // not animated: text replacing the element's own
  GP_TOOLTIP = 26,       // not animated: tooltip text
  GP_CURSOR = 27,        // not animated (reserved)
  GP_LAYOUT = 28,        // not animated (reserved)
  GP_Z = 29,             // not animated (reserved)
  GP_SOUND = 30,         // not animated (reserved)
  GP_ACCENT_COLOR = 31,  // slider knob, check mark
  GP_USER = 32,          // not animated: free for the module
};

enum GuiValueType { GV_NUMBER, GV_COLOR, GV_TEXT, GV_TEXTURE };

struct GuiValue {
  GuiValueType type = GV_NUMBER;
  float num = 0;
  D3dColor color = 0;
  const char* text = nullptr; // static or owned by the creator of the value
  Texture* texture = nullptr;

  static GuiValue number(float v) { GuiValue g; g.type = GV_NUMBER; g.num = v; return g; }
  static GuiValue colour(D3dColor c) { GuiValue g; g.type = GV_COLOR; g.color = c; return g; }
  static GuiValue string(const char* t) { GuiValue g; g.type = GV_TEXT; g.text = t; return g; }
  static GuiValue image(Texture* t) { GuiValue g; g.type = GV_TEXTURE; g.texture = t; return g; }
};

// Tagged pointer helpers of a property set.
using GuiPropPtr = uintptr_t;
struct GuiPropSet {
  GuiPropPtr slot[NUM_GUI_PROPS];
};
inline bool gui_prop_is_own(GuiPropPtr p) { return (p & 1) != 0; }
inline const GuiValue* gui_prop_value(GuiPropPtr p) { return (const GuiValue*)(p & ~(GuiPropPtr)1); }

// The four floats of a value in `slot` (null: the slot's default).
void gui_resolve_value(int slot, const GuiValue* v, float out[4]);

// {===== Transitions

enum GuiEasing { GUI_EASE_LINEAR, GUI_EASE_OUT, GUI_EASE_IN_OUT };

// A transition definition (owned by whoever builds the style).
struct GuiTransition {
  float duration = 0.15f; // seconds
  float delay = 0;
  GuiEasing easing = GUI_EASE_OUT;
};

// A running transition of one slot of one element (owned by the element):
// from the value shown when the property set changed to the new target.
struct GuiRunningTransition {
  const GuiTransition* def;
  float from[4];
  float time = 0; // seconds since the start
  bool finished() const { return time >= def->delay + def->duration; }
  float fraction() const; // eased 0..1
};

// {===== Selectors and rules

class GuiSelector {
public:
  virtual ~GuiSelector() = default;
  virtual bool match(const GuiElement* element) const = 0;
  virtual int specificity() const = 0;
};

// Property record (chain link) of a rule.
constexpr int GUI_SLOT_BEHAVIORS = -1;
constexpr int GUI_SLOT_TRANSITION = -2;
struct BaseGuiProperty {
  BaseGuiProperty* next = nullptr;
  int slot = 0;
  GuiValue value;                        // ordinary slot
  const char* names = nullptr;           // behaviours: "a\0b\0\0"
  const GuiTransition* transition = nullptr;
  const unsigned char* slots = nullptr;  // transition: 1-based slots, 0-terminated; empty = all
};

struct GuiStyleRule {
  GuiSelector* selector;
  BaseGuiProperty* properties;
  int specificity;
};

class GuiStyle {
public:
  DynArray<GuiStyleRule> rules;

  ~GuiStyle() { clear(); }
  void addSheet(GuiSelector* selector, BaseGuiProperty* properties);
  void restyle(GuiElement* element, bool force);
  // Drops the rules; the style owns selectors and property records added
  // through addSheet.
  void clear();

  // Statistics of the last restyle calls (tests and the demo's overlay).
  int evaluated = 0; // elements whose rules were matched
  int visited = 0;   // elements visited
};

// {===== Building rules (owned by the style once passed to addSheet)

// A chain builder: GuiRuleBuilder().set(GP_BG_COLOR, GuiValue::colour(..))
//   .behaviors({"button"}).transition(&t, {GP_BG_COLOR}).take()
class GuiRuleBuilder {
public:
  GuiRuleBuilder& set(int slot, const GuiValue& v);
  GuiRuleBuilder& behaviors(std::initializer_list<const char*> names);
  // Slots are 0-based GuiProp values; an empty list means all 33.
  GuiRuleBuilder& transition(const GuiTransition* t, std::initializer_list<int> slots);
  // Raw 1-based slot list as stored (tests of the slot-number check).
  GuiRuleBuilder& transitionRaw(const GuiTransition* t, const unsigned char* slots_1based, int n);
  BaseGuiProperty* take(); // the head of the chain; the builder forgets it
  ~GuiRuleBuilder();

private:
  BaseGuiProperty* head = nullptr;
  BaseGuiProperty* tail = nullptr;
  void append(BaseGuiProperty* p);
};
