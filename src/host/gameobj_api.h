// The game-object module's function table as the rest of the host calls it.
//
// The module (gameobj.so) is linked by name; every entry below is one of its
// functions, looked up by the name of the field. A null entry means the
// module is not linked (or does not have it) and the call does nothing.
// These are typed views of entries of the full table below (gameobj_funcs),
// kept for the world code; the linking code fills both and clears both again
// before the library is freed. Tests store stand-in functions here.
//
// The table is an inline variable so that every subsystem library can call
// through it without linking the host library.
#pragma once
#include "host/gameobj_names.h"

struct Vec4f;
struct Matrix44;
class BaseObject;
class InputStream;
class OutputStream;
class Player;
class UpdateStatsTracker;

struct GameObjApi {
  // --- Functions of the module ------------------------------------------------
  void (*remove_all_gameobj)();
  // Null: process the objects whose deletion is pending (before a world is saved).
  void (*delete_gameobj)(BaseObject* obj);
  // The game-object block of a world file; errors surface as stream exceptions.
  void (*save_gameobjs)(OutputStream& out);
  void (*load_gameobjs)(InputStream& in);
  void (*save_spells)();
  void (*load_spells)();
  Player* (*create_player)(const Vec4f& pos);
  bool (*player_has_spell)(const char* spell_class);
  void (*open_universe_gui)();
  void (*update_game_menu)(float dt);
  void (*show_screen_message)(const char* text);
  void (*show_screen_sub_message)(const char* text);
  // GUI tooltips: the tooltip query of a screen shows the text at the mouse,
  // and hides it whenever no element answers.
  void (*show_tooltip)(const char* text, float x, float y);
  void (*hide_tooltip)();

  // --- The host's operations on the module's objects ----------------------------
  // These work on the per-class object lists and the objects' own virtual
  // operations, which the host owns once the module is linked; until then
  // they are null like the functions above.
  Player* (*first_player)(); // the first of Player_list, or null
  // Destroys local_player (when there is one) and clears it.
  void (*destroy_local_player)();
  // The one castle's position when exactly one castle exists, else null.
  BaseObject* (*single_castle)(Vec4f* pos);
  void (*link_player_and_castle)(Player* player, BaseObject* castle);
  // The player's spell operation (the effect belongs to the module).
  void (*player_spell_op)(Player* player, int a, int b);
  // The play mode's movement: the player moves by `move` (already scaled by
  // `speed`) seen from the camera matrix `cam`, with the dash direction.
  void (*player_move)(Player* player, float dt, float speed, const Vec4f& move, const Matrix44& cam,
                      float dash);
  // The player's position (the camera's place while playing); false when unknown.
  bool (*player_position)(Player* player, Vec4f* pos);
  // The player moves to the camera's place (play mode entered from the
  // developer mode).
  void (*player_take_camera)(Player* player, const Vec4f& pos);
};

// The host's inline globals are seen by the module (built with hidden
// visibility) only when they are default-visible: otherwise the module gets a
// private copy of each, and its local_player would stay null forever.
#define RH_SHARED_GLOBAL __attribute__((visibility("default")))
RH_SHARED_GLOBAL inline GameObjApi gameobj_api;
// The player object the host asked the module to create (exported).
RH_SHARED_GLOBAL inline Player* local_player = nullptr;
// The statistics tracker "game objs" (exported): the host times the module's
// update_gameobj with it, so the module does not time that call again.
extern UpdateStatsTracker gameobjTiming;

// --- The full function table -------------------------------------------------
// One entry per name the host resolves, in resolution order; all null while no
// module is linked. Entries are stored untyped: the host casts the ones it
// calls (gameobj_fn), the rest are resolved for the module's own use.
struct GameObjFuncTable {
#define GAMEOBJ_FUNC_FIELD(name) void* name;
  GAMEOBJ_FUNC_NAMES(GAMEOBJ_FUNC_FIELD)
#undef GAMEOBJ_FUNC_FIELD
};
RH_SHARED_GLOBAL inline GameObjFuncTable gameobj_funcs;
constexpr int GAMEOBJ_FUNC_COUNT = int(sizeof(GameObjFuncTable) / sizeof(void*));

template <class Fn>
inline Fn gameobj_fn(void* entry) { return reinterpret_cast<Fn>(entry); }
