// The universe screen: the universe's worlds as a map ("uni_viewer"), the
// world script's tooltips and context menus, the new-game note, and the
// enter-world screen shown while the chosen world is being entered.
//
// State lives here, not in the elements: the screen is rebuilt whenever what
// it shows changes (popup, note, entering), and a click only stores an action
// that the update runs after the input pass, as the menus do.
#include <squirrel.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/game_modes.h"
#include "core/app_globals.h"
#include "core/game_mode.h"
#include "core/input.h"
#include "core/log.h"
#include "core/platform.h"
#include "devtools/dev_server.h"
#include "gui/gui_draw.h"
#include "render/device.h"
#include "render/distFont.h"
#include "world/saved_games.h"
#include "world/universe.h"
#include "world/worldScript.h"
#include "game.h"
#include "table_entries.h"
#include "ui_common.h"
#include "ui_layout.h"
#include "ui_menus.h"
#include "ui_screens.h"

bool new_game_note_pending = false;

namespace {

// {===== The universe as the screen reads it

struct UniWorld {
  int index = 0;
  float x = 0, y = 0; // on the 1000 x 600 map
  std::string name, kind, title, resource;
  std::vector<int> links;
  bool visited = false, unlocked = false, done = false;
  SqObject obj;
  bool reachable() const { return ui::world_reachable(index, visited, unlocked); }
};

// Raw reads of script values: a missing slot or a value of another type
// gives the fallback, never an error (the "mana" part adds slots later).
struct SlotRead {
  HSQUIRRELVM v;
  SQInteger top;
  bool ok;
  SlotRead(const SqObject& t, const char* key) : v(t.vm), top(v ? sq_gettop(v) : 0), ok(false)
  {
    if (!v) return;
    t.push(v);
    sq_pushstring(v, key, -1);
    ok = SQ_SUCCEEDED(sq_get(v, -2));
  }
  ~SlotRead()
  {
    if (v) sq_settop(v, top);
  }
  SQObjectType type() const { return ok ? sq_gettype(v, -1) : OT_NULL; }
};

bool read_bool(const SqObject& t, const char* key)
{
  SlotRead r(t, key);
  if (r.type() == OT_BOOL) {
    SQBool b = SQFalse;
    sq_getbool(r.v, -1, &b);
    return b != SQFalse;
  }
  if (r.type() == OT_INTEGER) {
    SQInteger i = 0;
    sq_getinteger(r.v, -1, &i);
    return i != 0;
  }
  return false;
}

std::string value_string(HSQUIRRELVM v)
{
  const SQChar* s = nullptr;
  if (sq_gettype(v, -1) == OT_STRING && SQ_SUCCEEDED(sq_getstring(v, -1, &s)) && s)
    return std::string(s, (size_t)sq_getsize(v, -1));
  return std::string();
}

std::string read_string(const SqObject& t, const char* key)
{
  SlotRead r(t, key);
  return r.ok ? value_string(r.v) : std::string();
}

float value_number(HSQUIRRELVM v, SQInteger idx)
{
  SQFloat f = 0;
  SQObjectType ty = sq_gettype(v, idx);
  if ((ty == OT_FLOAT || ty == OT_INTEGER) && SQ_SUCCEEDED(sq_getfloat(v, idx, &f))) return (float)f;
  return 0;
}

// An array slot's elements as numbers.
std::vector<float> read_numbers(const SqObject& t, const char* key)
{
  std::vector<float> out;
  SlotRead r(t, key);
  if (r.type() != OT_ARRAY) return out;
  SQInteger n = sq_getsize(r.v, -1);
  for (SQInteger i = 0; i < n && i < 4096; i++) {
    sq_pushinteger(r.v, i);
    if (SQ_SUCCEEDED(sq_get(r.v, -2))) {
      out.push_back(value_number(r.v, -1));
      sq_poptop(r.v);
    }
  }
  return out;
}

// The world script's title of a kind ("Volcanic land"), else the kind.
std::string kind_title_of(const std::string& kind)
{
  HSQUIRRELVM v = universe.vm;
  if (!v || kind.empty()) return kind;
  SQInteger top = sq_gettop(v);
  std::string title;
  sq_pushroottable(v);
  sq_pushstring(v, "KIND_TITLES", -1);
  if (SQ_SUCCEEDED(sq_get(v, -2))) {
    sq_pushstring(v, kind.c_str(), -1);
    if (SQ_SUCCEEDED(sq_get(v, -2))) title = value_string(v);
  }
  sq_settop(v, top);
  return title.empty() ? kind : title;
}

std::vector<UniWorld> read_worlds()
{
  std::vector<UniWorld> out;
  HSQUIRRELVM v = worlds.vm;
  if (!v || worlds.type() != OT_ARRAY) return out;
  SQInteger top = sq_gettop(v);
  worlds.push(v);
  SQInteger n = sq_getsize(v, -1);
  for (SQInteger i = 0; i < n && i < 1000; i++) {
    UniWorld w;
    w.index = (int)i; // an unreadable entry keeps its place, as a nameless locked world
    sq_pushinteger(v, i);
    if (SQ_SUCCEEDED(sq_get(v, -2))) {
      HSQOBJECT h;
      sq_getstackobj(v, -1, &h);
      w.obj = SqObject(v, h);
      sq_poptop(v);
    }
    std::vector<float> pos = read_numbers(w.obj, "pos");
    if (pos.size() >= 2) w.x = pos[0], w.y = pos[1];
    w.name = read_string(w.obj, "name");
    if (w.name.empty()) w.name = "World " + std::to_string(i + 1);
    w.kind = read_string(w.obj, "kind");
    w.title = kind_title_of(w.kind);
    w.resource = read_string(w.obj, "resource");
    for (float l : read_numbers(w.obj, "links"))
      if (l >= 0 && l < (float)n && (int)l != (int)i) w.links.push_back((int)l);
    w.visited = read_bool(w.obj, "visited");
    w.unlocked = read_bool(w.obj, "unlocked");
    w.done = read_bool(w.obj, "done");
    out.push_back(std::move(w));
  }
  sq_settop(v, top);
  return out;
}

// A script answer as text (a string, else nothing).
std::string script_text(const SqObject& value)
{
  HSQUIRRELVM v = value.vm;
  if (!v || value.type() != OT_STRING) return std::string();
  SQInteger top = sq_gettop(v);
  value.push(v);
  std::string s = value_string(v);
  sq_settop(v, top);
  return s;
}

struct PopupItem {
  std::string text, action;
  int world = -1;
};

// The script's context menu: an array of {text, action, world}.
std::vector<PopupItem> read_ctx_menu(const SqObject& menu, int world)
{
  std::vector<PopupItem> items;
  HSQUIRRELVM v = menu.vm;
  if (!v || menu.type() != OT_ARRAY) return items;
  SQInteger top = sq_gettop(v);
  menu.push(v);
  SQInteger n = sq_getsize(v, -1);
  for (SQInteger i = 0; i < n && i < 16; i++) {
    sq_pushinteger(v, i);
    if (SQ_FAILED(sq_get(v, -2))) continue;
    HSQOBJECT h;
    sq_getstackobj(v, -1, &h);
    SqObject entry(v, h);
    sq_poptop(v);
    PopupItem item;
    item.text = read_string(entry, "text");
    item.action = read_string(entry, "action");
    item.world = world;
    {
      SlotRead r(entry, "world");
      if (r.type() == OT_INTEGER || r.type() == OT_FLOAT) {
        const float f = value_number(r.v, -1); // any number the script gives, kept in int range
        item.world = f >= 0 && f < 1e6f ? (int)f : -1;
      }
    }
    if (!item.text.empty()) items.push_back(item);
  }
  sq_settop(v, top);
  return items;
}

// {===== State

class UniScreen;

struct UniverseUi {
  UniScreen* screen = nullptr;
  std::vector<UniWorld> worlds;
  bool won = false;
  int hover = -1;
  int pressed = -1; // the world under the last button-down
  int last_click = -1;
  int64_t last_click_time = 0;
  int tip_world = -1;
  std::string tip_text, tip_name; // the tooltip asked for, and whose it was
  std::vector<PopupItem> popup;
  int popup_world = -1;
  float popup_x = 0, popup_y = 0;
  int links_world = -1; // "show links": its links stand out for a while
  float links_time = 0;
  std::string note; // the status line: a locked world, a failed save
  bool leave_armed = false;
  bool show_note = false;
  int entering = -1;
  float entering_time = 0;
  int entering_frames = 0;
  float clock = 0;
  bool rebuild = false;
  std::function<void()> pending;
} uni;

constexpr float ENTER_SHOW_SECONDS = 0.5f; // the enter-world screen before the world is made
constexpr float DOUBLE_CLICK_SECONDS = 0.4f;
constexpr float LINKS_SECONDS = 4.0f;

float marker_radius(const ui::Box& map) { return fmaxf(6.f, map.h() * 0.03f); }
float text_px(float thousandths) { return fmaxf(11.f, thousandths * 0.001f * (float)d3d_ht); }

void build_screen();
void rebuild_later() { uni.rebuild = true; }

// {===== Entering a world

std::string locked_reason(const UniWorld& w)
{
  return w.name + " is locked: own most of the mana of a world linked to it, then use that world's portal";
}

bool choose_world(int index, std::string& why)
{
  if (!uni.screen) {
    why = "No universe screen is shown";
    return false;
  }
  if (uni.entering >= 0) {
    why = "A world is being entered already";
    return false;
  }
  uni.worlds = read_worlds();
  if (index < 0 || index >= (int)uni.worlds.size()) {
    why = "No world #" + std::to_string(index) + " (the universe has " + std::to_string(uni.worlds.size()) + ")";
    return false;
  }
  const UniWorld& w = uni.worlds[index];
  if (!w.reachable()) {
    why = locked_reason(w);
    return false;
  }
  uni.show_note = false;
  new_game_note_pending = false;
  uni.popup.clear();
  uni.note.clear();
  uni.entering = index;
  uni.entering_time = 0;
  uni.entering_frames = 0;
  debug("universe: entering world #%d (%s)", index, w.name.c_str());
  rebuild_later();
  return true;
}

void choose_world_or_say_why(int index)
{
  std::string why;
  if (!choose_world(index, why)) {
    uni.note = why;
    rebuild_later();
  }
}

void open_popup(int world, float x, float y)
{
  if (world < 0 || world >= (int)uni.worlds.size()) return;
  SqObject menu = get_world_ctx_menu(uni.worlds[world].obj);
  uni.popup = read_ctx_menu(menu, world);
  if (uni.popup.empty()) // a script without a menu still lets the player in
    uni.popup.push_back(PopupItem{"Enter " + uni.worlds[world].name, "enter", world});
  uni.popup_world = world;
  uni.popup_x = x, uni.popup_y = y;
  rebuild_later();
}

void close_popup()
{
  if (uni.popup.empty()) return;
  uni.popup.clear();
  uni.popup_world = -1;
  rebuild_later();
}

void run_popup_item(const PopupItem& item)
{
  close_popup();
  if (item.action == "enter") return choose_world_or_say_why(item.world);
  if (item.action == "show_links") {
    uni.links_world = item.world;
    uni.links_time = LINKS_SECONDS;
    return;
  }
  debug("universe: the context menu's action '%s' is not known here", item.action.c_str());
}

// Back to the main menu, saving first; a failed save keeps the player here
// with the reason, and a second click leaves without saving.
void leave_to_main_menu()
{
  if (cur_game_slot >= 0 && !uni.leave_armed && !save_game()) {
    uni.leave_armed = true;
    uni.note = std::string("Not saved: ") + get_error_message() + " (Main menu again leaves without saving)";
    rebuild_later();
    return;
  }
  debug("universe: back to the main menu");
  go_to_main_menu();
}

// {===== The map element and its behaviour

class UniMap : public GuiBox {
public:
  void render(RenderBatch& batch) override;
};

ui::Box box_of(const GuiRect& r) { return ui::Box{r.x0, r.y0, r.x1, r.y1}; }

// Mouse and tooltip on the map. Hit testing is "solid_box"'s.
class UniViewerBehavior : public NewGuiEventHandler {
public:
  UniViewerBehavior()
      : NewGuiEventHandler(GUI_EV_ENTER | GUI_EV_LEAVE | GUI_EV_MOUSE_MOVE | GUI_EV_BUTTON_DOWN | GUI_EV_BUTTON_UP |
                           GUI_EV_TOOLTIP)
  {
  }
  int handleEvent(NewGuiEvent& event, BaseGuiElement* e, int) override
  {
    ui::Box map = box_of(e->rect);
    if (event.kind == GUI_EV_TOOLTIP) {
      auto& t = static_cast<NewGuiTooltipEvent&>(event);
      int w = ui::pick_world(map, uni.worlds, t.x, t.y, marker_radius(map) * 1.6f);
      if (w < 0 || !uni.popup.empty() || uni.show_note || uni.entering >= 0) return GUI_NOT_HANDLED;
      if (w != uni.tip_world) {
        uni.tip_world = w;
        uni.tip_name = uni.worlds[w].name;
        uni.tip_text = script_text(get_world_tooltip(uni.worlds[w].obj));
        if (uni.tip_text.empty()) uni.tip_text = uni.worlds[w].name;
        if (!uni.worlds[w].reachable()) uni.tip_text += "\nLocked";
      }
      show_tooltip(uni.tip_text.c_str(), t.x, t.y);
      return GUI_HANDLED;
    }
    if (event.kind == GUI_EV_LEAVE) {
      uni.hover = -1;
      return GUI_NOT_HANDLED;
    }
    const InputEvent& in = static_cast<NewGuiInputEvent&>(event).input;
    int w = ui::pick_world(map, uni.worlds, in.x, in.y, marker_radius(map) * 1.6f);
    uni.hover = w;
    if (event.kind == GUI_EV_BUTTON_DOWN) uni.pressed = w;
    if (event.kind == GUI_EV_BUTTON_UP) {
      const bool same = w >= 0 && w == uni.pressed;
      uni.pressed = -1;
      const float x = in.x, y = in.y;
      if (!same) {
        uni.pending = [] { close_popup(); };
      } else if (in.key == VK_LBUTTON) {
        const int64_t now = get_ref_time();
        const bool twice = uni.last_click == w &&
                           (float)(now - uni.last_click_time) / (float)time_ticks_per_sec() <= DOUBLE_CLICK_SECONDS;
        uni.last_click = twice ? -1 : w;
        uni.last_click_time = now;
        if (twice) uni.pending = [w] { choose_world_or_say_why(w); };
        else uni.pending = [w, x, y] { open_popup(w, x, y); };
      } else {
        uni.pending = [w, x, y] { open_popup(w, x, y); };
      }
    }
    return GUI_HANDLED;
  }
} uni_viewer;

// {===== Drawing the map

constexpr D3dColor GOLD = 0xFFFFD27A, PARCHMENT = 0xFFE8DCC0, DIM = 0xFFB4AA96;

void circle(RenderBatch& b, float x, float y, float r, D3dColor fill, D3dColor rim, float rim_w)
{
  render_rounded_box(b, _mm_setr_ps(x - r, y - r, x + r, y + r), _mm_setr_ps(150, 105, 127.5f, rim_w), fill, r, 0, 0,
                     0, rim, -1);
}

void icon(RenderBatch& b, const char* name, float x, float y, float px, D3dColor c0, D3dColor detail, D3dColor glow)
{
  if (!ui_icons.loaded()) return;
  int id = ui_icons.getIconId(name);
  if (id < 0) return;
  const float s = px / fmaxf(1.f, ui_icons.getOrgW(id));
  ui_icons.renderIcon(b, x, y, 1, 0, s, id, 0, 0, 0, glow ? 4 : 0, c0, detail, detail, detail, glow, nullptr);
}

// A small deterministic star field behind the worlds.
void stars(RenderBatch& b, const ui::Box& map)
{
  unsigned h = 2166136261u;
  for (int i = 0; i < 90; i++) {
    h = (h ^ (unsigned)i) * 16777619u;
    float x = map.x0 + (float)(h % 1000u) / 1000.f * map.w();
    h = h * 1103515245u + 12345u;
    float y = map.y0 + (float)((h >> 8) % 600u) / 600.f * map.h();
    float r = 0.6f + (float)((h >> 20) % 3u) * 0.45f;
    unsigned a = 0x50 + (h >> 24) % 0x60;
    render_rounded_box(b, _mm_setr_ps(x - r, y - r, x + r, y + r), _mm_setr_ps(127.5f, 127.5f, 127.5f, 0),
                       (a << 24) | 0xDDE6FF, r, 0, 0, 0, 0, -1);
  }
}

void UniMap::render(RenderBatch& b)
{
  const ui::Box map = box_of(rect);
  const float pad = map.h() * 0.04f;
  render_rounded_box(b, _mm_setr_ps(map.x0 - pad, map.y0 - pad, map.x1 + pad, map.y1 + pad),
                     _mm_setr_ps(120, 150, 127.5f, 2), 0xD0101828, 18, 0, 6, 10, 0xFF6A5430, 16);
  stars(b, map);
  const std::vector<UniWorld>& ws = uni.worlds;
  const float r = marker_radius(map);
  const int focus = uni.links_world >= 0 ? uni.links_world : uni.hover;

  // Links first, under the worlds: open roads bright, roads into the locked dim.
  for (const UniWorld& a : ws)
    for (int j : a.links) {
      if (j >= (int)ws.size()) continue;
      if (j <= a.index && std::find(ws[j].links.begin(), ws[j].links.end(), a.index) != ws[j].links.end()) continue;
      const UniWorld& c = ws[j];
      float x0, y0, x1, y1;
      ui::map_to_screen(map, a.x, a.y, x0, y0);
      ui::map_to_screen(map, c.x, c.y, x1, y1);
      const int open = a.reachable() + c.reachable();
      D3dColor col = open == 2 ? 0xC0E8DCC0 : open == 1 ? 0x90B4AA96 : 0x708A90A0;
      float width = open == 2 ? 2.5f : 1.5f;
      if (focus >= 0 && (a.index == focus || c.index == focus)) col = GOLD, width = 3.5f;
      render_ui_line(b, _mm_setr_ps(x0, y0, x1, y1), width, col);
    }

  const float pulse = 0.5f + 0.5f * sinf(uni.clock * 3.0f);
  const float name_px = text_px(26);
  for (const UniWorld& w : ws) {
    float x, y;
    ui::map_to_screen(map, w.x, w.y, x, y);
    const ui::WorldLook look = ui::world_look(w.index, w.visited, w.unlocked);
    const bool hot = w.index == uni.hover || w.index == uni.popup_world || w.index == uni.entering;
    if (look == ui::WorldLook::reachable) { // an open world calls: a pulsing halo
      D3dColor halo = (D3dColor)(0x30 + (int)(pulse * 0x50)) << 24 | 0x5AB4FF;
      circle(b, x, y, r * (1.45f + 0.2f * pulse), halo, 0, 0);
    }
    if (hot) circle(b, x, y, r * 1.55f, 0x40FFD27A, GOLD, 2);
    D3dColor fill = look == ui::WorldLook::visited ? 0xFF3C9A64 : look == ui::WorldLook::reachable ? 0xFF3C8CDC
                                                                                                   : 0xFF4A4A55;
    D3dColor rim = look == ui::WorldLook::locked ? 0xFF70707A : w.done ? GOLD : PARCHMENT;
    circle(b, x, y, r, fill, rim, 1.5f);
    icon(b, "world", x, y, r * 1.6f, look == ui::WorldLook::locked ? 0xFF8A8A94 : 0xFFFFFFFF,
         look == ui::WorldLook::locked ? 0xFF60606A : fill, 0);
    if (look == ui::WorldLook::locked) icon(b, "lock", x + r * 0.75f, y + r * 0.7f, r * 1.1f, 0xFFD8D0C0, 0xFF303038, 0xC0000000);
    if (w.done) icon(b, "check", x + r * 0.8f, y - r * 0.75f, r * 1.1f, GOLD, GOLD, 0xC0000000);
    gui_draw_text(b, w.name.c_str(), x, y + r * 1.35f, 0, -1, look == ui::WorldLook::locked ? DIM : PARCHMENT,
                  name_px);
  }

  // The legend: what the three looks mean.
  const float lx = map.x0 + r, ly = map.y1 - r * 0.5f, small = text_px(22);
  const struct {
    D3dColor fill;
    const char* text;
  } legend[] = {{0xFF3C9A64, "Visited"}, {0xFF3C8CDC, "Open"}, {0xFF4A4A55, "Locked"}};
  float x = lx;
  for (const auto& l : legend) {
    circle(b, x, ly, r * 0.45f, l.fill, PARCHMENT, 1);
    float tw, th;
    gui_measure_text(l.text, tw, th, small);
    gui_draw_text(b, l.text, x + r * 0.8f, ly, -1, 0, DIM, small);
    x += r * 2.2f + tw;
  }
}

// {===== The screen

// The root lays out its parts by their class: the map fitted to the middle,
// the title above, the bar below, the popup at the click, the veil over
// everything. Children earlier in the list win the hit test, so it draws
// them in reverse: the map first, the veil last.
class UniRoot : public GuiBox {
public:
  void layout(const GuiRect& r, float ref_ht, float ref_ht2, float scale) override
  {
    rect = r;
    const float h = r.height(), band = h * 0.11f;
    for (BaseGuiElement* c : children) {
      float w = 0, ch = 0;
      c->measure(scale, w, ch);
      GuiRect cr;
      if (c->hasClass("unimap")) {
        ui::Box m = ui::fit_map(ui::Box{r.x0 + h * 0.06f, r.y0 + band, r.x1 - h * 0.06f, r.y1 - band});
        cr = GuiRect{m.x0, m.y0, m.x1, m.y1};
      } else if (c->hasClass("unititle")) {
        float x = (r.x0 + r.x1 - w) * 0.5f;
        cr = GuiRect{x, r.y0 + h * 0.015f, x + w, r.y0 + h * 0.015f + ch};
      } else if (c->hasClass("unibar")) {
        float x = (r.x0 + r.x1 - w) * 0.5f, y = r.y1 - h * 0.015f - ch;
        cr = GuiRect{x, y, x + w, y + ch};
      } else if (c->hasClass("popup")) {
        ui::Box p = ui::place_popup_box(uni.popup_x + 12, uni.popup_y + 12, w, ch, r.width(), r.height());
        cr = GuiRect{p.x0, p.y0, p.x1, p.y1};
      } else {
        cr = r;
      }
      c->layout(cr, ref_ht, ref_ht2, scale);
    }
  }
  void render(RenderBatch& batch) override
  {
    for (int i = children.num - 1; i >= 0; i--)
      if (!gui_hidden(children[i])) children[i]->render(batch);
  }
};

class UniScreen : public BaseGuiScreen {
public:
  UniScreen()
  {
    style = &common_style;
    root = new UniRoot;
  }
};

void build_note(BaseGuiElement* root)
{
  GuiBox* veil = gui_make<UiCentreBox>(root, "veil", "veil");
  GuiStack* p = gui_make<GuiStack>(veil, "panel", "note");
  ui_label(p, "title", "Your first world waits");
  for (const char* line : {"Fly with the movement keys and look with the mouse.",
                           "Claim the mana orbs of a world with Claim mana:",
                           "the mana you own refills your own pool.",
                           "Own most of a world's mana and its portal opens;",
                           "cast Use portal there to travel on to the worlds beyond."})
    ui_label(p, "subtitle", line);
  ui_label(p, "text hint", "Click a glowing world for its menu, or double-click it to enter.");
  ui_button(p, "Begin", "Close this note (Escape)", &uni.pending,
            [] {
              uni.show_note = false;
              new_game_note_pending = false;
              rebuild_later();
            },
            false, "begin");
}

// The resources' display names (the universe's "resources" slots).
std::string resource_title(const std::string& name)
{
  static const char* const titles[][2] = {{"shard", "Crystal shard"}, {"vortex", "Magic vortex"},
                                          {"firebloom", "Firebloom"}, {"star", "Fallen star"},
                                          {"seed", "Rare seed"}};
  for (const auto& t : titles)
    if (name == t[0]) return t[1];
  return name;
}

void build_entering(BaseGuiElement* root, const UniWorld& w)
{
  GuiBox* veil = gui_make<UiCentreBox>(root, "veil", "veil");
  GuiStack* p = gui_make<GuiStack>(veil, "panel", "entering");
  ui_label(p, "subtitle", "Entering");
  ui_label(p, "title", w.name);
  ui_label(p, "subtitle", w.title);
  if (!w.resource.empty()) ui_label(p, "text hint", "Found here: " + resource_title(w.resource));
  ui_label(p, "text hint", w.visited ? "Your works there wait as you left them." : "A new world takes shape...");
}

void build_screen()
{
  uni.rebuild = false;
  if (uni.screen) {
    if (cur_game_screen == uni.screen) cur_game_screen = nullptr;
    queue_destruction(uni.screen);
    uni.screen = nullptr;
  }
  auto* s = new UniScreen;
  BaseGuiElement* root = s->root;
  // Hit-test order: veil, popup, bar, title, map.
  if (uni.entering >= 0 && uni.entering < (int)uni.worlds.size()) build_entering(root, uni.worlds[uni.entering]);
  else if (uni.show_note) build_note(root);
  if (!uni.popup.empty() && uni.popup_world >= 0 && uni.popup_world < (int)uni.worlds.size()) {
    GuiStack* p = gui_make<GuiStack>(root, "popup", "popup");
    const UniWorld& pw = uni.worlds[uni.popup_world];
    ui_label(p, "popuptitle", pw.name);
    if (!pw.reachable()) ui_label(p, "popuplock", "Locked: open the portal of a linked world");
    for (size_t i = 0; i < uni.popup.size(); i++) {
      PopupItem item = uni.popup[i];
      const bool locked = item.action == "enter" && item.world >= 0 && item.world < (int)uni.worlds.size() &&
                          !uni.worlds[item.world].reachable();
      const std::string tip = locked ? locked_reason(uni.worlds[item.world]) : std::string();
      GuiBox* b = ui_button(p, item.text.c_str(), tip.c_str(),
                            &uni.pending, [item] { run_popup_item(item); }, true,
                            ("ctx" + std::to_string(i)).c_str());
      if (locked) b->setState(GUI_STATE_DISABLED, true);
    }
  }
  GuiStack* bar = gui_make<GuiStack>(root, "unibar", "bar");
  bar->horizontal = true;
  ui_button(bar, "Main menu", "Save and go back to the main menu (Escape)", &uni.pending, leave_to_main_menu, true,
            "mainmenu");
  std::string status = !uni.note.empty() ? uni.note
                       : uni.won         ? "Every world's mana is yours. The universe is won!"
                                         : "Click a world for its menu; double-click an open world to enter it.";
  ui_label(bar, !uni.note.empty() ? "uninote note" : uni.won ? "uninote banner" : "uninote", status);
  ui_label(root, "unititle title", uni.won ? "Every world's mana is yours" : "The universe");
  gui_make<UniMap>(root, "unimap", "map");

  uni.screen = s;
  cur_game_screen = s;
  s->restyle();
  s->setGeometry();
}

void refresh_worlds()
{
  uni.worlds = read_worlds();
  std::vector<bool> done;
  for (const UniWorld& w : uni.worlds) done.push_back(w.done);
  uni.won = ui::every_world_done(done);
  // The world script's reload may make a new, smaller universe under the
  // screen: nothing may keep pointing past its end.
  const int n = (int)uni.worlds.size();
  if (uni.hover >= n) uni.hover = -1;
  if (uni.links_world >= n) uni.links_world = -1;
  if (uni.tip_world >= n || (uni.tip_world >= 0 && uni.worlds[uni.tip_world].name != uni.tip_name))
    uni.tip_world = -1;
  if (uni.popup_world >= n) {
    uni.popup.clear();
    uni.popup_world = -1;
    rebuild_later();
  }
  if (uni.entering >= n) {
    uni.entering = -1;
    rebuild_later();
  }
}

// {===== Developer socket

void dev_enter(const DevMessage& msg, DevReply& reply)
{
  int index = msg.getInt("world");
  std::string why;
  if (uni.screen && uni.show_note) { // a player's click would first close the note
    uni.show_note = false;
    new_game_note_pending = false;
    rebuild_later();
  }
  if (!choose_world(index, why)) return reply.fail("%s", why.c_str());
}

// "universeWorld" (world (i)): where the world's marker is on the screen (to
// click it), how it looks and its name.
void dev_universe_world(const DevMessage& msg, DevReply& reply)
{
  int index = msg.getInt("world");
  if (!uni.screen) return reply.fail("No universe screen is shown");
  if (index < 0 || index >= (int)uni.worlds.size())
    return reply.fail("No world #%d (the universe has %d)", index, (int)uni.worlds.size());
  BaseGuiElement* map = ui_find_named(uni.screen->root, "map");
  if (!map) return reply.fail("The universe screen has no map");
  const UniWorld& w = uni.worlds[index];
  float x, y;
  ui::map_to_screen(box_of(map->rect), w.x, w.y, x, y);
  static const char* const looks[] = {"visited", "open", "locked"};
  reply.add("x=%d y=%d look=%s name=%s", int(x), int(y), looks[int(ui::world_look(w.index, w.visited, w.unlocked))],
            w.name.c_str());
}

void dev_new_game(const DevMessage& msg, DevReply& reply)
{
  int slot = msg.getInt("slot");
  if (slot < 0 || slot >= MENU_SLOTS)
    return reply.fail("No slot %d (the slots are 0 to %d)", slot, MENU_SLOTS - 1);
  if (cur_game_mode != main_menu_mode) return reply.fail("A new game is started from the main menu");
  std::string why;
  if (!start_new_game(slot, why)) return reply.fail("%s", why.c_str());
}

} // namespace

