// The menu screens: one screen at a time, rebuilt whenever the page changes.
// Button actions never run inside the GUI's event dispatch: a click stores
// the action and update_game_menu runs it after the input pass, so an action
// may close or replace the screen that delivered the click.
#include "ui_menus.h"

#include <sys/stat.h>

#include <strings.h>

#include <functional>
#include <string>

#include "audio/sound.h"
#include "core/app_globals.h"
#include "core/config.h"
#include "core/game_mode.h"
#include "core/log.h"
#include "core/platform.h"
#include "devtools/dev_server.h"
#include "app/game_modes.h"
#include "gui/gui_draw.h"
#include "gui/gui_elements.h"
#include "host/gameobj_host.h"
#include "render/device.h"
#include "render/renderBatch.h"
#include "world/saved_games.h"
#include "world/universe.h"
#include "world/worldScript.h"
#include "ui_common.h"
#include "ui_screens.h"

extern "C" void* get_gameobj_func_by_name(const char* name);

namespace {

enum class Page { none, main, slots, options, controls, credits, game, cheat };

class MenuScreen : public BaseGuiScreen {
public:
  MenuScreen()
  {
    style = &common_style;
    root = new UiCentreBox; // the page's panel in the middle
  }
};

struct Tooltip {
  std::string text;
  float x = 0, y = 0;
  bool shown = false;
};

struct Menus {
  MenuScreen* screen = nullptr;
  Page page = Page::none;
  Page home = Page::none;       // main or game: where Back leads
  std::function<void()> pending; // the clicked action, run after the input pass
  std::string note;              // a message under the buttons
  int erase_armed = -1;          // the slot whose Erase was clicked once
  bool quit_armed = false;       // Quit clicked once after a failed save
  bool config_changed = false;
  int64_t last_draw = 0;
  Tooltip tip;
  RenderBatch batch;
} menus;

void show_page(Page page);

void call_module(const char* name)
{
  if (auto f = reinterpret_cast<void (*)()>(get_gameobj_func_by_name(name))) f();
}

void flush_options()
{
  if (!menus.config_changed) return;
  menus.config_changed = false;
  if (!flush_app_config()) set_error_message("The settings could not be written to settings.cfg");
}

// {===== Building blocks

GuiLabel* label(BaseGuiElement* parent, const char* cls, const std::string& text)
{
  return ui_label(parent, cls, text);
}

GuiStack* row(BaseGuiElement* parent) { return ui_row(parent); }

GuiBox* button(BaseGuiElement* parent, const char* text, const char* tip, std::function<void()> act,
               bool small = false, const char* name = "")
{
  return ui_button(parent, text, tip, &menus.pending, std::move(act), small, name);
}

GuiStack* check(BaseGuiElement* parent, const char* cls, const char* text, const char* tip, bool on,
                std::function<void(bool)> changed)
{
  GuiStack* c = gui_make<GuiStack>(parent, cls);
  c->horizontal = true;
  c->tooltip = tip;
  c->setState(GUI_STATE_CHECKED, on);
  gui_make<GuiBox>(c, "mark");
  label(c, "text", text);
  c->valueListeners.push_back([changed](BaseGuiElement* e) { changed(e->hasState(GUI_STATE_CHECKED)); });
  return c;
}

GuiSlider* slider(BaseGuiElement* parent, const char* text, const char* tip, float value,
                  std::function<void(float)> changed)
{
  GuiStack* r = row(parent);
  label(r, "keyname", text);
  GuiSlider* s = gui_make<GuiSlider>(r, "slider");
  s->tooltip = tip;
  s->value = value;
  s->valueListeners.push_back([changed](BaseGuiElement* e) { changed(e->value); });
  return s;
}

void back_button(BaseGuiElement* panel)
{
  button(panel, "Back", "Back to the menu (Escape)", [] { show_page(menus.home); }, false, "back");
}

// {===== Saved games

bool slot_used(int slot, std::string& name)
{
  bool unsupported = false;
  TempString<260> n = get_saved_game_name(slot, unsupported);
  name = n.str;
  if (unsupported && name.empty()) name = "? ? ?";
  if (unsupported) name += " (unsupported version)";
  return n.str[0] != 0 || unsupported;
}

// The slot saved last (its info file is the newest), or -1.
int newest_slot()
{
  int best = -1;
  struct timespec best_time{};
  for (int slot = 0; slot < MENU_SLOTS; slot++) {
    struct stat st;
    std::string name;
    if (!slot_used(slot, name) || stat(get_saved_game_path(slot, "info").str, &st) != 0) continue;
    if (best < 0 || st.st_mtim.tv_sec > best_time.tv_sec ||
        (st.st_mtim.tv_sec == best_time.tv_sec && st.st_mtim.tv_nsec > best_time.tv_nsec))
      best = slot, best_time = st.st_mtim;
  }
  return best;
}

void load_slot(int slot)
{
  if (load_saved_game(slot)) {
    debug("menu: continuing the game of slot %d", slot);
    should_close_game_menu = true; // the main menu goes on to the universe screen
    return;
  }
  menus.note = std::string("Slot ") + std::to_string(slot + 1) + " did not load: " + get_error_message();
  show_page(menus.page);
}

void new_game(int slot)
{
  std::string why;
  if (start_new_game(slot, why)) return;
  menus.note = why;
  show_page(menus.page);
}

void new_game_in_free_slot()
{
  std::string name;
  for (int slot = 0; slot < MENU_SLOTS; slot++)
    if (!slot_used(slot, name)) return new_game(slot);
  menus.note = "Every slot holds a game: erase one to start a new game.";
  show_page(Page::slots);
}

// {===== Pages

GuiStack* panel_with_title(MenuScreen* s, const char* title, const char* subtitle)
{
  GuiStack* panel = gui_make<GuiStack>(s->root, "panel", "panel");
  label(panel, "title", title);
  if (subtitle) label(panel, "subtitle", subtitle);
  return panel;
}

void build_main(GuiStack* p)
{
  button(p, "New game", "Start a new universe in a free slot", new_game_in_free_slot, false, "new");
  int last = newest_slot();
  GuiBox* cont = button(p, "Continue", "Continue the game saved last", [last] { load_slot(last); }, false, "continue");
  if (last < 0) {
    cont->setState(GUI_STATE_DISABLED, true);
    cont->tooltip = "No saved game yet";
  }
  button(p, "Load game", "Load or erase saved games", [] { show_page(Page::slots); }, false, "load");
  button(p, "Options", "Graphics, sound and mouse", [] { show_page(Page::options); }, false, "options");
  button(p, "Controls", "Choose the keys of the controls", [] { show_page(Page::controls); }, false, "controls");
  button(p, "Credits", "Who made this game", [] { show_page(Page::credits); }, false, "credits");
  button(p, "Quit", "Leave the game", [] { quit_requested = true; }, false, "quit");
}

void build_slots(GuiStack* p)
{
  for (int slot = 0; slot < MENU_SLOTS; slot++) {
    std::string name;
    bool used = slot_used(slot, name);
    GuiStack* r = row(p);
    label(r, "slotname", "Slot " + std::to_string(slot + 1) + ":  " + (used ? name : "empty"));
    GuiBox* load = button(r, "Load", used ? "Continue this game" : "An empty slot", [slot] { load_slot(slot); },
                          true, ("load" + std::to_string(slot)).c_str());
    load->setState(GUI_STATE_DISABLED, !used);
    const bool armed = menus.erase_armed == slot;
    GuiBox* erase = button(
        r, armed ? "Erase!" : "Erase", armed ? "Click again to erase this game for good" : "Erase this saved game",
        [slot] {
          if (menus.erase_armed != slot) {
            menus.erase_armed = slot;
            menus.note = "Click Erase again to erase slot " + std::to_string(slot + 1) + ".";
          } else {
            menus.erase_armed = -1;
            menus.note = erase_saved_game(slot) ? "Slot " + std::to_string(slot + 1) + " erased."
                                                 : std::string("Not erased: ") + get_error_message();
          }
          show_page(Page::slots);
        },
        true, ("erase" + std::to_string(slot)).c_str());
    erase->setState(GUI_STATE_DISABLED, !used);
    GuiBox* start = button(r, "New", used ? "Start a new game here (erases this one)" : "Start a new game here",
                           [slot] { new_game(slot); }, true, ("new" + std::to_string(slot)).c_str());
    start->setState(GUI_STATE_DISABLED, used && menus.erase_armed != slot);
  }
  back_button(p);
}

void build_options(GuiStack* p)
{
  GuiStack* q = row(p);
  label(q, "keyname", "Graphics quality");
  const int saved_quality = [] {
    char name[16] = "";
    if (get_config_str("gfx_quality", name, sizeof name))
      return strcasecmp(name, gfx_quality_name[0]) == 0 ? 0 : 1;
    return gfx_quality == 0 ? 0 : 1;
  }();
  for (int level = 0; level < 2; level++) {
    check(q, "radio", level ? "High" : "Low", "Takes effect when the game starts next", saved_quality == level,
          [level](bool on) {
            if (!on) return;
            set_config_str("gfx_quality", gfx_quality_name[level]);
            menus.config_changed = true;
          });
  }
  slider(p, "Sound volume", "Volume of the sounds", get_global_sample_volume() / 10000.f, [](float v) {
    set_global_sample_volume(int(v * 10000 + 0.5f));
    set_config_int("sound_volume", get_global_sample_volume());
    menus.config_changed = true;
  });
  slider(p, "Music volume", "Volume of the music", get_global_stream_volume() / 10000.f, [](float v) {
    set_global_stream_volume(int(v * 10000 + 0.5f));
    set_config_int("music_volume", get_global_stream_volume());
    menus.config_changed = true;
  });
  check(p, "check", "Invert mouse", "Moving the mouse forward looks down", invert_mouse_y, [](bool on) {
    invert_mouse_y = on;
    set_config_bool("invert_mouse_y", on);
    menus.config_changed = true;
  });
  check(p, "check", "Left-handed", "Swap the mouse buttons", left_handed, [](bool on) {
    left_handed = on;
    set_config_bool("left_handed", on);
    menus.config_changed = true;
  });
  back_button(p);
}

void build_controls(GuiStack* p)
{
  for (int i = 0; i < NUM_CONTROL_BUTTONS; i++) {
    GuiStack* r = row(p);
    label(r, "keyname", get_button_ui_name(i));
    GuiLabel* box = gui_make<GuiLabel>(r, "keybox", ("key" + std::to_string(i)).c_str());
    box->text = get_button_key_name(i).str;
    box->tooltip = "Point here and press a key or a mouse button";
    box->keyListeners.push_back([i](BaseGuiElement* e, int key) {
      if (key == VK_ESCAPE) return; // Escape leaves the page
      set_button_key(i, key);
      e->text = get_button_key_name(i).str;
      menus.config_changed = true;
      debug("menu: %s bound to %s", get_button_ui_name(i), e->text.c_str());
    });
  }
  back_button(p);
}

void build_credits(GuiStack* p)
{
  for (const char* line : {"Design, code and worlds: the Runeholm team", "Terrain, water and lava simulation",
                           "Distance-field text and icons", "Made with SDL2, OpenGL, OpenAL Soft, libsndfile",
                           "and our own scripting runtime.", "Thank you for playing!"})
    label(p, "subtitle", line);
  back_button(p);
}

void build_game(GuiStack* p)
{
  button(p, "Resume", "Back to the world (Escape)", [] { should_close_game_menu = true; }, false, "resume");
  button(p, "Options", "Graphics, sound and mouse", [] { show_page(Page::options); }, false, "options");
  button(p, "Controls", "Choose the keys of the controls", [] { show_page(Page::controls); }, false, "controls");
  button(p, cur_game_slot >= 0 ? "Save and exit to main menu" : "Exit to main menu",
         "Save the game and go back to the main menu",
         [] {
           if (cur_game_slot >= 0 && !save_game()) {
             menus.note = std::string("Not saved, still here: ") + get_error_message();
             show_page(Page::game);
             return;
           }
           go_to_main_menu();
         },
         false, "exit");
  button(p, menus.quit_armed ? "Quit without saving" : "Quit", "Save the game and leave",
         [] {
           if (!menus.quit_armed && cur_game_slot >= 0 && !save_game()) {
             menus.quit_armed = true;
             menus.note = std::string("Not saved: ") + get_error_message();
             show_page(Page::game);
             return;
           }
           quit_requested = true;
         },
         false, "quit");
}

void build_cheat(GuiStack* p)
{
  button(p, "All spells", "Put every spell on the spell bar", [] { call_module("add_all_spells"); }, false, "spells");
  button(p, "Mana", "Toggle endless mana", [] { call_module("toggle_mana_cheat"); }, false, "mana");
  button(p, "Monsters on/off", "Stop or restart the monsters' spawning",
         [] { call_module("toggle_monster_spawn"); }, false, "monsters");
  button(p, "Resume", "Back to the world (Escape)", [] { should_close_game_menu = true; }, false, "resume");
}

const char* page_name(Page p)
{
  static const char* const names[] = {"none", "main", "slots", "options", "controls", "credits", "game", "cheat"};
  return names[int(p)];
}

void unlink_menus();

// {===== Developer socket: the page in "getState", and where a button is

void dev_state(DevReply& reply)
{
  reply.add(" menu=%s tooltip=%d", page_name(menus.page), menus.tip.shown && !menus.tip.text.empty() ? 1 : 0);
}

// "menuElement" (name (s)): "k" and the centre of the named element of the
// open menu page (or of the universe screen) in window pixels, and whether it
// is enabled.
void dev_menu_element(const DevMessage& msg, DevReply& reply)
{
  BaseGuiElement* e = ui_find_named(menus.screen ? menus.screen->root : universe_screen_root(), msg.getString("name"));
  if (!e) return reply.fail("No element '%s' on the menu page '%s'", msg.getString("name").c_str(),
                            page_name(menus.page));
  reply.add("x=%d y=%d enabled=%d text=%s", int((e->rect.x0 + e->rect.x1) * 0.5f),
            int((e->rect.y0 + e->rect.y1) * 0.5f), e->isActive() ? 1 : 0,
            e->children.num ? e->children[0]->text.c_str() : e->text.c_str());
}

void show_page(Page page)
{
  if (menus.screen) {
    if (cur_game_screen == menus.screen) cur_game_screen = nullptr;
    queue_destruction(menus.screen);
    menus.screen = nullptr;
  }
  if (page != Page::slots) menus.erase_armed = -1;
  if (menus.page == Page::options || menus.page == Page::controls) flush_options();
  menus.page = page;
  if (page == Page::none) return;
  if (common_style.rules.num == 0) build_ui_styles(); // a reloaded module builds them here
  gameobj_unlink_gui = unlink_menus;
  register_dev_state(dev_state); // each once; dropped with the module's commands
  register_dev_command("menuElement", dev_menu_element);

  auto* s = new MenuScreen;
  GuiStack* p = nullptr;
  switch (page) {
  case Page::main: build_main(p = panel_with_title(s, "Runeholm", "A wizard-god among small worlds")); break;
  case Page::slots: build_slots(p = panel_with_title(s, "Saved games", nullptr)); break;
  case Page::options: build_options(p = panel_with_title(s, "Options", nullptr)); break;
  case Page::controls: build_controls(p = panel_with_title(s, "Controls", nullptr)); break;
  case Page::credits: build_credits(p = panel_with_title(s, "Credits", nullptr)); break;
  case Page::game: build_game(p = panel_with_title(s, "Paused", nullptr)); break;
  case Page::cheat: build_cheat(p = panel_with_title(s, "Cheats", nullptr)); break;
  case Page::none: break;
  }
  if (p && !menus.note.empty()) label(p, "note", menus.note);
  menus.note.clear();
  menus.screen = s;
  cur_game_screen = s;
  s->restyle();
  s->setGeometry();
  debug("menu: page %s", page_name(page));
}

void open_home(Page home)
{
  menus.home = home;
  menus.note.clear();
  menus.quit_armed = false;
  menus.pending = nullptr;
  menus.last_draw = get_ref_time();
  show_page(home);
}

// The module is about to be unloaded: nothing of it may stay in the GUI.
void unlink_menus()
{
  close_game_menu();
  unlink_screens();
  destroy_queued_gui_elements();
  clear_ui_styles();
  gameobj_unlink_gui = nullptr;
}

void draw_tooltip()
{
  Tooltip& tip = menus.tip;
  if (!tip.shown || tip.text.empty()) return;
  const float size = 0.022f * d3d_ht;
  float w, h;
  gui_measure_text(tip.text.c_str(), w, h, size);
  float x0 = tip.x + 14, y0 = tip.y + 20, x1 = x0 + w + 18, y1 = y0 + h + 10;
  if (x1 > d3d_wd - 2) x0 -= x1 - (d3d_wd - 2), x1 = d3d_wd - 2.f;
  if (y1 > d3d_ht - 2) y0 = tip.y - 10 - (h + 10), y1 = tip.y - 10;
  render_rounded_box(menus.batch, _mm_setr_ps(x0, y0, x1, y1), _mm_setr_ps(140, 115, 127.5f, 1), 0xF0201A12, 4, 0, 0,
                     0, 0xFFFFD27A, -1);
  gui_draw_text(menus.batch, tip.text.c_str(), x0 + 9, (y0 + y1) * 0.5f, -1, 0, 0xFFFFFFFF, size);
}

} // namespace

