// The spell catalogue and the global resources: fixed tables of names, the
// texts the interface shows and the icons it draws. The icon ids are
// indices into the UI icon atlas, filled once at start-up.
#pragma once

struct SpellInfo {
  int id;                 // the spell's number; 0 ends the table
  const char* class_name; // the game-object class that casts it
  const char* name;       // display name
  const char* icon_name;  // in the UI icon atlas
  int param;              // read by the game-object module only
  int icon_id;            // -1 until init_spell_icons
};

struct GlobResInfo {
  const char* name;      // slot name in universe.resources
  const char* title;     // display name
  const char* icon_name; // in the UI icon atlas
  int icon_id;           // -1 until init_spell_icons
};

constexpr int NUM_SPELLS = 16;
constexpr int NUM_GLOB_RES = 5;
// NUM_SPELLS records, then the terminating record with id 0.
extern SpellInfo spell_info[NUM_SPELLS + 1];
extern GlobResInfo glob_res_info[NUM_GLOB_RES];

// The record, or null for id 0, an unknown id or name, or a null name.
SpellInfo* get_spell_info(int id);
SpellInfo* get_spell_info(const char* class_name);
// Index in glob_res_info, -1 for an unknown or null name.
int get_glob_res_id(const char* name);

// The UI icon atlas's lookup by name (-1 when missing); null until the
// icons are loaded, when every id stays -1.
extern int (*ui_icon_id_hook)(const char* name);
// Fills the icon ids of both tables through ui_icon_id_hook.
void init_spell_icons();