namespace {
void dev_state(DevReply& reply)
{
  std::string m = hud_message_text();
  for (char& c : m)
    if (c == ' ' || c == '\n') c = '_';
  reply.add(" universe=%d note=%d popup=%d entering=%d won=%d hud=%d message=%s", uni.screen ? 1 : 0,
            uni.screen && uni.show_note ? 1 : 0, uni.popup.empty() ? -1 : uni.popup_world, uni.entering,
            uni.won ? 1 : 0, hud_shown() ? 1 : 0, m.c_str());
}
} // namespace

// {===== The module's entries and the menus' hooks

std::string world_kind_title(const std::string& kind) { return kind_title_of(kind); }

void open_universe_gui()
{
  if (common_style.rules.num == 0) build_ui_styles(); // a reloaded module builds them here
  register_behavior(&uni_viewer, "uni_viewer");
  install_ui_unlink();
  uni.hover = uni.pressed = uni.last_click = uni.tip_world = uni.popup_world = uni.links_world = -1;
  uni.popup.clear();
  uni.note.clear();
  uni.leave_armed = false;
  uni.entering = -1;
  uni.pending = nullptr;
  uni.show_note = new_game_note_pending;
  hud_forget_world(); // the world entered from here is announced again
  refresh_worlds();
  build_screen();
  debug("universe: screen open, %d worlds%s", (int)uni.worlds.size(), uni.show_note ? ", new-game note" : "");
}