// A new universe in `slot`: made first, so that a failure leaves the slot
// (and any game in it) untouched. The main menu's buttons and the developer
// socket's "newGame" start games here.
bool start_new_game(int slot, std::string& why)
{
  set_error_message(nullptr);
  generate_universe();
  if (has_error_message() || universe.isNull()) {
    why = std::string("No new game: ") + get_error_message();
    return false;
  }
  erase_saved_game(slot);
  cur_game_slot = slot;
  call_module("add_initial_spells");
  if (!save_game()) {
    why = std::string("The new game could not be saved: ") + get_error_message();
    return false;
  }
  debug("menu: new game in slot %d", slot);
  new_game_note_pending = true; // the universe screen greets the new player once
  should_close_game_menu = true;
  return true;
}

void install_ui_unlink() { gameobj_unlink_gui = unlink_menus; }

// {===== The module's entries

void init_new_gui()
{
  build_ui_styles();
  debug("menu: styles built (%d rules)", common_style.rules.num);
}

void open_main_menu() { open_home(Page::main); }
void open_game_menu() { open_home(Page::game); }
void open_cheat_menu() { open_home(Page::cheat); menus.home = Page::game; }

void close_game_menu()
{
  menus.pending = nullptr;
  show_page(Page::none);
  flush_options();
  hide_tooltip();
  close_universe_screen();
}

