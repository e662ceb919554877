// The screens of the universe and of the world (ui_universe.cpp,
// ui_hud.cpp) as the menus and the style sheets see them.
#pragma once

class BaseGuiElement;
class GuiStyle;
class RenderBatch;

// The universe screen's root while it is shown, else null.
BaseGuiElement* universe_screen_root();
// Its input pass and actions (update_game_menu in the universe mode) and
// its drawing into the menus' batch (the caller adds the tooltip and flushes).
void update_universe_screen(float dt);
void draw_universe_screen(RenderBatch& batch, float dt);
// Closes the universe screen (close_game_menu); nothing when none is shown.
void close_universe_screen();
// Before the module is unloaded: every screen of this part goes, and the
// behaviour it registered with the GUI runtime is taken back.
void unlink_screens();
// The universe screen's rules, added to the menus' sheet when it is built.
void add_screens_styles(GuiStyle& common);
// Set by a new game: the universe screen shows the new-game note once.
extern bool new_game_note_pending;

// The table entry that opens the universe screen.
void open_universe_gui();

// The world script's title of a world kind ("Volcanic land"), else the kind.
#include <string>
std::string world_kind_title(const std::string& kind);

// The HUD's side (ui_hud.cpp): the screen message shown now ("" once faded),
// whether the HUD was drawn in the last half second, and forgetting the
// world whose name was announced (the next entered world is announced).
const char* hud_message_text();
bool hud_shown();
void hud_forget_world();