BaseGuiElement* universe_screen_root() { return uni.screen ? uni.screen->root : nullptr; }

void update_universe_screen(float dt)
{
  if (!uni.screen) return;
  uni.clock += dt;
  if (uni.links_time > 0 && (uni.links_time -= dt) <= 0) uni.links_world = -1;
  refresh_worlds();
  uni.screen->processInput();
  if (isAppActive && keyDown(VK_ESCAPE)) {
    // Escape closes what is open first; the host's own Escape (the in-game
    // menu) must not see the key then.
    if (uni.entering >= 0 || !uni.popup.empty() || uni.show_note) {
      if (!uni.popup.empty()) close_popup();
      else if (uni.show_note) uni.pending = [] {
        uni.show_note = false;
        new_game_note_pending = false;
        rebuild_later();
      };
      discard_input_events();
    } else {
      uni.pending = leave_to_main_menu;
    }
  }
  if (uni.pending) {
    std::function<void()> act = std::move(uni.pending);
    uni.pending = nullptr;
    act();
  }
  if (!uni.screen) return; // the action left the universe
  if (uni.entering >= 0) {
    uni.entering_time += dt;
    // The enter-world screen is drawn before the world is made: the host's
    // generation splash then shows over it.
    if (uni.entering_time >= ENTER_SHOW_SECONDS && uni.entering_frames >= 2 && !should_close_game_menu) {
      if (set_entered_world(uni.entering)) {
        should_close_game_menu = true;
      } else {
        uni.note = "The universe is gone: no world can be entered";
        uni.entering = -1;
        rebuild_later();
      }
    }
  }
  if (uni.rebuild) build_screen();
  uni.screen->restyle();
  uni.screen->setGeometry();
}