// Callable at any moment, also from inside a click: the screen is only
// queued for destruction, never deleted here.
void safely_close_game_menu() { close_game_menu(); }

void update_game_menu(float dt)
{
  // A reloaded module knows no screen: the menu modes get theirs back.
  if (!menus.screen && menus.page == Page::none && !universe_screen_root()) {
    if (cur_game_mode == main_menu_mode) open_main_menu();
    else if (cur_game_mode == game_menu_mode) open_game_menu();
    else if (cur_game_mode == universe_mode) open_universe_gui();
  }
  if (!menus.screen) {
    if (universe_screen_root()) update_universe_screen(dt); // the universe mode's screen
    return;
  }
  menus.screen->processInput();
  if (isAppActive && keyDown(VK_ESCAPE)) {
    if (menus.page == Page::game || menus.page == Page::cheat) menus.pending = [] { should_close_game_menu = true; };
    else if (menus.page != menus.home) menus.pending = [] { show_page(menus.home); };
  }
  if (menus.pending) {
    std::function<void()> act = std::move(menus.pending);
    menus.pending = nullptr;
    act();
  }
  if (menus.screen) {
    menus.screen->restyle();
    menus.screen->setGeometry();
  }
}

void draw_game_menu(float)
{
  int64_t now = get_ref_time();
  float dt = (float)(now - menus.last_draw) / (float)time_ticks_per_sec();
  menus.last_draw = now;
  if (!menus.screen && universe_screen_root()) {
    draw_universe_screen(menus.batch, dt < 0 ? 0 : dt > 0.25f ? 0.25f : dt);
    draw_tooltip();
    flush_gui_batch(menus.batch);
    return;
  }
  if (!menus.screen) return;
  menus.screen->root->advanceTransitions(dt < 0 ? 0 : dt > 0.25f ? 0.25f : dt);
  menus.screen->restyle();
  menus.screen->setGeometry();
  menus.screen->render(menus.batch);
  draw_tooltip();
  flush_gui_batch(menus.batch);
}

void show_tooltip(const char* text, float x, float y)
{
  menus.tip.text = text ? text : "";
  menus.tip.x = x, menus.tip.y = y;
  menus.tip.shown = true;
}
void hide_tooltip() { menus.tip.shown = false; }
void update_tooltip() {}
void render_tooltip() { draw_tooltip(); }
void init_tooltip() { menus.tip = Tooltip{}; }
