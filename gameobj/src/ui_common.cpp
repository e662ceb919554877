// Building blocks the module's screens share.
#include "ui_common.h"

GuiLabel* ui_label(BaseGuiElement* parent, const char* cls, const std::string& text)
{
  GuiLabel* l = gui_make<GuiLabel>(parent, cls);
  l->text = text;
  return l;
}

GuiStack* ui_row(BaseGuiElement* parent)
{
  GuiStack* r = gui_make<GuiStack>(parent, "row");
  r->horizontal = true;
  return r;
}

GuiBox* ui_button(BaseGuiElement* parent, const char* text, const char* tip, std::function<void()>* pending,
                  std::function<void()> act, bool small, const char* name)
{
  GuiBox* b = gui_make<GuiBox>(parent, small ? "btn small" : "btn", name);
  b->tooltip = tip;
  ui_label(b, "label", text);
  b->clickListeners.push_back([pending, act](BaseGuiElement*, int) { *pending = act; });
  return b;
}

BaseGuiElement* ui_find_named(BaseGuiElement* e, const std::string& name)
{
  if (!e) return nullptr;
  if (e->name == name) return e;
  for (BaseGuiElement* c : e->children)
    if (BaseGuiElement* f = ui_find_named(c, name)) return f;
  return nullptr;
}

void UiCentreBox::layout(const GuiRect& r, float ref_ht, float ref_ht2, float scale)
{
  rect = r;
  for (BaseGuiElement* c : children) {
    float w, h;
    c->measure(scale, w, h);
    float x = (r.x0 + r.x1 - w) * 0.5f, y = (r.y0 + r.y1 - h) * 0.5f;
    c->layout(GuiRect{x, y, x + w, y + h}, ref_ht, ref_ht2, scale);
  }
}