void draw_universe_screen(RenderBatch& batch, float dt)
{
  if (!uni.screen) return;
  if (uni.entering >= 0) uni.entering_frames++;
  uni.screen->root->advanceTransitions(dt);
  uni.screen->restyle();
  uni.screen->setGeometry();
  uni.screen->render(batch);
}

void close_universe_screen()
{
  if (!uni.screen) return;
  if (cur_game_screen == uni.screen) cur_game_screen = nullptr;
  queue_destruction(uni.screen);
  uni.screen = nullptr;
  uni.popup.clear();
  uni.pending = nullptr;
  uni.worlds.clear(); // script handles are not kept past the screen
  uni.entering = -1;
}

void unlink_screens()
{
  close_universe_screen();
  close_spells_ui();
  unregister_behavior(&uni_viewer, "uni_viewer");
}

void add_screens_styles(GuiStyle& st)
{
  using B = GuiRuleBuilder;
  auto sel = [](const char* cls) { return new GuiSimpleSelector("", cls, 0, nullptr); };
  auto col = [](D3dColor c) { return GuiValue::colour(c); };
  auto num = [](float v) { return GuiValue::number(v); };
  st.addSheet(sel("unimap"), B().behaviors({"solid_box", "uni_viewer"}).take());
  st.addSheet(sel("unititle"), B().set(GP_FONT_SIZE, num(52)).take());
  st.addSheet(sel("unibar"), B().set(GP_SPACING, num(24)).set(GP_V_ALIGN, num(0)).take());
  st.addSheet(sel("uninote"), B()
                                  .set(GP_FONT_SIZE, num(24))
                                  .set(GP_TEXT_COLOR, col(DIM))
                                  .set(GP_H_ALIGN, num(-1))
                                  .take());
  st.addSheet(sel("banner"), B().set(GP_TEXT_COLOR, col(GOLD)).set(GP_FONT_SIZE, num(28)).take());
  st.addSheet(sel("veil"), B().behaviors({"solid_box"}).set(GP_BG_COLOR, col(0x90060A12)).take());
  st.addSheet(sel("hint"), B().set(GP_FONT_SIZE, num(24)).set(GP_H_ALIGN, num(0)).set(GP_TEXT_COLOR, col(GOLD)).take());
  st.addSheet(sel("popup"), B()
                                .behaviors({"solid_box"})
                                .set(GP_BG_COLOR, col(0xF0141A24))
                                .set(GP_BORDER_COLOR, col(GOLD))
                                .set(GP_BORDER_WIDTH, num(1))
                                .set(GP_RADIUS, num(8))
                                .set(GP_SHADOW_COLOR, col(0xA0000000))
                                .set(GP_SHADOW_SIZE, num(10))
                                .set(GP_PAD_X, num(14))
                                .set(GP_PAD_Y, num(12))
                                .set(GP_SPACING, num(8))
                                .take());
  st.addSheet(sel("popuplock"), B()
                                    .set(GP_FONT_SIZE, num(22))
                                    .set(GP_TEXT_COLOR, col(0xFFFF9A7A))
                                    .set(GP_H_ALIGN, num(0))
                                    .take());
  st.addSheet(sel("popuptitle"), B()
                                     .set(GP_FONT_SIZE, num(28))
                                     .set(GP_TEXT_COLOR, col(GOLD))
                                     .set(GP_H_ALIGN, num(0))
                                     .take());
}

