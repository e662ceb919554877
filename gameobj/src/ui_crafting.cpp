// The crafting panel: above the spell bar's right end while a spell with
// resource costs is selected or hovered, each resource's icon, name, need and
// have (red where short), and a Craft button (key F) that makes what the
// spell lacks from the common resources. The HUD feeds it each update and
// draws it into its own batch each frame.
#include <math.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "core/input.h"
#include "core/log.h"
#include "crafting_rules.h"
#include "devtools/dev_message.h"
#include "game.h"
#include "gui/gui_draw.h"
#include "objects.h"
#include "render/distFont.h"
#include "render/renderBatch.h"
#include "render/ui_draw.h"
#include "table_entries.h"
#include "ui_layout.h"
#include "world/universe.h"

namespace {

constexpr int CRAFT_KEY = 'F';
constexpr D3dColor GOLD = 0xFFFFD27A, PARCHMENT = 0xFFE8DCC0, DIM = 0xFFB4AA96, SHORT = 0xFFFF6A5A,
                   ENOUGH = 0xFF8AE89A;

struct Row {
  int res;
  int need;
};

struct Panel {
  bool visible = false;
  int spell = 0; // the spell class shown (fed by the HUD)
  std::string title;
  std::vector<Row> costs;
  ui::Box button{0, 0, 0, 0}; // the Craft button as last drawn (empty when not drawn)
  bool over = false, over_button = false;
} panel;

craft::Stock stock()
{
  craft::Stock have{};
  for (int i = 0; i < craft::RES_COUNT; i++) have[i] = get_glob_res_amount(craft::RESOURCES[i].kind);
  return have;
}

// Crafts what the shown spell lacks and tells the player how it went.
void craft_now()
{
  const int res = craft::craftable_shortfall(gameobj_class_name(panel.spell), stock());
  if (const char* failed = craft_for_spell(panel.spell)) {
    show_screen_sub_message(failed);
    return;
  }
  std::string done = std::string("Crafted 1 ") + (res >= 0 ? craft::res_name(res, 1) : "resource");
  show_screen_sub_message(done.c_str());
}

// {===== Layout and drawing

struct PanelBox {
  ui::Box box;
  float u, row, top;
};

PanelBox panel_box(const ui::HudLayout& l)
{
  PanelBox p;
  p.u = l.u;
  p.top = 44 * l.u;
  p.row = 44 * l.u;
  const ui::Box bar = ui::hud_bar_box(l);
  const float w = 540 * l.u, h = p.top + p.row * (float)panel.costs.size() + 56 * l.u;
  p.box = ui::Box{bar.x1 - w, bar.y0 - 12 * l.u - h, bar.x1, bar.y0 - 12 * l.u};
  return p;
}

void box(RenderBatch& b, const ui::Box& r, D3dColor fill, float radius, D3dColor rim = 0, float rim_w = 0)
{
  render_rounded_box(b, _mm_setr_ps(r.x0, r.y0, r.x1, r.y1), _mm_setr_ps(145, 110, 127.5f, rim_w), fill, radius, 0,
                     0, 0, rim, -1);
}

D3dColor res_tint(int res)
{
  static const D3dColor tints[craft::RES_COUNT] = {0xFF9AE0FF, 0xFFC09AFF, 0xFFFF8A3A, 0xFFFFEE7A, 0xFF7AE88A};
  return tints[res];
}

void res_icon(RenderBatch& b, int res, float x, float y, float px)
{
  if (!ui_icons.loaded()) return;
  const int id = ui_icons.getIconId(craft::RESOURCES[res].icon);
  if (id < 0) return;
  const float s = px / fmaxf(1.f, ui_icons.getOrgW(id));
  ui_icons.renderIcon(b, x, y, 0.5f, 0.5f, s, id, 0, 0, 0, 3, res_tint(res), 0xE6FFFFFF, 0xFF303040, GOLD, 0xC0000000,
                      nullptr);
}

} // namespace

// {===== What the HUD calls (game.h)

void crafting_panel_update(int spell_class)
{
  craft::Cost costs[craft::RES_COUNT];
  const int n = spell_class ? craft::spell_costs(gameobj_class_name(spell_class), costs, craft::RES_COUNT) : 0;
  const SpellInfo* info = n ? find_spell_info(spell_class) : nullptr;
  // Without a game the strong spells are free: nothing to show.
  if (!info || !spell_resources_apply()) {
    if (panel.visible) hide_crafting_ui();
    panel.spell = 0;
    return;
  }
  if (spell_class != panel.spell || !panel.visible) {
    reset_crafting_ui();
    show_crafting_ui(info->name);
    for (int i = 0; i < n; i++) add_crafting_cost(craft::RESOURCES[costs[i].res].kind, costs[i].need);
    panel.spell = spell_class;
  }
  if (keyDown(CRAFT_KEY) || (panel.over_button && keyDown(VK_LBUTTON))) craft_now();
}

