// The style engine: the cascade, behaviour attachment, transitions and the
// resolved values of the 33 slots.
#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "gui/gui.h"

// {===== Resolved values

static bool slot_always_zero(int slot) {
  return slot == 0 || slot == 2 || slot == 3 || slot == 14 || (slot >= 24 && slot <= 30) ||
         slot == 32;
}

static void colour_floats(D3dColor c, float out[4]) {
  out[0] = ((c >> 16) & 255) / 255.f;
  out[1] = ((c >> 8) & 255) / 255.f;
  out[2] = (c & 255) / 255.f;
  out[3] = (c >> 24) / 255.f;
}

void gui_resolve_value(int slot, const GuiValue* v, float out[4]) {
  out[0] = out[1] = out[2] = out[3] = 0;
  if (slot_always_zero(slot)) return;
  if (!v) {
    switch (slot) {
    case GP_OPACITY: out[0] = out[1] = out[2] = out[3] = 100; break;
    case GP_SHADOW_COLOR: colour_floats(0x44000000, out); break;
    case GP_FONT_SIZE: out[0] = out[1] = out[2] = out[3] = 30; break;
    case GP_TEXT_COLOR: colour_floats(0xFFFFFFFF, out); break;
    case GP_SPACING: out[0] = out[1] = out[2] = out[3] = 10; break;
    default: break;
    }
    return;
  }
  if (v->type == GV_NUMBER)
    out[0] = out[1] = out[2] = out[3] = v->num;
  else if (v->type == GV_COLOR)
    colour_floats(v->color, out);
}

// {===== Transitions

float GuiRunningTransition::fraction() const {
  float t = time - def->delay;
  if (t <= 0) return 0;
  if (def->duration <= 0 || t >= def->duration) return 1;
  float f = t / def->duration;
  switch (def->easing) {
  case GUI_EASE_LINEAR: return f;
  case GUI_EASE_OUT: return 1 - (1 - f) * (1 - f);
  case GUI_EASE_IN_OUT: return f * f * (3 - 2 * f);
  }
  return f;
}

// {===== Rules

void GuiStyle::addSheet(GuiSelector* selector, BaseGuiProperty* properties) {
  ASSERT(selector);
  rules.push(GuiStyleRule{selector, properties, selector->specificity()});
}

static void free_chain(BaseGuiProperty* p) {
  while (p) {
    BaseGuiProperty* n = p->next;
    delete[] p->names;
    delete[] p->slots;
    delete p;
    p = n;
  }
}

void GuiStyle::clear() {
  for (GuiStyleRule& r : rules) {
    delete r.selector;
    free_chain(r.properties);
  }
  rules.clear();
}

// A behaviour named by a rule: attached once, with its mask.
static void attach_behavior(GuiElement* e, const char* name) {
  NewGuiEventHandler* h = get_behavior(name);
  if (!h || e->behaviors.indexOf(h) >= 0) return;
  e->behaviors.push(h);
  h->attach(e);
  e->eventMask |= h->eventMask;
}