// Keeps a popup of the universe screen (or any element laid out by its
// parent) inside the screen at the point (x, y).
void place_popup(BaseGuiElement* popup, float x, float y)
{
  if (!popup) return;
  const float scale = 0.001f * (float)d3d_ht;
  float w, h;
  popup->measure(scale, w, h);
  ui::Box b = ui::place_popup_box(x, y, w, h, (float)d3d_wd, (float)d3d_ht);
  popup->layout(GuiRect{b.x0, b.y0, b.x1, b.y1}, (float)d3d_ht, (float)d3d_ht, scale);
}

// The maps' icon looks (game.h): module state, so a reload starts plain.
namespace {
WorldIconParams icon_params;
}
WorldIconParams world_icon_params() { return icon_params; }
void set_world_icon_params(float scale, float opacity)
{
  if (isfinite(scale)) icon_params.scale = scale < 0.25f ? 0.25f : scale > 4 ? 4 : scale;
  if (isfinite(opacity)) icon_params.opacity = opacity < 0 ? 0 : opacity > 1 ? 1 : opacity;
  debug("maps: icons at %.2f of their size, opacity %.2f", icon_params.scale, icon_params.opacity);
}
void set_radio() {}
void get_radio() {}
void set_slider() {}

void register_screen_dev_commands()
{
  register_dev_command("newGame", dev_new_game);
  register_dev_command("enter", dev_enter);
  register_dev_command("universeWorld", dev_universe_world);
  register_dev_state(dev_state);
}