bool crafting_panel_mouse(const ui::HudLayout& l, float x, float y)
{
  panel.over = panel.visible && ui::inside(panel_box(l).box, x, y);
  panel.over_button = panel.over && panel.button.x1 > panel.button.x0 && ui::inside(panel.button, x, y);
  return panel.over;
}

void crafting_panel_draw(RenderBatch& b, const ui::HudLayout& l)
{
  panel.button = ui::Box{0, 0, 0, 0};
  if (!panel.visible) return;
  const PanelBox p = panel_box(l);
  const float u = p.u, x0 = p.box.x0, x1 = p.box.x1;
  box(b, p.box, 0xE0141A24, 10 * u, 0xFF8A6A34, 1);
  char s[160];
  snprintf(s, sizeof s, "%s needs", panel.title.c_str());
  gui_draw_text(b, s, x0 + 16 * u, p.box.y0 + p.top * 0.5f, -1, 0, GOLD, 26 * u);

  const craft::Stock have = stock();
  float y = p.box.y0 + p.top;
  for (const Row& r : panel.costs) {
    const float cy = y + p.row * 0.5f;
    res_icon(b, r.res, x0 + 34 * u, cy, 38 * u);
    gui_draw_text(b, craft::res_name(r.res, 1), x0 + 64 * u, cy, -1, 0, PARCHMENT, 26 * u);
    snprintf(s, sizeof s, "%d / %d", r.need, have[r.res]);
    gui_draw_text(b, s, x1 - 16 * u, cy, 1, 0, have[r.res] < r.need ? SHORT : ENOUGH, 28 * u);
    y += p.row;
  }

  // The last row: the Craft button, what would make the missing resource, or ready.
  const float cy = y + 28 * u;
  const char* spell = gameobj_class_name(panel.spell);
  char reason[96];
  const int res = craft::craftable_shortfall(spell, have);
  if (res >= 0) {
    const craft::Recipe* r = craft::pick_recipe(res, have);
    panel.button = ui::Box{x0 + 12 * u, cy - 20 * u, x1 - 12 * u, cy + 20 * u};
    box(b, panel.button, panel.over_button ? 0xF04A3A1A : 0xF0302616, 8 * u, GOLD, 2);
    snprintf(s, sizeof s, "[F] Craft 1 %s from %d %s", craft::res_name(res, 1), craft::CRAFT_INPUT,
             craft::res_name(r->from, craft::CRAFT_INPUT));
    gui_draw_text(b, s, (x0 + x1) * 0.5f, cy, 0, 0, 0xFFFFFFFF, 22 * u);
  } else if (craft::check_costs(spell, have, reason, sizeof reason)) {
    // The first short cost: what would make it, else where it is found.
    int missing = -1;
    for (const Row& r : panel.costs)
      if (missing < 0 && have[r.res] < r.need) missing = r.res;
    craft::recipe_text(missing, s, sizeof s);
    gui_draw_text(b, *s ? s : "Found in the worlds and on slain creatures", x0 + 16 * u, cy, -1, 0, DIM, 20 * u);
  } else {
    gui_draw_text(b, "Ready to cast", x0 + 16 * u, cy, -1, 0, ENOUGH, 24 * u);
  }
}

float crafting_panel_top(const ui::HudLayout& l) { return panel.visible ? panel_box(l).box.y0 : HUGE_VALF; }

int crafting_panel_spell() { return panel.visible ? panel.spell : 0; }

void crafting_panel_describe(DevReply& reply)
{
  const craft::Stock have = stock();
  reply.add(" visible=%d spell=%s costs=", panel.visible ? 1 : 0,
            panel.visible && panel.spell ? gameobj_class_name(panel.spell) : "none");
  const char* sep = "";
  if (!panel.visible) return;
  for (const Row& r : panel.costs) {
    reply.add("%s%s:%d/%d", sep, craft::RESOURCES[r.res].kind, r.need, have[r.res]);
    sep = ";";
  }
}

// {===== Table entries

void reset_crafting_ui()
{
  panel.visible = false;
  panel.spell = 0;
  panel.title.clear();
  panel.costs.clear();
  panel.over = panel.over_button = false;
}

void show_crafting_ui(const char* title)
{
  panel.title = title ? title : "";
  panel.visible = true;
}

// An unknown resource or a need below 1 is left out (and logged).
void add_crafting_cost(const char* resource, int need)
{
  const int res = craft::res_index(resource);
  if (res < 0 || need < 1) {
    debug("crafting: cost %d of '%s' left out of the panel", need, resource ? resource : "(null)");
    return;
  }
  panel.costs.push_back(Row{res, need});
}

void hide_crafting_ui()
{
  panel.visible = false;
  panel.over = panel.over_button = false;
}