void GuiStyle::restyle(GuiElement* e, bool force) {
  if (!e) return;
  visited++;
  if (!force && !e->dirty) {
    for (int i = 0; i < e->children.num; i++) restyle(e->children[i], false);
    return;
  }
  evaluated++;

  // Matching rules, stable-sorted by specificity. A small fixed buffer covers
  // ordinary sheets; longer ones fall back to the heap.
  int stack_idx[64];
  std::vector<int> heap_idx;
  int* idx = stack_idx;
  if (rules.num > 64) {
    heap_idx.resize(rules.num);
    idx = heap_idx.data();
  }
  int n = 0;
  for (int i = 0; i < rules.num; i++)
    if (rules[i].selector->match(e)) idx[n++] = i;
  std::stable_sort(idx, idx + n,
                   [&](int a, int b) { return rules[a].specificity < rules[b].specificity; });

  GuiPropSet next{};
  const GuiTransition* trans[NUM_GUI_PROPS]{};
  for (int s = 0; s < NUM_GUI_PROPS; s++)
    if (gui_prop_is_own(e->props.slot[s])) next.slot[s] = e->props.slot[s];

  for (int k = 0; k < n; k++) {
    for (BaseGuiProperty* p = rules[idx[k]].properties; p; p = p->next) {
      if (p->slot >= 0) {
        ASSERT(p->slot < NUM_GUI_PROPS);
        if (!gui_prop_is_own(next.slot[p->slot])) next.slot[p->slot] = (GuiPropPtr)&p->value;
      } else if (p->slot == GUI_SLOT_BEHAVIORS) {
        for (const char* name = p->names; name && *name; name += strlen(name) + 1)
          attach_behavior(e, name);
      } else if (p->slot == GUI_SLOT_TRANSITION) {
        const unsigned char* s = p->slots;
        if (!s || !*s) {
          for (int i = 0; i < NUM_GUI_PROPS; i++) trans[i] = p->transition;
        } else {
          for (; *s; s++) {
            ASSERT(*s>0 && *s<=NUM_GUI_PROPS);
            trans[*s - 1] = p->transition;
          }
        }
      }
    }
  }

  if (memcmp(&next, &e->props, sizeof next) != 0) {
    // Start from what is shown now, so an interrupted transition does not jump.
    float before[NUM_GUI_PROPS][4];
    for (int s = 0; s < NUM_GUI_PROPS; s++) e->getProp(s, before[s]);
    for (int s = 0; s < NUM_GUI_PROPS; s++) {
      delete e->transitions[s];
      e->transitions[s] = nullptr;
    }
    e->props = next;
    for (int s = 0; s < NUM_GUI_PROPS; s++) {
      if (!trans[s]) continue;
      auto* t = new GuiRunningTransition{trans[s], {}, 0};
      memcpy(t->from, before[s], sizeof t->from);
      e->transitions[s] = t;
    }
  }
  e->dirty = false;
  for (int i = 0; i < e->children.num; i++) restyle(e->children[i], true);
}

// {===== Builder

void GuiRuleBuilder::append(BaseGuiProperty* p) {
  if (tail)
    tail->next = p;
  else
    head = p;
  tail = p;
}

GuiRuleBuilder& GuiRuleBuilder::set(int slot, const GuiValue& v) {
  ASSERT(slot >= 0 && slot < NUM_GUI_PROPS);
  auto* p = new BaseGuiProperty;
  p->slot = slot;
  p->value = v;
  append(p);
  return *this;
}

GuiRuleBuilder& GuiRuleBuilder::behaviors(std::initializer_list<const char*> names) {
  size_t len = 1;
  for (const char* n : names) len += strlen(n) + 1;
  char* buf = new char[len];
  char* w = buf;
  for (const char* n : names) {
    strcpy(w, n);
    w += strlen(n) + 1;
  }
  *w = 0;
  auto* p = new BaseGuiProperty;
  p->slot = GUI_SLOT_BEHAVIORS;
  p->names = buf;
  append(p);
  return *this;
}

GuiRuleBuilder& GuiRuleBuilder::transition(const GuiTransition* t, std::initializer_list<int> slots) {
  unsigned char buf[NUM_GUI_PROPS + 1];
  int n = 0;
  for (int s : slots) {
    ASSERT(s >= 0 && s < NUM_GUI_PROPS);
    if (n < NUM_GUI_PROPS) buf[n++] = (unsigned char)(s + 1);
  }
  return transitionRaw(t, buf, n);
}

GuiRuleBuilder& GuiRuleBuilder::transitionRaw(const GuiTransition* t, const unsigned char* s, int n) {
  auto* slots = new unsigned char[n + 1];
  memcpy(slots, s, n);
  slots[n] = 0;
  auto* p = new BaseGuiProperty;
  p->slot = GUI_SLOT_TRANSITION;
  p->transition = t;
  p->slots = slots;
  append(p);
  return *this;
}

BaseGuiProperty* GuiRuleBuilder::take() {
  BaseGuiProperty* h = head;
  head = tail = nullptr;
  return h;
}

GuiRuleBuilder::~GuiRuleBuilder() { free_chain(head); }
