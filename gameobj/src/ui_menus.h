// The module's menu screens (ui_menus.cpp, ui_style.cpp): the main menu with
// its saved-game slots, the in-game menu, options, controls, credits, the
// cheat menu and the tooltip, built with the host's GUI runtime.
#pragma once
#include <string>

class GuiStyle;

// Entries of the module's function table.
void init_new_gui();
void open_main_menu();
void open_game_menu();
void open_cheat_menu();
void close_game_menu();
void safely_close_game_menu();
void update_game_menu(float dt);
void draw_game_menu(float dt);
void show_tooltip(const char* text, float x, float y);
void hide_tooltip();
void update_tooltip();
void render_tooltip();
void init_tooltip();

// The three style sheets of the module's screens (ui_style.cpp).
extern GuiStyle common_style, spells_style, tooltip_style;
void build_ui_styles();
void clear_ui_styles();

// Number of saved-game slots the menus list.
constexpr int MENU_SLOTS = 5;

// Starts a new game in `slot` as the main menu's buttons do (the universe is
// made first; the slot is erased only after that worked) and asks the main
// menu to go on to the universe screen. False with the reason in `why`.
bool start_new_game(int slot, std::string& why);
// Whatever screen opens first makes sure the module's screens are released
// before the module is unloaded.
void install_ui_unlink();
