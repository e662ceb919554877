// Event dispatch (send_event and its four modes), hit testing, the
// behaviour registry and the destruction queues.
#include <cstring>

#include "core/log.h"
#include "gui/gui.h"

BaseGuiScreen* cur_game_screen = nullptr;

// {===== Dispatch

// The element's behaviours whose masks hold the kind, in order; the first
// non-zero result. Index loop with num re-read: a handler may append.
static int deliver_mode(NewGuiEvent& event, BaseGuiElement* element, int mode) {
  if (!(element->eventMask & event.kind)) return GUI_NOT_HANDLED;
  for (int i = 0; i < element->behaviors.num; i++) {
    NewGuiEventHandler* h = element->behaviors[i];
    if (!(h->eventMask & event.kind)) continue;
    int r = h->handleEvent(event, element, mode);
    if (r) return r;
  }
  return GUI_NOT_HANDLED;
}

int send_event(NewGuiEvent& event, BaseGuiElement* element, int mode, BaseGuiElement* stop) {
  if (!element) return 0;
  switch (mode) {
  case GUI_SEND_DOWN_ANCESTRY: {
    if (element != stop && element->parent) {
      int r = send_event(event, element->parent, GUI_SEND_DOWN_ANCESTRY, stop);
      if (r) return r;
    }
    return deliver_mode(event, element, mode);
  }
  case GUI_SEND_UP_ANCESTRY:
    for (BaseGuiElement* e = element; e; e = e->parent) {
      int r = deliver_mode(event, e, mode);
      if (r) return r;
      if (e == stop) break;
    }
    return 0;
  case GUI_SEND_ELEMENT: return deliver_mode(event, element, mode);
  case GUI_SEND_BROADCAST: {
    int r = deliver_mode(event, element, mode);
    if (r == GUI_HANDLED_NO_DESCEND) return 0;
    if (r) return r;
    for (int i = 0; i < element->children.num; i++) {
      r = send_event(event, element->children[i], GUI_SEND_BROADCAST, stop);
      if (r) return r;
    }
    return 0;
  }
  default: ASSERT(!"unknown send_event mode"); return 0;
  }
}

BaseGuiElement* hit_test(BaseGuiElement* root, float x, float y) {
  NewGuiHittestEvent ev(x, y);
  send_event(ev, root, GUI_SEND_BROADCAST);
  return ev.found;
}

// {===== The box hit test

namespace {

class BoxHittestHandler : public NewGuiEventHandler {
public:
  BoxHittestHandler() : NewGuiEventHandler(GUI_EV_HITTEST) {}
  int handleEvent(NewGuiEvent& event, BaseGuiElement* e, int) override {
    if (event.kind != GUI_EV_HITTEST || e->isHitTestExcluded()) return 0;
    auto& hit = static_cast<NewGuiHittestEvent&>(event);
    for (int i = 0; i < e->children.num; i++)
      if (send_event(event, e->children[i], GUI_SEND_BROADCAST) == 1) return 1;
    // Left and top edges excluded, right and bottom included.
    if (e->rect.x0 < hit.x && hit.x <= e->rect.x1 && e->rect.y0 < hit.y && hit.y <= e->rect.y1) {
      hit.found = e;
      return 1;
    }
    return 2;
  }
};

BoxHittestHandler box_hittest;

} // namespace

NewGuiEventHandler* const gui_hittest_box_handler = &box_hittest;

// {===== Registry

namespace {
struct NamedBehavior {
  char name[32];
  NewGuiEventHandler* handler;
};
DynArray<NamedBehavior> behavior_registry;
} // namespace

void register_behavior(NewGuiEventHandler* handler, const char* name) {
  if (!handler || !name) return;
  if (get_behavior(name)) return; // the first registration stays
  NamedBehavior nb{};
  if (strlen(name) >= sizeof nb.name) {
    debug("GUI: behavior name '%s' is too long (at most %d characters), not registered", name,
          (int)sizeof nb.name - 1);
    return;
  }
  strcpy(nb.name, name);
  nb.handler = handler;
  behavior_registry.push(nb);
}

NewGuiEventHandler* get_behavior(const char* name) {
  if (!name) return nullptr;
  for (const NamedBehavior& nb : behavior_registry)
    if (!strcmp(nb.name, name)) return nb.handler;
  return nullptr;
}

bool unregister_behavior(NewGuiEventHandler* handler, const char* name) {
  if (!name) return false;
  for (int i = 0; i < behavior_registry.num; i++)
    if (!strcmp(behavior_registry[i].name, name) && behavior_registry[i].handler == handler) {
      behavior_registry.remove(i, 1);
      return true;
    }
  return false;
}

void clear_behavior_registry() { behavior_registry.clear(); }

// {===== Destruction queues

namespace {
DynArray<BaseGuiScreen*> screen_queue;
DynArray<BaseGuiElement*> element_queue;
} // namespace

void queue_destruction(BaseGuiElement* element) {
  if (element && element_queue.indexOf(element) < 0) element_queue.push(element);
}

void queue_destruction(BaseGuiScreen* screen) {
  if (screen && screen_queue.indexOf(screen) < 0) screen_queue.push(screen);
}

// The count is re-read after each deletion: destructors may queue more, and
// those go in the same pass.
// Entries deleted meanwhile as part of another's subtree were nulled by
// gui_forget_destroyed, so nothing is deleted twice.
void destroy_queued_gui_elements() {
  int i = 0;
  for (; i < screen_queue.num; i++) {
    BaseGuiScreen* s = screen_queue[i];
    if (!s) continue;
    screen_queue[i] = nullptr;
    delete s;
  }
  screen_queue.remove(0, i);
  for (i = 0; i < element_queue.num; i++) {
    BaseGuiElement* e = element_queue[i];
    if (!e) continue;
    element_queue[i] = nullptr;
    // A queued element still in a tree leaves it first, so its parent never
    // holds a dangling child.
    if (e->parent) e->parent->removeChild(e);
    delete e;
  }
  element_queue.remove(0, i);
}

void gui_forget_destroyed(BaseGuiElement* element) {
  for (BaseGuiElement*& q : element_queue)
    if (q == element) q = nullptr;
}

void gui_forget_destroyed(BaseGuiScreen* screen) {
  for (BaseGuiScreen*& q : screen_queue)
    if (q == screen) q = nullptr;
}

int queued_gui_destructions() { return screen_queue.num + element_queue.num; }
